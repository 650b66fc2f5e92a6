/*
 * Elements keyed by a value: an integer or a text.  This is where the rule
 * lives that turns a value into a key, for level-2 scripts, the extension
 * functions over keyed arrays and the host methods alike.
 *
 * The rule: a value whose text is the canonical decimal form of an integer
 * in the 32-bit index range (10, "10", -3; a number without text counts as
 * written canonically) keys the integer-keyed element of that index; any
 * other value with a text keys the element of exactly that text, byte for
 * byte ("007", "1.10", "1e3", "+1", 4294967296).  A real without a text of
 * its own keys by the text print shows for it, so 7.0 keys "7.000000" and
 * is not the element 7.  Null, arrays and objects key nothing.  A key
 * handed out by KeysOf is an integer or a text that keys its element again.
 *
 * An element holding null reads like a missing one: KeysOf skips it.
 */
#ifndef ORVA_ARRAY_KEYS_H
#define ORVA_ARRAY_KEYS_H

#include "orva.h"

// How a value keys an element where text keys are allowed.  The text
// points into the value (or the caller's bytes) and lives as long as they do.
struct ORVA_ElementKey
{
   bool isText;
   int32 index;
   const char *text;
   uint32 length;
};

// False for a null, array or object key (the run stops with error 23,
// ORVA_ERR_INDEX_NOT_INTEGER).  A number without a text may be given one.
bool ElementKeyOf(ORVA_Value *value, ORVA_ElementKey *key);

// The same rule over bytes: the integer key of a canonical decimal text,
// else the text itself.
ORVA_ElementKey ElementKeyOfText(const char *text, uint32 length);

// The element under key, or null when missing.
ORVA_Value *KeyedGet(ORVA_Array *array, const ORVA_ElementKey &key);

// Stores a copy of value (null stores a null) under key, as the engine
// stores elements; false when memory is refused (the array unchanged).
bool KeyedSet(ORVA_Array *array, const ORVA_ElementKey &key, ORVA_Value *value);

// Stores value itself under key: the array owns it from then on, and its
// content may move into a slot, so the caller keeps no pointer to it (the
// value stays readable until the array's next store).  False when memory
// is refused: the value is still the caller's, untouched.
bool KeyedStore(ORVA_Array *array, const ORVA_ElementKey &key, ORVA_Value *value);

// The element under key for an update in place, made holding null when
// missing; null when memory is refused.  Valid until the element is
// replaced or removed, or the array goes.
ORVA_Value *KeyedSlot(ORVA_Array *array, const ORVA_ElementKey &key);

// True when an element holding a value was removed.  An integer-keyed
// element inside the run, away from its ends, is left holding null.
bool KeyedRemove(ORVA_Array *array, const ORVA_ElementKey &key);

// Elements holding a value: integer-keyed and text-keyed.
int64 KeyedCount(ORVA_Array *array);

// A new array (no reference yet) with keys 1..n holding the keys present
// now, integers ascending then texts in first-insertion order; null when
// memory is refused.
ORVA_Array *KeysOf(ORVA_Array *array);

#endif
