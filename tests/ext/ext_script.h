// Running a script's main function with the opt-in extension functions, the
// way the extension tests all do.
#ifndef ORVA_TESTS_EXT_SCRIPT_H
#define ORVA_TESTS_EXT_SCRIPT_H

#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

// Runs "sub main() { BODY }" with the extension sets; global (when not
// null) is the global variable h, and instructions (when not 0) the
// instruction limit.  What the run printed, or "!" and the error text.
inline std::string RunExtScript(const std::string &body, uint32 sets, ORVA_Value *global = nullptr,
                                uint64 instructions = 0)
{
   std::unique_ptr<ORVA_Value> h(global);
   std::string source = orva_test::MainOf(body);
   char error[512] = "";
   std::unique_ptr<ORVA_Program> program(ORVACompile(source.c_str(), error, sizeof(error)));
   if (!program)
      return std::string("!compile: ") + error;
   if (h)
      program->SetGlobalVariable("h", h.release());
   FILE *out = tmpfile();
   ORVA_Environment *env = new ORVA_Environment();   // the program's from the run on
   env->SetIO(nullptr, out);
   if (instructions != 0)
      env->SetInstructionLimit(instructions);
   EXPECT_EQ(ORVARegisterExtensions(env, sets), 1);
   const int rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   std::string text = orva_test::ReadAll(out);
   fclose(out);
   if (rc != 0)
      return "!" + std::string(program->GetErrorText());
   return text;
}

#endif
