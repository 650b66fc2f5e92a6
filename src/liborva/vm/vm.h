/*
 * Internals shared by the virtual machine's sources: operand kinds of the
 * opcodes, the mnemonic and message tables, growth of the program's counted
 * arrays and the engine's inlined access to its stacks.
 */
#ifndef ORVA_VM_H
#define ORVA_VM_H

#include "orva.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <regex.h>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

/* What the operand union of an instruction holds, decided by its opcode. */
enum OperandKind
{
   OPERAND_NONE = 0,
   OPERAND_NAME = 1,
   OPERAND_CONSTANT = 2,
   OPERAND_ADDRESS = 3
};

OperandKind OperandKindOf(int opCode);

/* Opcodes whose operand is a code address that moves with the code. */
inline bool HasCodeAddress(int opCode)
{
   return opCode == OPCODE_JMP || opCode == OPCODE_CALL || opCode == OPCODE_JZ || opCode == OPCODE_JNZ;
}

/* Listing text of an opcode; "???" for numbers outside the instruction set. */
const char *OpcodeMnemonic(int opCode);

/* Wording of a run-time error code; "Unknown error code" outside 1..24. */
const char *RuntimeErrorMessage(int code);

/*
 * The program's counted arrays carry no capacity field, so the capacity is
 * derived from the count: 0, then 16, then the next power of two.  Shrinking
 * the count never invalidates this, because a block only ever holds at least
 * the capacity of any smaller count.  Returns false when memory ran out.
 */
template <typename T> bool ReserveForAppend(T *&block, uint32 count)
{
   bool full = (count == 0) || (count >= 16 && (count & (count - 1)) == 0);
   if (!full)
      return true;
   size_t capacity = (count == 0) ? 16 : static_cast<size_t>(count) * 2;
   void *grown = realloc(static_cast<void *>(block), capacity * sizeof(T));
   if (grown == nullptr)
      return false;
   block = static_cast<T *>(grown);
   return true;
}

/*
 * The engine's view of an ORVA_Stack: the same object, with the push and pop
 * of the interpreter loop inlined.  Growth still goes through ORVA_Stack.
 */
class ORVA_VMStack : public ORVA_Stack
{
public:
   void FastPush(void *item)
   {
      if (m_position < m_capacity)
         m_data[m_position++] = item;
      else
         Push(item);
   }
   void *FastPop() { return (m_position > 0) ? m_data[--m_position] : nullptr; }
   void *FastTop() const { return (m_position > 0) ? m_data[m_position - 1] : nullptr; }
   int32 Depth() const { return m_position; }
   void **Top(int n) { return m_data + (m_position - n); }
   void Drop(int n) { m_position -= n; }
};

/* Where a variable instruction found its variable, and while that holds. */
struct VariableCacheEntry
{
   ORVA_Variable *variable;
   uint64 scope;          // 0: a global, which stays for the whole run
   uint32 globalsCount;   // a new global may hide a local of the same name
};

/* A regular expression compiled for one match instruction. */
struct CachedExpression
{
   std::string pattern;
   int flags;
   regex_t compiled;
};

/*
 * The interpreter's inlined access to the insides of values, variables and
 * scopes.  The hot instructions work on plain numbers directly; through the
 * public methods every step would be a call into another source file.  Each
 * helper does exactly what the public method it stands in for does.
 */
class ORVA_EngineAccess
{
public:
   static int Type(const ORVA_Value *value) { return value->m_dataType; }
   static int32 Int32(const ORVA_Value *value) { return value->m_value.i32; }
   static uint32 UInt32(const ORVA_Value *value) { return value->m_value.u32; }
   static double Real(const ORVA_Value *value) { return value->m_value.real; }

   // Signed integers of either width as the 64-bit value they convert to.
   static int64 SignedInt64(const ORVA_Value *value)
   {
      return (value->m_dataType == ORVA_DT_INT32) ? value->m_value.i32 : value->m_value.i64;
   }

