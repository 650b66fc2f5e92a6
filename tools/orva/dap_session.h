/*
 * orva --dap: a Debug Adapter Protocol server on standard input and output,
 * for editors that debug through the protocol.  One session debugs one
 * launch of one script.
 */
#ifndef ORVA_CLI_DAP_SESSION_H
#define ORVA_CLI_DAP_SESSION_H

#include "cli.h"

#include <string>
#include <vector>

namespace orva_cli
{

// Serves one session; the command's exit status: 0 when the session ended
// by a disconnect or by the end of the input, 1 when the input stopped
// speaking the protocol.  The launched script gets what the command line
// gave (-D globals, -m modules, the limits, -L directories), and the launch
// request's own limits and module paths on top.
int RunDapServer(const Session &base, const std::vector<std::string> &searchDirs);

}

#endif
