// Hosts that share one script library between threads, holding its lock.
#include "threads_test_util.h"

#include <string>
#include <thread>
#include <vector>

TEST(ScriptLibraryThreads, TwoHostsShareOneLibraryUnderItsLock)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "mathlib",
                               Compile("sub square(x) { return x * x; }\nsub cube(x) { return square(x) * x; }\n")),
             1);
   ASSERT_EQ(library.AddScript(2, "words", Compile("sub shout(s) { return upper(s) . \"!\"; }\n")), 1);

   auto host = [&library](int seed, std::vector<std::string> *results) {
      ORVA_Program *program = Compile("use mathlib; use words;\n"
                                      "sub main(n) { return shout(\"n\") . cube(n) . strftime(\"-%Y\", 0, 0); }\n");
      for (int i = 0; i < 200; i++)
      {
         ORVA_Environment *env = new ORVA_Environment();
         env->SetLibrary(&library);
         library.Lock();
         results->push_back(RunMain(program, env, new ORVA_Value(static_cast<int32>(seed + i % 3))));
         library.Unlock();
      }
      delete program;
   };

   std::vector<std::string> first, second;
   std::thread a(host, 1, &first), b(host, 4, &second);
   // Meanwhile the library changes under its lock; the scripts in use stay.
   for (int i = 0; i < 50; i++)
   {
      library.Lock();
      library.AddScript(100, "scratch", nullptr);
      library.DeleteScript("scratch");
      library.Unlock();
   }
   a.join();
   b.join();

   ASSERT_EQ(first.size(), 200u);
   ASSERT_EQ(second.size(), 200u);
   for (int i = 0; i < 200; i++)
   {
      int n1 = 1 + i % 3, n2 = 4 + i % 3;
      EXPECT_EQ(first[i], "N!" + std::to_string(n1 * n1 * n1) + "-1970");
      EXPECT_EQ(second[i], "N!" + std::to_string(n2 * n2 * n2) + "-1970");
   }
}
