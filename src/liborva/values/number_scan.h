/*
 * Reading a text as a number a piece at a time.  A text that grows by
 * appending would otherwise be read again from its first byte after every
 * append, which makes a loop of appends quadratic.  The scan keeps what the
 * bytes read so far imply (how far the number grammar got, where the first
 * significant digit is, the decimal power) so that an append reads only its
 * own bytes, and the value is then worked out from a bounded part of the
 * text.  The results are those of ReadIntegerText and ReadRealText on the
 * whole text.
 */
#ifndef ORVA_NUMBER_SCAN_H
#define ORVA_NUMBER_SCAN_H

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
 * What the whole text (length bytes, all of them scanned) reads as, and
 * the number: an integer in *integer, a real in *real.
 */
NumberReading NumberScanRead(const NumberScan *scan, const char *text, uint32 length, int64 *integer, double *real);

/* Texts up to this length are read whole; they need no scan. */
const uint32 NUMBER_SCAN_SHORT = 64;

#endif
