/*
 * The public face of the run's work budget and allocation funnel, for host
 * functions and the extension library.
 */
#include "orva.h"
#include "support/memory.h"
#include "vm/run_limits.h"

static_assert(ORVA_WORK_BYTES_PER_UNIT == WORK_BYTES_PER_UNIT, "one rate for the library and its hosts");

extern "C" int ORVAChargeWork(uint64 units)
{
   return ChargeUnits(units) ? 1 : 0;
}

extern "C" int ORVAWeighWork(uint64 worstUnits, uint64 units)
{
   return ChargeUninterruptible(worstUnits, units, "the host function's work") ? 1 : 0;
}

// A refusal by the funnel is seen at the run's next checkpoint; charging
// nothing reaches that checkpoint at once, so the run has stopped when the
// host function gets null.
extern "C" void *ORVAAllocate(size_t bytes)
{
   void *block = MemoryAllocate(bytes);
   if (block == nullptr)
      ChargeUnits(0);
   return block;
}

extern "C" void *ORVAReallocate(void *block, size_t oldBytes, size_t newBytes)
{
   void *grown = MemoryReallocate(block, oldBytes, newBytes);
   if (grown == nullptr)
      ChargeUnits(0);
   return grown;
}

extern "C" void ORVAFree(void *block, size_t bytes)
{
   MemoryFree(block, bytes);
}
