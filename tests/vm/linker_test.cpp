/* Module linking with relocation, and the jump optimiser. */
#include "vm_test_util.h"

#include <gtest/gtest.h>

/*
 * g(x) { return h(x); }  h(y) { return y + 100; }  shared() { return 1; }
 * with the call of h resolved, as a compiled module has it.
 */
static ORVA_Program *MakeModule()
{
   ORVA_Program *module = new ORVA_Program();
   Asm a(module);
   a.Function("g").Bind("x").Var("x").Call("h", 1).Op(OPCODE_RET);
   a.Function("h").Bind("y").Var("y").Push(100).Op(OPCODE_ADD).Op(OPCODE_RET);
   a.Function("shared").Push(1).Op(OPCODE_RET);
   module->ResolveFunctions();
   return module;
}

static RunOutcome RunWithLibrary(ORVA_Program *program, ORVA_Library *library)
{
   char *buffer = nullptr;
   size_t size = 0;
   FILE *stream = open_memstream(&buffer, &size);
   ORVA_Environment *env = MakeEnvironment(stream);
   env->SetLibrary(library);
   RunOutcome o;
   o.rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   fclose(stream);
   free(buffer);
   if (program->GetErrorText() != nullptr)
      o.error = program->GetErrorText();
   if (program->GetResult() != nullptr)
      o.resultText = Describe(program->GetResult());
   return o;
}

TEST(Linker, ModulesRunAtAnyStartAddress)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "mod", MakeModule()), 1);

   for (int padding : {0, 1, 17})
   {
      TestProgram p;
      Asm a(&p);
      for (int i = 0; i < padding; i++)
         a.Op(OPCODE_NOP);
      // main() { return g(5) + shared(); } with its own shared() { return 1000; }
      a.Function("main").Push(5).Call("g", 1).Call("shared", 0).Op(OPCODE_ADD).Op(OPCODE_RET);
      a.Function("shared").Push(1000).Op(OPCODE_RET);
      p.ResolveFunctions();
      p.AddPreload(strdup("mod"));
      p.AddPreload(strdup("MOD"));

      uint32 codeSize = p.CodeSize();
      RunOutcome o = RunWithLibrary(&p, &library);
      EXPECT_EQ(o.rc, 0) << o.error;
      EXPECT_EQ(o.resultText, "int32:1105") << "padding " << padding;
      EXPECT_EQ(p.CodeSize(), codeSize);
      EXPECT_EQ(p.FunctionCount(), 2u);
      EXPECT_EQ(p.ModuleCount(), 0u);

      o = RunWithLibrary(&p, &library);   // linked afresh on every run
      EXPECT_EQ(o.resultText, "int32:1105");
   }
}

TEST(Linker, MainMayComeFromAModule)
{
   ORVA_Library library;
   ORVA_Program *module = new ORVA_Program();
   Asm(module).Function("main").Push("from module").Op(OPCODE_RET);
   ASSERT_EQ(library.AddScript(1, "m", module), 1);

   TestProgram p;
   Asm(&p).Function("helper").Op(OPCODE_RET_NULL);
   p.AddPreload(strdup("m"));
   EXPECT_EQ(RunWithLibrary(&p, &library).resultText, "string:from module");

   p.AddPreload(strdup("no_such_module_anywhere"));
   RunOutcome o = RunWithLibrary(&p, &library);
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.error, "Error 16 in line 0: Requested module not found or cannot be loaded");
   EXPECT_EQ(p.CodeSize(), 1u);
   EXPECT_EQ(p.FunctionCount(), 1u);
}

TEST(Linker, UseModuleLinksEachNameOnce)
{
   ORVA_Program *module = MakeModule();
   TestProgram p;
   Asm(&p).Op(OPCODE_NOP).Op(OPCODE_NOP);
   p.UseModule(module, "Mod");
   p.UseModule(module, "mOD");
   EXPECT_EQ(p.CodeSize(), 2 + module->CodeSize());
   EXPECT_EQ(p.ModuleCount(), 1u);
   EXPECT_EQ(p.GetFunctionAddress("h"), 6u);

   p.UseModule(module, "other");
   p.UseModule(module, "OTHER");
   EXPECT_EQ(p.ModuleCount(), 2u);
   EXPECT_EQ(p.CodeSize(), 2 + 2 * module->CodeSize());
   EXPECT_EQ(p.GetFunctionAddress("g"), 2u);   // the first copy wins
   delete module;   // the copies stand on their own
   EXPECT_NE(p.Listing().find("0004  CALL    0006, 1\n"), std::string::npos);
   EXPECT_NE(p.Listing().find("000F  CALL    0011, 1\n"), std::string::npos);
}

// Lookups by name follow the function table as runs link modules and cut
// them off again, also when later records take the places of earlier ones.
TEST(Linker, FunctionLookupsFollowLinkingAndUnlinking)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "mod", MakeModule()), 1);
   TestProgram p;
   Asm(&p).Function("main").Push(5).Call("g", 1).Op(OPCODE_RET).Function("shared").Push(0).Op(OPCODE_RET);
   p.AddPreload(strdup("mod"));
   EXPECT_EQ(RunWithLibrary(&p, &library).resultText, "int32:105");
   EXPECT_EQ(p.GetFunctionAddress("g"), INVALID_ADDRESS) << "unlinked at the end of the run";
   EXPECT_EQ(p.GetFunctionAddress("shared"), 3u);

   ORVA_Program *other = new ORVA_Program();
   Asm(other).Function("k").Push(7).Op(OPCODE_RET).Function("shared").Push(8).Op(OPCODE_RET);
   p.UseModule(other, "other");   // outside a run: its records stay
   delete other;
   EXPECT_EQ(p.GetFunctionAddress("k"), 5u);
   EXPECT_EQ(p.GetFunctionAddress("h"), INVALID_ADDRESS);
   EXPECT_EQ(p.GetFunctionAddress("shared"), 3u) << "the program's own record comes first";
   EXPECT_EQ(RunWithLibrary(&p, &library).resultText, "int32:105");
   EXPECT_EQ(p.GetFunctionAddress("k"), 5u);
   EXPECT_EQ(p.FunctionCount(), 4u);

   // A table of thousands of names finds each at its own address.
   char error[256];
   for (uint32 i = 0; i < 5000; i++)
      ASSERT_EQ(p.AddFunction(("f" + std::to_string(i)).c_str(), 100 + i, error), 1);
   for (uint32 i = 0; i < 5000; i += 7)
      EXPECT_EQ(p.GetFunctionAddress(("f" + std::to_string(i)).c_str()), 100 + i);
   EXPECT_EQ(p.AddFunction("f4999", 0, error), 0);
   EXPECT_EQ(p.GetFunctionAddress("f5000"), INVALID_ADDRESS);
}

