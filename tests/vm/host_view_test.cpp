// What a host sees of a run through the program's protected fields: the
// run keeps its own state and brings the program's view up to date only
// where a host may look, so these tests look from inside host functions.
#include "vm_test_util.h"
#include "vm/engine.h"

#include <gtest/gtest.h>

namespace
{
TestProgram *g_viewed = nullptr;
std::vector<uint32> g_depths;
std::vector<const ORVA_VariableSystem *> g_scopes;

int LookHandler(int, ORVA_Value **, ORVA_Value **)
{
   g_depths.push_back(g_viewed->CallDepth());
   g_scopes.push_back(g_viewed->Locals());
   return 0;
}
}

TEST(HostView, AHostFunctionSeesTheDepthAndScopeOfItsCaller)
{
   for (bool general : {false, true})
   {
      TestProgram p;
      Asm a(&p);
      a.Function("main").Call("look", 0).Pop().Push(5).Call("f", 1).Pop().Call("look", 0).Pop().Push(1).Op(OPCODE_RET);
      a.Function("f").Bind("x").Var("x").Call("g", 1).Op(OPCODE_RET);
      a.Function("g").Bind("y").Call("look", 0).Pop().Var("y").Op(OPCODE_RET);
      p.ResolveFunctions();
      ORVA_Engine::UseGeneralPathsOnly(&p, general);
      g_viewed = &p;
      g_depths.clear();
      g_scopes.clear();
      RunOutcome o = RunProgram(&p, {}, {{"look", LookHandler, 0}});
      EXPECT_EQ(o.rc, 0) << o.error;
      EXPECT_EQ(g_depths, (std::vector<uint32>{0, 2, 0})) << "general paths: " << general;
      ASSERT_EQ(g_scopes.size(), 3u);
      // main's scope is the one the run began with, again after the calls
      // (whose own scopes, if they had any, are gone by then).
      EXPECT_NE(g_scopes[0], nullptr);
      EXPECT_EQ(g_scopes[2], g_scopes[0]);
      // After the run nothing of it is left in view.
      EXPECT_EQ(p.CallDepth(), 0u);
      EXPECT_EQ(p.Locals(), nullptr);
   }
   g_viewed = nullptr;
}

TEST(HostView, OperatorMethodsOutsideARunFailAsBefore)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Push(1).Op(OPCODE_RET);
   p.ResolveFunctions();

   // Nothing to operate on without a run.
   p.DoBinaryOperation(OPCODE_ADD);
   EXPECT_STREQ(p.GetErrorText(), "Error 1 in line 0: Data stack underflow");

   // A match outside a run compiles its pattern for itself and stores no groups.
   ORVA_Value subject("abc");
   ORVA_Value pattern("(b)");
   ORVA_Value *result = p.MatchRegexp(&subject, &pattern, 0);
   ASSERT_NE(result, nullptr);
   EXPECT_EQ(result->GetValueAsInt32(), 1);
   delete result;
   ORVA_Value upper("B");
   result = p.MatchRegexp(&subject, &upper, 1);
   ASSERT_NE(result, nullptr);
   EXPECT_EQ(result->GetValueAsInt32(), 1);
   delete result;
   ORVA_Value broken("(");
   EXPECT_EQ(p.MatchRegexp(&subject, &broken, 0), nullptr);
   EXPECT_STREQ(p.GetErrorText(), "Error 18 in line 0: Invalid regular expression");

   // A run afterwards is not troubled by any of it.
   RunOutcome o = RunProgram(&p);
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.resultText, "1");
}
