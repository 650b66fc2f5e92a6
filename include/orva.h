/*
 * liborva - an embeddable interpreter for the ORVA scripting language.
 *
 * This header is the whole public interface of the library: values and their
 * containers, the compiled program and its virtual machine, the environment a
 * host hands to a run, the script library and the two plain entry points that
 * compile scripts and load script files.
 *
 * Ownership in one sentence: a pointer handed to a constructor, setter,
 * container or Run passes ownership; a pointer handed out by a getter stays
 * owned by the object that handed it out.  Heap texts are released with free().
 */
#ifndef ORVA_H
#define ORVA_H

/*
 * Only what the declarations below need: the system's mutex for the
 * library's lock, size_t, the fixed-width integers, FILE and
 * std::nothrow_t.  Whatever else the library uses stays in its sources.
 */
#include <pthread.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>

/* The release of liborva; kept equal to the CMake project version. */
#define ORVA_VERSION_MAJOR 1
#define ORVA_VERSION_MINOR 0
#define ORVA_VERSION_PATCH 0
#define ORVA_VERSION_STRING "1.0.0"

/* Symbols of a shared build are hidden unless marked here. */
#if defined(ORVA_SHARED_BUILD)
#define ORVA_API __attribute__((visibility("default")))
#else
#define ORVA_API
#endif

typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;
typedef uint8_t uint8;

/*** Type codes of values.  The order is fixed: ranges of codes are tested. ***/
enum
{
   ORVA_DT_NULL = 0,
   ORVA_DT_OBJECT = 1,
   ORVA_DT_ARRAY = 2,
   ORVA_DT_STRING = 3,
   ORVA_DT_REAL = 4,
   ORVA_DT_INT32 = 5,
   ORVA_DT_INT64 = 6,
   ORVA_DT_UINT32 = 7,
   ORVA_DT_UINT64 = 8
};

/*** Opcodes of the virtual machine. ***/
enum
{
   OPCODE_NOP = 0,
   OPCODE_RET = 1,
   OPCODE_JMP = 2,
   OPCODE_CALL = 3,
   OPCODE_CALL_EXTERNAL = 4,
   OPCODE_PUSH_CONSTANT = 5,
   OPCODE_PUSH_VARIABLE = 6,
   OPCODE_EXIT = 7,
   OPCODE_POP = 8,
   OPCODE_SET = 9,
   OPCODE_ADD = 10,
   OPCODE_SUB = 11,
   OPCODE_MUL = 12,
   OPCODE_DIV = 13,
   OPCODE_REM = 14,
   OPCODE_EQ = 15,
   OPCODE_NE = 16,
   OPCODE_LT = 17,
   OPCODE_LE = 18,
   OPCODE_GT = 19,
   OPCODE_GE = 20,
   OPCODE_BIT_AND = 21,
   OPCODE_BIT_OR = 22,
   OPCODE_BIT_XOR = 23,
   OPCODE_AND = 24,
   OPCODE_OR = 25,
   OPCODE_LSHIFT = 26,
   OPCODE_RSHIFT = 27,
   OPCODE_RET_NULL = 28,
   OPCODE_JZ = 29,
   OPCODE_PRINT = 30,
   OPCODE_CONCAT = 31,
   OPCODE_BIND = 32,
   OPCODE_INC = 33,
   OPCODE_DEC = 34,
   OPCODE_NEG = 35,
   OPCODE_NOT = 36,
   OPCODE_BIT_NOT = 37,
   OPCODE_CAST = 38,
   OPCODE_REFERENCE = 39,
   OPCODE_INCP = 40,
   OPCODE_DECP = 41,
   OPCODE_JNZ = 42,
   OPCODE_LIKE = 43,
   OPCODE_ILIKE = 44,
   OPCODE_MATCH = 45,
   OPCODE_IMATCH = 46,
   OPCODE_CASE = 47,
   OPCODE_ARRAY = 48,
   OPCODE_GET_ELEMENT = 49,
   OPCODE_SET_ELEMENT = 50,
   // Language level 2 only; level-1 programs never contain them.
   OPCODE_GET_KEYED = 51,    // element read under the key rule (text keys)
   OPCODE_SET_KEYED = 52,    // element write under the key rule
   OPCODE_UPDATE_KEYED = 53, // in-place operator on an element, missing or null counting as 0 ("")
   OPCODE_UPDATE = 54,       // in-place operator: a null left operand counts as 0 ("" for CONCAT)
   OPCODE_TRUTH = 55,        // the value on top becomes int32 1 or 0
   OPCODE_JZ_KEEP = 56,      // false: leave 0 and jump; true: drop it
   OPCODE_JNZ_KEEP = 57,     // true: leave 1 and jump; false: drop it
   OPCODE_JNN_KEEP = 58,     // not null: keep it and jump; null: drop it
   OPCODE_ITER_START = 59,   // an array becomes a walk over the keys it has now
   OPCODE_ITER_NEXT = 60,    // the walk's next key (and value), or a jump when done
   OPCODE_LIST = 61,         // a new array of the values on top, keyed 1..n
   OPCODE_MAP = 62,          // a new array of the key/value pairs on top
   OPCODE_STEP_KEYED = 63    // ++/-- on an element, a missing or null one counting as 0
};

/* Language levels ORVACompile accepts.  A type of their own, so that the
   overload that gives the error in parts stays apart from the one that
   takes a text buffer and its size when both are called with 0. */
enum ORVA_Language
{
   ORVA_LANGUAGE_1 = 1,
   ORVA_LANGUAGE_2 = 2
};

