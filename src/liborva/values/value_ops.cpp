/*
 * Arithmetic, bitwise and comparison operations of values.  Each assumes the
 * other operand holds the receiver's type; an operand of another type is read
 * as the receiver's type.  What each operation computes is the language's
 * numeric rule for it (values/numeric.h); the methods only add the value's
 * own bookkeeping: a changed number drops its text, and a receiver that is
 * no number keeps its (absent) number.
 */
#include "orva.h"
#include "values/numeric.h"
#include "values/value_access.h"

#include <cstring>

template <typename Union> static inline ORVA_Number Bits(const Union &value)
{
   static_assert(sizeof(Union) == sizeof(ORVA_Number), "a value's number is 64 bits");
   ORVA_Number n;
   memcpy(&n, &value, sizeof(n));
   return n;
}

template <typename Union> static inline void StoreBits(Union &value, ORVA_Number n)
{
   memcpy(&value, &n, sizeof(n));
}

// The two-operand methods share one shape: drop the text, then compute on
// the receiver's type with the other operand read as that type.
#define ORVA_VALUE_ARITH(method, opCode)                                                            \
   void ORVA_Value::method(ORVA_Value *other)                                                       \
   {                                                                                                \
      InvalidateString();                                                                           \
      if (!IsNumeric() || other == nullptr)                                                         \
         return;                                                                                    \
      const ORVA_Number b = NumConvert(other->m_dataType, m_dataType, Bits(other->m_value));        \
      StoreBits(m_value, NumArith<opCode>(m_dataType, Bits(m_value), b));                           \
   }

ORVA_VALUE_ARITH(Add, OPCODE_ADD)
ORVA_VALUE_ARITH(Sub, OPCODE_SUB)
ORVA_VALUE_ARITH(Mul, OPCODE_MUL)
ORVA_VALUE_ARITH(Div, OPCODE_DIV)
ORVA_VALUE_ARITH(Rem, OPCODE_REM)
ORVA_VALUE_ARITH(BitAnd, OPCODE_BIT_AND)
ORVA_VALUE_ARITH(BitOr, OPCODE_BIT_OR)
ORVA_VALUE_ARITH(BitXor, OPCODE_BIT_XOR)

void ORVA_Value::LShift(int count)
{
   InvalidateString();
   if (IsNumeric())
      StoreBits(m_value, NumArith<OPCODE_LSHIFT>(m_dataType, Bits(m_value), NumShiftOperand(m_dataType, count)));
}

void ORVA_Value::RShift(int count)
{
   InvalidateString();
   if (IsNumeric())
      StoreBits(m_value, NumArith<OPCODE_RSHIFT>(m_dataType, Bits(m_value), NumShiftOperand(m_dataType, count)));
}

void ORVA_Value::Increment()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   StoreBits(m_value, NumStep(m_dataType, Bits(m_value), 1));
}

void ORVA_Value::Decrement()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   StoreBits(m_value, NumStep(m_dataType, Bits(m_value), -1));
}

void ORVA_Value::Negate()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   int type = m_dataType;
   StoreBits(m_value, NumNegate(&type, Bits(m_value)));
   m_dataType = static_cast<uint8>(type);
}

void ORVA_Value::BitNot()
{
   if (!IsNumeric())
      return;
   InvalidateString();
   StoreBits(m_value, NumBitNot(m_dataType, Bits(m_value)));
}

int ORVA_Value::IsZero() const
{
   return NumIsZero(m_dataType, Bits(m_value)) ? 1 : 0;
}

int ORVA_Value::IsNonZero() const
{
   return NumIsNonZero(m_dataType, Bits(m_value)) ? 1 : 0;
}

#define ORVA_VALUE_COMPARE(method, opCode)                                                          \
   int ORVA_Value::method(ORVA_Value *other) const                                                  \
   {                                                                                                \
      if (!IsNumeric() || other == nullptr)                                                         \
         return 0;                                                                                  \
      const ORVA_Number b = NumConvert(other->m_dataType, m_dataType, Bits(other->m_value));        \
      return NumCompare<opCode>(m_dataType, Bits(m_value), b) ? 1 : 0;                              \
   }

ORVA_VALUE_COMPARE(EQ, OPCODE_EQ)
ORVA_VALUE_COMPARE(LT, OPCODE_LT)
ORVA_VALUE_COMPARE(LE, OPCODE_LE)
ORVA_VALUE_COMPARE(GT, OPCODE_GT)
ORVA_VALUE_COMPARE(GE, OPCODE_GE)

int ORVACompareNumbers(const ORVA_Value *a, const ORVA_Value *b)
{
   return NumOrder(ORVA_EngineAccess::Type(a), ORVA_EngineAccess::Number(a), ORVA_EngineAccess::Type(b),
                   ORVA_EngineAccess::Number(b));
}
