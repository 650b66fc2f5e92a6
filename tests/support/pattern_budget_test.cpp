// The size budget of script patterns: what it refuses, what it lets through
// unchanged, and how a refusal reaches a script.
#include "support/pattern_budget.h"

#include "orva.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::string Repeated(const std::string &piece, int count, const std::string &separator = "")
{
   std::string text;
   for (int i = 0; i < count; i++)
      text += (i > 0 ? separator : "") + piece;
   return text;
}

std::string Words(int count)
{
   std::vector<char> name(16);
   std::string text;
   for (int i = 0; i < count; i++)
   {
      snprintf(name.data(), name.size(), "%sw%04d", i > 0 ? "|" : "", i);
      text += name.data();
   }
   return "^(" + text + ")$";
}

// Patterns whose compiled form takes gigabytes, minutes or more stack than a
// thread may have; each is refused before the compiler sees it.
TEST(PatternBudget, RefusesPatternsThatWouldCompileHuge)
{
   const std::vector<std::string> huge = {
      "(((a{100}){100}){100}){100}",   // 13.5 GB: nested counts multiply
      "a" + std::string(20, '+'),      // 720 MB: each + doubles what it follows
      "x{1000}{1000}",
      "(a?){5000}",                    // 1.9 GB: optional runs grow with their square
      "^.{0,5000}$",
      Words(5000),                     // 650 MB: and so do long alternations
      std::string(1000000, 'a'),       // 200 MB: a very long literal
      "((a*)+){200}",                  // seconds: loops of empty matches
      Repeated("(", 30000) + "a" + Repeated(")", 30000),   // overruns an 8 MB stack
      Repeated("(", PATTERN_MAX_NESTING + 1) + Repeated(")", PATTERN_MAX_NESTING + 1),
      "a*{2000}",                      // a path the compiler follows by recursion
      "a{40000}",                      // counts the compiler refuses itself
      "a{3,2}",
   };
   for (const std::string &pattern : huge)
   {
      EXPECT_GT(EstimatePatternBytes(pattern.c_str()), PATTERN_BUDGET_BYTES) << pattern.substr(0, 60);
      regex_t expression;
      EXPECT_EQ(REG_ESPACE, CompileScriptPattern(&expression, pattern.c_str(), REG_EXTENDED)) << pattern.substr(0, 60);
   }
}

// Patterns a script may well use, the ones in this project's tests, examples
// and benchmarks among them: they compile and match exactly as before.
TEST(PatternBudget, OrdinaryPatternsCompileAndMatchAsBefore)
{
   struct Sample
   {
      std::string pattern;
      std::string subject;
      bool large = false;   // compiled with case only, to keep the test quick
   };
   const std::vector<Sample> samples = {
      {"user=([a-z]+) id=([0-9]+)", "user=bob id=42"},
      {"^host([0-9]+)\\.example\\.com port=([0-9]+)$", "host7.example.com port=80"},
      {"session=([0-9]+) status=ok", "x session=17 status=ok"},
      {"^([0-9:]+) +([A-Z]+) +([a-z]+): (.*)$", "12:00:01 INFO web: took 5 ms"},
      {"took ([0-9]+) ms", "took 12 ms"},
      {"^[0-9]+$", "12345"},
      {"^host-([0-9]+)", "host-17.example"},
      {"(a)(x)?b(c)", "abc"},
      {"^20[0-9]{2}$", "2024"},
      {"^A.C$", "ABC"},
      {"(x+)", "axxb"},
      {"^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})$", "192.168.0.1"},
      {"^[A-Za-z0-9._%+-]{1,64}@[A-Za-z0-9.-]{1,253}\\.[A-Za-z]{2,24}$", "a.b@example.org"},
      {"^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}(:[0-9]{2})?(Z|[+-][0-9]{2}:[0-9]{2})$", "2024-05-01T10:00Z"},
      {"^(https?|ftp)://([^/:]+)(:[0-9]+)?(/.*)?$", "https://example.org:8080/a/b?c=d"},
      {"^[0-9a-fA-F]{8}-([0-9a-fA-F]{4}-){3}[0-9a-fA-F]{12}$", "123e4567-e89b-12d3-a456-426614174000"},
      {"\"([^\"\\\\]|\\\\.)*\"", "say \"hi \\\" there\""},
      {"[[:alpha:]]+[[:space:]]*=[[:space:]]*[[:digit:]]+", "x = 10"},
      {"\\<word\\>", "a word here"},
      {"^.{1,255}$", "short"},
      {"", "anything"},
      {"a(b", "ab"},   // invalid either way
      {".{0,1000}x", Repeated("y", 900) + "x", true},
      {"^(.{0,300})+$", "abc", true},
      {Words(400), "w0399", true},
      {Repeated("(", PATTERN_MAX_NESTING) + "a" + Repeated(")", PATTERN_MAX_NESTING), "a", true},
      {std::string(5000, 'a'), std::string(5000, 'a'), true},
      {"((a*)*){30}b", "aab", true},
      {"(a|b){300}", Repeated("ab", 150), true},
      {"a{32767}", "a", true},
   };
   for (const Sample &sample : samples)
   {
      const char *pattern = sample.pattern.c_str();
      for (int flags : {REG_EXTENDED, REG_EXTENDED | REG_ICASE})
      {
         if (sample.large && (flags & REG_ICASE) != 0)
            continue;
         regex_t plain, budgeted;
         const int plainResult = regcomp(&plain, pattern, flags);
         const int budgetedResult = CompileScriptPattern(&budgeted, pattern, flags);
         ASSERT_EQ(plainResult == 0, budgetedResult == 0) << sample.pattern.substr(0, 60);
         if (plainResult != 0)
            continue;
         regmatch_t plainMatch[4], budgetedMatch[4];
         const int found = regexec(&plain, sample.subject.c_str(), 4, plainMatch, 0);
         EXPECT_EQ(found, regexec(&budgeted, sample.subject.c_str(), 4, budgetedMatch, 0)) << sample.pattern.substr(0, 60);
         for (int i = 0; found == 0 && i < 4; i++)
         {
            EXPECT_EQ(plainMatch[i].rm_so, budgetedMatch[i].rm_so);
            EXPECT_EQ(plainMatch[i].rm_eo, budgetedMatch[i].rm_eo);
         }
         regfree(&plain);
         regfree(&budgeted);
      }
   }
   // The usual ones are nowhere near the limit.
   EXPECT_LT(EstimatePatternBytes("^([0-9:]+) +([A-Z]+) +([a-z]+): (.*)$"), 64 * 1024);
}

