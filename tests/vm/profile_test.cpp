/*
 * Profiled runs: calls, instructions and stacks counted where they
 * happen, by the instruction limit's measure, alike with and without the
 * fast paths; a profiled run's outcome is that of an unprofiled one.
 */
#include "vm/engine.h"
#include "both_paths.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

namespace
{

using orva_test::Compile;

// main calls outer three times, outer calls inner twice on line 10, and
// inner loops: every function has code of its own and a known call count.
const char kNested[] =
   "sub inner(n)\n"                 // 1
   "{\n"                            // 2
   "   s = 0;\n"                    // 3
   "   while (n-- > 0) s = s + n;\n"   // 4
   "   return s;\n"                 // 5
   "}\n"                            // 6
   "sub outer(k)\n"                 // 7
   "{\n"                            // 8
   "   t = k * 2;\n"                // 9
   "   return inner(k) + inner(t);\n"   // 10
   "}\n"                            // 11
   "sub main()\n"                   // 12
   "{\n"                            // 13
   "   r = 0; i = 1;\n"             // 14
   "   while (i <= 3) { r = r + outer(i * 10); i++; }\n"   // 15
   "   return r;\n"                 // 16
   "}\n";

struct RunResult
{
   int rc = 0;
   std::string result;
   std::string error;
};

RunResult RunWith(ORVA_Program *program, ORVA_Profile *profile, uint64 instructionLimit = 0)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->SetProfile(profile);
   env->SetInstructionLimit(instructionLimit);
   RunResult run;
   run.rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   if (run.rc == 0 && program->GetResult() != nullptr)
      run.result = program->GetResult()->GetValueAsCString();
   run.error = (program->GetErrorText() != nullptr) ? program->GetErrorText() : "";
   return run;
}

std::map<std::string, ORVA_ProfileRow> FunctionRows(const ORVA_Profile &profile)
{
   std::map<std::string, ORVA_ProfileRow> rows;
   ORVA_ProfileRow row;
   for (uint32 i = 0; profile.GetFunctionRow(i, &row); i++)
      rows[row.function] = row;
   return rows;
}

std::map<std::string, uint64> FoldedStacks(const char *text)
{
   std::map<std::string, uint64> stacks;
   std::istringstream lines(text);
   std::string line;
   while (std::getline(lines, line))
   {
      const size_t space = line.rfind(' ');
      EXPECT_NE(space, std::string::npos) << line;
      if (space != std::string::npos)
         stacks[line.substr(0, space)] += std::stoull(line.substr(space + 1));
   }
   return stacks;
}

class Profiled : public BothPaths
{
};

TEST_P(Profiled, CountsCallsSelfAndTotalByFunctionLineAndStack)
{
   std::unique_ptr<ORVA_Program> program(Prepared(kNested));
   ASSERT_NE(program, nullptr);
   ORVA_Profile profile;
   const RunResult run = RunWith(program.get(), &profile);
   ASSERT_EQ(run.rc, 0) << run.error;
   EXPECT_EQ(profile.GetRunCount(), 1u);

   auto rows = FunctionRows(profile);
   ASSERT_EQ(rows.size(), 3u);
   EXPECT_EQ(rows["main"].calls, 1u);
   EXPECT_EQ(rows["outer"].calls, 3u);
   EXPECT_EQ(rows["inner"].calls, 6u);
   for (const auto &named : rows)
   {
      SCOPED_TRACE(named.first);
      EXPECT_GT(named.second.selfInstructions, 0u);
      EXPECT_STREQ(named.second.module, "");
      EXPECT_EQ(named.second.line, 0);
      EXPECT_LE(named.second.selfNanoseconds, named.second.totalNanoseconds);
   }
   // No recursion: a caller's total is its own and its callees' totals.
   EXPECT_EQ(rows["inner"].totalInstructions, rows["inner"].selfInstructions);
   EXPECT_EQ(rows["outer"].totalInstructions, rows["outer"].selfInstructions + rows["inner"].totalInstructions);
   EXPECT_EQ(rows["main"].totalInstructions, rows["main"].selfInstructions + rows["outer"].totalInstructions);
   EXPECT_EQ(rows["main"].totalInstructions, profile.GetInstructions());
   EXPECT_EQ(rows["main"].totalNanoseconds, profile.GetNanoseconds());

   // Sorted by total, the most first.
   ORVA_ProfileRow row;
   ORVA_ProfileRow previous;
   ASSERT_EQ(profile.GetFunctionRow(0, &previous), 1);
   EXPECT_STREQ(previous.function, "main");
   EXPECT_EQ(profile.GetFunctionRow(3, &row), 0);
   bool callLineSeen = false;
   uint64 selfByLines = 0;
   for (uint32 i = 0; profile.GetLineRow(i, &row); i++)
   {
      if (i > 0)
      {
         EXPECT_LE(row.totalInstructions, previous.totalInstructions) << row.function << ':' << row.line;
      }
      EXPECT_GT(row.line, 0);
      EXPECT_GE(row.totalInstructions, row.selfInstructions);
      selfByLines += row.selfInstructions;
      if (std::string(row.function) == "outer" && row.line == 10)
      {
         callLineSeen = true;
         EXPECT_EQ(row.calls, 6u);   // the calls made from the line
         EXPECT_EQ(row.totalInstructions, rows["inner"].totalInstructions + row.selfInstructions);
      }
      if (std::string(row.function) == "main" && row.line == 15)
      {
         EXPECT_EQ(row.calls, 3u);
      }
      previous = row;
   }
   EXPECT_TRUE(callLineSeen);
   EXPECT_EQ(selfByLines, profile.GetInstructions());

   // The stacks weigh their self instructions; together, the whole run.
   const auto stacks = FoldedStacks(profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS));
   ASSERT_EQ(stacks.size(), 3u) << profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS);
   EXPECT_EQ(stacks.at("main"), rows["main"].selfInstructions);
   EXPECT_EQ(stacks.at("main;outer"), rows["outer"].selfInstructions);
   EXPECT_EQ(stacks.at("main;outer;inner"), rows["inner"].selfInstructions);
   uint64 byTime = 0;
   for (const auto &stack : FoldedStacks(profile.GetFoldedStacks(ORVA_PROFILE_NANOSECONDS)))
      byTime += stack.second;
   EXPECT_EQ(byTime, profile.GetNanoseconds());
}

