/*
 * The program listing: one line per instruction with its address, mnemonic
 * and operand.
 */
#include "vm/vm.h"

static const char *const s_mnemonics[] = {
   "NOP",    "RET",    "JMP",    "CALL",   "CALL",   "PUSH",   "PUSH",  "EXIT",   "POP",    "SET",
   "ADD",    "SUB",    "MUL",    "DIV",    "REM",    "EQ",     "NE",    "LT",     "LE",     "GT",
   "GE",     "BITAND", "BITOR",  "BITXOR", "AND",    "OR",     "LSHIFT", "RSHIFT", "NRET",  "JZ",
   "PRINT",  "CONCAT", "BIND",   "INC",    "DEC",    "NEG",    "NOT",   "BITNOT", "CAST",   "REF",
   "INCP",   "DECP",   "JNZ",    "LIKE",   "ILIKE",  "MATCH",  "IMATCH", "CASE",  "ARRAY",  "EGET",
   "ESET",
};

const char *OpcodeMnemonic(int opCode)
{
   const int count = static_cast<int>(sizeof(s_mnemonics) / sizeof(s_mnemonics[0]));
   if (opCode < 0 || opCode >= count)
      return "???";
   return s_mnemonics[opCode];
}

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
      int opCode = instruction->m_opCode;
      fprintf(stream, "%04X  %-6s  ", address, OpcodeMnemonic(opCode));
      switch (opCode)
      {
         case OPCODE_JMP:
         case OPCODE_JZ:
         case OPCODE_JNZ:
            fprintf(stream, "%04X\n", instruction->m_operand.address);
            break;
         case OPCODE_CALL:
            fprintf(stream, "%04X, %d\n", instruction->m_operand.address, instruction->m_stackItems);
            break;
         case OPCODE_CALL_EXTERNAL:
            fprintf(stream, "%s, %d\n", NameText(instruction->m_operand.name), instruction->m_stackItems);
            break;
         case OPCODE_PUSH_CONSTANT:
         case OPCODE_CASE:
         {
            ORVA_Value *constant = instruction->m_operand.constant;
            if (constant == nullptr || constant->IsNull())
            {
               fputs("<null>\n", stream);
            }
            else
            {
               const char *text = constant->GetValueAsCString();
               fprintf(stream, "\"%s\"\n", NameText(text));
            }
            break;
         }
         case OPCODE_POP:
            fprintf(stream, "%d\n", instruction->m_stackItems);
            break;
         case OPCODE_CAST:
         {
            int type = instruction->m_stackItems;
            fprintf(stream, "[%s]\n", (type >= ORVA_DT_NULL && type <= ORVA_DT_UINT64) ? g_orvaTypeNames[type] : "?");
            break;
         }
         default:
            // Every other named instruction lists its name alone.
            if (OperandKindOf(opCode) == OPERAND_NAME)
               fprintf(stream, "%s\n", NameText(instruction->m_operand.name));
            else
               fputc('\n', stream);
            break;
      }
   }
}