   // As ORVA_Value::InvalidateString: a number that changes drops its text.
   static void DropText(ORVA_Value *value)
   {
      if (value->m_string != nullptr)
      {
         free(value->m_string);
         value->m_string = nullptr;
      }
      value->m_length = 0;
      value->m_stringValid = 0;
   }

   // What the destructor of this value would free: nothing.
   static bool OwnsNothing(const ORVA_Value *value)
   {
      return value->m_string == nullptr && value->m_dataType != ORVA_DT_OBJECT && value->m_dataType != ORVA_DT_ARRAY;
   }
   // The state of ORVA_Value(), for a value that owns nothing.
   static void MakeNull(ORVA_Value *value)
   {
      value->m_length = 0;
      value->m_stringValid = 0;
      value->m_dataType = ORVA_DT_NULL;
      value->m_value.u64 = 0;
   }

   // The results below go to a numeric value, which holds no object or array.
   static void SetInt32(ORVA_Value *value, uint32 bits)
   {
      DropText(value);
      value->m_dataType = ORVA_DT_INT32;
      value->m_value.u64 = 0;
      value->m_value.u32 = bits;
   }
   static void SetInt64(ORVA_Value *value, uint64 bits)
   {
      DropText(value);
      value->m_dataType = ORVA_DT_INT64;
      value->m_value.u64 = bits;
   }
   static void SetReal(ORVA_Value *value, double real)
   {
      DropText(value);
      value->m_dataType = ORVA_DT_REAL;
      value->m_value.real = real;
   }

   // A copy needs no text of its own when the source has none cached, or
   // when asking the copy for its text would format the very same text.
   static bool CopiesWithoutText(const ORVA_Value *value)
   {
      return value->m_dataType == ORVA_DT_NULL ||
             (value->m_dataType >= ORVA_DT_REAL && !(value->m_stringValid && value->m_string != nullptr));
   }
   static bool HasCanonicalText(const ORVA_Value *value);   // a number whose text formats back the same

   // Copy of a number or null without its text: the type and the bits.
   static void CopyBareInto(ORVA_Value *copy, const ORVA_Value *value)
   {
      copy->m_dataType = value->m_dataType;
      copy->m_value.u64 = value->m_value.u64;
   }

   // As ORVA_Variable::Set, with the old value handed to release instead of deleted.
   template <typename Release> static void StoreValue(ORVA_Variable *variable, ORVA_Value *value, Release release)
   {
      if (value == variable->m_value)
         return;
      ORVA_Value *old = variable->m_value;
      variable->m_value = value;
      release(old);
   }

   static const char *NameOf(const ORVA_Instruction *instruction)
   {
      const char *name = instruction->m_operand.name;
      return (name != nullptr) ? name : "";
   }
   static uint32 AddressOf(const ORVA_Instruction *instruction) { return instruction->m_operand.address; }

   static ORVA_Variable **&Variables(ORVA_VariableSystem *scope) { return scope->m_variables; }
   static uint32 &Count(ORVA_VariableSystem *scope) { return scope->m_count; }
   static char *&Name(ORVA_Variable *variable) { return variable->m_name; }
   static ORVA_Value *&Held(ORVA_Variable *variable) { return variable->m_value; }
};

/*
 * The local scope of a script call, kept by call depth for the whole run.  A
 * returning call empties it but keeps its variables, names and all, for the
 * next call at that depth: nearly always a call of the same function, which
 * binds the same names in the same order, so a call needs no allocation.
 * The block holds `kept` variables: the scope's live ones first, then the
 * emptied ones, which hold no value and are invisible to lookups.
 */
struct ORVA_CallScope
{
   ORVA_VariableSystem scope;
   uint32 capacity = 0;   // slots in the scope's block
   uint32 kept = 0;
};

/*
 * The data stack of a run, which also carries the run's private bookkeeping:
 * it lives exactly as long as the run.  Each activation of a local scope gets
 * a number of its own, so that a variable found through an instruction can be
 * reused until the scope it was found in is left.
 */
