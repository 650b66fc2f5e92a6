/*
 * The numeric rules of the language in one place: how two numbers find a
 * common type, what every operator computes on each of the five numeric
 * types, and how a number reads as another type.  The value methods, the
 * operator dispatch, the interpreter's typed shortcuts and the built-ins all
 * compute through these functions, so no shortcut can drift from the general
 * path.
 *
 * Integer arithmetic wraps: it is done on the unsigned representation, which
 * gives the same bits for signed and unsigned operands and never overflows a
 * signed type.  Integer division never faults:
 *   - a quotient by zero is 0 and a remainder by zero is the dividend, which
 *     keeps dividend = quotient * divisor + remainder true;
 *   - the most negative number divided by -1 stays itself (the wrapped
 *     quotient) and the matching remainder is 0.
 * The operator, unlike the value method, refuses a remainder by zero.
 */
#ifndef ORVA_NUMERIC_H
#define ORVA_NUMERIC_H

#include "orva.h"

#include <cstdint>

#if defined(__GNUC__)
#define ORVA_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define ORVA_ALWAYS_INLINE inline
#endif

/* The 64 bits of a number, read according to its type code.  A 32-bit
   number lives in the low half; the high half means nothing. */
union ORVA_Number
{
   int32 i32;
   uint32 u32;
   int64 i64;
   uint64 u64;
   double real;
};

inline ORVA_Number NumberFromBits(uint64 bits)
{
   ORVA_Number n;
   n.u64 = bits;
   return n;
}

inline ORVA_Number NumberFromReal(double real)
{
   ORVA_Number n;
   n.real = real;
   return n;
}

inline ORVA_Number NumberFromUInt32(uint32 bits)
{
   ORVA_Number n;
   n.u64 = 0;
   n.u32 = bits;
   return n;
}

inline bool IsWideType(int type)
{
   return type == ORVA_DT_INT64 || type == ORVA_DT_UINT64;
}

/*
 * Truncation of a real toward zero.  Reals outside the signed 64-bit range
 * and NaN have no integer value; they give the pattern with only the top bit
 * set, and the range test comes first so the cast itself is always defined.
 */
inline int64 NumTruncateReal(double d)
{
   if (d >= -9223372036854775808.0 && d < 9223372036854775808.0)
      return static_cast<int64>(d);
   return INT64_MIN;
}

/* A number of any type read as a signed 64-bit integer; non-numbers read as 0. */
ORVA_ALWAYS_INLINE int64 NumToInt64(int type, ORVA_Number n)
{
   switch (type)
   {
      case ORVA_DT_REAL:
         return NumTruncateReal(n.real);
      case ORVA_DT_INT32:
         return n.i32;
      case ORVA_DT_INT64:
         return n.i64;
      case ORVA_DT_UINT32:
         return n.u32;
      case ORVA_DT_UINT64:
         return static_cast<int64>(n.u64);
      default:
         return 0;
   }
}

/* A number read as a real.  A uint64 reads as signed on purpose: 2^64 - 1 gives -1.0. */
ORVA_ALWAYS_INLINE double NumToReal(int type, ORVA_Number n)
{
   switch (type)
   {
      case ORVA_DT_REAL:
         return n.real;
      case ORVA_DT_INT32:
         return n.i32;
      case ORVA_DT_INT64:
         return static_cast<double>(n.i64);
      case ORVA_DT_UINT32:
         return n.u32;
      case ORVA_DT_UINT64:
         return static_cast<double>(static_cast<int64>(n.u64));
      default:
         return 0.0;
   }
}

/* Whether a number of type `from` may become type `to` (a numeric type): a uint64 never becomes real. */
inline bool NumConvertible(int from, int to)
{
   return !(to == ORVA_DT_REAL && from == ORVA_DT_UINT64);
}

/* The number as type `to` (a numeric type), by the rules of ORVA_Value::Convert. */
ORVA_ALWAYS_INLINE ORVA_Number NumConvert(int from, int to, ORVA_Number n)
{
   if (from == to)
      return n;
   if (to == ORVA_DT_REAL)
      return NumberFromReal(NumToReal(from, n));
   const uint64 bits = static_cast<uint64>(NumToInt64(from, n));
   return IsWideType(to) ? NumberFromBits(bits) : NumberFromUInt32(static_cast<uint32>(bits));
}

