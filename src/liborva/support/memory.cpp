/*
 * The allocation funnel (see memory.h for the policy).
 */
#include "support/memory.h"
#include "support/work_charge.h"

#include <cstdio>
#include <cstdlib>

uint32 g_orvaTextLimit = UINT32_MAX - 1;

ORVA_THREAD_POINTER ORVA_MemoryBudget *g_orvaBudget ORVA_TLS_FAST = nullptr;

ORVA_THREAD_POINTER ORVA_WorkMeter *g_orvaWorkMeter ORVA_TLS_FAST = nullptr;

bool (*g_orvaFailAllocation)() = nullptr;

const char *MemoryRefusalText()
{
   const int refused = (g_orvaBudget != nullptr) ? g_orvaBudget->refused : 0;
   if (refused == MEMORY_EXHAUSTED)
      return "Out of memory";
   if (refused == MEMORY_TEXT_TOO_LONG)
      return "Text too long";
   return "Memory limit reached";
}

/*
 * Small blocks freed on a thread wait on a list of their size for the next
 * request of that size on the thread: programs that build trees make and
 * free arrays, values and first blocks by the million, and the general heap
 * costs several times more per block.  The lists sit below the counting: a
 * block waiting on them is held by no run.  Only callers that free with the
 * size they asked for come here, so a block always fits its list.  Under
 * the address sanitizer every block goes straight back to the heap, so that
 * a use after free is still seen.
 */
#if defined(__SANITIZE_ADDRESS__)
#define ORVA_SPARE_BLOCKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVA_SPARE_BLOCKS 0
#endif
#endif
#ifndef ORVA_SPARE_BLOCKS
#define ORVA_SPARE_BLOCKS 1
#endif

namespace
{
const size_t SPARE_GRAIN = 16;
const size_t SPARE_SIZES = 16;    // lists for blocks of up to 256 bytes
const uint32 SPARE_MOST = 1024;   // blocks a list keeps; the rest go back to the heap

struct SpareBlock
{
   SpareBlock *next;
};

ORVA_THREAD_POINTER SpareBlock *t_spare[SPARE_SIZES] ORVA_TLS_FAST;
ORVA_THREAD_POINTER uint32 t_spareCount[SPARE_SIZES] ORVA_TLS_FAST;

// Gives the lists back to the heap when the thread ends.  Touched only when
// a list takes its first block, so that the fast paths never pay for the
// check of its construction.
struct SpareOwner
{
   bool armed = false;
   ~SpareOwner()
   {
      for (size_t size = 0; size < SPARE_SIZES; size++)
      {
         while (t_spare[size] != nullptr)
         {
            SpareBlock *block = t_spare[size];
            t_spare[size] = block->next;
            free(block);
         }
         // Blocks freed later on the thread (by other thread-local objects
         // going) find every list full and go back to the heap.
         t_spareCount[size] = SPARE_MOST;
      }
   }
};
thread_local SpareOwner t_spareOwner;

inline bool Spared(size_t bytes, size_t *size)
{
   *size = (bytes - 1) / SPARE_GRAIN;
   return ORVA_SPARE_BLOCKS && bytes - 1 < SPARE_GRAIN * SPARE_SIZES;   // 0 wraps around: not spared
}

inline void *TakeBlock(size_t bytes)
{
   size_t size;
   if (!Spared(bytes, &size))
      return malloc(bytes > 0 ? bytes : 1);
   SpareBlock *block = t_spare[size];
   if (block == nullptr)
      return malloc((size + 1) * SPARE_GRAIN);   // any block of its list fits any request of the list
   t_spare[size] = block->next;
   t_spareCount[size]--;
   return block;
}

inline void GiveBlock(void *block, size_t bytes)
{
   size_t size;
   if (!Spared(bytes, &size) || t_spareCount[size] >= SPARE_MOST)
   {
      free(block);
      return;
   }
   if (t_spareCount[size] == 0)
      t_spareOwner.armed = true;
   SpareBlock *spare = static_cast<SpareBlock *>(block);
   spare->next = t_spare[size];
   t_spare[size] = spare;
   t_spareCount[size]++;
}
}

