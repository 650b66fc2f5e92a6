#include "support/name_index.h"

#include <cstring>
#include <new>

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
   {
      m_indexed = count;   // lookups scan the records themselves
      return;
   }
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
         size_t length;
         const uint32_t hash = HashOf(name, NAME_LIMIT, &length);
         if (!m_slots.empty() && Probe(records, name, length, hash) != NOT_FOUND)
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
      m_indexed = count;
   }
}
