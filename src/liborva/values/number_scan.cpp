#include "values/number_scan.h"
#include "values/number_text.h"

#include <charconv>
#include <cmath>
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
               phase = SIGN;
            }
            else if (c == '0')
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

NumberReading NumberScanRead(const NumberScan *scan, const char *text, uint32 length, int64 *integer, double *real)
{
   if (length <= NUMBER_SCAN_SHORT)
   {
      if (ReadIntegerText(text, length, integer))
         return READS_AS_INTEGER;
      return ReadRealText(text, length, real) ? READS_AS_REAL : READS_AS_TEXT;
   }

   const uint8 phase = scan->phase;
   const bool isInteger = phase == ZERO || phase == HEX || (phase == DIGITS && !(scan->leadingZero && scan->octalBroken));
   if (isInteger)
   {
      // Past 40 significant digits every base overflows 64 bits, so those
      // stand for the whole.
      char reduced[64];
      size_t n = 0;
      if (scan->negative)
         reduced[n++] = '-';
      if (phase == HEX)
      {
         reduced[n++] = '0';
         reduced[n++] = 'x';
      }
      else if (scan->leadingZero)
         reduced[n++] = '0';
      const size_t start = n;
      n += CopyDigits(scan, text, length, (scan->digits > 0) ? 40 : 0, reduced + n);
      if (n == start)
         reduced[n++] = '0';
      return ReadIntegerText(reduced, n, integer) ? READS_AS_INTEGER : READS_AS_TEXT;
   }
   if (phase != DIGITS && phase != FRACTION && phase != EXP_DIGITS)
      return READS_AS_TEXT;

   // The value is 0.<digits> times ten to the power below.
   const int64 power = scan->power + (scan->expNegative ? -scan->exponent : scan->exponent);
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
      if (!ReadRealText(reduced, n, &d))
         return READS_AS_TEXT;
   }
   *real = scan->negative ? -d : d;
   return READS_AS_REAL;
}
