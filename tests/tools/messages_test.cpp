// The orva command's messages: FILE:LINE: for editors, readable token
// names, the hint for statements outside functions, and what it tells about
// modules.
#include "tools/command_runner.h"

namespace
{

TEST_F(OrvaCommand, CompileErrorsReadAsFileLineMessage)
{
   Script("top.orva", "sub main()\n{\n   println 1;\n}\nx = 1;\n");
   Outcome o = Run({"top.orva"});
   EXPECT_EQ(o.status, 3);
   EXPECT_EQ(o.err, "top.orva:5: error: syntax error, unexpected name, expecting end of input\n"
                    "top.orva:5: note: statements belong in a function such as `sub main()`\n");

   Script("println.orva", "println \"hi\";\n");
   EXPECT_EQ(Run({"println.orva"}).err, "println.orva:1: error: syntax error, unexpected 'println'\n"
                                        "println.orva:1: note: statements belong in a function such as `sub main()`\n");

   // No hint where the statements sit in a function, or in an expression.
   Script("inner.orva", "sub main() {\n   if (1) x = = 2;\n}\n");
   EXPECT_EQ(Run({"inner.orva"}).err, "inner.orva:2: error: syntax error, unexpected '='\n");
   EXPECT_EQ(Run({"-c", Script("expr.orva", "1 +\n").filename().string()}).err,
             "expr.orva:1: error: syntax error, unexpected end of input\n");

   // Several token names that mean one thing to a reader are listed once.
   Script("numbers.orva", "sub main() { x = 1 2; }\n");
   EXPECT_EQ(Run({"numbers.orva"}).err, "numbers.orva:1: error: syntax error, unexpected number\n");
   Script("open.orva", "sub main() {\n   return 1;\n");
   EXPECT_EQ(Run({"open.orva"}).err, "open.orva:2: error: syntax error, unexpected end of input, expecting '}'\n");
   Script("lex.orva", "sub main() {\n   # comment\n}\n");
   EXPECT_EQ(Run({"lex.orva"}).err, "lex.orva:2: error: Invalid character '#' (0x23)\n");
}

TEST_F(OrvaCommand, AcceptsByteOrderMarkAndALastLineWithoutLineFeed)
{
   // The // comment on the last line needs its line feed, which the command
   // adds.
   Script("bom.orva", "\xEF\xBB\xBFsub main()\n{\n   println \"bom\";\n} // no line feed after this");
   Outcome o = Run({"bom.orva"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "bom\n");
   EXPECT_EQ(o.err, "");
   EXPECT_EQ(Run({"-"}, "\xEF\xBB\xBF" "6 * 7 // answer").status, 0);
}

TEST_F(OrvaCommand, AnEmptyScriptSaysSo)
{
   for (const std::string &text : {std::string(), std::string("\n  \n"), std::string("// only a comment\n")})
   {
      Script("empty.orva", text);
      Outcome o = Run({"empty.orva"});
      EXPECT_EQ(o.status, 3);
      EXPECT_EQ(o.err, "empty.orva: error: the script is empty: write functions such as `sub main()`, or one "
                       "expression\n");
   }
   EXPECT_EQ(Run({"-e", ""}).status, 3);
}

TEST_F(OrvaCommand, ModulesAreFoundInTheSearchOrder)
{
   // One module name in four places; each run removes the place it used.
   fs::create_directories(m_dir / "app");
   fs::create_directories(m_dir / "inc");
   fs::create_directories(m_dir / "path1");
   fs::create_directories(m_dir / "path2");
   Script("app/main.orva", "use where;\nsub main() { println where(); }\n");
   for (const char *dir : {"app", "inc", "path2", "."})
      WriteFile(m_dir / dir / "where.orva", std::string("sub where() { return \"") + dir + "\"; }\n");
   std::vector<std::string> args = {"-L", "inc", "app/main.orva"};
   std::vector<std::string> env = {"ORVA_PATH=path1::path2"};

   EXPECT_EQ(Run(args, "", env).out, "app\n");
   fs::remove(m_dir / "app" / "where.orva");
   EXPECT_EQ(Run(args, "", env).out, "inc\n");
   fs::remove(m_dir / "inc" / "where.orva");
   EXPECT_EQ(Run(args, "", env).out, "path2\n");
   fs::remove(m_dir / "path2" / "where.orva");
   EXPECT_EQ(Run(args, "", env).out, ".\n");

   // The script library of -m comes before every file.
   WriteFile(m_dir / "lib.orva", "sub where() { return \"library\"; }\n");
   EXPECT_EQ(Run({"-m", "where=lib.orva", "-L", "inc", "app/main.orva"}).out, "library\n");

   // A name with :: is the file name as written.
   WriteFile(m_dir / "inc" / "net::tools.orva", "sub tool() { return 7; }\n");
   EXPECT_EQ(Run({"-L", "inc", "-e", "sub main() { println tool(); }\nuse net::tools;"}).out, "7\n");
}

TEST_F(OrvaCommand, MissingAndBrokenModulesAreNamed)
{
   fs::create_directories(m_dir / "inc");
   Script("s.orva", "// uses a module\nuse Missing;\nsub main() { }\n");
   Outcome o = Run({"-L", "inc", "s.orva"}, "", {"ORVA_PATH=/nonexistent"});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.err, "s.orva:2: error 16: Requested module not found or cannot be loaded: Missing\n"
                    "s.orva:2: note: looked for Missing.orva in ., inc, /nonexistent\n");

   WriteFile(m_dir / "inc" / "Missing.orva", "sub f()\n{\n   return 1\n}\n");
   o = Run({"-L", "inc", "s.orva"});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.err, "s.orva:2: error 16: Requested module not found or cannot be loaded: Missing\n"
                    "inc/Missing.orva:4: error: syntax error, unexpected '}', expecting ';'\n");
}

