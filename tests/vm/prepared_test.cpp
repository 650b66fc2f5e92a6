/*
 * The prepared form of a program: locals resolved to slots keep every rule
 * of the lookup by name, irregular code and code a host changes mid-run go
 * by name, and the form is made again when the code changes.  Every script
 * here runs twice, with the fast paths and without them (every name by
 * name, no fusion, no typed shortcut); both must agree to the byte.
 */
#include "vm/engine.h"
#include "vm_test_util.h"

#include <gtest/gtest.h>

#include <functional>

using Records = std::vector<std::string>;

namespace
{
struct Outcome
{
   RunOutcome run;
   Records recorded;
   bool operator==(const Outcome &other) const
   {
      return run.rc == other.run.rc && run.output == other.run.output && run.error == other.run.error &&
             run.resultType == other.run.resultType && run.resultText == other.run.resultText &&
             recorded == other.recorded;
   }
};

std::ostream &operator<<(std::ostream &out, const Outcome &o)
{
   out << "rc " << o.run.rc << " error \"" << o.run.error << "\" result " << o.run.resultType << ":"
       << o.run.resultText << " output \"" << o.run.output << "\" recorded";
   for (const std::string &r : o.recorded)
      out << " " << r;
   return out;
}

ORVA_Program *Compile(const char *source)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   EXPECT_NE(program, nullptr) << error;
   return program;
}

Outcome RunOnce(ORVA_Program *program, bool plain, const std::vector<ORVA_ExtFunction> &extra,
                const std::function<std::vector<ORVA_Value *>()> &args)
{
   ORVA_Engine::UsePlainPaths(program, plain);
   Outcome o;
   o.run = RunProgram(program, args ? args() : std::vector<ORVA_Value *>{}, extra);
   o.recorded = g_recorded;
   return o;
}

/* The outcome of a run with the fast paths, checked against a run without them. */
Outcome Both(ORVA_Program *program, const std::vector<ORVA_ExtFunction> &extra = {},
             const std::function<std::vector<ORVA_Value *>()> &args = nullptr)
{
   Outcome plain = RunOnce(program, true, extra, args);
   Outcome fast = RunOnce(program, false, extra, args);
   EXPECT_EQ(fast, plain);
   return fast;
}

Outcome Both(const char *source, const std::vector<ORVA_ExtFunction> &extra = {},
             const std::function<std::vector<ORVA_Value *>()> &args = nullptr)
{
   ORVA_Program *program = Compile(source);
   if (program == nullptr)
      return Outcome();
   Outcome o = Both(program, extra, args);
   delete program;
   return o;
}

ORVA_Program *s_program;   // the program a host function below works on

int MakeGlobal(int, ORVA_Value **argv, ORVA_Value **)
{
   s_program->SetGlobalVariable(argv[0]->GetValueAsCString(), new ORVA_Value(99));
   return 0;
}
}   // namespace

TEST(Prepared, GlobalsHideLocalsAndParameters)
{
   ORVA_Program *p = Compile("sub f(g, h) { rec(g, h); g = g + 1; h = h + 1; rec(g, h); return g; }\n"
                             "sub main() { g = 3; rec(f(10, 20)); rec(g); }");
   ASSERT_NE(p, nullptr);
   p->SetGlobalVariable("g", new ORVA_Value(5));
   Outcome o = Both(p);
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   // main's g = 3 and the parameter g are both the global.
   EXPECT_EQ(o.recorded, (Records{"int32:3", "int32:20", "int32:4", "int32:21", "int32:4", "int32:4"}));
   delete p;
}

TEST(Prepared, AGlobalMadeMidRunWinsFromThenOn)
{
   // x is a local of f and of main until the host makes a global x inside
   // the loop; from then on every frame sees the global, the callers' too.
   ORVA_Program *p = Compile("sub f(n) { x = n; i = 0; while (i < 3) { rec(x); if (i == 1) mk(\"x\"); x = x + 1; i++; }"
                             " rec(x); return x; }\n"
                             "sub main() { x = 1000; rec(f(7)); rec(x); }");
   ASSERT_NE(p, nullptr);
   s_program = p;
   Outcome o = Both(p, {{"mk", MakeGlobal, 1}});
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.recorded, (Records{"int32:7", "int32:8", "int32:100", "int32:101", "int32:101", "int32:101"}));
   EXPECT_EQ(p->FindGlobalVariable("x"), nullptr);   // the run's globals are gone with it
   delete p;
}

