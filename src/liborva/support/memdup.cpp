#include "support.h"
#include "support/memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

void *qd_memdup(const void *src, size_t size)
{
   // Callers rely on a non-null result; a zero-byte request still gets a block.
   void *block = AllocationFails() ? nullptr : malloc(size > 0 ? size : 1);
   if (block == nullptr)
      throw std::bad_alloc();
   if (size > 0)
      memcpy(block, src, size);
   return block;
}
