/* The execution engine: runs of hand-assembled programs. */
#include "vm_test_util.h"

#include <gtest/gtest.h>

using Records = std::vector<std::string>;

TEST(Engine, MainBindsItsArgumentsAndReturnsAValue)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Bind("a").Bind("b").Var("$1").Var("$2").Call("rec", 2).Pop();
   a.Var("a").Push(10).Op(OPCODE_MUL).Var("b").Op(OPCODE_ADD).Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p, {new ORVA_Value(1), new ORVA_Value(2)});
   EXPECT_EQ(o.rc, 0);
   EXPECT_EQ(o.resultType, ORVA_DT_INT32);
   EXPECT_EQ(o.resultText, "12");
   EXPECT_EQ(g_recorded, (Records{"int32:1", "int32:2"}));
}

TEST(Engine, MissingMainIsReportedInLineZero)
{
   TestProgram p;
   Asm a(&p);
   a.Function("other").Op(OPCODE_RET_NULL);
   RunOutcome o = RunProgram(&p, {new ORVA_Value("released")});
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.error, "Error 7 in line 0: main() function not presented");
   EXPECT_EQ(p.GetResult(), nullptr);
}

TEST(Engine, CallsWithFewerAndMoreArguments)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(5).Call("f", 1).Pop().Push(1).Push(2).Push(3).Call("f", 3).Op(OPCODE_RET);
   a.Function("f").Bind("x").Bind("y").Var("x").Var("y").Var("$3").Call("rec", 3).Pop().Var("y").Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(g_recorded, (Records{"int32:5", "null:", "null:", "int32:1", "int32:2", "int32:3"}));
   EXPECT_EQ(o.resultText, "2");
}

TEST(Engine, GlobalsHideLocalsAndAreRestoredAfterTheRun)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(1).Call("f", 1).Op(OPCODE_RET);
   a.Function("f").Bind("g").Var("g").Call("rec", 1).Pop().Push(7).Set("g").Pop().Var("g").Op(OPCODE_RET);
   p.SetGlobalVariable("g", new ORVA_Value(5));

   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(g_recorded, (Records{"int32:5"}));
   EXPECT_EQ(o.resultText, "7");
   EXPECT_EQ(Describe(p.FindGlobalVariable("g")->Value()), "int32:5");

   ORVA_VariableSystem *out = nullptr;
   o = RunProgram(&p, {}, {}, &out);
   ASSERT_NE(out, nullptr);
   EXPECT_EQ(Describe(out->Find("g")->Value()), "int32:7");
   delete out;
   EXPECT_EQ(Describe(p.FindGlobalVariable("g")->Value()), "int32:5");
   EXPECT_EQ(p.FindGlobalVariable("nothing"), nullptr);

   p.SetGlobalVariable("g", new ORVA_Value("x"));
   EXPECT_EQ(Describe(p.FindGlobalVariable("g")->Value()), "string:x");
}

TEST(Engine, ExitInANestedFunctionCompletesTheRun)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(99).Call("f", 0).Push(1).Op(OPCODE_RET);
   a.Function("f").Push("ignored").Push(3).Op(OPCODE_EXIT);
   p.ResolveFunctions();
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, 0);
   EXPECT_EQ(o.resultText, "ignored");
}

TEST(Engine, PrintWritesRawTextOrNull)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").PushNull().Op(OPCODE_PRINT).Push("a").Op(OPCODE_PRINT);
   a.Push(new ORVA_Value("x\0y", 3)).Op(OPCODE_PRINT).Push(new ORVA_Value(1.5)).Op(OPCODE_PRINT);
   a.Named(OPCODE_ARRAY, "arr").Var("arr").Op(OPCODE_PRINT).Op(OPCODE_RET_NULL);
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, 0);
   EXPECT_EQ(o.output, std::string("(null)ax\0y1.500000(null)", 24));
   EXPECT_EQ(o.resultType, ORVA_DT_NULL);

   // Without an output stream the text goes nowhere.
   EXPECT_EQ(p.Run(nullptr, 0, nullptr, nullptr, nullptr), 0);
}

TEST(Engine, IncrementAndDecrement)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(5).Set("x").Pop();
   a.Named(OPCODE_INC, "x").Named(OPCODE_DEC, "x").Named(OPCODE_INCP, "x").Named(OPCODE_DECP, "x");
   a.Var("x").Call("rec", 5).Pop();
   a.Push("abc").Set("s").Pop().Named(OPCODE_INC, "s").Op(OPCODE_RET_NULL);
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(g_recorded, (Records{"int32:5", "int32:6", "int32:6", "int32:5", "int32:5"}));
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.error, "Error 4 in line 14: Bad arithmetic conversion");
}

