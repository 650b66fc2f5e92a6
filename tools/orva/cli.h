/*
 * Pieces shared by the orva command's one-shot runs and its prompt.  The
 * command uses the library's public interface only, so it links against a
 * shared build as well as a static one.
 */
#ifndef ORVA_CLI_H
#define ORVA_CLI_H

#include "modules.h"
#include "orva.h"
#include "source_scan.h"

#include <string>
#include <utility>
#include <vector>

namespace orva_cli
{

// Exit statuses of the command, as its usage text documents them.
enum ExitStatus
{
   EXIT_STATUS_OK = 0,
   EXIT_STATUS_RUN_ERROR = 1,
   EXIT_STATUS_USAGE = 2,
   EXIT_STATUS_COMPILE_ERROR = 3,
   EXIT_STATUS_STOPPED = 4,   // a limit of the run stopped it
   EXIT_STATUS_WARNINGS = 5   // -c --strict found warnings
};

// The bounds every run gets (0: none).
struct RunLimits
{
   uint64 instructions = 0;   // --max-instructions
   uint32 milliseconds = 0;   // --timeout
   uint64 memoryBytes = 0;    // --max-memory
};

// The values of the limit options; false for text that is not one.
bool ParseCount(const char *text, uint64 *count);        // a whole number
bool ParseSeconds(const char *text, uint32 *milliseconds);   // seconds, decimals allowed
bool ParseSize(const char *text, uint64 *bytes);          // bytes, or K, M or G of them

// What every run of one command invocation shares.
struct Session
{
   std::vector<std::pair<std::string, std::string>> globals;   // -D NAME=VALUE, in order
   ORVA_Library *library = nullptr;                            // -m modules, or null
   ModulePath modulePath;                                      // where "use" finds module files
   uint32 argumentCount = 0;                                   // what argc() tells scripts
   RunLimits limits;                                           // for every run, at the prompt too
};

// A fresh environment for one run: printed output to standard output, the
// extension functions with input and output, the command's own functions,
// the session's script library and module search; record learns which
// modules the run linked; status, when given, receives what the script
// passes to exitstatus() (it stays as it is when the script does not call it).
ORVA_Environment *NewEnvironment(const Session &session, ModuleRecord *record, int *status = nullptr);

// The exit status of a run that a limit, Ctrl-C or a stop request ended.
int StoppedStatus(const ORVA_Program &program);

// Compiles text at the command's language level (--language, level 1
// unless given); on failure returns null and stores the error's parts.
ORVA_Program *CompileText(const std::string &text, ErrorText *error);
void SetLanguage(int language);
int Language();

// Writes a value for a person to read: text and numbers as their text, null
// as "null", arrays as [index: element, ...] and objects by class name.
void WriteValue(FILE *stream, ORVA_Value *value);

// Replaces zero bytes by spaces, as the library does for script files,
// drops a UTF-8 byte-order mark and blanks out a first line that starts with
// "#!" so that scripts can be made executable; line numbers stay as they
// were.
void PrepareSource(std::string *text);

// Reads a script or module file (any file that can be read to its end, such
// as /dev/stdin) and prepares it as above.  A last line without its line
// feed gets one, so that a // comment there ends where it should.  false
// when the file cannot be read.
bool LoadSource(const std::string &path, std::string *text);
bool LoadSource(FILE *stream, std::string *text);

// Reads and prepares a module file as LoadSource does, through the
// library's loader: read while a run links, the file counts against the
// run's time, and one the time runs out on is not read to its end (false,
// as for a file that cannot be read; the run has stopped then).
bool LoadModuleSource(const std::string &path, std::string *text);

// The forms in which a text typed at the prompt or given with -e can run.
enum class SnippetForm
{
   Module,       // functions and use statements, as a script file
   Expression,   // a bare expression: main returns its value
   Statements    // statements, run as the body of main
};

struct Snippet
{
   bool ok = false;
   SnippetForm form = SnippetForm::Expression;
   bool addSemicolon = false;   // a simple statement typed without its ';'
   bool incomplete = false;     // the text stops before a construct ends
   ErrorText error;             // the most telling compile error when !ok
   std::vector<Token> tokens;
};

Snippet ClassifySnippet(const std::string &text);

// What closes a snippet before code that the command adds after it: a line
// end when the text may end in a line comment, which only a line end closes,
// else a space, so that errors at the end keep the snippet's line number.
const char *SnippetEnd(const std::string &text);

// The text of a program whose main runs the statements of a snippet,
// followed by tail (more statements) and extra (more definitions).  The
// snippet starts on the first line, so error line numbers stay its own.
std::string StatementsAsMain(const Snippet &snippet, const std::string &text,
                             const std::string &tail, const std::string &extra);

}

#endif
