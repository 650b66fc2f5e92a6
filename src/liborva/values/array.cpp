/*
 * Sparse arrays: a packed vector of (index, value) pairs kept in ascending
 * signed index order, so that lookups are binary searches.
 */
#include "orva.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

// Room is added this many elements at a time.
static const int32 ARRAY_GROWTH = 32;

/*
 * Binary search for index among the elements in use.  Returns 1 and the
 * element's position when found, else 0 and the position where the index
 * belongs to keep the order.
 */
static int FindPosition(const ORVA_ArrayElement *data, int32 size, int32 index, int32 *position)
{
   int32 low = 0;
   int32 high = size;
   while (low < high)
   {
      int32 middle = low + (high - low) / 2;
      if (data[middle].index < index)
         low = middle + 1;
      else if (data[middle].index > index)
         high = middle;
      else
      {
         *position = middle;
         return 1;
      }
   }
   *position = low;
   return 0;
}

ORVA_Array::ORVA_Array() : m_refCount(0), m_size(0), m_allocated(0), m_data(nullptr)
{
}

ORVA_Array::ORVA_Array(ORVA_Array *src) : ORVA_Array()
{
   if (src == nullptr || src->m_size <= 0)
      return;
   m_data = static_cast<ORVA_ArrayElement *>(malloc(sizeof(ORVA_ArrayElement) * static_cast<size_t>(src->m_size)));
   if (m_data == nullptr)
      return;   // out of memory: the copy stays empty
   m_allocated = src->m_size;
   for (int32 i = 0; i < src->m_size; i++)
   {
      // Element values are copied as values are: arrays inside stay shared.
      m_data[i].index = src->m_data[i].index;
      m_data[i].value = new ORVA_Value(src->m_data[i].value);
   }
   m_size = src->m_size;
}

ORVA_Array::~ORVA_Array()
{
   for (int32 i = 0; i < m_size; i++)
      delete m_data[i].value;
   free(m_data);
}

ORVA_Value *ORVA_Array::Get(int index)
{
   int32 position;
   return FindPosition(m_data, m_size, index, &position) ? m_data[position].value : nullptr;
}

void ORVA_Array::Set(int index, ORVA_Value *value)
{
   int32 position;
   if (FindPosition(m_data, m_size, index, &position))
   {
      // Storing the value already held must not free it.
      if (m_data[position].value != value)
      {
         delete m_data[position].value;
         m_data[position].value = value;
      }
      return;
   }

   if (m_size == m_allocated)
   {
      ORVA_ArrayElement *data = (m_allocated <= INT32_MAX - ARRAY_GROWTH)
                                   ? static_cast<ORVA_ArrayElement *>(realloc(
                                        m_data, sizeof(ORVA_ArrayElement) * static_cast<size_t>(m_allocated + ARRAY_GROWTH)))
                                   : nullptr;
      if (data == nullptr)
      {
         // Out of memory: the array stays as it was and the value it was
         // given, which it owns now, is dropped.
         delete value;
         return;
      }
      m_data = data;
      m_allocated += ARRAY_GROWTH;
   }

   // Inserting at the searched position gives the same order as appending
   // and sorting, without sorting the whole vector on every new index.
   memmove(&m_data[position + 1], &m_data[position], sizeof(ORVA_ArrayElement) * static_cast<size_t>(m_size - position));
   m_data[position].index = index;
   m_data[position].value = value;
   m_size++;
}
