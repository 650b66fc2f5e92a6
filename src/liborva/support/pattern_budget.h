/*
 * A size budget for the regular expressions that scripts compile.
 *
 * The system's <regex.h> expands counted repetition into copies of what it
 * repeats ("x{3,5}" is three copies of x and two optional ones), so nested
 * counts multiply and every "+" doubles the expression before it.  It then
 * keeps, for each node, the set of nodes reachable without reading a
 * character, which grows with the square of a run of optional parts, and it
 * finds those sets, and parses parentheses, by recursion.  A pattern of a
 * few dozen bytes can thus ask for gigabytes and minutes, or overrun the
 * stack, before a single character is matched.  Script patterns are
 * therefore sized first, by the same expansion in summary form, and refused
 * when too big.
 */
#ifndef ORVA_PATTERN_BUDGET_H
#define ORVA_PATTERN_BUDGET_H

#include <regex.h>

/*
 * The most memory one compiled pattern may be estimated to take.  Ordinary
 * patterns stay far below it (an address, a date, a log line: well under a
 * megabyte); ".{0,1000}", an alternation of 1000 words and a literal of
 * 100,000 bytes take some 10 to 30 MB.
 */
const double PATTERN_BUDGET_BYTES = 64.0 * 1024 * 1024;

/*
 * Limits that keep the compiler's recursion within some 200 KB of stack:
 * the deepest nesting of parentheses (about 600 bytes a level) and the
 * longest path through nodes that read no character (about 120 bytes a
 * node), as in "(a?){500}" or "^.{0,1500}".
 */
const int PATTERN_MAX_NESTING = 100;
const double PATTERN_MAX_PATH = 1500;

/*
 * The estimated memory, in bytes, that compiling pattern in the extended
 * syntax would take.  Counting stops soon after the budget is passed, so
 * the result is then only known to be above it.  Infinite for a pattern
 * beyond one of the limits above or with counts the compiler refuses.
 */
double EstimatePatternBytes(const char *pattern);

/*
 * The work compiling pattern takes, in nodes and set entries (infinite
 * when beyond the limits), with its estimated bytes through bytes (may be
 * null): what a run is charged for a compile.
 */
double EstimatePatternWork(const char *pattern, double *bytes);

/*
 * regcomp for patterns that come from scripts: REG_ESPACE, with nothing
 * compiled, when the pattern is over the budget or one of the limits.
 */
int CompileScriptPattern(regex_t *expression, const char *pattern, int flags);

#endif
