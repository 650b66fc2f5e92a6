/*
 * A run under a debugger: the traps placed in the prepared code, the stops
 * they make, the steps and the pause requests that move them, and the
 * report of an error before it ends the run.  The view of a paused run is
 * in debug_view.cpp.
 */
#include "vm/engine.h"
#include "vm/debug_lines.h"
#include "vm/vm.h"

#include <new>
#include <strings.h>

void ORVA_Engine::DebugBegin(ORVA_Debugger *debugger)
{
   if (debugger == nullptr)
      return;
   ORVA_DebugRun *debug = new ORVA_DebugRun();
   debug->debugger = debugger;
   debug->body = debugger->m_body;
   debug->body->pauseRequest.store(0, std::memory_order_relaxed);   // one left from no run is dropped
   debug->mode = debug->body->stopOnEntry.load(std::memory_order_relaxed) ? DEBUG_ENTRY : DEBUG_RUN;
   m_debug = debug;
   DebugTakeChanges();
}

void ORVA_Engine::DebugEnd()
{
   ORVA_DebugRun *debug = m_debug;
   for (const auto &trap : debug->underTrap)
      m_prepared->ops[trap.first].code = trap.second;
   m_debug = nullptr;
   delete debug;
}

void ORVA_Engine::DebugPrepared()
{
   // The traps went with the code they were in.
   if (m_debug == nullptr)
      return;
   m_debug->underTrap.clear();
   try
   {
      DebugTakeChanges();
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      Fail(ORVA_ERR_INTERNAL);
   }
}

uint16_t &ORVA_Engine::DebugCodeAt(uint32 index)
{
   ORVA_PreparedOp &op = m_prepared->ops[index];
   if (m_debug != nullptr && op.code == P_TRAP)
   {
      auto found = m_debug->underTrap.find(index);
      if (found != m_debug->underTrap.end())
         return found->second;
   }
   return op.code;
}

/* The breakpoints the host set, resolved to the line starts of this run's code. */
void ORVA_Engine::DebugTakeChanges()
{
   ORVA_DebugRun *debug = m_debug;
   ORVA_DebuggerBody *body = debug->body;
   const ORVA_Program *program = m_program;
   const uint32 codeSize = m_prepared->CodeSize();
   // The main script's code runs up to the first module linked after it.
   uint32 mainEnd = codeSize;
   for (uint32 m = 0; m < program->m_moduleCount; m++)
      if (program->m_modules[m].m_codeStart < mainEnd)
         mainEnd = program->m_modules[m].m_codeStart;
   {
      std::lock_guard<std::mutex> hold(body->lock);
      debug->seenChanges = body->changes.load(std::memory_order_acquire);
      debug->breakAt.assign(codeSize, 0);
      for (const ORVA_DebuggerBody::Breakpoint &breakpoint : body->breakpoints)
      {
         uint32 from = 0, to = mainEnd;
         if (!breakpoint.module.empty())
         {
            from = to = 0;
            for (uint32 m = 0; m < program->m_moduleCount; m++)
               if (strcasecmp(program->m_modules[m].m_name, breakpoint.module.c_str()) == 0)
               {
                  from = program->m_modules[m].m_codeStart;
                  to = from + program->m_modules[m].m_codeSize;
                  break;
               }
         }
         if (to > codeSize)
            to = codeSize;
         const int line = LineWithCodeIn(program->m_instructions, m_prepared->lineStart, from, to, breakpoint.line);
         for (uint32 i = from; line != 0 && i < to; i++)
            if (m_prepared->lineStart[i] && program->m_instructions[i]->SourceLine() == line)
               debug->breakAt[i] = 1;
      }
   }
   DebugPlaceTraps();
}

/* A trap on every line start a stop may come at: all of them while a step or pause waits. */
void ORVA_Engine::DebugPlaceTraps()
{
   ORVA_DebugRun *debug = m_debug;
   const bool everyLine = debug->mode != DEBUG_RUN;
   const uint32 codeSize = m_prepared->CodeSize();
   for (uint32 i = 0; i < codeSize; i++)
   {
      ORVA_PreparedOp &op = m_prepared->ops[i];
      const bool wanted = m_prepared->lineStart[i] && (everyLine || debug->breakAt[i]);
      if (wanted && op.code != P_TRAP)
      {
         debug->underTrap[i] = op.code;
         op.code = P_TRAP;
      }
      else if (!wanted && op.code == P_TRAP)
      {
         op.code = debug->underTrap[i];
         debug->underTrap.erase(i);
      }
   }
}

