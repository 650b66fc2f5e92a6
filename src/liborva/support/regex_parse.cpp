#include "support/regex_parse.h"

#include <cstring>

namespace
{

// Deeper nesting than this is left to the system's compiler.
const int MAX_DEPTH = 64;
// Larger counts make positions by the hundred; the program refuses them anyway.
const int MAX_COUNT = 255;

/* Where case is ignored the compiler reads the pattern, and the subject, upper-cased. */
unsigned char Upper(unsigned char c)
{
   return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

enum ByteClass
{
   CLASS_NONE, CLASS_ALPHA, CLASS_DIGIT, CLASS_ALNUM, CLASS_UPPER, CLASS_LOWER, CLASS_SPACE,
   CLASS_BLANK, CLASS_PUNCT, CLASS_PRINT, CLASS_GRAPH, CLASS_CNTRL, CLASS_XDIGIT
};

ByteClass NamedClass(const char *name, size_t length)
{
   static const char *const names[] = {"alpha", "digit", "alnum", "upper", "lower", "space",
                                       "blank", "punct", "print", "graph", "cntrl", "xdigit"};
   for (size_t i = 0; i < sizeof names / sizeof names[0]; i++)
      if (strlen(names[i]) == length && memcmp(names[i], name, length) == 0)
         return static_cast<ByteClass>(i + 1);
   return CLASS_NONE;
}

// The "C" locale's classes, which are all the parser is used in.
bool InClass(ByteClass named, int c)
{
   const bool upper = c >= 'A' && c <= 'Z', lower = c >= 'a' && c <= 'z', digit = c >= '0' && c <= '9';
   const bool alpha = upper || lower, graph = c > 0x20 && c < 0x7F;
   switch (named)
   {
   case CLASS_ALPHA:
      return alpha;
   case CLASS_DIGIT:
      return digit;
   case CLASS_ALNUM:
      return alpha || digit;
   case CLASS_UPPER:
      return upper;
   case CLASS_LOWER:
      return lower;
   case CLASS_SPACE:
      return c == ' ' || (c >= '\t' && c <= '\r');
   case CLASS_BLANK:
      return c == ' ' || c == '\t';
   case CLASS_PUNCT:
      return graph && !alpha && !digit;
   case CLASS_PRINT:
      return graph || c == ' ';
   case CLASS_GRAPH:
      return graph;
   case CLASS_CNTRL:
      return c < 0x20 || c == 0x7F;
   case CLASS_XDIGIT:
      return digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
   case CLASS_NONE:
      break;
   }
   return false;
}

class Parser
{
public:
   Parser(const char *pattern, bool ignoreCase, ORVA_RegexTree *tree)
      : m_p(reinterpret_cast<const unsigned char *>(pattern)), m_ignoreCase(ignoreCase), m_tree(tree)
   {
   }

   bool Parse()
   {
      const int root = Alternatives(0, true);
      if (root < 0 || *m_p != 0)
         return false;   // a ")" with no "(" the compiler takes as a character
      m_tree->root = root;
      for (ORVA_RegexNode &node : m_tree->nodes)
         if (node.kind == REGEX_NODE_BYTES && m_ignoreCase)
            node.bytes = Folded(node.bytes);
      return true;
   }

private:
   const unsigned char *m_p;
   bool m_ignoreCase;
   ORVA_RegexTree *m_tree;
   bool m_branchStart = true;   // nothing can come before the atom read

   int Add(ORVA_RegexNodeKind kind)
   {
      ORVA_RegexNode node;
      node.kind = kind;
      m_tree->nodes.push_back(node);
      return static_cast<int>(m_tree->nodes.size()) - 1;
   }

   unsigned char Read(unsigned char c) const { return m_ignoreCase ? Upper(c) : c; }

   // The subject bytes that, read as the compiler reads them, fall in set.
   std::bitset<256> Folded(const std::bitset<256> &set) const
   {
      std::bitset<256> folded;
      for (int c = 1; c < 256; c++)
         folded[c] = set[Read(static_cast<unsigned char>(c))];
      return folded;
   }

   // leading: nothing can come before what the alternatives match.
   int Alternatives(int depth, bool leading)
   {
      if (depth > MAX_DEPTH)
         return -1;
      const int first = Branch(depth, leading);
      if (first < 0 || *m_p != '|')
         return first;
      const int node = Add(REGEX_NODE_ALTERNATIVES);
      m_tree->nodes[node].children.push_back(first);
      while (*m_p == '|')
      {
         m_p++;
         const int next = Branch(depth, leading);
         if (next < 0)
            return -1;
         m_tree->nodes[node].children.push_back(next);
      }
      return node;
   }

   // An empty branch or group is taken by the compiler, but rarely meant: left to it.
   int Branch(int depth, bool leading)
   {
      std::vector<int> pieces;
      while (*m_p != 0 && *m_p != '|' && *m_p != ')')
      {
         m_branchStart = leading && pieces.empty();
         const int piece = Piece(depth);
         if (piece < 0)
            return -1;
         pieces.push_back(piece);
      }
      if (pieces.empty())
         return -1;
      if (pieces.size() == 1)
         return pieces[0];
      const int node = Add(REGEX_NODE_CONCAT);
      m_tree->nodes[node].children = pieces;
      return node;
   }

   int Piece(int depth)
   {
      const int atom = Atom(depth);
      if (atom < 0)
         return -1;
      int low = 0, high = 0;
      if (!Count(&low, &high))
         return atom;
      const ORVA_RegexNodeKind kind = m_tree->nodes[atom].kind;
      // A repeated anchor, or a count on a count, the compiler reads in its own way.
      if (low < 0 || kind == REGEX_NODE_BEGIN || kind == REGEX_NODE_END || IsCountAhead())
         return -1;
      const int node = Add(REGEX_NODE_REPEAT);
      m_tree->nodes[node].children.push_back(atom);
      m_tree->nodes[node].low = low;
      m_tree->nodes[node].high = high;
      return node;
   }

   bool Trailing(int depth) const
   {
      const unsigned char *p = m_p;
      int closing = 0;
      for (; *p == ')'; p++)
         closing++;
      return *p == 0 || (*p == '|' && closing == depth);
   }

   bool IsCountAhead() const { return *m_p == '*' || *m_p == '+' || *m_p == '?' || *m_p == '{'; }

   // Reads a count at m_p: false when there is none, low -1 when it is not one taken here.
   bool Count(int *low, int *high)
   {
      switch (*m_p)
      {
      case '*':
         m_p++;
         *low = 0, *high = -1;
         return true;
      case '+':
         m_p++;
         *low = 1, *high = -1;
         return true;
      case '?':
         m_p++;
         *low = 0, *high = 1;
         return true;
      case '{':
         break;
      default:
         return false;
      }
      m_p++;
      *low = -1;
      int n = 0;
      if (!Number(&n))
         return true;
      int m = n;
      if (*m_p == ',')
      {
         m_p++;
         m = -1;
         if (*m_p != '}' && !Number(&m))
            return true;
      }
      if (*m_p != '}' || (m >= 0 && m < n))
         return true;
      m_p++;
      *low = n, *high = m;
      return true;
   }

   bool Number(int *value)
   {
      if (*m_p < '0' || *m_p > '9')
         return false;
      int n = 0;
      for (; *m_p >= '0' && *m_p <= '9'; m_p++)
      {
         n = n * 10 + (*m_p - '0');
         if (n > MAX_COUNT)
            return false;
      }
      *value = n;
      return true;
   }

   int Bytes(const std::bitset<256> &bytes)
   {
      const int node = Add(REGEX_NODE_BYTES);
      m_tree->nodes[node].bytes = bytes;
      return node;
   }

   int Atom(int depth)
   {
      const unsigned char c = *m_p;
      std::bitset<256> bytes;
      switch (c)
      {
      case '(':
      {
         m_p++;
         const int group = ++m_tree->groups;
         const int inner = Alternatives(depth + 1, m_branchStart);
         if (inner < 0 || *m_p != ')')
            return -1;
         m_p++;
         const int node = Add(REGEX_NODE_GROUP);
         m_tree->nodes[node].group = group;
         m_tree->nodes[node].children.push_back(inner);
         return node;
      }
      // Where something may come before a "^", the compiler lets it hold
      // after a newline too, and the same for a "$" before one: only the
      // anchors at the very ends of the pattern or a top-level branch are taken.
      case '^':
         m_p++;
         return m_branchStart ? Add(REGEX_NODE_BEGIN) : -1;
      case '$':
         m_p++;
         return Trailing(depth) ? Add(REGEX_NODE_END) : -1;
      case '.':
         m_p++;
         bytes.set();
         bytes[0] = false;
         return Bytes(bytes);
      case '[':
         m_p++;
         return Bracket(&bytes) ? Bytes(bytes) : -1;
      case '\\':
      {
         // Only an escaped operator is surely a character; before a letter
         // or digit it may be a back-reference or a word operator.
         const unsigned char next = m_p[1];
         if (next == 0 || strchr("^.[]$()|*+?{}\\", next) == nullptr)
            return -1;
         m_p += 2;
         bytes[Read(next)] = true;
         return Bytes(bytes);
      }
      case '*':
      case '+':
      case '?':
      case '{':
      case '}':
         return -1;
      default:
         if (c >= 0x80)
            return -1;   // a byte beyond ASCII may be a character of the locale
         m_p++;
         bytes[Read(c)] = true;
         return Bytes(bytes);
      }
   }

   // After the "[": the set, with m_p past the closing "]".
   bool Bracket(std::bitset<256> *set)
   {
      const bool negated = *m_p == '^';
      if (negated)
         m_p++;
      bool first = true;
      for (;;)
      {
         const unsigned char c = *m_p;
         if (c == 0 || c >= 0x80)
            return false;
         if (c == ']' && !first)
         {
            m_p++;
            break;
         }
         const bool wasFirst = first;
         first = false;
         if (c == '[')
         {
            // A class; a collating element, an equivalence class or a
            // lone "[" are left to the compiler.
            if (m_p[1] != ':')
               return false;
            const char *name = reinterpret_cast<const char *>(m_p + 2);
            const char *close = strstr(name, ":]");
            ByteClass named = (close != nullptr) ? NamedClass(name, static_cast<size_t>(close - name)) : CLASS_NONE;
            if (named == CLASS_NONE)
               return false;
            // Without case "upper" and "lower" are letters.
            if (m_ignoreCase && (named == CLASS_UPPER || named == CLASS_LOWER))
               named = CLASS_ALPHA;
            for (int b = 1; b < 256; b++)
               if (InClass(named, b))
                  (*set)[b] = true;
            m_p = reinterpret_cast<const unsigned char *>(close + 2);
            continue;
         }
         // A "-" that neither opens nor closes the list, nor makes a range,
         // the compiler may take as a range's end.
         if (c == '-' && !wasFirst && m_p[1] != ']')
            return false;
         m_p++;
         if (*m_p == '-' && m_p[1] != ']')
         {
            const unsigned char end = m_p[1];
            if (end == 0 || end == '[' || end == '-' || end >= 0x80 || c == '-')
               return false;
            m_p += 2;
            const unsigned char from = Read(c), to = Read(end);
            if (from > to)
               return false;
            for (int b = from; b <= to; b++)
               (*set)[b] = true;
            continue;
         }
         (*set)[Read(c)] = true;
      }
      if (negated)
         set->flip();
      (*set)[0] = false;
      return true;
   }
};

}   // namespace

bool ParseRegexSubset(const char *pattern, bool ignoreCase, ORVA_RegexTree *tree)
{
   *tree = ORVA_RegexTree();
   return Parser(pattern, ignoreCase, tree).Parse();
}
