/*
 * Elements keyed by a value (see array_keys.h), and the host methods of
 * ORVA_Array over text keys.  Integer keys go to the array's own storage;
 * text keys to the key table in its out-of-line part.
 */
#include "values/array_keys.h"
#include "values/array_body.h"
#include "values/array_sparse.h"
#include "values/value_access.h"
#include "support/memory.h"
#include "support/work_charge.h"

#include <new>

typedef ORVA_EngineAccess Access;

/* The index a text is the canonical decimal form of: no sign but '-', no leading zero, no "-0". */
static bool CanonicalIndex(const char *text, uint32 length, int32 *index)
{
   if (length == 0 || length > 11)
      return false;
   uint32 i = (text[0] == '-') ? 1 : 0;
   if (i == length || text[i] < '0' || text[i] > '9' || (text[i] == '0' && length != 1))
      return false;
   int64 n = 0;
   for (; i < length; i++)
   {
      if (text[i] < '0' || text[i] > '9')
         return false;
      n = n * 10 + (text[i] - '0');
   }
   if (text[0] == '-')
      n = -n;
   if (n < INT32_MIN || n > INT32_MAX)
      return false;
   *index = static_cast<int32>(n);
   return true;
}

ORVA_ElementKey ElementKeyOfText(const char *text, uint32 length)
{
   ORVA_ElementKey key{false, 0, nullptr, 0};
   if (!CanonicalIndex(text, length, &key.index))
   {
      key.isText = true;
      key.text = text;
      key.length = length;
   }
   return key;
}

bool ElementKeyOf(ORVA_Value *value, ORVA_ElementKey *key)
{
   const int type = Access::Type(value);
   if (type < ORVA_DT_STRING)
      return false;
   // A number without text stands for its canonical form.
   if (type != ORVA_DT_REAL && type != ORVA_DT_STRING && Access::CopiesWithoutText(value))
   {
      bool fits;
      int64 n = 0;
      if (type == ORVA_DT_UINT32 || type == ORVA_DT_UINT64)
      {
         const uint64 u = value->GetValueAsUInt64();
         fits = u <= static_cast<uint64>(INT32_MAX);
         n = static_cast<int64>(u);
      }
      else
      {
         n = value->GetValueAsInt64();
         fits = n >= INT32_MIN && n <= INT32_MAX;
      }
      if (fits)
      {
         *key = ORVA_ElementKey{false, static_cast<int32>(n), nullptr, 0};
         return true;
      }
   }
   uint32 length = 0;
   const char *text = Access::ReadText(value, &length);
   *key = ElementKeyOfText(text, length);
   return true;
}

ORVA_ArraySparse *ORVA_ArrayBody::Sparse(ORVA_Array *array, bool make)
{
   ORVA_ArrayBody &b = Of(array);
   if (b.sparse == nullptr && make)
   {
      b.sparse = new (std::nothrow) ORVA_ArraySparse();
      if (b.sparse == nullptr)
         MemoryExhausted();
   }
   return b.sparse;
}

int32 ORVA_ArrayBody::TextCount(const ORVA_Array *array)
{
   const ORVA_ArraySparse *sparse = Of(array).sparse;
   return (sparse != nullptr) ? static_cast<int32>(sparse->keys.Count()) : 0;
}

/* The hash of a key, its reading paid for: a long key costs in proportion. */
static uint32 PaidHash(const ORVA_ElementKey &key)
{
   ChargeWork(key.length);
   return ORVA_KeyTable::Hash(key.text, key.length);
}

static ORVA_KeyEntry *FindText(ORVA_Array *array, const ORVA_ElementKey &key)
{
   ORVA_ArraySparse *sparse = ORVA_ArrayBody::Sparse(array, false);
   if (sparse == nullptr || sparse->keys.Count() == 0)
      return nullptr;
   return sparse->keys.Find(key.text, key.length, PaidHash(key));
}

