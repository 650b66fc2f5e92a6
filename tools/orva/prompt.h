/*
 * The interactive prompt.  Each input is compiled and run on its own:
 *
 * - a bare expression prints its value (not null values, not assignments);
 * - statements run as the body of main ("x = 1;", "println x", loops...);
 * - function definitions and use statements are remembered and compiled into
 *   every later input; defining a function again replaces it, and a text
 *   that defines main runs at once instead of being remembered;
 * - variables assigned at the prompt persist: they are handed to the next
 *   input as local variables of its main, so functions do not see them.
 *   A variable that holds null is forgotten.  An input that stops with an
 *   error, or leaves main early with return or exit, keeps none of its own
 *   assignments;
 * - globals given with -D stay globals: every function sees them, and what
 *   an input assigns to them persists even when it stops with an error.
 *
 * An input continues on the next line while it is unfinished: an open
 * bracket or comment, a line that ends with an if, while, for or switch
 * header, else or do, or a text that ends inside an expression.  A complete if
 * statement waits for one more line, which may start with its else.  An
 * empty line drops an unfinished input.  "exit" or "quit" alone, or the end
 * of input, leaves the prompt.
 */
#ifndef ORVA_CLI_PROMPT_H
#define ORVA_CLI_PROMPT_H

#include "cli.h"

namespace orva_cli
{

// Reads inputs from standard input until its end; returns the exit status.
// script, when given, is a script whose functions (all but main) and use
// statements the prompt starts with.
int RunPrompt(const Session &session, bool terminal, const std::string *script);

}

#endif
