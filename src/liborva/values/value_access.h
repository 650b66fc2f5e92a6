/*
 * The interpreter's access to the insides of values, variables and
 * instructions.  Hot instructions work on plain numbers directly: through
 * the public methods every step would be a call into another source file.
 * This header is the one place where the engine touches those insides, so a
 * change to how values keep their text or number lands here and nowhere
 * else in the engine.  Each helper does exactly what the public method it
 * stands in for does.  It sits with the values, which define its
 * out-of-line helpers and copy through it themselves, so the layers above
 * reach down to it and nothing here reaches up.
 */
#ifndef ORVA_VALUE_ACCESS_H
#define ORVA_VALUE_ACCESS_H

#include "orva.h"
#include "values/array_body.h"
#include "support/memory.h"
#include "values/numeric.h"
#include "values/text_block.h"
#include "support/work_charge.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

class ORVA_EngineAccess
{
public:
   static int Type(const ORVA_Value *value) { return value->m_dataType; }
   static bool IsNumeric(const ORVA_Value *value) { return value->m_dataType >= ORVA_DT_REAL; }

   static ORVA_Number Number(const ORVA_Value *value)
   {
      ORVA_Number n;
      memcpy(&n, &value->m_value, sizeof(n));
      return n;
   }

   // As ORVA_Value::InvalidateString: a number that changes drops its text.
   static void DropText(ORVA_Value *value)
   {
      if (value->m_string != nullptr)
      {
         TextRelease(value->m_string);
         value->m_string = nullptr;
      }
      value->m_length = 0;
      value->m_stringValid = 0;
   }

   /*
    * The helpers below count on what ORVA_Value keeps true of its text: a
    * value without a text block (m_string null) has m_length 0 and
    * m_stringValid 0, so only the block needs looking at.
    */

   // A numeric value takes a new number (and type); it holds no object or
   // array, so nothing but its text is given up.
   static void SetNumber(ORVA_Value *value, int type, ORVA_Number n)
   {
      if (value->m_string != nullptr)
         DropText(value);
      value->m_dataType = static_cast<uint8>(type);
      memcpy(&value->m_value, &n, sizeof(n));
   }

   // What the destructor of this value would free: nothing.
   static bool OwnsNothing(const ORVA_Value *value)
   {
      // Object and array are the type codes 1 and 2.
      return value->m_string == nullptr && static_cast<unsigned>(value->m_dataType - ORVA_DT_OBJECT) > 1u;
   }

   // A value that owns nothing becomes what ORVA_Value() makes.
   static void ResetNull(ORVA_Value *value)
   {
      value->m_dataType = ORVA_DT_NULL;
      value->m_value.u64 = 0;
   }

   // A value that owns nothing becomes a number (or null) without text.
   static void ResetNumber(ORVA_Value *value, int type, ORVA_Number n)
   {
      value->m_dataType = static_cast<uint8>(type);
      memcpy(&value->m_value, &n, sizeof(n));
   }

   // A copy needs no text of its own when the source has none cached: its
   // type and number are the whole of it.
   static bool CopiesWithoutText(const ORVA_Value *value)
   {
      return value->m_dataType == ORVA_DT_NULL ||
             (value->m_dataType >= ORVA_DT_REAL && !(value->m_stringValid && value->m_string != nullptr));
   }

   // The text a string value always holds, and its length.
   static const char *Text(const ORVA_Value *value, uint32 *length)
   {
      *length = value->m_length;
      return value->m_string;
   }

   /*
    * As GetValueAsString, for the library's own readers: the text is only
    * read, so one shared with other values is not copied first.
    */
   // A text, or a number whose text is kept: ReadText makes nothing.
   static bool TextReady(const ORVA_Value *value)
   {
      return value->m_dataType >= ORVA_DT_STRING && value->m_stringValid && value->m_string != nullptr;
   }

