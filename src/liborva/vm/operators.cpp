/*
 * Operator dispatch: which operand types an operator accepts, promotion of
 * two numbers to a common type, text comparison and the pattern operators.
 * The loop calls the engine's functions with what its operation holds; the
 * program's methods of the same work forward to them.
 */
#include "vm/engine.h"
#include "vm/opcodes.h"
#include "values/value_access.h"
#include "support/pattern_budget.h"
#include "support/regex_cost.h"
#include "support/memory.h"
#include "support/support.h"
#include "values/numeric.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <regex.h>

/* Most groups of one match that are stored as $1, $2, ... (record 0 is the whole match). */
static const size_t MAX_MATCH_RECORDS = 256;

typedef ORVA_EngineAccess Access;

/* Equality outside the numeric path: same text, byte for byte; null equals only null. */
static int TextEqual(ORVA_Value *left, ORVA_Value *right)
{
   if (left->IsNull() || right->IsNull())
      return left->IsNull() && right->IsNull();
   uint32 leftLength = 0, rightLength = 0;
   const char *leftText = Access::ReadText(left, &leftLength);
   const char *rightText = Access::ReadText(right, &rightLength);
   if (leftText == nullptr)
      leftLength = 0;
   if (rightText == nullptr)
      rightLength = 0;
   if (leftLength != rightLength)
      return 0;
   ChargeWork(leftLength);
   return leftLength == 0 || memcmp(leftText, rightText, leftLength) == 0;
}

void ORVA_Engine::BinaryOperation(int opCode, ORVA_Value *caseLabel)
{
   ORVA_RunState *run = m_run;
   ORVA_ValuePool &pool = run->pool;
   const bool isCase = (opCode == OPCODE_CASE);
   ORVA_Value *left;
   ORVA_Value *right;

   if (isCase)
   {
      // The label's constant against the switch value, which stays for the next label.
      left = caseLabel;
      right = run->Peek();
      if (left == nullptr || right == nullptr)
      {
         Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
         return;
      }
   }
   else
   {
      right = run->Pop();
      left = run->Pop();
      if (left == nullptr || right == nullptr)
      {
         pool.Release(left);
         pool.Release(right);
         Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
         return;
      }
   }

   // Operands popped by the failing operation go with it; a case test owns none.
   auto fail = [&](int code) {
      if (!isCase)
      {
         pool.Release(left);
         pool.Release(right);
      }
      Fail(code);
   };
   // A result of 1 or 0 takes the place of the left operand, which is numeric
   // or text here and so changes type without anything to release.
   auto pushTruth = [&](int truth) {
      pool.Release(right);
      left->Set(truth ? 1 : 0);
      run->Push(left);
   };

   const int leftType = left->DataType();
   const int rightType = right->DataType();

   if ((leftType == ORVA_DT_NULL || rightType == ORVA_DT_NULL) && opCode != OPCODE_EQ && opCode != OPCODE_NE && !isCase)
   {
      fail(ORVA_ERR_NULL_VALUE);
      return;
   }

   const bool textPath =
      leftType < ORVA_DT_REAL || rightType < ORVA_DT_REAL || OperatorOf(opCode) == OPERATOR_TEXTS;
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
               run->Push(pool.Number(ORVA_DT_INT32, NumberFromUInt32(equal ? 1 : 0)));
            }
            else if (leftType >= ORVA_DT_STRING)
            {
               pushTruth(equal);
            }
            else
            {
               pool.Release(left);
               pool.Release(right);
               run->Push(pool.Number(ORVA_DT_INT32, NumberFromUInt32(equal ? 1 : 0)));
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
            const char *text = Access::ReadText(right, &length);
            if (text == nullptr)
            {
               text = "";
               length = 0;
            }
            left->Concatenate(text, length);
            pool.Release(right);
            run->Push(left);
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
               uint32 subjectLength = 0, patternLength = 0;
               Access::ReadText(left, &subjectLength);
               Access::ReadText(right, &patternLength);
               // Each '*' may send the matcher back over the subject.
               const uint64 worst = static_cast<uint64>(subjectLength) * (patternLength + 1) / WORK_BYTES_PER_UNIT;
               int matched = 0;
               if (ChargeUninterruptible(worst, worst, "the match"))
                  matched =
                     MatchString(Access::ReadText(right, nullptr), Access::ReadText(left, nullptr), opCode == OPCODE_LIKE ? 1 : 0);
               pushTruth(matched);
               return;
            }
            ORVA_Value *result;
            try
            {
               result = MatchRegexp(left, right, opCode == OPCODE_IMATCH, m_program->m_ip);
            }
            catch (const std::bad_alloc &)
            {
               MemoryExhausted();
               fail(ORVA_ERR_INTERNAL);   // words the refusal: "Out of memory"
               return;
            }
            pool.Release(left);
            pool.Release(right);
            if (result != nullptr)
               run->Push(result);
            return;
         }
         default:
            if (OperatorOf(opCode) == OPERATOR_NUMBERS)
               fail(ORVA_ERR_BAD_CONVERSION);
            else
               fail(ORVA_ERR_INTERNAL);
            return;
      }
   }

   const int common = NumCommonType(opCode, leftType, rightType);
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
   if (isCase)
   {
      const bool equal = NumCompare<OPCODE_EQ>(common, Access::Number(left), Access::Number(right));
      run->Push(pool.Number(ORVA_DT_INT32, NumberFromUInt32(equal ? 1 : 0)));
      return;
   }

   int resultType;
   ORVA_Number result;
   const int code = NumOperateRuntime(opCode, common, Access::Number(left), Access::Number(right), &resultType, &result);
   if (code != 0)
   {
      fail(code);
      return;
   }
   // The result takes the place of the left operand, a number here.
   Access::SetNumber(left, resultType, result);
   pool.Release(right);
   run->Push(left);
}

