/*
 * Charging work done outside the loop to the run under way on this thread.
 *
 * The layers below the machine (values copying long texts, arrays copying
 * their elements) must pay for what they do when a run has limits, yet they
 * cannot know about runs.  This is the whole of what they see: a meter that
 * the machine installs for its thread while a run is under way, and a
 * charge that either passes or tells them the run has stopped.  The rest of
 * the run's bounds stay in vm/run_limits.h.
 */
#ifndef ORVA_WORK_CHARGE_H
#define ORVA_WORK_CHARGE_H

#include "orva.h"
#include "support/memory.h"   // ORVA_TLS_FAST

#include <cstdint>

/*
 * The unit of the instruction budget is one instruction.  Text copied or
 * scanned costs one unit per WORK_BYTES_PER_UNIT bytes, about what the
 * loop takes for one instruction on the same machine; hosts charge by the
 * same measure.
 */
const uint32 WORK_BYTES_PER_UNIT = ORVA_WORK_BYTES_PER_UNIT;

/*
 * What a run spends: fuel, which charges subtract, and what to do when it
 * runs out.  Look is the machine's (it counts the fuel spent, looks at the
 * limits and stops the run if it must): true to go on with new fuel.
 */
struct ORVA_WorkMeter
{
   int64 fuel = 0;
   bool (*look)(ORVA_WorkMeter *meter) = nullptr;
};

/* The meter of the run under way on this thread, or null. */
extern ORVA_THREAD_POINTER ORVA_WorkMeter *g_orvaWorkMeter ORVA_TLS_FAST;

/*
 * Charges work outside the loop to the run under way on this thread (none:
 * nothing happens).  False when the run has to stop, and then it has
 * stopped: the caller gives up what it was doing.
 */
inline bool ChargeUnits(uint64 units)
{
   ORVA_WorkMeter *meter = g_orvaWorkMeter;
   if (meter == nullptr)
      return true;
   // Far beyond any budget, and no overflow of the fuel.
   meter->fuel -= static_cast<int64>((units < static_cast<uint64>(INT64_MAX / 4)) ? units : INT64_MAX / 4);
   return meter->fuel >= 0 || meter->look(meter);
}
inline bool ChargeWork(uint64 bytes)
{
   return ChargeUnits(bytes / WORK_BYTES_PER_UNIT);
}

#endif
