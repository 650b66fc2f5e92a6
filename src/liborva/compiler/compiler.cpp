/*
 * The compiler object: first-error bookkeeping and the loop/break levels
 * through which break and continue find their jump targets.
 */
#include "compiler/compiler.h"
#include "support/error_text.h"
#include "support/support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

ORVA_Compiler::ORVA_Compiler(int language)
{
   m_language = language;
   m_getElement = (language >= ORVA_LANGUAGE_2) ? OPCODE_GET_KEYED : OPCODE_GET_ELEMENT;
   m_setElement = (language >= ORVA_LANGUAGE_2) ? OPCODE_SET_KEYED : OPCODE_SET_ELEMENT;
   m_lvalueEnd = INVALID_ADDRESS;
   m_errorText = nullptr;
   m_errorLine = 0;
   m_errorMessageAt = 0;
   m_lexer = nullptr;
   m_addrStack = new ORVA_Stack();
   try
   {
      m_breakStack = new ORVA_Stack();
   }
   catch (...)
   {
      delete m_addrStack;   // no destructor runs for a constructor that throws
      throw;
   }
   m_idOpcode = OPCODE_BIND;
}

ORVA_Compiler::~ORVA_Compiler()
{
   free(m_errorText);
   delete m_lexer;
   // A parse that stopped early leaves its open levels behind.
   while (m_breakStack->Size() > 0)
      delete static_cast<Queue *>(m_breakStack->Pop());
   delete m_breakStack;
   delete m_addrStack;
}

void ORVA_Compiler::Error(const char *message)
{
   if (m_errorText != nullptr)
      return;
   char buffer[ERROR_TEXT_SIZE];
   m_errorLine = (m_lexer != nullptr) ? m_lexer->m_currLine : 0;
   m_errorMessageAt = FormatErrorText(buffer, sizeof(buffer), nullptr, m_errorLine, message);
   m_errorText = strdup(buffer);
}

// A stack that cannot grow leaves the item out, and the levels no longer
// pair with their loops: the compile fails rather than link the wrong jumps.
bool ORVA_Compiler::Push(ORVA_Stack *stack, void *item)
{
   const int before = stack->Size();
   stack->Push(item);
   if (stack->Size() > before)
      return true;
   Error("memory exhausted");
   return false;
}

uint32 ORVA_Compiler::PopAddress()
{
   if (m_addrStack->Size() == 0)
      return INVALID_ADDRESS;
   return static_cast<uint32>(reinterpret_cast<uintptr_t>(m_addrStack->Pop()));
}

uint32 ORVA_Compiler::PeekAddress()
{
   if (m_addrStack->Size() == 0)
      return INVALID_ADDRESS;
   return static_cast<uint32>(reinterpret_cast<uintptr_t>(m_addrStack->Peek()));
}

// Queue answers "empty" with a null entry, so addresses are kept one up:
// address 0 must stay a real entry.
void ORVA_Compiler::AddBreakAddress(uint32 address)
{
   if (m_breakStack->Size() == 0)
      return;
   Queue *queue = static_cast<Queue *>(m_breakStack->Peek());
   if (queue == nullptr)
      return;   // the level could not be made: the compile fails already
   try
   {
      queue->Put(reinterpret_cast<void *>(static_cast<uintptr_t>(address) + 1));
   }
   catch (const std::bad_alloc &)
   {
      Error("memory exhausted");
   }
}

/*
 * Allocations inside the parser's actions must not throw: an exception
 * would leave what the parser's stack holds unreleased.  A level that
 * cannot be made fails the compile, and the parse runs on to its end.
 */
void ORVA_Compiler::OpenBreakLevel(bool loop)
{
   Queue *queue = nullptr;
   try
   {
      queue = new Queue();
      if (loop)
         m_loopSwitches.push_back(0);
   }
   catch (const std::bad_alloc &)
   {
      Error("memory exhausted");
   }
   if (!Push(m_breakStack, queue))
      delete queue;
}

