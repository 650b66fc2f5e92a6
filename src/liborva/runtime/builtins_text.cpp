#include "runtime/builtins.h"
#include "support/memory.h"
#include "values/value_access.h"
#include "vm/in_place_calls.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

/*
 * Each handler below is its in-place form run on a value of its own: the
 * rule lives once, and the loop's way of calling it (vm/in_place_calls.h)
 * cannot drift from the host's.
 */
static int Handed(ORVA_InPlaceHandler form, int argc, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Value *value = new ORVA_Value();
   const int rc = form(argc, argv, value, nullptr);
   if (rc != 0)
   {
      delete value;
      return rc;
   }
   *result = value;
   return 0;
}

static int LengthInPlace(int, ORVA_Value **argv, ORVA_Value *result, ORVA_ByteTexts **)
{
   if (!argv[0]->IsString())
      return ORVA_ERR_NOT_STRING;
   uint32 length;
   ORVA_EngineAccess::ReadText(argv[0], &length);
   new (result) ORVA_Value(length);
   return 0;
}

/*
 * The copy keeps the source's type; only its text changes letter case.  In
 * the loop (bytes given) a source whose text nobody else holds is an
 * argument about to be dropped: its text becomes the result's, charged as
 * the copy would be, instead of being copied and freed.
 */
static int MapCase(ORVA_Value *source, ORVA_Value *result, ORVA_ByteTexts **bytes, int (*map)(int))
{
   if (!source->IsString())
      return ORVA_ERR_NOT_STRING;
   if (bytes == nullptr || !ORVA_EngineAccess::TakeOwnText(result, source))
      new (result) ORVA_Value(source);
   uint32 length;
   unsigned char *text = reinterpret_cast<unsigned char *>(result->GetValueAsString(&length));
   for (uint32 i = 0; text != nullptr && i < length; i++)
      text[i] = static_cast<unsigned char>(map(text[i]));
   return 0;
}

static int UpperInPlace(int, ORVA_Value **argv, ORVA_Value *result, ORVA_ByteTexts **bytes)
{
   return MapCase(argv[0], result, bytes, toupper);
}

static int LowerInPlace(int, ORVA_Value **argv, ORVA_Value *result, ORVA_ByteTexts **bytes)
{
   return MapCase(argv[0], result, bytes, tolower);
}

static int SubstrInPlace(int argc, ORVA_Value **argv, ORVA_Value *result, ORVA_ByteTexts **bytes)
{
   if (argc < 2 || argc > 3)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   if (!argv[0]->IsString())
      return ORVA_ERR_NOT_STRING;

   // Positions count from 1; zero and below mean the first byte.  They are
   // read at full width so that a huge start is beyond the text rather than
   // wrapped back into it.
   int64 position = 0;
   if (!argv[1]->IsNull())
   {
      if (!argv[1]->IsInteger())
         return ORVA_ERR_NOT_INTEGER;
      int64 start = FullWidthInteger(argv[1]);
      position = start > 0 ? start - 1 : 0;
   }
   int64 count = INT64_MAX;
   if (argc == 3)
   {
      if (!argv[2]->IsInteger())
         return ORVA_ERR_NOT_INTEGER;
      count = FullWidthInteger(argv[2]);
      if (count < 0)
         count = 0;
   }

   uint32 length;
   const char *text = ORVA_EngineAccess::ReadText(argv[0], &length);
   if (position >= length)
   {
      new (result) ORVA_Value("", 0);
      return 0;
   }
   int64 available = length - position;
   uint32 take = static_cast<uint32>(count < available ? count : available);
   const unsigned char byte = static_cast<unsigned char>(text[position]);
   if (take != 1 || bytes == nullptr || !ORVA_EngineAccess::ShareByteText(result, bytes, byte))
      new (result) ORVA_Value(text + position, take);
   return 0;
}

int BI_Length(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return Handed(LengthInPlace, argc, argv, result);
}

int BI_Upper(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return Handed(UpperInPlace, argc, argv, result);
}

int BI_Lower(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return Handed(LowerInPlace, argc, argv, result);
}

int BI_Substr(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return Handed(SubstrInPlace, argc, argv, result);
}

const ORVA_InPlaceCall g_orvaInPlaceBuiltins[] = {
   { BI_Length, LengthInPlace, true },
   { BI_Substr, SubstrInPlace, true },
   // These may take over the text of an argument nobody else holds.
   { BI_Upper, UpperInPlace, false },
   { BI_Lower, LowerInPlace, false },
   { nullptr, nullptr, false },
};

/*
 * left() and right(): a text of exactly n bytes, the source cut or padded.
 * A length the run's memory ceiling or the heap cannot hold is refused with
 * ORVA_ERR_INTERNAL (the run then stops for memory) instead of bringing the
 * host process down.
 */
static int Align(int argc, ORVA_Value **argv, ORVA_Value **result, int fromRight)
{
   if (argc < 2 || argc > 3)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   if (!argv[1]->IsInteger())
      return ORVA_ERR_NOT_INTEGER;
   if (!argv[0]->IsString())
      return ORVA_ERR_NOT_STRING;
   if (argc == 3 && !argv[2]->IsString())
      return ORVA_ERR_NOT_STRING;

   char pad = ' ';
   if (argc == 3)
   {
      uint32 padLength;
      const char *padText = ORVA_EngineAccess::ReadText(argv[2], &padLength);
      if (padLength > 0)
         pad = padText[0];
   }
   const int64 n = FullWidthInteger(argv[1]);
   // A width no text can have stops the run as any text too long does.
   if (n > 0 && !WeighResult(static_cast<uint64>(n)))
      return ORVA_ERR_INTERNAL;
   const uint32 width = n > 0 ? static_cast<uint32>(n) : 0;

   uint32 length;
   const char *text = ORVA_EngineAccess::ReadText(argv[0], &length);
   uint32 kept = length < width ? length : width;

   char *buffer = static_cast<char *>(MemoryAllocate(static_cast<size_t>(width) + 1));
   if (buffer == nullptr)
      return ORVA_ERR_INTERNAL;
   if (fromRight)
   {
      memset(buffer, pad, width - kept);
      memcpy(buffer + (width - kept), text + (length - kept), kept);
   }
   else
   {
      memcpy(buffer, text, kept);
      memset(buffer + kept, pad, width - kept);
   }
   buffer[width] = 0;
   *result = new ORVA_Value(buffer, width);
   MemoryFree(buffer, static_cast<size_t>(width) + 1);
   return 0;
}

int BI_Left(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return Align(argc, argv, result, 0);
}

int BI_Right(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   return Align(argc, argv, result, 1);
}

int BI_TypeOf(int, ORVA_Value **argv, ORVA_Value **result)
{
   int type = argv[0]->DataType();
   if (type < ORVA_DT_NULL || type > ORVA_DT_UINT64)
      return ORVA_ERR_INTERNAL;
   *result = new ORVA_Value(g_orvaTypeNames[type]);
   return 0;
}

int BI_ClassOf(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsObject())
      return ORVA_ERR_NOT_OBJECT;
   ORVA_Object *object = argv[0]->GetValueAsObject();
   if (object == nullptr || object->Class() == nullptr)
      return ORVA_ERR_INTERNAL;   // an object value that holds no object
   *result = new ORVA_Value(object->Class()->Name());
   return 0;
}
