#include "dap_session.h"

#include "dap_watch.h"
#include "dap_run.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orva_cli
{

namespace
{

// A setting given as text or as a number, as the command line would have it.
std::string AsText(const Json &value)
{
   return value.IsString() ? value.String() : value.Write();
}

// What a handler answers: the response's body, or why the request failed.
struct Reply
{
   bool ok = true;
   std::string message;
   Json body;

   void Fail(const std::string &why)
   {
      ok = false;
      message = why;
   }
};

class DapSession
{
public:
   DapSession(int in, int out, const Session &base, const std::vector<std::string> &searchDirs)
      : m_reader(in), m_writer(out), m_base(base), m_searchDirs(searchDirs)
   {
   }
   int Serve();

private:
   typedef void (DapSession::*Handler)(const Json &args, Reply *reply);
   struct Route
   {
      const char *command;
      Handler handler;
   };
   static const Route s_routes[];

   DapReader m_reader;
   DapWriter m_writer;
   const Session &m_base;
   const std::vector<std::string> &m_searchDirs;
   std::unique_ptr<DapRun> m_run;
   bool m_launched = false;
   bool m_done = false;
   bool m_stopOnErrors = true;   // the default of the errors filter
   int64_t m_breakpointIds = 0;
   // Breakpoints sent before the launch, applied when it comes.
   std::vector<std::pair<std::string, std::vector<int>>> m_early;
   // What a handler leaves to do once its response is out, so that the
   // editor hears "continued" before the run can stop again.
   std::function<void()> m_then;

   void Dispatch(const Json &message);

   void Initialize(const Json &args, Reply *reply);
   void Launch(const Json &args, Reply *reply);
   void SetBreakpoints(const Json &args, Reply *reply);
   void SetExceptionBreakpoints(const Json &args, Reply *reply);
   void ConfigurationDone(const Json &args, Reply *reply);
   void Threads(const Json &args, Reply *reply);
   void StackTrace(const Json &args, Reply *reply);
   void Scopes(const Json &args, Reply *reply);
   void Variables(const Json &args, Reply *reply);
   void Evaluate(const Json &args, Reply *reply);
   void Continue(const Json &args, Reply *reply);
   void Next(const Json &args, Reply *reply);
   void StepIn(const Json &args, Reply *reply);
   void StepOut(const Json &args, Reply *reply);
   void Pause(const Json &args, Reply *reply);
   void Disconnect(const Json &args, Reply *reply);
   void Terminate(const Json &args, Reply *reply);

   void ResumeWith(DapResume how, Reply *reply);
   bool AskWatcher(Reply *reply, const std::function<void(DapRun::Watcher *)> &ask);
   std::string ModuleOf(const std::string &path) const;
};

const DapSession::Route DapSession::s_routes[] = {
   {"initialize", &DapSession::Initialize},
   {"launch", &DapSession::Launch},
   {"setBreakpoints", &DapSession::SetBreakpoints},
   {"setExceptionBreakpoints", &DapSession::SetExceptionBreakpoints},
   {"configurationDone", &DapSession::ConfigurationDone},
   {"threads", &DapSession::Threads},
   {"stackTrace", &DapSession::StackTrace},
   {"scopes", &DapSession::Scopes},
   {"variables", &DapSession::Variables},
   {"evaluate", &DapSession::Evaluate},
   {"continue", &DapSession::Continue},
   {"next", &DapSession::Next},
   {"stepIn", &DapSession::StepIn},
   {"stepOut", &DapSession::StepOut},
   {"pause", &DapSession::Pause},
   {"disconnect", &DapSession::Disconnect},
   {"terminate", &DapSession::Terminate},
};

int DapSession::Serve()
{
   std::string body, error;
   while (!m_done)
   {
      const DapReader::Result got = m_reader.Next(&body, &error);
      if (got == DapReader::END)
         break;
      if (got == DapReader::BAD_FRAME)
      {
         // Past a broken frame nothing tells where the next message starts.
         fprintf(stderr, "orva: --dap: %s; ending the session\n", error.c_str());
         return 1;
      }
      Json message;
      if (!ParseJson(body, &message, &error))
      {
         m_writer.Respond(0, "", false, Json(), "the message is not JSON: " + error);
         continue;
      }
      Dispatch(message);
   }
   return 0;
}

void DapSession::Dispatch(const Json &message)
{
   const int64_t seq = message["seq"].Int();
   const std::string command = message["command"].String();
   if (!message.IsObject() || message["type"].String() != "request" || command.empty())
   {
      // Responses and events from the editor need no answer; anything else
      // that is no request gets told so.
      const std::string type = message["type"].String();
      if (type != "response" && type != "event")
         m_writer.Respond(seq, command, false, Json(), "not a request: a message needs \"type\": \"request\" and a \"command\"");
      return;
   }
   Reply reply;
   const Route *route = nullptr;
   for (const Route &r : s_routes)
      if (command == r.command)
         route = &r;
   if (route == nullptr)
      reply.Fail("unrecognized request '" + command + "'");
   else
   {
      const Json &args = message["arguments"];
      (this->*route->handler)(args.IsObject() ? args : Json::Object(), &reply);
   }
   m_writer.Respond(seq, command, reply.ok, std::move(reply.body), reply.message);
   if (m_then)
   {
      std::function<void()> then;
      then.swap(m_then);
      then();
   }
}

void DapSession::Initialize(const Json &, Reply *reply)
{
   Json filter = Json::Object();
   filter.Set("filter", "errors");
   filter.Set("label", "Run-time errors");
   filter.Set("description", "Stop where a run-time error is about to end the run");
   filter.Set("default", Json(true));
   Json caps = Json::Object();
   caps.Set("supportsConfigurationDoneRequest", Json(true));
   caps.Set("supportsEvaluateForHovers", Json(true));
   caps.Set("supportsTerminateRequest", Json(true));
   caps.Set("supportTerminateDebuggee", Json(true));
   caps.Set("exceptionBreakpointFilters", Json::Array().Push(std::move(filter)));
   reply->body = std::move(caps);
}

void DapSession::Launch(const Json &args, Reply *reply)
{
   if (m_launched)
      return reply->Fail("this session has launched its script already");
   DapLaunch launch;
   launch.limits = m_base.limits;
   launch.searchDirs = m_searchDirs;
   const std::string program = args["program"].String();
   if (program.empty())
      return reply->Fail("launch needs \"program\": the path of the script to debug");
   const std::string cwd = args["cwd"].String();
   if (!cwd.empty() && chdir(cwd.c_str()) != 0)
      return reply->Fail("cannot change to the directory '" + cwd + "'");
   std::error_code ec;
   launch.program = fs::absolute(program, ec).lexically_normal().string();
   if (ec)
      launch.program = program;
   for (const Json &a : args["args"].Items())
      launch.args.push_back(AsText(a));
   launch.stopOnEntry = args["stopOnEntry"].Bool();
   launch.noDebug = args["noDebug"].Bool();
   for (const Json &d : args["modulePaths"].Items())
      if (!d.String().empty())
         launch.searchDirs.push_back(d.String());

   // The limits take the values the command's options do, as text or as
   // numbers.
   const Json &count = args["maxInstructions"];
   const Json &seconds = args["timeout"];
   const Json &size = args["maxMemory"];
   if (!count.IsNull() && !ParseCount(AsText(count).c_str(), &launch.limits.instructions))
      return reply->Fail("\"maxInstructions\" needs a whole number");
   if (!seconds.IsNull() && !ParseSeconds(AsText(seconds).c_str(), &launch.limits.milliseconds))
      return reply->Fail("\"timeout\" needs seconds up to 4294967");
   if (!size.IsNull() && !ParseSize(AsText(size).c_str(), &launch.limits.memoryBytes))
      return reply->Fail("\"maxMemory\" needs a size such as 512K, 64M or 2G");

   auto run = std::make_unique<DapRun>(&m_writer, m_base);
   std::string error;
   if (!run->Prepare(launch, &error))
   {
      // The editor shows the message; the console gets the lines in the
      // form FILE:LINE: that its links follow.
      Json output = Json::Object();
      output.Set("category", "stderr");
      output.Set("output", error);
      m_writer.Event("output", std::move(output));
      return reply->Fail(error.substr(0, error.find('\n')));
   }
   m_run = std::move(run);
   m_launched = true;
   m_run->SetStopOnErrors(m_stopOnErrors && !launch.noDebug);
   for (const auto &early : m_early)
      m_run->SetBreakpoints(ModuleOf(early.first), early.first, early.second);
   m_early.clear();
   m_then = [this] { m_writer.Event("initialized"); };
}

// The module a source file stands for: none for the launched script, else
// the file's name without its extension, as "use" names it.
std::string DapSession::ModuleOf(const std::string &path) const
{
   std::error_code ec;
   const fs::path given = fs::absolute(path, ec).lexically_normal();
   if (m_run && (given.string() == m_run->ProgramPath() ||
                 fs::equivalent(given, fs::path(m_run->ProgramPath()), ec)))
      return "";
   return given.stem().string();
}

void DapSession::SetBreakpoints(const Json &args, Reply *reply)
{
   const Json &source = args["source"];
   const std::string path = source["path"].String();
   std::vector<int> lines;
   for (const Json &b : args["breakpoints"].Items())
      lines.push_back(static_cast<int>(b["line"].Int()));
   if (!args.Has("breakpoints"))   // the older form of the request
      for (const Json &l : args["lines"].Items())
         lines.push_back(static_cast<int>(l.Int()));

   std::vector<int> placed(lines.size(), 0);
   if (m_run)
      placed = m_run->SetBreakpoints(ModuleOf(path), path, lines);
   else if (!path.empty())
      m_early.emplace_back(path, lines);   // verified once the launch compiles the script

   Json list = Json::Array();
   for (size_t k = 0; k < lines.size(); k++)
   {
      Json b = Json::Object();
      b.Set("id", Json(++m_breakpointIds));
      b.Set("verified", Json(placed[k] > 0));
      b.Set("line", Json(placed[k] > 0 ? placed[k] : lines[k]));
      if (placed[k] == 0)
         b.Set("message", m_run ? "no code on or after this line" : "set when the script is launched");
      b.Set("source", source);
      list.Push(std::move(b));
   }
   reply->body = Json::Object().Set("breakpoints", std::move(list));
}

void DapSession::SetExceptionBreakpoints(const Json &args, Reply *)
{
   bool on = false;
   for (const Json &f : args["filters"].Items())
      on = on || f.String() == "errors";
   for (const Json &f : args["filterOptions"].Items())
      on = on || f["filterId"].String() == "errors";
   m_stopOnErrors = on;
   if (m_run)
      m_run->SetStopOnErrors(on);
}

void DapSession::ConfigurationDone(const Json &, Reply *reply)
{
   if (!m_run)
      return reply->Fail("launch the script first");
   if (!m_run->Started())
      m_then = [this] { m_run->Start(); };
}

void DapSession::Threads(const Json &, Reply *reply)
{
   Json thread = Json::Object();
   thread.Set("id", Json(DAP_THREAD_ID));
   thread.Set("name", "main");
   reply->body = Json::Object().Set("threads", Json::Array().Push(std::move(thread)));
}

// Asks the held run; a reply that fails when the run is not held.
bool DapSession::AskWatcher(Reply *reply, const std::function<void(DapRun::Watcher *)> &ask)
{
   if (m_run && m_run->WhileHeld([&] { ask(m_run->Watching()); }))
      return true;
   reply->Fail("the script is not stopped");
   return false;
}

void DapSession::StackTrace(const Json &args, Reply *reply)
{
   AskWatcher(reply, [&](DapRun::Watcher *in) { reply->body = in->StackTrace(args); });
}

void DapSession::Scopes(const Json &args, Reply *reply)
{
   AskWatcher(reply, [&](DapRun::Watcher *in) { reply->body = in->Scopes(args); });
}

void DapSession::Variables(const Json &args, Reply *reply)
{
   if (AskWatcher(reply, [&](DapRun::Watcher *in) { reply->body = in->Variables(args); }) && reply->body.IsNull())
      reply->Fail("no variables of that reference at this stop");
}

void DapSession::Evaluate(const Json &args, Reply *reply)
{
   std::string error;
   if (AskWatcher(reply, [&](DapRun::Watcher *in) { reply->body = in->Evaluate(args, &error); }) && !error.empty())
      reply->Fail(error);
}

void DapSession::ResumeWith(DapResume how, Reply *reply)
{
   if (!m_run || !m_run->Started())
      return reply->Fail("the script is not running");
   if (how == DapResume::CONTINUE)
      reply->body = Json::Object().Set("allThreadsContinued", Json(true));
   m_then = [this, how] { m_run->Resume(how); };
}

void DapSession::Continue(const Json &, Reply *reply) { ResumeWith(DapResume::CONTINUE, reply); }
void DapSession::Next(const Json &, Reply *reply) { ResumeWith(DapResume::NEXT, reply); }
void DapSession::StepIn(const Json &, Reply *reply) { ResumeWith(DapResume::STEP_IN, reply); }
void DapSession::StepOut(const Json &, Reply *reply) { ResumeWith(DapResume::STEP_OUT, reply); }

void DapSession::Pause(const Json &, Reply *reply)
{
   if (!m_run || !m_run->Started())
      return reply->Fail("the script is not running");
   m_run->RequestPause();
}

void DapSession::Disconnect(const Json &, Reply *)
{
   // The script ends with the session: the adapter launched it.
   m_then = [this] {
      m_done = true;
      m_run.reset();
   };
}

void DapSession::Terminate(const Json &, Reply *reply)
{
   if (!m_run || !m_run->Started())
      return reply->Fail("the script is not running");
   m_then = [this] { m_run->Terminate(); };
}

}

int RunDapServer(const Session &base, const std::vector<std::string> &searchDirs)
{
   // The protocol owns standard output: the session writes to a copy of it,
   // and whatever else would print there goes to standard error instead.
   fflush(stdout);
   const int out = dup(STDOUT_FILENO);
   if (out < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
   {
      perror("orva: --dap");
      return 1;
   }
   // An editor that goes away must not kill the adapter mid-write.
   signal(SIGPIPE, SIG_IGN);
   int status;
   {
      DapSession session(STDIN_FILENO, out, base, searchDirs);
      status = session.Serve();
   }
   close(out);
   return status;
}

}
