/*
 * The program image: its code, function table and preload list, and the
 * operations through which the compiler builds it.
 */
#include "vm/vm.h"
#include "vm/program_body.h"
#include "support/name_index.h"
#include "support/memory.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

/* Longest function name a record holds; longer names are cut to it. */
static const size_t FUNCTION_NAME_MAX = sizeof(((ORVA_Function *)nullptr)->m_name) - 1;
static_assert(FUNCTION_NAME_MAX == ORVA_NameIndex::NAME_LIMIT, "names are compared as records hold them");

ORVA_Program::ORVA_Program()
   : m_environment(nullptr), m_instructions(nullptr), m_codeSize(0), m_ip(INVALID_ADDRESS), m_preloadCount(0),
     m_preloadList(nullptr), m_callDepth(0), m_dataStack(nullptr), m_controlStack(nullptr), m_bindCounter(0),
     m_globals(nullptr), m_locals(nullptr), m_functionCount(0), m_functions(nullptr), m_moduleCount(0),
     m_modules(nullptr), m_result(nullptr), m_errorText(nullptr), m_body(nullptr)
{
   // Two allocations, either of which may throw: the first must not be
   // lost when the second does, for no destructor runs then.
   std::unique_ptr<ORVA_ProgramBody> body(new ORVA_ProgramBody());
   m_globals = new ORVA_VariableSystem();
   m_body = body.release();
}

ORVA_Program::~ORVA_Program()
{
   for (uint32 i = 0; i < m_codeSize; i++)
      delete m_instructions[i];
   ReleaseAppended(m_instructions, m_codeSize);
   DeleteEngine(m_body->engine);
   delete m_dataStack;
   delete m_controlStack;
   delete m_globals;
   delete m_locals;
   delete m_environment;
   delete m_result;
   ReleaseAppended(m_functions, m_functionCount);
   delete m_body->functionIndex;
   delete m_body;
   ReleaseAppended(m_modules, m_moduleCount);
   for (uint32 i = 0; i < m_preloadCount; i++)
      free(m_preloadList[i]);
   ReleaseAppended(m_preloadList, m_preloadCount);
   free(m_errorText);
}

/*
 * Stop() is the one method meant for another thread than the run's: the
 * body is made with the program and never replaced, so only the request
 * itself is shared, and it is atomic.
 */
void ORVA_Program::Stop()
{
   m_body->stopRequest.store(1, std::memory_order_relaxed);
}

int ORVA_Program::GetStopReason() const
{
   return m_body->stopReason;
}

int ORVA_Program::GetErrorCode() const
{
   return m_body->errorCode;
}

int ORVA_Program::GetErrorLine() const
{
   return m_body->errorLine;
}

const char *ORVA_Program::GetErrorFunction() const
{
   return m_body->errorFunction;
}

int ORVA_Program::GetErrorArgumentCount() const
{
   return m_body->errorArgumentCount;
}

void ORVA_Program::AddInstruction(ORVA_Instruction *instruction)
{
   if (instruction == nullptr)
      return;
   // The engine reads the name of every named instruction but an unresolved
   // call; a host that builds code by hand may leave one without a name.
   if (HasNameOperand(instruction->m_opCode) && instruction->m_opCode != OPCODE_CALL_EXTERNAL &&
       instruction->m_operand.name == nullptr)
   {
      instruction->m_operand.name = strdup("");
      if (instruction->m_operand.name == nullptr)
      {
         delete instruction;
         MemoryExhausted();
         return;
      }
   }
   // Code missing an instruction would run wrong: the compile (or the run
   // that links a module) this belongs to fails for want of memory.
   if (!ReserveForAppend(m_instructions, m_codeSize))
   {
      delete instruction;
      MemoryExhausted();
      return;
   }
   m_instructions[m_codeSize++] = instruction;
}

