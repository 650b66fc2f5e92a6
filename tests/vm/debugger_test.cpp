// The debugger a host attaches to a run: where breakpoints and steps stop
// (the same with the fast paths on and off), what the paused run shows,
// the report of an error, pause requests from another thread and the time
// a paused run is not charged.
#include "orva.h"
#include "vm/engine.h"
#include "both_paths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace
{

// Writes each stop as "REASON FUNCTION:LINE" and goes on as its script of
// resumes says (continue once the script is spent).
class Recorder : public ORVA_Debugger
{
public:
   std::vector<std::string> stops;
   std::vector<int> resumes;
   std::string error;
   std::vector<std::string> errorStack;

   int OnPause(int reason) override
   {
      static const char *const names[] = {"?", "entry", "break", "step", "pause"};
      stops.push_back(std::string(names[reason]) + " " + Where(0));
      const size_t used = stops.size() - 1;
      return (used < resumes.size()) ? resumes[used] : ORVA_RESUME_CONTINUE;
   }

   void OnError(int code, const char *message) override
   {
      error = std::to_string(code) + " " + message;
      for (uint32 f = 0; f < FrameCount(); f++)
         errorStack.push_back(Where(f));
   }

   std::string Where(uint32 frame) const
   {
      const char *function = nullptr;
      const char *module = nullptr;
      int line = 0;
      if (!GetFrame(frame, &function, &line, &module))
         return "-";
      std::string where = std::string(function) + ":" + std::to_string(line);
      if (*module != '\0')
         where += "@" + std::string(module);
      return where;
   }
};

const char *const kScript = "sub twice(n)\n"      // 1
                            "{\n"                 // 2
                            "   m = n * 2;\n"     // 3
                            "   return m;\n"      // 4
                            "}\n"                 // 5
                            "\n"                  // 6
                            "sub main()\n"        // 7
                            "{\n"                 // 8
                            "   total = 0;\n"     // 9
                            "   i = 0;\n"         // 10
                            "   while (i < 2)\n"  // 11
                            "   {\n"              // 12
                            "      total = total + twice(i +\n"   // 13
                            "                            1);\n"   // 14
                            "      i++;\n"        // 15
                            "   }\n"              // 16
                            "   return total;\n"  // 17
                            "}\n";

// Runs source under debugger, with or without the fast paths; the run's result code.
int RunWith(const char *source, ORVA_Debugger *debugger, bool generalOnly, ORVA_Environment *env = nullptr,
            int language = ORVA_LANGUAGE_1)
{
   char error[512];
   ORVA_Program *program = ORVACompile(source, error, sizeof(error), language);
   if (program == nullptr)
      return -2;
   ORVA_Engine::UseGeneralPathsOnly(program, generalOnly);
   if (env == nullptr)
      env = new ORVA_Environment();
   env->SetDebugger(debugger);
   const int rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   delete program;
   return rc;
}

class DebuggerStops : public BothPaths
{
};

TEST_P(DebuggerStops, BreakpointsStopAtTheLinesErrorsReport)
{
   Recorder debugger;
   debugger.SetBreakpoint(nullptr, 3);    // in the function, every call
   debugger.SetBreakpoint(nullptr, 11);   // the loop's head, every turn
   debugger.SetBreakpoint(nullptr, 14);   // the second line of an expression
   debugger.SetBreakpoint(nullptr, 12);   // no code: the next line with some
   debugger.SetBreakpoint(nullptr, 16);   // the jump back that closes the loop
   EXPECT_EQ(RunWith(kScript, &debugger, GetParam()), 0);
   const std::vector<std::string> expected = {
      "break main:11", "break main:13", "break main:14", "break twice:3", "break main:16",
      "break main:11", "break main:13", "break main:14", "break twice:3", "break main:16", "break main:11"};
   EXPECT_EQ(debugger.stops, expected);
}

TEST_P(DebuggerStops, StepsGoIntoOverAndOutOfCalls)
{
   Recorder debugger;
   debugger.SetBreakpoint(nullptr, 13);
   debugger.resumes = {ORVA_RESUME_STEP_INTO, ORVA_RESUME_STEP_INTO, ORVA_RESUME_STEP_INTO, ORVA_RESUME_STEP_OUT,
                       ORVA_RESUME_STEP_OVER, ORVA_RESUME_STEP_OVER, ORVA_RESUME_STEP_OVER,
                       ORVA_RESUME_STEP_OVER};
   EXPECT_EQ(RunWith(kScript, &debugger, GetParam()), 0);
   // Out of twice, the rest of line 13 runs before the next line stops; over
   // the loop's end, the head stops again; the breakpoint names itself.
   const std::vector<std::string> expected = {"break main:13", "step main:14", "step twice:3", "step twice:4",
                                              "step main:15",  "step main:16", "step main:11", "break main:13",
                                              "step main:14"};
   EXPECT_EQ(debugger.stops, expected);
}

// A debugger that looks at the paused run once, at its first stop.
class Viewer : public Recorder
{
public:
   std::vector<std::string> seen;

   int OnPause(int reason) override
   {
      Recorder::OnPause(reason);
      if (!seen.empty())
         return ORVA_RESUME_CONTINUE;
      for (uint32 f = 0; f < FrameCount(); f++)
      {
         std::string line = Where(f) + ":";
         const char *name;
         ORVA_Value *value;
         for (uint32 v = 0; GetVariable(f, v, &name, &value); v++)
            line += " " + std::string(name) + "=" + Show(value);
         seen.push_back(line);
      }
      seen.push_back("find list=" + Show(FindVariable(1, "list")) + " limit=" + Show(FindVariable(0, "limit")) +
                     " $2=" + Show(FindVariable(0, "$2")) + " $1=" + Show(FindVariable(1, "$1")) +
                     " none=" + Show(FindVariable(0, "none")));
      seen.push_back("globals " + std::to_string(GetGlobals()->Count()) + " frames past " +
                     std::to_string(GetFrame(FrameCount(), nullptr, nullptr, nullptr)));
      return ORVA_RESUME_CONTINUE;
   }

   static std::string Show(ORVA_Value *value)
   {
      if (value == nullptr)
         return "-";
      if (value->IsArray())
      {
         ORVA_Array *array = value->GetValueAsArray();
         std::string text = "[";
         for (int32 p = 0; p < array->Size(); p++)
            text += (p ? " " : "") + std::to_string(array->IndexAt(p)) + ":" + Show(array->ValueAt(p));
         return text + "]";
      }
      const char *text = value->GetValueAsCString();
      return (text != nullptr) ? text : "null";
   }
};

TEST_P(DebuggerStops, ThePausedRunShowsItsCallsAndVariables)
{
   const char *source = "sub join(a, b)\n"
                        "{\n"
                        "   joined = a . \"-\" . b;\n"
                        "   return joined;\n"
                        "}\n"
                        "sub main()\n"
                        "{\n"
                        "   array list;\n"
                        "   list[1] = 10;\n"
                        "   list[-4] = \"minus\";\n"
                        "   if (\"key=val\" match \"^(.*)=(.*)$\")\n"
                        "      word = join($1, $2);\n"
                        "   return word;\n"
                        "}\n";
   Viewer debugger;
   debugger.SetBreakpoint(nullptr, 4);
   ORVA_Environment *env = new ORVA_Environment();
   EXPECT_EQ(RunWith(source, &debugger, GetParam(), env), 0);
   ASSERT_EQ(debugger.seen.size(), 4u);
   EXPECT_EQ(debugger.seen[0], "join:4: $1=key $2=val a=key b=val joined=key-val");
   // The groups of the match are main's locals $1 and $2.
   EXPECT_NE(debugger.seen[1].find("main:12:"), std::string::npos) << debugger.seen[1];
   EXPECT_NE(debugger.seen[1].find("list=[-4:minus 1:10]"), std::string::npos) << debugger.seen[1];
   EXPECT_NE(debugger.seen[1].find("$1=key"), std::string::npos) << debugger.seen[1];
   EXPECT_EQ(debugger.seen[2], "find list=[-4:minus 1:10] limit=- $2=val $1=key none=-");
   EXPECT_EQ(debugger.seen[3], "globals 0 frames past 0");
}

ORVA_Program *g_shadowed = nullptr;

// makeglobal(): the host makes the global n of the running program.
int MakeGlobal(int, ORVA_Value **, ORVA_Value **result)
{
   g_shadowed->SetGlobalVariable("n", new ORVA_Value(100));
   *result = new ORVA_Value();
   return 0;
}

TEST_P(DebuggerStops, AGlobalMadeMidRunKeepsTheTrapsOverTheCodeItChanges)
{
   // The global hides main's local of its name: the prepared code turns the
   // local's uses to lookups by name, under the breakpoint's trap.
   const char *source = "sub main()\n"
                        "{\n"
                        "   n = 1;\n"
                        "   i = 0;\n"
                        "   while (i < 3)\n"
                        "   {\n"
                        "      n = n + i;\n"
                        "      if (i == 1) makeglobal();\n"
                        "      i++;\n"
                        "   }\n"
                        "   return n;\n"
                        "}\n";
   static ORVA_ExtFunction functions[] = {{"makeglobal", MakeGlobal, 0}};
   for (int round = 0; round < 2; round++)
   {
      Recorder debugger;
      if (round == 0)
         debugger.SetBreakpoint(nullptr, 7);
      ORVA_Program *program = Prepared(source);
      ASSERT_NE(program, nullptr);
      g_shadowed = program;
      ORVA_Environment *env = new ORVA_Environment();
      env->RegisterFunctionSet(1, functions);
      env->SetDebugger(&debugger);
      ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0) << program->GetErrorText();
      EXPECT_EQ(program->GetResult()->GetValueAsInt32(), 102);
      EXPECT_EQ(debugger.stops.size(), round == 0 ? 3u : 0u);
      // The prepared code kept for the next run has no trap left in it.
      Recorder none;
      env = new ORVA_Environment();
      env->RegisterFunctionSet(1, functions);
      env->SetDebugger(&none);
      ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0);
      EXPECT_TRUE(none.stops.empty());
      delete program;
   }
}

