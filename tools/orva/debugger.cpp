/*
 * The command-line debugger: breakpoints kept by number, a run under an
 * ORVA_Debugger whose pauses read commands, and the commands that show the
 * paused run.  Messages go to standard output between the script's own
 * output, as a terminal shows them; a pipe gets no prompts.
 */
#include "debugger.h"
#include "diagnostics.h"
#include "interrupt.h"
#include "line_input.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>

namespace orva_cli
{
namespace
{

struct Breakpoint
{
   int number;
   std::string module;   // "" for the script
   int line;
};

// One command line split into its word and the rest.
struct Command
{
   std::string word;
   std::string rest;
};

Command SplitCommand(const std::string &line)
{
   Command command;
   size_t start = line.find_first_not_of(" \t");
   if (start == std::string::npos)
      return command;
   size_t end = line.find_first_of(" \t", start);
   command.word = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
   if (end != std::string::npos)
   {
      size_t restStart = line.find_first_not_of(" \t", end);
      size_t restEnd = line.find_last_not_of(" \t");
      if (restStart != std::string::npos)
         command.rest = line.substr(restStart, restEnd - restStart + 1);
   }
   return command;
}

// The command a word names, long or short form; "" for none.
std::string CommandName(const std::string &word)
{
   static const char *const forms[][2] = {
      {"break", "b"},  {"delete", "d"},  {"run", "r"},       {"continue", "c"}, {"next", "n"},
      {"step", "s"},   {"finish", "fin"}, {"backtrace", "bt"}, {"print", "p"},    {"locals", "locals"},
      {"list", "l"},   {"quit", "q"},    {"frame", "f"},     {"help", "h"},     {"where", "where"},
   };
   for (const auto &form : forms)
      if (word == form[0] || word == form[1])
         return (word == "where") ? "backtrace" : form[0];
   return "";
}

bool IsNumber(const std::string &text)
{
   if (text.empty())
      return false;
   for (char c : text)
      if (!isdigit(static_cast<unsigned char>(c)))
         return false;
   return true;
}

const char *const HELP =
   "Commands (short forms in brackets):\n"
   "  break LINE | FUNCTION | MODULE:LINE [b]   stop there\n"
   "  delete [N] [d]                          remove breakpoint N, or all\n"
   "  run [r]                                 start the script\n"
   "  continue [c]                            go on to the next breakpoint\n"
   "  next [n]                                the next line, over calls\n"
   "  step [s]                                the next line, into calls\n"
   "  finish [fin]                            on until the function returns\n"
   "  backtrace [bt]                          the calls active\n"
   "  frame N [f]                             look at call N of the backtrace\n"
   "  print NAME [p]                          a variable; a[3] and a[\"k\"] reach elements\n"
   "  locals                                  the variables of the call\n"
   "  list [LINE] [l]                         the script's lines around LINE\n"
   "  quit [q]                                leave the debugger\n"
   "An empty line repeats the last command.\n";

class CommandLineDebugger : public ORVA_Debugger
{
public:
   CommandLineDebugger(const Session &session, const std::string &where, const std::string &text,
                       const std::vector<const char *> &arguments, bool terminal)
      : m_session(session), m_where(where), m_input(terminal), m_arguments(arguments)
   {
      std::istringstream lines(text);
      std::string line;
      while (std::getline(lines, line))
         m_lines.push_back(line);
      m_text = text;
   }

   int Main()
   {
      ErrorText error;
      m_program.reset(CompileText(m_text, &error));
      if (m_program == nullptr)
      {
         fflush(stdout);
         fputs(DescribeCompileError(m_where, m_text, error, true).c_str(), stderr);
         return EXIT_STATUS_COMPILE_ERROR;
      }
      printf("Debugging %s.  Type \"help\" for the commands, \"run\" to start.\n", m_where.c_str());
      m_listAround = ORVA_Debugger::FunctionLine(m_program.get(), "main");
      while (!m_quit)
      {
         Command command;
         if (!ReadCommand(&command))
            break;
         const std::string name = CommandName(command.word);
         if (name == "run")
            RunScript();
         else if (name == "continue" || name == "next" || name == "step" || name == "finish" ||
                  name == "backtrace" || name == "print" || name == "locals" || name == "frame")
            printf("The script is not running.\n");
         else
            Common(name, command);
      }
      return EXIT_STATUS_OK;
   }