static int FailingHandler(int, ORVA_Value **, ORVA_Value **)
{
   return ORVA_ERR_NOT_INTEGER;
}

static int SilentHandler(int, ORVA_Value **, ORVA_Value **)
{
   return 0;
}

TEST(Engine, ExternalFunctions)
{
   const std::vector<ORVA_ExtFunction> extra = {
      {"two", RecordHandler, 2}, {"fail", FailingHandler, -1}, {"silent", SilentHandler, -1}};

   {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Call("rec", 0).Push("a").Push(2).Push(3).Call("rec", 3).Op(OPCODE_ADD);
      a.Push(8).Push(9).Call("two", 2).Op(OPCODE_ADD).Op(OPCODE_RET);
      RunOutcome o = RunProgram(&p, {}, extra);
      EXPECT_EQ(o.resultText, "5");   // 0 + 3 + 2 arguments counted
      EXPECT_EQ(g_recorded, (Records{"string:a", "int32:2", "int32:3", "int32:8", "int32:9"}));
   }
   {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Push(1).Push(2).Push(3).Call("two", 3).Op(OPCODE_RET);
      RunOutcome o = RunProgram(&p, {}, extra);
      EXPECT_EQ(o.error, "Error 12 in line 4: Invalid number of function's arguments");
   }
   {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Op(OPCODE_NOP).Push("kept").Call("fail", 1).Op(OPCODE_RET);
      RunOutcome o = RunProgram(&p, {}, extra);
      EXPECT_EQ(o.rc, -1);
      EXPECT_EQ(o.error, "Error 19 in line 3: Function or operation argument is not a whole number");
   }
   {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Push(1).Push(2).Call("silent", 2).Op(OPCODE_RET);
      RunOutcome o = RunProgram(&p, {}, extra);
      EXPECT_EQ(o.rc, 0);
      EXPECT_EQ(o.resultType, ORVA_DT_NULL);
   }
   {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Call("rec", 1).Op(OPCODE_RET);
      EXPECT_EQ(RunProgram(&p, {}, extra).error, "Error 1 in line 1: Data stack underflow");
   }
   {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Push(1).Call("nowhere", 1).Op(OPCODE_RET);
      EXPECT_EQ(RunProgram(&p, {}, extra).error, "Error 11 in line 2: Function not found");
   }
}

/* main calls f(n), which calls itself down to f(0): n + 1 nested calls. */
static void BuildCountdown(ORVA_Program *p)
{
   Asm a(p);
   a.Function("main").Bind("n").Var("n").Call("f", 1).Op(OPCODE_RET);
   a.Function("f").Bind("n").Var("n").Jump(OPCODE_JZ, 12);
   a.Var("n").Push(1).Op(OPCODE_SUB).Call("f", 1).Op(OPCODE_RET);
   a.Push("bottom").Op(OPCODE_RET);
   p->ResolveFunctions();
}

TEST(Engine, CallDepthIsLimitedWithoutRecursion)
{
   TestProgram p;
   BuildCountdown(&p);
   RunOutcome o = RunProgram(&p, {new ORVA_Value(static_cast<int32>(MAX_CALL_DEPTH - 1))});
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.resultText, "bottom");

   o = RunProgram(&p, {new ORVA_Value(static_cast<int32>(MAX_CALL_DEPTH))});
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.error, "Error 8 in line 11: Control stack overflow");

   // The machine is whole again for the next run.
   o = RunProgram(&p, {new ORVA_Value(3)});
   EXPECT_EQ(o.resultText, "bottom");
}

TEST(Engine, ReturnDropsWhatTheCalleeLeftBelowItsResult)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(1).Call("f", 0).Op(OPCODE_ADD).Call("g", 0).Pop().Op(OPCODE_RET);
   a.Function("f").Push(7).Push(42).Op(OPCODE_RET);   // 7 is the value of a switch left open
   a.Function("g").Push(7).Op(OPCODE_RET_NULL);
   p.ResolveFunctions();
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, 0);
   EXPECT_EQ(o.resultText, "43");
}