TEST(Prepared, ArgumentsAndParameters)
{
   // Missing arguments are null parameters, extra ones stay $n; a parameter
   // named twice takes the later argument; $1 read by name still holds the
   // first argument after its parameter changed.
   Outcome o = Both("sub f(a, b) { rec(a, b, $3); }\n"
                    "sub g(a, a) { rec(a); }\n"
                    "sub h(a) { a = a * 2; rec(a, $1); }\n"
                    "sub main() { f(1); f(1, 2, 3, 4); g(5, 6); h(21); }");
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.recorded, (Records{"int32:1", "null:", "null:", "int32:1", "int32:2", "int32:3", "int32:6", "int32:42",
                                  "int32:21"}));
}

TEST(Prepared, MainTakesTheLocalsTheHostHandsIn)
{
   ORVA_Program *p = Compile("sub main(a) { rec(a, $1, $2, seen); seen = seen + 1; rec(seen); }");
   ASSERT_NE(p, nullptr);
   for (bool plain : {true, false})
   {
      ORVA_Engine::UsePlainPaths(p, plain);
      ORVA_VariableSystem *locals = new ORVA_VariableSystem();
      locals->Create("seen", new ORVA_Value(41));
      locals->Create("$1", new ORVA_Value("host's"));   // found before the argument of the same name
      ORVA_Value *argv[] = {new ORVA_Value(1), new ORVA_Value(2)};
      g_recorded.clear();
      ORVA_Environment *env = MakeEnvironment(nullptr);
      EXPECT_EQ(p->Run(env, 2, argv, locals, nullptr), 0) << p->GetErrorText();
      EXPECT_EQ(g_recorded, (Records{"string:host's", "string:host's", "int32:2", "int32:41", "int32:42"}));
   }
   delete p;
}

TEST(Prepared, ArrayDeclarationsFindTheNameTaken)
{
   EXPECT_EQ(Both("sub main() { x; array x; }").run.error, "Error 22 in line 1: Variable already exist");
   EXPECT_EQ(Both("sub f(a) { array a; }\nsub main() { f(); }").run.error, "Error 22 in line 1: Variable already exist");
   ORVA_Program *p = Compile("sub main() { array g; }");
   ASSERT_NE(p, nullptr);
   p->SetGlobalVariable("g", new ORVA_Value(1));
   EXPECT_EQ(Both(p).run.error, "Error 22 in line 1: Variable already exist");
   delete p;
   Outcome o = Both("sub main() { array a; a[1] = 5; b = a; b[1] = 6; rec(a[1], b[1]); }");
   EXPECT_EQ(o.recorded, (Records{"int32:5", "int32:6"}));
}

TEST(Prepared, MatchGroupsAreLocalArguments)
{
   Outcome o = Both("sub f(s) { if (s match \"^(a+)(b+)$\") rec($1, $2); return $1; }\n"
                    "sub main() { rec(f(\"aabbb\")); rec($1); if (\"xy\" match \"(x)\") rec($1); }",
                    {}, [] { return std::vector<ORVA_Value *>{new ORVA_Value("arg")}; });
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.recorded, (Records{"string:aa", "string:bbb", "string:aa", "string:arg", "string:x"}));
}

TEST(Prepared, SelfAppendingTextStaysExact)
{
   // The text a local builds of itself, and one that reads as a number.
   Outcome o = Both("sub main() { s = 1; i = 0; while (i < 4) { s = s . i . \",\"; i++; } rec(s); t = s; s = s . t;"
                    " rec(s, t); n = 5; n = n . 0; rec(n + 1); }");
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.recorded, (Records{"string:10,1,2,3,", "string:10,1,2,3,10,1,2,3,", "string:10,1,2,3,", "int32:51"}));
}

