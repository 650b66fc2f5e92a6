/*
 * Script-level tests: every tests/scripts/cases/NAME.orva is compiled and run
 * as a host would run it (those in tests/scripts/level2 at language level 2), and its printed output and outcome are compared
 * with what the script's header says.  The shipped examples/NAME.orva run the
 * same way, with their output in tests/scripts/examples/NAME.expected.
 *
 * Header lines (leading "//" comment lines of a case):
 *   // result: TYPE [TEXT]      run succeeds; result has that type name and text
 *   // result: none             run succeeds and leaves no result value
 *   // error: TEXT              run fails with exactly this error text
 *   // compile-error: TEXT      compile fails with exactly this error text
 *   // args: A B ...            arguments of main, each made from its text
 *   // global: NAME VALUE       a global variable the host sets before the run
 *   // library: NAME=FILE       tests/scripts/modules/FILE.orva is compiled and
 *                               held in a script library under NAME
 * An example whose header says "// stdin: FILE" reads examples/FILE as its
 * standard input through the orva command; the tools tests run it.
 * Output is compared with NAME.expected byte for byte (no file: no output).
 * Module files that "use" finds on disk live in tests/scripts/modules, which is
 * the current directory while a case runs.
 */
#include "orva.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{

const std::string kScriptsDir = std::string(ORVA_TEST_DATA_DIR) + "/scripts";

struct ScriptCase
{
   std::string name;      // test name
   std::string source;    // path of the script
   std::string expected;  // path of the expected output
   bool example;          // examples only need to run cleanly
   int language;          // the level it is compiled at
};

std::string ReadFile(const std::string &path, bool *found = nullptr)
{
   std::ifstream in(path, std::ios::binary);
   if (found != nullptr)
      *found = static_cast<bool>(in);
   std::ostringstream text;
   text << in.rdbuf();
   return text.str();
}

std::string TestName(const std::string &prefix, const std::string &stem)
{
   std::string name = prefix + stem;
   for (char &c : name)
      if (!isalnum(static_cast<unsigned char>(c)))
         c = '_';
   return name;
}

// True when the leading comment lines hold "// stdin: FILE".
bool ReadsStandardInput(const std::string &path)
{
   std::istringstream lines(ReadFile(path));
   std::string line;
   while (std::getline(lines, line) && line.compare(0, 2, "//") == 0)
      if (line.compare(0, 9, "// stdin:") == 0)
         return true;
   return false;
}

std::vector<ScriptCase> DiscoverCases()
{
   std::vector<ScriptCase> cases;
   std::error_code ec;
   for (const auto &entry : fs::directory_iterator(kScriptsDir + "/cases", ec))
   {
      if (entry.path().extension() != ".orva")
         continue;
      std::string stem = entry.path().stem().string();
      cases.push_back({TestName("", stem), entry.path().string(),
                       kScriptsDir + "/cases/" + stem + ".expected", false, ORVA_LANGUAGE_1});
   }
   for (const auto &entry : fs::directory_iterator(kScriptsDir + "/level2", ec))
   {
      if (entry.path().extension() != ".orva")
         continue;
      std::string stem = entry.path().stem().string();
      cases.push_back({TestName("level2_", stem), entry.path().string(),
                       kScriptsDir + "/level2/" + stem + ".expected", false, ORVA_LANGUAGE_2});
   }
   for (const auto &entry : fs::directory_iterator(std::string(ORVA_SOURCE_DIR) + "/examples", ec))
   {
      if (entry.path().extension() != ".orva")
         continue;
      // An example that reads standard input runs through the orva command,
      // in the tools tests.
      if (ReadsStandardInput(entry.path().string()))
         continue;
      std::string stem = entry.path().stem().string();
      cases.push_back({TestName("example_", stem), entry.path().string(),
                       kScriptsDir + "/examples/" + stem + ".expected", true, ORVA_LANGUAGE_1});
   }
   std::sort(cases.begin(), cases.end(),
             [](const ScriptCase &a, const ScriptCase &b) { return a.name < b.name; });
   return cases;
}

struct Header
{
   std::string result;
   std::string error;
   std::string compileError;
   std::vector<std::string> args;
   std::vector<std::pair<std::string, std::string>> globals;
   std::vector<std::pair<std::string, std::string>> library;
   int outcomes = 0;
};

Header ParseHeader(const std::string &source)
{
   Header header;
   std::istringstream lines(source);
   std::string line;
   while (std::getline(lines, line) && line.compare(0, 2, "//") == 0)
   {
      size_t colon = line.find(':');
      if (colon == std::string::npos)
         continue;
      std::string key = line.substr(2, colon - 2);
      key.erase(0, key.find_first_not_of(' '));
      std::string value = colon + 1 < line.size() ? line.substr(colon + 1) : "";
      if (!value.empty() && value[0] == ' ')
         value.erase(0, 1);
      if (key == "result")
      {
         header.result = value;
         header.outcomes++;
      }
      else if (key == "error")
      {
         header.error = value;
         header.outcomes++;
      }
      else if (key == "compile-error")
      {
         header.compileError = value;
         header.outcomes++;
      }
      else if (key == "args")
      {
         std::istringstream words(value);
         std::string word;
         while (words >> word)
            header.args.push_back(word);
      }
      else if (key == "global")
      {
         size_t space = value.find(' ');
         header.globals.emplace_back(value.substr(0, space),
                                     space == std::string::npos ? "" : value.substr(space + 1));
      }
      else if (key == "library")
      {
         size_t eq = value.find('=');
         header.library.emplace_back(value.substr(0, eq),
                                     eq == std::string::npos ? value : value.substr(eq + 1));
      }
   }
   return header;
}

