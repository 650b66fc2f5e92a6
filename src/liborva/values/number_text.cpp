/*
 * The one reader of numbers in text.  The grammar is the scan; the value of
 * a text the scan accepted is worked out from its digits: an integer from
 * at most the digits that decide it, a real by the C++ library's correctly
 * rounded conversion.
 */
#include "values/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

/* Where in the number grammar the bytes read so far end. */
enum Phase : uint8
{
   LEAD,          // blanks only (or nothing)
   SIGN,          // blanks and a sign
   ZERO,          // a lone leading 0
   ZERO_X,        // "0x": a hexadecimal digit must follow
   HEX,           // "0x" and hexadecimal digits
   DIGITS,        // digits, no point
   POINT_START,   // a point with no digit before it: a digit must follow
   FRACTION,      // digits with a point
   EXP_MARK,      // after 'e'
   EXP_SIGN,      // after 'e' and a sign
   EXP_DIGITS,    // exponent digits
   DEAD           // no continuation makes this a number
};

/*
 * Significant digits that decide a double: correct rounding never needs
 * more than 768 of them, and whether any nonzero digit follows.
 */
static const uint32 KEPT_DIGITS = 800;
static const int64 EXPONENT_CAP = 1000000000000000LL;

/* The blanks of the "C" locale. */
static inline bool IsBlank(char c)
{
   return c == ' ' || (c >= '\t' && c <= '\r');
}

static inline bool IsDigit(char c)
{
   return c >= '0' && c <= '9';
}

