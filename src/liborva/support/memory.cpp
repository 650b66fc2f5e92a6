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

void *MemoryObject(size_t bytes)
{
   ORVA_MemoryBudget *budget = g_orvaBudget;
   if (budget != nullptr && budget->limit != 0)
   {
      budget->held += bytes;
      if (budget->held > budget->limit)
         MemoryRefuse(budget, MEMORY_OVER_LIMIT);
   }
   void *block = malloc(bytes);
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
   free(block);
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
