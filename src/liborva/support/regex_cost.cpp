/*
 * Bounding a match's cost by the pattern's structure: how many positions
 * it has, how far a scan from one start can go, and how many positions can
 * be live at once.
 */
#include "support/regex_cost.h"
#include "support/regex_syntax.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstring>

namespace
{
/*
 * Positions and ambiguity of a piece of the pattern.  While a scan from one
 * start has met only pieces that match in one way (characters, bracket
 * expressions, fixed counts of them), one position is live at a time, so
 * those positions add one state each.  Past the first piece that can match
 * in more than one way (an option, a repetition, an alternation) positions
 * can be live together: a literal character there adds only a state of
 * its own (what is live behind it is fixed by the bytes it matched), but
 * every bracket expression or "." can double the states.
 */
struct Piece
{
   double literals = 0;
   double classes = 0;
   bool ambiguous = false;
};

struct Sequence
{
   double fixed = 0;        // positions before the first ambiguous piece
   double fixedClasses = 0; // the classes among them
   double literals = 0;     // literal positions from it on
   double classes = 0;      // class positions from it on
   bool ambiguous = false;
   bool alternatives = false;

   void Append(const Piece &piece)
   {
      if (!ambiguous && !piece.ambiguous)
      {
         fixed += piece.literals + piece.classes;
         fixedClasses += piece.classes;
         return;
      }
      ambiguous = true;
      literals += piece.literals;
      classes += piece.classes;
   }

   Piece AsPiece() const
   {
      // Where the piece goes decides whether its classes can double the
      // states: its positions are told as they are.
      Piece piece;
      piece.literals = fixed - fixedClasses + literals;
      piece.classes = fixedClasses + classes;
      piece.ambiguous = ambiguous || alternatives;
      return piece;
   }
};

// Positions beyond this stand for "too many to count": every bound saturates.
const double kMany = 1e12;

class Reader
{
public:
   explicit Reader(const char *pattern) : m_p(pattern) {}

   ORVA_RegexShape Read()
   {
      ORVA_RegexShape shape;
      const char *start = m_p;
      Sequence whole = ReadAlternatives(0);
      shape.unbounded = m_unbounded;
      shape.backReference = m_backReference;
      shape.anchored = start[0] == '^' && !whole.alternatives;
      if (!whole.alternatives && start[0] != 0 && strchr("()[].^$\\|*+?{", start[0]) == nullptr &&
          (start[1] == 0 || strchr("*?{|", start[1]) == nullptr))
         shape.firstByte = static_cast<unsigned char>(start[0]);
      const Piece all = whole.AsPiece();
      shape.positions = std::min(kMany, all.literals + all.classes);
      double states;
      if (!whole.ambiguous && !whole.alternatives)
         states = whole.fixed + 2;
      else
      {
         const double literals = whole.alternatives ? all.literals : whole.literals;
         const double classes = whole.alternatives ? all.classes : whole.classes;
         const double fixed = whole.alternatives ? 0 : whole.fixed;
         states = fixed + 1 + (literals + 1) * std::pow(2.0, std::min(classes, 60.0));
      }
      // Word and line contexts split states: four of each at most.
      shape.states = std::min(kMany, 4 * states);
      return shape;
   }

private:
   const char *m_p;
   bool m_unbounded = false;
   bool m_backReference = false;

   Sequence ReadAlternatives(int depth)
   {
      Sequence result;
      Piece all;
      bool several = false;
      for (;;)
      {
         Sequence branch = ReadSequence(depth);
         if (*m_p != '|')
         {
            if (!several)
               return branch;
            const Piece last = branch.AsPiece();
            all.literals += last.literals;
            all.classes += last.classes;
            result.alternatives = true;
            result.ambiguous = true;
            result.literals = all.literals;
            result.classes = all.classes;
            return result;
         }
         m_p++;
         several = true;
         const Piece piece = branch.AsPiece();
         all.literals += piece.literals;
         all.classes += piece.classes;
      }
   }