/*** Run-time error codes; ORVA_Program::GetErrorText() words them. ***/
enum
{
   ORVA_ERR_DATA_STACK_UNDERFLOW = 1,
   ORVA_ERR_CONTROL_STACK_UNDERFLOW = 2,
   ORVA_ERR_NOT_NUMBER = 3,
   ORVA_ERR_BAD_CONVERSION = 4,
   ORVA_ERR_NULL_VALUE = 5,
   ORVA_ERR_INTERNAL = 6,
   ORVA_ERR_NO_MAIN = 7,
   ORVA_ERR_CONTROL_STACK_OVERFLOW = 8,
   ORVA_ERR_DIVIDE_BY_ZERO = 9,
   ORVA_ERR_REAL_VALUE = 10,
   ORVA_ERR_NO_FUNCTION = 11,
   ORVA_ERR_INVALID_ARGUMENT_COUNT = 12,
   ORVA_ERR_TYPE_CAST = 13,
   ORVA_ERR_NOT_OBJECT = 14,
   ORVA_ERR_NO_SUCH_ATTRIBUTE = 15,
   ORVA_ERR_MODULE_NOT_FOUND = 16,
   ORVA_ERR_NOT_STRING = 17,
   ORVA_ERR_REGEXP_ERROR = 18,
   ORVA_ERR_NOT_INTEGER = 19,
   ORVA_ERR_INVALID_OBJECT_OPERATION = 20,
   ORVA_ERR_BAD_CLASS = 21,
   ORVA_ERR_VARIABLE_ALREADY_EXIST = 22,
   ORVA_ERR_INDEX_NOT_INTEGER = 23,
   ORVA_ERR_NOT_ARRAY = 24
};

/*
 * Why the last run of a program stopped before its end
 * (ORVA_Program::GetStopReason).  A stop is not an error code: the run
 * fails (Run returns -1) and the error text names the cause and the line.
 */
enum
{
   ORVA_STOP_NONE = 0,           // the run was not stopped (it ended, or failed by an error)
   ORVA_STOP_INSTRUCTIONS = 1,   // ORVA_Environment::SetInstructionLimit
   ORVA_STOP_TIME = 2,           // ORVA_Environment::SetTimeLimit
   ORVA_STOP_MEMORY = 3,         // ORVA_Environment::SetMemoryLimit
   ORVA_STOP_REQUESTED = 4       // ORVA_Program::Stop
};

/* A jump whose target is not known yet, a missing function, a stopped machine. */
const uint32 INVALID_ADDRESS = 0xFFFFFFFFu;

/* Nesting limit of script function calls. */
const uint32 MAX_CALL_DEPTH = 32768;

/* Fields that ORVA_Library::FillMessage writes into a host message. */
const uint32 FIELD_SCRIPT_COUNT = 206;
const uint32 FIELD_SCRIPT_LIST_BASE = 0x10000000;
const uint8 FIELD_TYPE_INTEGER = 0;
const uint8 FIELD_TYPE_STRING = 1;

class ORVA_Array;
class ORVA_Object;
class ORVA_Class;
class ORVA_Program;
class ORVA_Environment;
class ORVA_Library;
class ORVA_Debugger;
class ZRQPMessage;
class ORVA_EngineAccess;   // the interpreter's inlined access to values and scopes
class ORVA_Engine;           // the interpreter's prepared code and run state
struct ORVA_ProgramBody;     // what a program keeps beyond its listed fields
struct ORVA_EnvironmentBody; // what an environment keeps beyond its listed fields
struct ORVA_ArrayBody;       // the element storage of an array
class ORVA_Profile;
struct ORVA_ProfileBody;     // what a profile counts
struct ORVA_DebuggerBody;    // a debugger's breakpoints and the run it has paused

/*
 * ORVA_Value: the one dynamically typed value.  Text that reads wholly as a
 * number makes the value numeric; the type "string" is text that is not a
 * number.  A number is formatted into text only when text is asked for, and
 * the text is kept until the number changes.
 */
class ORVA_API ORVA_Value
{
   friend class ORVA_EngineAccess;
   friend class ORVA_Array;   // keeps values in slots of its own blocks

protected:
   uint32 m_length;        // byte length of the cached text
   char *m_string;         // cached text (heap, zero-terminated) or null
   uint8 m_dataType;       // ORVA_DT_*
   uint8 m_stringValid;    // 1 while m_string holds the current text
   union
   {
      int32 i32;
      uint32 u32;
      int64 i64;
      uint64 u64;
      double real;
      ORVA_Object *object;
      ORVA_Array *array;
   } m_value;

   void InvalidateString();
   void UpdateNumber();
   void UpdateString();

private:
   void ReleaseContent();
   void InitText(const char *text, uint32 length);
   void FreeText();

public:
   ORVA_Value();
   ORVA_Value(const ORVA_Value *src);
   ORVA_Value(ORVA_Object *object);
   ORVA_Value(ORVA_Array *array);
   ORVA_Value(int32 n);
   ORVA_Value(uint32 n);
   ORVA_Value(int64 n);
   ORVA_Value(uint64 n);
   ORVA_Value(double d);
   ORVA_Value(const char *text);
   ORVA_Value(const char *text, uint32 length);
   ~ORVA_Value();

   // Values are copied only through the pointer constructor above.
   ORVA_Value(const ORVA_Value &) = delete;
   ORVA_Value &operator=(const ORVA_Value &) = delete;

   // Made and freed through the library's allocation funnel, so that a
   // run's memory ceiling counts values wherever they are made.
   static void *operator new(size_t size);
   static void *operator new(size_t size, const std::nothrow_t &) noexcept;
   static void *operator new(size_t, void *place) noexcept { return place; }
   static void operator delete(void *block, size_t size);
   static void operator delete(void *, void *) noexcept {}

   int DataType() const { return m_dataType; }
   int IsNull() const { return m_dataType == ORVA_DT_NULL; }
   int IsObject() const { return m_dataType == ORVA_DT_OBJECT; }
   int IsArray() const { return m_dataType == ORVA_DT_ARRAY; }
   int IsReal() const { return m_dataType == ORVA_DT_REAL; }
   int IsString() const { return m_dataType >= ORVA_DT_STRING; }
   int IsNumeric() const { return m_dataType >= ORVA_DT_REAL; }
   int IsInteger() const { return m_dataType >= ORVA_DT_INT32; }
   int IsUnsigned() const { return m_dataType >= ORVA_DT_UINT32; }

   void Set(int32 n);
   int Convert(int type);

