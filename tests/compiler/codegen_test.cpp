#include "compiler_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(CodeGeneration, ScriptThatIsOneExpression)
{
   EXPECT_EQ("0000  PUSH    \"1\"\n"
             "0001  SET     x\n"
             "0002  RET\n",
             Listing("x = 1"));
}

TEST(CodeGeneration, ConditionalExpression)
{
   EXPECT_EQ("PUSH c; JZ 0004; PUSH a; JMP 0005; PUSH b; RET", Ops("c ? a : b"));
   EXPECT_EQ("PUSH a; JZ 0004; PUSH b; JMP 0009; PUSH c; JZ 0008; PUSH d; JMP 0009; PUSH e; RET",
             Ops("a ? b : c ? d : e"));
}

TEST(CodeGeneration, IfAndElse)
{
   EXPECT_EQ("PUSH c; JZ 0005; CALL a, 0; POP 1; JMP 0007; CALL b, 0; POP 1; NRET",
             Ops("sub main() { if (c) a(); else b(); }"));
   EXPECT_EQ("PUSH c; JZ 0004; CALL a, 0; POP 1; NRET", Ops("sub main() { if (c) a(); }"));
   // The else belongs to the nearest if.
   EXPECT_EQ("PUSH a; JZ 0009; PUSH b; JZ 0007; CALL x, 0; POP 1; JMP 0009; CALL y, 0; POP 1; NRET",
             Ops("sub main() { if (a) if (b) x(); else y(); }"));
}

TEST(CodeGeneration, WhileWithBreakAndContinue)
{
   EXPECT_EQ("0000  PUSH    c\n"
             "0001  JZ      0007\n"
             "0002  PUSH    d\n"
             "0003  JZ      0005\n"
             "0004  JMP     0007\n"
             "0005  JMP     0000\n"
             "0006  JMP     0000\n"
             "0007  NRET\n",
             Listing("sub main() { while (c) { if (d) break; continue; } }"));
   EXPECT_EQ("PUSH \"1\"; JZ 0004; JMP 0004; JMP 0000; NRET", Ops("sub main() { while (1) { break; } }"));
}

// In a do loop, continue jumps to the first instruction of the body: the
// condition is not tested on the way.
TEST(CodeGeneration, DoLoopContinuesAtTheStartOfTheBody)
{
   EXPECT_EQ("0000  PUSH    a\n"
             "0001  JZ      0003\n"
             "0002  JMP     0000\n"
             "0003  JMP     0006\n"
             "0004  PUSH    c\n"
             "0005  JNZ     0000\n"
             "0006  NRET\n",
             Listing("sub main() { do { if (a) continue; break; } while (c); }"));
   EXPECT_EQ("JMP 0003; PUSH \"1\"; JNZ 0000; NRET", Ops("sub main() { do { break; } while (1); }"));
}

// A do loop whose body only continues is a jump to itself; the jump
// optimiser must finish on it and leave the jump where it is.
TEST(CodeGeneration, DoLoopThatOnlyContinuesJumpsToItself)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile("sub main() { do { continue; } while (1); }", error, sizeof(error));
   ASSERT_NE(nullptr, program) << error;
   EXPECT_EQ("0000  JMP     0000\n"
             "0001  PUSH    \"1\"\n"
             "0002  JNZ     0000\n"
             "0003  NRET    \n",
             DumpText(program));
   delete program;
}

TEST(CodeGeneration, SwitchFallsThroughIntoTheNextCase)
{
   EXPECT_EQ("0000  PUSH    x\n"
             "0001  CASE    \"1\"\n"
             "0002  JZ      0006\n"
             "0003  CALL    a, 0\n"
             "0004  POP     1\n"
             "0005  JMP     0008\n"
             "0006  CASE    \"2\"\n"
             "0007  JZ      000B\n"
             "0008  CALL    b, 0\n"
             "0009  POP     1\n"
             "000A  JMP     000D\n"
             "000B  CALL    c, 0\n"
             "000C  POP     1\n"
             "000D  POP     1\n"
             "000E  NRET\n",
             Listing("sub main() { switch (x) { case 1: a(); case 2: b(); break; default: c(); } }"));
   EXPECT_EQ("PUSH x; CASE \"s\"; JZ 0004; JMP 0004; POP 1; NRET",
             Ops("sub main() { switch (x) { case \"s\": break; } }"));
   EXPECT_EQ("PUSH x; CASE <null>; JZ 0003; POP 1; NRET", Ops("sub main() { switch (x) { case NULL: } }"));
}

