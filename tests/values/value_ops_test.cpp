// Arithmetic, bitwise and comparison operations at the edges of each type.
#include "orva.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace
{
using V = std::unique_ptr<ORVA_Value>;
using BinaryOp = void (ORVA_Value::*)(ORVA_Value *);

template <typename T>
V Bin(T left, BinaryOp op, T right)
{
   V a(new ORVA_Value(left)), b(new ORVA_Value(right));
   (a.get()->*op)(b.get());
   return a;
}

template <typename T>
V Unary(T n, void (ORVA_Value::*op)())
{
   V a(new ORVA_Value(n));
   (a.get()->*op)();
   return a;
}

TEST(ValueOps, ArithmeticWrapsKeepsTypeAndNeverFaults)
{
   struct { int32 a; BinaryOp op; int32 b, expected; } i32[] = {
      {INT32_MAX, &ORVA_Value::Add, 1, INT32_MIN}, {65536, &ORVA_Value::Mul, 65536, 0},
      {-7, &ORVA_Value::Div, 2, -3}, {-7, &ORVA_Value::Rem, 2, -1}, {7, &ORVA_Value::Rem, -2, 1},
      // quotient by zero is 0, remainder by zero the dividend; MIN / -1 stays MIN
      {7, &ORVA_Value::Div, 0, 0}, {7, &ORVA_Value::Rem, 0, 7},
      {INT32_MIN, &ORVA_Value::Div, -1, INT32_MIN}, {INT32_MIN, &ORVA_Value::Rem, -1, 0},
      {6, &ORVA_Value::BitAnd, 3, 2}, {6, &ORVA_Value::BitOr, 3, 7}, {6, &ORVA_Value::BitXor, 3, 5}};
   for (auto &c : i32)
   {
      V v = Bin(c.a, c.op, c.b);
      EXPECT_EQ(ORVA_DT_INT32, v->DataType());
      EXPECT_EQ(c.expected, v->GetValueAsInt32()) << c.a << " op " << c.b;
   }
   struct { int64 a; BinaryOp op; int64 b, expected; } i64[] = {
      {INT64_MAX, &ORVA_Value::Add, 1, INT64_MIN}, {INT64_MIN, &ORVA_Value::Mul, -1, INT64_MIN},
      {7, &ORVA_Value::Div, 0, 0}, {7, &ORVA_Value::Rem, 0, 7},
      {INT64_MIN, &ORVA_Value::Div, -1, INT64_MIN}, {INT64_MIN, &ORVA_Value::Rem, -1, 0}};
   for (auto &c : i64)
      EXPECT_EQ(c.expected, Bin(c.a, c.op, c.b)->GetValueAsInt64()) << c.a << " op " << c.b;

   V u32 = Bin<uint32>(0, &ORVA_Value::Sub, 1);
   EXPECT_EQ(ORVA_DT_UINT32, u32->DataType());
   EXPECT_EQ(UINT32_MAX, u32->GetValueAsUInt32());
   EXPECT_EQ(2147483647u, Bin<uint32>(UINT32_MAX, &ORVA_Value::Div, 2)->GetValueAsUInt32());
   EXPECT_EQ(7u, Bin<uint32>(7, &ORVA_Value::Rem, 0)->GetValueAsUInt32());
   EXPECT_EQ(0u, Bin<uint64>(7, &ORVA_Value::Div, 0)->GetValueAsUInt64());
   EXPECT_EQ(1u, Bin<uint64>(UINT64_MAX, &ORVA_Value::Rem, 2)->GetValueAsUInt64());
   EXPECT_EQ(1.5, Bin(1.5, &ORVA_Value::Rem, 1.0)->GetValueAsReal());
   EXPECT_TRUE(std::isinf(Bin(-1.0, &ORVA_Value::Div, 0.0)->GetValueAsReal()));

   // An operand of another type is read as the receiver's type.
   V r(new ORVA_Value(2.5)), one(new ORVA_Value(1));
   r->Add(one.get());
   EXPECT_EQ(3.5, r->GetValueAsReal());
}

TEST(ValueOps, ShiftCountsFollowTheWidth)
{
   struct { int64 n; int type, count; bool left; int64 expected; } cases[] = {
      {1, ORVA_DT_INT32, 31, true, INT32_MIN}, {1, ORVA_DT_INT32, 32, true, 1},
      {1, ORVA_DT_INT32, 33, true, 2}, {INT32_MIN, ORVA_DT_INT32, -1, false, -1},
      {-8, ORVA_DT_INT32, 1, false, -4}, {UINT32_MAX - 7, ORVA_DT_UINT32, 1, false, 2147483644},
      {1, ORVA_DT_INT64, 63, true, INT64_MIN}, {1, ORVA_DT_INT64, 64, true, 0},
      {1, ORVA_DT_INT64, 256, true, 1}, {5, ORVA_DT_INT64, -1, true, 0},
      {-8, ORVA_DT_INT64, 200, false, -1}, {INT64_MIN, ORVA_DT_INT64, 62, false, -2},
      {8, ORVA_DT_INT64, 64, false, 0}, {-1, ORVA_DT_UINT64, 63, false, 1}, {-1, ORVA_DT_UINT64, 64, false, 0}};
   for (auto &c : cases)
   {
      V v(new ORVA_Value(c.n));
      v->Convert(c.type);
      if (c.left)
         v->LShift(c.count);
      else
         v->RShift(c.count);
      EXPECT_EQ(c.type, v->DataType());
      EXPECT_EQ(c.expected, c.type == ORVA_DT_UINT32 ? v->GetValueAsUInt32()
                            : c.type == ORVA_DT_INT32 ? v->GetValueAsInt32() : v->GetValueAsInt64())
         << c.n << (c.left ? " << " : " >> ") << c.count;
   }

   V real(new ORVA_Value("2.5"));
   real->LShift(3);
   EXPECT_EQ(2.5, real->GetValueAsReal());
   EXPECT_STREQ("2.500000", real->GetValueAsCString()) << "the text is dropped even so";
}

TEST(ValueOps, UnaryOperations)
{
   struct { ORVA_Value *v; void (ORVA_Value::*op)(); int type; int64 expected; } cases[] = {
      {new ORVA_Value(static_cast<uint64>(1)), &ORVA_Value::Negate, ORVA_DT_INT64, -1},
      {new ORVA_Value(UINT32_MAX), &ORVA_Value::Negate, ORVA_DT_INT32, 1},
      {new ORVA_Value(INT32_MIN), &ORVA_Value::Negate, ORVA_DT_INT32, INT32_MIN},
      {new ORVA_Value(INT64_MIN), &ORVA_Value::Negate, ORVA_DT_INT64, INT64_MIN},
      {new ORVA_Value(static_cast<uint32>(0)), &ORVA_Value::Decrement, ORVA_DT_UINT32, UINT32_MAX},
      {new ORVA_Value(INT64_MAX), &ORVA_Value::Increment, ORVA_DT_INT64, INT64_MIN},
      {new ORVA_Value(0), &ORVA_Value::BitNot, ORVA_DT_INT32, -1}};
   for (auto &c : cases)
   {
      (c.v->*c.op)();
      EXPECT_EQ(c.type, c.v->DataType());
      EXPECT_EQ(c.expected, c.v->DataType() == ORVA_DT_UINT32 ? c.v->GetValueAsUInt32() : c.v->GetValueAsInt64());
      delete c.v;
   }
   EXPECT_EQ(-0.5, Unary(0.5, &ORVA_Value::Decrement)->GetValueAsReal());

   // Non-numeric receivers are left entirely alone.
   V text(new ORVA_Value("abc"));
   for (auto op : {&ORVA_Value::Increment, &ORVA_Value::Decrement, &ORVA_Value::Negate, &ORVA_Value::BitNot})
      (text.get()->*op)();
   EXPECT_EQ(ORVA_DT_STRING, text->DataType());
   EXPECT_STREQ("abc", text->GetValueAsCString());
}

TEST(ValueOps, TestsAndComparisons)
{
   V text(new ORVA_Value("abc"));
   EXPECT_EQ(0, text->IsZero() + text->IsNonZero() + text->EQ(text.get()));
   EXPECT_EQ(1, V(new ORVA_Value(-0.0))->IsZero());
   EXPECT_EQ(1, V(new ORVA_Value(static_cast<uint64>(1) << 40))->IsNonZero());

   // Same bits, different order by signedness.  Columns: EQ LT LE GT GE.
   struct { ORVA_Value *a, *b; int eq, lt, le, gt, ge; } cases[] = {
      {new ORVA_Value(UINT32_MAX), new ORVA_Value(static_cast<uint32>(1)), 0, 0, 0, 1, 1},
      {new ORVA_Value(-1), new ORVA_Value(1), 0, 1, 1, 0, 0},
      {new ORVA_Value(UINT64_MAX), new ORVA_Value(static_cast<uint64>(1)), 0, 0, 0, 1, 1},
      {new ORVA_Value(INT64_MIN), new ORVA_Value(static_cast<int64>(1)), 0, 1, 1, 0, 0},
      {new ORVA_Value(7), new ORVA_Value(7), 1, 0, 1, 0, 1},
      {new ORVA_Value(static_cast<double>(NAN)), new ORVA_Value(static_cast<double>(NAN)), 0, 0, 0, 0, 0}};
   for (auto &c : cases)
   {
      EXPECT_EQ(c.eq, c.a->EQ(c.b));
      EXPECT_EQ(c.lt, c.a->LT(c.b));
      EXPECT_EQ(c.le, c.a->LE(c.b));
      EXPECT_EQ(c.gt, c.a->GT(c.b));
      EXPECT_EQ(c.ge, c.a->GE(c.b));
      delete c.a;
      delete c.b;
   }
   EXPECT_EQ(1, V(new ORVA_Value(static_cast<double>(NAN)))->IsNonZero());
}
}   // namespace
