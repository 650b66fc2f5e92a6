/*
 * Built-ins the loop calls in place (length, substr, upper, lower) and the
 * one-byte texts a run shares: each script runs with the fast paths and
 * without them, and both must agree to the byte - results, their types,
 * errors and their lines, and where the limits stop the run.
 */
#include "vm/engine.h"
#include "test_util.h"
#include "vm_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Records = std::vector<std::string>;

namespace
{
struct Outcome
{
   int rc = 0;
   std::string error;
   Records recorded;
};

// A host function that writes over the text it is handed, as a host may.
int Scribble(int, ORVA_Value **argv, ORVA_Value **)
{
   char *text = argv[0]->GetValueAsCString();
   if (text != nullptr && text[0] != 0)
      text[0] = 'Z';
   return 0;
}

// A host's own length(), to stand where the built-in stood.
int HostLength(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value(static_cast<int32>(-7));
   return 0;
}

// swap() trades the handler under length() between the host's and the built-in.
ORVA_Environment *s_swapIn = nullptr;
ORVA_ExtHandler s_builtinLength = nullptr;
int SwapLength(int, ORVA_Value **, ORVA_Value **)
{
   ORVA_ExtFunction *length = s_swapIn->FindFunction("length");
   length->m_handler = (length->m_handler == HostLength) ? s_builtinLength : HostLength;
   return 0;
}

Outcome RunOnce(ORVA_Program *program, bool plain, uint64 instructions, uint64 memory)
{
   ORVA_Engine::UseGeneralPathsOnly(program, plain);
   g_recorded.clear();
   ORVA_Environment *env = MakeEnvironment(nullptr, {{"scribble", Scribble, 1}});
   env->SetInstructionLimit(instructions);
   env->SetMemoryLimit(memory);
   Outcome o;
   o.rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   if (program->GetErrorText() != nullptr)
      o.error = program->GetErrorText();
   o.recorded = g_recorded;   // the run has taken the environment
   return o;
}

/* The fast run's outcome, checked against the plain run's. */
Outcome Both(const std::string &source, uint64 instructions = 0, uint64 memory = 0)
{
   ORVA_Program *program = orva_test::Compile(source);
   if (program == nullptr)
      return Outcome();
   const Outcome plain = RunOnce(program, true, instructions, memory);
   const Outcome fast = RunOnce(program, false, instructions, memory);
   delete program;
   EXPECT_EQ(fast.rc, plain.rc) << source;
   EXPECT_EQ(fast.error, plain.error) << source;
   EXPECT_EQ(fast.recorded, plain.recorded) << source;
   return fast;
}

Records RecordsOf(const std::string &body)
{
   const Outcome o = Both(orva_test::MainOf(body));
   EXPECT_EQ(o.rc, 0) << o.error << "\n" << body;
   return o.recorded;
}
}   // namespace

TEST(BuiltinCalls, SubstrCutsAndTypesItsPiecesAlike)
{
   struct Case
   {
      const char *call;
      const char *recorded;
   };
   const Case cases[] = {
      {"substr(\"hello\", 2, 3)", "string:ell"},
      {"substr(\"hello\", 1, 1)", "string:h"},
      {"substr(\"hello\", 0, 1)", "string:h"},                 // positions below 1 mean the first byte
      {"substr(\"hello\", -5, 2)", "string:he"},
      {"substr(\"hello\", 5, 9)", "string:o"},                 // one byte, cut at the end
      {"substr(\"hello\", 6, 1)", "int32:"},                  // the empty text reads as a number
      {"substr(\"hello\", 4294967297, 1)", "int32:"},          // beyond the text, not wrapped into it
      {"substr(\"hello\", 2, 0)", "int32:"},
      {"substr(\"hello\", 2, -1)", "int32:"},
      {"substr(\"hello\", 3)", "string:llo"},
      {"substr(\"hello\", NULL, 1)", "string:h"},
      {"substr(\"a7b\", 2, 1)", "int32:7"},                     // a digit reads as its number
      {"substr(\"a.b\", 2, 1)", "string:."},
      {"substr(\"a-b\", 2, 1)", "string:-"},
      {"substr(\"a b\", 2, 1)", "string: "},
      {"substr(90817, 3, 1)", "int32:8"},                      // a number is cut through its text
      {"substr(2.5, 2, 1)", "string:."},
      {"length(\"\")", "uint32:0"},
      {"length(\"hello\")", "uint32:5"},
      {"length(12345)", "uint32:5"},
      {"upper(\"aBc1\")", "string:ABC1"},
      {"lower(\"aBc1\")", "string:abc1"},
      {"upper(substr(\"xyz\", 2, 1))", "string:Y"},
      {"upper(42)", "int32:42"},                               // the copy keeps its type
   };
   for (const Case &c : cases)
      EXPECT_EQ(RecordsOf(std::string("rec(") + c.call + ");"), Records{c.recorded}) << c.call;
}

