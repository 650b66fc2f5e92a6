/*
 * Helpers shared by the compiler tests: running the scanner alone, parsing
 * into a program without the jump optimiser, and reading listings.
 */
#ifndef ORVA_COMPILER_TEST_UTIL_H
#define ORVA_COMPILER_TEST_UTIL_H

#include "orva.h"
#include "compiler/compiler.h"

#include <string>
#include <vector>

struct ScannedText
{
   std::string tokens;   // "NAME(value)@line" separated by blanks
   std::string error;    // the compile's error text, empty when none
   uint64 carriedBytes = 0;   // bytes scanned again after buffer refills
};

// Scans text to its end; allocLimit caps the scanner's buffers (0: none).
ScannedText ScanText(const std::string &text, bool withLines = false, size_t allocLimit = 0);

// The compile error of text, or "" when it compiles.
std::string CompileError(const std::string &text);

// Listing of text after parsing and resolving calls, not optimised.  Each
// line without its address and with runs of blanks squeezed:
// "PUSH a; PUSH b; ADD; RET".
std::string Ops(const std::string &text);

// The same listing, one line per instruction, addresses kept, trailing
// blanks dropped.
std::string Listing(const std::string &text);

// The listing that Dump writes for program, as it is.
std::string DumpText(ORVA_Program *program);

// Source line of every instruction of the parsed text.
std::vector<int> SourceLines(const std::string &text);

#endif
