/*
 * The execution engine: a run from preparation to tear-down, the dispatch of
 * one instruction, script calls and the lookup of variables.
 *
 * The interpreter loop never recurses: a script call pushes a frame on the
 * control stack and the loop carries on at the callee's first instruction, so
 * the nesting of script calls is bounded by MAX_CALL_DEPTH alone.
 */
#include "vm/vm.h"
#include "values/array_cycle.h"

#include <cinttypes>
#include <cstdint>
#include <cstring>

typedef ORVA_EngineAccess Access;

bool ORVA_EngineAccess::HasCanonicalText(const ORVA_Value *value)
{
   if (value->m_dataType < ORVA_DT_REAL)
      return false;   // text, object or array: no number to format
   if (!value->m_stringValid || value->m_string == nullptr)
      return true;
   // The formats of ORVA_Value::UpdateString.
   char buffer[64];
   int length;
   switch (value->m_dataType)
   {
      case ORVA_DT_REAL:
         length = snprintf(buffer, sizeof(buffer), "%f", value->m_value.real);
         break;
      case ORVA_DT_INT32:
         length = snprintf(buffer, sizeof(buffer), "%d", value->m_value.i32);
         break;
      case ORVA_DT_UINT32:
         length = snprintf(buffer, sizeof(buffer), "%u", value->m_value.u32);
         break;
      case ORVA_DT_INT64:
         length = snprintf(buffer, sizeof(buffer), "%" PRId64, value->m_value.i64);
         break;
      case ORVA_DT_UINT64:
         length = snprintf(buffer, sizeof(buffer), "%" PRIu64, value->m_value.u64);
         break;
      default:
         return false;   // text is the value itself
   }
   return length >= 0 && length < static_cast<int>(sizeof(buffer)) && static_cast<uint32>(length) == value->m_length &&
          memcmp(buffer, value->m_string, static_cast<size_t>(length)) == 0;
}

static inline ORVA_VMStack *AsVMStack(ORVA_Stack *stack)
{
   return static_cast<ORVA_VMStack *>(stack);
}

static inline ORVA_DataStack *AsDataStack(ORVA_Stack *stack)
{
   return static_cast<ORVA_DataStack *>(stack);
}

/* A scope's first variable of that name, as ORVA_VariableSystem::Find, inlined for the loop. */
static inline ORVA_Variable *FindIn(ORVA_VariableSystem *scope, const char *name)
{
   const uint32 count = scope->Count();
   for (uint32 i = 0; i < count; i++)
   {
      ORVA_Variable *variable = scope->GetVariable(i);
      const char *candidate = variable->Name();
      if (SameName(candidate, name))
         return variable;
   }
   return nullptr;
}

/*
 * The variable a named instruction works on: the global of that name, else
 * the local one, else a new local.  What was found is kept per instruction
 * while the same activation of the local scope is current and no global was
 * added, since scopes never lose a variable during a run.
 */
static inline ORVA_Variable *VariableAt(ORVA_DataStack *data, uint32 address, ORVA_VariableSystem *globals,
                                        ORVA_VariableSystem *locals, uint32 callDepth, const char *name)
{
   VariableCacheEntry *entry = (address < data->variableCache.size()) ? &data->variableCache[address] : nullptr;
   uint32 globalsCount = globals->Count();
   if (entry != nullptr && entry->variable != nullptr && (entry->scope == 0 || entry->scope == data->scope) &&
       entry->globalsCount == globalsCount)
      return entry->variable;

   uint64 scope = 0;
   ORVA_Variable *variable = FindIn(globals, name);
   if (variable == nullptr)
   {
      scope = data->scope;
      variable = FindIn(locals, name);
      if (variable == nullptr)
         variable = CreateLocal(data, callDepth, locals, name, data->NewValue());
   }
   if (entry != nullptr && variable != nullptr)
   {
      entry->variable = variable;
      entry->scope = scope;
      entry->globalsCount = globals->Count();
   }
   return variable;
}

/* As ORVA_Variable::Set, with the old value going back to the run's spare values. */
static inline void StoreValue(ORVA_DataStack *data, ORVA_Variable *variable, ORVA_Value *value)
{
   Access::StoreValue(variable, value, [data](ORVA_Value *old) { data->Release(old); });
}

