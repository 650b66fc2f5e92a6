/*
 * The prepared form kept from run to run: it follows every change of the
 * code, whether made through the program's methods, by a host class that
 * edits the code fields itself, or by a changed library script, and the
 * modules a run links add their code to it for that run alone.
 */
#include "vm/engine.h"
#include "vm_test_util.h"

#include <gtest/gtest.h>

#include <map>

namespace
{
/* A host class that rewrites its code and function records in place. */
class EditedProgram : public TestProgram
{
public:
   void Replace(uint32 address, ORVA_Instruction *instruction)
   {
      delete m_instructions[address];
      m_instructions[address] = instruction;
   }
   void MoveFunction(uint32 index, uint32 address) { m_functions[index].m_address = address; }
   void CutCode(uint32 size)
   {
      while (m_codeSize > size)
         delete m_instructions[--m_codeSize];
   }
};

ORVA_Program *Compile(const char *source)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   EXPECT_NE(program, nullptr) << error;
   return program;
}

std::string ResultOf(ORVA_Program *program, ORVA_Library *library = nullptr,
                     ORVA_VariableSystem **globalsOut = nullptr)
{
   ORVA_Environment *env = MakeEnvironment(stdout);
   env->SetLibrary(library);
   if (program->Run(env, 0, nullptr, nullptr, globalsOut) != 0)
      return std::string("error: ") + program->GetErrorText();
   return Describe(program->GetResult());
}

class PreparedReuse : public ::testing::TestWithParam<bool>
{
protected:
   // Both engine modes, so that the fused forms are appended and cut off too.
   void Mode(ORVA_Program *program) { ORVA_Engine::UseGeneralPathsOnly(program, GetParam()); }
};
}   // namespace

TEST_P(PreparedReuse, HostClassEditsOfTheCodeFieldsAreSeen)
{
   EditedProgram p;
   Mode(&p);
   Asm a(&p);
   a.Function("main").Push(1).Op(OPCODE_RET);
   a.Function("other").Push(2).Op(OPCODE_RET);
   EXPECT_EQ(ResultOf(&p), "int32:1");

   p.Replace(0, new ORVA_Instruction(9, OPCODE_PUSH_CONSTANT, new ORVA_Value("edited")));
   EXPECT_EQ(ResultOf(&p), "string:edited");

   p.MoveFunction(0, 2);   // main now starts where other does
   EXPECT_EQ(ResultOf(&p), "int32:2");

   p.MoveFunction(0, 0);
   p.CutCode(1);   // main pushes and runs off the end
   p.AddInstruction(new ORVA_Instruction(9, OPCODE_PUSH_CONSTANT, new ORVA_Value(int32(5))));
   p.AddInstruction(new ORVA_Instruction(9, OPCODE_RET));
   EXPECT_EQ(ResultOf(&p), "int32:5");
}

TEST_P(PreparedReuse, EditsThroughTheMethodsOfACompiledProgramAreSeen)
{
   ORVA_Program *program = Compile("sub main() { return 1; }");
   Mode(program);
   EXPECT_EQ(ResultOf(program), "int32:1");

   // Instructions taken off and others put at the same places, where the
   // heap may well hand out the same addresses again.
   const uint32 size = program->CodeSize();
   while (program->CodeSize() > 0)
      delete program->TakeLastInstruction();
   ASSERT_EQ(size, 3u);
   program->AddInstruction(new ORVA_Instruction(1, OPCODE_PUSH_CONSTANT, new ORVA_Value(int32(7))));
   program->AddInstruction(new ORVA_Instruction(1, OPCODE_NEG));
   program->AddInstruction(new ORVA_Instruction(1, OPCODE_RET));
   EXPECT_EQ(ResultOf(program), "int32:-7");
   delete program;
}

TEST_P(PreparedReuse, ModulesAreLinkedForEachRunAndFollowTheirScript)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "mod", Compile("sub twice(a) { t = a * 2; return t; }\n"
                                                  "sub loop(n) { s = 0; while (n > 0) { s = s + n; n--; } return s; }")),
             1);
   ORVA_Program *program = Compile("use mod;\n"
                                   "sub main() { t = 1; return twice(5) + loop(4) + t + helper(t); }\n"
                                   "sub helper(t) { return t * 100; }");
   Mode(program);
   TestProgram *view = static_cast<TestProgram *>(program);
   const std::string listing = view->Listing();

   for (int run = 0; run < 3; run++)
   {
      EXPECT_EQ(ResultOf(program, &library), "int32:121") << "run " << run;
      EXPECT_EQ(view->Listing(), listing);   // the module's code went with the run
   }

   // A global of a name hides the locals of that name, the module's too.
   program->SetGlobalVariable("t", new ORVA_Value(int32(0)));
   ORVA_VariableSystem *globals = nullptr;
   EXPECT_EQ(ResultOf(program, &library, &globals), "int32:1030");
   ASSERT_NE(globals, nullptr);
   EXPECT_EQ(Describe(globals->Find("t")->Value()), "int32:10");
   delete globals;

   // Another script under the name is linked from the next run on.
   library.DeleteScript("mod");
   ASSERT_EQ(library.AddScript(2, "mod", Compile("sub twice(a) { return a * 3; }\n"
                                                  "sub loop(n) { return -n; }")),
             1);
   EXPECT_EQ(ResultOf(program, &library), "int32:112");
   delete program;
}