/* Code whose functions run into each other goes by name and still runs right. */
TEST(Prepared, IrregularCodeGoesByName)
{
   {
      // main jumps into the middle of f's code, which then reads main's x.
      TestProgram p;
      Asm a(&p);
      a.Function("main").Push(4).Set("x").Pop().Jump(OPCODE_JMP, 8).Op(OPCODE_RET_NULL);
      a.Function("f").Push(1).Set("x").Pop();   // 5..7: skipped by the jump to 8
      a.Var("x").Push(10).Op(OPCODE_MUL).Op(OPCODE_RET);
      EXPECT_EQ(Both(&p).run.resultText, "40");
   }
   {
      // A BIND inside a loop counts on: each pass reads the next argument.
      TestProgram p;
      Asm a(&p);
      a.Function("main").Push(1).Push(2).Push(3).Call("f", 3).Op(OPCODE_RET);
      a.Function("f").Push(0).Set("n").Pop();                 // 5..7
      a.Bind("v").Var("v").Call("rec", 1).Pop();              // 8..11
      a.Named(OPCODE_INCP, "n").Push(3).Op(OPCODE_LT).Jump(OPCODE_JNZ, 8).Var("v").Op(OPCODE_RET);
      p.ResolveFunctions();
      Outcome o = Both(&p);
      EXPECT_EQ(o.recorded, (Records{"int32:1", "int32:2", "int32:3"}));
      EXPECT_EQ(o.run.resultText, "3");
   }
   {
      // A direct call into the middle of a function skips its BIND.
      TestProgram p;
      Asm a(&p);
      a.Function("main").Push(8).Push(9).Call("f", 2).Op(OPCODE_RET);
      a.Function("f").Bind("a").Bind("b").Var("a").Var("b").Var("$2").Call("rec", 3).Op(OPCODE_RET);
      p.ResolveFunctions();
      p.RelocateCode(2, 1, 1);   // the call now lands on f's second BIND
      Outcome o = Both(&p);
      EXPECT_EQ(o.run.rc, 0) << o.run.error;
      EXPECT_EQ(o.recorded, (Records{"null:", "int32:8", "int32:9"}));
   }
}

namespace
{
/* Appends a function "late" that returns 7 and is called by name. */
int GrowProgram(int, ORVA_Value **, ORVA_Value **)
{
   char error[256];
   s_program->AddFunction("late", INVALID_ADDRESS, error);
   s_program->AddInstruction(new ORVA_Instruction(99, OPCODE_PUSH_CONSTANT, new ORVA_Value(7)));
   s_program->AddInstruction(new ORVA_Instruction(99, OPCODE_RET));
   return 0;
}
}   // namespace

TEST(Prepared, CodeAHostAddsMidRunRuns)
{
   // The locals of every active frame survive the change of code.
   ORVA_Program *p = Compile("sub f(a) { b = a + 1; grow(); return a + b + late(); }\n"
                             "sub main() { x = 100; y = f(x); return x + y; }");
   ASSERT_NE(p, nullptr);
   s_program = p;
   const uint32 size = p->CodeSize();
   Outcome o = Both(p, {{"grow", GrowProgram, 0}});
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.run.resultText, "308");
   EXPECT_EQ(p->CodeSize(), size);   // what a run adds goes with it
   delete p;
}

TEST(Prepared, TheFormFollowsChangesToTheCode)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(1).Op(OPCODE_RET).Push(2).Op(OPCODE_RET);
   EXPECT_EQ(Both(&p).run.resultText, "1");
   EXPECT_EQ(Both(&p).run.resultText, "1");
   p.CreateJumpAt(0, 2);   // same size, another instruction
   EXPECT_EQ(Both(&p).run.resultText, "2");
   a.Jump(OPCODE_JMP, INVALID_ADDRESS);
   p.CreateJumpAt(0, 4);
   EXPECT_EQ(Both(&p).run.resultType, -1);   // runs off the end: no result
   p.ResolveLastJump(OPCODE_JMP);            // the JMP at 4 now targets 5, the end
   p.CreateJumpAt(0, 2);
   EXPECT_EQ(Both(&p).run.resultText, "2");
}

namespace
{
class SteppingProgram : public TestProgram
{
public:
   using ORVA_Program::Execute;
   using ORVA_Program::FindOrCreateVariable;
};

SteppingProgram *s_stepping;

/* Runs the instruction at the address given, then returns to the loop. */
int StepAt(int, ORVA_Value **argv, ORVA_Value **)
{
   const uint32 ip = s_stepping->IP();
   s_stepping->SetIP(static_cast<uint32>(argv[0]->GetValueAsInt32()));
   s_stepping->Execute();
   s_stepping->SetIP(ip);
   return 0;
}

int SetX(int, ORVA_Value **, ORVA_Value **)
{
   ORVA_Variable *x = s_stepping->FindOrCreateVariable("x");
   if (x == nullptr)
      return ORVA_ERR_INTERNAL;
   x->Set(new ORVA_Value(x->Value()->GetValueAsInt32() * 3));
   return 0;
}
}   // namespace

