/*
 * Storing an array into an array without making a cycle of references.
 */
#include "values/array_cycle.h"
#include "vm/value_access.h"

/*
 * Most arrays one store looks at.  Every element store of an array that
 * holds arrays pays for the walk, and a script that builds a long chain of
 * arrays would otherwise pay for the whole chain on every link; a cycle
 * through more arrays than this is left as it is.
 */
static const int MAX_ARRAYS_WALKED = 16;

/* The arrays a walk has met, with whether each is target or leads to it. */
struct Walk
{
   ORVA_Array *arrays[MAX_ARRAYS_WALKED];
   bool reaches[MAX_ARRAYS_WALKED];
   ORVA_Array *copies[MAX_ARRAYS_WALKED];
   int count = 0;

   int Find(const ORVA_Array *array) const
   {
      for (int i = 0; i < count; i++)
         if (arrays[i] == array)
            return i;
      return -1;
   }
};

static bool HoldsArrays(ORVA_Array *array)
{
   for (int32 i = 0; i < array->Size(); i++)
   {
      ORVA_Value *element = array->ValueAt(i);
      if (element != nullptr && element->GetValueAsArray() != nullptr)
         return true;
   }
   return false;
}

/*
 * Walks root and the arrays nested in it depth first, with a path of its own
 * rather than by recursion, each array once, and marks those that are target
 * or lead to it.  An array met again while it is still on the path (a cycle
 * that some host made) counts as not leading to target, which ends the walk.
 * Returns false when the walk gave up at the limit.
 */
static bool FindPathsTo(ORVA_Array *target, ORVA_Array *root, Walk &walk)
{
   struct Step
   {
      int entry;
      int32 position;
   } path[MAX_ARRAYS_WALKED];
   int depth = 0;

   walk.arrays[0] = root;
   walk.reaches[0] = (root == target);
   walk.count = 1;
   if (root != target)
      path[depth++] = {0, 0};
   while (depth > 0)
   {
      Step &step = path[depth - 1];
      ORVA_Array *array = walk.arrays[step.entry];
      if (step.position >= array->Size())
      {
         depth--;
         if (walk.reaches[step.entry] && depth > 0)
            walk.reaches[path[depth - 1].entry] = true;
         continue;
      }
      ORVA_Value *element = array->ValueAt(step.position++);
      ORVA_Array *inner = (element != nullptr) ? element->GetValueAsArray() : nullptr;
      if (inner == nullptr)
         continue;
      int found = walk.Find(inner);
      if (found >= 0)
      {
         if (walk.reaches[found])
            walk.reaches[step.entry] = true;
         continue;
      }
      if (walk.count == MAX_ARRAYS_WALKED)
         return false;
      int entry = walk.count++;
      walk.arrays[entry] = inner;
      walk.reaches[entry] = (inner == target);
      if (inner == target)
         walk.reaches[step.entry] = true;
      else
         path[depth++] = {entry, 0};
   }
   return true;
}

ORVA_Value *ElementValueFor(ORVA_Array *target, ORVA_Value *value)
{
   ORVA_Array *root = (value != nullptr) ? value->GetValueAsArray() : nullptr;
   if (root == nullptr || target == nullptr || (root != target && !HoldsArrays(root)))
      return value;

   Walk walk;
   if (!FindPathsTo(target, root, walk) || !walk.reaches[0])
      return value;

   // Every array on a path to target gets one copy, so that arrays shared
   // inside the stored value stay shared among the copies; the copies then
   // refer to each other where the originals did.
   for (int i = 0; i < walk.count; i++)
      walk.copies[i] = walk.reaches[i] ? new ORVA_Array(walk.arrays[i]) : nullptr;
   for (int i = 0; i < walk.count; i++)
   {
      ORVA_Array *copy = walk.copies[i];
      for (int32 position = 0; copy != nullptr && position < copy->Size(); position++)
      {
         ORVA_Value *element = copy->ValueAt(position);
         int found = (element != nullptr) ? walk.Find(element->GetValueAsArray()) : -1;
         if (found >= 0 && walk.copies[found] != nullptr)
            ORVA_EngineAccess::StoreElement(copy, copy->IndexAt(position), new ORVA_Value(walk.copies[found]));
      }
   }

   ORVA_Value *result = new ORVA_Value(walk.copies[0]);
   delete value;
   for (int i = 1; i < walk.count; i++)
   {
      if (walk.copies[i] != nullptr && walk.copies[i]->IsUnused())
         delete walk.copies[i];
   }
   return result;
}
