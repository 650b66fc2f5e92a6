/*
 * orva: compiles an ORVA script and runs it, or reads inputs at a prompt.
 */
#include "checker.h"
#include "cli.h"
#include "dap_session.h"
#include "debugger.h"
#include "diagnostics.h"
#include "hints.h"
#include "interrupt.h"
#include "listing.h"
#include "profile.h"
#include "prompt.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

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
   "that starts with \"#!\" and a UTF-8 byte-order mark are ignored.  Printed\n"
   "output goes to standard output; errors go to standard error as\n"
   "FILE:LINE: error: MESSAGE.\n"
   "\n"
   "Options:\n"
   "  -e TEXT        run TEXT instead of a script file: functions, a bare\n"
   "                 expression (its value is printed unless it is null or an\n"
   "                 assignment) or statements (run as the body of main)\n"
   "  -c, --check    check the script without running it: its syntax, then calls\n"
   "                 of functions that exist nowhere or with a wrong number of\n"
   "                 arguments, variables read but never assigned, and code\n"
   "                 after return; each finding is FILE:LINE: warning: TEXT\n"
   "  --strict       with -c: exit with status 5 when there is a warning\n"
   "  -d             print the program listing before running\n"
   "  -r             print the result of the run (the value main returned)\n"
   "  -D NAME=VALUE  set the global variable NAME before the run; VALUE that\n"
   "                 reads as a number is a number (repeatable)\n"
   "  -m NAME=FILE   compile FILE into the script library as module NAME, so\n"
   "                 that \"use NAME;\" finds it first (repeatable)\n"
   "  -L DIR         look for module files in DIR too (repeatable)\n"
   "  --language N   compile at language level N: 1 (the default) or 2, which\n"
   "                 adds text keys, for loops, += and the like, ??, short-\n"
   "                 circuit && and ||, and [..] and {..} literals; modules\n"
   "                 and prompt inputs are compiled at the same level\n"
   "  --max-instructions N\n"
   "                 stop a run after N instructions (work on long texts and\n"
   "                 arrays counts in proportion); 0 means no limit\n"
   "  --timeout SECONDS\n"
   "                 stop a run after SECONDS of wall-clock time (decimals\n"
   "                 allowed, such as 0.5); 0 means no limit\n"
   "  --max-memory SIZE\n"
   "                 stop a run that would hold more than SIZE bytes (suffix K,\n"
   "                 M or G for units of 1024, 1024^2, 1024^3); 0 means no limit\n"
   "  --profile[=FORMAT]\n"
   "                 profile the run: where its instructions and time go, by\n"
   "                 function and by line (calls, self and total), as a table on\n"
   "                 standard error; FORMAT folded writes folded stacks (for\n"
   "                 flame-graph tools), svg:FILE a flame graph picture;\n"
   "                 folded-time and svg-time weigh by time, and :FILE after any\n"
   "                 format writes to FILE (- for standard output).  The run\n"
   "                 takes longer (up to 6 times), its results the same\n"
   "  --dap          serve the Debug Adapter Protocol on standard input and\n"
   "                 output, for editors that debug scripts through it; the\n"
   "                 editor's launch request names the script and its ARGs\n"
   "  --debug        run SCRIPT under the command-line debugger: breakpoints,\n"
   "                 steps, the calls and variables of the paused script;\n"
   "                 \"help\" at its prompt lists the commands\n"
   "  -i             read inputs at a prompt: after SCRIPT or -e has run, with\n"
   "                 its functions; alone, even when standard input is not a\n"
   "                 terminal (no prompts are shown then)\n"
   "  -h, --help     show this help and exit\n"
   "  -v, --version  show the version and exit\n"
   "  --             end of options: the next word is SCRIPT\n"
   "\n"
   "Modules: \"use NAME;\" takes the -m module NAME, else the first file NAME.orva\n"
   "in the directory of SCRIPT, in each -L DIR, in each directory of the\n"
   "ORVA_PATH environment variable (separated by ':') and in the current\n"
   "directory.\n"
   "\n"
   "Scripts run by orva have the extension functions (split, join, format,\n"
   "sort, sqrt, readline, readfile, writefile, getenv, ...) and argc(), the\n"
   "number of ARGs, and exitstatus(N), which sets the status the command exits\n"
   "with when the run completes (N from 0 to 125); see the language guide.\n"
   "\n"
   "Prompt: with no SCRIPT and no -e, and a terminal on standard input (or -i),\n"
   "orva reads one input per line.  A bare expression prints its value;\n"
   "statements run as the body of main; functions and use statements are kept\n"
   "for later inputs (a text that defines main runs at once).  Variables assigned\n"
   "at the prompt persist as local variables of the next inputs, unless the input\n"
   "stops with an error or leaves early with return or exit; a variable holding\n"
   "null is forgotten.  -D globals persist as globals.  An input continues on the\n"
   "next line while it is unfinished: an open bracket, a line that ends with an\n"
   "if, while or switch header, else or do.  A complete if statement waits for\n"
   "one more line, which may start with its else (an empty line runs it).  An\n"
   "empty line drops an unfinished input, and so does Ctrl-C, which also stops an\n"
   "input that is running.  After -i with a script, main() calls the script's\n"
   "main.  With line editing, inputs are kept in ~/.orva_history and the up\n"
   "arrow recalls a whole input.  \"exit\", \"quit\" or the end of input leaves\n"
   "the prompt.\n"
   "\n"
   "Exit status:\n"
   "  0  the run completed (also by an exit statement), the check passed, or the\n"
   "     prompt reached the end of its input\n"
   "  1  the run stopped with a run-time error (also when a text grew past what\n"
   "     the library can hold, or the memory ran out without --max-memory)\n"
   "  2  usage error, or a script or module file that cannot be read\n"
   "  3  compile error in the script or in a -m module, or an empty script\n"
   "  4  the run was stopped by --max-instructions, --timeout or --max-memory\n"
   "  5  -c --strict found warnings\n"
   "  N  the run completed after the script called exitstatus(N), N from 0 to\n"
   "     125; a check script uses the monitoring convention 0 OK, 1 WARNING,\n"
   "     2 CRITICAL, 3 UNKNOWN (a run that fails has the status of its failure)\n"
   "  130  Ctrl-C stopped the run\n";

