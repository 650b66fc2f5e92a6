/*
 * Arrays.  Scripts mostly fill arrays from one end, so the elements of one
 * contiguous run of indices are kept in blocks of value slots and found by
 * arithmetic on the index: reading or writing them costs no search, and a
 * slot costs the size of a value and nothing more.  The run starts at the
 * first index ever stored (its origin) and grows by one slot at either end.
 * Elements elsewhere go to an ordered map, and move into the run when it
 * reaches them, so that filling a range in any order ends with the range in
 * the run.
 *
 * Slots never move: a block, once allocated, stays until the array goes
 * or every element in it is removed from the end of the run, and the slot of an element is reused when the element is replaced.  So a
 * pointer that Get hands out stays valid until its element is replaced.
 *
 * Elements keyed by texts live in a hash table beside the map
 * (array_keys.cpp), so an array that never meets one pays nothing for it.
 */
#include "values/array_body.h"
#include "support/work_charge.h"
#include "support/memory.h"
#include "values/array_cycle.h"
#include "values/value_access.h"
#include "values/array_sparse.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

static const int32 FIRST_BLOCK_SLOTS = ORVA_ArrayBody::FIRST_BLOCK_SLOTS;
static const uint8 SLOT_NO_VALUE = ORVA_ArrayBody::SLOT_NO_VALUE;
static const uint8 SLOT_REDIRECT = ORVA_ArrayBody::SLOT_REDIRECT;

static inline int32 RunBlockSize(int32 block)
{
   return ORVA_ArrayBody::BlockSize(block);
}

static inline void Locate(int32 slot, int32 *block, int32 *offset)
{
   ORVA_ArrayBody::Locate(slot, block, offset);
}

ORVA_Array::ORVA_Array() : m_refCount(0), m_size(0), m_allocated(0), m_data(nullptr)
{
   static_assert(sizeof(ORVA_ArrayBody) <= sizeof(m_body) && alignof(ORVA_ArrayBody) <= alignof(ORVA_Array),
                 "the room orva.h keeps in an array holds its body");
   // Text keys hang off the out-of-line part: an array costs no more than
   // before them, and the run's slots stay the size of a value.
   static_assert(sizeof(void *) != 8 || (sizeof(ORVA_Array) == 88 && sizeof(ORVA_Value) == 32),
                 "an array and a slot keep their size");
   new (m_body) ORVA_ArrayBody();
}


bool ORVA_Array::InRun(int64 index) const
{
   const ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   return index < static_cast<int64>(b.origin) + b.up.length && index >= static_cast<int64>(b.origin) - b.down.length &&
          b.up.length > 0;
}

ORVA_Value *ORVA_Array::RunSlot(int64 index) const
{
   const ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   const ORVA_ArrayBody::RunSide &side = (index >= b.origin) ? b.up : b.down;
   const int32 slot = static_cast<int32>((index >= b.origin) ? index - b.origin : b.origin - 1 - index);
   int32 block, offset;
   Locate(slot, &block, &offset);
   return side.blocks[block] + offset;
}

/* The value a slot stands for: its own, one elsewhere, or none. */
static inline ORVA_Value *SlotValue(ORVA_Value *slot, uint8 type, uint64 bits)
{
   if (type == SLOT_NO_VALUE)
      return nullptr;
   if (type == SLOT_REDIRECT)
      return reinterpret_cast<ORVA_Value *>(static_cast<uintptr_t>(bits));
   return slot;
}

ORVA_Value *ORVA_Array::SlotValueOf(ORVA_Value *slot)
{
   return SlotValue(slot, slot->m_dataType, slot->m_value.u64);
}

/*
 * Block 0 of a side and the side's first table of block pointers are one
 * allocation, the table first: a small array costs the array and this one
 * block.  The table moves out when it outgrows its room; block 0 stays
 * where it is, for slots never move, so it is always found at the same
 * distance past the start of its allocation.
 */
