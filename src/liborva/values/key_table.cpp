/*
 * The text-key table (see key_table.h): open addressing with linear
 * probing over positions in the entry list.
 */
#include "values/key_table.h"
#include "support/memory.h"

#include <chrono>
#include <cstdint>
#include <cstring>

static const uint32 TOMBSTONE = UINT32_MAX;
static const uint32 FIRST_ENTRIES = 4;
static const uint32 FIRST_SLOTS = 8;

/*
 * Keys come from data a script reads (addresses, paths, names sent by
 * others), so whoever writes the data must not be able to choose keys that
 * all meet in one chain: the hash takes a seed chosen when the process
 * starts.  No walk depends on the hash, so the seed changes no result.
 */
static uint64 MakeSeed()
{
   uint64 s = static_cast<uint64>(std::chrono::steady_clock::now().time_since_epoch().count());
   s ^= reinterpret_cast<uintptr_t>(&s) * 0x9E3779B97F4A7C15ull;
   return s | 1;
}
static const uint64 g_seed = MakeSeed();

static inline uint64 Mix(uint64 h)
{
   h ^= h >> 32;
   h *= 0xD6E8FEB86659FD93ull;
   h ^= h >> 32;
   return h;
}

uint32 ORVA_KeyTable::Hash(const char *text, uint32 length)
{
   uint64 h = g_seed ^ (static_cast<uint64>(length) * 0x9E3779B97F4A7C15ull);
   const char *p = text;
   uint32 left = length;
   for (; left >= 8; p += 8, left -= 8)
   {
      uint64 word;
      memcpy(&word, p, 8);
      h = Mix(h ^ word);
   }
   uint64 tail = 0;
   memcpy(&tail, p, left);
   return static_cast<uint32>(Mix(h ^ tail ^ (static_cast<uint64>(left) << 56)));
}

ORVA_KeyTable::~ORVA_KeyTable()
{
   // The values belong to the array, which releases them first.
   for (uint32 i = 0; i < m_used; i++)
      if (m_entries[i].text != nullptr)
         MemoryFree(m_entries[i].text, m_entries[i].length + 1);
   MemoryFree(m_entries, sizeof(ORVA_KeyEntry) * m_capacity);
   MemoryFree(m_slots, sizeof(uint32) * m_slotCount);
}

size_t ORVA_KeyTable::Bytes() const
{
   return sizeof(ORVA_KeyEntry) * m_capacity + sizeof(uint32) * m_slotCount + m_keyBytes;
}

ORVA_KeyEntry *ORVA_KeyTable::Find(const char *text, uint32 length, uint32 hash) const
{
   if (m_slotCount == 0)
      return nullptr;
   const uint32 mask = m_slotCount - 1;
   for (uint32 at = hash & mask;; at = (at + 1) & mask)
   {
      const uint32 slot = m_slots[at];
      if (slot == 0)
         return nullptr;
      if (slot == TOMBSTONE)
         continue;
      ORVA_KeyEntry *entry = m_entries + (slot - 1);
      if (entry->hash == hash && entry->length == length && memcmp(entry->text, text, length) == 0)
         return entry;
   }
}

/* A new slot array of slotCount slots holding every live entry; false (nothing changed) when refused. */
bool ORVA_KeyTable::Rehash(uint32 slotCount)
{
   uint32 *slots = static_cast<uint32 *>(MemoryAllocate(sizeof(uint32) * slotCount));
   if (slots == nullptr)
      return false;
   memset(slots, 0, sizeof(uint32) * slotCount);
   const uint32 mask = slotCount - 1;
   for (uint32 i = 0; i < m_used; i++)
   {
      if (m_entries[i].text == nullptr)
         continue;
      uint32 at = m_entries[i].hash & mask;
      while (slots[at] != 0)
         at = (at + 1) & mask;
      slots[at] = i + 1;
   }
   MemoryFree(m_slots, sizeof(uint32) * m_slotCount);
   m_slots = slots;
   m_slotCount = slotCount;
   m_tombstones = 0;
   return true;
}

