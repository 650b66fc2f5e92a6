/* Operator dispatch: promotion, text comparison, patterns and their errors. */
#include "vm_test_util.h"

#include <gtest/gtest.h>

#include <climits>

using Records = std::vector<std::string>;

/* main() { return left <op> right; } -- a failing operator reports line 3. */
static RunOutcome Binary(int opCode, ORVA_Value *left, ORVA_Value *right)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(left).Push(right).Op(opCode).Op(OPCODE_RET);
   return RunProgram(&p);
}

static std::string Result(const RunOutcome &o)
{
   if (o.rc != 0)
      return o.error;
   return std::string(g_orvaTypeNames[o.resultType]) + ":" + o.resultText;
}

static std::string Unary(int opCode, ORVA_Value *operand)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(operand).Op(opCode).Op(OPCODE_RET);
   return Result(RunProgram(&p));
}

static ORVA_Value *One(int type)
{
   switch (type)
   {
      case ORVA_DT_REAL:
         return new ORVA_Value(1.0);
      case ORVA_DT_INT32:
         return new ORVA_Value(static_cast<int32>(1));
      case ORVA_DT_INT64:
         return new ORVA_Value(static_cast<int64>(1));
      case ORVA_DT_UINT32:
         return new ORVA_Value(static_cast<uint32>(1));
      default:
         return new ORVA_Value(static_cast<uint64>(1));
   }
}

TEST(Operators, PromotionTable)
{
   const int types[] = {ORVA_DT_REAL, ORVA_DT_INT32, ORVA_DT_INT64, ORVA_DT_UINT32, ORVA_DT_UINT64};
   // Rows: left operand; columns: right operand.  "cast" marks a uint64 that
   // would have to become real, which it cannot.
   const char *const table[5][5] = {
      {"real", "real", "real", "real", "cast"},
      {"real", "int32", "int64", "int32", "int64"},
      {"real", "int64", "int64", "int64", "int64"},
      {"real", "int32", "int64", "uint32", "uint64"},
      {"cast", "int64", "int64", "uint64", "uint64"},
   };
   for (int l = 0; l < 5; l++)
   {
      for (int r = 0; r < 5; r++)
      {
         RunOutcome sum = Binary(OPCODE_ADD, One(types[l]), One(types[r]));
         std::string expected = table[l][r];
         if (expected == "cast")
         {
            EXPECT_EQ(sum.error, "Error 13 in line 3: Cannot do automatic type cast");
            continue;
         }
         EXPECT_EQ(sum.rc, 0) << l << "," << r;
         EXPECT_EQ(g_orvaTypeNames[sum.resultType], expected) << l << "," << r;

         RunOutcome bits = Binary(OPCODE_BIT_AND, One(types[l]), One(types[r]));
         if (expected == "real")
            EXPECT_EQ(bits.error, "Error 10 in line 3: Invalid operation with real numbers");
         else
            EXPECT_EQ(Result(bits), expected + ":1");
      }
   }
}

TEST(Operators, DivisionAndRemainder)
{
   EXPECT_EQ(Result(Binary(OPCODE_DIV, new ORVA_Value(7), new ORVA_Value(2))), "real:3.500000");
   EXPECT_EQ(Result(Binary(OPCODE_DIV, new ORVA_Value(1), new ORVA_Value(0))), "real:inf");
   EXPECT_EQ(Result(Binary(OPCODE_DIV, new ORVA_Value(static_cast<uint64>(8)), new ORVA_Value(2))),
             "Error 13 in line 3: Cannot do automatic type cast");

   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(7), new ORVA_Value(2))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(-7), new ORVA_Value(2))), "int32:-1");
   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(static_cast<uint32>(0xFFFFFFFFu)), new ORVA_Value(static_cast<uint32>(10)))),
             "uint32:5");
   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(7), new ORVA_Value(0))), "Error 9 in line 3: Divide by zero");
   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(static_cast<int64>(7)), new ORVA_Value(static_cast<uint32>(0)))),
             "Error 9 in line 3: Divide by zero");
   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(INT32_MIN), new ORVA_Value(-1))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(static_cast<int64>(INT64_MIN)), new ORVA_Value(-1))), "int64:0");
   EXPECT_EQ(Result(Binary(OPCODE_REM, new ORVA_Value(7.5), new ORVA_Value(2))),
             "Error 10 in line 3: Invalid operation with real numbers");
   EXPECT_EQ(Result(Binary(OPCODE_LSHIFT, new ORVA_Value(1), new ORVA_Value(2.0))),
             "Error 10 in line 3: Invalid operation with real numbers");
   EXPECT_EQ(Result(Binary(OPCODE_LSHIFT, new ORVA_Value(1), new ORVA_Value(3))), "int32:8");
   EXPECT_EQ(Result(Binary(OPCODE_RSHIFT, new ORVA_Value(-8), new ORVA_Value(1))), "int32:-4");
}