static const int32 FIRST_TABLE = 4;
static const size_t TABLE_BYTES = sizeof(ORVA_Value *) * FIRST_TABLE;
static const size_t HEAD_BYTES = TABLE_BYTES + sizeof(ORVA_Value) * FIRST_BLOCK_SLOTS;

static inline void *HeadOf(ORVA_Value *first)
{
   return reinterpret_cast<char *>(first) - TABLE_BYTES;
}

/* Whether the side's table lives in the allocation of its block 0. */
static inline bool TableInHead(const ORVA_ArrayBody::RunSide &side)
{
   return side.length > 0 && static_cast<void *>(side.blocks) == HeadOf(side.blocks[0]);
}

static inline void FreeBlock(ORVA_Value *slots, int32 block)
{
   if (block == 0)
      MemoryFreeSmall(HeadOf(slots), HEAD_BYTES);
   else
      MemoryFree(slots, sizeof(ORVA_Value) * static_cast<size_t>(RunBlockSize(block)));
}

/* Room for one more block pointer; false when memory ran out. */
static bool GrowTable(ORVA_ArrayBody::RunSide &side)
{
   const int32 capacity = side.capacity * 2;
   const size_t bytes = sizeof(ORVA_Value *) * static_cast<size_t>(capacity);
   void *grown;
   if (TableInHead(side))
   {
      grown = MemoryAllocate(bytes);
      if (grown != nullptr)
         memcpy(grown, side.blocks, TABLE_BYTES);
   }
   else
      grown = MemoryReallocate(static_cast<void *>(side.blocks), sizeof(ORVA_Value *) * static_cast<size_t>(side.capacity),
                               bytes);
   if (grown == nullptr)
      return false;
   side.blocks = static_cast<ORVA_Value **>(grown);
   side.capacity = capacity;
   return true;
}

/* A new slot at the far end of a side, its block allocated on first use; null when memory ran out. */
ORVA_Value *ORVA_Array::AppendSlot(bool up)
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   ORVA_ArrayBody::RunSide &side = up ? b.up : b.down;
   if (side.length == INT32_MAX)
      return nullptr;
   int32 block, offset;
   Locate(side.length, &block, &offset);
   if (offset == 0)
   {
      if (block == 0)
      {
         char *head = static_cast<char *>(MemoryAllocateSmall(HEAD_BYTES));
         if (head == nullptr)
            return nullptr;
         if (side.capacity == 0)
         {
            side.blocks = reinterpret_cast<ORVA_Value **>(head);
            side.capacity = FIRST_TABLE;
         }
         side.blocks[0] = reinterpret_cast<ORVA_Value *>(head + TABLE_BYTES);
      }
      else
      {
         if (block >= side.capacity && !GrowTable(side))
            return nullptr;
         side.blocks[block] =
            static_cast<ORVA_Value *>(MemoryAllocate(sizeof(ORVA_Value) * static_cast<size_t>(RunBlockSize(block))));
         if (side.blocks[block] == nullptr)
            return nullptr;
      }
      m_allocated += RunBlockSize(block);
   }
   side.length++;
   return side.blocks[block] + offset;
}

/* The slot at the far end of a side goes; a block left without slots goes with it. */
void ORVA_Array::DropLastSlot(bool up)
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   ORVA_ArrayBody::RunSide &side = up ? b.up : b.down;
   const bool tableInHead = TableInHead(side);
   side.length--;
   int32 block, offset;
   Locate(side.length, &block, &offset);
   if (offset == 0)
   {
      FreeBlock(side.blocks[block], block);
      m_allocated -= RunBlockSize(block);
      if (block == 0 && tableInHead)
         side = ORVA_ArrayBody::RunSide{nullptr, 0, 0};   // the table went with it
      else
         side.blocks[block] = nullptr;
   }
}

/*
 * Puts a value into a slot: its content moves in, so that the element costs
 * no allocation of its own, and the emptied shell is returned.  The shell's
 * destructor must never run, for the slot owns the content now.
 */
