/*
 * The support layer: the handful of services the library takes from its
 * host platform (wildcard matching, a queue of pending items, memory
 * duplication).  Regular expressions are the system's POSIX <regex.h>; 64-bit
 * number parsing is the C library's strtoll/strtoull.
 */
#ifndef ORVA_SUPPORT_H
#define ORVA_SUPPORT_H

#include <cstddef>
#include <deque>

/*
 * Wildcard match of subject against pattern: '*' matches any run of
 * characters (the empty run included), '?' matches exactly one character,
 * every other character matches itself.  caseSensitive 0 folds ASCII letters.
 * Returns 1 on a match of the whole subject, 0 otherwise.
 */
int MatchString(const char *pattern, const char *subject, int caseSensitive);

/* A queue of pointer-sized items; Get returns null once it is empty. */
class Queue
{
   std::deque<void *> m_items;

public:
   void Put(void *item) { m_items.push_back(item); }
   void *Get()
   {
      if (m_items.empty())
         return nullptr;
      void *item = m_items.front();
      m_items.pop_front();
      return item;
   }
};

/* A new heap block (released with free) holding a copy of size bytes. */
void *qd_memdup(const void *src, size_t size);

#endif