   char *GetValueAsCString();
   char *GetValueAsString(uint32 *length);
   int32 GetValueAsInt32() const;
   uint32 GetValueAsUInt32() const;
   int64 GetValueAsInt64() const;
   uint64 GetValueAsUInt64() const;
   double GetValueAsReal() const;
   ORVA_Object *GetValueAsObject() const;
   ORVA_Array *GetValueAsArray() const;

   void Concatenate(const char *text, uint32 length);

   // Arithmetic, bitwise and comparison operations.  Both operands hold the
   // same numeric type; the receiver is changed in place.
   void Add(ORVA_Value *other);
   void Sub(ORVA_Value *other);
   void Mul(ORVA_Value *other);
   void Div(ORVA_Value *other);
   void Rem(ORVA_Value *other);
   void BitAnd(ORVA_Value *other);
   void BitOr(ORVA_Value *other);
   void BitXor(ORVA_Value *other);
   void LShift(int count);
   void RShift(int count);
   void Increment();
   void Decrement();
   void Negate();
   void BitNot();
   int IsZero() const;
   int IsNonZero() const;
   int EQ(ORVA_Value *other) const;
   int LT(ORVA_Value *other) const;
   int LE(ORVA_Value *other) const;
   int GT(ORVA_Value *other) const;
   int GE(ORVA_Value *other) const;
};

/* Names of the type codes, as typeof() returns them. */
extern ORVA_API const char *const g_orvaTypeNames[9];

/*** Sparse arrays, shared between values by reference count. ***/
struct ORVA_ArrayElement
{
   int32 index;
   ORVA_Value *value;
};

/*
 * An array keeps its elements in index order.  Those of one contiguous run of
 * indices sit in blocks of value slots, found by arithmetic on the index;
 * the others are looked up in an ordered map.  Get hands out a pointer that
 * stays valid until that element is replaced or the array is destroyed.
 */
class ORVA_API ORVA_Array
{
protected:
   int32 m_refCount;
   int32 m_size;                // elements in all
   int32 m_allocated;           // value slots the run's blocks hold
   ORVA_ArrayElement *m_data;   // not used: elements live in the body below

private:
   // The run, the elements outside it and the cycle collector's marks,
   // laid out by the library (ORVA_ArrayBody).  The room for them is kept
   // inside the array rather than behind a pointer, so that making an
   // array stays one allocation: programs that make many small arrays
   // would pay for a second one.
   alignas(8) unsigned char m_body[64];
   friend struct ORVA_ArrayBody;
   friend class ORVA_EngineAccess;   // the engine's stores move values in

   ORVA_Value *RunSlot(int64 index) const;
   ORVA_Value *AppendSlot(bool up);
   void DropLastSlot(bool up);
   bool InRun(int64 index) const;
   static ORVA_Value *MoveIntoSlot(ORVA_Value *slot, ORVA_Value *value);
   void StoreInSlot(ORVA_Value *slot, ORVA_Value *value, bool moveIn);
   void AbsorbNeighbours();
   ORVA_Value *ElementAt(int32 position, int32 *index) const;
   void ReleaseHandedOver();
   bool Store(int index, ORVA_Value *value, bool moveIn);
   static ORVA_Value *SlotValueOf(ORVA_Value *slot);   // the element a slot stands for

public:
   ORVA_Array();
   ORVA_Array(ORVA_Array *src);
   ~ORVA_Array();
   ORVA_Array(const ORVA_Array &) = delete;
   ORVA_Array &operator=(const ORVA_Array &) = delete;

   // Made and freed through the library's allocation funnel, so that a
   // run's memory ceiling counts arrays wherever they are made.
   static void *operator new(size_t size);
   static void *operator new(size_t size, const std::nothrow_t &) noexcept;
   static void *operator new(size_t, void *place) noexcept { return place; }
   static void operator delete(void *block, size_t size);
   static void operator delete(void *, void *) noexcept {}

   ORVA_Value *Get(int index);
   void Set(int index, ORVA_Value *value);

   void IncRefCount() { m_refCount++; }
   void DecRefCount() { m_refCount--; }
   int IsUnused() const { return m_refCount <= 0; }

   // Read-only views for hosts that walk an array in index order; a position
   // outside 0 .. Size() - 1 gives index 0 and a null value.
   int32 Size() const { return m_size; }
   int32 IndexAt(int32 position) const;
   ORVA_Value *ValueAt(int32 position) const;

   // Removes the element of index; 1 when it held a value.  One inside the
   // contiguous run of indices stays, holding null (Size still counts it).
   int Remove(int index);

   // Elements keyed by a text, as level-2 scripts make them (a["10.0.0.1"]).
   // A key is taken as scripts take it: a text that is the canonical
   // decimal form of an int32 ("10", "-3", not "007") names the element of
   // that index, which Get and Set reach too.  Size, IndexAt and ValueAt
   // see only the elements of integer indices.
   ORVA_Value *GetText(const char *key, uint32 length);
   // As Set: the value itself becomes the element; 1 stored, 0 refused
   // (memory), and then the value is deleted.
   int SetText(const char *key, uint32 length, ORVA_Value *value);
   int RemoveText(const char *key, uint32 length);   // 1 when a value was removed
   // The same by a key value as a script gives it: a number keys by its
   // text unless it is an int32 index (a real 7.0 keys the text
   // "7.000000").  A null, array or object key names no element.
   ORVA_Value *GetKey(ORVA_Value *key);
   int RemoveKey(ORVA_Value *key);
   // The text-keyed elements in the order their keys were first stored (a
   // key removed and stored again comes last); a position outside
   // 0 .. TextCount() - 1 gives null.
   int32 TextCount() const;
   const char *TextKeyAt(int32 position, uint32 *length) const;
   ORVA_Value *TextValueAt(int32 position) const;
};

/*** Host objects: a class and an opaque data pointer. ***/
class ORVA_API ORVA_Object
{
protected:
   ORVA_Class *m_class;
   void *m_data;

public:
   ORVA_Object(ORVA_Class *cls, void *data);
   ORVA_Object(ORVA_Object *src);
   ~ORVA_Object();
   ORVA_Object(const ORVA_Object &) = delete;
   ORVA_Object &operator=(const ORVA_Object &) = delete;