ORVA_Value *KeyedGet(ORVA_Array *array, const ORVA_ElementKey &key)
{
   if (!key.isText)
      return array->Get(key.index);
   ORVA_KeyEntry *entry = FindText(array, key);
   return (entry != nullptr) ? entry->value : nullptr;
}

/*
 * Puts value (the array's from now on, never null) under a text key; false
 * when memory is refused, and then value is still the caller's.
 */
static bool StoreText(ORVA_Array *array, const ORVA_ElementKey &key, ORVA_Value *value)
{
   ORVA_ArraySparse *sparse = ORVA_ArrayBody::Sparse(array, true);
   if (sparse == nullptr)
      return false;
   const uint32 hash = PaidHash(key);
   ORVA_KeyEntry *entry = sparse->keys.Find(key.text, key.length, hash);
   if (entry == nullptr)
      return sparse->keys.Insert(key.text, key.length, hash, value) != nullptr;
   ORVA_Value *old = entry->value;
   if (old != value)
   {
      entry->value = value;
      delete old;   // last: freeing it may reach this array again
   }
   return true;
}

bool KeyedStore(ORVA_Array *array, const ORVA_ElementKey &key, ORVA_Value *value)
{
   if (!key.isText)
      return ORVA_ArrayBody::StoreIndex(array, key.index, value, true);
   if (value == nullptr)
   {
      ORVA_Value *null = new ORVA_Value();
      if (!StoreText(array, key, null))
      {
         delete null;
         return false;
      }
      return true;
   }
   return StoreText(array, key, value);
}

bool KeyedSet(ORVA_Array *array, const ORVA_ElementKey &key, ORVA_Value *value)
{
   if (key.isText)
   {
      ORVA_KeyEntry *entry = FindText(array, key);
      if (entry != nullptr)
      {
         ORVA_Value *old = entry->value;
         if (old == value)
            return true;
         // A number without text is overwritten where it is: counting
         // into an element costs no allocation.
         if (Access::OwnsNothing(old))
         {
            Access::ShareCopy(old, value);
            return true;
         }
      }
   }
   ORVA_Value *copy = Access::ShareCopy(nullptr, value);
   if (!KeyedStore(array, key, copy))
   {
      delete copy;
      return false;
   }
   return true;
}

ORVA_Value *KeyedSlot(ORVA_Array *array, const ORVA_ElementKey &key)
{
   ORVA_Value *element = KeyedGet(array, key);
   if (element != nullptr)
      return element;
   ORVA_Value *null = new ORVA_Value();
   if (!KeyedStore(array, key, null))
   {
      delete null;
      return nullptr;
   }
   return KeyedGet(array, key);
}

bool KeyedRemove(ORVA_Array *array, const ORVA_ElementKey &key)
{
   if (!key.isText)
      return array->Remove(key.index) != 0;
   ORVA_KeyEntry *entry = FindText(array, key);
   if (entry == nullptr)
      return false;
   ORVA_Value *gone = ORVA_ArrayBody::Sparse(array, false)->keys.Remove(entry);
   const bool held = !gone->IsNull();
   delete gone;
   return held;
}

static bool Present(const ORVA_Value *value)
{
   return value != nullptr && !value->IsNull();
}

int64 KeyedCount(ORVA_Array *array)
{
   int64 n = 0;
   for (int32 position = 0; position < array->Size(); position++)
      n += Present(array->ValueAt(position)) ? 1 : 0;
   ORVA_ArraySparse *sparse = ORVA_ArrayBody::Sparse(array, false);
   if (sparse != nullptr)
   {
      const ORVA_KeyEntry *entries = sparse->keys.Entries();
      for (uint32 i = 0; i < sparse->keys.Used(); i++)
         n += (entries[i].text != nullptr && Present(entries[i].value)) ? 1 : 0;
   }
   return n;
}

