/*
 * Arithmetic, bitwise and comparison operations of values.  Every operation
 * switches once on the receiver's type and assumes the other operand holds
 * the same type; an operand of another type is read as the receiver's type.
 *
 * Integer arithmetic wraps: it is done on the unsigned representation, which
 * gives the same bits for signed and unsigned operands and never overflows a
 * signed type.  Integer division never faults:
 *   - a quotient by zero is 0 and a remainder by zero is the dividend, which
 *     keeps dividend = quotient * divisor + remainder true;
 *   - the most negative number divided by -1 stays itself (the wrapped
 *     quotient) and the matching remainder is 0.
 */
#include "orva.h"

#include <cstdint>

// The other operand's number as the receiver's type; a direct read when the
// types agree, as the interpreter guarantees.
#define OTHER_REAL (other->m_dataType == ORVA_DT_REAL ? other->m_value.real : other->GetValueAsReal())
#define OTHER_U32 \
   ((other->m_dataType == ORVA_DT_INT32 || other->m_dataType == ORVA_DT_UINT32) ? other->m_value.u32 : other->GetValueAsUInt32())
#define OTHER_U64 \
   ((other->m_dataType == ORVA_DT_INT64 || other->m_dataType == ORVA_DT_UINT64) ? other->m_value.u64 : other->GetValueAsUInt64())

void ORVA_Value::Add(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_REAL:
         m_value.real += OTHER_REAL;
         break;
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         m_value.u32 += OTHER_U32;
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         m_value.u64 += OTHER_U64;
         break;
   }
}

void ORVA_Value::Sub(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_REAL:
         m_value.real -= OTHER_REAL;
         break;
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         m_value.u32 -= OTHER_U32;
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         m_value.u64 -= OTHER_U64;
         break;
   }
}

void ORVA_Value::Mul(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_REAL:
         m_value.real *= OTHER_REAL;
         break;
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         m_value.u32 *= OTHER_U32;
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         m_value.u64 *= OTHER_U64;
         break;
   }
}

void ORVA_Value::Div(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_REAL:
         m_value.real /= OTHER_REAL;
         break;
      case ORVA_DT_INT32:
      {
         int32 divisor = static_cast<int32>(OTHER_U32);
         if (divisor == 0)
            m_value.i32 = 0;
         else if (divisor != -1)
            m_value.i32 /= divisor;
         else
            m_value.u32 = 0u - m_value.u32;
         break;
      }
      case ORVA_DT_UINT32:
      {
         uint32 divisor = OTHER_U32;
         m_value.u32 = (divisor == 0) ? 0 : m_value.u32 / divisor;
         break;
      }
      case ORVA_DT_INT64:
      {
         int64 divisor = static_cast<int64>(OTHER_U64);
         if (divisor == 0)
            m_value.i64 = 0;
         else if (divisor != -1)
            m_value.i64 /= divisor;
         else
            m_value.u64 = 0u - m_value.u64;
         break;
      }
      case ORVA_DT_UINT64:
      {
         uint64 divisor = OTHER_U64;
         m_value.u64 = (divisor == 0) ? 0 : m_value.u64 / divisor;
         break;
      }
   }
}

void ORVA_Value::Rem(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_INT32:
      {
         int32 divisor = static_cast<int32>(OTHER_U32);
         if (divisor == -1)
            m_value.i32 = 0;
         else if (divisor != 0)
            m_value.i32 %= divisor;
         break;
      }
      case ORVA_DT_UINT32:
      {
         uint32 divisor = OTHER_U32;
         if (divisor != 0)
            m_value.u32 %= divisor;
         break;
      }
      case ORVA_DT_INT64:
      {
         int64 divisor = static_cast<int64>(OTHER_U64);
         if (divisor == -1)
            m_value.i64 = 0;
         else if (divisor != 0)
            m_value.i64 %= divisor;
         break;
      }
      case ORVA_DT_UINT64:
      {
         uint64 divisor = OTHER_U64;
         if (divisor != 0)
            m_value.u64 %= divisor;
         break;
      }
   }
}

void ORVA_Value::BitAnd(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         m_value.u32 &= OTHER_U32;
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         m_value.u64 &= OTHER_U64;
         break;
   }
}

void ORVA_Value::BitOr(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         m_value.u32 |= OTHER_U32;
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         m_value.u64 |= OTHER_U64;
         break;
   }
}

void ORVA_Value::BitXor(ORVA_Value *other)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         m_value.u32 ^= OTHER_U32;
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         m_value.u64 ^= OTHER_U64;
         break;
   }
}

