#include "interrupt.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace orva_cli
{

namespace
{

std::atomic<ORVA_Program *> s_running{nullptr};
std::atomic<ORVA_Debugger *> s_debugging{nullptr};
volatile sig_atomic_t s_interrupted = 0;
bool s_errorsToTerminal = false;
void (*s_hook)() = nullptr;

void OnInterrupt(int)
{
   ORVA_Program *program = s_running.load();
   ORVA_Debugger *debugger = s_debugging.load();
   if (debugger != nullptr && s_interrupted == 0)
      debugger->RequestPause();   // an atomic store: nothing else happens here
   else if (program != nullptr || debugger != nullptr)
   {
      if (s_interrupted != 0)
      {
         // The first request went unheard: leave as the default would.
         signal(SIGINT, SIG_DFL);
         raise(SIGINT);
         return;
      }
      if (program != nullptr)
         program->Stop();
      // The terminal echoed ^C where the cursor was; the report of the stop
      // starts on a line of its own.
      if (s_errorsToTerminal && write(STDERR_FILENO, "\n", 1) < 0)
         s_interrupted = 1;
   }
   else if (s_hook != nullptr)
   {
      s_hook();
   }
   s_interrupted = 1;
}

}

void CatchInterrupts()
{
   // A command started with Ctrl-C ignored (in the background of a shell
   // without job control) keeps ignoring it.
   struct sigaction current;
   if (sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
      return;
   s_errorsToTerminal = isatty(STDERR_FILENO) != 0;
   struct sigaction action;
   memset(&action, 0, sizeof(action));
   action.sa_handler = OnInterrupt;
   sigemptyset(&action.sa_mask);
   // No SA_RESTART: a read waiting for a line gives up, so the prompt (and a
   // script's readline) sees the interruption at once.
   action.sa_flags = 0;
   sigaction(SIGINT, &action, nullptr);
}

void SetInterruptHook(void (*hook)())
{
   s_hook = hook;
}

bool TakeInterrupt()
{
   bool was = s_interrupted != 0;
   s_interrupted = 0;
   return was;
}

void WatchDebuggedRun(ORVA_Debugger *debugger)
{
   s_interrupted = 0;
   s_debugging.store(debugger);
}

WatchedRun::WatchedRun(ORVA_Program *program)
{
   s_interrupted = 0;
   s_running.store(program);
}

WatchedRun::~WatchedRun()
{
   s_running.store(nullptr);
}

}