// The estimate follows the compiler's expansion: bounds multiply, a "+"
// doubles, and text inside a bracket expression or after a backslash is no
// repetition.
TEST(PatternBudget, EstimateFollowsTheExpansion)
{
   const double one = EstimatePatternBytes("(ab){100}");
   EXPECT_NEAR(10 * one, EstimatePatternBytes("((ab){100}){10}"), one);
   EXPECT_NEAR(2 * EstimatePatternBytes("(ab)+++"), EstimatePatternBytes("(ab)++++"), one);
   EXPECT_EQ(EstimatePatternBytes("a[{]1000}"), EstimatePatternBytes("a[x]1000}"));
   EXPECT_EQ(EstimatePatternBytes("a\\{1000}"), EstimatePatternBytes("a\\x1000}"));
   EXPECT_EQ(EstimatePatternBytes("[]{]{2}"), EstimatePatternBytes("[]x]{2}"));
   // The compiler reads "{,}" as "*": nested, it loops like stars do.
   EXPECT_EQ(EstimatePatternBytes("((a{,}){,}){,}"), EstimatePatternBytes("((a*)*)*"));
   EXPECT_EQ(EstimatePatternBytes("a{,3}"), EstimatePatternBytes("a{0,3}"));
   // Unbalanced text is sized, not misread: the compiler rejects it itself.
   EXPECT_LT(EstimatePatternBytes("((a"), 4096);
   EXPECT_LT(EstimatePatternBytes("a)b)"), 4096);
   EXPECT_LT(EstimatePatternBytes("[abc"), 4096);
   EXPECT_LT(EstimatePatternBytes("a\\"), 4096);
}

// A script sees a refused pattern as an invalid one, error 18 with its line,
// and a run after it is not disturbed.
TEST(PatternBudget, ScriptsGetErrorEighteen)
{
   ORVA_Program *program = ORVACompile("sub main(p)\n{\n   ok = \"aaa\" match \"^(a+)$\";\n   return $1 . (\"a\" match p);\n}",
                                       nullptr, 0);
   ASSERT_NE(nullptr, program);
   ORVA_Value **argv = new ORVA_Value *[1]{new ORVA_Value("(((a{100}){100}){100}){100}")};
   EXPECT_EQ(-1, program->Run(nullptr, 1, argv, nullptr, nullptr));
   EXPECT_STREQ("Error 18 in line 4: Invalid regular expression", program->GetErrorText());
   delete[] argv;

   argv = new ORVA_Value *[1]{new ORVA_Value("a{1,3}")};
   ASSERT_EQ(0, program->Run(nullptr, 1, argv, nullptr, nullptr));
   EXPECT_STREQ("aaa1", program->GetResult()->GetValueAsCString());
   delete[] argv;
   delete program;
}
}
