/*
 * Internals shared by the virtual machine's sources: operand kinds of the
 * opcodes, the mnemonic and message tables, growth of the program's counted
 * arrays and the engine's inlined access to its stacks.
 */
#ifndef ORVA_VM_H
#define ORVA_VM_H

#include "orva.h"

#include <cstdlib>
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
      while (m_spareCount > 0)
         ::operator delete(m_spare[--m_spareCount]);
   }

   /*
    * Nearly every instruction makes or discards a value.  Discarded values
    * leave their memory here for the next one, which saves the general heap
    * most of that traffic.  Every value, whoever made it, comes from the
    * plain operator new with the size of ORVA_Value, so a value made here may
    * be deleted anywhere and any value may be released here.
    */
   template <typename... Args> ORVA_Value *NewValue(Args &&...args)
   {
      void *block = (m_spareCount > 0) ? m_spare[--m_spareCount] : ::operator new(sizeof(ORVA_Value));
      return new (block) ORVA_Value(std::forward<Args>(args)...);
   }

   void Release(ORVA_Value *value)
   {
      if (value == nullptr)
         return;
      value->~ORVA_Value();
      if (m_spareCount < SPARE_LIMIT)
         m_spare[m_spareCount++] = value;
      else
         ::operator delete(value);
   }

   void ReleaseTop() { Release(static_cast<ORVA_Value *>(FastPop())); }

private:
   static const int SPARE_LIMIT = 256;
   void *m_spare[SPARE_LIMIT];
   int m_spareCount = 0;
};

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
