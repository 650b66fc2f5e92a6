/*
 * The adapter's view into a run: the engine's debugging interface attached
 * to the run, breakpoints, and the answers about a held run (its stack, its
 * scopes and variables, element paths).  Its questions are asked on the
 * run's thread while the run is held (DapRun::WhileHeld).
 */
#ifndef ORVA_CLI_DAP_WATCH_H
#define ORVA_CLI_DAP_WATCH_H

#include "dap_run.h"
#include "dap_values.h"

#include <atomic>
#include <map>
#include <memory>

namespace orva_cli
{

class DapRun::Watcher
{
public:
   explicit Watcher(DapRun *run) : m_run(run), m_debugger(this) {}

   void Attach(const DapLaunch &launch);   // once the script has compiled
   void BeforeRun(ORVA_Environment *env);

   // The breakpoints of one source file, which replace those it had: the
   // launched script when module is empty, else the module of that name.
   std::vector<int> SetBreakpoints(const std::string &module, const std::string &path,
                                   const std::vector<int> &lines);
   void SetStopOnErrors(bool on);
   void RequestPause();   // from any thread

   // Bodies of the responses, from the requests' arguments.
   Json StackTrace(const Json &args);
   Json Scopes(const Json &args);
   Json Variables(const Json &args);
   Json Evaluate(const Json &args, std::string *error);

   void Forget() { m_values.Forget(); }

private:
   // The engine's callbacks, turned into holds of the run.
   class Debugger : public ORVA_Debugger
   {
   public:
      explicit Debugger(Watcher *owner) : m_owner(owner) {}
      int OnPause(int reason) override;
      void OnError(int code, const char *message) override;

   private:
      Watcher *m_owner;
   };

   DapRun *m_run;
   Debugger m_debugger;
   std::unique_ptr<ORVA_Program> m_lines;   // the script compiled once more, to find its lines in
   DapLaunch m_launch;
   DapValues m_values;
   std::atomic<bool> m_stopOnErrors{false};   // set by the reader thread, read by the run
   std::map<std::string, std::vector<int>> m_breakpoints;   // by module, the lines set

   uint32 FrameOf(const Json &args, const char *key) const;
   std::string SourcePath(const std::string &module) const;
};

}

#endif
