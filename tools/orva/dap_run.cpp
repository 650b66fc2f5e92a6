#include "dap_run.h"

#include "dap_watch.h"
#include "diagnostics.h"
#include "hints.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace orva_cli
{

DapRun::DapRun(DapWriter *writer, const Session &base)
   : m_writer(writer), m_session(base), m_watcher(new Watcher(this))
{
}

DapRun::~DapRun()
{
   Terminate();
   if (m_stopper.joinable())
      m_stopper.join();
   if (m_thread.joinable())
      m_thread.join();
   if (m_out != nullptr)
      fclose(m_out);
   if (m_in != nullptr)
      fclose(m_in);
}

ssize_t DapRun::WriteOutput(void *cookie, const char *data, size_t size)
{
   static_cast<DapRun *>(cookie)->SendOutput(std::string(data, size), "stdout");
   return static_cast<ssize_t>(size);
}

void DapRun::SendOutput(const std::string &text, const char *category)
{
   Json body = Json::Object();
   body.Set("category", category);
   body.Set("output", text);
   m_writer->Event("output", std::move(body));
}

bool DapRun::Prepare(const DapLaunch &launch, std::string *error)
{
   m_launch = launch;
   if (!LoadSource(launch.program, &m_source))
   {
      *error = "orva: cannot read script '" + launch.program + "': " + strerror(errno) + "\n";
      return false;
   }
   if (!HasTokens(m_source))
   {
      *error = Location(launch.program, 0) +
               "error: the script is empty: write functions such as `sub main()`, or one expression\n";
      return false;
   }
   ErrorText failure;
   m_program.reset(CompileText(m_source, &failure));
   if (!m_program)
   {
      *error = DescribeCompileError(launch.program, m_source, failure, true);
      return false;
   }
   m_session.limits = launch.limits;
   m_session.argumentCount = static_cast<uint32>(launch.args.size());
   m_session.modulePath.Set(launch.program, launch.searchDirs, getenv("ORVA_PATH"));

   // Line buffered, so that each printed line is an event of its own; a
   // stop and the end of the run flush what is left.
   cookie_io_functions_t io = {nullptr, &DapRun::WriteOutput, nullptr, nullptr};
   m_out = fopencookie(this, "w", io);
   m_in = fopen("/dev/null", "r");
   if (m_out == nullptr || m_in == nullptr)
   {
      *error = std::string("orva: cannot set up the script's input and output: ") + strerror(errno) + "\n";
      return false;
   }
   setvbuf(m_out, nullptr, _IOLBF, 4096);
   m_watcher->Attach(m_launch);
   return true;
}

void DapRun::Start()
{
   m_thread = std::thread(&DapRun::RunThread, this);
}

void DapRun::RunThread()
{
   std::vector<ORVA_Value *> args;
   for (const std::string &a : m_launch.args)
      args.push_back(new ORVA_Value(a.c_str()));
   for (const auto &g : m_session.globals)
      m_program->SetGlobalVariable(g.first.c_str(), new ORVA_Value(g.second.c_str()));
   int scriptStatus = -1;
   ORVA_Environment *env = NewEnvironment(m_session, &m_record, &scriptStatus);
   env->SetIO(m_in, m_out);
   m_watcher->BeforeRun(env);
   const int rc = m_program->Run(env, static_cast<uint32>(args.size()), args.data(), nullptr, nullptr);
   fflush(m_out);

   int status = scriptStatus >= 0 ? scriptStatus : EXIT_STATUS_OK;
   if (rc != 0)
   {
      std::string note;
      status = EXIT_STATUS_RUN_ERROR;
      if (m_program->GetStopReason() != ORVA_STOP_NONE)
         status = StoppedStatus(*m_program);
      else
         note = RunErrorNote(*m_program, m_source, m_session);
      std::lock_guard<std::mutex> hold(m_lock);
      // A run the editor ended needs no report of how it ended.
      if (!m_ending)
         SendOutput(DescribeRunError(m_launch.program, m_source, RunErrorOf(*m_program), TraceOf(*m_program),
                                     m_record, m_session.modulePath, note),
                    "stderr");
   }
   m_writer->Event("exited", Json::Object().Set("exitCode", Json(status)));
   m_writer->Event("terminated");
   m_finished = true;
}

DapResume DapRun::Hold(const char *reason, const std::string &description)
{
   fflush(m_out);
   std::unique_lock<std::mutex> lock(m_lock);
   if (m_ending)
      return DapResume::STOP;
   m_held = true;
   m_resumeGiven = false;
   lock.unlock();

   Json body = Json::Object();
   body.Set("reason", reason);
   body.Set("threadId", Json(DAP_THREAD_ID));
   body.Set("allThreadsStopped", Json(true));
   if (!description.empty())
   {
      body.Set("description", description);
      body.Set("text", description);
   }
   m_writer->Event("stopped", std::move(body));

   lock.lock();
   for (;;)
   {
      m_wake.wait(lock, [this] { return !m_tasks.empty() || m_resumeGiven || m_ending; });
      if (!m_tasks.empty())
      {
         Task task = std::move(m_tasks.front());
         m_tasks.pop_front();
         lock.unlock();
         task.fn();
         lock.lock();
         *task.done = true;
         m_wake.notify_all();
         continue;
      }
      break;
   }
   // Questions that came as the hold ended go unanswered: their askers see
   // the run no longer held.
   m_tasks.clear();
   m_held = false;
   m_wake.notify_all();
   const DapResume how = m_ending ? DapResume::STOP : m_resume;
   lock.unlock();
   // Handles name values of this stop only: the run changes them.
   m_watcher->Forget();
   return how;
}

bool DapRun::WhileHeld(const std::function<void()> &fn)
{
   std::unique_lock<std::mutex> lock(m_lock);
   if (!m_held || m_resumeGiven || m_ending)
      return false;
   bool done = false;
   m_tasks.push_back(Task{fn, &done});
   m_wake.notify_all();
   m_wake.wait(lock, [&] { return done || !m_held; });
   return done;
}

void DapRun::Resume(DapResume how)
{
   std::lock_guard<std::mutex> hold(m_lock);
   if (!m_held)
      return;
   m_resume = how;
   m_resumeGiven = true;
   m_wake.notify_all();
}

std::vector<int> DapRun::SetBreakpoints(const std::string &module, const std::string &path,
                                       const std::vector<int> &lines)
{
   return m_watcher->SetBreakpoints(module, path, lines);
}

void DapRun::SetStopOnErrors(bool on)
{
   m_watcher->SetStopOnErrors(on);
}

void DapRun::RequestPause()
{
   m_watcher->RequestPause();
}

void DapRun::Terminate()
{
   {
      std::lock_guard<std::mutex> hold(m_lock);
      m_ending = true;
      m_wake.notify_all();
   }
   if (!m_thread.joinable() || m_stopper.joinable())
      return;
   // A stop asked for just before the run begins is dropped, so it is
   // asked again until the run has ended.
   m_stopper = std::thread([this] {
      while (!m_finished)
      {
         m_program->Stop();
         std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
   });
}

}