TEST(BuiltinCalls, WrongArgumentsFailWithTheHandlersErrorAtTheirLine)
{
   const char *calls[] = {
      "substr(\"abc\")",     "substr(\"abc\", 1, 2, 3)", "substr(NULL, 1)",  "substr(\"abc\", \"x\")",
      "substr(\"abc\", 1, 1.5)", "length(NULL)",         "length(\"a\", \"b\")", "upper(NULL)",
      "lower()",
   };
   for (const char *call : calls)
   {
      const Outcome o = Both(std::string("sub main() {\n   a = 1;\n   b = ") + call + ";\n   rec(b);\n}\n");
      EXPECT_NE(o.rc, 0) << call;
      EXPECT_NE(o.error.find("line 3"), std::string::npos) << call << ": " << o.error;
      EXPECT_TRUE(o.recorded.empty()) << call;
   }
}

TEST(BuiltinCalls, CallsOnLocalsAgreeWithThePlainCallAndLeaveTheLocalsAlone)
{
   // The arguments are read where they live; each case records the result
   // and then the locals, which must be as they were.
   struct Case
   {
      const char *locals;
      const char *call;
      Records recorded;
   };
   const Case cases[] = {
      {"s = \"hello\"; p = 2; k = 3;", "substr(s, p, k)", {"string:ell", "string:hello", "int32:2", "int32:3"}},
      {"s = \"hello\"; p = 5; k = 1;", "substr(s, p, 1)", {"string:o", "string:hello", "int32:5", "int32:1"}},
      {"s = \"a7b\"; p = 2; k = 0;", "substr(s, p, 1)", {"int32:7", "string:a7b", "int32:2", "int32:0"}},
      {"s = \"hello\"; p = NULL; k = 0;", "substr(s, p)", {"string:hello", "string:hello", "null:", "int32:0"}},
      {"s = \"hello\"; p = 9; k = 0;", "substr(s, p)", {"int32:", "string:hello", "int32:9", "int32:0"}},
      {"s = \"abc\"; p = 0; k = 0;", "length(s)", {"uint32:3", "string:abc", "int32:0", "int32:0"}},
      // A number has no text until one is asked of it: the plain call
      // reads a copy's, and the local stays as it was.
      {"s = 90817; p = 3; k = 1;", "substr(s, p, k)", {"int32:8", "int32:90817", "int32:3", "int32:1"}},
      {"s = 12345; p = 0; k = 0;", "length(s)", {"uint32:5", "int32:12345", "int32:0", "int32:0"}},
      // These may take an argument's text: the local's must stay its own.
      {"s = \"aB\"; s = s . \"c\"; p = 0; k = 0;", "upper(s)", {"string:ABC", "string:aBc", "int32:0", "int32:0"}},
      {"s = \"aB\"; s = s . \"c\"; p = 0; k = 0;", "lower(s)", {"string:abc", "string:aBc", "int32:0", "int32:0"}},
   };
   for (const Case &c : cases)
      EXPECT_EQ(RecordsOf(std::string(c.locals) + " r = " + c.call + "; rec(r, s, p, k);"), c.recorded) << c.call;

   // Wrong arguments in locals fail as the plain call does, at its line.
   const char *wrong[] = {"substr(s, t)", "substr(s, p, t)", "substr(u, p)", "length(s, p)", "substr(s)"};
   for (const char *call : wrong)
   {
      const Outcome o = Both(std::string("sub main() {\n   s = \"abc\"; t = \"x\"; p = 1; u = NULL;\n   b = ") + call +
                             ";\n   rec(b);\n}\n");
      EXPECT_NE(o.rc, 0) << call;
      EXPECT_NE(o.error.find("line 3"), std::string::npos) << call << ": " << o.error;
   }

   // Pieces of locals kept until memory runs out stop the run at the same
   // line in both forms.
   const Outcome memory = Both(orva_test::MainOf("array kept; s = \"0123456789abcdefghij\"; i = 0; k = 0;\n"
                                                 "while (1) { p = i % 20 + 1; k = i % 7; kept[i] = substr(s, p, k); i++; }"),
                               0, 256 * 1024);
   EXPECT_NE(memory.rc, 0);
   EXPECT_NE(memory.error.find("line 3"), std::string::npos) << memory.error;
}

