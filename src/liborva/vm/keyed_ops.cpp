/*
 * The instructions of language level 2 that the loop leaves to functions
 * out of line: element access under the key rule, the in-place updates,
 * truth, the walk of for-in and the array literals.  Each works on the
 * data stack as the run state holds it and raises its own errors.
 */
#include "vm/engine.h"
#include "values/array_keys.h"

#include <new>

typedef ORVA_EngineAccess Access;

namespace
{
// Where a walk keeps its state: elements of the array value that stands
// for it on the data stack under the loop's body.
enum
{
   WALK_ARRAY = 1,   // the array walked
   WALK_KEYS = 2,    // its keys when the walk began
   WALK_NEXT = 3     // the position of the next key in WALK_KEYS
};
}   // namespace

/* The key of value, or false after raising error 23 (null, array, object). */
bool ORVA_Engine::KeyOf(ORVA_Value *value, ORVA_ElementKey *key)
{
   if (ElementKeyOf(value, key))
   {
      // A text key is hashed and compared: its length is the work.
      if (key->isText && !ChargeWork(key->length))
         return false;
      return true;
   }
   Fail(ORVA_ERR_INDEX_NOT_INTEGER);
   return false;
}

void ORVA_Engine::KeyedRead()
{
   ORVA_RunState *rs = m_run;
   ORVA_Value *index = rs->Pop();
   ORVA_Value *array = rs->Pop();
   ORVA_Array *elements = (array != nullptr) ? Access::ArrayOf(array) : nullptr;
   ORVA_ElementKey key;
   if (index == nullptr || array == nullptr)
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
   else if (elements == nullptr)
      Fail(ORVA_ERR_NOT_ARRAY);
   else if (KeyOf(index, &key))
   {
      ORVA_Value *element = KeyedGet(elements, key);
      rs->Push(rs->pool.Copy(element));   // a missing element reads as null
   }
   rs->pool.Release(index);
   rs->pool.Release(array);
}

void ORVA_Engine::KeyedWrite(bool statement)
{
   ORVA_RunState *rs = m_run;
   ORVA_Value *value = rs->Pop();
   ORVA_Value *index = rs->Pop();
   ORVA_Value *array = rs->Pop();
   ORVA_Array *target = (array != nullptr) ? Access::ArrayOf(array) : nullptr;
   ORVA_ElementKey key;
   if (value == nullptr || index == nullptr || array == nullptr)
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
   else if (target == nullptr)
      Fail(ORVA_ERR_NOT_ARRAY);
   else if (KeyOf(index, &key))
   {
      // The value itself goes into the array; the expression's value is a
      // copy, made first.  A statement still makes an object's copy, for its
      // class sees copies, as level 1's element store does.
      ORVA_Value *copy = (!statement || value->IsObject()) ? rs->pool.Copy(value) : nullptr;
      if (!KeyedStore(target, key, value))
      {
         rs->pool.Release(copy);
         Fail(ORVA_ERR_INTERNAL);   // names the refusal that stopped the run
      }
      else
      {
         value = nullptr;
         if (statement)
            rs->pool.Release(copy);
         else
            rs->Push(copy);
      }
   }
   rs->pool.Release(value);
   rs->pool.Release(index);
   rs->pool.Release(array);
}

/*
 * The operator of an in-place update: the place's value, on the left, may
 * be missing or null and then counts as 0 ("" for the append); everything
 * else is the operator's own rule.
 */
void ORVA_Engine::Update(int opCode)
{
   ORVA_RunState *rs = m_run;
   if (rs->Depth() < 2)
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   ORVA_Value *&left = rs->stackTop[-2];
   if (left->IsNull())
   {
      rs->pool.Release(left);
      left = (opCode == OPCODE_CONCAT) ? new ORVA_Value("") : rs->pool.Number(ORVA_DT_INT32, NumberFromUInt32(0));
   }
   BinaryOperation(opCode, nullptr);
}

/*
 * a[k] op= v, with a, k and v on the stack: the element is found once, its
 * value (a missing or null one counting as 0, "" for the append) and v
 * go through the operator, and the result is stored and left.  before, when
 * given, receives a copy of the element's value as the operator took it.
 */
