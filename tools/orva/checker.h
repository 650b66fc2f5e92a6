/*
 * The checks of `orva -c`: what a script does wrong that its compiler
 * cannot see and that would otherwise show only when the line runs.
 *
 *  - a call of a function that exists nowhere: not in the script, not in a
 *    module it uses, not among the built-ins, the extension functions or
 *    the command's own;
 *  - a call with a number of arguments the function does not take;
 *  - a variable that a function reads but never assigns (it holds null);
 *  - code after return, exit, break or continue in the same block.
 *
 * The checks look at tokens, not at a syntax tree, so each one is written
 * to stay quiet where it cannot be sure: a warning is always worth reading.
 */
#ifndef ORVA_CLI_CHECKER_H
#define ORVA_CLI_CHECKER_H

#include "cli.h"
#include "functions.h"
#include "source_scan.h"

#include <set>
#include <string>
#include <vector>

namespace orva_cli
{

struct Warning
{
   int line;
   std::string text;
};

// A function of a script: its name, parameters and the tokens of its body.
struct FunctionBody
{
   std::string name;
   int line = 0;
   std::vector<std::string> parameters;
   size_t open = 0, close = 0;   // token indices of its braces
};

std::vector<FunctionBody> FunctionBodies(const std::vector<Token> &tokens);

// The names a function reads and never assigns, with the line of each
// first read.  globals are names the host sets (-D), which need no
// assignment.
std::vector<std::pair<std::string, int>> UnassignedReads(const std::vector<Token> &tokens, const FunctionBody &body,
                                                         const std::set<std::string> &globals);

// The modules a script uses (also through its modules) that the session
// cannot find, by name, or "NAME` (FILE) does not compile" for one found
// that does not compile; the functions of the others are added to known.
std::vector<std::string> AddModuleFunctions(const std::vector<Token> &tokens, const Session &session,
                                            KnownFunctions *known);

// Every warning for a script that compiled, in the order of its lines.
std::vector<Warning> CheckScript(const std::string &source, const Session &session);

}

#endif
