/*
 * The frame of every error text the library hands out: "Error CODE in line
 * LINE: MESSAGE" for a run-time error, "Error in line LINE: MESSAGE" for a
 * compile error or a stopped run.  Hosts read these texts byte for byte,
 * so the frame is written here and nowhere else.
 */
#ifndef ORVA_ERROR_TEXT_H
#define ORVA_ERROR_TEXT_H

#include <cstddef>

// The longest error text kept, its terminator included; longer ones are cut.
const size_t ERROR_TEXT_SIZE = 1024;

/*
 * Writes the text into buffer (size bytes, cut to fit and always
 * terminated when size > 0) and returns where its message starts: the
 * length of the frame.  code is null for a text that names no code.
 */
size_t FormatErrorText(char *buffer, size_t size, const int *code, int line, const char *message);

// The text as a heap copy (released with free), cut at ERROR_TEXT_SIZE;
// null when memory is out.
char *ErrorTextCopy(const int *code, int line, const char *message);

#endif
