/*
 * A debugger's side kept by the library: what a host set on its
 * ORVA_Debugger (breakpoints, stop on entry, a pause request), and what a
 * run under the debugger keeps (the traps it set in the prepared code, the
 * step in progress, the view of a paused run).
 *
 * Breakpoints cost a run nothing until it reaches them: the first
 * operation of each watched line start is replaced by TRAP, which reports
 * and then runs the plain code of its position.  A step, an entry stop and
 * a pause request trap every line start until the stop is made; the
 * traps go when the run ends, so the prepared code kept for the next run is
 * as it was made.
 */
#ifndef ORVA_DEBUG_RUN_H
#define ORVA_DEBUG_RUN_H

#include "orva.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

struct ORVA_DebuggerBody
{
   struct Breakpoint
   {
      std::string module;   // "" for the main script
      int line;
   };
   std::mutex lock;   // guards breakpoints
   std::vector<Breakpoint> breakpoints;
   std::atomic<uint32> changes{1};   // counts changes of breakpoints, read by runs without the lock
   std::atomic<int> stopOnEntry{0};
   std::atomic<int> pauseRequest{0};
   ORVA_Engine *paused = nullptr;    // the engine of the run paused, while it is
};

/* What a step in progress waits for. */
enum ORVA_DebugMode
{
   DEBUG_RUN = 0,   // breakpoints only
   DEBUG_ENTRY,     // the first line start
   DEBUG_INTO,      // any line start
   DEBUG_OVER,      // a line start no deeper than depth
   DEBUG_OUT,       // a line start above depth
   DEBUG_PAUSE      // any line start: a pause was requested
};

struct ORVA_DebugRun
{
   ORVA_Debugger *debugger = nullptr;
   ORVA_DebuggerBody *body = nullptr;
   uint32 seenChanges = 0;                          // body->changes as last taken in
   std::vector<uint8> breakAt;                      // by address: a breakpoint holds here
   std::unordered_map<uint32, uint16_t> underTrap;  // trapped address -> the code it stands in for
   ORVA_DebugMode mode = DEBUG_RUN;
   uint32 depth = 0;                                // frames when the step began
   uint32 stepFrom = 0;                             // the address it began at

   // The view of the paused run: where it stands, the frames described so far.
   uint32 at = 0;
   struct FrameView
   {
      bool made = false;
      std::string function;
      std::string module;
      int line = 0;
      std::vector<std::pair<std::string, ORVA_Value *>> variables;
   };
   std::vector<FrameView> frames;
};

#endif