/* IsZero of a numeric value, inlined for the common int32. */
static inline bool IsZeroNumber(const ORVA_Value *value)
{
   if (Access::Type(value) == ORVA_DT_INT32)
      return Access::UInt32(value) == 0;
   return value->IsZero() != 0;
}

/*
 * The operators on two int32, two reals or signed integers of mixed width,
 * done in place without the general dispatch of DoBinaryOperation: the same
 * result in the left operand, which drops its text; the right operand is
 * only read.  Anything else, and every case that raises an error, is left
 * to DoBinaryOperation (false, with the left operand untouched).
 */
static inline bool FastOperation(ORVA_Value *left, const ORVA_Value *right, int opCode)
{
   const int leftType = Access::Type(left);
   const int rightType = Access::Type(right);

   if (leftType == ORVA_DT_INT32 && rightType == ORVA_DT_INT32)
   {
      // Wrapping arithmetic on the unsigned bits, as ORVA_Value does it.
      const uint32 a = Access::UInt32(left);
      const uint32 b = Access::UInt32(right);
      const int32 sa = Access::Int32(left);
      const int32 sb = Access::Int32(right);
      uint32 result;
      switch (opCode)
      {
         case OPCODE_ADD: result = a + b; break;
         case OPCODE_SUB: result = a - b; break;
         case OPCODE_MUL: result = a * b; break;
         case OPCODE_REM:
            if (b == 0)
               return false;   // the error is raised by the general path
            result = (sb == -1) ? 0 : static_cast<uint32>(sa % sb);
            break;
         case OPCODE_BIT_AND: result = a & b; break;
         case OPCODE_BIT_OR: result = a | b; break;
         case OPCODE_BIT_XOR: result = a ^ b; break;
         case OPCODE_EQ: result = (a == b); break;
         case OPCODE_NE: result = (a != b); break;
         case OPCODE_LT: result = (sa < sb); break;
         case OPCODE_LE: result = (sa <= sb); break;
         case OPCODE_GT: result = (sa > sb); break;
         case OPCODE_GE: result = (sa >= sb); break;
         case OPCODE_AND: result = (a != 0 && b != 0); break;
         case OPCODE_OR: result = (a != 0 || b != 0); break;
         case OPCODE_DIV:
            // Division is always done in reals.
            Access::SetReal(left, static_cast<double>(sa) / static_cast<double>(sb));
            return true;
         default:
            return false;
      }
      Access::SetInt32(left, result);
   }
   else if (leftType == ORVA_DT_REAL && rightType == ORVA_DT_REAL)
   {
      const double a = Access::Real(left);
      const double b = Access::Real(right);
      switch (opCode)
      {
         case OPCODE_ADD: Access::SetReal(left, a + b); break;
         case OPCODE_SUB: Access::SetReal(left, a - b); break;
         case OPCODE_MUL: Access::SetReal(left, a * b); break;
         case OPCODE_DIV: Access::SetReal(left, a / b); break;
         case OPCODE_EQ: Access::SetInt32(left, a == b); break;
         case OPCODE_NE: Access::SetInt32(left, !(a == b)); break;
         case OPCODE_LT: Access::SetInt32(left, a < b); break;
         case OPCODE_LE: Access::SetInt32(left, a <= b); break;
         case OPCODE_GT: Access::SetInt32(left, a > b); break;
         case OPCODE_GE: Access::SetInt32(left, a >= b); break;
         default:
            return false;
      }
   }
   else if ((leftType == ORVA_DT_INT32 || leftType == ORVA_DT_INT64) &&
            (rightType == ORVA_DT_INT32 || rightType == ORVA_DT_INT64))
   {
      // One of them is int64: both are brought to int64, sign extended.
      const uint64 a = static_cast<uint64>(Access::SignedInt64(left));
      const uint64 b = static_cast<uint64>(Access::SignedInt64(right));
      const int64 sa = static_cast<int64>(a);
      const int64 sb = static_cast<int64>(b);
      switch (opCode)
      {
         case OPCODE_ADD: Access::SetInt64(left, a + b); break;
         case OPCODE_SUB: Access::SetInt64(left, a - b); break;
         case OPCODE_MUL: Access::SetInt64(left, a * b); break;
         case OPCODE_EQ: Access::SetInt32(left, a == b); break;
         case OPCODE_NE: Access::SetInt32(left, a != b); break;
         case OPCODE_LT: Access::SetInt32(left, sa < sb); break;
         case OPCODE_LE: Access::SetInt32(left, sa <= sb); break;
         case OPCODE_GT: Access::SetInt32(left, sa > sb); break;
         case OPCODE_GE: Access::SetInt32(left, sa >= sb); break;
         default:
            return false;
      }
   }
   else
   {
      return false;
   }
   return true;
}