TEST(Linker, RelocateCodeStaysInsideTheCode)
{
   TestProgram p;
   Asm(&p).Jump(OPCODE_JMP, 1).Jump(OPCODE_JZ, INVALID_ADDRESS).Jump(OPCODE_JNZ, 0).Push(3);
   p.RelocateCode(1, 0xFFFFFFF0u, 0x10);
   EXPECT_EQ(p.Listing(), "0000  JMP     0001\n0001  JZ      FFFFFFFF\n0002  JNZ     0010\n0003  PUSH    \"3\"\n");
}

TEST(Optimizer, JumpChainsEndAtTheirTarget)
{
   TestProgram p;
   Asm a(&p);
   a.Jump(OPCODE_JZ, 2).Op(OPCODE_NOP).Jump(OPCODE_JMP, 4).Op(OPCODE_NOP).Jump(OPCODE_JMP, 6).Op(OPCODE_NOP);
   a.Jump(OPCODE_JNZ, 2);
   p.Optimize();
   EXPECT_EQ(p.Listing(),
             "0000  JZ      0006\n"
             "0001  NOP     \n"
             "0002  JMP     0006\n"
             "0003  NOP     \n"
             "0004  JMP     0006\n"
             "0005  NOP     \n"
             "0006  JNZ     0006\n");
}

TEST(Optimizer, JumpsToTheNextInstructionAreRemoved)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Jump(OPCODE_JZ, 3).Jump(OPCODE_JMP, 2).Var("x").Jump(OPCODE_JZ, 4);
   a.Function("g").Jump(OPCODE_JMP, 5).Call("f", 0).Op(OPCODE_RET_NULL);
   a.Function("f").Op(OPCODE_RET_NULL).Jump(OPCODE_JMP, 9);
   p.ResolveFunctions();
   p.Optimize();
   EXPECT_EQ(p.Listing(),
             "0000  JZ      0002\n"
             "0001  PUSH    x\n"
             "0002  JZ      0003\n"
             "0003  CALL    0005, 0\n"
             "0004  NRET    \n"
             "0005  NRET    \n");
   EXPECT_EQ(p.GetFunctionAddress("main"), 0u);
   EXPECT_EQ(p.GetFunctionAddress("g"), 3u);
   EXPECT_EQ(p.GetFunctionAddress("f"), 5u);
}

TEST(Optimizer, LoopingChainsAreLeftAsTheyAre)
{
   TestProgram p;
   Asm a(&p);
   a.Push(1).Jump(OPCODE_JMP, 1).Jump(OPCODE_JNZ, 1).Op(OPCODE_RET_NULL);
   a.Jump(OPCODE_JMP, 5).Jump(OPCODE_JMP, 4).Jump(OPCODE_JZ, 4);
   EXPECT_EQ(p.FinalJumpDestination(1), 1u);
   EXPECT_EQ(p.FinalJumpDestination(4), 4u);
   EXPECT_EQ(p.FinalJumpDestination(0), 0u);
   EXPECT_EQ(p.FinalJumpDestination(100), 100u);
   p.Optimize();
   EXPECT_EQ(p.Listing(),
             "0000  PUSH    \"1\"\n"
             "0001  JMP     0001\n"
             "0002  JNZ     0001\n"
             "0003  NRET    \n"
             "0004  JMP     0004\n"
             "0005  JZ      0004\n");
}

TEST(Optimizer, LongChainsStayCheap)
{
   // 100000 jumps, each to the jump after next: one chain walk per jump
   // would take quadratic time.
   TestProgram p;
   Asm a(&p);
   const uint32 count = 100000;
   for (uint32 i = 0; i < count; i++)
      a.Jump(OPCODE_JMP, i + 2);
   a.Op(OPCODE_RET_NULL).Op(OPCODE_RET_NULL);
   p.Optimize();
   EXPECT_EQ(p.CodeSize(), count + 2);
   EXPECT_EQ(p.FinalJumpDestination(0), count);
   EXPECT_EQ(p.Listing().substr(0, 34), "0000  JMP     186A0\n0001  JMP     ");
}

TEST(Optimizer, LiteralsKeepTheTextTheyPrintWith)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push("0x1F").Push("7").Push("1.5").Push(" 12").Push("-0").Push(new ORVA_Value(2.5));
   a.Call("rec", 6).Op(OPCODE_RET);
   std::string before = p.Listing();
   p.Optimize();
   EXPECT_EQ(p.Listing(), before);
   RunProgram(&p);
   EXPECT_EQ(g_recorded, (std::vector<std::string>{"int32:0x1F", "int32:7", "real:1.5", "int32: 12", "int32:-0",
                                                   "real:2.500000"}));
}
