/*
 * The engine's own matcher: runs a compiled program over a subject and
 * answers as the system's regexec does, the leftmost match and of those the
 * longest, with the groups of its one reading.
 */
#ifndef ORVA_SUPPORT_REGEX_RUN_H
#define ORVA_SUPPORT_REGEX_RUN_H

#include "support/regex_program.h"

#include <regex.h>

#include <cstddef>

enum ORVA_RegexRunResult
{
   REGEX_RUN_NO_MATCH = 0,
   REGEX_RUN_MATCH = 1,
   REGEX_RUN_TOO_LONG = -1,   // it would take more steps than the system's matcher: ask it instead
};

/*
 * Matches the text up to subject's terminating zero against program,
 * filling records of matches (the whole match, then each group, -1 where
 * none) as regexec(..., records, matches, 0) would.
 */
ORVA_RegexRunResult RunRegexProgram(const ORVA_RegexProgram &program, const char *subject, size_t records,
                                    regmatch_t *matches);

#endif
