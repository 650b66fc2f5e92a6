/*
 * libFuzzer target for the value text rules: reading numbers from text,
 * formatting them back, conversions, the numeric getters, appending text and
 * comparisons, all through the public ORVA_Value interface.  Each result is
 * checked against an independent statement of the rules (the C library's
 * strtoll, strtod and printf in the "C" locale, and the conversion tables),
 * and a broken rule aborts with the text that broke it.
 *
 * Input: the first line is one text, the rest another; their first bytes
 * also serve as the bits of the numbers that are formatted and converted.
 */
#include "orva.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace
{
const char *g_input = "";

[[noreturn]] void Broken(const char *rule, int line, const std::string &detail)
{
   fprintf(stderr, "value rule broken (fuzz_values.cpp:%d): %s\n  %s\n  input text: \"%s\"\n", line, rule,
           detail.c_str(), g_input);
   abort();
}

#define CHECK(rule, detail) ((rule) ? (void)0 : Broken(#rule, __LINE__, (detail)))

std::string Show(const std::string &text)
{
   std::string shown;
   for (unsigned char c : text)
   {
      char hex[8];
      if (c >= 32 && c < 127 && c != '\\')
         shown += static_cast<char>(c);
      else
      {
         snprintf(hex, sizeof(hex), "\\x%02X", c);
         shown += hex;
      }
   }
   return shown;
}

std::string TextOf(ORVA_Value *value)
{
   uint32 length = 0;
   const char *text = value->GetValueAsString(&length);
   return text != nullptr ? std::string(text, length) : std::string();
}

/* What a text reads as, by the C library: an integer wholly read by strtoll
   (base 0), else a decimal real wholly read by strtod, else no number. */
struct Reading
{
   int type;   // ORVA_DT_INT32, ORVA_DT_INT64, ORVA_DT_REAL or ORVA_DT_STRING
   int64 integer;
   double real;
};

Reading Read(const std::string &text)
{
   Reading reading = {ORVA_DT_STRING, 0, 0.0};
   if (text.find('\0') != std::string::npos)
      return reading;
   const char *start = text.c_str();
   const char *whole = start + text.size();
   char *end = nullptr;
   errno = 0;
   const long long n = strtoll(start, &end, 0);
   if (end == whole)
   {
      reading.type = (n >= INT32_MIN && n <= INT32_MAX) ? ORVA_DT_INT32 : ORVA_DT_INT64;
      reading.integer = n;
      return reading;
   }
   // Only decimal reals: no hexadecimal ones, no words for infinity or NaN.
   const char *p = start;
   while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
      p++;
   if (*p == '+' || *p == '-')
      p++;
   if (!((*p >= '0' && *p <= '9') || *p == '.') || (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')))
      return reading;
   const double d = strtod(start, &end);
   if (end == whole)
   {
      reading.type = ORVA_DT_REAL;
      reading.real = d;
   }
   return reading;
}

bool SameReal(double a, double b)
{
   return memcmp(&a, &b, sizeof(a)) == 0 || (std::isnan(a) && std::isnan(b));
}

/* A real truncated toward zero to 64 bits; beyond the range, and NaN, the
   pattern with only the top bit set. */
int64 Truncated(double d)
{
   if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
      return INT64_MIN;
   return static_cast<int64>(d);
}

/* The number of a value by the conversion table: its 64 bits as an int64
   or uint64 would hold them, and as a real. */
struct Number
{
   uint64 bits;
   double real;
};

Number NumberOf(int type, const ORVA_Value *value)
{
   switch (type)
   {
      case ORVA_DT_REAL:
         return {static_cast<uint64>(Truncated(value->GetValueAsReal())), value->GetValueAsReal()};
      case ORVA_DT_INT32:
         return {static_cast<uint64>(static_cast<int64>(value->GetValueAsInt32())),
                 static_cast<double>(value->GetValueAsInt32())};
      case ORVA_DT_UINT32:
         return {value->GetValueAsUInt32(), static_cast<double>(value->GetValueAsUInt32())};
      case ORVA_DT_INT64:
         return {static_cast<uint64>(value->GetValueAsInt64()), static_cast<double>(value->GetValueAsInt64())};
      case ORVA_DT_UINT64:
         // As a real, a uint64 is read as a signed 64-bit integer.
         return {value->GetValueAsUInt64(), static_cast<double>(static_cast<int64>(value->GetValueAsUInt64()))};
      default:
         return {0, 0.0};
   }
}

/* The getters agree with the table for a value whose number is known. */
void CheckGetters(ORVA_Value *value, const Number &number, const std::string &what)
{
   CHECK(value->GetValueAsInt64() == static_cast<int64>(number.bits), what);
   CHECK(value->GetValueAsUInt64() == number.bits, what);
   CHECK(value->GetValueAsInt32() == static_cast<int32>(static_cast<uint32>(number.bits)), what);
   CHECK(value->GetValueAsUInt32() == static_cast<uint32>(number.bits), what);
   CHECK(SameReal(value->GetValueAsReal(), number.real), what);
}

std::string Formatted(int type, ORVA_Value *value)
{
   char text[400];
   switch (type)
   {
      case ORVA_DT_REAL:
         snprintf(text, sizeof(text), "%f", value->GetValueAsReal());
         break;
      case ORVA_DT_INT32:
         snprintf(text, sizeof(text), "%d", value->GetValueAsInt32());
         break;
      case ORVA_DT_UINT32:
         snprintf(text, sizeof(text), "%u", value->GetValueAsUInt32());
         break;
      case ORVA_DT_INT64:
         snprintf(text, sizeof(text), "%" PRId64, value->GetValueAsInt64());
         break;
      case ORVA_DT_UINT64:
         snprintf(text, sizeof(text), "%" PRIu64, value->GetValueAsUInt64());
         break;
      default:
         text[0] = 0;
   }
   return text;
}

/* A value made from text holds that text and the number it reads as. */
void CheckReading(const std::string &text)
{
   std::unique_ptr<ORVA_Value> value(new ORVA_Value(text.data(), static_cast<uint32>(text.size())));
   const std::string what = "text \"" + Show(text) + "\"";
   const Reading expected = Read(text);
   CHECK(value->DataType() == expected.type, what + " gave type " + g_orvaTypeNames[value->DataType()]);
   if (expected.type == ORVA_DT_REAL)
      CHECK(SameReal(value->GetValueAsReal(), expected.real), what);
   else if (expected.type != ORVA_DT_STRING)
      CHECK(value->GetValueAsInt64() == expected.integer, what);
   CHECK(TextOf(value.get()) == text, what);

   // The text up to a zero byte makes the same value from the plain constructor.
   const std::string untilZero = text.substr(0, text.find('\0'));
   std::unique_ptr<ORVA_Value> plain(new ORVA_Value(untilZero.c_str()));
   CHECK(plain->DataType() == Read(untilZero).type, what);
   CHECK(TextOf(plain.get()) == untilZero, what);

   // A copy holds the same text, type and number.
   std::unique_ptr<ORVA_Value> copy(new ORVA_Value(value.get()));
   CHECK(copy->DataType() == value->DataType(), what);
   CHECK(copy->GetValueAsUInt64() == value->GetValueAsUInt64(), what);
   CHECK(TextOf(copy.get()) == text, what);
}

/*
 * A number written as text and read back: integers come back as the same
 * number (as int32 when they fit, else int64, the largest int64 for a larger
 * uint64); a finite real comes back as what its "%f" text reads as.
 */
void CheckFormatting(ORVA_Value *value)
{
   const int type = value->DataType();
   const std::string text = TextOf(value);
   const std::string what = std::string(g_orvaTypeNames[type]) + " formatted as \"" + Show(text) + "\"";
   CHECK(text == Formatted(type, value), what);
   std::unique_ptr<ORVA_Value> back(new ORVA_Value(text.c_str()));
   if (type == ORVA_DT_REAL)
   {
      const double d = value->GetValueAsReal();
      if (std::isfinite(d))
      {
         CHECK(back->DataType() == ORVA_DT_REAL, what);
         CHECK(SameReal(back->GetValueAsReal(), strtod(text.c_str(), nullptr)), what);
      }
      else
         CHECK(back->DataType() == ORVA_DT_STRING, what);
      return;
   }
   int64 expected = value->GetValueAsInt64();
   if (type == ORVA_DT_UINT32)
      expected = static_cast<int64>(value->GetValueAsUInt32());
   else if (type == ORVA_DT_UINT64 && value->GetValueAsUInt64() > static_cast<uint64>(INT64_MAX))
      expected = INT64_MAX;
   CHECK(back->DataType() == ((expected >= INT32_MIN && expected <= INT32_MAX) ? ORVA_DT_INT32 : ORVA_DT_INT64), what);
   CHECK(back->GetValueAsInt64() == expected, what);
}

/* Convert to every type, on copies, against the table. */
void CheckConversions(ORVA_Value *value)
{
   const int from = value->DataType();
   const std::string text = TextOf(value);
   const Number number = NumberOf(from, value);
   CheckGetters(value, number, std::string("getters of a ") + g_orvaTypeNames[from]);
   for (int to = ORVA_DT_NULL; to <= ORVA_DT_UINT64 + 1; to++)
   {
      std::unique_ptr<ORVA_Value> copy(new ORVA_Value(value));
      const std::string what =
         std::string(g_orvaTypeNames[from]) + " \"" + Show(text) + "\" converted to type " + std::to_string(to);
      const int done = copy->Convert(to);
      if (to == from)
      {
         CHECK(done == 1, what);
         CHECK(copy->DataType() == from && TextOf(copy.get()) == text, what);
         continue;
      }
      if (to < ORVA_DT_REAL || to > ORVA_DT_UINT64 || (to == ORVA_DT_REAL && from == ORVA_DT_UINT64))
      {
         CHECK(done == 0, what);
         CHECK(copy->DataType() == from && TextOf(copy.get()) == text, what);
         continue;
      }
      CHECK(done == 1 && copy->DataType() == to, what);
      if (to == ORVA_DT_REAL)
      {
         CHECK(SameReal(copy->GetValueAsReal(), number.real), what);
      }
      else
      {
         uint64 bits = number.bits;
         if (to == ORVA_DT_INT32 || to == ORVA_DT_UINT32)
            bits = (to == ORVA_DT_INT32) ? static_cast<uint64>(static_cast<int64>(static_cast<int32>(bits)))
                                         : static_cast<uint32>(bits);
         CheckGetters(copy.get(), NumberOf(to, copy.get()), what);
         CHECK(copy->GetValueAsUInt64() == bits, what);
      }
      // The old text is gone: the new number is formatted afresh.
      CheckFormatting(copy.get());
   }
}

/* Appending gives the joined text, read afresh as a number. */
void CheckConcatenation(ORVA_Value *value, const std::string &tail)
{
   const std::string joined = TextOf(value) + tail;
   const std::string what = "\"" + Show(TextOf(value)) + "\" . \"" + Show(tail) + "\"";
   value->Concatenate(tail.data(), static_cast<uint32>(tail.size()));
   CHECK(TextOf(value) == joined, what);
   const Reading expected = Read(joined);
   CHECK(value->DataType() == expected.type, what);
   std::unique_ptr<ORVA_Value> fresh(new ORVA_Value(joined.data(), static_cast<uint32>(joined.size())));
   CHECK(value->GetValueAsUInt64() == fresh->GetValueAsUInt64(), what);
   CHECK(SameReal(value->GetValueAsReal(), fresh->GetValueAsReal()), what);
}

/* Comparisons of two values of one numeric type agree with each other and
   with the numbers. */
void CheckComparisons(ORVA_Value *a, ORVA_Value *b, int type)
{
   std::unique_ptr<ORVA_Value> left(new ORVA_Value(a));
   std::unique_ptr<ORVA_Value> right(new ORVA_Value(b));
   if (!left->Convert(type) || !right->Convert(type))
      return;
   const std::string what = "comparing \"" + Show(TextOf(left.get())) + "\" with \"" +
                            Show(TextOf(right.get())) + "\" as " + g_orvaTypeNames[type];
   int less, equal;
   switch (type)
   {
      case ORVA_DT_REAL:
         less = left->GetValueAsReal() < right->GetValueAsReal();
         equal = left->GetValueAsReal() == right->GetValueAsReal();
         break;
      case ORVA_DT_INT32:
         less = left->GetValueAsInt32() < right->GetValueAsInt32();
         equal = left->GetValueAsInt32() == right->GetValueAsInt32();
         break;
      case ORVA_DT_UINT32:
         less = left->GetValueAsUInt32() < right->GetValueAsUInt32();
         equal = left->GetValueAsUInt32() == right->GetValueAsUInt32();
         break;
      case ORVA_DT_INT64:
         less = left->GetValueAsInt64() < right->GetValueAsInt64();
         equal = left->GetValueAsInt64() == right->GetValueAsInt64();
         break;
      default:
         less = left->GetValueAsUInt64() < right->GetValueAsUInt64();
         equal = left->GetValueAsUInt64() == right->GetValueAsUInt64();
         break;
   }
   CHECK(left->LT(right.get()) == less, what);
   CHECK(left->EQ(right.get()) == equal, what);
   CHECK(left->LE(right.get()) == (less || equal), what);
   CHECK(right->GT(left.get()) == less, what);
   CHECK(right->GE(left.get()) == (less || equal), what);
   CHECK(left->IsZero() == !left->IsNonZero(), what);
}

/* Values of every numeric type whose bits come from text. */
void NumbersFrom(const std::string &text, std::unique_ptr<ORVA_Value> numbers[5])
{
   uint64 bits = 0;
   memcpy(&bits, text.data(), std::min(text.size(), sizeof(bits)));
   double real;
   memcpy(&real, &bits, sizeof(real));
   numbers[0].reset(new ORVA_Value(real));
   numbers[1].reset(new ORVA_Value(static_cast<int32>(bits)));
   numbers[2].reset(new ORVA_Value(static_cast<int64>(bits)));
   numbers[3].reset(new ORVA_Value(static_cast<uint32>(bits)));
   numbers[4].reset(new ORVA_Value(static_cast<uint64>(bits)));
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
   if (size > 4096)
      return 0;
   const std::string input(reinterpret_cast<const char *>(data), size);
   const size_t line = input.find('\n');
   const std::string first = input.substr(0, line);
   const std::string second = (line == std::string::npos) ? std::string() : input.substr(line + 1);
   const std::string shown = Show(input);
   g_input = shown.c_str();

   CheckReading(first);
   CheckReading(second);

   std::unique_ptr<ORVA_Value> numbers[5];
   NumbersFrom(second, numbers);
   for (auto &number : numbers)
   {
      CheckFormatting(number.get());
      CheckConversions(number.get());
   }
   std::unique_ptr<ORVA_Value> fromText(new ORVA_Value(first.data(), static_cast<uint32>(first.size())));
   std::unique_ptr<ORVA_Value> other(new ORVA_Value(second.data(), static_cast<uint32>(second.size())));
   CheckConversions(fromText.get());
   std::unique_ptr<ORVA_Value> null(new ORVA_Value());
   CheckConversions(null.get());
   for (int type = ORVA_DT_REAL; type <= ORVA_DT_UINT64; type++)
   {
      CheckComparisons(fromText.get(), other.get(), type);
      CheckComparisons(numbers[type - ORVA_DT_REAL].get(), fromText.get(), type);
   }
   CheckConcatenation(fromText.get(), second);
   CheckConcatenation(numbers[static_cast<unsigned char>(first.empty() ? 0 : first[0]) % 5].get(), first);
   return 0;
}
