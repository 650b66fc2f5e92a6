/*
 * The state of one run: the data stack, the call frames with the slots of
 * their local variables, the spare values and the caches that live exactly
 * as long as the run.  Nothing of it outlives Run; what outlives it (the
 * prepared form of the code) is in prepared.h.
 */
#ifndef ORVA_RUN_STATE_H
#define ORVA_RUN_STATE_H

#include "orva.h"
#include "support/memory.h"
#include "values/value_access.h"
#include "vm/run_limits.h"

#include <cstdlib>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

struct ORVA_Region;

/*
 * One active function.  Its local variables live in two homes: the slots
 * its prepared code resolved names to, and a scope searched by name for
 * every other name (main's is the one the host handed to Run; a call makes
 * one only when something needs it).
 */
struct ORVA_Frame
{
   uint32 returnPc;               // where the caller goes on (the instruction after the call)
   uint32 entry;                  // address of the function this frame runs
   uint32 slotBase;               // first of the frame's slots in the run's slot stack
   uint32 stackBase;              // data-stack depth when the function began
   const ORVA_Region *region;     // how the function's code was prepared; null for no code
   ORVA_VariableSystem *scope;    // locals by name, or null
};

/*
 * Nearly every instruction makes or discards a value.  Discarded values wait
 * here for the next one, which saves the general heap most of that traffic.
 * A waiting value owns nothing (no text, object or array); its other fields
 * are stale until it is taken.  Every value, whoever made it, comes from
 * its class's operator new with the size of ORVA_Value, so a value made here
 * may be deleted anywhere and any value may be released here.
 */
class ORVA_ValuePool
{
public:
   ORVA_ValuePool() = default;
   ORVA_ValuePool(const ORVA_ValuePool &) = delete;
   ORVA_ValuePool &operator=(const ORVA_ValuePool &) = delete;
   ~ORVA_ValuePool() { Clear(); }

   void Clear()
   {
      while (m_count > 0)
         delete m_spare[--m_count];
   }

   ORVA_Value *Null()
   {
      if (m_count == 0)
         return new ORVA_Value();
      ORVA_Value *value = m_spare[--m_count];
      ORVA_EngineAccess::ResetNull(value);
      return value;
   }

   ORVA_Value *Number(int type, ORVA_Number n)
   {
      ORVA_Value *value = (m_count > 0) ? m_spare[--m_count] : new ORVA_Value();
      ORVA_EngineAccess::ResetNumber(value, type, n);
      return value;
   }

   // The value copy constructor; a number, null or array without text is
   // copied without a call.
   ORVA_Value *Copy(const ORVA_Value *source)
   {
      if (source == nullptr)
         return Null();
      if (ORVA_EngineAccess::CopiesWithoutText(source))
         return Number(ORVA_EngineAccess::Type(source), ORVA_EngineAccess::Number(source));
      if (ORVA_EngineAccess::IsBareArray(source))
      {
         ORVA_Value *value = (m_count > 0) ? m_spare[--m_count] : new ORVA_Value();
         ORVA_EngineAccess::ResetArray(value, ORVA_EngineAccess::ArrayOf(source));
         return value;
      }
      // A spare value owns nothing, so its place is simply taken over.
      return ORVA_EngineAccess::ShareCopy((m_count > 0) ? m_spare[--m_count] : nullptr, source);
   }

   // A value holding a new array (whose reference count it takes).
   ORVA_Value *Array(ORVA_Array *array)
   {
      if (m_count == 0)
         return new ORVA_Value(array);
      return new (m_spare[--m_count]) ORVA_Value(array);
   }

   void Release(ORVA_Value *value)
   {
      if (value == nullptr)
         return;
      if (!ORVA_EngineAccess::OwnsNothing(value))
      {
         if (ORVA_EngineAccess::IsBareArray(value))
            ORVA_EngineAccess::DropArray(value);
         else
         {
            value->~ORVA_Value();
            new (value) ORVA_Value();
         }
      }
      if (m_count == LIMIT)
         delete value;
      else
         m_spare[m_count++] = value;
   }

private:
   static const int LIMIT = 256;
   ORVA_Value *m_spare[LIMIT];
   int m_count = 0;
};

class ORVA_RunState
{
public:
   // The data stack: values from the bottom up to (not including) the top.
   ORVA_Value **stackBottom = nullptr;
   ORVA_Value **stackTop = nullptr;
   ORVA_Value **stackLimit = nullptr;

   // Frames, main's first.  The depth of script calls is frameCount - 1.
   ORVA_Frame *frames = nullptr;
   uint32 frameCount = 0;
   uint32 frameCapacity = 0;

   // The slots of every active frame, one block per frame, null for a
   // variable not made yet.  Slots above the top are null too, so a new
   // frame finds its slots empty.
   ORVA_Value **slots = nullptr;
   uint32 slotTop = 0;
   uint32 slotCapacity = 0;

   // By name id of the prepared code: 1 when a global hides the locals of
   // that name, whose operations then go by name (ORVA_Engine::Shadow).
   std::vector<uint8> shadowed;
   struct Patch
   {
      uint32 index;
      uint16_t code;
      uint16_t plain;
   };
   std::vector<Patch> patches;   // what the shadows changed in the prepared code, in order

   // The argument the next BIND by name reads ($1 first): a call sets it,
   // each such BIND counts it on.
   int32 bindCounter = 1;

