#include "compiler_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string Tokens(const std::string &text)
{
   ScannedText scanned = ScanText(text);
   EXPECT_EQ("", scanned.error) << text;
   return scanned.tokens;
}
}

TEST(Scanner, KeywordsAreWholeCaseSensitiveWords)
{
   EXPECT_EQ("T_ARRAY T_BREAK T_CASE T_CONTINUE T_DEFAULT T_DO T_ELSE T_EXIT T_FOR T_IF T_NULL T_PRINT "
             "T_PRINTLN T_RETURN T_SUB T_SWITCH T_TYPE_INT32 T_TYPE_INT64 T_TYPE_REAL T_TYPE_STRING "
             "T_TYPE_UINT32 T_TYPE_UINT64 T_USE T_WHILE T_LIKE T_ILIKE T_MATCH T_MATCH T_IMATCH",
             Tokens("array break case continue default do else exit for if NULL print println return sub "
                    "switch int32 int64 real string uint32 uint64 use while like ilike match ~= imatch"));
   EXPECT_EQ("T_IDENTIFIER(null) T_IDENTIFIER(Null) T_IDENTIFIER(While) T_IDENTIFIER(ifx) "
             "T_IDENTIFIER(while1) T_IDENTIFIER(NULLx) T_IDENTIFIER($_a9)",
             Tokens("null Null While ifx while1 NULLx $_a9"));
}

TEST(Scanner, OperatorsTakeTheLongestMatch)
{
   EXPECT_EQ("T_EQ T_NE T_LE T_GE T_LSHIFT T_RSHIFT T_AND T_OR T_INC T_DEC T_REF",
             Tokens("== != <= >= << >> && || ++ -- ->"));
   EXPECT_EQ("'=' ':' '?' '.' '|' '^' '&' '<' '>' '+' '-' '*' '/' '%' '!' '~' '[' ']' ';' ')' ',' '{' '}' '('",
             Tokens("= : ? . | ^ & < > + - * / % ! ~ [ ] ; ) , { } ("));
   EXPECT_EQ("T_IDENTIFIER(x) T_DEC '>' T_IDENTIFIER(y)", Tokens("x-->y"));
   EXPECT_EQ("T_IDENTIFIER(x) T_INC '+' T_IDENTIFIER(y)", Tokens("x+++y"));
   EXPECT_EQ("T_DEC T_INT32(5)", Tokens("--5"));
}

TEST(Scanner, CompoundIdentifiersFallBackToTheLongestWholeToken)
{
   EXPECT_EQ("T_COMPOUND_IDENTIFIER(use::x) T_COMPOUND_IDENTIFIER(a::b::$c)", Tokens("use::x a::b::$c"));
   EXPECT_EQ("T_IDENTIFIER(a) ':' ':' T_INT32(1)", Tokens("a::1"));
   EXPECT_EQ("T_COMPOUND_IDENTIFIER(a::b) ':' ':'", Tokens("a::b::"));
   EXPECT_EQ("T_IDENTIFIER(a) ':' T_IDENTIFIER(b)", Tokens("a:b"));
}

TEST(Scanner, IntegerLiteralsPickTheirTypeByRangeAndSuffix)
{
   EXPECT_EQ("T_INT32(2147483647) T_INT64(2147483648) T_INT64(-2147483648) T_INT32(-2147483647)",
             Tokens("2147483647 2147483648 -2147483648 -2147483647"));
   EXPECT_EQ("T_INT32(31) T_INT64(-16) T_UINT64(16) T_INT32(83) T_INT32(0)", Tokens("0x1F -0x10L 0x10UL 0123 09"));
   EXPECT_EQ("T_INT64(5) T_UINT32(5) T_UINT64(5) T_UINT64(5)", Tokens("5L 5U 5UL 5LU"));
   EXPECT_EQ("T_INT32(5) T_IDENTIFIER(u) T_INT32(0) T_IDENTIFIER(xg) T_INT32(0) T_IDENTIFIER(X1)",
             Tokens("5u 0xg 0X1"));
   EXPECT_EQ("T_INT64(9223372036854775807)", Tokens("99999999999999999999"));
   EXPECT_EQ("T_UINT64(18446744073709551615)", Tokens("-1UL"));
}

