/*
 * The adapter's view into a run: the engine's debugging interface attached
 * to the run, breakpoints, and the answers about a held run (its stack, its
 * scopes and variables, element paths).  Its questions are asked on the
 * run's thread while the run is held (DapRun::WhileHeld).
 */
#ifndef ORVA_CLI_DAP_INSPECT_H
#define ORVA_CLI_DAP_INSPECT_H

#include "dap_run.h"
#include "dap_values.h"

namespace orva_cli
{

class DapRun::Inspector
{
public:
   explicit Inspector(DapRun *run) : m_run(run) {}

   void Attach(ORVA_Program *program, const DapLaunch &launch);
   void BeforeRun(ORVA_Environment *env);
   void AfterRun();

   std::vector<int> SetBreakpoints(const std::string &module, const std::vector<int> &lines);
   void SetStopOnErrors(bool on);
   void RequestPause();   // from any thread

   // Bodies of the responses, from the requests' arguments.
   Json StackTrace(const Json &args);
   Json Scopes(const Json &args);
   Json Variables(const Json &args);
   Json Evaluate(const Json &args, std::string *error);

   void Forget() { m_values.Forget(); }

private:
   DapRun *m_run;
   ORVA_Program *m_program = nullptr;
   DapLaunch m_launch;
   DapValues m_values;
};

}

#endif