static inline bool IsHexDigit(char c)
{
   return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

void NumberScanReset(NumberScan *scan)
{
   memset(scan, 0, sizeof(*scan));
   scan->phase = LEAD;
}

/* A mantissa digit at offset at; afterPoint tells which side of the point. */
static void TakeDigit(NumberScan *scan, char c, uint32 at, bool afterPoint)
{
   if (scan->digits == 0)
   {
      if (c == '0')
      {
         if (afterPoint)
            scan->power--;
         return;
      }
      scan->firstDigit = at;
   }
   else if (scan->digits >= KEPT_DIGITS && c != '0')
      scan->nonzeroBeyond = 1;
   if (scan->digits < UINT32_MAX)
      scan->digits++;
   if (!afterPoint)
      scan->power++;
}

void NumberScanFeed(NumberScan *scan, const char *text, uint32 length)
{
   uint8 phase = scan->phase;
   uint32 at = scan->scanned;
   for (; at < length && phase != DEAD; at++)
   {
      const char c = text[at];
      switch (phase)
      {
         case LEAD:
         case SIGN:
            if (phase == LEAD && IsBlank(c))
               break;
            if (phase == LEAD && (c == '+' || c == '-'))
            {
               scan->negative = (c == '-');
               scan->start = at + 1;
               phase = SIGN;
               break;
            }
            if (phase == LEAD)
               scan->start = at;
            if (c == '0')
            {
               scan->leadingZero = 1;
               phase = ZERO;
            }
            else if (IsDigit(c))
            {
               TakeDigit(scan, c, at, false);
               phase = DIGITS;
            }
            else
               phase = (c == '.') ? POINT_START : DEAD;
            break;
         case ZERO:
            if (c == 'x' || c == 'X')
            {
               phase = ZERO_X;
               break;
            }
            phase = DIGITS;   // the zero was the first of the digits
            [[fallthrough]];
         case DIGITS:
            if (IsDigit(c))
            {
               if (c >= '8')
                  scan->octalBroken = 1;
               TakeDigit(scan, c, at, false);
            }
            else if (c == '.')
               phase = FRACTION;
            else if (c == 'e' || c == 'E')
               phase = EXP_MARK;
            else
               phase = DEAD;
            break;
         case ZERO_X:
         case HEX:
            if (IsHexDigit(c))
            {
               // Hexadecimal digits are counted like decimal ones; only
               // their number and start matter.
               TakeDigit(scan, (c == '0') ? '0' : '1', at, false);
               phase = HEX;
            }
            else
               phase = DEAD;
            break;
         case POINT_START:
         case FRACTION:
            if (IsDigit(c))
            {
               TakeDigit(scan, c, at, true);
               phase = FRACTION;
            }
            else if (phase == FRACTION && (c == 'e' || c == 'E'))
               phase = EXP_MARK;
            else
               phase = DEAD;
            break;
         case EXP_MARK:
            if (c == '+' || c == '-')
            {
               scan->expNegative = (c == '-');
               phase = EXP_SIGN;
               break;
            }
            [[fallthrough]];
         case EXP_SIGN:
         case EXP_DIGITS:
            if (IsDigit(c))
            {
               if (scan->exponent < EXPONENT_CAP)
                  scan->exponent = scan->exponent * 10 + (c - '0');
               phase = EXP_DIGITS;
            }
            else
               phase = DEAD;
            break;
      }
   }
   scan->phase = phase;
   scan->scanned = length;
}

static inline int DigitValue(char c)
{
   if (c >= '0' && c <= '9')
      return c - '0';
   if (c >= 'a' && c <= 'f')
      return c - 'a' + 10;
   return c - 'A' + 10;
}

/* The scanned text is an integer: decimal, hexadecimal or octal digits to its end. */
static bool IsInteger(const NumberScan *scan, uint32 length)
{
   const uint8 phase = scan->phase;
   return phase == ZERO || phase == HEX || (phase == DIGITS && !(scan->leadingZero && scan->octalBroken)) ||
          (phase == LEAD && length == 0);
}

/* The scanned text is a decimal real (integers in decimal or octal digits are also one). */
static bool IsReal(const NumberScan *scan)
{
   const uint8 phase = scan->phase;
   return phase == ZERO || phase == DIGITS || phase == FRACTION || phase == EXP_DIGITS;
}

/* An integer's value; beyond the signed 64-bit range the nearest limit. */
static int64 IntegerValue(const NumberScan *scan, const char *text, uint32 length)
{
   const uint64 base = (scan->phase == HEX) ? 16 : scan->leadingZero ? 8 : 10;
   uint64 magnitude = 0;
   bool overflow = false;
   // Reading stops at the first digit that overflows, so that a long text
   // costs no more than a short one.
   for (uint32 at = scan->firstDigit; scan->digits > 0 && at < length && !overflow; at++)
   {
      const uint64 digit = static_cast<uint64>(DigitValue(text[at]));
      if (magnitude > (UINT64_MAX - digit) / base)
         overflow = true;
      else
         magnitude = magnitude * base + digit;
   }
   if (scan->negative)
      return (overflow || magnitude > static_cast<uint64>(INT64_MAX) + 1) ? INT64_MIN
                                                                          : static_cast<int64>(0 - magnitude);
   return (overflow || magnitude > static_cast<uint64>(INT64_MAX)) ? INT64_MAX : static_cast<int64>(magnitude);
}

/*
 * The double nearest to a decimal real written from begin to end (no sign).
 * Beyond the range of a double: an infinity when the power of ten of the
 * first significant digit is above zero, else zero.
 */
static bool ConvertReal(const char *begin, const char *end, int64 power, double *real)
{
   auto result = std::from_chars(begin, end, *real, std::chars_format::general);
   if (result.ptr != end || result.ec == std::errc::invalid_argument)
      return false;
   if (result.ec == std::errc::result_out_of_range)
      *real = (power > 0) ? HUGE_VAL : 0.0;
   return true;
}

static int64 PowerOf(const NumberScan *scan)
{
   return scan->power + (scan->expNegative ? -scan->exponent : scan->exponent);
}

/* A real's value, read from the whole text. */
static bool RealValue(const NumberScan *scan, const char *text, uint32 length, double *real)
{
   double d;
   if (!ConvertReal(text + scan->start, text + length, PowerOf(scan), &d))
      return false;
   *real = scan->negative ? -d : d;
   return true;
}

/* Copies up to limit significant digits (skipping the point) into out. */
static size_t CopyDigits(const NumberScan *scan, const char *text, uint32 length, uint32 limit, char *out)
{
   size_t n = 0;
   for (uint32 at = scan->firstDigit; at < length && n < limit; at++)
   {
      const char c = text[at];
      if (c == '.')
         continue;
      if (!IsHexDigit(c) || (scan->phase != HEX && (c == 'e' || c == 'E')))
         break;
      out[n++] = c;
   }
   return n;
}

/* A real's value, read from no more of the text than the digits that decide it. */
static bool RealValueOfDigits(const NumberScan *scan, const char *text, uint32 length, double *real)
{
   // The value is 0.<digits> times ten to the power below.
   const int64 power = PowerOf(scan);
   double d;
   if (scan->digits == 0 || power < -330)
      d = 0.0;   // below half the smallest double
   else if (power > 310)
      d = HUGE_VAL;   // above the largest
   else
   {
      char reduced[KEPT_DIGITS + 32];
      size_t n = 0;
      reduced[n++] = '0';
      reduced[n++] = '.';
      n += CopyDigits(scan, text, length, KEPT_DIGITS, reduced + n);
      if (scan->nonzeroBeyond)
         reduced[n++] = '1';
      reduced[n++] = 'e';
      n = static_cast<size_t>(std::to_chars(reduced + n, reduced + sizeof(reduced), power).ptr - reduced);
      if (!ConvertReal(reduced, reduced + n, power, &d))
         return false;
   }
   *real = scan->negative ? -d : d;
   return true;
}

NumberReading NumberScanRead(const NumberScan *scan, const char *text, uint32 length, int64 *integer, double *real)
{
   NumberScan whole;
   if (length <= NUMBER_SCAN_SHORT)
   {
      NumberScanReset(&whole);
      NumberScanFeed(&whole, text, length);
      scan = &whole;
   }
   if (IsInteger(scan, length))
   {
      *integer = IntegerValue(scan, text, length);
      return READS_AS_INTEGER;
   }
   if (!IsReal(scan))
      return READS_AS_TEXT;
   const bool read = (length <= NUMBER_SCAN_SHORT) ? RealValue(scan, text, length, real)
                                                   : RealValueOfDigits(scan, text, length, real);
   return read ? READS_AS_REAL : READS_AS_TEXT;
}

/* A scan of the whole text; false when it is too long to be a value's. */
static bool ScanWhole(const char *text, size_t length, NumberScan *scan)
{
   if (length > UINT32_MAX)
      return false;
   NumberScanReset(scan);
   NumberScanFeed(scan, text, static_cast<uint32>(length));
   return true;
}

bool ReadIntegerText(const char *text, size_t length, int64 *value)
{
   NumberScan scan;
   if (!ScanWhole(text, length, &scan) || !IsInteger(&scan, static_cast<uint32>(length)))
      return false;
   *value = IntegerValue(&scan, text, static_cast<uint32>(length));
   return true;
}

bool ReadRealText(const char *text, size_t length, double *value)
{
   NumberScan scan;
   return ScanWhole(text, length, &scan) && IsReal(&scan) && RealValue(&scan, text, static_cast<uint32>(length), value);
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