static void *Exhausted()
{
   MemoryExhausted();
   return nullptr;
}

void *MemoryAllocate(size_t bytes)
{
   if (!MemoryCharge(bytes))
      return nullptr;
   void *block = AllocationFails() ? nullptr : malloc(bytes > 0 ? bytes : 1);
   if (block == nullptr)
   {
      MemoryCredit(bytes);
      return Exhausted();
   }
   return block;
}

void *MemoryReallocate(void *block, size_t oldBytes, size_t newBytes)
{
   if (newBytes > oldBytes && !MemoryCharge(newBytes - oldBytes))
      return nullptr;
   void *grown = AllocationFails() ? nullptr : realloc(block, newBytes > 0 ? newBytes : 1);
   if (grown == nullptr)
   {
      if (newBytes > oldBytes)
         MemoryCredit(newBytes - oldBytes);
      return Exhausted();
   }
   if (newBytes < oldBytes)
      MemoryCredit(oldBytes - newBytes);
   return grown;
}

void MemoryFree(void *block, size_t bytes)
{
   if (block == nullptr)
      return;
   MemoryCredit(bytes);
   free(block);
}

void *MemoryAllocateSmall(size_t bytes)
{
   if (!MemoryCharge(bytes))
      return nullptr;
   void *block = AllocationFails() ? nullptr : TakeBlock(bytes);
   if (block == nullptr)
   {
      MemoryCredit(bytes);
      return Exhausted();
   }
   return block;
}

void MemoryFreeSmall(void *block, size_t bytes)
{
   if (block == nullptr)
      return;
   MemoryCredit(bytes);
   GiveBlock(block, bytes);
}

void *MemoryObject(size_t bytes)
{
   ORVA_MemoryBudget *budget = g_orvaBudget;
   if (budget != nullptr && budget->limit != 0)
   {
      budget->held += bytes;
      if (budget->held > budget->limit)
         MemoryRefuse(budget, MEMORY_OVER_LIMIT);
   }
   void *block = TakeBlock(bytes);
   if (block == nullptr)
   {
      fputs("liborva: out of memory\n", stderr);
      exit(2);
   }
   return block;
}

void MemoryObjectFree(void *block, size_t bytes)
{
   if (block == nullptr)
      return;
   MemoryCredit(bytes);
   GiveBlock(block, bytes);
}

// Values and arrays are the objects a script makes by the million: their
// class operators go through the funnel.
void *ORVA_Value::operator new(size_t size)
{
   return MemoryObject(size);
}

void *ORVA_Value::operator new(size_t size, const std::nothrow_t &) noexcept
{
   return MemoryObject(size);
}

void ORVA_Value::operator delete(void *block, size_t size)
{
   MemoryObjectFree(block, size);
}

void *ORVA_Array::operator new(size_t size)
{
   return MemoryObject(size);
}

void *ORVA_Array::operator new(size_t size, const std::nothrow_t &) noexcept
{
   return MemoryObject(size);
}

void ORVA_Array::operator delete(void *block, size_t size)
{
   MemoryObjectFree(block, size);
}

// Instructions are made by the thousand while a text compiles, inside the
// parser's actions, where nothing may be thrown.
void *ORVA_Instruction::operator new(size_t size)
{
   return MemoryObject(size);
}

void ORVA_Instruction::operator delete(void *block, size_t size)
{
   MemoryObjectFree(block, size);
}

void *ORVA_Object::operator new(size_t size)
{
   return MemoryObject(size);
}

void *ORVA_Object::operator new(size_t size, const std::nothrow_t &) noexcept
{
   return MemoryObject(size);
}

void ORVA_Object::operator delete(void *block, size_t size)
{
   MemoryObjectFree(block, size);
}
