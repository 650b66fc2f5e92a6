/*
 * What an array keeps out of line: the integer-keyed elements outside its
 * run, in index order, and the text-keyed elements.  Made when the first
 * such element comes, so that an array filled from one end never pays for
 * it.
 */
#ifndef ORVA_ARRAY_SPARSE_H
#define ORVA_ARRAY_SPARSE_H

#include "orva.h"
#include "values/key_table.h"

#include <cstdlib>
#include <map>

/* An element outside the run, and whether its pointer was ever handed out. */
struct SparseEntry
{
   ORVA_Value *value;
   bool handedOut;
};

struct ORVA_ArraySparse
{
   typedef std::map<int32, SparseEntry> Map;
   Map elements;
   int32 below = 0;   // elements with an index below the run's

   // Where the last read by position ended, so that a walk in index order
   // steps from one element to the next instead of counting from the start.
   Map::iterator cursor;
   int32 cursorOrdinal = -1;

   ORVA_KeyTable keys;   // the text-keyed elements

   void Changed() { cursorOrdinal = -1; }

   Map::iterator AtOrdinal(int32 ordinal)
   {
      const int32 count = static_cast<int32>(elements.size());
      int32 from = 0;
      Map::iterator at = elements.begin();
      if (cursorOrdinal >= 0 && abs(ordinal - cursorOrdinal) < ordinal)
      {
         from = cursorOrdinal;
         at = cursor;
      }
      if (count - ordinal < abs(ordinal - from))
      {
         from = count;
         at = elements.end();
      }
      for (; from < ordinal; from++)
         ++at;
      for (; from > ordinal; from--)
         --at;
      cursor = at;
      cursorOrdinal = ordinal;
      return at;
   }
};

#endif
