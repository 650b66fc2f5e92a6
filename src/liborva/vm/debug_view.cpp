/*
 * The view a debugger has of a paused run: its calls, innermost first, the
 * variables of each and where lines with code are.  A frame is described
 * when first asked for, so that a pause in a deep recursion costs what the
 * host looks at.
 */
#include "vm/engine.h"
#include "vm/debug_lines.h"
#include "vm/vm.h"

#include <algorithm>
#include <cstring>

typedef ORVA_EngineAccess Access;

uint32 ORVA_Engine::DebugFrameCount() const
{
   return (m_debug != nullptr) ? static_cast<uint32>(m_debug->frames.size()) : 0;
}

const ORVA_DebugRun::FrameView *ORVA_Engine::DebugFrame(uint32 frame)
{
   ORVA_DebugRun *debug = m_debug;
   if (debug == nullptr || frame >= debug->frames.size())
      return nullptr;
   ORVA_DebugRun::FrameView &view = debug->frames[frame];
   if (view.made)
      return &view;
   try
   {
      DescribeFrame(frame, view);
   }
   catch (const std::bad_alloc &)
   {
      view = ORVA_DebugRun::FrameView();
      return nullptr;   // the host sees no frame rather than half of one
   }
   view.made = true;
   return &view;
}

void ORVA_Engine::DescribeFrame(uint32 frame, ORVA_DebugRun::FrameView &view)
{
   ORVA_DebugRun *debug = m_debug;
   ORVA_RunState *rs = m_run;
   const ORVA_Program *program = m_program;
   const uint32 index = rs->frameCount - 1 - frame;
   const ORVA_Frame &record = rs->frames[index];
   // The innermost call stands where the run paused; each outer one at the
   // call of the next.
   const uint32 at = (frame == 0) ? debug->at : rs->frames[index + 1].returnPc - 1;
   view.line = RuntimeErrorLine(at, program->m_codeSize, program->m_instructions);
   view.function = "?";   // a frame a host entered by hand
   for (uint32 i = 0; i < program->m_functionCount; i++)
      if (program->m_functions[i].m_address == record.entry)
      {
         view.function = program->m_functions[i].m_name;
         break;
      }
   for (uint32 i = 0; i < program->m_moduleCount; i++)
   {
      const ORVA_Module &module = program->m_modules[i];
      if (record.entry >= module.m_codeStart && record.entry - module.m_codeStart < module.m_codeSize)
      {
         view.module = module.m_name;
         break;
      }
   }

   // The locals in slots, in the order the function made them, then those
   // found by name.  A name that has a slot is the slot's: main's scope
   // keeps a stale null in the place of each variable moved to a slot.
   const ORVA_Region *region = record.region;
   const bool slotted = region != nullptr && region->slotted;
   if (slotted)
   {
      std::vector<std::pair<uint32, uint32>> bySlot;   // (slot, name id)
      for (const auto &entry : region->slots)
         bySlot.emplace_back(entry.second, entry.first);
      std::sort(bySlot.begin(), bySlot.end());
      for (const auto &entry : bySlot)
      {
         ORVA_Value *value = rs->slots[record.slotBase + entry.first];
         // An argument a call moved straight into its parameter shows as the
         // parameter, as a call by name would have shown it.
         const std::string &name = m_prepared->names[entry.second];
         const uint32 k = (value == nullptr && name[0] == '$') ? static_cast<uint32>(atoi(name.c_str() + 1)) : 0;
         if (k >= 1 && k <= region->boundArguments && region->argumentSlots[k - 1] != NO_SLOT)
            value = rs->slots[record.slotBase + region->argumentSlots[k - 1]];
         if (value != nullptr)
            view.variables.emplace_back(m_prepared->names[entry.second], value);
      }
   }
   if (record.scope != nullptr)
      for (uint32 i = 0; i < record.scope->Count(); i++)
      {
         ORVA_Variable *variable = record.scope->GetVariable(i);
         if (slotted && region->SlotOf(m_prepared->NameId(variable->Name())) != NO_SLOT)
            continue;
         view.variables.emplace_back(variable->Name(), variable->Value());
      }
}

ORVA_Value *ORVA_Engine::DebugFind(uint32 frame, const char *name)
{
   if (name == nullptr || DebugFrame(frame) == nullptr)
      return nullptr;
   ORVA_Variable *global = GlobalOfName(m_program->m_globals, name);
   if (global != nullptr)
      return global->Value();
   for (const auto &variable : m_debug->frames[frame].variables)
      if (variable.first == name)
         return variable.second;
   return nullptr;
}

/* The line starts of a program's code as it stands (no run needed). */
static std::vector<uint8> LineStartsOf(ORVA_Instruction *const *code, uint32 codeSize, const ORVA_Function *functions,
                                       uint32 functionCount)
{
   std::vector<uint8> starts;
   FindLineStarts(code, codeSize, functions, functionCount, starts);
   return starts;
}

int ORVA_Engine::DebugLineWithCode(ORVA_Program *program, int line)
{
   if (program == nullptr)
      return 0;
   const std::vector<uint8> starts =
      LineStartsOf(program->m_instructions, program->m_codeSize, program->m_functions, program->m_functionCount);
   return LineWithCodeIn(program->m_instructions, starts, 0, program->m_codeSize, line);
}

int ORVA_Engine::DebugFunctionLine(ORVA_Program *program, const char *name)
{
   if (program == nullptr || name == nullptr)
      return 0;
   const uint32 address = program->GetFunctionAddress(name);
   if (address == INVALID_ADDRESS || address >= program->m_codeSize)
      return 0;
   const std::vector<uint8> starts =
      LineStartsOf(program->m_instructions, program->m_codeSize, program->m_functions, program->m_functionCount);
   for (uint32 i = address; i < program->m_codeSize; i++)
      if (starts[i])
         return program->m_instructions[i]->SourceLine();
   return 0;
}
