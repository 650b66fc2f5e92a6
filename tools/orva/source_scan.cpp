#include "source_scan.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <unordered_set>

namespace orva_cli
{

static const char *const s_keywords[] = {
   "array", "break", "case", "continue", "default", "do", "else", "exit", "for", "if", "NULL",
   "print", "println", "return", "sub", "switch", "int32", "int64", "real", "string", "uint32",
   "uint64", "use", "while", "like", "ilike", "match", "imatch"};

static const char *const s_twoCharSymbols[] = {
   "==", "!=", "<=", ">=", "<<", ">>", "&&", "||", "++", "--", "->", "~="};

// The letters of the language's names are ASCII ones, as the compiler's
// scanner has them, whatever the locale would call a letter.
static bool IsNameStart(int c)
{
   return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}

static bool IsNameChar(int c)
{
   return IsNameStart(c) || (c >= '0' && c <= '9');
}

// Keywords are few and short: those of the word's first letter are tried
// in place, where a hashed lookup would hash every name a script has.
static bool IsKeyword(const char *word, size_t length)
{
   struct Table
   {
      std::vector<std::string_view> byFirst[128];
      Table()
      {
         for (const char *k : s_keywords)
            byFirst[static_cast<unsigned char>(k[0])].push_back(k);
      }
   };
   static const Table table;
   const unsigned char first = static_cast<unsigned char>(word[0]);
   if (length < 2 || first >= 128)
      return false;
   for (std::string_view k : table.byFirst[first])
      if (k.size() == length && memcmp(k.data(), word, length) == 0)
         return true;
   return false;
}

// Bytes past the end read as 0, which belongs to no token.
static int At(const std::string &s, size_t i)
{
   return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
}

// The length of the symbol at i: two characters for the operators that
// have two, else one.
static size_t SymbolLength(const std::string &s, size_t i)
{
   const int c = At(s, i);
   switch (c)
   {
      case '=': case '!': case '<': case '>': case '&': case '|': case '+': case '-': case '~':
         break;
      default:
         return 1;
   }
   const int next = At(s, i + 1);
   for (const char *op : s_twoCharSymbols)
      if (c == op[0] && next == static_cast<unsigned char>(op[1]))
         return 2;
   return 1;
}

// Skips the body of a block comment from i, where *level comments are open
// (they nest); stops after the last one closes or at the end of the text.
static size_t SkipCommentBody(const std::string &s, size_t i, int *level)
{
   while (i < s.size() && *level > 0)
   {
      if (s[i] == '/' && At(s, i + 1) == '*')
      {
         ++*level;
         i += 2;
      }
      else if (s[i] == '*' && At(s, i + 1) == '/')
      {
         --*level;
         i += 2;
      }
      else
      {
         i++;
      }
   }
   return i;
}

static size_t ScanString(const std::string &s, size_t i)
{
   // A backslash before a quote always escapes it, even after another
   // backslash; a line feed ends the literal (the compiler reports it).
   size_t j = i + 1;
   while (j < s.size() && s[j] != '"' && s[j] != '\n')
      j += (s[j] == '\\' && At(s, j + 1) == '"') ? 2 : 1;
   if (j < s.size() && s[j] == '"')
      j++;
   return j;
}

static size_t ScanNumber(const std::string &s, size_t i)
{
   size_t j = i;
   if (s[j] == '-')
      j++;
   if (s[j] == '0' && At(s, j + 1) == 'x' && isxdigit(At(s, j + 2)))
   {
      j += 2;
      while (isxdigit(At(s, j)))
         j++;
   }
   else
   {
      while (isdigit(At(s, j)))
         j++;
      if (At(s, j) == '.' && isdigit(At(s, j + 1)))
      {
         j++;
         while (isdigit(At(s, j)))
            j++;
         return j;   // reals take no suffix
      }
   }
   if (At(s, j) == 'U')
      j += (At(s, j + 1) == 'L') ? 2 : 1;
   else if (At(s, j) == 'L')
      j += (At(s, j + 1) == 'U') ? 2 : 1;
   return j;
}

static size_t ScanName(const std::string &s, size_t i, bool *compound)
{
   size_t j = i + 1;
   *compound = false;
   for (;;)
   {
      while (IsNameChar(At(s, j)))
         j++;
      if (At(s, j) == ':' && At(s, j + 1) == ':' && IsNameStart(At(s, j + 2)))
      {
         *compound = true;
         j += 3;
         continue;
      }
      return j;
   }
}

std::vector<Token> ScanTokens(const std::string &s)
{
   int level = 0;
   return ScanContinued(s, &level);
}

// Past white space and comments from i: where the next token starts.
static size_t SkipSpace(const std::string &s, size_t i, int *commentLevel)
{
   while (i < s.size())
   {
      const int c = At(s, i);
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
         i++;
      else if (c == '/' && At(s, i + 1) == '/')
      {
         while (i < s.size() && s[i] != '\n')
            i++;
      }
      else if (c == '/' && At(s, i + 1) == '*')
      {
         *commentLevel = 1;
         i = SkipCommentBody(s, i + 2, commentLevel);
      }
      else
         break;
   }
   return i;
}

bool HasTokens(const std::string &s)
{
   int level = 0;
   return SkipSpace(s, SkipCommentBody(s, 0, &level), &level) < s.size();
}

std::vector<Token> ScanContinued(const std::string &s, int *commentLevel)
{
   // A text has at most one token a byte, and code one every few bytes:
   // room for one in two is reserved, which costs no memory until it is
   // written, so that the tokens of a large script are not moved about as
   // the vector grows (that cost more than the scan itself).  A denser text
   // grows it once at most; the guess is bounded for a huge one.
   std::vector<Token> tokens;
   tokens.reserve(std::min(s.size() / 2 + 16, static_cast<size_t>(1) << 22));
   size_t counted = 0;   // line feeds before here are in line
   int line = 1;
   for (size_t i = SkipSpace(s, SkipCommentBody(s, 0, commentLevel), commentLevel); i < s.size();
        i = SkipSpace(s, i, commentLevel))
   {
      const int c = At(s, i);
      const size_t begin = i;
      line += static_cast<int>(std::count(s.begin() + static_cast<std::ptrdiff_t>(counted),
                                          s.begin() + static_cast<std::ptrdiff_t>(i), '\n'));
      counted = i;
      TokenKind kind;
      if (c == '"')
      {
         kind = TokenKind::Text;
         i = ScanString(s, i);
      }
      else if (IsNameStart(c))
      {
         bool compound;
         i = ScanName(s, i, &compound);
         kind = (!compound && IsKeyword(s.data() + begin, i - begin)) ? TokenKind::Keyword : TokenKind::Name;
      }
      else if (isdigit(c) || (c == '-' && isdigit(At(s, i + 1))))
      {
         kind = TokenKind::Number;
         i = ScanNumber(s, i);
      }
      else
      {
         kind = TokenKind::Symbol;
         i += SymbolLength(s, i);
      }
      tokens.push_back(Token{kind, line, std::string(s.data() + begin, i - begin), begin, i});
   }
   return tokens;
}

std::vector<std::string> VariableNames(const std::vector<Token> &tokens)
{
   std::vector<std::string> names;
   std::unordered_set<std::string> seen;
   for (size_t k = 0; k < tokens.size(); k++)
   {
      const Token &t = tokens[k];
      if (t.kind != TokenKind::Name || t.text[0] == '$' || t.text.find(':') != std::string::npos)
         continue;
      if (k + 1 < tokens.size() && tokens[k + 1].Is("("))
         continue;   // a call
      if (k > 0 && tokens[k - 1].Is("->"))
         continue;   // an attribute
      if (seen.insert(t.text).second)
         names.push_back(t.text);
   }
   return names;
}

std::vector<std::string> CalledNames(const std::vector<Token> &tokens)
{
   std::vector<std::string> names;
   std::unordered_set<std::string> seen;
   for (size_t k = 0; k + 1 < tokens.size(); k++)
   {
      const Token &t = tokens[k];
      if (t.kind != TokenKind::Name || !tokens[k + 1].Is("(") || (k > 0 && tokens[k - 1].Is("sub")))
         continue;
      if (seen.insert(t.text).second)
         names.push_back(t.text);
   }
   return names;
}

size_t MatchingClose(const std::vector<Token> &tokens, size_t open, const char *o, const char *c)
{
   int depth = 0;
   for (size_t k = open; k < tokens.size(); k++)
   {
      if (tokens[k].Is(o))
         depth++;
      else if (tokens[k].Is(c) && --depth == 0)
         return k;
   }
   return tokens.size();
}

bool IsTopLevelAssignment(const std::vector<Token> &tokens)
{
   // Assignment binds loosest, so a text that starts with its target is an
   // assignment as a whole.
   if (tokens.size() < 3 || tokens[0].kind != TokenKind::Name)
      return false;
   size_t k = 1;
   if (tokens[k].Is("["))
   {
      k = MatchingClose(tokens, k, "[", "]") + 1;
      if (k >= tokens.size())
         return false;
   }
   return tokens[k].Is("=");
}

bool SplitDefinitions(const std::string &source, const std::vector<Token> &tokens,
                      std::vector<Definition> *definitions)
{
   definitions->clear();
   size_t k = 0;
   while (k < tokens.size())
   {
      Definition d;
      size_t last;
      if (tokens[k].Is("use") && k + 1 < tokens.size())
      {
         std::string name = tokens[k + 1].text;
         std::transform(name.begin(), name.end(), name.begin(),
                        [](unsigned char ch) { return static_cast<char>(tolower(ch)); });
         d.key = "use " + name;
         last = k + 1;
         while (last < tokens.size() && !tokens[last].Is(";"))
            last++;
      }
      else if (tokens[k].Is("sub") && k + 1 < tokens.size())
      {
         d.key = "sub " + tokens[k + 1].text;
         size_t open = k + 1;
         while (open < tokens.size() && !tokens[open].Is("{"))
            open++;
         last = MatchingClose(tokens, open, "{", "}");
      }
      else
      {
         return false;
      }
      if (last >= tokens.size())
         return false;
      d.text = source.substr(tokens[k].begin, tokens[last].end - tokens[k].begin);
      definitions->push_back(std::move(d));
      k = last + 1;
   }
   return true;
}

}
