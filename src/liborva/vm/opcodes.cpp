/*
 * The rows of the instruction set (vm/opcodes.h), and the checks that they
 * stand in opcode order and name prepared codes that run them.
 */
#include "vm/opcodes.h"
#include "vm/prepared.h"

static const OpcodeProperties s_opcodes[] = {
#define ORVA_OPCODE_ROW(op, listing, operand, count, pops, pushes, flow, kind, runsAs) \
   {listing, OPERAND_##operand, COUNT_##count, pops, pushes, flow, kind, P_##runsAs},
   ORVA_OPCODES(ORVA_OPCODE_ROW)
#undef ORVA_OPCODE_ROW
};

static_assert(sizeof(s_opcodes) / sizeof(s_opcodes[0]) == OPCODE_COUNT, "one row per opcode");

#define ORVA_OPCODE_NUMBER(op, ...) OPCODE_##op,
static constexpr int s_numbers[] = {ORVA_OPCODES(ORVA_OPCODE_NUMBER)};
#undef ORVA_OPCODE_NUMBER

static constexpr bool InOpcodeOrder(int i)
{
   return i == OPCODE_COUNT || (s_numbers[i] == i && InOpcodeOrder(i + 1));
}
static_assert(InOpcodeOrder(0), "row i of ORVA_OPCODES is the opcode numbered i in orva.h");

// Every opcode of orva.h has a row: the switch has no default, so an
// opcode missing from ORVA_OPCODES stops the build.
#pragma GCC diagnostic push
#pragma GCC diagnostic error "-Wswitch"
static constexpr bool HasRow(decltype(OPCODE_NOP) opCode)
{
   switch (opCode)
   {
#define ORVA_OPCODE_CASE(op, ...) case OPCODE_##op:
      ORVA_OPCODES(ORVA_OPCODE_CASE)
#undef ORVA_OPCODE_CASE
      return true;
   }
   return false;
}
#pragma GCC diagnostic pop
static_assert(HasRow(OPCODE_STEP_KEYED), "the last opcode has a row");

// What a hand-built instruction with a number outside the set is: nothing.
static const OpcodeProperties s_unknown = {"???", OPERAND_NONE, COUNT_NONE, 0, 0, FLOW_ON, OPERATOR_NONE, P_NOP};

const OpcodeProperties &PropertiesOf(int opCode)
{
   return (opCode >= 0 && opCode < OPCODE_COUNT) ? s_opcodes[opCode] : s_unknown;
}
