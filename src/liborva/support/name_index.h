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
   uint32_t Find(const void *records, uint32_t count, const char *name);

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
   uint32_t Lookup(const void *records, const char *name, uint32_t hash) const;
   void Add(uint32_t hash, uint32_t position);
   void Grow();
};

#endif