ORVA_Value *ORVA_Array::MoveIntoSlot(ORVA_Value *slot, ORVA_Value *value)
{
   new (slot) ORVA_Value();
   if (value == nullptr)
   {
      slot->m_dataType = SLOT_NO_VALUE;
      return nullptr;
   }
   slot->m_length = value->m_length;
   slot->m_string = value->m_string;
   slot->m_dataType = value->m_dataType;
   slot->m_stringValid = value->m_stringValid;
   slot->m_value = value->m_value;
   return value;
}

/*
 * A caller may still read the value it moved in (the interpreter pushes
 * the stored value right after storing it), so the shell, still showing the
 * content, is freed only at the next store.
 */
void ORVA_Array::StoreInSlot(ORVA_Value *slot, ORVA_Value *value, bool moveIn)
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   if (moveIn || value == nullptr)
   {
      b.handedOver = MoveIntoSlot(slot, value);
      return;
   }
   // The slot stands for the value kept where it is.
   new (slot) ORVA_Value();
   slot->m_dataType = SLOT_REDIRECT;
   slot->m_value.u64 = reinterpret_cast<uintptr_t>(value);
}

void ORVA_Array::ReleaseHandedOver()
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   if (b.handedOver != nullptr)
   {
      ORVA_Value::operator delete(static_cast<void *>(b.handedOver), sizeof(ORVA_Value));
      b.handedOver = nullptr;
   }
}

/*
 * After the run grew, elements of the map that now border it join it.  A
 * value nobody was given a pointer to moves into its slot; one that was
 * handed out stays where it is, for that pointer must stay valid.
 */
void ORVA_Array::AbsorbNeighbours()
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   if (b.sparse == nullptr)
      return;
   auto &elements = b.sparse->elements;
   for (int side = 0; side < 2 && !elements.empty(); side++)
   {
      while (!elements.empty())
      {
         const int64 next = (side == 0) ? static_cast<int64>(b.origin) + b.up.length
                                        : static_cast<int64>(b.origin) - b.down.length - 1;
         if (next > INT32_MAX || next < INT32_MIN)
            break;
         auto at = elements.find(static_cast<int32>(next));
         if (at == elements.end())
            break;
         ORVA_Value *slot = AppendSlot(side == 0);
         if (slot == nullptr)
            break;   // out of memory: the element stays in the map
         ORVA_Value *value = at->second.value;
         if (value != nullptr && at->second.handedOut)
            StoreInSlot(slot, value, false);
         else
         {
            ORVA_Value *shell = MoveIntoSlot(slot, value);
            ORVA_Value::operator delete(static_cast<void *>(shell), sizeof(ORVA_Value));   // nobody holds it
         }
         if (side == 1)
            b.sparse->below--;
         elements.erase(at);
         b.sparse->Changed();
      }
   }
}

ORVA_Value *ORVA_Array::Get(int index)
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   if (InRun(index))
   {
      ORVA_Value *slot = RunSlot(index);
      return SlotValue(slot, slot->m_dataType, slot->m_value.u64);
   }
   if (b.sparse == nullptr)
      return nullptr;
   auto at = b.sparse->elements.find(index);
   if (at == b.sparse->elements.end())
      return nullptr;
   at->second.handedOut = true;
   return at->second.value;
}

/*
 * A host's value stays the element itself: Get gives back the very pointer
 * Set was handed, and a change the host makes to it later changes the
 * element.  The slot (or map entry) refers to the value.
 */
void ORVA_Array::Set(int index, ORVA_Value *value)
{
   if (!Store(index, value, false))
      delete value;   // the host handed it over: refused, it goes
}

/*
 * Stores value under index; moveIn lets the value's content move into a slot
 * of the run (the value itself is freed at the next store), which the
 * engine's own stores choose, for they keep no pointer to it.  False when
 * the element could not be added (memory ran out, or no count could tell
 * another element): the array stays as it was and the value is still the
 * caller's, who may be about to read it.
 */
