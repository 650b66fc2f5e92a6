// The command in a terminal: Ctrl-C at the prompt and in a script, history
// kept between sessions, a multi-line input recalled as one.  Each test runs
// the command on a pseudo-terminal, as a user's shell would.
#include "tools/command_runner.h"

#include <chrono>
#include <csignal>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace
{

class Terminal
{
public:
   // Starts the command on a new pseudo-terminal with HOME set to home.
   Terminal(const std::vector<std::string> &args, const fs::path &home, const fs::path &dir)
   {
      m_master = posix_openpt(O_RDWR | O_NOCTTY);
      if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
         return;
      std::string slave = ptsname(m_master);
      std::string command = CommandPath();
      std::vector<char *> argv = orva_test::ArgvOf(command, args);
      std::string homeVariable = "HOME=" + home.string();
      m_pid = fork();
      if (m_pid == 0)
      {
         setsid();
         int fd = open(slave.c_str(), O_RDWR);
         if (fd < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
         ioctl(fd, TIOCSCTTY, 0);
         struct winsize size = {30, 100, 0, 0};
         ioctl(fd, TIOCSWINSZ, &size);
         dup2(fd, 0);
         dup2(fd, 1);
         dup2(fd, 2);
         close(m_master);
         putenv(const_cast<char *>(homeVariable.c_str()));
         putenv(const_cast<char *>("TERM=vt100"));
         unsetenv("ORVA_PATH");
         signal(SIGINT, SIG_DFL);
         execv(argv[0], argv.data());
         _exit(127);
      }
   }

   ~Terminal()
   {
      if (m_pid > 0 && !m_exited)
      {
         kill(m_pid, SIGKILL);
         waitpid(m_pid, nullptr, 0);
      }
      if (m_master >= 0)
         close(m_master);
   }

   bool Started() const { return m_master >= 0 && m_pid > 0; }

   void Type(const std::string &keys)
   {
      ASSERT_EQ(write(m_master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
   }

   // Reads until the output since the last mark holds text; false after a
   // generous wait.
   bool WaitFor(const std::string &text)
   {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (m_output.find(text, m_mark) == std::string::npos)
      {
         if (std::chrono::steady_clock::now() > deadline || !ReadSome())
            return false;
      }
      m_mark = m_output.find(text, m_mark) + text.size();
      return true;
   }

   // Types keys and waits for what they should bring.
   bool Answer(const std::string &keys, const std::string &text)
   {
      Type(keys);
      return WaitFor(text);
   }

   // The exit status once the command has ended, after reading what it
   // wrote; -1 when it did not end normally or would not end.
   int Wait()
   {
      while (ReadSome())
      {
      }
      int status = 0;
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (waitpid(m_pid, &status, WNOHANG) == 0)
      {
         if (std::chrono::steady_clock::now() > deadline)
         {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
            break;
         }
         usleep(10000);
      }
      m_exited = true;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
   }

   const std::string &Output() const { return m_output; }

private:
   bool ReadSome()
   {
      struct pollfd p = {m_master, POLLIN, 0};
      if (poll(&p, 1, 20000) <= 0)
         return false;
      char buffer[4096];
      ssize_t n = read(m_master, buffer, sizeof(buffer));
      if (n <= 0)
         return false;   // the command has ended (EIO once the slave is closed)
      m_output.append(buffer, static_cast<size_t>(n));
      return true;
   }

   int m_master = -1;
   pid_t m_pid = -1;
   bool m_exited = false;
   std::string m_output;
   size_t m_mark = 0;
};

class OrvaTerminal : public OrvaCommand
{
protected:
   fs::path Home()
   {
      fs::create_directories(m_dir / "home");
      return m_dir / "home";
   }
};

TEST_F(OrvaTerminal, CtrlCStopsTheRunningInputAndThePromptGoesOn)
{
   Terminal t({}, Home(), m_dir);
   ASSERT_TRUE(t.Started());
   ASSERT_TRUE(t.WaitFor("> "));
   ASSERT_TRUE(t.Answer("sub twice(x) { return 2 * x; }\n", "> "));
   ASSERT_TRUE(t.Answer("f = 21\n", "> "));
   t.Type("i = 0; println \"loop\" . \"ing\"; while (1) i++;\n");
   // The loop has begun once its line printed.
   ASSERT_TRUE(t.WaitFor("looping"));
   ASSERT_TRUE(t.Answer("\x03", "(prompt):1: run stopped")) << t.Output();
   ASSERT_TRUE(t.WaitFor("> "));
   // The functions and variables typed before are still there.
   ASSERT_TRUE(t.Answer("println \"kept:\" . twice(f);\n", "kept:42")) << t.Output();
   ASSERT_TRUE(t.WaitFor("> "));
   t.Type("exit\n");
   EXPECT_EQ(t.Wait(), 0);
}

TEST_F(OrvaTerminal, CtrlCDropsTheLineOrInputBeingTyped)
{
   Terminal t({}, Home(), m_dir);
   ASSERT_TRUE(t.Started());
   ASSERT_TRUE(t.WaitFor("> "));
   ASSERT_TRUE(t.Answer("println \"dropped\" . \"one\";", "one\";"));
   ASSERT_TRUE(t.Answer("\x03", "> "));
   ASSERT_TRUE(t.Answer("if (1) {\n", ">> "));
   ASSERT_TRUE(t.Answer("println \"dropped\" . \"two\";\n", ">> "));
   ASSERT_TRUE(t.Answer("\x03", "> "));
   ASSERT_TRUE(t.Answer("println \"typed\" . \"after\";\n", "typedafter")) << t.Output();
   ASSERT_TRUE(t.WaitFor("> "));
   t.Type("\x04");
   EXPECT_EQ(t.Wait(), 0);
   EXPECT_FALSE(Contains(t.Output(), "droppedone")) << t.Output();
   EXPECT_FALSE(Contains(t.Output(), "droppedtwo")) << t.Output();
}

TEST_F(OrvaTerminal, HistoryKeepsWholeInputsBetweenSessions)
{
#ifndef ORVA_CLI_HAS_READLINE
   GTEST_SKIP() << "the command was built without line editing, which keeps the history";
#endif
   fs::path home = Home();
   {
      Terminal t({}, home, m_dir);
      ASSERT_TRUE(t.Started());
      ASSERT_TRUE(t.WaitFor("> "));
      ASSERT_TRUE(t.Answer("sub next(n) {\n", ">> "));
      ASSERT_TRUE(t.Answer("return n + 1;\n", ">> "));
      ASSERT_TRUE(t.Answer("}\n", "> "));
      t.Type("\x04");
      EXPECT_EQ(t.Wait(), 0);
   }
   EXPECT_EQ(ReadFile(home / ".orva_history"), "sub next(n) {\\nreturn n + 1;\\n}\n");

   // A new session recalls the three lines as one input with the up arrow.
   Terminal t({}, home, m_dir);
   ASSERT_TRUE(t.Started());
   ASSERT_TRUE(t.WaitFor("> "));
   ASSERT_TRUE(t.Answer("\x1b[A", "}"));
   ASSERT_TRUE(t.Answer("\n", "> "));
   ASSERT_TRUE(t.Answer("println \"next:\" . next(41);\n", "next:42")) << t.Output();
   ASSERT_TRUE(t.WaitFor("> "));
   t.Type("\x04");
   EXPECT_EQ(t.Wait(), 0);
}

TEST_F(OrvaTerminal, CtrlCStopsAScriptWithItsTrailAndStatus130)
{
   Script("spin.orva", "sub spin(n)\n{\n   while (1)\n      n++;\n}\n\n"
                       "sub main()\n{\n   println \"spinning\";\n   spin(0);\n}\n");
   Terminal t({"spin.orva"}, Home(), m_dir);
   ASSERT_TRUE(t.Started());
   ASSERT_TRUE(t.WaitFor("spinning"));
   usleep(200000);
   t.Type("\x03");
   EXPECT_EQ(t.Wait(), 130);
   EXPECT_TRUE(Contains(t.Output(), "spin.orva:3: run stopped\r\n"
                                    "spin.orva:3: note: in spin()\r\n"
                                    "spin.orva:10: note: called from main()\r\n"))
      << t.Output();
}

TEST_F(OrvaTerminal, CtrlCPausesADebuggedScriptAndTheDebuggerGoesOn)
{
   Script("spin.orva", "sub spin(n)\n{\n   while (1)\n      n++;\n}\n\n"
                       "sub main()\n{\n   println \"spinning\";\n   spin(0);\n}\n");
   Terminal t({"--debug", "spin.orva"}, Home(), m_dir);
   ASSERT_TRUE(t.Started());
   ASSERT_TRUE(t.WaitFor("(orva-debug) "));
   ASSERT_TRUE(t.Answer("run\n", "spinning"));
   usleep(200000);
   ASSERT_TRUE(t.Answer("\x03", "Paused in spin () at spin.orva:")) << t.Output();
   ASSERT_TRUE(t.WaitFor("(orva-debug) "));
   ASSERT_TRUE(t.Answer("bt\n", " #1  main () at spin.orva:10")) << t.Output();
   ASSERT_TRUE(t.WaitFor("(orva-debug) "));
   t.Type("quit\n");
   EXPECT_EQ(t.Wait(), 0);
}

TEST_F(OrvaTerminal, CtrlCWhileAScriptWaitsForInputEndsIt)
{
   // The read gives up (readline() gives null); the command still ends as
   // interrupted rather than with the status of a completed run.
   Script("ask.orva", "sub main()\n{\n   println \"reading\";\n   line = readline();\n"
                      "   println \"got \" . typeof(line);\n}\n");
   Terminal t({"ask.orva"}, Home(), m_dir);
   ASSERT_TRUE(t.Started());
   ASSERT_TRUE(t.WaitFor("reading"));
   usleep(200000);
   t.Type("\x03");
   EXPECT_EQ(t.Wait(), 130);
   EXPECT_TRUE(Contains(t.Output(), "ask.orva: interrupted\r\n")) << t.Output();
}

TEST_F(OrvaCommand, MainOfTheScriptIsCallableAfterI)
{
   Script("tool.orva", "sub helper(x) { return x * 2; }\n"
                       "sub main(n) { println \"main ran\"; return helper(n); }\n");
   Outcome o = Run({"-i", "tool.orva", "5"}, "main(21)\nm = main(1) + 1\nm\n");
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "main ran\nmain ran\n42\nmain ran\n3\n");
   EXPECT_EQ(o.err, "");
   // Functions defined at the prompt call it too.
   o = Run({"-i", "tool.orva", "5"}, "sub again() { return main(2) + 1; }\nagain()\n");
   EXPECT_EQ(o.out, "main ran\nmain ran\n5\n");
   // Without a script the input itself is main.
   EXPECT_TRUE(Contains(Run({"-i"}, "main()\n").err, "main cannot be called at the prompt"));
}

}
