/*
 * The built-in functions every environment starts with, and the handlers
 * behind them.  Handlers follow the external-function contract of orva.h.
 */
#ifndef ORVA_RUNTIME_BUILTINS_H
#define ORVA_RUNTIME_BUILTINS_H

#include "orva.h"
#include "values/value_access.h"
#include "vm/in_place_calls.h"

// The table is copied into each new environment, ahead of host functions,
// so that a host cannot shadow a built-in by registering the same name.
const uint32 ORVA_BUILTIN_COUNT = 20;
extern const ORVA_ExtFunction g_orvaBuiltins[ORVA_BUILTIN_COUNT];

// The built-ins the loop may call in place, registered with each new
// environment (builtins_text.cpp).
extern const ORVA_InPlaceCall g_orvaInPlaceBuiltins[];

/*
 * A built-in whose result's size an argument decides weighs it before it
 * makes any of it: bytes built in a buffer of its own and copied once into
 * the result.  False when the run cannot afford them (the text limit, the
 * memory ceiling, or more work than the instruction or time limit leaves):
 * the run has stopped, and the handler returns ORVA_ERR_INTERNAL, which the
 * stop words by its reason.  Outside a run only the text limit counts.
 */
bool WeighResult(uint64 bytes);

/*
 * An integer argument read at its full width, so that a width or count of
 * 2^32 and more is too long rather than wrapped into a smaller one; an
 * unsigned value beyond INT64_MAX reads as INT64_MAX.
 */
int64 WideInteger(const ORVA_Value *value);
inline int64 FullWidthInteger(const ORVA_Value *value)
{
   // Positions and counts are nearly always plain 32-bit integers.
   if (value->DataType() == ORVA_DT_INT32)
      return ORVA_EngineAccess::Number(value).i32;
   return WideInteger(value);
}

// Numbers (builtins_number.cpp)
int BI_Abs(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Pow(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Min(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Max(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_D2X(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_SecondsToUptime(int argc, ORVA_Value **argv, ORVA_Value **result);

// Texts and types (builtins_text.cpp)
int BI_Length(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Upper(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Lower(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Substr(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Left(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_Right(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_TypeOf(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_ClassOf(int argc, ORVA_Value **argv, ORVA_Value **result);

// Time (builtins_time.cpp)
int BI_Time(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_LocalTime(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_GMTime(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_StrFTime(int argc, ORVA_Value **argv, ORVA_Value **result);

// IPv4 addresses (builtins_addr.cpp)
int BI_AddrInRange(int argc, ORVA_Value **argv, ORVA_Value **result);
int BI_AddrInSubnet(int argc, ORVA_Value **argv, ORVA_Value **result);

#endif
