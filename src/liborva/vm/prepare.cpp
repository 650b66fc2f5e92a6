/*
 * Lowering a program into its prepared form: regions and the slots of their
 * local variables, the plain operation of every instruction, and the fused
 * forms chosen once for the sequences the compiler emits most.
 */
#include "values/number_text.h"
#include "vm/debug_lines.h"
#include "vm/engine.h"
#include "values/value_access.h"
#include "vm/vm.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

typedef ORVA_EngineAccess Access;

/* Argument variables read by name above this number make a region go by name. */
static const uint32 MAX_SLOTTED_ARGUMENT = 256;

uint32 ORVA_Region::SlotOf(uint32 nameId) const
{
   auto found = std::lower_bound(slots.begin(), slots.end(), std::make_pair(nameId, static_cast<uint32>(0)));
   return (found != slots.end() && found->first == nameId) ? found->second : NO_SLOT;
}

uint32 ORVA_Prepared::NameId(const char *name) const
{
   auto found = nameIds.find((name != nullptr) ? name : "");
   return (found != nameIds.end()) ? found->second : NO_SLOT;
}

bool ORVA_EngineAccess::HasCanonicalText(const ORVA_Value *value)
{
   if (value->m_dataType < ORVA_DT_REAL)
      return false;   // text, object or array: no number to format
   if (!value->m_stringValid || value->m_string == nullptr)
      return true;
   char buffer[NUMBER_TEXT_SIZE];
   const size_t length = FormatNumberText(value, buffer);
   return length == value->m_length && memcmp(buffer, value->m_string, length) == 0;
}

static const char *NameText(const char *name)
{
   return (name != nullptr) ? name : "";
}

/* The k of an argument variable's name "$k" (as "$%d" writes it), or 0. */
static uint32 ArgumentNumber(const std::string &name)
{
   if (name.size() < 2 || name[0] != '$' || name[1] < '1' || name[1] > '9' || name.size() > 11)
      return 0;
   uint64 k = 0;
   for (size_t i = 1; i < name.size(); i++)
   {
      if (name[i] < '0' || name[i] > '9')
         return 0;
      k = k * 10 + static_cast<uint64>(name[i] - '0');
   }
   return (k <= UINT32_MAX) ? static_cast<uint32>(k) : 0;
}

static std::string ArgumentName(uint32 k)
{
   return "$" + std::to_string(k);
}

/* The codes of the instructions that name a variable: by its slot, and by name. */
static const uint16_t s_localAndByName[][2] = {
   {P_PUSH_LOCAL, P_PUSH_NAME},
   {P_SET_LOCAL, P_SET_NAME},
   {P_STEP_LOCAL, P_STEP_NAME},
   {P_ARRAY_LOCAL, P_ARRAY_NAME},
};

uint16_t ByNameCode(uint16_t code)
{
   for (const auto &pair : s_localAndByName)
      if (pair[0] == code)
         return pair[1];
   return code;
}

/* The code that works on the slot of a by-name code's variable (itself for any other). */
static uint16_t LocalCode(uint16_t code)
{
   for (const auto &pair : s_localAndByName)
      if (pair[1] == code)
         return pair[0];
   return code;
}

/* The position of an operator among the shortcut operators, or -1. */
static int ShortcutIndex(int opCode)
{
   static const int operators[] = {
#define ORVA_OPCODE_OF(op) OPCODE_##op,
      ORVA_SHORTCUT_OPERATORS(ORVA_OPCODE_OF)
#undef ORVA_OPCODE_OF
   };
   for (size_t i = 0; i < sizeof(operators) / sizeof(operators[0]); i++)
      if (operators[i] == opCode)
         return static_cast<int>(i);
   return -1;
}

/* The position among the truth operators, which end the list of the shortcut ones, or -1. */
static int TruthIndex(int opCode)
{
#define ORVA_COUNT_OF(op) +1
   const int arithmetic = 0 ORVA_ARITH_OPERATORS(ORVA_COUNT_OF);
#undef ORVA_COUNT_OF
   const int index = ShortcutIndex(opCode);
   return (index >= arithmetic) ? index - arithmetic : -1;
}