/* FastOperation on the two values on top of the stack, the right one released. */
static inline bool FastBinaryOperation(ORVA_DataStack *stack, int opCode)
{
   if (opCode == OPCODE_CASE || stack->Depth() < 2)
      return false;
   ORVA_Value **operands = reinterpret_cast<ORVA_Value **>(stack->Top(2));
   ORVA_Value *left = operands[0];
   ORVA_Value *right = operands[1];
   if (left == nullptr || right == nullptr || !FastOperation(left, right, opCode))
      return false;
   stack->Drop(1);
   stack->Release(right);
   return true;
}

/* The operators that FastOperation may do. */
static inline bool MayBeFast(int opCode)
{
   return (opCode >= OPCODE_ADD && opCode <= OPCODE_OR);
}

/*
 * A comparison just made, which the conditional jump at next tests at once:
 * the jump is taken here, on the int32 truth on top of the stack, saving its
 * dispatch.  Gives the address to go on at.
 */
static inline uint32 TakeComparisonJump(ORVA_DataStack *stack, ORVA_Instruction *const *code, uint32 codeSize,
                                        int opCode, uint32 next)
{
   if (opCode < OPCODE_EQ || opCode > OPCODE_GE || next >= codeSize)
      return next;
   const ORVA_Instruction *jump = code[next];
   if (jump->OpCode() != OPCODE_JZ && jump->OpCode() != OPCODE_JNZ)
      return next;
   ORVA_Value *truth = static_cast<ORVA_Value *>(stack->FastPop());
   const bool zero = Access::UInt32(truth) == 0;
   stack->Release(truth);
   return ((jump->OpCode() == OPCODE_JZ) == zero) ? Access::AddressOf(jump) : next + 1;
}

/*
 * Whether the variable push at address starts "name = name . a . b ...;":
 * pushes of constants or of other variables, each appended, then the
 * assignment to the same name as a statement.  Nothing in such a sequence
 * reads the variable, calls or jumps.
 */
static bool AppendsToItself(ORVA_Instruction *const *code, uint32 codeSize, uint32 address)
{
   const char *name = Access::NameOf(code[address]);
   uint32 at = address + 1;
   uint32 appends = 0;
   while (at + 1 < codeSize && code[at + 1]->OpCode() == OPCODE_CONCAT)
   {
      const int opCode = code[at]->OpCode();
      const bool other = opCode == OPCODE_PUSH_CONSTANT ||
                         (opCode == OPCODE_PUSH_VARIABLE && !SameName(Access::NameOf(code[at]), name));
      if (!other)
         break;
      appends++;
      at += 2;
   }
   return appends > 0 && at + 1 < codeSize && code[at]->OpCode() == OPCODE_SET &&
          SameName(Access::NameOf(code[at]), name) && code[at + 1]->OpCode() == OPCODE_POP &&
          code[at + 1]->StackItems() == 1;
}

/* An instruction whose pushed value the next instruction throws away at once. */
static inline bool NextDiscardsValue(ORVA_Instruction **code, uint32 codeSize, uint32 next)
{
   return next < codeSize && code[next]->OpCode() == OPCODE_POP && code[next]->StackItems() == 1;
}

static void ReleaseStackValues(ORVA_VMStack *stack)
{
   while (stack->Depth() > 0)
      delete static_cast<ORVA_Value *>(stack->FastPop());
}

/*
 * Done with the local scope of the call at depth: a call's scope is emptied
 * and kept for the next call at that depth, main's scope (depth 0) deleted.
 */
static void DisposeScope(ORVA_DataStack *data, uint32 depth, ORVA_VariableSystem *scope)
{
   ORVA_CallScope *frame = (depth > 0 && depth <= data->callScopes.size()) ? data->callScopes[depth - 1] : nullptr;
   if (frame != nullptr && &frame->scope == scope)
      EmptyCallScope(data, frame);
   else
      delete scope;
}