TEST(Scanner, UnsignedSuffixWrapsLikeA32BitConversion)
{
   EXPECT_EQ("T_UINT32(4294967295) T_UINT32(4294967295) T_UINT32(4294967295) T_UINT32(1) T_UINT32(0)",
             Tokens("-1U 4294967296U 99999999999999999999U -4294967295U -0U"));
   EXPECT_EQ("T_UINT32(4294967295) T_UINT32(4294967295)", Tokens("0xFFFFFFFFU -0x100000000U"));
}

TEST(Scanner, MinusBelongsToADigitThatFollowsIt)
{
   EXPECT_EQ("T_IDENTIFIER(a) T_INT32(-1)", Tokens("a-1"));
   EXPECT_EQ("T_IDENTIFIER(a) '-' T_INT32(1)", Tokens("a - 1"));
   EXPECT_EQ("T_IDENTIFIER(a) '-' '(' T_INT32(1) ')'", Tokens("a -(1)"));
   EXPECT_EQ("T_REAL(-2.5)", Tokens("-2.5"));
}

TEST(Scanner, RealLiteralsHaveDigitsOnBothSidesAndNoExponent)
{
   EXPECT_EQ("T_REAL(1.5) T_IDENTIFIER(L)", Tokens("1.5L"));
   EXPECT_EQ("T_INT32(1) T_IDENTIFIER(e5)", Tokens("1e5"));
   EXPECT_EQ("T_INT32(1) '.'", Tokens("1."));
   EXPECT_EQ("'.' T_INT32(5)", Tokens(".5"));
   EXPECT_EQ("T_REAL(1.5) '.' T_INT32(3)", Tokens("1.5.3"));
}

TEST(Scanner, CommentsNestAndLineCommentsNeedTheirLineFeed)
{
   EXPECT_EQ("T_IDENTIFIER(a) T_IDENTIFIER(d)", Tokens("a /* b /* c */ still */ d"));
   EXPECT_EQ("T_IDENTIFIER(x) '/' '/' T_IDENTIFIER(c)", Tokens("x//c"));
   EXPECT_EQ("T_IDENTIFIER(x) T_IDENTIFIER(y)", Tokens("x// c /* \ny"));
   // Unclosed comments and strings end the text without an error.
   EXPECT_EQ("T_IDENTIFIER(x)", Tokens("x /* a /* b */"));
   EXPECT_EQ("T_INT32(1)", Tokens("1 \"abc"));
}

TEST(Scanner, LineFeedsCountInCodeCommentsAndLineCommentEnds)
{
   EXPECT_EQ("T_IDENTIFIER(a)@1 T_IDENTIFIER(b)@4", ScanText("a\n\r\n\nb", true).tokens);
   EXPECT_EQ("T_IDENTIFIER(b)@4", ScanText("// one\n// two\n//three\nb", true).tokens);
   EXPECT_EQ("T_IDENTIFIER(b)@4", ScanText("/*\n/*\n*/\n*/b", true).tokens);
   EXPECT_EQ("T_STRING(a)@1 T_IDENTIFIER(b)@2", ScanText("\"a\r\"\nb", true).tokens);
}

TEST(Scanner, StringEscapes)
{
   EXPECT_EQ("T_STRING(a\"b\bn\nr\rt\t)", Tokens("\"a\\\"b\\bn\\nr\\rt\\t\""));
   EXPECT_EQ("T_STRING(ab)", Tokens("\"ab\\0cd\""));
   EXPECT_EQ("T_STRING(A) T_STRING(A4) T_STRING(\x7f)", Tokens("\"\\x41\" \"\\x414\" \"\\x7F\""));
   EXPECT_EQ("T_STRING(a\\qb) T_STRING(\\x)", Tokens("\"a\\qb\" \"\\x\""));
   // The first backslash stays; the second one escapes the quote.
   EXPECT_EQ("T_STRING(\\\"z)", Tokens("\"\\\\\"z\""));
   EXPECT_EQ("T_STRING(ab)", Tokens("\"a\r\rb\""));
   EXPECT_EQ("T_STRING()", Tokens("\"\""));
}

