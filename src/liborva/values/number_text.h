/*
 * Numbers read from text and written as text, the same under every locale:
 * a host that switches its process to a locale with a decimal comma still
 * gets 1.5 read as one and a half and printed as 1.500000.  The rules are
 * those of the C library's strtoll (base 0), strtod and printf in the "C"
 * locale, which is what scripts have always seen.
 *
 * The grammar of a number is one scan, which reads a text a piece at a
 * time: a text that grows by appending would otherwise be read again from
 * its first byte after every append, which makes a loop of appends
 * quadratic.  The scan keeps what the bytes read so far imply (how far the
 * number grammar got, where the first significant digit is, the decimal
 * power) so that an append reads only its own bytes, and the value is then
 * worked out from a bounded part of the text.  Whole texts are read by the
 * same scan.
 */
#ifndef ORVA_NUMBER_TEXT_H
#define ORVA_NUMBER_TEXT_H

#include "orva.h"

#include <cstddef>

struct NumberScan
{
   uint32 scanned;       // bytes of the text read so far
   uint8 phase;          // where in the number grammar those bytes end
   uint8 negative;       // a minus sign before the digits
   uint8 leadingZero;    // the digits start with 0: an octal integer
   uint8 octalBroken;    // ... that has an 8 or 9, so reads only as a real
   uint8 expNegative;
   uint8 nonzeroBeyond;  // a nonzero digit past the significant digits kept
   uint32 start;         // offset of the number after blanks and sign
   uint32 firstDigit;    // offset of the first significant digit
   uint32 digits;        // significant digits (from firstDigit, point skipped)
   int64 power;          // decimal power of the first significant digit, plus one
   int64 exponent;       // the exponent's magnitude, saturated
};

/* A scan that has read nothing yet. */
void NumberScanReset(NumberScan *scan);

/* Reads text[scan->scanned .. length) into the scan. */
void NumberScanFeed(NumberScan *scan, const char *text, uint32 length);

enum NumberReading
{
   READS_AS_TEXT,
   READS_AS_INTEGER,
   READS_AS_REAL
};

/*
 * What the whole text (length bytes) reads as, and the number: an integer
 * in *integer, a real in *real.  A text longer than NUMBER_SCAN_SHORT must
 * have been scanned to its end; a shorter one is read whole.
 */
NumberReading NumberScanRead(const NumberScan *scan, const char *text, uint32 length, int64 *integer, double *real);

/* Texts up to this length are read whole; they need no scan. */
const uint32 NUMBER_SCAN_SHORT = 64;

/* Room for the longest text a number formats to, with its terminator. */
const size_t NUMBER_TEXT_SIZE = 320;

/*
 * Reads the whole of length bytes as an integer, as strtoll with base 0
 * does: optional blanks, an optional sign, then decimal digits, "0x" and
 * hexadecimal digits, or a leading zero and octal digits.  Beyond the
 * signed 64-bit range the nearest limit.  The empty text reads as 0.
 * False when the text is anything else, an inner zero byte included.
 */
bool ReadIntegerText(const char *text, size_t length, int64 *value);

/*
 * Reads the whole of length bytes as a decimal real, as strtod does, but
 * without the words for infinity and "not a number" and without
 * hexadecimal reals: optional blanks and sign, digits with an optional
 * point, an optional exponent.  Beyond the range of a double: an infinity,
 * or zero.
 */
bool ReadRealText(const char *text, size_t length, double *value);

/*
 * Writes the text of a numeric value into buffer (NUMBER_TEXT_SIZE bytes)
 * and returns its length: a real with six decimals, "%f"; integers in
 * decimal.  Any other value writes the empty text.
 */
size_t FormatNumberText(const ORVA_Value *value, char *buffer);

#endif