   // Made and freed through the library's allocation funnel, as values are.
   static void *operator new(size_t size);
   static void *operator new(size_t size, const std::nothrow_t &) noexcept;
   static void *operator new(size_t, void *place) noexcept { return place; }
   static void operator delete(void *block, size_t size);
   static void operator delete(void *, void *) noexcept {}

   ORVA_Class *Class() const { return m_class; }
   void *Data() const { return m_data; }
};

class ORVA_API ORVA_Class
{
protected:
   char m_name[64];

public:
   ORVA_Class();
   ORVA_Class(const ORVA_Class &src);
   virtual ~ORVA_Class();

   // Answers a script's "object->attribute": a new value the caller takes
   // over, or null for an unknown attribute.
   virtual ORVA_Value *GetAttr(ORVA_Object *object, char *attribute);
   virtual int SetAttr(ORVA_Object *object, char *attribute, ORVA_Value *value);
   virtual void OnObjectDelete(ORVA_Object *object);

   // Lifetime hooks: every wrapper made as a copy of another calls
   // OnObjectCopy, and every wrapper calls OnObjectRelease when it goes.  A
   // class whose data is shared by all copies can count its users with them;
   // the defaults do nothing, so host data stays the host's.
   virtual void OnObjectCopy(ORVA_Object *object);
   virtual void OnObjectRelease(ORVA_Object *object);

   char *Name() { return m_name; }
};

/*** Variables, scopes and the pointer stack. ***/
class ORVA_API ORVA_Variable
{
   friend class ORVA_EngineAccess;

protected:
   char *m_name;
   ORVA_Value *m_value;

public:
   ORVA_Variable(const char *name);
   ORVA_Variable(const char *name, ORVA_Value *value);
   ORVA_Variable(ORVA_Variable *src);
   ~ORVA_Variable();
   ORVA_Variable(const ORVA_Variable &) = delete;
   ORVA_Variable &operator=(const ORVA_Variable &) = delete;

   const char *Name() const { return m_name; }
   ORVA_Value *Value() const { return m_value; }
   void Set(ORVA_Value *value);
};

class ORVA_API ORVA_VariableSystem
{
   friend class ORVA_EngineAccess;

protected:
   uint32 m_count;
   ORVA_Variable **m_variables;

public:
   ORVA_VariableSystem();
   ORVA_VariableSystem(ORVA_VariableSystem *src);
   ~ORVA_VariableSystem();
   ORVA_VariableSystem(const ORVA_VariableSystem &) = delete;
   ORVA_VariableSystem &operator=(const ORVA_VariableSystem &) = delete;

   ORVA_Variable *Find(const char *name);
   ORVA_Variable *Create(const char *name, ORVA_Value *value);

   // The variables in creation order, for hosts that walk a scope.
   uint32 Count() const { return m_count; }
   ORVA_Variable *GetVariable(uint32 index) const { return index < m_count ? m_variables[index] : nullptr; }
};

class ORVA_API ORVA_Stack
{
protected:
   int32 m_capacity;
   int32 m_position;
   void **m_data;

public:
   ORVA_Stack();
   ~ORVA_Stack();
   ORVA_Stack(const ORVA_Stack &) = delete;
   ORVA_Stack &operator=(const ORVA_Stack &) = delete;

   void Push(void *item);
   void *Pop();
   void *Peek();
   void **PeekList(int n);
   int Size() const { return m_position; }
};

/*** Instructions and the program image. ***/
class ORVA_API ORVA_Instruction
{
   friend class ORVA_Program;
   friend class ORVA_EngineAccess;

protected:
   int32 m_opCode;
   union
   {
      char *name;
      ORVA_Value *constant;
      uint32 address;
   } m_operand;
   int32 m_stackItems;
   int32 m_sourceLine;

public:
   ORVA_Instruction(int line, int opCode);
   ORVA_Instruction(int line, int opCode, ORVA_Value *value);
   ORVA_Instruction(int line, int opCode, char *name);
   ORVA_Instruction(int line, int opCode, char *name, int count);
   ORVA_Instruction(int line, int opCode, uint32 address);
   ORVA_Instruction(int line, int opCode, int count);
   ORVA_Instruction(ORVA_Instruction *source);
   ~ORVA_Instruction();
   // Made through the library's allocation funnel, as values are.
   static void *operator new(size_t size);
   static void operator delete(void *block, size_t size);
   ORVA_Instruction(const ORVA_Instruction &) = delete;
   ORVA_Instruction &operator=(const ORVA_Instruction &) = delete;

   int OpCode() const { return m_opCode; }
   int SourceLine() const { return m_sourceLine; }
   int StackItems() const { return m_stackItems; }
   const char *Name() const;   // the variable or function an instruction names; else null
};

struct ORVA_Function
{
   char m_name[64];
   uint32 m_address;
};

struct ORVA_Module
{
   char m_name[260];
   uint32 m_codeStart;
   uint32 m_codeSize;
   uint32 m_firstFunction;
   uint32 m_functionCount;
};

class ORVA_API ORVA_Program
{
protected:
   ORVA_Environment *m_environment;
   ORVA_Instruction **m_instructions;
   uint32 m_codeSize;
   uint32 m_ip;
   uint32 m_preloadCount;
   char **m_preloadList;
   uint32 m_callDepth;
   ORVA_Stack *m_dataStack;
   ORVA_Stack *m_controlStack;
   int32 m_bindCounter;
   ORVA_VariableSystem *m_globals;
   ORVA_VariableSystem *m_locals;
   uint32 m_functionCount;
   ORVA_Function *m_functions;
   uint32 m_moduleCount;
   ORVA_Module *m_modules;
   ORVA_Value *m_result;
   char *m_errorText;

private:
   // The interpreter kept with the program, its function index, the stop
   // request and the parts of the last error, laid out by the library.
   ORVA_ProgramBody *m_body;
   friend class ORVA_Engine;   // runs the program on its fields

protected:
   void Error(int code);
   void RecordErrorParts(int code, int line);
   uint32 GetFunctionAddress(const char *name);

