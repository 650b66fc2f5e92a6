/*
 * The command at language level 2: --language reaches every way in (-e,
 * -c, -d, a script and its module files, the prompt), and level 1 stays
 * the default.
 */
#include "tools/command_runner.h"

TEST_F(OrvaCommand, LanguageOptionReachesEveryWayIn)
{
   const char *counting = "c = {}; for (k, w in [\"a\", \"b\", \"a\"]) c[w]++; return c[\"a\"] . \"/\" . c[\"b\"];";
   Outcome o = Run({"--language", "2", "-r", "-e", counting});
   EXPECT_EQ(o.status, 0) << o.err;
   EXPECT_EQ(o.out, "2/1\n");
   // Level 1 is the default, and reads the same text as it always did.
   o = Run({"-e", counting});
   EXPECT_EQ(o.status, 3);
   EXPECT_TRUE(Contains(o.err, "syntax error")) << o.err;
   o = Run({"--language=1", "-e", "x = [1];"});
   EXPECT_EQ(o.status, 3);

   Script("l2.orva", "use tally2;\nsub main()\n{\n   n = 0;\n   for (i = 0; i < 3; i++) n += i;\n"
                     "   t = tally([\"x\", \"x\"]);\n   println n . \" \" . t[\"x\"];\n}\n");
   Script("tally2.orva", "sub tally(words)\n{\n   t = {};\n   for (k, w in words) t[w] .= \"+\";\n   return t;\n}\n");
   o = Run({"--language", "2", "l2.orva"});
   EXPECT_EQ(o.status, 0) << o.err;
   EXPECT_EQ(o.out, "3 ++\n");
   o = Run({"--language", "2", "-c", "--strict", "l2.orva"});
   EXPECT_EQ(o.status, 0) << o.err;
   EXPECT_EQ(o.err, "");
   // At level 1 the module file is compiled at level 1 too.
   o = Run({"-c", "tally2.orva"});
   EXPECT_EQ(o.status, 3);

   o = Run({"--language", "2", "-c", "-d", "-e", "a[\"k\"] ?? 0"});
   EXPECT_EQ(o.status, 0) << o.err;
   EXPECT_TRUE(Contains(o.out, "KGET") && Contains(o.out, "JNNK")) << o.out;

   o = Run({"--language", "2", "-i"}, "h = {};\nh[\"a\"] += 2;\nh[\"a\"]\nfor (k, v in h) println k . \"=\" . v;\n");
   EXPECT_EQ(o.status, 0) << o.err;
   EXPECT_EQ(o.out, "2\na=2\n");
}

TEST_F(OrvaCommand, LanguageOptionTakesOnlyTheKnownLevels)
{
   for (const char *level : {"0", "3", "", "2x", "one"})
   {
      Outcome o = Run({"--language", level, "-e", "1"});
      EXPECT_EQ(o.status, 2) << level;
      EXPECT_TRUE(Contains(o.err, "--language needs 1 or 2")) << o.err;
   }
   Outcome o = Run({"--help"});
   EXPECT_TRUE(Contains(o.out, "--language N")) << o.out;
}

// The notes after a syntax error do not advise against what level 2 has.
TEST_F(OrvaCommand, Level2ErrorsLeaveOutLevel1Advice)
{
   Outcome o = Run({"--language", "2", "-e", "sub main() { a[1] += ; for (;;) ; }"});
   EXPECT_EQ(o.status, 3);
   EXPECT_FALSE(Contains(o.err, "has no")) << o.err;
   o = Run({"--language", "2", "-e", "sub main() { a |= 1; }"});
   EXPECT_TRUE(Contains(o.err, "has no `|=`")) << o.err;
   o = Run({"-e", "sub main() { a[1] += 1; }"});
   EXPECT_TRUE(Contains(o.err, "has no `+=`")) << o.err;
}
