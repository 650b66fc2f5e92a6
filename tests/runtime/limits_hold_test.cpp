// Limits against scripts that try to get past them: a refused store never
// leaves the engine touching freed memory (the sanitizer build checks),
// work whose cost depends on its operands is charged on every path, and a
// run stops with the reason of the limit it met.
#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace
{
struct Limits
{
   uint64 memory = 0;
   uint64 instructions = 0;
   uint32 milliseconds = 0;
};

struct Outcome
{
   int rc;
   int reason;
   std::string error;
   std::string result;
   double seconds;
};

Outcome RunUnder(ORVA_Program *program, const Limits &limits, ORVA_Environment *env = nullptr)
{
   if (env == nullptr)
   {
      env = new ORVA_Environment();
      ORVARegisterExtensions(env, ORVA_EXT_PURE);
   }
   env->SetMemoryLimit(limits.memory);
   env->SetInstructionLimit(limits.instructions);
   env->SetTimeLimit(limits.milliseconds);
   const auto start = std::chrono::steady_clock::now();
   Outcome o;
   o.rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
   o.reason = program->GetStopReason();
   o.error = (o.rc != 0 && program->GetErrorText() != nullptr) ? program->GetErrorText() : "";
   if (o.rc == 0 && program->GetResult() != nullptr)
   {
      uint32 length = 0;
      const char *text = program->GetResult()->GetValueAsString(&length);
      o.result = (text != nullptr) ? text : "";
   }
   return o;
}

using orva_test::Compile;

// Compiles source, runs it under limits and deletes it; a source that does
// not compile fails the test and gives rc -2.
Outcome RunSource(const std::string &source, const Limits &limits)
{
   ORVA_Program *program = Compile(source);
   if (program == nullptr)
      return Outcome{-2, ORVA_STOP_NONE, "", "", 0};
   Outcome o = RunUnder(program, limits);
   delete program;
   return o;
}

// A block of n assignments, one per line.
std::string Statements(int n)
{
   std::string text;
   for (int i = 0; i < n; i++)
      text += "x = " + std::to_string(i) + ";\n";
   return text;
}
}

// The array refuses an element at the ceiling; the store, whatever form it
// takes, stops the run with the memory reason and the value it was storing
// is released once, by the engine.
TEST(LimitsHold, RefusedArrayStoresStopTheRunWithoutTouchingFreedValues)
{
   const struct
   {
      const char *what;
      const char *source;
   } cases[] = {
      {"stored value read back", "sub main() { array a; i = 0; while (i < 1000000) { x = (a[i] = \"k\" . i); i++; } }"},
      {"statement store", "sub main() { array a; i = 0; while (i < 1000000) { a[i] = 1000000 - i; i++; } }"},
      {"number from a local", "sub main() { array a; i = 0; while (i < 1000000) { v = i * 2; a[i] = v; i++; } }"},
      {"negative indexes", "sub main() { array a; i = 0; while (i < 1000000) { a[-i] = \"t\" . i; i++; } }"},
      {"every other index", "sub main() { array a; i = 0; while (i < 1000000) { a[i * 2] = \"s\" . i; i++; } }"},
      {"nested arrays", "sub box(n) { array b; b[1] = n; b[2] = \"n\" . n; return b; }\n"
                        "sub main() { array a; i = 0; while (i < 1000000) { x = (a[i] = box(i)); i++; } }"},
      {"TIME objects", "sub main() { array a; i = 0; while (i < 1000000) { x = (a[i] = gmtime(i)); i++; } }"},
      {"recursion with arrays", "sub deep(n) { array a; i = 0; while (i < 2000) { a[i] = \"d\" . n . i; i++; }\n"
                                "  return deep(n + 1) + a[0]; }\n"
                                "sub main() { return deep(0); }"},
      {"sort in between", "sub main() { array a; i = 0; while (i < 1000000) { a[1000000 - i] = \"s\" . i;\n"
                          "  if (i % 5000 == 0) sort(a); i++; } }"},
   };
   for (const auto &c : cases)
   {
      SCOPED_TRACE(c.what);
      Outcome o = RunSource(c.source, Limits{2u << 20, 0, 0});
      EXPECT_EQ(o.rc, -1);
      EXPECT_EQ(o.reason, ORVA_STOP_MEMORY);
      EXPECT_NE(o.error.find(": Memory limit reached"), std::string::npos) << o.error;
   }
}