// The options, by letter and long name.  An option with a value name takes
// the rest of its word or the next word ("-DNAME=1", "-D NAME=1",
// "--name=VALUE", "--name VALUE").
enum OptionId
{
   OPT_EXPRESSION,
   OPT_CHECK,
   OPT_STRICT,
   OPT_LISTING,
   OPT_RESULT,
   OPT_DEFINE,
   OPT_MODULE,
   OPT_SEARCH_DIR,
   OPT_PROMPT,
   OPT_DAP,
   OPT_DEBUG,
   OPT_MAX_INSTRUCTIONS,
   OPT_TIMEOUT,
   OPT_MAX_MEMORY,
   OPT_PROFILE,
   OPT_LANGUAGE,
   OPT_HELP,
   OPT_VERSION
};

struct OptionEntry
{
   OptionId id;
   char letter;            // 0: long name only
   const char *longName;   // null: letter only
   const char *valueName;  // null: takes no value; "[NAME]": only as --name=VALUE
};

const OptionEntry s_options[] = {
   {OPT_EXPRESSION, 'e', nullptr, "TEXT"},
   {OPT_CHECK, 'c', "check", nullptr},
   {OPT_STRICT, 0, "strict", nullptr},
   {OPT_LISTING, 'd', nullptr, nullptr},
   {OPT_RESULT, 'r', nullptr, nullptr},
   {OPT_DEFINE, 'D', nullptr, "NAME=VALUE"},
   {OPT_MODULE, 'm', nullptr, "NAME=FILE"},
   {OPT_SEARCH_DIR, 'L', nullptr, "DIR"},
   {OPT_PROMPT, 'i', nullptr, nullptr},
   {OPT_DAP, 0, "dap", nullptr},
   {OPT_DEBUG, 0, "debug", nullptr},
   {OPT_MAX_INSTRUCTIONS, 0, "max-instructions", "N"},
   {OPT_TIMEOUT, 0, "timeout", "SECONDS"},
   {OPT_MAX_MEMORY, 0, "max-memory", "SIZE"},
   {OPT_PROFILE, 0, "profile", "[FORMAT]"},
   {OPT_LANGUAGE, 0, "language", "N"},
   {OPT_HELP, 'h', "help", nullptr},
   {OPT_VERSION, 'v', "version", nullptr},
};

