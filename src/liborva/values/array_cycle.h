/*
 * Arrays are freed by reference count, so an array that came to hold itself,
 * directly or through arrays nested in it, would never be freed.
 */
#ifndef ORVA_ARRAY_CYCLE_H
#define ORVA_ARRAY_CYCLE_H

#include "orva.h"

/*
 * The value to store as an element of target: value itself when no array in
 * it reaches target, else a new value in which every array on a path to
 * target is replaced by a copy, so that storing it makes no cycle.  Only a
 * bounded number of nested arrays is looked through.  Takes value over in
 * either case.
 */
ORVA_Value *ElementValueFor(ORVA_Array *target, ORVA_Value *value);

#endif
