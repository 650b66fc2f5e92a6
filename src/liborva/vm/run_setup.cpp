/*
 * The run state of the engine: Begin prepares the code and enters the
 * first frame as main is entered; the tear-down releases every frame and
 * the state.
 *
 * The interpreter loop never recurses: a script call pushes a frame and the
 * loop carries on at the callee's first instruction, so the nesting of
 * script calls is bounded by MAX_CALL_DEPTH alone.
 */
#include "vm/engine.h"
#include "vm/frame_entry.h"
#include "vm/profile.h"
#include "support/memory.h"
#include "vm/vm.h"

#include <new>

typedef ORVA_EngineAccess Access;

ORVA_Prepared *ORVA_Engine::PrepareOrFail(bool noFastPaths)
{
   try
   {
      return Prepare(noFastPaths);
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      Fail(ORVA_ERR_INTERNAL);
      return nullptr;
   }
}

bool ORVA_Engine::Begin(uint32 address, const ORVA_RunLimits *started)
{
   ORVA_Program *program = m_program;
   if (!PreparedIsCurrent())
   {
      delete m_prepared;
      m_prepared = nullptr;
      m_prepared = PrepareOrFail(m_fastPathsOff);
      if (m_prepared == nullptr)
         return false;
   }

   // What call sites found in earlier runs counts for nothing (ORVA_CallCache).
   m_runNumber++;

   ORVA_RunState *rs = new ORVA_RunState();
   if (!rs->GrowStack() || !rs->GrowFrames())
   {
      delete rs;
      RecordError(program, ORVA_ERR_INTERNAL);
      return false;
   }
   m_run = rs;

   // main's frame: its scope is the one the host handed in, which holds the
   // arguments as $1, $2, ...  Variables of it that main keeps in slots move
   // there (the scope keeps a null value in their place, never read again).
   const ORVA_Region *region = m_prepared->RegionAt(address);
   const uint32 slotCount = (region != nullptr && region->slotted) ? region->slotCount : 0;
   if (!rs->ReserveSlots(slotCount))
   {
      m_run = nullptr;
      delete rs;
      RecordError(program, ORVA_ERR_INTERNAL);
      return false;
   }
   ORVA_Frame &frame = PushFrame(rs, m_prepared->CodeSize(), address, region, slotCount, 0);
   frame.scope = program->m_locals;
   for (uint32 i = 0; i < slotCount; i++)
      rs->slots[i] = nullptr;
   for (uint32 i = 0; i < slotCount; i++)
   {
      const auto &entry = region->slots[i];
      ORVA_Variable *variable = program->m_locals->Find(m_prepared->names[entry.first].c_str());
      if (variable == nullptr)
         continue;
      rs->slots[entry.second] = Access::Held(variable);
      Access::Held(variable) = rs->pool.Null();
   }

   program->m_ip = address;
   SyncHostView();
   const ORVA_Environment *env = program->m_environment;
   EnterRunLimits(&rs->limits, program, env->m_body->instructionLimit, env->m_body->timeLimit);
   if (started != nullptr && started->timed)
      rs->limits.deadline = started->deadline;   // the time spent linking is gone
   BeginProfiling(&rs->limits, env->m_body->profile, this);
   if (g_orvaBudget != nullptr)
      g_orvaBudget->fuel = &rs->limits.fuel;

   // A global hides the locals of its name.
   try
   {
      rs->shadowed.assign(m_prepared->names.size(), 0);
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      RecordError(program, ORVA_ERR_INTERNAL);
      return true;   // begun, and stopped at once: the tear-down releases the frame
   }
   for (uint32 i = 0; i < program->m_globals->Count(); i++)
      GlobalAdded(program->m_globals->GetVariable(i)->Name());
   try
   {
      DebugBegin(env->m_body->debugger);
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      RecordError(program, ORVA_ERR_INTERNAL);
      return true;
   }
   // The first entry charges the entry function's length, as a call charges
   // its callee's: straight-line code has no checkpoint of its own.  A run
   // that may not go on is stopped here, and begun all the same.
   ChargeUnits(CallCost(region, address));
   return true;
}

void ORVA_Engine::DisposeFrame(uint32 index)
{
   ORVA_RunState *rs = m_run;
   ORVA_Frame &frame = rs->frames[index];
   const uint32 end = (index + 1 < rs->frameCount) ? rs->frames[index + 1].slotBase : rs->slotTop;
   for (uint32 i = frame.slotBase; i < end && i < rs->slotTop; i++)
   {
      delete rs->slots[i];
      rs->slots[i] = nullptr;
   }
   // main's scope is the program's local scope (the host's, if it gave one).
   delete frame.scope;
   frame.scope = nullptr;
   if (index == 0)
      m_program->m_locals = nullptr;
}

void ORVA_Engine::EndCallers()
{
   ORVA_RunState *rs = m_run;
   // The values left on the data stack, then the locals of every caller,
   // innermost first; the running function's go last, after the environment.
   while (rs->stackTop > rs->stackBottom)
      delete *--rs->stackTop;
   for (uint32 index = rs->frameCount - 1; index-- > 0;)
      DisposeFrame(index);
}

void ORVA_Engine::End()
{
   ORVA_RunState *rs = m_run;
   if (rs->frameCount > 0)
      DisposeFrame(rs->frameCount - 1);
   if (m_debug != nullptr)
      DebugEnd();   // before the shadows go: the traps stand over their codes
   Unshadow();
   m_patterns.EndRun();
   LeaveRunLimits(&rs->limits);
   if (g_orvaBudget != nullptr)
      g_orvaBudget->fuel = nullptr;
   m_run = nullptr;
   delete rs;
}
