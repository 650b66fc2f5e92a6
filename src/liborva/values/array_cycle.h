/*
 * Arrays are freed by reference count, so arrays that hold each other,
 * directly or through any number of arrays between them, would keep each
 * other alive after the last outside reference went.  The cycle collector
 * finds such groups and frees them.
 *
 * Any array that loses a reference but keeps others may be what holds such
 * a group together: it becomes a candidate.  Candidates wait until enough
 * have gathered, then one collection looks at all of them at once by trial
 * deletion: the references that the arrays reachable from the candidates
 * hold to each other are taken away for the trial; arrays whose count is
 * then still above zero are held from outside, and so is everything they
 * reach; the rest is garbage.  The wait grows with the work of the last
 * collection, so the cost per reference dropped stays bounded.
 *
 * During a run the collection happens at the loop's checkpoints (where
 * every value in use is held by the run) and when the run ends; outside a
 * run an array that loses a reference is looked at at once, so that no
 * candidate outlives the run or waits on a thread that no longer uses it.
 */
#ifndef ORVA_ARRAY_CYCLE_H
#define ORVA_ARRAY_CYCLE_H

#include "orva.h"

#include <cstddef>
#include <vector>

class ORVA_CycleCollector
{
public:
   // A run begins or ends on this thread; the end of a run collects.
   static void RunBegins();
   static void RunEnds();

   // Whether enough candidates gathered for a collection, and the collection.
   static bool Due();
   static void Collect();

   // For tests: candidates waiting on this thread.
   static size_t Waiting();

   // Outside a run, candidates are looked at as soon as they come, except
   // while one of these lives: then once, when the last one goes (an array
   // taken apart drops many references, perhaps to one array many times).
   class HoldBack
   {
   public:
      HoldBack();
      ~HoldBack();
      HoldBack(const HoldBack &) = delete;
      HoldBack &operator=(const HoldBack &) = delete;
   };

private:
   friend class ORVA_Array;
   friend struct ORVA_ArrayBody;
   static void Add(ORVA_Array *array);
   static void Forget(ORVA_Array *array);

   // The steps of a collection over the candidates taken for it.
   static bool Gather(std::vector<ORVA_Array *> &roots, size_t *references);
   static size_t MarkGray();
   static void Scan(std::vector<ORVA_Array *> &roots);
   static void ScanBlack(ORVA_Array *array);
   static void FreeWhite(std::vector<ORVA_Array *> &roots);
};

#endif
