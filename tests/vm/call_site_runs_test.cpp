// Call sites by name remember the host function they found for the rest of
// their run only: the next run may bring another environment whose table
// lands where the old one was, with the same length and the functions in
// another order.
#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace
{

int One(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value("one");
   return 0;
}

int Two(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value("two");
   return 0;
}

ORVA_Environment *EnvironmentOf(ORVA_ExtHandler first, ORVA_ExtHandler second, bool swapped)
{
   ORVA_ExtFunction set[2] = {{"f", first, 0}, {"g", second, 0}};
   if (swapped)
      std::swap(set[0], set[1]);
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(2, set);
   return env;
}

}   // namespace

TEST(CallSites, EachRunFindsItsOwnEnvironmentsFunctions)
{
   std::unique_ptr<ORVA_Program> program(orva_test::Compile("sub main() { return f() . g(); }\n"));
   ASSERT_NE(program, nullptr);
   const struct
   {
      ORVA_ExtHandler f, g;
      bool swapped;
      const char *expected;
   } runs[] = {
      {One, Two, false, "onetwo"}, {Two, One, true, "twoone"}, {One, One, true, "oneone"}, {Two, Two, false, "twotwo"},
   };
   for (int round = 0; round < 2; round++)
      for (const auto &run : runs)
      {
         ASSERT_EQ(program->Run(EnvironmentOf(run.f, run.g, run.swapped), 0, nullptr, nullptr, nullptr), 0)
            << program->GetErrorText();
         EXPECT_STREQ(program->GetResult()->GetValueAsCString(), run.expected);
      }
}