bool ORVA_Array::Store(int index, ORVA_Value *value, bool moveIn)
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   ReleaseHandedOver();

   if (InRun(index))
   {
      ORVA_Value *slot = RunSlot(index);
      ORVA_Value *current = SlotValue(slot, slot->m_dataType, slot->m_value.u64);
      if (current == value)
         return true;   // storing the value already held must not free it
      if (slot->m_dataType == SLOT_REDIRECT)
         delete current;
      else if (slot->m_dataType != SLOT_NO_VALUE)
         slot->~ORVA_Value();
      StoreInSlot(slot, value, moveIn);
      return true;
   }

   if (b.sparse != nullptr)
   {
      auto at = b.sparse->elements.find(index);
      if (at != b.sparse->elements.end())
      {
         if (at->second.value != value)
         {
            delete at->second.value;
            at->second.value = value;
            at->second.handedOut = !moveIn;
         }
         return true;
      }
   }

   if (m_size == INT32_MAX)
      return false;

   int side = 0;   // 1 up, -1 down
   if (b.up.length == 0)
   {
      b.origin = index;
      side = 1;
      // The run was emptied by removals and starts again here.
      if (b.sparse != nullptr && !b.sparse->elements.empty())
      {
         b.sparse->below = static_cast<int32>(std::distance(b.sparse->elements.begin(),
                                                            b.sparse->elements.lower_bound(index)));
         b.sparse->Changed();
      }
   }
   else if (static_cast<int64>(index) == static_cast<int64>(b.origin) + b.up.length)
      side = 1;
   else if (static_cast<int64>(index) == static_cast<int64>(b.origin) - b.down.length - 1)
      side = -1;

   if (side != 0)
   {
      ORVA_Value *slot = AppendSlot(side > 0);
      if (slot == nullptr)
         return false;   // out of memory: the array stays as it was
      StoreInSlot(slot, value, moveIn);
      m_size++;
      if (b.sparse != nullptr)
         AbsorbNeighbours();
      return true;
   }

   try
   {
      if (b.sparse == nullptr)
         b.sparse = new ORVA_ArraySparse();
      b.sparse->elements.emplace(index, SparseEntry{value, !moveIn});
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      return false;
   }
   if (index < b.origin)
      b.sparse->below++;
   b.sparse->Changed();
   m_size++;
   return true;
}

/*
 * Removes the element of index.  The run keeps no holes: an element at one
 * of its ends goes, one inside it is left holding null, which nothing tells
 * from a missing element but Size and the walk by position.  True when the
 * element held a value.
 */
int ORVA_Array::Remove(int index)
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   ReleaseHandedOver();
   ORVA_Value *gone = nullptr;   // freed last: freeing may reach this array again
   if (InRun(index))
   {
      ORVA_Value *slot = RunSlot(index);
      const uint8 type = slot->m_dataType;
      const bool top = static_cast<int64>(index) == static_cast<int64>(b.origin) + b.up.length - 1;
      const bool bottom = b.down.length > 0 && static_cast<int64>(index) == static_cast<int64>(b.origin) - b.down.length;
      if (type == SLOT_REDIRECT)
         gone = SlotValue(slot, type, slot->m_value.u64);
      else if (type != SLOT_NO_VALUE)
      {
         // The content moves to a value of its own, so that the slot can go now.
         gone = new ORVA_Value();
         MoveIntoSlot(gone, slot);
      }
      if (top && (b.up.length > 1 || b.down.length == 0))
      {
         DropLastSlot(true);
         m_size--;
      }
      else if (bottom)
      {
         DropLastSlot(false);
         m_size--;
      }
      else
         MoveIntoSlot(slot, nullptr);   // an element without a value, owning nothing
      if (b.up.length == 0 && b.sparse != nullptr)
         b.sparse->below = 0;
   }
   else
   {
      if (b.sparse == nullptr)
         return 0;
      auto at = b.sparse->elements.find(index);
      if (at == b.sparse->elements.end())
         return 0;
      gone = at->second.value;
      if (index < b.origin)
         b.sparse->below--;
      b.sparse->elements.erase(at);
      b.sparse->Changed();
      m_size--;
   }
   const int held = (gone != nullptr && !gone->IsNull()) ? 1 : 0;
   delete gone;
   return held;
}

