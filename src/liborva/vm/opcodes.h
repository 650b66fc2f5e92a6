/*
 * The instruction set: one row per opcode, in the order of the opcode
 * numbers of orva.h.  Every property of an opcode that the machine asks
 * about is a column here, and the listing, the instruction's operand
 * handling, the optimiser, the lowering into the prepared form and the
 * operator dispatch read them from this table rather than from lists of
 * their own.  A new opcode is a row here, its lowering (prepare.cpp, only
 * when the column "runs as" is not enough) and its handler.
 *
 * Columns:
 *   listing   the mnemonic of the program listing
 *   operand   what the operand union holds (OperandKind)
 *   count     what the instruction's count holds (OperandCount)
 *   pops      values it takes from the top of the stack; COUNTED: the count
 *   pushes    values it leaves there
 *   flow      where the run goes after it (Flow)
 *   operator  which operator it is, if any (OperatorClass)
 *   runs as   the prepared code that does the instruction alone; the
 *             lowering may choose a faster one (a slot for a by-name
 *             code, a typed shortcut for an operator)
 */
#ifndef ORVA_OPCODES_H
#define ORVA_OPCODES_H

#include "orva.h"

#include <cstdint>

/* What the operand union of an instruction holds. */
enum OperandKind : uint8
{
   OPERAND_NONE,
   OPERAND_NAME,       // a name that is no variable's: a function, an attribute
   OPERAND_VARIABLE,   // a variable's name
   OPERAND_CONSTANT,
   OPERAND_ADDRESS     // a code address, which moves with the code
};

/* What the count of an instruction holds. */
enum OperandCount : uint8
{
   COUNT_NONE,
   COUNT_ARGUMENTS,   // the arguments of a call
   COUNT_ITEMS,       // the values it drops
   COUNT_TYPE,        // the type it converts to
   COUNT_OPERATOR     // the opcode of the operator it applies
};

/* Where the run goes after an instruction. */
enum Flow : uint8
{
   FLOW_ON,       // to the next instruction
   FLOW_BRANCH,   // to the address or the next, by the value on top
   FLOW_JUMP,     // to the address
   FLOW_CALL,     // to the address, and back to the next
   FLOW_STOP      // out of the function or the run
};

enum OperatorClass : uint8
{
   OPERATOR_NONE,
   OPERATOR_UNARY,     // on the number on top
   OPERATOR_NUMBERS,   // on two numbers; only equality also compares texts
   OPERATOR_TEXTS      // on two texts, whatever their values
};

/* A count of stack values that the instruction's count gives. */
const int8_t COUNTED = -1;

