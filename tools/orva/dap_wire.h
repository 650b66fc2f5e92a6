/*
 * The debug adapter's transport: messages framed by a Content-Length header
 * block, as editors send them on the adapter's standard input and expect
 * them on its standard output.
 */
#ifndef ORVA_CLI_DAP_WIRE_H
#define ORVA_CLI_DAP_WIRE_H

#include "json.h"

#include <mutex>
#include <string>

namespace orva_cli
{

class DapReader
{
public:
   explicit DapReader(int fd) : m_fd(fd) {}

   enum Result
   {
      MESSAGE,     // *body holds one message's body
      END,         // the input closed between messages
      BAD_FRAME    // a header block without a usable length, or input cut short
   };

   // The next message's body; *error says what was wrong with a BAD_FRAME.
   Result Next(std::string *body, std::string *error);

private:
   // No header line of the protocol comes near this; a peer that sends one
   // longer is not speaking it.
   static const size_t MAX_HEADER_LINE = 1024;
   // Far above any request an editor sends, low enough that a wrong length
   // cannot make the adapter allocate what it does not have.
   static const size_t MAX_BODY = 64u << 20;

   int m_fd;
   std::string m_buffer;
   size_t m_pos = 0;

   bool Fill();   // reads more input; false at its end or on a read error
   int ReadLine(std::string *line);   // 1 line, 0 end of input, -1 line too long
};

// Writes messages from any thread; each gets the next sequence number.
class DapWriter
{
public:
   explicit DapWriter(int fd) : m_fd(fd) {}

   void Send(Json message);

   // A response to the request with sequence number requestSeq.
   void Respond(int64_t requestSeq, const std::string &command, bool success, Json body = Json(),
                const std::string &message = "");
   void Event(const std::string &event, Json body = Json());

private:
   std::mutex m_lock;
   int m_fd;
   int64_t m_seq = 1;
   bool m_broken = false;   // the peer is gone: later messages are dropped
};

}

#endif