TEST(CodeGeneration, BreakInASwitchLeavesOnlyTheSwitch)
{
   EXPECT_EQ("PUSH c; JZ 0008; PUSH v; CASE \"1\"; JZ 0006; JMP 0006; POP 1; JMP 0000; NRET",
             Ops("sub main() { while (c) { switch (v) { case 1: break; } } }"));
}

// A continue that leaves switch statements drops their values first, so
// a loop does not pile them up on the data stack.
TEST(CodeGeneration, ContinueDropsTheValuesOfTheSwitchesItLeaves)
{
   EXPECT_EQ("PUSH c; JZ 0009; PUSH v; CASE \"1\"; JZ 0007; POP 1; JMP 0000; POP 1; JMP 0000; NRET",
             Ops("sub main() { while (c) { switch (v) { case 1: continue; } } }"));
   // Two switches inside the loop, one outside it.
   EXPECT_EQ("PUSH a; CASE \"1\"; JZ 0010; PUSH b; CASE \"2\"; JZ 000D; PUSH d; CASE \"3\"; JZ 000C; POP 1; "
             "POP 1; JMP 0003; POP 1; POP 1; PUSH c; JNZ 0003; POP 1; NRET",
             Ops("sub main() { switch (a) { case 1: do { switch (b) { case 2: switch (d) { case 3: continue; }"
                 " } } while (c); } }"));
   // After the switch has closed, a continue in the same loop drops nothing.
   EXPECT_EQ("PUSH c; JZ 0008; PUSH v; CASE \"1\"; JZ 0005; POP 1; JMP 0000; JMP 0000; NRET",
             Ops("sub main() { while (c) { switch (v) { case 1: } continue; } }"));
}

TEST(CodeGeneration, FunctionsParametersCallsAndReturn)
{
   EXPECT_EQ("BIND a; BIND b; PUSH a; PUSH b; ADD; RET; NRET; PUSH \"1\"; PUSH \"2\"; CALL 0000, 2; RET; "
             "PUSH <null>; RET; CALL g, 0; POP 1; NRET",
             Ops("sub f(a, b) { return a + b; } sub main() { return f(1, 2); return; g(); }"));
   EXPECT_EQ("NRET", Ops("use lib::x; use y; sub main() { }"));
}

TEST(CodeGeneration, PrintExitAndEmptyStatements)
{
   EXPECT_EQ("PUSH <null>; PRINT; PUSH x; PRINT; PUSH \"\\n\"; PRINT; PUSH x; PUSH \"\\n\"; CONCAT; PRINT; "
             "PUSH \"3\"; EXIT; PUSH <null>; EXIT; NOP; NRET",
             Ops("sub main() { print; print x; println; println x; exit 3; exit; ; }"));
}

TEST(CodeGeneration, ArraysElementsAttributesAndCasts)
{
   EXPECT_EQ("ARRAY a; ARRAY b; PUSH a; PUSH \"1\"; PUSH b; PUSH \"2\"; EGET; ESET; POP 1; PUSH o; REF size; "
             "POP 1; NRET",
             Ops("sub main() { array a, b; a[1] = b[2]; o->size; }"));
   EXPECT_EQ("PUSH x; CAST [int32]; PUSH y; CAST [string]; ADD; PUSH z; CAST [uint32]; CONCAT; RET",
             Ops("int32(x) + string(y) . uint32(z)"));
   EXPECT_EQ("PUSH a; CAST [int64]; PUSH b; CAST [uint64]; CONCAT; PUSH c; CAST [real]; CONCAT; RET",
             Ops("int64(a) . uint64(b) . real(c)"));
}

