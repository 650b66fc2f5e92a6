/*
 * Bounded runs: instruction and time limits and Stop() end a runaway
 * script with the right reason and line, and leave the program ready to
 * run again.  Every case runs with and without the fast paths, which must
 * stop at the same places.
 */
#include "vm/engine.h"
#include "both_paths.h"

#include <gtest/gtest.h>

#include <cstring>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace
{

struct Outcome
{
   int rc;
   int reason;
   std::string text;   // the result, or the error text
};

using orva_test::Compile;

Outcome RunMain(ORVA_Program *program, ORVA_Environment *env, int32 argument)
{
   ORVA_Value *argv[1] = {new ORVA_Value(argument)};
   Outcome o;
   o.rc = program->Run(env, 1, argv, nullptr, nullptr);
   o.reason = program->GetStopReason();
   if (o.rc != 0)
      o.text = (program->GetErrorText() != nullptr) ? program->GetErrorText() : "";
   else if (program->GetResult() != nullptr)
      o.text = program->GetResult()->GetValueAsCString();
   return o;
}

ORVA_Environment *Limited(uint64 instructions, uint32 milliseconds = 0)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->SetInstructionLimit(instructions);
   env->SetTimeLimit(milliseconds);
   return env;
}

/* A script whose main(n) runs away for a big n and ends with a small one. */
const char *const kRefusedMatch = " (the match was refused: its worst case could pass the limit)";

struct Runaway
{
   const char *name;
   const char *source;
   int32 small;
   const char *smallResult;
   int32 big;
   uint64 limit;
   int line;   // where the stop is reported
};

const Runaway g_runaways[] = {
   {"loop", "sub main(n) {\n  i = 0;\n  while (i < n) {\n    i++;\n  }\n  return i;\n}\n", 10, "10", 2000000000,
    100000, 3},
   {"recursion",
    "sub ack(m, n) {\n  if (m == 0) return n + 1;\n  if (n == 0) return ack(m - 1, 1);\n"
    "  return ack(m - 1, ack(m, n - 1));\n}\nsub main(k) { return ack(k, 3); }\n",
    2, "9", 4, 1000000, 4},
   // Doubling a text: the loop runs 25 times, the copies are what costs.
   {"text growth",
    "sub main(n) {\n  s = \"x\";\n  while (n-- > 0)\n    s = s . s;\n  return length(s);\n}\n", 4, "16",
    40, 1000000, 4},
   {"array growth",
    "sub main(n) {\n  array a;\n  i = 0;\n  while (i < n) {\n    a[i] = i++;\n  }\n  b = a;\n  return b[n - 1];\n}\n",
    100, "99", 2000000000, 300000, 4},
   // Back-references on a long subject: the match itself would take minutes.
   {"pattern",
    "sub main(n) {\n  s = \"\";\n  while (n-- > 0) s = s . \"ab\";\n"
    "  if (s match \"^(a|b|ab)*(\\1)*c$\") return 1;\n  return (s . \"c\") match \"^(a|b|ab)*c$\";\n}\n",
    20, "1", 2000, 10000000, 4},
};

class Limits : public BothPaths
{
};

TEST_P(Limits, RunawayScriptsStopWithReasonAndLineAndRunAgain)
{
   for (const Runaway &r : g_runaways)
   {
      SCOPED_TRACE(r.name);
      ORVA_Program *program = Prepared(r.source);
      ASSERT_NE(program, nullptr);
      const auto started = std::chrono::steady_clock::now();
      Outcome stopped = RunMain(program, Limited(r.limit), r.big);
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
      EXPECT_EQ(stopped.rc, -1);
      EXPECT_EQ(stopped.reason, ORVA_STOP_INSTRUCTIONS);
      // A match is refused before it starts, and the text says so.
      const std::string refused = strcmp(r.name, "pattern") == 0 ? kRefusedMatch : "";
      EXPECT_EQ(stopped.text, "Error in line " + std::to_string(r.line) + ": Instruction limit reached" + refused);
      EXPECT_EQ(program->GetResult(), nullptr);

      // The same program, the same limit: a small case completes, and the
      // stop of the last run is forgotten.
      Outcome again = RunMain(program, Limited(r.limit), r.small);
      EXPECT_EQ(again.rc, 0) << again.text;
      EXPECT_EQ(again.reason, ORVA_STOP_NONE);
      EXPECT_EQ(again.text, r.smallResult);
      Outcome unlimited = RunMain(program, nullptr, r.small);
      EXPECT_EQ(unlimited.text, r.smallResult);
      delete program;
   }
}

TEST_P(Limits, TheBudgetIsAnUpperBoundOnInstructionsRun)
{
   // One pass of the loop is at most its length: a limit of n passes' worth
   // lets n passes finish and stops the run before twice as many.
   ORVA_Program *program = Prepared("sub main(n) {\n  i = 0;\n  while (i < n) {\n    i++;\n  }\n  return i;\n}\n");
   ASSERT_NE(program, nullptr);
   uint64 unitsFor1000 = 0;
   for (uint64 limit = 1000; limit < 100000 && unitsFor1000 == 0; limit += 100)
      if (RunMain(program, Limited(limit), 1000).rc == 0)
         unitsFor1000 = limit;
   ASSERT_NE(unitsFor1000, 0u);
   EXPECT_EQ(RunMain(program, Limited(unitsFor1000), 2000).reason, ORVA_STOP_INSTRUCTIONS);
   EXPECT_EQ(RunMain(program, Limited(2 * unitsFor1000 + 100), 2000).rc, 0);
   delete program;
}