void ORVA_Engine::UnaryOperation(int opCode)
{
   ORVA_Value *value = m_run->Peek();
   if (value == nullptr)
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   if (!value->IsNumeric())
   {
      Fail(ORVA_ERR_BAD_CONVERSION);
      return;
   }
   switch (opCode)
   {
      case OPCODE_NEG:
         value->Negate();
         break;
      case OPCODE_NOT:
         if (value->IsReal())
            Fail(ORVA_ERR_REAL_VALUE);
         else
            value->Set(value->IsZero() ? 1 : 0);
         break;
      case OPCODE_BIT_NOT:
         if (value->IsReal())
            Fail(ORVA_ERR_REAL_VALUE);
         else
            value->BitNot();
         break;
      default:
         Fail(ORVA_ERR_INTERNAL);
         break;
   }
}

/*
 * regcomp for a script's pattern, the run charged first for the compiler's
 * work, so that a loop compiling patterns over and over is bounded like any
 * other: 0, a REG_* code, or COMPILE_STOPPED when the run has stopped.
 */
static const int COMPILE_STOPPED = -1;

static int CompileCharged(regex_t *expression, const char *pattern, int flags)
{
   double bytes = 0;
   const double work = EstimatePatternWork(pattern, &bytes);
   // Measured: about half a unit a node built or set entry found, and a
   // unit for every 3 bytes the compiler takes.  Beyond the budget (an
   // infinite estimate) CompileScriptPattern refuses without compiling.
   if (std::isfinite(work))
   {
      const uint64 units = static_cast<uint64>(work / 2 + bytes / 3);
      if (!ChargeUninterruptible(units, units, "compiling the pattern"))
         return COMPILE_STOPPED;
   }
   return CompileScriptPattern(expression, pattern, flags);
}

/*
 * The compiled expression for the match instruction at address: the one it
 * compiled before, in this run or an earlier one, when the pattern is the
 * same (a script's patterns are mostly literals), else a new one.  Null
 * when the pattern does not compile or the run has stopped (*stopped then).
 */
static ORVA_CachedExpression *CompiledExpression(ORVA_PatternCache &cache, uint32 address, const char *pattern,
                                                 int flags, bool *stopped)
{
   ORVA_CachedExpression *found = cache.Find(address, pattern, flags);
   if (found != nullptr)
      return found;
   // What the compiled form takes is the compiler's own business; its
   // estimate is what the run is charged while the pattern is kept.
   const double estimate = EstimatePatternBytes(pattern);
   const size_t bytes = (estimate < PATTERN_BUDGET_BYTES) ? static_cast<size_t>(estimate) : 0;
   if (!MemoryCharge(bytes))
      return nullptr;
   ORVA_CachedExpression *entry = nullptr;
   bool compiled = false;
   try
   {
      entry = new ORVA_CachedExpression();
      entry->pattern = pattern;
      entry->flags = flags;
      entry->charged = bytes;
      entry->bytes = static_cast<double>(bytes);
      entry->shape = MeasureRegex(pattern);
      const int code = CompileCharged(&entry->compiled, pattern, flags);
      compiled = code == 0;
      if (compiled)
      {
#if !defined(ORVA_NO_FAST_PATHS)
         entry->fast = cache.Program(pattern, flags, entry->compiled.re_nsub);
#endif
         cache.Keep(address, entry);
         return entry;
      }
      *stopped = code == COMPILE_STOPPED;
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();   // the match fails, and the run stops for memory
      *stopped = true;
   }
   if (compiled)
      regfree(&entry->compiled);
   MemoryCredit(bytes);
   delete entry;
   return nullptr;
}