TEST(Prepared, HostsMayStepAndReachVariablesMidRun)
{
   SteppingProgram p;
   s_stepping = &p;
   Asm a(&p);
   // main: x = 5; step(12) (f's INCP x, run in main's frame); setx(); return x (with the
   // value INCP pushed still below).
   a.Function("main").Push(5).Set("x").Pop().Push(12).Call("step", 1).Pop();
   a.Call("setx", 0).Pop().Var("x").Op(OPCODE_RET);           // 6..9
   a.Op(OPCODE_RET_NULL).Op(OPCODE_RET_NULL);                  // 10, 11
   a.Function("f").Named(OPCODE_INCP, "x").Op(OPCODE_RET);     // 12, 13
   Outcome o = Both(&p, {{"step", StepAt, 1}, {"setx", SetX, 0}});
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.run.resultText, "18");
}

/*
 * Every operator on every pair of sample values, in every shape the fused
 * forms cover, gives the same result, error and line with the fast paths as
 * without them.
 */
namespace
{
std::vector<ORVA_Value *> Samples()
{
   return {new ORVA_Value(),
           new ORVA_Value("abc"),
           new ORVA_Value("12"),
           new ORVA_Value(new ORVA_Array()),
           new ORVA_Value(2.5),
           new ORVA_Value(7),
           new ORVA_Value(-3),
           new ORVA_Value(0),
           new ORVA_Value(static_cast<int32>(INT32_MIN)),
           new ORVA_Value(-static_cast<int64>(1ull << 40)),
           new ORVA_Value(static_cast<uint32>(0xFFFFFFFFu)),
           new ORVA_Value(static_cast<uint32>(3)),
           new ORVA_Value(static_cast<uint64>(~0ull)),
           new ORVA_Value(static_cast<uint64>(2))};
}

enum Shape
{
   STACK,         // two computed values on the stack
   CONSTANT,      // a computed value and a constant
   LOCAL_CONST,   // a local and a constant
   LOCAL_LOCAL    // two locals
};

std::string Operate(const ORVA_Value *left, const ORVA_Value *right, int opCode, Shape shape, bool jump, bool plain)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(new ORVA_Value(left)).Set("l").Pop().Push(new ORVA_Value(right)).Set("r").Pop();
   switch (shape)
   {
      case STACK: a.Var("l").Pop(0).Var("r").Pop(0); break;
      case CONSTANT: a.Var("l").Pop(0).Push(new ORVA_Value(right)); break;
      case LOCAL_CONST: a.Var("l").Push(new ORVA_Value(right)); break;
      case LOCAL_LOCAL: a.Var("l").Var("r"); break;
   }
   a.Op(opCode);
   if (jump)
   {
      const uint32 at = a.Here();
      a.Jump(OPCODE_JZ, at + 3).Push("taken").Op(OPCODE_RET).Push("not").Op(OPCODE_RET);
   }
   else
   {
      a.Var("l").Var("r").Call("rec", 3).Pop().Op(OPCODE_RET);
   }
   ORVA_Engine::UsePlainPaths(&p, plain);
   RunOutcome o = RunProgram(&p);
   std::string text = std::to_string(o.rc) + " " + o.error + " " + std::to_string(o.resultType) + ":" + o.resultText;
   for (const std::string &r : g_recorded)
      text += " " + r;
   return text;
}
}   // namespace

TEST(FastPaths, EveryOperatorAndTypePairAgreesWithThePlainPath)
{
   const int operators[] = {OPCODE_ADD, OPCODE_SUB, OPCODE_MUL, OPCODE_DIV, OPCODE_REM, OPCODE_BIT_AND,
                            OPCODE_BIT_OR, OPCODE_BIT_XOR, OPCODE_LSHIFT, OPCODE_RSHIFT, OPCODE_EQ, OPCODE_NE,
                            OPCODE_LT, OPCODE_LE, OPCODE_GT, OPCODE_GE, OPCODE_AND, OPCODE_OR};
   std::vector<ORVA_Value *> samples = Samples();
   for (int opCode : operators)
   {
      const bool truth = opCode >= OPCODE_EQ;
      for (const ORVA_Value *left : samples)
         for (const ORVA_Value *right : samples)
            for (Shape shape : {STACK, CONSTANT, LOCAL_CONST, LOCAL_LOCAL})
               for (bool jump : {false, true})
               {
                  if (jump && !truth)
                     continue;
                  const std::string fast = Operate(left, right, opCode, shape, jump, false);
                  const std::string plain = Operate(left, right, opCode, shape, jump, true);
                  ASSERT_EQ(fast, plain) << "opcode " << opCode << " shape " << shape << " jump " << jump << " "
                                         << Describe(const_cast<ORVA_Value *>(left)) << " "
                                         << Describe(const_cast<ORVA_Value *>(right));
               }
   }
   for (ORVA_Value *value : samples)
      delete value;
}
