/*
 * The prepared form of a program: the code lowered once, when a run starts,
 * into an array of compact operations that the interpreter loop runs.  It is
 * kept with the program and made again only when the code changed.
 *
 * Operation i stands for instruction i, so every code address is also the
 * index of an operation and the loop's position always names the public
 * instruction that error messages report.  One more operation, at the code
 * size, ends the run.  Each operation carries two codes: `plain` does the
 * instruction alone; `code` may be a fused form that does it together with
 * the instructions after it, chosen here once.  A fused form whose guard
 * fails (an operand of another type, a global hiding a local) runs the plain
 * code instead and carries on instruction by instruction, so a fusion never
 * changes what happens, only how fast.
 *
 * Local variables are resolved to slots of the call frame per region: the
 * stretch of code from one function's start to the next.  A region whose
 * code could run in another region's frame (a jump or a fall-through across
 * the boundary, a call into its middle) or reads arguments in ways the
 * counter of BIND decides at run time keeps every name by name.
 */
#ifndef ORVA_PREPARED_H
#define ORVA_PREPARED_H

#include "orva.h"
#include "vm/in_place_calls.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

/*
 * The operators with a typed shortcut; the truth operators give 1 or 0.
 * The lists apply F(X, op) to each, so that a list of forms per operator
 * can be handed X in turn; the one-argument forms apply X(op).
 */
#define ORVA_ARITH_LIST(F, X) \
   F(X, ADD) F(X, SUB) F(X, MUL) F(X, DIV) F(X, REM) F(X, BIT_AND) F(X, BIT_OR) F(X, BIT_XOR) F(X, LSHIFT) F(X, RSHIFT)
#define ORVA_TRUTH_LIST(F, X) F(X, EQ) F(X, NE) F(X, LT) F(X, LE) F(X, GT) F(X, GE) F(X, AND) F(X, OR)
#define ORVA_APPLY(X, op) X(op)
#define ORVA_ARITH_OPERATORS(X) ORVA_ARITH_LIST(ORVA_APPLY, X)
#define ORVA_TRUTH_OPERATORS(X) ORVA_TRUTH_LIST(ORVA_APPLY, X)
#define ORVA_SHORTCUT_OPERATORS(X) ORVA_ARITH_OPERATORS(X) ORVA_TRUTH_OPERATORS(X)

/*
 * The codes without an operator of their own.  _LOCAL works on a slot,
 * _NAME searches by name; _POP also does the POP 1 that follows.  The fused
 * element forms: LOCAL_GET reads an element of the array on top at a local
 * index, LOCAL_CONST_GET and LOCAL_LOCAL_GET of a local array; _GET_SET also
 * stores the element into a local, _GET_NOT_JUMP jumps on "!a[i]" without
 * making a value; the _PUT forms store a constant or a
 * local into an element of a local array as a statement.  CALL_LONG is a
 * call of a function longer than a checkpoint's field can charge.  The
 * codes from GET_KEYED to STEP_KEYED are those of level 2's instructions.
 * TRAP stands in for the code of a line start a debugger watches: it
 * reports, then runs the plain code of its position (vm/debug_run.cpp).
 * LOCAL_CALL is a call by name whose arguments are all pushes of locals
 * and constants, the first a local: a built-in that only reads them is
 * handed them where they are.
 */
#define ORVA_SIMPLE_CODES(X)                                                                                      \
   X(NOP) X(END) X(RET) X(RET_NULL) X(JMP) X(JZ) X(JNZ) X(CALL) X(CALL_NAME) X(PUSH_CONST) X(PUSH_LOCAL)          \
   X(PUSH_NAME) X(EXIT) X(POP) X(SET_LOCAL) X(SET_NAME) X(PRINT) X(BIND_LOCAL) X(BIND_NAME) X(STEP_LOCAL)          \
   X(STEP_NAME) X(UNARY) X(CAST) X(REFERENCE) X(ARRAY_LOCAL) X(ARRAY_NAME) X(GET_ELEMENT) X(SET_ELEMENT) X(BINARY) \
   X(SET_LOCAL_POP) X(SET_NAME_POP) X(STEP_LOCAL_POP) X(STEP_NAME_POP) X(SET_ELEMENT_POP) X(PUSH_LOCAL_MOVE)      \
   X(LOCAL_GET) X(LOCAL_CONST_GET) X(LOCAL_LOCAL_GET) X(LOCAL_LOCAL_GET_SET) X(LOCAL_LOCAL_GET_NOT_JUMP)         \
   X(LOCAL_LOCAL_CONST_PUT)                                                                                       \
   X(LOCAL_LOCAL_LOCAL_PUT) X(NEG) X(NOT) X(NOT_JUMP) X(CALL_LONG) X(GET_KEYED) X(SET_KEYED) X(SET_KEYED_POP)          \
   X(UPDATE_KEYED) X(UPDATE) X(TRUTH) X(JUMP_KEEP) X(ITER_START) X(ITER_NEXT) X(LIST) X(MAP) X(STEP_KEYED) X(TRAP) X(LOCAL_CALL)

