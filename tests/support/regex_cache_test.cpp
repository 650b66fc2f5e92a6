// The compiled patterns a program keeps between runs: a run's budget is
// charged for what the run adds and credited at its end, a changed pattern
// replaces the old one, and what is kept stays under its bound.
#include "support/regex_cache.h"
#include "support/memory.h"
#include "support/regex_run.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace
{

ORVA_CachedExpression *Compiled(const char *pattern, size_t charged, double bytes)
{
   ORVA_CachedExpression *entry = new ORVA_CachedExpression();
   entry->pattern = pattern;
   entry->flags = REG_EXTENDED;
   entry->charged = charged;
   entry->bytes = bytes;
   EXPECT_EQ(regcomp(&entry->compiled, pattern, REG_EXTENDED), 0);
   return entry;
}

}   // namespace

TEST(PatternCache, RunsAreChargedForWhatTheyAddAndCreditedAtTheirEnd)
{
   ORVA_PatternCache cache;
   ORVA_MemoryBudget first;
   first.limit = 1 << 20;
   {
      ORVA_BudgetScope scope(&first);
      ASSERT_TRUE(MemoryCharge(1000));   // as the compile's caller charges it
      cache.Keep(7, Compiled("a(b)c", 1000, 1000));
      ORVA_CachedExpression *entry = cache.Find(7, "a(b)c", REG_EXTENDED);
      ASSERT_NE(entry, nullptr);
      ASSERT_TRUE(MemoryCharge(500));   // DFA states the run's matches may make
      cache.Account(7, entry, 500);
      EXPECT_EQ(first.held, 1500u);
      cache.EndRun();
      EXPECT_EQ(first.held, 0u);
   }

   // The next run finds the entry free of charge; giving back states made
   // before gives it no credit beyond what it was charged.
   ORVA_MemoryBudget second;
   second.limit = 1 << 20;
   {
      ORVA_BudgetScope scope(&second);
      ORVA_CachedExpression *entry = cache.Find(7, "a(b)c", REG_EXTENDED);
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(second.held, 0u);
      ASSERT_TRUE(MemoryCharge(200));
      cache.Account(7, entry, 200);
      cache.Account(7, entry, -700);
      EXPECT_EQ(second.held, 0u);
      EXPECT_DOUBLE_EQ(cache.Bytes(), 1000);
      cache.EndRun();
      EXPECT_EQ(second.held, 0u);
   }
   EXPECT_EQ(cache.Kept(), 1u);
}

TEST(PatternCache, AnotherPatternOrFlagsReplacesTheEntry)
{
   ORVA_PatternCache cache;
   ORVA_MemoryBudget budget;
   budget.limit = 1 << 20;
   ORVA_BudgetScope scope(&budget);
   ASSERT_TRUE(MemoryCharge(300));
   cache.Keep(1, Compiled("x+", 300, 300));
   EXPECT_EQ(cache.Find(1, "x+", REG_EXTENDED | REG_ICASE), nullptr);
   EXPECT_EQ(budget.held, 0u);   // the old entry gave back its charge
   EXPECT_EQ(cache.Count(), 0u);
   cache.Keep(1, Compiled("y+", 0, 300));
   EXPECT_EQ(cache.Find(1, "x+", REG_EXTENDED), nullptr);
   EXPECT_EQ(cache.Find(2, "y+", REG_EXTENDED), nullptr);
   EXPECT_DOUBLE_EQ(cache.Bytes(), 0);
   cache.Keep(2, Compiled("y+", 0, 300));
   cache.Drop(2);
   cache.Drop(2);
   EXPECT_EQ(cache.Count(), 0u);
}

TEST(PatternCache, WhatIsKeptStaysUnderTheBoundLargestFirst)
{
   ORVA_PatternCache cache;
   const double bound = PATTERN_CACHE_KEEP_BYTES;
   cache.Keep(1, Compiled("small", 0, 1000));
   cache.Keep(2, Compiled("large", 0, bound / 2));
   cache.Keep(3, Compiled("middle", 0, bound / 4));
   cache.EndRun();   // the three fit
   EXPECT_EQ(cache.Count(), 3u);
   // The states a pattern's matches may make only grow; past the bound
   // the one that holds most goes.
   cache.Account(3, cache.Find(3, "middle", REG_EXTENDED), bound * 0.3);
   cache.EndRun();
   EXPECT_EQ(cache.Count(), 2u);
   EXPECT_EQ(cache.Find(3, "middle", REG_EXTENDED), nullptr);
   EXPECT_NE(cache.Find(2, "large", REG_EXTENDED), nullptr);
   EXPECT_NE(cache.Find(1, "small", REG_EXTENDED), nullptr);
   EXPECT_LE(cache.Bytes(), bound);
}

TEST(PatternCache, ProgramsOutliveTheirEntriesAndStayBounded)
{
   ORVA_PatternCache cache;
   const char *pattern = "user=([a-z]+)[0-9]* action=login";
   std::shared_ptr<const ORVA_RegexProgram> program = cache.Program(pattern, REG_EXTENDED, 1);
   ASSERT_NE(program, nullptr);
   EXPECT_EQ(cache.Program(pattern, REG_EXTENDED, 1), program);   // made once
   EXPECT_NE(cache.Program(pattern, REG_EXTENDED | REG_ICASE, 1), program);
   EXPECT_EQ(cache.Program("(a)\\1", REG_EXTENDED, 1), nullptr);   // the system's alone

   // A host that moves to a multibyte locale gets the system's matcher,
   // whatever was kept before.
   if (setlocale(LC_CTYPE, "C.UTF-8") != nullptr)
   {
      EXPECT_EQ(cache.Program(pattern, REG_EXTENDED, 1), nullptr);
      setlocale(LC_CTYPE, "C");
      EXPECT_EQ(cache.Program(pattern, REG_EXTENDED, 1), program);
   }

   // The entry that holds it goes; the program stays for the next compile.
   ORVA_CachedExpression *entry = Compiled(pattern, 0, 100);
   entry->fast = cache.Program(pattern, REG_EXTENDED, 1);
   cache.Keep(8, entry);
   cache.Drop(8);
   EXPECT_EQ(cache.Program(pattern, REG_EXTENDED, 1), program);

   // Patterns made at run time start the kept programs over past the bound,
   // and each program still reads its own pattern.
   for (size_t i = 0; i <= PATTERN_CACHE_KEEP_PROGRAMS; i++)
   {
      const std::string made = "id" + std::to_string(i) + "=([0-9]+)";
      std::shared_ptr<const ORVA_RegexProgram> kept = cache.Program(made.c_str(), REG_EXTENDED, 1);
      ASSERT_NE(kept, nullptr);
      const std::string subject = "x id" + std::to_string(i) + "=42";
      regmatch_t matches[2];
      ASSERT_EQ(RunRegexProgram(*kept, subject.c_str(), 2, matches), REGEX_RUN_MATCH) << made;
      EXPECT_EQ(matches[1].rm_so, static_cast<regoff_t>(subject.size() - 2));
   }
   EXPECT_NE(cache.Program(pattern, REG_EXTENDED, 1), program);   // made again after the start over
   EXPECT_EQ(program.use_count(), 1);
}
