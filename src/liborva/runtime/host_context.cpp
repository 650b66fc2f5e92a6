/*
 * The run under way on each thread, as host functions reach it.
 */
#include "runtime/host_context.h"

#include <cstdlib>
#include <cstring>

namespace
{

// Longer host texts are cut here; the error text that holds one is cut at
// the same length anyway.
const size_t MESSAGE_LIMIT = 1024;

thread_local ORVA_Environment *t_environment = nullptr;
thread_local bool t_messageSet = false;
thread_local char t_message[MESSAGE_LIMIT];

}

ORVA_RunContext::ORVA_RunContext(ORVA_Environment *env) : m_outer(t_environment), m_outerMessage(nullptr)
{
   // A host function that set its text and then started another run still
   // means that text when it returns.
   if (t_messageSet)
      m_outerMessage = strdup(t_message);
   t_environment = env;
}

void ORVA_RunContext::End()
{
   if (m_ended)
      return;
   m_ended = true;
   t_environment = m_outer;
   ClearHostErrorMessage();
   if (m_outerMessage != nullptr)
   {
      ORVA_SetErrorMessage(m_outerMessage);
      free(m_outerMessage);
      m_outerMessage = nullptr;
   }
}

void ClearHostErrorMessage()
{
   t_messageSet = false;
}

const char *HostErrorMessage()
{
   return t_messageSet ? t_message : nullptr;
}

ORVA_Environment *ORVA_CurrentEnvironment()
{
   return t_environment;
}

void ORVA_SetErrorMessage(const char *text)
{
   if (text == nullptr)
   {
      t_messageSet = false;
      return;
   }
   size_t length = strnlen(text, MESSAGE_LIMIT - 1);
   memcpy(t_message, text, length);
   t_message[length] = 0;
   t_messageSet = true;
}
