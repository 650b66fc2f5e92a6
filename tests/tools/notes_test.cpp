// What the command adds to the library's error texts: the name at fault in
// a run-time error, the fix for common syntax slips, and the exit status a
// script sets for itself.
#include "tools/command_runner.h"

namespace
{

TEST_F(OrvaCommand, RunErrorsNameTheFunctionOrVariableAtFault)
{
   Script("misspelt.orva", "sub main()\n{\n   println lenght(\"abc\");\n}\n");
   Outcome o = Run({"misspelt.orva"});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.err, "misspelt.orva:3: error 11: Function not found\n"
                    "misspelt.orva:3: note: no function is named `lenght`; did you mean `length`?\n");

   // Nothing close: the name alone.
   Script("unknown.orva", "sub main() { return zzqqxx(1); }\n");
   EXPECT_EQ(Run({"unknown.orva"}).err, "unknown.orva:1: error 11: Function not found\n"
                                        "unknown.orva:1: note: no function is named `zzqqxx`\n");

   // The counts of a bad call, in a function main called.
   Script("count.orva", "sub cut(t)\n{\n   return substr(t);\n}\nsub main() { cut(\"abc\"); }\n");
   EXPECT_EQ(Run({"count.orva"}).err, "count.orva:3: error 12: Invalid number of function's arguments\n"
                                      "count.orva:3: note: `substr` was called with 1 argument but takes 2 or 3\n"
                                      "count.orva:3: note: in cut()\n"
                                      "count.orva:5: note: called from main()\n");
   EXPECT_EQ(Run({"-e", "pow(2)"}).err, "(command line):1: error 12: Invalid number of function's arguments\n"
                                        "(command line):1: note: `pow` was called with 1 argument but takes 2\n");

   // A variable nothing assigned, found where the null made the error.
   Script("null.orva", "sub main()\n{\n   count = 1;\n   total = cuont + 1;\n}\n");
   EXPECT_EQ(Run({"null.orva"}).err, "null.orva:4: error 5: Invalid operation with NULL value\n"
                                     "null.orva:4: note: `cuont` is never assigned in main(), so it is null\n");
   // At the prompt, variables of earlier inputs are assigned.
   EXPECT_EQ(Run({"-i"}, "x = 1\ny = x + z\n").err,
             "(prompt):1: error 5: Invalid operation with NULL value\n"
             "(prompt):1: note: `z` is never assigned in main(), so it is null\n");
   // A null that came from elsewhere gets no guess.
   Script("nullarg.orva", "sub main()\n{\n   x = NULL;\n   y = x + 1;\n}\n");
   EXPECT_EQ(Run({"nullarg.orva"}).err, "nullarg.orva:4: error 5: Invalid operation with NULL value\n");
}

TEST_F(OrvaCommand, CommonSyntaxSlipsGetTheirFix)
{
   struct
   {
      const char *line;
      const char *note;
   } cases[] = {
      {"   x = n-1;", "`n-1` reads as `n` followed by the number `-1`: write `n - 1`"},
      {"   x = n -1;", "`n -1` reads as `n` followed by the number `-1`: write `n - 1`"},
      {"   x += 2;", "ORVA has no `+=`: write `x = x + 2`"},
      {"   s .= \"b\";", "ORVA has no `.=`: write `s = s . \"b\"`"},
      {"   for (i = 0; i < 3; i++) println i;", "ORVA has no `for` loop: write `i = 0; while (i < n) { ...; i++; }`"},
      {"   a[i]++;", "`++` does not work on an array element: write `a[i] = a[i] + 1`"},
      {"   println \"C:\\dir\\\";",
       "a backslash before a quote keeps the text open: write `\\\\` for a backslash at the end of a text"},
   };
   for (const auto &c : cases)
   {
      Script("slip.orva", std::string("sub main()\n{\n   x = 1; n = 2; s = \"a\"; array a; i = 1;\n") + c.line +
                             "\n}\n");
      Outcome o = Run({"slip.orva"});
      EXPECT_EQ(o.status, 3) << c.line;
      EXPECT_TRUE(Contains(o.err, "slip.orva:4: note: " + std::string(c.note) + "\n")) << c.line << "\n" << o.err;
   }
   // Right code gets no note, and a slip on another line is not blamed.
   Script("fine.orva", "sub main()\n{\n   x = 5 - 1;\n   z = (x) - -1\n}\n");
   Outcome o = Run({"fine.orva"});
   EXPECT_EQ(o.err, "fine.orva:5: error: syntax error, unexpected '}'\n");
}

TEST_F(OrvaCommand, ScriptsSetTheExitStatusWithExitstatus)
{
   Script("check.orva", "sub main(level)\n{\n"
                        "   if (level > 90) { println \"CRITICAL\"; exitstatus(2); return 1; }\n"
                        "   if (level > 70) { println \"WARNING\"; exitstatus(1); exit; }\n"
                        "   println \"OK\";\n"
                        "   return level;\n}\n");
   EXPECT_EQ(Run({"check.orva", "95"}).status, 2);
   EXPECT_EQ(Run({"check.orva", "80"}).status, 1);
   // main's result is no status: scripts that return a value keep exiting 0.
   Outcome ok = Run({"check.orva", "10"});
   EXPECT_EQ(ok.status, 0);
   EXPECT_EQ(ok.out, "OK\n");
   EXPECT_EQ(Run({"-e", "exitstatus(3)"}).status, 3);

   // A run that fails after exitstatus() has the status of its failure.
   EXPECT_EQ(Run({"-e", "exitstatus(2); y = 1 + x;"}).status, 1);
   // Only statuses a shell does not give meanings of its own.
   Outcome bad = Run({"-e", "exitstatus(200)"});
   EXPECT_EQ(bad.status, 1);
   EXPECT_TRUE(Contains(bad.err, "exitstatus() takes a whole number from 0 to 125")) << bad.err;
   EXPECT_EQ(Run({"-e", "exitstatus(\"x\")"}).status, 1);
}

TEST_F(OrvaCommand, RefusedWorkSaysWhyItStoppedEarly)
{
   // A match whose worst case could outlast the time left is refused at
   // once; the message says so instead of leaving "time limit reached" alone.
   Script("match.orva", "sub main()\n{\n   s = \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\";\n"
                        "   i = 0;\n   while (i < 19) { s = s . s; i++; }\n"
                        "   return s like \"" + std::string(4000, '*') + "b\";\n}\n");
   Outcome o = Run({"--timeout", "30", "match.orva"});
   EXPECT_EQ(o.status, 4);
   EXPECT_EQ(o.err, "match.orva:6: time limit reached (the match was refused: its worst case could pass the limit)\n");
}

}
