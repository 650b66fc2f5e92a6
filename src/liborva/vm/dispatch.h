/*
 * The vocabulary of the interpreter loop (interpreter.cpp, its only user,
 * includes this last).  The macros expand inside ORVA_Engine::Interpret and
 * name its locals: pc, sp, bottom, slots, ops, codeSize, home, at, pool, rs,
 * program, and for the switch form code and oneStep; the labels stopped and
 * step_done are the loop's exits.
 *
 * SYNC writes the position and the stack top back to the run state before
 * anything that can fail or call out of the loop; RELOAD reads them again
 * after.  A handler ends by going on at the next position (NEXT), at a jump
 * target (TAKE_JUMP), or in the fallback handler of its own position
 * (PLAIN) when a fused form's guard fails.
 */
#ifndef ORVA_DISPATCH_H
#define ORVA_DISPATCH_H

#if defined(__GNUC__)
#define ORVA_LIKELY(x) __builtin_expect(!!(x), 1)
#define ORVA_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define ORVA_LIKELY(x) (x)
#define ORVA_UNLIKELY(x) (x)
#endif

#if defined(__GNUC__) && !defined(ORVA_NO_COMPUTED_GOTO)
#define ORVA_COMPUTED_GOTO 1
#endif

/* One entry per prepared code, in the order of ORVA_PreparedCode, for the tables of handlers. */
#define ORVA_LABEL(name) &&L_##name,
#define ORVA_LABEL_STEPPED(name) &&step_done,

#define INDEX() static_cast<uint32>(pc - ops)
#define SYNC()                         \
   do                                  \
   {                                   \
      rs->stackTop = sp;               \
      program->m_ip = INDEX();         \
   } while (0)
#define RELOAD()                                 \
   do                                            \
   {                                             \
      sp = rs->stackTop;                         \
      bottom = rs->stackBottom;                  \
      slots = rs->FrameSlots(rs->Top());         \
   } while (0)
#define FAIL(code)                \
   do                             \
   {                              \
      SYNC();                     \
      Fail(code);                 \
      goto stopped;               \
   } while (0)
// After an out-of-line step that may have raised an error or pushed.
#define AFTER_CALLOUT()                                  \
   do                                                    \
   {                                                     \
      RELOAD();                                          \
      if (program->m_ip == INVALID_ADDRESS)              \
         goto stopped;                                   \
      if (ORVA_UNLIKELY(MemoryRefused()))                \
         FAIL(ORVA_ERR_INTERNAL);                        \
      if (ORVA_UNLIKELY(sp == rs->stackLimit))           \
      {                                                  \
         if (!rs->GrowStack())                           \
            FAIL(ORVA_ERR_INTERNAL);                     \
         RELOAD();                                       \
      }                                                  \
   } while (0)
// After host code ran: the code it may have changed goes by name (at is
// the position of the instruction that called out).
#define AFTER_HOST_CODE()                                                   \
   do                                                                      \
   {                                                                       \
      if (ORVA_UNLIKELY(CodeChanged()) && !GoByName())                     \
         goto stopped;                                                     \
      if (ORVA_UNLIKELY(m_prepared->ops.data() != ops))                    \
      {                                                                    \
         ops = m_prepared->ops.data();                                     \
         codeSize = m_prepared->CodeSize();                                \
         pc = ops + ((at < codeSize) ? at : codeSize);                     \
      }                                                                    \
   } while (0)
// The stack keeps room for one more value when an instruction starts.
#define PUSH(value)                                      \
   do                                                    \
   {                                                     \
      *sp++ = (value);                                   \
      if (ORVA_UNLIKELY(sp == rs->stackLimit))           \
      {                                                  \
         rs->stackTop = sp;                              \
         if (!rs->GrowStack())                           \
            FAIL(ORVA_ERR_INTERNAL);                     \
         sp = rs->stackTop;                              \
         bottom = rs->stackBottom;                       \
      }                                                  \
   } while (0)
// The loop's look at its limits, at every backward jump and call: a stop
// names the line of the loop's head (where the jump goes) or of the call.
// Without limits it costs a decrement and a compare.  target: the function
// a call is about to enter (INVALID_ADDRESS at a jump), for the profiler.
#define CHECKPOINT(cost, target)                                          \
   do                                                                     \
   {                                                                      \
      if (ORVA_UNLIKELY((rs->limits.fuel -= (cost)) < 0))                 \
      {                                                                   \
         SYNC();                                                          \
         rs->limits.callee = (target);                                    \
         if (ORVA_CycleCollector::Due())                                  \
            ORVA_CycleCollector::Collect();                               \
         if (!LookAtLimits(&rs->limits))                                  \
            goto stopped;                                                 \
      }                                                                   \
   } while (0)
#define TAKE_JUMP(jump)                                                   \
   do                                                                     \
   {                                                                      \
      const uint16_t cost_ = (jump).cost; /* 0 for a forward jump */      \
      pc = ops + (jump).a;                                                \
      CHECKPOINT(cost_, INVALID_ADDRESS);                                 \
      DISPATCH();                                                         \
   } while (0)
#define NEXT(count)           \
   do                         \
   {                          \
      pc += (count);          \
      DISPATCH();             \
   } while (0)
// The value of a local whose slot a fused form reads, or null when the
// plain form must decide (it was never made).  A local that a global
// hides is never read here: its operations go by name (Shadow).
#define LOCAL_VALUE(op) (slots[(op).a])
// Where a slotted instruction's variable lives: its slot, made null when missing.
#define LOCAL_HOME(op)                                                        \
   do                                                                         \
   {                                                                          \
      home = &slots[(op).a];                                                  \
      if (ORVA_UNLIKELY(*home == nullptr))                                    \
         *home = pool.Null();                                                 \
   } while (0)
// The result of a computation goes into the local of a SET: into its
// value itself when that owns nothing, else as a new value.
#define STORE_NUMBER(op, type, result)                                        \
   do                                                                         \
   {                                                                          \
      LOCAL_HOME(op);                                                         \
      if (ORVA_LIKELY(Access::OwnsNothing(*home)))                            \
         Access::ResetNumber(*home, type, result);                            \
      else                                                                    \
         STORE(home, pool.Number(type, result));                              \
   } while (0)
// Where a named instruction's variable lives, found by name.
#define NAMED_HOME()                              \
   do                                             \
   {                                              \
      home = NamedHome(pc->p.name);               \
      if (ORVA_UNLIKELY(home == nullptr))         \
         FAIL(ORVA_ERR_INTERNAL);                 \
   } while (0)
#define STORE(where, value)           \
   do                                 \
   {                                  \
      ORVA_Value *old_ = *(where);    \
      *(where) = (value);             \
      pool.Release(old_);             \
   } while (0)

/* Dispatch: a computed goto through a table of handler addresses, or a switch. */
#if ORVA_COMPUTED_GOTO
#define HANDLER(name) L_##name:
#define DISPATCH() goto *table[pc->code]
#define PLAIN() goto *labels[pc->plain]
#else
#define HANDLER(name) case P_##name:
#define DISPATCH()              \
   do                           \
   {                            \
      if (oneStep)              \
         goto step_done;        \
      code = pc->code;          \
      goto dispatch;            \
   } while (0)
#define PLAIN()                 \
   do                           \
   {                            \
      code = pc->plain;         \
      goto dispatch;            \
   } while (0)
#endif

#endif
