// What the test programs of every folder need alike: compiling a script
// that must compile, reading back what a run printed to a temporary file,
// a scratch directory, and the argument vector for starting the command.
#ifndef ORVA_TEST_UTIL_H
#define ORVA_TEST_UTIL_H

#include "orva.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace orva_test
{

// The program, or null after failing the test with the compiler's text and
// the source.
inline ORVA_Program *Compile(const char *source)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   EXPECT_NE(program, nullptr) << error << "\n" << source;
   return program;
}
inline ORVA_Program *Compile(const std::string &source)
{
   return Compile(source.c_str());
}

// The script that runs body as its main function.
inline std::string MainOf(const std::string &body)
{
   return "sub main() {\n" + body + "\n}\n";
}

// Everything written to file so far, read from its start.
inline std::string ReadAll(FILE *file)
{
   std::string text;
   rewind(file);
   char buffer[4096];
   size_t n;
   while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
      text.append(buffer, n);
   return text;
}

// A new empty directory /tmp/<prefix>XXXXXX, or an empty path when none
// could be made.
inline std::filesystem::path MakeScratchDir(const std::string &prefix)
{
   std::string pattern = "/tmp/" + prefix + "XXXXXX";
   if (mkdtemp(&pattern[0]) == nullptr)
      return std::filesystem::path();
   return pattern;
}

// The argument vector execv takes: command, then args, then null.  It points
// into the strings, which must outlive it.
inline std::vector<char *> ArgvOf(const std::string &command, const std::vector<std::string> &args)
{
   std::vector<char *> argv;
   argv.push_back(const_cast<char *>(command.c_str()));
   for (const std::string &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
   argv.push_back(nullptr);
   return argv;
}

}   // namespace orva_test

#endif
