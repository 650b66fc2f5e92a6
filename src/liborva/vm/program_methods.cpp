/*
 * The methods of ORVA_Program that reach into a run: stepping and calling
 * by hand, and the variables a host reads and makes by name.
 */
#include "vm/engine.h"
#include "vm/vm.h"

void ORVA_Program::Execute()
{
   if (m_body->engine == nullptr || !m_body->engine->Running() || m_ip >= m_codeSize)
      return;
   m_body->engine->Step();
}

void ORVA_Program::CallFunction(int argc)
{
   // The caller chooses where the function starts, so the frame cannot know
   // its code: its locals go by name.
   if (m_body->engine == nullptr || !m_body->engine->Running())
      return;
   m_body->engine->EnterCall(INVALID_ADDRESS, argc, nullptr, m_ip + 1);
}

/* The local scope to search by name: during a run the current function's, with every local in it. */
static ORVA_VariableSystem *ScopeOf(ORVA_Engine *engine, ORVA_VariableSystem *locals)
{
   if (engine != nullptr && engine->Running())
      return engine->ScopeByName();
   return locals;
}

ORVA_Variable *ORVA_Program::FindOrCreateVariable(const char *name)
{
   if (name == nullptr)
      name = "";
   ORVA_Variable *variable = GlobalOfName(m_globals, name);
   if (variable != nullptr)
      return variable;
   ORVA_VariableSystem *locals = ScopeOf(m_body->engine, m_locals);
   if (locals == nullptr)
      return nullptr;
   variable = locals->Find(name);
   return (variable != nullptr) ? variable : locals->Create(name, new ORVA_Value());
}

ORVA_Variable *ORVA_Program::CreateVariable(const char *name)
{
   if (name == nullptr)
      name = "";
   ORVA_VariableSystem *locals = ScopeOf(m_body->engine, m_locals);
   if (locals == nullptr || !MayDeclare(m_globals, name, locals->Find(name) != nullptr))
      return nullptr;
   return locals->Create(name, new ORVA_Value());
}

void ORVA_Program::SetGlobalVariable(const char *name, ORVA_Value *value)
{
   if (value == nullptr)
      value = new ORVA_Value();
   ORVA_Variable *variable = m_globals->Find(name);
   if (variable == nullptr)
   {
      // A global made while a run is under way hides the local of its name
      // from then on.
      variable = m_globals->Create(name, value);
      if (m_body->engine != nullptr && variable != nullptr)
         m_body->engine->GlobalAdded(variable->Name());
   }
   else if (variable->Value() != value)
   {
      variable->Set(value);
   }
}

ORVA_Variable *ORVA_Program::FindGlobalVariable(const char *name)
{
   return m_globals->Find(name);
}