struct Options
{
   const char *expression = nullptr;   // -e TEXT
   const char *script = nullptr;       // SCRIPT, or null
   bool checkOnly = false;
   bool strict = false;   // warnings of the check fail it
   bool listing = false;
   bool printResult = false;
   bool prompt = false;
   bool profile = false;
   ProfileRequest profileRequest;
   bool dap = false;   // --dap: the editor sends the script
   bool debug = false;   // --debug
   std::vector<std::pair<std::string, std::string>> modules;   // -m NAME=FILE
   std::vector<std::string> searchDirs;                         // -L DIR
   std::vector<const char *> arguments;
};

const int GO_ON = -1;

int UsageError(const std::string &text)
{
   fprintf(stderr, "orva: %s\nTry 'orva --help' for more information.\n", text.c_str());
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

// Takes in one option; GO_ON, or an exit status.
int ApplyOption(const OptionEntry &option, const char *value, Options *options, Session *session)
{
   std::pair<std::string, std::string> pair;
   switch (option.id)
   {
      case OPT_EXPRESSION:
         if (options->expression != nullptr)
            return UsageError("only one -e TEXT can be given");
         options->expression = value;
         break;
      case OPT_DEFINE:
         if (!SplitAssignment(value, &pair))
            return UsageError(std::string("-D needs NAME=VALUE, not '") + value + "'");
         session->globals.push_back(pair);
         break;
      case OPT_MODULE:
         if (!SplitAssignment(value, &pair))
            return UsageError(std::string("-m needs NAME=FILE, not '") + value + "'");
         options->modules.push_back(pair);
         break;
      case OPT_SEARCH_DIR:
         if (*value == '\0')
            return UsageError("-L needs a directory");
         options->searchDirs.push_back(value);
         break;
      case OPT_MAX_INSTRUCTIONS:
         if (!ParseCount(value, &session->limits.instructions))
            return UsageError(std::string("--max-instructions needs a whole number, not '") + value + "'");
         break;
      case OPT_TIMEOUT:
         if (!ParseSeconds(value, &session->limits.milliseconds))
            return UsageError(std::string("--timeout needs seconds up to 4294967, not '") + value + "'");
         break;
      case OPT_MAX_MEMORY:
         if (!ParseSize(value, &session->limits.memoryBytes))
            return UsageError(std::string("--max-memory needs a size such as 512K, 64M or 2G, not '") + value + "'");
         break;
      case OPT_PROFILE:
         options->profile = true;
         if (!ParseProfileFormat(value, &options->profileRequest))
            return UsageError(std::string("--profile takes table, folded, folded-time, svg:FILE or svg-time:FILE, not '") +
                              value + "'");
         break;
      case OPT_LANGUAGE:
         if (strcmp(value, "1") != 0 && strcmp(value, "2") != 0)
            return UsageError(std::string("--language needs 1 or 2, not '") + value + "'");
         SetLanguage(value[0] == '1' ? ORVA_LANGUAGE_1 : ORVA_LANGUAGE_2);
         break;
      case OPT_CHECK: options->checkOnly = true; break;
      case OPT_STRICT: options->strict = true; break;
      case OPT_LISTING: options->listing = true; break;
      case OPT_RESULT: options->printResult = true; break;
      case OPT_PROMPT: options->prompt = true; break;
      case OPT_DAP: options->dap = true; break;
      case OPT_DEBUG: options->debug = true; break;
      case OPT_HELP: fputs(USAGE, stdout); return EXIT_STATUS_OK;
      case OPT_VERSION: printf("orva %s\n", ORVA_VERSION_STRING); return EXIT_STATUS_OK;
   }
   return GO_ON;
}

std::string OptionName(const OptionEntry &option)
{
   return option.letter != 0 ? std::string("-") + option.letter : std::string("--") + option.longName;
}

// Parses the command line into options and the session's globals; GO_ON, or
// an exit status.
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
      if (arg[0] != '-' || arg[1] == '\0')
         break;   // SCRIPT, or "-" for standard input

      if (arg[1] == '-')
      {
         const char *name = arg + 2;
         const char *eq = strchr(name, '=');
         size_t length = eq != nullptr ? static_cast<size_t>(eq - name) : strlen(name);
         const OptionEntry *option = nullptr;
         for (const OptionEntry &s : s_options)
            if (s.longName != nullptr && strlen(s.longName) == length && strncmp(s.longName, name, length) == 0)
               option = &s;
         if (option == nullptr)
            return UsageError(std::string("unknown option '") + arg + "'");
         const char *value = nullptr;
         if (option->valueName != nullptr && option->valueName[0] == '[')
         {
            value = eq != nullptr ? eq + 1 : "";
         }
         else if (option->valueName != nullptr)
         {
            value = eq != nullptr ? eq + 1 : (i + 1 < argc ? argv[++i] : nullptr);
            if (value == nullptr)
               return UsageError("option " + OptionName(*option) + " needs a value");
         }
         else if (eq != nullptr)
         {
            return UsageError(std::string("option --") + option->longName + " takes no value");
         }
         int status = ApplyOption(*option, value, options, session);
         if (status != GO_ON)
            return status;
         continue;
      }

      // A group of one-letter options; one that takes a value ends the group
      // and takes the rest of the word or the next word.
      for (const char *p = arg + 1; *p != '\0'; p++)
      {
         const OptionEntry *option = nullptr;
         for (const OptionEntry &s : s_options)
            if (s.letter == *p)
               option = &s;
         if (option == nullptr)
            return UsageError(std::string("unknown option '-") + *p + "'");
         const char *value = nullptr;
         if (option->valueName != nullptr)
         {
            value = p[1] != '\0' ? p + 1 : (i + 1 < argc ? argv[++i] : nullptr);
            if (value == nullptr)
               return UsageError("option " + OptionName(*option) + " needs a value");
         }
         int status = ApplyOption(*option, value, options, session);
         if (status != GO_ON)
            return status;
         if (value != nullptr)
            break;
      }
   }

   if (options->expression == nullptr && i < argc)
      options->script = argv[i++];
   for (; i < argc; i++)
      options->arguments.push_back(argv[i]);
   if (options->profile && (options->prompt || options->checkOnly || options->debug || options->dap))
      return UsageError("--profile profiles one run: it goes with neither -c, -i, --debug nor --dap");
   if (options->dap && (options->script != nullptr || options->expression != nullptr || options->prompt ||
                        options->checkOnly || options->debug))
      return UsageError("--dap takes no script, -e, -i, -c or --debug: the editor's launch request names the script");
   if (options->strict && !options->checkOnly)
      return UsageError("--strict goes with -c (--check)");
   if (options->debug && (options->script == nullptr || strcmp(options->script, "-") == 0 || options->prompt ||
                          options->checkOnly))
      return UsageError("--debug needs a SCRIPT file (its commands come from standard input), without -e, -i or -c");
   if (options->prompt && options->script != nullptr && strcmp(options->script, "-") == 0)
      return UsageError("-i cannot read inputs from standard input after a script read from it");
   return GO_ON;
}

