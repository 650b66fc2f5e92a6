/*
 * The script a debug adapter session runs: compiled at launch, run on a
 * thread of its own so that the adapter keeps reading requests (a pause
 * must reach a running script), and held at each stop until the editor
 * says how to go on.  While it is held, the adapter's questions about the
 * stack and the variables are answered on the run's own thread, where the
 * run's state is safe to read.
 */
#ifndef ORVA_CLI_DAP_RUN_H
#define ORVA_CLI_DAP_RUN_H

#include "cli.h"
#include "dap_wire.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orva_cli
{

// The protocol's id of the one thread a run is.
const int DAP_THREAD_ID = 1;

// What a launch request asks for.
struct DapLaunch
{
   std::string program;   // the script's path, made absolute against cwd
   std::vector<std::string> args;
   bool stopOnEntry = false;
   bool noDebug = false;   // run without stopping anywhere
   RunLimits limits;
   std::vector<std::string> searchDirs;
};

// How a held run goes on.
enum class DapResume
{
   CONTINUE,
   NEXT,       // to the next line of this call (or of its caller once it returns)
   STEP_IN,    // to the next line reached, in a called function too
   STEP_OUT,   // to the caller, after the current call returns
   STOP        // end the run
};

class DapRun
{
public:
   // base: what the command line gave every run.
   DapRun(DapWriter *writer, const Session &base);
   ~DapRun();   // ends a run that still goes on and waits for its thread
   DapRun(const DapRun &) = delete;
   DapRun &operator=(const DapRun &) = delete;

   // Reads and compiles the script; false with the lines that tell why.
   bool Prepare(const DapLaunch &launch, std::string *error);
   const std::string &ProgramPath() const { return m_launch.program; }

   // Breakpoints of the script (module empty) or of a module read from
   // path, by line; the lines they were set at, each moved to the next line
   // with code, or 0 for one that no code follows.
   std::vector<int> SetBreakpoints(const std::string &module, const std::string &path,
                                   const std::vector<int> &lines);
   void SetStopOnErrors(bool on);

   // Starts the run on its thread; the thread sends the run's output, its
   // stops, and at its end the exited and terminated events.
   void Start();
   bool Started() const { return m_thread.joinable(); }

   // From the adapter's reader thread.  Resume goes on from a hold (and
   // is dropped when the run is not held); Terminate ends the run, held or
   // not, and keeps asking until it has ended.
   void RequestPause();
   void Resume(DapResume how);
   void Terminate();

   // Runs fn on the run's thread while the run is held at a stop; false
   // (and fn not run) when it is not held.
   bool WhileHeld(const std::function<void()> &fn);

   // The run's state, for WhileHeld's fn only.
   class Watcher;
   Watcher *Watching() { return m_watcher.get(); }

private:
   DapWriter *m_writer;
   DapLaunch m_launch;
   Session m_session;
   ModuleRecord m_record;   // the modules the run linked, and their files
   std::string m_source;
   std::unique_ptr<ORVA_Program> m_program;
   std::unique_ptr<Watcher> m_watcher;
   FILE *m_in = nullptr;    // the script reads nothing: the protocol owns standard input
   FILE *m_out = nullptr;   // the script's output, turned into output events
   std::thread m_thread;
   std::thread m_stopper;   // ends the run once Terminate came
   std::atomic<bool> m_finished{false};

   // The hold: the run thread waits on it at a stop and does the tasks the
   // reader thread hands it, until it is told how to go on.
   std::mutex m_lock;
   std::condition_variable m_wake;
   bool m_held = false;
   bool m_ending = false;   // Terminate came: no more holds
   struct Task
   {
      std::function<void()> fn;
      bool *done;   // set under the lock once fn has run
   };
   std::deque<Task> m_tasks;
   bool m_resumeGiven = false;
   DapResume m_resume = DapResume::CONTINUE;

   void RunThread();
   DapResume Hold(const char *reason, const std::string &description);
   void SendOutput(const std::string &text, const char *category);
   static ssize_t WriteOutput(void *cookie, const char *data, size_t size);
};

}

#endif