TEST(BuiltinCalls, ASharedByteTextNeverChangesUnderItsOtherHolders)
{
   // Appending to a piece, a host writing into the copy it is handed, and
   // an element holding one all leave every other piece of the byte alone.
   EXPECT_EQ(RecordsOf("s = \"abcabc\"; c = substr(s, 1, 1); c = c . \"x\"; d = substr(s, 4, 1);\n"
                       "scribble(d); e = substr(s, 1, 1); array a; a[0] = e; a[0] = a[0] . \"y\";\n"
                       "rec(c, d, e, a[0], substr(s, 4, 1));"),
             (Records{"string:ax", "string:a", "string:a", "string:ay", "string:a"}));
   // A digit piece that counts on stays a number, and the next piece of it
   // is the digit again.
   EXPECT_EQ(RecordsOf("t = \"5\"; n = substr(t, 1, 1); n++; rec(n, substr(t, 1, 1), substr(t, 1, 1) + 1);"),
             (Records{"int32:6", "int32:5", "int32:6"}));
}

TEST(BuiltinCalls, ComparisonsOfPiecesAndLengths)
{
   // A counter against length()'s unsigned result, and texts compared.
   EXPECT_EQ(RecordsOf("s = \"a b  c\"; n = length(s); i = 0 - 1; blanks = 0; below = i < n;\n"
                       "while (i <= n) { if (substr(s, i, 1) == \" \") blanks++; i++; }\n"
                       "rec(blanks, below, n >= 6, n != 6, i > n);"),
             (Records{"int32:3", "int32:1", "int32:1", "int32:0", "int32:1"}));
   // A digit piece is a number that keeps its text: against a text it
   // compares by bytes, against a number by value; a number that never had
   // a text compares by the text it is given.
   EXPECT_EQ(RecordsOf("c = substr(\"a10\", 2, 2); t = 5 * 2; rec(c == \"10\", c != \"10\", \"10\" == c, c == \",\",\n"
                       "c == 10, c == \"010\", t == \"10\", t != \"ten\", substr(\"x\", 1, 1) != NULL);"),
             (Records{"int32:1", "int32:0", "int32:1", "int32:0", "int32:1", "int32:0", "int32:1", "int32:1", "int32:1"}));
}

TEST(BuiltinCalls, LimitsStopTheRunAtTheSamePoint)
{
   const std::string scan = orva_test::MainOf("s = \"\"; while (length(s) < 4000) s = s . \"abcdefghij\";\n"
                                              "n = 0; k = 0;\n"
                                              "while (k < 200) { i = 1; while (i <= length(s)) { if (substr(s, i, 1) == \"e\") n++; i++; } k++; }\n"
                                              "rec(n);");
   const Outcome budget = Both(scan, 200000);
   EXPECT_NE(budget.rc, 0);
   EXPECT_NE(budget.error.find("line 4"), std::string::npos) << budget.error;

   // Pieces of many lengths kept in an array until memory runs out.
   const Outcome memory = Both(orva_test::MainOf("array kept; s = \"0123456789abcdefghij\"; i = 0;\n"
                                                 "while (1) { kept[i] = substr(s, i % 20 + 1, i % 7); i++; }"),
                               0, 256 * 1024);
   EXPECT_NE(memory.rc, 0);
   EXPECT_NE(memory.error.find("line 3"), std::string::npos) << memory.error;

   // Under a ceiling too low for a table of one-byte texts, pieces are
   // made one by one and the run goes on.
   const Outcome tight = Both(orva_test::MainOf("s = \"abc\"; rec(substr(s, 2, 1), substr(s, 3, 1) . substr(s, 1, 1));"),
                              0, 3000);
   EXPECT_EQ(tight.rc, 0) << tight.error;
   EXPECT_EQ(tight.recorded, (Records{"string:b", "string:ca"}));
}

TEST(BuiltinCalls, ACallSiteFollowsTheHandlerTheHostPutsUnderTheName)
{
   // One program, its call sites remembered between runs and within one:
   // a host that puts its own handler under the built-in's name, before a
   // run or from a host call in the middle of it, is called from then on,
   // and the built-in again once it is put back.
   ORVA_Program *program = orva_test::Compile(
      orva_test::MainOf("i = 0; while (i < 4) { rec(length(\"abc\")); if (i == 1) swap(); i++; }"));
   ASSERT_NE(program, nullptr);
   const std::string builtIn = "uint32:3", host = "int32:-7";
   for (const bool hostFirst : {false, true, false})
   {
      g_recorded.clear();
      ORVA_Environment *env = MakeEnvironment(nullptr, {{"swap", SwapLength, 0}});
      s_swapIn = env;
      ORVA_ExtFunction *length = env->FindFunction("length");
      ASSERT_NE(length, nullptr);
      s_builtinLength = length->m_handler;
      if (hostFirst)
         length->m_handler = HostLength;
      ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0) << program->GetErrorText();
      const std::string before = hostFirst ? host : builtIn, after = hostFirst ? builtIn : host;
      EXPECT_EQ(g_recorded, (Records{before, before, after, after})) << hostFirst;
   }
   delete program;
}