// Flattened so that the dispatch of every instruction is inlined into the
// loop below instead of costing a call per instruction.
__attribute__((flatten)) int ORVA_Program::Run(ORVA_Environment *env, uint32 argc, ORVA_Value **argv,
                                               ORVA_VariableSystem *locals, ORVA_VariableSystem **globalsOut)
{
   // A run under way owns the machine; a nested Run on the same program (from
   // a host function) is refused, but what it was handed is still released.
   if (m_dataStack != nullptr)
   {
      delete env;
      for (uint32 i = 0; argv != nullptr && i < argc; i++)
         delete argv[i];
      delete locals;
      return -1;
   }

   const uint32 savedCodeSize = m_codeSize;
   const uint32 savedFunctionCount = m_functionCount;

   delete m_result;
   m_result = nullptr;
   m_ip = INVALID_ADDRESS;
   m_callDepth = 0;
   m_frameDepths.clear();

   m_environment = (env != nullptr) ? env : new ORVA_Environment();
   m_dataStack = new ORVA_DataStack();
   m_controlStack = new ORVA_VMStack();
   m_locals = (locals != nullptr) ? locals : new ORVA_VariableSystem();

   // No argument vector holds no arguments, whatever the count says: a
   // stray count must not make billions of null arguments.  (An absent $i
   // reads as null anyway.)
   if (argv == nullptr)
      argc = 0;
   char name[16];
   for (uint32 i = 0; i < argc; i++)
   {
      ORVA_Value *value = (argv[i] != nullptr) ? argv[i] : new ORVA_Value();
      m_locals->Create(ArgumentName(name, i + 1), value);
   }

   ORVA_VariableSystem *snapshot = new ORVA_VariableSystem(m_globals);

   bool linked = true;
   for (uint32 i = 0; i < m_preloadCount; i++)
   {
      // A name already linked under another spelling of its letters is the
      // same module; asking the environment again could look for a file of
      // that exact spelling and fail.
      if (IsModuleLinked(m_preloadList[i]))
         continue;
      if (!m_environment->UseModule(this, m_preloadList[i]))
      {
         Error(ORVA_ERR_MODULE_NOT_FOUND);
         linked = false;
         break;
      }
   }

   if (linked)
   {
      uint32 mainAddress = GetFunctionAddress("main");
      if (mainAddress == INVALID_ADDRESS)
      {
         Error(ORVA_ERR_NO_MAIN);
      }
      else
      {
         AsDataStack(m_dataStack)->variableCache.assign(m_codeSize, VariableCacheEntry{nullptr, 0, 0});
         AsDataStack(m_dataStack)->pushPlans.assign(m_codeSize, ORVA_DataStack::PLAN_UNDECIDED);
         m_ip = mainAddress;
         m_bindCounter = 1;
         while (m_ip < m_codeSize)
            Execute();
         if (m_ip != INVALID_ADDRESS)
            m_result = static_cast<ORVA_Value *>(AsVMStack(m_dataStack)->FastPop());
      }
   }

   // Tear-down: the program returns to the state it had before the run.
   if (globalsOut != nullptr)
      *globalsOut = m_globals;
   else
      delete m_globals;
   m_globals = snapshot;

   ReleaseStackValues(AsVMStack(m_dataStack));
   ORVA_DataStack *data = AsDataStack(m_dataStack);
   ORVA_VMStack *control = AsVMStack(m_controlStack);
   const uint32 innermostDepth = m_callDepth;
   while (m_callDepth > 0)
   {
      m_callDepth--;
      // The saved scope belongs to the call at the depth left now (main's at 0).
      DisposeScope(data, m_callDepth, static_cast<ORVA_VariableSystem *>(control->FastPop()));
      control->FastPop();
   }
   m_frameDepths.clear();

   delete m_environment;
   m_environment = nullptr;
   DisposeScope(data, innermostDepth, m_locals);
   m_locals = nullptr;
   delete AsDataStack(m_dataStack);
   m_dataStack = nullptr;
   delete control;
   m_controlStack = nullptr;

   free(m_modules);
   m_modules = nullptr;
   m_moduleCount = 0;

   for (uint32 i = savedCodeSize; i < m_codeSize; i++)
      delete m_instructions[i];
   m_codeSize = savedCodeSize;
   m_functionCount = savedFunctionCount;

   return (m_ip != INVALID_ADDRESS) ? 0 : -1;
}