TEST(Operators, ComparisonsAndLogic)
{
   EXPECT_EQ(Result(Binary(OPCODE_GT, new ORVA_Value(0xFFFFFFFFu), new ORVA_Value(1u))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_LT, new ORVA_Value(-1), new ORVA_Value(1u))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_GE, new ORVA_Value(2.5), new ORVA_Value(3))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_NE, new ORVA_Value(2), new ORVA_Value(static_cast<int64>(2)))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_AND, new ORVA_Value(1), new ORVA_Value(0))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_OR, new ORVA_Value(2), new ORVA_Value(0))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_AND, new ORVA_Value(0.5), new ORVA_Value(1))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_AND, new ORVA_Value("a"), new ORVA_Value(1))),
             "Error 4 in line 3: Bad arithmetic conversion");
}

TEST(Operators, NullsAndTexts)
{
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value(), new ORVA_Value())), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value(), new ORVA_Value(0))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_NE, new ORVA_Value(), new ORVA_Value(0))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_ADD, new ORVA_Value(), new ORVA_Value(1))),
             "Error 5 in line 3: Invalid operation with NULL value");
   EXPECT_EQ(Result(Binary(OPCODE_CONCAT, new ORVA_Value(), new ORVA_Value("a"))),
             "Error 5 in line 3: Invalid operation with NULL value");
   EXPECT_EQ(Result(Binary(OPCODE_ADD, new ORVA_Value("abc"), new ORVA_Value(1))),
             "Error 4 in line 3: Bad arithmetic conversion");
   EXPECT_EQ(Result(Binary(OPCODE_LT, new ORVA_Value("abc"), new ORVA_Value("abd"))),
             "Error 4 in line 3: Bad arithmetic conversion");
   EXPECT_EQ(Result(Binary(OPCODE_ADD, new ORVA_Value("5"), new ORVA_Value(1))), "int32:6");
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value("1.0"), new ORVA_Value("1"))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value("abc"), new ORVA_Value("ABC"))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value("a\0b", 3), new ORVA_Value("a\0b", 3))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value("a\0b", 3), new ORVA_Value("a\0c", 3))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value("ab"), new ORVA_Value("ab "))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_EQ, new ORVA_Value(new ORVA_Array()), new ORVA_Value(""))), "int32:1");

   EXPECT_EQ(Result(Binary(OPCODE_CONCAT, new ORVA_Value("a"), new ORVA_Value(5))), "string:a5");
   EXPECT_EQ(Result(Binary(OPCODE_CONCAT, new ORVA_Value(5), new ORVA_Value("3"))), "int32:53");
   EXPECT_EQ(Result(Binary(OPCODE_CONCAT, new ORVA_Value(new ORVA_Array()), new ORVA_Value("x"))), "string:x");
   EXPECT_EQ(Result(Binary(OPCODE_CONCAT, new ORVA_Value("x"), new ORVA_Value(new ORVA_Array()))), "string:x");
}