// Work in proportion to its operands is charged on the typed shortcuts as
// on the general path, and before built-ins do it: each script below costs
// far more than the limit in work, though it runs few instructions.
TEST(LimitsHold, OperandSizedWorkCountsAgainstTheInstructionLimit)
{
   const struct
   {
      const char *what;
      std::string source;
      uint64 limit;
   } cases[] = {
      // 10 comparisons of two 1 MiB texts: 320 Ki units.
      {"text equality", "sub main() { a = left(\"\", 1048576, \"a\"); b = left(\"\", 1048576, \"a\");\n"
                        "  i = 0; n = 0; while (i < 10) { if (a == b) n++; i++; } return n; }", 300000},
      {"text inequality", "sub main() { a = left(\"\", 1048576, \"a\"); b = left(\"\", 1048576, \"a\");\n"
                          "  i = 0; n = 0; while (i < 10) { if (a != b) n++; i++; } return n; }", 300000},
      // 10 appends to a text shared with a: each copies 1 MiB first.
      {"append to a shared text", "sub main() { a = left(\"\", 1048576, \"a\");\n"
                                  "  i = 0; while (i < 10) { t = a . \"x\"; i++; } return length(t); }", 300000},
      // Results of 2 GB and of 16 MiB, weighed before they are made.
      {"left", "sub main() { return length(left(\"\", 2000000000, \"a\")); }", 1000000},
      {"right", "sub main() { return length(right(\"\", 2000000000, \"a\")); }", 1000000},
      {"d2x", "sub main() { return length(d2x(1, 2000000000)); }", 1000000},
      {"strftime", "sub main() { return length(strftime(\"%2000000000Y\", 0)); }", 100000},
      // main's own length is charged as it is entered, as a callee's is;
      // a block this long also needs a parser stack past its old limit.
      {"main's length", "sub main() {\n" + Statements(20000) + "}\n", 1000},
   };
   for (const auto &c : cases)
   {
      SCOPED_TRACE(c.what);
      Outcome o = RunSource(c.source, Limits{0, c.limit, 0});
      EXPECT_EQ(o.rc, -1);
      EXPECT_EQ(o.reason, ORVA_STOP_INSTRUCTIONS) << o.error;
      EXPECT_NE(o.error.find(": Instruction limit reached"), std::string::npos) << o.error;
   }
}

// A call charges the whole length of its callee, however long: ten calls
// of a function of 100,000 statements cost more than 1,000,000 units, though
// a checkpoint's own field holds 65,535 of them.
TEST(LimitsHold, ACallChargesALongCalleeInFull)
{
   ORVA_Program *program = Compile("sub lengthy() {\n" + Statements(100000) + "return x; }\n"
                                   "sub main() { i = 0; s = 0; while (i < 10) { s = s + lengthy(); i++; } return s; }\n");
   ASSERT_NE(program, nullptr);
   Outcome o = RunUnder(program, Limits{0, 800000, 0});
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.reason, ORVA_STOP_INSTRUCTIONS) << o.error;

   // Without a limit the long calls run and return as any call does.
   o = RunUnder(program, Limits());
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.result, "999990");
   delete program;
}

// Widths and counts of 2^32 and more are too long for any text, not
// wrapped into a width that fits (5,000,000,000 would wrap to 705,032,704).
TEST(LimitsHold, WidthsBeyond32BitsAreTooLongNotWrapped)
{
   const char *tooLong[] = {
      "sub main() { return length(left(\"a\", 5000000000)); }",
      "sub main() { return length(right(\"a\", 5000000000, \"-\")); }",
      "sub main() { return length(left(\"a\", 4294967296)); }",
      "sub main() { return length(d2x(1, 5000000000)); }",
      "sub main() { return length(d2x(1, -5000000000)); }",
   };
   for (const char *source : tooLong)
   {
      SCOPED_TRACE(source);
      Outcome o = RunSource(source, Limits());
      EXPECT_EQ(o.rc, -1);
      EXPECT_NE(o.error.find("Text too long"), std::string::npos) << o.error;
   }
   // A count that reaches past the text takes the rest of it.
   Outcome o = RunSource("sub main() { return substr(\"abc\", 2, 4294967297) . \",\" .\n"
                         "  length(substr(\"abc\", 4294967297)) . \",\" . length(left(\"ab\", -5000000000)); }",
                         Limits());
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.result, "bc,0,0");
}

// The same texts within the limits: nothing is refused that fits.
TEST(LimitsHold, ChargedWorkWithinTheLimitsStillCompletes)
{
   Outcome o = RunSource("sub main() { a = left(\"\", 65536, \"a\"); b = a;\n"
                         "  i = 0; n = 0; while (i < 10) { if (a == b) n++; t = a . \"x\"; i++; }\n"
                         "  return n . \",\" . length(t) . \",\" . length(d2x(255, 300)); }",
                         Limits{8u << 20, 1000000, 0});
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.result, "10,65537,300");

   o = RunSource("sub main() {\n" + Statements(20000) + "return x; }\n", Limits());
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.result, "19999");
}