// 32-bit types shift by the count modulo 32; 64-bit types by the low byte of
// the count, where 64 and more shift every bit out.
void ORVA_Value::LShift(int count)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         m_value.u32 <<= (static_cast<uint32>(count) & 31);
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
      {
         uint32 c = static_cast<uint32>(count) & 0xFF;
         m_value.u64 = (c < 64) ? (m_value.u64 << c) : 0;
         break;
      }
   }
}

void ORVA_Value::RShift(int count)
{
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_INT32:
      {
         // Arithmetic shift written on the complement so that it is portable.
         uint32 c = static_cast<uint32>(count) & 31;
         m_value.u32 = (m_value.i32 < 0) ? ~(~m_value.u32 >> c) : (m_value.u32 >> c);
         break;
      }
      case ORVA_DT_UINT32:
         m_value.u32 >>= (static_cast<uint32>(count) & 31);
         break;
      case ORVA_DT_INT64:
      {
         uint32 c = static_cast<uint32>(count) & 0xFF;
         bool negative = m_value.i64 < 0;
         if (c >= 64)
            m_value.u64 = negative ? ~static_cast<uint64>(0) : 0;
         else
            m_value.u64 = negative ? ~(~m_value.u64 >> c) : (m_value.u64 >> c);
         break;
      }
      case ORVA_DT_UINT64:
      {
         uint32 c = static_cast<uint32>(count) & 0xFF;
         m_value.u64 = (c < 64) ? (m_value.u64 >> c) : 0;
         break;
      }
   }
}

void ORVA_Value::Increment()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   if (m_dataType == ORVA_DT_REAL)
      m_value.real += 1.0;
   else if (m_dataType == ORVA_DT_INT32 || m_dataType == ORVA_DT_UINT32)
      m_value.u32++;
   else
      m_value.u64++;
}

void ORVA_Value::Decrement()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   if (m_dataType == ORVA_DT_REAL)
      m_value.real -= 1.0;
   else if (m_dataType == ORVA_DT_INT32 || m_dataType == ORVA_DT_UINT32)
      m_value.u32--;
   else
      m_value.u64--;
}

void ORVA_Value::Negate()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   switch (m_dataType)
   {
      case ORVA_DT_REAL:
         m_value.real = -m_value.real;
         break;
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         // A negated unsigned number is signed.
         m_value.u32 = 0u - m_value.u32;
         m_dataType = ORVA_DT_INT32;
         break;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         m_value.u64 = 0u - m_value.u64;
         m_dataType = ORVA_DT_INT64;
         break;
   }
}

void ORVA_Value::BitNot()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   if (m_dataType == ORVA_DT_INT32 || m_dataType == ORVA_DT_UINT32)
      m_value.u32 = ~m_value.u32;
   else if (m_dataType == ORVA_DT_INT64 || m_dataType == ORVA_DT_UINT64)
      m_value.u64 = ~m_value.u64;
}

int ORVA_Value::IsZero() const
{
   switch (m_dataType)
   {
      case ORVA_DT_REAL:
         return m_value.real == 0.0;
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         return m_value.u32 == 0;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         return m_value.u64 == 0;
      default:
         return 0;
   }
}

// A NaN is not zero, so it counts as non-zero (true), as in C.
int ORVA_Value::IsNonZero() const
{
   switch (m_dataType)
   {
      case ORVA_DT_REAL:
         return m_value.real != 0.0;
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         return m_value.u32 != 0;
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         return m_value.u64 != 0;
      default:
         return 0;
   }
}

// Every ordering comparison has the same shape; IEEE rules make any
// comparison with a NaN false.
#define ORVA_COMPARE(op)                                                     \
   switch (m_dataType)                                                       \
   {                                                                         \
      case ORVA_DT_REAL:                                                     \
         return m_value.real op OTHER_REAL;                                  \
      case ORVA_DT_INT32:                                                    \
         return m_value.i32 op static_cast<int32>(OTHER_U32);                \
      case ORVA_DT_UINT32:                                                   \
         return m_value.u32 op OTHER_U32;                                    \
      case ORVA_DT_INT64:                                                    \
         return m_value.i64 op static_cast<int64>(OTHER_U64);                \
      case ORVA_DT_UINT64:                                                   \
         return m_value.u64 op OTHER_U64;                                    \
      default:                                                               \
         return 0;                                                           \
   }

int ORVA_Value::EQ(ORVA_Value *other) const
{
   ORVA_COMPARE(==)
}

int ORVA_Value::LT(ORVA_Value *other) const
{
   ORVA_COMPARE(<)
}

int ORVA_Value::LE(ORVA_Value *other) const
{
   ORVA_COMPARE(<=)
}

int ORVA_Value::GT(ORVA_Value *other) const
{
   ORVA_COMPARE(>)
}

int ORVA_Value::GE(ORVA_Value *other) const
{
   ORVA_COMPARE(>=)
}
