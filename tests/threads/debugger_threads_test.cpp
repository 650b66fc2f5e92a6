// A pause requested from another thread while a script runs, and a
// breakpoint set from that thread while the run waits: the run pauses at a
// line start and later stops at the breakpoint.
#include "threads_test_util.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace
{

class Pauser : public ORVA_Debugger
{
public:
   std::atomic<bool> paused{false};
   std::vector<int> reasons;
   std::vector<int> lines;

   int OnPause(int reason) override
   {
      int line = 0;
      GetFrame(0, nullptr, &line, nullptr);
      reasons.push_back(reason);
      lines.push_back(line);
      paused = true;
      if (reason == ORVA_PAUSE_REQUESTED)
         std::this_thread::sleep_for(std::chrono::milliseconds(300));   // the other thread sets a breakpoint
      return (reason == ORVA_PAUSE_BREAKPOINT) ? ORVA_RESUME_STOP : ORVA_RESUME_CONTINUE;
   }
};

TEST(DebuggerThreads, APauseRequestedFromAnotherThreadAndABreakpointSetWhileWaiting)
{
   const char *source = "sub main()\n"
                        "{\n"
                        "   i = 0;\n"
                        "   while (i < 400000)\n"
                        "      i++;\n"
                        "   j = 0;\n"
                        "   while (j >= 0)\n"
                        "      j++;\n"
                        "}\n";
   char error[256];
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   ASSERT_NE(program, nullptr) << error;
   Pauser debugger;
   ORVA_Environment *env = new ORVA_Environment();
   env->SetTimeLimit(60000);
   env->SetDebugger(&debugger);
   std::thread host([&]() {
      // A request made before the run is under way is dropped: ask until it pauses.
      while (!debugger.paused)
      {
         debugger.RequestPause();
         std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      debugger.SetBreakpoint(nullptr, 8);
   });
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   host.join();
   ASSERT_EQ(debugger.reasons.size(), 2u);
   EXPECT_EQ(debugger.reasons[0], ORVA_PAUSE_REQUESTED);
   EXPECT_GE(debugger.lines[0], 3);
   EXPECT_LE(debugger.lines[0], 8);
   EXPECT_EQ(debugger.reasons[1], ORVA_PAUSE_BREAKPOINT);
   EXPECT_EQ(debugger.lines[1], 8);
   EXPECT_EQ(program->GetStopReason(), ORVA_STOP_REQUESTED);
   delete program;
}

}
