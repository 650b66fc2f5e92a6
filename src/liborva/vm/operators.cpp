/*
 * Operator dispatch: which operand types an operator accepts, promotion of
 * two numbers to a common type, text comparison and the pattern operators.
 */
#include "vm/vm.h"
#include "support/pattern_budget.h"
#include "support/support.h"

#include <climits>
#include <cstring>
#include <regex.h>

/* Most groups of one match that are stored as $1, $2, ... (record 0 is the whole match). */
static const size_t MAX_MATCH_RECORDS = 256;

static inline ORVA_DataStack *AsDataStack(ORVA_Stack *stack)
{
   return static_cast<ORVA_DataStack *>(stack);
}

/* Operators that need integers: a real operand leaves them without a common type. */
static inline bool IsIntegerOnlyOperator(int opCode)
{
   return opCode == OPCODE_REM || opCode == OPCODE_LSHIFT || opCode == OPCODE_RSHIFT || opCode == OPCODE_BIT_AND ||
          opCode == OPCODE_BIT_OR || opCode == OPCODE_BIT_XOR;
}

/*
 * The type both numeric operands are brought to, or -1 when there is none.
 * Next to a signed integer an unsigned one counts as signed of its width, and
 * the wider type wins.
 */
static int CommonType(int opCode, int left, int right)
{
   if (opCode == OPCODE_DIV)
      return ORVA_DT_REAL;
   if (left == ORVA_DT_REAL || right == ORVA_DT_REAL)
      return IsIntegerOnlyOperator(opCode) ? -1 : ORVA_DT_REAL;
   bool leftUnsigned = left >= ORVA_DT_UINT32;
   bool rightUnsigned = right >= ORVA_DT_UINT32;
   if (leftUnsigned != rightUnsigned)
   {
      // uint32 -> int32, uint64 -> int64
      if (leftUnsigned)
         left -= 2;
      else
         right -= 2;
   }
   return (left > right) ? left : right;
}

/* Equality outside the numeric path: same text, byte for byte; null equals only null. */
static int TextEqual(ORVA_Value *left, ORVA_Value *right)
{
   if (left->IsNull() || right->IsNull())
      return left->IsNull() && right->IsNull();
   uint32 leftLength = 0, rightLength = 0;
   const char *leftText = left->GetValueAsString(&leftLength);
   const char *rightText = right->GetValueAsString(&rightLength);
   if (leftText == nullptr)
      leftLength = 0;
   if (rightText == nullptr)
      rightLength = 0;
   return leftLength == rightLength && (leftLength == 0 || memcmp(leftText, rightText, leftLength) == 0);
}

