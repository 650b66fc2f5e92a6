/*
 * A pattern in the extended syntax compiled for the engine's own matcher,
 * when it can be: a one-pass automaton over the pattern's character
 * positions whose edges carry the group boundaries they cross.
 *
 * The system's matcher spends most of a match with groups working out
 * which of the ways the subject could have been read is the one to report.
 * For a pattern where every byte leads from every position to at most one
 * next position, and each such step crosses the group boundaries one way
 * only, there is only one way to read any subject: the groups follow from
 * the span matched, and a single walk finds them.  Such patterns are most
 * of what scripts write ("user=([a-z]+)[0-9]* action=login").
 *
 * The reading is strict: a pattern is taken only when every piece of it is
 * read here exactly as the system's compiler reads it in a single-byte
 * locale; anything else (back-references, word operators, collating
 * elements, repetitions of what may take no byte, ambiguous patterns, huge
 * counts) is left to the system's matcher.
 */
#ifndef ORVA_SUPPORT_REGEX_PROGRAM_H
#define ORVA_SUPPORT_REGEX_PROGRAM_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

/* Most character positions a compiled program holds, counts expanded. */
const size_t REGEX_PROGRAM_MAX_POSITIONS = 256;

/* The two start states; positions follow them. */
const int REGEX_START_AT_BEGIN = 0;   // a match tried at the subject's first byte, where "^" holds
const int REGEX_START_INSIDE = 1;     // a match tried anywhere later

enum ORVA_RegexAccept : uint8_t
{
   REGEX_ACCEPT_NEVER = 0,
   REGEX_ACCEPT_ALWAYS = 1,
   REGEX_ACCEPT_AT_END = 2,   // only where the subject ends ("$")
};

struct ORVA_RegexStep
{
   int16_t target = -1;   // the state reached, -1 when the byte leads nowhere
   uint16_t tags = 0;     // the group boundaries crossed: an index into the tag lists
};

struct ORVA_RegexProgram
{
   size_t groups = 0;                   // groups in the pattern, as the compiler counts them
   int states = 0;                      // the two starts and one per position
   int classes = 0;                     // bytes that no position tells apart share a class
   uint8_t byteClass[256] = {};
   std::vector<ORVA_RegexStep> steps;   // states * classes
   std::vector<uint8_t> accept;         // per state, an ORVA_RegexAccept
   std::vector<uint16_t> acceptTags;    // per state, the boundaries crossed on accepting there
   // Tag list i is tagData[tagStart[i] .. tagStart[i + 1]); a tag is
   // 2 * group for an opening, 2 * group + 1 for a closing.
   std::vector<uint32_t> tagStart;
   std::vector<uint16_t> tagData;
   bool canStart[256] = {};             // bytes where a match not at the subject's start may begin
   bool onlyAtBegin = false;            // no match starts past the first byte
   int singleStartByte = -1;            // the one byte of canStart, when it has just one

   const ORVA_RegexStep &Step(int state, unsigned char byte) const
   {
      return steps[static_cast<size_t>(state) * static_cast<size_t>(classes) + byteClass[byte]];
   }
};

/*
 * The program for pattern compiled with flags (REG_EXTENDED, and maybe
 * REG_ICASE), which the system's compiler took and counted groups in;
 * null when the pattern is not one this matcher reads exactly, or the
 * locale is not a single-byte one it knows.
 */
std::unique_ptr<ORVA_RegexProgram> CompileRegexProgram(const char *pattern, int flags, size_t groups);

/* Whether the locale is the one the program compiler reads bytes in. */
bool RegexLocaleIsPlain();

#endif