#define ORVA_COUNT_FORM(code) +1
static_assert(0 ORVA_OPERATOR_FORMS(ORVA_COUNT_FORM, ADD) == OPERATOR_SHAPES &&
                 0 ORVA_JUMP_FORMS(ORVA_COUNT_FORM, EQ) == JUMP_SHAPES,
              "one form per shape");
#undef ORVA_COUNT_FORM
static_assert(P_LOCAL_LOCAL_SET_ADD - P_OP_ADD == SHAPE_LOCAL_LOCAL_SET && P_OP_SUB - P_OP_ADD == OPERATOR_SHAPES,
              "one code per shape and operator");
static_assert(P_LOCAL_LOCAL_JUMP_EQ - P_JUMP_EQ == SHAPE_LOCAL_LOCAL && P_JUMP_NE - P_JUMP_EQ == JUMP_SHAPES,
              "one code per shape and jump");

static uint16_t OperatorCode(int opCode, int shape)
{
   return static_cast<uint16_t>(P_OP_ADD + OPERATOR_SHAPES * ShortcutIndex(opCode) + shape);
}

static uint16_t JumpCode(int opCode, int shape)
{
   return static_cast<uint16_t>(P_JUMP_EQ + JUMP_SHAPES * TruthIndex(opCode) + shape);
}

namespace
{
/* Regions whose code may run in each other's frames end up in one set. */
struct RegionSets
{
   std::vector<uint32> parent;
   explicit RegionSets(size_t count) : parent(count)
   {
      for (size_t i = 0; i < count; i++)
         parent[i] = static_cast<uint32>(i);
   }
   uint32 Find(uint32 r)
   {
      while (parent[r] != r)
      {
         parent[r] = parent[parent[r]];
         r = parent[r];
      }
      return r;
   }
   void Join(uint32 a, uint32 b) { parent[Find(a)] = Find(b); }
};

/* The whole lowering of one program, step by step. */
class Lowering
{
public:
   Lowering(ORVA_Instruction **code, uint32 codeSize, const ORVA_Function *functions, uint32 functionCount,
            bool noFastPaths, ORVA_Prepared &out)
      : m_code(code), m_n(codeSize), m_functions(functions), m_functionCount(functionCount),
        m_noFastPaths(noFastPaths), m_out(out)
   {
   }

   void Run()
   {
      FindTargets();
      FindLineStarts(m_code, m_n, m_functions, m_functionCount, m_out.lineStart);
      MakeRegions();
      DecideSlots();
      for (ORVA_Region &region : m_out.regions)
         if (region.slotted)
            AssignSlots(region);
      m_out.ops.resize(static_cast<size_t>(m_n) + 1);
      for (uint32 i = 0; i < m_n; i++)
         Lower(i);
      ORVA_PreparedOp &end = m_out.ops[m_n];
      end = ORVA_PreparedOp();
      end.code = end.plain = P_END;
      m_out.nameUses.assign(m_out.names.size(), std::vector<uint32>());
      for (uint32 i = 0; i < m_n; i++)
      {
         if (m_noFastPaths)
            NoteNames(i, 1);
         else
            Fuse(i);
      }
      m_out.closed = m_closed && (m_n == 0 || EndsFlow(OpCodeAt(m_n - 1)));
      m_out.startsFunction = m_n > 0 && m_entry[0];
   }

private:
   ORVA_Instruction **m_code;
   const uint32 m_n;
   const ORVA_Function *m_functions;
   const uint32 m_functionCount;
   const bool m_noFastPaths;
   ORVA_Prepared &m_out;

   std::vector<uint8> m_entry;        // a function starts here
   std::vector<uint8> m_jumpTarget;   // a jump lands here
   std::vector<uint8> m_callTarget;   // a direct call lands here
   std::vector<uint32> m_leadingBinds;   // per region: the BIND instructions it starts with
   bool m_closed = true;                 // nothing leads past the code but to no address

   int OpCodeAt(uint32 i) const { return m_code[i]->OpCode(); }
   const char *NameAt(uint32 i) const { return NameText(Access::NameOf(m_code[i])); }