/*
 * The forms of an operator, one per shape of ORVA_OperatorShape and in its
 * order; the truth operators also have the shapes that end with JZ or JNZ,
 * which is taken on the truth without making a value.
 */
#define ORVA_OPERATOR_FORMS(X, op)                                                     \
   X(OP_##op) X(CONST_##op) X(LOCAL_##op) X(LOCAL_CONST_##op) X(LOCAL_LOCAL_##op) \
      X(LOCAL_CONST_SET_##op) X(LOCAL_LOCAL_SET_##op)
#define ORVA_JUMP_FORMS(X, op) \
   X(JUMP_##op) X(CONST_JUMP_##op) X(LOCAL_JUMP_##op) X(LOCAL_CONST_JUMP_##op) X(LOCAL_LOCAL_JUMP_##op)

/*
 * Every prepared code, in the order of their numbers: the enumeration and
 * the interpreter's tables of handlers are made from this one list.
 */
#define ORVA_PREPARED_CODES(X)                  \
   ORVA_SIMPLE_CODES(X)                         \
   ORVA_ARITH_LIST(ORVA_OPERATOR_FORMS, X)      \
   ORVA_TRUTH_LIST(ORVA_OPERATOR_FORMS, X)      \
   ORVA_TRUTH_LIST(ORVA_JUMP_FORMS, X)

enum ORVA_PreparedCode : uint16_t
{
#define ORVA_PREPARED_CODE(name) P_##name,
   ORVA_PREPARED_CODES(ORVA_PREPARED_CODE)
#undef ORVA_PREPARED_CODE
   P_CODE_COUNT
};

/*
 * The shapes of an operator, as offsets from its P_OP_ or P_JUMP_ code: the
 * instructions before the operator that the shape takes in.  The _SET shapes
 * also take the SET of a local and the POP 1 after the operator, and store
 * the result straight into the local.
 */
enum ORVA_OperatorShape
{
   SHAPE_STACK = 0,         // the operator on the two values on top
   SHAPE_CONST = 1,         // PUSH_CONST, operator: the top value and a constant
   SHAPE_LOCAL = 2,         // PUSH_LOCAL, operator: the top value and a local
   SHAPE_LOCAL_CONST = 3,   // PUSH_LOCAL, PUSH_CONST, operator
   SHAPE_LOCAL_LOCAL = 4,   // PUSH_LOCAL, PUSH_LOCAL, operator
   SHAPE_LOCAL_CONST_SET = 5,
   SHAPE_LOCAL_LOCAL_SET = 6,
   OPERATOR_SHAPES = 7,
   JUMP_SHAPES = 5          // the first five, each followed by JZ or JNZ
};

/* Flags of an operation. */
enum
{
   PREPARED_BARE = 2,   // a constant whose copy needs no text of its own
   // A fused element form of level 2's keyed access: it takes only an int32
   // key without text of its own, whose element is the integer-keyed one.
   PREPARED_KEYED = 4
};

/* A slot that is not there. */
const uint32 NO_SLOT = 0xFFFFFFFFu;

struct ORVA_Region;

struct ORVA_PreparedOp
{
   uint16_t code;     // what the loop runs here
   uint16_t plain;    // the instruction alone
   uint8 opCode;    // the instruction's opcode; OPCODE_NOP for numbers outside the set
   uint8 flags;
   // What a checkpoint charges the instruction budget: a backward jump the
   // length of the loop it closes, a call the length of the function it
   // enters, so that the budget bounds the instructions run from above.
   uint16_t cost;
   uint32 a;        // slot, code address or count, by code
   uint32 b;        // name id, argument count, type code or second slot, by code
   union
   {
      ORVA_Value *constant;
      char *name;
      const ORVA_Region *region;   // the callee of a direct call
   } p;
};

struct ORVA_Region
{
   uint32 start = 0;                 // first address
   uint32 end = 0;                   // address after the last
   bool slotted = false;             // locals live in slots; else every name goes by name
   uint32 slotCount = 0;
   std::vector<std::pair<uint32, uint32>> slots;   // (name id, slot), by name id

   // How a call enters: argument i goes to argumentSlots[i] (NO_SLOT: it is
   // released, nothing reads it).  The first boundArguments of them are the
   // parameters, bound by the call itself, which then starts at callEntry,
   // after the BIND instructions; a missing one is null.
   std::vector<uint32> argumentSlots;
   uint32 argumentCount = 0;         // argumentSlots.size()
   uint32 boundArguments = 0;
   uint32 callEntry = 0;
   int32 bindCounter = 1;            // BIND's counter once the BINDs it starts with are done

   uint32 SlotOf(uint32 nameId) const;
};

/*
 * What entering a function at target charges the instruction budget, the
 * same for every way in (a call by address or by name, the run's first
 * entry): its code from there to its end, since straight-line code has no
 * checkpoint of its own.  1 for an entry into no code.
 */
inline uint32 CallCost(const ORVA_Region *region, uint32 target)
{
   return (region != nullptr && region->end > target) ? region->end - target : 1;
}

/* A checkpoint's charge for a stretch of code, at most what the field holds. */
inline uint16_t CheckpointCost(uint32 length)
{
   return static_cast<uint16_t>((length == 0) ? 1 : (length > 0xFFFF) ? 0xFFFF : length);
}

/* The code that finds a slotted instruction's variable by name instead (itself for any other). */
uint16_t ByNameCode(uint16_t code);

/* What the prepared form was made from, to tell whether the code changed since. */
struct ORVA_InstructionPrint
{
   const ORVA_Instruction *instruction;
   int32 opCode;
   int32 count;
   uint64 operand;
   bool operator==(const ORVA_InstructionPrint &other) const
   {
      return instruction == other.instruction && opCode == other.opCode && count == other.count &&
             operand == other.operand;
   }
};

/*
 * What a call by name found among the environment's functions, kept for as
 * long as the function table is the one it was found in: registering a set
 * moves or lengthens the table, which sends the next call to look again.
 * A run may have another environment whose table sits where an old one
 * was, so what an earlier run found counts for nothing: the run number
 * says whose it is, and no run walks every call site to forget.
 */
struct ORVA_CallCache
{
   const ORVA_ExtFunction *table = nullptr;
   uint32 count = 0;
   uint32 record = NO_SLOT;   // NO_SLOT: no function of the name, a script call
   uint64 run = 0;            // the run that found it; runs count from 1
   // The in-place form of the handler last called here: the row search is
   // paid again only when the host's function at the name has changed.
   ORVA_ExtHandler handler = nullptr;
   ORVA_InPlaceHandler inPlace = nullptr;
   bool readsOnly = false;   // the form's row says so (vm/in_place_calls.h)
};

struct ORVA_Prepared
{
   std::vector<ORVA_PreparedOp> ops;   // one per instruction, and END
   std::vector<ORVA_Region> regions;
   std::vector<uint32> regionOf;       // by address
   std::vector<std::string> names;     // variable names of slotted regions, by name id
   std::unordered_map<std::string, uint32> nameIds;
   std::vector<std::vector<uint32>> nameUses;   // by name id: the operations that use its slot
   std::vector<ORVA_CallCache> calls;           // by CALL_NAME's a; good for the run that filled them
   std::vector<uint8> lineStart;                // by address: where a debugger's stops go (debug_lines.h)
   std::vector<uint32> exits;                   // operations whose target is no address: the end of the run

   // The code it was made from: the prints and records are read only when
   // the program's version cannot vouch for it (ORVA_ProgramBody).
   std::vector<ORVA_InstructionPrint> prints;
   std::vector<ORVA_Function> functions;   // also those of modules appended for a run
   uint64 version = 0;
   const void *code = nullptr;              // the instruction array and record table it was made from
   const void *records = nullptr;
   bool reusable = false;
   bool noFastPaths = false;           // made for runs without the fused and typed forms

   // Code that nothing outside reaches and that reaches nothing outside:
   // it ends without running on, and its jumps, calls and function records
   // stay inside it (or lead nowhere).  Prepared alone it is what it would
   // be behind other such code, so a module's form can be appended to the
   // program's own for a run and cut off after it.  A module also needs a
   // function at its first instruction, where its first region starts.
   bool closed = false;
   bool startsFunction = false;

   // The program's own part while modules are appended (AppendPart).
   struct Own
   {
      uint32 size = 0, regions = 0, names = 0, calls = 0, functions = 0, exits = 0;
   } own;
   bool appended = false;
   std::vector<uint32> touchedNames;   // own names that appended code uses too

   uint32 CodeSize() const { return static_cast<uint32>(ops.size()) - 1; }
   const ORVA_Region *RegionAt(uint32 address) const
   {
      return (address < regionOf.size()) ? &regions[regionOf[address]] : nullptr;
   }
   uint32 NameId(const char *name) const;   // NO_SLOT for a name no slotted region uses
};

/*
 * Appends the forms of the linked modules to a program's own, their code
 * the program's instructions from the end of its own on, and cuts them off
 * again (prepared_parts.cpp).
 */
void AppendParts(ORVA_Prepared &into, const std::vector<const ORVA_Prepared *> &parts, ORVA_Instruction *const *code);
void DetachParts(ORVA_Prepared &into);

#endif
