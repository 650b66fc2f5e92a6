// The orva command's options beyond running a script: the listing, the
// extension functions and argc(), and the examples that read standard input.
#include "tools/command_runner.h"

#include <chrono>

namespace
{

TEST_F(OrvaCommand, ListingEscapesConstantsAndLabelsFunctions)
{
   Script("d.orva", "sub f(a)\n{\n   return \"a\\tb\\nc\\x01\" . \"\\\"\";\n}\n"
                    "sub main() { println f(1); }\n");
   Outcome o = Run({"-c", "-d", "d.orva"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "f:\n"
                    "0000  BIND    a\n"
                    "0001  PUSH    \"a\\tb\\nc\\x01\"\n"
                    "0002  PUSH    \"\\\"\"\n"
                    "0003  CONCAT  \n"
                    "0004  RET     \n"
                    "0005  NRET    \n"
                    "main:\n"
                    "0006  PUSH    \"1\"\n"
                    "0007  CALL    0000, 1\n"
                    "0008  PUSH    \"\\n\"\n"
                    "0009  CONCAT  \n"
                    "000A  PRINT   \n"
                    "000B  NRET    \n");
   // A constant whose text looks like the next instruction stays one line.
   o = Run({"-c", "-d", "-e", "\"x\\\"\\n0001  NRET    \" . 1"});
   EXPECT_TRUE(Contains(o.out, "0000  PUSH    \"x\\\"\\n0001  NRET    \"\n0001  ")) << o.out;
}

TEST_F(OrvaCommand, ScriptsHaveTheExtensionFunctionsAndArgc)
{
   Outcome o = Run({"-e", "array a; n = split($1, \",\", a); sort(a);\n"
                          "println format(\"%d:%s|%5.2f\", n, join(a, \"+\"), sqrt(2)) . \" \" . argc();",
                    "c,a,b", "x"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "3:a+b+c| 1.41 2\n");
   EXPECT_EQ(Run({"-e", "argc()"}).out, "0\n");
   EXPECT_EQ(Run({"-e", "typeof(getenv(\"ORVA_TEST_VALUE\")) . readline()", }, "line\n", {"ORVA_TEST_VALUE=abc"}).out,
             "stringline\n");

   // The command's files are the script's to use.
   o = Run({"-e", "writefile(\"out.txt\", \"saved\") . readfile(\"out.txt\")"});
   EXPECT_EQ(o.out, "1saved\n");
   EXPECT_EQ(ReadFile(m_dir / "out.txt"), "saved");
   o = Run({"-e", "format(\"%n\", 1)"});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.err, "(command line):1: error 4: Bad arithmetic conversion\n");
}

TEST_F(OrvaCommand, ExamplesThatReadStandardInputRun)
{
   const fs::path examples = fs::path(ORVA_SOURCE_DIR) / "examples";
   int run = 0;
   for (const auto &entry : fs::directory_iterator(examples))
   {
      if (entry.path().extension() != ".orva")
         continue;
      std::istringstream lines(ReadFile(entry.path()));
      std::string line, input;
      while (std::getline(lines, line) && line.compare(0, 2, "//") == 0)
         if (line.compare(0, 9, "// stdin:") == 0)
            input = line.substr(line.find_first_not_of(' ', 9));
      if (input.empty())
         continue;
      std::string expected = ReadFile(fs::path(ORVA_TEST_DATA_DIR) / "scripts" / "examples" /
                                      (entry.path().stem().string() + ".expected"));
      Outcome o = Run({entry.path().string()}, ReadFile(examples / input));
      EXPECT_EQ(o.status, 0) << entry.path();
      EXPECT_EQ(o.out, expected) << entry.path();
      EXPECT_EQ(o.err, "") << entry.path();
      run++;
   }
   EXPECT_GE(run, 1);
}

// The command reads a module's file while the run links it: the reading
// counts against --timeout, so a huge module stops the run at its deadline
// instead of after the whole file was read and copied (seconds for this one).
TEST_F(OrvaCommand, ReadingAModuleCountsAgainstTheTimeout)
{
   std::string module;
   const std::string line = "sub f(x) { y = x + 1; z = y * 2; return z . \"abcdefghijklmnop\"; }\n";
   module.reserve(64u << 20);
   while (module.size() < (64u << 20))
      module += line;
   Script("huge.orva", module);
   Script("uses.orva", "use huge;\nsub main() { return f(1); }\n");
   const auto start = std::chrono::steady_clock::now();
   Outcome o = Run({"--timeout", "0.05", "uses.orva"});
   const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
   EXPECT_EQ(o.status, 4);
   EXPECT_TRUE(Contains(o.err, "time limit reached")) << o.err;
   EXPECT_LT(seconds, 1.5);
}

TEST_F(OrvaCommand, LimitOptionsStopARunawayScriptWithTheirOwnStatus)
{
   Script("spin.orva", "sub main() {\n  println \"start\";\n  while (1) { }\n}\n");
   Outcome o = Run({"--max-instructions", "100000", "spin.orva"});
   EXPECT_EQ(o.status, 4);
   EXPECT_EQ(o.out, "start\n");
   EXPECT_EQ(o.err, "spin.orva:3: instruction limit reached\n");
   o = Run({"--timeout=0.05", "spin.orva"});
   EXPECT_EQ(o.status, 4);
   EXPECT_EQ(o.err, "spin.orva:3: time limit reached\n");
   Script("grow.orva", "sub main() {\n  s = \"x\";\n  while (1) {\n    s = s . s;\n  }\n}\n");
   o = Run({"--max-memory", "1M", "grow.orva"});
   EXPECT_EQ(o.status, 4);
   EXPECT_TRUE(Contains(o.err, "grow.orva:")) << o.err;
   EXPECT_TRUE(Contains(o.err, "memory limit reached")) << o.err;

   // Within the limits nothing changes; a run-time error keeps status 1.
   o = Run({"--max-instructions", "100000", "--timeout", "30", "--max-memory", "64M", "-e", "6 * 7"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "42\n");
   EXPECT_EQ(Run({"--max-instructions", "100000", "-e", "1 / \"x\""}).status, 1);

   // 0 means no limit, as --help and the manual say.
   Script("count.orva", "sub main() {\n  i = 0;\n  while (i < 300000) i++;\n  println i;\n}\n");
   o = Run({"--max-instructions", "0", "--timeout", "0", "--max-memory", "0", "count.orva"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "300000\n");
   EXPECT_TRUE(Contains(Run({"--help"}).out, "0 means no limit"));

   for (const char *bad : {"--max-instructions=-1", "--max-instructions=1e6", "--timeout=soon", "--timeout=-2",
                           "--max-memory=12Q", "--max-memory=99999999999G", "--max-memory="})
   {
      o = Run({bad, "-e", "1"});
      EXPECT_EQ(o.status, 2) << bad;
      EXPECT_TRUE(Contains(o.err, "needs")) << bad << ": " << o.err;
   }
}

}

namespace
{

// The word count that the language guide shows counts what wc counts, runs
// of blanks and tabs included.
TEST_F(OrvaCommand, TheGuidesWordCountAgreesWithWc)
{
   const std::string guide = ReadFile(fs::path(ORVA_SOURCE_DIR) / "docs" / "language.md");
   size_t start = guide.find("// A word count of standard input");
   ASSERT_NE(start, std::string::npos);
   size_t end = guide.find("```", start);
   ASSERT_NE(end, std::string::npos);
   Script("wc.orva", guide.substr(start, end - start));
   Outcome o = Run({"wc.orva"}, "one  two\tthree\n   0 four  \n\nfive\n");
   EXPECT_EQ(o.err, "");
   EXPECT_EQ(o.out, "4 lines, 6 words\n");
}

}

namespace
{

// The guide's rule next to `09`: texts with a leading zero that are not
// octal read as reals.
TEST_F(OrvaCommand, TheGuidesRuleForTextsLike09)
{
   Outcome o = Run({"-e", "typeof(\"08\") . \" \" . typeof(\"09\") . \" \" . typeof(\"07\") . \" \" . (\"09\" + 0)"});
   EXPECT_EQ(o.out, "real real int32 9.000000\n");
}

}
