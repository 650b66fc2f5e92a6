// The orva command's message when a match is refused before it starts: it
// says why, not merely which limit.
#include "tools/command_runner.h"

namespace
{

TEST_F(OrvaCommand, ARefusedMatchSaysItsWorstCaseCouldPassTheLimit)
{
   Script("ab.orva", "sub main() {\n  t = replace(left(\"\", 10000, \"a\"), \"a\", \"ab\");\n"
                     "  r = t match \"[ab]*a[ab]{18}c\";\n  println r;\n}\n");
   Outcome o = Run({"--timeout", "1", "ab.orva"});
   EXPECT_EQ(o.status, 4);
   EXPECT_EQ(o.err, "ab.orva:3: time limit reached (the match was refused: its worst case could pass the limit)\n");
   o = Run({"--max-instructions", "1000000", "--timeout", "1", "--max-memory", "8M", "ab.orva"});
   EXPECT_EQ(o.status, 4);
   EXPECT_EQ(o.err,
             "ab.orva:3: instruction limit reached (the match was refused: its worst case could pass the limit)\n");
   o = Run({"--max-memory", "8M", "ab.orva"});
   EXPECT_EQ(o.err, "ab.orva:3: memory limit reached (the match was refused: its worst case could pass the limit)\n");
}

}