   Sequence ReadSequence(int depth)
   {
      Sequence sequence;
      while (*m_p != 0 && *m_p != '|' && !(*m_p == ')' && depth > 0))
      {
         Piece piece = ReadAtom(depth);
         ReadRepetitions(&piece);
         sequence.Append(piece);
      }
      return sequence;
   }

   Piece ReadAtom(int depth)
   {
      Piece piece;
      const char c = *m_p++;
      switch (c)
      {
         case '(':
         {
            Sequence inner = ReadAlternatives(depth + 1);
            if (*m_p == ')')
               m_p++;
            return inner.AsPiece();
         }
         case '[':
            m_p = SkipRegexBracket(m_p - 1);
            piece.classes = 1;
            return piece;
         case '.':
            piece.classes = 1;
            return piece;
         case '^':
         case '$':
            return piece;   // reads nothing
         case '\\':
            if (*m_p == 0)
               return piece;
            if (*m_p >= '1' && *m_p <= '9')
               m_backReference = true;
            if (strchr("bB<>`'", *m_p) != nullptr)
            {
               m_p++;
               return piece;
            }
            if (strchr("wWsS", *m_p) != nullptr)
               piece.classes = 1;
            else
               piece.literals = 1;
            m_p++;
            return piece;
         default:
            piece.literals = 1;
            return piece;
      }
   }

   void ReadRepetitions(Piece *piece)
   {
      for (;;)
      {
         long low = 0, high = 0;
         const char c = *m_p;
         if (c == '*' || c == '+' || c == '?')
         {
            m_p++;
            low = (c == '+') ? 1 : 0;
            high = (c == '?') ? 1 : -1;
         }
         else if (c != '{')
            return;
         else if (const char *end = ReadRegexCount(m_p, &low, &high))
            m_p = end;
         else
            return;
         // The compiler lays out the copies it repeats: low of them and one
         // looping copy, or high of them.
         const double copies = (high < 0) ? static_cast<double>(low) + 1 : static_cast<double>(std::max(high, 1L));
         piece->literals = std::min(kMany, piece->literals * copies);
         piece->classes = std::min(kMany, piece->classes * copies);
         if (high < 0)
            m_unbounded = true;
         if (low != high)
            piece->ambiguous = true;
      }
   }
};
}

ORVA_RegexShape MeasureRegex(const char *pattern)
{
   return Reader(pattern != nullptr ? pattern : "").Read();
}

double RegexStateBytes(const ORVA_RegexShape &shape)
{
   // A transition table of 256 entries, and the sets of positions the
   // state holds and reaches (measured: some 9 KB for 21 positions); the
   // sets are of the positions live at once, seldom more than a few dozen.
   return 4096 + 256 * std::min(shape.positions, 64.0);
}

double RegexStarts(const ORVA_RegexShape &shape, const char *subject, uint64_t length, bool ignoreCase)
{
   if (shape.anchored)
      return 1;
   if (shape.firstByte < 0)
      return static_cast<double>(length) + 1;
   // The matcher skips to the bytes a match can start with.
   const int lower = tolower(shape.firstByte), upper = toupper(shape.firstByte);
   double starts = 1;
   for (uint64_t i = 0; i < length; i++)
   {
      const int c = static_cast<unsigned char>(subject[i]);
      if (c == shape.firstByte || (ignoreCase && (c == lower || c == upper)))
         starts++;
   }
   return starts;
}

double RegexSteps(const ORVA_RegexShape &shape, double starts, uint64_t length)
{
   // A byte of a multibyte character may be read by a class.
   double reach = static_cast<double>(length) + 1;
   if (!shape.unbounded)
      reach = std::min(reach, 4 * shape.positions + 1);
   return starts * reach;
}

double RegexStateUnits(const ORVA_RegexShape &shape)
{
   // Making a state takes some 36 ns a byte of it on the machines measured.
   return 4 * RegexStateBytes(shape);
}
