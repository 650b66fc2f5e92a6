/*
 * The one way the library takes memory for what a run holds.
 *
 * Blocks whose size a script decides (texts, array blocks, stacks, buffers
 * of built-ins) are asked for here and may be refused: the caller keeps its
 * old state and the run stops.  Values and arrays themselves are small and
 * come from their class's operator new, which never refuses: past the
 * ceiling it still allocates, and the run stops at its next check.  Either
 * way the engine ends the run with "Memory limit reached" (or "Out of
 * memory" when the heap itself said no) at the line that asked.
 *
 * The budget is per thread: the engine installs the run's own for the time
 * of the run, so parallel runs on other threads count apart, and nothing is
 * counted outside a run.
 */
#ifndef ORVA_MEMORY_H
#define ORVA_MEMORY_H

#include "orva.h"

#include <cstddef>

struct ORVA_MemoryBudget
{
   uint64 limit = 0;        // bytes the run may hold; 0: no ceiling, nothing counted
   uint64 held = 0;         // bytes taken during the run and not given back yet
   int refused = 0;         // MEMORY_* below: why the run must stop, 0 while it may go on
   int64 *fuel = nullptr;   // the interpreter's fuel while its loop runs: a refusal spends it all
};

static const int MEMORY_OVER_LIMIT = 1;
static const int MEMORY_EXHAUSTED = 2;
static const int MEMORY_TEXT_TOO_LONG = 3;

#if defined(__GNUC__)
#define ORVA_TLS_FAST __attribute__((tls_model("initial-exec")))
#else
#define ORVA_TLS_FAST
#endif

/*
 * A per-thread pointer that starts null.  thread_local across files makes
 * every use first ask whether the variable needs dynamic initialisation
 * (a call through a weak symbol); __thread never has any, so a use is one
 * load.
 */
#if defined(__GNUC__)
#define ORVA_THREAD_POINTER __thread
#else
#define ORVA_THREAD_POINTER thread_local
#endif

extern ORVA_THREAD_POINTER ORVA_MemoryBudget *g_orvaBudget ORVA_TLS_FAST;

/* Installs a budget for the calling thread and puts the previous one back. */
class ORVA_BudgetScope
{
public:
   explicit ORVA_BudgetScope(ORVA_MemoryBudget *budget) : m_previous(g_orvaBudget) { g_orvaBudget = budget; }
   ~ORVA_BudgetScope() { g_orvaBudget = m_previous; }
   ORVA_BudgetScope(const ORVA_BudgetScope &) = delete;
   ORVA_BudgetScope &operator=(const ORVA_BudgetScope &) = delete;

private:
   ORVA_MemoryBudget *m_previous;
};

/*
 * Records why the run must stop and spends the loop's fuel, so that its
 * next checkpoint looks at the limits and finds the refusal.
 */
inline void MemoryRefuse(ORVA_MemoryBudget *budget, int why)
{
   if (budget->refused == 0)
      budget->refused = why;
   if (budget->fuel != nullptr)
      *budget->fuel = -1;
}

/* Whether bytes more fit under the ceiling; if so they are counted as held. */
inline bool MemoryCharge(size_t bytes)
{
   ORVA_MemoryBudget *budget = g_orvaBudget;
   if (budget == nullptr || budget->limit == 0)
      return true;
   if (budget->held > budget->limit || bytes > budget->limit - budget->held)
   {
      MemoryRefuse(budget, MEMORY_OVER_LIMIT);
      return false;
   }
   budget->held += bytes;
   return true;
}

/* Bytes the run may still take under its ceiling, nothing refused if not. */
inline uint64 MemoryRoom()
{
   ORVA_MemoryBudget *budget = g_orvaBudget;
   if (budget == nullptr || budget->limit == 0)
      return UINT64_MAX;
   return (budget->held < budget->limit) ? budget->limit - budget->held : 0;
}

/*
 * Whether bytes more would fit under the ceiling, counting nothing: for work
 * weighed before it starts.  If not, the run stops as if they were refused.
 */
inline bool MemoryWouldFit(uint64 bytes)
{
   if (bytes <= MemoryRoom())
      return true;
   MemoryRefuse(g_orvaBudget, MEMORY_OVER_LIMIT);
   return false;
}

/* Counts bytes given back.  What was taken before the run gives no credit. */
inline void MemoryCredit(size_t bytes)
{
   ORVA_MemoryBudget *budget = g_orvaBudget;
   if (budget == nullptr || budget->limit == 0)
      return;
   budget->held = (budget->held > bytes) ? budget->held - bytes : 0;
}

/*
 * The heap said no (a std::bad_alloc caught, a null from malloc): the run
 * on this thread stops with "Out of memory".  Outside a run nothing happens.
 */
inline void MemoryExhausted()
{
   if (g_orvaBudget != nullptr)
      MemoryRefuse(g_orvaBudget, MEMORY_EXHAUSTED);
}

/* True once the current run may not go on for want of memory. */
inline bool MemoryRefused()
{
   ORVA_MemoryBudget *budget = g_orvaBudget;
   return budget != nullptr && budget->refused != 0;
}

/*
 * The longest text a value can hold: its length is a 32-bit count, and one
 * byte more ends the text.  A variable only so that tests can lower it.
 */
extern uint32 g_orvaTextLimit;

/* Whether a text of length bytes can be made; if not, the run stops. */
inline bool TextFits(uint64 length)
{
   if (length <= g_orvaTextLimit)
      return true;
   if (g_orvaBudget != nullptr)
      MemoryRefuse(g_orvaBudget, MEMORY_TEXT_TOO_LONG);
   return false;
}

/* What the current run's refusal says in its error text. */
const char *MemoryRefusalText();

/*
 * For tests of the library under a failing heap: when set, it is asked
 * before each block is allocated (here and by qd_memdup), and true fails
 * the allocation as an exhausted heap would.
 */
extern bool (*g_orvaFailAllocation)();
inline bool AllocationFails()
{
   return g_orvaFailAllocation != nullptr && g_orvaFailAllocation();
}

// Blocks: null when the ceiling or the heap refuses, the old block untouched.
void *MemoryAllocate(size_t bytes);
void *MemoryReallocate(void *block, size_t oldBytes, size_t newBytes);
void MemoryFree(void *block, size_t bytes);

// The same for small blocks made and freed by the million (an array's
// first block): each must be freed with the size it was asked for.
void *MemoryAllocateSmall(size_t bytes);
void MemoryFreeSmall(void *block, size_t bytes);

// Small objects: never refused (the run stops at its next check instead);
// an exhausted heap ends the process, as nothing could be reported.  Freed
// with the size they were made with, as class operators free them.
void *MemoryObject(size_t bytes);
void MemoryObjectFree(void *block, size_t bytes);

#endif