/* The element at a position in index order, and its index. */
ORVA_Value *ORVA_Array::ElementAt(int32 position, int32 *index) const
{
   const ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   *index = 0;
   if (position < 0 || position >= m_size)
      return nullptr;
   const int32 below = (b.sparse != nullptr) ? b.sparse->below : 0;
   const int32 runLength = b.up.length + b.down.length;
   if (position >= below && position - below < runLength)
   {
      const int64 at = static_cast<int64>(b.origin) - b.down.length + (position - below);
      *index = static_cast<int32>(at);
      ORVA_Value *slot = RunSlot(at);
      return SlotValue(slot, slot->m_dataType, slot->m_value.u64);
   }
   auto at = b.sparse->AtOrdinal(position < below ? position : position - runLength);
   *index = at->first;
   at->second.handedOut = true;
   return at->second.value;
}

int32 ORVA_Array::IndexAt(int32 position) const
{
   int32 index;
   ElementAt(position, &index);
   return index;
}

ORVA_Value *ORVA_Array::ValueAt(int32 position) const
{
   int32 index;
   return ElementAt(position, &index);
}

bool ORVA_ArrayBody::MayHoldArrays(const ORVA_Array *array)
{
   const ORVA_ArrayBody &b = Of(array);
   if (b.sparse != nullptr || b.down.length != 0 || b.up.length > FIRST_BLOCK_SLOTS)
      return true;
   for (int32 i = 0; i < b.up.length; i++)
   {
      ORVA_Value *slot = b.up.blocks[0] + i;
      const ORVA_Value *value = ORVA_Array::SlotValueOf(slot);
      if (value != nullptr && ORVA_EngineAccess::Type(value) == ORVA_DT_ARRAY)
         return true;
   }
   return false;
}

/* Appends the arrays that the values of a side's slots hold. */
static void SideChildArrays(const ORVA_ArrayBody::RunSide &side, std::vector<ORVA_Array *> &out)
{
   int32 left = side.length;
   for (int32 block = 0; left > 0; block++)
   {
      ORVA_Value *slots = side.blocks[block];
      const int32 count = (left < RunBlockSize(block)) ? left : RunBlockSize(block);
      for (int32 i = 0; i < count; i++)
      {
         const int type = ORVA_EngineAccess::Type(slots + i);
         if (type == ORVA_DT_ARRAY)
            out.push_back(ORVA_EngineAccess::ArrayOf(slots + i));
         else if (type == SLOT_REDIRECT)
         {
            ORVA_Array *inner = ORVA_EngineAccess::ArrayOf(ORVA_EngineAccess::SlotValue(slots + i));
            if (inner != nullptr)
               out.push_back(inner);
         }
      }
      left -= count;
   }
}

void ORVA_ArrayBody::ChildArrays(const ORVA_Array *array, std::vector<ORVA_Array *> &out)
{
   const ORVA_ArrayBody &b = Of(array);
   SideChildArrays(b.up, out);
   SideChildArrays(b.down, out);
   if (b.sparse != nullptr)
   {
      for (const auto &element : b.sparse->elements)
      {
         const ORVA_Value *value = element.second.value;
         ORVA_Array *inner = (value != nullptr) ? ORVA_EngineAccess::ArrayOf(value) : nullptr;
         if (inner != nullptr)
            out.push_back(inner);
      }
      const ORVA_KeyEntry *entries = b.sparse->keys.Entries();
      for (uint32 i = 0; i < b.sparse->keys.Used(); i++)
      {
         ORVA_Array *inner = (entries[i].text != nullptr) ? ORVA_EngineAccess::ArrayOf(entries[i].value) : nullptr;
         if (inner != nullptr)
            out.push_back(inner);
      }
   }
}