TEST(Scanner, StringLengthLimit)
{
   std::string longest(MAX_STRING_LITERAL, 'x');
   ScannedText accepted = ScanText("\"" + longest + "\"");
   EXPECT_EQ("", accepted.error);
   EXPECT_EQ("T_STRING(" + longest + ")", accepted.tokens);

   ScannedText plain = ScanText("\n\"" + longest + "y\" z");
   EXPECT_EQ("Error in line 2: String constant is too long", plain.error);
   EXPECT_EQ("", plain.tokens);

   ScannedText escaped = ScanText("\"" + longest + "\\n\"");
   EXPECT_EQ("Error in line 1: String constant is too long", escaped.error);
}

TEST(Scanner, LexicalErrorsReportTheirLineAndEndTheInput)
{
   ScannedText newline = ScanText("a\n\"abc\ndef\" b");
   EXPECT_EQ("Error in line 2: Newline in string constant", newline.error);
   EXPECT_EQ("T_IDENTIFIER(a)", newline.tokens);

   ScannedText high = ScanText("x\n\ny \xE9 z");
   EXPECT_EQ("Error in line 3: Invalid character '\xE9' (0xE9)", high.error);
   EXPECT_EQ("T_IDENTIFIER(x) T_IDENTIFIER(y)", high.tokens);

   EXPECT_EQ("Error in line 1: Invalid character '#' (0x23)", ScanText("#").error);
   EXPECT_EQ("Error in line 1: Invalid character '@' (0x40)", ScanText("a@b").error);
   EXPECT_EQ("Error in line 1: Invalid character '`' (0x60)", ScanText("`").error);
   EXPECT_EQ("Error in line 1: Invalid character ''' (0x27)", ScanText("'").error);
   EXPECT_EQ("Error in line 1: Invalid character '\\' (0x5C)", ScanText("\\").error);
   EXPECT_EQ("Error in line 1: Invalid character '\x01' (0x01)", ScanText("\x01").error);
   EXPECT_EQ("Error in line 1: Invalid character '\x0b' (0x0B)", ScanText("\x0b").error);
   EXPECT_EQ("Error in line 1: Invalid character '\x7f' (0x7F)", ScanText("\x7f").error);
}

TEST(Scanner, TokensLongerThanTheBufferGrowIt)
{
   std::string name(40000, 'n');
   EXPECT_EQ("T_IDENTIFIER(" + name + ") T_INT32(1)", Tokens(name + std::string(20000, ' ') + "1"));
}

// Running out of memory must not end the process: the compile fails with
// the scanner's reason and the token stream ends.
TEST(Scanner, OutOfMemoryEndsTheCompileInsteadOfTheProcess)
{
   ScannedText growth = ScanText("a\n" + std::string(20000, ' ') + "b", false, 20000);
   EXPECT_EQ("Error in line 2: fatal error - scanner input buffer overflow", growth.error);
   EXPECT_EQ("T_IDENTIFIER(a)", growth.tokens);

   ScannedText start = ScanText("a b", false, 1000);
   EXPECT_EQ("Error in line 1: out of dynamic memory in yy_create_buffer()", start.error);
   EXPECT_EQ("", start.tokens);
}

TEST(Scanner, OutOfMemoryInsideAParseReleasesEverything)
{
   ORVA_Compiler compiler;
   std::string text = "sub main(a, b) { x = \"s\" . f(a, " + std::string(20000, ' ') + "b); }";
   compiler.m_lexer = new ORVA_LexerInput(&compiler, text.c_str());
   compiler.m_lexer->m_allocLimit = 20000;
   EXPECT_EQ(nullptr, compiler.ParseInput());
   ASSERT_NE(nullptr, compiler.m_errorText);
   EXPECT_STREQ("Error in line 1: fatal error - scanner input buffer overflow", compiler.m_errorText);
}

