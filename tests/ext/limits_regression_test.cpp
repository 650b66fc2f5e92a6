// Work that used to pass the limits: group-free patterns and the matcher's
// DFA, recompiled patterns, the extension functions, objects, sort keys,
// output, and what a host function charges through the public interface.
#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace
{

struct Limits
{
   uint64 instructions = 0;
   uint32 milliseconds = 0;
   uint64 memory = 0;
};

struct Result
{
   int rc = 0;
   int reason = ORVA_STOP_NONE;
   std::string error;
   std::string output;
   long outputBytes = 0;
   double seconds = 0;
};

int Repeat(int argc, ORVA_Value **argv, ORVA_Value **result);
int WeighedHostWork(int argc, ORVA_Value **argv, ORVA_Value **result);

ORVA_ExtFunction g_hostFunctions[] = {
   {"repeat", Repeat, 2},
   {"weighed", WeighedHostWork, 1},
};

// Runs "sub main() { BODY }" with every extension set and the host
// functions above; the output goes to a file, kept when keepOutput.
Result RunLimited(const std::string &body, const Limits &limits, bool keepOutput = true, FILE *input = nullptr)
{
   Result r;
   std::string source = orva_test::MainOf(body);
   char error[512] = "";
   std::unique_ptr<ORVA_Program> program(ORVACompile(source.c_str(), error, sizeof(error)));
   if (!program)
   {
      r.rc = -9;
      r.error = error;
      return r;
   }
   FILE *out = tmpfile();
   ORVA_Environment *env = new ORVA_Environment();
   env->SetIO(input, out);
   ORVARegisterExtensions(env, ORVA_EXT_PURE | ORVA_EXT_IO);
   env->RegisterFunctionSet(sizeof(g_hostFunctions) / sizeof(g_hostFunctions[0]), g_hostFunctions);
   env->SetInstructionLimit(limits.instructions);
   env->SetTimeLimit(limits.milliseconds);
   env->SetMemoryLimit(limits.memory);
   const auto start = std::chrono::steady_clock::now();
   r.rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
   r.reason = program->GetStopReason();
   r.error = program->GetErrorText() != nullptr ? program->GetErrorText() : "";
   fseek(out, 0, SEEK_END);
   r.outputBytes = ftell(out);
   if (keepOutput && r.outputBytes < (1 << 20))
   {
      r.output = orva_test::ReadAll(out);
   }
   fclose(out);
   return r;
}

// The sample of the embedding guide: text n times, paid for as it grows.
int Repeat(int, ORVA_Value **argv, ORVA_Value **result)
{
   uint32 length = 0;
   const char *text = argv[0]->IsString() ? argv[0]->GetValueAsString(&length) : nullptr;
   if (text == nullptr || !argv[1]->IsInteger())
      return text == nullptr ? ORVA_ERR_NOT_STRING : ORVA_ERR_NOT_INTEGER;
   int64 n = argv[1]->GetValueAsInt64();
   if (n < 0 || (length > 0 && n > int64(UINT32_MAX - 1) / length))
      return ORVA_ERR_BAD_CONVERSION;
   size_t size = size_t(n) * length;
   char *block = static_cast<char *>(ORVAAllocate(size + 1));
   if (block == nullptr)
      return ORVA_ERR_INTERNAL;   // the run has stopped: its stop is reported
   for (int64 i = 0; i < n; i++)
   {
      memcpy(block + size_t(i) * length, text, length);
      if (i % 4096 == 4095 && !ORVAChargeWork(4096 * (1 + length / ORVA_WORK_BYTES_PER_UNIT)))
      {
         ORVAFree(block, size + 1);
         return ORVA_ERR_INTERNAL;
      }
   }
   *result = new ORVA_Value(block, uint32(size));
   ORVAFree(block, size + 1);
   return 0;
}

// weighed(units): work that cannot be interrupted, weighed first.
int WeighedHostWork(int, ORVA_Value **argv, ORVA_Value **result)
{
   const uint64 units = argv[0]->GetValueAsUInt64();
   if (!ORVAWeighWork(units, units))
      return ORVA_ERR_INTERNAL;
   *result = new ORVA_Value(1);
   return 0;
}

// An a/b text of the given length, made by the script.
std::string AbText(int length)
{
   return "t = replace(left(\"\", " + std::to_string(length / 2) + ", \"a\"), \"a\", \"ab\");";
}

TEST(PatternLimits, AmbiguousGroupFreePatternIsRefusedUnderEachLimit)
{
   const std::string body = AbText(20000) + " r = t match \"[ab]*a[ab]{18}c\"; println r;";
   Limits each[3];
   each[0].instructions = 1000000;
   each[1].milliseconds = 1000;
   each[2].memory = 8 << 20;
   const int reasons[3] = {ORVA_STOP_INSTRUCTIONS, ORVA_STOP_TIME, ORVA_STOP_MEMORY};
   for (int i = 0; i < 3; i++)
   {
      Result r = RunLimited(body, each[i]);
      EXPECT_EQ(r.rc, -1) << i;
      EXPECT_EQ(r.reason, reasons[i]) << r.error;
      EXPECT_NE(r.error.find("(the match was refused: its worst case could pass the limit)"), std::string::npos)
         << r.error;
      EXPECT_LT(r.seconds, 2.0) << r.error;
   }
   // Without limits the match is made as before.
   Result small = RunLimited(AbText(200) + " println t match \"[ab]*a[ab]{18}c\";", Limits());
   EXPECT_EQ(small.rc, 0) << small.error;
   EXPECT_EQ(small.output, "0\n");
}

TEST(PatternLimits, OrdinaryPatternsStillRunUnderLimits)
{
   const std::string body =
      "t = \"\"; i = 0; while (i < 100) { t = t . \"log 2024-01-02 error connection timeout host abc \"; i++; }\n"
      "n = 0; i = 0;\n"
      "while (i < 200) {\n"
      "  if (t match \"[0-9]{4}-[0-9]{2}-[0-9]{2}\") n++;\n"
      "  if (t match \"error.*timeout\") n++;\n"
      "  if (t match \"^log\") n++;\n"
      "  if (t match \"zzz\") n++;\n"
      "  if (t imatch \"HOST\") n++;\n"
      "  i++;\n"
      "}\n"
      "println n;";
   Limits limits;
   limits.instructions = 50000000;
   limits.milliseconds = 20000;
   limits.memory = 8 << 20;
   Result r = RunLimited(body, limits);
   EXPECT_EQ(r.rc, 0) << r.error;
   EXPECT_EQ(r.output, "800\n");
}

TEST(PatternLimits, DfaStatesHeldAcrossMatchesAreDroppedRatherThanRefused)
{
   // Each match of a different subject may add states that stay with the
   // compiled pattern; the ceiling would refuse the second match if they
   // were kept, so the pattern is compiled afresh and the loop goes on.
   const std::string body =
      "n = 0; i = 0;\n"
      "while (i < 40) {\n"
      "  s = \"\"; j = 0; while (j < 30) { if ((i * 7 + j * 13) % 3 == 0) s = s . \"a\"; else s = s . \"b\"; j++; }\n"
      "  if (s match \"[ab]*a[ab]{18}c\") n++;\n"
      "  i++;\n"
      "}\n"
      "println n;";
   Limits limits;
   limits.memory = 16 << 20;
   Result r = RunLimited(body, limits);
   EXPECT_EQ(r.rc, 0) << r.error;
   EXPECT_EQ(r.output, "0\n");
}

TEST(PatternLimits, RecompilingPatternsIsCharged)
{
   const std::string body = "array p; p[0] = \"((a*)*){100}\"; p[1] = \"((b*)*){100}\"; i = 0; n = 0;\n"
                            "while (i < 300) { if (\"x\" match p[i % 2]) n++; i++; }\n"
                            "println n;";
   Limits limits;
   limits.instructions = 100000;
   Result r = RunLimited(body, limits);
   EXPECT_EQ(r.rc, -1);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;
   EXPECT_LT(r.seconds, 2.0);

   // Under a larger budget a few compiles fit, and the run stops all the same.
   limits.instructions = 30000000;
   r = RunLimited(body, limits);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;
   EXPECT_LT(r.seconds, 10.0);
}

TEST(ExtensionLimits, WhatTheFunctionsMakeIsCountedUnderTheCeiling)
{
   const char *bodies[] = {
      // split, replace and join of a few megabytes
      "t = replace(left(\"\", 2000000, \"a\"), \"a\", \"a,\"); array a; split(t, \",\", a);",
      "t = left(\"\", 4000000, \"a\"); r = replace(t, \"a\", \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\");",
      "array a; split(replace(left(\"\", 1000, \"a\"), \"a\", left(\"\", 4000, \"x\") . \",\"), \",\", a);"
      " j = join(a, left(\"\", 60000, \"y\"));",
      // wide format fields
      "f = format(\"%1000000d%1000000d%1000000d%1000000d%1000000d%1000000d%1000000d%1000000d%1000000d\","
      " 1, 2, 3, 4, 5, 6, 7, 8, 9);",
      // sort keys and copies (the pieces fit, what sort makes of them does not)
      "array a; split(replace(left(\"\", 20000, \"a\"), \"a\", \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk,\"), \",\", a);"
      " sort(a);",
      // a file that never ends
      "t = readfile(\"/dev/zero\"); println typeof(t);",
   };
   for (const char *body : bodies)
   {
      Limits limits;
      limits.memory = 8 << 20;
      limits.milliseconds = 20000;
      Result r = RunLimited(body, limits);
      EXPECT_EQ(r.rc, -1) << body;
      EXPECT_EQ(r.reason, ORVA_STOP_MEMORY) << body << ": " << r.error;
      EXPECT_NE(r.error.find("Memory limit reached"), std::string::npos) << r.error;
   }
}

TEST(ExtensionLimits, TimeObjectsAreCountedUnderTheCeiling)
{
   // The objects and their data count; the array store the ceiling refuses
   // then is the interpreter's, and must leave nothing freed behind.
   Limits limits;
   limits.memory = 8 << 20;
   limits.milliseconds = 20000;
   Result r = RunLimited("array a; i = 0; while (i < 1000000) { a[i] = gmtime(i); i++; }", limits);
   EXPECT_EQ(r.reason, ORVA_STOP_MEMORY) << r.error;
}

TEST(ExtensionLimits, ReadlineOfAnEndlessLineStops)
{
   FILE *zero = fopen("/dev/zero", "r");
   ASSERT_NE(zero, nullptr);
   Limits limits;
   limits.memory = 16 << 20;
   Result r = RunLimited("t = readline(); println length(t);", limits, true, zero);
   EXPECT_EQ(r.reason, ORVA_STOP_MEMORY) << r.error;
   limits = Limits();
   limits.instructions = 200000;
   r = RunLimited("t = readline(); println length(t);", limits, true, zero);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;
   fclose(zero);
}

TEST(ExtensionLimits, LoopsInsideFunctionsLookAtTheClockAndTheBudget)
{
   const std::string split = "t = replace(left(\"\", 2000000, \"a\"), \"a\", \"a,\"); array a; i = 0;"
                             " while (i < 20) { split(t, \",\", a); i++; }";
   Limits timed;
   timed.milliseconds = 100;
   Result r = RunLimited(split, timed);
   EXPECT_EQ(r.reason, ORVA_STOP_TIME) << r.error;
   EXPECT_LT(r.seconds, 1.5);

   Limits counted;
   counted.instructions = 200000;
   r = RunLimited("t = replace(left(\"\", 4000000, \"a\"), \"a\", \"a,\"); array a; n = split(t, \",\", a);", counted);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;
   r = RunLimited("array a; i = 0; while (i < 100000) { a[i] = i; i++; } i = 0; while (i < 1000) { count(a); i++; }",
                  counted);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;
}

TEST(OutputLimits, PrintIsChargedByTheBytesWritten)
{
   Limits limits;
   limits.instructions = 1000000;
   Result r = RunLimited("t = left(\"\", 10000000, \"a\"); i = 0; while (i < 100) { print t; i++; }", limits, false);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;
   // A million units buy some 32 MB of output; the text that did not fit
   // was not written at all.
   EXPECT_LE(r.outputBytes, 40L * 1000000);
   EXPECT_EQ(r.outputBytes % 10000000, 0);
}

TEST(HostCharging, HostFunctionsChargeWorkAndMemoryThroughThePublicInterface)
{
   // Outside a run nothing is counted.
   EXPECT_EQ(ORVAChargeWork(UINT64_MAX / 2), 1);
   EXPECT_EQ(ORVAWeighWork(UINT64_MAX, 1), 1);
   void *block = ORVAAllocate(100);
   ASSERT_NE(block, nullptr);
   block = ORVAReallocate(block, 100, 200);
   ASSERT_NE(block, nullptr);
   ORVAFree(block, 200);

   Limits none;
   Result r = RunLimited("t = repeat(\"ab\", 3); println t;", none);
   EXPECT_EQ(r.output, "ababab\n") << r.error;

   Limits counted;
   counted.instructions = 100000;
   r = RunLimited("i = 0; while (i < 100) { t = repeat(\"abcdefgh\", 100000); i++; }", counted);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;

   Limits ceiling;
   ceiling.memory = 4 << 20;
   r = RunLimited("t = repeat(\"abcdefgh\", 1000000);", ceiling);
   EXPECT_EQ(r.reason, ORVA_STOP_MEMORY) << r.error;
   EXPECT_NE(r.error.find("Memory limit reached"), std::string::npos) << r.error;

   r = RunLimited("println weighed(5000000);", counted);
   EXPECT_EQ(r.reason, ORVA_STOP_INSTRUCTIONS) << r.error;
   EXPECT_NE(r.error.find("was refused: its worst case could pass the limit"), std::string::npos) << r.error;
   r = RunLimited("println weighed(5000);", counted);
   EXPECT_EQ(r.output, "1\n") << r.error;
}

}
