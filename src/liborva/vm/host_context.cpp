/*
 * The run under way on each thread, as host functions reach it.
 */
#include "vm/host_context.h"

#include <cstdlib>
#include <cstring>

namespace
{

// Longer host texts are cut here; the error text that holds one is cut at
// the same length anyway.
const size_t MESSAGE_LIMIT = 1024;

// One block per thread, so that a function finds all of it with one lookup.
struct HostThread
{
   ORVA_Environment *environment = nullptr;
   bool messageSet = false;
   char message[MESSAGE_LIMIT];
};

thread_local HostThread t_host;

}

ORVA_RunContext::ORVA_RunContext(ORVA_Environment *env) : m_outerMessage(nullptr)
{
   HostThread &host = t_host;
   m_outer = host.environment;
   // A host function that set its text and then started another run still
   // means that text when it returns.
   if (host.messageSet)
      m_outerMessage = strdup(host.message);
   host.environment = env;
}

void ORVA_RunContext::End()
{
   if (m_ended)
      return;
   m_ended = true;
   HostThread &host = t_host;
   host.environment = m_outer;
   host.messageSet = false;
   if (m_outerMessage != nullptr)
   {
      ORVA_SetErrorMessage(m_outerMessage);
      free(m_outerMessage);
      m_outerMessage = nullptr;
   }
}

void ClearHostErrorMessage()
{
   t_host.messageSet = false;
}

const char *HostErrorMessage()
{
   HostThread &host = t_host;
   return host.messageSet ? host.message : nullptr;
}

ORVA_Environment *ORVA_CurrentEnvironment()
{
   return t_host.environment;
}

void ORVA_SetErrorMessage(const char *text)
{
   HostThread &host = t_host;
   if (text == nullptr)
   {
      host.messageSet = false;
      return;
   }
   size_t length = strnlen(text, MESSAGE_LIMIT - 1);
   memcpy(host.message, text, length);
   host.message[length] = 0;
   host.messageSet = true;
}