TEST_P(Profiled, RecursionCountsOnceInTotalsAndStacksGrowByDepth)
{
   std::unique_ptr<ORVA_Program> program(Prepared(
      "sub fib(n) {\n  if (n < 2) return n;\n  return fib(n - 1) + fib(n - 2);\n}\n"
      "sub main() { return fib(10); }\n"));
   ASSERT_NE(program, nullptr);
   ORVA_Profile profile;
   const RunResult run = RunWith(program.get(), &profile);
   ASSERT_EQ(run.rc, 0) << run.error;
   EXPECT_EQ(run.result, "55");
   auto rows = FunctionRows(profile);
   EXPECT_EQ(rows["fib"].calls, 177u);
   EXPECT_EQ(rows["fib"].totalInstructions, rows["fib"].selfInstructions);
   EXPECT_LE(rows["fib"].totalInstructions, profile.GetInstructions());
   // fib(10) nests ten deep below main: one stack per depth.
   const auto stacks = FoldedStacks(profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS));
   EXPECT_EQ(stacks.size(), 11u);
   std::string deepest = "main";
   for (int depth = 0; depth < 10; depth++)
      deepest += ";fib";
   EXPECT_EQ(stacks.count(deepest), 1u);
}

TEST_P(Profiled, CountsInstructionsAsTheLimitDoesAndChangesNoOutcome)
{
   std::unique_ptr<ORVA_Program> program(Prepared(kNested));
   ASSERT_NE(program, nullptr);
   const RunResult plain = RunWith(program.get(), nullptr);
   ORVA_Profile profile;
   const RunResult profiled = RunWith(program.get(), &profile);
   ASSERT_EQ(plain.rc, 0);
   EXPECT_EQ(profiled.rc, 0);
   EXPECT_EQ(profiled.result, plain.result);

   // The run spends exactly what the profile counted: a limit one lower
   // stops it, with a profile or without, at the same place.
   const uint64 spent = profile.GetInstructions();
   ORVA_Profile again;
   EXPECT_EQ(RunWith(program.get(), &again, spent).rc, 0);
   EXPECT_EQ(RunWith(program.get(), nullptr, spent).rc, 0);
   const RunResult stopped = RunWith(program.get(), nullptr, spent - 1);
   ORVA_Profile cut;
   const RunResult stoppedProfiled = RunWith(program.get(), &cut, spent - 1);
   EXPECT_EQ(stopped.rc, -1);
   EXPECT_EQ(stoppedProfiled.rc, -1);
   EXPECT_EQ(stoppedProfiled.error, stopped.error);
   EXPECT_EQ(program->GetStopReason(), ORVA_STOP_INSTRUCTIONS);
   // A run that stopped keeps what it counted up to the stop.
   EXPECT_GT(cut.GetInstructions(), 0u);
   EXPECT_LE(cut.GetInstructions(), spent);
}

