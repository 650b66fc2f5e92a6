// A scripted editor for the debug adapter's tests: starts `orva --dap` over
// pipes, sends framed requests and waits for the responses and events the
// adapter sends back, keeping every message it read.
#ifndef ORVA_TESTS_DAP_CLIENT_H
#define ORVA_TESTS_DAP_CLIENT_H

#include "tools/command_runner.h"
#include "tools/orva/json.h"

#include <poll.h>
#include <signal.h>

using orva_cli::Json;

class DapClient
{
public:
   // Waits this long for any one message: generous, the machine is shared.
   static const int WAIT_MS = 30000;

   ~DapClient()
   {
      if (m_pid > 0)
      {
         kill(m_pid, SIGKILL);
         waitpid(m_pid, nullptr, 0);
      }
      CloseInput();
      if (m_from >= 0)
         close(m_from);
   }

   bool Start(const fs::path &dir, const std::vector<std::string> &extra = {})
   {
      signal(SIGPIPE, SIG_IGN);
      int toChild[2], fromChild[2];
      if (pipe(toChild) != 0 || pipe(fromChild) != 0)
         return false;
      std::vector<std::string> args = {"--dap"};
      args.insert(args.end(), extra.begin(), extra.end());
      std::string command = CommandPath();
      std::vector<char *> argv = orva_test::ArgvOf(command, args);
      m_pid = fork();
      if (m_pid == 0)
      {
         dup2(toChild[0], 0);
         dup2(fromChild[1], 1);
         close(toChild[1]);
         close(fromChild[0]);
         if (chdir(dir.c_str()) != 0)
            _exit(127);
         execv(argv[0], argv.data());
         _exit(127);
      }
      close(toChild[0]);
      close(fromChild[1]);
      m_to = toChild[1];
      m_from = fromChild[0];
      return m_pid > 0;
   }

   void SendRaw(const std::string &bytes)
   {
      size_t done = 0;
      while (done < bytes.size())
      {
         ssize_t n = write(m_to, bytes.data() + done, bytes.size() - done);
         if (n <= 0)
            return;
         done += static_cast<size_t>(n);
      }
   }

   // Sends a request; its sequence number.
   int Send(const std::string &command, Json arguments = Json::Object())
   {
      Json request = Json::Object();
      request.Set("seq", Json(++m_seq));
      request.Set("type", "request");
      request.Set("command", command);
      request.Set("arguments", std::move(arguments));
      std::string body = request.Write();
      SendRaw("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
      return m_seq;
   }

   // The response to the request seq; a null value when none came.
   Json Response(int seq)
   {
      return Await([seq](const Json &m) { return m["type"].String() == "response" && m["request_seq"].Int() == seq; });
   }

   // Sends a request and waits for its response.
   Json Request(const std::string &command, Json arguments = Json::Object())
   {
      return Response(Send(command, std::move(arguments)));
   }

   // The next event of that name not yet taken.
   Json Event(const std::string &name)
   {
      return Await([&name](const Json &m) { return m["type"].String() == "event" && m["event"].String() == name; });
   }

   // What output events said, in order, from the start of the session.
   std::string Output(const std::string &category = "stdout") const
   {
      std::string text;
      for (const Json &m : m_all)
         if (m["event"].String() == "output" && m["body"]["category"].String() == category)
            text += m["body"]["output"].String();
      return text;
   }

   const std::vector<Json> &All() const { return m_all; }

   void CloseInput()
   {
      if (m_to >= 0)
         close(m_to);
      m_to = -1;
   }

   // Reads to the end of the adapter's output and waits for it to exit;
   // its exit status, or -1 when a signal ended it.
   int Finish()
   {
      CloseInput();
      Json m;
      while (ReadMessage(&m))
         m_all.push_back(m);
      int wstatus = 0;
      waitpid(m_pid, &wstatus, 0);
      m_pid = -1;
      return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
   }

private:
   pid_t m_pid = -1;
   int m_to = -1;
   int m_from = -1;
   int m_seq = 0;
   std::string m_buffer;
   std::vector<Json> m_all;     // every message read
   std::vector<bool> m_taken;   // which of them Await handed out

   template <typename Match>
   Json Await(Match match)
   {
      for (size_t k = 0;; k++)
      {
         if (k == m_all.size())
         {
            Json m;
            if (!ReadMessage(&m))
               return Json();
            m_all.push_back(m);
         }
         if (m_taken.size() < m_all.size())
            m_taken.resize(m_all.size(), false);
         if (!m_taken[k] && match(m_all[k]))
         {
            m_taken[k] = true;
            return m_all[k];
         }
      }
   }

   bool Fill()
   {
      pollfd p = {m_from, POLLIN, 0};
      if (poll(&p, 1, WAIT_MS) <= 0)
         return false;
      char chunk[4096];
      ssize_t n = read(m_from, chunk, sizeof(chunk));
      if (n <= 0)
         return false;
      m_buffer.append(chunk, static_cast<size_t>(n));
      return true;
   }

   // One framed message; false at the end of the output, on a timeout or on
   // a frame the adapter should never have sent (the test then fails).
   bool ReadMessage(Json *out)
   {
      size_t end;
      while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos)
         if (!Fill())
            return false;
      const std::string header = m_buffer.substr(0, end);
      EXPECT_EQ(header.rfind("Content-Length: ", 0), 0u) << header;
      const size_t length = std::stoul(header.substr(16));
      while (m_buffer.size() < end + 4 + length)
         if (!Fill())
            return false;
      std::string body = m_buffer.substr(end + 4, length);
      m_buffer.erase(0, end + 4 + length);
      std::string error;
      EXPECT_TRUE(orva_cli::ParseJson(body, out, &error)) << error << ": " << body;
      return true;
   }
};

#endif
