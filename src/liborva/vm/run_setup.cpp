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

/*
 * The program's own code keeps its prepared form from run to run, and the
 * modules linked for this run append theirs behind it, each made once for
 * as long as its library script stays the same: what a run prepares
 * follows what it links, not the size of the program.  Code that does not
 * divide so (a module that a heap cut short, code that leads past its end)
 * is prepared whole, for this run alone.
 */
bool ORVA_Engine::PrepareForRun()
{
   const ORVA_Program *program = m_program;
   const ORVA_ProgramBody *body = program->m_body;
   uint32 ownSize = program->m_codeSize;
   uint32 ownFunctions = program->m_functionCount;
   std::vector<const ORVA_Prepared *> parts;
   bool divides = body->moduleForms.size() == program->m_moduleCount;
   try
   {
      if (divides && program->m_moduleCount > 0)
      {
         ownSize = program->m_modules[0].m_codeStart;
         ownFunctions = program->m_modules[0].m_firstFunction;
         uint32 at = ownSize;
         uint32 function = ownFunctions;
         for (uint32 k = 0; divides && k < program->m_moduleCount; k++)
         {
            const ORVA_Module &module = program->m_modules[k];
            const ORVA_Prepared *form = body->moduleForms[k].get();
            divides = form != nullptr && form->closed && (form->startsFunction || form->CodeSize() == 0) &&
                      form->noFastPaths == m_fastPathsOff && module.m_codeStart == at &&
                      module.m_codeSize == form->CodeSize() && module.m_firstFunction == function &&
                      module.m_functionCount == form->functions.size();
            at += module.m_codeSize;
            function += module.m_functionCount;
            parts.push_back(form);
         }
         divides = divides && at == program->m_codeSize && function == program->m_functionCount;
      }
      if (divides)
      {
         if (!OwnFormIsCurrent(ownSize, ownFunctions))
         {
            delete m_prepared;
            m_prepared = nullptr;
            m_prepared = PrepareCode(program, ownSize, ownFunctions, m_fastPathsOff);
         }
         if (parts.empty())
            return true;
         if (m_prepared->closed)
         {
            AppendParts(*m_prepared, parts, program->m_instructions);
            return true;
         }
      }
      delete m_prepared;
      m_prepared = nullptr;
      m_prepared = Prepare(m_fastPathsOff);
      return true;
   }
   catch (const std::bad_alloc &)
   {
      delete m_prepared;   // perhaps with parts appended halfway
      m_prepared = nullptr;
      MemoryExhausted();
      Fail(ORVA_ERR_INTERNAL);
      return false;
   }
}

/*
 * A handler called for every event runs a few instructions: making and
 * freeing the stacks each time would cost it more than they do.  The state
 * of the last run is taken over when it kept its first sizes.
 */
ORVA_RunState *ORVA_Engine::TakeRunState(uint32 slotCount)
{
   ORVA_RunState *rs = m_spareRun;
   if (rs != nullptr)
   {
      if (!rs->Restart(slotCount))
         return nullptr;   // over the ceiling: it waits, charged to no run
      m_spareRun = nullptr;
      return rs;
   }
   rs = new ORVA_RunState();
   if (!rs->GrowStack() || !rs->GrowFrames())
   {
      delete rs;
      return nullptr;
   }
   return rs;
}

bool ORVA_Engine::Begin(uint32 address, const ORVA_RunLimits *started)
{
   ORVA_Program *program = m_program;
   if (!PrepareForRun())
      return false;

   // What call sites found in earlier runs counts for nothing (ORVA_CallCache).
   m_runNumber++;

   // main's frame: its scope is the one the host handed in, which holds the
   // arguments as $1, $2, ...  Variables of it that main keeps in slots move
   // there (the scope keeps a null value in their place, never read again).
   const ORVA_Region *region = m_prepared->RegionAt(address);
   const uint32 slotCount = (region != nullptr && region->slotted) ? region->slotCount : 0;
   ORVA_RunState *rs = TakeRunState(slotCount);
   if (rs == nullptr)
   {
      RecordError(program, ORVA_ERR_INTERNAL);
      return false;
   }
   m_run = rs;
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
   if (m_prepared->appended)
      DetachParts(*m_prepared);
   m_patterns.EndRun();
   LeaveRunLimits(&rs->limits);
   if (g_orvaBudget != nullptr)
      g_orvaBudget->fuel = nullptr;
   m_run = nullptr;
   if (m_spareRun == nullptr && rs->KeepsFirstSizes())
   {
      rs->Empty();
      m_spareRun = rs;
   }
   else
      delete rs;
}