TEST_P(Profiled, FailedRunKeepsItsProfileAndAddsUpUntilCleared)
{
   std::unique_ptr<ORVA_Program> program(Prepared(
      "sub bad(x) { return x / \"text\"; }\n"
      "sub main() {\n  i = 0;\n  while (i < 5) i = i + 1;\n  return bad(i);\n}\n"));
   ASSERT_NE(program, nullptr);
   const RunResult plain = RunWith(program.get(), nullptr);
   ORVA_Profile profile;
   const RunResult first = RunWith(program.get(), &profile);
   EXPECT_EQ(first.rc, -1);
   EXPECT_EQ(first.error, plain.error);
   auto rows = FunctionRows(profile);
   EXPECT_EQ(rows["bad"].calls, 1u);
   const uint64 once = profile.GetInstructions();
   EXPECT_GT(once, 0u);

   RunWith(program.get(), &profile);
   EXPECT_EQ(profile.GetRunCount(), 2u);
   EXPECT_EQ(profile.GetInstructions(), 2 * once);
   EXPECT_EQ(FunctionRows(profile)["bad"].calls, 2u);

   profile.Clear();
   EXPECT_EQ(profile.GetRunCount(), 0u);
   EXPECT_EQ(profile.GetFunctionCount(), 0u);
   EXPECT_EQ(profile.GetLineCount(), 0u);
   EXPECT_STREQ(profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS), "");
}

INSTANTIATE_TEST_SUITE_P(FastPaths, Profiled, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Off" : "On"; });

// What the fast paths change is how fast, never what the profile counts.
TEST(ProfiledFastPaths, CountTheSameWithAndWithout)
{
   std::string counted[2];
   for (int off = 0; off < 2; off++)
   {
      std::unique_ptr<ORVA_Program> program(CompileOnPaths(kNested, off != 0));
      ASSERT_NE(program, nullptr);
      ORVA_Profile profile;
      ASSERT_EQ(RunWith(program.get(), &profile).rc, 0);
      counted[off] = profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS);
      ORVA_ProfileRow row;
      for (uint32 i = 0; profile.GetLineRow(i, &row); i++)
         counted[off] += std::string(row.function) + ':' + std::to_string(row.line) + ' ' +
                         std::to_string(row.calls) + ' ' + std::to_string(row.selfInstructions) + '\n';
   }
   EXPECT_EQ(counted[0], counted[1]);
}

// A module's functions are named with their module, and a run nested in a
// host function (here with the same profile, which is busy) leaves the
// outer run's counts whole.
ORVA_Profile *g_sharedProfile = nullptr;
ORVA_Program *g_nestedProgram = nullptr;

int RunNested(int, ORVA_Value **, ORVA_Value **result)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->SetProfile(g_sharedProfile);
   const int rc = g_nestedProgram->Run(env, 0, nullptr, nullptr, nullptr);
   *result = new ORVA_Value(rc);
   return 0;
}

TEST(ProfiledModules, NameTheModuleAndANestedRunLeavesTheProfileAlone)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "tools", Compile("sub twice(x) { return helper(x) * 2; }\n"
                                                   "sub helper(x) { return x + 1; }\n")),
             1);
   std::unique_ptr<ORVA_Program> program(Compile("use tools;\nsub main() { nested(); return twice(4); }\n"));
   std::unique_ptr<ORVA_Program> nested(Compile("sub main() { i = 0; while (i < 50) i++; }\n"));
   ASSERT_NE(program, nullptr);
   ASSERT_NE(nested, nullptr);
   ORVA_Profile profile;
   g_sharedProfile = &profile;
   g_nestedProgram = nested.get();
   ORVA_ExtFunction functions[] = {{"nested", RunNested, 0}};
   ORVA_Environment *env = new ORVA_Environment();
   env->SetLibrary(&library);
   env->RegisterFunctionSet(1, functions);
   env->SetProfile(&profile);
   ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0) << program->GetErrorText();
   EXPECT_STREQ(program->GetResult()->GetValueAsCString(), "10");

   EXPECT_EQ(profile.GetRunCount(), 1u);
   auto rows = FunctionRows(profile);
   ASSERT_EQ(rows.size(), 3u);
   EXPECT_STREQ(rows["twice"].module, "tools");
   EXPECT_STREQ(rows["helper"].module, "tools");
   EXPECT_STREQ(rows["main"].module, "");
   const auto stacks = FoldedStacks(profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS));
   EXPECT_EQ(stacks.count("main;twice (module tools);helper (module tools)"), 1u)
      << profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS);
   // The nested run's 50 rounds are not in main's instructions.
   EXPECT_LT(rows["main"].selfInstructions, 50u);
}

}
