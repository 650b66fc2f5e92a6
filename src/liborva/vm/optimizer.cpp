/*
 * The jump optimiser: chains of unconditional jumps are shortened to their
 * end, and unconditional jumps to the next instruction are removed.  Numeric
 * literals lose text that merely repeats how they print.
 */
#include "values/value_access.h"
#include "vm/vm.h"
#include "vm/program_body.h"
#include "values/number_text.h"

#include <cstring>
#include <vector>

/*
 * A numeric literal keeps the text it was written with, so that 0x1F prints
 * as written.  When that text is exactly how the number prints anyway, the
 * text is redundant: without it every push of the literal copies a bare
 * number instead of duplicating a text as well.
 */
static void DropRedundantText(ORVA_Value *constant)
{
   if (constant == nullptr || !constant->IsNumeric() || ORVA_EngineAccess::CopiesWithoutText(constant))
      return;
   uint32 writtenLength = 0;
   const char *written = constant->GetValueAsString(&writtenLength);
   char printed[NUMBER_TEXT_SIZE];
   const size_t printedLength = FormatNumberText(constant, printed);
   if (written != nullptr && writtenLength == printedLength && memcmp(written, printed, writtenLength) == 0)
      ORVA_EngineAccess::DropText(constant);
}

uint32 ORVA_Program::FinalJumpDestination(uint32 address)
{
   // A chain without a loop passes each JMP once; one that is still on a JMP
   // after more steps than there are instructions came back to itself (a do
   // loop whose body is only "continue"), and has no end to go to.
   uint32 current = address;
   for (uint32 steps = 0; steps <= m_codeSize; steps++)
   {
      if (current >= m_codeSize || m_instructions[current]->m_opCode != OPCODE_JMP)
         return current;
      current = m_instructions[current]->m_operand.address;
   }
   return address;
}

void ORVA_Program::Optimize()
{
   m_body->codeVersion++;
   const uint32 size = m_codeSize;
   if (size == 0)
      return;

   // Ends of jump chains, each chain walked once.  States of a JMP's entry:
   // not yet walked, on the walk under way, in or leading into a loop, or the
   // address the chain ends at (an unresolved jump ends at INVALID_ADDRESS).
   const uint32 UNKNOWN = 0xFFFFFFFCu, WALKING = 0xFFFFFFFDu, LOOPS = 0xFFFFFFFEu;
   std::vector<uint32> chainEnd(size, UNKNOWN);
   std::vector<uint32> walk;
   auto endOfChain = [&](uint32 from) -> uint32 {
      walk.clear();
      uint32 current = from;
      uint32 end;
      for (;;)
      {
         if (current >= size || m_instructions[current]->m_opCode != OPCODE_JMP)
         {
            end = current;
            break;
         }
         if (chainEnd[current] == WALKING)
         {
            end = LOOPS;
            break;
         }
         if (chainEnd[current] != UNKNOWN)
         {
            end = chainEnd[current];
            break;
         }
         chainEnd[current] = WALKING;
         walk.push_back(current);
         current = m_instructions[current]->m_operand.address;
      }
      for (uint32 address : walk)
         chainEnd[address] = end;
      return end;
   };

   uint32 removedCount = 0;
   for (uint32 i = 0; i < size; i++)
   {
      ORVA_Instruction *instruction = m_instructions[i];
      const int opCode = instruction->m_opCode;
      if (opCode == OPCODE_PUSH_CONSTANT)
         DropRedundantText(instruction->m_operand.constant);
      if (!IsJump(opCode))
         continue;
      const uint32 end = endOfChain(instruction->m_operand.address);
      if (end != LOOPS)
         instruction->m_operand.address = end;
   }

   // Removing a JMP to the next instruction never makes another JMP point to
   // its own successor, so all of them are found in one pass.  removedBelow[a]
   // counts the removed instructions below address a: an address moves down
   // by that much, and the address of a removed JMP names its successor.
   // The chain ends are no longer needed: their room holds these counts.
   std::vector<uint32> &removedBelow = chainEnd;
   removedBelow.resize(static_cast<size_t>(size) + 1);
   std::vector<bool> removed(size, false);
   for (uint32 i = 0; i < size; i++)
   {
      removedBelow[i] = removedCount;
      ORVA_Instruction *instruction = m_instructions[i];
      if (instruction->m_opCode == OPCODE_JMP && instruction->m_operand.address == i + 1)
      {
         removed[i] = true;
         removedCount++;
      }
   }
   removedBelow[size] = removedCount;
   if (removedCount == 0)
      return;

   auto moved = [&](uint32 address) -> uint32 {
      if (address == INVALID_ADDRESS)
         return address;
      return address - ((address <= size) ? removedBelow[address] : removedCount);
   };

   uint32 kept = 0;
   for (uint32 i = 0; i < size; i++)
   {
      if (removed[i])
         delete m_instructions[i];
      else
         m_instructions[kept++] = m_instructions[i];
   }
   m_codeSize = kept;
   for (uint32 i = 0; i < kept; i++)
   {
      ORVA_Instruction *instruction = m_instructions[i];
      if (HasCodeAddress(instruction->m_opCode))
         instruction->m_operand.address = moved(instruction->m_operand.address);
   }
   for (uint32 i = 0; i < m_functionCount; i++)
      m_functions[i].m_address = moved(m_functions[i].m_address);
}