   void FindTargets()
   {
      m_entry.assign(m_n, 0);
      m_jumpTarget.assign(m_n, 0);
      m_callTarget.assign(m_n, 0);
      for (uint32 f = 0; f < m_functionCount; f++)
      {
         if (m_functions[f].m_address < m_n)
            m_entry[m_functions[f].m_address] = 1;
         else if (m_functions[f].m_address != INVALID_ADDRESS)
            m_closed = false;
      }
      for (uint32 i = 0; i < m_n; i++)
      {
         const int opCode = OpCodeAt(i);
         const uint32 target = Access::AddressOf(m_code[i]);
         if (IsJump(opCode) && target < m_n)
            m_jumpTarget[target] = 1;
         else if (PropertiesOf(opCode).flow == FLOW_CALL && target < m_n)
            m_callTarget[target] = 1;
      }
   }

   void MakeRegions()
   {
      m_out.regionOf.assign(m_n, 0);
      for (uint32 i = 0; i < m_n; i++)
      {
         if (i == 0 || m_entry[i])
         {
            if (i > 0)
               m_out.regions.back().end = i;
            m_out.regions.emplace_back();
            m_out.regions.back().start = i;
         }
         m_out.regionOf[i] = static_cast<uint32>(m_out.regions.size() - 1);
      }
      if (!m_out.regions.empty())
         m_out.regions.back().end = m_n;
   }

   /*
    * A region keeps its locals in slots when its code runs only in frames of
    * its own: nothing jumps or falls into it from another region, calls enter
    * it only at its start (a function's start), and every BIND is one of the
    * BINDs it starts with, so that BIND k reads $k.
    */
   void DecideSlots()
   {
      const size_t count = m_out.regions.size();
      RegionSets sets(count);
      std::vector<uint8> irregular(count, m_noFastPaths ? 1 : 0);
      m_leadingBinds.assign(count, 0);

      for (uint32 r = 0; r < count; r++)
      {
         const ORVA_Region &region = m_out.regions[r];
         if (!m_entry[region.start])
            irregular[r] = 1;   // reached only by running into it
         uint32 binds = 0;
         while (region.start + binds < region.end && OpCodeAt(region.start + binds) == OPCODE_BIND &&
                !m_jumpTarget[region.start + binds])
            binds++;
         m_leadingBinds[r] = binds;
         for (uint32 i = region.start; i < region.end; i++)
         {
            const int opCode = OpCodeAt(i);
            if (opCode == OPCODE_BIND && i >= region.start + binds)
               irregular[r] = 1;   // its argument number depends on the path to it
            if (m_callTarget[i] && !m_entry[i])
               irregular[r] = 1;   // a call into the middle
            if (OperandKindOf(opCode) == OPERAND_VARIABLE && ArgumentNumber(NameAt(i)) > MAX_SLOTTED_ARGUMENT)
               irregular[r] = 1;
            const uint32 target = Access::AddressOf(m_code[i]);
            if (IsJump(opCode) && target < m_n && m_out.regionOf[target] != r)
               sets.Join(r, m_out.regionOf[target]);
         }
         if (binds > MAX_SLOTTED_ARGUMENT)
            irregular[r] = 1;
         if (region.end < m_n && !EndsFlow(OpCodeAt(region.end - 1)))
            sets.Join(r, r + 1);
      }

      std::vector<uint32> members(count, 0);
      std::vector<uint8> setIrregular(count, 0);
      for (uint32 r = 0; r < count; r++)
      {
         members[sets.Find(r)]++;
         if (irregular[r])
            setIrregular[sets.Find(r)] = 1;
      }
      for (uint32 r = 0; r < count; r++)
      {
         const uint32 set = sets.Find(r);
         m_out.regions[r].slotted = members[set] == 1 && !setIrregular[set];
      }
   }

   uint32 NameIdOf(const std::string &name)
   {
      auto found = m_out.nameIds.find(name);
      if (found != m_out.nameIds.end())
         return found->second;
      const uint32 id = static_cast<uint32>(m_out.names.size());
      m_out.names.push_back(name);
      m_out.nameIds.emplace(name, id);
      return id;
   }