// A token that spans buffer refills is scanned again from its start after
// each one; those rescans must add up to a multiple of the text, not to its
// square, whatever kind of token is long.  Doubling the length at most
// doubles the bytes carried over (a quadratic scanner would quadruple them).
TEST(Scanner, LongTokensCostWorkInProportionToTheirLength)
{
   struct Kind
   {
      const char *name;
      std::string (*text)(size_t length);
      std::string tokens;
      std::string error;
   };
   const Kind kinds[] = {
      {"blanks", [](size_t n) { return "a" + std::string(n, ' ') + "\nb"; },
       "T_IDENTIFIER(a)@1 T_IDENTIFIER(b)@2", ""},
      {"comment", [](size_t n) { return "a /*\n" + std::string(n, 'c') + "*/\nb"; },
       "T_IDENTIFIER(a)@1 T_IDENTIFIER(b)@3", ""},
      {"line comment", [](size_t n) { return "a //" + std::string(n, 'c') + "\nb"; },
       "T_IDENTIFIER(a)@1 T_IDENTIFIER(b)@2", ""},
      {"string", [](size_t n) { return "a\n\"" + std::string(n, 's') + "\" b"; },
       "T_IDENTIFIER(a)@1", "Error in line 2: String constant is too long"},
      {"number", [](size_t n) { return "a " + std::string(n, '0') + "17 b"; },
       "T_IDENTIFIER(a)@1 T_INT32(15)@1 T_IDENTIFIER(b)@1", ""},
   };
   const size_t length = 256 * 1024;
   for (const Kind &kind : kinds)
   {
      ScannedText single = ScanText(kind.text(length), true);
      ScannedText twice = ScanText(kind.text(2 * length), true);
      EXPECT_EQ(kind.tokens, single.tokens) << kind.name;
      EXPECT_EQ(kind.error, single.error) << kind.name;
      EXPECT_EQ(kind.tokens, twice.tokens) << kind.name;
      EXPECT_LE(single.carriedBytes, 4 * length) << kind.name;
      EXPECT_LE(twice.carriedBytes, single.carriedBytes * 5 / 2) << kind.name;
   }

   // A long name is one token, whole.
   std::string name(3 * length, 'n');
   ScannedText identifier = ScanText("x " + name + " y");
   EXPECT_EQ("T_IDENTIFIER(x) T_IDENTIFIER(" + name + ") T_IDENTIFIER(y)", identifier.tokens);
   EXPECT_LE(identifier.carriedBytes, 4 * name.size());
}

// Megabytes of blanks, comment and name around a literal of the greatest
// length compile and run as the short form would, and lines are still
// counted through them.
TEST(Scanner, SourceOfSeveralMegabytesCompilesAndRuns)
{
   const size_t length = 2 * 1024 * 1024;
   std::string name = "v" + std::string(length, '_');
   std::string literal(MAX_STRING_LITERAL, 'q');
   std::string body = "sub main() {" + std::string(length, ' ') + "\n/*" + std::string(length, '\n') + "*/ " + name +
                      " = \"" + literal + "\"; return " + name + "; }";
   char error[256] = "";
   ORVA_Program *program = ORVACompile(body.c_str(), error, sizeof(error));
   ASSERT_NE(nullptr, program) << error;
   ASSERT_EQ(0, program->Run(nullptr, 0, nullptr, nullptr, nullptr));
   ASSERT_NE(nullptr, program->GetResult());
   EXPECT_EQ(literal, program->GetResult()->GetValueAsCString());
   delete program;

   EXPECT_EQ("Error in line " + std::to_string(length + 2) + ": syntax error, unexpected '+', expecting '}'",
             CompileError(body.substr(0, body.size() - 1) + " + }"));
}
