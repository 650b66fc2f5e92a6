/*
 * The compile driver and the two plain entry points: ORVACompile, which
 * turns a text into a program or an error text, and ORVALoadFile, which
 * reads a script file into one zero-terminated text.
 */
#include "compiler/compiler.h"
#include "support/error_text.h"
#include "support/memory.h"
#include "vm/engine.h"
#include "vm/run_limits.h"

#include "grammar.tab.hpp"
#include "scanner.hpp"

// The level-2 parser (grammar2.tab.cpp); its header would declare the
// tokens a second time.
int orva2_yyparse(yyscan_t scanner, ORVA_LexerInput *lexer, ORVA_Compiler *compiler, ORVA_Program *program);

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <sys/stat.h>

ORVA_Program *ORVA_Compiler::Parse(const char *source)
{
   delete m_lexer;
   m_lexer = nullptr;
   // The scanner counts the text in 32-bit signed positions; a longer text
   // would be compiled cut short.
   if (source != nullptr && strnlen(source, 0x80000000u) > 0x7FFFFFFFu)
   {
      Error("Source text is too long");
      return nullptr;
   }
   m_lexer = new ORVA_LexerInput(this, source);
   m_lexer->m_language = m_language;
   if (m_lexer->m_source == nullptr)
   {
      Error("memory exhausted");
      return nullptr;
   }
   return ParseInput();
}

ORVA_Program *ORVA_Compiler::ParseInput()
{
   if (m_lexer == nullptr)
      return nullptr;
   ORVA_Program *program = new ORVA_Program();

   yyscan_t scanner;
   if (orva_yylex_init_extra(m_lexer, &scanner) != 0)
   {
      Error("memory exhausted");
      delete program;
      return nullptr;
   }
   int result;
   try
   {
      result = (m_language >= ORVA_LANGUAGE_2) ? orva2_yyparse(scanner, m_lexer, this, program)
                                               : orva_yyparse(scanner, m_lexer, this, program);
   }
   catch (const std::bad_alloc &)
   {
      Error("memory exhausted");   // as when the parser's own stack cannot grow
      result = 2;
   }
   orva_yylex_destroy(scanner);

   // A lexical or semantic error lets the parse go on (or end early as if
   // the text ended there); either way the program is unusable.
   if (result != 0 || m_errorText != nullptr)
   {
      delete program;
      return nullptr;
   }
   program->SetLanguage(m_language);
   ORVA_Engine::MarkMadeByCompiler(program);
   return program;
}

ORVA_Program *ORVA_Compiler::Compile(const char *source)
{
   ORVA_Program *program = Parse(source);
   if (program != nullptr)
   {
      try
      {
         program->ResolveFunctions();
         program->Optimize();
      }
      catch (const std::bad_alloc &)
      {
         Error("memory exhausted");
         delete program;
         program = nullptr;
      }
   }
   return program;
}

/*
 * Every compile entry point comes here.  The error's text and parts are
 * filled only when the compile fails: a text that could not be kept (memory
 * ran out even for it) is told as the want of memory it was.
 */