/* Operators that need integers: a real operand leaves them without a common type. */
inline bool IsIntegerOnlyOperator(int opCode)
{
   return opCode == OPCODE_REM || opCode == OPCODE_LSHIFT || opCode == OPCODE_RSHIFT || opCode == OPCODE_BIT_AND ||
          opCode == OPCODE_BIT_OR || opCode == OPCODE_BIT_XOR;
}

/*
 * The type both numeric operands of an operator are brought to, or -1 when
 * there is none.  Division is always done in reals; next to a signed integer
 * an unsigned one counts as signed of its width, and the wider type wins.
 * Comparisons (and the built-ins min and max) use the rule of OPCODE_LT.
 */
ORVA_ALWAYS_INLINE int NumCommonType(int opCode, int left, int right)
{
   if (opCode == OPCODE_DIV)
      return ORVA_DT_REAL;
   if (left == ORVA_DT_REAL || right == ORVA_DT_REAL)
      return IsIntegerOnlyOperator(opCode) ? -1 : ORVA_DT_REAL;
   const bool leftUnsigned = left >= ORVA_DT_UINT32;
   const bool rightUnsigned = right >= ORVA_DT_UINT32;
   if (leftUnsigned != rightUnsigned)
   {
      // uint32 -> int32, uint64 -> int64
      if (leftUnsigned)
         left -= 2;
      else
         right -= 2;
   }
   return (left > right) ? left : right;
}

/* The shift count of an operand of an integer type: its low 32 bits, signed. */
inline int32 NumShiftCount(int type, ORVA_Number n)
{
   return IsWideType(type) ? static_cast<int32>(static_cast<uint32>(n.u64)) : n.i32;
}

/* A shift count as the right operand of NumArith for a receiver of that type. */
inline ORVA_Number NumShiftOperand(int type, int32 count)
{
   return IsWideType(type) ? NumberFromBits(static_cast<uint32>(count)) : NumberFromUInt32(static_cast<uint32>(count));
}

/*
 * The arithmetic, bitwise and shift operators (OPCODE_ADD to OPCODE_REM,
 * OPCODE_BIT_AND to OPCODE_BIT_XOR, OPCODE_LSHIFT, OPCODE_RSHIFT) on two
 * numbers of one type.  A shift takes its count as the right operand's
 * NumShiftCount.  Operations a real does not have leave it unchanged.
 */