// Built-ins whose result an argument sizes are refused before they make
// it: under a ceiling with the memory reason, under a deadline with the
// time reason, long before the work would have ended.
TEST(LimitsHold, HugeBuiltinResultsAreRefusedBeforeTheyAreMade)
{
   const char *sources[] = {
      "sub main() { return length(left(\"\", 2000000000, \"a\")); }",
      "sub main() { return length(right(\"abc\", 2000000000)); }",
      "sub main() { return length(d2x(1, 2000000000)); }",
      "sub main() { return length(d2x(1, -2000000000)); }",
   };
   for (const char *source : sources)
   {
      SCOPED_TRACE(source);
      ORVA_Program *program = Compile(source);
      ASSERT_NE(program, nullptr);
      Outcome o = RunUnder(program, Limits{8u << 20, 0, 0});
      EXPECT_EQ(o.reason, ORVA_STOP_MEMORY) << o.error;
      EXPECT_NE(o.error.find(": Memory limit reached"), std::string::npos) << o.error;

      o = RunUnder(program, Limits{0, 0, 100});
      EXPECT_EQ(o.reason, ORVA_STOP_TIME) << o.error;
      EXPECT_NE(o.error.find(": Time limit reached"), std::string::npos) << o.error;
      // Making the text would take seconds; the refusal takes none.
      EXPECT_LT(o.seconds, 1.0);
      delete program;
   }
}

namespace
{
// Finds every module by compiling a text of its own, as a host that keeps
// modules elsewhere would: the compile happens while the run links.
class CompilingEnvironment : public ORVA_Environment
{
public:
   explicit CompilingEnvironment(const std::string *source) : m_source(source) {}
   int UseModule(ORVA_Program *main, const char *name) override
   {
      ORVA_Program *module = ORVACompile(m_source->c_str(), nullptr, 0);
      if (module == nullptr)
         return 0;
      main->UseModule(module, name);
      delete module;
      return 1;
   }

private:
   const std::string *m_source;
};
}

// Compiling the modules a run links counts against its time limit: a
// module that takes long to compile stops the run with the time reason.
TEST(LimitsHold, CompilingModulesCountsAgainstTheTimeLimit)
{
   const std::string module = "sub big() {\n" + Statements(400000) + "}\nsub one() { return 1; }\n";
   ORVA_Program *program = Compile("use big;\nsub main() { return one(); }\n");
   ASSERT_NE(program, nullptr);

   Limits deadline;
   deadline.milliseconds = 50;
   Outcome o = RunUnder(program, deadline, new CompilingEnvironment(&module));
   EXPECT_EQ(o.rc, -1);
   EXPECT_EQ(o.reason, ORVA_STOP_TIME);
   EXPECT_EQ(o.error, "Error in line 0: Time limit reached");
   // The whole compile takes seconds, more still in a sanitizer build.
   EXPECT_LT(o.seconds, 1.0);

   // A module that compiles in time links and runs.
   const std::string small = "sub one() { return 1; }\n";
   deadline.milliseconds = 10000;
   o = RunUnder(program, deadline, new CompilingEnvironment(&small));
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.result, "1");
   delete program;
}

namespace
{
ORVA_Program *g_running = nullptr;
int g_nestedRc = 0;
std::string g_nestedText;

// Runs the program that is running already, from inside its run.
int RunAgain(int, ORVA_Value **, ORVA_Value **result)
{
   g_nestedRc = g_running->Run(new ORVA_Environment(), 0, nullptr, nullptr, nullptr);
   const char *text = g_running->GetErrorText();
   g_nestedText = (text != nullptr) ? text : "(null)";
   *result = new ORVA_Value(g_nestedRc);
   return 0;
}
}

// A program runs once at a time: a Run of it while it runs is refused with
// a text that says why, and the run under way is not disturbed.
TEST(LimitsHold, ARunningProgramRefusesAnotherRunWithAText)
{
   ORVA_Program *program = Compile("sub main() { return again() . \"/done\"; }");
   ASSERT_NE(program, nullptr);
   g_running = program;
   ORVA_ExtFunction again = {"again", RunAgain, 0};
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(1, &again);
   Outcome o = RunUnder(program, Limits(), env);
   EXPECT_EQ(o.rc, 0) << o.error;
   EXPECT_EQ(o.result, "-1/done");
   EXPECT_EQ(g_nestedRc, -1);
   EXPECT_EQ(g_nestedText, "Error in line 0: Program is already running");

   // Once a run of its own ends, the thread reads the program's text again.
   o = RunUnder(program, Limits());
   EXPECT_EQ(o.rc, -1);
   EXPECT_NE(o.error.find("Function not found"), std::string::npos) << o.error;
   delete program;
}
