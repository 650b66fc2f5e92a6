#include "orva.h"

#include <cstdlib>
#include <cstring>
#include <strings.h>

/*
 * The lock is taken again by the thread that holds it (a host holding it
 * around Run, which links modules under it), so it is recursive.
 */
ORVA_Library::ORVA_Library() : m_scriptCount(0), m_programs(nullptr), m_names(nullptr), m_ids(nullptr)
{
   pthread_mutexattr_t attributes;
   pthread_mutexattr_init(&attributes);
   pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
   pthread_mutex_init(&m_lock, &attributes);
   pthread_mutexattr_destroy(&attributes);
}

void ORVA_Library::Lock()
{
   pthread_mutex_lock(&m_lock);
}

void ORVA_Library::Unlock()
{
   pthread_mutex_unlock(&m_lock);
}

ORVA_Library::~ORVA_Library()
{
   for (uint32 i = 0; i < m_scriptCount; i++)
   {
      delete m_programs[i];
      free(m_names[i]);
   }
   free(m_programs);
   free(m_names);
   free(m_ids);
   pthread_mutex_destroy(&m_lock);
}

int ORVA_Library::AddScript(uint32 id, const char *name, ORVA_Program *program)
{
   if (name == nullptr)
      return 0;
   for (uint32 i = 0; i < m_scriptCount; i++)
   {
      if (strcasecmp(m_names[i], name) == 0)
         return 0;
   }

   char *nameCopy = strdup(name);
   if (nameCopy == nullptr)
      return 0;
   // Each array grows on its own; one that grew while a later one could not
   // is merely roomier, since the count is what bounds all three.
   size_t count = static_cast<size_t>(m_scriptCount) + 1;
   void *programs = realloc(m_programs, count * sizeof(ORVA_Program *));
   if (programs != nullptr)
      m_programs = static_cast<ORVA_Program **>(programs);
   void *names = programs != nullptr ? realloc(m_names, count * sizeof(char *)) : nullptr;
   if (names != nullptr)
      m_names = static_cast<char **>(names);
   void *ids = names != nullptr ? realloc(m_ids, count * sizeof(uint32)) : nullptr;
   if (ids == nullptr)
   {
      free(nameCopy);
      return 0;   // the caller keeps the program
   }
   m_ids = static_cast<uint32 *>(ids);

   m_programs[m_scriptCount] = program;
   m_names[m_scriptCount] = nameCopy;
   m_ids[m_scriptCount] = id;
   m_scriptCount++;
   return 1;
}

void ORVA_Library::Delete(uint32 index)
{
   if (index >= m_scriptCount)
      return;
   delete m_programs[index];
   free(m_names[index]);
   m_scriptCount--;
   uint32 after = m_scriptCount - index;
   memmove(&m_programs[index], &m_programs[index + 1], after * sizeof(ORVA_Program *));
   memmove(&m_names[index], &m_names[index + 1], after * sizeof(char *));
   memmove(&m_ids[index], &m_ids[index + 1], after * sizeof(uint32));
}

void ORVA_Library::DeleteScript(const char *name)
{
   if (name == nullptr)
      return;
   for (uint32 i = 0; i < m_scriptCount; i++)
   {
      if (strcasecmp(m_names[i], name) == 0)
      {
         Delete(i);
         return;
      }
   }
}

void ORVA_Library::DeleteScript(uint32 id)
{
   for (uint32 i = 0; i < m_scriptCount; i++)
   {
      if (m_ids[i] == id)
      {
         Delete(i);
         return;
      }
   }
}

ORVA_Program *ORVA_Library::FindScript(const char *name)
{
   if (name == nullptr)
      return nullptr;
   for (uint32 i = 0; i < m_scriptCount; i++)
   {
      if (strcasecmp(m_names[i], name) == 0)
         return m_programs[i];
   }
   return nullptr;
}

void ORVA_Library::FillMessage(ZRQPMessage *msg)
{
   if (msg == nullptr)
      return;
   msg->Set(FIELD_SCRIPT_COUNT, FIELD_TYPE_INTEGER, &m_scriptCount, 0);
   for (uint32 i = 0; i < m_scriptCount; i++)
   {
      msg->Set(FIELD_SCRIPT_LIST_BASE + 2 * i, FIELD_TYPE_INTEGER, &m_ids[i], 0);
      msg->Set(FIELD_SCRIPT_LIST_BASE + 2 * i + 1, FIELD_TYPE_STRING, m_names[i], 0);
   }
}