TEST(Engine, RunsAreRepeatable)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Bind("n").Push(10).Var("n").Op(OPCODE_REM).Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p, {new ORVA_Value(0)});
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.error, "Error 9 in line 4: Divide by zero");
   for (int i = 0; i < 2; i++)
   {
      o = RunProgram(&p, {new ORVA_Value(3)});
      EXPECT_EQ(o.rc, 0);
      EXPECT_EQ(o.resultText, "1");
      EXPECT_EQ(o.error, "Error 9 in line 4: Divide by zero");   // kept until the next error
   }
   EXPECT_EQ(p.CodeSize(), 5u);
}

TEST(Engine, ArrayElements)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Named(OPCODE_ARRAY, "a");
   a.Var("a").Push(1).Push(10).Op(OPCODE_SET_ELEMENT).Pop();
   a.Var("a").Push(1).Op(OPCODE_GET_ELEMENT);
   a.Var("a").Push(2).Op(OPCODE_GET_ELEMENT);
   // Assignment copies the array: b's change is not seen through a.
   a.Var("a").Set("b").Pop().Var("b").Push(1).Push(20).Op(OPCODE_SET_ELEMENT).Pop();
   a.Var("a").Push(1).Op(OPCODE_GET_ELEMENT);
   // An array stored into itself holds itself: a[0][1] is a[1].
   a.Var("a").Push(0).Var("a").Op(OPCODE_SET_ELEMENT).Pop();
   a.Var("a").Push(0).Op(OPCODE_GET_ELEMENT).Push(1).Op(OPCODE_GET_ELEMENT);
   // So does one that holds itself through another array (c[0] = a;
   // a[2] = c); the cycle collector frees both when the run ends.
   a.Named(OPCODE_ARRAY, "c").Var("c").Push(0).Var("a").Op(OPCODE_SET_ELEMENT).Pop();
   a.Var("a").Push(2).Var("c").Op(OPCODE_SET_ELEMENT).Pop();
   a.Var("a").Push(2).Op(OPCODE_GET_ELEMENT).Push(0).Op(OPCODE_GET_ELEMENT).Push(1).Op(OPCODE_GET_ELEMENT);
   a.Call("rec", 5).Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(g_recorded, (Records{"int32:10", "null:", "int32:10", "int32:10", "int32:10"}));
}

static std::string ErrorOf(void (*build)(Asm &))
{
   TestProgram p;
   Asm a(&p);
   a.Function("main");
   build(a);
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, -1);
   return o.error;
}

TEST(Engine, InstructionErrors)
{
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(1).Push(0).Op(OPCODE_GET_ELEMENT); }),
             "Error 24 in line 3: Attempt to use array element access operation on non-array");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Named(OPCODE_ARRAY, "a").Var("a").Push(new ORVA_Value(1.0)).Op(OPCODE_GET_ELEMENT); }),
             "Error 23 in line 4: Array index is not an integer");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(1).Push("x").Push(2).Op(OPCODE_SET_ELEMENT); }),
             "Error 23 in line 4: Array index is not an integer");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(1).Push(0).Push(2).Op(OPCODE_SET_ELEMENT); }),
             "Error 24 in line 4: Attempt to use array element access operation on non-array");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(0).Push(2).Op(OPCODE_SET_ELEMENT); }),
             "Error 1 in line 3: Data stack underflow");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Named(OPCODE_ARRAY, "a").Named(OPCODE_ARRAY, "a"); }),
             "Error 22 in line 2: Variable already exist");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push("text").Jump(OPCODE_JZ, 0); }),
             "Error 3 in line 2: Condition value is not a number");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.PushNull().Jump(OPCODE_JNZ, 0); }),
             "Error 3 in line 2: Condition value is not a number");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Pop(3).Op(OPCODE_NOP).Op(OPCODE_EXIT); }), "Error 1 in line 3: Data stack underflow");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(1).Op(OPCODE_ADD); }), "Error 1 in line 2: Data stack underflow");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Op(OPCODE_PRINT); }), "Error 1 in line 1: Data stack underflow");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Set("x"); }), "Error 1 in line 1: Data stack underflow");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(new ORVA_Value(static_cast<ORVA_Object *>(nullptr))).Named(OPCODE_REFERENCE, "x"); }),
             "Error 6 in line 2: Internal error");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(5).Named(OPCODE_REFERENCE, "x"); }),
             "Error 14 in line 2: Left argument of -> must be a reference to object");
   EXPECT_EQ(ErrorOf([](Asm &a) { a.Push(new ORVA_Value(static_cast<uint64>(1))).Count(OPCODE_CAST, ORVA_DT_REAL); }),
             "Error 13 in line 2: Cannot do automatic type cast");
}