void ORVA_Engine::DebugLook()
{
   ORVA_DebugRun *debug = m_debug;
   try
   {
      if (debug->body->pauseRequest.exchange(0, std::memory_order_relaxed) != 0 && debug->mode == DEBUG_RUN)
      {
         debug->mode = DEBUG_PAUSE;
         DebugPlaceTraps();
      }
      if (debug->body->changes.load(std::memory_order_acquire) != debug->seenChanges)
         DebugTakeChanges();
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      Fail(ORVA_ERR_INTERNAL);
   }
}

bool ORVA_Engine::DebugTrap(uint32 at)
{
   ORVA_DebugRun *debug = m_debug;
   DebugLook();
   if (m_program->m_ip == INVALID_ADDRESS)
      return false;
   const uint32 depth = m_run->frameCount;
   int reason = 0;
   if (at < debug->breakAt.size() && debug->breakAt[at])
      reason = ORVA_PAUSE_BREAKPOINT;
   else
      switch (debug->mode)
      {
         case DEBUG_RUN:
            break;
         case DEBUG_ENTRY:
            reason = ORVA_PAUSE_ENTRY;
            break;
         case DEBUG_PAUSE:
            reason = ORVA_PAUSE_REQUESTED;
            break;
         case DEBUG_INTO:
            reason = StillOnStepLine(at, depth) ? 0 : ORVA_PAUSE_STEP;
            break;
         case DEBUG_OVER:
            reason = (depth <= debug->depth && !StillOnStepLine(at, depth)) ? ORVA_PAUSE_STEP : 0;
            break;
         case DEBUG_OUT:
            reason = (depth < debug->depth) ? ORVA_PAUSE_STEP : 0;
            break;
      }
   if (reason == 0)
      return true;
   debug->at = at;
   return DebugPause(reason);
}

/*
 * A step goes on to the next line: another line start of the same call on
 * the line the step began at is still that line (the condition of
 * for (i = 0; i < n; i++) after its start or its step, the head of a for-in
 * after the walk begins), while coming back to the very place it began
 * is the next turn of a loop written on one line.
 */
bool ORVA_Engine::StillOnStepLine(uint32 at, uint32 depth) const
{
   const ORVA_DebugRun *debug = m_debug;
   return depth == debug->depth && at != debug->stepFrom && LineAt(at) == LineAt(debug->stepFrom);
}

bool ORVA_Engine::DebugPause(int reason)
{
   ORVA_DebugRun *debug = m_debug;
   ORVA_RunState *rs = m_run;
   SyncHostView();
   debug->frames.assign(rs->frameCount, ORVA_DebugRun::FrameView());
   debug->body->paused = this;
   // The time limit does not count the time the run waits: the deadline
   // moves on by as much.
   const auto pausedAt = std::chrono::steady_clock::now();
   const int resume = debug->debugger->OnPause(reason);
   if (rs->limits.timed)
      rs->limits.deadline += std::chrono::steady_clock::now() - pausedAt;
   debug->body->paused = nullptr;
   debug->frames.clear();

   switch (resume)
   {
      case ORVA_RESUME_STOP:
         StopRun(m_program, ORVA_STOP_REQUESTED);
         return false;
      case ORVA_RESUME_STEP_INTO:
         debug->mode = DEBUG_INTO;
         break;
      case ORVA_RESUME_STEP_OVER:
         debug->mode = DEBUG_OVER;
         break;
      case ORVA_RESUME_STEP_OUT:
         debug->mode = DEBUG_OUT;
         break;
      default:
         debug->mode = DEBUG_RUN;
         break;
   }
   debug->depth = rs->frameCount;
   debug->stepFrom = debug->at;
   try
   {
      if (debug->body->changes.load(std::memory_order_acquire) != debug->seenChanges)
         DebugTakeChanges();
      else
         DebugPlaceTraps();
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      Fail(ORVA_ERR_INTERNAL);
      return false;
   }
   return true;
}

void ORVA_Engine::DebugError(int code, uint32 at)
{
   ORVA_DebugRun *debug = m_debug;
   if (m_run == nullptr || m_run->frameCount == 0 || debug->body->paused != nullptr)
      return;
   debug->at = at;
   try
   {
      debug->frames.assign(m_run->frameCount, ORVA_DebugRun::FrameView());
   }
   catch (const std::bad_alloc &)
   {
      return;   // no view, no report: the error ends the run as it would anyway
   }
   SyncHostView();
   debug->body->paused = this;
   debug->debugger->OnError(code, m_program->GetErrorMessage());
   debug->body->paused = nullptr;
   debug->frames.clear();
}