   /*
    * Every name the region's instructions use gets a slot, and so does $k for
    * each leading BIND.  When nothing else reads those $k, a call may move
    * its arguments straight into the parameters and start after the BINDs.
    */
   void AssignSlots(ORVA_Region &region)
   {
      const uint32 r = m_out.regionOf[region.start];
      const uint32 binds = m_leadingBinds[r];
      std::vector<std::string> order;   // names by first use
      std::unordered_map<std::string, uint32> local;
      auto use = [&](const std::string &name) {
         if (local.emplace(name, static_cast<uint32>(order.size())).second)
            order.push_back(name);
      };

      bool direct = binds > 0;
      std::vector<std::string> parameters;
      for (uint32 j = 0; j < binds; j++)
      {
         use(ArgumentName(j + 1));
         parameters.push_back(NameAt(region.start + j));
      }
      for (uint32 i = region.start; i < region.end; i++)
      {
         if (OperandKindOf(OpCodeAt(i)) != OPERAND_VARIABLE)
            continue;
         const std::string name = NameAt(i);
         use(name);
         const uint32 k = ArgumentNumber(name);
         if (k >= 1 && k <= binds)
            direct = false;   // $k is read (or is a parameter): BIND must copy it
      }
      for (uint32 j = 0; direct && j < binds; j++)
      {
         if (ArgumentNumber(parameters[j]) > 0)
            direct = false;   // a parameter named like an argument would take another argument's place
         for (uint32 m = j + 1; m < binds; m++)
            if (parameters[j] == parameters[m])
               direct = false;   // a later parameter replaces an earlier one: leave it to BIND
      }

      region.slotCount = static_cast<uint32>(order.size());
      uint32 highestArgument = direct ? binds : 0;
      for (uint32 s = 0; s < order.size(); s++)
      {
         region.slots.emplace_back(NameIdOf(order[s]), s);
         const uint32 k = ArgumentNumber(order[s]);
         if (k > highestArgument && !(direct && k <= binds))
            highestArgument = k;
      }
      std::sort(region.slots.begin(), region.slots.end());

      region.argumentSlots.assign(highestArgument, NO_SLOT);
      for (uint32 i = 0; i < highestArgument; i++)
      {
         auto found = local.find((direct && i < binds) ? parameters[i] : ArgumentName(i + 1));
         if (found != local.end())
            region.argumentSlots[i] = found->second;
      }
      region.argumentCount = highestArgument;
      region.boundArguments = direct ? binds : 0;
      region.callEntry = region.start + region.boundArguments;
      region.bindCounter = static_cast<int32>(binds) + 1;
   }

   uint32 SlotOfName(const ORVA_Region &region, const char *name)
   {
      return region.SlotOf(m_out.NameId(name));
   }