void ORVA_Compiler::CloseBreakLevel(ORVA_Program *program)
{
   if (m_breakStack->Size() == 0)
      return;
   Queue *queue = static_cast<Queue *>(m_breakStack->Pop());
   if (queue == nullptr)
      return;
   void *entry;
   while ((entry = queue->Get()) != nullptr)
   {
      uint32 address = static_cast<uint32>(reinterpret_cast<uintptr_t>(entry) - 1);
      program->CreateJumpAt(address, program->CodeSize());
   }
   delete queue;
}

void ORVA_Compiler::OpenLoop(uint32 start)
{
   Push(m_addrStack, reinterpret_cast<void *>(static_cast<uintptr_t>(start)));
   OpenBreakLevel(true);
}

void ORVA_Compiler::CloseLoop(ORVA_Program *program)
{
   CloseBreakLevel(program);
   if (!m_loopSwitches.empty())
      m_loopSwitches.pop_back();
}

void ORVA_Compiler::OpenSwitch()
{
   OpenBreakLevel(false);
   if (!m_loopSwitches.empty())
      m_loopSwitches.back()++;
}

void ORVA_Compiler::CloseSwitch(ORVA_Program *program)
{
   CloseBreakLevel(program);
   if (!m_loopSwitches.empty())
      m_loopSwitches.back()--;
}

void ORVA_Compiler::EmitContinue(ORVA_Program *program, int line)
{
   // Each switch left on the way out still has its value on the data stack;
   // the loop start does not expect it.
   for (int32 i = m_loopSwitches.empty() ? 0 : m_loopSwitches.back(); i > 0; i--)
      program->AddInstruction(new ORVA_Instruction(line, OPCODE_POP, 1));
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_JMP, PeekAddress()));
}

void ORVA_Compiler::StepInPlace(ORVA_Program *program, int opCode, int line)
{
   ORVA_Instruction *last = (m_lvalueEnd == program->CodeSize()) ? program->TakeLastInstruction() : nullptr;
   const int lastCode = (last != nullptr) ? last->OpCode() : OPCODE_NOP;
   if (lastCode == OPCODE_PUSH_VARIABLE)
      program->AddInstruction(new ORVA_Instruction(line, opCode, last->Name() ? strdup(last->Name()) : nullptr));
   else if (lastCode == OPCODE_GET_KEYED)
      program->AddInstruction(new ORVA_Instruction(line, OPCODE_STEP_KEYED, opCode));
   else
   {
      if (last != nullptr)
         program->AddInstruction(last);
      Error(opCode == OPCODE_INCP ? "\"++\" needs a variable or an element" : "\"--\" needs a variable or an element");
      return;
   }
   delete last;
   m_lvalueEnd = INVALID_ADDRESS;
}

void ORVA_Compiler::ExpectIn(const char *word)
{
   if (word == nullptr || strcmp(word, "in") != 0)
      Error("syntax error, \"for\" expects \"in\" after its variables");
}

/*
 * The walk's code:  ITER; next: INEXT end; SET value; POP; SET key; POP;
 * body; JMP next; end: POP.  INEXT leaves the key and then the value; a
 * loop with no value variable drops it.
 */
void ORVA_Compiler::OpenWalk(ORVA_Program *program, char *key, char *value, int line)
{
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_ITER_START));
   OpenLoop(program->CodeSize());
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_ITER_NEXT, INVALID_ADDRESS));
   if (value != nullptr)
      program->AddInstruction(new ORVA_Instruction(line, OPCODE_SET, value));
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_POP, 1));
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_SET, key));
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_POP, 1));
}

void ORVA_Compiler::CloseWalk(ORVA_Program *program, int line)
{
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_JMP, PopAddress()));
   CloseLoop(program);
   program->ResolveLastJump(OPCODE_ITER_NEXT);
   program->AddInstruction(new ORVA_Instruction(line, OPCODE_POP, 1));
}