   static const char *ReadText(ORVA_Value *value, uint32 *length)
   {
      if (TextReady(value))
      {
         if (length != nullptr)
            *length = value->m_length;
         return value->m_string;
      }
      return MakeText(value, length);
   }
   static const char *MakeText(ORVA_Value *value, uint32 *length);   // ReadText for every other value

   /*
    * The value copy constructor for the engine's own copies (pushes,
    * arguments, stores): the copy shares the source's text block.  Built in
    * place (a value that owns nothing) or, with place null, new.
    */
   static ORVA_Value *ShareCopy(ORVA_Value *place, const ORVA_Value *source);

   /*
    * Makes place (a value that owns nothing) the text of one byte, as
    * ORVA_Value(text, 1) would, on the block *texts keeps for that byte;
    * the table is made on first use.  False, place untouched, when memory
    * is refused.
    */
   static bool ShareByteText(ORVA_Value *place, ORVA_ByteTexts **texts, unsigned char byte);

   /*
    * When source (a text or number) holds a text no other value shares,
    * place (a value that owns nothing) becomes what the copy constructor
    * would make of it, taking that very text, and source is left owning
    * nothing, a null.  The copy's charge is made all the same.  False, nothing
    * changed, when the text is shared or absent.
    */
   static bool TakeOwnText(ORVA_Value *place, ORVA_Value *source)
   {
      if (source->m_dataType < ORVA_DT_STRING || !source->m_stringValid || source->m_string == nullptr ||
          TextIsShared(source->m_string))
         return false;
      ChargeWork(source->m_length);
      place->m_dataType = source->m_dataType;
      place->m_value.u64 = source->m_value.u64;
      place->m_string = source->m_string;
      place->m_length = source->m_length;
      place->m_stringValid = 1;
      source->m_dataType = ORVA_DT_NULL;   // no string without text
      source->m_value.u64 = 0;
      source->m_string = nullptr;
      source->m_length = 0;
      source->m_stringValid = 0;
      return true;
   }
   static void CopyContent(ORVA_Value *to, const ORVA_Value *from);

   /*
    * As ORVA_Array::Get.  An element at or above the run's origin that
    * holds its own value is found here; everything else is left to Get.
    */
   static ORVA_Value *Element(ORVA_Array *array, int32 index)
   {
      const ORVA_ArrayBody &b = ORVA_ArrayBody::Of(array);
      const int64 slot = static_cast<int64>(index) - b.origin;
      if (static_cast<uint64>(slot) < static_cast<uint64>(b.up.length))
      {
         int32 block, offset;
         ORVA_ArrayBody::Locate(static_cast<int32>(slot), &block, &offset);
         ORVA_Value *at = b.up.blocks[block] + offset;
         if (at->m_dataType < ORVA_ArrayBody::SLOT_NO_VALUE)
            return at;
      }
      return array->Get(index);
   }

   /*
    * Fill loops grow an array one element past the top of its run.  An
    * array with nothing outside the run takes such a number (or null)
    * straight into a new slot: what ORVA_Array::Store does with a value
    * moved in and taken back at once, without making the value.
    */
   static bool AtRunTop(const ORVA_Array *array, int32 index)
   {
      const ORVA_ArrayBody &b = ORVA_ArrayBody::Of(array);
      return b.sparse == nullptr && b.up.length > 0 &&
             static_cast<int64>(index) == static_cast<int64>(b.origin) + b.up.length;
   }
   // False when memory ran out, as Store's would be: the array is unchanged.
   static bool AppendNumber(ORVA_Array *array, int type, ORVA_Number n)
   {
      if (ORVA_ArrayBody::Of(array).handedOver != nullptr)
         array->ReleaseHandedOver();
      if (array->m_size == INT32_MAX)
         return false;
      ORVA_Value *slot = array->AppendSlot(true);
      if (slot == nullptr)
         return false;
      new (slot) ORVA_Value();
      ResetNumber(slot, type, n);
      array->m_size++;
      return true;
   }