   /*
    * The operation that does instruction i alone: the code its row of the
    * instruction set runs it as, and the operands that code reads.  Only
    * what the row cannot say is decided here: slots for variables, the
    * costs of checkpoints, the typed forms of the fast paths.
    */
   void Lower(uint32 i)
   {
      ORVA_Instruction *instruction = m_code[i];
      ORVA_PreparedOp &op = m_out.ops[i];
      op = ORVA_PreparedOp();
      const int opCode = instruction->OpCode();
      const OpcodeProperties &row = PropertiesOf(opCode);
      // Numbers outside the instruction set have the row of a NOP.
      op.opCode = static_cast<uint8>((row.runsAs == P_NOP) ? OPCODE_NOP : opCode);
      const ORVA_Region &region = m_out.regions[m_out.regionOf[i]];
      uint16_t code = row.runsAs;

      switch (row.operand)
      {
         case OPERAND_NAME:
            op.p.name = Access::NameOf(instruction);
            break;
         case OPERAND_VARIABLE:
            op.p.name = Access::NameOf(instruction);
            if (region.slotted)
            {
               op.b = m_out.NameId(NameText(op.p.name));
               op.a = region.SlotOf(op.b);
               code = LocalCode(code);
            }
            break;
         case OPERAND_CONSTANT:
            op.p.constant = Access::ConstantOf(instruction);
            break;
         case OPERAND_ADDRESS:
         {
            const uint32 target = Access::AddressOf(instruction);
            op.a = (target < m_n) ? target : m_n;   // past the code: the run ends
            if (target == INVALID_ADDRESS)
               m_out.exits.push_back(i);
            else if (target >= m_n)
               m_closed = false;   // behind this code it would lead into the next
            break;
         }
         case OPERAND_NONE:
            break;
      }
      if (row.count == COUNT_ITEMS)
         op.a = static_cast<uint32>(instruction->StackItems());
      else if (row.count != COUNT_NONE)
         op.b = static_cast<uint32>(instruction->StackItems());

      switch (opCode)
      {
         case OPCODE_JMP:
         case OPCODE_JZ:
         case OPCODE_JNZ:
            // A jump back closes a loop: its checkpoint charges the loop's length.
            if (op.a <= i)
               op.cost = CheckpointCost(i - op.a + 1);
            break;
         case OPCODE_CALL:
            // Every call is a checkpoint.
            op.p.region = m_out.RegionAt(op.a);
            op.cost = CheckpointCost(CallCost(op.p.region, op.a));
            // A callee longer than the field holds is charged in full by a
            // call of its own, so the common call stays as short as it is.
            if (CallCost(op.p.region, op.a) > op.cost)
               code = P_CALL_LONG;
            break;
         case OPCODE_CALL_EXTERNAL:
            op.a = static_cast<uint32>(m_out.calls.size());
            m_out.calls.emplace_back();
            break;
         case OPCODE_PUSH_CONSTANT:
            // A copy made without the text reads the same when the text is
            // what the number formats to anyway.
            if (!m_noFastPaths && op.p.constant != nullptr &&
                (Access::CopiesWithoutText(op.p.constant) || Access::HasCanonicalText(op.p.constant)))
               op.flags |= PREPARED_BARE;
            break;
         case OPCODE_BIND:
            if (region.slotted)
            {
               // The leading BINDs read $1, $2, ... in turn.
               code = P_BIND_LOCAL;
               op.b = SlotOfName(region, ArgumentName(i - region.start + 1).c_str());
            }
            break;
         case OPCODE_NEG:
            code = m_noFastPaths ? code : static_cast<uint16_t>(P_NEG);
            break;
         case OPCODE_NOT:
            code = m_noFastPaths ? code : static_cast<uint16_t>(P_NOT);
            break;
         default:
            if (!m_noFastPaths && ShortcutIndex(opCode) >= 0)
               code = OperatorCode(opCode, SHAPE_STACK);
            break;
      }
      op.code = op.plain = code;
   }

   /*
    * Instructions i+1 .. i+length-1 exist, lie in i's region and are reached
    * only from i, and none starts a line: a breakpoint trapped there must
    * run, whether the fast paths are on or off.
    */
   bool Joins(uint32 i, uint32 length) const
   {
      if (static_cast<uint64>(i) + length > m_n)
         return false;
      for (uint32 k = i + 1; k < i + length; k++)
         if (m_entry[k] || m_jumpTarget[k] || m_callTarget[k] || m_out.lineStart[k] ||
             m_out.regionOf[k] != m_out.regionOf[i])
            return false;
      return true;
   }

   uint16_t PlainAt(uint32 i) const { return (i < m_n) ? m_out.ops[i].plain : static_cast<uint16_t>(P_END); }
   int OpAt(uint32 i) const { return (i < m_n) ? m_out.ops[i].opCode : -1; }
   bool IsShortcutAt(uint32 i) const { return i < m_n && PlainAt(i) >= P_OP_ADD && PlainAt(i) < P_JUMP_EQ; }
   bool IsTruthAt(uint32 i) const { return IsShortcutAt(i) && TruthIndex(OpAt(i)) >= 0; }
   bool IsConditionalJumpAt(uint32 i) const { return PlainAt(i) == P_JZ || PlainAt(i) == P_JNZ; }
   bool IsPopOneAt(uint32 i) const { return PlainAt(i) == P_POP && m_out.ops[i].a == 1; }
   // A push of a constant that is there (a hand-built one may hold none).
   bool IsConstAt(uint32 i) const { return PlainAt(i) == P_PUSH_CONST && m_out.ops[i].p.constant != nullptr; }