/*
 * A separate copy: the same run and the same elements outside it, each value
 * copied as values are (arrays inside stay shared).
 */
ORVA_Array::ORVA_Array(ORVA_Array *src) : ORVA_Array()
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   if (src == nullptr || (src->m_size <= 0 && ORVA_ArrayBody::TextCount(src) == 0))
      return;
   // An element copied costs about an instruction.
   ChargeUnits(static_cast<uint64>(src->m_size) + static_cast<uint64>(ORVA_ArrayBody::TextCount(src)));
   const ORVA_ArrayBody &sb = ORVA_ArrayBody::Of(src);
   const int32 runLength = sb.up.length + sb.down.length;
   b.origin = sb.origin - sb.down.length;
   for (int32 i = 0; i < runLength; i++)
   {
      ORVA_Value *slot = AppendSlot(true);
      if (slot == nullptr)
         break;   // out of memory: the copy stays shorter
      ORVA_Value *from = src->RunSlot(static_cast<int64>(b.origin) + i);
      const ORVA_Value *value = SlotValue(from, from->m_dataType, from->m_value.u64);
      // A number or null without text is its type and number; an array
      // without text is one more reference.  A null element pointer
      // becomes a null value.
      if (value != nullptr && ORVA_EngineAccess::CopiesWithoutText(value))
         ORVA_EngineAccess::ResetNumber(new (slot) ORVA_Value(), value->m_dataType, ORVA_EngineAccess::Number(value));
      else if (value != nullptr && ORVA_EngineAccess::IsBareArray(value))
         ORVA_EngineAccess::ResetArray(new (slot) ORVA_Value(), value->m_value.array);
      else
         new (slot) ORVA_Value(value);
      m_size++;
   }
   if (sb.sparse == nullptr || m_size < runLength)
      return;
   try
   {
      b.sparse = new ORVA_ArraySparse();
      for (const auto &element : sb.sparse->elements)
      {
         std::unique_ptr<ORVA_Value> copy(new ORVA_Value(element.second.value));
         b.sparse->elements.emplace_hint(b.sparse->elements.end(), element.first, SparseEntry{copy.get(), false});
         copy.release();
         m_size++;
      }
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();   // the copy stays shorter, and the run stops
   }
   if (b.sparse == nullptr)
      return;
   b.sparse->below = static_cast<int32>(std::distance(b.sparse->elements.begin(),
                                                      b.sparse->elements.lower_bound(b.origin)));
   // The text-keyed elements, in their order.
   ORVA_KeyTable &keys = b.sparse->keys;
   const ORVA_KeyEntry *entries = sb.sparse->keys.Entries();
   for (uint32 i = 0; i < sb.sparse->keys.Used(); i++)
   {
      if (entries[i].text == nullptr)
         continue;
      ORVA_Value *copy = new ORVA_Value(entries[i].value);
      if (keys.Insert(entries[i].text, entries[i].length, entries[i].hash, copy) == nullptr)
      {
         delete copy;   // out of memory: the copy stays shorter
         break;
      }
   }
}

/*
 * Deleting a value that holds the last reference to another array would
 * destroy that array from inside this one, and so on down a nested chain: a
 * script nesting arrays deeply would exhaust the native stack.  Such arrays
 * are held back while their element goes, and are taken apart one after
 * another by the destructor, each already empty when it is deleted.
 */
void ORVA_ArrayBody::ReleaseElement(ORVA_Value *value, bool inSlot, std::vector<ORVA_Array *> &released)
{
   // The value's reference to an inner array moves here first.
   ORVA_Array *inner = ORVA_EngineAccess::ArrayOf(value);
   if (inner != nullptr)
      ORVA_EngineAccess::ResetNull(value);
   if (inSlot)
      value->~ORVA_Value();
   else
      delete value;
   if (inner != nullptr)
   {
      inner->DecRefCount();
      if (!inner->IsUnused())
         Dropped(inner);
      else if (Of(inner).Bare())
         delete inner;   // owns nothing to release: no deeper destructor runs
      else
      {
         try
         {
            released.push_back(inner);
         }
         catch (const std::bad_alloc &)
         {
            // Called from destructors, where nothing may be thrown: without
            // room to hold it back, the array goes at once, as it would
            // have gone without the list.
            delete inner;
         }
      }
   }
}