// "TYPE TEXT" of a run result, "none" when the run left no value.
std::string DescribeResult(ORVA_Value *value)
{
   if (value == nullptr)
      return "none";
   std::string text = g_orvaTypeNames[value->DataType()];
   uint32 length = 0;
   const char *chars = value->GetValueAsString(&length);
   if (chars != nullptr)
      text += " " + std::string(chars, length);
   return text;
}

// Keeps the current directory at the module folder for the life of a run.
class ModuleDirectory
{
   std::string m_saved;

public:
   ModuleDirectory()
   {
      char buffer[4096];
      if (getcwd(buffer, sizeof(buffer)) != nullptr)
         m_saved = buffer;
      if (chdir((kScriptsDir + "/modules").c_str()) != 0)
         ADD_FAILURE() << "cannot enter the module folder";
   }
   ~ModuleDirectory()
   {
      if (!m_saved.empty() && chdir(m_saved.c_str()) != 0)
         ADD_FAILURE() << "cannot return to " << m_saved;
   }
};

// Names the script in failure reports instead of dumping the record's bytes.
void PrintTo(const ScriptCase &test, std::ostream *os)
{
   *os << test.source;
}

class ScriptTest : public ::testing::TestWithParam<ScriptCase>
{
};

TEST_P(ScriptTest, RunsAsExpected)
{
   const ScriptCase &test = GetParam();
   bool found = false;
   std::string source = ReadFile(test.source, &found);
   ASSERT_TRUE(found) << test.source;
   Header header = ParseHeader(source);
   bool hasExpected = false;
   std::string expectedOutput = ReadFile(test.expected, &hasExpected);
   if (test.example)
      ASSERT_TRUE(hasExpected) << "an example needs its output in " << test.expected;
   else
      ASSERT_EQ(header.outcomes, 1) << "a case states exactly one result, error or compile-error";

   char compileError[1024] = "";
   std::unique_ptr<ORVA_Program> program(
      ORVACompile(source.c_str(), compileError, sizeof(compileError), test.language));
   if (!header.compileError.empty())
   {
      EXPECT_EQ(program, nullptr);
      EXPECT_EQ(std::string(compileError), header.compileError);
      return;
   }
   ASSERT_NE(program, nullptr) << compileError;
   for (const auto &global : header.globals)
      program->SetGlobalVariable(global.first.c_str(), new ORVA_Value(global.second.c_str()));

   ORVA_Library library;
   for (const auto &entry : header.library)
   {
      uint32 size = 0;
      char *text = ORVALoadFile((kScriptsDir + "/modules/" + entry.second + ".orva").c_str(), &size);
      ASSERT_NE(text, nullptr) << "library module " << entry.second;
      ORVA_Program *module = ORVACompile(text, compileError, sizeof(compileError));
      free(text);
      ASSERT_NE(module, nullptr) << compileError;
      ASSERT_EQ(library.AddScript(static_cast<uint32>(library.ScriptCount() + 1), entry.first.c_str(), module), 1);
   }
   FILE *out = tmpfile();
   ASSERT_NE(out, nullptr);
   ORVA_Environment *env = new ORVA_Environment();
   env->SetIO(nullptr, out);
   env->SetLibrary(&library);

   std::vector<ORVA_Value *> argv;
   for (const std::string &arg : header.args)
      argv.push_back(new ORVA_Value(arg.c_str()));

   int rc;
   {
      ModuleDirectory inModules;
      rc = program->Run(env, static_cast<uint32>(argv.size()), argv.empty() ? nullptr : argv.data(),
                        nullptr, nullptr);
   }

   fflush(out);
   long size = ftell(out);
   std::string output(size > 0 ? static_cast<size_t>(size) : 0, '\0');
   rewind(out);
   size_t got = output.empty() ? 0 : fread(&output[0], 1, output.size(), out);
   fclose(out);
   output.resize(got);

   EXPECT_EQ(output, expectedOutput) << "printed output of " << test.source;
   if (!header.error.empty())
   {
      EXPECT_EQ(rc, -1);
      EXPECT_EQ(std::string(program->GetErrorText() ? program->GetErrorText() : "(no error text)"),
                header.error);
   }
   else
   {
      EXPECT_EQ(rc, 0) << (program->GetErrorText() ? program->GetErrorText() : "");
      if (!header.result.empty())
      {
         EXPECT_EQ(DescribeResult(program->GetResult()), header.result);
      }
   }
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptTest, ::testing::ValuesIn(DiscoverCases()),
                         [](const ::testing::TestParamInfo<ScriptCase> &info) { return info.param.name; });

}  // namespace
