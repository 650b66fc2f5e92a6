// The extension functions when the heap says no: for each script, the Nth
// block asked for fails, for N = 1, 2, ... until the run completes, once and
// then for good from N on.  Every run must end with its normal result or a
// clean stop, and leak nothing (the sanitizer build checks the leaks).
#include "orva.h"
#include "test_util.h"
#include "support/memory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace
{

// The heap's countdown: the Nth block asked for fails, and every one after
// it while failing for good.
uint64 g_failAt = 0;
bool g_failForGood = false;

bool HeapFails()
{
   if (g_failAt == 0)
      return false;
   if (g_failAt > 1)
   {
      g_failAt--;
      return false;
   }
   if (!g_failForGood)
      g_failAt = 0;
   return true;
}

struct Outcome
{
   int rc;
   int reason;
   std::string output;
   std::string error;
};

Outcome RunOnce(const std::string &body, uint64 failAt, bool forGood)
{
   Outcome o{-9, ORVA_STOP_NONE, "", ""};
   std::string source = orva_test::MainOf(body);
   char error[512] = "";
   std::unique_ptr<ORVA_Program> program(ORVACompile(source.c_str(), error, sizeof(error)));
   if (!program)
   {
      o.error = error;
      return o;
   }
   FILE *out = tmpfile();
   ORVA_Environment *env = new ORVA_Environment();
   env->SetIO(nullptr, out);
   ORVARegisterExtensions(env, ORVA_EXT_PURE | ORVA_EXT_IO);
   // A ceiling far above what the scripts take: the budget is counted, so
   // that what the heap refuses stops the run as a refusal does.
   env->SetMemoryLimit(uint64(1) << 40);
   g_failAt = failAt;
   g_failForGood = forGood;
   g_orvaFailAllocation = HeapFails;
   o.rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   g_orvaFailAllocation = nullptr;
   g_failAt = 0;
   g_failForGood = false;
   o.reason = program->GetStopReason();
   o.error = program->GetErrorText() != nullptr ? program->GetErrorText() : "";
   o.output = orva_test::ReadAll(out);
   fclose(out);
   return o;
}

// Scripts that reach every extension function and what they allocate.  The
// scripts store into arrays through the functions only: a refused store by
// the script itself is the interpreter's business, tested with the core.
const char *const kScripts[] = {
   "array a; n = split(\"a,b,,c,\" . left(\"\", 200, \"d\"), \",\", a); println n . a[2] . join(a, \"-\");",
   "println replace(\"abcabcabc\", \"b\", \"XYZ\") . index(\"hello world\", \"wor\") . trim(\"  x  \");",
   "println format(\"%5d|%-8s|%08.3f|%x|%c|%%\", 42, \"ab\", 3.25, 255, 65) . ord(\"A\") . chr(66);",
   "array a; split(\"c,2.5,b,,10\", \",\", a); n = sort(a); println n . a[1] . a[4] . count(a);",
   "println sqrt(16) . floor(2.5) . round(2.5) . atan2(1, 1);",
   "t = readfile(\"/nonexistent/file\"); println typeof(t) . typeof(getenv(\"\"));",
   "i = 0; while (i < 50) { t = gmtime(i * 86400); u = t; i++; } println t->mday . u->year;",
   "t = \"2024-01-02 x\"; if (t match \"([0-9]+)-([0-9]+)\") println $1 . $2; println t imatch \"X$\";",
};

TEST(ExtAllocFailure, EveryFailurePointEndsCleanly)
{
   int total = 0;
   for (const char *script : kScripts)
   {
      const Outcome normal = RunOnce(script, 0, false);
      ASSERT_EQ(normal.rc, 0) << script << ": " << normal.error;
      for (int forGood = 0; forGood < 2; forGood++)
      {
         int points = 0;
         for (uint64 n = 1; n < 100000; n++)
         {
            const Outcome o = RunOnce(script, n, forGood != 0);
            if (o.rc == 0)
               break;   // no block failed any more: the run went through
            points++;
            EXPECT_EQ(o.rc, -1) << script;
            EXPECT_EQ(o.reason, ORVA_STOP_MEMORY) << script << " (block " << n << "): " << o.error;
            EXPECT_NE(o.error.find("Out of memory"), std::string::npos) << script << " (block " << n << "): " << o.error;
         }
         EXPECT_GT(points, 0) << script << ": no allocation failed";
         total += points;
      }
   }
   RecordProperty("failure_points", total);
   printf("%d failure points, every one ended cleanly\n", total);
}

}
