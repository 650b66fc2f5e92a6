/*
 * The instruction set's table against the machine: what each row says an
 * instruction takes from the stack and leaves there is what its handler
 * does, with the fast paths and without them.
 */
#include "vm/engine.h"
#include "vm/opcodes.h"
#include "vm/run_state.h"
#include "vm_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace
{
ORVA_Program *s_program;
std::vector<uint32> s_depths;

/* depth(): notes how many values the stack holds, its own arguments gone. */
int DepthHandler(int, ORVA_Value **, ORVA_Value **)
{
   s_depths.push_back(ORVA_Engine::Of(s_program)->Run()->Depth());
   return 0;
}

struct Case
{
   std::function<void(Asm &)> before;     // what the instruction needs, not on the stack
   std::function<void(Asm &)> operands;   // the values it takes, as many as its row says
   std::function<void(TestProgram &, Asm &)> instruction;
};

void Plain(TestProgram &, Asm &a, int opCode)
{
   a.Op(opCode);
}

void SetX(Asm &a)
{
   a.Push(1).Set("x").Pop();
}

/* The instructions that run on to the next one, each with what it needs. */
std::map<int, Case> Cases()
{
   auto none = [](Asm &) {};
   auto two = [](Asm &a) { a.Push(6).Push(3); };
   auto one = [](Asm &a) { a.Push(5); };
   auto texts = [](Asm &a) { a.Push("abc").Push("a"); };
   auto named = [](int opCode) {
      return [opCode](TestProgram &, Asm &a) { a.Named(opCode, "x"); };
   };
   std::map<int, Case> cases;
   for (int opCode = 0; opCode < OPCODE_COUNT; opCode++)
   {
      const OperatorClass kind = OperatorOf(opCode);
      auto op = [opCode](TestProgram &p, Asm &a) { Plain(p, a, opCode); };
      if (kind == OPERATOR_NUMBERS && opCode != OPCODE_CASE)
         cases[opCode] = {none, two, op};
      else if (kind == OPERATOR_TEXTS)
         cases[opCode] = {none, texts, op};
      else if (kind == OPERATOR_UNARY)
         cases[opCode] = {none, one, op};
   }
   cases[OPCODE_NOP] = {none, none, [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_NOP); }};
   cases[OPCODE_CALL_EXTERNAL] = {none, two, [](TestProgram &, Asm &a) { a.Call("rec", 2); }};
   cases[OPCODE_PUSH_CONSTANT] = {none, none, [](TestProgram &, Asm &a) { a.Push(7); }};
   cases[OPCODE_PUSH_VARIABLE] = {SetX, none, named(OPCODE_PUSH_VARIABLE)};
   cases[OPCODE_POP] = {none, two, [](TestProgram &, Asm &a) { a.Pop(2); }};
   cases[OPCODE_SET] = {none, one, named(OPCODE_SET)};
   cases[OPCODE_PRINT] = {none, [](Asm &a) { a.Push(""); }, [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_PRINT); }};
   cases[OPCODE_BIND] = {none, none, named(OPCODE_BIND)};
   for (int step : {OPCODE_INC, OPCODE_DEC, OPCODE_INCP, OPCODE_DECP})
      cases[step] = {SetX, none, named(step)};
   cases[OPCODE_CAST] = {none, one, [](TestProgram &, Asm &a) { a.Count(OPCODE_CAST, ORVA_DT_REAL); }};
   cases[OPCODE_CASE] = {none, one, [](TestProgram &p, Asm &) {
                            p.AddInstruction(new ORVA_Instruction(static_cast<int>(p.CodeSize()) + 1, OPCODE_CASE,
                                                                  new ORVA_Value(5)));
                         }};
   cases[OPCODE_ARRAY] = {none, none, named(OPCODE_ARRAY)};
   auto array = [](Asm &a) { a.Named(OPCODE_ARRAY, "a"); };
   cases[OPCODE_GET_ELEMENT] = {array, [](Asm &a) { a.Var("a").Push(0); },
                                [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_GET_ELEMENT); }};
   cases[OPCODE_SET_ELEMENT] = {array, [](Asm &a) { a.Var("a").Push(0).Push(9); },
                                [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_SET_ELEMENT); }};
   // Language level 2.
   cases[OPCODE_GET_KEYED] = {array, [](Asm &a) { a.Var("a").Push(1); },
                              [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_GET_KEYED); }};
   cases[OPCODE_SET_KEYED] = {array, [](Asm &a) { a.Var("a").Push(1).Push(9); },
                              [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_SET_KEYED); }};
   cases[OPCODE_STEP_KEYED] = {array, [](Asm &a) { a.Var("a").Push(1); },
                               [](TestProgram &, Asm &a) { a.Count(OPCODE_STEP_KEYED, OPCODE_INC); }};
   cases[OPCODE_ITER_START] = {array, [](Asm &a) { a.Var("a"); },
                               [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_ITER_START); }};
   cases[OPCODE_UPDATE_KEYED] = {array, [](Asm &a) { a.Var("a").Push(1).Push(2); },
                                 [](TestProgram &, Asm &a) { a.Count(OPCODE_UPDATE_KEYED, OPCODE_ADD); }};
   cases[OPCODE_UPDATE] = {none, two, [](TestProgram &, Asm &a) { a.Count(OPCODE_UPDATE, OPCODE_ADD); }};
   cases[OPCODE_TRUTH] = {none, one, [](TestProgram &p, Asm &a) { Plain(p, a, OPCODE_TRUTH); }};
   cases[OPCODE_LIST] = {none, two, [](TestProgram &, Asm &a) { a.Count(OPCODE_LIST, 2); }};
   cases[OPCODE_MAP] = {none, two, [](TestProgram &, Asm &a) { a.Count(OPCODE_MAP, 2); }};
   return cases;
}

