#include "orva.h"
#include "runtime/builtins.h"
#include "support/name_index.h"
#include "support/support.h"
#include "vm/program_body.h"

#include <cstdlib>
#include <cstring>
#include <new>

ORVA_Environment::ORVA_Environment()
   : m_functionCount(ORVA_BUILTIN_COUNT),
     m_functions(static_cast<ORVA_ExtFunction *>(qd_memdup(g_orvaBuiltins, sizeof(g_orvaBuiltins)))),
     m_library(nullptr),
     m_inStream(nullptr),
     m_outStream(nullptr),
     m_body(nullptr)
{
   // No destructor runs when a constructor throws: the table goes here.
   RegisterInPlaceCalls(g_orvaInPlaceBuiltins);
   try
   {
      m_body = new ORVA_EnvironmentBody();
   }
   catch (...)
   {
      free(m_functions);
      throw;
   }
}

ORVA_Environment::~ORVA_Environment()
{
   free(m_functions);
   delete m_body->functionIndex;
   delete m_body;
}

void ORVA_Environment::SetInstructionLimit(uint64 count)
{
   m_body->instructionLimit = count;
}

void ORVA_Environment::SetTimeLimit(uint32 milliseconds)
{
   m_body->timeLimit = milliseconds;
}

void ORVA_Environment::SetMemoryLimit(uint64 bytes)
{
   m_body->memoryLimit = bytes;
}

void ORVA_Environment::SetProfile(ORVA_Profile *profile)
{
   m_body->profile = profile;
}

void ORVA_Environment::RegisterFunctionSet(uint32 count, ORVA_ExtFunction *list)
{
   if (count == 0 || list == nullptr)
      return;

   // A set too large to add leaves the table as it was rather than wrapping
   // the size computation around.
   size_t total = static_cast<size_t>(m_functionCount) + count;
   if (total > UINT32_MAX || total > SIZE_MAX / sizeof(ORVA_ExtFunction))
      return;
   void *grown = realloc(m_functions, total * sizeof(ORVA_ExtFunction));
   if (grown == nullptr)
      return;
   m_functions = static_cast<ORVA_ExtFunction *>(grown);

   ORVA_ExtFunction *copy = m_functions + m_functionCount;
   memcpy(copy, list, count * sizeof(ORVA_ExtFunction));
   // Lookups compare up to the terminator; a host name that fills all 64
   // bytes is cut to 63 so that no lookup reads past the record.
   for (uint32 i = 0; i < count; i++)
      copy[i].m_name[sizeof(copy[i].m_name) - 1] = 0;
   m_functionCount = static_cast<uint32>(total);
}

/*
 * Built-ins come first and host sets follow in the order they were
 * registered, so the first record of a name is the one a call reaches.
 * Names match exactly; record names are at most 63 bytes, so a longer name
 * matches none.
 */
ORVA_ExtFunction *ORVA_Environment::FindFunction(const char *name)
{
   if (name == nullptr)
      return nullptr;
   ORVA_NameIndex *&index = m_body->functionIndex;
   if (index == nullptr)
      index = new ORVA_NameIndex(sizeof(ORVA_ExtFunction));
   uint32 record = index->Find(m_functions, m_functionCount, name, true);
   return (record != ORVA_NameIndex::NOT_FOUND) ? &m_functions[record] : nullptr;
}
