#include "support/regex_match.h"

#include "support/regex_run.h"

int MatchExpression(const regex_t *expression, const char *subject, size_t records, regmatch_t *matches,
                    ORVA_MatchHistory *history)
{
   // Without groups the caller wants no records beyond the whole match,
   // which no caller reads: the test alone answers.
   if (expression->re_nsub == 0)
      return regexec(expression, subject, 0, nullptr, 0);

   ORVA_MatchHistory none;
   ORVA_MatchHistory &seen = (history != nullptr) ? *history : none;
   if (seen.tests >= 64)
   {
      // Halving keeps the history recent: a loop over new data turns it.
      seen.tests /= 2;
      seen.matches /= 2;
   }
   seen.tests++;
   const bool testFirst = seen.matches * 4 < seen.tests * 3;
   if (testFirst && regexec(expression, subject, 0, nullptr, 0) != 0)
      return REG_NOMATCH;
   const int result = regexec(expression, subject, records, matches, 0);
   if (result == 0)
      seen.matches++;
   return result;
}

int MatchExpression(const regex_t *expression, const ORVA_RegexProgram *fast, const char *subject, size_t records,
                    regmatch_t *matches, ORVA_MatchHistory *history)
{
   if (fast != nullptr)
   {
      const ORVA_RegexRunResult result = RunRegexProgram(*fast, subject, records, matches);
      if (result != REGEX_RUN_TOO_LONG)
         return (result == REGEX_RUN_MATCH) ? 0 : REG_NOMATCH;
   }
   return MatchExpression(expression, subject, records, matches, history);
}