   ORVA_ValuePool pool;
   ORVA_ByteTexts *byteTexts = nullptr;         // made when a built-in first gives one byte
   ORVA_RunLimits limits;                       // the fuel the loop's checkpoints spend

   // The sizes the arrays start with, which a short run never outgrows.
   static const uint32 FIRST_STACK = 128;
   static const uint32 FIRST_FRAMES = 16;
   static const uint32 FIRST_SLOTS = 64;

   ORVA_RunState() = default;
   ORVA_RunState(const ORVA_RunState &) = delete;
   ORVA_RunState &operator=(const ORVA_RunState &) = delete;
   ~ORVA_RunState()
   {
      MemoryFree(stackBottom, StackBytes());
      MemoryFree(frames, frameCapacity * sizeof(ORVA_Frame));
      MemoryFree(slots, SlotBytes());
      ByteTextsFree(byteTexts);
   }

   size_t StackBytes() const { return static_cast<size_t>(stackLimit - stackBottom) * sizeof(ORVA_Value *); }
   size_t SlotBytes() const { return slotCapacity * sizeof(ORVA_Value *); }

   /*
    * A state whose arrays kept their first sizes serves the engine's next
    * run, which then makes none of them.  Each run is charged for the
    * arrays as if it had made them, and credited when it ends, so that the
    * memory ceiling counts the same for every run.
    */
   bool KeepsFirstSizes() const
   {
      return StackBytes() == FIRST_STACK * sizeof(ORVA_Value *) && frameCapacity == FIRST_FRAMES &&
             slotCapacity <= FIRST_SLOTS;
   }
   // At the end of a run: what the next may take over, with nothing in it.
   void Empty()
   {
      pool.Clear();
      shadowed.clear();
      patches.clear();
      // The one-byte texts were charged to this run: they go with it.
      ByteTextsFree(byteTexts);
      byteTexts = nullptr;
      MemoryCredit(StackBytes() + frameCapacity * sizeof(ORVA_Frame) + SlotBytes());
   }
   // At the start of the next: the arrays charged again, those of slots only
   // when it has slots to hold, as a new state would make them.
   bool Restart(uint32 slotCount)
   {
      stackTop = stackBottom;
      frameCount = 0;
      slotTop = 0;
      bindCounter = 1;
      limits = ORVA_RunLimits();
      if (slotCount == 0 && slots != nullptr)
      {
         free(slots);   // charged to no run now
         slots = nullptr;
         slotCapacity = 0;
      }
      for (uint32 i = 0; i < slotCapacity; i++)
         slots[i] = nullptr;
      return MemoryCharge(StackBytes() + frameCapacity * sizeof(ORVA_Frame) + SlotBytes());
   }

   uint32 Depth() const { return static_cast<uint32>(stackTop - stackBottom); }
   ORVA_Frame &Top() { return frames[frameCount - 1]; }
   ORVA_Value **FrameSlots(const ORVA_Frame &frame) { return slots + frame.slotBase; }

   /*
    * The stack always has room for one more value when an instruction
    * starts, so that an instruction can push its one result without asking;
    * one that leaves the stack higher than it found it makes room again
    * before the next starts.  False when memory ran out.
    */
   bool GrowStack()
   {
      const size_t depth = static_cast<size_t>(stackTop - stackBottom);
      const size_t capacity = static_cast<size_t>(stackLimit - stackBottom);
      const size_t grown = (capacity < FIRST_STACK) ? FIRST_STACK : capacity * 2;
      void *block = MemoryReallocate(stackBottom, capacity * sizeof(ORVA_Value *), grown * sizeof(ORVA_Value *));
      if (block == nullptr)
         return false;
      stackBottom = static_cast<ORVA_Value **>(block);
      stackTop = stackBottom + depth;
      stackLimit = stackBottom + grown;
      return true;
   }

   void Push(ORVA_Value *value) { *stackTop++ = value; }
   ORVA_Value *Pop() { return (stackTop > stackBottom) ? *--stackTop : nullptr; }
   ORVA_Value *Peek() const { return (stackTop > stackBottom) ? stackTop[-1] : nullptr; }

   bool GrowFrames()
   {
      const uint32 grown = (frameCapacity == 0) ? FIRST_FRAMES : frameCapacity * 2;
      void *block = MemoryReallocate(frames, frameCapacity * sizeof(ORVA_Frame), grown * sizeof(ORVA_Frame));
      if (block == nullptr)
         return false;
      frames = static_cast<ORVA_Frame *>(block);
      frameCapacity = grown;
      return true;
   }

   // Room for count more slots; false when memory ran out.
   bool ReserveSlots(uint32 count)
   {
      if (static_cast<uint64>(slotTop) + count <= slotCapacity)
         return true;
      uint64 grown = (slotCapacity == 0) ? FIRST_SLOTS : static_cast<uint64>(slotCapacity) * 2;
      while (grown < static_cast<uint64>(slotTop) + count)
         grown *= 2;
      if (grown > UINT32_MAX / sizeof(ORVA_Value *))
         return false;
      void *block = MemoryReallocate(slots, slotCapacity * sizeof(ORVA_Value *),
                                     static_cast<size_t>(grown) * sizeof(ORVA_Value *));
      if (block == nullptr)
         return false;
      slots = static_cast<ORVA_Value **>(block);
      for (uint64 i = slotCapacity; i < grown; i++)
         slots[i] = nullptr;
      slotCapacity = static_cast<uint32>(grown);
      return true;
   }
};

#endif
