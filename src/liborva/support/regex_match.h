/*
 * Matching a script's regular expression, asking the system's matcher for
 * the groups only when they are wanted.  Finding whether a subject matches
 * costs the matcher a fraction of what filling in the groups does, so a
 * subject is first tested without groups and only a match pays for them.
 * Where nearly every subject matches, that test is pure overhead, so each
 * expression keeps a short history and goes straight for the groups then.
 */
#ifndef ORVA_REGEX_MATCH_H
#define ORVA_REGEX_MATCH_H

#include "support/regex_program.h"

#include <regex.h>

#include <cstddef>

struct ORVA_MatchHistory
{
   unsigned tests = 0;
   unsigned matches = 0;
};

/*
 * regexec(expression, subject, records, matches, 0), the same result and
 * the same records; history (may be null) is the expression's own.
 */
int MatchExpression(const regex_t *expression, const char *subject, size_t records, regmatch_t *matches,
                     ORVA_MatchHistory *history);

/*
 * The same, by the engine's own matcher when the expression has a program
 * for it (fast, may be null) and the subject is not one that would keep it
 * longer than the system's matcher.
 */
int MatchExpression(const regex_t *expression, const ORVA_RegexProgram *fast, const char *subject, size_t records,
                    regmatch_t *matches, ORVA_MatchHistory *history);

#endif