void ORVA_Program::DoBinaryOperation(int opCode)
{
   ORVA_DataStack *stack = AsDataStack(m_dataStack);
   const bool isCase = (opCode == OPCODE_CASE);
   ORVA_Value *left;
   ORVA_Value *right;

   if (isCase)
   {
      // The label's constant against the switch value, which stays for the next label.
      ORVA_Instruction *instruction = (m_ip < m_codeSize) ? m_instructions[m_ip] : nullptr;
      left = (instruction != nullptr && instruction->m_opCode == OPCODE_CASE) ? instruction->m_operand.constant : nullptr;
      right = static_cast<ORVA_Value *>(stack->FastTop());
      if (left == nullptr || right == nullptr)
      {
         Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
         return;
      }
   }
   else
   {
      right = static_cast<ORVA_Value *>(stack->FastPop());
      left = static_cast<ORVA_Value *>(stack->FastPop());
      if (left == nullptr || right == nullptr)
      {
         stack->Release(left);
         stack->Release(right);
         Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
         return;
      }
   }

   // Operands popped by the failing operation go with it; a case test owns none.
   auto fail = [&](int code) {
      if (!isCase)
      {
         stack->Release(left);
         stack->Release(right);
      }
      Error(code);
   };
   // A result of 1 or 0 takes the place of the left operand, which is numeric
   // or text here and so changes type without anything to release.
   auto pushTruth = [&](int truth) {
      stack->Release(right);
      left->Set(truth ? 1 : 0);
      stack->FastPush(left);
   };

   const int leftType = left->DataType();
   const int rightType = right->DataType();

   if ((leftType == ORVA_DT_NULL || rightType == ORVA_DT_NULL) && opCode != OPCODE_EQ && opCode != OPCODE_NE && !isCase)
   {
      fail(ORVA_ERR_NULL_VALUE);
      return;
   }

   const bool textPath = leftType < ORVA_DT_REAL || rightType < ORVA_DT_REAL || opCode == OPCODE_CONCAT ||
                         (opCode >= OPCODE_LIKE && opCode <= OPCODE_IMATCH);
   if (textPath)
   {
      switch (opCode)
      {
         case OPCODE_EQ:
         case OPCODE_NE:
         case OPCODE_CASE:
         {
            int equal = TextEqual(left, right);
            if (opCode == OPCODE_NE)
               equal = !equal;
            if (isCase)
            {
               stack->FastPush(stack->NewValue(static_cast<int32>(equal)));
            }
            else if (leftType >= ORVA_DT_STRING)
            {
               pushTruth(equal);
            }
            else
            {
               stack->Release(left);
               stack->Release(right);
               stack->FastPush(stack->NewValue(static_cast<int32>(equal)));
            }
            return;
         }
         case OPCODE_CONCAT:
         {
            if (leftType == ORVA_DT_OBJECT || rightType == ORVA_DT_OBJECT)
            {
               fail(ORVA_ERR_INVALID_OBJECT_OPERATION);
               return;
            }
            uint32 length = 0;
            const char *text = right->GetValueAsString(&length);
            if (text == nullptr)
            {
               text = "";
               length = 0;
            }
            left->Concatenate(text, length);
            stack->Release(right);
            stack->FastPush(left);
            return;
         }
         case OPCODE_LIKE:
         case OPCODE_ILIKE:
         case OPCODE_MATCH:
         case OPCODE_IMATCH:
         {
            if (leftType < ORVA_DT_STRING || rightType < ORVA_DT_STRING)
            {
               fail(ORVA_ERR_NOT_STRING);
               return;
            }
            if (opCode == OPCODE_LIKE || opCode == OPCODE_ILIKE)
            {
               int matched =
                  MatchString(right->GetValueAsCString(), left->GetValueAsCString(), opCode == OPCODE_LIKE ? 1 : 0);
               pushTruth(matched);
               return;
            }
            ORVA_Value *result = MatchRegexp(left, right, opCode == OPCODE_IMATCH);
            stack->Release(left);
            stack->Release(right);
            if (result != nullptr)
               stack->FastPush(result);
            return;
         }
         default:
            if ((opCode >= OPCODE_ADD && opCode <= OPCODE_REM) || (opCode >= OPCODE_LT && opCode <= OPCODE_RSHIFT))
               fail(ORVA_ERR_BAD_CONVERSION);
            else
               fail(ORVA_ERR_INTERNAL);
            return;
      }
   }

   const int common = CommonType(opCode, leftType, rightType);
   if (common < 0)
   {
      fail(ORVA_ERR_REAL_VALUE);
      return;
   }
   // A case label's constant is converted for good: later tests find it ready.
   if ((leftType != common && !left->Convert(common)) || (rightType != common && !right->Convert(common)))
   {
      fail(ORVA_ERR_TYPE_CAST);
      return;
   }

   switch (opCode)
   {
      case OPCODE_ADD:
         left->Add(right);
         break;
      case OPCODE_SUB:
         left->Sub(right);
         break;
      case OPCODE_MUL:
         left->Mul(right);
         break;
      case OPCODE_DIV:
         left->Div(right);
         break;
      case OPCODE_REM:
         if (right->IsZero())
         {
            fail(ORVA_ERR_DIVIDE_BY_ZERO);
            return;
         }
         // The most negative integer by -1 overflows the machine's division.
         if (common == ORVA_DT_INT32 && right->GetValueAsInt32() == -1)
         {
            left->Set(0);
         }
         else if (common == ORVA_DT_INT64 && right->GetValueAsInt64() == -1)
         {
            stack->Release(left);
            left = stack->NewValue(static_cast<int64>(0));
         }
         else
         {
            left->Rem(right);
         }
         break;
      case OPCODE_BIT_AND:
         left->BitAnd(right);
         break;
      case OPCODE_BIT_OR:
         left->BitOr(right);
         break;
      case OPCODE_BIT_XOR:
         left->BitXor(right);
         break;
      case OPCODE_LSHIFT:
         left->LShift(right->GetValueAsInt32());
         break;
      case OPCODE_RSHIFT:
         left->RShift(right->GetValueAsInt32());
         break;
      case OPCODE_EQ:
         pushTruth(left->EQ(right));
         return;
      case OPCODE_NE:
         pushTruth(!left->EQ(right));
         return;
      case OPCODE_LT:
         pushTruth(left->LT(right));
         return;
      case OPCODE_LE:
         pushTruth(left->LE(right));
         return;
      case OPCODE_GT:
         pushTruth(left->GT(right));
         return;
      case OPCODE_GE:
         pushTruth(left->GE(right));
         return;
      case OPCODE_AND:
         pushTruth(left->IsNonZero() && right->IsNonZero());
         return;
      case OPCODE_OR:
         pushTruth(left->IsNonZero() || right->IsNonZero());
         return;
      case OPCODE_CASE:
         stack->FastPush(stack->NewValue(static_cast<int32>(left->EQ(right))));
         return;
      default:
         fail(ORVA_ERR_INTERNAL);
         return;
   }
   stack->Release(right);
   stack->FastPush(left);
}