   /*
    * "s = s . a . b;" on a local: what is appended is made of constants,
    * other locals, elements of them and operators on those, and the
    * assignment to the same local ends the statement.  Nothing in such a
    * sequence reads the variable, calls or jumps, and only the appends
    * touch the value that starts it.
    */
   bool AppendsToItself(uint32 i, uint32 *length) const
   {
      const uint32 slot = m_out.ops[i].a;
      uint32 depth = 1;   // values on the stack since i; the first is the variable's
      uint32 appends = 0;
      for (uint32 at = i + 1; at + 1 < m_n; at++)
      {
         const uint16_t plain = PlainAt(at);
         if (plain == P_PUSH_CONST || (plain == P_PUSH_LOCAL && m_out.ops[at].a != slot))
            depth++;
         else if (plain == P_BINARY && OpAt(at) == OPCODE_CONCAT && depth >= 2)
         {
            if (depth == 2)
               appends++;
            depth--;
         }
         else if ((plain == P_GET_ELEMENT || IsShortcutAt(at)) && depth >= 3)
            depth--;
         else if (plain == P_SET_LOCAL && m_out.ops[at].a == slot && depth == 1 && IsPopOneAt(at + 1))
         {
            *length = at + 2 - i;
            return appends > 0 && Joins(i, *length);
         }
         else
            return false;
      }
      return false;
   }

   /*
    * "substr(s, i, 1)": one to three pushes of locals and constants, the
    * first a local at i, then the call by name that takes them all.
    */
   bool CallOfPushes(uint32 i, uint32 *length) const
   {
      for (uint32 n = 1; n <= 3; n++)
      {
         const uint32 at = i + n;
         if (PlainAt(at) == P_CALL_NAME)
         {
            *length = n + 1;
            return m_out.ops[at].b == n && m_out.ops[at].p.name != nullptr && Joins(i, n + 1);
         }
         if (!IsConstAt(at) && PlainAt(at) != P_PUSH_LOCAL)
            return false;
      }
      return false;
   }

   /* An element read (or, with set, write) at i, of either level; a keyed one marks op. */
   bool ElementAt(uint32 i, ORVA_PreparedOp &op, bool set = false)
   {
      const uint16_t plain = PlainAt(i);
      if (plain == (set ? P_SET_KEYED : P_GET_KEYED))
      {
         op.flags |= PREPARED_KEYED;
         return true;
      }
      return plain == (set ? P_SET_ELEMENT : P_GET_ELEMENT);
   }

