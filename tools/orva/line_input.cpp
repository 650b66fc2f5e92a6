#include "line_input.h"

#include "interrupt.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <unistd.h>

#ifdef ORVA_HAVE_READLINE
#include <readline/history.h>
#include <readline/readline.h>
#endif

namespace orva_cli
{

namespace
{

const size_t HISTORY_SIZE = 1000;

#ifdef ORVA_HAVE_READLINE
volatile sig_atomic_t s_inReadline = 0;

// Readline hands Ctrl-C on to the command's handler once it has put the
// terminal back; the line is emptied and a fresh prompt drawn.  Between
// lines (an input being compiled) there is nothing to drop.
void DropTypedLine()
{
   if (s_inReadline == 0 || write(STDOUT_FILENO, "\n", 1) < 0)
      return;
   rl_replace_line("", 0);
   rl_set_prompt("> ");
   rl_on_new_line();
   rl_redisplay();
}
#endif

}

std::string EscapeHistoryLine(const std::string &input)
{
   std::string out;
   for (char c : input)
   {
      if (c == '\\')
         out += "\\\\";
      else if (c == '\n')
         out += "\\n";
      else
         out += c;
   }
   return out;
}

std::string UnescapeHistoryLine(const std::string &line)
{
   std::string out;
   for (size_t i = 0; i < line.size(); i++)
   {
      if (line[i] == '\\' && i + 1 < line.size())
      {
         i++;
         out += line[i] == 'n' ? '\n' : line[i];
      }
      else
      {
         out += line[i];
      }
   }
   return out;
}

LineInput::LineInput(bool terminal) : m_terminal(terminal)
{
#ifdef ORVA_HAVE_READLINE
   if (!m_terminal)
      return;
   SetInterruptHook(DropTypedLine);
   const char *home = getenv("HOME");
   if (home == nullptr || *home == '\0')
      return;
   m_historyFile = std::string(home) + "/.orva_history";
   std::deque<std::string> entries;
   std::ifstream in(m_historyFile);
   std::string line;
   while (std::getline(in, line))
   {
      entries.push_back(UnescapeHistoryLine(line));
      if (entries.size() > HISTORY_SIZE)
         entries.pop_front();
   }
   for (const std::string &e : entries)
      add_history(e.c_str());
   // The file only grows as inputs are added; it is cut back here.
   if (entries.size() == HISTORY_SIZE)
   {
      std::ofstream out(m_historyFile, std::ios::trunc);
      for (const std::string &e : entries)
         out << EscapeHistoryLine(e) << '\n';
   }
#endif
}

void LineInput::Remember(const std::string &input)
{
#ifdef ORVA_HAVE_READLINE
   if (!m_terminal || input.find_first_not_of(" \t\r\n") == std::string::npos)
      return;
   add_history(input.c_str());
   if (!m_historyFile.empty())
   {
      std::ofstream out(m_historyFile, std::ios::app);
      out << EscapeHistoryLine(input) << '\n';
   }
#else
   (void)input;
#endif
}

ReadResult LineInput::Read(const char *prompt, std::string *line)
{
   line->clear();
   TakeInterrupt();
#ifdef ORVA_HAVE_READLINE
   if (m_terminal)
   {
      fflush(stdout);
      s_inReadline = 1;
      char *text = readline(prompt);
      s_inReadline = 0;
      if (text == nullptr)
         return ReadResult::End;
      line->assign(text);
      free(text);
      // A Ctrl-C while this line was typed dropped what came before it.
      return TakeInterrupt() ? ReadResult::Interrupted : ReadResult::Line;
   }
#endif
   if (m_terminal)
   {
      fputs(prompt, stdout);
      fflush(stdout);
   }
   char *buffer = nullptr;
   size_t capacity = 0;
   errno = 0;
   ssize_t length = getline(&buffer, &capacity, stdin);
   if (length < 0)
   {
      free(buffer);
      if (errno == EINTR && TakeInterrupt())
      {
         clearerr(stdin);
         fputc('\n', stdout);
         return ReadResult::Interrupted;
      }
      return ReadResult::End;
   }
   while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r'))
      length--;
   line->assign(buffer, static_cast<size_t>(length));
   free(buffer);
   return ReadResult::Line;
}

}