void ORVA_Program::CallFunction(int argc)
{
   if (m_callDepth >= MAX_CALL_DEPTH)
   {
      Error(ORVA_ERR_CONTROL_STACK_OVERFLOW);
      return;
   }
   m_callDepth++;
   ORVA_VMStack *control = AsVMStack(m_controlStack);
   control->FastPush(reinterpret_cast<void *>(static_cast<uintptr_t>(m_ip + 1)));
   control->FastPush(m_locals);
   ORVA_DataStack *stack = AsDataStack(m_dataStack);
   // The scope kept for this depth starts empty, as a new one would.
   m_locals = &stack->CallScopeAt(m_callDepth)->scope;
   m_bindCounter = 1;

   stack->savedScopes.push_back(stack->scope);
   stack->scope = ++stack->lastScope;
   if (argc < 0 || stack->Depth() < argc)
   {
      Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   // Arguments move from the stack into the callee's scope, first one first,
   // so that BIND finds $1 at the front of the scope.
   ORVA_Value **args = reinterpret_cast<ORVA_Value **>(stack->Top(argc));
   char name[16];
   for (int i = 0; i < argc; i++)
      CreateLocal(stack, m_callDepth, m_locals, ArgumentName(name, static_cast<uint32>(i + 1)),
                  (args[i] != nullptr) ? args[i] : stack->NewValue());
   stack->Drop(argc);
   m_frameDepths.push_back(stack->Depth());
}

ORVA_Variable *ORVA_Program::FindOrCreateVariable(const char *name)
{
   ORVA_Variable *variable = m_globals->Find(name);
   if (variable == nullptr)
   {
      variable = m_locals->Find(name);
      if (variable == nullptr)
         variable = CreateLocal(AsDataStack(m_dataStack), m_callDepth, m_locals, name, new ORVA_Value());
   }
   return variable;
}

ORVA_Variable *ORVA_Program::CreateVariable(const char *name)
{
   if (m_globals->Find(name) != nullptr || m_locals->Find(name) != nullptr)
      return nullptr;
   return CreateLocal(AsDataStack(m_dataStack), m_callDepth, m_locals, name, new ORVA_Value());
}

void ORVA_Program::SetGlobalVariable(const char *name, ORVA_Value *value)
{
   if (value == nullptr)
      value = new ORVA_Value();
   ORVA_Variable *variable = m_globals->Find(name);
   if (variable == nullptr)
      m_globals->Create(name, value);
   else if (variable->Value() != value)
      variable->Set(value);
}

ORVA_Variable *ORVA_Program::FindGlobalVariable(const char *name)
{
   return m_globals->Find(name);
}

void ORVA_Program::Execute()
{
   if (m_ip >= m_codeSize)
      return;
   ORVA_Instruction *instruction = m_instructions[m_ip];
   ORVA_DataStack *stack = AsDataStack(m_dataStack);
   uint32 next = m_ip + 1;

   switch (instruction->m_opCode)
   {
      case OPCODE_RET_NULL:
         stack->FastPush(stack->NewValue());
         [[fallthrough]];
      case OPCODE_RET:
         if (m_callDepth > 0)
         {
            m_callDepth--;
            if (!m_frameDepths.empty())
            {
               // Whatever the callee left under its result (the value of a
               // switch it returned from) belongs to no one: drop it.
               int32 depth = m_frameDepths.back();
               m_frameDepths.pop_back();
               if (stack->Depth() > depth + 1)
               {
                  void *result = stack->FastPop();
                  while (stack->Depth() > depth)
                     stack->ReleaseTop();
                  stack->FastPush(result);
               }
            }
            if (!stack->savedScopes.empty())
            {
               stack->scope = stack->savedScopes.back();
               stack->savedScopes.pop_back();
            }
            DisposeScope(stack, m_callDepth + 1, m_locals);
            ORVA_VMStack *control = AsVMStack(m_controlStack);
            m_locals = static_cast<ORVA_VariableSystem *>(control->FastPop());
            next = static_cast<uint32>(reinterpret_cast<uintptr_t>(control->FastPop()));
         }
         else
         {
            next = m_codeSize;
         }
         break;

      case OPCODE_JMP:
         next = instruction->m_operand.address;
         break;

      case OPCODE_CALL:
         next = instruction->m_operand.address;
         CallFunction(instruction->m_stackItems);
         break;

      case OPCODE_CALL_EXTERNAL:
      {
         const char *name = instruction->m_operand.name;
         int argc = instruction->m_stackItems;
         ORVA_ExtFunction *function = (name != nullptr) ? m_environment->FindFunction(name) : nullptr;
         if (function != nullptr && function->m_handler != nullptr)
         {
            if ((function->m_argCount != -1 && function->m_argCount != argc) || argc < 0)
            {
               Error(ORVA_ERR_INVALID_ARGUMENT_COUNT);
               break;
            }
            if (stack->Depth() < argc)
            {
               Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
               break;
            }
            ORVA_Value **args = reinterpret_cast<ORVA_Value **>(stack->Top(argc));
            ORVA_Value *result = nullptr;
            int rc = function->m_handler(argc, args, &result);
            if (rc != 0)
            {
               stack->Release(result);
               Error(rc);
               break;
            }
            for (int i = 0; i < argc; i++)
               stack->Release(args[i]);
            stack->Drop(argc);
            // A handler that succeeds without a result gives the script null.
            stack->FastPush((result != nullptr) ? result : stack->NewValue());
         }
         else
         {
            uint32 address = (name != nullptr) ? GetFunctionAddress(name) : INVALID_ADDRESS;
            if (address == INVALID_ADDRESS)
            {
               Error(ORVA_ERR_NO_FUNCTION);
               break;
            }
            next = address;
            CallFunction(argc);
         }
         break;
      }

      case OPCODE_PUSH_CONSTANT:
      {
         const ORVA_Value *constant = instruction->m_operand.constant;
         ORVA_Value *top = static_cast<ORVA_Value *>(stack->FastTop());
         if (constant != nullptr && top != nullptr && next < m_codeSize)
         {
            // "x + 1", "i < 10": a constant that an operator takes at once
            // works on the value on top where it lies, the copy that would
            // be pushed and released again never made.
            const int opCode = m_instructions[next]->m_opCode;
            if (MayBeFast(opCode) && FastOperation(top, constant, opCode))
            {
               next = TakeComparisonJump(stack, m_instructions, m_codeSize, opCode, next + 1);
               break;
            }
         }
         stack->FastPush(stack->CopyConstant(m_ip, constant));
         break;
      }

      case OPCODE_PUSH_VARIABLE:
      {
         ORVA_Variable *variable =
            VariableAt(stack, m_ip, m_globals, m_locals, m_callDepth, instruction->m_operand.name);
         ORVA_Value *value = variable->Value();
         if (Access::Type(value) >= ORVA_DT_STRING && m_ip < stack->pushPlans.size() &&
             stack->variableCache[m_ip].scope != 0)
         {
            uint8 &plan = stack->pushPlans[m_ip];
            if (plan == ORVA_DataStack::PLAN_UNDECIDED)
               plan = AppendsToItself(m_instructions, m_codeSize, m_ip) ? ORVA_DataStack::PLAN_MOVE : ORVA_DataStack::PLAN_FULL_COPY;
            if (plan == ORVA_DataStack::PLAN_MOVE)
            {
               // "s = s . x . y;" on a local: the value would be copied,
               // appended to and stored back over the original, which nothing
               // reads in between.  The value itself goes instead, so that
               // building a long text costs no copy of it per piece; the
               // variable holds null until the assignment, and an error on
               // the way ends the run, which takes the local scope with it.
               Access::Held(variable) = stack->NewValue();
               stack->FastPush(value);
               break;
            }
         }
         stack->FastPush(stack->CopyValue(value));
         break;
      }

      case OPCODE_EXIT:
      {
         ORVA_Value *value = static_cast<ORVA_Value *>(stack->FastPop());
         if (value == nullptr)
         {
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
            break;
         }
         next = m_codeSize;
         stack->Release(value);
         break;
      }

      case OPCODE_POP:
         for (int i = 0; i < instruction->m_stackItems && stack->Depth() > 0; i++)
            stack->ReleaseTop();
         break;

      case OPCODE_SET:
      {
         ORVA_Variable *variable =
            VariableAt(stack, m_ip, m_globals, m_locals, m_callDepth, instruction->m_operand.name);
         ORVA_Value *top = static_cast<ORVA_Value *>(stack->FastTop());
         if (top == nullptr)
         {
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
            break;
         }
         if (top->IsArray())
         {
            // Assignment copies arrays; element values are shared one level down.
            ORVA_Array *array = top->GetValueAsArray();
            variable->Set((array != nullptr) ? stack->NewValue(new ORVA_Array(array)) : stack->NewValue(top));
         }
         else if (NextDiscardsValue(m_instructions, m_codeSize, next))
         {
            // An assignment statement discards its value right away: hand the
            // value itself to the variable instead of copying it.
            StoreValue(stack, variable, static_cast<ORVA_Value *>(stack->FastPop()));
            next++;
         }
         else
         {
            StoreValue(stack, variable, stack->CopyValue(top));
         }
         break;
      }

      case OPCODE_ADD:
      case OPCODE_SUB:
      case OPCODE_MUL:
      case OPCODE_DIV:
      case OPCODE_REM:
      case OPCODE_EQ:
      case OPCODE_NE:
      case OPCODE_LT:
      case OPCODE_LE:
      case OPCODE_GT:
      case OPCODE_GE:
      case OPCODE_BIT_AND:
      case OPCODE_BIT_OR:
      case OPCODE_BIT_XOR:
      case OPCODE_AND:
      case OPCODE_OR:
      case OPCODE_LSHIFT:
      case OPCODE_RSHIFT:
      case OPCODE_CONCAT:
      case OPCODE_LIKE:
      case OPCODE_ILIKE:
      case OPCODE_MATCH:
      case OPCODE_IMATCH:
      case OPCODE_CASE:
      {
         const int opCode = instruction->m_opCode;
         if (!FastBinaryOperation(stack, opCode))
         {
            DoBinaryOperation(opCode);
            break;
         }
         next = TakeComparisonJump(stack, m_instructions, m_codeSize, opCode, next);
         break;
      }

      case OPCODE_JZ:
      case OPCODE_JNZ:
      {
         ORVA_Value *condition = static_cast<ORVA_Value *>(stack->FastPop());
         if (condition == nullptr)
         {
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
            break;
         }
         if (!condition->IsNumeric())
            Error(ORVA_ERR_NOT_NUMBER);
         else if ((instruction->m_opCode == OPCODE_JZ) == IsZeroNumber(condition))
            next = instruction->m_operand.address;
         stack->Release(condition);
         break;
      }

      case OPCODE_PRINT:
      {
         ORVA_Value *value = static_cast<ORVA_Value *>(stack->FastPop());
         if (value == nullptr)
         {
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
            break;
         }
         FILE *out = m_environment->GetStdOut();
         if (out != nullptr)
         {
            uint32 length = 0;
            const char *text = value->GetValueAsString(&length);
            if (text != nullptr)
               fwrite(text, 1, length, out);
            else
               fputs("(null)", out);
         }
         stack->Release(value);
         break;
      }

      case OPCODE_BIND:
      {
         char argName[16];
         ORVA_Variable *argument = FindIn(m_locals, ArgumentName(argName, static_cast<uint32>(m_bindCounter++)));
         ORVA_Value *value = (argument != nullptr) ? stack->CopyValue(argument->Value()) : stack->NewValue();
         ORVA_Variable *variable = FindIn(m_locals, instruction->m_operand.name);
         if (variable != nullptr)
            StoreValue(stack, variable, value);
         else
            CreateLocal(stack, m_callDepth, m_locals, instruction->m_operand.name, value);
         break;
      }

      case OPCODE_INC:
      case OPCODE_DEC:
      case OPCODE_INCP:
      case OPCODE_DECP:
      {
         ORVA_Value *value =
            VariableAt(stack, m_ip, m_globals, m_locals, m_callDepth, instruction->m_operand.name)->Value();
         if (!value->IsNumeric())
         {
            Error(ORVA_ERR_BAD_CONVERSION);
            break;
         }
         int opCode = instruction->m_opCode;
         // "i++;" as a statement: the pushed value would be popped right away.
         bool discarded = NextDiscardsValue(m_instructions, m_codeSize, next);
         if (discarded)
            next++;
         if (!discarded && (opCode == OPCODE_INC || opCode == OPCODE_DEC))
            stack->FastPush(stack->CopyValue(value));
         const bool up = (opCode == OPCODE_INC || opCode == OPCODE_INCP);
         if (Access::Type(value) == ORVA_DT_INT32)
            Access::SetInt32(value, Access::UInt32(value) + (up ? 1u : 0xFFFFFFFFu));   // wraps as Increment does
         else if (up)
            value->Increment();
         else
            value->Decrement();
         if (!discarded && (opCode == OPCODE_INCP || opCode == OPCODE_DECP))
            stack->FastPush(stack->CopyValue(value));
         break;
      }

      case OPCODE_NEG:
      case OPCODE_NOT:
      case OPCODE_BIT_NOT:
         DoUnaryOperation(instruction->m_opCode);
         break;

      case OPCODE_CAST:
      {
         ORVA_Value *top = static_cast<ORVA_Value *>(stack->FastTop());
         if (top == nullptr)
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
         else if (!top->Convert(instruction->m_stackItems))
            Error(ORVA_ERR_TYPE_CAST);
         break;
      }

      case OPCODE_REFERENCE:
      {
         ORVA_Value *value = static_cast<ORVA_Value *>(stack->FastPop());
         if (value == nullptr)
         {
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
            break;
         }
         if (value->IsObject())
         {
            ORVA_Object *object = value->GetValueAsObject();
            if (object == nullptr || object->Class() == nullptr)
            {
               Error(ORVA_ERR_INTERNAL);
            }
            else
            {
               ORVA_Value *attribute = object->Class()->GetAttr(object, instruction->m_operand.name);
               if (attribute == nullptr)
                  Error(ORVA_ERR_NO_SUCH_ATTRIBUTE);
               else
                  stack->FastPush(attribute);
            }
         }
         else
         {
            Error(ORVA_ERR_NOT_OBJECT);
         }
         stack->Release(value);
         break;
      }

      case OPCODE_ARRAY:
      {
         ORVA_Variable *variable = CreateVariable(instruction->m_operand.name);
         if (variable == nullptr)
            Error(ORVA_ERR_VARIABLE_ALREADY_EXIST);
         else
            variable->Set(stack->NewValue(new ORVA_Array()));
         break;
      }

      case OPCODE_GET_ELEMENT:
      {
         ORVA_Value *index = static_cast<ORVA_Value *>(stack->FastPop());
         ORVA_Value *array = static_cast<ORVA_Value *>(stack->FastPop());
         if (index == nullptr || array == nullptr)
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
         else if (!array->IsArray() || array->GetValueAsArray() == nullptr)
            Error(ORVA_ERR_NOT_ARRAY);
         else if (!index->IsInteger())
            Error(ORVA_ERR_INDEX_NOT_INTEGER);
         else
         {
            ORVA_Array *elements = array->GetValueAsArray();
            const int32 at = index->GetValueAsInt32();
            // An array filled from 0 holds index i at position i.
            ORVA_Value *element = (at >= 0 && at < elements->Size() && elements->IndexAt(at) == at)
                                     ? elements->ValueAt(at)
                                     : elements->Get(at);
            stack->FastPush((element != nullptr) ? stack->CopyValue(element) : stack->NewValue());
         }
         stack->Release(index);
         stack->Release(array);
         break;
      }

      case OPCODE_SET_ELEMENT:
      {
         ORVA_Value *value = static_cast<ORVA_Value *>(stack->FastPop());
         ORVA_Value *index = static_cast<ORVA_Value *>(stack->FastPop());
         ORVA_Value *array = static_cast<ORVA_Value *>(stack->FastPop());
         if (value == nullptr || index == nullptr || array == nullptr)
         {
            Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
         }
         else if (!index->IsInteger())
         {
            Error(ORVA_ERR_INDEX_NOT_INTEGER);
         }
         else if (!array->IsArray() || array->GetValueAsArray() == nullptr)
         {
            Error(ORVA_ERR_NOT_ARRAY);
         }
         else
         {
            ORVA_Array *target = array->GetValueAsArray();
            // An array that came to hold itself, directly or through arrays
            // inside it, would never be freed: such a value is stored as a copy.
            if (value->IsArray())
               value = ElementValueFor(target, value);
            // "a[i] = v;" as a statement discards the pushed copy at once;
            // an object's copy is still made, for its class sees copies.
            const bool discarded = !value->IsObject() && NextDiscardsValue(m_instructions, m_codeSize, next);
            target->Set(index->GetValueAsInt32(), value);
            if (discarded)
               next++;
            else
               stack->FastPush(stack->CopyValue(value));
            value = nullptr;
         }
         stack->Release(value);
         stack->Release(index);
         stack->Release(array);
         break;
      }

      default:
         break;
   }

   if (m_ip != INVALID_ADDRESS)
      m_ip = next;
}
