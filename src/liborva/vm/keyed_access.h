/*
 * The key rule of level 2's element access, as the values layer gives it
 * (values/array_keys.h).  Until that storage is in the tree, a stand-in of
 * the same shape keys by integers alone, so that everything else of level 2
 * works and a text key stops the run as it does at level 1.
 */
#ifndef ORVA_KEYED_ACCESS_H
#define ORVA_KEYED_ACCESS_H

#if __has_include("values/array_keys.h")
#include "values/array_keys.h"
#else
#include "orva.h"
#include "values/value_access.h"

struct ORVA_ElementKey
{
   bool isText;
   int32 index;
   const char *text;
   uint32 length;
};

inline bool ElementKeyOf(ORVA_Value *value, ORVA_ElementKey *key)
{
   typedef ORVA_EngineAccess Access;
   if (value == nullptr || Access::Type(value) < ORVA_DT_INT32 ||
       !(Access::CopiesWithoutText(value) || Access::HasCanonicalText(value)))
      return false;
   const int64 n = value->GetValueAsInt64();
   if (n < INT32_MIN || n > INT32_MAX || (Access::Type(value) == ORVA_DT_UINT64 && value->GetValueAsUInt64() > INT32_MAX))
      return false;
   *key = ORVA_ElementKey{false, static_cast<int32>(n), nullptr, 0};
   return true;
}

inline ORVA_Value *KeyedGet(ORVA_Array *array, const ORVA_ElementKey &key)
{
   return key.isText ? nullptr : array->Get(key.index);
}

inline bool KeyedSet(ORVA_Array *array, const ORVA_ElementKey &key, ORVA_Value *value)
{
   ORVA_Value *copy = new (std::nothrow) ORVA_Value(value);
   if (copy == nullptr || key.isText)
   {
      delete copy;
      return false;
   }
   if (!ORVA_EngineAccess::TryStoreElement(array, key.index, copy))
   {
      delete copy;
      return false;
   }
   return true;
}

inline ORVA_Array *KeysOf(ORVA_Array *array)
{
   ORVA_Array *keys = new ORVA_Array();
   for (int32 i = 0; i < array->Size(); i++)
      keys->Set(i + 1, new ORVA_Value(array->IndexAt(i)));
   return keys;
}
#endif

#endif