   // The execution engine.
   void Execute();
   void CallFunction(int argc);
   ORVA_Variable *FindOrCreateVariable(const char *name);
   ORVA_Variable *CreateVariable(const char *name);
   void DoBinaryOperation(int opCode);
   void DoUnaryOperation(int opCode);
   ORVA_Value *MatchRegexp(ORVA_Value *subject, ORVA_Value *pattern, int ignoreCase);

   // The first function record of a name, or INVALID_ADDRESS.
   uint32 FindFunctionRecord(const char *name);

   // Run and RunFunction: a run entering the function of that name as Run
   // enters main; missingCode is the error when there is none.
   int RunEntry(const char *entry, int missingCode, ORVA_Environment *env, uint32 argc, ORVA_Value **argv,
                ORVA_VariableSystem *locals, ORVA_VariableSystem **globalsOut);

   // Module linking and the jump optimiser.
   int IsModuleLinked(const char *name) const;   // names compared without regard to case
   void RelocateCode(uint32 start, uint32 length, uint32 shift);
   uint32 FinalJumpDestination(uint32 address);

public:
   ORVA_Program();
   ~ORVA_Program();
   ORVA_Program(const ORVA_Program &) = delete;
   ORVA_Program &operator=(const ORVA_Program &) = delete;

   // Building, as the compiler does it.
   void AddInstruction(ORVA_Instruction *instruction);
   void ResolveLastJump(int opCode);
   void CreateJumpAt(uint32 address, uint32 target);
   ORVA_Instruction *TakeLastInstruction();   // removed from the code; the caller owns it (null: no code)
   int AddFunction(const char *name, uint32 address, char *errorText);
   void AddPreload(char *name);
   void ResolveFunctions();
   void Optimize();
   void UseModule(ORVA_Program *module, const char *name);

   uint32 CodeSize() const { return m_codeSize; }
   // The language level it was compiled at (ORVA_LANGUAGE_1 or 2); a module
   // file it links is compiled at the same level.
   int Language() const;
   void SetLanguage(int language);
   const char *GetErrorText() const;
   ORVA_Value *GetResult() const { return m_result; }
   void Dump(FILE *stream);

   // Running.  Run takes over env, every argv value and locals, and deletes
   // them before it returns; 0 when the run completed, -1 after an error.
   int Run(ORVA_Environment *env, uint32 argc, ORVA_Value **argv, ORVA_VariableSystem *locals,
           ORVA_VariableSystem **globalsOut);
   // Run, entering the named function instead of main: the script's own
   // function of that name, else a linked module's.  A missing function
   // fails the run with ORVA_ERR_NO_FUNCTION in line 0.
   int RunFunction(ORVA_Environment *env, const char *name, uint32 argc, ORVA_Value **argv,
                   ORVA_VariableSystem *locals, ORVA_VariableSystem **globalsOut);
   // After a failed run, the calls active at the error, innermost first, one
   // "FUNCTION:LINE" per line (" (module NAME)" after a linked module's
   // function); a deep trail keeps its innermost and outermost calls and
   // says how many it leaves out.  Empty after a successful run.
   const char *GetErrorTrace() const;
   // The lines of GetErrorTrace in parts, index 0 the innermost: the
   // function, its line and its module ("" for the script's own function),
   // or for the line that stands for the calls a deep trail leaves out,
   // their number in leftOut (0 on every other line).  Any pointer may be
   // null; the texts stay the program's until its next run.  0 past the
   // last line.
   int GetErrorTraceCall(uint32 index, const char **function, int *line, const char **module,
                         uint32 *leftOut) const;
   // After a failed run, the parts of GetErrorText: the error code (0 when
   // a stop ended the run), the line (0 before main starts) and the
   // message without its "Error CODE in line LINE: " frame.  0, 0 and ""
   // after a successful run.
   int GetErrorCode() const;
   int GetErrorLine() const;
   const char *GetErrorMessage() const;
   // When a call failed with ORVA_ERR_NO_FUNCTION or
   // ORVA_ERR_INVALID_ARGUMENT_COUNT: the name it called and the number of
   // arguments it gave; "" and -1 for any other error.
   const char *GetErrorFunction() const;
   int GetErrorArgumentCount() const;
   void SetGlobalVariable(const char *name, ORVA_Value *value);
   ORVA_Variable *FindGlobalVariable(const char *name);

   // Asks the run under way to stop; callable from any thread.  The run
   // notices at its next backward jump, call or long operation and fails
   // with ORVA_STOP_REQUESTED.  A request made while no run is under way
   // is dropped: every Run starts without one.
   void Stop();

   // Why the last run stopped: ORVA_STOP_NONE when it was not stopped
   // (it ended, or an error ended it), else one of ORVA_STOP_*.
   int GetStopReason() const;
};

/*** External functions and the environment of a run. ***/

/*
 * Handler contract: argv holds argc values owned by the interpreter (read
 * them, never delete or keep them).  On success store a new value through
 * result and return 0; on failure return an ORVA_ERR_* code.
 */
typedef int (*ORVA_ExtHandler)(int argc, ORVA_Value **argv, ORVA_Value **result);

struct ORVA_ExtFunction
{
   char m_name[64];
   ORVA_ExtHandler m_handler;
   int m_argCount;   // -1 accepts any number of arguments
};

class ORVA_API ORVA_Environment
{
protected:
   uint32 m_functionCount;
   ORVA_ExtFunction *m_functions;
   ORVA_Library *m_library;
   FILE *m_inStream;
   FILE *m_outStream;

private:
   // The limits of a run and the index over m_functions, laid out by the library.
   ORVA_EnvironmentBody *m_body;
   friend class ORVA_Engine;         // reads the limits when a run begins
   friend class ORVA_EngineAccess;   // call sites remember what they found

public:
   ORVA_Environment();
   // Virtual so that a host may derive its own environment (Run deletes it).
   virtual ~ORVA_Environment();
   ORVA_Environment(const ORVA_Environment &) = delete;
   ORVA_Environment &operator=(const ORVA_Environment &) = delete;

