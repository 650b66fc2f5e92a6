// Runs the built orva command as a user would: arguments, standard input,
// and what comes back on standard output, standard error and as exit status.
#include "orva.h"

#include "tools/command_runner.h"

namespace
{

TEST_F(OrvaCommand, RunsScriptWithArgumentsAsValues)
{
   fs::path script = Script("args.orva",
                            "sub main(a, b) {\n"
                            "   println typeof(a) . \" \" . typeof(b) . \" \" . $3;\n"
                            "   println b + 1;\n"
                            "}\n");
   Outcome o = Run({script.string(), "word", "41", "third"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "string int32 third\n42\n");
   EXPECT_EQ(o.err, "");

   // Options after the script name are arguments of the script.
   o = Run({script.string(), "-c", "2", "-x"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "string int32 -x\n3\n");
}

TEST_F(OrvaCommand, ExitStatusTellsHowTheRunEnded)
{
   Outcome o = Run({Script("ok.orva", "sub main() { println \"before\"; exit 7; println \"after\"; }").string()});
   EXPECT_EQ(o.status, 0);   // exit completes the run
   EXPECT_EQ(o.out, "before\n");

   o = Run({Script("runtime.orva", "sub main() {\n println \"start\";\n return 1 / \"x\";\n}").filename().string()});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.out, "start\n");
   EXPECT_EQ(o.err, "runtime.orva:3: error 4: Bad arithmetic conversion\n");

   o = Run({Script("nomain.orva", "sub helper() { }").filename().string()});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.err, "nomain.orva: error 7: main() function not presented\n");

   o = Run({Script("syntax.orva", "sub main() {\n x = 1\n}\n").filename().string()});
   EXPECT_EQ(o.status, 3);
   EXPECT_EQ(o.out, "");
   EXPECT_EQ(o.err, "syntax.orva:3: error: syntax error, unexpected '}'\n");

   o = Run({"missing.orva"});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "cannot read script 'missing.orva'")) << o.err;

   o = Run({"-q", "x.orva"});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "unknown option '-q'")) << o.err;

   o = Run({"-e"});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "option -e needs a value")) << o.err;
}

TEST_F(OrvaCommand, ExpressionOptionPrintsBareExpressions)
{
   EXPECT_EQ(Run({"-e", "6 * 7"}).out, "42\n");
   EXPECT_EQ(Run({"-e", "$1 . \"-\" . $2", "a", "7"}).out, "a-7\n");
   EXPECT_EQ(Run({"-e", "upper(\"ab\") // a trailing comment"}).out, "AB\n");

   // Assignments and null values print nothing; statements run as main.
   Outcome o = Run({"-e", "x = 5"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "");
   EXPECT_EQ(Run({"-e", "NULL"}).out, "");
   EXPECT_EQ(Run({"-e", "x = 2; while (x > 0) { println x; x--; }"}).out, "2\n1\n");
   EXPECT_EQ(Run({"-e", "println \"no semicolon\""}).out, "no semicolon\n");
   EXPECT_EQ(Run({"-e", "sub main(n) { println n * 2; }", "21"}).out, "42\n");

   // Errors keep the line numbers of the text as given.
   o = Run({"-e", "if (1) {"});
   EXPECT_EQ(o.status, 3);
   EXPECT_EQ(o.err, "(command line):1: error: syntax error, unexpected end of input, expecting '}'\n");
   o = Run({"-e", "x = 1;\ny = NULL + 1;"});
   EXPECT_EQ(o.status, 1);
   EXPECT_EQ(o.err, "(command line):2: error 5: Invalid operation with NULL value\n");
}

TEST_F(OrvaCommand, CheckListingAndResultOptions)
{
   fs::path script = Script("r.orva", "sub main() { println \"ran\"; return 40 + 2; }");

   Outcome o = Run({"-c", script.string()});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "");   // compiled, not run
   EXPECT_EQ(Run({"-c", Script("bad.orva", "sub main( {").string()}).status, 3);

   o = Run({"-cd", script.string()});
   EXPECT_EQ(o.status, 0);
   EXPECT_TRUE(Contains(o.out, "PRINT")) << o.out;
   EXPECT_FALSE(Contains(o.out, "\nran\n"));

   o = Run({"-d", "-r", script.string()});
   EXPECT_EQ(o.status, 0);
   EXPECT_TRUE(Contains(o.out, "PRINT")) << o.out;
   EXPECT_TRUE(Contains(o.out, "\nran\n42\n")) << o.out;

   EXPECT_EQ(Run({"-r", "-e", "sub main() { }"}).out, "null\n");
   EXPECT_EQ(Run({"-r", "-e", "6 * 7"}).out, "42\n");   // printed once
   EXPECT_EQ(Run({"-r", "-e", "array a, b; b[0] = 1; a[2] = \"x\"; a[-1] = b; return a;"}).out,
             "[-1: [0: 1], 2: \"x\"]\n");
}

TEST_F(OrvaCommand, DefineOptionSetsGlobals)
{
   fs::path script = Script("g.orva",
                            "sub show() { return typeof(limit) . \" \" . (limit + 1) . \" \" . name; }\n"
                            "sub main() { println show(); }\n");
   Outcome o = Run({"-D", "limit=41", "-Dname=a b", script.string()});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "int32 42 a b\n");

   EXPECT_EQ(Run({"-D", "empty=", "-e", "typeof(empty)"}).out, "int32\n");   // "" reads as 0
   o = Run({"-D", "novalue", "-e", "1"});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "-D needs NAME=VALUE")) << o.err;
   EXPECT_EQ(Run({"-D", "=1", "-e", "1"}).status, 2);
}

