#include "runtime/builtins.h"
#include "support/memory.h"
#include "values/numeric.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

int BI_Abs(int, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Value *x = argv[0];
   if (!x->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;

   if (x->IsReal())
   {
      *result = new ORVA_Value(fabs(x->GetValueAsReal()));
      return 0;
   }
   ORVA_Value *copy = new ORVA_Value(x);
   // Unsigned values are never below zero; the smallest signed value stays
   // negative because negation wraps.
   if ((x->DataType() == ORVA_DT_INT32 || x->DataType() == ORVA_DT_INT64) &&
       x->GetValueAsInt64() < 0)
      copy->Negate();
   *result = copy;
   return 0;
}

int BI_Pow(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsNumeric() || !argv[1]->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;
   *result = new ORVA_Value(pow(argv[0]->GetValueAsReal(), argv[1]->GetValueAsReal()));
   return 0;
}

/*
 * Compares candidate against best (both numeric) with the ordering that the
 * candidate's own comparison gives once both hold a common type.  Returns 1
 * or 0 through *outcome, or an error code when no common type can be made.
 */
static int Compare(ORVA_Value *candidate, ORVA_Value *best, int greater, int *outcome)
{
   if (candidate->DataType() == best->DataType())
   {
      *outcome = greater ? candidate->GT(best) : candidate->LT(best);
      return 0;
   }
   // The type the script's own comparison operators would compare them in.
   int type = NumCommonType(OPCODE_LT, candidate->DataType(), best->DataType());
   ORVA_Value a(candidate), b(best);
   if (!a.Convert(type) || !b.Convert(type))
      return ORVA_ERR_TYPE_CAST;
   *outcome = greater ? a.GT(&b) : a.LT(&b);
   return 0;
}

static int MinMax(int argc, ORVA_Value **argv, ORVA_Value **result, int greater)
{
   if (argc < 1)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   // min lets a lone first argument of any type through (and returns it);
   // max insists on numbers throughout.
   if (greater && !argv[0]->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;

   ORVA_Value *best = argv[0];
   for (int i = 1; i < argc; i++)
   {
      if (!argv[i]->IsNumeric() || !best->IsNumeric())
         return ORVA_ERR_BAD_CONVERSION;
      int replaces;
      int rc = Compare(argv[i], best, greater, &replaces);
      if (rc != 0)
         return rc;
      if (replaces)
         best = argv[i];
   }
   *result = new ORVA_Value(best);
   return 0;
}

int BI_Min(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return MinMax(argc, argv, result, 0);
}

int BI_Max(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return MinMax(argc, argv, result, 1);
}

int BI_D2X(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   if (argc < 1 || argc > 2)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   if (!argv[0]->IsInteger())
      return ORVA_ERR_NOT_INTEGER;
   if (argc == 2 && !argv[1]->IsInteger())
      return ORVA_ERR_NOT_INTEGER;

   // A negative width goes into the format as it is and so left-aligns the
   // digits within blanks.
   char format[32] = "%X";
   int32 width = 0;
   if (argc == 2)
   {
      // A field wider than the C library can pad is wider than any text.
      const int64 wide = FullWidthInteger(argv[1]);
      if (wide > INT32_MAX || wide < -static_cast<int64>(INT32_MAX))
      {
         WeighResult(static_cast<uint64>(wide < 0 ? -wide : wide));
         return ORVA_ERR_INTERNAL;
      }
      width = static_cast<int32>(wide);
      snprintf(format, sizeof(format), "%%0%dX", width);
   }
   uint32 n = argv[0]->GetValueAsUInt32();

   char small[128];
   if (width > -static_cast<int32>(sizeof(small)) && width < static_cast<int32>(sizeof(small)))
   {
      int length = snprintf(small, sizeof(small), format, n);
      *result = new ORVA_Value(small, static_cast<uint32>(length));
      return 0;
   }

   // A wide field: the text is as long as the field, since eight digits
   // never fill it.  It is sized and charged before the C library pads it.
   const size_t length = static_cast<size_t>(width < 0 ? -width : width);
   if (!WeighResult(length))
      return ORVA_ERR_INTERNAL;
   char *text = static_cast<char *>(MemoryAllocate(length + 1));
   if (text == nullptr)
      return ORVA_ERR_INTERNAL;
   const int written = snprintf(text, length + 1, format, n);
   if (written >= 0)
      *result = new ORVA_Value(text, static_cast<uint32>(written));
   MemoryFree(text, length + 1);
   return (written >= 0) ? 0 : ORVA_ERR_INTERNAL;
}

int BI_SecondsToUptime(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;
   uint64 n = argv[0]->GetValueAsUInt64();
   uint64 days = n / 86400;
   uint64 hours = (n % 86400) / 3600;
   uint64 minutes = (n % 3600) / 60;
   // Left-over seconds round up to a whole minute.
   if (n % 60 != 0)
      minutes++;

   char text[260];
   int length = snprintf(text, sizeof(text), "%u days, %2u:%02u", static_cast<unsigned>(days & 0xFFFFFFFFu),
                         static_cast<unsigned>(hours), static_cast<unsigned>(minutes));
   *result = new ORVA_Value(text, static_cast<uint32>(length));
   return 0;
}