static ORVA_Program *CompileSource(const char *source, ORVA_CompileError *error, int language)
{
   // No exception leaves the library: a heap that says no fails the compile.
   // Constants are values whose text comes from the allocation funnel, which
   // refuses rather than throws: a refusal during the compile fails it too.
   // (A compile inside a run, a module it links, counts against the run's
   // ceiling.)
   ORVA_MemoryBudget own;
   std::optional<ORVA_BudgetScope> scope;
   if (g_orvaBudget == nullptr)
      scope.emplace(&own);
   ORVA_MemoryBudget *budget = g_orvaBudget;
   const bool refusedBefore = budget->refused != 0;

   ORVA_Compiler *compiler = nullptr;
   ORVA_Program *program = nullptr;
   try
   {
      compiler = new ORVA_Compiler(language);
      if (language != ORVA_LANGUAGE_1 && language != ORVA_LANGUAGE_2)
         compiler->Error("Unknown language level (1 and 2 are known)");
      else
         program = compiler->Compile(source);
      if (program != nullptr && budget->refused != 0 && !refusedBefore)
      {
         delete program;
         program = nullptr;
         compiler->Error("memory exhausted");
      }
   }
   catch (const std::bad_alloc &)
   {
      if (compiler != nullptr)
         compiler->Error("memory exhausted");
   }
   if (program == nullptr && error != nullptr)
   {
      static_assert(sizeof(error->m_text) == ERROR_TEXT_SIZE, "the text is kept as the compiler cuts it");
      if (compiler != nullptr && compiler->m_errorText != nullptr)
      {
         snprintf(error->m_text, sizeof(error->m_text), "%s", compiler->m_errorText);
         error->m_line = compiler->m_errorLine;
         snprintf(error->m_message, sizeof(error->m_message), "%s", compiler->m_errorText + compiler->m_errorMessageAt);
      }
      else
      {
         const size_t at = FormatErrorText(error->m_text, sizeof(error->m_text), nullptr, 0, "memory exhausted");
         error->m_line = 0;
         snprintf(error->m_message, sizeof(error->m_message), "%s", error->m_text + at);
      }
   }
   delete compiler;
   return program;
}

ORVA_API ORVA_Program *ORVACompile(const char *source, ORVA_CompileError *error, ORVA_Language language)
{
   if (error != nullptr)
   {
      error->m_line = 0;
      error->m_message[0] = '\0';
      error->m_text[0] = '\0';
   }
   return CompileSource(source, error, language);
}

ORVA_API ORVA_Program *ORVACompile(const char *source, ORVA_CompileError *error)
{
   return ORVACompile(source, error, ORVA_LANGUAGE_1);
}

ORVA_API ORVA_Program *ORVACompile(const char *source, char *errorText, int errorTextLen, int language)
{
   if (errorText == nullptr || errorTextLen <= 0)
      return CompileSource(source, nullptr, language);
   ORVA_CompileError error;
   ORVA_Program *program = CompileSource(source, &error, language);
   if (program == nullptr)
      snprintf(errorText, static_cast<size_t>(errorTextLen), "%s", error.m_text);
   return program;
}

extern "C" ORVA_API ORVA_Program *ORVACompile(const char *source, char *errorText, int errorTextLen)
{
   return ORVACompile(source, errorText, errorTextLen, ORVA_LANGUAGE_1);
}

/*
 * Reads the file named fileName whole.  The size is stored once the buffer
 * exists.  A file that yields fewer bytes than its size promised (it shrank
 * while being read) is a failure like a read error: the caller would
 * otherwise get a text with a stale tail.
 */
extern "C" ORVA_API char *ORVALoadFile(const char *fileName, uint32 *fileSize)
{
   if (fileName == nullptr)
      return nullptr;
   FILE *file = fopen(fileName, "rb");
   if (file == nullptr)
      return nullptr;

   struct stat info;
   // The size must fit the 32-bit count with room for the terminator.
   if (fstat(fileno(file), &info) != 0 || info.st_size < 0 ||
       static_cast<unsigned long long>(info.st_size) >= 0xFFFFFFFFull)
   {
      fclose(file);
      return nullptr;
   }
   uint32 size = static_cast<uint32>(info.st_size);
   char *buffer = static_cast<char *>(malloc(static_cast<size_t>(size) + 1));
   if (buffer == nullptr)
   {
      fclose(file);
      return nullptr;
   }
   if (fileSize != nullptr)
      *fileSize = size;

   uint32 done = 0;
   while (done < size)
   {
      // Read while a run links its modules, the file counts against the
      // run's time: one past it is not read to its end.
      if (!TimeIsLeft())
      {
         free(buffer);
         fclose(file);
         return nullptr;
      }
      uint32 piece = size - done;
      if (piece > 16384)
         piece = 16384;
      size_t count = fread(buffer + done, 1, piece, file);
      if (count == 0)
      {
         free(buffer);
         fclose(file);
         return nullptr;
      }
      done += static_cast<uint32>(count);
   }

   for (uint32 i = 0; i < size; i++)
      if (buffer[i] == 0)
         buffer[i] = ' ';
   buffer[size] = 0;
   fclose(file);
   return buffer;
}