TEST_P(DebuggerStops, AnErrorIsReportedWithTheStackBeforeItEndsTheRun)
{
   const char *source = "sub divide(a, b)\n"
                        "{\n"
                        "   return a % b;\n"
                        "}\n"
                        "sub main()\n"
                        "{\n"
                        "   x = divide(6, 3);\n"
                        "   y = divide(x, 0);\n"
                        "   return y;\n"
                        "}\n";
   Recorder debugger;
   ORVA_Program *program = Prepared(source);
   ASSERT_NE(program, nullptr);
   ORVA_Environment *env = new ORVA_Environment();
   env->SetDebugger(&debugger);
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_EQ(debugger.error, std::to_string(ORVA_ERR_DIVIDE_BY_ZERO) + " " + program->GetErrorMessage());
   EXPECT_EQ(debugger.errorStack, (std::vector<std::string>{"divide:3", "main:8"}));
   EXPECT_EQ(program->GetErrorLine(), 3);
   EXPECT_FALSE(debugger.IsPaused());
   EXPECT_EQ(debugger.FrameCount(), 0u);
   delete program;
}

// refuse(): a host function that fails in its own words.
int Refuse(int, ORVA_Value **, ORVA_Value **)
{
   ORVA_SetErrorMessage("the host says no");
   return ORVA_ERR_BAD_CLASS;
}

