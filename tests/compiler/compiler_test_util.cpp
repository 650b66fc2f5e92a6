#include "compiler_test_util.h"

#include "grammar.tab.hpp"
#include "scanner.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace
{
// Named tokens in the order the grammar numbers them from 258 on.
const char *const kTokenNames[] = {
   "T_ARRAY", "T_BREAK", "T_CASE", "T_CONTINUE", "T_DEFAULT", "T_DO", "T_ELSE", "T_EXIT", "T_FOR", "T_IF",
   "T_NULL", "T_PRINT", "T_PRINTLN", "T_RETURN", "T_SUB", "T_SWITCH", "T_TYPE_INT32", "T_TYPE_INT64",
   "T_TYPE_REAL", "T_TYPE_STRING", "T_TYPE_UINT32", "T_TYPE_UINT64", "T_USE", "T_WHILE",
   "T_COMPOUND_IDENTIFIER", "T_IDENTIFIER", "T_STRING", "T_INT32", "T_UINT32", "T_INT64", "T_UINT64",
   "T_REAL", "T_OR", "T_AND", "T_IMATCH", "T_MATCH", "T_ILIKE", "T_LIKE", "T_EQ", "T_NE", "T_GE", "T_LE",
   "T_RSHIFT", "T_LSHIFT", "T_DEC", "T_INC", "T_REF"};
static_assert(T_ARRAY == 258 && T_REF == 258 + sizeof(kTokenNames) / sizeof(kTokenNames[0]) - 1,
              "token table out of step with the grammar");
// The operators of language level 2, numbered from 240 on.
const char *const kLevel2TokenNames[] = {"T_COALESCE",   "T_ADD_ASSIGN", "T_SUB_ASSIGN",   "T_MUL_ASSIGN",
                                         "T_DIV_ASSIGN", "T_REM_ASSIGN", "T_CONCAT_ASSIGN"};
static_assert(T_COALESCE == 240 && T_CONCAT_ASSIGN == 240 + sizeof(kLevel2TokenNames) / sizeof(kLevel2TokenNames[0]) - 1,
              "level-2 token table out of step with the grammar");

std::string Describe(int token, const ORVA_YYSTYPE &value)
{
   char buffer[64];
   if (token < 240)
   {
      snprintf(buffer, sizeof(buffer), "'%c'", token);
      return buffer;
   }
   std::string text = (token >= 240 && token < 256) ? kLevel2TokenNames[token - 240] : kTokenNames[token - 258];
   switch (token)
   {
      case T_IDENTIFIER:
      case T_COMPOUND_IDENTIFIER:
      case T_STRING:
         text += "(" + std::string(value.str) + ")";
         free(value.str);
         break;
      case T_INT32:
         snprintf(buffer, sizeof(buffer), "(%d)", value.i32);
         text += buffer;
         break;
      case T_UINT32:
         snprintf(buffer, sizeof(buffer), "(%u)", value.u32);
         text += buffer;
         break;
      case T_INT64:
         snprintf(buffer, sizeof(buffer), "(%" PRId64 ")", value.i64);
         text += buffer;
         break;
      case T_UINT64:
         snprintf(buffer, sizeof(buffer), "(%" PRIu64 ")", value.u64);
         text += buffer;
         break;
      case T_REAL:
         snprintf(buffer, sizeof(buffer), "(%g)", value.real);
         text += buffer;
         break;
   }
   return text;
}

// Exposes the code of a program to the line-number checks.
class ProgramView : public ORVA_Program
{
public:
   int LineAt(uint32 address) const { return m_instructions[address]->SourceLine(); }
};

ORVA_Program *ParseResolved(ORVA_Compiler &compiler, const std::string &text)
{
   ORVA_Program *program = compiler.Parse(text.c_str());
   if (program != nullptr)
      program->ResolveFunctions();
   return program;
}
}

std::string DumpText(ORVA_Program *program)
{
   char *data = nullptr;
   size_t size = 0;
   FILE *stream = open_memstream(&data, &size);
   program->Dump(stream);
   fclose(stream);
   std::string text(data, size);
   free(data);
   return text;
}

ScannedText ScanText(const std::string &text, bool withLines, size_t allocLimit)
{
   ScannedText result;
   ORVA_Compiler compiler;
   compiler.m_lexer = new ORVA_LexerInput(&compiler, text.c_str());
   compiler.m_lexer->m_allocLimit = allocLimit;
   yyscan_t scanner;
   if (orva_yylex_init_extra(compiler.m_lexer, &scanner) != 0)
   {
      result.error = "scanner not created";
      return result;
   }
   ORVA_YYSTYPE value;
   int token;
   while ((token = orva_yylex(&value, scanner)) != 0)
   {
      if (!result.tokens.empty())
         result.tokens += ' ';
      result.tokens += Describe(token, value);
      if (withLines)
         result.tokens += "@" + std::to_string(compiler.m_lexer->m_currLine);
   }
   // The stream stays ended.
   if (orva_yylex(&value, scanner) != 0)
      result.error = "token after the end";
   orva_yylex_destroy(scanner);
   if (compiler.m_errorText != nullptr)
      result.error = compiler.m_errorText;
   result.carriedBytes = compiler.m_lexer->m_carriedBytes;
   return result;
}

std::string CompileError(const std::string &text)
{
   char buffer[1024] = "";
   ORVA_Program *program = ORVACompile(text.c_str(), buffer, sizeof(buffer));
   delete program;
   return program != nullptr ? "" : buffer;
}

std::string Listing(const std::string &text)
{
   ORVA_Compiler compiler;
   ORVA_Program *program = ParseResolved(compiler, text);
   if (program == nullptr)
      return compiler.m_errorText != nullptr ? compiler.m_errorText : "(null)";
   std::string dump = DumpText(program);
   delete program;
   std::string result;
   size_t start = 0;
   while (start < dump.size())
   {
      size_t end = dump.find('\n', start);
      if (end == std::string::npos)
         end = dump.size();
      std::string line = dump.substr(start, end - start);
      // A constant holding a line feed spans two lines of the listing; it is
      // shown here as \n.
      if (std::count(line.begin(), line.end(), '"') % 2 == 1 && end < dump.size())
      {
         size_t close = dump.find('\n', end + 1);
         if (close == std::string::npos)
            close = dump.size();
         line += "\\n" + dump.substr(end + 1, close - end - 1);
         end = close;
      }
      while (!line.empty() && line.back() == ' ')
         line.pop_back();
      result += line + "\n";
      start = end + 1;
   }
   return result;
}

std::string Ops(const std::string &text)
{
   std::string listing = Listing(text);
   if (listing.compare(0, 5, "Error") == 0)
      return listing;
   std::string result;
   size_t start = 0;
   while (start < listing.size())
   {
      size_t end = listing.find('\n', start);
      std::string line = listing.substr(start + 6, end - start - 6);
      std::string squeezed;
      for (char c : line)
         if (c != ' ' || (!squeezed.empty() && squeezed.back() != ' '))
            squeezed += c;
      if (!result.empty())
         result += "; ";
      result += squeezed;
      start = end + 1;
   }
   return result;
}

std::vector<int> SourceLines(const std::string &text)
{
   std::vector<int> lines;
   ORVA_Compiler compiler;
   ORVA_Program *program = compiler.Parse(text.c_str());
   if (program == nullptr)
      return lines;
   for (uint32 i = 0; i < program->CodeSize(); i++)
      lines.push_back(static_cast<ProgramView *>(program)->LineAt(i));
   delete program;
   return lines;
}
