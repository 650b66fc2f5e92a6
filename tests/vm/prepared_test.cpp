/*
 * The prepared form of a program: locals resolved to slots keep every rule
 * of the lookup by name, irregular code and code a host changes mid-run go
 * by name, and the form is made again when the code changes.  Every script
 * here runs twice, with the fast paths and without them (every name by
 * name, no fusion, no typed shortcut); both must agree to the byte.
 */
#include "vm/engine.h"
#include "test_util.h"
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

using orva_test::Compile;

Outcome RunOnce(ORVA_Program *program, bool plain, const std::vector<ORVA_ExtFunction> &extra,
                const std::function<std::vector<ORVA_Value *>()> &args)
{
   ORVA_Engine::UseGeneralPathsOnly(program, plain);
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

TEST(Prepared, AGlobalMadeMidRunReachesEveryFusedForm)
{
   // Once the host makes the globals, every read and write of i, s, a and t
   // in the loop - compare-and-jump, computed stores, element reads and
   // stores, self-appending text - reaches them and no longer the locals.
   ORVA_Program *p = Compile("sub main() { array a; i = 0; s = \"\"; t = 0; n = 2;"
                             " while (i < 4) { if (i == 2) { mk(\"i\"); mk(\"s\"); mk(\"a\"); mk(\"t\"); }"
                             " a[i] = i; t = a[i]; s = s . i . \",\"; t = t + i; rec(i, s, t); i = i + n; } rec(i, s, t); }");
   ASSERT_NE(p, nullptr);
   s_program = p;
   Outcome o = Both(p, {{"mk", MakeGlobal, 1}});
   // From i == 2 on: i = 99 ends the loop at once; a is the global 99, no array.
   EXPECT_EQ(o.run.error, "Error 24 in line 1: Attempt to use array element access operation on non-array");
   EXPECT_EQ(o.recorded, (Records{"int32:0", "string:0,", "int32:0"}));
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
      ORVA_Engine::UseGeneralPathsOnly(p, plain);
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

   // Appended elements and computed pieces; a failing piece ends the run
   // with the error of its own instruction.
   o = Both("sub main() { array w; w[0] = \"x\"; w[1] = \"y\"; s = \"\"; i = 0;"
            " while (i < 2) { s = s . w[i % 2] . (i * 2) . w[1] . w[i]; i++; } rec(s);\n s = s . w[5]; }");
   EXPECT_EQ(o.recorded, (Records{"string:x0yxy2yy"}));
   EXPECT_EQ(o.run.rc, -1);
   EXPECT_EQ(o.run.error, "Error 5 in line 2: Invalid operation with NULL value");
}

TEST(Prepared, ElementsReplacedInPlaceStayApart)
{
   // A number stored over a number takes the element's place; copies of the
   // array, of the element and the value of the assignment keep their own.
   Outcome o = Both("sub main() { array a; a[1] = 5; b = a; c = a[1]; d = (a[1] = 6); a[1] = 7; i = 1; a[i] = i;"
                    " rec(a[1], b[1], c, d); array e; a[2] = e; a[2] = 8; a[3] = \"t\"; k = 3; a[k] = 9;"
                    " rec(a[2], a[3]); }");
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.recorded, (Records{"int32:1", "int32:5", "int32:5", "int32:6", "int32:8", "int32:9"}));
}

TEST(Prepared, ArraysGrownAtTheTopKeepEveryElement)
{
   // Grown past the top from the start, from a negative origin, below the
   // origin, towards an element stored apart (which then joins the run),
   // with null, reals and an element already waiting at the next index.
   Outcome o = Both("sub main() { array a; i = 0; while (i < 2000) { a[i] = i; i++; } s = 0; i = 0;"
                    " while (i < 2000) { s = s + a[i]; i++; } rec(s, a[1999], a[2000]);"
                    " array b; i = -3; while (i < 3) { v = i * 0.5; b[i] = v; i++; } rec(b[-3], b[2]);"
                    " array c; c[5] = 1; c[9] = 9; i = 4; while (i >= 0) { c[i] = 7; i--; } i = 6;"
                    " while (i < 9) { c[i] = i; i++; } c[10] = 10; n = NULL; c[11] = n;"
                    " rec(c[0], c[8], c[9], c[10], c[11], c[12]); d = c; c[12] = 12; rec(d[12], c[12]); }");
   EXPECT_EQ(o.run.rc, 0) << o.run.error;
   EXPECT_EQ(o.recorded, (Records{"int32:1999000", "int32:1999", "null:", "real:-1.500000", "real:1.000000", "int32:7",
                                  "int32:8", "int32:9", "int32:10", "null:", "null:", "null:", "int32:12"}));
}