class ORVA_DataStack : public ORVA_VMStack
{
public:
   std::vector<VariableCacheEntry> variableCache;   // by instruction address
   uint64 scope = 1;
   uint64 lastScope = 1;
   std::vector<uint64> savedScopes;                 // the callers' scope numbers
   std::unordered_map<uint32, CachedExpression *> expressions;   // by instruction address
   // How the push instruction at each address pushes, decided when it first runs.
   enum PushPlan : uint8
   {
      PLAN_UNDECIDED = 0,
      PLAN_BARE_COPY = 1,   // a constant whose text formats back the same: copy the number alone
      PLAN_FULL_COPY = 2,   // copy with the text
      PLAN_MOVE = 3         // a variable's text about to be appended to and stored back: no copy
   };
   std::vector<uint8> pushPlans;
   std::vector<ORVA_CallScope *> callScopes;                      // by call depth - 1

   ORVA_DataStack() = default;
   ORVA_DataStack(const ORVA_DataStack &) = delete;
   ORVA_DataStack &operator=(const ORVA_DataStack &) = delete;
   ~ORVA_DataStack()
   {
      for (auto &entry : expressions)
      {
         regfree(&entry.second->compiled);
         delete entry.second;
      }
      for (ORVA_CallScope *frame : callScopes)
      {
         // Every kept variable goes with its scope; emptied ones hold no value.
         ORVA_EngineAccess::Count(&frame->scope) = frame->kept;
         delete frame;
      }
      while (m_spareCount > 0)
         delete m_spare[--m_spareCount];
   }

   /*
    * Nearly every instruction makes or discards a value.  Discarded values
    * wait here, as null values, for the next one, which saves the general
    * heap most of that traffic and a null value its construction.  Every
    * value, whoever made it, comes from the plain operator new with the size
    * of ORVA_Value, so a value made here may be deleted anywhere and any
    * value may be released here.
    */
   template <typename... Args> ORVA_Value *NewValue(Args &&...args)
   {
      if (m_spareCount == 0)
         return new ORVA_Value(std::forward<Args>(args)...);
      // A spare null value owns nothing, so its place is simply taken over.
      return new (m_spare[--m_spareCount]) ORVA_Value(std::forward<Args>(args)...);
   }

   ORVA_Value *NewValue()
   {
      return (m_spareCount > 0) ? m_spare[--m_spareCount] : new ORVA_Value();
   }

   void Release(ORVA_Value *value)
   {
      if (value == nullptr)
         return;
      if (m_spareCount == SPARE_LIMIT)
      {
         delete value;
         return;
      }
      // A number without text has nothing to free: it only turns null.
      if (ORVA_EngineAccess::OwnsNothing(value))
         ORVA_EngineAccess::MakeNull(value);
      else
      {
         value->~ORVA_Value();
         new (value) ORVA_Value();
      }
      m_spare[m_spareCount++] = value;
   }

   void ReleaseTop() { Release(static_cast<ORVA_Value *>(FastPop())); }

   // The value copy constructor, without the call for the common numbers.
   ORVA_Value *CopyValue(const ORVA_Value *value)
   {
      if (value == nullptr || !ORVA_EngineAccess::CopiesWithoutText(value))
         return NewValue(value);
      ORVA_Value *copy = NewValue();
      ORVA_EngineAccess::CopyBareInto(copy, value);
      return copy;
   }

   // A copy of the constant pushed at address.
   ORVA_Value *CopyConstant(uint32 address, const ORVA_Value *constant)
   {
      if (constant == nullptr || address >= pushPlans.size())
         return NewValue(constant);
      uint8 &plan = pushPlans[address];
      if (plan == PLAN_UNDECIDED)
         plan = (ORVA_EngineAccess::CopiesWithoutText(constant) || ORVA_EngineAccess::HasCanonicalText(constant))
                   ? PLAN_BARE_COPY
                   : PLAN_FULL_COPY;
      if (plan == PLAN_FULL_COPY)
         return NewValue(constant);
      ORVA_Value *copy = NewValue();
      ORVA_EngineAccess::CopyBareInto(copy, constant);
      return copy;
   }