TEST(Debugger, AHostFunctionsErrorIsReportedInItsOwnWords)
{
   static ORVA_ExtFunction functions[] = {{"refuse", Refuse, 0}};
   Recorder debugger;
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(1, functions);
   ORVA_Program *program = orva_test::Compile("sub main()\n{\n   x = 1;\n   refuse();\n}\n");
   ASSERT_NE(program, nullptr);
   env->SetDebugger(&debugger);
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_EQ(debugger.error, std::to_string(ORVA_ERR_BAD_CLASS) + " the host says no");
   EXPECT_EQ(debugger.errorStack, (std::vector<std::string>{"main:4"}));
   EXPECT_STREQ(program->GetErrorMessage(), "the host says no");
   delete program;
}

TEST_P(DebuggerStops, Level2LoopsStopAtTheirBodiesAndHeadsEachTurn)
{
   const char *source = "sub main()\n"                         // 1
                        "{\n"                                  // 2
                        "   hits = {\"a\": 1, \"b\": 2};\n"      // 3
                        "   total = 0;\n"                      // 4
                        "   for (k, v in hits)\n"              // 5
                        "      total += v;\n"                  // 6
                        "   for (i = 0; i < 2; i++)\n"         // 7
                        "   {\n"                               // 8
                        "      total += i;\n"                  // 9
                        "   }\n"                               // 10
                        "   return total;\n"                   // 11
                        "}\n";
   Recorder breaks;
   breaks.SetBreakpoint(nullptr, 6);
   breaks.SetBreakpoint(nullptr, 9);
   EXPECT_EQ(RunWith(source, &breaks, GetParam(), nullptr, ORVA_LANGUAGE_2), 0);
   const std::vector<std::string> everyTurn = {"break main:6", "break main:6", "break main:9", "break main:9"};
   EXPECT_EQ(breaks.stops, everyTurn);

   Recorder steps;
   steps.SetBreakpoint(nullptr, 4);
   steps.resumes.assign(20, ORVA_RESUME_STEP_OVER);
   EXPECT_EQ(RunWith(source, &steps, GetParam(), nullptr, ORVA_LANGUAGE_2), 0);
   std::string walked;
   for (const std::string &stop : steps.stops)
      walked += stop.substr(stop.find(':') + 1) + " ";
   // Each turn stops once at the loop's line: the for line's start and
   // condition, or step and condition, are one line to a step.
   EXPECT_EQ(walked, "4 5 6 5 6 5 7 9 10 7 9 10 7 11 ");

   // A loop on one line comes back to where the step began: each turn stops.
   Recorder oneLine;
   oneLine.SetBreakpoint(nullptr, 3);
   oneLine.resumes.assign(10, ORVA_RESUME_STEP_OVER);
   EXPECT_EQ(RunWith("sub main()\n{\n   i = 0;\n   while (i < 3) i++;\n   return i;\n}\n", &oneLine, GetParam(),
                     nullptr, ORVA_LANGUAGE_2),
             0);
   const std::vector<std::string> turns = {"break main:3", "step main:4", "step main:4", "step main:4", "step main:4",
                                           "step main:5"};
   EXPECT_EQ(oneLine.stops, turns);
}

