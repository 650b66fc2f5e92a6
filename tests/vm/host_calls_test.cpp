// What a host reaches beyond Run: a named function entered instead of main,
// the trail of calls after a failed run, the run's environment from inside
// a host function and an error worded by the host.
#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using orva_test::Compile;

// Enters the function with the arguments (taken over) in an environment (or
// none); the result as "type:text", or the error text prefixed with "!".
std::string Call(ORVA_Program *program, const char *name, std::vector<ORVA_Value *> args = {},
                 ORVA_Environment *env = nullptr, ORVA_VariableSystem **globalsOut = nullptr)
{
   if (program->RunFunction(env, name, static_cast<uint32>(args.size()), args.data(), nullptr, globalsOut) != 0)
      return std::string("!") + (program->GetErrorText() != nullptr ? program->GetErrorText() : "");
   ORVA_Value *result = program->GetResult();
   if (result == nullptr)
      return "<none>";
   const char *text = result->GetValueAsCString();
   return std::string(g_orvaTypeNames[result->DataType()]) + ":" + (text != nullptr ? text : "");
}

ORVA_Environment *EnvWith(std::vector<ORVA_ExtFunction> functions, ORVA_Library *library = nullptr)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(static_cast<uint32>(functions.size()), functions.data());
   env->SetLibrary(library);
   return env;
}

const char kHandlers[] = "sub on_alarm(node, severity) { return node . \"/\" . severity; }\n"
                         "sub on_clear(node) { return \"clear \" . node; }\n"
                         "sub count_events() { events++; return events; }\n"
                         "sub main() { return \"main\"; }\n";

TEST(RunFunction, EntersEachNamedFunctionInTurnWithItsArguments)
{
   ORVA_Program *program = Compile(kHandlers);
   EXPECT_EQ(Call(program, "on_alarm", {new ORVA_Value("10.0.0.7"), new ORVA_Value(int32(3))}),
             "string:10.0.0.7/3");
   EXPECT_EQ(Call(program, "on_clear", {new ORVA_Value("r1")}), "string:clear r1");
   // Missing arguments are null, extra ones stay reachable as $n; main is
   // an ordinary name, and Run still enters main.
   EXPECT_EQ(Call(program, "on_alarm", {new ORVA_Value("r2")}), "!Error 5 in line 1: Invalid operation with NULL value");
   EXPECT_EQ(Call(program, "main", {new ORVA_Value(int32(1)), new ORVA_Value(int32(2))}), "string:main");
   ASSERT_EQ(program->Run(nullptr, 0, nullptr, nullptr, nullptr), 0);
   EXPECT_STREQ(program->GetResult()->GetValueAsCString(), "main");

   // A missing function fails before any code runs, in line 0; what the
   // call was handed is released all the same (the sanitizers watch).
   ORVA_VariableSystem *locals = new ORVA_VariableSystem();
   locals->Create("x", new ORVA_Value(int32(1)));
   ORVA_Value *argv[] = {new ORVA_Value("a"), new ORVA_Value(new ORVA_Array())};
   EXPECT_EQ(program->RunFunction(new ORVA_Environment(), "on_reboot", 2, argv, locals, nullptr), -1);
   EXPECT_STREQ(program->GetErrorText(), "Error 11 in line 0: Function not found");
   EXPECT_STREQ(program->GetErrorTrace(), "");
   EXPECT_EQ(program->GetResult(), nullptr);
   EXPECT_EQ(Call(program, nullptr), "!Error 11 in line 0: Function not found");
   // Names are matched byte for byte.
   EXPECT_EQ(Call(program, "On_Alarm"), "!Error 11 in line 0: Function not found");
   delete program;
}

TEST(RunFunction, ResultsAndArraysFollowTheRulesOfRun)
{
   ORVA_Program *program = Compile("sub fill(a, n) { a[n] = n * 10; return a; }\n"
                                   "sub stop() { exit 7; }\n");
   // The argument's array is shared with the value the host made; the
   // result stays the program's until the next run.
   ORVA_Array *array = new ORVA_Array();
   ORVA_Value *held = new ORVA_Value(array);
   EXPECT_EQ(Call(program, "fill", {new ORVA_Value(held), new ORVA_Value(int32(2))}), "array:");
   ORVA_Value *result = program->GetResult();
   ASSERT_TRUE(result != nullptr && result->IsArray());
   EXPECT_EQ(result->GetValueAsArray(), array);
   ASSERT_NE(array->Get(2), nullptr);
   EXPECT_EQ(array->Get(2)->GetValueAsInt32(), 20);
   delete held;
   // exit completes the run as it does under Run.
   EXPECT_EQ(Call(program, "stop"), "<none>");
   delete program;
}