/* Releases the elements of one side of the run and frees its blocks. */
void ORVA_ArrayBody::TakeApartSide(RunSide &side, std::vector<ORVA_Array *> &released)
{
   if (side.blocks == nullptr)
      return;
   const bool tableInHead = TableInHead(side);
   int32 left = side.length;
   for (int32 block = 0; left > 0; block++)
   {
      ORVA_Value *slots = side.blocks[block];
      const int32 count = (left < RunBlockSize(block)) ? left : RunBlockSize(block);
      for (int32 i = 0; i < count; i++)
      {
         ORVA_Value *slot = slots + i;
         const int type = ORVA_EngineAccess::Type(slot);
         // Numbers without text own nothing: the common case costs a test.
         if (ORVA_EngineAccess::OwnsNothing(slot) && type != SLOT_REDIRECT)
            continue;
         if (type == SLOT_REDIRECT)
            ReleaseElement(ORVA_Array::SlotValueOf(slot), false, released);
         else
            ReleaseElement(slot, true, released);
      }
      left -= count;
      if (block > 0)
         FreeBlock(slots, block);
   }
   // Block 0 last: the table may live in its allocation.
   if (side.length > 0)
      FreeBlock(side.blocks[0], 0);
   if (!tableInHead)
      MemoryFree(static_cast<void *>(side.blocks), sizeof(ORVA_Value *) * static_cast<size_t>(side.capacity));
   side = RunSide{nullptr, 0, 0};
}

/*
 * Releases every element of array (arrays whose last reference goes join
 * released) and leaves it empty and pinned: an array going away is no
 * one's to free again, whatever its elements refer to, and one that holds
 * itself only drops the reference.
 */
void ORVA_ArrayBody::TakeApart(ORVA_Array *array, std::vector<ORVA_Array *> &released)
{
   ORVA_ArrayBody &b = Of(array);
   array->m_refCount = INT32_MAX / 2;
   array->ReleaseHandedOver();
   TakeApartSide(b.up, released);
   TakeApartSide(b.down, released);
   if (b.sparse != nullptr)
   {
      for (auto &element : b.sparse->elements)
      {
         if (element.second.value != nullptr)
            ReleaseElement(element.second.value, false, released);
      }
      ORVA_KeyEntry *entries = b.sparse->keys.Entries();
      for (uint32 i = 0; i < b.sparse->keys.Used(); i++)
         if (entries[i].text != nullptr)
            ReleaseElement(entries[i].value, false, released);
      delete b.sparse;
      b.sparse = nullptr;
   }
   array->m_size = 0;
   array->m_allocated = 0;
}

ORVA_Array::~ORVA_Array()
{
   ORVA_ArrayBody &b = ORVA_ArrayBody::Of(this);
   // An array that owns no storage (never filled, or taken apart already)
   // drops no reference: none of the work below applies.
   if (!b.Bare())
   {
      // What the arrays taken apart here drop is looked at once, at the end.
      ORVA_CycleCollector::HoldBack hold;
      std::vector<ORVA_Array *> released;
      ORVA_ArrayBody::TakeApart(this, released);
      while (!released.empty())
      {
         ORVA_Array *array = released.back();
         released.pop_back();
         ORVA_ArrayBody::TakeApart(array, released);
         delete array;   // its destructor finds it empty
      }
   }
   // Last, for taking itself apart may have dropped a reference to itself.
   if (b.candidate >= 0)
      ORVA_CycleCollector::Forget(this);
   b.~ORVA_ArrayBody();
}