TEST_P(DebuggerStops, EntryStopAndAStopResume)
{
   Recorder debugger;
   debugger.SetStopOnEntry(1);
   debugger.resumes = {ORVA_RESUME_STEP_OVER, ORVA_RESUME_STOP};
   ORVA_Program *program = Prepared(kScript);
   ASSERT_NE(program, nullptr);
   ORVA_Environment *env = new ORVA_Environment();
   env->SetDebugger(&debugger);
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_EQ(program->GetStopReason(), ORVA_STOP_REQUESTED);
   EXPECT_EQ(program->GetErrorLine(), 10);
   EXPECT_EQ(debugger.stops, (std::vector<std::string>{"entry main:9", "step main:10"}));
   delete program;
}

INSTANTIATE_TEST_SUITE_P(FastPathsOnAndOff, DebuggerStops, ::testing::Values(false, true));

TEST(Debugger, BreakpointsInAModuleByItsName)
{
   ORVA_Library *library = new ORVA_Library();
   ORVA_Program *module = orva_test::Compile("sub helper(x)\n{\n   y = x + 1;\n   return y;\n}\n");
   ASSERT_NE(module, nullptr);
   library->AddScript(1, "Tools", module);
   Recorder debugger;
   debugger.SetBreakpoint("tools", 3);
   debugger.SetBreakpoint(nullptr, 3);   // the main script's line 3, not the module's
   ORVA_Environment *env = new ORVA_Environment();
   env->SetLibrary(library);
   EXPECT_EQ(RunWith("use Tools;\nsub main()\n{\n   return helper(1);\n}\n", &debugger, false, env), 0);
   EXPECT_EQ(debugger.stops, (std::vector<std::string>{"break main:4", "break helper:3@Tools"}));
   delete library;
}

