/*
 * The opt-in extension functions: helpers shared by their handlers and the
 * tables that ORVARegisterExtensions appends to an environment.  Every
 * handler follows the external-function contract of orva.h and reaches the
 * library through its public interface only, as any host function would.
 */
#ifndef ORVA_EXT_EXT_H
#define ORVA_EXT_EXT_H

#include "orva.h"

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

/*
 * Everything the functions hold while they work is counted under the run's
 * memory ceiling, as a host's own buffers would be: a refusal stops the
 * run and surfaces here as std::bad_alloc, which Guarded turns into the
 * stop.
 */
template <typename T>
struct Counted
{
   using value_type = T;
   Counted() = default;
   template <typename U>
   Counted(const Counted<U> &) noexcept
   {
   }
   T *allocate(size_t n)
   {
      if (n > SIZE_MAX / sizeof(T))
         throw std::bad_alloc();
      void *block = ORVAAllocate(n * sizeof(T));
      if (block == nullptr)
         throw std::bad_alloc();
      return static_cast<T *>(block);
   }
   void deallocate(T *block, size_t n) noexcept { ORVAFree(block, n * sizeof(T)); }
   template <typename U>
   bool operator==(const Counted<U> &) const noexcept
   {
      return true;
   }
   template <typename U>
   bool operator!=(const Counted<U> &) const noexcept
   {
      return false;
   }
};

using Text = std::basic_string<char, std::char_traits<char>, Counted<char>>;

/*
 * Work charged as a loop goes, the limits looked at every few thousand
 * units (a unit is about an instruction; text costs one a
 * ORVA_WORK_BYTES_PER_UNIT bytes).  Add is false once the run has stopped:
 * the function gives up at once.
 */
class WorkMeter
{
public:
   bool Add(uint64 units)
   {
      m_pending += units;
      return m_pending < SLICE || Flush();
   }
   bool AddBytes(uint64 bytes) { return Add(bytes / ORVA_WORK_BYTES_PER_UNIT + 1); }
   bool Flush()
   {
      const uint64 units = m_pending;
      m_pending = 0;
      return ORVAChargeWork(units) != 0;
   }

private:
   static const uint64 SLICE = 4096;
   uint64 m_pending = 0;
};

// Making a value and storing it in an array costs about as much as this
// many instructions.
const uint64 VALUE_UNITS = 4;

// What a function returns when the run stopped under it: the stop, not the
// code, is what the run reports.
const int STOPPED = ORVA_ERR_INTERNAL;

// The text of an argument, inner zero bytes included; false when the value
// has none (null, array, object) or the run stopped while it was copied.
inline bool ArgText(ORVA_Value *value, Text *text)
{
   uint32 length = 0;
   const char *bytes = value->IsString() ? value->GetValueAsString(&length) : nullptr;
   if (bytes == nullptr)
      return false;
   // The copy, and the scan that follows it as a rule, are paid first.
   if (ORVAChargeWork(length / ORVA_WORK_BYTES_PER_UNIT) == 0)
      return false;
   text->assign(bytes, length);
   return true;
}

// A result text, read as a number like every text the language makes; NULL
// when it is beyond TEXT_LIMIT.
inline ORVA_Value *NewText(const char *text, size_t length)
{
   if (length > TEXT_LIMIT)
      return new ORVA_Value();
   ORVAChargeWork(length / ORVA_WORK_BYTES_PER_UNIT);
   return new ORVA_Value(text, static_cast<uint32>(length));
}

inline ORVA_Value *NewText(const Text &text)
{
   return NewText(text.data(), text.size());
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

// Runs a handler so that memory refused under the ceiling stops the run,
// and a heap exhausted elsewhere gives the script NULL, as it does for the
// built-ins, instead of an exception leaving the library.
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
      return ORVAChargeWork(0) != 0 ? 0 : STOPPED;
   }
}

// The elements of an array in the order level-2 loops walk them: integer
// keys ascending (positions 0 .. Size() - 1), then text keys in the order
// they were first stored.
inline int64 WalkLength(const ORVA_Array *array)
{
   return static_cast<int64>(array->Size()) + array->TextCount();
}
inline ORVA_Value *WalkValue(const ORVA_Array *array, int64 position)
{
   if (position < array->Size())
      return array->ValueAt(static_cast<int32>(position));
   return array->TextValueAt(static_cast<int32>(position - array->Size()));
}

// Removes every text-keyed element, the last first (which leaves no hole
// to close); false when the run stopped on the way.
inline bool ClearTextKeys(ORVA_Array *array, WorkMeter &meter)
{
   for (int32 last = array->TextCount() - 1; last >= 0; last--)
   {
      uint32 length = 0;
      const char *key = array->TextKeyAt(last, &length);
      if (!meter.AddBytes(length))
         return false;
      array->RemoveText(key, length);
   }
   return true;
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