template <int OpCode> ORVA_ALWAYS_INLINE ORVA_Number NumArith(int type, ORVA_Number a, ORVA_Number b)
{
   if (type == ORVA_DT_REAL)
   {
      switch (OpCode)
      {
         case OPCODE_ADD: return NumberFromReal(a.real + b.real);
         case OPCODE_SUB: return NumberFromReal(a.real - b.real);
         case OPCODE_MUL: return NumberFromReal(a.real * b.real);
         case OPCODE_DIV: return NumberFromReal(a.real / b.real);
         default: return a;
      }
   }
   const bool wide = IsWideType(type);
   const bool isSigned = (type == ORVA_DT_INT32 || type == ORVA_DT_INT64);
   switch (OpCode)
   {
      case OPCODE_ADD:
         return wide ? NumberFromBits(a.u64 + b.u64) : NumberFromUInt32(a.u32 + b.u32);
      case OPCODE_SUB:
         return wide ? NumberFromBits(a.u64 - b.u64) : NumberFromUInt32(a.u32 - b.u32);
      case OPCODE_MUL:
         return wide ? NumberFromBits(a.u64 * b.u64) : NumberFromUInt32(a.u32 * b.u32);
      case OPCODE_DIV:
         if (wide)
         {
            if (b.u64 == 0)
               return NumberFromBits(0);
            if (isSigned)
               return NumberFromBits((b.i64 == -1) ? 0u - a.u64 : static_cast<uint64>(a.i64 / b.i64));
            return NumberFromBits(a.u64 / b.u64);
         }
         if (b.u32 == 0)
            return NumberFromUInt32(0);
         if (isSigned)
            return NumberFromUInt32((b.i32 == -1) ? 0u - a.u32 : static_cast<uint32>(a.i32 / b.i32));
         return NumberFromUInt32(a.u32 / b.u32);
      case OPCODE_REM:
         if (wide)
         {
            if (b.u64 == 0)
               return a;
            if (isSigned)
               return NumberFromBits((b.i64 == -1) ? 0 : static_cast<uint64>(a.i64 % b.i64));
            return NumberFromBits(a.u64 % b.u64);
         }
         if (b.u32 == 0)
            return a;
         if (isSigned)
            return NumberFromUInt32((b.i32 == -1) ? 0 : static_cast<uint32>(a.i32 % b.i32));
         return NumberFromUInt32(a.u32 % b.u32);
      case OPCODE_BIT_AND:
         return wide ? NumberFromBits(a.u64 & b.u64) : NumberFromUInt32(a.u32 & b.u32);
      case OPCODE_BIT_OR:
         return wide ? NumberFromBits(a.u64 | b.u64) : NumberFromUInt32(a.u32 | b.u32);
      case OPCODE_BIT_XOR:
         return wide ? NumberFromBits(a.u64 ^ b.u64) : NumberFromUInt32(a.u32 ^ b.u32);
      case OPCODE_LSHIFT:
      case OPCODE_RSHIFT:
      {
         // 32-bit types shift by the count modulo 32; 64-bit types by the low
         // byte of the count, where 64 and more shift every bit out.
         const uint32 count = static_cast<uint32>(NumShiftCount(type, b));
         if (!wide)
         {
            const uint32 c = count & 31;
            if (OpCode == OPCODE_LSHIFT)
               return NumberFromUInt32(a.u32 << c);
            // The arithmetic shift is written on the complement so that it is portable.
            if (isSigned && a.i32 < 0)
               return NumberFromUInt32(~(~a.u32 >> c));
            return NumberFromUInt32(a.u32 >> c);
         }
         const uint32 c = count & 0xFF;
         const bool negative = isSigned && a.i64 < 0;
         if (OpCode == OPCODE_LSHIFT)
            return NumberFromBits((c < 64) ? (a.u64 << c) : 0);
         if (c >= 64)
            return NumberFromBits(negative ? ~static_cast<uint64>(0) : 0);
         return NumberFromBits(negative ? ~(~a.u64 >> c) : (a.u64 >> c));
      }
      default:
         return a;
   }
}

/* The ordering comparisons (OPCODE_EQ, OPCODE_LT to OPCODE_GE) of two numbers of one type; IEEE rules for reals. */
template <int OpCode> ORVA_ALWAYS_INLINE bool NumCompare(int type, ORVA_Number a, ORVA_Number b)
{
#define ORVA_NUM_COMPARE(x, y)           \
   switch (OpCode)                       \
   {                                     \
      case OPCODE_EQ: return (x) == (y); \
      case OPCODE_NE: return (x) != (y); \
      case OPCODE_LT: return (x) < (y);  \
      case OPCODE_LE: return (x) <= (y); \
      case OPCODE_GT: return (x) > (y);  \
      case OPCODE_GE: return (x) >= (y); \
      default: return false;             \
   }
   switch (type)
   {
      case ORVA_DT_REAL:
         if (OpCode == OPCODE_NE)
            return !(a.real == b.real);
         ORVA_NUM_COMPARE(a.real, b.real)
      case ORVA_DT_INT32:
         ORVA_NUM_COMPARE(a.i32, b.i32)
      case ORVA_DT_UINT32:
         ORVA_NUM_COMPARE(a.u32, b.u32)
      case ORVA_DT_INT64:
         ORVA_NUM_COMPARE(a.i64, b.i64)
      case ORVA_DT_UINT64:
         ORVA_NUM_COMPARE(a.u64, b.u64)
      default:
         return false;
   }
#undef ORVA_NUM_COMPARE
}

/*
 * The order of two numbers of any types by the values they stand for: -1, 0
 * or 1.  The comparison operators first bring both to a common type, which
 * reads a uint64 past 2^63 as negative and rounds wide integers to reals, so
 * they cannot order a mix of types; sorting orders by this instead.  A NaN
 * comes after every other number and ties with another NaN.
 */
