#include "support.h"

#include <cctype>

static inline bool SameChar(unsigned char a, unsigned char b, int caseSensitive)
{
   return caseSensitive ? a == b : tolower(a) == tolower(b);
}

int MatchString(const char *pattern, const char *subject, int caseSensitive)
{
   // Iterative matcher with one backtrack point: the most recent '*'.  Each
   // later star supersedes the earlier one, so the work stays linear in
   // pattern length times subject length at worst, never exponential.
   const char *p = pattern;
   const char *s = subject;
   const char *starP = nullptr;
   const char *starS = nullptr;

   while (*s != 0)
   {
      if (*p == '*')
      {
         starP = ++p;
         starS = s;
      }
      else if (*p != 0 && (*p == '?' || SameChar(*p, *s, caseSensitive)))
      {
         p++;
         s++;
      }
      else if (starP != nullptr)
      {
         p = starP;
         s = ++starS;
      }
      else
      {
         return 0;
      }
   }
   while (*p == '*')
      p++;
   return *p == 0 ? 1 : 0;
}
