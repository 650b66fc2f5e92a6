/*
 * Bounds on a run: the instruction budget, the deadline, a stop requested
 * from another thread and any other cause that must end a run early (a
 * memory ceiling).
 *
 * The loop spends "fuel" at its checkpoints (backward jumps and calls) and
 * looks at the limits only when the fuel runs out, so a run without limits
 * pays one decrement and one compare per checkpoint.  Code outside the loop
 * charges its own work in proportion to its size (ChargeWork, declared
 * below the values in support/work_charge.h), and
 * anything that finds the run must end calls StopRun or StopCurrentRun.
 *
 * How to stop a run from inside the library:
 *
 *    if (!allowed)
 *    {
 *       StopCurrentRun(ORVA_STOP_MEMORY);   // the run on this thread fails
 *       return failure;                     // and the caller gives up its step
 *    }
 *
 * The first stop of a run wins: its reason and text stay, later errors
 * and stops of the same run do not replace them (nor does a stop replace
 * an error that ended the run first).  StopRun works from the start of Run
 * (module linking included); StopCurrentRun and ChargeWork only once main
 * has begun, when the run is the thread's current one.  The stop records the
 * reason, writes "Error in line N: <cause>" for the current instruction
 * and makes the machine stop; the loop leaves at its next checkpoint or
 * after the call out it is in, and Run then tears the run down as after
 * any error and returns -1.  The step in progress must leave its values
 * consistent (owned by someone), as after an error.
 *
 * An allocation refused by the funnel (support/memory.h, MemoryRefused)
 * stops the run for memory whatever operation met it: that operation
 * raises its error as usual and ORVA_Program::Error records the memory
 * stop in its place.  The loop looks for a refusal after every step it
 * takes out of line, a host call before and after the host's code, and
 * the checkpoints see one because a refusal spends the fuel.
 */
#ifndef ORVA_RUN_LIMITS_H
#define ORVA_RUN_LIMITS_H

#include "orva.h"
#include "support/work_charge.h"   // ChargeUnits, ChargeWork and the unit they count in

#include <chrono>

/* Units spent between two looks at the clock or the stop request. */
const int64 LIMIT_SLICE = 1 << 14;

/*
 * What a millisecond buys, for work that must be weighed against the time
 * left before it starts because nothing can interrupt it (a match of a
 * regular expression).
 */
const int64 UNITS_PER_MILLISECOND = 100000;

/*
 * The meter's fuel is the units the run may still spend before the limits
 * are looked at again: the checkpoints and ChargeUnits subtract, a negative
 * value sends them to LookAtLimits.
 */
struct ORVA_RunLimits : ORVA_WorkMeter
{
   ORVA_RunLimits() { fuel = LIMIT_SLICE; }
   int64 sliceFuel = LIMIT_SLICE;   // fuel as the last look left it
   uint64 spent = 0;                // units spent before the current slice

   uint64 instructionLimit = 0;     // 0: none
   bool timed = false;
   std::chrono::steady_clock::time_point deadline;

   ORVA_Program *program = nullptr;
   ORVA_RunLimits *outer = nullptr;   // a run on this thread that this one runs inside

   // A profiled run has no fuel between looks: each look is a visit
   // (vm/profile.h).
   ORVA_ProfileBody *profile = nullptr;
   uint32 callee = INVALID_ADDRESS;   // the function the call at this look enters, if it is a call's
};

/*
 * The run under way on this thread, if any: Begin makes a run current and
 * End gives the thread back to the run it ran inside (a host function may
 * run another program).
 */
void EnterRunLimits(ORVA_RunLimits *limits, ORVA_Program *program, uint64 instructionLimit, uint32 milliseconds);
void LeaveRunLimits(ORVA_RunLimits *limits);

/*
 * The slow half of a checkpoint: counts the fuel spent, then looks at the
 * stop request, the instruction budget and the clock.  True to go on (with
 * new fuel); false when the run has stopped.
 */
bool LookAtLimits(ORVA_RunLimits *limits);

/* Stops the run of program, or the run under way on this thread, with reason ORVA_STOP_*. */
void StopRun(ORVA_Program *program, int reason);
bool StopCurrentRun(int reason);   // false when no run is under way on this thread

/*
 * For work outside the loop that counts against the clock alone (compiling
 * the modules a run links): false when the run under way on this thread has
 * stopped or its time is up, and then it has stopped.  True without a run.
 */
bool TimeIsLeft();

/*
 * Work that nothing can interrupt once it starts is weighed first: when its
 * worst case fits in what the limits leave, units are charged for it (what
 * it costs as a rule) and the result is true; else the run stops with the
 * reason of the limit it could pass and the result is false.
 */
bool ChargeUninterruptible(uint64 worstUnits, uint64 units, const char *what = nullptr);

/*
 * Stops the run under way with reason for work refused before it started
 * because its worst case could pass the limit; the stop's text says so,
 * naming what was refused ("the match").  False when no run is under way.
 */
bool StopRefusedWork(int reason, const char *what);

/*
 * What the stop being recorded adds to its cause, or null: read once by
 * the engine as it writes the stop's text.
 */
const char *TakeStopNote();

#endif
