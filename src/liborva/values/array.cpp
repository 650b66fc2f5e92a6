/*
 * Sparse arrays: a packed vector of (index, value) pairs kept in ascending
 * signed index order, so that lookups are binary searches.
 */
#include "orva.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

// Room grows by half of what there is, and by at least this many elements,
// so that filling an array element by element copies it a bounded number
// of times per element.
static const int32 ARRAY_GROWTH = 32;

static int32 GrownCapacity(int32 allocated)
{
   int32 step = allocated / 2;
   if (step < ARRAY_GROWTH)
      step = ARRAY_GROWTH;
   if (allocated > INT32_MAX - step)
      return (allocated < INT32_MAX) ? INT32_MAX : allocated;
   return allocated + step;
}

/*
 * Binary search for index among the elements in use.  Returns 1 and the
 * element's position when found, else 0 and the position where the index
 * belongs to keep the order.
 */
static int FindPosition(const ORVA_ArrayElement *data, int32 size, int32 index, int32 *position)
{
   // Arrays filled from 0 hold index i at position i, and are filled at the
   // end: both are answered without a search.
   if (index >= 0 && index < size && data[index].index == index)
   {
      *position = index;
      return 1;
   }
   if (size == 0 || data[size - 1].index < index)
   {
      *position = size;
      return 0;
   }
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

/*
 * Deleting an element that holds the last reference to another array would
 * destroy that array from inside this destructor, and so on down a nested
 * chain: a script nesting arrays deeply would exhaust the native stack.  Such
 * arrays are held back while their element is deleted and are then taken
 * apart one after another here, each already empty when it is deleted.
 */
ORVA_Array::~ORVA_Array()
{
   std::vector<ORVA_Array *> released;
   auto takeApart = [&released](ORVA_Array *array) {
      for (int32 i = 0; i < array->m_size; i++)
      {
         ORVA_Value *value = array->m_data[i].value;
         ORVA_Array *inner = (value != nullptr) ? value->GetValueAsArray() : nullptr;
         if (inner == nullptr || inner == array)
         {
            delete value;
            continue;
         }
         inner->IncRefCount();
         delete value;
         inner->DecRefCount();
         if (inner->IsUnused())
            released.push_back(inner);
      }
      array->m_size = 0;
   };

   takeApart(this);
   while (!released.empty())
   {
      ORVA_Array *array = released.back();
      released.pop_back();
      takeApart(array);
      delete array;
   }
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
      const int32 capacity = GrownCapacity(m_allocated);
      ORVA_ArrayElement *data = (capacity > m_allocated)
                                   ? static_cast<ORVA_ArrayElement *>(
                                        realloc(m_data, sizeof(ORVA_ArrayElement) * static_cast<size_t>(capacity)))
                                   : nullptr;
      if (data == nullptr)
      {
         // Out of memory: the array stays as it was and the value it was
         // given, which it owns now, is dropped.
         delete value;
         return;
      }
      m_data = data;
      m_allocated = capacity;
   }

   // Inserting at the searched position gives the same order as appending
   // and sorting, without sorting the whole vector on every new index.
   memmove(&m_data[position + 1], &m_data[position], sizeof(ORVA_ArrayElement) * static_cast<size_t>(m_size - position));
   m_data[position].index = index;
   m_data[position].value = value;
   m_size++;
}
