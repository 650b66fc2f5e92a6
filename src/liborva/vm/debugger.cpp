/*
 * The host's debugger: the breakpoints and requests it hands to runs, and
 * its view of the run it has paused (answered by the engine of that run).
 */
#include "vm/engine.h"
#include "vm/debug_run.h"

#include <cstring>
#include <strings.h>

ORVA_Debugger::ORVA_Debugger() : m_body(new ORVA_DebuggerBody()) {}

ORVA_Debugger::~ORVA_Debugger()
{
   delete m_body;
}

int ORVA_Debugger::OnPause(int)
{
   return ORVA_RESUME_CONTINUE;
}

void ORVA_Debugger::OnError(int, const char *) {}

/* Module names compare as module linking compares them: without regard to case. */
static bool SameBreakpoint(const ORVA_DebuggerBody::Breakpoint &breakpoint, const char *module, int line)
{
   return breakpoint.line == line && strcasecmp(breakpoint.module.c_str(), module) == 0;
}

int ORVA_Debugger::SetBreakpoint(const char *module, int line)
{
   if (module == nullptr)
      module = "";
   if (line <= 0)
      return 0;
   std::lock_guard<std::mutex> hold(m_body->lock);
   for (const auto &breakpoint : m_body->breakpoints)
      if (SameBreakpoint(breakpoint, module, line))
         return 0;
   try
   {
      m_body->breakpoints.push_back({module, line});
   }
   catch (const std::bad_alloc &)
   {
      return 0;
   }
   m_body->changes.fetch_add(1, std::memory_order_release);
   return 1;
}

int ORVA_Debugger::ClearBreakpoint(const char *module, int line)
{
   if (module == nullptr)
      module = "";
   std::lock_guard<std::mutex> hold(m_body->lock);
   auto &list = m_body->breakpoints;
   for (auto it = list.begin(); it != list.end(); ++it)
      if (SameBreakpoint(*it, module, line))
      {
         list.erase(it);
         m_body->changes.fetch_add(1, std::memory_order_release);
         return 1;
      }
   return 0;
}

void ORVA_Debugger::ClearBreakpoints()
{
   std::lock_guard<std::mutex> hold(m_body->lock);
   m_body->breakpoints.clear();
   m_body->changes.fetch_add(1, std::memory_order_release);
}

void ORVA_Debugger::SetStopOnEntry(int stop)
{
   m_body->stopOnEntry.store(stop ? 1 : 0, std::memory_order_relaxed);
}

void ORVA_Debugger::RequestPause()
{
   m_body->pauseRequest.store(1, std::memory_order_relaxed);
}

int ORVA_Debugger::LineWithCode(ORVA_Program *program, int line)
{
   return ORVA_Engine::DebugLineWithCode(program, line);
}

int ORVA_Debugger::FunctionLine(ORVA_Program *program, const char *name)
{
   return ORVA_Engine::DebugFunctionLine(program, name);
}

int ORVA_Debugger::IsPaused() const
{
   return m_body->paused != nullptr;
}

uint32 ORVA_Debugger::FrameCount() const
{
   return (m_body->paused != nullptr) ? m_body->paused->DebugFrameCount() : 0;
}

int ORVA_Debugger::GetFrame(uint32 frame, const char **function, int *line, const char **module) const
{
   const ORVA_DebugRun::FrameView *view = (m_body->paused != nullptr) ? m_body->paused->DebugFrame(frame) : nullptr;
   if (view == nullptr)
      return 0;
   if (function != nullptr)
      *function = view->function.c_str();
   if (line != nullptr)
      *line = view->line;
   if (module != nullptr)
      *module = view->module.c_str();
   return 1;
}

uint32 ORVA_Debugger::VariableCount(uint32 frame) const
{
   const ORVA_DebugRun::FrameView *view = (m_body->paused != nullptr) ? m_body->paused->DebugFrame(frame) : nullptr;
   return (view != nullptr) ? static_cast<uint32>(view->variables.size()) : 0;
}

int ORVA_Debugger::GetVariable(uint32 frame, uint32 index, const char **name, ORVA_Value **value) const
{
   const ORVA_DebugRun::FrameView *view = (m_body->paused != nullptr) ? m_body->paused->DebugFrame(frame) : nullptr;
   if (view == nullptr || index >= view->variables.size())
      return 0;
   if (name != nullptr)
      *name = view->variables[index].first.c_str();
   if (value != nullptr)
      *value = view->variables[index].second;
   return 1;
}

ORVA_Value *ORVA_Debugger::FindVariable(uint32 frame, const char *name) const
{
   return (m_body->paused != nullptr) ? m_body->paused->DebugFind(frame, name) : nullptr;
}

ORVA_VariableSystem *ORVA_Debugger::GetGlobals() const
{
   return (m_body->paused != nullptr) ? m_body->paused->DebugGlobals() : nullptr;
}

void ORVA_Environment::SetDebugger(ORVA_Debugger *debugger)
{
   m_body->debugger = debugger;
}

ORVA_Debugger *ORVA_Environment::GetDebugger() const
{
   return m_body->debugger;
}