TEST(Operators, WildcardPatterns)
{
   EXPECT_EQ(Result(Binary(OPCODE_LIKE, new ORVA_Value(5), new ORVA_Value("5"))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_LIKE, new ORVA_Value("hello"), new ORVA_Value("h*o"))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_LIKE, new ORVA_Value("HELLO"), new ORVA_Value("h*o"))), "int32:0");
   EXPECT_EQ(Result(Binary(OPCODE_ILIKE, new ORVA_Value("HELLO"), new ORVA_Value("h?llo"))), "int32:1");
   EXPECT_EQ(Result(Binary(OPCODE_LIKE, new ORVA_Value(new ORVA_Array()), new ORVA_Value("*"))),
             "Error 17 in line 3: Argument is not of string type and cannot be converted to string");
}

TEST(Operators, RegularExpressionsStoreTheirGroups)
{
   // Only the groups up to the first one that took no part are stored.
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push("abc").Push("(a)(x)?(b)").Op(OPCODE_MATCH).Var("$1").Var("$2").Var("$3");
   a.Push("xyz").Push("x(y)(z)").Op(OPCODE_MATCH).Var("$1").Var("$2");
   a.Push("ABC").Push("b").Op(OPCODE_IMATCH).Push("ABC").Push("b").Op(OPCODE_MATCH);
   a.Push(125).Push("^1[0-9]+$").Op(OPCODE_MATCH);
   a.Call("rec", 10).Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p, {new ORVA_Value("argument")});
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(g_recorded, (Records{"int32:1", "string:a", "null:", "null:", "int32:1", "string:y", "string:z", "int32:1",
                                  "int32:0", "int32:1"}));

   EXPECT_EQ(Result(Binary(OPCODE_MATCH, new ORVA_Value("abc"), new ORVA_Value("(b"))),
             "Error 18 in line 3: Invalid regular expression");
   EXPECT_EQ(Result(Binary(OPCODE_IMATCH, new ORVA_Value("abc"), new ORVA_Value(new ORVA_Array()))),
             "Error 17 in line 3: Argument is not of string type and cannot be converted to string");
}

TEST(Operators, CaseLabelsKeepTheSwitchValue)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(new ORVA_Value(1.5));
   p.AddInstruction(new ORVA_Instruction(2, OPCODE_CASE, new ORVA_Value(1)));
   a.Push("abc");
   p.AddInstruction(new ORVA_Instruction(4, OPCODE_CASE, new ORVA_Value("abc")));
   a.PushNull();
   p.AddInstruction(new ORVA_Instruction(6, OPCODE_CASE, new ORVA_Value()));
   a.Call("rec", 6).Op(OPCODE_RET);
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(g_recorded, (Records{"real:1.500000", "int32:0", "string:abc", "int32:1", "null:", "int32:1"}));
   // The label's constant took the switch value's type for good.
   EXPECT_NE(p.Listing().find("0001  CASE    \"1.000000\"\n"), std::string::npos);
}

TEST(Operators, UnaryOperators)
{
   EXPECT_EQ(Unary(OPCODE_NOT, new ORVA_Value(0)), "int32:1");
   EXPECT_EQ(Unary(OPCODE_NOT, new ORVA_Value(static_cast<int64>(5))), "int32:0");
   EXPECT_EQ(Unary(OPCODE_NOT, new ORVA_Value(1.5)), "Error 10 in line 2: Invalid operation with real numbers");
   EXPECT_EQ(Unary(OPCODE_BIT_NOT, new ORVA_Value(0)), "int32:-1");
   EXPECT_EQ(Unary(OPCODE_BIT_NOT, new ORVA_Value(0.0)), "Error 10 in line 2: Invalid operation with real numbers");
   EXPECT_EQ(Unary(OPCODE_NEG, new ORVA_Value(5u)), "int32:-5");
   EXPECT_EQ(Unary(OPCODE_NEG, new ORVA_Value("abc")), "Error 4 in line 2: Bad arithmetic conversion");
   EXPECT_EQ(Unary(OPCODE_NEG, new ORVA_Value()), "Error 4 in line 2: Bad arithmetic conversion");
}