/* Each case: the two modules' code, then what main returns, linking both. */
struct LinkedCode
{
   void (*first)(Asm &);
   void (*second)(Asm &);
   const char *result;
};

TEST_P(PreparedReuse, ModuleCodeRunsOnAsLinkedBehindOtherCode)
{
   const LinkedCode cases[] = {
      // A call of no address ends the run wherever the code ends.
      {[](Asm &a) { a.Function("go").Jump(OPCODE_CALL, INVALID_ADDRESS).Push(1).Op(OPCODE_RET); },
       [](Asm &a) { a.Function("seven").Push(7).Op(OPCODE_RET); }, "none"},
      // A jump past the first module's code lands in the second's.
      {[](Asm &a) { a.Function("go").Jump(OPCODE_JMP, 1); },
       [](Asm &a) { a.Function("seven").Push(7).Op(OPCODE_RET); }, "int32:7"},
      // So does running off its end.
      {[](Asm &a) { a.Function("go").Push(3); },
       [](Asm &a) { a.Function("seven").Push(7).Op(OPCODE_ADD).Op(OPCODE_RET); }, "int32:10"},
   };
   for (const LinkedCode &c : cases)
   {
      ORVA_Library library;
      ORVA_Program *first = new ORVA_Program();
      Asm one(first);
      c.first(one);
      ASSERT_EQ(library.AddScript(1, "first", first), 1);
      ORVA_Program *second = new ORVA_Program();
      Asm two(second);
      c.second(two);
      ASSERT_EQ(library.AddScript(2, "second", second), 1);

      TestProgram p;
      Mode(&p);
      Asm(&p).Function("main").Call("go", 0).Op(OPCODE_RET);
      p.AddPreload(strdup("first"));
      p.AddPreload(strdup("second"));
      for (int run = 0; run < 2; run++)
      {
         ORVA_Environment *env = MakeEnvironment(stdout);
         env->SetLibrary(&library);
         EXPECT_EQ(p.Run(env, 0, nullptr, nullptr, nullptr), 0) << p.GetErrorText();
         EXPECT_EQ((p.GetResult() != nullptr) ? Describe(p.GetResult()) : "none", c.result);
         EXPECT_EQ(p.CodeSize(), 2u);
      }
   }
}

INSTANTIATE_TEST_SUITE_P(BothModes, PreparedReuse, ::testing::Bool());

/*
 * A run takes over the last run's stacks when they kept their first sizes;
 * it is charged for them all the same, so that every run under one ceiling
 * ends as the first did, whether its entry keeps locals in slots or not.
 */
TEST_P(PreparedReuse, EveryRunUnderACeilingEndsAsTheFirst)
{
   const char *source = "sub slotted(n) { s = \"\"; while (n > 0) { s = s . \"xxxxxxxx\"; n--; } return length(s); }\n"
                        "sub bare() { return 5; }\n"
                        "sub deep(n) { if (n > 0) return deep(n - 1) + 1; return 0; }";
   const char *order[] = {"slotted", "bare", "deep", "slotted", "bare", "slotted"};
   for (uint64 limit = 1024; limit <= 8192; limit += 256)
   {
      ORVA_Program *program = Compile(source);
      Mode(program);
      std::map<std::string, std::string> first;
      for (const char *entry : order)
      {
         ORVA_Environment *env = MakeEnvironment(stdout);
         env->SetMemoryLimit(limit);
         ORVA_Value *argument = new ORVA_Value(int32(40));
         const int rc = program->RunFunction(env, entry, 1, &argument, nullptr, nullptr);
         const std::string outcome = (rc == 0) ? Describe(program->GetResult()) : program->GetErrorText();
         auto known = first.emplace(entry, outcome);
         EXPECT_EQ(outcome, known.first->second) << entry << " under " << limit;
      }
      delete program;
   }
}
