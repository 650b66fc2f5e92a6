/*
 * What matching a script's regular expression can cost the system's
 * matcher, told from the pattern alone.
 *
 * Without back-references the matcher builds a DFA lazily: each new
 * combination of pattern positions that a subject reaches becomes a state,
 * with a transition table, kept in the compiled expression for later
 * matches.  A state costs some kilobytes and tens of microseconds to make,
 * and a pattern that can be at many positions at once ("[ab]*a[ab]{18}c")
 * has exponentially many of them.  The matcher also tries every start in
 * the subject in turn, each scanning on as far as the pattern can reach, so
 * an unbounded repetition makes a failed search quadratic in the subject.
 * The figures below bound both, coarsely, so that a run can weigh a match
 * before it starts: nothing interrupts it once it has.
 */
#ifndef ORVA_REGEX_COST_H
#define ORVA_REGEX_COST_H

#include <cstdint>

struct ORVA_RegexShape
{
   double positions = 0;      // character positions of the compiled pattern, counts expanded
   double states = 0;         // most DFA states one start can reach, contexts included
   bool unbounded = false;    // a *, + or {n,}: a scan from one start may run to the end
   bool anchored = false;     // every match starts at the beginning: one start is tried
   bool backReference = false;
   int firstByte = -1;        // the byte every match starts with, when there is one: only there a start is tried
};

/* The shape of pattern in the extended syntax. */
ORVA_RegexShape MeasureRegex(const char *pattern);

/* Bytes one DFA state of the pattern takes, as measured on the system's matcher. */
double RegexStateBytes(const ORVA_RegexShape &shape);

/*
 * The starts the matcher tries in subject (length bytes): every byte, or
 * only those where a match can begin; ignoreCase as the match is made.
 */
double RegexStarts(const ORVA_RegexShape &shape, const char *subject, uint64_t length, bool ignoreCase);

/* The most steps (a byte read at one start) a match from starts starts takes. */
double RegexSteps(const ORVA_RegexShape &shape, double starts, uint64_t length);

/* Units of the instruction budget it takes to make one new DFA state. */
double RegexStateUnits(const ORVA_RegexShape &shape);

#endif
