#include "support/name_index.h"

#include <cstring>
#include <new>

/* FNV-1a over the bytes that a comparison looks at. */
static uint32_t HashName(const char *name)
{
   uint32_t hash = 2166136261u;
   for (size_t i = 0; i < ORVA_NameIndex::NAME_LIMIT && name[i] != 0; i++)
      hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
   return hash;
}

static bool SameName(const char *recordName, const char *name)
{
   return strncmp(recordName, name, ORVA_NameIndex::NAME_LIMIT) == 0;
}

uint32_t ORVA_NameIndex::Lookup(const void *records, const char *name, uint32_t hash) const
{
   const size_t mask = m_slots.size() - 1;
   for (size_t at = hash & mask;; at = (at + 1) & mask)
   {
      const Slot &slot = m_slots[at];
      if (slot.position == 0)
         return NOT_FOUND;
      if (slot.hash == hash && SameName(NameAt(records, slot.position - 1), name))
         return slot.position - 1;
   }
}

void ORVA_NameIndex::Add(uint32_t hash, uint32_t position)
{
   const size_t mask = m_slots.size() - 1;
   size_t at = hash & mask;
   while (m_slots[at].position != 0)
      at = (at + 1) & mask;
   m_slots[at] = Slot{hash, position + 1};
   m_added.push_back(static_cast<uint32_t>(at));
}

/* Twice the slots, filled again in the order they were first filled. */
void ORVA_NameIndex::Grow()
{
   std::vector<Slot> old;
   old.swap(m_slots);
   std::vector<uint32_t> added;
   added.swap(m_added);
   m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{0, 0});
   m_added.reserve(added.size() + 1);
   for (uint32_t at : added)
      Add(old[at].hash, old[at].position - 1);
}

/*
 * Filling slots and emptying them again, the last filled first, leaves an
 * open-addressing table exactly as it was before: so cutting the table back
 * only undoes the newest entries.
 */
void ORVA_NameIndex::Synchronise(const void *records, uint32_t count)
{
   if (m_failed)
      return;
   try
   {
      while (!m_added.empty() && m_slots[m_added.back()].position > count)
      {
         m_slots[m_added.back()] = Slot{0, 0};
         m_added.pop_back();
      }
      if (m_indexed > count)
         m_indexed = count;
      for (; m_indexed < count; m_indexed++)
      {
         const char *name = NameAt(records, m_indexed);
         const uint32_t hash = HashName(name);
         if (!m_slots.empty() && Lookup(records, name, hash) != NOT_FOUND)
            continue;   // the first record of a name is the one found
         if ((m_added.size() + 1) * 2 > m_slots.size())
            Grow();
         Add(hash, m_indexed);
      }
   }
   catch (const std::bad_alloc &)
   {
      m_failed = true;
      m_slots.clear();
      m_added.clear();
   }
}

uint32_t ORVA_NameIndex::Find(const void *records, uint32_t count, const char *name)
{
   Synchronise(records, count);
   if (m_failed)
   {
      for (uint32_t i = 0; i < count; i++)
         if (SameName(NameAt(records, i), name))
            return i;
      return NOT_FOUND;
   }
   return m_slots.empty() ? NOT_FOUND : Lookup(records, name, HashName(name));
}
