/*
 * Array extension functions: count, sort, keys, haskey and remove.  An
 * element that holds NULL reads exactly like a missing one in a script, so
 * none of them counts it.  Text-keyed elements are walked after the
 * integer-keyed ones, in the order their keys were first stored.
 */
#include "ext/ext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace orva_ext
{

namespace
{

bool IsPresent(const ORVA_Value *value)
{
   return value != nullptr && !value->IsNull();
}

// count(array): the elements that hold a value, text-keyed ones included.
int Count(int, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Array *array = argv[0]->GetValueAsArray();
   if (array == nullptr)
      return ORVA_ERR_NOT_ARRAY;
   const int64 length = WalkLength(array);
   if (ORVAChargeWork(static_cast<uint64>(length)) == 0)
      return STOPPED;
   int32 n = 0;
   for (int64 position = 0; position < length; position++)
      n += IsPresent(WalkValue(array, position)) ? 1 : 0;
   *result = new ORVA_Value(n);
   return 0;
}

// keys(array): a new array holding at 1..n the keys of the elements that
// hold a value, in the order a loop walks them: integers, then texts.
int Keys(int, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Array *array = argv[0]->GetValueAsArray();
   if (array == nullptr)
      return ORVA_ERR_NOT_ARRAY;
   WorkMeter meter;
   ORVA_Value *keys = new ORVA_Value(new ORVA_Array());
   std::unique_ptr<ORVA_Value> owned(keys);
   ORVA_Array *out = keys->GetValueAsArray();
   int32 n = 0;
   for (int32 position = 0; position < array->Size(); position++)
   {
      if (!meter.Add(1))
         return STOPPED;
      if (!IsPresent(array->ValueAt(position)))
         continue;
      if (!meter.Add(VALUE_UNITS))
         return STOPPED;
      out->Set(++n, new ORVA_Value(array->IndexAt(position)));
   }
   for (int32 position = 0; position < array->TextCount(); position++)
   {
      if (!meter.Add(1))
         return STOPPED;
      if (!IsPresent(array->TextValueAt(position)))
         continue;
      uint32 length = 0;
      const char *key = array->TextKeyAt(position, &length);
      if (!meter.Add(VALUE_UNITS) || !meter.AddBytes(length))
         return STOPPED;
      out->Set(++n, new ORVA_Value(key, length));
   }
   if (!meter.Flush())
      return STOPPED;
   *result = owned.release();
   return 0;
}

// The array and the key of haskey and remove: 0, or the error a script's
// a[k] gives when the first is no array or the second keys nothing (null,
// arrays and objects have no text to key by).
int ArrayAndKey(ORVA_Value **argv, ORVA_Array **array)
{
   *array = argv[0]->GetValueAsArray();
   if (*array == nullptr)
      return ORVA_ERR_NOT_ARRAY;
   return argv[1]->IsString() ? 0 : ORVA_ERR_INDEX_NOT_INTEGER;
}

// haskey(array, key): 1 when the element of key holds a value, else 0.
int HasKey(int, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Array *array;
   if (int error = ArrayAndKey(argv, &array))
      return error;
   *result = new ORVA_Value(IsPresent(array->GetKey(argv[1])) ? 1 : 0);
   return 0;
}

// remove(array, key): the element of key goes; 1 when it held a value,
// else 0.  The array is changed in place, as sort changes it.
int Remove(int, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Array *array;
   if (int error = ArrayAndKey(argv, &array))
      return error;
   *result = new ORVA_Value(array->RemoveKey(argv[1]));
   return 0;
}

// Sort order: numbers by value (NaN after every other number), then texts
// by their bytes, then arrays and objects in the order they had.
enum SortClass
{
   SORT_NUMBER,
   SORT_NAN,
   SORT_TEXT,
   SORT_OTHER
};

struct SortKey
{
   SortClass cls;
   const ORVA_Value *number;   // the number's value, ordered by ORVACompareNumbers
   Text text;
   size_t slot;                // where the copy that goes back into the array is held
};

SortKey MakeKey(ORVA_Value *value, size_t slot)
{
   SortKey key{SORT_OTHER, nullptr, Text(), slot};
   switch (value->DataType())
   {
      case ORVA_DT_REAL:
      {
         const double real = value->GetValueAsReal();
         key.cls = std::isnan(real) ? SORT_NAN : SORT_NUMBER;
         key.number = value;
         break;
      }
      case ORVA_DT_INT32:
      case ORVA_DT_INT64:
      case ORVA_DT_UINT32:
      case ORVA_DT_UINT64:
         key.number = value;
         key.cls = SORT_NUMBER;
         break;
      case ORVA_DT_STRING:
      {
         uint32 length = 0;
         const char *text = value->GetValueAsString(&length);
         key.text.assign(text != nullptr ? text : "", length);
         key.cls = SORT_TEXT;
         break;
      }
      default:
         break;
   }
   return key;
}

bool KeyLess(const SortKey &a, const SortKey &b)
{
   if (a.cls != b.cls)
      return a.cls < b.cls;
   if (a.cls == SORT_NUMBER)
      return ORVACompareNumbers(a.number, b.number) < 0;
   if (a.cls == SORT_TEXT)
      return a.text < b.text;   // char_traits<char> compares bytes as unsigned
   return false;
}

// sort(array): the values of all elements, text-keyed ones included, in
// order at indices 1..n; n comes back.  Every other index is cleared and
// every text key removed.  The array is sorted in place, so every variable
// that shares it sees the new order.
int Sort(int, ORVA_Value **argv, ORVA_Value **result)
{
   ORVA_Array *array = argv[0]->GetValueAsArray();
   if (array == nullptr)
      return ORVA_ERR_NOT_ARRAY;

   // Copies first: storing into the array deletes what it held.  The keys
   // and copies are counted under the ceiling as they are made.
   WorkMeter meter;
   std::vector<SortKey, Counted<SortKey>> keys;
   std::vector<std::unique_ptr<ORVA_Value>, Counted<std::unique_ptr<ORVA_Value>>> owned;
   uint64 keyBytes = 0, longest = 0;
   for (int64 position = 0; position < WalkLength(array); position++)
   {
      ORVA_Value *element = WalkValue(array, position);
      if (!meter.Add(1))
         return STOPPED;
      if (!IsPresent(element))
         continue;
      // Owned before the list grows: growing it may be refused.
      std::unique_ptr<ORVA_Value> copy(new ORVA_Value(element));
      owned.push_back(std::move(copy));
      keys.push_back(MakeKey(owned.back().get(), owned.size() - 1));
      const uint64 length = keys.back().text.size();
      keyBytes += length;
      longest = std::max(longest, length);
      if (!meter.AddBytes(length))
         return STOPPED;
   }
   if (!meter.Flush())
      return STOPPED;
   // A comparison of texts may read the whole of the shorter one.
   uint64 comparisons = keys.size();
   for (size_t n = keys.size(); n > 1; n /= 2)
      comparisons += keys.size();
   const uint64 average = keys.empty() ? 0 : keyBytes / keys.size();
   if (ORVAWeighWork(comparisons * (1 + longest / ORVA_WORK_BYTES_PER_UNIT),
                     comparisons * (1 + average / ORVA_WORK_BYTES_PER_UNIT)) == 0)
      return STOPPED;
   std::stable_sort(keys.begin(), keys.end(), KeyLess);

   int32 n = static_cast<int32>(keys.size());
   for (int32 position = 0; position < array->Size(); position++)
   {
      int32 index = array->IndexAt(position);
      if ((index < 1 || index > n) && IsPresent(array->ValueAt(position)))
         array->Set(index, new ORVA_Value());
   }
   WorkMeter clearing;
   if (!ClearTextKeys(array, clearing) || !clearing.Flush())
      return STOPPED;
   for (int32 i = 0; i < n; i++)
   {
      array->Set(i + 1, owned[keys[static_cast<size_t>(i)].slot].release());
   }
   *result = new ORVA_Value(n);
   return 0;
}

}

const ORVA_ExtFunction g_arrayFunctions[] = {
   {"count", Guarded<Count>, 1},
   {"sort", Guarded<Sort>, 1},
   {"keys", Guarded<Keys>, 1},
   {"haskey", Guarded<HasKey>, 2},
   {"remove", Guarded<Remove>, 2},
};
const uint32 g_arrayFunctionCount = sizeof(g_arrayFunctions) / sizeof(g_arrayFunctions[0]);

}
