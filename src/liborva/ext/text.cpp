/*
 * Text extension functions: split, join, index, replace, trim, ord, chr.
 * Texts are byte strings: positions and lengths count bytes, and inner zero
 * bytes are kept.
 */
#include "ext/ext.h"

#include <cstring>

namespace orva_ext
{

namespace
{

// An element that holds no value, or NULL, reads as missing in a script, so
// the array functions treat both alike.
bool IsAbsent(const ORVA_Value *value)
{
   return value == nullptr || value->IsNull();
}

// split(text, separator, array): the pieces go to array[1..n] and n comes
// back.  An empty separator splits into single bytes; an empty text has no
// pieces.  Elements above n are cleared and text-keyed ones removed, so a
// loop over 1..n, or over the keys, sees the pieces only, whatever the
// array held before.
int Split(int, ORVA_Value **argv, ORVA_Value **result)
{
   Text text, separator;
   if (!ArgText(argv[0], &text) || !ArgText(argv[1], &separator))
      return ORVA_ERR_NOT_STRING;
   ORVA_Array *array = argv[2]->GetValueAsArray();
   if (array == nullptr)
      return ORVA_ERR_NOT_ARRAY;

   // The texts were copied first: the array may hold the very values the
   // arguments were read from.
   // Every piece is a value and an element: a short text with a short
   // separator makes millions, so the limits are looked at as they come.
   WorkMeter meter;
   int32 count = 0;
   if (!text.empty())
   {
      size_t start = 0;
      for (;;)
      {
         size_t end;
         if (separator.empty())
            end = start + 1 < text.size() ? start + 1 : Text::npos;
         else
            end = text.find(separator, start);
         size_t pieceEnd = end == Text::npos ? text.size() : end;
         if (!meter.Add(VALUE_UNITS + (pieceEnd - start + separator.size()) / ORVA_WORK_BYTES_PER_UNIT))
            return STOPPED;
         array->Set(++count, new ORVA_Value(text.data() + start, static_cast<uint32>(pieceEnd - start)));
         if (end == Text::npos || count == INT32_MAX)
            break;
         start = end + separator.size();
      }
   }

   for (int32 position = 0; position < array->Size(); position++)
   {
      if (!meter.Add(1))
         return STOPPED;
      int32 index = array->IndexAt(position);
      if (index > count && !IsAbsent(array->ValueAt(position)))
         array->Set(index, new ORVA_Value());
   }
   if (!ClearTextKeys(array, meter) || !meter.Flush())
      return STOPPED;
   *result = new ORVA_Value(count);
   return 0;
}

// join(array, separator): the texts of the elements in the order a loop
// over the keys walks them (integer keys, then text keys); absent elements
// are skipped, and an element without text (an array, an object)
// is refused like any text argument.
int Join(int, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Array *array = argv[0]->GetValueAsArray();
   if (array == nullptr)
      return ORVA_ERR_NOT_ARRAY;
   Text separator;
   if (!ArgText(argv[1], &separator))
      return ORVA_ERR_NOT_STRING;

   WorkMeter meter;
   Text joined;
   bool first = true;
   for (int64 position = 0; position < WalkLength(array); position++)
   {
      ORVA_Value *element = WalkValue(array, position);
      if (!meter.Add(1))
         return STOPPED;
      if (IsAbsent(element))
         continue;
      uint32 length = 0;
      const char *text = element->IsString() ? element->GetValueAsString(&length) : nullptr;
      if (text == nullptr)
         return ORVA_ERR_NOT_STRING;
      if (joined.size() + separator.size() + length > TEXT_LIMIT)
      {
         *result = new ORVA_Value();
         return 0;
      }
      if (!meter.AddBytes(separator.size() + length))
         return STOPPED;
      if (!first)
         joined += separator;
      joined.append(text, length);
      first = false;
   }
   if (!meter.Flush())
      return STOPPED;
   *result = NewText(joined);
   return 0;
}

// index(text, sub[, start]): the 1-based position of the first sub at or
// after start, or 0.  start counts like substr's: 1 is the first byte, 0,
// below or NULL the beginning.
int Index(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   if (argc < 2 || argc > 3)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   Text text, sub;
   if (!ArgText(argv[0], &text) || !ArgText(argv[1], &sub))
      return ORVA_ERR_NOT_STRING;
   int64 start = 1;
   if (argc == 3 && !argv[2]->IsNull())
   {
      if (!argv[2]->IsInteger())
         return ORVA_ERR_NOT_INTEGER;
      start = ArgInt64(argv[2]);
   }
   uint64 from = start > 1 ? static_cast<uint64>(start - 1) : 0;
   // The search may compare the whole of sub at every position.
   if (ORVAWeighWork(static_cast<uint64>(text.size()) * (sub.size() + 1) / ORVA_WORK_BYTES_PER_UNIT, 0) == 0)
      return STOPPED;
   size_t found = from <= text.size() ? text.find(sub, static_cast<size_t>(from)) : Text::npos;
   *result = NewCount(found == Text::npos ? 0 : found + 1);
   return 0;
}

// replace(text, from, to): every occurrence of from, left to right and not
// overlapping.  An empty from leaves the text as it is.
int Replace(int, ORVA_Value **argv, ORVA_Value **result)
{
   Text text, from, to;
   if (!ArgText(argv[0], &text) || !ArgText(argv[1], &from) || !ArgText(argv[2], &to))
      return ORVA_ERR_NOT_STRING;
   if (from.empty())
   {
      *result = NewText(text);
      return 0;
   }

   // Measure first: a short text can ask for more than memory holds.
   WorkMeter meter;
   uint64 occurrences = 0;
   for (size_t at = text.find(from); at != Text::npos; at = text.find(from, at + from.size()))
   {
      occurrences++;
      if (!meter.Add(1))
         return STOPPED;
   }
   uint64 size = text.size() - occurrences * from.size() + occurrences * static_cast<uint64>(to.size());
   if (size > TEXT_LIMIT)
   {
      *result = new ORVA_Value();
      return 0;
   }

   Text replaced;
   replaced.reserve(static_cast<size_t>(size));
   size_t done = 0;
   for (size_t at = text.find(from); at != Text::npos; at = text.find(from, done))
   {
      if (!meter.Add(1 + (at - done + to.size()) / ORVA_WORK_BYTES_PER_UNIT))
         return STOPPED;
      replaced.append(text, done, at - done);
      replaced += to;
      done = at + from.size();
   }
   replaced.append(text, done, Text::npos);
   *result = NewText(replaced);
   return 0;
}

bool IsBlank(char c)
{
   return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// trim(text): without white space at either end.
int Trim(int, ORVA_Value **argv, ORVA_Value **result)
{
   Text text;
   if (!ArgText(argv[0], &text))
      return ORVA_ERR_NOT_STRING;
   size_t first = 0, last = text.size();
   while (first < last && IsBlank(text[first]))
      first++;
   while (last > first && IsBlank(text[last - 1]))
      last--;
   *result = NewText(text.data() + first, last - first);
   return 0;
}

// ord(text): the first byte as 0..255; NULL for the empty text.
int Ord(int, ORVA_Value **argv, ORVA_Value **result)
{
   Text text;
   if (!ArgText(argv[0], &text))
      return ORVA_ERR_NOT_STRING;
   if (text.empty())
      *result = new ORVA_Value();
   else
      *result = new ORVA_Value(static_cast<int32>(static_cast<unsigned char>(text[0])));
   return 0;
}

// chr(code): the one-byte text of code 0..255.
int Chr(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsInteger())
      return ORVA_ERR_NOT_INTEGER;
   int64 code = ArgInt64(argv[0]);
   if (code < 0 || code > 255)
      return ORVA_ERR_BAD_CONVERSION;
   char byte = static_cast<char>(code);
   *result = new ORVA_Value(&byte, 1);
   return 0;
}

}

const ORVA_ExtFunction g_textFunctions[] = {
   {"split", Guarded<Split>, 3},
   {"join", Guarded<Join>, 2},
   {"index", Guarded<Index>, -1},
   {"replace", Guarded<Replace>, 3},
   {"trim", Guarded<Trim>, 1},
   {"ord", Guarded<Ord>, 1},
   {"chr", Guarded<Chr>, 1},
   {"format", Guarded<Format>, -1},
};
const uint32 g_textFunctionCount = sizeof(g_textFunctions) / sizeof(g_textFunctions[0]);

}
