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
   m_trace.clear();
   ORVA_RunState *rs = m_run;
   if (rs == nullptr || rs->frameCount == 0)
      return;
   const ORVA_Program *program = m_program;
   try
   {
      const uint32 count = rs->frameCount;
      for (uint32 depth = 0; depth < count; depth++)
      {
         if (count > TRACE_INNER + TRACE_OUTER + 1 && depth == TRACE_INNER)
         {
            const uint32 omitted = count - TRACE_INNER - TRACE_OUTER;
            m_trace += "... " + std::to_string(omitted) + " calls left out\n";
            depth += omitted - 1;
            continue;
         }
         const uint32 index = count - 1 - depth;
         const ORVA_Frame &frame = rs->frames[index];
         // The innermost call is where the error happened; each outer one
         // stands at the call of the next.
         const uint32 at = (depth == 0) ? failedAt : rs->frames[index + 1].returnPc - 1;

         const char *function = "?";   // a frame a host entered by hand
         for (uint32 i = 0; i < program->m_functionCount; i++)
            if (program->m_functions[i].m_address == frame.entry)
            {
               function = program->m_functions[i].m_name;
               break;
            }
         m_trace += function;
         m_trace += ':';
         m_trace += std::to_string(RuntimeErrorLine(at, program->m_codeSize, program->m_instructions));
         for (uint32 i = 0; i < program->m_moduleCount; i++)
         {
            const ORVA_Module &module = program->m_modules[i];
            if (frame.entry >= module.m_codeStart && frame.entry - module.m_codeStart < module.m_codeSize)
            {
               m_trace += " (module ";
               m_trace += module.m_name;
               m_trace += ')';
               break;
            }
         }
         m_trace += '\n';
      }
   }
   catch (const std::bad_alloc &)
   {
      m_trace.clear();   // no trail rather than half of one
   }
}