   void SetIO(FILE *in, FILE *out) { m_inStream = in; m_outStream = out; }
   FILE *GetStdIn() const { return m_inStream; }
   FILE *GetStdOut() const { return m_outStream; }
   void SetLibrary(ORVA_Library *library) { m_library = library; }

   // Bounds on a run made with this environment; 0 means none.  The
   // instruction limit counts instructions as the run executes them, and
   // charges work that is not constant per instruction (copying and
   // scanning text, copying arrays, regular expressions) in proportion to
   // its size, so it bounds time on any machine alike.  The time limit is
   // a wall-clock deadline from the start of Run, looked at every few
   // thousand instructions.  A run past either fails with the reason
   // ORVA_STOP_INSTRUCTIONS or ORVA_STOP_TIME.
   void SetInstructionLimit(uint64 count);
   void SetTimeLimit(uint32 milliseconds);
   // A ceiling on what the run holds (texts, arrays, values, objects,
   // frames, compiled patterns, what host functions take with
   // ORVAAllocate): an allocation past it stops the run with the
   // reason ORVA_STOP_MEMORY instead of happening.  0 means none.
   void SetMemoryLimit(uint64 bytes);
   // Runs made with this environment add where their time goes to profile
   // (see ORVA_Profile); null for none, as an environment starts.  The
   // profile is the host's: it must outlive the runs, and it takes one run
   // at a time (a run that finds it busy is not profiled).
   void SetProfile(ORVA_Profile *profile);

   // The debugger that watches runs made with this environment, or null
   // (the default, which costs a run nothing).  The host keeps ownership:
   // it must outlive every run the environment is handed to.
   void SetDebugger(ORVA_Debugger *debugger);
   ORVA_Debugger *GetDebugger() const;

   void RegisterFunctionSet(uint32 count, ORVA_ExtFunction *list);
   ORVA_ExtFunction *FindFunction(const char *name);

   // Links the module of that name into a running program: from the script
   // library first, else from the file "<name>.orva".  1 when linked.  Run
   // calls it for each module the program uses, before main starts, with
   // the library's lock held; the run needs the library no longer after.  A host
   // that finds modules elsewhere overrides it and links what it finds with
   // main->UseModule(module, name).
   virtual int UseModule(ORVA_Program *main, const char *name);
};

/*** Profiling: where the time of a run goes. ***/

/*
 * A row of a profile, by function (line 0) or by a line of a function.
 * Instructions are counted as the instruction limit counts them: a
 * stretch of straight-line code when it is entered (a function's at its
 * first line, a loop's at its head), and work on long texts and arrays in
 * proportion.  Self is what ran in the function or on the line itself;
 * total adds the calls made from it (a recursive function counts once).
 * calls: the calls of the function, or the calls made from the line.
 */
struct ORVA_ProfileRow
{
   const char *function;   // "?" for a frame that no function record names
   const char *module;     // the linked module that brought the function, "" for the script's own
   int line;
   uint64 calls;
   uint64 selfInstructions;
   uint64 totalInstructions;
   uint64 selfNanoseconds;
   uint64 totalNanoseconds;
};

/* What folded stacks weigh each stack by. */
enum
{
   ORVA_PROFILE_INSTRUCTIONS = 0,
   ORVA_PROFILE_NANOSECONDS = 1
};

/*
 * A profile that a host attaches to an environment (SetProfile) before
 * Run: at every backward jump, call and charge of long work the run counts
 * where it is, so it takes longer (up to about 6 times as long for code
 * that calls or loops every few instructions), but nothing else
 * changes (its limits, output and result are the same).  A profile adds
 * up the runs it sees until Clear (which does nothing while a run reports
 * to it).  The texts it gives stay valid until the next run it sees or
 * Clear; rows read during a run may be out of order.
 */
class ORVA_API ORVA_Profile
{
   ORVA_ProfileBody *m_body;

public:
   ORVA_Profile();
   ~ORVA_Profile();
   ORVA_Profile(const ORVA_Profile &) = delete;
   ORVA_Profile &operator=(const ORVA_Profile &) = delete;

   void Clear();
   uint32 GetRunCount() const;
   // The whole of the runs: instructions and wall-clock time.
   uint64 GetInstructions() const;
   uint64 GetNanoseconds() const;

   // Rows by function and by line, sorted by total instructions, the most
   // first (then by total time).  1 when index names a row, else 0.
   uint32 GetFunctionCount() const;
   int GetFunctionRow(uint32 index, ORVA_ProfileRow *row) const;
   uint32 GetLineCount() const;
   int GetLineRow(uint32 index, ORVA_ProfileRow *row) const;

   // Folded stacks, the input of flame-graph tools: one line per call
   // stack, outermost function first, "main;f;g 123\n", weighed by the
   // self instructions or nanoseconds (ORVA_PROFILE_*) of that stack.  A
   // module's function reads "NAME (module M)".  Stacks that weigh 0 are
   // left out.
   const char *GetFoldedStacks(int weight) const;

   // For the library: where runs report.
   ORVA_ProfileBody *Body() const { return m_body; }
};

/*** Debugging a run. ***/

/*
 * A host watches a run by deriving from ORVA_Debugger and handing it to the
 * run's environment (ORVA_Environment::SetDebugger).  The run then stops at
 * breakpoints, after steps and on request, calls OnPause on its own thread
 * and waits until OnPause returns; what it returns says how the run goes
 * on.  While the run waits, the debugger shows the paused run: its calls,
 * the variables of each, the globals.  Lines are the ones error texts and
 * the listing give.
 *
 *    class Host : public ORVA_Debugger
 *    {
 *       int OnPause(int reason) override
 *       {
 *          const char *function;
 *          int line;
 *          GetFrame(0, &function, &line, nullptr);
 *          printf("paused in %s at line %d\n", function, line);
 *          return ORVA_RESUME_STEP_OVER;
 *       }
 *    };
 *    Host debugger;
 *    debugger.SetBreakpoint(nullptr, 12);
 *    env->SetDebugger(&debugger);
 *    program->Run(env, 0, nullptr, nullptr, nullptr);
 *
 * Threads: the callbacks run on the run's thread.  RequestPause and the
 * breakpoint calls may come from any thread at any time; a run under way
 * takes breakpoint changes in at its next pause or checkpoint (a backward
 * jump or a call).  The view (FrameCount and what follows it) answers only
 * while a run is paused: from inside a callback, or from a thread that the
 * callback waits for.
 *
 * Limits: the instruction limit counts what the run executes, which is
 * nothing while it waits; the time limit does not count the time a run
 * spends paused, so a run stopped at a breakpoint does not time out.
 */

