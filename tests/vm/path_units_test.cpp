// The fast paths (fused instructions, typed shortcuts) are an optimisation
// of the plain ones, never a way around the instruction limit: a script
// spends the same units either way.  The units a run spends are measured as
// the smallest instruction limit it completes under.
#include "orva.h"
#include "vm/engine.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
bool CompletesUnder(ORVA_Program *program, uint64 limit)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->SetInstructionLimit(limit);
   const int rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   if (rc != 0)
   {
      EXPECT_EQ(program->GetStopReason(), ORVA_STOP_INSTRUCTIONS) << program->GetErrorText();
   }
   return rc == 0;
}

// The smallest limit the script completes under, on the fast or the plain paths.
uint64 UnitsSpent(const char *source, bool plain)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   EXPECT_NE(program, nullptr) << error;
   if (program == nullptr)
      return 0;
   ORVA_Engine::UseGeneralPathsOnly(program, plain);
   uint64 high = 1024;
   while (!CompletesUnder(program, high) && high < (uint64(1) << 40))
      high *= 2;
   uint64 low = 0;   // fails under low (or low is 0), completes under high
   while (high - low > 1)
   {
      const uint64 middle = low + (high - low) / 2;
      if (CompletesUnder(program, middle))
         high = middle;
      else
         low = middle;
   }
   delete program;
   return high;
}
}

TEST(PathUnits, FastAndPlainPathsSpendTheSameUnits)
{
   const char *scripts[] = {
      // Texts compared on the typed shortcut and in jumps fused with it.
      "sub main() { a = left(\"\", 65536, \"a\"); b = left(\"\", 65536, \"a\"); c = b . \"x\";\n"
      "  i = 0; n = 0; while (i < 20) { if (a == b) n++; if (a != c) n++; t = (a == b); i++; } return n; }",
      // Appends to shared and to own texts.
      "sub main() { a = left(\"\", 65536, \"a\"); s = \"\";\n"
      "  i = 0; while (i < 20) { t = a . \"x\"; s = s . i; i++; } return length(t) + length(s); }",
      // Numbers: fused operators, steps, jumps.
      "sub main() { i = 0; s = 0; while (i < 500) { s = s + i * 2 - 1; if (s > 100000) s = s % 7; i++; } return s; }",
      // Arrays: fused element reads and stores, copies.
      "sub main() { array a; i = 0; while (i < 300) { a[i] = i; v = a[i]; a[i] = v + 1; i++; }\n"
      "  b = a; b[0] = 5; return a[299] + b[0]; }",
      // Calls, recursion, arguments.
      "sub f(n) { if (n < 2) return n; return f(n - 1) + f(n - 2); }\n"
      "sub main() { return f(14); }",
      // Switch on texts and patterns.
      "sub main() { n = 0; i = 0; while (i < 100) { switch (\"k\" . (i % 3)) { case \"k0\": n++; break; default: n--; }\n"
      "  if ((\"name\" . i) like \"name1*\") n = n + 10; i++; } return n; }",
      // main's own length.
      "sub main() { a = 1; b = 2; c = a + b; d = c * 2; e = d - a; f = e . \"\"; return f; }",
   };
   for (const char *script : scripts)
   {
      SCOPED_TRACE(script);
      const uint64 fast = UnitsSpent(script, false);
      const uint64 plain = UnitsSpent(script, true);
      EXPECT_GT(fast, 1u);
      EXPECT_EQ(fast, plain);
   }
}
