#include "runtime/builtins.h"
#include "support/memory.h"
#include "values/value_access.h"
#include "runtime/time_class.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

// Runs on several threads may convert times at once, so every conversion
// fills storage of its caller's own.  A time the platform cannot convert is
// refused as a bad conversion.
static int BreakDown(uint32 seconds, int local, struct tm *tm)
{
   time_t t = static_cast<time_t>(seconds);
   struct tm *done = local ? localtime_r(&t, tm) : gmtime_r(&t, tm);
   return done != nullptr ? 0 : ORVA_ERR_BAD_CONVERSION;
}

int BI_Time(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value(static_cast<uint32>(time(nullptr)));
   return 0;
}

static int MakeTime(int argc, ORVA_Value **argv, ORVA_Value **result, int local)
{
   if (argc > 1)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   uint32 seconds;
   if (argc == 1)
   {
      if (!argv[0]->IsInteger())
         return ORVA_ERR_NOT_INTEGER;
      seconds = argv[0]->GetValueAsUInt32();
   }
   else
   {
      seconds = static_cast<uint32>(time(nullptr));
   }
   struct tm tm;
   int rc = BreakDown(seconds, local, &tm);
   if (rc != 0)
      return rc;
   *result = ORVA_TimeClass::NewValue(tm);
   if (*result == nullptr)
   {
      MemoryExhausted();   // no object: the run stops with "Out of memory"
      return ORVA_ERR_INTERNAL;
   }
   return 0;
}

int BI_LocalTime(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return MakeTime(argc, argv, result, 1);
}

int BI_GMTime(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return MakeTime(argc, argv, result, 0);
}

// Longest formatted time produced; beyond it strftime() is refused rather
// than growing its buffer without end (field widths are unbounded).
static const size_t MAX_STRFTIME_RESULT = 16 * 1024 * 1024;

/*
 * Formats tm with format, growing the buffer while the text does not fit.
 * The C library answers 0 both for "does not fit" and for an empty result;
 * a leading literal byte in front of the format makes every fitting result
 * non-empty, so 0 can only mean "does not fit".
 */
static int FormatTime(const char *format, const struct tm *tm, ORVA_Value **result)
{
   size_t formatLength = strlen(format);
   char smallFormat[256];
   char *marked = formatLength + 2 <= sizeof(smallFormat)
                     ? smallFormat
                     : static_cast<char *>(malloc(formatLength + 2));
   if (marked == nullptr)
      return ORVA_ERR_INTERNAL;
   marked[0] = '#';
   memcpy(marked + 1, format, formatLength + 1);

   char smallBuffer[512];
   char *buffer = smallBuffer;
   size_t size = sizeof(smallBuffer);
   int rc = 0;
   for (;;)
   {
      size_t length = strftime(buffer, size, marked, tm);
      if (length > 0)
      {
         *result = new ORVA_Value(buffer + 1, static_cast<uint32>(length - 1));
         break;
      }
      if (size >= MAX_STRFTIME_RESULT)
      {
         rc = ORVA_ERR_INTERNAL;
         break;
      }
      // Every try formats the whole field again: each is weighed first.
      if (!WeighResult(size * 2))
      {
         rc = ORVA_ERR_INTERNAL;
         break;
      }
      char *grown = static_cast<char *>(buffer == smallBuffer ? MemoryAllocate(size * 2)
                                                              : MemoryReallocate(buffer, size, size * 2));
      if (grown == nullptr)
      {
         rc = ORVA_ERR_INTERNAL;
         break;
      }
      buffer = grown;
      size *= 2;
   }

   if (buffer != smallBuffer)
      MemoryFree(buffer, size);
   if (marked != smallFormat)
      free(marked);
   return rc;
}

int BI_StrFTime(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   if (argc < 1 || argc > 3)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   if (!argv[0]->IsString())
      return ORVA_ERR_NOT_STRING;

   uint32 seconds;
   if (argc >= 2 && !argv[1]->IsNull())
   {
      if (!argv[1]->IsNumeric())
         return ORVA_ERR_BAD_CONVERSION;
      seconds = static_cast<uint32>(argv[1]->GetValueAsUInt64());
   }
   else
   {
      seconds = static_cast<uint32>(time(nullptr));
   }

   int local = 1;
   if (argc == 3)
   {
      if (!argv[2]->IsInteger())
         return ORVA_ERR_NOT_NUMBER;
      local = argv[2]->IsNonZero();
   }

   struct tm tm;
   int rc = BreakDown(seconds, local, &tm);
   if (rc != 0)
      return rc;
   return FormatTime(ORVA_EngineAccess::ReadText(argv[0], nullptr), &tm, result);
}