   /* The fused form, if any, that starts at i, and how many instructions it takes in. */
   void Fuse(uint32 i)
   {
      ORVA_PreparedOp &op = m_out.ops[i];
      uint16_t code = op.plain;
      uint32 length = 1;
      auto choose = [&](uint16_t fused, uint32 taken) {
         code = fused;
         length = taken;
      };
      switch (op.plain)
      {
         case P_PUSH_LOCAL:
         {
            const int shape = IsConstAt(i + 1)                ? SHAPE_LOCAL_CONST
                              : (PlainAt(i + 1) == P_PUSH_LOCAL) ? SHAPE_LOCAL_LOCAL
                                                                 : -1;
            uint32 appended, taken;
            if (AppendsToItself(i, &appended))
               choose(P_PUSH_LOCAL_MOVE, appended);
            else if (shape >= 0 && IsTruthAt(i + 2) && IsConditionalJumpAt(i + 3) && Joins(i, 4))
               choose(JumpCode(OpAt(i + 2), shape), 4);
            else if (shape >= 0 && IsShortcutAt(i + 2) && PlainAt(i + 3) == P_SET_LOCAL && IsPopOneAt(i + 4) &&
                     Joins(i, 5))
               choose(OperatorCode(OpAt(i + 2), shape + (SHAPE_LOCAL_CONST_SET - SHAPE_LOCAL_CONST)), 5);
            else if (shape >= 0 && IsShortcutAt(i + 2) && Joins(i, 3))
               choose(OperatorCode(OpAt(i + 2), shape), 3);
            else if (shape == SHAPE_LOCAL_LOCAL && ElementAt(i + 2, op) && PlainAt(i + 3) == P_SET_LOCAL &&
                     IsPopOneAt(i + 4) && Joins(i, 5))
               choose(P_LOCAL_LOCAL_GET_SET, 5);
            else if (shape == SHAPE_LOCAL_LOCAL && ElementAt(i + 2, op) && PlainAt(i + 3) == P_NOT &&
                     IsConditionalJumpAt(i + 4) && Joins(i, 5))
               choose(P_LOCAL_LOCAL_GET_NOT_JUMP, 5);
            else if (shape == SHAPE_LOCAL_LOCAL && (IsConstAt(i + 2) || PlainAt(i + 2) == P_PUSH_LOCAL) &&
                     ElementAt(i + 3, op, true) && IsPopOneAt(i + 4) && Joins(i, 5))
               choose(IsConstAt(i + 2) ? P_LOCAL_LOCAL_CONST_PUT : P_LOCAL_LOCAL_LOCAL_PUT, 5);
            else if (shape >= 0 && ElementAt(i + 2, op) && Joins(i, 3))
               choose((shape == SHAPE_LOCAL_CONST) ? P_LOCAL_CONST_GET : P_LOCAL_LOCAL_GET, 3);
            else if (IsTruthAt(i + 1) && IsConditionalJumpAt(i + 2) && Joins(i, 3))
               choose(JumpCode(OpAt(i + 1), SHAPE_LOCAL), 3);
            else if (IsShortcutAt(i + 1) && Joins(i, 2))
               choose(OperatorCode(OpAt(i + 1), SHAPE_LOCAL), 2);
            else if (ElementAt(i + 1, op) && Joins(i, 2))
               choose(P_LOCAL_GET, 2);
            else if (CallOfPushes(i, &taken))
               choose(P_LOCAL_CALL, taken);
            break;
         }
         case P_PUSH_CONST:
            if (!IsConstAt(i))
               break;
            if (IsTruthAt(i + 1) && IsConditionalJumpAt(i + 2) && Joins(i, 3))
               choose(JumpCode(OpAt(i + 1), SHAPE_CONST), 3);
            else if (IsShortcutAt(i + 1) && Joins(i, 2))
               choose(OperatorCode(OpAt(i + 1), SHAPE_CONST), 2);
            break;
         case P_SET_LOCAL:
         case P_SET_NAME:
         case P_STEP_LOCAL:
         case P_STEP_NAME:
         case P_SET_ELEMENT:
            if (IsPopOneAt(i + 1) && Joins(i, 2))
               choose((op.plain == P_SET_LOCAL)     ? P_SET_LOCAL_POP
                      : (op.plain == P_SET_NAME)    ? P_SET_NAME_POP
                      : (op.plain == P_STEP_LOCAL)  ? P_STEP_LOCAL_POP
                      : (op.plain == P_STEP_NAME)   ? P_STEP_NAME_POP
                                                    : P_SET_ELEMENT_POP,
                     2);
            break;
         case P_NOT:
            if (IsConditionalJumpAt(i + 1) && Joins(i, 2))
               choose(P_NOT_JUMP, 2);
            break;
         case P_SET_KEYED:
            if (IsPopOneAt(i + 1) && Joins(i, 2))
               choose(P_SET_KEYED_POP, 2);
            break;
         default:
            if (IsTruthAt(i) && IsConditionalJumpAt(i + 1) && Joins(i, 2))
               choose(JumpCode(op.opCode, SHAPE_STACK), 2);
            break;
      }
      if (length == 1)
         op.flags &= static_cast<uint8>(~PREPARED_KEYED);   // marked by a form not taken
      op.code = code;
      NoteNames(i, length);
   }

   /*
    * Which operations read or write the slot of each name, the fused ones
    * by every instruction they take in: a global of that name makes them go
    * by name (ORVA_Engine::Shadow).
    */
   void NoteNames(uint32 i, uint32 length)
   {
      for (uint32 k = i; k < i + length && k < m_n; k++)
      {
         const ORVA_PreparedOp &taken = m_out.ops[k];
         if (ByNameCode(taken.plain) == taken.plain)
            continue;   // names no slot
         std::vector<uint32> &uses = m_out.nameUses[taken.b];
         if (uses.empty() || uses.back() != i)
            uses.push_back(i);
      }
   }
};
}   // namespace

