/*
 * orva: compiles an ORVA script and runs it, or reads inputs at a prompt.
 */
#include "cli.h"
#include "prompt.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

#ifndef ORVA_VERSION
#define ORVA_VERSION "unknown"
#endif

using namespace orva_cli;

namespace
{

const char USAGE[] =
   "Usage: orva [OPTION]... SCRIPT [ARG]...\n"
   "       orva [OPTION]... -e TEXT [ARG]...\n"
   "       orva [OPTION]...\n"
   "\n"
   "Compiles an ORVA script and runs it.  Every ARG becomes an argument of the\n"
   "script: $1, $2, ... and the parameters of main; an ARG that reads wholly as a\n"
   "number is a number.  SCRIPT \"-\" reads the script from standard input, and so\n"
   "does a missing SCRIPT when standard input is not a terminal.  A first line\n"
   "that starts with \"#!\" is ignored.  Printed output goes to standard output;\n"
   "errors go to standard error as the library words them.\n"
   "\n"
   "Options:\n"
   "  -e TEXT        run TEXT instead of a script file: functions, a bare\n"
   "                 expression (its value is printed unless it is null or an\n"
   "                 assignment) or statements (run as the body of main)\n"
   "  -c             compile only: check the syntax, do not run\n"
   "  -d             print the program listing before running\n"
   "  -r             print the result of the run (the value main returned)\n"
   "  -D NAME=VALUE  set the global variable NAME before the run; VALUE that\n"
   "                 reads as a number is a number (repeatable)\n"
   "  -m NAME=FILE   compile FILE into the script library as module NAME, so\n"
   "                 that \"use NAME;\" finds it without NAME.orva in the current\n"
   "                 directory (repeatable)\n"
   "  -i             read inputs at a prompt even when standard input is not a\n"
   "                 terminal (no prompts are shown then)\n"
   "  -h, --help     show this help and exit\n"
   "      --version  show the version and exit\n"
   "  --             end of options: the next word is SCRIPT\n"
   "\n"
   "Modules named by \"use\" come from -m, else from NAME.orva in the current\n"
   "directory.\n"
   "\n"
   "Prompt: with no SCRIPT and no -e, and a terminal on standard input (or -i),\n"
   "orva reads one input per line.  A bare expression prints its value;\n"
   "statements run as the body of main; functions and use statements are kept\n"
   "for later inputs (a text that defines main runs at once).  Variables assigned\n"
   "at the prompt persist as local variables of the next inputs, unless the input\n"
   "stops with an error or leaves early with return or exit; a variable holding\n"
   "null is forgotten.  -D globals persist as globals.  An unfinished input\n"
   "continues on the next line; an empty line drops it.  \"exit\", \"quit\" or the\n"
   "end of input leaves the prompt.\n"
   "\n"
   "Exit status:\n"
   "  0  the run completed (also by an exit statement), the check passed, or the\n"
   "     prompt reached the end of its input\n"
   "  1  the run stopped with a run-time error\n"
   "  2  usage error, or a script or module file that cannot be read\n"
   "  3  compile error in the script or in a -m module\n";

struct Options
{
   const char *expression = nullptr;   // -e TEXT
   const char *script = nullptr;       // SCRIPT, or null
   bool checkOnly = false;
   bool listing = false;
   bool printResult = false;
   bool forcePrompt = false;
   std::vector<std::pair<std::string, std::string>> modules;   // -m NAME=FILE
   std::vector<const char *> arguments;
};

int UsageError(const char *format, const char *detail)
{
   fputs("orva: ", stderr);
   fprintf(stderr, format, detail);
   fputs("\nTry 'orva --help' for more information.\n", stderr);
   return EXIT_STATUS_USAGE;
}

bool SplitAssignment(const char *text, std::pair<std::string, std::string> *out)
{
   const char *eq = strchr(text, '=');
   if (eq == nullptr || eq == text)
      return false;
   out->first.assign(text, static_cast<size_t>(eq - text));
   out->second.assign(eq + 1);
   return true;
}

// Parses the command line into options and the session's globals; returns
// -1 to go on, or an exit status.
int ParseCommandLine(int argc, char **argv, Options *options, Session *session)
{
   int i = 1;
   for (; i < argc; i++)
   {
      const char *arg = argv[i];
      if (strcmp(arg, "--") == 0)
      {
         i++;
         break;
      }
      if (strcmp(arg, "--help") == 0)
      {
         fputs(USAGE, stdout);
         return EXIT_STATUS_OK;
      }
      if (strcmp(arg, "--version") == 0)
      {
         printf("orva %s\n", ORVA_VERSION);
         return EXIT_STATUS_OK;
      }
      if (arg[0] != '-' || arg[1] == '\0')
         break;   // SCRIPT, or "-" for standard input
      if (arg[1] == '-')
         return UsageError("unknown option '%s'", arg);

      // A group of one-letter options; one that takes a value ends the group
      // and takes the rest of the word or the next word.
      for (const char *p = arg + 1; *p != '\0'; p++)
      {
         char letter = *p;
         if (letter == 'e' || letter == 'D' || letter == 'm')
         {
            const char *value = p[1] != '\0' ? p + 1 : (i + 1 < argc ? argv[++i] : nullptr);
            if (value == nullptr)
            {
               char name[3] = {'-', letter, '\0'};
               return UsageError("option %s needs a value", name);
            }
            std::pair<std::string, std::string> pair;
            if (letter == 'e')
            {
               if (options->expression != nullptr)
                  return UsageError("%s", "only one -e TEXT can be given");
               options->expression = value;
            }
            else if (!SplitAssignment(value, &pair))
            {
               return UsageError(letter == 'D' ? "-D needs NAME=VALUE, not '%s'" : "-m needs NAME=FILE, not '%s'",
                                 value);
            }
            else if (letter == 'D')
            {
               session->globals.push_back(pair);
            }
            else
            {
               options->modules.push_back(pair);
            }
            break;
         }
         switch (letter)
         {
            case 'c': options->checkOnly = true; break;
            case 'd': options->listing = true; break;
            case 'r': options->printResult = true; break;
            case 'i': options->forcePrompt = true; break;
            case 'h': fputs(USAGE, stdout); return EXIT_STATUS_OK;
            default:
            {
               char name[3] = {'-', letter, '\0'};
               return UsageError("unknown option '%s'", name);
            }
         }
      }
   }

   if (options->expression == nullptr && i < argc)
      options->script = argv[i++];
   for (; i < argc; i++)
      options->arguments.push_back(argv[i]);
   if (options->forcePrompt && (options->expression != nullptr || options->script != nullptr))
      return UsageError("%s", "-i cannot be combined with a script or -e");
   return -1;
}

bool ReadStream(FILE *stream, std::string *text)
{
   char buffer[16384];
   size_t n;
   while ((n = fread(buffer, 1, sizeof(buffer), stream)) > 0)
      text->append(buffer, n);
   return !ferror(stream);
}

bool ReadScriptFile(const char *path, std::string *text)
{
   uint32 size = 0;
   char *data = ORVALoadFile(path, &size);
   if (data == nullptr)
      return false;
   text->assign(data, size);
   free(data);
   return true;
}

void ReportFailure(const char *where, const char *text)
{
   fflush(stdout);
   fprintf(stderr, "orva: %s: %s\n", where, text != nullptr ? text : "failed");
}

// Compiles every -m module into the session's script library.
int LoadModules(const Options &options, Session *session)
{
   if (options.modules.empty())
      return -1;
   session->library = new ORVA_Library();
   uint32 id = 1;
   for (const auto &m : options.modules)
   {
      std::string text;
      if (!ReadScriptFile(m.second.c_str(), &text))
      {
         fprintf(stderr, "orva: cannot read module file '%s': %s\n", m.second.c_str(), strerror(errno));
         return EXIT_STATUS_USAGE;
      }
      PrepareSource(&text);
      std::string error;
      ORVA_Program *module = CompileText(text, &error);
      if (module == nullptr)
      {
         ReportFailure(m.second.c_str(), error.c_str());
         return EXIT_STATUS_COMPILE_ERROR;
      }
      if (!session->library->AddScript(id++, m.first.c_str(), module))
      {
         delete module;
         return UsageError("module '%s' is given more than once", m.first.c_str());
      }
   }
   return -1;
}

int RunOnce(const Options &options, const Session &session)
{
   std::string text;
   const char *where;
   if (options.expression != nullptr)
   {
      text = options.expression;
      where = "(command line)";
   }
   else if (options.script == nullptr || strcmp(options.script, "-") == 0)
   {
      where = "(stdin)";
      if (!ReadStream(stdin, &text))
      {
         fprintf(stderr, "orva: cannot read standard input: %s\n", strerror(errno));
         return EXIT_STATUS_USAGE;
      }
   }
   else
   {
      where = options.script;
      if (!ReadScriptFile(options.script, &text))
      {
         fprintf(stderr, "orva: cannot read script '%s': %s\n", options.script, strerror(errno));
         return EXIT_STATUS_USAGE;
      }
   }
   PrepareSource(&text);

   bool echo = false;
   std::string error;
   ORVA_Program *program;
   if (options.expression != nullptr)
   {
      Snippet snippet = ClassifySnippet(text);
      if (!snippet.ok)
      {
         ReportFailure(where, snippet.error.c_str());
         return EXIT_STATUS_COMPILE_ERROR;
      }
      echo = snippet.form == SnippetForm::Expression && !IsTopLevelAssignment(snippet.tokens);
      program = CompileText(snippet.form == SnippetForm::Statements ? StatementsAsMain(snippet, text, "", "")
                                                                    : text + SnippetEnd(text),
                            &error);
   }
   else
   {
      program = CompileText(text, &error);
   }
   if (program == nullptr)
   {
      ReportFailure(where, error.c_str());
      return EXIT_STATUS_COMPILE_ERROR;
   }
   std::unique_ptr<ORVA_Program> owner(program);

   if (options.listing)
   {
      program->Dump(stdout);
      fflush(stdout);
   }
   if (options.checkOnly)
      return EXIT_STATUS_OK;

   for (const auto &g : session.globals)
      program->SetGlobalVariable(g.first.c_str(), new ORVA_Value(g.second.c_str()));
   std::vector<ORVA_Value *> args;
   for (const char *a : options.arguments)
      args.push_back(new ORVA_Value(a));

   int rc = program->Run(NewEnvironment(session), static_cast<uint32>(args.size()), args.data(), nullptr,
                         nullptr);
   fflush(stdout);
   if (rc != 0)
   {
      ReportFailure(where, program->GetErrorText());
      return EXIT_STATUS_RUN_ERROR;
   }
   ORVA_Value *result = program->GetResult();
   if (options.printResult || (echo && result != nullptr && !result->IsNull()))
   {
      WriteValue(stdout, result);
      fputc('\n', stdout);
   }
   return EXIT_STATUS_OK;
}

}

int main(int argc, char **argv)
{
   Options options;
   Session session;
   int status = ParseCommandLine(argc, argv, &options, &session);
   if (status < 0)
      status = LoadModules(options, &session);
   if (status < 0)
   {
      bool prompt = options.expression == nullptr && options.script == nullptr &&
                    (options.forcePrompt || isatty(STDIN_FILENO));
      if (prompt)
         status = RunPrompt(session, isatty(STDIN_FILENO) != 0);
      else
         status = RunOnce(options, session);
   }
   delete session.library;
   fflush(stdout);
   return status;
}
