/*
 * The cycle collector of arrays (see array_cycle.h): trial deletion over
 * the candidates, without recursion, so that arrays nested to any depth
 * cost no native stack.
 */
#include "values/array_cycle.h"
#include "values/array_body.h"
#include "support/memory.h"
#include "values/value_access.h"

#include <utility>
#include <new>
#include <vector>

namespace
{
// Marks of a collection.  Every array is black outside one.
const uint8 BLACK = 0;   // held from outside, as far as is known
const uint8 GRAY = 1;    // reachable from a candidate, its inner references taken away for the trial
const uint8 WHITE = 2;   // garbage unless something black turns out to reach it
const uint8 FREED = 3;   // garbage, on the list to be freed

// No fewer candidates than this make a collection worth its fixed cost.
const size_t FIRST_WAIT = 1024;
// Elements a collection may look at for each candidate that made it due.
const size_t WORK_PER_CANDIDATE = 8;

struct Cycles
{
   std::vector<ORVA_Array *> candidates;
   size_t wait = FIRST_WAIT;   // candidates that make the next collection due
   int runs = 0;               // runs under way on this thread
   int holdBacks = 0;          // HoldBack objects alive on this thread
   bool collecting = false;
   // The walks' work, kept for its capacity: room for all of it is made
   // before a trial changes anything.
   std::vector<ORVA_Array *> gathered;   // every array reachable from the candidates
   std::vector<ORVA_Array *> edges;      // the references among them, one entry each
   std::vector<ORVA_Array *> stack;
   std::vector<ORVA_Array *> children;
   std::vector<ORVA_Array *> garbage;
   std::vector<ORVA_Array *> released;
};

thread_local Cycles t_cycles;

// What a collection reads and marks in an array.
inline uint8 &Color(ORVA_Array *array) { return ORVA_ArrayBody::Of(array).color; }
inline int32 &Candidate(ORVA_Array *array) { return ORVA_ArrayBody::Of(array).candidate; }
inline int32 &References(ORVA_Array *array) { return ORVA_ArrayBody::RefCount(array); }
}

void ORVA_ArrayBody::BecomeCandidate(ORVA_Array *array)
{
   ORVA_CycleCollector::Add(array);
}

void ORVA_CycleCollector::Add(ORVA_Array *array)
{
   Cycles &cycles = t_cycles;
   try
   {
      cycles.candidates.push_back(array);
   }
   catch (const std::bad_alloc &)
   {
      // Called where no exception may pass (a value's destructor): the
      // array is not watched, a cycle through it may outlive the run, and
      // the run stops for want of memory.
      MemoryExhausted();
      return;
   }
   Candidate(array) = static_cast<int32>(cycles.candidates.size() - 1);
   if (cycles.collecting)
      return;
   if (cycles.runs == 0 && cycles.holdBacks == 0)
      Collect();
}

ORVA_CycleCollector::HoldBack::HoldBack()
{
   t_cycles.holdBacks++;
}

ORVA_CycleCollector::HoldBack::~HoldBack()
{
   Cycles &cycles = t_cycles;
   if (--cycles.holdBacks == 0 && cycles.runs == 0 && !cycles.collecting && !cycles.candidates.empty())
      Collect();
}

void ORVA_CycleCollector::Forget(ORVA_Array *array)
{
   Cycles &cycles = t_cycles;
   const size_t place = static_cast<size_t>(Candidate(array));
   Candidate(array) = -1;
   if (place >= cycles.candidates.size() || cycles.candidates[place] != array)
      return;   // taken for the collection under way, which lets it go
   ORVA_Array *last = cycles.candidates.back();
   cycles.candidates[place] = last;
   cycles.candidates.pop_back();
   if (last != array)
      Candidate(last) = static_cast<int32>(place);
}

void ORVA_CycleCollector::RunBegins()
{
   t_cycles.runs++;
}

void ORVA_CycleCollector::RunEnds()
{
   Cycles &cycles = t_cycles;
   cycles.runs--;
   Collect();
}

bool ORVA_CycleCollector::Due()
{
   const Cycles &cycles = t_cycles;
   return !cycles.collecting && cycles.candidates.size() >= cycles.wait;
}

size_t ORVA_CycleCollector::Waiting()
{
   return t_cycles.candidates.size();
}

/*
 * The arrays reachable from the roots, each once and colored gray, in
 * gathered (the walk's own queue), and the count of references among them.
 * Nothing else changes, so a heap that says no on the way leaves every
 * array as it was: false then, and everything black again.
 */
bool ORVA_CycleCollector::Gather(std::vector<ORVA_Array *> &roots, size_t *references)
{
   Cycles &cycles = t_cycles;
   std::vector<ORVA_Array *> &gathered = cycles.gathered;
   std::vector<ORVA_Array *> &edges = cycles.edges;
   gathered.clear();
   edges.clear();
   *references = 0;
   try
   {
      for (ORVA_Array *root : roots)
         if (Color(root) != GRAY)
         {
            gathered.push_back(root);
            Color(root) = GRAY;
         }
      for (size_t next = 0; next < gathered.size(); next++)
      {
         const size_t first = edges.size();
         ORVA_ArrayBody::ChildArrays(gathered[next], edges);
         for (size_t i = first; i < edges.size(); i++)
            if (Color(edges[i]) != GRAY)
            {
               gathered.push_back(edges[i]);
               Color(edges[i]) = GRAY;
            }
      }
      *references = edges.size();
      // The walks below push at most every reference and every root once:
      // with room for that, nothing in the trial can fail.
      const size_t most = *references + gathered.size() + 1;
      cycles.stack.reserve(most);
      cycles.children.reserve(most);
      cycles.garbage.reserve(gathered.size());
      cycles.released.reserve(most);
      return true;
   }
   catch (const std::bad_alloc &)
   {
      for (ORVA_Array *array : gathered)
         Color(array) = BLACK;
      gathered.clear();
      edges.clear();
      MemoryExhausted();
      return false;
   }
}

