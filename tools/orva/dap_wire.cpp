#include "dap_wire.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace orva_cli
{

bool DapReader::Fill()
{
   if (m_pos > 0)
   {
      m_buffer.erase(0, m_pos);
      m_pos = 0;
   }
   char chunk[8192];
   for (;;)
   {
      const ssize_t n = read(m_fd, chunk, sizeof(chunk));
      if (n > 0)
      {
         m_buffer.append(chunk, static_cast<size_t>(n));
         return true;
      }
      if (n < 0 && errno == EINTR)
         continue;
      return false;
   }
}

int DapReader::ReadLine(std::string *line)
{
   for (;;)
   {
      const size_t end = m_buffer.find('\n', m_pos);
      if (end != std::string::npos)
      {
         if (end - m_pos > MAX_HEADER_LINE)
            return -1;
         line->assign(m_buffer, m_pos, end - m_pos);
         m_pos = end + 1;
         if (!line->empty() && line->back() == '\r')
            line->pop_back();
         return 1;
      }
      if (m_buffer.size() - m_pos > MAX_HEADER_LINE)
         return -1;
      if (!Fill())
         return 0;
   }
}

DapReader::Result DapReader::Next(std::string *body, std::string *error)
{
   bool any = false;
   bool haveLength = false;
   size_t length = 0;
   std::string line;
   for (;;)
   {
      const int got = ReadLine(&line);
      if (got < 0)
      {
         *error = "header line too long";
         return BAD_FRAME;
      }
      if (got == 0)
      {
         // A peer that leaves between messages ends the session; one that
         // leaves inside a header block cut it short.
         const bool partial = any || m_pos < m_buffer.size();
         if (partial)
            *error = "input ended inside a header";
         return partial ? BAD_FRAME : END;
      }
      if (line.empty())
      {
         if (!any)
            continue;   // stray blank lines between messages
         break;
      }
      any = true;
      const size_t colon = line.find(':');
      if (colon == std::string::npos)
      {
         *error = "header line without ':'";
         return BAD_FRAME;
      }
      if (strncasecmp(line.c_str(), "Content-Length", colon) == 0 && colon == 14)
      {
         const char *p = line.c_str() + colon + 1;
         while (*p == ' ' || *p == '\t')
            p++;
         char *end = nullptr;
         errno = 0;
         const unsigned long long n = (*p >= '0' && *p <= '9') ? strtoull(p, &end, 10) : 0;
         if (end == nullptr || errno != 0 || (*end != '\0' && *end != ' ' && *end != '\t') || n > MAX_BODY)
         {
            *error = "bad Content-Length value";
            return BAD_FRAME;
         }
         length = static_cast<size_t>(n);
         haveLength = true;
      }
      // Other headers (Content-Type) say nothing the adapter needs.
   }
   if (!haveLength)
   {
      *error = "header without Content-Length";
      return BAD_FRAME;
   }
   while (m_buffer.size() - m_pos < length)
   {
      if (!Fill())
      {
         *error = "input ended inside a message";
         return BAD_FRAME;
      }
   }
   body->assign(m_buffer, m_pos, length);
   m_pos += length;
   return MESSAGE;
}

void DapWriter::Send(Json message)
{
   std::lock_guard<std::mutex> hold(m_lock);
   if (m_broken)
      return;
   message.Set("seq", Json(m_seq++));
   std::string body = message.Write();
   std::string frame = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
   size_t done = 0;
   while (done < frame.size())
   {
      const ssize_t n = write(m_fd, frame.data() + done, frame.size() - done);
      if (n < 0 && errno == EINTR)
         continue;
      if (n <= 0)
      {
         m_broken = true;
         return;
      }
      done += static_cast<size_t>(n);
   }
}

void DapWriter::Respond(int64_t requestSeq, const std::string &command, bool success, Json body,
                        const std::string &message)
{
   Json r = Json::Object();
   r.Set("seq", Json(0));   // first, as peers print it; Send fills it in
   r.Set("type", "response");
   r.Set("request_seq", Json(requestSeq));
   r.Set("success", Json(success));
   r.Set("command", command);
   if (!message.empty())
      r.Set("message", message);
   if (!body.IsNull())
      r.Set("body", std::move(body));
   Send(std::move(r));
}

void DapWriter::Event(const std::string &event, Json body)
{
   Json e = Json::Object();
   e.Set("seq", Json(0));
   e.Set("type", "event");
   e.Set("event", event);
   if (!body.IsNull())
      e.Set("body", std::move(body));
   Send(std::move(e));
}

}
