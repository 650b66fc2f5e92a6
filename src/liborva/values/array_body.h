/*
 * What an array keeps beyond its counts: one contiguous run of elements in
 * blocks of value slots, the elements outside it, and the cycle collector's
 * marks.  Hosts see none of it: the public header holds only room for it.
 * The array's own code, the cycle collector and the engine's access to
 * arrays are the only readers.
 */
#ifndef ORVA_ARRAY_BODY_H
#define ORVA_ARRAY_BODY_H

#include "orva.h"

#include <new>
#include <vector>

struct ORVA_ArraySparse;   // elements outside the run, and those of text keys (array_sparse.h)

struct ORVA_ArrayBody
{
   // One side of the run: the slots counted away from the run's origin.
   struct RunSide
   {
      ORVA_Value **blocks;   // block k holds RunBlockSize(k) slots
      int32 length;          // slots in use
      int32 capacity;        // entries of blocks
   };

   /*
    * A side of the run grows in blocks of 4, 8, ..., 1024 slots, then 1024
    * at a time: a small array costs little, a large one a block pointer per
    * 1024 elements.
    */
   static const int32 FIRST_BLOCK_SLOTS = 4;
   static const int32 GROWING_BLOCKS = 9;
   static const int32 BIG_BLOCK_SLOTS = FIRST_BLOCK_SLOTS << (GROWING_BLOCKS - 1);
   static const int32 GROWN_SLOTS = FIRST_BLOCK_SLOTS * ((1 << GROWING_BLOCKS) - 1);

   static int32 BlockSize(int32 block)
   {
      return (block < GROWING_BLOCKS) ? FIRST_BLOCK_SLOTS << block : BIG_BLOCK_SLOTS;
   }

   // Block and offset of slot number `slot` of a side.
   static void Locate(int32 slot, int32 *block, int32 *offset)
   {
      if (slot < GROWN_SLOTS)
      {
         const int32 k = 31 - __builtin_clz(static_cast<uint32>(slot) / FIRST_BLOCK_SLOTS + 1);
         *block = k;
         *offset = slot - FIRST_BLOCK_SLOTS * ((1 << k) - 1);
      }
      else
      {
         const int32 beyond = slot - GROWN_SLOTS;
         *block = GROWING_BLOCKS + beyond / BIG_BLOCK_SLOTS;
         *offset = beyond % BIG_BLOCK_SLOTS;
      }
   }

   /*
    * States of a slot beyond holding a value, kept in its type byte.  An
    * element stored with a null pointer holds none; an element that the run
    * reached after its value was handed out keeps that value where it is,
    * and the slot points at it.
    */
   static const uint8 SLOT_NO_VALUE = 0xFD;
   static const uint8 SLOT_REDIRECT = 0xFE;

   int32 origin = 0;                     // index of the run's first element ever stored
   RunSide up{nullptr, 0, 0};            // indices origin, origin + 1, ...
   RunSide down{nullptr, 0, 0};          // indices origin - 1, origin - 2, ...
   ORVA_ArraySparse *sparse = nullptr;   // null while every element is in the run and none has a text key
   ORVA_Value *handedOver = nullptr;     // what the last store moved into a slot (ORVA_Array::Store)
   int32 candidate = -1;                 // place among the possible roots of a cycle, or -1 (array_cycle.cpp)
   uint8 color = 0;                      // the cycle collector's mark; black outside a collection

   // Nothing allocated and nothing held: the state of a new array and of
   // one taken apart.
   bool Bare() const
   {
      return up.blocks == nullptr && down.blocks == nullptr && sparse == nullptr && handedOver == nullptr;
   }

   // The body of an array, laid out in the room the array keeps for it.
   static ORVA_ArrayBody &Of(const ORVA_Array *array)
   {
      // The room's address stands for the body made in it.  Not through
      // std::launder: with it the compiler reloads the body after every
      // store (array access 0.6% slower), and the body has no const or
      // reference member, the case where the room's old object could be
      // read instead.
      return *reinterpret_cast<ORVA_ArrayBody *>(const_cast<unsigned char *>(array->m_body));
   }

   // The out-of-line part, made when make asks; null when there is none
   // or memory is refused.
   static ORVA_ArraySparse *Sparse(ORVA_Array *array, bool make);
   // Stores under an integer index as the engine does (ORVA_Array::Store).
   static bool StoreIndex(ORVA_Array *array, int32 index, ORVA_Value *value, bool moveIn)
   {
      return array->Store(index, value, moveIn);
   }
   // Elements under text keys (array_keys.cpp).
   static int32 TextCount(const ORVA_Array *array);

   // The counts the public header fixes, for the cycle collector's trial.
   static int32 &RefCount(ORVA_Array *array) { return array->m_refCount; }
   static int32 Size(const ORVA_Array *array) { return array->m_size; }

   // Appends the arrays the elements of array hold.
   static void ChildArrays(const ORVA_Array *array, std::vector<ORVA_Array *> &out);
   // Releases every element of array (arrays whose last reference goes join
   // released) and leaves it empty and pinned.
   static void TakeApart(ORVA_Array *array, std::vector<ORVA_Array *> &released);
   static void TakeApartSide(RunSide &side, std::vector<ORVA_Array *> &released);
   static void ReleaseElement(ORVA_Value *value, bool inSlot, std::vector<ORVA_Array *> &released);

   // A reference went and others remain: the array may be what keeps a
   // cycle alive, and becomes a candidate for the cycle collector.  Only
   // an array that holds an array can be on a cycle, and whatever is stored
   // later comes with references of its own, whose drops are looked at then.
   static void Dropped(ORVA_Array *array)
   {
      if (Of(array).candidate < 0 && MayHoldArrays(array))
         BecomeCandidate(array);
   }
   // False only when the array surely holds no array: it is looked into
   // when that costs less than watching it (a few elements, all in the run).
   static bool MayHoldArrays(const ORVA_Array *array);
   static void BecomeCandidate(ORVA_Array *array);
};

#endif
