// The opt-in extension functions: what scripts see through a run, and what
// each handler does with hostile arguments when called as the interpreter
// calls it.
#include "orva.h"
#include "ext_script.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace
{

// Runs "sub main() { BODY }" with the given sets.
std::string RunScript(const std::string &body, uint32 sets = ORVA_EXT_PURE)
{
   return RunExtScript(body, sets);
}

// Calls an extension function directly with the values (deleted after), as
// "type:text" of the result or "!code".
std::string Call(const char *name, std::initializer_list<ORVA_Value *> args)
{
   std::vector<ORVA_Value *> argv(args);
   ORVA_Environment env;
   ORVARegisterExtensions(&env, ORVA_EXT_PURE | ORVA_EXT_IO);
   ORVA_ExtFunction *f = env.FindFunction(name);
   EXPECT_NE(f, nullptr) << name;
   if (f != nullptr && f->m_argCount >= 0)
   {
      EXPECT_EQ(f->m_argCount, static_cast<int>(argv.size())) << "the interpreter checks this count for " << name;
   }
   ORVA_Value *out = nullptr;
   int rc = f != nullptr ? f->m_handler(static_cast<int>(argv.size()), argv.data(), &out) : -1;
   for (ORVA_Value *v : argv)
      delete v;
   std::unique_ptr<ORVA_Value> result(out);
   if (rc != 0)
   {
      EXPECT_EQ(out, nullptr) << name << " stored a result although it failed";
      return "!" + std::to_string(rc);
   }
   if (!result)
      return "<no result>";
   uint32 length = 0;
   const char *text = result->GetValueAsString(&length);
   return std::string(g_orvaTypeNames[result->DataType()]) + ":" + (text ? std::string(text, length) : "");
}

ORVA_Value *T(const char *s) { return new ORVA_Value(s); }
ORVA_Value *I(int32 n) { return new ORVA_Value(n); }
ORVA_Value *Null() { return new ORVA_Value(); }
ORVA_Value *Arr() { return new ORVA_Value(new ORVA_Array()); }

TEST(ExtRegistration, SetsAreOptInAndSeparate)
{
   ORVA_Environment plain;
   EXPECT_EQ(plain.FindFunction("split"), nullptr);   // hosts keep the built-ins only

   ORVA_Environment pure;
   EXPECT_EQ(ORVARegisterExtensions(&pure, ORVA_EXT_PURE), 1);
   for (const char *name : {"split", "join", "index", "replace", "trim", "ord", "chr", "format", "sqrt", "floor",
                            "ceil", "round", "exp", "log", "sin", "cos", "tan", "atan2", "count", "sort"})
      EXPECT_NE(pure.FindFunction(name), nullptr) << name;
   for (const char *name : {"readline", "readfile", "writefile", "getenv"})
      EXPECT_EQ(pure.FindFunction(name), nullptr) << name << " must come with ORVA_EXT_IO only";

   ORVA_Environment io;
   EXPECT_EQ(ORVARegisterExtensions(&io, ORVA_EXT_IO), 1);
   EXPECT_NE(io.FindFunction("readfile"), nullptr);
   EXPECT_EQ(io.FindFunction("split"), nullptr);

   ORVA_Environment bad;
   EXPECT_EQ(ORVARegisterExtensions(&bad, 0x100), 0);
   EXPECT_EQ(bad.FindFunction("split"), nullptr);
   EXPECT_EQ(ORVARegisterExtensions(nullptr, ORVA_EXT_PURE), 0);

   // Built-ins come first, and so do host functions registered before.
   EXPECT_EQ(RunScript("println abs(-3) . \" \" . length(\"abc\");"), "3 3\n");
}

TEST(ExtText, SplitStoresPiecesAndClearsTheRest)
{
   EXPECT_EQ(RunScript("array a; n = split(\"x,,y,\", \",\", a);\n"
                       "println n . \"|\" . a[1] . \"|\" . a[2] . \"|\" . a[3] . \"|\" . a[4] . \"|\" . count(a);"),
             "4|x||y||4\n");
   // Old elements above n are cleared; pieces that read as numbers are numbers.
   EXPECT_EQ(RunScript("array a; a[9] = 1; a[0] = \"keep\"; split(\"1;2.5\", \";\", a);\n"
                       "println typeof(a[1]) . \" \" . typeof(a[2]) . \" \" . typeof(a[9]) . \" \" . a[0] . \" \" . "
                       "count(a);"),
             "int32 real null keep 3\n");
   EXPECT_EQ(RunScript("array a; println split(\"\", \",\", a) . \" \" . count(a);"), "0 0\n");
   EXPECT_EQ(RunScript("array a; println split(\"abc\", \"\", a) . a[3];"), "3c\n");
   EXPECT_EQ(RunScript("array a; println split(\"a--b--c\", \"--\", a) . a[2];"), "3b\n");
   // The text may come from the array that receives the pieces.
   EXPECT_EQ(RunScript("array a; a[1] = \"p q r\"; println split(a[1], \" \", a) . a[3];"), "3r\n");
}

TEST(ExtText, JoinIndexReplaceTrim)
{
   EXPECT_EQ(RunScript("array a; a[3] = \"c\"; a[-1] = \"a\"; a[2] = NULL; a[1] = 7; println join(a, \"+\");"),
             "a+7+c\n");
   EXPECT_EQ(RunScript("array a; println \"[\" . join(a, \",\") . \"]\";"), "[]\n");
   EXPECT_EQ(Call("index", {T("hello"), T("l")}), "int32:3");
   EXPECT_EQ(Call("index", {T("hello"), T("l"), I(4)}), "int32:4");
   EXPECT_EQ(Call("index", {T("hello"), T("l"), I(6)}), "int32:0");
   EXPECT_EQ(Call("index", {T("hello"), T("z")}), "int32:0");
   EXPECT_EQ(Call("index", {T("hello"), T(""), I(-4)}), "int32:1");
   EXPECT_EQ(Call("index", {T("hello"), T("h"), Null()}), "int32:1");
   EXPECT_EQ(Call("replace", {T("a.b.c"), T("."), T("::")}), "string:a::b::c");
   EXPECT_EQ(Call("replace", {T("aaa"), T("aa"), T("b")}), "string:ba");
   EXPECT_EQ(Call("replace", {T("abc"), T(""), T("x")}), "string:abc");
   EXPECT_EQ(Call("replace", {T("1x2"), T("x"), T("")}), "int32:12");
   EXPECT_EQ(Call("trim", {T(" \t a b \r\n")}), "string:a b");
   EXPECT_EQ(Call("trim", {T("   ")}), "int32:");
}

TEST(ExtText, OrdAndChrAreBytes)
{
   EXPECT_EQ(Call("ord", {T("A")}), "int32:65");
   EXPECT_EQ(Call("ord", {T("\xC3\xA9")}), "int32:195");
   EXPECT_EQ(Call("ord", {T("")}), "null:");
   EXPECT_EQ(Call("chr", {I(97)}), "string:a");
   EXPECT_EQ(Call("chr", {I(256)}), "!4");
   EXPECT_EQ(Call("chr", {I(-1)}), "!4");
   EXPECT_EQ(Call("chr", {new ORVA_Value(int64(1) << 40)}), "!4");
   EXPECT_EQ(Call("chr", {new ORVA_Value(uint64(UINT64_MAX))}), "!4");
   EXPECT_EQ(Call("chr", {new ORVA_Value(65.0)}), "!19");
   EXPECT_EQ(RunScript("println length(chr(0)) . ord(chr(200));"), "1200\n");
}

TEST(ExtFormat, ConversionsFlagsWidthPrecision)
{
   EXPECT_EQ(RunScript("println format(\"%d|%5d|%-5d|%05d|%+d|% d\", 42, 42, 42, 42, 42, 42);"),
             "42|   42|42   |00042|+42| 42\n");
   EXPECT_EQ(RunScript("println format(\"%x %X %#x %o %u\", 255, 255, 255, 8, -1);"), "ff FF 0xff 10 4294967295\n");
   EXPECT_EQ(RunScript("println format(\"%x %d %u\", -1L, 18446744073709551615UL, 4294967295U);"),
             "ffffffffffffffff 18446744073709551615 4294967295\n");
   EXPECT_EQ(RunScript("println format(\"%.2f %e %g %8.3f %i\", 3.14159, 1500, 0.5, 2, 7.9);"),
             "3.14 1.500000e+03 0.5    2.000 7\n");
   EXPECT_EQ(RunScript("println format(\"[%s][%5s][%-5s][%.2s][%c%c][%%]\", \"ab\", \"ab\", \"ab\", \"abc\", 72, 105);"),
             "[ab][   ab][ab   ][ab][Hi][%]\n");
   EXPECT_EQ(RunScript("println format(\"[%*d][%-*s][%.*f][%*s]\", 4, 7, 3, \"x\", 1, 2.25, -3, \"y\");"),
             "[   7][x  ][2.2][y  ]\n");
   EXPECT_EQ(RunScript("println format(\"%ld %lld %hd %zu\", 1, 2, 3, 4);"), "1 2 3 4\n");
   EXPECT_EQ(RunScript("println format(\"no directives\");"), "no directives\n");
   EXPECT_EQ(RunScript("println format(\"%s\", 1.5);"), "1.500000\n");   // numbers have text
}

TEST(ExtFormat, RefusesWhatItCannotDoSafely)
{
   // %n and conversions outside the list.
   EXPECT_EQ(Call("format", {T("%n"), I(1)}), "!4");
   EXPECT_EQ(Call("format", {T("%p"), I(1)}), "!4");
   EXPECT_EQ(Call("format", {T("abc%"), }), "!4");
   EXPECT_EQ(Call("format", {T("%5"), I(1)}), "!4");
   // Too few and too many arguments, never read past argv.
   EXPECT_EQ(Call("format", {T("%d %d"), I(1)}), "!12");
   EXPECT_EQ(Call("format", {T("%*d"), I(5)}), "!12");
   EXPECT_EQ(Call("format", {T("%d"), I(1), I(2)}), "!12");
   EXPECT_EQ(Call("format", {T("plain"), I(2)}), "!12");
   EXPECT_EQ(Call("format", {}), "!12");
   // Arguments of the wrong kind.
   EXPECT_EQ(Call("format", {T("%d"), T("abc")}), "!4");
   EXPECT_EQ(Call("format", {T("%d"), Null()}), "!4");
   EXPECT_EQ(Call("format", {T("%f"), Arr()}), "!4");
   EXPECT_EQ(Call("format", {T("%s"), Arr()}), "!17");
   EXPECT_EQ(Call("format", {T("%s"), Null()}), "!17");
   EXPECT_EQ(Call("format", {T("%c"), T("x")}), "!19");
   EXPECT_EQ(Call("format", {T("%*d"), T("w"), I(1)}), "!19");
   EXPECT_EQ(Call("format", {Arr()}), "!17");
   EXPECT_EQ(Call("format", {Null(), I(1)}), "!17");
   // Huge widths and precisions are refused before anything is allocated.
   EXPECT_EQ(Call("format", {T("%2147483647d"), I(1)}), "!4");
   EXPECT_EQ(Call("format", {T("%99999999999999999999999s"), T("x")}), "!4");
   EXPECT_EQ(Call("format", {T("%.2000000f"), new ORVA_Value(1.0)}), "!4");
   EXPECT_EQ(Call("format", {T("%*d"), new ORVA_Value(int64(INT64_MIN)), I(1)}), "!4");
   EXPECT_EQ(Call("format", {T("%.*s"), new ORVA_Value(uint64(UINT64_MAX)), T("x")}), "!4");
   EXPECT_EQ(Call("format", {T("%.*s"), I(-5), T("xyz")}), "string:xyz");   // negative: no precision
   // A text with a zero byte inside is kept whole, and formats stay text.
   ORVA_Value *withZero = new ORVA_Value("a\0b", 3);
   EXPECT_EQ(Call("format", {T("<%s>"), withZero}), std::string("string:<a\0b>", 12));
   EXPECT_EQ(Call("format", {T("%s%s"), T("%n"), T("%s")}), "string:%n%s");
}

TEST(ExtMath, FunctionsAndRounding)
{
   EXPECT_EQ(Call("sqrt", {I(16)}), "real:4.000000");
   EXPECT_NE(Call("sqrt", {I(-1)}).find("nan"), std::string::npos);
   EXPECT_EQ(Call("floor", {new ORVA_Value(2.7)}), "int32:2");
   EXPECT_EQ(Call("floor", {new ORVA_Value(-2.5)}), "int32:-3");
   EXPECT_EQ(Call("ceil", {new ORVA_Value(2.1)}), "int32:3");
   EXPECT_EQ(Call("round", {new ORVA_Value(2.5)}), "int32:3");
   EXPECT_EQ(Call("round", {new ORVA_Value(-2.5)}), "int32:-3");
   EXPECT_EQ(Call("round", {new ORVA_Value(5e9)}), "int64:5000000000");
   EXPECT_EQ(Call("round", {new ORVA_Value(1e300)}).substr(0, 6), "real:1");
   EXPECT_EQ(Call("floor", {T("0x10")}), "int32:0x10");   // a whole number stays as it is
   EXPECT_EQ(Call("floor", {new ORVA_Value(uint64(UINT64_MAX))}), "uint64:18446744073709551615");
   EXPECT_EQ(Call("exp", {I(0)}), "real:1.000000");
   EXPECT_EQ(Call("log", {I(1)}), "real:0.000000");
   EXPECT_EQ(Call("log", {I(0)}), "real:-inf");
   EXPECT_EQ(Call("sin", {I(0)}), "real:0.000000");
   EXPECT_EQ(Call("cos", {I(0)}), "real:1.000000");
   EXPECT_EQ(Call("tan", {I(0)}), "real:0.000000");
   EXPECT_EQ(Call("atan2", {I(1), I(1)}), "real:0.785398");
   EXPECT_EQ(Call("sqrt", {new ORVA_Value(uint64(1) << 63)}), "real:3037000499.976050");
   for (const char *name : {"sqrt", "floor", "round", "log"})
   {
      EXPECT_EQ(Call(name, {T("abc")}), "!4") << name;
      EXPECT_EQ(Call(name, {Null()}), "!4") << name;
      EXPECT_EQ(Call(name, {Arr()}), "!4") << name;
   }
   EXPECT_EQ(Call("atan2", {I(1), Null()}), "!4");
}

TEST(ExtArrays, CountAndSort)
{
   EXPECT_EQ(RunScript("array a; a[5] = 1; a[-2] = \"x\"; a[7] = NULL; println count(a);"), "2\n");
   EXPECT_EQ(RunScript("array a; a[10] = \"b\"; a[-1] = 10; a[3] = \"B\"; a[4] = 9.5; a[0] = \"ab\"; a[8] = 2;\n"
                       "n = sort(a); println n . \": \" . join(a, \" \") . \" / \" . typeof(a[10]) . count(a);"),
             "6: 2 9.500000 10 B ab b / null6\n");
   // Signed, unsigned and real numbers compare by value; arrays go last in
   // the order they had.
   EXPECT_EQ(RunScript("array a, x; x[1] = 1; a[1] = 18446744073709551615UL; a[2] = -1; a[3] = x; a[4] = 0.5;\n"
                       "a[5] = -9223372036854775807L; sort(a);\n"
                       "println a[1] . \" \" . a[2] . \" \" . a[3] . \" \" . a[4] . \" \" . typeof(a[5]);"),
             "-9223372036854775807 -1 0.500000 18446744073709551615 array\n");
   // Variables that share the array see the order.
   EXPECT_EQ(RunScript("array a; a[1] = 3; a[2] = 1; s(a); println a[1];\n}\nsub s(x) { sort(x);"), "1\n");
   EXPECT_EQ(Call("count", {T("abc")}), "!24");
   EXPECT_EQ(Call("sort", {Null()}), "!24");
   EXPECT_EQ(Call("split", {T("a"), T(","), T("notarray")}), "!24");
   EXPECT_EQ(Call("split", {Arr(), T(","), Arr()}), "!17");
   EXPECT_EQ(Call("join", {T("a"), T(",")}), "!24");
   EXPECT_EQ(RunScript("array a, b; a[1] = b; println join(a, \",\");"),
             "!Error 17 in line 2: Argument is not of string type and cannot be converted to string");
}

TEST(ExtArrays, SortOfNaNAndManyElementsStaysOrdered)
{
   std::string body = "array a; i = 0; while (i < 3000) { a[i] = (i * 7919) % 3001; i++; }\n"
                      "a[5000] = 0.0 / 0.0; n = sort(a); ok = 1; i = 1;\n"
                      "while (i < n - 1) { if (a[i] > a[i + 1]) ok = 0; i++; }\n"
                      "println n . \" \" . ok . \" \" . a[n];";
   std::string out = RunScript(body);
   EXPECT_EQ(out.substr(0, 7), "3001 1 ") << out;
   EXPECT_NE(out.find("nan"), std::string::npos) << out;
}

// Near 2^63 and 2^64 a real and a wide integer differ by one unit in the
// last place of neither; sort must still order them by their true values.
TEST(ExtArrays, SortOrdersWideIntegersAndRealsByTrueValue)
{
   auto order = [](ORVA_Value a, ORVA_Value b) { return ORVACompareNumbers(&a, &b); };
   const double two63 = 9223372036854775808.0, two64 = 18446744073709551616.0;
   EXPECT_EQ(order(ORVA_Value(INT64_MAX), ORVA_Value(two63)), -1);
   EXPECT_EQ(order(ORVA_Value(uint64(1) << 63), ORVA_Value(two63)), 0);
   EXPECT_EQ(order(ORVA_Value((uint64(1) << 63) + 1), ORVA_Value(two63)), 1);
   EXPECT_EQ(order(ORVA_Value(UINT64_MAX), ORVA_Value(two64)), -1);
   EXPECT_EQ(order(ORVA_Value(two64), ORVA_Value(UINT64_MAX)), 1);
   EXPECT_EQ(order(ORVA_Value(UINT64_MAX), ORVA_Value(int64(-1))), 1);
   EXPECT_EQ(order(ORVA_Value(INT64_MIN), ORVA_Value(-two63)), 0);
   EXPECT_EQ(order(ORVA_Value(INT64_MIN), ORVA_Value(-9223372036854777856.0)), 1);
   EXPECT_EQ(order(ORVA_Value(int32(0)), ORVA_Value(-0.5)), 1);
   EXPECT_EQ(order(ORVA_Value(int64(-1)), ORVA_Value(-0.5)), -1);
   EXPECT_EQ(order(ORVA_Value(uint32(4000000000u)), ORVA_Value(int32(-1))), 1);
   EXPECT_EQ(order(ORVA_Value(0.0 / 0.0), ORVA_Value(UINT64_MAX)), 1);
   EXPECT_EQ(order(ORVA_Value(0.0 / 0.0), ORVA_Value(0.0 / 0.0)), 0);

   EXPECT_EQ(RunScript("array a; a[1] = 18446744073709551616.0; a[2] = 18446744073709551615UL;\n"
                       "a[3] = 9223372036854775809UL; a[4] = 9223372036854775808.0; a[5] = 9223372036854775807L;\n"
                       "a[6] = -9223372036854775808.0; a[7] = -9223372036854775807L; sort(a); i = 1;\n"
                       "while (i <= 7) { print typeof(a[i]) . \" \"; i++; } println a[7] == 18446744073709551616.0;"),
             "real int64 int64 real uint64 uint64 real 1\n");
}

TEST(ExtHostile, HugeResultsGiveNullInsteadOfExhaustingMemory)
{
   // 70000 replacements of one byte by 70000 bytes would make 4.9 GB.
   std::string big(70000, 'a');
   EXPECT_EQ(Call("replace", {T(big.c_str()), T("a"), T(big.c_str())}), "null:");
   EXPECT_EQ(RunScript("s = \"x\"; i = 0; while (i < 15) { s = s . s; i++; }\n"
                       "println typeof(replace(s, \"x\", s)) . \" \" . length(s);"),
             "null 32768\n");
   // Huge and odd positions.
   EXPECT_EQ(Call("index", {T("abc"), T("c"), new ORVA_Value(uint64(UINT64_MAX))}), "int32:0");
   EXPECT_EQ(Call("index", {T("abc"), T("c"), new ORVA_Value(int64(INT64_MIN))}), "int32:3");
   EXPECT_EQ(Call("index", {T("abc"), T("c"), new ORVA_Value(1.5)}), "!19");
   EXPECT_EQ(Call("index", {T("abc")}), "!12");
   EXPECT_EQ(Call("index", {T("abc"), T("b"), I(1), I(2)}), "!12");
   EXPECT_EQ(Call("index", {Arr(), T("b")}), "!17");
   EXPECT_EQ(Call("trim", {Null()}), "!17");
   EXPECT_EQ(Call("ord", {Arr()}), "!17");
   EXPECT_EQ(Call("replace", {T("a"), Null(), T("b")}), "!17");
}

class ExtFiles : public ::testing::Test
{
protected:
   std::filesystem::path m_dir;
   void SetUp() override
   {
      m_dir = orva_test::MakeScratchDir("orva-ext-test-");
      ASSERT_FALSE(m_dir.empty());
   }
   void TearDown() override
   {
      std::error_code ec;
      std::filesystem::remove_all(m_dir, ec);
   }
};

TEST_F(ExtFiles, WriteThenReadKeepsEveryByte)
{
   std::string file = (m_dir / "out.txt").string();
   EXPECT_EQ(RunScript("println writefile(\"" + file + "\", \"a\" . chr(0) . \"b\\n\");\n"
                       "t = readfile(\"" + file + "\"); println length(t) . \" \" . ord(substr(t, 2));",
                       ORVA_EXT_PURE | ORVA_EXT_IO),
             "1\n4 0\n");
   EXPECT_EQ(RunScript("println typeof(readfile(\"" + (m_dir / "missing").string() + "\"));", ORVA_EXT_IO),
             "null\n");
   EXPECT_EQ(RunScript("println writefile(\"" + (m_dir / "no" / "dir").string() + "\", 1);", ORVA_EXT_IO), "0\n");
   // A name with a zero byte inside names no file, not a shorter one.
   EXPECT_EQ(Call("readfile", {new ORVA_Value((file + std::string("\0x", 2)).c_str(), uint32(file.size() + 2))}),
             "null:");
   EXPECT_EQ(Call("writefile", {new ORVA_Value((file + std::string("\0x", 2)).c_str(), uint32(file.size() + 2)),
                                T("x")}),
             "int32:0");
   EXPECT_EQ(Call("readfile", {Arr()}), "!17");
   EXPECT_EQ(Call("writefile", {T(file.c_str()), Arr()}), "!17");
   EXPECT_EQ(Call("writefile", {Null(), T("x")}), "!17");
   EXPECT_EQ(Call("readfile", {T("")}), "null:");
}

TEST(ExtIo, GetEnvAndReadLine)
{
   setenv("ORVA_EXT_TEST_VALUE", "0x1F", 1);
   unsetenv("ORVA_EXT_TEST_UNSET");
   EXPECT_EQ(Call("getenv", {T("ORVA_EXT_TEST_VALUE")}), "int32:0x1F");
   EXPECT_EQ(Call("getenv", {T("ORVA_EXT_TEST_UNSET")}), "null:");
   EXPECT_EQ(Call("getenv", {Arr()}), "!17");
   EXPECT_EQ(Call("getenv", {T("")}), "null:");

   // readline reads the process's standard input: give it a file.
   char path[] = "/tmp/orva-ext-stdin-XXXXXX";
   int fd = mkstemp(path);
   ASSERT_GE(fd, 0);
   static const char bytes[] = "first\r\n\nmid\0dle\nlast";
   std::string input(bytes, sizeof(bytes) - 1);
   ASSERT_EQ(write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
   close(fd);
   ASSERT_NE(freopen(path, "rb", stdin), nullptr);
   EXPECT_EQ(Call("readline", {}), "string:first\r");
   EXPECT_EQ(Call("readline", {}), "int32:");
   EXPECT_EQ(Call("readline", {}), std::string("string:mid\0dle", 14));
   EXPECT_EQ(Call("readline", {}), "string:last");   // no final line feed
   EXPECT_EQ(Call("readline", {}), "null:");
   EXPECT_EQ(Call("readline", {}), "null:");
   unlink(path);
   EXPECT_NE(freopen("/dev/null", "rb", stdin), nullptr);
}

TEST(ExtIo, ReadLineReadsTheInputStreamOfTheRun)
{
   char input[] = "alarm r1\nclear r1\n";
   FILE *in = fmemopen(input, sizeof(input) - 1, "r");
   ASSERT_NE(in, nullptr);
   ORVA_Program *program = ORVACompile("sub main() { return readline() . \"|\" . readline() . \"|\" . "
                                       "typeof(readline()); }",
                                       nullptr, 0);
   ASSERT_NE(program, nullptr);
   ORVA_Environment *env = new ORVA_Environment();
   env->SetIO(in, nullptr);
   ORVARegisterExtensions(env, ORVA_EXT_IO);
   ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0);
   EXPECT_STREQ(program->GetResult()->GetValueAsCString(), "alarm r1|clear r1|null");
   delete program;
   fclose(in);
}

}
