// Module loading from the script library and from files, and built-ins
// reached through compiled scripts.
#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

using orva_test::Compile;

// Runs main with the environment (or none) and returns the result as text,
// or the error text prefixed with "!".
std::string RunMain(ORVA_Program *program, ORVA_Environment *env)
{
   if (program == nullptr)
      return "<no program>";
   if (program->Run(env, 0, nullptr, nullptr, nullptr) != 0)
      return std::string("!") + (program->GetErrorText() ? program->GetErrorText() : "");
   ORVA_Value *result = program->GetResult();
   if (result == nullptr)
      return "<no result>";
   const char *text = result->GetValueAsCString();
   return text != nullptr ? text : "<null>";
}

ORVA_Environment *EnvWith(ORVA_Library *library)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->SetLibrary(library);
   return env;
}

const char kMathSource[] = "sub square(x) { return x * x; }\n"
                           "sub cube(x) { return square(x) * x; }\n";

// Each test works in a fresh temporary directory that holds the module files.
class ModuleTest : public ::testing::Test
{
protected:
   void SetUp() override
   {
      m_oldDir = std::filesystem::current_path().string();
      m_dir = orva_test::MakeScratchDir("orva_modules_").string();
      ASSERT_FALSE(m_dir.empty());
      ASSERT_EQ(chdir(m_dir.c_str()), 0);
   }
   void TearDown() override
   {
      EXPECT_EQ(chdir(m_oldDir.c_str()), 0);
      std::filesystem::remove_all(m_dir);
   }
   void WriteModule(const std::string &name, const std::string &source)
   {
      std::ofstream(name + ".orva") << source;
   }

   std::string m_oldDir, m_dir;
};

}

TEST_F(ModuleTest, LibraryModulesComeFirstAndNeedNoFile)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "MathLib", Compile(kMathSource)), 1);
   WriteModule("mathlib", "sub cube(x) { return 0; }\n");   // must not be read

   ORVA_Program *program = Compile("use mathlib; use MATHLIB;\n"
                                   "sub main() { return cube(3) . \",\" . square(4); }\n");
   EXPECT_EQ(RunMain(program, EnvWith(&library)), "27,16");
   // The library keeps its script; a second run links it afresh.
   ASSERT_NE(library.FindScript("mathlib"), nullptr);
   EXPECT_EQ(RunMain(program, EnvWith(&library)), "27,16");
   delete program;
}

TEST_F(ModuleTest, FilesAreReadWhenTheLibraryHasNoProgram)
{
   WriteModule("tools", "sub twice(x) { return x * 2; }\n");
   ORVA_Program *program = Compile("use tools;\nsub main() { return twice(21); }\n");
   // No environment: the default one reads module files only.
   EXPECT_EQ(RunMain(program, nullptr), "42");

   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "TOOLS", nullptr), 1);
   EXPECT_EQ(RunMain(program, EnvWith(&library)), "42");
   delete program;
}

TEST_F(ModuleTest, MissingOrBrokenModulesStopTheRunBeforeMain)
{
   WriteModule("broken", "sub oops( { }\n");
   ORVA_Program *broken = Compile("use broken;\nsub main() { return 1; }\n");
   EXPECT_EQ(RunMain(broken, nullptr), "!Error 16 in line 0: Requested module not found or cannot be loaded");
   delete broken;

   ORVA_Program *missing = Compile("use nowhere;\nsub main() { return 1; }\n");
   EXPECT_EQ(RunMain(missing, nullptr), "!Error 16 in line 0: Requested module not found or cannot be loaded");
   delete missing;
}

TEST_F(ModuleTest, FileNamesMustFitTheirBuffer)
{
   // 250 characters plus ".orva" is the longest name a file system holds.
   std::string fits(250, 'm');
   WriteModule(fits, "sub longest() { return 7; }\n");
   ORVA_Program *program = Compile("sub main() { return 1; }\n");
   ORVA_Environment env;
   EXPECT_EQ(env.UseModule(program, fits.c_str()), 1);

   // Names whose file name needs more than 260 bytes cannot be loaded.
   for (size_t length : { 255u, 256u, 1000u })
   {
      std::string tooLong(length, 'm');
      EXPECT_EQ(env.UseModule(program, tooLong.c_str()), 0) << length;
   }
   EXPECT_EQ(env.UseModule(program, "absent"), 0);
   EXPECT_EQ(env.UseModule(program, nullptr), 0);
   delete program;

   std::string source = "use " + std::string(300, 'q') + ";\nsub main() { return 1; }\n";
   ORVA_Program *longUse = Compile(source.c_str());
   EXPECT_EQ(RunMain(longUse, nullptr), "!Error 16 in line 0: Requested module not found or cannot be loaded");
   delete longUse;
}

TEST(ScriptBuiltins, TimeObjectsCopiedByScripts)
{
   // Copies in variables and arrays share one TIME data block (ASan: freed once).
   ORVA_Program *program = Compile("sub main() { t = gmtime(1700000000); u = t; array a; a[1] = u;\n"
                                   "   return a[1]->year . \"/\" . u->mon . \"/\" . classof(t); }\n");
   EXPECT_EQ(RunMain(program, nullptr), "2023/10/TIME");
   delete program;

   ORVA_Program *capitals = Compile("sub main() { t = gmtime(0); return t->YEAR; }\n");
   EXPECT_EQ(RunMain(capitals, nullptr), "!Error 15 in line 1: Unknown object's attribute");
   delete capitals;
}
