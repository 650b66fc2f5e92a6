/*
 * The profiler: a run's visits counted into a profile (see vm/profile.h).
 */
#include "vm/profile.h"
#include "vm/engine.h"

#include <new>

typedef ORVA_ProfileBody Body;

namespace
{

uint32 FunctionOf(Body *b, uint32 entry)
{
   const auto known = b->functionAt.find(entry);
   if (known != b->functionAt.end())
      return known->second;
   std::string name;
   std::string module;
   b->engine->NameFunction(entry, &name, &module);
   // Runs link modules at addresses of their own, so a function is the same
   // from run to run by its name and module alone.
   std::string key = name;
   key += '\0';
   key += module;
   uint32 id;
   const auto found = b->functionIds.find(key);
   if (found != b->functionIds.end())
      id = found->second;
   else
   {
      id = static_cast<uint32>(b->functions.size());
      b->functions.emplace_back();
      b->functions.back().name = name;
      b->functions.back().module = module;
      b->functionIds.emplace(key, id);
   }
   b->functionAt.emplace(entry, id);
   return id;
}

uint32 LineOf(Body *b, uint32 function, uint32 address)
{
   const int line = b->engine->LineAt(address);
   const uint64 key = (static_cast<uint64>(function) << 32) | static_cast<uint32>(line);
   const auto found = b->lineIds.find(key);
   if (found != b->lineIds.end())
      return found->second;
   const uint32 id = static_cast<uint32>(b->lines.size());
   b->lines.emplace_back();
   b->lines.back().function = function;
   b->lines.back().line = line;
   b->lineIds.emplace(key, id);
   return id;
}

uint32 NodeOf(Body *b, uint32 parent, uint32 function)
{
   const uint64 key = (static_cast<uint64>(parent) << 32) | function;
   const auto found = b->children.find(key);
   if (found != b->children.end())
      return found->second;
   const uint32 id = static_cast<uint32>(b->nodes.size());
   b->nodes.emplace_back();
   b->nodes.back().function = function;
   b->nodes.back().parent = parent;
   b->children.emplace(key, id);
   return id;
}

void PushLevel(Body *b, uint32 entry, uint32 site)
{
   const uint32 parent = b->levels.empty() ? 0 : b->levels.back().node;
   const uint32 function = FunctionOf(b, entry);
   b->levels.push_back({entry, site, function, LineOf(b, function, site), NodeOf(b, parent, function)});
}

/*
 * The run's position now: a level per frame, and one for the callee when
 * the run stands at a call.  The outer frames rarely change from one
 * visit to the next, and are kept.
 */
void Locate(Body *b, uint32 callee)
{
   const ORVA_RunState *rs = b->engine->Run();
   const uint32 count = rs->frameCount;
   const uint32 ip = b->engine->Position();
   uint32 keep = 0;
   for (; keep < count && keep < b->levels.size(); keep++)
   {
      const uint32 site = (keep + 1 < count) ? rs->frames[keep + 1].returnPc - 1 : ip;
      if (b->levels[keep].entry != rs->frames[keep].entry || b->levels[keep].site != site)
         break;
   }
   b->levels.resize(keep);
   for (uint32 i = keep; i < count; i++)
      PushLevel(b, rs->frames[i].entry, (i + 1 < count) ? rs->frames[i + 1].returnPc - 1 : ip);

   if (callee == INVALID_ADDRESS || b->levels.empty())
      return;
   b->lines[b->levels.back().line].calls++;
   PushLevel(b, callee, callee);
   b->functions[b->levels.back().function].calls++;
}

/* The interval that the last visit opened is over: what it spent goes to its position. */
void Charge(Body *b, uint64 units, uint64 nanos)
{
   if (b->levels.empty())
      return;
   const uint64 stamp = ++b->stamp;
   const Body::Level &leaf = b->levels.back();
   Body::Counts *selves[] = {&b->functions[leaf.function], &b->lines[leaf.line]};
   for (Body::Counts *counts : selves)
   {
      counts->selfUnits += units;
      counts->selfNanos += nanos;
   }
   b->nodes[leaf.node].selfUnits += units;
   b->nodes[leaf.node].selfNanos += nanos;
   for (const Body::Level &level : b->levels)
   {
      Body::Counts *totals[] = {&b->functions[level.function], &b->lines[level.line]};
      for (Body::Counts *counts : totals)
         if (counts->stamp != stamp)
         {
            counts->stamp = stamp;
            counts->totalUnits += units;
            counts->totalNanos += nanos;
         }
   }
}

uint64 NanosSince(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
   const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count();
   return (nanos > 0) ? static_cast<uint64>(nanos) : 0;
}

void Forget(Body *b)
{
   b->functionOrder.clear();
   b->lineOrder.clear();
   b->foldedMade[0] = b->foldedMade[1] = false;
}

/* The run reports no more: it ended, or the profile could not grow. */
void Detach(ORVA_RunLimits *limits)
{
   Body *b = limits->profile;
   limits->profile = nullptr;
   b->engine = nullptr;
   b->functionAt.clear();
   b->levels.clear();
   Forget(b);
}

}

void BeginProfiling(ORVA_RunLimits *limits, ORVA_Profile *profile, ORVA_Engine *engine)
{
   if (profile == nullptr || profile->Body()->engine != nullptr)
      return;
   Body *b = profile->Body();
   try
   {
      b->engine = engine;
      Forget(b);
      b->runs++;
      b->levels.clear();
      Locate(b, INVALID_ADDRESS);
      b->functions[b->levels.back().function].calls++;   // the entry, as a call enters it
   }
   catch (const std::bad_alloc &)
   {
      limits->profile = b;
      Detach(limits);
      return;
   }
   b->pendingUnits = 0;
   b->spentBefore = limits->spent;
   b->openedAt = std::chrono::steady_clock::now();
   limits->profile = b;
   limits->fuel = limits->sliceFuel = 0;
}

void VisitProfile(ORVA_RunLimits *limits)
{
   Body *b = limits->profile;
   const uint32 callee = limits->callee;
   limits->callee = INVALID_ADDRESS;   // a charge of work outside the loop comes next, perhaps
   const auto now = std::chrono::steady_clock::now();
   try
   {
      Charge(b, b->pendingUnits, NanosSince(b->openedAt, now));
      Locate(b, callee);
   }
   catch (const std::bad_alloc &)
   {
      Detach(limits);   // the run goes on unprofiled rather than failing for the profiler
      return;
   }
   b->pendingUnits = limits->spent - b->spentBefore;
   b->spentBefore = limits->spent;
   // The clock starts again after the counting, so that the profiler's own
   // work is nobody's time: it would weigh most on the shortest intervals.
   b->openedAt = std::chrono::steady_clock::now();
}

void EndProfiling(ORVA_RunLimits *limits, uint64 spent)
{
   Body *b = limits->profile;
   Charge(b, b->pendingUnits + (spent - b->spentBefore), NanosSince(b->openedAt, std::chrono::steady_clock::now()));
   Detach(limits);
}
