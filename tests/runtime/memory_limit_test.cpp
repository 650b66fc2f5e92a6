// The memory ceiling a host sets on a run: runaway growth of every kind is
// stopped with the cause and the line, nothing leaks (the sanitizer build
// checks), and the program runs again afterwards.
#include "orva.h"

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

ORVA_Program *Compile(const char *source)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   EXPECT_NE(program, nullptr) << error;
   return program;
}
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
