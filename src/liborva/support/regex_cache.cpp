#include "support/regex_cache.h"

#include "support/memory.h"

ORVA_PatternCache::~ORVA_PatternCache()
{
   for (auto &entry : m_entries)
      Free(entry.second);
}

void ORVA_PatternCache::Free(ORVA_CachedExpression *entry)
{
   if (entry->live)
      regfree(&entry->compiled);
   MemoryCredit(entry->charged);
   m_bytes -= entry->bytes;
   delete entry;
}

void ORVA_PatternCache::Charging(uint32_t address, ORVA_CachedExpression *entry)
{
   if (entry->charging)
      return;
   entry->charging = true;
   m_charging.push_back(address);
}

ORVA_CachedExpression *ORVA_PatternCache::Find(uint32_t address, const char *pattern, int flags)
{
   auto found = m_entries.find(address);
   if (found == m_entries.end())
      return nullptr;
   ORVA_CachedExpression *entry = found->second;
   if (entry->flags == flags && entry->pattern == pattern)
      return entry;
   Free(entry);
   m_entries.erase(found);
   return nullptr;
}

void ORVA_PatternCache::Keep(uint32_t address, ORVA_CachedExpression *entry)
{
   m_entries[address] = entry;
   m_bytes += entry->bytes;
   m_kept++;
   Charging(address, entry);
}

void ORVA_PatternCache::Account(uint32_t address, ORVA_CachedExpression *entry, double bytes)
{
   entry->bytes += bytes;
   m_bytes += bytes;
   if (bytes < 0)
   {
      const size_t given = static_cast<size_t>(-bytes);
      const size_t credit = (given < entry->charged) ? given : entry->charged;
      MemoryCredit(credit);
      entry->charged -= credit;
   }
   else
   {
      entry->charged += static_cast<size_t>(bytes);
   }
   Charging(address, entry);
}

void ORVA_PatternCache::Drop(uint32_t address)
{
   auto found = m_entries.find(address);
   if (found == m_entries.end())
      return;
   Free(found->second);
   m_entries.erase(found);
}

void ORVA_PatternCache::EndRun()
{
   for (uint32_t address : m_charging)
   {
      auto found = m_entries.find(address);
      // Entries dropped or replaced during the run gave their credit then.
      if (found == m_entries.end() || !found->second->charging)
         continue;
      MemoryCredit(found->second->charged);
      found->second->charged = 0;
      found->second->charging = false;
   }
   m_charging.clear();
   // The largest go first: it is mostly the DFA states a pattern's matches
   // may have made, which only grow, and compiling afresh starts it over.
   while (m_bytes > PATTERN_CACHE_KEEP_BYTES && !m_entries.empty())
   {
      auto largest = m_entries.begin();
      for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
         if (it->second->bytes > largest->second->bytes)
            largest = it;
      Free(largest->second);
      m_entries.erase(largest);
   }
}

std::shared_ptr<const ORVA_RegexProgram> ORVA_PatternCache::Program(const char *pattern, int flags, size_t groups)
{
   // A host may change the locale between runs: a program kept from
   // before serves only while it is still the one programs are read in.
   if (!RegexLocaleIsPlain())
      return nullptr;
   std::pair<std::string, int> key(pattern, flags);
   auto found = m_programs.find(key);
   if (found != m_programs.end())
      return found->second;
   std::shared_ptr<const ORVA_RegexProgram> program = CompileRegexProgram(pattern, flags, groups);
   // Patterns made at run time could fill it without end: past the bound it starts over.
   if (m_programs.size() >= PATTERN_CACHE_KEEP_PROGRAMS)
      m_programs.clear();
   m_programs.emplace(std::move(key), program);
   return program;
}