ORVA_Prepared *ORVA_Engine::PrepareCode(const ORVA_Program *program, uint32 codeSize, uint32 functionCount,
                                        bool noFastPaths)
{
   std::unique_ptr<ORVA_Prepared> prepared(new ORVA_Prepared());
   Lowering(program->m_instructions, codeSize, program->m_functions, functionCount, noFastPaths, *prepared).Run();

   prepared->noFastPaths = noFastPaths;
   prepared->reusable = true;
   prepared->prints.reserve(codeSize);
   for (uint32 i = 0; i < codeSize; i++)
   {
      const ORVA_Instruction *instruction = program->m_instructions[i];
      prepared->prints.push_back(
         {instruction, instruction->OpCode(), instruction->StackItems(), Access::OperandBits(instruction)});
   }
   prepared->functions.assign(program->m_functions, program->m_functions + functionCount);
   prepared->version = program->m_body->codeVersion;
   prepared->code = program->m_instructions;
   prepared->records = program->m_functions;
   return prepared.release();
}

ORVA_Prepared *ORVA_Engine::Prepare(bool noFastPaths) const
{
   ORVA_Program *program = m_program;
   ORVA_Prepared *prepared = PrepareCode(program, program->m_codeSize, program->m_functionCount, noFastPaths);
   // Code that module linking appended for one run is gone after it.
   prepared->reusable = (program->m_moduleCount == 0);
   return prepared;
}

bool ORVA_Engine::FormFits(const ORVA_Prepared &form, const ORVA_Program *program, uint32 codeSize,
                           uint32 functionCount)
{
   if (form.prints.size() != codeSize || form.functions.size() != functionCount || codeSize > program->m_codeSize ||
       functionCount > program->m_functionCount)
      return false;
   if (program->m_body->madeByCompiler && form.version == program->m_body->codeVersion &&
       form.code == program->m_instructions && form.records == program->m_functions)
      return true;
   for (uint32 i = 0; i < codeSize; i++)
   {
      const ORVA_Instruction *instruction = program->m_instructions[i];
      const ORVA_InstructionPrint print = {instruction, instruction->OpCode(), instruction->StackItems(),
                                           Access::OperandBits(instruction)};
      if (!(print == form.prints[i]))
         return false;
   }
   for (uint32 f = 0; f < functionCount; f++)
   {
      const ORVA_Function &now = program->m_functions[f];
      const ORVA_Function &then = form.functions[f];
      if (now.m_address != then.m_address || strncmp(now.m_name, then.m_name, sizeof(now.m_name)) != 0)
         return false;
   }
   return true;
}

bool ORVA_Engine::OwnFormIsCurrent(uint32 codeSize, uint32 functionCount)
{
   ORVA_Prepared *prepared = m_prepared;
   const ORVA_Program *program = m_program;
   if (prepared == nullptr || !prepared->reusable || prepared->appended || prepared->noFastPaths != m_fastPathsOff ||
       !FormFits(*prepared, program, codeSize, functionCount))
      return false;
   // Compared in full and found the same: the cheap test holds again.
   prepared->version = program->m_body->codeVersion;
   prepared->code = program->m_instructions;
   prepared->records = program->m_functions;
   return true;
}

void ORVA_Engine::MarkMadeByCompiler(ORVA_Program *program)
{
   program->m_body->madeByCompiler = true;
}

std::shared_ptr<const ORVA_Prepared> ORVA_Engine::LinkForm(ORVA_Program *main, ORVA_Program *module)
{
   const ORVA_Engine *engine = main->m_body->engine;
#if defined(ORVA_NO_FAST_PATHS)
   const bool noFastPaths = (engine != nullptr) ? engine->m_fastPathsOff : true;
#else
   const bool noFastPaths = (engine != nullptr) ? engine->m_fastPathsOff : false;
#endif
   // Runs of programs on other threads may link the same library script.
   static std::mutex s_forms;
   std::lock_guard<std::mutex> hold(s_forms);
   std::shared_ptr<const ORVA_Prepared> &form = module->m_body->linkForms[noFastPaths ? 1 : 0];
   if (form == nullptr || !FormFits(*form, module, module->m_codeSize, module->m_functionCount))
      form.reset(PrepareCode(module, module->m_codeSize, module->m_functionCount, noFastPaths));
   return form;
}
