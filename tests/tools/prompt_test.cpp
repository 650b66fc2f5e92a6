// The orva prompt through a pipe: when an input is finished, what survives
// odd bytes, and how much of the kept functions an input compiles.
#include "tools/command_runner.h"

namespace
{

TEST_F(OrvaCommand, PromptWaitsForTheBodyOfAHeaderLine)
{
   // The layout of the language guide: the brace on a line of its own.
   Outcome o = Run({"-i"}, "if (0)\n{\n   println \"SHOULD NOT PRINT\";\n}\nprintln \"after\";\n");
   EXPECT_EQ(o.out, "after\n");
   EXPECT_EQ(o.err, "");

   o = Run({"-i"}, "x = 5\n"
                   "if (x > 3)\n{\n   println \"big\";\n}\nelse\n{\n   println \"small\";\n}\n"
                   "while (x > 3)\n   x--;\n"
                   "x\n"
                   "do\n{\n   x++;\n}\nwhile (x < 9);\n"
                   "x\n"
                   "switch (x)\n{\n   case 9: println \"nine\";\n}\n"
                   "sub f(a)\n{\n   return a * 2;\n}\n"
                   "f(4)\n");
   EXPECT_EQ(o.out, "big\n3\n9\nnine\n8\n");
   EXPECT_EQ(o.err, "");

   // Level 2's loops have headers too.
   o = Run({"--language", "2", "-i"}, "for (k in [3, 4])\n   println k;\nfor (i = 0; i < 2; i++)\n{\n   println i;\n}\n");
   EXPECT_EQ(o.out, "1\n2\n0\n1\n");   // for-in walks the keys
   EXPECT_EQ(o.err, "");
}

TEST_F(OrvaCommand, PromptRunsACompleteIfOnceItsElseCannotFollow)
{
   // The line after a complete if may start its else; any other line, or an
   // empty one, runs the if first.
   Outcome o = Run({"-i"}, "if (0)\n   println \"then\";\nprintln \"next\";\n"
                           "if (1) println \"one\";\n\n"
                           "if (0) println \"no\";\nelse println \"else\";\n"
                           "if (1) println \"at end\";\n");
   EXPECT_EQ(o.out, "next\none\nelse\nat end\n");
   EXPECT_EQ(o.err, "");
}

TEST_F(OrvaCommand, PromptDropsAnUnfinishedInputAtAnEmptyLine)
{
   Outcome o = Run({"-i"}, "if (1) {\n   println \"dropped\"\n\nprintln \"kept\";\nwhile (1)\n\n1 + 1\n");
   EXPECT_EQ(o.out, "kept\n2\n");
   EXPECT_EQ(o.err, "");
}

TEST_F(OrvaCommand, PromptKeepsInputAfterALineWithAZeroByte)
{
   Outcome o = Run({"-i"}, std::string("1\n\0\n2\n3\n\n4\n", 12));
   EXPECT_EQ(o.out, "1\n2\n3\n4\n");
   EXPECT_EQ(o.err, "");
   o = Run({"-i"}, std::string("x = 4\0\nx\n", 9));
   EXPECT_EQ(o.out, "4\n");
}

TEST_F(OrvaCommand, PromptTakesLongInputsAndManyFunctions)
{
   // An input of thousands of lines, and thousands of kept functions of
   // which an input uses two.
   std::string input = "sub big(x)\n{\n";
   for (int i = 0; i < 4000; i++)
      input += "   x = x + 1;\n";
   input += "   return x;\n}\nbig(1)\n";
   for (int i = 0; i < 3000; i++)
      input += "sub f" + std::to_string(i) + "(x) { return g(x) + " + std::to_string(i) + "; }\n";
   input += "sub g(x) { return x * 10; }\nf2999(1) . \" \" . f7(0)\n";
   Outcome o = Run({"-i"}, input);
   EXPECT_EQ(o.out, "4001\n3009 7\n");
   EXPECT_EQ(o.err, "");
}

TEST_F(OrvaCommand, PromptErrorsNameTheInputOrTheFunction)
{
   Outcome o = Run({"-i"}, "sub t(n)\n{\n   return NULL + n;\n}\nt(1)\n1 +\n  NULL\nmain()\nx y\n");
   EXPECT_EQ(o.out, "");
   EXPECT_EQ(o.err, "(sub t):3: error 5: Invalid operation with NULL value\n"
                    "(sub t):3: note: in t()\n"
                    "(prompt):1: note: called from main()\n"
                    "(prompt):2: error 5: Invalid operation with NULL value\n"
                    "(prompt): error: main cannot be called at the prompt, where every input runs as main\n"
                    "(prompt):1: error: syntax error, unexpected name, expecting end of input\n");
}

TEST_F(OrvaCommand, PromptAfterAScriptHasItsFunctions)
{
   fs::path script = Script("lib.orva", "sub twice(n) { return n * 2; }\n"
                                        "sub main() { println \"ran with \" . argc(); }\n");
   Outcome o = Run({"-i", script.string(), "a", "b"}, "twice(21)\nargc()\n");
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "ran with 2\n42\n2\n");
   EXPECT_EQ(o.err, "");

   // A failed run still opens the prompt; a script that does not compile
   // gives it no functions.
   o = Run({"-i", Script("fail.orva", "sub h() { return 1; }\nsub main() { return NULL + 1; }\n").string()},
           "h()\n");
   EXPECT_EQ(o.out, "1\n");
   EXPECT_TRUE(Contains(o.err, "fail.orva:2: error 5: ")) << o.err;
   o = Run({"-i", Script("bad.orva", "sub h() { return 1 }\n").string()}, "2 + 2\n");
   EXPECT_EQ(o.out, "4\n");
   EXPECT_TRUE(Contains(o.err, "bad.orva:1: error: ")) << o.err;

   o = Run({"-i", "-e", "sub sq(x) { return x * x; }"}, "sq(9)\n");
   EXPECT_EQ(o.out, "81\n");
   EXPECT_EQ(Run({"-i", "-"}, "1\n").status, 2);
}

}
