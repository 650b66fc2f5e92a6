/*
 * The compiled regular expressions of one program, kept from run to run.
 *
 * A script's patterns are nearly always literals, and a host that calls a
 * handler for every event would otherwise compile them again for every
 * call, and lose the DFA states the matcher built for them too, which cost
 * more than the compile.  Each match instruction keeps the expression it
 * compiled last, so a pattern made at run time holds at most one entry
 * per instruction, and what the entries hold between runs is bounded as a
 * whole.
 *
 * A run's memory ceiling counts what the run adds: a compile it makes and
 * the DFA states it may add.  What an earlier run left is the program's, not
 * the run's, and gives the run no credit when it goes.
 */
#ifndef ORVA_SUPPORT_REGEX_CACHE_H
#define ORVA_SUPPORT_REGEX_CACHE_H

#include "support/regex_cost.h"
#include "support/regex_match.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <regex.h>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

/* A regular expression compiled for one match instruction. */
struct ORVA_CachedExpression
{
   std::string pattern;
   int flags = 0;
   size_t charged = 0;     // what the current run's memory budget counts for it
   double bytes = 0;       // what it is estimated to hold, compile and DFA states
   regex_t compiled;
   std::shared_ptr<const ORVA_RegexProgram> fast;   // the engine's own matcher's form, when it reads the pattern
   ORVA_RegexShape shape;   // what its matches can cost
   double dfaStates = 0;    // DFA states its matches may have made since it was compiled
   ORVA_MatchHistory history;
   bool charging = false;   // the current run's budget counts some of it
   bool live = true;        // compiled holds an expression to free
};

/*
 * Most bytes the expressions of one program are estimated to keep between
 * runs.  The estimate of the DFA states is an upper bound, and a loose one
 * (a date pattern may be counted at a megabyte a run while it makes a few
 * states in all), so the bound leaves room for a handler's patterns to stay
 * for dozens of runs; past it the largest is compiled afresh by the next
 * run that needs it.
 */
const double PATTERN_CACHE_KEEP_BYTES = 64.0 * 1024 * 1024;

/* Most patterns whose programs for the engine's own matcher are kept. */
const size_t PATTERN_CACHE_KEEP_PROGRAMS = 64;

class ORVA_PatternCache
{
public:
   ORVA_PatternCache() = default;
   ~ORVA_PatternCache();
   ORVA_PatternCache(const ORVA_PatternCache &) = delete;
   ORVA_PatternCache &operator=(const ORVA_PatternCache &) = delete;

   // The entry of the instruction at address when it was compiled from
   // the same pattern and flags; else null, an older entry there freed.
   ORVA_CachedExpression *Find(uint32_t address, const char *pattern, int flags);

   // Keeps entry (compiled, its charge and bytes set) for the instruction
   // at address, which must have none.
   void Keep(uint32_t address, ORVA_CachedExpression *entry);

   // The run's budget was charged (or credited, when negative) bytes for
   // the entry at address, and the entry holds as much more (or less).
   void Account(uint32_t address, ORVA_CachedExpression *entry, double bytes);

   // Frees the entry of the instruction at address, crediting the run with what it charged.
   void Drop(uint32_t address);

   // The run ends: its budget is credited with what the entries charged it,
   // and when they hold more than the bound on what is kept, the largest go
   // until they fit.  Its work follows the entries the run charged for.
   void EndRun();

   // The engine's own matcher's program for pattern and flags (groups as
   // the system's compiler counted them), or null where it takes the
   // pattern not.  Kept apart from the entries, which the bound on bytes
   // sends away while their programs, a few kilobytes, are still good.
   std::shared_ptr<const ORVA_RegexProgram> Program(const char *pattern, int flags, size_t groups);

   size_t Count() const { return m_entries.size(); }
   double Bytes() const { return m_bytes; }
   uint64_t Kept() const { return m_kept; }   // entries ever kept: the compiles that were not in vain

private:
   std::unordered_map<uint32_t, ORVA_CachedExpression *> m_entries;
   std::vector<uint32_t> m_charging;   // addresses of the entries the run's budget counts
   std::map<std::pair<std::string, int>, std::shared_ptr<const ORVA_RegexProgram>> m_programs;
   double m_bytes = 0;                  // what all entries hold
   uint64_t m_kept = 0;

   void Free(ORVA_CachedExpression *entry);
   void Charging(uint32_t address, ORVA_CachedExpression *entry);
};

#endif
