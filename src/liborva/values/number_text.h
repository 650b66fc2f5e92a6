/*
 * Numbers read from text and written as text, the same under every locale:
 * a host that switches its process to a locale with a decimal comma still
 * gets 1.5 read as one and a half and printed as 1.500000.  The rules are
 * those of the C library's strtoll (base 0), strtod and printf in the "C"
 * locale, which is what scripts have always seen.
 */
#ifndef ORVA_NUMBER_TEXT_H
#define ORVA_NUMBER_TEXT_H

#include "orva.h"

#include <cstddef>

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