TEST(Engine, JumpsAndLoops)
{
   // n = 0; do { n++; } while (n < 5); with opcodes outside the set skipped.
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(0).Set("n").Pop();
   a.Named(OPCODE_INCP, "n").Pop().Op(77).Var("n").Push(5).Op(OPCODE_LT).Jump(OPCODE_JNZ, 3);
   a.Var("n").Push(0).Jump(OPCODE_JZ, 14).Push("skipped").Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.resultText, "5");
}

class PointClass : public ORVA_Class
{
public:
   ORVA_Value *GetAttr(ORVA_Object *object, char *attribute) override
   {
      if (strcmp(attribute, "x") == 0)
         return new ORVA_Value(*static_cast<int32 *>(object->Data()));
      return nullptr;
   }
};

TEST(Engine, ObjectAttributesAndCasts)
{
   PointClass cls;
   int32 x = 17;
   auto run = [&](void (*build)(Asm &)) {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Bind("o");
      build(a);
      return RunProgram(&p, {new ORVA_Value(new ORVA_Object(&cls, &x))});
   };

   RunOutcome o = run([](Asm &a) { a.Var("o").Named(OPCODE_REFERENCE, "x").Op(OPCODE_RET); });
   EXPECT_EQ(o.resultText, "17");
   o = run([](Asm &a) { a.Var("o").Named(OPCODE_REFERENCE, "y").Op(OPCODE_RET); });
   EXPECT_EQ(o.error, "Error 15 in line 3: Unknown object's attribute");
   o = run([](Asm &a) { a.Var("o").Push("s").Op(OPCODE_CONCAT).Op(OPCODE_RET); });
   EXPECT_EQ(o.error, "Error 20 in line 4: Invalid operation on object");

   // A cast gives up the object or array it replaces.
   o = run([](Asm &a) {
      a.Var("o").Count(OPCODE_CAST, ORVA_DT_INT32).Named(OPCODE_ARRAY, "arr").Var("arr");
      a.Count(OPCODE_CAST, ORVA_DT_REAL).Push(7).Count(OPCODE_CAST, ORVA_DT_UINT64).Call("rec", 3).Op(OPCODE_RET);
   });
   EXPECT_EQ(o.rc, 0);
   EXPECT_EQ(g_recorded, (Records{"int32:0", "real:0.000000", "uint64:7"}));
}

TEST(Engine, VariablesAfterNestedCallsAreTheCallersOwn)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Bind("n").Var("n").Call("fib", 1).Op(OPCODE_RET);
   a.Function("fib").Bind("n").Var("n").Push(2).Op(OPCODE_LT).Jump(OPCODE_JZ, 11).Var("n").Op(OPCODE_RET);
   a.Var("n").Push(1).Op(OPCODE_SUB).Call("fib", 1).Var("n").Push(2).Op(OPCODE_SUB).Call("fib", 1);
   a.Op(OPCODE_ADD).Op(OPCODE_RET);
   p.ResolveFunctions();
   EXPECT_EQ(RunProgram(&p, {new ORVA_Value(15)}).resultText, "610");
}

static TestProgram *s_running;

static int MakeGlobalHandler(int, ORVA_Value **, ORVA_Value **)
{
   s_running->SetGlobalVariable("x", new ORVA_Value(99));
   return 0;
}

TEST(Engine, AGlobalAddedDuringTheRunHidesTheLocal)
{
   TestProgram p;
   s_running = &p;
   Asm a(&p);
   a.Function("main").Push(0).Set("k").Pop().Push(1).Set("x").Pop();
   a.Var("x").Call("rec", 1).Pop().Call("mkglobal", 0).Pop();
   a.Named(OPCODE_INCP, "k").Push(2).Op(OPCODE_LT).Jump(OPCODE_JNZ, 6).Op(OPCODE_RET_NULL);
   RunOutcome o = RunProgram(&p, {}, {{"mkglobal", MakeGlobalHandler, 0}});
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(g_recorded, (Records{"int32:1", "int32:99"}));
   EXPECT_EQ(p.FindGlobalVariable("x"), nullptr);   // the run's globals are gone
}

