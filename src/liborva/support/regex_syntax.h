/*
 * The pieces of extended regular-expression syntax that the pattern
 * estimates read the same way the system's compiler does: counts in braces
 * and bracket expressions.  Both the size estimate and the match-cost
 * reading step over them here, so that they never disagree on where a piece
 * ends.
 */
#ifndef ORVA_SUPPORT_REGEX_SYNTAX_H
#define ORVA_SUPPORT_REGEX_SYNTAX_H

/* The largest count the system's compiler takes; numbers beyond it stop
 * growing here, and the compiler refuses them. */
const long REGEX_MAX_COUNT = 0x7FFF;

/*
 * Reads "{n}", "{n,}", "{n,m}", "{,m}" or "{,}" (as "*") at brace; high is
 * -1 for no upper bound.  Null when the text there is no count (the brace is
 * then an ordinary character), else where the count ends.
 */
inline const char *ReadRegexCount(const char *brace, long *low, long *high)
{
   const char *p = brace + 1;
   auto number = [&p](long *value) {
      if (*p < '0' || *p > '9')
         return false;
      long n = 0;
      for (; *p >= '0' && *p <= '9'; p++)
         if (n <= REGEX_MAX_COUNT)
            n = n * 10 + (*p - '0');
      *value = n;
      return true;
   };
   const bool hasLow = number(low);
   if (!hasLow)
      *low = 0;
   if (*p == ',')
   {
      p++;
      if (!number(high))
         *high = -1;
   }
   else if (hasLow)
      *high = *low;
   else
      return nullptr;
   return (*p == '}') ? p + 1 : nullptr;
}

/*
 * Where the bracket expression opened at open ends: past the first "]" that
 * is not its first member.  A longer reading by the compiler (a collating
 * element "[.].]") only makes the estimates larger.
 */
inline const char *SkipRegexBracket(const char *open)
{
   const char *p = open + 1;
   if (*p == '^')
      p++;
   if (*p == ']')
      p++;
   while (*p != 0 && *p != ']')
      p++;
   return (*p == ']') ? p + 1 : p;
}

#endif