   int OnPause(int reason) override
   {
      m_frame = 0;
      const char *function = "";
      int line = 0;
      const char *module = "";
      GetFrame(0, &function, &line, &module);
      if (reason == ORVA_PAUSE_BREAKPOINT)
         printf("Breakpoint %d, %s () at %s\n", BreakpointAt(module, line), function, Place(module, line).c_str());
      else if (reason == ORVA_PAUSE_REQUESTED)
         printf("\nPaused in %s () at %s\n", function, Place(module, line).c_str());   // after the ^C echoed
      else if (reason != ORVA_PAUSE_STEP || m_lastFunction != function)
         printf("%s () at %s\n", function, Place(module, line).c_str());
      m_lastFunction = function;
      ShowLine(module, line);
      WatchDebuggedRun(nullptr);   // Ctrl-C drops a line being typed
      const int resume = Paused(false);
      WatchDebuggedRun(this);
      return resume;
   }

   void OnError(int, const char *message) override
   {
      m_frame = 0;
      const char *function = "";
      int line = 0;
      const char *module = "";
      GetFrame(0, &function, &line, &module);
      printf("Run-time error in %s () at %s: %s\n", function, Place(module, line).c_str(), message);
      ShowLine(module, line);
      printf("The run ends when you go on.\n");
      WatchDebuggedRun(nullptr);
      Paused(true);
   }

private:
   const Session &m_session;
   std::string m_where;
   std::string m_text;
   std::vector<std::string> m_lines;
   LineInput m_input;
   std::vector<const char *> m_arguments;
   std::unique_ptr<ORVA_Program> m_program;
   std::vector<Breakpoint> m_breakpoints;
   int m_nextNumber = 1;
   std::string m_lastLine;
   std::string m_lastFunction;
   uint32 m_frame = 0;     // the call print and locals look at
   int m_listAround = 0;   // the line list shows next
   bool m_quit = false;

   bool ReadCommand(Command *command)
   {
      fflush(stdout);
      std::string line;
      ReadResult result;
      while ((result = m_input.Read("(orva-debug) ", &line)) == ReadResult::Interrupted)
         ;
      if (result == ReadResult::End)
      {
         m_quit = true;
         return false;
      }
      if (line.find_first_not_of(" \t") == std::string::npos)
         line = m_lastLine;   // as gdb does: an empty line repeats the last command
      else
      {
         m_input.Remember(line);
         m_lastLine = line;
      }
      *command = SplitCommand(line);
      return true;
   }

   // The command loop of a paused run; what the run does next.
   int Paused(bool failing)
   {
      for (;;)
      {
         Command command;
         if (!ReadCommand(&command))
            return ORVA_RESUME_STOP;
         const std::string name = CommandName(command.word);
         if (name == "continue")
            return ORVA_RESUME_CONTINUE;
         if (name == "next" || name == "step" || name == "finish")
         {
            if (failing)
               return ORVA_RESUME_CONTINUE;
            return (name == "next") ? ORVA_RESUME_STEP_OVER
                   : (name == "step") ? ORVA_RESUME_STEP_INTO
                                      : ORVA_RESUME_STEP_OUT;
         }
         if (name == "run")
            printf("The script is running already: continue, or quit.\n");
         else if (name == "backtrace")
            Backtrace();
         else if (name == "frame")
            SelectFrame(command.rest);
         else if (name == "print")
            Print(command.rest);
         else if (name == "locals")
            Locals();
         else
         {
            Common(name, command);
            if (m_quit)
               return ORVA_RESUME_STOP;
         }
      }
   }

   // The commands that work whether or not the script runs.
   void Common(const std::string &name, const Command &command)
   {
      if (name == "break")
         Break(command.rest);
      else if (name == "delete")
         Delete(command.rest);
      else if (name == "list")
         List(command.rest);
      else if (name == "quit")
         m_quit = true;
      else if (name == "help")
         fputs(HELP, stdout);
      else if (!command.word.empty())
         printf("Unknown command \"%s\".  Try \"help\".\n", command.word.c_str());
   }

