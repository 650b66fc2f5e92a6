/*
 * Entering a frame: the record of a call the loop leaves to
 * ORVA_Engine::EnterCall and of the first frame of a run (ORVA_Engine::Begin),
 * and the depth rule for every call.  The loop's inline CALL writes the same
 * record by hand: through PushFrame the compiler orders that path worse and
 * a run of recursive calls costs 1.6% more instructions.  A field added to
 * ORVA_Frame is written in both places.
 */
#ifndef ORVA_FRAME_ENTRY_H
#define ORVA_FRAME_ENTRY_H

#include "orva.h"
#include "values/numeric.h"
#include "vm/run_state.h"

// The two writers of a frame record must change together: a field added
// to ORVA_Frame stops the build here until both write it.
static_assert(sizeof(ORVA_Frame) == 4 * sizeof(uint32) + 2 * sizeof(void *),
              "PushFrame and the loop's inline CALL write every field of a frame");

/* False when one more frame would nest calls deeper than a run allows. */
ORVA_ALWAYS_INLINE bool CallDepthLeft(const ORVA_RunState *rs)
{
   return rs->frameCount <= MAX_CALL_DEPTH;
}

/*
 * The record of a function entered at entry, to return to returnPc, its
 * slotCount slots above its caller's and its data stack starting at depth
 * stackBase.  The caller made room for the frame and the slots; the new
 * slots are empty, as every slot above the top is.
 */
ORVA_ALWAYS_INLINE ORVA_Frame &PushFrame(ORVA_RunState *rs, uint32 returnPc, uint32 entry, const ORVA_Region *region,
                                         uint32 slotCount, uint32 stackBase)
{
   ORVA_Frame &frame = rs->frames[rs->frameCount++];
   frame.returnPc = returnPc;
   frame.entry = entry;
   frame.slotBase = rs->slotTop;
   frame.stackBase = stackBase;
   frame.region = region;
   frame.scope = nullptr;
   rs->slotTop += slotCount;
   return frame;
}

#endif
