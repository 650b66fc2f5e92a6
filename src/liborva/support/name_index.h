/*
 * A hash index over a table of named records, such as a program's function
 * table or an environment's external functions, for finding the first record
 * of a name without comparing the name with every record.
 *
 * The index does not own the table.  It reads each record's name at the
 * record's start (a zero-terminated text of at most 63 bytes) and keeps, for
 * every name, the position of its first record.  A table may grow at its end
 * and may be cut back to an earlier length (a run unlinks the modules it
 * linked); every lookup first brings the index up to date with the length it
 * is given.  The one rule for the table's owner: records below the length
 * the index last saw keep their names, and a table that is cut back and
 * grows again is looked up (or synchronised) in between.
 */
#ifndef ORVA_NAME_INDEX_H
#define ORVA_NAME_INDEX_H

#include <cstddef>
#include <cstdint>
#include <vector>

class ORVA_NameIndex
{
public:
   static const uint32_t NOT_FOUND = 0xFFFFFFFFu;

   // Names are compared on their first 63 bytes, as records store them.
   static const size_t NAME_LIMIT = 63;

   explicit ORVA_NameIndex(size_t recordSize) : m_recordSize(recordSize) {}

   // Position of the first of the `count` records at `records` whose name
   // equals `name` in its first 63 bytes; NOT_FOUND when there is none.
   // With `exact`, a name longer than 63 bytes matches no record.
   uint32_t Find(const void *records, uint32_t count, const char *name, bool exact = false)
   {
      if (count != m_indexed)
         Synchronise(records, count);
      return Lookup(records, name, exact);
   }

   // Brings the index up to date with the first `count` records.
   void Synchronise(const void *records, uint32_t count);

private:
   struct Slot
   {
      uint32_t hash;
      uint32_t position;   // of the record plus one; 0 marks an empty slot
   };

   size_t m_recordSize;
   std::vector<Slot> m_slots;       // open addressing, a power of two long
   std::vector<uint32_t> m_added;   // slots in the order they were filled
   uint32_t m_indexed = 0;          // records the index has seen
   bool m_failed = false;           // out of memory once: lookups scan the table

   const char *NameAt(const void *records, uint32_t position) const
   {
      return static_cast<const char *>(records) + static_cast<size_t>(position) * m_recordSize;
   }
   static uint32_t HashOf(const char *name, size_t limit, size_t *length);
   static bool Matches(const char *recordName, const char *name, size_t length);
   uint32_t Lookup(const void *records, const char *name, bool exact) const;
   uint32_t Probe(const void *records, const char *name, size_t length, uint32_t hash) const;
   void Add(uint32_t hash, uint32_t position);
   void Grow();
};

/*** Lookups, inlined: they run on every call of an external function. ***/

/*
 * Measures a name, up to `limit` bytes, and hashes it on the way: the lookup
 * of an external function runs on every call, and names are short.
 */
inline uint32_t ORVA_NameIndex::HashOf(const char *name, size_t limit, size_t *length)
{
   uint32_t hash = 2166136261u;
   size_t i = 0;
   for (; i < limit && name[i] != 0; i++)
      hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
   *length = i;
   return hash;
}

/*
 * A record's name equals a name of `length` bytes (at most NAME_LIMIT) as
 * strncmp over NAME_LIMIT bytes would find: the same bytes, and the record's
 * name ends there too unless the limit was reached.
 */
inline bool ORVA_NameIndex::Matches(const char *recordName, const char *name, size_t length)
{
   for (size_t i = 0; i < length; i++)
      if (recordName[i] != name[i])
         return false;
   return length == NAME_LIMIT || recordName[length] == 0;
}

inline uint32_t ORVA_NameIndex::Probe(const void *records, const char *name, size_t length, uint32_t hash) const
{
   const size_t mask = m_slots.size() - 1;
   for (size_t at = hash & mask;; at = (at + 1) & mask)
   {
      const Slot &slot = m_slots[at];
      if (slot.position == 0)
         return NOT_FOUND;
      if (slot.hash == hash && Matches(NameAt(records, slot.position - 1), name, length))
         return slot.position - 1;
   }
}

inline uint32_t ORVA_NameIndex::Lookup(const void *records, const char *name, bool exact) const
{
   size_t length;
   const uint32_t hash = HashOf(name, NAME_LIMIT, &length);
   if (exact && length == NAME_LIMIT && name[length] != 0)
      return NOT_FOUND;   // longer than any record's name
   if (m_failed)
   {
      for (uint32_t i = 0; i < m_indexed; i++)
         if (Matches(NameAt(records, i), name, length))
            return i;
      return NOT_FOUND;
   }
   return m_slots.empty() ? NOT_FOUND : Probe(records, name, length, hash);
}

#endif
