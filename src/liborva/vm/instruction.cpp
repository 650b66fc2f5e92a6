/*
 * One instruction of the virtual machine: opcode, operand, count and the
 * source line that error messages report.
 */
#include "vm/vm.h"

#include <cstdlib>
#include <cstring>

ORVA_Instruction::ORVA_Instruction(int line, int opCode)
   : m_opCode(opCode), m_stackItems(0), m_sourceLine(line)
{
   m_operand.name = nullptr;
}

ORVA_Instruction::ORVA_Instruction(int line, int opCode, ORVA_Value *value)
   : m_opCode(opCode), m_stackItems(0), m_sourceLine(line)
{
   m_operand.constant = value;
}

ORVA_Instruction::ORVA_Instruction(int line, int opCode, char *name)
   : m_opCode(opCode), m_stackItems(0), m_sourceLine(line)
{
   m_operand.name = name;
}

ORVA_Instruction::ORVA_Instruction(int line, int opCode, char *name, int count)
   : m_opCode(opCode), m_stackItems(count), m_sourceLine(line)
{
   m_operand.name = name;
}

ORVA_Instruction::ORVA_Instruction(int line, int opCode, uint32 address)
   : m_opCode(opCode), m_stackItems(0), m_sourceLine(line)
{
   m_operand.name = nullptr;
   m_operand.address = address;
}

ORVA_Instruction::ORVA_Instruction(int line, int opCode, int count)
   : m_opCode(opCode), m_stackItems(count), m_sourceLine(line)
{
   m_operand.name = nullptr;
}

ORVA_Instruction::ORVA_Instruction(ORVA_Instruction *source)
   : m_opCode(source->m_opCode), m_stackItems(source->m_stackItems), m_sourceLine(source->m_sourceLine)
{
   m_operand.name = nullptr;
   switch (OperandKindOf(m_opCode))
   {
      case OPERAND_NAME:
      case OPERAND_VARIABLE:
         m_operand.name = (source->m_operand.name != nullptr) ? strdup(source->m_operand.name) : nullptr;
         break;
      case OPERAND_CONSTANT:
         m_operand.constant =
            (source->m_operand.constant != nullptr) ? new ORVA_Value(source->m_operand.constant) : nullptr;
         break;
      case OPERAND_ADDRESS:
         m_operand.address = source->m_operand.address;
         break;
      default:
         break;
   }
}

ORVA_Instruction::~ORVA_Instruction()
{
   switch (OperandKindOf(m_opCode))
   {
      case OPERAND_NAME:
      case OPERAND_VARIABLE:
         free(m_operand.name);
         break;
      case OPERAND_CONSTANT:
         delete m_operand.constant;
         break;
      default:
         break;
   }
}

const char *ORVA_Instruction::Name() const
{
   return HasNameOperand(m_opCode) ? m_operand.name : nullptr;
}
