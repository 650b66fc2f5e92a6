/*
 * Ctrl-C.  While a run is under way it asks the run to stop (the run ends
 * at its next checkpoint, with its trail); a second Ctrl-C before the run
 * has stopped ends the command, for a run stuck where no checkpoint comes.
 * Outside runs the line reader's hook drops the line being typed.
 */
#ifndef ORVA_CLI_INTERRUPT_H
#define ORVA_CLI_INTERRUPT_H

#include "orva.h"

namespace orva_cli
{

// The exit status of a command ended by Ctrl-C, as shells report it.
const int EXIT_STATUS_INTERRUPTED = 130;

void CatchInterrupts();

// Called from the signal handler when no run is under way.
void SetInterruptHook(void (*hook)());

// True once for each Ctrl-C since the last call.
bool TakeInterrupt();

// While a debugged run goes on (null: none does, or it is paused), Ctrl-C
// asks it to pause instead; a second Ctrl-C before it pauses ends the
// command, as for a run that does not stop.
void WatchDebuggedRun(ORVA_Debugger *debugger);

// While one exists, Ctrl-C stops that program's run.
class WatchedRun
{
public:
   explicit WatchedRun(ORVA_Program *program);
   ~WatchedRun();
   WatchedRun(const WatchedRun &) = delete;
   WatchedRun &operator=(const WatchedRun &) = delete;
};

}

#endif
