/*
 * The variables of a run found by name: the homes of locals in slots or in
 * the frame's scope, the by-name instructions the loop leaves to
 * functions (BIND, array declarations), and the switch of a whole run to
 * by-name when a host reaches into it.
 */
#include "vm/engine.h"
#include "support/memory.h"
#include "vm/vm.h"

#include <new>

typedef ORVA_EngineAccess Access;

ORVA_VariableSystem *ORVA_Engine::FrameScope(ORVA_Frame &frame)
{
   if (frame.scope == nullptr)
   {
      frame.scope = new (std::nothrow) ORVA_VariableSystem();
      if (frame.scope == nullptr)
      {
         MemoryExhausted();   // callers see no scope and fail their step
         return nullptr;
      }
      if (&frame == &m_run->Top())
         m_program->m_locals = frame.scope;
   }
   return frame.scope;
}

ORVA_Value **ORVA_Engine::LocalHome(const char *name, bool create)
{
   if (name == nullptr)
      name = "";
   ORVA_RunState *rs = m_run;
   ORVA_Frame &frame = rs->Top();
   if (frame.region != nullptr && frame.region->slotted)
   {
      const uint32 id = m_prepared->NameId(name);
      const uint32 slot = (id != NO_SLOT) ? frame.region->SlotOf(id) : NO_SLOT;
      if (slot != NO_SLOT)
      {
         ORVA_Value **home = rs->FrameSlots(frame) + slot;
         if (*home == nullptr)
         {
            if (!create)
               return nullptr;
            *home = rs->pool.Null();
         }
         return home;
      }
   }
   ORVA_VariableSystem *scope = create ? FrameScope(frame) : frame.scope;
   if (scope == nullptr)
      return nullptr;
   ORVA_Variable *variable = scope->Find(name);
   if (variable == nullptr)
   {
      if (!create)
         return nullptr;
      variable = scope->Create(name, rs->pool.Null());
      if (variable == nullptr)
         return nullptr;
   }
   return &Access::Held(variable);
}

ORVA_Value **ORVA_Engine::NamedHome(const char *name)
{
   ORVA_Variable *global = GlobalOfName(m_program->m_globals, name);
   if (global != nullptr)
      return &Access::Held(global);
   return LocalHome(name, true);
}

void ORVA_Engine::StoreLocal(const char *name, ORVA_Value *value)
{
   ORVA_Value **home = LocalHome(name, true);
   if (home == nullptr)
   {
      m_run->pool.Release(value);
      return;
   }
   ORVA_Value *old = *home;
   *home = value;
   m_run->pool.Release(old);
}

bool ORVA_Engine::BindByName(const char *name)
{
   // BIND k reads $k of the local scope only, k counting the BINDs since
   // the function began.
   char argument[16];
   ArgumentName(argument, static_cast<uint32>(m_run->bindCounter++));
   ORVA_Value **source = LocalHome(argument, false);
   ORVA_Value *value = (source != nullptr) ? m_run->pool.Copy(*source) : m_run->pool.Null();
   ORVA_Value **home = LocalHome(name, true);
   if (home == nullptr)
   {
      m_run->pool.Release(value);
      return false;
   }
   ORVA_Value *old = *home;
   *home = value;
   m_run->pool.Release(old);
   return true;
}

void ORVA_Engine::DeclareArray(const char *name)
{
   if (!MayDeclare(m_program->m_globals, name, LocalHome(name, false) != nullptr))
   {
      Fail(ORVA_ERR_VARIABLE_ALREADY_EXIST);
      return;
   }
   ORVA_Value **home = LocalHome(name, true);
   if (home == nullptr)
   {
      Fail(ORVA_ERR_INTERNAL);
      return;
   }
   ORVA_Value *old = *home;
   *home = m_run->pool.Array(new ORVA_Array());
   m_run->pool.Release(old);
}

bool ORVA_Engine::GoByName()
{
   ORVA_RunState *rs = m_run;
   if (m_prepared->noFastPaths && !CodeChanged())
      return true;   // nothing is in a slot
   ORVA_Prepared *fresh = PrepareOrFail(true);
   if (fresh == nullptr)
      return false;
   fresh->reusable = false;

   // Every value in a slot moves to its frame's scope under its name.
   for (uint32 index = 0; index < rs->frameCount; index++)
   {
      ORVA_Frame &frame = rs->frames[index];
      if (frame.region != nullptr && frame.region->slotted)
      {
         for (const auto &entry : frame.region->slots)
         {
            ORVA_Value *&slot = rs->slots[frame.slotBase + entry.second];
            ORVA_Value *value = slot;
            if (value == nullptr)
               continue;
            slot = nullptr;
            ORVA_VariableSystem *scope = FrameScope(frame);
            const char *name = m_prepared->names[entry.first].c_str();
            ORVA_Variable *variable = (scope != nullptr) ? scope->Find(name) : nullptr;
            if (scope == nullptr)
            {
               rs->pool.Release(value);
               Fail(ORVA_ERR_INTERNAL);   // out of memory
            }
            else if (variable != nullptr)
            {
               ORVA_Value *old = Access::Held(variable);
               Access::Held(variable) = value;
               rs->pool.Release(old);
            }
            else if (scope->Create(name, value) == nullptr)
            {
               Fail(ORVA_ERR_INTERNAL);   // the scope dropped the value
            }
         }
      }
      frame.slotBase = 0;
      frame.region = fresh->RegionAt(frame.entry);
   }
   rs->slotTop = 0;
   // The shadows were changes to the code given up here.
   rs->shadowed.clear();
   rs->patches.clear();
   delete m_prepared;
   m_prepared = fresh;
   DebugPrepared();
   m_program->m_locals = rs->Top().scope;
   return m_program->m_ip != INVALID_ADDRESS;
}

ORVA_VariableSystem *ORVA_Engine::ScopeByName()
{
   if (!GoByName())
      return nullptr;
   return FrameScope(m_run->Top());
}
