// The parts of a run's error that hosts read instead of its text: code,
// line, message and, for a call that failed, the name it called.
#include "vm_test_util.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

int Refuses(int, ORVA_Value **, ORVA_Value **)
{
   ORVA_SetErrorMessage("the disk is not mounted");
   return ORVA_ERR_NOT_STRING;
}

std::unique_ptr<ORVA_Program> Compiled(const char *source)
{
   char error[256];
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   EXPECT_NE(program, nullptr) << error;
   return std::unique_ptr<ORVA_Program>(program);
}

int RunIt(ORVA_Program *program, ORVA_Environment *env = nullptr)
{
   return program->Run(env, 0, nullptr, nullptr, nullptr);
}

TEST(ErrorParts, ACallOfAMissingFunctionNamesItAndItsArguments)
{
   auto program = Compiled("sub main()\n{\n   x = 1;\n   return lenght(\"abc\", x);\n}\n");
   ASSERT_EQ(RunIt(program.get()), -1);
   EXPECT_STREQ(program->GetErrorText(), "Error 11 in line 4: Function not found");
   EXPECT_EQ(program->GetErrorCode(), ORVA_ERR_NO_FUNCTION);
   EXPECT_EQ(program->GetErrorLine(), 4);
   EXPECT_STREQ(program->GetErrorMessage(), "Function not found");
   EXPECT_STREQ(program->GetErrorFunction(), "lenght");
   EXPECT_EQ(program->GetErrorArgumentCount(), 2);
}

TEST(ErrorParts, AFunctionThatRefusesItsCountIsNamed)
{
   // Fixed counts are checked by the machine, ranges by the function.
   for (const char *source : {"sub main() { return length(1, 2, 3); }", "sub main() { return substr(\"a\"); }"})
   {
      auto program = Compiled(source);
      ASSERT_EQ(RunIt(program.get()), -1);
      EXPECT_EQ(program->GetErrorCode(), ORVA_ERR_INVALID_ARGUMENT_COUNT) << source;
      EXPECT_STREQ(program->GetErrorMessage(), "Invalid number of function's arguments");
      EXPECT_STREQ(program->GetErrorFunction(), strstr(source, "length") ? "length" : "substr");
      EXPECT_EQ(program->GetErrorArgumentCount(), strstr(source, "length") ? 3 : 1);
   }
}

TEST(ErrorParts, OtherErrorsStopsAndSuccessesLeaveNoName)
{
   auto program = Compiled("sub main()\n{\n   return NULL + 1;\n}\n");
   ASSERT_EQ(RunIt(program.get()), -1);
   EXPECT_EQ(program->GetErrorCode(), ORVA_ERR_NULL_VALUE);
   EXPECT_EQ(program->GetErrorLine(), 3);
   EXPECT_STREQ(program->GetErrorFunction(), "");
   EXPECT_EQ(program->GetErrorArgumentCount(), -1);

   // Before main starts there is no line.
   auto missing = Compiled("sub other() { }");
   ASSERT_EQ(RunIt(missing.get()), -1);
   EXPECT_EQ(missing->GetErrorCode(), ORVA_ERR_NO_MAIN);
   EXPECT_EQ(missing->GetErrorLine(), 0);
   EXPECT_STREQ(missing->GetErrorMessage(), "main() function not presented");

   auto loop = Compiled("sub main() { while (1) { } }");
   ORVA_Environment *env = new ORVA_Environment();
   env->SetInstructionLimit(1000);
   ASSERT_EQ(RunIt(loop.get(), env), -1);
   EXPECT_EQ(loop->GetErrorCode(), 0);
   EXPECT_EQ(loop->GetErrorLine(), 1);
   EXPECT_STREQ(loop->GetErrorMessage(), "Instruction limit reached");

   // A host's own words replace the message; the code and line stay.
   auto host = Compiled("sub main()\n{\n   check();\n}\n");
   ORVA_Environment *hostEnv = new ORVA_Environment();
   ORVA_ExtFunction check = {"check", Refuses, 0};
   hostEnv->RegisterFunctionSet(1, &check);
   ASSERT_EQ(RunIt(host.get(), hostEnv), -1);
   EXPECT_EQ(host->GetErrorCode(), ORVA_ERR_NOT_STRING);
   EXPECT_EQ(host->GetErrorLine(), 3);
   EXPECT_STREQ(host->GetErrorMessage(), "the disk is not mounted");

   // A later successful run clears the parts.
   auto fine = Compiled("sub main() { return f(); }\nsub f() { return 1; }\n");
   ASSERT_EQ(RunIt(program.get()), -1);
   ASSERT_EQ(RunIt(fine.get()), 0);
   EXPECT_EQ(fine->GetErrorCode(), 0);
   EXPECT_STREQ(fine->GetErrorMessage(), "");
}

}