/* The values taken and left by the instruction of a case, as the stack shows them. */
int StackChange(const Case &c, bool fastPathsOff, std::string *error)
{
   TestProgram p;
   s_program = &p;
   s_depths.clear();
   Asm a(&p);
   a.Function("main");
   c.before(a);
   a.Call("depth", 0).Pop();
   c.operands(a);
   c.instruction(p, a);
   a.Call("depth", 0).Pop().Op(OPCODE_RET_NULL);
   ORVA_Engine::UseGeneralPathsOnly(&p, fastPathsOff);
   RunOutcome o = RunProgram(&p, {}, {{"depth", DepthHandler, 0}});
   *error = o.error;
   return (s_depths.size() == 2) ? static_cast<int>(s_depths[1]) - static_cast<int>(s_depths[0]) : -100;
}
}   // namespace

TEST(Opcodes, StackEffectsAreWhatTheHandlersDo)
{
   const std::map<int, Case> cases = Cases();
   for (int opCode = 0; opCode < OPCODE_COUNT; opCode++)
   {
      const OpcodeProperties &row = PropertiesOf(opCode);
      auto found = cases.find(opCode);
      if (found == cases.end())
      {
         // Only what leaves the function, and REF, which needs a host object, go untried.
         EXPECT_TRUE(row.flow != FLOW_ON || opCode == OPCODE_REFERENCE) << row.listing;
         continue;
      }
      for (bool fastPathsOff : {false, true})
      {
         std::string error;
         // Every operand the row takes was pushed, so what remains is what it leaves.
         EXPECT_EQ(StackChange(found->second, fastPathsOff, &error), row.pushes)
            << row.listing << " (opcode " << opCode << ")" << (fastPathsOff ? " without fast paths " : " ") << error;
         EXPECT_EQ(error, "") << row.listing;
      }
   }
}

TEST(Opcodes, EveryRowNamesWhatItIs)
{
   for (int opCode = 0; opCode < OPCODE_COUNT; opCode++)
   {
      const OpcodeProperties &row = PropertiesOf(opCode);
      EXPECT_NE(std::string(row.listing), "???") << opCode;
      // Operators and jumps are exclusive; a jump's target is its operand.
      EXPECT_FALSE(row.op != OPERATOR_NONE && IsJump(opCode)) << row.listing;
      EXPECT_EQ(row.operand == OPERAND_ADDRESS, IsJump(opCode) || row.flow == FLOW_CALL) << row.listing;
      EXPECT_EQ(row.pops == COUNTED, row.count == COUNT_ARGUMENTS || row.count == COUNT_ITEMS) << row.listing;
   }
   EXPECT_STREQ(OpcodeMnemonic(OPCODE_COUNT), "???");
   EXPECT_STREQ(OpcodeMnemonic(-1), "???");
   EXPECT_EQ(PropertiesOf(OPCODE_COUNT).flow, FLOW_ON);
}