TEST(RunFunction, GlobalsKeptFromOneCallToTheNextThroughGlobalsOut)
{
   ORVA_Program *program = Compile(kHandlers);
   program->SetGlobalVariable("events", new ORVA_Value(int32(0)));
   for (int i = 1; i <= 3; i++)
   {
      ORVA_VariableSystem *out = nullptr;
      EXPECT_EQ(Call(program, "count_events", {}, nullptr, &out), "int32:" + std::to_string(i));
      ASSERT_NE(out, nullptr);
      for (uint32 k = 0; k < out->Count(); k++)
         program->SetGlobalVariable(out->GetVariable(k)->Name(), new ORVA_Value(out->GetVariable(k)->Value()));
      delete out;
   }
   // Without the hand-back each call starts from the globals the host set.
   EXPECT_EQ(Call(program, "count_events"), "int32:4");
   EXPECT_EQ(Call(program, "count_events"), "int32:4");
   delete program;
}

TEST(RunFunction, FindsTheFunctionsOfLinkedModules)
{
   ORVA_Library library;
   library.AddScript(1, "netutil", Compile("sub probe(host) { return \"probe \" . host; }\n"
                                           "sub on_clear(node) { return \"module clear\"; }\n"));
   ORVA_Program *program = Compile(std::string("use netutil;\n").append(kHandlers).c_str());
   EXPECT_EQ(Call(program, "probe", {new ORVA_Value("r1")}, EnvWith({}, &library)), "string:probe r1");
   // The program's own function comes first, as for a call by name.
   EXPECT_EQ(Call(program, "on_clear", {new ORVA_Value("r1")}, EnvWith({}, &library)), "string:clear r1");
   const uint32 size = program->CodeSize();
   EXPECT_EQ(Call(program, "probe", {}, nullptr), "!Error 16 in line 0: Requested module not found or cannot be loaded");
   EXPECT_EQ(program->CodeSize(), size);
   delete program;
}

// The trail written again from its parts, as a host that shows it its own way would.
static std::string TraceFromParts(const ORVA_Program *program)
{
   std::string text;
   const char *function = nullptr;
   const char *module = nullptr;
   int line = -1;
   uint32 leftOut = 7;
   for (uint32 i = 0; program->GetErrorTraceCall(i, &function, &line, &module, &leftOut); i++)
   {
      if (leftOut > 0)
         text += "... " + std::to_string(leftOut) + " calls left out\n";
      else
         text += std::string(function) + ":" + std::to_string(line) +
                 (*module != '\0' ? " (module " + std::string(module) + ")" : "") + "\n";
   }
   return text;
}

