/*
 * Named values and scopes.  A variable always holds a value (never a null
 * pointer), since the interpreter reads variables without checking.
 */
#include "orva.h"
#include "support/memory.h"
#include "support/support.h"

#include <cstdlib>
#include <cstring>
#include <new>

static char *CopyName(const char *name)
{
   if (name == nullptr)
      name = "";
   return static_cast<char *>(qd_memdup(name, strlen(name) + 1));
}

ORVA_Variable::ORVA_Variable(const char *name) : m_name(CopyName(name)), m_value(new ORVA_Value())
{
}

ORVA_Variable::ORVA_Variable(const char *name, ORVA_Value *value)
   : m_name(CopyName(name)), m_value((value != nullptr) ? value : new ORVA_Value())
{
}

ORVA_Variable::ORVA_Variable(ORVA_Variable *src)
   : m_name(CopyName((src != nullptr) ? src->m_name : nullptr)),
     m_value(new ORVA_Value((src != nullptr) ? src->m_value : nullptr))
{
}

ORVA_Variable::~ORVA_Variable()
{
   free(m_name);
   delete m_value;
}

void ORVA_Variable::Set(ORVA_Value *value)
{
   if (value == m_value)
      return;   // storing the held value again must not free it
   delete m_value;
   m_value = (value != nullptr) ? value : new ORVA_Value();
}

ORVA_VariableSystem::ORVA_VariableSystem() : m_count(0), m_variables(nullptr)
{
}

ORVA_VariableSystem::ORVA_VariableSystem(ORVA_VariableSystem *src) : ORVA_VariableSystem()
{
   if (src == nullptr || src->m_count == 0)
      return;
   m_variables = static_cast<ORVA_Variable **>(malloc(sizeof(ORVA_Variable *) * src->m_count));
   if (m_variables == nullptr)
      return;   // out of memory: the copy stays empty
   try
   {
      for (; m_count < src->m_count; m_count++)
         m_variables[m_count] = new ORVA_Variable(src->m_variables[m_count]);
   }
   catch (...)
   {
      // No destructor runs for a constructor that throws.
      while (m_count > 0)
         delete m_variables[--m_count];
      free(m_variables);
      throw;
   }
}

ORVA_VariableSystem::~ORVA_VariableSystem()
{
   for (uint32 i = 0; i < m_count; i++)
      delete m_variables[i];
   free(m_variables);
}

ORVA_Variable *ORVA_VariableSystem::Find(const char *name)
{
   if (name == nullptr)
      return nullptr;
   for (uint32 i = 0; i < m_count; i++)
      if (strcmp(m_variables[i]->Name(), name) == 0)
         return m_variables[i];
   return nullptr;
}

ORVA_Variable *ORVA_VariableSystem::Create(const char *name, ORVA_Value *value)
{
   ORVA_Variable **variables =
      static_cast<ORVA_Variable **>(realloc(m_variables, sizeof(ORVA_Variable *) * (static_cast<size_t>(m_count) + 1)));
   if (variables == nullptr)
   {
      // Out of memory: the scope stays as it was; the value it was given is
      // dropped and the caller learns of it by the null result.
      delete value;
      return nullptr;
   }
   m_variables = variables;
   ORVA_Variable *variable;
   try
   {
      variable = new ORVA_Variable(name, value);
   }
   catch (const std::bad_alloc &)
   {
      delete value;   // as when the list could not grow
      MemoryExhausted();
      return nullptr;
   }
   m_variables[m_count++] = variable;
   return variable;
}