/*
 * "left op constant" with the constant straight before its operator, and the
 * same with the constant read from a variable: the outcome must not differ,
 * whatever the types, whether the operator succeeds or fails, and when a
 * conditional jump tests a comparison at once.
 */
static std::string OperateOn(ORVA_Value *left, ORVA_Value *right, int opCode, bool constantOperand)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(new ORVA_Value(right)).Set("c").Pop().Push(new ORVA_Value(left));
   if (constantOperand)
      a.Push(new ORVA_Value(right));
   else
      a.Var("c");
   a.Op(opCode);
   const uint32 jump = a.Here();
   a.Jump(OPCODE_JZ, jump + 3).Push(1).Op(OPCODE_RET).Push(0).Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p);
   return std::to_string(o.rc) + " " + o.error + " " + o.resultText;
}

TEST(Engine, ConstantOperandsActLikePushedOnes)
{
   ORVA_Value *values[] = {new ORVA_Value(7), new ORVA_Value(-3), new ORVA_Value(0), new ORVA_Value(2.5),
                           new ORVA_Value(static_cast<int64>(1) << 40), new ORVA_Value("12"), new ORVA_Value()};
   for (int opCode = OPCODE_ADD; opCode <= OPCODE_RSHIFT; opCode++)
      for (ORVA_Value *left : values)
         for (ORVA_Value *right : values)
            EXPECT_EQ(OperateOn(left, right, opCode, true), OperateOn(left, right, opCode, false))
               << "opcode " << opCode << " " << Describe(left) << " " << Describe(right);
   for (ORVA_Value *value : values)
      delete value;
}

TEST(Engine, CarelessHostInputIsSurvived)
{
   // A count without an argument vector gives no arguments, however large
   // the count: the run neither hangs nor exhausts memory.
   TestProgram p;
   Asm a(&p);
   a.Function("main").Var("$1").Var("$4000000000").Call("rec", 2).Op(OPCODE_RET);
   g_recorded.clear();
   EXPECT_EQ(p.Run(MakeEnvironment(nullptr), 0xFFFFFFFFu, nullptr, nullptr, nullptr), 0);
   EXPECT_EQ(g_recorded, (Records{"null:", "null:"}));

   // Named instructions that a host built without a name work on the
   // variable with the empty name.
   TestProgram q;
   Asm b(&q);
   b.Function("main").Push(7);
   q.AddInstruction(new ORVA_Instruction(2, OPCODE_SET));
   b.Pop();
   q.AddInstruction(new ORVA_Instruction(4, OPCODE_INC, static_cast<char *>(nullptr)));
   q.AddInstruction(new ORVA_Instruction(5, OPCODE_PUSH_VARIABLE, static_cast<char *>(nullptr)));
   b.Op(OPCODE_RET);
   RunOutcome o = RunProgram(&q);
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.resultText, "8");
}

namespace
{
ORVA_Environment *s_env;   // the environment of the run under way

int LetterA(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value("A");
   return 0;
}
int LetterB(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value("B");
   return 0;
}
// Registers many functions, a second g among them: the table moves.
int AddMany(int, ORVA_Value **, ORVA_Value **)
{
   std::vector<ORVA_ExtFunction> set(500, ORVA_ExtFunction{"other", LetterB, 0});
   set[250] = ORVA_ExtFunction{"g", LetterB, 0};
   s_env->RegisterFunctionSet(static_cast<uint32>(set.size()), set.data());
   return 0;
}
}   // namespace

// A call site remembers the function its name found, across a table that
// moves as sets are registered mid-run (the first record still wins), and
// not into the next run, whose environment may be made where the last was.
TEST(Engine, CallSitesFollowTheEnvironmentsFunctions)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile("sub main() { s = \"\"; i = 0;"
                                       " while (i < 3) { if (i == 1) addmany(); s = s . g(); i++; } return s; }",
                                       error, sizeof(error));
   ASSERT_NE(program, nullptr) << error;
   for (int round = 0; round < 2; round++)
   {
      s_env = new ORVA_Environment();
      ORVA_ExtFunction set[] = {{"addmany", AddMany, 0}, {"g", round == 0 ? LetterA : LetterB, 0}};
      s_env->RegisterFunctionSet(2, set);
      ASSERT_EQ(program->Run(s_env, 0, nullptr, nullptr, nullptr), 0) << program->GetErrorText();
      EXPECT_STREQ(program->GetResult()->GetValueAsCString(), round == 0 ? "AAA" : "BBB");
   }
   delete program;
}