void ORVA_Program::ResolveLastJump(int opCode)
{
   if (!HasCodeAddress(opCode))
      return;
   for (uint32 i = m_codeSize; i > 0; i--)
   {
      ORVA_Instruction *instruction = m_instructions[i - 1];
      if (instruction->m_opCode == opCode && instruction->m_operand.address == INVALID_ADDRESS)
      {
         instruction->m_operand.address = m_codeSize;
         m_body->codeVersion++;
         return;
      }
   }
}

ORVA_Instruction *ORVA_Program::TakeLastInstruction()
{
   if (m_codeSize == 0)
      return nullptr;
   // Another instruction may take its place, unseen by the counts.
   m_body->codeVersion++;
   return m_instructions[--m_codeSize];
}

int ORVA_Program::Language() const
{
   return m_body->language;
}

void ORVA_Program::SetLanguage(int language)
{
   m_body->language = language;
}

void ORVA_Program::CreateJumpAt(uint32 address, uint32 target)
{
   if (address >= m_codeSize)
      return;
   m_body->codeVersion++;
   int line = m_instructions[address]->m_sourceLine;
   delete m_instructions[address];
   m_instructions[address] = new ORVA_Instruction(line, OPCODE_JMP, target);
}

int ORVA_Program::AddFunction(const char *name, uint32 address, char *errorText)
{
   if (name == nullptr)
      name = "";
   // Records hold names cut to their field, so a name is compared as it would
   // be stored: a function with a very long name stays reachable by that name.
   if (FindFunctionRecord(name) != INVALID_ADDRESS)
   {
      // The caller's buffer holds 256 bytes; a long name must not overrun it.
      if (errorText != nullptr)
         snprintf(errorText, 256, "Duplicate function name: \"%s\"", name);
      return 0;
   }
   if (!ReserveForAppend(m_functions, m_functionCount))
      return 0;
   ORVA_Function *record = &m_functions[m_functionCount++];
   size_t length = strnlen(name, FUNCTION_NAME_MAX);
   memcpy(record->m_name, name, length);
   record->m_name[length] = 0;
   record->m_address = (address == INVALID_ADDRESS) ? m_codeSize : address;
   return 1;
}

void ORVA_Program::AddPreload(char *name)
{
   if (name == nullptr)
      return;
   if (!ReserveForAppend(m_preloadList, m_preloadCount))
   {
      free(name);
      return;
   }
   m_preloadList[m_preloadCount++] = name;
}

void ORVA_Program::ResolveFunctions()
{
   m_body->codeVersion++;
   for (uint32 i = 0; i < m_codeSize; i++)
   {
      ORVA_Instruction *instruction = m_instructions[i];
      if (instruction->m_opCode != OPCODE_CALL_EXTERNAL || instruction->m_operand.name == nullptr)
         continue;
      uint32 address = GetFunctionAddress(instruction->m_operand.name);
      if (address == INVALID_ADDRESS)
         continue;
      free(instruction->m_operand.name);
      instruction->m_operand.name = nullptr;
      instruction->m_operand.address = address;
      instruction->m_opCode = OPCODE_CALL;
   }
}

uint32 ORVA_Program::FindFunctionRecord(const char *name)
{
   if (m_body->functionIndex == nullptr)
      m_body->functionIndex = new (std::nothrow) ORVA_NameIndex(sizeof(ORVA_Function));
   if (m_body->functionIndex == nullptr)
   {
      // No room for the index: one made for this lookup alone searches the
      // same way (and scans the table when it has no room either).
      ORVA_NameIndex once(sizeof(ORVA_Function));
      return once.Find(m_functions, m_functionCount, name);
   }
   // The table may have been cut back since the last lookup: a run removes
   // the functions of the modules it linked.
   return m_body->functionIndex->Find(m_functions, m_functionCount, name);
}

uint32 ORVA_Program::GetFunctionAddress(const char *name)
{
   if (name == nullptr)
      return INVALID_ADDRESS;
   uint32 record = FindFunctionRecord(name);
   return (record != INVALID_ADDRESS) ? m_functions[record].m_address : INVALID_ADDRESS;
}