void ORVA_Engine::UpdateElement(int opCode, ORVA_Value **before)
{
   ORVA_RunState *rs = m_run;
   ORVA_ValuePool &pool = rs->pool;
   if (rs->Depth() < 3)
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   if (rs->stackLimit - rs->stackTop < 2 && !rs->GrowStack())
   {
      Fail(ORVA_ERR_INTERNAL);
      return;
   }
   ORVA_Value *index = rs->stackTop[-2];
   ORVA_Value *array = rs->stackTop[-3];
   ORVA_Array *target = Access::ArrayOf(array);
   ORVA_ElementKey key;
   if (target == nullptr)
   {
      Fail(ORVA_ERR_NOT_ARRAY);
      return;
   }
   if (!KeyOf(index, &key))
      return;
   // A missing element is made holding null, which reads as missing should
   // the operator fail.
   ORVA_Value *slot = KeyedSlot(target, key);
   if (slot == nullptr)
   {
      Fail(ORVA_ERR_INTERNAL);   // names the refusal that stopped the run
      return;
   }
   // The operands in the operator's order: the element's value, then v.
   ORVA_Value *operand = rs->Pop();
   ORVA_Value *left = slot->IsNull() ? ((opCode == OPCODE_CONCAT) ? new ORVA_Value("")
                                                                 : pool.Number(ORVA_DT_INT32, NumberFromUInt32(0)))
                                     : pool.Copy(slot);
   if (before != nullptr)
      *before = pool.Copy(left);
   rs->Push(left);
   rs->Push(operand);
   BinaryOperation(opCode, nullptr);
   if (m_program->m_ip == INVALID_ADDRESS)
      return;
   // A number goes into the slot in place when the slot owns nothing (the
   // common count); anything else is stored as any element is.
   ORVA_Value *result = rs->Pop();
   if (Access::OwnsNothing(slot) && Access::CopiesWithoutText(result))
      Access::ResetNumber(slot, Access::Type(result), Access::Number(result));
   else if (!KeyedSet(target, key, result))
   {
      pool.Release(result);
      Fail(ORVA_ERR_INTERNAL);
      return;
   }
   rs->Pop();
   rs->Pop();
   pool.Release(index);
   pool.Release(array);
   rs->Push(result);
}

/*
 * ++ and -- of an element (opCode INC, DEC, INCP or DECP) are a[k] += 1 and
 * a[k] -= 1, leaving the old value (INC, DEC) or the new one.
 */
void ORVA_Engine::StepElement(int opCode)
{
   ORVA_RunState *rs = m_run;
   if (rs->stackLimit - rs->stackTop < 1 && !rs->GrowStack())
   {
      Fail(ORVA_ERR_INTERNAL);
      return;
   }
   const bool increment = (opCode == OPCODE_INC || opCode == OPCODE_INCP);
   const bool postfix = (opCode == OPCODE_INC || opCode == OPCODE_DEC);
   rs->Push(rs->pool.Number(ORVA_DT_INT32, NumberFromUInt32(1)));
   ORVA_Value *before = nullptr;
   UpdateElement(increment ? OPCODE_ADD : OPCODE_SUB, postfix ? &before : nullptr);
   if (postfix && m_program->m_ip != INVALID_ADDRESS)
   {
      rs->pool.Release(rs->Pop());
      rs->Push(before);
   }
   else
      rs->pool.Release(before);
}

/* The value on top becomes 1 or 0, by the truth a condition gives it. */
void ORVA_Engine::Truth()
{
   ORVA_RunState *rs = m_run;
   ORVA_Value *top = rs->Peek();
   if (top == nullptr)
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   if (top->DataType() < ORVA_DT_REAL)
   {
      Fail(ORVA_ERR_NOT_NUMBER);
      return;
   }
   const bool zero = NumIsZero(Access::Type(top), Access::Number(top));
   rs->pool.Release(rs->Pop());
   rs->Push(rs->pool.Number(ORVA_DT_INT32, NumberFromUInt32(zero ? 0 : 1)));
}

/*
 * The walk keeps the keys present when it starts.  Making that list is work
 * in proportion to the array, charged as such; each step then costs what a
 * loop's turn costs.
 */
