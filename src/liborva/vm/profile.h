/*
 * The profiler's side of a run.  A run with a profile gives itself no fuel
 * between looks at its limits, so every checkpoint (a backward jump, a
 * call) and every charge of work outside the loop comes here; a run
 * without one never does, and pays nothing for the profiler.
 *
 * Each visit opens an interval at the run's position (the stack of
 * functions, and the line of the innermost) and closes the one before:
 * the time it took and the units the checkpoint charged go to the
 * position it opened at.  A call's checkpoint stands before its frame is
 * made, so its position is the callee's entry: the units it charges are
 * the callee's straight-line code, and the code up to the callee's next
 * checkpoint (or its return and the caller's code after it) is its time.
 */
#ifndef ORVA_PROFILE_H
#define ORVA_PROFILE_H

#include "orva.h"

#include <chrono>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

struct ORVA_RunLimits;

/* What a profile keeps, summed over the runs it saw. */
struct ORVA_ProfileBody
{
   struct Counts
   {
      uint64 calls = 0;
      uint64 selfUnits = 0;
      uint64 totalUnits = 0;
      uint64 selfNanos = 0;
      uint64 totalNanos = 0;
      uint64 stamp = 0;   // the last interval counted in the totals: recursion counts once
   };
   struct Function : Counts
   {
      std::string name;
      std::string module;   // "" for the script's own
   };
   struct Line : Counts
   {
      uint32 function = 0;
      int line = 0;
   };
   // The call tree by function, for folded stacks: node 0 is the root.
   struct Node
   {
      uint32 function = 0;
      uint32 parent = 0;
      uint64 selfUnits = 0;
      uint64 selfNanos = 0;
   };

   std::deque<Function> functions;   // a deque: the names' texts never move
   std::unordered_map<std::string, uint32> functionIds;   // by name, '\0', module
   std::vector<Line> lines;
   std::unordered_map<uint64, uint32> lineIds;            // by function << 32 | line
   std::vector<Node> nodes{Node()};
   std::unordered_map<uint64, uint32> children;           // by parent << 32 | function
   uint64 stamp = 0;
   uint32 runs = 0;

   // Made when asked for, dropped when a run adds to the profile.
   mutable std::vector<uint32> functionOrder;
   mutable std::vector<uint32> lineOrder;
   mutable std::string folded[2];
   mutable bool foldedMade[2] = {false, false};

   // The run under way, if any.
   struct Level
   {
      uint32 entry;      // the frame's function address
      uint32 site;       // its position: the call it makes, or where the run stands
      uint32 function;
      uint32 line;       // row in lines
      uint32 node;
   };
   ORVA_Engine *engine = nullptr;
   std::unordered_map<uint32, uint32> functionAt;   // by entry address, for this run's code
   std::vector<Level> levels;                       // the open interval's position, outermost first
   uint64 pendingUnits = 0;                         // what its checkpoint charged
   uint64 spentBefore = 0;                          // the run's units at the last visit
   std::chrono::steady_clock::time_point openedAt;
};

/*
 * Begin: the run of engine, whose limits are current, reports to profile
 * from now on (nothing happens when profile is null or busy with another
 * run).  Visit: the run reached a checkpoint; its units spent so far are
 * counted.  End: the run is over, after spent units in all.
 */
void BeginProfiling(ORVA_RunLimits *limits, ORVA_Profile *profile, ORVA_Engine *engine);
void VisitProfile(ORVA_RunLimits *limits);
void EndProfiling(ORVA_RunLimits *limits, uint64 spent);

#endif
