/*
 * A global hides the locals of its name.  The prepared code keeps such
 * locals in slots, so a global that appears mid-run turns every operation
 * on those slots into its by-name form, which finds the global first; the
 * turned operations are put back when the run ends.
 */
#include "vm/engine.h"
#include "support/memory.h"
#include "vm/vm.h"

#include <new>

void ORVA_Engine::Shadow(uint32 nameId)
{
   ORVA_RunState *rs = m_run;
   if (nameId >= rs->shadowed.size() || rs->shadowed[nameId])
      return;
   rs->shadowed[nameId] = 1;
   for (uint32 index : m_prepared->nameUses[nameId])
   {
      ORVA_PreparedOp &op = m_prepared->ops[index];
      uint16_t &code = DebugCodeAt(index);   // a debugger's trap stays over it
      rs->patches.push_back({index, code, op.plain});
      // The fused form gives way to the plain one; the instruction that
      // names the variable itself searches by name.
      if (ByNameCode(op.plain) != op.plain && op.b == nameId)
         op.plain = ByNameCode(op.plain);
      code = op.plain;
   }
}

void ORVA_Engine::Unshadow()
{
   ORVA_RunState *rs = m_run;
   while (!rs->patches.empty())
   {
      const ORVA_RunState::Patch &patch = rs->patches.back();
      m_prepared->ops[patch.index].code = patch.code;
      m_prepared->ops[patch.index].plain = patch.plain;
      rs->patches.pop_back();
   }
}

void ORVA_Engine::GlobalAdded(const char *name)
{
   // The slots of a name are a cache of the locals' half of the lookup,
   // kept only while the lookup leaves the name to the locals.
   if (m_run == nullptr || m_prepared == nullptr)
      return;
   const uint32 id = m_prepared->NameId(name);
   if (id == NO_SLOT || GlobalOfName(m_program->m_globals, name) == nullptr)
      return;
   try
   {
      Shadow(id);
   }
   catch (const std::bad_alloc &)
   {
      // Some operations on the name's slots could not be turned: the run
      // cannot go on right, so it stops.
      MemoryExhausted();
      Fail(ORVA_ERR_INTERNAL);
   }
}
