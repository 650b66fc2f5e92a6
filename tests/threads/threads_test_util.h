// Helpers of the thread tests: compiling, and a run's outcome as one text.
#ifndef ORVA_THREADS_TEST_UTIL_H
#define ORVA_THREADS_TEST_UTIL_H

#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string>

using orva_test::Compile;

// Runs main with the environment and one argument (both taken over); the
// result as text, or the error text prefixed with "!".
inline std::string RunMain(ORVA_Program *program, ORVA_Environment *env, ORVA_Value *argument)
{
   ORVA_Value **argv = new ORVA_Value *[1]{argument};
   const int rc = program->Run(env, 1, argv, nullptr, nullptr);
   delete[] argv;
   if (rc != 0)
      return std::string("!") + (program->GetErrorText() != nullptr ? program->GetErrorText() : "");
   ORVA_Value *result = program->GetResult();
   const char *text = result != nullptr ? result->GetValueAsCString() : nullptr;
   return text != nullptr ? text : "<none>";
}

#endif
