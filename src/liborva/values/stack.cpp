/*
 * The stack of pointer-sized items used by the interpreter and the compiler.
 */
#include "orva.h"
#include "support/memory.h"

#include <cstdlib>

static const int32 STACK_INITIAL = 128;
static const int32 STACK_GROWTH = 64;

ORVA_Stack::ORVA_Stack() : m_capacity(STACK_INITIAL), m_position(0)
{
   m_data = static_cast<void **>(malloc(sizeof(void *) * STACK_INITIAL));
   if (m_data == nullptr)
      m_capacity = 0;   // out of memory: Push tries to grow later
}

ORVA_Stack::~ORVA_Stack()
{
   free(m_data);
}

void ORVA_Stack::Push(void *item)
{
   if (m_position >= m_capacity)
   {
      const size_t bytes = sizeof(void *) * static_cast<size_t>(m_capacity + STACK_GROWTH);
      void **data = AllocationFails() ? nullptr : static_cast<void **>(realloc(m_data, bytes));
      if (data == nullptr)
         return;   // out of memory: the item is not stored and Size() shows it
      m_data = data;
      m_capacity += STACK_GROWTH;
   }
   m_data[m_position++] = item;
}

void *ORVA_Stack::Pop()
{
   return (m_position > 0) ? m_data[--m_position] : nullptr;
}

void *ORVA_Stack::Peek()
{
   return (m_position > 0) ? m_data[m_position - 1] : nullptr;
}

void **ORVA_Stack::PeekList(int n)
{
   if (n < 0 || n > m_position)
      return nullptr;
   return &m_data[m_position - n];
}
