/*
 * The compile entry point with a language level, and what level 2 compiles
 * to: its own instructions, while level 1 keeps its texts and listings.
 */
#include "compiler_test_util.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{
std::string CompileError(const char *source, int language)
{
   char buffer[256] = "";
   std::unique_ptr<ORVA_Program> program(ORVACompile(source, buffer, sizeof(buffer), language));
   return program ? "" : buffer;
}

std::string Level2Listing(const char *source)
{
   char buffer[256] = "";
   std::unique_ptr<ORVA_Program> program(ORVACompile(source, buffer, sizeof(buffer), ORVA_LANGUAGE_2));
   return program ? DumpText(program.get()) : buffer;
}
}   // namespace

TEST(Level2Compile, OnlyTheKnownLevelsCompile)
{
   for (int level : {0, 3, -1, 1000})
      EXPECT_EQ("Error in line 0: Unknown language level (1 and 2 are known)", CompileError("1", level)) << level;
   EXPECT_EQ("", CompileError("1", ORVA_LANGUAGE_1));
   EXPECT_EQ("", CompileError("1", ORVA_LANGUAGE_2));

   ORVA_CompileError parts;
   std::unique_ptr<ORVA_Program> program(ORVACompile("x += 1", &parts, ORVA_LANGUAGE_2));
   EXPECT_NE(program, nullptr);
   EXPECT_EQ(ORVA_LANGUAGE_2, program->Language());
   program.reset(ORVACompile("x = 1", &parts));
   EXPECT_EQ(ORVA_LANGUAGE_1, program->Language());
}

// Level 1 reads level 2's operators as the characters they are made of, so
// its errors are those it always gave; level 2 compiles the same texts.
TEST(Level2Compile, Level1KeepsItsTextsForLevel2Forms)
{
   const struct
   {
      const char *level2;
      const char *asLevel1;   // the same tokens as level 1 always read them
   } cases[] = {
      {"sub main() { x += 1; }", "sub main() { x + = 1; }"},
      {"sub main() { x .= \"a\"; }", "sub main() { x . = \"a\"; }"},
      {"sub main() { return x ?? 1; }", "sub main() { return x ? ? 1; }"},
      {"sub main() { a = [1, 2]; }", "sub main() { a = [1, 2]; }"},
      {"sub main() { a = {1: 2}; }", "sub main() { a = {1: 2}; }"},
      {"sub main() { for (i = 0; i < 3; i++) ; }", "sub main() { for (i = 0; i < 3; i++) ; }"},
      {"sub main() { for (k in a) ; }", "sub main() { for (k in a) ; }"},
      {"sub main() { a[1]++; }", "sub main() { a[1]++; }"},
   };
   for (const auto &c : cases)
   {
      const std::string level1 = CompileError(c.level2, ORVA_LANGUAGE_1);
      EXPECT_NE("", level1) << c.level2;
      EXPECT_EQ(CompileError(c.asLevel1, ORVA_LANGUAGE_1), level1) << c.level2;
      EXPECT_EQ("", CompileError(c.level2, ORVA_LANGUAGE_2)) << c.level2;
   }
}

TEST(Level2Compile, PlacesThatCannotBeUpdatedAreRefused)
{
   EXPECT_EQ("Error in line 1: \"++\" needs a variable or an element", CompileError("++(a ? b : c)", ORVA_LANGUAGE_2));
   EXPECT_EQ("Error in line 1: \"--\" needs a variable or an element", CompileError("--f()", ORVA_LANGUAGE_2));
   EXPECT_EQ("Error in line 1: \"++\" needs a variable or an element", CompileError("++(x ?? y)", ORVA_LANGUAGE_2));
   EXPECT_EQ("Error in line 1: syntax error, \"for\" expects \"in\" after its variables",
             CompileError("sub main() { for (k of a) ; }", ORVA_LANGUAGE_2));
   // "in" is a word only in a for header.
   EXPECT_EQ("", CompileError("sub main() { in = 1; for (in in a) in++; }", ORVA_LANGUAGE_2));
}

// The instructions level 2 compiles to, as the listing shows them; level 1
// code of the same text compiles as before.
TEST(Level2Compile, ListsItsInstructions)
{
   // The whole right side is the operand of the update.
   EXPECT_EQ("0000  PUSH    a\n"
             "0001  PUSH    \"k\"\n"
             "0002  PUSH    \"2\"\n"
             "0003  PUSH    a\n"
             "0004  PUSH    \"k\"\n"
             "0005  KSTEP   [INC]\n"
             "0006  ADD     \n"
             "0007  PUSH    a\n"
             "0008  PUSH    \"k\"\n"
             "0009  KSTEP   [DECP]\n"
             "000A  ADD     \n"
             "000B  KUPD    [ADD]\n"
             "000C  RET     \n",
             Level2Listing("a[\"k\"] += 2 + a[\"k\"]++ + --a[\"k\"]"));
   // ?? binds loosest; && and || jump past their right side.
   EXPECT_EQ("0000  PUSH    x\n"
             "0001  JNNK    0009\n"
             "0002  PUSH    \"1\"\n"
             "0003  JZK     0006\n"
             "0004  PUSH    y\n"
             "0005  BOOL    \n"
             "0006  JNZK    0009\n"
             "0007  PUSH    z\n"
             "0008  BOOL    \n"
             "0009  RET     \n",
             Level2Listing("x ?? 1 && y || z"));
   EXPECT_EQ("0000  PUSH    \"1\"\n"
             "0001  PUSH    \"2\"\n"
             "0002  LIST    2\n"
             "0003  PUSH    \"k\"\n"
             "0004  PUSH    \"v\"\n"
             "0005  MAP     2\n"
             "0006  ADD     \n"
             "0007  RET     \n",
             Level2Listing("[1, 2] + {\"k\": \"v\"}"));
   EXPECT_EQ("0000  PUSH    x\n"
             "0001  PUSH    \"1\"\n"
             "0002  UPDATE  [CONCAT]\n"
             "0003  SET     x\n"
             "0004  RET     \n",
             Level2Listing("x .= 1"));
   EXPECT_EQ("0000  PUSH    a\n"
             "0001  PUSH    \"1\"\n"
             "0002  KGET    \n"
             "0003  RET     \n",
             Level2Listing("a[1]"));
}
