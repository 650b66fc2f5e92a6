/*
 * Sizing a regular expression the way the system's regex compiler will
 * build it, without building it: each piece of the pattern is summarised by
 * a few counts, and repetition combines those counts copy by copy as the
 * compiler combines the copies themselves.
 */
#include "support/pattern_budget.h"
#include "support/regex_syntax.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace
{
/*
 * Memory per node and per entry of a node's set of nodes reachable without
 * reading a character (the set and its inverse), measured on the system's
 * compiler: a 1,000,000-byte literal takes some 200 MB, the 500,000 set
 * entries of ".{0,1000}" some 9 MB.
 */
const double kNodeBytes = 200;
const double kSetEntryBytes = 16;
// A bracket expression costs as much as this many nodes ("[a-z]" 10,000
// times: 9 MB under a UTF-8 locale).
const double kBracketNodes = 4;

/* Counts that exceed every budget once one of them is passed. */
const double kBeyond = HUGE_VAL;

/*
 * The most set entries times loops allowed: about the work the budget
 * allows without loops.  "((a*)*){100}" is within it, "((a*)*){250}" (a
 * second of compiling) is not.
 */
const double kCycleWork = 1e8;

/*
 * A piece of the pattern as the compiler expands it:
 *  nodes     its nodes;
 *  entries   the entries of its nodes' reachable sets, as far as they lie
 *            inside the piece;
 *  entry     the size of the reachable set at its start;
 *  exits     how many of its nodes reach its end without a character, each
 *            of which also takes in the start set of whatever follows;
 *  nullable  whether it matches the empty text.
 * The compiler finds those sets recursively, a stack frame for each node of
 * a path of character-less nodes, so it also matters how long such paths
 * get:
 *  head      the longest one from the start of the piece;
 *  through   the longest one from its start to its end (kNoPath if none);
 *  tail      the longest one that reaches its end;
 *  deepest   the longest one anywhere in it.
 * A loop through such nodes alone (a star over a part that matches the
 * empty text) leaves the sets on its way unfinished, to be found again
 * later, which multiplies the compiler's time:
 *  cycles    how many such loops the piece holds.
 */
struct Shape
{
   double nodes;
   double entries;
   double entry;
   double exits;
   bool nullable;
   double head;
   double through;
   double tail;
   double deepest;
   double cycles;
};

/* The "through" of a piece that cannot be crossed without a character. */
const double kNoPath = -HUGE_VAL;

const Shape kEmpty = {0, 0, 0, 0, true, 0, 0, 0, 0, 0};
const Shape kCharacter = {1, 1, 1, 0, false, 0, kNoPath, 0, 0, 0};
// An anchor reads no character: it reaches whatever follows it.
const Shape kAnchor = {1, 1, 1, 1, true, 1, 1, 1, 1, 0};

Shape Concat(const Shape &a, const Shape &b)
{
   return {a.nodes + b.nodes,
           a.entries + b.entries + a.exits * b.entry,
           a.entry + (a.nullable ? b.entry : 0),
           b.exits + (b.nullable ? a.exits : 0),
           a.nullable && b.nullable,
           std::max(a.head, a.through + b.head),
           a.through + b.through,
           std::max(b.tail, a.tail + b.through),
           std::max({a.deepest, b.deepest, a.tail + b.head}),
           a.cycles + b.cycles};
}

/* The shape of a piece whose first node is a new character-less one that
   leads to a (and, when skip, also past it). */
Shape Branch(const Shape &a, double entry, double entries, double exits, bool skip)
{
   const double through = 1 + std::max(a.through, skip ? 0.0 : kNoPath);
   const double tail = std::max(a.tail, through);
   return {a.nodes + 1, entries, entry, exits, skip || a.nullable, 1 + a.head, through, tail,
           std::max({a.deepest, 1 + a.head, tail}), a.cycles};
}

/* a|b: one branching node in front of both. */
Shape Alternative(const Shape &a, const Shape &b)
{
   const bool nullable = a.nullable || b.nullable;
   const double entry = 1 + a.entry + b.entry;
   Shape both = {a.nodes + b.nodes,
                 0,
                 0,
                 0,
                 nullable,
                 std::max(a.head, b.head),
                 std::max(a.through, b.through),
                 std::max(a.tail, b.tail),
                 std::max(a.deepest, b.deepest),
                 a.cycles + b.cycles};
   return Branch(both, entry, a.entries + b.entries + entry, a.exits + b.exits + (nullable ? 1 : 0), false);
}

/* a? : a branch to a and past it. */
Shape Optional(const Shape &a)
{
   const double entry = 1 + a.entry;
   return Branch(a, entry, a.entries + entry, 1 + a.exits, true);
}

/* a* : a looping node, to which every end of a returns. */
Shape Star(const Shape &a)
{
   const double entry = 1 + a.entry;
   Shape star = Branch(a, entry, a.entries + entry + a.exits * entry, 1 + a.exits, true);
   star.tail = std::max(star.tail, a.tail + 1);
   star.deepest = std::max(star.deepest, a.tail + star.head);
   if (a.nullable)
      star.cycles++;
   return star;
}

/* (a): an opening and a closing node around it. */
Shape Group(const Shape &a)
{
   const double entry = 1 + a.entry + (a.nullable ? 1 : 0);
   const double through = 2 + a.through;
   const double tail = std::max(a.tail + 1, through);
   return {a.nodes + 2,
           a.entries + entry + 1 + a.exits,
           entry,
           1 + a.exits + (a.nullable ? 1 : 0),
           a.nullable,
           1 + a.head,
           through,
           tail,
           std::max({a.deepest, 1 + a.head, tail}),
           a.cycles};
}

class Estimate
{
public:
   explicit Estimate(const char *pattern) : m_p(pattern) {}
   double Bytes();
   double Work() const { return m_work; }

private:
   // An open group: the branches finished so far and the one being built,
   // whose last piece may still take a repetition.
   struct Level
   {
      Shape alternatives = kEmpty;
      bool hasAlternatives = false;
      Shape branch = kEmpty;
      Shape piece = kEmpty;
      bool hasPiece = false;
   };

   const char *m_p;
   // Nodes built along the way, discarded copies included: the compiler's
   // memory and time, and the bound on the work done here.
   double m_built = 0;
   // What compiling takes, in nodes built and set entries found, each loop
   // through character-less nodes finding its sets again.
   double m_work = HUGE_VAL;

   bool Spent() const { return m_built * kNodeBytes > PATTERN_BUDGET_BYTES; }
   Shape Built(const Shape &piece, double nodes);
   static void Add(Level &level, const Shape &piece);
   static Shape Finish(Level &level);
   bool Repeat(Shape &piece, long low, long high);
};

/* A piece that took nodes new nodes to build. */
Shape Estimate::Built(const Shape &piece, double nodes)
{
   m_built += nodes;
   return piece;
}

/* The piece before this one can no longer be repeated: it joins the branch. */
void Estimate::Add(Level &level, const Shape &piece)
{
   if (level.hasPiece)
      level.branch = Concat(level.branch, level.piece);
   level.piece = piece;
   level.hasPiece = true;
}

Shape Estimate::Finish(Level &level)
{
   if (level.hasPiece)
      level.branch = Concat(level.branch, level.piece);
   level.hasPiece = false;
   return level.hasAlternatives ? Alternative(level.alternatives, level.branch) : level.branch;
}

/*
 * x{low,high} (high < 0: no upper bound) as the compiler builds it: low
 * copies of x in a row, then x* for no bound, or high - low nested optional
 * copies.  False once the copies pass the budget.
 */
bool Estimate::Repeat(Shape &piece, long low, long high)
{
   if ((low == 0 && high == 0) || piece.nodes == 0)
   {
      piece = kEmpty;
      return true;
   }
   const Shape one = piece;
   Shape fixed = one;
   for (long i = 2; i <= low; i++)
   {
      fixed = Concat(fixed, Built(one, one.nodes));
      if (Spent())
         return false;
   }
   if (low == high)
   {
      piece = fixed;
      return true;
   }
   Shape tail = Built((high < 0) ? Star(one) : Optional(one), (low > 0 ? one.nodes : 0) + 1);
   for (long i = low + 2; i <= high; i++)
   {
      tail = Optional(Concat(tail, Built(one, one.nodes + 1)));
      if (Spent())
         return false;
   }
   piece = (low > 0) ? Concat(fixed, tail) : tail;
   return true;
}

double Estimate::Bytes()
{
   std::vector<Level> levels(1);
   while (*m_p != 0)
   {
      Level &level = levels.back();
      const char c = *m_p;
      long low = 0, high = 0;
      switch (c)
      {
         case '(':
            if (static_cast<int>(levels.size()) > PATTERN_MAX_NESTING)
               return kBeyond;
            levels.emplace_back();
            m_p++;
            break;
         case ')':
            m_p++;
            // An unmatched closing parenthesis is an ordinary character.
            if (levels.size() == 1)
            {
               Add(level, Built(kCharacter, 1));
               break;
            }
            {
               const Shape group = Built(Group(Finish(level)), 2);
               levels.pop_back();
               Add(levels.back(), group);
            }
            break;
         case '|':
            m_p++;
            level.alternatives = Built(Finish(level), 1);
            level.hasAlternatives = true;
            level.branch = kEmpty;
            break;
         case '*':
         case '+':
         case '?':
         case '{':
            if (c == '{')
            {
               const char *end = ReadRegexCount(m_p, &low, &high);
               if (end == nullptr)
               {
                  m_p++;   // no count: an ordinary character as far as size goes
                  Add(level, Built(kCharacter, 1));
                  break;
               }
               m_p = end;
            }
            else
            {
               m_p++;
               low = (c == '+') ? 1 : 0;
               high = (c == '?') ? 1 : -1;
            }
            if (low > REGEX_MAX_COUNT || high > REGEX_MAX_COUNT || (high >= 0 && low > high))
               return kBeyond;   // the compiler refuses these counts
            if (!level.hasPiece)
               Add(level, Built(kCharacter, 1));   // nothing to repeat: refused or literal
            else if (!Repeat(level.piece, low, high))
               return kBeyond;
            break;
         case '[':
            // Under a multibyte locale a bracket expression becomes a
            // branch between a byte set and a character set, with tables.
            m_p = SkipRegexBracket(m_p);
            Add(level, Built(kCharacter, kBracketNodes));
            break;
         case '^':
         case '$':
            m_p++;
            Add(level, Built(kAnchor, 1));
            break;
         case '\\':
            m_p++;
            if (*m_p == 0)
               break;
            // Word and buffer boundaries read no character; the classes
            // \w, \W, \s and \S are bracket expressions.
            if (strchr("bB<>`'", *m_p) != nullptr)
               Add(level, Built(kAnchor, 1));
            else
               Add(level, Built(kCharacter, strchr("wWsS", *m_p) != nullptr ? kBracketNodes : 1));
            m_p++;
            break;
         default:
            m_p++;
            Add(level, Built(kCharacter, 1));
            break;
      }
      if (Spent())
         return kBeyond;
   }
   // Groups left open make the compiler fail; size them as if closed.
   Shape whole = Finish(levels.back());
   for (levels.pop_back(); !levels.empty(); levels.pop_back())
   {
      Add(levels.back(), Built(Group(whole), 2));
      whole = Finish(levels.back());
   }
   if (whole.deepest > PATTERN_MAX_PATH || whole.entries * whole.cycles > kCycleWork)
      return kBeyond;
   m_work = m_built + whole.entries * (1 + whole.cycles);
   return m_built * kNodeBytes + whole.entries * kSetEntryBytes;
}
}

double EstimatePatternBytes(const char *pattern)
{
   return Estimate(pattern != nullptr ? pattern : "").Bytes();
}

double EstimatePatternWork(const char *pattern, double *bytes)
{
   Estimate estimate(pattern != nullptr ? pattern : "");
   const double size = estimate.Bytes();
   if (bytes != nullptr)
      *bytes = size;
   return estimate.Work();
}

int CompileScriptPattern(regex_t *expression, const char *pattern, int flags)
{
   if (EstimatePatternBytes(pattern) > PATTERN_BUDGET_BYTES)
      return REG_ESPACE;
   return regcomp(expression, pattern, flags);
}