/* Takes away, for the trial, every reference that a gathered array holds to another.  Returns the work. */
size_t ORVA_CycleCollector::MarkGray()
{
   Cycles &cycles = t_cycles;
   size_t work = 0;
   for (ORVA_Array *array : cycles.gathered)
      work += static_cast<size_t>(ORVA_ArrayBody::Size(array)) + static_cast<size_t>(ORVA_ArrayBody::TextCount(array)) + 1;
   for (ORVA_Array *child : cycles.edges)
      References(child)--;
   cycles.edges.clear();
   return work;
}

/* An array held from outside: it and all it reaches get their references back. */
void ORVA_CycleCollector::ScanBlack(ORVA_Array *array)
{
   std::vector<ORVA_Array *> &stack = t_cycles.children;
   Color(array) = BLACK;
   stack.push_back(array);
   while (!stack.empty())
   {
      ORVA_Array *next = stack.back();
      stack.pop_back();
      const size_t first = stack.size();
      ORVA_ArrayBody::ChildArrays(next, stack);
      size_t kept = first;
      for (size_t i = first; i < stack.size(); i++)
      {
         ORVA_Array *child = stack[i];
         References(child)++;
         if (Color(child) != BLACK)
         {
            Color(child) = BLACK;
            stack[kept++] = child;
         }
      }
      stack.resize(kept);
   }
}

/* Gray arrays with references left are held from outside; the others are white. */
void ORVA_CycleCollector::Scan(std::vector<ORVA_Array *> &roots)
{
   std::vector<ORVA_Array *> &stack = t_cycles.stack;
   for (ORVA_Array *root : roots)
   {
      stack.push_back(root);
      while (!stack.empty())
      {
         ORVA_Array *array = stack.back();
         stack.pop_back();
         if (Color(array) != GRAY)
            continue;
         if (References(array) > 0)
            ScanBlack(array);
         else
         {
            Color(array) = WHITE;
            ORVA_ArrayBody::ChildArrays(array, stack);
         }
      }
   }
}

/*
 * Frees the white arrays.  Each is first pinned, so that the garbage
 * releasing its references to each other frees none of it twice, and the
 * references it holds to arrays that live are given back for the trial, as
 * its destructor takes them away for good.
 */
void ORVA_CycleCollector::FreeWhite(std::vector<ORVA_Array *> &roots)
{
   Cycles &cycles = t_cycles;
   std::vector<ORVA_Array *> &garbage = cycles.garbage;
   std::vector<ORVA_Array *> &stack = cycles.stack;
   garbage.clear();
   for (ORVA_Array *root : roots)
   {
      if (Color(root) == WHITE)
      {
         Color(root) = FREED;
         stack.push_back(root);
      }
      while (!stack.empty())
      {
         ORVA_Array *array = stack.back();
         stack.pop_back();
         garbage.push_back(array);
         const size_t first = stack.size();
         ORVA_ArrayBody::ChildArrays(array, stack);
         size_t kept = first;
         for (size_t i = first; i < stack.size(); i++)
         {
            ORVA_Array *child = stack[i];
            if (Color(child) == WHITE)
            {
               Color(child) = FREED;
               stack[kept++] = child;
            }
            else if (Color(child) == BLACK)
               References(child)++;
         }
         stack.resize(kept);
      }
   }
   for (ORVA_Array *array : garbage)
   {
      References(array) = INT32_MAX / 2;
      Color(array) = BLACK;
   }
   // All are emptied before any is freed, for each may hold the others.
   std::vector<ORVA_Array *> &released = cycles.released;
   released.clear();
   for (ORVA_Array *array : garbage)
      ORVA_ArrayBody::TakeApart(array, released);
   for (ORVA_Array *array : released)
      delete array;
   released.clear();
   for (ORVA_Array *array : garbage)
      delete array;
   garbage.clear();
}

void ORVA_CycleCollector::Collect()
{
   Cycles &cycles = t_cycles;
   if (cycles.collecting)
      return;
   cycles.collecting = true;
   // Freeing garbage drops references to arrays that live on, which makes
   // them candidates again; they are looked at before the collection ends
   // outside a run, and wait for the next one during a run.
   do
   {
      std::vector<ORVA_Array *> roots;
      roots.swap(cycles.candidates);
      size_t references;
      if (!Gather(roots, &references))
      {
         // No room for the trial: the candidates wait for a later one.
         roots.swap(cycles.candidates);
         break;
      }
      const size_t work = MarkGray();
      Scan(roots);
      for (ORVA_Array *root : roots)
         Candidate(root) = -1;
      FreeWhite(roots);
      const size_t wait = work / WORK_PER_CANDIDATE;
      cycles.wait = (wait > FIRST_WAIT) ? wait : FIRST_WAIT;
   } while (cycles.runs == 0 && !cycles.candidates.empty());
   cycles.collecting = false;
}
