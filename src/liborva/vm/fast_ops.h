/*
 * The typed shortcuts of the operators: two numbers computed on directly,
 * without the general dispatch of ORVA_Engine::BinaryOperation and its conversions in
 * place.  They compute through the same numeric rules (values/numeric.h),
 * with the same common type, so their result is the general path's result;
 * whenever that path would do anything but compute (an operand that is no
 * number, no common type, a refused conversion, a remainder by zero) they
 * decline and leave it to the general path, which raises the error.
 */
#ifndef ORVA_FAST_OPS_H
#define ORVA_FAST_OPS_H

#include "values/numeric.h"
#include "values/value_access.h"
#include "vm/run_limits.h"

#include <cstring>

#if defined(__GNUC__)
#define ORVA_NOINLINE __attribute__((noinline))
#else
#define ORVA_NOINLINE
#endif

/*
 * The text a text or number reads as when nothing has to be made for it:
 * a text's own, a number's kept one; null for anything else.
 */
ORVA_ALWAYS_INLINE const char *ReadyText(const ORVA_Value *value, int type, uint32 *length)
{
   typedef ORVA_EngineAccess Access;
   if (type == ORVA_DT_STRING || (type >= ORVA_DT_REAL && !Access::CopiesWithoutText(value)))
      return Access::Text(value, length);
   return nullptr;
}

/*
 * FastOperate beyond its two common pairs: signed integers of both widths,
 * any other pair of numbers, and equality of nulls and of texts.  One copy
 * per operator serves every fused form of it.
 */
template <int OpCode>
ORVA_NOINLINE bool FastOperateOther(const ORVA_Value *left, const ORVA_Value *right, int *type, ORVA_Number *result)
{
   typedef ORVA_EngineAccess Access;
   const int leftType = Access::Type(left);
   const int rightType = Access::Type(right);
   if ((OpCode == OPCODE_EQ || OpCode == OPCODE_NE) && (leftType == ORVA_DT_STRING || rightType == ORVA_DT_STRING))
   {
      // A text is equal to a text or a number when their bytes are.  Most
      // pieces compared in a scan differ in their first byte or are one
      // byte long, so that byte decides before any call.  A number whose
      // text would have to be made first is left to the general path.
      uint32 leftLength, rightLength;
      const char *leftText = ReadyText(left, leftType, &leftLength);
      const char *rightText = ReadyText(right, rightType, &rightLength);
      if (leftText != nullptr && rightText != nullptr)
      {
         // Charged as the general path charges it, to the unit: a stop it
         // causes is noticed at the loop's next checkpoint.
         if (leftLength == rightLength)
            ChargeWork(leftLength);
         const bool equal = leftLength == rightLength &&
                            (leftLength == 0 || (leftText[0] == rightText[0] &&
                                                 memcmp(leftText + 1, rightText + 1, leftLength - 1) == 0));
         *type = ORVA_DT_INT32;
         *result = NumberFromUInt32((equal == (OpCode == OPCODE_EQ)) ? 1 : 0);
         return true;
      }
   }
   if ((leftType == ORVA_DT_INT32 || leftType == ORVA_DT_INT64) &&
       (rightType == ORVA_DT_INT32 || rightType == ORVA_DT_INT64))
   {
      // Signed integers of both widths: the wider one wins.
      const int common = NumCommonType(OpCode, ORVA_DT_INT64, ORVA_DT_INT64);
      const ORVA_Number a = (leftType == ORVA_DT_INT32) ? NumConvert(ORVA_DT_INT32, common, Access::Number(left))
                                                        : NumConvert(ORVA_DT_INT64, common, Access::Number(left));
      const ORVA_Number b = (rightType == ORVA_DT_INT32) ? NumConvert(ORVA_DT_INT32, common, Access::Number(right))
                                                         : NumConvert(ORVA_DT_INT64, common, Access::Number(right));
      return NumOperate<OpCode>(common, a, b, type, result) == 0;
   }
   if (OpCode >= OPCODE_EQ && OpCode <= OPCODE_GE &&
       ((leftType == ORVA_DT_INT32 && rightType == ORVA_DT_UINT32) ||
        (leftType == ORVA_DT_UINT32 && rightType == ORVA_DT_INT32)))
   {
      // A signed and an unsigned 32-bit integer compared, as a counter meets
      // a bound from length(): the pair's common type is known here.  Only
      // comparisons, so that arithmetic on other pairs pays nothing for it.
      const int common = NumCommonType(OpCode, ORVA_DT_INT32, ORVA_DT_UINT32);
      const ORVA_Number a = (leftType == ORVA_DT_INT32) ? NumConvert(ORVA_DT_INT32, common, Access::Number(left))
                                                        : NumConvert(ORVA_DT_UINT32, common, Access::Number(left));
      const ORVA_Number b = (rightType == ORVA_DT_INT32) ? NumConvert(ORVA_DT_INT32, common, Access::Number(right))
                                                         : NumConvert(ORVA_DT_UINT32, common, Access::Number(right));
      return NumOperate<OpCode>(common, a, b, type, result) == 0;
   }
   if (leftType < ORVA_DT_REAL || rightType < ORVA_DT_REAL)
   {
      // Equality off the numeric path: null equals only null.  An object or
      // an array is left to the general path, which gives it up properly.
      if (OpCode != OPCODE_EQ && OpCode != OPCODE_NE)
         return false;
      // An array against null (a tree's missing child) reads nothing of
      // the array.  An object is left to the general path, whose copies
      // its class sees.
      if (leftType == ORVA_DT_OBJECT || rightType == ORVA_DT_OBJECT ||
          ((leftType == ORVA_DT_ARRAY || rightType == ORVA_DT_ARRAY) && leftType != ORVA_DT_NULL &&
           rightType != ORVA_DT_NULL))
         return false;
      // Texts with texts and ready numbers were taken above.
      if (leftType != ORVA_DT_NULL && rightType != ORVA_DT_NULL)
         return false;
      const bool equal = (leftType == rightType);
      *type = ORVA_DT_INT32;
      *result = NumberFromUInt32((equal == (OpCode == OPCODE_EQ)) ? 1 : 0);
      return true;
   }
   const int common = NumCommonType(OpCode, leftType, rightType);
   if (common < 0 || !NumConvertible(leftType, common) || !NumConvertible(rightType, common))
      return false;
   return NumOperate<OpCode>(common, NumConvert(leftType, common, Access::Number(left)),
                             NumConvert(rightType, common, Access::Number(right)), type, result) == 0;
}

