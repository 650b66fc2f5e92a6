/*
 * The syntax tree of a pattern in the part of the extended syntax that the
 * engine's matcher takes.  The parser refuses, rather than guesses, any
 * piece the system's compiler might read otherwise: a refused pattern is
 * matched by the system's matcher as it always was.
 */
#ifndef ORVA_SUPPORT_REGEX_PARSE_H
#define ORVA_SUPPORT_REGEX_PARSE_H

#include <bitset>
#include <vector>

enum ORVA_RegexNodeKind
{
   REGEX_NODE_BYTES,     // one byte out of a set
   REGEX_NODE_CONCAT,
   REGEX_NODE_ALTERNATIVES,
   REGEX_NODE_GROUP,
   REGEX_NODE_REPEAT,    // low to high times; high -1 for no bound
   REGEX_NODE_BEGIN,     // "^"
   REGEX_NODE_END,       // "$"
};

struct ORVA_RegexNode
{
   ORVA_RegexNodeKind kind = REGEX_NODE_BYTES;
   std::bitset<256> bytes;      // the subject bytes it takes, case folded already
   std::vector<int> children;   // indexes into the tree's nodes
   int group = 0;               // 1-based, for a group
   int low = 0, high = 0;       // for a repetition
};

struct ORVA_RegexTree
{
   std::vector<ORVA_RegexNode> nodes;
   int root = -1;
   int groups = 0;
};

/*
 * Parses pattern as the system's compiler does with REG_EXTENDED (and
 * REG_ICASE when ignoreCase) in the "C" locale.  False when the pattern
 * holds anything outside the subset taken here.
 */
bool ParseRegexSubset(const char *pattern, bool ignoreCase, ORVA_RegexTree *tree);

#endif