/* Why a run paused: the reason OnPause is given. */
enum
{
   ORVA_PAUSE_ENTRY = 1,        // before the first line (SetStopOnEntry)
   ORVA_PAUSE_BREAKPOINT = 2,   // at the start of a line with a breakpoint
   ORVA_PAUSE_STEP = 3,         // a step ended at the start of a line
   ORVA_PAUSE_REQUESTED = 4     // RequestPause
};

/* How a paused run goes on: what OnPause returns. */
enum
{
   ORVA_RESUME_CONTINUE = 0,    // to the next breakpoint
   ORVA_RESUME_STEP_INTO = 1,   // to the next line started, in this function or any other
   ORVA_RESUME_STEP_OVER = 2,   // to the next line started in this function or a caller
   ORVA_RESUME_STEP_OUT = 3,    // to the next line started in a caller
   ORVA_RESUME_STOP = 4         // the run ends as by ORVA_Program::Stop
};

class ORVA_API ORVA_Debugger
{
private:
   ORVA_DebuggerBody *m_body;
   friend class ORVA_Engine;

public:
   ORVA_Debugger();
   virtual ~ORVA_Debugger();
   ORVA_Debugger(const ORVA_Debugger &) = delete;
   ORVA_Debugger &operator=(const ORVA_Debugger &) = delete;

   // The run paused for reason (ORVA_PAUSE_*); returns ORVA_RESUME_*.
   // The default goes on to the next breakpoint.
   virtual int OnPause(int reason);
   // A run-time error is about to end the run: code and the message as
   // GetErrorMessage will give it; the view shows the run where it failed.
   // The run ends when it returns.  A stop (a limit, Stop) is not an error.
   virtual void OnError(int code, const char *message);

   // Breakpoints by line of the main script (module null or "") or of a
   // module (by its name, without regard to case).  A line without code
   // stops at the next line that has some.  1 when the set changed.
   int SetBreakpoint(const char *module, int line);
   int ClearBreakpoint(const char *module, int line);
   void ClearBreakpoints();
   // Whether the next run pauses before its first line (off by default).
   void SetStopOnEntry(int stop);
   // Asks the run under way to pause at its next line; callable from any
   // thread.  A request made while no run is under way is dropped.
   void RequestPause();

   // Where a breakpoint at line of a compiled program (a module's own
   // program for a module) stops: the first line at or after it with
   // code, or 0 when there is none.  For a host that shows breakpoints
   // where they will hold before the run starts.
   static int LineWithCode(ORVA_Program *program, int line);
   // The line a call of the named function of program stops at first, or
   // 0 for no such function: a breakpoint there stops every call.
   static int FunctionLine(ORVA_Program *program, const char *name);

   // The view of the paused run.  1 while a run is paused.
   int IsPaused() const;
   // The calls active, index 0 the innermost (where the run stands), the
   // last main (or the function the run entered).
   uint32 FrameCount() const;
   // The function of a call, the line it stands at and its module ("" for
   // the main script).  Any pointer may be null; 0 past the last frame.
   // The texts stay valid while the run is paused.
   int GetFrame(uint32 frame, const char **function, int *line, const char **module) const;
   // The local variables of a call, arguments ($1, $2, ...) and parameters
   // included, in the order the function made them; a variable whose value
   // was never made is left out.  The values stay the run's: read them (and
   // walk arrays with ORVA_Array::Size, IndexAt and ValueAt, and their text
   // keys with TextCount, TextKeyAt and TextValueAt) while paused.
   uint32 VariableCount(uint32 frame) const;
   int GetVariable(uint32 frame, uint32 index, const char **name, ORVA_Value **value) const;
   // The value a name has in a call, found as the language finds it: the
   // global of that name first, else the call's local; null for neither.
   ORVA_Value *FindVariable(uint32 frame, const char *name) const;
   // The run's global variables.
   ORVA_VariableSystem *GetGlobals() const;
};

/*** The host message that a script library lists itself into. ***/
class ORVA_API ZRQPMessage
{
   struct Fields;                // the fields set, in the order of their ids
   Fields *m_fields = nullptr;   // made by the first Set

public:
   ZRQPMessage() = default;
   ~ZRQPMessage();
   ZRQPMessage(const ZRQPMessage &) = delete;
   ZRQPMessage &operator=(const ZRQPMessage &) = delete;

   // type FIELD_TYPE_INTEGER reads a uint32 at data, FIELD_TYPE_STRING a
   // zero-terminated text; setting a field again replaces it.
   void Set(uint32 fieldId, uint8 type, const void *data, uint32 size);

   uint32 FieldCount() const;
   int IsFieldSet(uint32 fieldId) const;
   uint32 GetFieldAsUInt32(uint32 fieldId) const;
   const char *GetFieldAsString(uint32 fieldId) const;
};

/*
 * The script library: named, numbered compiled scripts under one lock.  A
 * host takes the lock around its own changes and lookups; Run takes it
 * itself while it links modules, so hosts need not hold it around Run.
 */
class ORVA_API ORVA_Library
{
protected:
   uint32 m_scriptCount;
   ORVA_Program **m_programs;
   char **m_names;
   uint32 *m_ids;
   pthread_mutex_t m_lock;   // recursive

private:
   void Delete(uint32 index);

public:
   ORVA_Library();
   ~ORVA_Library();
   ORVA_Library(const ORVA_Library &) = delete;
   ORVA_Library &operator=(const ORVA_Library &) = delete;