// Compiles every -m module into the session's script library.
int LoadModules(const Options &options, Session *session)
{
   if (options.modules.empty())
      return GO_ON;
   session->library = new ORVA_Library();
   uint32 id = 1;
   for (const auto &m : options.modules)
   {
      std::string text;
      if (!LoadSource(m.second, &text))
      {
         fprintf(stderr, "orva: cannot read module file '%s': %s\n", m.second.c_str(), strerror(errno));
         return EXIT_STATUS_USAGE;
      }
      ErrorText error;
      ORVA_Program *module = CompileText(text, &error);
      if (module == nullptr)
      {
         fputs(DescribeCompileError(m.second, text, error, true).c_str(), stderr);
         return EXIT_STATUS_COMPILE_ERROR;
      }
      if (!session->library->AddScript(id++, m.first.c_str(), module))
      {
         delete module;
         return UsageError("module '" + m.first + "' is given more than once");
      }
      session->modulePath.AddLibraryFile(m.first, m.second);
   }
   return GO_ON;
}

// The script as the user gave it: its text and the name messages use.
struct Script
{
   std::string text;
   std::string where;
   bool snippet = false;   // -e TEXT, which may also be statements
};

int ReadScript(const Options &options, Script *script)
{
   if (options.expression != nullptr)
   {
      script->text = options.expression;
      PrepareSource(&script->text);
      script->where = "(command line)";
      script->snippet = true;
   }
   else if (options.script == nullptr || strcmp(options.script, "-") == 0)
   {
      script->where = "(stdin)";
      if (!LoadSource(stdin, &script->text))
      {
         fprintf(stderr, "orva: cannot read standard input: %s\n", strerror(errno));
         return EXIT_STATUS_USAGE;
      }
   }
   else
   {
      script->where = options.script;
      if (!LoadSource(options.script, &script->text))
      {
         fprintf(stderr, "orva: cannot read script '%s': %s\n", options.script, strerror(errno));
         return EXIT_STATUS_USAGE;
      }
   }
   if (!HasTokens(script->text))
   {
      fflush(stdout);
      fprintf(stderr, "%serror: the script is empty: write functions such as `sub main()`, or one expression\n",
              Location(script->where, 0).c_str());
      return EXIT_STATUS_COMPILE_ERROR;
   }
   return GO_ON;
}