TEST(CodeGeneration, IncrementsAndUnaryOperators)
{
   EXPECT_EQ("INCP a; DECP b; ADD; INC c; ADD; DEC d; ADD; RET", Ops("++a + --b + c++ + d--"));
   EXPECT_EQ("PUSH a; NEG; PUSH b; MUL; RET", Ops("-a * b"));
   EXPECT_EQ("PUSH a; PUSH b; EGET; NEG; RET", Ops("-a[b]"));
   EXPECT_EQ("PUSH a; REF b; NOT; RET", Ops("!a->b"));
   EXPECT_EQ("PUSH a; NEG; NEG; BITNOT; RET", Ops("~- - a"));
   EXPECT_EQ("INCP a; PUSH b; EGET; RET", Ops("++a[b]"));
}

TEST(CodeGeneration, PrecedenceAndAssociativity)
{
   EXPECT_EQ("PUSH a; PUSH c; SET b; ADD; RET", Ops("a + b = c"));
   EXPECT_EQ("PUSH a; PUSH c; SET b; EQ; RET", Ops("a == b = c"));
   EXPECT_EQ("PUSH a; PUSH i; PUSH c; ESET; NEG; RET", Ops("-a[i] = c"));
   EXPECT_EQ("PUSH c; SET b; SET a; RET", Ops("a = b = c"));
   EXPECT_EQ("PUSH a; PUSH b; PUSH c; ADD; CONCAT; RET", Ops("a . b + c"));
   EXPECT_EQ("PUSH a; PUSH b; OR; PUSH c; CONCAT; RET", Ops("a || b . c"));
   EXPECT_EQ("PUSH a; JZ 0004; PUSH b; JMP 0007; PUSH c; PUSH d; CONCAT; RET", Ops("a ? b : c . d"));
   EXPECT_EQ("PUSH a; PUSH b; CONCAT; JZ 0006; PUSH c; JMP 0007; PUSH d; RET", Ops("a . b ? c : d"));
   EXPECT_EQ("PUSH a; PUSH b; LT; PUSH c; LT; RET", Ops("a < b < c"));
   EXPECT_EQ("PUSH a; PUSH b; LIKE; PUSH c; EQ; RET", Ops("a like b == c"));
   EXPECT_EQ("PUSH a; PUSH b; PUSH c; PUSH d; PUSH e; PUSH f; PUSH g; PUSH h; PUSH i; MUL; ADD; LSHIFT; LT; "
             "NE; BITAND; BITXOR; BITOR; RET",
             Ops("a | b ^ c & d != e < f << g + h * i"));
   EXPECT_EQ("PUSH a; PUSH b; AND; PUSH c; PUSH d; AND; OR; RET", Ops("a && b || c && d"));
   EXPECT_EQ("PUSH a; PUSH b; MATCH; PUSH c; IMATCH; PUSH d; ILIKE; RET", Ops("a ~= b imatch c ilike d"));
   EXPECT_EQ("PUSH a; PUSH b; RSHIFT; PUSH c; LSHIFT; RET", Ops("a >> b << c"));
   EXPECT_EQ("PUSH a; PUSH b; SUB; PUSH c; PUSH d; PUSH e; REM; DIV; SUB; RET", Ops("a - b - c / (d % e)"));
   EXPECT_EQ("PUSH \"1\"; PUSH \"2\"; PUSH \"3\"; CALL f, 3; RET", Ops("f(1, 2, 3)"));
}

TEST(CodeGeneration, InstructionsCarryTheLineReachedAtReduction)
{
   // return and its constant carry their own lines; a name at a line end
   // followed by an operator is pushed with the next line's number.
   EXPECT_EQ((std::vector<int>{3, 2, 4}), SourceLines("sub main() {\n return\n 5;\n}"));
   EXPECT_EQ((std::vector<int>{2, 2, 2, 2}), SourceLines("x\n+ 1"));
}
