#include "compiler_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string Message(const std::string &unexpected, const std::string &expecting = "")
{
   std::string text = "Error in line 1: syntax error, unexpected " + unexpected;
   if (!expecting.empty())
      text += ", expecting " + expecting;
   return text;
}

std::string EmptyStatements(int count)
{
   return "sub f() {" + std::string(count, ';') + "}";
}
}

TEST(SyntaxErrors, MessagesNameTheTokenAndUpToFourExpectedOnes)
{
   EXPECT_EQ(Message("$end"), CompileError(""));
   EXPECT_EQ(Message("T_INT32", "$end"), CompileError("1 2"));
   EXPECT_EQ(Message("';'", "$end"), CompileError("a = 1; b"));
   EXPECT_EQ(Message("T_INT32", "T_IDENTIFIER or ')'"), CompileError("sub f(1) { }"));
   EXPECT_EQ(Message("'}'"), CompileError("sub main() { x = 1 }"));
   EXPECT_EQ(Message("T_INT32"), CompileError("sub main() { a -1; }"));
   EXPECT_EQ(Message("T_DEFAULT", "T_CASE"), CompileError("sub main() { switch (a) { default: z; } }"));
   EXPECT_EQ(Message("T_FOR", "'}'"), CompileError("sub main() { for (;;) {} }"));
   EXPECT_EQ(Message("'}'", "';'"), CompileError("sub main() { do { x; } while (a) }"));
   EXPECT_EQ(Message("T_INT32", "T_COMPOUND_IDENTIFIER or T_IDENTIFIER"), CompileError("use 1;"));
   EXPECT_EQ(Message("$end", "'}'"), CompileError("sub main() {"));
   EXPECT_EQ(Message("'}'", "$end"), CompileError("sub main() { }}"));
   EXPECT_EQ(Message("';'", "T_CASE"), CompileError("sub main() { switch (a) { ; } }"));
   EXPECT_EQ(Message("T_STRING", "T_IDENTIFIER"), CompileError("sub f() { array \"a\"; }"));
}

TEST(SyntaxErrors, ConstructsTheGrammarRejects)
{
   const char *const rejected[] = {"x = 1;", "(a) = b", "a->b = c", "a[i]++", "f(a)(b)", "a->b(c)", "a::b()",
                                   "x = a-1", "sub f() { case - 5: }", "sub f() { switch (x) { case - 5: } }",
                                   "sub f() { sub g() { } }", "sub f() { for (;;) ; }"};
   for (const char *text : rejected)
      EXPECT_NE(std::string::npos, CompileError(text).find("syntax error")) << text;
   EXPECT_EQ("", CompileError("x = a - 1"));
   EXPECT_EQ("", CompileError("sub f() { switch (x) { case -5: } }"));
}

TEST(SyntaxErrors, LineOfTheOffendingToken)
{
   EXPECT_EQ("Error in line 4: syntax error, unexpected '}'", CompileError("sub main()\n{\n x = 1\n}"));
}

TEST(SemanticErrors, MisplacedBreakAndContinue)
{
   EXPECT_EQ("Error in line 1: \"break\" statement can be used only within loops and \"switch\" statements",
             CompileError("sub main() { break; }"));
   EXPECT_EQ("Error in line 2: \"continue\" statement can be used only within loops",
             CompileError("sub main() {\n switch (x) { case 1: continue; } }"));
   EXPECT_EQ("", CompileError("sub main() { switch (x) { case 1: break; } }"));
   // The first error wins over a later syntax error.
   EXPECT_EQ("Error in line 2: \"break\" statement can be used only within loops and \"switch\" statements",
             CompileError("sub main() {\n break;\n x = ; }"));
}

TEST(SemanticErrors, DuplicateFunctionNames)
{
   EXPECT_EQ("Error in line 1: Duplicate function name: \"f\"", CompileError("sub f() { } sub f(a) { }"));
   // The message of a huge name is cut, never overrun.
   std::string name(300, 'n');
   std::string error = CompileError("sub " + name + "() { } sub " + name + "() { }");
   EXPECT_EQ(0u, error.find("Error in line 1: Duplicate function name: \"nnn"));
   EXPECT_LT(error.size(), 300u);
}

TEST(SemanticErrors, InvalidCharacterAfterACompleteFunction)
{
   EXPECT_EQ("Error in line 2: Invalid character '#' (0x23)", CompileError("sub main() { }\n#"));
}

// A block keeps its statements on the parser's stack until it ends: the
// stack grows with the program, bounded by memory and not by a count (it
// once stopped at 10,000 entries, and a longer block did not compile).
TEST(ParserStack, GrowsWithTheProgram)
{
   EXPECT_EQ("", CompileError(EmptyStatements(9992)));
   EXPECT_EQ("", CompileError(EmptyStatements(9993)));
   EXPECT_EQ("", CompileError(EmptyStatements(300000)));
}

// Texts that fail with names, strings, constants and pending instructions
// still on the parser stack or in the lookahead; the sanitizer build checks
// that each is released exactly once.
TEST(SyntaxErrors, FailedParsesReleaseWhatTheyHold)
{
   const char *const texts[] = {"use a::b 1", "use a x", "sub f(a, b c", "sub f(a, b) { g(a, \"s\" x",
                                "sub f() { return \"r\" \"s\"; }", "sub f() { exit print; }",
                                "sub f() { switch (x) { case \"k\" y } }", "sub f() { array a, b c; }",
                                "1 x", "1 \"s\"", "f(a::b)", "sub f() { x = a->b->c d; }", "sub f() { sub",
                                "sub f() { } sub f() { x x }"};
   for (const char *text : texts)
      EXPECT_NE("", CompileError(text)) << text;
}
