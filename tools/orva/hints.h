/*
 * Notes that say what the library's error texts leave out: the name at
 * fault in a run-time error, and the fix for the syntax mistakes people
 * make most.  Each is one line of text without its location; empty when
 * the command has nothing sure to say.
 */
#ifndef ORVA_CLI_HINTS_H
#define ORVA_CLI_HINTS_H

#include "cli.h"

#include <set>
#include <string>

namespace orva_cli
{

// For a run of source that failed: the function that was not found (and
// the known name it is closest to), the argument counts of a bad call, or
// the variable that held null because nothing assigned it.  held are
// names that have values without an assignment in source (the prompt's
// variables).
std::string RunErrorNote(const ORVA_Program &program, const std::string &source, const Session &session,
                         const std::set<std::string> &held = std::set<std::string>());

// For a compile error at line of source: `n-1`, `x += 2`, `for (...)`,
// `a[i]++` and a backslash before a text's closing quote.
std::string SyntaxHint(const std::string &source, int line);

}

#endif
