/*
 * The lexer input: a private copy of the source text that the scanner pulls
 * in pieces, and the scanner's per-compile state.
 */
#include "compiler/compiler.h"
#include "vm/run_limits.h"

#include <cstdlib>
#include <cstring>

ORVA_LexerInput::ORVA_LexerInput(ORVA_Compiler *compiler, const char *source)
{
   m_language = ORVA_LANGUAGE_1;
   if (source == nullptr)
      source = "";
   size_t length = strlen(source);
   // Texts of 2 GiB and more cannot be counted here; the scanner sees the
   // part that fits.
   if (length > 0x7FFFFFFF)
      length = 0x7FFFFFFF;
   m_source = static_cast<char *>(malloc(length + 1));
   if (m_source != nullptr)
   {
      memcpy(m_source, source, length);
      m_source[length] = 0;
   }
   else
   {
      length = 0;
   }
   m_sourceSize = static_cast<int32>(length);
   m_sourcePos = 0;
   m_compiler = compiler;
   m_currLine = 1;
   m_commentLevel = 0;
   m_strSize = 0;
   m_str[0] = 0;
   m_stopped = 0;
   m_scanning = false;
   m_allocLimit = 0;
   m_newBuffer = nullptr;
   m_carriedBytes = 0;
}

ORVA_LexerInput::~ORVA_LexerInput()
{
   free(m_source);
}

int ORVA_LexerInput::Read(char *buffer, int maxSize)
{
   // A compile inside a run (a module the run links) ends with the run's
   // time: the text is cut short and the compile fails.
   if (!TimeIsLeft())
   {
      Error("Time limit reached");
      return 0;
   }
   int count = m_sourceSize - m_sourcePos;
   if (count > maxSize)
      count = maxSize;
   if (count <= 0)
      return 0;
   memcpy(buffer, m_source + m_sourcePos, count);
   m_sourcePos += count;
   return count;
}

void ORVA_LexerInput::Error(const char *message)
{
   if (m_compiler != nullptr)
      m_compiler->Error(message);
}
