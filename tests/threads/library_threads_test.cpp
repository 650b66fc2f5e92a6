// Hosts that share one script library between threads, holding its lock.
#include "threads_test_util.h"

#include <atomic>
#include <chrono>
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

namespace
{
std::atomic<int> g_looping{0};
int Looping(int, ORVA_Value **, ORVA_Value **result)
{
   g_looping.store(1);
   *result = new ORVA_Value(1);
   return 0;
}
} // namespace

// Run holds the library's lock only while it links: a script that loops
// for ever does not keep other hosts from the library, and Stop() from
// another thread ends it.
TEST(ScriptLibraryThreads, ALongRunDoesNotHoldTheLibraryAndStopEndsIt)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "mathlib", Compile("sub square(x) { return x * x; }\n")), 1);
   ORVA_ExtFunction looping[] = {{"looping", Looping, 0}};

   ORVA_Program *endless = Compile("use mathlib;\nsub main(n) {\n  looping();\n  while (n > 0)\n    n = square(1) + n;\n}\n");
   std::string endlessResult;
   std::atomic<int> endlessReason{-1};
   std::thread runner([&] {
      ORVA_Environment *env = new ORVA_Environment();
      env->SetLibrary(&library);
      env->RegisterFunctionSet(1, looping);
      env->SetTimeLimit(60000);   // a backstop should Stop() never arrive
      endlessResult = RunMain(endless, env, new ORVA_Value(1));
      endlessReason = endless->GetStopReason();
   });
   while (g_looping.load() == 0)
      std::this_thread::yield();

   // Other hosts link from the library and change it while the loop runs.
   ORVA_Program *user = Compile("use mathlib;\nsub main(n) { return square(n); }\n");
   std::thread other([&] {
      for (int i = 0; i < 100; i++)
         EXPECT_EQ(RunMain(user, [&] {
                      ORVA_Environment *env = new ORVA_Environment();
                      env->SetLibrary(&library);
                      return env;
                   }(),
                           new ORVA_Value(static_cast<int32>(i))),
                   std::to_string(i * i));
   });
   for (int i = 0; i < 50; i++)
   {
      library.Lock();
      library.AddScript(100, "scratch", Compile("sub f() { return 1; }\n"));
      library.DeleteScript("scratch");
      library.Unlock();
   }
   other.join();
   EXPECT_EQ(endlessReason.load(), -1);   // still looping

   endless->Stop();
   runner.join();
   EXPECT_EQ(endlessReason.load(), ORVA_STOP_REQUESTED);
   EXPECT_EQ(endlessResult, "!Error in line 4: Run stopped");
   delete user;
   delete endless;
}

// The lock is taken again by the thread that holds it, and keeps another
// thread out until every Lock has its Unlock.
TEST(ScriptLibraryThreads, TheLockIsRecursiveAndExcludesOtherThreads)
{
   ORVA_Library library;
   std::atomic<int> entered{0};
   library.Lock();
   library.Lock();
   std::thread other([&] {
      library.Lock();
      entered = 1;
      library.Unlock();
   });
   library.Unlock();
   // Still held once: the other thread cannot have entered.
   std::this_thread::sleep_for(std::chrono::milliseconds(20));
   EXPECT_EQ(entered.load(), 0);
   library.Unlock();
   other.join();
   EXPECT_EQ(entered.load(), 1);
}
