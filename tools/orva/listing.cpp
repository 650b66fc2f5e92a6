#include "listing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace orva_cli
{

namespace
{

// The function table and the instructions are protected parts of the
// program's published shape.  A class derived from it may name the fields,
// and a member pointer formed there reads them from any program; nothing is
// written.
struct ProgramView : ORVA_Program
{
   static std::multimap<uint32, std::string> Entries(const ORVA_Program *program)
   {
      uint32 count = program->*(&ProgramView::m_functionCount);
      const ORVA_Function *functions = program->*(&ProgramView::m_functions);
      std::multimap<uint32, std::string> entries;
      for (uint32 i = 0; i < count && functions != nullptr; i++)
         entries.emplace(functions[i].m_address, std::string(functions[i].m_name, strnlen(functions[i].m_name, 64)));
      return entries;
   }

   static ORVA_Instruction *At(const ORVA_Program *program, uint32 address)
   {
      return (program->*(&ProgramView::m_instructions))[address];
   }
};

struct InstructionView : ORVA_Instruction
{
   // The text the listing shows for a constant operand, or null when the
   // instruction shows none in quotes.
   static const char *ConstantText(const ORVA_Instruction *instruction)
   {
      int op = instruction->OpCode();
      if (op != OPCODE_PUSH_CONSTANT && op != OPCODE_CASE)
         return nullptr;
      ORVA_Value *constant = (instruction->*(&InstructionView::m_operand)).constant;
      if (constant == nullptr || constant->IsNull())
         return nullptr;
      const char *text = constant->GetValueAsCString();
      return text != nullptr ? text : "";
   }
};

std::string Escape(const std::string &text)
{
   static const char hex[] = "0123456789abcdef";
   std::string out;
   for (char ch : text)
   {
      unsigned char c = static_cast<unsigned char>(ch);
      switch (c)
      {
         case '\n': out += "\\n"; break;
         case '\r': out += "\\r"; break;
         case '\t': out += "\\t"; break;
         case '\b': out += "\\b"; break;
         case '"': out += "\\\""; break;
         case '\\': out += "\\\\"; break;
         default:
            if (c < 0x20 || c == 0x7f)
            {
               out += "\\x";
               out += hex[c >> 4];
               out += hex[c & 15];
            }
            else
            {
               out += ch;
            }
      }
   }
   return out;
}

std::string Address(uint32 address)
{
   char text[16];
   snprintf(text, sizeof(text), "%04X  ", address);
   return text;
}

// Reads the library's listing back: "ADDR  MNEMONIC  OPERAND" per
// instruction, where a constant is shown as its text in quotes, which may
// itself hold line feeds and quotes; the constant's own length tells where
// it ends.  false when the text is not in that shape.
bool Rewrite(const std::string &dump, ORVA_Program *program, std::string *out)
{
   const size_t field = 8;   // "%-6s  "
   std::multimap<uint32, std::string> labels = ProgramView::Entries(program);
   size_t pos = 0;
   for (uint32 address = 0; address < program->CodeSize(); address++)
   {
      std::string prefix = Address(address);
      if (dump.compare(pos, prefix.size(), prefix) != 0 || pos + prefix.size() + field > dump.size())
         return false;
      auto range = labels.equal_range(address);
      for (auto it = range.first; it != range.second; ++it)
         *out += it->second + ":\n";

      size_t operand = pos + prefix.size() + field;
      const char *constant = InstructionView::ConstantText(ProgramView::At(program, address));
      if (constant == nullptr)
      {
         size_t end = dump.find('\n', operand);
         if (end == std::string::npos)
            return false;
         out->append(dump, pos, end + 1 - pos);
         pos = end + 1;
         continue;
      }
      std::string text = std::string("\"") + constant + "\"\n";
      if (dump.compare(operand, text.size(), text) != 0)
         return false;
      out->append(dump, pos, operand - pos);
      *out += "\"" + Escape(constant) + "\"\n";
      pos = operand + text.size();
   }
   return pos == dump.size();
}

}

std::string ProgramListing(ORVA_Program *program)
{
   char *buffer = nullptr;
   size_t size = 0;
   FILE *stream = open_memstream(&buffer, &size);
   if (stream == nullptr)
      return std::string();
   program->Dump(stream);
   fclose(stream);
   std::string dump(buffer, size);
   free(buffer);

   std::string out;
   if (!Rewrite(dump, program, &out))
      return dump;   // a shape this reader does not know: the listing as it came
   return out;
}

}