// clang-format off
#define ORVA_OPCODES(X) \
   /*  opcode        listing   operand    count      pops     pushes flow         operator          runs as */ \
   X(NOP,           "NOP",    NONE,      NONE,      0,       0,     FLOW_ON,     OPERATOR_NONE,    NOP)         \
   X(RET,           "RET",    NONE,      NONE,      1,       0,     FLOW_STOP,   OPERATOR_NONE,    RET)         \
   X(JMP,           "JMP",    ADDRESS,   NONE,      0,       0,     FLOW_JUMP,   OPERATOR_NONE,    JMP)         \
   X(CALL,          "CALL",   ADDRESS,   ARGUMENTS, COUNTED, 1,     FLOW_CALL,   OPERATOR_NONE,    CALL)        \
   X(CALL_EXTERNAL, "CALL",   NAME,      ARGUMENTS, COUNTED, 1,     FLOW_ON,     OPERATOR_NONE,    CALL_NAME)   \
   X(PUSH_CONSTANT, "PUSH",   CONSTANT,  NONE,      0,       1,     FLOW_ON,     OPERATOR_NONE,    PUSH_CONST)  \
   X(PUSH_VARIABLE, "PUSH",   VARIABLE,  NONE,      0,       1,     FLOW_ON,     OPERATOR_NONE,    PUSH_NAME)   \
   X(EXIT,          "EXIT",   NONE,      NONE,      1,       0,     FLOW_STOP,   OPERATOR_NONE,    EXIT)        \
   X(POP,           "POP",    NONE,      ITEMS,     COUNTED, 0,     FLOW_ON,     OPERATOR_NONE,    POP)         \
   X(SET,           "SET",    VARIABLE,  NONE,      1,       1,     FLOW_ON,     OPERATOR_NONE,    SET_NAME)    \
   X(ADD,           "ADD",    NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(SUB,           "SUB",    NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(MUL,           "MUL",    NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(DIV,           "DIV",    NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(REM,           "REM",    NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(EQ,            "EQ",     NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(NE,            "NE",     NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(LT,            "LT",     NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(LE,            "LE",     NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(GT,            "GT",     NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(GE,            "GE",     NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(BIT_AND,       "BITAND", NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(BIT_OR,        "BITOR",  NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(BIT_XOR,       "BITXOR", NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(AND,           "AND",    NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(OR,            "OR",     NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(LSHIFT,        "LSHIFT", NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(RSHIFT,        "RSHIFT", NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(RET_NULL,      "NRET",   NONE,      NONE,      0,       0,     FLOW_STOP,   OPERATOR_NONE,    RET_NULL)    \
   X(JZ,            "JZ",     ADDRESS,   NONE,      1,       0,     FLOW_BRANCH, OPERATOR_NONE,    JZ)          \
   X(PRINT,         "PRINT",  NONE,      NONE,      1,       0,     FLOW_ON,     OPERATOR_NONE,    PRINT)       \
   X(CONCAT,        "CONCAT", NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_TEXTS,   BINARY)      \
   X(BIND,          "BIND",   VARIABLE,  NONE,      0,       0,     FLOW_ON,     OPERATOR_NONE,    BIND_NAME)   \
   X(INC,           "INC",    VARIABLE,  NONE,      0,       1,     FLOW_ON,     OPERATOR_NONE,    STEP_NAME)   \
   X(DEC,           "DEC",    VARIABLE,  NONE,      0,       1,     FLOW_ON,     OPERATOR_NONE,    STEP_NAME)   \
   X(NEG,           "NEG",    NONE,      NONE,      1,       1,     FLOW_ON,     OPERATOR_UNARY,   UNARY)       \
   X(NOT,           "NOT",    NONE,      NONE,      1,       1,     FLOW_ON,     OPERATOR_UNARY,   UNARY)       \
   X(BIT_NOT,       "BITNOT", NONE,      NONE,      1,       1,     FLOW_ON,     OPERATOR_UNARY,   UNARY)       \
   X(CAST,          "CAST",   NONE,      TYPE,      1,       1,     FLOW_ON,     OPERATOR_NONE,    CAST)        \
   X(REFERENCE,     "REF",    NAME,      NONE,      1,       1,     FLOW_ON,     OPERATOR_NONE,    REFERENCE)   \
   X(INCP,          "INCP",   VARIABLE,  NONE,      0,       1,     FLOW_ON,     OPERATOR_NONE,    STEP_NAME)   \
   X(DECP,          "DECP",   VARIABLE,  NONE,      0,       1,     FLOW_ON,     OPERATOR_NONE,    STEP_NAME)   \
   X(JNZ,           "JNZ",    ADDRESS,   NONE,      1,       0,     FLOW_BRANCH, OPERATOR_NONE,    JNZ)         \
   X(LIKE,          "LIKE",   NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_TEXTS,   BINARY)      \
   X(ILIKE,         "ILIKE",  NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_TEXTS,   BINARY)      \
   X(MATCH,         "MATCH",  NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_TEXTS,   BINARY)      \
   X(IMATCH,        "IMATCH", NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_TEXTS,   BINARY)      \
   X(CASE,          "CASE",   CONSTANT,  NONE,      1,       2,     FLOW_ON,     OPERATOR_NUMBERS, BINARY)      \
   X(ARRAY,         "ARRAY",  VARIABLE,  NONE,      0,       0,     FLOW_ON,     OPERATOR_NONE,    ARRAY_NAME)  \
   X(GET_ELEMENT,   "EGET",   NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NONE,    GET_ELEMENT) \
   X(SET_ELEMENT,   "ESET",   NONE,      NONE,      3,       1,     FLOW_ON,     OPERATOR_NONE,    SET_ELEMENT) \
   X(GET_KEYED,     "KGET",   NONE,      NONE,      2,       1,     FLOW_ON,     OPERATOR_NONE,    GET_KEYED)   \
   X(SET_KEYED,     "KSET",   NONE,      NONE,      3,       1,     FLOW_ON,     OPERATOR_NONE,    SET_KEYED)   \
   X(UPDATE_KEYED,  "KUPD",   NONE,      OPERATOR,  3,       1,     FLOW_ON,     OPERATOR_NONE,    UPDATE_KEYED) \
   X(UPDATE,        "UPDATE", NONE,      OPERATOR,  2,       1,     FLOW_ON,     OPERATOR_NONE,    UPDATE)      \
   X(TRUTH,         "BOOL",   NONE,      NONE,      1,       1,     FLOW_ON,     OPERATOR_NONE,    TRUTH)       \
   X(JZ_KEEP,       "JZK",    ADDRESS,   NONE,      1,       1,     FLOW_BRANCH, OPERATOR_NONE,    JUMP_KEEP)   \
   X(JNZ_KEEP,      "JNZK",   ADDRESS,   NONE,      1,       1,     FLOW_BRANCH, OPERATOR_NONE,    JUMP_KEEP)   \
   X(JNN_KEEP,      "JNNK",   ADDRESS,   NONE,      1,       1,     FLOW_BRANCH, OPERATOR_NONE,    JUMP_KEEP)   \
   X(ITER_START,    "ITER",   NONE,      NONE,      1,       1,     FLOW_ON,     OPERATOR_NONE,    ITER_START)  \
   X(ITER_NEXT,     "INEXT",  ADDRESS,   NONE,      0,       2,     FLOW_BRANCH, OPERATOR_NONE,    ITER_NEXT)   \
   X(LIST,          "LIST",   NONE,      ITEMS,     COUNTED, 1,     FLOW_ON,     OPERATOR_NONE,    LIST)        \
   X(MAP,           "MAP",    NONE,      ITEMS,     COUNTED, 1,     FLOW_ON,     OPERATOR_NONE,    MAP)         \
   X(STEP_KEYED,    "KSTEP",  NONE,      OPERATOR,  2,       1,     FLOW_ON,     OPERATOR_NONE,    STEP_KEYED)
// clang-format on

/* The number of opcodes: every number from 0 below it is one. */
enum
{
#define ORVA_OPCODE_COUNT_ROW(op, ...) +1
   OPCODE_COUNT = 0 ORVA_OPCODES(ORVA_OPCODE_COUNT_ROW)
#undef ORVA_OPCODE_COUNT_ROW
};

struct OpcodeProperties
{
   const char *listing;
   OperandKind operand;
   OperandCount count;
   int8_t pops;
   int8_t pushes;
   Flow flow;
   OperatorClass op;
   uint16_t runsAs;   // an ORVA_PreparedCode (vm/prepared.h)
};

/* The row of an opcode; numbers outside the set have one that does nothing and lists as "???". */
const OpcodeProperties &PropertiesOf(int opCode);

inline OperandKind OperandKindOf(int opCode)
{
   return PropertiesOf(opCode).operand;
}

/* Instructions whose operand is a name (of a variable or not). */
inline bool HasNameOperand(int opCode)
{
   const OperandKind kind = OperandKindOf(opCode);
   return kind == OPERAND_NAME || kind == OPERAND_VARIABLE;
}

/* Opcodes whose operand is a code address that moves with the code. */
inline bool HasCodeAddress(int opCode)
{
   return OperandKindOf(opCode) == OPERAND_ADDRESS;
}

/* Instructions that go to their address other than by a call. */
inline bool IsJump(int opCode)
{
   const Flow flow = PropertiesOf(opCode).flow;
   return flow == FLOW_JUMP || flow == FLOW_BRANCH;
}

/* Instructions after which the next one never runs. */
inline bool EndsFlow(int opCode)
{
   const Flow flow = PropertiesOf(opCode).flow;
   return flow == FLOW_JUMP || flow == FLOW_STOP;
}

inline OperatorClass OperatorOf(int opCode)
{
   return PropertiesOf(opCode).op;
}

/* Listing text of an opcode; "???" for numbers outside the instruction set. */
inline const char *OpcodeMnemonic(int opCode)
{
   return PropertiesOf(opCode).listing;
}

#endif