ORVA_Array *KeysOf(ORVA_Array *array)
{
   const int32 texts = ORVA_ArrayBody::TextCount(array);
   // A key made and stored costs about as much as a few instructions.
   if (!ChargeUnits(4 * (static_cast<uint64>(array->Size()) + static_cast<uint64>(texts))))
      return nullptr;
   ORVA_Array *keys = new ORVA_Array();
   int32 n = 0;
   bool stored = true;
   for (int32 position = 0; stored && position < array->Size(); position++)
   {
      int32 index = 0;
      if (Present(array->ValueAt(position)))
      {
         index = array->IndexAt(position);
         ORVA_Value *key = new ORVA_Value(index);
         stored = ORVA_ArrayBody::StoreIndex(keys, ++n, key, true);
         if (!stored)
            delete key;
      }
   }
   ORVA_ArraySparse *sparse = ORVA_ArrayBody::Sparse(array, false);
   if (sparse != nullptr)
   {
      const ORVA_KeyEntry *entries = sparse->keys.Entries();
      for (uint32 i = 0; stored && i < sparse->keys.Used(); i++)
      {
         if (entries[i].text == nullptr || !Present(entries[i].value))
            continue;
         ORVA_Value *key = new ORVA_Value(entries[i].text, entries[i].length);
         stored = ORVA_ArrayBody::StoreIndex(keys, ++n, key, true);
         if (!stored)
            delete key;
      }
   }
   if (!stored || MemoryRefused())
   {
      delete keys;
      return nullptr;
   }
   return keys;
}

/*** The host methods over text keys. ***/

ORVA_Value *ORVA_Array::GetText(const char *key, uint32 length)
{
   if (key == nullptr)
      return nullptr;
   return KeyedGet(this, ElementKeyOfText(key, length));
}

int ORVA_Array::SetText(const char *key, uint32 length, ORVA_Value *value)
{
   const ORVA_ElementKey k = ElementKeyOfText((key != nullptr) ? key : "", (key != nullptr) ? length : 0);
   if (!k.isText)
   {
      // As Set: the host's value stays the element, not moved into a slot.
      if (Store(k.index, value, false))
         return 1;
   }
   else if (KeyedStore(this, k, value))
      return 1;
   delete value;   // handed over: refused, it goes
   return 0;
}

int ORVA_Array::RemoveText(const char *key, uint32 length)
{
   if (key == nullptr)
      return 0;
   return KeyedRemove(this, ElementKeyOfText(key, length)) ? 1 : 0;
}

ORVA_Value *ORVA_Array::GetKey(ORVA_Value *key)
{
   ORVA_ElementKey k;
   return (key != nullptr && ElementKeyOf(key, &k)) ? KeyedGet(this, k) : nullptr;
}

int ORVA_Array::RemoveKey(ORVA_Value *key)
{
   ORVA_ElementKey k;
   return (key != nullptr && ElementKeyOf(key, &k) && KeyedRemove(this, k)) ? 1 : 0;
}

int32 ORVA_Array::TextCount() const
{
   return ORVA_ArrayBody::TextCount(this);
}

static ORVA_KeyEntry *TextEntryAt(const ORVA_Array *array, int32 position)
{
   ORVA_ArraySparse *sparse = ORVA_ArrayBody::Sparse(const_cast<ORVA_Array *>(array), false);
   if (sparse == nullptr || position < 0)
      return nullptr;
   return sparse->keys.At(static_cast<uint32>(position));
}

const char *ORVA_Array::TextKeyAt(int32 position, uint32 *length) const
{
   const ORVA_KeyEntry *entry = TextEntryAt(this, position);
   if (length != nullptr)
      *length = (entry != nullptr) ? entry->length : 0;
   return (entry != nullptr) ? entry->text : nullptr;
}

ORVA_Value *ORVA_Array::TextValueAt(int32 position) const
{
   const ORVA_KeyEntry *entry = TextEntryAt(this, position);
   return (entry != nullptr) ? entry->value : nullptr;
}
