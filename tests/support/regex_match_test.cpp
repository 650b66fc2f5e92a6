// Matching with groups asked for only when wanted gives what the plain call
// with groups gives: the same verdict and the same records, whichever way
// the expression's history leads it.
#include "support/regex_match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(RegexMatch, AgreesWithThePlainCallOverACorpus)
{
   const std::vector<std::string> patterns = {
      "abc", "^abc$", "a(b)c", "(a|ab)(c|bcd)(d*)", "session=([0-9]+) status=ok", "^([a-z]+)@([a-z.]+)$",
      "(x)?y", "((a)|b)+", "(a*)*b", "([0-9]+)\\.([0-9]+)", "(.*)-(.*)", "\\<(w[a-z]*)\\>", "(^|,)([^,]*)",
      "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "(ab|a)(bc|c)?", "[[:upper:]]([[:lower:]]+)", "()", "(a|())+b"};
   const std::vector<std::string> subjects = {
      "", "abc", "xabcx", "abcd", "abbcd", "session=123 status=ok", "session=1 status=failed", "bob@example.org",
      "y", "xy", "ab", "aab", "b", "3.14 and 2.71", "left-mid-right", "one wonder wall", "a,b,,c",
      "abcdefghijk", "Hello", "abc\nabc", std::string(300, 'a') + "b"};
   for (const std::string &pattern : patterns)
   {
      for (int flags : {REG_EXTENDED, REG_EXTENDED | REG_ICASE})
      {
         regex_t expression;
         ASSERT_EQ(regcomp(&expression, pattern.c_str(), flags), 0) << pattern;
         const size_t records = expression.re_nsub + 1;
         // A history of many matches goes straight for the groups, one of
         // none tests first; both must agree with the plain call.
         ORVA_MatchHistory matching{60, 60}, failing{60, 0};
         for (ORVA_MatchHistory *history : {&matching, &failing, static_cast<ORVA_MatchHistory *>(nullptr)})
         {
            for (const std::string &subject : subjects)
            {
               std::vector<regmatch_t> plain(records), found(records);
               const int expected = regexec(&expression, subject.c_str(), records, plain.data(), 0);
               const int got = MatchExpression(&expression, subject.c_str(), records, found.data(), history);
               ASSERT_EQ(got == 0, expected == 0) << pattern << " on " << subject;
               for (size_t i = 1; expected == 0 && i < records; i++)
               {
                  EXPECT_EQ(found[i].rm_so, plain[i].rm_so) << pattern << " on " << subject << " group " << i;
                  EXPECT_EQ(found[i].rm_eo, plain[i].rm_eo) << pattern << " on " << subject << " group " << i;
               }
            }
         }
         regfree(&expression);
      }
   }
}
