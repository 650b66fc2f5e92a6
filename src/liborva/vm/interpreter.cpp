/*
 * The interpreter loop over the prepared form, and the calls and returns of
 * script functions it makes.
 *
 * The loop keeps its position (pc), the top of the data stack (sp), the
 * bottom of the stack and the current frame's slots in locals, and writes
 * the position and the stack top back (SYNC) before anything that can fail
 * or call out of the loop: an error message reads the line of the public
 * instruction at m_ip, and the general operators (operators.cpp) work on
 * the stack as the run state holds it.  Dispatch is a computed goto through a table of
 * handler addresses (a switch where the compiler has no computed goto).
 * Each handler ends by going on at the next position (NEXT) or a jump
 * target; a fused handler whose guard fails runs the plain handler of the
 * same position instead (PLAIN).
 *
 * Interpret(true) is the one-step form behind ORVA_Program::Execute: it runs
 * the plain handler of the instruction at m_ip, and its every dispatch after
 * that ends the step.
 */
#include "vm/engine.h"
#include "vm/fast_ops.h"
#include "vm/frame_entry.h"
#include "values/array_cycle.h"
#include "vm/dispatch.h"

#include <cstdio>
#include <cstring>

typedef ORVA_EngineAccess Access;

uint32 ORVA_Engine::EnterCall(uint32 target, int argc, const ORVA_Region *region, uint32 returnPc)
{
   ORVA_RunState *rs = m_run;
   if (!CallDepthLeft(rs))
   {
      Fail(ORVA_ERR_CONTROL_STACK_OVERFLOW);
      return INVALID_ADDRESS;
   }
   if (argc < 0 || rs->Depth() < static_cast<uint32>(argc))
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return INVALID_ADDRESS;
   }
   const bool slotted = region != nullptr && region->slotted;
   const uint32 slotCount = slotted ? region->slotCount : 0;
   if ((rs->frameCount == rs->frameCapacity && !rs->GrowFrames()) || !rs->ReserveSlots(slotCount))
   {
      Fail(ORVA_ERR_INTERNAL);
      return INVALID_ADDRESS;
   }

   // The arguments move from the stack into the callee's locals, the last
   // pushed becoming $n.
   ORVA_Value **args = rs->stackTop - argc;
   rs->stackTop = args;
   ORVA_Frame &frame = PushFrame(rs, returnPc, target, region, slotCount, rs->Depth());
   ORVA_Value **slots = rs->FrameSlots(frame);
   ORVA_ValuePool &pool = rs->pool;
   uint32 next = target;
   if (slotted)
   {
      const uint32 *argumentSlots = region->argumentSlots.data();
      for (uint32 i = 0; i < static_cast<uint32>(argc); i++)
      {
         const uint32 slot = (i < region->argumentCount) ? argumentSlots[i] : NO_SLOT;
         if (slot == NO_SLOT)
            pool.Release(args[i]);   // nothing reads it
         else
            slots[slot] = args[i];
      }
      // Parameters the call bound itself: a missing argument is null.
      for (uint32 i = static_cast<uint32>(argc); i < region->boundArguments; i++)
         slots[argumentSlots[i]] = pool.Null();
      next = region->callEntry;
      rs->bindCounter = region->bindCounter;
   }
   else
   {
      rs->bindCounter = 1;
      if (argc > 0)
      {
         ORVA_VariableSystem *scope = FrameScope(frame);
         char name[16];
         for (int i = 0; i < argc; i++)
            if (scope == nullptr || scope->Create(ArgumentName(name, static_cast<uint32>(i + 1)), args[i]) == nullptr)
            {
               // A scope took the value over even so; the rest go with it.
               for (int k = (scope == nullptr) ? i : i + 1; k < argc; k++)
                  pool.Release(args[k]);
               Fail(ORVA_ERR_INTERNAL);
               return INVALID_ADDRESS;
            }
      }
   }
   return next;
}

ORVA_ALWAYS_INLINE void ORVA_Engine::ReleaseFrame(ORVA_Frame &frame)
{
   ORVA_RunState *rs = m_run;
   ORVA_Value **slot = rs->slots + frame.slotBase;
   ORVA_Value **end = rs->slots + rs->slotTop;
   for (; slot < end; slot++)
      if (*slot != nullptr)
      {
         rs->pool.Release(*slot);
         *slot = nullptr;
      }
   rs->slotTop = frame.slotBase;
   if (frame.scope != nullptr)
      delete frame.scope;
   rs->frameCount--;
}

/*
 * The environment's function of a call site's name, as FindFunction gives
 * it, looked up once per run and table rather than on every call.
 */
inline ORVA_ExtFunction *ORVA_Engine::FindExternal(const ORVA_PreparedOp &op, const char *name)
{
   ORVA_Environment *env = m_program->m_environment;
   uint32 count;
   const ORVA_ExtFunction *table = Access::FunctionTable(env, &count);
   ORVA_CallCache &call = m_prepared->calls[op.a];
   if (call.table != table || call.count != count || call.run != m_runNumber)
   {
      const ORVA_ExtFunction *found = env->FindFunction(name);
      call.table = table;
      call.count = count;
      call.run = m_runNumber;
      call.record = (found != nullptr) ? static_cast<uint32>(found - table) : NO_SLOT;
   }
   return (call.record != NO_SLOT) ? const_cast<ORVA_ExtFunction *>(table) + call.record : nullptr;
}

