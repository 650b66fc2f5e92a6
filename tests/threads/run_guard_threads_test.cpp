// One program, two threads: a program runs once at a time, and a thread
// that tries to run it while it runs is refused with a text of its own,
// without disturbing the run under way (ThreadSanitizer checks the guard).
#include "threads_test_util.h"

#include <atomic>
#include <thread>

namespace
{
std::atomic<int> g_started{0};

int Started(int, ORVA_Value **, ORVA_Value **result)
{
   g_started.store(1);
   *result = new ORVA_Value(1);
   return 0;
}
}

TEST(RunGuardThreads, ASecondThreadIsRefusedWhileTheProgramRuns)
{
   ORVA_Program *program = Compile("sub main() { started(); i = 0; while (1) { i++; } }");
   ASSERT_NE(program, nullptr);
   ORVA_ExtFunction started = {"started", Started, 0};
   std::string first;
   std::thread runner([&] {
      ORVA_Environment *env = new ORVA_Environment();
      env->RegisterFunctionSet(1, &started);
      first = RunMain(program, env, nullptr);
   });
   while (g_started.load() == 0)
      std::this_thread::yield();

   // Refused here, with the reason in this thread's text.
   EXPECT_EQ(RunMain(program, new ORVA_Environment(), nullptr), "!Error in line 0: Program is already running");
   program->Stop();
   runner.join();
   EXPECT_EQ(first, "!Error in line 1: Run stopped");

   // Free again: the refused thread may run it now.
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(1, &started);
   env->SetInstructionLimit(100000);
   EXPECT_EQ(RunMain(program, env, nullptr), "!Error in line 1: Instruction limit reached");
   delete program;
}

// Threads that start runs of one program at the same moment: the runs that
// found it free go ahead, the others are refused, and every run ends
// cleanly.  (A thread reads only its return code and, refused, its own
// text: the program's result belongs to whichever run comes next.)
TEST(RunGuardThreads, SimultaneousFirstRunsAreRefusedOrRun)
{
   for (int round = 0; round < 20; round++)
   {
      ORVA_Program *program = Compile("sub main() { i = 0; while (i < 2000) { i++; } return i; }");
      ASSERT_NE(program, nullptr);
      std::atomic<int> go{0};
      int codes[4];
      std::string texts[4];
      std::thread threads[4];
      for (int t = 0; t < 4; t++)
         threads[t] = std::thread([&, t] {
            while (go.load() == 0)
               std::this_thread::yield();
            codes[t] = program->Run(new ORVA_Environment(), 0, nullptr, nullptr, nullptr);
            if (codes[t] != 0)
               texts[t] = program->GetErrorText();
         });
      go.store(1);
      int ran = 0;
      for (int t = 0; t < 4; t++)
      {
         threads[t].join();
         if (codes[t] == 0)
            ran++;
         else
            EXPECT_EQ(texts[t], "Error in line 0: Program is already running");
      }
      EXPECT_GE(ran, 1);
      delete program;
   }
}