   void RunScript()
   {
      for (const auto &g : m_session.globals)
         m_program->SetGlobalVariable(g.first.c_str(), new ORVA_Value(g.second.c_str()));
      std::vector<ORVA_Value *> args;
      for (const char *a : m_arguments)
         args.push_back(new ORVA_Value(a));
      ModuleRecord record;
      int scriptStatus = -1;
      ORVA_Environment *env = NewEnvironment(m_session, &record, &scriptStatus);
      env->SetDebugger(this);
      m_lastFunction.clear();
      WatchDebuggedRun(this);   // Ctrl-C pauses the run
      const int rc = m_program->Run(env, static_cast<uint32>(args.size()), args.data(), nullptr, nullptr);
      WatchDebuggedRun(nullptr);
      fflush(stdout);
      if (m_quit)
         return;
      if (rc != 0)
      {
         ORVA_Program &program = *m_program;
         fflush(stdout);
         fputs(DescribeRunError(m_where, m_text, RunErrorOf(program), TraceOf(program), record, m_session.modulePath, "")
                  .c_str(),
               stderr);
         fflush(stderr);
         printf("[The run failed.]\n");
      }
      else
         printf("[The run completed with status %d.]\n", scriptStatus >= 0 ? scriptStatus : EXIT_STATUS_OK);
   }

   std::string Place(const std::string &module, int line) const
   {
      return (module.empty() ? m_where : module) + ":" + std::to_string(line);
   }

   void ShowLine(const std::string &module, int line)
   {
      if (module.empty() && line >= 1 && static_cast<size_t>(line) <= m_lines.size())
         printf("%d\t%s\n", line, m_lines[line - 1].c_str());
      if (module.empty())
         m_listAround = line;
   }

   int BreakpointAt(const std::string &module, int line) const
   {
      for (const Breakpoint &b : m_breakpoints)
         if (b.line == line && strcasecmp(b.module.c_str(), module.c_str()) == 0)
            return b.number;
      return 0;
   }

   // A module's compiled program, when the session's library holds it.
   ORVA_Program *LibraryModule(const std::string &name) const
   {
      return (m_session.library != nullptr) ? m_session.library->FindScript(name.c_str()) : nullptr;
   }

   void Break(const std::string &where)
   {
      std::string module;
      int line = 0;
      const size_t colon = where.rfind(':');
      if (IsNumber(where))
         line = ORVA_Debugger::LineWithCode(m_program.get(), atoi(where.c_str()));
      else if (colon != std::string::npos && colon > 0 && IsNumber(where.substr(colon + 1)))
      {
         module = where.substr(0, colon);
         line = atoi(where.c_str() + colon + 1);
         // A module of the library is known now; a module file only once the run links it.
         if (ORVA_Program *found = LibraryModule(module))
            line = ORVA_Debugger::LineWithCode(found, line);
      }
      else if (!where.empty())
         line = ORVA_Debugger::FunctionLine(m_program.get(), where.c_str());
      if (line <= 0)
      {
         printf("No code at \"%s\" in %s.\n", where.c_str(), m_where.c_str());
         return;
      }
      if (BreakpointAt(module, line) != 0)
      {
         printf("Breakpoint %d is at %s already.\n", BreakpointAt(module, line), Place(module, line).c_str());
         return;
      }
      SetBreakpoint(module.c_str(), line);
      m_breakpoints.push_back({m_nextNumber, module, line});
      printf("Breakpoint %d at %s\n", m_nextNumber++, Place(module, line).c_str());
   }

   void Delete(const std::string &which)
   {
      if (which.empty())
      {
         ClearBreakpoints();
         m_breakpoints.clear();
         printf("All breakpoints deleted.\n");
         return;
      }
      const int number = IsNumber(which) ? atoi(which.c_str()) : -1;
      for (auto it = m_breakpoints.begin(); it != m_breakpoints.end(); ++it)
         if (it->number == number)
         {
            ClearBreakpoint(it->module.c_str(), it->line);
            m_breakpoints.erase(it);
            printf("Breakpoint %d deleted.\n", number);
            return;
         }
      printf("No breakpoint number %s.\n", which.c_str());
   }

   void List(const std::string &around)
   {
      int center = IsNumber(around) ? atoi(around.c_str()) : m_listAround;
      if (center < 1)
         center = 1;
      int first = (center > 5) ? center - 5 : 1;
      const int last = std::min<int>(first + 9, static_cast<int>(m_lines.size()));
      for (int line = first; line <= last; line++)
         printf("%d\t%s\n", line, m_lines[line - 1].c_str());
      m_listAround = last + 6;   // a second list goes on after this one
   }

