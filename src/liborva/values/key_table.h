/*
 * The text-keyed elements of one array: a hash table over a list of
 * entries kept in the order their keys were first inserted.  The list is
 * the walk order, and the hash table holds only positions in it, so that
 * growing either moves no value: a value handed out stays where it is
 * until its element is replaced or removed.
 *
 * A removed entry leaves a hole in the list (its key freed, its value
 * gone) until the list is compacted, which happens when it would grow or
 * when a walk by position meets holes.  A key removed and inserted again
 * is a new entry and walks last.
 *
 * Every block comes through the allocation funnel and may be refused: the
 * table then stays as it was and the run stops at its next check.
 */
#ifndef ORVA_KEY_TABLE_H
#define ORVA_KEY_TABLE_H

#include "orva.h"

#include <cstddef>

struct ORVA_KeyEntry
{
   char *text;          // the key's bytes and a terminator, the table's own; null in a hole
   ORVA_Value *value;   // never null outside a hole
   uint32 length;
   uint32 hash;
};

class ORVA_KeyTable
{
public:
   ORVA_KeyTable() = default;
   ~ORVA_KeyTable();
   ORVA_KeyTable(const ORVA_KeyTable &) = delete;
   ORVA_KeyTable &operator=(const ORVA_KeyTable &) = delete;

   static uint32 Hash(const char *text, uint32 length);

   // The entry holding key, or null.
   ORVA_KeyEntry *Find(const char *text, uint32 length, uint32 hash) const;
   // A new entry for a key not in the table, holding value; null (nothing
   // changed) when memory is refused.
   ORVA_KeyEntry *Insert(const char *text, uint32 length, uint32 hash, ORVA_Value *value);
   // Takes the entry out of the table and hands back its value, the caller's now.
   ORVA_Value *Remove(ORVA_KeyEntry *entry);

   uint32 Count() const { return m_live; }
   // The entry at a position among the live ones, in walk order; holes
   // are compacted away first.
   ORVA_KeyEntry *At(uint32 position);
   // Every entry, holes included (text null), for walks that change nothing.
   ORVA_KeyEntry *Entries() const { return m_entries; }
   uint32 Used() const { return m_used; }

   // Bytes the table holds beyond its entries' values.
   size_t Bytes() const;

private:
   bool Grow();
   void Compact();
   bool Rehash(uint32 slotCount);

   ORVA_KeyEntry *m_entries = nullptr;
   uint32 m_used = 0;       // entries in the list, holes included
   uint32 m_capacity = 0;   // entries the list has room for
   uint32 m_live = 0;
   uint32 *m_slots = nullptr;   // position + 1 of an entry; 0 empty, TOMBSTONE once used
   uint32 m_slotCount = 0;      // a power of two, or 0
   uint32 m_tombstones = 0;
   size_t m_keyBytes = 0;       // bytes of the keys' own copies
};

#endif