void ReportError(const std::string &lines)
{
   fflush(stdout);
   fputs(lines.c_str(), stderr);
}

// Prints the check's warnings; the exit status of the check.
int Check(const Options &options, const Session &session, const Script &script, const std::string &compiled)
{
   std::vector<Warning> warnings = CheckScript(compiled, session);
   fflush(stdout);
   for (const Warning &w : warnings)
      fprintf(stderr, "%swarning: %s\n", Location(script.where, w.line).c_str(), w.text.c_str());
   return options.strict && !warnings.empty() ? EXIT_STATUS_WARNINGS : EXIT_STATUS_OK;
}

int RunOnce(const Options &options, const Session &session, const Script &script)
{
   bool echo = false;
   ErrorText error;
   std::string compiled = script.text;
   if (script.snippet)
   {
      Snippet snippet = ClassifySnippet(script.text);
      if (!snippet.ok)
      {
         ReportError(DescribeCompileError(script.where, script.text, snippet.error, false));
         return EXIT_STATUS_COMPILE_ERROR;
      }
      echo = snippet.form == SnippetForm::Expression && !IsTopLevelAssignment(snippet.tokens);
      compiled = snippet.form == SnippetForm::Statements ? StatementsAsMain(snippet, script.text, "", "")
                                                         : script.text + SnippetEnd(script.text);
   }
   ORVA_Program *program = CompileText(compiled, &error);
   if (program == nullptr)
   {
      ReportError(DescribeCompileError(script.where, script.text, error, !script.snippet));
      return EXIT_STATUS_COMPILE_ERROR;
   }
   std::unique_ptr<ORVA_Program> owner(program);

   if (options.listing)
   {
      fputs(ProgramListing(program).c_str(), stdout);
      fflush(stdout);
   }
   if (options.checkOnly)
   {
      // The checks read the text alone: the program's memory goes back
      // before theirs is taken.
      owner.reset();
      return Check(options, session, script, compiled);
   }

   for (const auto &g : session.globals)
      program->SetGlobalVariable(g.first.c_str(), new ORVA_Value(g.second.c_str()));
   std::vector<ORVA_Value *> args;
   for (const char *a : options.arguments)
      args.push_back(new ORVA_Value(a));

   ModuleRecord record;
   int scriptStatus = -1;
   ORVA_Environment *env = NewEnvironment(session, &record, &scriptStatus);
   ORVA_Profile profile;
   if (options.profile)
      env->SetProfile(&profile);
   int rc;
   {
      WatchedRun watch(program);
      rc = program->Run(env, static_cast<uint32>(args.size()), args.data(), nullptr, nullptr);
   }
   // A failed run has a profile too: where it went until it failed.
   if (options.profile)
   {
      fflush(stdout);
      WriteProfile(profile, options.profileRequest, script.where);
   }
   // A Ctrl-C the run did not stop at (it came while the script waited for
   // input, which then ended) still ends the command as interrupted.
   const bool interrupted = TakeInterrupt();
   fflush(stdout);
   if (rc != 0)
   {
      std::string note;
      int status = EXIT_STATUS_RUN_ERROR;
      if (program->GetStopReason() != ORVA_STOP_NONE)
         status = StoppedStatus(*program);
      else
         note = RunErrorNote(*program, compiled, session);
      ReportError(DescribeRunError(script.where, script.text, RunErrorOf(*program),
                                   TraceOf(*program), record, session.modulePath, note));
      return status;
   }
   if (interrupted)
   {
      ReportError(Location(script.where, 0) + "interrupted\n");
      return EXIT_STATUS_INTERRUPTED;
   }
   ORVA_Value *result = program->GetResult();
   if (options.printResult || (echo && result != nullptr && !result->IsNull()))
   {
      WriteValue(stdout, result);
      fputc('\n', stdout);
   }
   return scriptStatus >= 0 ? scriptStatus : EXIT_STATUS_OK;
}

}