/*
 * What a match costs as a rule, in units of the instruction budget: the
 * system's matcher walks the subject once for each part of the pattern.
 */
static uint64 MatchCost(uint64 subjectLength, const char *pattern)
{
   return subjectLength * (1 + strlen(pattern) / 8) / WORK_BYTES_PER_UNIT;
}

static uint64 ToUnits(double units)
{
   return (units >= 1.8e19) ? UINT64_MAX : static_cast<uint64>(units);
}

/*
 * Weighs a match before it starts, as nothing interrupts it.  At worst the
 * matcher scans from every start as far as the pattern reaches, making a
 * DFA state at every step until it has all the pattern can have
 * (regex_cost.h); with a group to track it may go over the subject again
 * from every start (its square), and back-references make it try every
 * way to split the subject (its cube, measured: 800 bytes take seconds).
 * The states stay in the compiled expression for later matches, so the run
 * holds them: when they would not fit under the ceiling the expression is
 * compiled afresh, without them.  False when the run has stopped.
 */
static bool WeighMatch(ORVA_PatternCache *cache, uint32 address, ORVA_CachedExpression *entry,
                       const ORVA_RegexShape &shape, const char *subject, uint64 length, const char *pattern,
                       size_t groups, int flags)
{
   const double n = static_cast<double>(length) + 1;
   const double starts = RegexStarts(shape, subject, length, (flags & REG_ICASE) != 0);
   double steps = RegexSteps(shape, starts, length) * (groups > 0 ? 2 : 1);   // a test, then the groups
   const double made = (entry != nullptr) ? entry->dfaStates : 0;
   double states = std::min(steps, std::max(0.0, shape.states - made));
   double worst = steps + states * RegexStateUnits(shape);
   if (shape.backReference)
      worst = std::max(worst, n * n * n);
   else if (groups > 0 && !shape.anchored)
      worst = std::max(worst, n * n);
   if (!ChargeUninterruptible(ToUnits(worst), MatchCost(length, pattern), "the match"))
      return false;
   if (entry == nullptr || states <= 0)
      return true;

   const double stateBytes = RegexStateBytes(shape);
   double bytes = states * stateBytes;
   if (bytes > static_cast<double>(MemoryRoom()) && entry->dfaStates > 0)
   {
      // What earlier runs made is freed too, but only what this run was
      // charged for comes back to it.
      regfree(&entry->compiled);
      cache->Account(address, entry, -entry->dfaStates * stateBytes);
      entry->dfaStates = 0;
      if (CompileCharged(&entry->compiled, pattern, entry->flags) != 0)
      {
         // Compiled once, the pattern fails now only for want of memory
         // or time, and the run stops for it.  (It was freed above.)
         entry->live = false;
         cache->Drop(address);
         if (!MemoryRefused())
            StopCurrentRun(ORVA_STOP_MEMORY);
         return false;
      }
      states = std::min(steps, shape.states);
      bytes = states * stateBytes;
   }
   if (bytes > static_cast<double>(MemoryRoom()))
   {
      StopRefusedWork(ORVA_STOP_MEMORY, "the match");
      return false;
   }
   MemoryCharge(static_cast<size_t>(bytes));
   cache->Account(address, entry, static_cast<double>(static_cast<size_t>(bytes)));
   entry->dfaStates += states;
   return true;
}

/*
 * A match of subject against pattern for the match instruction at address:
 * within a run (engine not null) its compiled expression is kept and its
 * groups go to $1, $2, ...; outside one (or at no instruction) the
 * expression is compiled for this match alone.
 */
