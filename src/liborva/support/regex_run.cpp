#include "support/regex_run.h"

#include <cstring>

namespace
{

/*
 * Steps allowed per subject byte, and in all besides.  The walk from each
 * start runs as far as the pattern reaches, so a failing subject can cost
 * its length squared ("a*b" over a run of "a"); the system's matcher walks
 * the subject once, at a few dozen times the cost of a step here.
 */
const size_t STEPS_PER_BYTE = 8;
const size_t STEPS_BESIDES = 256;

const long OUT_OF_STEPS = -2;

/* The longest match from start, entered at state: its end, or -1. */
long Longest(const ORVA_RegexProgram &program, const unsigned char *text, size_t length, size_t start, int state,
             size_t *budget)
{
   long best = -1;
   size_t at = start;
   for (;;)
   {
      const uint8_t accept = program.accept[state];
      if (accept == REGEX_ACCEPT_ALWAYS || (accept == REGEX_ACCEPT_AT_END && at == length))
         best = static_cast<long>(at);
      // The terminating zero has a class of its own that leads nowhere.
      const int next = program.Step(state, text[at]).target;
      if (next < 0)
         return best;
      if (*budget == 0)
         return OUT_OF_STEPS;
      --*budget;
      state = next;
      at++;
   }
}

void Mark(const ORVA_RegexProgram &program, uint16_t list, size_t at, size_t records, regmatch_t *matches)
{
   for (uint32_t i = program.tagStart[list]; i < program.tagStart[list + 1]; i++)
   {
      const uint16_t tag = program.tagData[i];
      const size_t group = tag >> 1;
      if (group >= records)
         continue;
      if (tag & 1)
         matches[group].rm_eo = static_cast<regoff_t>(at);
      else
         matches[group].rm_so = static_cast<regoff_t>(at);
   }
}

/* The one reading of text[start, end) walked again, its group boundaries marked. */
void Groups(const ORVA_RegexProgram &program, const unsigned char *text, size_t start, size_t end, int state,
            size_t records, regmatch_t *matches)
{
   matches[0].rm_so = static_cast<regoff_t>(start);
   matches[0].rm_eo = static_cast<regoff_t>(end);
   for (size_t i = 1; i < records; i++)
      matches[i].rm_so = matches[i].rm_eo = -1;
   if (program.groups == 0)
      return;
   for (size_t at = start; at < end; at++)
   {
      const ORVA_RegexStep &step = program.Step(state, text[at]);
      Mark(program, step.tags, at, records, matches);
      state = step.target;
   }
   Mark(program, program.acceptTags[state], end, records, matches);
}

}   // namespace

ORVA_RegexRunResult RunRegexProgram(const ORVA_RegexProgram &program, const char *subject, size_t records,
                                    regmatch_t *matches)
{
   const unsigned char *text = reinterpret_cast<const unsigned char *>(subject);
   const size_t length = strlen(subject);
   size_t budget = STEPS_PER_BYTE * length + STEPS_BESIDES;
   for (size_t start = 0; start <= length; start++)
   {
      int state = REGEX_START_AT_BEGIN;
      if (start > 0)
      {
         if (program.onlyAtBegin)
            break;
         // Only where a match can begin is one tried.
         if (program.singleStartByte >= 0)
         {
            const void *found = memchr(text + start, program.singleStartByte, length - start);
            start = (found != nullptr) ? static_cast<size_t>(static_cast<const unsigned char *>(found) - text) : length;
         }
         else
         {
            while (start < length && !program.canStart[text[start]])
               start++;
         }
         if (start == length && program.accept[REGEX_START_INSIDE] == REGEX_ACCEPT_NEVER)
            break;
         state = REGEX_START_INSIDE;
      }
      const long end = Longest(program, text, length, start, state, &budget);
      if (end == OUT_OF_STEPS)
         return REGEX_RUN_TOO_LONG;
      if (end >= 0)
      {
         if (records > 0)
            Groups(program, text, start, static_cast<size_t>(end), state, records, matches);
         return REGEX_RUN_MATCH;
      }
   }
   return REGEX_RUN_NO_MATCH;
}
