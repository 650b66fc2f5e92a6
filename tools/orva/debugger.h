/*
 * orva --debug SCRIPT [ARG]...: the script run under a command-line
 * debugger in the manner of gdb, reading commands with the prompt's line
 * editor.  A run-time error stops in the debugger at the failing line
 * instead of ending the run at once.
 */
#ifndef ORVA_CLI_DEBUGGER_H
#define ORVA_CLI_DEBUGGER_H

#include "cli.h"

#include <string>
#include <vector>

namespace orva_cli
{

// Debugs the script text (read from where); the command's exit status.
int RunDebugger(const Session &session, const std::string &where, const std::string &text,
                const std::vector<const char *> &arguments, bool terminal);

}

#endif