TEST_F(OrvaCommand, RunTimeErrorsNameTheFileOfTheFailingFunctionAndTheCalls)
{
   // An error on line 5 of a module used by a 2-line script names the
   // module's file, and the calls that led there follow, innermost first.
   WriteFile(m_dir / "m.orva", "sub f()\n{\n\n\n   return NULL + 1;\n}\nsub g() { return f(); }\n");
   Script("s.orva", "use m;\nsub main() { g(); }\n");
   Outcome o = Run({"s.orva"});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.err, "m.orva:5: error 5: Invalid operation with NULL value\n"
                    "m.orva:5: note: in f()\n"
                    "m.orva:7: note: called from g()\n"
                    "s.orva:2: note: called from main()\n");

   // A module of the script library names the file it was compiled from.
   o = Run({"-m", "M=m.orva", "s.orva"});
   EXPECT_EQ(o.err, "m.orva:5: error 5: Invalid operation with NULL value\n"
                    "m.orva:5: note: in f()\n"
                    "m.orva:7: note: called from g()\n"
                    "s.orva:2: note: called from main()\n");

   // An error in main itself needs no trail; errors before main name no line.
   Script("t.orva", "sub main()\n{\n   return 1 % 0;\n}\n");
   EXPECT_EQ(Run({"t.orva"}).err, "t.orva:3: error 9: Divide by zero\n");
   Script("u.orva", "use m;\nsub helper() { }\n");
   EXPECT_EQ(Run({"u.orva"}).err, "u.orva: error 7: main() function not presented\n");

   // Endless recursion: the trail keeps its ends and counts the rest.
   Script("r.orva", "sub r(n)\n{\n   return r(n + 1);\n}\nsub main() { r(0); }\n");
   o = Run({"r.orva"});
   EXPECT_TRUE(Contains(o.err, "r.orva:3: error 8: Control stack overflow\nr.orva:3: note: in r()\n")) << o.err;
   EXPECT_TRUE(Contains(o.err, "r.orva: note: ... 32749 calls left out\n")) << o.err;
   EXPECT_TRUE(Contains(o.err, "r.orva:5: note: called from main()\n")) << o.err;
   EXPECT_LT(o.err.size(), 2000u);
}

}
