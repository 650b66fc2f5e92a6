#include "line_input.h"

#include <cstdio>
#include <cstdlib>

#ifdef ORVA_HAVE_READLINE
#include <readline/history.h>
#include <readline/readline.h>
#endif

namespace orva_cli
{

LineInput::LineInput(bool terminal) : m_terminal(terminal)
{
}

bool LineInput::Read(const char *prompt, std::string *line)
{
   line->clear();
#ifdef ORVA_HAVE_READLINE
   if (m_terminal)
   {
      fflush(stdout);
      char *text = readline(prompt);
      if (text == nullptr)
         return false;
      if (*text != '\0')
         add_history(text);
      line->assign(text);
      free(text);
      return true;
   }
#endif
   if (m_terminal)
   {
      fputs(prompt, stdout);
      fflush(stdout);
   }
   char *buffer = nullptr;
   size_t capacity = 0;
   ssize_t length = getline(&buffer, &capacity, stdin);
   if (length < 0)
   {
      free(buffer);
      return false;
   }
   while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r'))
      length--;
   line->assign(buffer, static_cast<size_t>(length));
   free(buffer);
   return true;
}

}