   // The scope of the call at depth (1 for the first call from main), made on first use.
   ORVA_CallScope *CallScopeAt(uint32 depth)
   {
      while (callScopes.size() < depth)
         callScopes.push_back(new ORVA_CallScope());
      return callScopes[depth - 1];
   }

private:
   static const int SPARE_LIMIT = 256;
   ORVA_Value *m_spare[SPARE_LIMIT];
   int m_spareCount = 0;
};

/* strcmp(a, b) == 0 for the short names of variables, without the call. */
inline bool SameName(const char *a, const char *b)
{
   while (*a == *b)
   {
      if (*a == 0)
         return true;
      a++;
      b++;
   }
   return false;
}

/*
 * A new variable in the local scope: in a call's scope it takes the place of
 * a kept variable, renamed only when the name differs.  Like
 * ORVA_VariableSystem::Create it takes the value over, and on running out of
 * memory drops it and gives null.  Every variable a run creates in a local
 * scope comes through here, since the plain Create would not know the kept
 * variables behind the live ones.
 */
inline ORVA_Variable *CreateLocal(ORVA_DataStack *data, uint32 callDepth, ORVA_VariableSystem *locals,
                                  const char *name, ORVA_Value *value)
{
   typedef ORVA_EngineAccess Access;
   ORVA_CallScope *frame = (data != nullptr && callDepth > 0 && callDepth <= data->callScopes.size())
                              ? data->callScopes[callDepth - 1]
                              : nullptr;
   if (frame == nullptr || &frame->scope != locals)
      return locals->Create(name, value);

   uint32 &count = Access::Count(&frame->scope);
   if (count < frame->kept)
   {
      ORVA_Variable *variable = Access::Variables(&frame->scope)[count];
      char *&held = Access::Name(variable);
      if (!SameName(held, name))
      {
         size_t size = strlen(name) + 1;
         char *renamed = static_cast<char *>(realloc(held, size));
         if (renamed == nullptr)
         {
            data->Release(value);
            return nullptr;
         }
         memcpy(renamed, name, size);
         held = renamed;
      }
      Access::Held(variable) = (value != nullptr) ? value : data->NewValue();
      count++;
      return variable;
   }

   if (frame->kept == frame->capacity)
   {
      uint32 capacity = (frame->capacity == 0) ? 8 : frame->capacity * 2;
      void *grown = realloc(Access::Variables(&frame->scope), sizeof(ORVA_Variable *) * capacity);
      if (grown == nullptr)
      {
         data->Release(value);
         return nullptr;
      }
      Access::Variables(&frame->scope) = static_cast<ORVA_Variable **>(grown);
      frame->capacity = capacity;
   }
   ORVA_Variable *variable = new ORVA_Variable(name, value);
   Access::Variables(&frame->scope)[frame->kept++] = variable;
   count++;
   return variable;
}

/*
 * Ends a call: the values of its scope are released in creation order, as
 * deleting the scope would, and its variables are kept for the next call.
 */
inline void EmptyCallScope(ORVA_DataStack *data, ORVA_CallScope *frame)
{
   typedef ORVA_EngineAccess Access;
   uint32 &count = Access::Count(&frame->scope);
   ORVA_Variable **variables = Access::Variables(&frame->scope);
   for (uint32 i = 0; i < count; i++)
   {
      data->Release(Access::Held(variables[i]));
      Access::Held(variables[i]) = nullptr;
   }
   count = 0;
}

/* Writes "$<n>" into buffer (at least 16 bytes), the name of argument n. */
inline const char *ArgumentName(char *buffer, uint32 n)
{
   char digits[12];
   int count = 0;
   do
   {
      digits[count++] = static_cast<char>('0' + n % 10);
      n /= 10;
   } while (n != 0);
   char *out = buffer;
   *out++ = '$';
   while (count > 0)
      *out++ = digits[--count];
   *out = 0;
   return buffer;
}

#endif
