/*
 * The command's error messages, in the form editors and build tools read:
 *
 *     FILE:LINE: error: MESSAGE           a compile error
 *     FILE:LINE: error CODE: MESSAGE      a run-time error
 *     FILE: error CODE: MESSAGE           a run-time error before main runs
 *     FILE:LINE: note: ...                what helps to mend the one above
 *
 * Under a run-time error inside a function that main called, the calls that
 * led there follow as notes, innermost first, like a traceback:
 *
 *     FILE:LINE: note: in FUNCTION()
 *     FILE:LINE: note: called from FUNCTION()
 *
 * The library's texts stay as they are; the command writes its own from
 * the parts the library gives.  Syntax errors name tokens as a user writes them
 * ('println', name, number, end of input) rather than by the grammar's names.
 */
#ifndef ORVA_CLI_DIAGNOSTICS_H
#define ORVA_CLI_DIAGNOSTICS_H

#include "modules.h"

#include <functional>
#include <string>
#include <vector>

namespace orva_cli
{

// The error of a program's failed run, from the parts the library gives.
ErrorText RunErrorOf(const ORVA_Program &program);

// "syntax error, unexpected T_IDENTIFIER, expecting $end" as
// "syntax error, unexpected name, expecting end of input".
std::string ReadableSyntaxError(const std::string &message);

// The lines that report a compile error of source, which was read from
// where ("(command line)" and the like for text that has no file).  Each
// line ends with a line feed.  hint adds a note where a file holds
// statements outside every function; a syntax mistake the command knows
// gets a note with its fix.
std::string DescribeCompileError(const std::string &where, const std::string &source, const ErrorText &error,
                                 bool hint);

// Tells for a line of a compiled text where it came from: the name for
// messages and the line there.
typedef std::function<void(int line, std::string *where, int *lineThere)> LineLocator;

// One line of the library's call trail: a call, or (omitted > 0) the
// calls a deep trail leaves out.
struct TraceFrame
{
   std::string function;
   int line = 0;
   std::string module;   // the module that brought the function, or empty
   unsigned long omitted = 0;
};

// The call trail of a program's failed run, from the parts the library gives.
std::vector<TraceFrame> TraceOf(const ORVA_Program &program);

// The lines that report a failed run of source (RunErrorOf), with its call
// trail (TraceOf).  A line in a module's function names the module's file;
// record tells which files the modules came from and which module stopped
// the run, path where it was looked for.
// note, when not empty, follows the error line as a note at its place.
std::string DescribeRunError(const std::string &where, const std::string &source, const ErrorText &error,
                             const std::vector<TraceFrame> &trace, const ModuleRecord &record,
                             const ModulePath &path, const std::string &note = std::string());
std::string DescribeRunError(const LineLocator &locate, const std::string &source, const ErrorText &error,
                             const std::vector<TraceFrame> &trace, const ModuleRecord &record,
                             const ModulePath &path, const std::string &note = std::string());

// "WHERE:LINE: " with the line left out when it is 0 or below, or "orva: "
// and the line in words when where is empty.
std::string Location(const std::string &where, int line);

}

#endif
