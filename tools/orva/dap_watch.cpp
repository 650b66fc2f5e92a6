#include "dap_watch.h"

#include <filesystem>

namespace orva_cli
{

namespace
{

const char *ReasonName(int reason)
{
   switch (reason)
   {
      case ORVA_PAUSE_ENTRY: return "entry";
      case ORVA_PAUSE_BREAKPOINT: return "breakpoint";
      case ORVA_PAUSE_REQUESTED: return "pause";
      default: return "step";
   }
}

int ResumeCode(DapResume how)
{
   switch (how)
   {
      case DapResume::NEXT: return ORVA_RESUME_STEP_OVER;
      case DapResume::STEP_IN: return ORVA_RESUME_STEP_INTO;
      case DapResume::STEP_OUT: return ORVA_RESUME_STEP_OUT;
      case DapResume::STOP: return ORVA_RESUME_STOP;
      default: return ORVA_RESUME_CONTINUE;
   }
}

}

int DapRun::Watcher::Debugger::OnPause(int reason)
{
   return ResumeCode(m_owner->m_run->Hold(ReasonName(reason), ""));
}

void DapRun::Watcher::Debugger::OnError(int code, const char *message)
{
   // The run ends when this returns, whatever the editor says next: the
   // hold only lets the user look at the failing line first.
   if (m_owner->m_stopOnErrors)
      m_owner->m_run->Hold("exception", "error " + std::to_string(code) + ": " + message);
}

void DapRun::Watcher::Attach(const DapLaunch &launch)
{
   m_launch = launch;
   // Breakpoints come while the script runs, and the run appends the code
   // of the modules it links to its program: lines are looked up in a copy
   // of the script's own that no run touches.
   m_lines.reset(CompileText(m_run->m_source, nullptr));
   m_debugger.SetStopOnEntry(launch.stopOnEntry ? 1 : 0);
}

void DapRun::Watcher::BeforeRun(ORVA_Environment *env)
{
   if (!m_launch.noDebug)
      env->SetDebugger(&m_debugger);
}

std::vector<int> DapRun::Watcher::SetBreakpoints(const std::string &module, const std::string &path,
                                                   const std::vector<int> &lines)
{
   std::vector<int> placed(lines.size(), 0);
   // A module's lines are checked against its own compiled text, which the
   // run may not have linked yet.
   std::unique_ptr<ORVA_Program> compiled;
   ORVA_Program *program = m_lines.get();
   if (!module.empty())
   {
      std::string text;
      if (LoadSource(path, &text))
         compiled.reset(CompileText(text, nullptr));
      program = compiled.get();
   }
   std::vector<int> &set = m_breakpoints[module];
   for (int line : set)
      m_debugger.ClearBreakpoint(module.c_str(), line);
   set.clear();
   for (size_t k = 0; k < lines.size(); k++)
   {
      placed[k] = program != nullptr && lines[k] > 0 ? ORVA_Debugger::LineWithCode(program, lines[k]) : 0;
      if (placed[k] > 0)
      {
         m_debugger.SetBreakpoint(module.c_str(), placed[k]);
         set.push_back(placed[k]);
      }
   }
   return placed;
}

void DapRun::Watcher::SetStopOnErrors(bool on)
{
   m_stopOnErrors = on;
}

void DapRun::Watcher::RequestPause()
{
   m_debugger.RequestPause();
}

// The file of the launched script or of a linked module, as far as it is
// known; empty for a module of no file.
std::string DapRun::Watcher::SourcePath(const std::string &module) const
{
   if (module.empty())
      return m_launch.program;
   std::string file = m_run->m_record.FileOf(module);
   if (file.empty())
      return "";
   std::error_code ec;
   const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
   return ec ? file : absolute.lexically_normal().string();
}

// Frame ids are frame indices plus one: they name frames of this stop only.
uint32 DapRun::Watcher::FrameOf(const Json &args, const char *key) const
{
   const int64_t id = args[key].Int(1);
   return id >= 1 && id <= static_cast<int64_t>(m_debugger.FrameCount()) ? static_cast<uint32>(id - 1) : 0;
}

Json DapRun::Watcher::StackTrace(const Json &args)
{
   const uint32 total = m_debugger.FrameCount();
   const DapPage page = PageOf(args, "startFrame", "levels", total);
   Json frames = Json::Array();
   for (uint32 k = static_cast<uint32>(page.start); k < page.start + page.count; k++)
   {
      const char *function = nullptr;
      const char *module = nullptr;
      int line = 0;
      m_debugger.GetFrame(k, &function, &line, &module);
      Json frame = Json::Object();
      frame.Set("id", Json(static_cast<int64_t>(k) + 1));
      frame.Set("name", std::string(function != nullptr ? function : "?"));
      frame.Set("line", Json(line > 0 ? line : 1));
      frame.Set("column", Json(1));
      const std::string path = SourcePath(module != nullptr ? module : "");
      if (!path.empty())
      {
         Json source = Json::Object();
         source.Set("name", std::filesystem::path(path).filename().string());
         source.Set("path", path);
         frame.Set("source", std::move(source));
      }
      frames.Push(std::move(frame));
   }
   Json body = Json::Object();
   body.Set("stackFrames", std::move(frames));
   body.Set("totalFrames", Json(static_cast<int64_t>(total)));
   return body;
}

Json DapRun::Watcher::Scopes(const Json &args)
{
   const uint32 frame = FrameOf(args, "frameId");
   Debugger *debugger = &m_debugger;
   const int locals = m_values.AddScope([debugger, frame] {
      NamedValues list;
      const uint32 count = debugger->VariableCount(frame);
      for (uint32 k = 0; k < count; k++)
      {
         const char *name = nullptr;
         ORVA_Value *value = nullptr;
         if (debugger->GetVariable(frame, k, &name, &value) && name != nullptr)
            list.emplace_back(name, value);
      }
      return list;
   });
   const int globals = m_values.AddScope([debugger] {
      NamedValues list;
      ORVA_VariableSystem *all = debugger->GetGlobals();
      for (uint32 k = 0; all != nullptr && k < all->Count(); k++)
      {
         ORVA_Variable *v = all->GetVariable(k);
         if (v != nullptr && v->Name() != nullptr)
            list.emplace_back(v->Name(), v->Value());
      }
      return list;
   });
   Json scopes = Json::Array();
   Json local = Json::Object();
   local.Set("name", "Locals");
   local.Set("presentationHint", "locals");
   local.Set("variablesReference", Json(locals));
   local.Set("expensive", Json(false));
   scopes.Push(std::move(local));
   Json global = Json::Object();
   global.Set("name", "Globals");
   global.Set("variablesReference", Json(globals));
   global.Set("expensive", Json(false));
   scopes.Push(std::move(global));
   return Json::Object().Set("scopes", std::move(scopes));
}

Json DapRun::Watcher::Variables(const Json &args)
{
   Json list;
   if (!m_values.Children(args, &list))
      return Json();
   return Json::Object().Set("variables", std::move(list));
}

Json DapRun::Watcher::Evaluate(const Json &args, std::string *error)
{
   const uint32 frame = FrameOf(args, "frameId");
   ORVA_Value *value = nullptr;
   const bool found = EvaluatePath(
      args["expression"].String(),
      [this, frame](const std::string &name) { return m_debugger.FindVariable(frame, name.c_str()); }, &value, error);
   if (!found)
      return Json();
   Json shown = m_values.Variable("", value);
   Json body = Json::Object();
   body.Set("result", shown["value"]);
   body.Set("type", shown["type"]);
   body.Set("variablesReference", shown["variablesReference"]);
   for (const char *children : {"indexedVariables", "namedVariables"})
      if (shown.Has(children))
         body.Set(children, shown[children]);
   return body;
}

}
