/*
 * The program listing: one line per instruction with its address, mnemonic
 * and operand.
 */
#include "vm/vm.h"

// Hand-built programs may carry null operands; the listing must not fault on them.
static const char *NameText(const char *name)
{
   return (name != nullptr) ? name : "";
}

void ORVA_Program::Dump(FILE *stream)
{
   if (stream == nullptr)
      return;
   for (uint32 address = 0; address < m_codeSize; address++)
   {
      ORVA_Instruction *instruction = m_instructions[address];
      const OpcodeProperties &properties = PropertiesOf(instruction->m_opCode);
      fprintf(stream, "%04X  %-6s  ", address, properties.listing);
      switch (properties.operand)
      {
         case OPERAND_ADDRESS:
            fprintf(stream, "%04X", instruction->m_operand.address);
            break;
         case OPERAND_NAME:
         case OPERAND_VARIABLE:
            fputs(NameText(instruction->m_operand.name), stream);
            break;
         case OPERAND_CONSTANT:
         {
            ORVA_Value *constant = instruction->m_operand.constant;
            if (constant == nullptr || constant->IsNull())
               fputs("<null>", stream);
            else
               fprintf(stream, "\"%s\"", NameText(constant->GetValueAsCString()));
            break;
         }
         case OPERAND_NONE:
            break;
      }
      switch (properties.count)
      {
         case COUNT_ARGUMENTS:
            fprintf(stream, ", %d", instruction->m_stackItems);
            break;
         case COUNT_ITEMS:
            fprintf(stream, "%d", instruction->m_stackItems);
            break;
         case COUNT_TYPE:
         {
            int type = instruction->m_stackItems;
            fprintf(stream, "[%s]", (type >= ORVA_DT_NULL && type <= ORVA_DT_UINT64) ? g_orvaTypeNames[type] : "?");
            break;
         }
         case COUNT_OPERATOR:
            fprintf(stream, "[%s]", OpcodeMnemonic(instruction->m_stackItems));
            break;
         case COUNT_NONE:
            break;
      }
      fputc('\n', stream);
   }
}