TEST_F(OrvaCommand, ModuleOptionFillsTheScriptLibrary)
{
   fs::create_directory(m_dir / "lib");
   WriteFile(m_dir / "lib" / "greet.orva", "sub greet(n) { return \"hello \" . n; }");
   fs::path script = Script("use.orva", "use Greet;\nsub main(n) { println greet(n); }");

   // Without -m the module is looked for as Greet.orva, which is nowhere.
   Outcome o = Run({script.string(), "you"});
   EXPECT_EQ(o.status, 1);
   EXPECT_TRUE(Contains(o.err, script.string() + ":1: error 16: Requested module not found or cannot be loaded: Greet\n"))
      << o.err;

   o = Run({"-m", "greet=lib/greet.orva", script.string(), "you"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "hello you\n");

   WriteFile(m_dir / "broken.orva", "sub f( {");
   o = Run({"-m", "broken=broken.orva", script.string()});
   EXPECT_EQ(o.status, 3);
   EXPECT_TRUE(Contains(o.err, "broken.orva:1: error: syntax error, unexpected '{', expecting name or ')'")) << o.err;

   EXPECT_EQ(Run({"-m", "x=nofile.orva", script.string()}).status, 2);
   o = Run({"-m", "a=lib/greet.orva", "-m", "A=lib/greet.orva", script.string()});
   EXPECT_EQ(o.status, 2);
   EXPECT_TRUE(Contains(o.err, "given more than once")) << o.err;
}

TEST_F(OrvaCommand, ReadsScriptFromStandardInput)
{
   std::string script = "sub main(a) { println \"got \" . typeof(a); }";
   Outcome o = Run({"-", "7"}, script);
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "got int32\n");

   // No script and no terminal: standard input is the script.
   EXPECT_EQ(Run({}, script).out, "got null\n");
   o = Run({}, "sub main() { return 1 }");
   EXPECT_EQ(o.status, 3);
   EXPECT_EQ(o.err, "(stdin):1: error: syntax error, unexpected '}', expecting ';'\n");

   // A "#!" line lets scripts run as programs; line numbers stay.
   o = Run({Script("sheb.orva", "#!/usr/bin/env orva\nsub main() {\n return NULL + 1;\n}").string()});
   EXPECT_EQ(o.status, 1);
   EXPECT_TRUE(Contains(o.err, "sheb.orva:3: error 5: ")) << o.err;
}

TEST_F(OrvaCommand, PromptThroughAPipe)
{
   std::string input =
      "x = 20\n"
      "x + 22\n"
      "\n"
      "y = x * 2;\n"
      "sub twice(n) {\n"      // continues until the brace closes
      "   return n * 2;\n"
      "}\n"
      "twice(y)\n"
      "sub twice(n) { return n * 3; }\n"   // replaces the definition
      "twice(1)\n"
      "array a;\n"
      "a[1] = \"q\"; a[2] = x;\n"
      "a\n"
      "1 / NULL\n"                         // an error does not end the prompt
      "y = 5; z = NULL + 1;\n"             // and keeps nothing of its input
      "y\n"
      "println \"printed\"\n"
      "bad input here\n"
      "limit\n"
      "sub main() { return limit * 2; }\n" // runs at once
      "exit\n"
      "1 + 1\n";
   Outcome o = Run({"-i", "-D", "limit=7"}, input);
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, "42\n80\n3\n[1: \"q\", 2: 20]\n40\nprinted\n7\n14\n");
   EXPECT_TRUE(Contains(o.err, "(prompt):1: error 5: Invalid operation with NULL value\n")) << o.err;
   EXPECT_TRUE(Contains(o.err, "(prompt):1: error: syntax error, unexpected name")) << o.err;

   // Functions do not see prompt variables; -D globals they do see.
   o = Run({"-i", "-D", "g=1"}, "n = 10\nsub f(n) { return n + g; }\nf(1)\ng = 5\nf(1)\n");
   EXPECT_EQ(o.out, "2\n6\n");
   EXPECT_EQ(o.err, "");

   // An empty line drops an unfinished input; at the end of input one is an
   // error.
   o = Run({"-i"}, "if (1) {\n\n1 + 1\nfoo(1,\n");
   EXPECT_EQ(o.out, "2\n");
   EXPECT_EQ(o.err, "(prompt):1: error: syntax error, unexpected end of input\n");

   EXPECT_EQ(Run({"-i", "x.orva"}).status, 2);
}

TEST_F(OrvaCommand, HelpAndVersion)
{
   Outcome o = Run({"--help"});
   EXPECT_EQ(o.status, 0);
   EXPECT_TRUE(Contains(o.out, "Usage: orva [OPTION]... SCRIPT [ARG]..."));
   EXPECT_TRUE(Contains(o.out, "Exit status:"));
   EXPECT_EQ(Run({"-h"}).out, o.out);

   o = Run({"--version"});
   EXPECT_EQ(o.status, 0);
   EXPECT_EQ(o.out, std::string("orva ") + ORVA_VERSION_STRING + "\n");
   EXPECT_EQ(Run({"-v"}).out, o.out);
}

}
