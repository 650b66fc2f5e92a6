/*
 * The call trail of a failed run: for every call active when the error
 * stopped the machine, innermost first, the function and the line it was
 * executing, "FUNCTION:LINE".  A function that a module brought says so,
 * since its lines are the module's own.  The trail is made when the error
 * is raised, while the frames and the linked modules still exist.
 */
#include "vm/engine.h"
#include "vm/vm.h"

#include <new>

namespace
{

// However deep the recursion that failed, the trail keeps this many of the
// innermost calls and of the outermost ones, and one line for the rest.
const uint32 TRACE_INNER = 10;
const uint32 TRACE_OUTER = 10;

}

void RecordErrorTrace(ORVA_Engine *engine, uint32 ip)
{
   engine->RecordTrace(ip);
}

void ORVA_Engine::RecordTrace(uint32 failedAt)
{
   ClearTrace();
   ORVA_RunState *rs = m_run;
   if (rs == nullptr || rs->frameCount == 0)
      return;
   try
   {
      // The parts are kept as copies: a linked module's names go with its
      // code at the end of the run, and the trail outlives the run.
      const uint32 count = rs->frameCount;
      for (uint32 depth = 0; depth < count; depth++)
      {
         TraceCall call;
         if (count > TRACE_INNER + TRACE_OUTER + 1 && depth == TRACE_INNER)
         {
            call.leftOut = count - TRACE_INNER - TRACE_OUTER;
            depth += call.leftOut - 1;
            m_traceCalls.push_back(call);
            continue;
         }
         const uint32 index = count - 1 - depth;
         const ORVA_Frame &frame = rs->frames[index];
         // The innermost call is where the error happened; each outer one
         // stands at the call of the next.
         const uint32 at = (depth == 0) ? failedAt : rs->frames[index + 1].returnPc - 1;

         NameFunction(frame.entry, &call.function, &call.module);
         call.line = LineAt(at);
         m_traceCalls.push_back(call);
      }
      for (const TraceCall &call : m_traceCalls)
      {
         if (call.leftOut > 0)
            m_trace += "... " + std::to_string(call.leftOut) + " calls left out\n";
         else
         {
            m_trace += call.function + ':' + std::to_string(call.line);
            if (!call.module.empty())
               m_trace += " (module " + call.module + ')';
            m_trace += '\n';
         }
      }
   }
   catch (const std::bad_alloc &)
   {
      ClearTrace();   // no trail rather than half of one
   }
}

void ORVA_Engine::NameFunction(uint32 entry, std::string *name, std::string *module) const
{
   const ORVA_Program *program = m_program;
   *name = "?";   // a frame a host entered by hand
   for (uint32 i = 0; i < program->m_functionCount; i++)
      if (program->m_functions[i].m_address == entry)
      {
         *name = program->m_functions[i].m_name;
         break;
      }
   module->clear();
   for (uint32 i = 0; i < program->m_moduleCount; i++)
   {
      const ORVA_Module &linked = program->m_modules[i];
      if (entry >= linked.m_codeStart && entry - linked.m_codeStart < linked.m_codeSize)
      {
         *module = linked.m_name;
         break;
      }
   }
}

int ORVA_Engine::LineAt(uint32 address) const
{
   return RuntimeErrorLine(address, m_program->m_codeSize, m_program->m_instructions);
}

int ORVA_Program::GetErrorTraceCall(uint32 index, const char **function, int *line, const char **module,
                                    uint32 *leftOut) const
{
   if (m_body->engine == nullptr || index >= m_body->engine->TraceCalls().size())
      return 0;
   const ORVA_Engine::TraceCall &call = m_body->engine->TraceCalls()[index];
   if (function != nullptr)
      *function = call.function.c_str();
   if (line != nullptr)
      *line = call.line;
   if (module != nullptr)
      *module = call.module.c_str();
   if (leftOut != nullptr)
      *leftOut = call.leftOut;
   return 1;
}