   void Lock();
   void Unlock();

   int AddScript(uint32 id, const char *name, ORVA_Program *program);
   void DeleteScript(const char *name);
   void DeleteScript(uint32 id);
   ORVA_Program *FindScript(const char *name);
   void FillMessage(ZRQPMessage *msg);

   uint32 ScriptCount() const { return m_scriptCount; }
};

/*** Plain entry points. ***/
extern "C"
{
   // Compiles source into a new program owned by the caller, or returns null
   // and copies "Error in line N: ..." into errorText (when not null).
   ORVA_API ORVA_Program *ORVACompile(const char *source, char *errorText, int errorTextLen);

   // Reads a whole file into a zero-terminated heap text (zero bytes become
   // spaces), released with free(); null when it cannot be read.
   ORVA_API char *ORVALoadFile(const char *fileName, uint32 *fileSize);

   // Inside a host function: the environment of the run that called it (a
   // host derives from ORVA_Environment to carry its own data).  Null on a
   // thread that is not running a script.
   ORVA_API ORVA_Environment *ORVA_CurrentEnvironment();

   // Inside a host function that is about to return an error code: the
   // run's error text becomes "Error CODE in line LINE: text" instead of the
   // code's own message.  The text is copied (cut at 1023 bytes).
   ORVA_API void ORVA_SetErrorMessage(const char *text);
}

/*
 * A failed compile's error whole and in parts, for a host that shows it its
 * own way: m_text is what ORVACompile copies into its errorText, "Error in
 * line LINE: MESSAGE" (cut at 1023 bytes); m_line is LINE (0 when the error
 * belongs to no line, as when memory ran out before the text was read) and
 * m_message is MESSAGE, cut where the text is cut.
 */
struct ORVA_CompileError
{
   int m_line;
   char m_message[1024];
   char m_text[1024];
};

// ORVACompile, giving the error as an ORVA_CompileError (when error is not
// null; all empty when the compile succeeds).  Further compile options come
// as parameters after error, so one call keeps giving the parts.
ORVA_API ORVA_Program *ORVACompile(const char *source, ORVA_CompileError *error);

// ORVACompile at a language level: ORVA_LANGUAGE_1 is the plain call above,
// ORVA_LANGUAGE_2 adds text keys, for loops, in-place updates, ??, short-
// circuit && and || and array literals.  Any other level fails to compile.
ORVA_API ORVA_Program *ORVACompile(const char *source, char *errorText, int errorTextLen, int language);
ORVA_API ORVA_Program *ORVACompile(const char *source, ORVA_CompileError *error, ORVA_Language language);

/*** Work and memory of host functions. ***/

/*
 * A host function whose work or memory depends on its arguments counts
 * them against the limits of the run that called it, as the built-ins do,
 * so that a script cannot pass a limit by calling it.  Work is counted in
 * units of the instruction limit: one unit is about one instruction, and
 * text copied or scanned costs a unit per ORVA_WORK_BYTES_PER_UNIT bytes.
 * Outside a run (and on a thread that runs none) nothing is counted and
 * every call succeeds.
 */
const uint32 ORVA_WORK_BYTES_PER_UNIT = 32;

extern "C"
{
   // Charges units of work done or about to be done.  1 to go on; 0 when
   // the run has stopped (a limit, Stop, a memory refusal): the function
   // then gives up at once and returns (any code: the stop is what the run
   // reports).  A loop charges as it goes, every few thousand units.
   ORVA_API int ORVAChargeWork(uint64 units);

   // For work that cannot be interrupted once started: when worstUnits
   // could pass what the limits leave, the run stops at once, its text
   // saying the work was refused, and the result is 0; else units (what it
   // costs as a rule) are charged as by ORVAChargeWork.
   ORVA_API int ORVAWeighWork(uint64 worstUnits, uint64 units);

   // Memory counted under the run's ceiling (SetMemoryLimit) while held:
   // null when the ceiling or the heap refuses, and the run then stops
   // with "Memory limit reached" (or "Out of memory").  ORVAReallocate
   // leaves the block as it was when it refuses.  ORVAFree takes the size
   // the block was asked for.  A block may outlive the run.
   ORVA_API void *ORVAAllocate(size_t bytes);
   ORVA_API void *ORVAReallocate(void *block, size_t oldBytes, size_t newBytes);
   ORVA_API void ORVAFree(void *block, size_t bytes);

   // The order of two numbers by the values they stand for, whatever their
   // types: -1, 0 or 1.  Unlike the comparison operators, which first bring
   // both to one type, it orders any mix exactly (a large uint64 above every
   // int64, an integer and a real by their true values); a NaN comes after
   // every other number.  A value that is not a number reads as 0.
   ORVA_API int ORVACompareNumbers(const ORVA_Value *a, const ORVA_Value *b);
}

/*** Opt-in extension functions. ***/

/*
 * Sets of extension functions beyond the built-ins.  An environment holds
 * none of them until a host registers them.  The pure sets compute from
 * their arguments only; ORVA_EXT_IO lets scripts read standard input, read
 * and write files and read environment variables, so a host grants it on
 * purpose and never by asking for the pure sets.
 */
enum
{
   ORVA_EXT_TEXT = 0x01,     // split join index replace trim ord chr format
   ORVA_EXT_MATH = 0x02,     // sqrt floor ceil round exp log sin cos tan atan2
   ORVA_EXT_ARRAYS = 0x04,   // count sort keys haskey remove
   ORVA_EXT_PURE = ORVA_EXT_TEXT | ORVA_EXT_MATH | ORVA_EXT_ARRAYS,
   ORVA_EXT_IO = 0x08        // readline readfile writefile getenv
};

extern "C"
{
   // Appends the functions of the chosen sets (ORVA_EXT_* flags) to the
   // environment's table, behind what it holds.  1 when done; 0 for a null
   // environment or an unknown flag, and then nothing is added.
   ORVA_API int ORVARegisterExtensions(ORVA_Environment *env, uint32 sets);
}

#endif
