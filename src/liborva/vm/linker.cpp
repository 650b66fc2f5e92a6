/*
 * Module linking: a module's code and functions are copied behind the running
 * program's own, with the copied addresses moved to their new place.
 */
#include "vm/vm.h"
#include "vm/engine.h"
#include "vm/program_body.h"
#include "support/name_index.h"

#include <cstring>
#include <new>
#include <strings.h>

/* Longest module name a record holds; longer names are cut to it. */
static const size_t MODULE_NAME_MAX = sizeof(((ORVA_Module *)nullptr)->m_name) - 1;

int ORVA_Program::IsModuleLinked(const char *name) const
{
   if (name == nullptr)
      name = "";
   for (uint32 i = 0; i < m_moduleCount; i++)
   {
      if (strncasecmp(m_modules[i].m_name, name, MODULE_NAME_MAX) == 0)
         return 1;
   }
   return 0;
}

void ORVA_Program::UseModule(ORVA_Program *module, const char *name)
{
   if (module == nullptr)
      return;
   if (name == nullptr)
      name = "";
   if (IsModuleLinked(name))
      return;

   // The counts and the form are taken first: a program may be linked into
   // itself.  Without a form the run prepares all its code.
   std::shared_ptr<const ORVA_Prepared> form;
   try
   {
      form = ORVA_Engine::LinkForm(this, module);
   }
   catch (const std::bad_alloc &)
   {
      form = nullptr;
   }
   const uint32 start = m_codeSize;
   const uint32 codeSize = module->m_codeSize;
   for (uint32 i = 0; i < codeSize; i++)
      AddInstruction(new ORVA_Instruction(module->m_instructions[i]));
   // Only the code just appended moves, which no prepared form has seen:
   // the version stays.
   const uint64 version = m_body->codeVersion;
   RelocateCode(start, codeSize, start);
   m_body->codeVersion = version;

   // The end of the last run cut the function table back; the index has to
   // learn that before the records that take the old places come.
   if (m_body->functionIndex != nullptr)
      m_body->functionIndex->Synchronise(m_functions, m_functionCount);
   const uint32 firstFunction = m_functionCount;
   const uint32 functionCount = module->m_functionCount;
   for (uint32 i = 0; i < functionCount; i++)
   {
      ORVA_Function record = module->m_functions[i];
      if (record.m_address != INVALID_ADDRESS)
         record.m_address += start;
      if (!ReserveForAppend(m_functions, m_functionCount))
         break;
      m_functions[m_functionCount++] = record;
   }

   if (!ReserveForAppend(m_modules, m_moduleCount))
      return;
   m_body->moduleForms.push_back(std::move(form));
   ORVA_Module *entry = &m_modules[m_moduleCount++];
   size_t length = strnlen(name, MODULE_NAME_MAX);
   memcpy(entry->m_name, name, length);
   entry->m_name[length] = 0;
   entry->m_codeStart = start;
   entry->m_codeSize = codeSize;
   entry->m_firstFunction = firstFunction;
   entry->m_functionCount = m_functionCount - firstFunction;
}

void ORVA_Program::RelocateCode(uint32 start, uint32 length, uint32 shift)
{
   m_body->codeVersion++;
   uint64 end = static_cast<uint64>(start) + length;
   if (end > m_codeSize)
      end = m_codeSize;
   for (uint64 address = start; address < end; address++)
   {
      ORVA_Instruction *instruction = m_instructions[address];
      // An unresolved jump stays unresolved wherever its code goes.
      if (HasCodeAddress(instruction->m_opCode) && instruction->m_operand.address != INVALID_ADDRESS)
         instruction->m_operand.address += shift;
   }
}