void ORVA_Engine::StartWalk()
{
   ORVA_RunState *rs = m_run;
   ORVA_Value *subject = rs->Pop();
   ORVA_Array *array = (subject != nullptr) ? Access::ArrayOf(subject) : nullptr;
   if (array == nullptr)
   {
      rs->pool.Release(subject);
      Fail(subject == nullptr ? ORVA_ERR_DATA_STACK_UNDERFLOW : ORVA_ERR_NOT_ARRAY);
      return;
   }
   if (!ChargeUnits(static_cast<uint64>(array->Size()) / 4))
   {
      rs->pool.Release(subject);
      return;
   }
   ORVA_Array *keys = KeysOf(array);
   if (keys == nullptr)
   {
      rs->pool.Release(subject);
      Fail(ORVA_ERR_INTERNAL);
      return;
   }
   ORVA_Array *walk = new ORVA_Array();
   walk->Set(WALK_ARRAY, subject);
   walk->Set(WALK_KEYS, new ORVA_Value(keys));
   walk->Set(WALK_NEXT, new ORVA_Value(static_cast<int32>(1)));
   rs->Push(rs->pool.Array(walk));
}

/* The next key still present and its value, pushed; false when the walk is done. */
bool ORVA_Engine::StepWalk()
{
   ORVA_RunState *rs = m_run;
   ORVA_Value *top = rs->Peek();
   ORVA_Array *walk = (top != nullptr) ? Access::ArrayOf(top) : nullptr;
   ORVA_Value *subject = (walk != nullptr) ? walk->Get(WALK_ARRAY) : nullptr;
   ORVA_Value *keysValue = (walk != nullptr) ? walk->Get(WALK_KEYS) : nullptr;
   ORVA_Value *next = (walk != nullptr) ? walk->Get(WALK_NEXT) : nullptr;
   if (subject == nullptr || keysValue == nullptr || next == nullptr)
   {
      Fail(ORVA_ERR_INTERNAL);
      return false;
   }
   ORVA_Array *array = Access::ArrayOf(subject);
   ORVA_Array *keys = Access::ArrayOf(keysValue);
   int32 position = next->GetValueAsInt32();
   for (; position <= keys->Size(); position++)
   {
      ORVA_Value *keyValue = keys->Get(position);
      ORVA_ElementKey key;
      if (keyValue == nullptr || !ElementKeyOf(keyValue, &key))
         continue;
      ORVA_Value *element = KeyedGet(array, key);
      if (element == nullptr || element->IsNull())
         continue;   // removed since the walk began (null reads as missing)
      next->Set(position + 1);
      if (rs->stackLimit - rs->stackTop < 3 && !rs->GrowStack())
      {
         Fail(ORVA_ERR_INTERNAL);
         return false;
      }
      rs->Push(rs->pool.Copy(keyValue));
      rs->Push(rs->pool.Copy(element));
      return true;
   }
   next->Set(position);
   return false;
}

/* A new array of the count values on top (the first pushed first): keys 1, 2, ... */
void ORVA_Engine::MakeList(uint32 count)
{
   ORVA_RunState *rs = m_run;
   if (rs->Depth() < count)
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value **items = rs->stackTop - count;
   bool stored = true;
   for (uint32 i = 0; i < count; i++)
   {
      if (stored && Access::TryStoreElement(array, static_cast<int>(i + 1), items[i]))
         continue;
      stored = false;
      rs->pool.Release(items[i]);
   }
   rs->stackTop = items;
   rs->Push(rs->pool.Array(array));
   if (!stored)
      Fail(ORVA_ERR_INTERNAL);
}

/* A new array of the count / 2 key and value pairs on top, stored in order. */
void ORVA_Engine::MakeMap(uint32 count)
{
   ORVA_RunState *rs = m_run;
   if (rs->Depth() < count)
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value **items = rs->stackTop - count;
   int failure = 0;
   for (uint32 i = 0; i + 1 < count && failure == 0; i += 2)
   {
      ORVA_ElementKey key;
      if (!ElementKeyOf(items[i], &key))
         failure = ORVA_ERR_INDEX_NOT_INTEGER;
      else if ((key.isText && !ChargeWork(key.length)) || !KeyedSet(array, key, items[i + 1]))
         failure = ORVA_ERR_INTERNAL;
   }
   for (uint32 i = 0; i < count; i++)
      rs->pool.Release(items[i]);
   rs->stackTop = items;
   rs->Push(rs->pool.Array(array));
   if (failure != 0 && m_program->m_ip != INVALID_ADDRESS)
      Fail(failure);
}