/* Closes the holes of the list, keeping the walk order; positions change, so the slots are made again. */
void ORVA_KeyTable::Compact()
{
   uint32 kept = 0;
   for (uint32 i = 0; i < m_used; i++)
      if (m_entries[i].text != nullptr)
         m_entries[kept++] = m_entries[i];
   m_used = kept;
   // Same size: the slot array is reused in place when a new one is refused.
   if (!Rehash(m_slotCount))
   {
      memset(m_slots, 0, sizeof(uint32) * m_slotCount);
      const uint32 mask = m_slotCount - 1;
      for (uint32 i = 0; i < m_used; i++)
      {
         uint32 at = m_entries[i].hash & mask;
         while (m_slots[at] != 0)
            at = (at + 1) & mask;
         m_slots[at] = i + 1;
      }
      m_tombstones = 0;
   }
}

/* Room for one entry more in the list and the slots; false (nothing changed) when refused. */
bool ORVA_KeyTable::Grow()
{
   // Slots at most three quarters full, tombstones counted.
   if (m_slotCount == 0 || (static_cast<uint64>(m_live) + m_tombstones + 1) * 4 > static_cast<uint64>(m_slotCount) * 3)
   {
      uint32 wanted = (m_slotCount == 0) ? FIRST_SLOTS : m_slotCount;
      while ((static_cast<uint64>(m_live) + 1) * 2 > wanted)
         wanted *= 2;
      if (wanted > (UINT32_MAX >> 2) || !Rehash(wanted))
         return false;
   }
   if (m_used < m_capacity)
      return true;
   // Holes make a quarter of the list: closing them is cheaper than growing.
   if (m_used - m_live >= m_used / 4 && m_used > m_live)
   {
      Compact();
      return true;
   }
   if (m_capacity >= (UINT32_MAX >> 2))
      return false;
   const uint32 capacity = (m_capacity == 0) ? FIRST_ENTRIES : m_capacity * 2;
   void *grown = MemoryReallocate(m_entries, sizeof(ORVA_KeyEntry) * m_capacity, sizeof(ORVA_KeyEntry) * capacity);
   if (grown == nullptr)
      return false;
   m_entries = static_cast<ORVA_KeyEntry *>(grown);
   m_capacity = capacity;
   return true;
}

ORVA_KeyEntry *ORVA_KeyTable::Insert(const char *text, uint32 length, uint32 hash, ORVA_Value *value)
{
   if (!Grow())
      return nullptr;
   char *copy = static_cast<char *>(MemoryAllocate(static_cast<size_t>(length) + 1));
   if (copy == nullptr)
      return nullptr;
   memcpy(copy, text, length);
   copy[length] = 0;
   ORVA_KeyEntry *entry = m_entries + m_used;
   *entry = ORVA_KeyEntry{copy, value, length, hash};
   m_used++;
   m_live++;
   m_keyBytes += static_cast<size_t>(length) + 1;
   // A tombstone on the way may be reused: the key is known to be absent.
   const uint32 mask = m_slotCount - 1;
   uint32 at = hash & mask;
   while (m_slots[at] != 0 && m_slots[at] != TOMBSTONE)
      at = (at + 1) & mask;
   if (m_slots[at] == TOMBSTONE)
      m_tombstones--;
   m_slots[at] = m_used;
   return entry;
}

ORVA_Value *ORVA_KeyTable::Remove(ORVA_KeyEntry *entry)
{
   const uint32 position = static_cast<uint32>(entry - m_entries);
   const uint32 mask = m_slotCount - 1;
   uint32 at = entry->hash & mask;
   while (m_slots[at] != position + 1)
      at = (at + 1) & mask;
   m_slots[at] = TOMBSTONE;
   m_tombstones++;
   ORVA_Value *value = entry->value;
   MemoryFree(entry->text, entry->length + 1);
   m_keyBytes -= static_cast<size_t>(entry->length) + 1;
   *entry = ORVA_KeyEntry{nullptr, nullptr, 0, 0};
   m_live--;
   // The last entry removed: its place is free again at once, and a walk
   // that removes from the end leaves no hole to close.
   if (position + 1 == m_used)
      m_used--;
   return value;
}

ORVA_KeyEntry *ORVA_KeyTable::At(uint32 position)
{
   if (position >= m_live)
      return nullptr;
   if (m_used != m_live)
      Compact();
   return m_entries + position;
}
