// The memory ceiling a host sets on a run: runaway growth of every kind is
// stopped with the cause and the line, nothing leaks (the sanitizer build
// checks), and the program runs again afterwards.
#include "orva.h"
#include "support/memory.h"
#include "test_util.h"
#include "vm/vm.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace
{
struct Outcome
{
   int rc;
   std::string error;
   std::string output;
};

// Runs the program once with a ceiling (0: none) and what it printed.
Outcome RunWithCeiling(ORVA_Program *program, uint64 ceiling, ORVA_Value *argument = nullptr)
{
   char *printed = nullptr;
   size_t printedSize = 0;
   FILE *out = open_memstream(&printed, &printedSize);
   ORVA_Environment *env = new ORVA_Environment();
   env->SetIO(stdin, out);
   env->SetMemoryLimit(ceiling);
   ORVA_Value **argv = nullptr;
   if (argument != nullptr)
      argv = &argument;
   Outcome o;
   o.rc = program->Run(env, argument != nullptr ? 1 : 0, argv, nullptr, nullptr);
   o.error = (o.rc != 0 && program->GetErrorText() != nullptr) ? program->GetErrorText() : "";
   fclose(out);
   o.output.assign(printed, printedSize);
   free(printed);
   return o;
}

using orva_test::Compile;
}

// Texts, arrays and recursion each grow until the ceiling refuses them; the
// stop names the cause and the line that asked, and the same program, given
// a ceiling it fits in, then runs to the end.
TEST(MemoryLimit, RunawayGrowthStopsAtTheCeilingAndTheProgramRunsAgain)
{
   const struct
   {
      const char *what;
      const char *source;
      int line;
   } cases[] = {
      {"text", "sub main(n) {\n s = \"x\";\n while (length(s) < n)\n  s = s . s;\n return length(s);\n}\n", 4},
      {"array", "sub main(n) {\n array a;\n i = 0;\n while (i < n) {\n  a[i] = \"element\" . i;\n  i++;\n }\n return i;\n}\n", 5},
      {"numbers", "sub main(n) {\n array a;\n i = 0;\n while (i < n) {\n  a[i] = 0;\n  i++;\n }\n return i;\n}\n", 5},
      {"recursion", "sub f(k, n) {\n if (k >= n) return k;\n return f(k + 1, n);\n}\nsub main(n) {\n return f(0, n);\n}\n", 3},
   };
   for (const auto &c : cases)
   {
      SCOPED_TRACE(c.what);
      ORVA_Program *program = Compile(c.source);
      ASSERT_NE(program, nullptr);
      Outcome stopped = RunWithCeiling(program, 1 << 20, new ORVA_Value(static_cast<int32>(1 << 22)));
      EXPECT_EQ(stopped.rc, -1);
      EXPECT_EQ(program->GetStopReason(), ORVA_STOP_MEMORY);
      EXPECT_EQ(stopped.error.rfind("Error in line ", 0), 0u) << stopped.error;
      EXPECT_NE(stopped.error.find(": Memory limit reached"), std::string::npos) << stopped.error;
      // Loops are checked where they jump back: the line is within the loop.
      int line = 0;
      sscanf(stopped.error.c_str(), "Error in line %d", &line);
      EXPECT_GE(line, 2);
      EXPECT_LE(line, c.line);

      Outcome again = RunWithCeiling(program, 1 << 20, new ORVA_Value(static_cast<int32>(1000)));
      EXPECT_EQ(again.rc, 0) << again.error;
      EXPECT_EQ(program->GetStopReason(), ORVA_STOP_NONE);
      Outcome unlimited = RunWithCeiling(program, 0, new ORVA_Value(static_cast<int32>(1 << 14)));
      EXPECT_EQ(unlimited.rc, 0) << unlimited.error;
      delete program;
   }
}

// Rings of arrays made and dropped in a loop are collected as the run goes:
// 200,000 of them (some 80 MB if they stayed) fit under a ceiling of 4 MB,
// and an array holding itself when the run ends is freed with it.
TEST(MemoryLimit, ArrayRingsAreCollectedDuringTheRun)
{
   ORVA_Program *program = Compile("sub ring() {\n array a;\n array b;\n a[0] = b;\n b[0] = a;\n return 0;\n}\n"
                                   "sub main(n) {\n i = 0;\n while (i++ < n)\n  ring();\n"
                                   " array last;\n last[0] = last;\n return i;\n}\n");
   ASSERT_NE(program, nullptr);
   Outcome o = RunWithCeiling(program, 4 << 20, new ORVA_Value(static_cast<int32>(200000)));
   EXPECT_EQ(o.rc, 0) << o.error;
   delete program;
}

// A text that would pass the longest text a value can hold stops the run
// rather than leaving the text as it was; so do left(), right() and d2x()
// asked for a width the ceiling cannot hold, before they allocate it.
TEST(MemoryLimit, OverlongTextsStopTheRun)
{
   extern uint32 g_orvaTextLimit;
   const uint32 saved = g_orvaTextLimit;
   g_orvaTextLimit = 1000;
   ORVA_Program *program = Compile("sub main() {\n s = \"abcdefghij\";\n while (1)\n  s = s . s;\n}\n");
   ASSERT_NE(program, nullptr);
   Outcome o = RunWithCeiling(program, 0);
   g_orvaTextLimit = saved;
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.error, "Error in line 4: Text too long");
   EXPECT_EQ(program->GetStopReason(), ORVA_STOP_MEMORY);
   delete program;

   for (const char *call : {"left(\"a\", 2147483647)", "right(\"a\", 2147483000, \"*\")", "d2x(255, 2147483647)",
                            "d2x(255, -2147483647)"})
   {
      SCOPED_TRACE(call);
      std::string source = std::string("sub main() {\n x = 1;\n print ") + call + ";\n}\n";
      program = Compile(source.c_str());
      ASSERT_NE(program, nullptr);
      o = RunWithCeiling(program, 16 << 20);
      EXPECT_EQ(o.rc, -1);
      EXPECT_EQ(o.error, "Error in line 3: Memory limit reached");
      EXPECT_EQ(o.output, "");
      delete program;
   }
   program = Compile("sub main() {\n return length(d2x(255, 300)) . left(\"ab\", 3, \"*\");\n}\n");
   o = RunWithCeiling(program, 16 << 20);
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_STREQ(program->GetResult()->GetValueAsCString(), "300ab*");
   delete program;
}

// The program's tables (its code, functions, modules) grow as a run links
// and compiles modules: the growth is counted under the run's ceiling, a
// refusal leaves the table as it was, and giving the table back gives the
// bytes back.
TEST(MemoryLimit, ProgramTablesGrowUnderTheCeiling)
{
   ORVA_MemoryBudget budget;
   budget.limit = 4000;
   ORVA_BudgetScope scope(&budget);

   uint64 *table = nullptr;
   uint32 count = 0;
   while (count < 256)
   {
      ASSERT_TRUE(ReserveForAppend(table, count));
      table[count] = count;
      count++;
   }
   EXPECT_EQ(budget.held, 256 * sizeof(uint64));
   EXPECT_EQ(budget.refused, 0);

   // 512 entries would pass the ceiling: refused, the table unchanged.
   EXPECT_FALSE(ReserveForAppend(table, count));
   EXPECT_EQ(budget.refused, MEMORY_OVER_LIMIT);
   EXPECT_EQ(table[255], 255u);
   EXPECT_EQ(budget.held, 256 * sizeof(uint64));

   ReleaseAppended(table, count);
   EXPECT_EQ(budget.held, 0u);
}
