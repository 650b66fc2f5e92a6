/*
 * The prepared forms of linked modules, appended behind a program's own
 * for one run and cut off at its end.  Both the program's own form and the
 * modules' are closed (prepared.h), so each part reads as it would had the
 * whole code been prepared at once: only addresses, region numbers, name
 * ids and call sites move by where the part lands.
 */
#include "values/value_access.h"
#include "vm/opcodes.h"
#include "vm/prepared.h"

#include <algorithm>

/* Every direct call finds its callee's region again: the regions moved. */
static void PointCallsAtRegions(ORVA_Prepared &into)
{
   for (ORVA_PreparedOp &op : into.ops)
      if (op.plain == P_CALL || op.plain == P_CALL_LONG)
         op.p.region = into.RegionAt(op.a);
}

/* The id in into of each of part's names, added when into has none of that name. */
static std::vector<uint32> MapNames(ORVA_Prepared &into, const ORVA_Prepared &part)
{
   std::vector<uint32> ids(part.names.size());
   for (size_t k = 0; k < part.names.size(); k++)
   {
      auto found = into.nameIds.find(part.names[k]);
      if (found != into.nameIds.end())
      {
         ids[k] = found->second;
         if (found->second < into.own.names)
            into.touchedNames.push_back(found->second);
         continue;
      }
      const uint32 id = static_cast<uint32>(into.names.size());
      into.names.push_back(part.names[k]);
      into.nameIds.emplace(part.names[k], id);
      into.nameUses.emplace_back();
      ids[k] = id;
   }
   return ids;
}

static void AppendPart(ORVA_Prepared &into, const ORVA_Prepared &part, ORVA_Instruction *const *code)
{
   const uint32 start = into.CodeSize();
   const uint32 regionBase = static_cast<uint32>(into.regions.size());
   const uint32 callBase = static_cast<uint32>(into.calls.size());
   const std::vector<uint32> ids = MapNames(into, part);

   for (const ORVA_Region &from : part.regions)
   {
      into.regions.push_back(from);
      ORVA_Region &region = into.regions.back();
      region.start += start;
      region.end += start;
      region.callEntry += start;
      for (auto &slot : region.slots)
         slot.first = ids[slot.first];
      std::sort(region.slots.begin(), region.slots.end());
   }
   const uint32 length = part.CodeSize();
   into.regionOf.resize(static_cast<size_t>(start) + length);
   for (uint32 i = 0; i < length; i++)
      into.regionOf[start + i] = part.regionOf[i] + regionBase;
   into.lineStart.insert(into.lineStart.end(), part.lineStart.begin(), part.lineStart.end());

   // The END of the code before gives way to the part's first operation.
   into.ops.resize(static_cast<size_t>(start) + length + 1);
   for (uint32 i = 0; i < length; i++)
   {
      ORVA_PreparedOp &op = into.ops[start + i];
      op = part.ops[i];
      // Names and constants are the linked copy's: the script may go while the run goes on.
      switch (OperandKindOf(op.opCode))
      {
         case OPERAND_VARIABLE:
            if (ByNameCode(op.plain) != op.plain)
               op.b = ids[op.b];   // a slotted variable's name id
            op.p.name = ORVA_EngineAccess::NameOf(code[start + i]);
            break;
         case OPERAND_NAME:
            op.p.name = ORVA_EngineAccess::NameOf(code[start + i]);
            if (op.plain == P_CALL_NAME)
               op.a += callBase;
            break;
         case OPERAND_CONSTANT:
            op.p.constant = ORVA_EngineAccess::ConstantOf(code[start + i]);
            break;
         case OPERAND_ADDRESS:
            op.a += start;   // an exit is set to the end once every part is in
            if (op.plain == P_CALL || op.plain == P_CALL_LONG)
               op.p.region = (op.p.region != nullptr)
                                ? &into.regions[regionBase + (op.p.region - part.regions.data())]
                                : nullptr;
            break;
         case OPERAND_NONE:
            break;
      }
   }
   into.ops.back() = part.ops.back();
   into.calls.resize(into.calls.size() + part.calls.size());
   for (uint32 e : part.exits)
      into.exits.push_back(e + start);
   for (size_t k = 0; k < part.nameUses.size(); k++)
      for (uint32 use : part.nameUses[k])
         into.nameUses[ids[k]].push_back(use + start);
   for (ORVA_Function record : part.functions)
   {
      if (record.m_address != INVALID_ADDRESS)
         record.m_address += start;
      into.functions.push_back(record);
   }
}

static void SendExitsTo(ORVA_Prepared &into, uint32 end)
{
   for (uint32 e : into.exits)
   {
      into.ops[e].a = end;
      if (into.ops[e].plain == P_CALL || into.ops[e].plain == P_CALL_LONG)
         into.ops[e].p.region = nullptr;
   }
}

void AppendParts(ORVA_Prepared &into, const std::vector<const ORVA_Prepared *> &parts, ORVA_Instruction *const *code)
{
   ORVA_Prepared::Own &own = into.own;
   own.size = into.CodeSize();
   own.regions = static_cast<uint32>(into.regions.size());
   own.names = static_cast<uint32>(into.names.size());
   own.calls = static_cast<uint32>(into.calls.size());
   own.functions = static_cast<uint32>(into.functions.size());
   own.exits = static_cast<uint32>(into.exits.size());
   into.appended = true;

   // Calls point into the regions, which must not move once a part's
   // calls point at them.  They stay where they are from run to run: the
   // cut keeps their room.
   size_t regions = into.regions.size();
   size_t operations = into.ops.size();
   for (const ORVA_Prepared *part : parts)
   {
      regions += part->regions.size();
      operations += part->CodeSize();
   }
   const ORVA_Region *before = into.regions.data();
   into.regions.reserve(regions);
   into.ops.reserve(operations);
   if (into.regions.data() != before)
      PointCallsAtRegions(into);

   for (const ORVA_Prepared *part : parts)
      AppendPart(into, *part, code);
   SendExitsTo(into, into.CodeSize());
}

void DetachParts(ORVA_Prepared &into)
{
   const ORVA_Prepared::Own &own = into.own;
   into.ops.resize(own.size);
   into.ops.emplace_back();
   into.ops.back().code = into.ops.back().plain = P_END;
   into.regions.resize(own.regions);
   into.regionOf.resize(own.size);
   into.lineStart.resize(own.size);
   into.calls.resize(own.calls);
   into.functions.resize(own.functions);
   into.exits.resize(own.exits);
   SendExitsTo(into, own.size);
   // Each part's uses went behind the program's own, in order.
   for (uint32 id : into.touchedNames)
      while (!into.nameUses[id].empty() && into.nameUses[id].back() >= own.size)
         into.nameUses[id].pop_back();
   into.touchedNames.clear();
   for (size_t k = own.names; k < into.names.size(); k++)
      into.nameIds.erase(into.names[k]);
   into.names.resize(own.names);
   into.nameUses.resize(own.names);
   into.appended = false;
}
