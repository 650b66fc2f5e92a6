// The engine's own matcher against the system's: for every pattern it
// takes, the same verdict and the same span for the match and each group,
// with and without case; what it does not take, it must leave alone.
#include "support/regex_match.h"
#include "support/regex_program.h"
#include "support/regex_run.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace
{

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const int PATTERNS = 4000;
#else
const int PATTERNS = 24000;
#endif

class PatternMaker
{
public:
   explicit PatternMaker(unsigned seed) : m_random(seed) {}

   std::string Pattern() { return Alternatives(0); }

   std::string Subject()
   {
      static const char bytes[] = "aabbcAB-.1_ \n\xe9";
      std::string subject;
      const int length = Below(4) == 0 ? Below(40) : Below(10);
      for (int i = 0; i < length; i++)
         subject += bytes[Below(sizeof bytes - 1)];
      return subject;
   }

private:
   std::mt19937 m_random;

   int Below(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

   std::string Alternatives(int depth)
   {
      std::string text = Branch(depth);
      while (Below(5) == 0)
         text += "|" + Branch(depth);
      return text;
   }

   std::string Branch(int depth)
   {
      std::string text;
      const int pieces = 1 + Below(4);
      for (int i = 0; i < pieces; i++)
         text += Piece(depth);
      return text;
   }

   std::string Piece(int depth)
   {
      std::string atom = Atom(depth);
      static const char *const counts[] = {"*", "+", "?", "{2}", "{1,}", "{0,2}", "{1,3}", "{2,3}", "**", "{,2}"};
      if (Below(3) == 0)
         atom += counts[Below(Below(6) == 0 ? 10 : 8)];
      return atom;
   }

   std::string Atom(int depth)
   {
      // Mostly what the matcher takes, now and then what it must not.
      static const char *const odd[] = {"\\1", "\\w", "\\<", "\\b", "[[=a=]]", "[[.a.]]", "()", "(|a)",
                                        "a{1", "\\n", "[a-c-e]", "[[:foo:]]", "[\xe9]", "\xe9", "[--b]"};
      switch (Below(16))
      {
      case 0:
      case 1:
         return depth < 3 ? "(" + Alternatives(depth + 1) + ")" : "a";
      case 2:
         return ".";
      case 3:
      case 4:
         return Bracket();
      case 5:
         return Below(2) ? "^" : "$";
      case 6:
         return Below(2) ? "\\." : "\\-";
      case 7:
         return odd[Below(sizeof odd / sizeof odd[0])];
      default:
      {
         static const char letters[] = "aabbcAB-1_";
         return std::string(1, letters[Below(sizeof letters - 1)]);
      }
      }
   }

   std::string Bracket()
   {
      static const char *const members[] = {"a", "b", "A", "B", "-", "a-c", "A-C", "0-9", "B-a", "_-b", "[:alpha:]",
                                            "[:upper:]", "[:lower:]", "[:digit:]", "[:space:]", "[:punct:]", "."};
      std::string text = "[";
      if (Below(3) == 0)
         text += "^";
      if (Below(8) == 0)
         text += "]";
      const int count = 1 + Below(3);
      for (int i = 0; i < count; i++)
         text += members[Below(sizeof members / sizeof members[0])];
      if (Below(6) == 0)
         text += "-";
      return text + "]";
   }
};

struct Comparison
{
   long handled = 0;     // pairs the engine's matcher answered
   long fallbacks = 0;   // patterns it left to the system's
   long matches = 0;
};

// Compares one pattern over subjects; false (with a failure) on the first difference.
bool Compare(const std::string &pattern, int flags, const std::vector<std::string> &subjects, Comparison *seen)
{
   regex_t expression;
   if (regcomp(&expression, pattern.c_str(), flags) != 0)
      return true;
   std::unique_ptr<ORVA_RegexProgram> program = CompileRegexProgram(pattern.c_str(), flags, expression.re_nsub);
   bool same = true;
   if (program == nullptr)
      seen->fallbacks++;
   for (size_t s = 0; program != nullptr && s < subjects.size() && same; s++)
   {
      const char *subject = subjects[s].c_str();
      const size_t records = expression.re_nsub + 1;
      std::vector<regmatch_t> expected(records), got(records);
      const int plain = regexec(&expression, subject, records, expected.data(), 0);
      const ORVA_RegexRunResult result = RunRegexProgram(*program, subject, records, got.data());
      if (result == REGEX_RUN_TOO_LONG)
         continue;
      seen->handled++;
      const std::string where = "/" + pattern + "/" + ((flags & REG_ICASE) ? "i" : "") + " on \"" + subjects[s] + "\"";
      EXPECT_EQ(result == REGEX_RUN_MATCH, plain == 0) << where;
      same = (result == REGEX_RUN_MATCH) == (plain == 0);
      if (plain != 0 || !same)
         continue;
      seen->matches++;
      for (size_t i = 0; i < records; i++)
      {
         EXPECT_EQ(got[i].rm_so, expected[i].rm_so) << where << " record " << i;
         EXPECT_EQ(got[i].rm_eo, expected[i].rm_eo) << where << " record " << i;
         same = same && got[i].rm_so == expected[i].rm_so && got[i].rm_eo == expected[i].rm_eo;
      }
   }
   regfree(&expression);
   return same;
}

}   // namespace

TEST(RegexProgram, AgreesWithTheSystemMatcherOnRandomPatterns)
{
   PatternMaker maker(20261210);
   Comparison seen;
   for (int i = 0; i < PATTERNS; i++)
   {
      const std::string pattern = maker.Pattern();
      std::vector<std::string> subjects;
      for (int s = 0; s < 8; s++)
         subjects.push_back(maker.Subject());
      for (int flags : {REG_EXTENDED, REG_EXTENDED | REG_ICASE})
         ASSERT_TRUE(Compare(pattern, flags, subjects, &seen));
   }
   // The comparison means something only when most patterns are taken and match at times.
   EXPECT_GT(seen.handled, PATTERNS * 6L);
   EXPECT_GT(seen.matches, seen.handled / 5);
   EXPECT_GT(seen.fallbacks, PATTERNS / 20L);
}

TEST(RegexProgram, AgreesOnHandPickedCases)
{
   // Each once read differently, or stands for a kind of pattern scripts write.
   const struct
   {
      const char *pattern;
      const char *subject;
   } cases[] = {
      {"user=([a-z]+)[0-9]* action=login", "12:00 user=bob42 action=login"},
      {"user=([a-z]+)[0-9]* action=login", "user=user=ann action=login"},
      {"^[0-9]+-[0-9]+-[0-9]+ [0-9:]+ (ERROR|WARN) ", "2026-12-10 06:16:27 WARN disk"},
      {"^host([0-9]+)\\.example\\.com port=([0-9]+)$", "host12.example.com port=80"},
      {"^host([0-9]+)\\.example\\.com port=([0-9]+)$", "host12.example.com port=80 "},
      {"session=([0-9]+) status=ok", "session=session=7 status=ok"},
      {"(x)?y", "y"},
      {"(a)|b", "b"},
      {"a(b|c)?d$|ab", "abd"},
      {"[^a]b", "\xe9" "b"},
      {"[[:upper:]]([[:lower:]]+)", "hELLO World"},
      {"[]a]+", "]a]"},
      {"[a-]+x", "a-ax"},
      {"^$", ""},
      {"x*$", "abc"},
      {"(^a|b)c", "bc"},
      {"a{2,3}(b)", "aaaab"},
      {"[0-a]", "b"},
      // A group inside a repetition reports the last iteration that took it.
      {"((a)|b)+", "ab"},
      {"((a)|b)+", "ba"},
      {"(a|(b))+", "ba"},
      {"([0-9]+\\.)+", "1.22.3"},
      {"((a)|(b))*", "abab"},
      {"(x(a)|y)*", "xay"},
      {"(a(b)?)+", "aba"},
      {"([a-c]{2})+", "abcab"},
   };
   Comparison seen;
   for (const auto &one : cases)
      for (int flags : {REG_EXTENDED, REG_EXTENDED | REG_ICASE})
         EXPECT_TRUE(Compare(one.pattern, flags, {one.subject, "", "AbAb"}, &seen)) << one.pattern;
   EXPECT_GT(seen.handled, 50);
}

TEST(RegexProgram, TakesOnlyPatternsWithOneReading)
{
   const struct
   {
      const char *pattern;
      bool taken;
   } cases[] = {
      {"user=([a-z]+)[0-9]* action=login", true},
      {"^([a-z]+)@([a-z.]+)$", true},
      {"[[:alpha:]_][[:alnum:]_]*", true},
      {"a{1,3}b", true},
      {"(.*)-(.*)", false},   // the "-" may be the first or a later one
      {"(a|ab)(c|bcd)", false},
      {"(x(a)|y)*z", true},   // a group keeps what its last iteration took
      {"(^a){1,2}", false},   // the compiler's copies of an anchor read otherwise
      {"(a*)+", false},
      {"(a)\\1", false},
      {"\\<word\\>", false},
      {"[[=a=]]", false},
      {"a**", false},
      {"a{0,300}", false},
      {"(((((((a)))))))", true},
      {"((((((((a))))))))((((((((b))))))))", false},   // too many boundaries crossed at once
   };
   for (const auto &one : cases)
   {
      regex_t expression;
      ASSERT_EQ(regcomp(&expression, one.pattern, REG_EXTENDED), 0) << one.pattern;
      EXPECT_EQ(CompileRegexProgram(one.pattern, REG_EXTENDED, expression.re_nsub) != nullptr, one.taken)
         << one.pattern;
      regfree(&expression);
   }
}

TEST(RegexProgram, HandsLongWalksToTheSystemMatcher)
{
   // From every start the walk runs to the end: the square of the subject.
   const char *pattern = "a*b";
   regex_t expression;
   ASSERT_EQ(regcomp(&expression, pattern, REG_EXTENDED), 0);
   std::unique_ptr<ORVA_RegexProgram> program = CompileRegexProgram(pattern, REG_EXTENDED, expression.re_nsub);
   ASSERT_NE(program, nullptr);
   const std::string subject(5000, 'a');
   regmatch_t match[1];
   EXPECT_EQ(RunRegexProgram(*program, subject.c_str(), 1, match), REGEX_RUN_TOO_LONG);
   EXPECT_EQ(MatchExpression(&expression, program.get(), subject.c_str(), 1, match, nullptr), REG_NOMATCH);
   EXPECT_EQ(MatchExpression(&expression, program.get(), (subject + "b").c_str(), 1, match, nullptr), 0);
   regfree(&expression);
}