inline int NumOrder(int leftType, ORVA_Number left, int rightType, ORVA_Number right)
{
   struct Integer
   {
      bool negative;
      uint64 bits;   // the value as int64 when negative, else as uint64
   };
   auto integer = [](int type, ORVA_Number n) -> Integer {
      if (type == ORVA_DT_UINT32 || type == ORVA_DT_UINT64)
         return {false, type == ORVA_DT_UINT32 ? n.u32 : n.u64};
      const int64 v = NumToInt64(type, n);
      return {v < 0, static_cast<uint64>(v)};
   };
   auto order = [](Integer a, Integer b) -> int {
      if (a.negative != b.negative)
         return a.negative ? -1 : 1;
      if (a.negative)
         return (static_cast<int64>(a.bits) < static_cast<int64>(b.bits)) ? -1 : (a.bits != b.bits);
      return (a.bits < b.bits) ? -1 : (a.bits != b.bits);
   };
   // An integer against a real d: outside the integers' reach d decides; else
   // its whole part (exact) first, then its fraction.
   auto againstReal = [&order](Integer a, double d) -> int {
      if (d != d)
         return -1;
      if (d >= 18446744073709551616.0)
         return -1;
      if (d < -9223372036854775808.0)
         return 1;
      const Integer whole = (d >= 0) ? Integer{false, static_cast<uint64>(d)}
                                     : Integer{static_cast<int64>(d) < 0, static_cast<uint64>(static_cast<int64>(d))};
      const int byWhole = order(a, whole);
      if (byWhole != 0)
         return byWhole;
      const double fraction = d - ((d >= 0) ? static_cast<double>(whole.bits) : static_cast<double>(static_cast<int64>(whole.bits)));
      return (fraction > 0) ? -1 : (fraction < 0);
   };
   const bool leftReal = (leftType == ORVA_DT_REAL), rightReal = (rightType == ORVA_DT_REAL);
   if (leftReal && rightReal)
   {
      const double a = left.real, b = right.real;
      if (a != a || b != b)
         return (a != a) - (b != b);
      return (a < b) ? -1 : (a > b);
   }
   if (rightReal)
      return againstReal(integer(leftType, left), right.real);
   if (leftReal)
      return -againstReal(integer(rightType, right), left.real);
   return order(integer(leftType, left), integer(rightType, right));
}

/* Zero tests; a non-number is neither zero nor non-zero.  A NaN is not zero. */
ORVA_ALWAYS_INLINE bool NumIsZero(int type, ORVA_Number n)
{
   if (type == ORVA_DT_REAL)
      return n.real == 0.0;
   if (type == ORVA_DT_INT32 || type == ORVA_DT_UINT32)
      return n.u32 == 0;
   if (IsWideType(type))
      return n.u64 == 0;
   return false;
}

ORVA_ALWAYS_INLINE bool NumIsNonZero(int type, ORVA_Number n)
{
   if (type == ORVA_DT_REAL)
      return n.real != 0.0;
   if (type == ORVA_DT_INT32 || type == ORVA_DT_UINT32)
      return n.u32 != 0;
   if (IsWideType(type))
      return n.u64 != 0;
   return false;
}

/* One added (step 1) or subtracted (step -1), wrapping. */
ORVA_ALWAYS_INLINE ORVA_Number NumStep(int type, ORVA_Number n, int step)
{
   if (type == ORVA_DT_REAL)
      return NumberFromReal(n.real + step);
   if (IsWideType(type))
      return NumberFromBits(n.u64 + static_cast<uint64>(static_cast<int64>(step)));
   return NumberFromUInt32(n.u32 + static_cast<uint32>(step));
}

/* Arithmetic negation; a negated unsigned number is signed of its width, so *type may change. */
inline ORVA_Number NumNegate(int *type, ORVA_Number n)
{
   switch (*type)
   {
      case ORVA_DT_REAL:
         return NumberFromReal(-n.real);
      case ORVA_DT_INT32:
      case ORVA_DT_UINT32:
         *type = ORVA_DT_INT32;
         return NumberFromUInt32(0u - n.u32);
      case ORVA_DT_INT64:
      case ORVA_DT_UINT64:
         *type = ORVA_DT_INT64;
         return NumberFromBits(0u - n.u64);
      default:
         return n;
   }
}