   // The value a redirecting slot of an array's run points at: one that
   // was handed out before the run reached its element.
   static ORVA_Value *SlotValue(ORVA_Value *slot)
   {
      return reinterpret_cast<ORVA_Value *>(static_cast<uintptr_t>(slot->m_value.u64));
   }

   // A value that owned nothing and was stored as a new element: its
   // content is in the slot now, and the value is the caller's again
   // instead of waiting for the array's next store.
   static bool TakeBackStored(ORVA_Array *array, ORVA_Value *value)
   {
      ORVA_ArrayBody &b = ORVA_ArrayBody::Of(array);
      if (b.handedOver != value || !OwnsNothing(value))
         return false;
      b.handedOver = nullptr;
      return true;
   }

   // As ORVA_Array::Set, but the value's content may move into the array.
   static void StoreElement(ORVA_Array *array, int index, ORVA_Value *value)
   {
      if (!array->Store(index, value, true))
         delete value;
   }
   // The same for a caller that still reads the value after the store: when
   // the array refuses it (false; the run has met its memory ceiling), the
   // value stays the caller's, untouched.
   static bool TryStoreElement(ORVA_Array *array, int index, ORVA_Value *value)
   {
      return array->Store(index, value, true);
   }

   // The environment's function table as FindFunction searches it.
   static const ORVA_ExtFunction *FunctionTable(const ORVA_Environment *env, uint32 *count)
   {
      *count = env->m_functionCount;
      return env->m_functions;
   }

   // As GetValueAsArray and GetValueAsInt32, inlined.
   static ORVA_Array *ArrayOf(const ORVA_Value *value)
   {
      return (value->m_dataType == ORVA_DT_ARRAY) ? value->m_value.array : nullptr;
   }
   static int32 Int32Of(const ORVA_Value *value)
   {
      return static_cast<int32>(static_cast<uint32>(NumToInt64(value->m_dataType, Number(value))));
   }

   // An array value without text, made in a value that owns nothing: the
   // copy constructor's share of the array.
   static bool IsBareArray(const ORVA_Value *value)
   {
      return value->m_dataType == ORVA_DT_ARRAY && value->m_string == nullptr;
   }
   static void ResetArray(ORVA_Value *value, ORVA_Array *array)
   {
      value->m_dataType = ORVA_DT_ARRAY;
      value->m_value.u64 = 0;
      value->m_value.array = array;
      if (array != nullptr)
         array->IncRefCount();
   }
   // As the destructor of an array value without text, leaving a value that
   // owns nothing.
   static void DropArray(ORVA_Value *value)
   {
      ORVA_Array *array = value->m_value.array;
      value->m_dataType = ORVA_DT_NULL;
      value->m_value.u64 = 0;
      ReleaseArray(array);
   }

   // Gives up one reference to array: the last frees it, any other leaves
   // it to the cycle collector's judgement.
   static void ReleaseArray(ORVA_Array *array)
   {
      if (array == nullptr)
         return;
      array->DecRefCount();
      if (array->IsUnused())
         delete array;
      else
         ORVA_ArrayBody::Dropped(array);
   }

   // A number whose cached text is what formatting its number would give,
   // so that a copy without the text reads the same.
   static bool HasCanonicalText(const ORVA_Value *value);

   // As ORVA_Variable::Set, without the deletion of the old value, which the
   // caller releases: the variable's value pointer itself.
   static ORVA_Value *&Held(ORVA_Variable *variable) { return variable->m_value; }

   static char *NameOf(const ORVA_Instruction *instruction) { return instruction->m_operand.name; }
   static ORVA_Value *ConstantOf(const ORVA_Instruction *instruction) { return instruction->m_operand.constant; }
   static uint32 AddressOf(const ORVA_Instruction *instruction) { return instruction->m_operand.address; }
   static uint64 OperandBits(const ORVA_Instruction *instruction)
   {
      uint64 bits = 0;
      memcpy(&bits, &instruction->m_operand, sizeof(instruction->m_operand) < sizeof(bits) ? sizeof(instruction->m_operand) : sizeof(bits));
      return bits;
   }
};

#endif
