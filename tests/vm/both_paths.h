// Tests that run each case twice, once with the engine's fast paths and once
// on its general paths alone, which must give the same results, errors and
// lines.  The test parameter is "general paths only".
#ifndef ORVA_TESTS_BOTH_PATHS_H
#define ORVA_TESTS_BOTH_PATHS_H

#include "orva.h"
#include "test_util.h"
#include "vm/engine.h"

#include <gtest/gtest.h>

#include <string>

// The program compiled from source (the test fails when it does not
// compile), set to run on the general paths alone when generalOnly.
inline ORVA_Program *CompileOnPaths(const std::string &source, bool generalOnly)
{
   ORVA_Program *program = orva_test::Compile(source);
   if (program != nullptr)
      ORVA_Engine::UseGeneralPathsOnly(program, generalOnly);
   return program;
}

class BothPaths : public ::testing::TestWithParam<bool>
{
protected:
   ORVA_Program *Prepared(const std::string &source) const { return CompileOnPaths(source, GetParam()); }
};

#endif