/* Bitwise complement; a real stays as it is. */
inline ORVA_Number NumBitNot(int type, ORVA_Number n)
{
   if (type == ORVA_DT_INT32 || type == ORVA_DT_UINT32)
      return NumberFromUInt32(~n.u32);
   if (IsWideType(type))
      return NumberFromBits(~n.u64);
   return n;
}

/*
 * A binary operator on the numeric path, both numbers already of the common
 * type: the result's type and number, or an error code.  Comparisons and the
 * logical operators give the int32 1 or 0; everything else keeps the type.
 */
template <int OpCode>
ORVA_ALWAYS_INLINE int NumOperate(int type, ORVA_Number a, ORVA_Number b, int *resultType, ORVA_Number *result)
{
   switch (OpCode)
   {
      case OPCODE_EQ:
      case OPCODE_NE:
      case OPCODE_LT:
      case OPCODE_LE:
      case OPCODE_GT:
      case OPCODE_GE:
         *resultType = ORVA_DT_INT32;
         *result = NumberFromUInt32(NumCompare<OpCode>(type, a, b) ? 1 : 0);
         return 0;
      case OPCODE_AND:
      case OPCODE_OR:
      {
         const bool truth = (OpCode == OPCODE_AND) ? (NumIsNonZero(type, a) && NumIsNonZero(type, b))
                                                   : (NumIsNonZero(type, a) || NumIsNonZero(type, b));
         *resultType = ORVA_DT_INT32;
         *result = NumberFromUInt32(truth ? 1 : 0);
         return 0;
      }
      case OPCODE_REM:
         if (NumIsZero(type, b))
            return ORVA_ERR_DIVIDE_BY_ZERO;
         [[fallthrough]];
      case OPCODE_ADD:
      case OPCODE_SUB:
      case OPCODE_MUL:
      case OPCODE_DIV:
      case OPCODE_BIT_AND:
      case OPCODE_BIT_OR:
      case OPCODE_BIT_XOR:
      case OPCODE_LSHIFT:
      case OPCODE_RSHIFT:
         *resultType = type;
         *result = NumArith<OpCode>(type, a, b);
         return 0;
      default:
         return ORVA_ERR_INTERNAL;
   }
}

/* The operators of NumOperate, with the opcode known only at run time. */
inline int NumOperateRuntime(int opCode, int type, ORVA_Number a, ORVA_Number b, int *resultType, ORVA_Number *result)
{
   switch (opCode)
   {
#define ORVA_NUM_CASE(op) \
   case op: return NumOperate<op>(type, a, b, resultType, result);
      ORVA_NUM_CASE(OPCODE_ADD)
      ORVA_NUM_CASE(OPCODE_SUB)
      ORVA_NUM_CASE(OPCODE_MUL)
      ORVA_NUM_CASE(OPCODE_DIV)
      ORVA_NUM_CASE(OPCODE_REM)
      ORVA_NUM_CASE(OPCODE_EQ)
      ORVA_NUM_CASE(OPCODE_NE)
      ORVA_NUM_CASE(OPCODE_LT)
      ORVA_NUM_CASE(OPCODE_LE)
      ORVA_NUM_CASE(OPCODE_GT)
      ORVA_NUM_CASE(OPCODE_GE)
      ORVA_NUM_CASE(OPCODE_BIT_AND)
      ORVA_NUM_CASE(OPCODE_BIT_OR)
      ORVA_NUM_CASE(OPCODE_BIT_XOR)
      ORVA_NUM_CASE(OPCODE_AND)
      ORVA_NUM_CASE(OPCODE_OR)
      ORVA_NUM_CASE(OPCODE_LSHIFT)
      ORVA_NUM_CASE(OPCODE_RSHIFT)
#undef ORVA_NUM_CASE
      default:
         return ORVA_ERR_INTERNAL;
   }
}

#endif