int main(int argc, char **argv)
{
   Options options;
   Session session;
   CatchInterrupts();
   int status = ParseCommandLine(argc, argv, &options, &session);
   if (status == GO_ON)
   {
      bool fromFile = options.expression == nullptr && options.script != nullptr && strcmp(options.script, "-") != 0;
      session.modulePath.Set(fromFile ? options.script : "", options.searchDirs, getenv("ORVA_PATH"));
      session.argumentCount = static_cast<uint32>(options.arguments.size());
      status = LoadModules(options, &session);
   }
   if (status == GO_ON && options.dap)
   {
      status = RunDapServer(session, options.searchDirs);
   }
   else if (status == GO_ON)
   {
      bool terminal = isatty(STDIN_FILENO) != 0;
      bool scriptGiven = options.expression != nullptr || options.script != nullptr;
      if (options.debug)
      {
         Script script;
         status = ReadScript(options, &script);
         if (status == GO_ON)
            status = RunDebugger(session, script.where, script.text, options.arguments, terminal);
      }
      else if (!scriptGiven && (options.prompt || terminal))
      {
         status = RunPrompt(session, terminal, nullptr);
      }
      else
      {
         Script script;
         status = ReadScript(options, &script);
         if (status == GO_ON)
            status = RunOnce(options, session, script);
         // -i after a script: the prompt starts with the script's functions,
         // whatever became of its run.
         if (options.prompt && status != EXIT_STATUS_USAGE)
            status = RunPrompt(session, terminal, status == EXIT_STATUS_COMPILE_ERROR ? nullptr : &script.text);
      }
   }
   delete session.library;
   fflush(stdout);
   return status;
}
