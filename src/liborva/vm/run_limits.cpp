/*
 * Bounds on a run: the fuel the checkpoints spend, the look at the limits
 * when it runs out, and the stops.
 */
#include "vm/run_limits.h"
#include "vm/engine.h"
#include "support/memory.h"

#include <algorithm>
#include <climits>

/*
 * The run under way on this thread, whose limits are the thread's work
 * meter (every meter installed is a run's); built-ins reach it without a
 * program.
 */
static ORVA_RunLimits *Current()
{
   return static_cast<ORVA_RunLimits *>(g_orvaWorkMeter);
}

static bool LookAtMeter(ORVA_WorkMeter *meter)
{
   return LookAtLimits(static_cast<ORVA_RunLimits *>(meter));
}

/* What was refused, while the stop it causes is being recorded. */
static thread_local const char *t_refused = nullptr;

void EnterRunLimits(ORVA_RunLimits *limits, ORVA_Program *program, uint64 instructionLimit, uint32 milliseconds)
{
   limits->program = program;
   limits->instructionLimit = instructionLimit;
   limits->timed = milliseconds != 0;
   if (limits->timed)
      limits->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
   limits->spent = 0;
   limits->fuel = limits->sliceFuel =
      (instructionLimit != 0) ? static_cast<int64>(std::min<uint64>(instructionLimit, LIMIT_SLICE)) : LIMIT_SLICE;
   limits->look = LookAtMeter;
   limits->outer = Current();
   g_orvaWorkMeter = limits;
}

void LeaveRunLimits(ORVA_RunLimits *limits)
{
   if (Current() == limits)
      g_orvaWorkMeter = limits->outer;
}

/* Counts the fuel spent since the last look into spent. */
static uint64 SpentNow(ORVA_RunLimits *limits)
{
   limits->spent += static_cast<uint64>(limits->sliceFuel - limits->fuel);
   limits->sliceFuel = limits->fuel;
   return limits->spent;
}

/* A stopped run keeps coming back here, at every checkpoint, until it leaves. */
static void Exhaust(ORVA_RunLimits *limits)
{
   SpentNow(limits);
   limits->fuel = limits->sliceFuel = -1;
}

bool LookAtLimits(ORVA_RunLimits *limits)
{
   ORVA_Program *program = limits->program;
   ORVA_Engine::DebugLookOf(program);   // a pause requested, breakpoints changed
   const uint64 spent = SpentNow(limits);
   int reason = ORVA_Engine::StopReasonOf(program);
   if (reason == ORVA_STOP_NONE)
   {
      if (MemoryRefused())
         reason = ORVA_STOP_MEMORY;
      else if (ORVA_Engine::StopIsRequested(program))
         reason = ORVA_STOP_REQUESTED;
      else if (limits->instructionLimit != 0 && spent > limits->instructionLimit)
         reason = ORVA_STOP_INSTRUCTIONS;
      else if (limits->timed && std::chrono::steady_clock::now() >= limits->deadline)
         reason = ORVA_STOP_TIME;
   }
   if (reason != ORVA_STOP_NONE)
   {
      StopRun(program, reason);
      return false;
   }
   int64 next = LIMIT_SLICE;
   if (limits->instructionLimit != 0)
      next = static_cast<int64>(std::min<uint64>(limits->instructionLimit - spent, LIMIT_SLICE));
   limits->fuel = limits->sliceFuel = next;
   return true;
}

void StopRun(ORVA_Program *program, int reason)
{
   ORVA_Engine::RecordStop(program, reason);
   for (ORVA_RunLimits *limits = Current(); limits != nullptr; limits = limits->outer)
      if (limits->program == program)
      {
         Exhaust(limits);
         break;
      }
}

bool StopCurrentRun(int reason)
{
   if (Current() == nullptr)
      return false;
   StopRun(Current()->program, reason);
   return true;
}

bool StopRefusedWork(int reason, const char *what)
{
   t_refused = (what != nullptr) ? what : "the work";
   const bool stopped = StopCurrentRun(reason);
   t_refused = nullptr;
   return stopped;
}

const char *TakeStopNote()
{
   const char *what = t_refused;
   t_refused = nullptr;
   return what;
}

bool ChargeUninterruptible(uint64 worstUnits, uint64 units, const char *what)
{
   ORVA_RunLimits *limits = Current();
   if (limits == nullptr)
      return true;
   if (ORVA_Engine::StopReasonOf(limits->program) != ORVA_STOP_NONE)
      return false;
   const uint64 spent = SpentNow(limits);
   int reason = ORVA_STOP_NONE;
   if (limits->instructionLimit != 0 &&
       (spent >= limits->instructionLimit || worstUnits > limits->instructionLimit - spent))
      reason = ORVA_STOP_INSTRUCTIONS;
   else if (limits->timed)
   {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limits->deadline -
                                                                              std::chrono::steady_clock::now());
      if (left.count() <= 0 || worstUnits / UNITS_PER_MILLISECOND >= static_cast<uint64>(left.count()))
         reason = ORVA_STOP_TIME;
   }
   if (reason != ORVA_STOP_NONE)
   {
      StopRefusedWork(reason, what);
      return false;
   }
   return ChargeUnits(units);
}

bool TimeIsLeft()
{
   ORVA_RunLimits *limits = Current();
   if (limits == nullptr)
      return true;
   if (ORVA_Engine::StopReasonOf(limits->program) != ORVA_STOP_NONE)
      return false;
   int reason = ORVA_STOP_NONE;
   if (ORVA_Engine::StopIsRequested(limits->program))
      reason = ORVA_STOP_REQUESTED;
   else if (limits->timed && std::chrono::steady_clock::now() >= limits->deadline)
      reason = ORVA_STOP_TIME;
   if (reason == ORVA_STOP_NONE)
      return true;
   StopRun(limits->program, reason);
   return false;
}
