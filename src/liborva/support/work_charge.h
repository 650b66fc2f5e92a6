/*
 * Charging work done outside the loop to the run under way on this thread.
 *
 * The layers below the machine (values copying long texts, arrays copying
 * their elements) must pay for what they do when a run has limits, yet they
 * cannot know about runs.  This is the whole of what they see: a charge
 * that either passes or tells them the run has stopped.  The machine, which
 * owns runs and their limits, defines ChargeUnits (vm/run_limits.cpp); the
 * rest of the run's bounds stay in vm/run_limits.h.
 */
#ifndef ORVA_WORK_CHARGE_H
#define ORVA_WORK_CHARGE_H

#include "orva.h"

/*
 * The unit of the instruction budget is one instruction.  Text copied or
 * scanned costs one unit per WORK_BYTES_PER_UNIT bytes, about what the
 * loop takes for one instruction on the same machine; hosts charge by the
 * same measure.
 */
const uint32 WORK_BYTES_PER_UNIT = ORVA_WORK_BYTES_PER_UNIT;

/*
 * Charges work outside the loop to the run under way on this thread (none:
 * nothing happens).  False when the run has to stop, and then it has
 * stopped: the caller gives up what it was doing.
 */
bool ChargeUnits(uint64 units);
inline bool ChargeWork(uint64 bytes)
{
   return ChargeUnits(bytes / WORK_BYTES_PER_UNIT);
}

#endif
