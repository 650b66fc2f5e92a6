// Programs running in parallel, each thread with its own programs and
// environments: the built-ins (times, the TIME class, regular expressions,
// addresses), the extension functions, arrays and modules loaded from files
// must give every thread what one thread alone gets.
#include "threads_test_util.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace
{
const char kWorkload[] =
   "use calendar;\n"
   "sub main(n)\n"
   "{\n"
   "   line = \"12:00:0\" . (n % 10) . \" INFO web: took \" . (n * 7) . \" ms\";\n"
   "   out = \"\";\n"
   "   if (line match \"^([0-9:]+) +([A-Z]+) +([a-z]+): took ([0-9]+) ms$\")\n"
   "      out = $2 . \"/\" . $3 . \"/\" . ($4 + 1);\n"
   "   out = out . (line imatch \"info\") . (line like \"*took*\") . (line ~= \"x{2,}\");\n"
   "   t = gmtime(1700000000 + n * 86400);\n"
   "   out = out . \" \" . t->year . \"-\" . t->mon . \"-\" . t->mday . \" \" . classof(localtime(n))\n"
   "      . \" \" . strftime(\"%Y-%m-%d %H:%M\", 1700000000 + n * 61, 0) . \" \" . weekday(n);\n"
   "   out = out . \" \" . d2x(n * 255, 6) . \" \" . upper(substr(\"threads\", 1, 3))\n"
   "      . \" \" . SecondsToUptime(n * 3601) . \" \" . AddrInSubnet(\"10.1.2.\" . (n % 250), \"10.1.0.0\", \"255.255.0.0\");\n"
   "   array a;\n"
   "   i = 0; s = 0;\n"
   "   while (i < 50) { a[i] = i * n; s = s + a[i]; i++; }\n"
   "   out = out . \" \" . s . \" \" . pow(2, n % 20) . \" \" . (n / 3) . \" \" . (time() > 0);\n"
   "   array parts;\n"
   "   split(\"a,b,\" . n, \",\", parts);\n"
   "   return out . \" \" . join(parts, \"-\") . \" \" . format(\"%05d|%.2f\", n, sqrt(n)) . \" \" . count(a);\n"
   "}\n";

const char kCalendar[] = "sub weekday(t) { return strftime(\"%A\", t * 86400, 0); }\n";

std::string RunWorkload(ORVA_Program *program, int n)
{
   ORVA_Environment *env = new ORVA_Environment();
   ORVARegisterExtensions(env, ORVA_EXT_PURE);
   return RunMain(program, env, new ORVA_Value(static_cast<int32>(n)));
}

// A fresh directory holding the module file, current while the test runs.
class ThreadsWithModuleFiles : public ::testing::Test
{
protected:
   void SetUp() override
   {
      m_oldDir = std::filesystem::current_path().string();
      m_dir = orva_test::MakeScratchDir("orva_threads_").string();
      ASSERT_FALSE(m_dir.empty());
      std::ofstream(m_dir + "/calendar.orva") << kCalendar;
      std::filesystem::current_path(m_dir);
   }
   void TearDown() override
   {
      std::filesystem::current_path(m_oldDir);
      std::filesystem::remove_all(m_dir);
   }
   std::string m_oldDir, m_dir;
};
}

TEST_F(ThreadsWithModuleFiles, ProgramsWithTheirOwnEnvironmentsRunInParallel)
{
   const int kThreads = 4, kRuns = 60;
   std::vector<std::string> expected;
   ORVA_Program *reference = Compile(kWorkload);
   ASSERT_NE(reference, nullptr);
   for (int i = 0; i < kRuns; i++)
      expected.push_back(RunWorkload(reference, i));
   delete reference;
   ASSERT_EQ("INFO/web/1110 2023-10-14 TIME 2023-11-14 22:13 Thursday 000000 THR 0 days,  0:00 1 0 "
             "1.000000 0.000000 1 a-b-0 00000|0.00 50",
             expected[0]);

   std::vector<std::vector<std::string>> results(kThreads);
   std::vector<std::thread> threads;
   for (int t = 0; t < kThreads; t++)
      threads.emplace_back([t, &results]() {
         // Each thread compiles its own program, and some runs in between.
         ORVA_Program *program = Compile(kWorkload);
         for (int i = 0; i < kRuns; i++)
         {
            results[t].push_back(RunWorkload(program, i));
            if (i % 20 == t)
            {
               delete program;
               program = Compile(kWorkload);
            }
         }
         delete program;
      });
   for (std::thread &thread : threads)
      thread.join();

   for (int t = 0; t < kThreads; t++)
      EXPECT_EQ(expected, results[t]) << "thread " << t;
}