/* The result's type and number of operator OpCode on left and right, or false. */
template <int OpCode>
ORVA_ALWAYS_INLINE bool FastOperate(const ORVA_Value *left, const ORVA_Value *right, int *type, ORVA_Number *result)
{
   typedef ORVA_EngineAccess Access;
   const int leftType = Access::Type(left);
   const int rightType = Access::Type(right);
   // The common pairs inline, with their types known to the compiler.
   if (leftType == ORVA_DT_INT32 && rightType == ORVA_DT_INT32)
   {
      const int common = NumCommonType(OpCode, ORVA_DT_INT32, ORVA_DT_INT32);
      return NumOperate<OpCode>(common, NumConvert(ORVA_DT_INT32, common, Access::Number(left)),
                                NumConvert(ORVA_DT_INT32, common, Access::Number(right)), type, result) == 0;
   }
   if (leftType == ORVA_DT_REAL && rightType == ORVA_DT_REAL)
   {
      if (NumCommonType(OpCode, ORVA_DT_REAL, ORVA_DT_REAL) < 0)
         return false;
      return NumOperate<OpCode>(ORVA_DT_REAL, Access::Number(left), Access::Number(right), type, result) == 0;
   }
   return FastOperateOther<OpCode>(left, right, type, result);
}

/* The operator done in place on left, which takes the result and drops its text. */
template <int OpCode> ORVA_ALWAYS_INLINE bool FastInPlace(ORVA_Value *left, const ORVA_Value *right)
{
   int type;
   ORVA_Number result;
   if (!FastOperate<OpCode>(left, right, &type, &result))
      return false;
   // An array compared with null gives up its reference as the result
   // takes its place (the compiler drops this test for the numeric pairs,
   // whose types it knows).
   if (ORVA_EngineAccess::Type(left) == ORVA_DT_ARRAY)
   {
      if (!ORVA_EngineAccess::IsBareArray(left))
         return false;
      ORVA_EngineAccess::DropArray(left);
   }
   ORVA_EngineAccess::SetNumber(left, type, result);
   return true;
}

/* The truth a comparison or logical operator gives, for a jump that tests it at once. */
template <int OpCode> ORVA_ALWAYS_INLINE bool FastTruth(const ORVA_Value *left, const ORVA_Value *right, bool *truth)
{
   int type;
   ORVA_Number result;
   if (!FastOperate<OpCode>(left, right, &type, &result))
      return false;
   *truth = result.u32 != 0;
   return true;
}

#endif