TEST(ErrorTrace, NamesEveryActiveCallInnermostFirst)
{
   ORVA_Program *program = Compile("sub main()\n"
                                   "{\n"
                                   "   return down(3);\n"
                                   "}\n"
                                   "sub down(n)\n"
                                   "{\n"
                                   "   if (n == 0)\n"
                                   "      return NULL + 1;\n"
                                   "   return down(n - 1);\n"
                                   "}\n"
                                   "sub ok() { return 1; }\n");
   ASSERT_EQ(program->Run(nullptr, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_STREQ(program->GetErrorText(), "Error 5 in line 8: Invalid operation with NULL value");
   EXPECT_STREQ(program->GetErrorTrace(), "down:8\ndown:9\ndown:9\ndown:9\nmain:3\n");
   EXPECT_EQ(TraceFromParts(program), program->GetErrorTrace());
   EXPECT_EQ(program->GetErrorTraceCall(5, nullptr, nullptr, nullptr, nullptr), 0);
   // RunFunction's function is the outermost call.
   EXPECT_EQ(Call(program, "down", {new ORVA_Value(int32(1))}).substr(0, 8), "!Error 5");
   EXPECT_STREQ(program->GetErrorTrace(), "down:8\ndown:9\n");
   // A successful run clears the trail; an error before the first call
   // leaves none.
   EXPECT_EQ(Call(program, "ok"), "int32:1");
   EXPECT_STREQ(program->GetErrorTrace(), "");
   EXPECT_EQ(program->GetErrorTraceCall(0, nullptr, nullptr, nullptr, nullptr), 0);
   EXPECT_EQ(Call(program, "down", {new ORVA_Value(int32(0))}).substr(0, 8), "!Error 5");
   EXPECT_EQ(Call(program, "nothing").substr(0, 9), "!Error 11");
   EXPECT_STREQ(program->GetErrorTrace(), "");
   delete program;
}

TEST(ErrorTrace, SaysWhichModuleAFunctionCameFrom)
{
   ORVA_Library library;
   library.AddScript(1, "Checks", Compile("sub check(v)\n{\n   return v + NULL;\n}\n"
                                          "sub check_all(v)\n{\n   return check(v);\n}\n"));
   ORVA_Program *program = Compile("use checks;\nsub main()\n{\n   return check_all(1);\n}\n");
   ORVA_Environment *env = new ORVA_Environment();
   env->SetLibrary(&library);
   ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_STREQ(program->GetErrorText(), "Error 5 in line 3: Invalid operation with NULL value");
   EXPECT_STREQ(program->GetErrorTrace(), "check:3 (module checks)\ncheck_all:7 (module checks)\nmain:4\n");
   // The module's code and names left with the run; its parts stay.
   EXPECT_EQ(TraceFromParts(program), program->GetErrorTrace());
   delete program;
}

TEST(ErrorTrace, StaysBoundedAtTheDeepestRecursion)
{
   ORVA_Program *program = Compile("sub deeper(n) { return deeper(n + 1); }\nsub main() { return deeper(0); }\n");
   ASSERT_EQ(program->Run(nullptr, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_STREQ(program->GetErrorText(), "Error 8 in line 1: Control stack overflow");
   const std::string trace = program->GetErrorTrace();
   std::string expected;
   for (int i = 0; i < 10; i++)
      expected += "deeper:1\n";
   // main and the 32768 calls of deeper: ten of each end are shown.
   expected += "... " + std::to_string(32769 - 20) + " calls left out\n";
   for (int i = 0; i < 9; i++)
      expected += "deeper:1\n";
   expected += "main:2\n";
   EXPECT_EQ(trace, expected);
   EXPECT_EQ(TraceFromParts(program), trace);
   delete program;
}

// A host environment with data of its own, as handlers reach it.
class DeviceEnvironment : public ORVA_Environment
{
public:
   explicit DeviceEnvironment(std::string device) : device(std::move(device)) {}
   std::string device;
   std::vector<std::string> log;
};

int DeviceName(int, ORVA_Value **, ORVA_Value **result)
{
   auto *env = dynamic_cast<DeviceEnvironment *>(ORVA_CurrentEnvironment());
   *result = new ORVA_Value(env != nullptr ? env->device.c_str() : "no device");
   return 0;
}

int Unreachable(int, ORVA_Value **argv, ORVA_Value **)
{
   ORVA_SetErrorMessage((std::string("device ") + argv[0]->GetValueAsCString() + " unreachable").c_str());
   return 100;
}

int WordedButFine(int, ORVA_Value **, ORVA_Value **result)
{
   ORVA_SetErrorMessage("never shown");
   *result = new ORVA_Value(int32(1));
   return 0;
}

int PlainFailure(int argc, ORVA_Value **argv, ORVA_Value **)
{
   return (argc == 0 || argv[0]->IsNull()) ? ORVA_ERR_BAD_CLASS : 42;
}

// Runs a second program from inside a host function, then fails with its
// own text: the inner run neither loses that text nor the outer environment.
int NestedRun(int, ORVA_Value **, ORVA_Value **result)
{
   ORVA_Environment *outer = ORVA_CurrentEnvironment();
   ORVA_SetErrorMessage("set before the inner run");
   ORVA_Program *inner = Compile("sub main() { return device() . fails(); }\n");
   const int rc = inner->Run(EnvWith({{"device", DeviceName, 0}, {"fails", PlainFailure, 0}}), 0, nullptr, nullptr,
                             nullptr);
   const bool restored = ORVA_CurrentEnvironment() == outer && rc == -1;
   delete inner;
   if (!restored)
   {
      *result = new ORVA_Value("environment lost");
      return 0;
   }
   return 77;
}

TEST(HostContext, HandlersReachTheEnvironmentOfTheirRun)
{
   EXPECT_EQ(ORVA_CurrentEnvironment(), nullptr);
   ORVA_Program *program = Compile("sub main() { return device(); }\n");
   DeviceEnvironment *env = new DeviceEnvironment("router-7");
   ORVA_ExtFunction device = {"device", DeviceName, 0};
   env->RegisterFunctionSet(1, &device);
   ASSERT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), 0);
   EXPECT_STREQ(program->GetResult()->GetValueAsCString(), "router-7");
   EXPECT_EQ(ORVA_CurrentEnvironment(), nullptr);

   // A plain environment is found too (a handler tells it is not its own).
   ASSERT_EQ(program->Run(EnvWith({device}), 0, nullptr, nullptr, nullptr), 0);
   EXPECT_STREQ(program->GetResult()->GetValueAsCString(), "no device");
   delete program;
}

TEST(HostContext, HandlersWordTheirOwnErrors)
{
   ORVA_Program *program = Compile("sub main()\n"
                                   "{\n"
                                   "   ok = worded();\n"
                                   "   return probe($1);\n"
                                   "}\n"
                                   "sub plain() { return fail($1); }\n"
                                   "sub nested() { return nest(); }\n");
   auto env = [] {
      return EnvWith({{"probe", Unreachable, 1},
                      {"worded", WordedButFine, 0},
                      {"fail", PlainFailure, -1},
                      {"nest", NestedRun, 0}});
   };
   ORVA_Value *argv[] = {new ORVA_Value("10.0.0.7")};
   ASSERT_EQ(program->Run(env(), 1, argv, nullptr, nullptr), -1);
   EXPECT_STREQ(program->GetErrorText(), "Error 100 in line 4: device 10.0.0.7 unreachable");
   EXPECT_STREQ(program->GetErrorTrace(), "main:4\n");

   // Without a text of the handler's the code's own message stays, also
   // after a handler that set one and succeeded.
   ORVA_SetErrorMessage("set outside any run");
   EXPECT_EQ(Call(program, "plain", {}, env()), "!Error 21 in line 6: Bad (or incompatible) object class");
   EXPECT_EQ(Call(program, "plain", {new ORVA_Value(int32(1))}, env()), "!Error 42 in line 6: Unknown error code");

   // A text set before a nested run survives it.
   EXPECT_EQ(Call(program, "nested", {}, env()), "!Error 77 in line 7: set before the inner run");

   // A long text is cut, never overrun.
   std::string longText(5000, 'x');
   struct Long
   {
      static int Handler(int, ORVA_Value **argv, ORVA_Value **)
      {
         ORVA_SetErrorMessage(argv[0]->GetValueAsCString());
         return 1;
      }
   };
   ORVA_Program *chatty = Compile("sub main() { return long($1); }\n");
   ORVA_Value *text[] = {new ORVA_Value(longText.c_str())};
   ASSERT_EQ(chatty->Run(EnvWith({{"long", Long::Handler, 1}}), 1, text, nullptr, nullptr), -1);
   EXPECT_EQ(std::string(chatty->GetErrorText()), "Error 1 in line 1: " + std::string(1023 - 19, 'x'));
   delete chatty;
   delete program;
}

}

namespace
{

// grab(): asks for more memory than the run may hold, then fails in its own words.
int Grab(int, ORVA_Value **, ORVA_Value **)
{
   void *block = ORVAAllocate(64u << 20);
   if (block != nullptr)
      ORVAFree(block, 64u << 20);
   ORVA_SetErrorMessage("could not grab");
   return ORVA_ERR_INTERNAL;
}

}

TEST(HostErrorMessage, AStopMetFirstKeepsItsTextOverTheHostsWords)
{
   static ORVA_ExtFunction functions[] = {{"grab", Grab, 0}};
   ORVA_Program *program = orva_test::Compile("sub main()\n{\n   grab();\n}\n");
   ASSERT_NE(program, nullptr);
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(1, functions);
   env->SetMemoryLimit(1u << 20);
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_EQ(program->GetStopReason(), ORVA_STOP_MEMORY);
   EXPECT_STREQ(program->GetErrorMessage(), "Memory limit reached") << program->GetErrorText();

   env = new ORVA_Environment();
   env->RegisterFunctionSet(1, functions);
   EXPECT_EQ(program->Run(env, 0, nullptr, nullptr, nullptr), -1);
   EXPECT_STREQ(program->GetErrorMessage(), "could not grab");
   delete program;
}
