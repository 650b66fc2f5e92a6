#include "values/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

/* The blanks of the "C" locale. */
static inline bool IsBlank(char c)
{
   return c == ' ' || (c >= '\t' && c <= '\r');
}

static inline int DigitValue(char c)
{
   if (c >= '0' && c <= '9')
      return c - '0';
   if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
   if (c >= 'A' && c <= 'F')
      return c - 'A' + 10;
   return 99;
}

static const char *SkipBlanksAndSign(const char *p, const char *end, bool *negative)
{
   while (p < end && IsBlank(*p))
      p++;
   *negative = false;
   if (p < end && (*p == '+' || *p == '-'))
   {
      *negative = (*p == '-');
      p++;
   }
   return p;
}

bool ReadIntegerText(const char *text, size_t length, int64 *value)
{
   const char *end = text + length;
   bool negative;
   const char *p = SkipBlanksAndSign(text, end, &negative);
   int base = 10;
   if (p < end && *p == '0')
   {
      // "0x" counts as a prefix only before a hexadecimal digit; otherwise
      // the zero is an octal number of its own and the x ends it.
      if (end - p > 2 && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16)
      {
         base = 16;
         p += 2;
      }
      else
         base = 8;
   }
   const char *digits = p;
   uint64 magnitude = 0;
   bool overflow = false;
   for (; p < end; p++)
   {
      const int digit = DigitValue(*p);
      if (digit >= base)
         break;
      if (magnitude > (UINT64_MAX - static_cast<uint64>(digit)) / static_cast<uint64>(base))
         overflow = true;
      else
         magnitude = magnitude * static_cast<uint64>(base) + static_cast<uint64>(digit);
   }
   if (p == digits)
   {
      // Nothing converted: a parse that consumed nothing counts only for the empty text.
      *value = 0;
      return length == 0;
   }
   if (p != end)
      return false;
   if (negative)
      *value = (overflow || magnitude > static_cast<uint64>(INT64_MAX) + 1) ? INT64_MIN
                                                                         : static_cast<int64>(0 - magnitude);
   else
      *value = (overflow || magnitude > static_cast<uint64>(INT64_MAX)) ? INT64_MAX : static_cast<int64>(magnitude);
   return true;
}

/*
 * Whether a decimal text out of a double's range is too large rather than
 * too small: the power of ten of its first significant digit says so.
 */
static bool TooLarge(const char *p, const char *end)
{
   const char *mark = p;
   while (mark < end && *mark != 'e' && *mark != 'E')
      mark++;
   int64 power = 0;
   bool seenPoint = false;
   for (; p < mark; p++)
   {
      if (*p == '.')
         seenPoint = true;
      else if (*p != '0')
         break;   // the first significant digit
      else if (seenPoint)
         power--;
   }
   for (; !seenPoint && p < mark && *p != '.'; p++)
      power++;   // digits from the first significant one up to the point
   int64 exponent = 0;
   bool negativeExponent = false;
   for (p = mark; p < end; p++)
   {
      if (*p == '-')
         negativeExponent = true;
      else if (*p >= '0' && *p <= '9' && exponent < 1000000000000000LL)
         exponent = exponent * 10 + (*p - '0');
   }
   return power + (negativeExponent ? -exponent : exponent) > 0;
}

bool ReadRealText(const char *text, size_t length, double *value)
{
   const char *end = text + length;
   bool negative;
   const char *p = SkipBlanksAndSign(text, end, &negative);
   if (p == end || !((*p >= '0' && *p <= '9') || *p == '.'))
      return false;
   double d = 0.0;
   auto result = std::from_chars(p, end, d, std::chars_format::general);
   if (result.ptr != end || result.ec == std::errc::invalid_argument)
      return false;
   if (result.ec == std::errc::result_out_of_range)
      d = TooLarge(p, end) ? HUGE_VAL : 0.0;
   *value = negative ? -d : d;
   return true;
}

size_t FormatNumberText(const ORVA_Value *value, char *buffer)
{
   char *last = buffer + NUMBER_TEXT_SIZE - 1;
   std::to_chars_result result{buffer, std::errc()};
   switch (value->DataType())
   {
      case ORVA_DT_REAL:
         result = std::to_chars(buffer, last, value->GetValueAsReal(), std::chars_format::fixed, 6);
         break;
      case ORVA_DT_INT32:
         result = std::to_chars(buffer, last, value->GetValueAsInt32());
         break;
      case ORVA_DT_UINT32:
         result = std::to_chars(buffer, last, value->GetValueAsUInt32());
         break;
      case ORVA_DT_INT64:
         result = std::to_chars(buffer, last, value->GetValueAsInt64());
         break;
      case ORVA_DT_UINT64:
         result = std::to_chars(buffer, last, value->GetValueAsUInt64());
         break;
      default:
         break;
   }
   if (result.ec != std::errc())
      result.ptr = buffer;
   *result.ptr = 0;
   return static_cast<size_t>(result.ptr - buffer);
}
