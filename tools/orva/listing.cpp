#include "listing.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace orva_cli
{

namespace
{

// The function table is a protected part of the program's published shape.
// A class derived from it may name the fields, and a member pointer formed
// there reads them from any program; nothing is written.
struct FunctionTable : ORVA_Program
{
   static std::multimap<uint32, std::string> Entries(const ORVA_Program *program)
   {
      uint32 count = program->*(&FunctionTable::m_functionCount);
      const ORVA_Function *functions = program->*(&FunctionTable::m_functions);
      std::multimap<uint32, std::string> entries;
      for (uint32 i = 0; i < count && functions != nullptr; i++)
         entries.emplace(functions[i].m_address, std::string(functions[i].m_name, strnlen(functions[i].m_name, 64)));
      return entries;
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
// instruction, where the operand of a constant is its text in quotes and may
// itself hold line feeds.  The next instruction's address tells where a
// constant ends.  false when the text is not in that shape.
bool Rewrite(const std::string &dump, uint32 codeSize, const std::multimap<uint32, std::string> &labels,
             std::string *out)
{
   const size_t field = 8;   // "%-6s  "
   size_t pos = 0;
   for (uint32 address = 0; address < codeSize; address++)
   {
      std::string prefix = Address(address);
      if (dump.compare(pos, prefix.size(), prefix) != 0 || pos + prefix.size() + field > dump.size())
         return false;
      auto range = labels.equal_range(address);
      for (auto it = range.first; it != range.second; ++it)
         *out += it->second + ":\n";

      size_t operand = pos + prefix.size() + field;
      std::string mnemonic = dump.substr(pos + prefix.size(), field);
      bool constant = (mnemonic.compare(0, 5, "PUSH ") == 0 || mnemonic.compare(0, 5, "CASE ") == 0) &&
                      operand < dump.size() && dump[operand] == '"';
      size_t end;
      if (!constant)
      {
         end = dump.find('\n', operand);
         if (end == std::string::npos)
            return false;
         out->append(dump, pos, end + 1 - pos);
         pos = end + 1;
         continue;
      }
      if (address + 1 == codeSize)
         end = dump.size() >= 2 && dump.compare(dump.size() - 2, 2, "\"\n") == 0 ? dump.size() - 2 : std::string::npos;
      else
         end = dump.find("\"\n" + Address(address + 1), operand + 1);
      if (end == std::string::npos || end < operand + 1)
         return false;
      out->append(dump, pos, operand + 1 - pos);
      *out += Escape(dump.substr(operand + 1, end - operand - 1));
      *out += "\"\n";
      pos = end + 2;
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
   if (!Rewrite(dump, program->CodeSize(), FunctionTable::Entries(program), &out))
      return dump;   // a shape this reader does not know: the listing as it came
   return out;
}

}
