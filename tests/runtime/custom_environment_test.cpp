// A host's own environment: UseModule overridden to find module files
// elsewhere, as docs/embedding.md shows it, and the derived class destroyed
// whole by Run.
#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{

// The sample of docs/embedding.md, with a counter of destroyed instances.
class PathEnvironment : public ORVA_Environment
{
public:
   PathEnvironment(std::vector<std::string> dirs, std::string *error, int *destroyed)
      : m_dirs(std::move(dirs)), m_error(error), m_destroyed(destroyed)
   {
   }
   ~PathEnvironment() override { ++*m_destroyed; }

   int UseModule(ORVA_Program *main, const char *name) override
   {
      if (m_library != nullptr)
         if (ORVA_Program *script = m_library->FindScript(name))
         {
            main->UseModule(script, name);
            return 1;
         }
      for (const std::string &dir : m_dirs)
      {
         uint32 size = 0;
         char *text = ORVALoadFile((dir + "/" + name + ".orva").c_str(), &size);
         if (text == nullptr)
            continue;
         char error[1024];
         ORVA_Program *module = ORVACompile(text, error, sizeof(error));
         free(text);
         if (module == nullptr)
         {
            *m_error = dir + "/" + name + ".orva: " + error;
            return 0;
         }
         main->UseModule(module, name);
         delete module;
         return 1;
      }
      *m_error = std::string("no module ") + name;
      return 0;
   }

private:
   std::vector<std::string> m_dirs;
   std::string *m_error;
   int *m_destroyed;
};

class CustomEnvironment : public ::testing::Test
{
protected:
   std::filesystem::path m_dir;
   void SetUp() override
   {
      m_dir = orva_test::MakeScratchDir("orva-env-test-");
      ASSERT_FALSE(m_dir.empty());
      std::filesystem::create_directories(m_dir / "a");
      std::filesystem::create_directories(m_dir / "b");
   }
   void TearDown() override
   {
      std::error_code ec;
      std::filesystem::remove_all(m_dir, ec);
   }
   void Write(const std::string &name, const std::string &text)
   {
      std::ofstream(m_dir / name) << text;
   }
};

TEST_F(CustomEnvironment, FindsModulesWhereTheHostSaysAndIsDestroyedWhole)
{
   Write("b/util.orva", "sub twice(x) { return x * 2; }\n");
   Write("b/broken.orva", "sub f( {\n");
   std::unique_ptr<ORVA_Program> program(ORVACompile("use util;\nsub main() { return twice(21); }\n", nullptr, 0));
   ASSERT_TRUE(program);

   std::string error;
   int destroyed = 0;
   std::vector<std::string> dirs = {(m_dir / "a").string(), (m_dir / "b").string()};
   ASSERT_EQ(program->Run(new PathEnvironment(dirs, &error, &destroyed), 0, nullptr, nullptr, nullptr), 0);
   EXPECT_EQ(program->GetResult()->GetValueAsInt32(), 42);
   EXPECT_EQ(destroyed, 1);
   EXPECT_EQ(error, "");

   // The library still comes first when the host keeps that order.
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "UTIL", ORVACompile("sub twice(x) { return x * 3; }", nullptr, 0)), 1);
   ORVA_Environment *env = new PathEnvironment(dirs, &error, &destroyed);
   env->SetLibrary(&library);
   ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0);
   EXPECT_EQ(program->GetResult()->GetValueAsInt32(), 63);
   EXPECT_EQ(destroyed, 2);

   std::unique_ptr<ORVA_Program> broken(ORVACompile("use broken;\nsub main() { }\n", nullptr, 0));
   EXPECT_EQ(broken->Run(new PathEnvironment(dirs, &error, &destroyed), 0, nullptr, nullptr, nullptr), -1);
   EXPECT_STREQ(broken->GetErrorText(), "Error 16 in line 0: Requested module not found or cannot be loaded");
   EXPECT_EQ(error, (m_dir / "b").string() + "/broken.orva: Error in line 1: syntax error, unexpected '{', expecting "
                                              "T_IDENTIFIER or ')'");
   EXPECT_EQ(destroyed, 3);
}

}
