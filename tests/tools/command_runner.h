// Runs the built orva command as a user would, for the command's tests:
// arguments, standard input and environment in; standard output, standard
// error and the exit status back.
#ifndef ORVA_TESTS_COMMAND_RUNNER_H
#define ORVA_TESTS_COMMAND_RUNNER_H

#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;


struct Outcome
{
   int status;   // exit status, or -1 when the command did not exit normally
   std::string out;
   std::string err;
};

inline std::string CommandPath()
{
#ifdef ORVA_CLI_PATH
   return ORVA_CLI_PATH;
#else
   // The tests are built in <build>/tests and the command in <build>.
   return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "orva").string();
#endif
}

inline std::string ReadFile(const fs::path &path)
{
   std::ifstream in(path, std::ios::binary);
   std::ostringstream text;
   text << in.rdbuf();
   return text.str();
}

inline void WriteFile(const fs::path &path, const std::string &text)
{
   std::ofstream out(path, std::ios::binary);
   out << text;
}

class OrvaCommand : public ::testing::Test
{
protected:
   fs::path m_dir;

   void SetUp() override
   {
      m_dir = orva_test::MakeScratchDir("orva-cli-test-");
      ASSERT_FALSE(m_dir.empty());
   }

   void TearDown() override
   {
      std::error_code ec;
      fs::remove_all(m_dir, ec);
   }

   fs::path Script(const std::string &name, const std::string &text)
   {
      WriteFile(m_dir / name, text);
      return m_dir / name;
   }

   // Runs the command in the test's directory with the given standard input
   // and NAME=VALUE environment variables (ORVA_PATH is unset unless given);
   // output goes through files, so neither stream can block the other.
   Outcome Run(const std::vector<std::string> &args, const std::string &input = "",
               const std::vector<std::string> &environment = {})
   {
      fs::path in = m_dir / ".stdin", out = m_dir / ".stdout", err = m_dir / ".stderr";
      WriteFile(in, input);
      std::string command = CommandPath();
      std::vector<char *> argv = orva_test::ArgvOf(command, args);

      pid_t pid = fork();
      if (pid == 0)
      {
         int fdIn = open(in.c_str(), O_RDONLY);
         int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
         int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
         if (fdIn < 0 || fdOut < 0 || fdErr < 0 || chdir(m_dir.c_str()) != 0)
            _exit(127);
         dup2(fdIn, 0);
         dup2(fdOut, 1);
         dup2(fdErr, 2);
         unsetenv("ORVA_PATH");
         for (const std::string &variable : environment)
            putenv(const_cast<char *>(variable.c_str()));
         execv(argv[0], argv.data());
         _exit(127);
      }
      int wstatus = 0;
      waitpid(pid, &wstatus, 0);
      Outcome o;
      o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
      o.out = ReadFile(out);
      o.err = ReadFile(err);
      return o;
   }
};

inline bool Contains(const std::string &text, const std::string &part)
{
   return text.find(part) != std::string::npos;
}

#endif