static ORVA_Value *MatchWithin(ORVA_Engine *engine, ORVA_Program *program, ORVA_Value *subject, ORVA_Value *pattern,
                               bool ignoreCase, uint32 address)
{
   const char *patternText = Access::ReadText(pattern, nullptr);
   if (patternText == nullptr)
      patternText = "";
   const int flags = REG_EXTENDED | (ignoreCase ? REG_ICASE : 0);

   // Outside a run there is nowhere to keep the compiled expression.
   regex_t ownExpression;
   regex_t *compiled = nullptr;
   ORVA_CachedExpression *entry = nullptr;
   ORVA_RunState *run = (engine != nullptr) ? engine->Run() : nullptr;
   ORVA_PatternCache *cache = (run != nullptr) ? &engine->Patterns() : nullptr;
   const bool cached = (run != nullptr && address < program->CodeSize());
   if (cached)
   {
      bool stopped = false;
      entry = CompiledExpression(*cache, address, patternText, flags, &stopped);
      if (stopped)
         return nullptr;   // the run has stopped
      compiled = (entry != nullptr) ? &entry->compiled : nullptr;
   }
   else
   {
      const int code = CompileCharged(&ownExpression, patternText, flags);
      if (code == COMPILE_STOPPED)
         return nullptr;
      compiled = (code == 0) ? &ownExpression : nullptr;
   }
   if (compiled == nullptr)
   {
      ORVA_Engine::RecordError(program, ORVA_ERR_REGEXP_ERROR);
      return nullptr;
   }

   uint32 subjectLength = 0;
   const char *subjectText = Access::ReadText(subject, &subjectLength);
   if (subjectText == nullptr)
   {
      subjectText = "";
      subjectLength = 0;
   }
   const size_t groups = compiled->re_nsub;
   const ORVA_RegexShape shape = (entry != nullptr) ? entry->shape : MeasureRegex(patternText);
   if (!WeighMatch(cache, address, entry, shape, subjectText, subjectLength, patternText, groups, flags))
   {
      if (!cached)
         regfree(&ownExpression);
      return nullptr;   // the run has stopped
   }
   // WeighMatch may have compiled the expression afresh.
   regex_t &expression = *compiled;
   ORVA_MatchHistory *history = (entry != nullptr) ? &entry->history : nullptr;
   // Groups beyond the expression's own are never filled: ask only for those.
   size_t records = expression.re_nsub + 1;
   if (records > MAX_MATCH_RECORDS)
      records = MAX_MATCH_RECORDS;
   regmatch_t matches[MAX_MATCH_RECORDS];

   ORVA_Value *result;
   const ORVA_RegexProgram *fast = (entry != nullptr) ? entry->fast.get() : nullptr;
   if (MatchExpression(&expression, fast, subjectText, records, matches, history) != 0)
   {
      result = new ORVA_Value(static_cast<int32>(0));
   }
   else
   {
      result = new ORVA_Value(static_cast<int32>(1));
      char name[16];
      for (size_t i = 1; i < records && run != nullptr; i++)
      {
         // The first group that took no part ends the groups handed to the script.
         if (matches[i].rm_so < 0 || matches[i].rm_eo < matches[i].rm_so)
            break;
         ORVA_Value *group = new ORVA_Value(subjectText + matches[i].rm_so,
                                            static_cast<uint32>(matches[i].rm_eo - matches[i].rm_so));
         try
         {
            engine->StoreLocal(ArgumentName(name, static_cast<uint32>(i)), group);
         }
         catch (const std::bad_alloc &)
         {
            // Finding the local's home may allocate; without memory the
            // group goes, and the run stops.
            delete group;
            MemoryExhausted();
            break;
         }
      }
   }
   if (!cached)
      regfree(&ownExpression);
   return result;
}

ORVA_Value *ORVA_Engine::MatchRegexp(ORVA_Value *subject, ORVA_Value *pattern, bool ignoreCase, uint32 address)
{
   return MatchWithin(this, m_program, subject, pattern, ignoreCase, address);
}

/*
 * The program's own operator methods, for a host that drives a run by
 * hand: the engine does the work, and CASE finds its label in the public
 * instruction at m_ip.
 */
void ORVA_Program::DoBinaryOperation(int opCode)
{
   if (m_body->engine == nullptr || !m_body->engine->Running())
   {
      Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   ORVA_Value *label = nullptr;
   if (opCode == OPCODE_CASE)
   {
      ORVA_Instruction *instruction = (m_ip < m_codeSize) ? m_instructions[m_ip] : nullptr;
      label = (instruction != nullptr && instruction->m_opCode == OPCODE_CASE) ? instruction->m_operand.constant : nullptr;
   }
   m_body->engine->BinaryOperation(opCode, label);
}

void ORVA_Program::DoUnaryOperation(int opCode)
{
   if (m_body->engine == nullptr || !m_body->engine->Running())
   {
      Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   m_body->engine->UnaryOperation(opCode);
}

ORVA_Value *ORVA_Program::MatchRegexp(ORVA_Value *subject, ORVA_Value *pattern, int ignoreCase)
{
   ORVA_Engine *engine = (m_body->engine != nullptr && m_body->engine->Running()) ? m_body->engine : nullptr;
   return MatchWithin(engine, this, subject, pattern, ignoreCase != 0, m_ip);
}
