/*
 * What a host function can learn of the run that called it, beyond its
 * arguments: the environment of the run, and a text of its own for the
 * error code it returns.  Both are kept per thread, since separate programs
 * may run on separate threads at once and a host function is always called
 * on the thread of its run.
 */
#ifndef ORVA_HOST_CONTEXT_H
#define ORVA_HOST_CONTEXT_H

#include "orva.h"

/*
 * Marks a run on the calling thread for as long as it lives: the run's
 * environment becomes the current one.  A run started from a host function
 * of another run nests; its end gives the outer run back its environment
 * and the error text its host function may have set before.
 */
class ORVA_RunContext
{
public:
   explicit ORVA_RunContext(ORVA_Environment *env);
   ~ORVA_RunContext() { End(); }
   void End();   // the run's environment is about to go
   ORVA_RunContext(const ORVA_RunContext &) = delete;
   ORVA_RunContext &operator=(const ORVA_RunContext &) = delete;

private:
   ORVA_Environment *m_outer;
   char *m_outerMessage;   // heap copy, or null when none was set
   bool m_ended = false;
};

/* Forgets a text set earlier: called before every host function. */
void ClearHostErrorMessage();

/* The text the host function just called set, or null. */
const char *HostErrorMessage();

#endif
