/*
 * A light token scanner for text typed at the prompt or given with -e.
 *
 * The library's own compiler decides whether a text is valid; this scanner
 * only answers the questions the command has to ask before compiling: which
 * form the text has, which variable names it mentions, and where the function
 * definitions of a module text begin and end.  It follows the language's
 * token rules for names, numbers, string literals and comments so that none
 * of these is mistaken for another.
 */
#ifndef ORVA_CLI_SOURCE_SCAN_H
#define ORVA_CLI_SOURCE_SCAN_H

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace orva_cli
{

enum class TokenKind
{
   Name,       // identifier, possibly joined with ::
   Keyword,
   Text,       // string literal, quotes included
   Number,
   Symbol      // operator or punctuation, also any character that starts no token
};

// The small fields first: a script of many tokens holds one per token.
struct Token
{
   TokenKind kind;
   int line;       // the line it starts on, from 1, in the scanned text
   std::string text;
   size_t begin;   // byte offsets into the scanned text
   size_t end;

   // The first byte decides most tests before the whole text is compared;
   // inline, a literal's length and comparison fold to a few instructions.
   bool Is(const char *s) const
   {
      if ((kind != TokenKind::Symbol && kind != TokenKind::Keyword) || text[0] != s[0])
         return false;
      const size_t length = strlen(s);
      return text.size() == length && memcmp(text.data(), s, length) == 0;
   }
};

std::vector<Token> ScanTokens(const std::string &source);

// Whether source holds anything but white space and comments.
bool HasTokens(const std::string &source);

// Index of the token that closes the bracket opened at tokens[open] (o and c
// are the pair, "(" and ")" say), or the token count when it is never closed.
size_t MatchingClose(const std::vector<Token> &tokens, size_t open, const char *o, const char *c);

// Scans text that goes on from text scanned before, such as the next line of
// an input: *commentLevel is the nesting of block comments open at its start,
// and is left as the nesting open at its end.
std::vector<Token> ScanContinued(const std::string &source, int *commentLevel);

// Names of variables that the tokens read or assign: plain identifiers that
// are neither called nor attributes, without argument variables ($1...).
// Each name appears once, in order of first use.
std::vector<std::string> VariableNames(const std::vector<Token> &tokens);

// Names that the tokens call ("f" of "f(x)"), each once, in order of first
// call; the name of a function being defined is not a call.
std::vector<std::string> CalledNames(const std::vector<Token> &tokens);

// True when the text is an assignment at its top level ("x = ..." or
// "a[i] = ..."), whose value the prompt does not echo.
bool IsTopLevelAssignment(const std::vector<Token> &tokens);

// One function definition or use statement of a module text.
struct Definition
{
   std::string key;    // "sub NAME" or "use name" (module names ignore case)
   std::string text;
};

// Splits a module text (one that compiled) into its definitions; false when
// the tokens do not have the shape of a module.
bool SplitDefinitions(const std::string &source, const std::vector<Token> &tokens,
                      std::vector<Definition> *definitions);

}

#endif