void ORVA_Program::DoUnaryOperation(int opCode)
{
   ORVA_Value *value = static_cast<ORVA_Value *>(AsDataStack(m_dataStack)->FastTop());
   if (value == nullptr)
   {
      Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   if (!value->IsNumeric())
   {
      Error(ORVA_ERR_BAD_CONVERSION);
      return;
   }
   switch (opCode)
   {
      case OPCODE_NEG:
         value->Negate();
         break;
      case OPCODE_NOT:
         if (value->IsReal())
            Error(ORVA_ERR_REAL_VALUE);
         else
            value->Set(value->IsZero() ? 1 : 0);
         break;
      case OPCODE_BIT_NOT:
         if (value->IsReal())
            Error(ORVA_ERR_REAL_VALUE);
         else
            value->BitNot();
         break;
      default:
         Error(ORVA_ERR_INTERNAL);
         break;
   }
}

/*
 * The compiled expression for the match instruction at address: the one it
 * compiled last time when the pattern is the same (a script's patterns are
 * mostly literals), else a new one.  Null when the pattern does not compile.
 */
static regex_t *CompiledExpression(ORVA_DataStack *data, uint32 address, const char *pattern, int flags)
{
   auto found = data->expressions.find(address);
   if (found != data->expressions.end())
   {
      CachedExpression *entry = found->second;
      if (entry->flags == flags && entry->pattern == pattern)
         return &entry->compiled;
      regfree(&entry->compiled);
      delete entry;
      data->expressions.erase(found);
   }
   CachedExpression *entry = new CachedExpression();
   entry->pattern = pattern;
   entry->flags = flags;
   if (CompileScriptPattern(&entry->compiled, pattern, flags) != 0)
   {
      delete entry;
      return nullptr;
   }
   data->expressions[address] = entry;
   return &entry->compiled;
}

ORVA_Value *ORVA_Program::MatchRegexp(ORVA_Value *subject, ORVA_Value *pattern, int ignoreCase)
{
   const char *patternText = pattern->GetValueAsCString();
   if (patternText == nullptr)
      patternText = "";
   const int flags = REG_EXTENDED | (ignoreCase ? REG_ICASE : 0);

   // Outside a run there is nowhere to keep the compiled expression.
   regex_t ownExpression;
   regex_t *compiled;
   const bool cached = (m_dataStack != nullptr && m_ip < m_codeSize);
   if (cached)
      compiled = CompiledExpression(static_cast<ORVA_DataStack *>(m_dataStack), m_ip, patternText, flags);
   else
      compiled = (CompileScriptPattern(&ownExpression, patternText, flags) == 0) ? &ownExpression : nullptr;
   if (compiled == nullptr)
   {
      Error(ORVA_ERR_REGEXP_ERROR);
      return nullptr;
   }
   regex_t &expression = *compiled;

   const char *subjectText = subject->GetValueAsCString();
   if (subjectText == nullptr)
      subjectText = "";
   // Groups beyond the expression's own are never filled: ask only for those.
   size_t records = expression.re_nsub + 1;
   if (records > MAX_MATCH_RECORDS)
      records = MAX_MATCH_RECORDS;
   regmatch_t matches[MAX_MATCH_RECORDS];

   ORVA_Value *result;
   if (regexec(&expression, subjectText, records, matches, 0) != 0)
   {
      result = new ORVA_Value(static_cast<int32>(0));
   }
   else
   {
      result = new ORVA_Value(static_cast<int32>(1));
      char name[16];
      for (size_t i = 1; i < records && m_locals != nullptr; i++)
      {
         // The first group that took no part ends the groups handed to the script.
         if (matches[i].rm_so < 0 || matches[i].rm_eo < matches[i].rm_so)
            break;
         ORVA_Value *group = new ORVA_Value(subjectText + matches[i].rm_so,
                                            static_cast<uint32>(matches[i].rm_eo - matches[i].rm_so));
         ORVA_Variable *variable = m_locals->Find(ArgumentName(name, static_cast<uint32>(i)));
         if (variable != nullptr)
            variable->Set(group);
         else
            CreateLocal(static_cast<ORVA_DataStack *>(m_dataStack), m_callDepth, m_locals, name, group);
      }
   }
   if (!cached)
      regfree(&ownExpression);
   return result;
}