TEST(Debugger, WhereBreakpointsHoldBeforeTheRun)
{
   ORVA_Program *program = orva_test::Compile(kScript);
   ASSERT_NE(program, nullptr);
   EXPECT_EQ(ORVA_Debugger::LineWithCode(program, 1), 3);   // the header's BIND stops nothing
   EXPECT_EQ(ORVA_Debugger::LineWithCode(program, 5), 5);   // the closing brace returns
   EXPECT_EQ(ORVA_Debugger::LineWithCode(program, 6), 9);
   EXPECT_EQ(ORVA_Debugger::LineWithCode(program, 14), 14);
   EXPECT_EQ(ORVA_Debugger::LineWithCode(program, 99), 0);
   EXPECT_EQ(ORVA_Debugger::FunctionLine(program, "twice"), 3);
   EXPECT_EQ(ORVA_Debugger::FunctionLine(program, "main"), 9);
   EXPECT_EQ(ORVA_Debugger::FunctionLine(program, "nothing"), 0);
   EXPECT_EQ(ORVA_Debugger::LineWithCode(nullptr, 1), 0);
   delete program;

   Recorder debugger;
   EXPECT_EQ(debugger.SetBreakpoint(nullptr, 3), 1);
   EXPECT_EQ(debugger.SetBreakpoint("", 3), 0);   // the same one
   EXPECT_EQ(debugger.SetBreakpoint(nullptr, 0), 0);
   EXPECT_EQ(debugger.ClearBreakpoint(nullptr, 4), 0);
   EXPECT_EQ(debugger.ClearBreakpoint(nullptr, 3), 1);
}

// Sleeps through each pause, longer than the run's time limit, and steps on.
class Sleeper : public Recorder
{
public:
   int OnPause(int reason) override
   {
      Recorder::OnPause(reason);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      return ORVA_RESUME_STEP_INTO;
   }
};

TEST(Debugger, PausedTimeIsNotChargedButRunningTimeIs)
{
   ORVA_Program *program = orva_test::Compile("sub main()\n{\n   x = 1;\n   y = 2;\n   return x + y;\n}\n");
   ASSERT_NE(program, nullptr);
   Sleeper sleeper;
   sleeper.SetStopOnEntry(1);
   sleeper.RequestPause();   // no run under way: dropped
   ORVA_Environment *env = new ORVA_Environment();
   env->SetTimeLimit(100);
   env->SetDebugger(&sleeper);
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0) << program->GetErrorText();
   EXPECT_EQ(sleeper.stops, (std::vector<std::string>{"entry main:3", "step main:4", "step main:5"}));
   delete program;

   // A loop that never ends still meets the limit once it runs on.
   program = orva_test::Compile("sub main()\n{\n   i = 0;\n   while (1)\n      i++;\n}\n");
   ASSERT_NE(program, nullptr);
   Recorder debugger;
   debugger.SetStopOnEntry(1);
   env = new ORVA_Environment();
   env->SetTimeLimit(200);
   env->SetDebugger(&debugger);
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_EQ(program->GetStopReason(), ORVA_STOP_TIME);
   EXPECT_EQ(debugger.stops, (std::vector<std::string>{"entry main:3"}));
   delete program;
}

}   // namespace