TEST(Prepared, NegatedElementTestsJumpOnTheElementsTruth)
{
   // "!a[i]" on each kind of element, in both jump senses; the kinds NOT
   // refuses stop the run with the plain path's error and line.
   const struct
   {
      const char *element;
      const char *result;   // what rec saw, or the error
   } cases[] = {
      {"0", "yy"},        {"5", "nn"},         {"-1", "nn"},   {"4000000000", "nn"}, {"\"0\"", "yy"},
      {"\"\"", "yy"},   {"t . \"\"", "nn"}, {"NULL", "Error 4 in line 2: Bad arithmetic conversion"},
      {"e", "Error 4 in line 2: Bad arithmetic conversion"},
      {"2.5", "Error 10 in line 2: Invalid operation with real numbers"},
   };
   for (const auto &c : cases)
   {
      SCOPED_TRACE(c.element);
      const std::string source = std::string("sub main() { array a; array e; t = 3; i = 2; a[i] = ") + c.element +
                                 ";\n s = \"\"; if (!a[i]) s = \"y\"; else s = \"n\";"
                                 " while (!a[i]) { s = s . \"y\"; break; } if (s == \"n\") s = \"nn\"; rec(s); }";
      Outcome o = Both(source.c_str());
      EXPECT_EQ((o.run.rc == 0) ? o.recorded.at(0).substr(7) : o.run.error, c.result);
   }
   // An index past the elements, and an array that is not one.
   Outcome missing = Both("sub main() { array a; a[0] = 1; i = 1;\n if (!a[i]) rec(1); }");
   EXPECT_EQ(missing.run.error, "Error 4 in line 2: Bad arithmetic conversion");
   Outcome notArray = Both("sub main() { a = 7; i = 0;\n if (!a[i]) rec(1); }");
   EXPECT_EQ(notArray.run.rc, -1);
   EXPECT_NE(notArray.run.error.find("line 2"), std::string::npos) << notArray.run.error;
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

TEST(Prepared, HandBuiltConstantsWithoutAValuePushNull)
{
   // A constant instruction holding no value pushes null, in any position a
   // fused form would take it in.
   auto build = [](Asm &a, int shape) {
      ORVA_Value *none = nullptr;
      a.Function("main").Push(3).Set("x").Pop().Named(OPCODE_ARRAY, "arr");
      switch (shape)
      {
         case 0: a.Var("x").Push(none).Op(OPCODE_EQ).Op(OPCODE_RET); break;
         case 1: a.Var("x").Pop(0).Push(none).Op(OPCODE_NE).Jump(OPCODE_JZ, 0).Push(1).Op(OPCODE_RET); break;
         case 2: a.Var("arr").Var("x").Push(none).Op(OPCODE_SET_ELEMENT).Pop().Var("arr").Var("x").Op(OPCODE_GET_ELEMENT).Op(OPCODE_RET); break;
         default: a.Var("x").Push(none).Op(OPCODE_ADD).Op(OPCODE_RET); break;
      }
   };
   const char *const expected[] = {"0 int32:0", "0 int32:1", "0 null:", "-1 Error 5 in line 7: Invalid operation with NULL value"};
   for (int shape = 0; shape < 4; shape++)
   {
      TestProgram p;
      Asm a(&p);
      build(a, shape);
      Outcome o = Both(&p);
      const std::string text = std::to_string(o.run.rc) + " " +
                               (o.run.rc == 0 ? std::string(g_orvaTypeNames[o.run.resultType]) + ":" + o.run.resultText
                                              : o.run.error);
      EXPECT_EQ(text, expected[shape]) << "shape " << shape;
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
   LOCAL,         // a computed value and a local
   LOCAL_CONST,   // a local and a constant
   LOCAL_LOCAL,   // two locals
   STORED         // two locals, the result stored into a local as a statement
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
      case LOCAL: a.Var("l").Pop(0).Var("r"); break;
      case LOCAL_CONST: a.Var("l").Push(new ORVA_Value(right)); break;
      case LOCAL_LOCAL:
      case STORED: a.Var("l").Var("r"); break;
   }
   a.Op(opCode);
   if (shape == STORED)
      a.Set("x").Pop().Var("x");
   if (jump)
   {
      const uint32 at = a.Here();
      a.Jump(OPCODE_JZ, at + 3).Push("taken").Op(OPCODE_RET).Push("not").Op(OPCODE_RET);
   }
   else
   {
      a.Var("l").Var("r").Call("rec", 3).Pop().Op(OPCODE_RET);
   }
   ORVA_Engine::UseGeneralPathsOnly(&p, plain);
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
            for (Shape shape : {STACK, CONSTANT, LOCAL, LOCAL_CONST, LOCAL_LOCAL, STORED})
               for (bool jump : {false, true})
               {
                  if (jump && (!truth || shape == STORED))
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

/* Element reads and stores in every fused shape agree with the plain ones. */
TEST(FastPaths, ElementShapesAgreeWithThePlainPath)
{
   std::vector<ORVA_Value *> samples = Samples();
   // What "a" holds: an array with elements 0 (a number), 1 (a text), 2 (an
   // array) and 3 (null); or one of the samples instead of an array.
   auto run = [&](const ORVA_Value *index, const ORVA_Value *value, const ORVA_Value *holder, int form, bool plain) {
      TestProgram p;
      Asm a(&p);
      a.Function("main");
      if (holder == nullptr)
      {
         a.Named(OPCODE_ARRAY, "a").Named(OPCODE_ARRAY, "e");
         a.Var("a").Push(0).Push(10).Op(OPCODE_SET_ELEMENT).Pop();
         a.Var("a").Push(1).Push("t").Op(OPCODE_SET_ELEMENT).Pop();
         a.Var("a").Push(2).Var("e").Op(OPCODE_SET_ELEMENT).Pop();
         a.Var("a").Push(3).PushNull().Op(OPCODE_SET_ELEMENT).Pop();
      }
      else
      {
         a.Push(new ORVA_Value(holder)).Set("a").Pop();
      }
      a.Push(new ORVA_Value(index)).Set("i").Pop().Push(new ORVA_Value(value)).Set("v").Pop();
      switch (form)
      {
         case 0: a.Var("a").Var("i").Op(OPCODE_GET_ELEMENT); break;                           // a[i]
         case 1: a.Var("a").Push(new ORVA_Value(index)).Op(OPCODE_GET_ELEMENT); break;        // a[constant]
         case 2: a.Var("a").Pop(0).Var("i").Op(OPCODE_GET_ELEMENT); break;                   // (a)[i]
         case 3: a.Var("a").Var("i").Op(OPCODE_GET_ELEMENT).Set("t").Pop().Var("t"); break;  // t = a[i]
         case 4: a.Var("a").Var("i").Push(new ORVA_Value(value)).Op(OPCODE_SET_ELEMENT).Pop().Var("a"); break;
         case 5: a.Var("a").Var("i").Var("v").Op(OPCODE_SET_ELEMENT).Pop().Var("a"); break;
         default: a.Var("a").Var("i").Var("v").Op(OPCODE_SET_ELEMENT).Var("a"); break;      // value of a[i] = v
      }
      a.Var("a").Push(0).Op(OPCODE_GET_ELEMENT).Var("a").Push(1).Op(OPCODE_GET_ELEMENT);
      a.Var("a").Var("i").Op(OPCODE_GET_ELEMENT).Call("rec", 4).Pop().Op(OPCODE_RET);
      ORVA_Engine::UseGeneralPathsOnly(&p, plain);
      RunOutcome o = RunProgram(&p);
      std::string text = std::to_string(o.rc) + " " + o.error + " " + std::to_string(o.resultType) + ":" + o.resultText;
      for (const std::string &r : g_recorded)
         text += " " + r;
      return text;
   };
   std::vector<const ORVA_Value *> holders = {nullptr, samples[0], samples[1], samples[6]};
   for (const ORVA_Value *holder : holders)
      for (const ORVA_Value *index : samples)
         for (const ORVA_Value *value : samples)
            for (int form = 0; form <= 6; form++)
            {
               if (form < 4 && value != samples[0])
                  continue;   // reads do not depend on the value
               ASSERT_EQ(run(index, value, holder, form, false), run(index, value, holder, form, true))
                  << "form " << form << " index " << Describe(const_cast<ORVA_Value *>(index)) << " value "
                  << Describe(const_cast<ORVA_Value *>(value));
            }
   for (ORVA_Value *value : samples)
      delete value;
}