/*
 * The in-place form of the handler a call site meets, found again only when
 * the host has put another handler under the name.
 */
inline const ORVA_CallCache &ORVA_Engine::InPlaceSite(const ORVA_PreparedOp &op, ORVA_ExtHandler handler)
{
   ORVA_CallCache &call = m_prepared->calls[op.a];
   if (ORVA_UNLIKELY(call.handler != handler))
   {
      const ORVA_InPlaceCall *row = InPlaceRowOf(handler);
      call.handler = handler;
      call.inPlace = (row != nullptr) ? row->inPlace : nullptr;
      call.readsOnly = row != nullptr && row->readsOnly;
   }
   return call;
}

void ORVA_Engine::Interpret(bool oneStep)
{
   ORVA_Program *const program = m_program;
   ORVA_RunState *const rs = m_run;
   ORVA_ValuePool &pool = rs->pool;

   if (oneStep)
   {
      // A host stepping by hand may stand anywhere: code that keeps its
      // locals in slots runs only in frames of its own region, so anything
      // else goes by name from now on.
      if (CodeChanged() && !GoByName())
         return;
      const ORVA_Region *region = m_prepared->RegionAt(program->m_ip);
      if (region != nullptr && region->slotted && region != rs->Top().region && !GoByName())
         return;
   }

   ORVA_PreparedOp *ops = m_prepared->ops.data();
   uint32 codeSize = m_prepared->CodeSize();
   if (program->m_ip >= codeSize)
      return;   // stopped already, or a function that starts past the code
   ORVA_PreparedOp *pc = ops + program->m_ip;
   ORVA_Value **sp = rs->stackTop;
   ORVA_Value **bottom = rs->stackBottom;
   ORVA_Value **slots = rs->FrameSlots(rs->Top());
   ORVA_Value **home;
   uint32 at;
   bool statement;
   uint32 callTarget;
   int callArgc;
   const ORVA_Region *callRegion;
   const bool fastPathsOff = m_prepared->noFastPaths;

#if ORVA_COMPUTED_GOTO
   static const void *const labels[] = {ORVA_PREPARED_CODES(ORVA_LABEL)};
   // One step: the first handler runs, and every dispatch after it ends the step.
   static const void *const stepped[] = {ORVA_PREPARED_CODES(ORVA_LABEL_STEPPED)};
   static_assert(sizeof(labels) / sizeof(labels[0]) == P_CODE_COUNT, "a handler for every prepared code");
   static_assert(sizeof(stepped) == sizeof(labels), "a stepped entry for every prepared code");
   const void *const *const table = oneStep ? stepped : labels;
   goto *labels[oneStep ? pc->plain : pc->code];
#else
   uint16_t code = oneStep ? pc->plain : pc->code;
dispatch:
   switch (code)
   {
#endif

   HANDLER(NOP)
   NEXT(1);

   // A line start a debugger watches: the stop (if it is one), then the
   // instruction itself.  The plain code serves, since a fused form never
   // spans a line start and the loop carries on at the next position.
   HANDLER(TRAP)
   SYNC();
   if (!DebugTrap(INDEX()))
      goto stopped;
   RELOAD();
   PLAIN();

   HANDLER(END)
   goto end;

   HANDLER(RET_NULL)
   PUSH(pool.Null());
   goto do_return;

   HANDLER(RET)
do_return:
   {
      if (rs->frameCount == 1)
      {
         pc = ops + codeSize;   // a return from main ends the run
         goto end;
      }
      ORVA_Frame &frame = rs->Top();
      // Whatever the callee left under its result (the value of a switch it
      // returned from) belongs to no one: it goes.
      ORVA_Value **base = bottom + frame.stackBase;
      if (sp > base + 1)
      {
         ORVA_Value *result = *--sp;
         while (sp > base)
            pool.Release(*--sp);
         *sp++ = result;
      }
      const uint32 returnPc = frame.returnPc;
      ReleaseFrame(frame);
      slots = rs->FrameSlots(rs->Top());
      pc = ops + ((returnPc < codeSize) ? returnPc : codeSize);
      DISPATCH();
   }

   HANDLER(JMP)
   TAKE_JUMP(*pc);

   HANDLER(JZ)
   HANDLER(JNZ)
   {
      if (ORVA_UNLIKELY(sp == bottom))
         FAIL(ORVA_ERR_DATA_STACK_UNDERFLOW);
      ORVA_Value *condition = *--sp;
      const int type = Access::Type(condition);
      if (ORVA_UNLIKELY(type < ORVA_DT_REAL))
      {
         pool.Release(condition);
         FAIL(ORVA_ERR_NOT_NUMBER);
      }
      const bool zero = NumIsZero(type, Access::Number(condition));
      pool.Release(condition);
      if ((pc->opCode == OPCODE_JZ) == zero)
         TAKE_JUMP(*pc);
      NEXT(1);
   }

   HANDLER(CALL)
   {
      CHECKPOINT(pc->cost, pc->a);
      // The common call, inline: a function that keeps its locals in slots,
      // every argument where the function wants it, room for the frame.
      const ORVA_Region *region = pc->p.region;
      const uint32 argc = pc->b;
      if (ORVA_LIKELY(region != nullptr && region->slotted && argc <= region->argumentCount &&
                      static_cast<uint32>(sp - bottom) >= argc && CallDepthLeft(rs) &&
                      rs->frameCount < rs->frameCapacity && rs->slotTop + region->slotCount <= rs->slotCapacity))
      {
         // PushFrame's record, written by hand (see frame_entry.h).
         ORVA_Frame *frame = rs->frames + rs->frameCount++;
         frame->returnPc = INDEX() + 1;
         frame->entry = pc->a;
         frame->slotBase = rs->slotTop;
         frame->region = region;
         frame->scope = nullptr;
         slots = rs->slots + rs->slotTop;
         rs->slotTop += region->slotCount;
         sp -= argc;
         frame->stackBase = static_cast<uint32>(sp - bottom);
         const uint32 *argumentSlots = region->argumentSlots.data();
         for (uint32 i = 0; i < argc; i++)
         {
            if (argumentSlots[i] != NO_SLOT)
               slots[argumentSlots[i]] = sp[i];
            else
               pool.Release(sp[i]);
         }
         for (uint32 i = argc; i < region->boundArguments; i++)
            slots[argumentSlots[i]] = pool.Null();
         rs->bindCounter = region->bindCounter;
         pc = ops + region->callEntry;
         DISPATCH();
      }
      goto call_from_pc;
   }

   HANDLER(CALL_LONG)
   {
      CHECKPOINT(static_cast<int64>(CallCost(pc->p.region, pc->a)), pc->a);
   }
   // A CALL the inline form does not take, or a CALL_LONG: the callee is the
   // instruction's own.
call_from_pc:
   SYNC();
   at = INDEX();
   callTarget = pc->a;
   callArgc = static_cast<int32>(pc->b);
   callRegion = pc->p.region;
   goto enter_call;

   HANDLER(CALL_NAME)
   {
      SYNC();
      at = INDEX();
      const char *name = pc->p.name;
      const int argc = static_cast<int32>(pc->b);
      ORVA_ExtFunction *function = (name != nullptr) ? FindExternal(*pc, name) : nullptr;
      if (function != nullptr && function->m_handler != nullptr)
      {
         // A built-in's in-place form runs no host code, so the code cannot
         // have changed under it.
         if (!CallInPlace(InPlaceSite(*pc, function->m_handler).inPlace, function, argc))
         {
            ExternalCall(function, argc);
            if (program->m_ip == INVALID_ADDRESS)
               goto stopped;
            AFTER_HOST_CODE();
         }
         AFTER_CALLOUT();
         NEXT(1);
      }
      callTarget = (name != nullptr) ? program->GetFunctionAddress(name) : INVALID_ADDRESS;
      if (callTarget == INVALID_ADDRESS)
         FAIL(ORVA_ERR_NO_FUNCTION);
      if (callTarget > codeSize)
         callTarget = codeSize;
      callArgc = argc;
      callRegion = m_prepared->RegionAt(callTarget);
      CHECKPOINT(static_cast<int64>(CallCost(callRegion, callTarget)), callTarget);
   }
   // A script call the inline form does not take; the position is synced.
enter_call:
   {
      const uint32 next = EnterCall(callTarget, callArgc, callRegion, at + 1);
      if (next == INVALID_ADDRESS)
         goto stopped;
      RELOAD();
      pc = ops + next;
      DISPATCH();
   }

   HANDLER(PUSH_CONST)
   {
      ORVA_Value *constant = pc->p.constant;
      PUSH((pc->flags & PREPARED_BARE) ? pool.Number(Access::Type(constant), Access::Number(constant))
                                       : pool.Copy(constant));
      NEXT(1);
   }

   // The pushes of a call's arguments and the call: prepare.cpp joins at most
   // three, so the call is the first CALL_NAME after the first.
   HANDLER(LOCAL_CALL)
   {
      const ORVA_PreparedOp *call = pc + 1;
      while (call->plain != P_CALL_NAME)
         call++;
      ORVA_ExtFunction *function = FindExternal(*call, call->p.name);
      if (function == nullptr || function->m_handler == nullptr)
         PLAIN();
      const ORVA_CallCache &site = InPlaceSite(*call, function->m_handler);
      if (!site.readsOnly)
         PLAIN();
      const int argc = static_cast<int>(call - pc);
      ORVA_Value *argv[3];
      for (int k = 0; k < argc; k++)
         argv[k] = (pc[k].plain == P_PUSH_LOCAL) ? LOCAL_VALUE(pc[k]) : pc[k].p.constant;
      ORVA_Value *result = CallReading(site.inPlace, function, argc, argv);
      if (result == nullptr)
         PLAIN();
      PUSH(result);
      NEXT(argc + 1);
   }

   HANDLER(PUSH_LOCAL)
   LOCAL_HOME(*pc);
   PUSH(pool.Copy(*home));
   NEXT(1);

   HANDLER(PUSH_NAME)
   NAMED_HOME();
   PUSH(pool.Copy(*home));
   NEXT(1);

   HANDLER(PUSH_LOCAL_MOVE)
   {
      // "s = s . x . y;" on a local: the value would be copied, appended to
      // and stored back over the original, which nothing reads in between.
      // The value itself goes instead, so that building a long text costs no
      // copy of it per piece; the variable holds null until the assignment,
      // and an error on the way ends the run, which takes the local with it.
      ORVA_Value *value = LOCAL_VALUE(*pc);
      if (value != nullptr && Access::Type(value) >= ORVA_DT_STRING)
      {
         slots[pc->a] = pool.Null();
         PUSH(value);
         NEXT(1);
      }
      PLAIN();
   }

   HANDLER(EXIT)
   {
      if (sp == bottom)
         FAIL(ORVA_ERR_DATA_STACK_UNDERFLOW);
      pool.Release(*--sp);
      pc = ops + codeSize;
      goto end;
   }

   HANDLER(POP)
   for (int32 count = static_cast<int32>(pc->a); count > 0 && sp > bottom; count--)
      pool.Release(*--sp);
   NEXT(1);

   // SET, and SET with the POP 1 of an assignment statement, which gives the
   // value itself to the variable instead of a copy.
#define SET_BODY(statement)                                                                     \
   {                                                                                            \
      if (sp == bottom)                                                                         \
         FAIL(ORVA_ERR_DATA_STACK_UNDERFLOW);                                                   \
      ORVA_Value *top = sp[-1];                                                                 \
      /* Assignment copies arrays; element values are shared one level down. */                \
      const bool isArray = Access::Type(top) == ORVA_DT_ARRAY;                                  \
      ORVA_Array *array = isArray ? Access::ArrayOf(top) : nullptr;                             \
      ORVA_Value *value = (array != nullptr)        ? pool.Array(new ORVA_Array(array))          \
                          : (statement && !isArray) ? top                                        \
                                                    : pool.Copy(top);                            \
      if (statement)                                                                            \
         sp--;                                                                                  \
      STORE(home, value);                                                                       \
      if (statement && value != top)                                                            \
         pool.Release(top);                                                                     \
      NEXT((statement) ? 2 : 1);                                                                \
   }
   HANDLER(SET_LOCAL)
   LOCAL_HOME(*pc);
   SET_BODY(false)
   HANDLER(SET_NAME)
   NAMED_HOME();
   SET_BODY(false)
   HANDLER(SET_LOCAL_POP)
   LOCAL_HOME(*pc);
   SET_BODY(true)
   HANDLER(SET_NAME_POP)
   NAMED_HOME();
   SET_BODY(true)
#undef SET_BODY

   HANDLER(PRINT)
   {
      if (sp == bottom)
         FAIL(ORVA_ERR_DATA_STACK_UNDERFLOW);
      ORVA_Value *value = *--sp;
      FILE *out = program->m_environment->GetStdOut();
      if (out != nullptr)
      {
         uint32 length = 0;
         const char *text = Access::ReadText(value, &length);
         // Output is paid before it is written: a long text printed in a
         // loop writes no more than the limits allow.
         if (length >= WORK_BYTES_PER_UNIT)
         {
            SYNC();
            if (!ChargeWork(length))
            {
               pool.Release(value);
               goto stopped;
            }
         }
         if (text != nullptr)
            fwrite(text, 1, length, out);
         else
            fputs("(null)", out);
      }
      pool.Release(value);
      NEXT(1);
   }

   HANDLER(BIND_LOCAL)
   {
      // The copy is made before the old value goes: a parameter may be named
      // like the argument it reads.
      ORVA_Value *argument = slots[pc->b];
      ORVA_Value *value = (argument != nullptr) ? pool.Copy(argument) : pool.Null();
      STORE(&slots[pc->a], value);
      NEXT(1);
   }

   HANDLER(BIND_NAME)
   if (!BindByName(pc->p.name))
      FAIL(ORVA_ERR_INTERNAL);
   NEXT(1);

   // x++ and x-- push the old value, ++x and --x the new one; with the POP 1
   // of "i++;" as a statement they push nothing.
#define STEP_BODY(statement)                                                                    \
   {                                                                                            \
      ORVA_Value *value = *home;                                                                \
      const int type = Access::Type(value);                                                     \
      if (ORVA_UNLIKELY(type < ORVA_DT_REAL))                                                   \
         FAIL(ORVA_ERR_BAD_CONVERSION);                                                         \
      const int opCode = pc->opCode;                                                            \
      const bool post = (opCode == OPCODE_INC || opCode == OPCODE_DEC);                         \
      if (post && !(statement))                                                                 \
         PUSH(pool.Copy(value));                                                                \
      const int step = (opCode == OPCODE_INC || opCode == OPCODE_INCP) ? 1 : -1;                \
      Access::SetNumber(value, type, NumStep(type, Access::Number(value), step));               \
      if (!post && !(statement))                                                                \
         PUSH(pool.Copy(value));                                                                \
      NEXT((statement) ? 2 : 1);                                                                \
   }
   HANDLER(STEP_LOCAL)
   LOCAL_HOME(*pc);
   STEP_BODY(false)
   HANDLER(STEP_NAME)
   NAMED_HOME();
   STEP_BODY(false)
   HANDLER(STEP_LOCAL_POP)
   LOCAL_HOME(*pc);
   STEP_BODY(true)
   HANDLER(STEP_NAME_POP)
   NAMED_HOME();
   STEP_BODY(true)
#undef STEP_BODY

   HANDLER(NEG)
   if (ORVA_LIKELY(sp > bottom) && Access::IsNumeric(sp[-1]))
   {
      int type = Access::Type(sp[-1]);
      const ORVA_Number negated = NumNegate(&type, Access::Number(sp[-1]));
      Access::SetNumber(sp[-1], type, negated);
      NEXT(1);
   }
   goto generic_unary;

   HANDLER(NOT)
   if (ORVA_LIKELY(sp > bottom) && Access::Type(sp[-1]) >= ORVA_DT_INT32)
   {
      const bool zero = NumIsZero(Access::Type(sp[-1]), Access::Number(sp[-1]));
      Access::SetNumber(sp[-1], ORVA_DT_INT32, NumberFromUInt32(zero ? 1 : 0));
      NEXT(1);
   }
   goto generic_unary;

   // "if (!x)": the jump is taken on the truth of the integer on top.
   HANDLER(NOT_JUMP)
   if (ORVA_LIKELY(sp > bottom) && Access::Type(sp[-1]) >= ORVA_DT_INT32)
   {
      const bool zero = NumIsZero(Access::Type(sp[-1]), Access::Number(sp[-1]));
      pool.Release(*--sp);
      if (zero != (pc[1].opCode == OPCODE_JZ))
         TAKE_JUMP(pc[1]);
      NEXT(2);
   }
   PLAIN();

   HANDLER(UNARY)
generic_unary:
   SYNC();
   UnaryOperation(pc->opCode);
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(CAST)
   if (sp == bottom)
      FAIL(ORVA_ERR_DATA_STACK_UNDERFLOW);
   if (!sp[-1]->Convert(static_cast<int32>(pc->b)))
      FAIL(ORVA_ERR_TYPE_CAST);
   NEXT(1);

   HANDLER(REFERENCE)
   SYNC();
   at = INDEX();
   Reference(pc->p.name);
   if (program->m_ip == INVALID_ADDRESS)
      goto stopped;
   AFTER_HOST_CODE();
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(ARRAY_LOCAL)
   // A local already made is a name seen already: the by-name form words
   // the refusal, as the declare rule says.
   if (ORVA_UNLIKELY(slots[pc->a] != nullptr))
      goto declare_by_name;
   slots[pc->a] = pool.Array(new ORVA_Array());
   NEXT(1);

   HANDLER(ARRAY_NAME)
declare_by_name:
   SYNC();
   DeclareArray(pc->p.name);
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(GET_ELEMENT)
   {
      ORVA_Value *index = (sp > bottom) ? *--sp : nullptr;
      ORVA_Value *array = (sp > bottom) ? *--sp : nullptr;
      int error = 0;
      ORVA_Array *elements = (array != nullptr) ? Access::ArrayOf(array) : nullptr;
      if (index == nullptr || array == nullptr)
         error = ORVA_ERR_DATA_STACK_UNDERFLOW;
      else if (elements == nullptr)
         error = ORVA_ERR_NOT_ARRAY;
      else if (Access::Type(index) < ORVA_DT_INT32)
         error = ORVA_ERR_INDEX_NOT_INTEGER;
      if (ORVA_UNLIKELY(error != 0))
      {
         pool.Release(index);
         pool.Release(array);
         FAIL(error);
      }
      ORVA_Value *element = elements->Get(Access::Int32Of(index));
      ORVA_Value *copy = (element != nullptr) ? pool.Copy(element) : pool.Null();
      pool.Release(index);
      pool.Release(array);
      PUSH(copy);
      NEXT(1);
   }

   // An element read of a local array: the array value is never copied.
   // A keyed form (level 2) takes only the int32 keys that key by their
   // number; every other key goes by the key rule in the plain forms.
#define KEYED_ONLY_INT32(index) \
   ((pc->flags & PREPARED_KEYED) && !(Access::Type(index) == ORVA_DT_INT32 && Access::CopiesWithoutText(index)))
#define READ_ELEMENT(arrayValue, indexValue, element)                                               \
   ORVA_Array *elements_ = ((arrayValue) != nullptr) ? Access::ArrayOf(arrayValue) : nullptr;        \
   const ORVA_Value *index_ = (indexValue);                                                          \
   if (elements_ == nullptr || index_ == nullptr || Access::Type(index_) < ORVA_DT_INT32 ||          \
       KEYED_ONLY_INT32(index_))                                                                     \
      PLAIN();                                                                                       \
   ORVA_Value *element = Access::Element(elements_, Access::Int32Of(index_));
   HANDLER(LOCAL_LOCAL_GET)
   {
      READ_ELEMENT(LOCAL_VALUE(pc[0]), LOCAL_VALUE(pc[1]), element);
      PUSH((element != nullptr) ? pool.Copy(element) : pool.Null());
      NEXT(3);
   }

   HANDLER(LOCAL_CONST_GET)
   {
      READ_ELEMENT(LOCAL_VALUE(pc[0]), pc[1].p.constant, element);
      PUSH((element != nullptr) ? pool.Copy(element) : pool.Null());
      NEXT(3);
   }

   // "t = a[i];": the element goes straight into the local.  An element
   // that is an array is left to the plain forms, since assignment copies it.
   HANDLER(LOCAL_LOCAL_GET_SET)
   {
      READ_ELEMENT(LOCAL_VALUE(pc[0]), LOCAL_VALUE(pc[1]), element);
      if (element != nullptr && Access::Type(element) == ORVA_DT_ARRAY)
         PLAIN();
      LOCAL_HOME(pc[3]);
      if (element != nullptr && Access::CopiesWithoutText(element) && Access::OwnsNothing(*home))
         Access::ResetNumber(*home, Access::Type(element), Access::Number(element));
      else
      {
         ORVA_Value *copy = (element != nullptr) ? pool.Copy(element) : pool.Null();
         STORE(home, copy);
      }
      NEXT(5);
   }

   // "a[i] = c;" and "a[i] = v;" with a number (or null): no value is made
   // for the array, the index or the copy the assignment gives.
   HANDLER(LOCAL_LOCAL_CONST_PUT)
   HANDLER(LOCAL_LOCAL_LOCAL_PUT)
   {
      const ORVA_Value *array = LOCAL_VALUE(pc[0]);
      const ORVA_Value *index = LOCAL_VALUE(pc[1]);
      const ORVA_Value *value = (pc->code == P_LOCAL_LOCAL_CONST_PUT) ? pc[2].p.constant : LOCAL_VALUE(pc[2]);
      ORVA_Array *elements = (array != nullptr) ? Access::ArrayOf(array) : nullptr;
      if (elements != nullptr && index != nullptr && Access::Type(index) >= ORVA_DT_INT32 && value != nullptr &&
          Access::CopiesWithoutText(value) && !KEYED_ONLY_INT32(index))
      {
         const int32 position = Access::Int32Of(index);
         ORVA_Value *element;
         if (Access::AtRunTop(elements, position))
         {
            if (ORVA_UNLIKELY(!Access::AppendNumber(elements, Access::Type(value), Access::Number(value))))
               FAIL(ORVA_ERR_INTERNAL);   // names the refusal that stopped the run
         }
         else if ((element = Access::Element(elements, position)) != nullptr && Access::OwnsNothing(element))
            Access::ResetNumber(element, Access::Type(value), Access::Number(value));
         else
         {
            ORVA_Value *stored = pool.Number(Access::Type(value), Access::Number(value));
            if (ORVA_UNLIKELY(!Access::TryStoreElement(elements, position, stored)))
            {
               pool.Release(stored);
               FAIL(ORVA_ERR_INTERNAL);   // names the refusal that stopped the run
            }
            if (Access::TakeBackStored(elements, stored))
               pool.Release(stored);
         }
         NEXT(5);
      }
      PLAIN();
   }

   // "if (!a[i])" and "while (!a[i])": the element's truth decides the
   // jump as NOT_JUMP would decide it on the copy.
   HANDLER(LOCAL_LOCAL_GET_NOT_JUMP)
   {
      READ_ELEMENT(LOCAL_VALUE(pc[0]), LOCAL_VALUE(pc[1]), element);
      if (element == nullptr || Access::Type(element) < ORVA_DT_INT32)
         PLAIN();
      const bool zero = NumIsZero(Access::Type(element), Access::Number(element));
      if (zero != (pc[4].opCode == OPCODE_JZ))
         TAKE_JUMP(pc[4]);
      NEXT(5);
   }

   // The index from a local, the array on top.
   HANDLER(LOCAL_GET)
   {
      READ_ELEMENT((sp > bottom) ? sp[-1] : nullptr, LOCAL_VALUE(pc[0]), element);
      ORVA_Value *array = sp[-1];
      sp[-1] = (element != nullptr) ? pool.Copy(element) : pool.Null();
      pool.Release(array);
      NEXT(2);
   }
#undef READ_ELEMENT
#undef KEYED_ONLY_INT32

   HANDLER(SET_ELEMENT)
   statement = false;
   goto do_set_element;
   HANDLER(SET_ELEMENT_POP)
   statement = true;
do_set_element:
   {
      ORVA_Value *value = (sp > bottom) ? *--sp : nullptr;
      ORVA_Value *index = (sp > bottom) ? *--sp : nullptr;
      ORVA_Value *array = (sp > bottom) ? *--sp : nullptr;
      int error = 0;
      ORVA_Array *target = (array != nullptr) ? Access::ArrayOf(array) : nullptr;
      if (value == nullptr || index == nullptr || array == nullptr)
         error = ORVA_ERR_DATA_STACK_UNDERFLOW;
      else if (Access::Type(index) < ORVA_DT_INT32)
         error = ORVA_ERR_INDEX_NOT_INTEGER;
      else if (target == nullptr)
         error = ORVA_ERR_NOT_ARRAY;
      if (ORVA_UNLIKELY(error != 0))
      {
         pool.Release(value);
         pool.Release(index);
         pool.Release(array);
         FAIL(error);
      }
      const int32 position = Access::Int32Of(index);
      ORVA_Value *element;
      if (!fastPathsOff && Access::CopiesWithoutText(value) && (element = Access::Element(target, position)) != nullptr &&
          Access::OwnsNothing(element))
      {
         // A number (or null) replacing an element that owns nothing takes
         // its place in it; the value itself then serves as the copy that
         // the assignment gives.
         Access::ResetNumber(element, Access::Type(value), Access::Number(value));
         pool.Release(index);
         pool.Release(array);
         if (statement)
            pool.Release(value);
         else
            PUSH(value);
         NEXT(statement ? 2 : 1);
      }
      // The element shares an array value's array, even one that comes to
      // hold itself: the cycle collector frees such arrays.
      if (ORVA_UNLIKELY(!Access::TryStoreElement(target, position, value)))
      {
         // Refused, the value is still ours: it goes with the operands.
         pool.Release(value);
         pool.Release(index);
         pool.Release(array);
         FAIL(ORVA_ERR_INTERNAL);   // names the refusal that stopped the run
      }
      // "a[i] = v;" as a statement discards the copy it would push; an
      // object's copy is still made, for its class sees copies.
      if (!statement)
         PUSH(pool.Copy(value));
      else if (Access::Type(value) == ORVA_DT_OBJECT)
         pool.Release(pool.Copy(value));
      pool.Release(index);
      pool.Release(array);
      NEXT(statement ? 2 : 1);
   }

   // Level 2.  An element read at an int32 key that owns no text is the
   // common case of a keyed array and is done here; any other key follows
   // the key rule out of line.
   HANDLER(GET_KEYED)
   if (ORVA_LIKELY(sp - bottom >= 2) && !fastPathsOff && Access::Type(sp[-1]) == ORVA_DT_INT32 &&
       Access::CopiesWithoutText(sp[-1]) && Access::ArrayOf(sp[-2]) != nullptr)
   {
      ORVA_Value *element = Access::Element(Access::ArrayOf(sp[-2]), Access::Int32Of(sp[-1]));
      ORVA_Value *copy = pool.Copy(element);
      pool.Release(*--sp);
      pool.Release(sp[-1]);
      sp[-1] = copy;
      NEXT(1);
   }
   SYNC();
   KeyedRead();
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(SET_KEYED)
   SYNC();
   KeyedWrite(false);
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(SET_KEYED_POP)
   SYNC();
   KeyedWrite(true);
   AFTER_CALLOUT();
   NEXT(2);

   HANDLER(UPDATE_KEYED)
   SYNC();
   UpdateElement(static_cast<int>(pc->b));
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(UPDATE)
   SYNC();
   Update(static_cast<int>(pc->b));
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(STEP_KEYED)
   SYNC();
   StepElement(static_cast<int>(pc->b));
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(TRUTH)
   SYNC();
   Truth();
   AFTER_CALLOUT();
   NEXT(1);

   // && and || keep the truth that decided them as their value and jump
   // past the right side; ?? keeps a value that is not null.
   HANDLER(JUMP_KEEP)
   {
      if (ORVA_UNLIKELY(sp == bottom))
         FAIL(ORVA_ERR_DATA_STACK_UNDERFLOW);
      ORVA_Value *top = sp[-1];
      const int type = Access::Type(top);
      bool jump;
      if (pc->opCode == OPCODE_JNN_KEEP)
         jump = type != ORVA_DT_NULL;
      else
      {
         if (ORVA_UNLIKELY(type < ORVA_DT_REAL))
            FAIL(ORVA_ERR_NOT_NUMBER);
         const bool truth = !NumIsZero(type, Access::Number(top));
         jump = truth == (pc->opCode == OPCODE_JNZ_KEEP);
         if (jump)
         {
            pool.Release(top);
            sp[-1] = pool.Number(ORVA_DT_INT32, NumberFromUInt32(truth ? 1 : 0));
         }
      }
      if (jump)
         TAKE_JUMP(*pc);
      pool.Release(*--sp);
      NEXT(1);
   }

   HANDLER(ITER_START)
   SYNC();
   StartWalk();
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(ITER_NEXT)
   {
      SYNC();
      const bool more = StepWalk();
      AFTER_CALLOUT();
      if (!more)
         TAKE_JUMP(*pc);
      NEXT(1);
   }

   HANDLER(LIST)
   SYNC();
   MakeList(pc->a);
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(MAP)
   SYNC();
   MakeMap(pc->a);
   AFTER_CALLOUT();
   NEXT(1);

   HANDLER(BINARY)
generic_binary:
   SYNC();
   BinaryOperation(pc->opCode, pc->p.constant);
   AFTER_CALLOUT();
   NEXT(1);

   // The operators: on the two values on top, and fused with the pushes of a
   // constant or of locals before them.
   // The result of operator op on two operands that are there (else the
   // plain form decides), then what to do with it.
#define WITH_RESULT(op, left, right, then)                                                        \
   {                                                                                             \
      const ORVA_Value *left_ = (left);                                                          \
      const ORVA_Value *right_ = (right);                                                        \
      int type;                                                                                  \
      ORVA_Number result;                                                                        \
      if (left_ == nullptr || right_ == nullptr || !FastOperate<OPCODE_##op>(left_, right_, &type, &result)) \
         PLAIN();                                                                                \
      then;                                                                                      \
   }
#define ORVA_OPERATOR_HANDLERS(op)                                                                \
   HANDLER(OP_##op)                                                                               \
   if (ORVA_LIKELY(sp - bottom >= 2) && FastInPlace<OPCODE_##op>(sp[-2], sp[-1]))                 \
   {                                                                                              \
      pool.Release(*--sp);                                                                        \
      NEXT(1);                                                                                    \
   }                                                                                              \
   goto generic_binary;                                                                           \
   HANDLER(CONST_##op)                                                                            \
   if (ORVA_LIKELY(sp > bottom) && FastInPlace<OPCODE_##op>(sp[-1], pc->p.constant))              \
      NEXT(2);                                                                                    \
   PLAIN();                                                                                       \
   HANDLER(LOCAL_##op)                                                                            \
   if (ORVA_LIKELY(sp > bottom) && LOCAL_VALUE(pc[0]) != nullptr &&                               \
       FastInPlace<OPCODE_##op>(sp[-1], LOCAL_VALUE(pc[0])))                                      \
      NEXT(2);                                                                                    \
   PLAIN();                                                                                       \
   HANDLER(LOCAL_CONST_##op)                                                                      \
   WITH_RESULT(op, LOCAL_VALUE(pc[0]), pc[1].p.constant, PUSH(pool.Number(type, result)); NEXT(3)) \
   HANDLER(LOCAL_LOCAL_##op)                                                                      \
   WITH_RESULT(op, LOCAL_VALUE(pc[0]), LOCAL_VALUE(pc[1]), PUSH(pool.Number(type, result)); NEXT(3)) \
   HANDLER(LOCAL_CONST_SET_##op)                                                                  \
   WITH_RESULT(op, LOCAL_VALUE(pc[0]), pc[1].p.constant, STORE_NUMBER(pc[3], type, result); NEXT(5)) \
   HANDLER(LOCAL_LOCAL_SET_##op)                                                                  \
   WITH_RESULT(op, LOCAL_VALUE(pc[0]), LOCAL_VALUE(pc[1]), STORE_NUMBER(pc[3], type, result); NEXT(5))
   ORVA_SHORTCUT_OPERATORS(ORVA_OPERATOR_HANDLERS)
#undef ORVA_OPERATOR_HANDLERS
#undef WITH_RESULT

   // A truth tested by the conditional jump right after it: the jump is
   // taken on the truth, and no value is made for it.
   // The truth of operator op on two operands that are there (else the plain
   // form decides); popped values go, and the jump at jumpAt is taken or not.
#define JUMP_ON(op, left, right, popped, jumpAt)                                                  \
   {                                                                                             \
      const ORVA_Value *left_ = (left);                                                          \
      const ORVA_Value *right_ = (right);                                                        \
      bool truth;                                                                                \
      if (left_ == nullptr || right_ == nullptr || !FastTruth<OPCODE_##op>(left_, right_, &truth)) \
         PLAIN();                                                                                \
      for (int k = 0; k < (popped); k++)                                                         \
         pool.Release(*--sp);                                                                    \
      if (truth != (pc[jumpAt].opCode == OPCODE_JZ))                                             \
         TAKE_JUMP(pc[jumpAt]);                                                                  \
      NEXT((jumpAt) + 1);                                                                        \
   }
#define ORVA_JUMP_HANDLERS(op)                                                                    \
   HANDLER(JUMP_##op)                                                                             \
   JUMP_ON(op, (sp - bottom >= 2) ? sp[-2] : nullptr, (sp - bottom >= 2) ? sp[-1] : nullptr, 2, 1) \
   HANDLER(LOCAL_JUMP_##op)                                                                       \
   JUMP_ON(op, (sp > bottom) ? sp[-1] : nullptr, LOCAL_VALUE(pc[0]), 1, 2)                        \
   HANDLER(CONST_JUMP_##op)                                                                       \
   JUMP_ON(op, (sp > bottom) ? sp[-1] : nullptr, pc->p.constant, 1, 2)                            \
   HANDLER(LOCAL_CONST_JUMP_##op)                                                                 \
   JUMP_ON(op, LOCAL_VALUE(pc[0]), pc[1].p.constant, 0, 3)                                        \
   HANDLER(LOCAL_LOCAL_JUMP_##op)                                                                 \
   JUMP_ON(op, LOCAL_VALUE(pc[0]), LOCAL_VALUE(pc[1]), 0, 3)
   ORVA_TRUTH_OPERATORS(ORVA_JUMP_HANDLERS)
#undef ORVA_JUMP_HANDLERS
#undef JUMP_ON

#if !ORVA_COMPUTED_GOTO
      default:
         NEXT(1);
   }
#endif

end:
   rs->stackTop = sp;
   program->m_ip = codeSize;
   SyncHostView();
   return;

step_done:
   SYNC();
   SyncHostView();
   return;

stopped:
   SyncHostView();
   return;
}

