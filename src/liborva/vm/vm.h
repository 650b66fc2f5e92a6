/*
 * Internals shared by the virtual machine's sources: the instruction set
 * (vm/opcodes.h), the message table and growth of the program's counted
 * arrays.  The engine's own state has headers of its own
 * (engine.h, prepared.h, run_state.h, value_access.h).
 */
#ifndef ORVA_VM_H
#define ORVA_VM_H

#include "orva.h"
#include "vm/opcodes.h"
#include "values/value_access.h"   // for the sources of the machine that reach into values
#include "support/memory.h"

#include <cstdlib>
#include <cstring>

/* Wording of a run-time error code; "Unknown error code" outside 1..24. */
const char *RuntimeErrorMessage(int code);

/* The source line an error at ip reports: 0 when ip is no instruction's address. */
int RuntimeErrorLine(uint32 ip, uint32 codeSize, ORVA_Instruction *const *instructions);

/*
 * The program's counted arrays carry no capacity field, so the capacity is
 * derived from the count: 0, then 16, then the next power of two.  Shrinking
 * the count never invalidates this, because a block only ever holds at least
 * the capacity of any smaller count.  Returns false when memory ran out.
 */
inline size_t AppendCapacity(uint32 count)
{
   if (count == 0)
      return 0;
   size_t capacity = 16;
   while (capacity < count)
      capacity *= 2;
   return capacity;
}

/*
 * The blocks grow through the allocation funnel: code and tables a run
 * links or compiles count under its ceiling like everything else it makes.
 */
template <typename T> bool ReserveForAppend(T *&block, uint32 count)
{
   bool full = (count == 0) || (count >= 16 && (count & (count - 1)) == 0);
   if (!full)
      return true;
   size_t capacity = (count == 0) ? 16 : static_cast<size_t>(count) * 2;
   void *grown = MemoryReallocate(static_cast<void *>(block), AppendCapacity(count) * sizeof(T), capacity * sizeof(T));
   if (grown == nullptr)
      return false;
   block = static_cast<T *>(grown);
   return true;
}

/*
 * Gives back a block ReserveForAppend grew.  A count cut back since then
 * gives back less than the block holds, never more.
 */
template <typename T> void ReleaseAppended(T *block, uint32 count)
{
   MemoryFree(static_cast<void *>(block), AppendCapacity(count) * sizeof(T));
}

/* The engine kept with a program: its prepared code and the state of a run (vm/engine.h). */
void DeleteEngine(ORVA_Engine *engine);

/* An error stopped the engine's run at ip: the engine keeps the calls active then. */
void RecordErrorTrace(ORVA_Engine *engine, uint32 ip);

#endif
