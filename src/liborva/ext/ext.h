/*
 * The opt-in extension functions: helpers shared by their handlers and the
 * tables that ORVARegisterExtensions appends to an environment.  Every
 * handler follows the external-function contract of orva.h and reaches the
 * library through its public interface only, as any host function would.
 */
#ifndef ORVA_EXT_EXT_H
#define ORVA_EXT_EXT_H

#include "orva.h"
#include "vm/run_limits.h"
#include "vm/value_access.h"

#include <cstddef>
#include <new>
#include <string>

namespace orva_ext
{

// Largest text an extension function makes (256 MiB).  A script that asks
// for more, by repeated replacement or a file too large, gets NULL, as the
// built-ins give NULL for a result they cannot allocate.
const size_t TEXT_LIMIT = size_t(1) << 28;

// Largest width or precision a format directive may ask for.
const int64 FORMAT_FIELD_LIMIT = 1000000;

// The text of an argument, inner zero bytes included; false when the value
// has none (null, array, object).
inline bool ArgText(ORVA_Value *value, std::string *text)
{
   uint32 length = 0;
   const char *bytes = value->IsString() ? ORVA_EngineAccess::ReadText(value, &length) : nullptr;
   if (bytes == nullptr)
      return false;
   text->assign(bytes, length);
   ChargeWork(length);   // the copy, and the scan that follows it as a rule
   return true;
}

// A result text, read as a number like every text the language makes; NULL
// when it is beyond TEXT_LIMIT.
inline ORVA_Value *NewText(const std::string &text)
{
   if (text.size() > TEXT_LIMIT)
      return new ORVA_Value();
   return new ORVA_Value(text.data(), static_cast<uint32>(text.size()));
}

// A count or position: int32 while it fits, else int64.
inline ORVA_Value *NewCount(uint64 n)
{
   if (n <= static_cast<uint64>(INT32_MAX))
      return new ORVA_Value(static_cast<int32>(n));
   return new ORVA_Value(static_cast<int64>(n));
}

// An integer argument read at full width; unsigned values above the signed
// range saturate so that a huge count stays huge.
inline int64 ArgInt64(const ORVA_Value *value)
{
   if (value->IsUnsigned() && value->GetValueAsUInt64() > static_cast<uint64>(INT64_MAX))
      return INT64_MAX;
   return value->GetValueAsInt64();
}

// Runs a handler so that exhausted memory gives the script NULL, as it does
// for the built-ins, instead of an exception leaving the library.
template <int (*Handler)(int, ORVA_Value **, ORVA_Value **)>
int Guarded(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   try
   {
      return Handler(argc, argv, result);
   }
   catch (const std::bad_alloc &)
   {
      *result = nullptr;
      return 0;
   }
}

// The function tables of the sets (one file each).
extern const ORVA_ExtFunction g_textFunctions[];
extern const uint32 g_textFunctionCount;
extern const ORVA_ExtFunction g_mathFunctions[];
extern const uint32 g_mathFunctionCount;
extern const ORVA_ExtFunction g_arrayFunctions[];
extern const uint32 g_arrayFunctionCount;
extern const ORVA_ExtFunction g_ioFunctions[];
extern const uint32 g_ioFunctionCount;

// format(fmt, ...), in its own file for its size.
int Format(int argc, ORVA_Value **argv, ORVA_Value **result);

}

#endif