   void Backtrace()
   {
      for (uint32 f = 0; f < FrameCount(); f++)
      {
         const char *function = "";
         const char *module = "";
         int line = 0;
         GetFrame(f, &function, &line, &module);
         printf("%s#%u  %s () at %s\n", (f == m_frame) ? ">" : " ", f, function, Place(module, line).c_str());
      }
   }

   void SelectFrame(const std::string &which)
   {
      if (!IsNumber(which) || static_cast<uint32>(atoi(which.c_str())) >= FrameCount())
      {
         printf("No frame \"%s\": the backtrace numbers them from 0 to %u.\n", which.c_str(), FrameCount() - 1);
         return;
      }
      m_frame = static_cast<uint32>(atoi(which.c_str()));
      const char *function = "";
      const char *module = "";
      int line = 0;
      GetFrame(m_frame, &function, &line, &module);
      printf("#%u  %s () at %s\n", m_frame, function, Place(module, line).c_str());
      ShowLine(module, line);
   }

   void Locals()
   {
      const char *name;
      ORVA_Value *value;
      uint32 shown = 0;
      for (uint32 v = 0; GetVariable(m_frame, v, &name, &value); v++, shown++)
      {
         printf("%s = ", name);
         WriteValue(stdout, value);
         fputc('\n', stdout);
      }
      if (shown == 0)
         printf("No locals.\n");
   }

   void Print(const std::string &path)
   {
      std::string error;
      ORVA_Value *value = Resolve(path, &error);
      if (value == nullptr)
      {
         printf("%s\n", error.c_str());
         return;
      }
      printf("%s = ", path.c_str());
      WriteValue(stdout, value);
      fputc('\n', stdout);
   }

   /*
    * NAME followed by element selectors: [INTEGER] or ["TEXT"].  A text
    * that reads as a whole number selects that index, as the language
    * reads it; arrays with text keys of their own are looked up in
    * ElementOf, the one place that knows how an array is keyed.
    */
   ORVA_Value *Resolve(const std::string &path, std::string *error)
   {
      size_t at = 0;
      while (at < path.size() && (isalnum(static_cast<unsigned char>(path[at])) || path[at] == '_' || path[at] == '$'))
         at++;
      const std::string name = path.substr(0, at);
      if (name.empty())
      {
         *error = "print needs a variable name, such as x, a[3] or a[\"k\"].";
         return nullptr;
      }
      ORVA_Value *value = FindVariable(m_frame, name.c_str());
      if (value == nullptr)
      {
         *error = "No variable \"" + name + "\" here.";
         return nullptr;
      }
      std::string reached = name;
      while (at < path.size())
      {
         const size_t close = path.find(']', at);
         if (path[at] != '[' || close == std::string::npos)
         {
            *error = "Cannot read \"" + path.substr(at) + "\": write elements as [3] or [\"k\"].";
            return nullptr;
         }
         std::string key = path.substr(at + 1, close - at - 1);
         if (key.size() >= 2 && key.front() == '"' && key.back() == '"')
            key = key.substr(1, key.size() - 2);
         if (!value->IsArray())
         {
            *error = reached + " is not an array.";
            return nullptr;
         }
         ORVA_Value *element = ElementOf(value->GetValueAsArray(), key);
         reached += path.substr(at, close - at + 1);
         if (element == nullptr)
         {
            *error = "No element " + reached + ".";
            return nullptr;
         }
         value = element;
         at = close + 1;
      }
      return value;
   }

   static ORVA_Value *ElementOf(ORVA_Array *array, const std::string &key)
   {
      char *end = nullptr;
      const long long index = strtoll(key.c_str(), &end, 10);
      if (key.empty() || *end != '\0')
         return nullptr;   // no element has a text key
      for (int32 p = 0; p < array->Size(); p++)
         if (array->IndexAt(p) == index)
            return array->ValueAt(p);
      return nullptr;
   }
};

}

int RunDebugger(const Session &session, const std::string &where, const std::string &text,
                const std::vector<const char *> &arguments, bool terminal)
{
   CommandLineDebugger debugger(session, where, text, arguments, terminal);
   return debugger.Main();
}

}