TEST_P(Limits, TimeLimitEndsAnEndlessLoopAndACostlyPattern)
{
   ORVA_Program *loop = Prepared("sub main(n) {\n  while (1) { n++; }\n}\n");
   ASSERT_NE(loop, nullptr);
   const auto started = std::chrono::steady_clock::now();
   Outcome o = RunMain(loop, Limited(0, 50), 0);
   const auto took = std::chrono::steady_clock::now() - started;
   EXPECT_EQ(o.reason, ORVA_STOP_TIME);
   EXPECT_EQ(o.text, "Error in line 2: Time limit reached");
   EXPECT_GE(took, std::chrono::milliseconds(50));
   EXPECT_LT(took, std::chrono::seconds(10));
   delete loop;

   // The match cannot be interrupted: it is refused before it starts.
   ORVA_Program *pattern = Prepared(g_runaways[4].source);
   ASSERT_NE(pattern, nullptr);
   o = RunMain(pattern, Limited(0, 2000), 2000);
   EXPECT_EQ(o.reason, ORVA_STOP_TIME);
   EXPECT_EQ(o.text, std::string("Error in line 4: Time limit reached") + kRefusedMatch);
   delete pattern;
}

TEST_P(Limits, WithoutLimitsAndWithinThemNothingChanges)
{
   const char *source = "sub f(x) { return x * 2; }\nsub main(n) {\n  s = \"\";\n"
                        "  i = 0;\n  while (i < n) { s = s . f(i); print i++; }\n"
                        "  if (s match \"^(0)(2)\") print \"[\" . $1 . $2 . \"]\";\n  return s;\n}\n";
   ORVA_Program *program = Prepared(source);
   ASSERT_NE(program, nullptr);
   std::string outputs[2];
   for (int limited = 0; limited < 2; limited++)
   {
      char *buffer = nullptr;
      size_t size = 0;
      FILE *stream = open_memstream(&buffer, &size);
      ORVA_Environment *env = limited ? Limited(1000000, 60000) : new ORVA_Environment();
      env->SetIO(stdin, stream);
      Outcome o = RunMain(program, env, 12);
      fclose(stream);
      EXPECT_EQ(o.rc, 0) << o.text;
      EXPECT_EQ(o.reason, ORVA_STOP_NONE);
      EXPECT_EQ(o.text, "0246810121416182022");
      outputs[limited] = std::string(buffer, size);
      free(buffer);
   }
   EXPECT_EQ(outputs[0], "01234567891011[02]");
   EXPECT_EQ(outputs[1], outputs[0]);

   // An error is not a stop: its code and text stay as they were.
   ORVA_Program *failing = Prepared("sub main(n) {\n  return nowhere(n);\n}\n");
   Outcome o = RunMain(failing, Limited(1000), 1);
   EXPECT_EQ(o.reason, ORVA_STOP_NONE);
   EXPECT_EQ(o.text, "Error 11 in line 2: Function not found");
   delete failing;
   delete program;
}

/* A host function that tells the test the script has started looping. */
std::atomic<int> g_looping{0};
int Looping(int, ORVA_Value **, ORVA_Value **result)
{
   g_looping.store(1);
   *result = new ORVA_Value(1);
   return 0;
}

TEST_P(Limits, StopFromAnotherThreadEndsTheRunAndIsNotKeptForTheNext)
{
   ORVA_Program *program = Prepared("sub main(n) {\n  looping();\n  while (n > 0) {\n    n++;\n  }\n  return n;\n}\n");
   ASSERT_NE(program, nullptr);
   ORVA_ExtFunction functions[] = {{"looping", Looping, 0}};

   // A request made while nothing runs is dropped.
   program->Stop();
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(1, functions);
   EXPECT_EQ(RunMain(program, env, 0).text, "0");

   g_looping.store(0);
   std::thread stopper([&] {
      while (g_looping.load() == 0)
         std::this_thread::yield();
      program->Stop();
   });
   env = new ORVA_Environment();
   env->RegisterFunctionSet(1, functions);
   Outcome o = RunMain(program, env, 1);
   stopper.join();
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.reason, ORVA_STOP_REQUESTED);
   EXPECT_EQ(o.text, "Error in line 3: Run stopped");

   env = new ORVA_Environment();
   env->RegisterFunctionSet(1, functions);
   o = RunMain(program, env, -5);
   EXPECT_EQ(o.reason, ORVA_STOP_NONE);
   EXPECT_EQ(o.text, "-5");
   delete program;
}

INSTANTIATE_TEST_SUITE_P(Paths, Limits, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) { return info.param ? "Plain" : "Fast"; });

} // namespace
