// Every built-in and extension function on huge arguments, under each limit
// in turn: the run must end near its limit, in time and in memory, and for
// the limit's reason.  Each case runs in a child process so that its peak
// memory can be read apart from the test's own.
#include "orva.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

#if defined(__SANITIZE_ADDRESS__)
const bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool kSanitized = true;
#else
const bool kSanitized = false;
#endif
#else
const bool kSanitized = false;
#endif

struct Limits
{
   uint64 instructions = 0;
   uint32 milliseconds = 0;
   uint64 memory = 0;
};

struct Outcome
{
   int rc = -2;          // Run's result; -2 when the child died
   int reason = -1;      // GetStopReason
   double seconds = 0;   // wall-clock time of the child
   long peakKB = 0;      // the child's largest resident set
   std::string error;
};

// Runs "sub main() { BODY }" with every extension set in a child process.
Outcome RunInChild(const std::string &body, const Limits &limits)
{
   int fds[2];
   if (pipe(fds) != 0)
      return Outcome();
   const auto start = std::chrono::steady_clock::now();
   pid_t pid = fork();
   if (pid == 0)
   {
      close(fds[0]);
      std::string source = orva_test::MainOf(body);
      char error[512] = "";
      ORVA_Program *program = ORVACompile(source.c_str(), error, sizeof(error));
      char report[700];
      int rc = -3, reason = -1;
      if (program != nullptr)
      {
         FILE *sink = fopen("/dev/null", "w");
         FILE *source_in = fopen("/dev/zero", "r");
         ORVA_Environment *env = new ORVA_Environment();
         env->SetIO(source_in, sink);
         ORVARegisterExtensions(env, ORVA_EXT_PURE | ORVA_EXT_IO);
         env->SetInstructionLimit(limits.instructions);
         env->SetTimeLimit(limits.milliseconds);
         env->SetMemoryLimit(limits.memory);
         rc = program->Run(env, 0, nullptr, nullptr, nullptr);
         reason = program->GetStopReason();
         snprintf(error, sizeof(error), "%s", program->GetErrorText() != nullptr ? program->GetErrorText() : "");
         delete program;
         fclose(sink);
         fclose(source_in);
      }
      int n = snprintf(report, sizeof(report), "%d %d %s", rc, reason, error);
      if (write(fds[1], report, static_cast<size_t>(n)) < 0)
         _exit(2);
      _exit(0);
   }
   close(fds[1]);
   Outcome outcome;
   char report[700] = "";
   ssize_t got = 0, n;
   while ((n = read(fds[0], report + got, sizeof(report) - 1 - static_cast<size_t>(got))) > 0)
      got += n;
   close(fds[0]);
   int status = 0;
   struct rusage usage;
   memset(&usage, 0, sizeof(usage));
   wait4(pid, &status, 0, &usage);
   outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
   outcome.peakKB = usage.ru_maxrss;
   int consumed = 0;
   if (WIFEXITED(status) && sscanf(report, "%d %d %n", &outcome.rc, &outcome.reason, &consumed) >= 2)
      outcome.error = report + consumed;
   return outcome;
}

struct Case
{
   const char *name;
   const char *body;
};

// Arguments as large as a script can make them cheaply: a call that does
// its work first and charges after, or holds what it makes outside the
// ceiling, takes seconds and hundreds of megabytes here.
const Case kCases[] = {
   {"split", "t = replace(left(\"\", 2000000, \"a\"), \"a\", \"a,\"); array a; i = 0;"
             " while (i < 50) { split(t, \",\", a); i++; }"},
   {"split bytes", "t = left(\"\", 4000000, \"a\"); array a; i = 0; while (i < 50) { split(t, \"\", a); i++; }"},
   {"replace", "t = left(\"\", 4000000, \"a\"); i = 0; while (i < 50) { r = replace(t, \"a\", \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\"); i++; }"},
   {"join", "array a; i = 0; while (i < 1000) { a[i] = left(\"\", 4000, \"x\"); i++; }"
            " s = left(\"\", 200000, \"y\"); i = 0; while (i < 50) { j = join(a, s); i++; }"},
   {"format", "i = 0; while (i < 50) { f = format(\"%1000000d%1000000s%1000000.1000000f%-1000000c\", 1, \"a\", 2.5, 65); i++; }"},
   {"index", "t = left(\"\", 4000000, \"a\"); u = left(\"\", 100000, \"a\") . \"b\"; i = 0; while (i < 50) { index(t, u); i++; }"},
   {"trim", "t = \" \" . left(\"\", 8000000, \"a\") . \" \"; i = 0; while (i < 100000) { trim(t); i++; }"},
   {"sort numbers", "array a; i = 0; while (i < 300000) { a[i] = 300000 - i; i++; } i = 0; while (i < 50) { sort(a); i++; }"},
   {"sort texts", "array a; i = 0; while (i < 2000) { a[i] = left(\"\", 20000, \"x\") . i; i++; } i = 0; while (i < 50) { sort(a); i++; }"},
   {"count", "array a; i = 0; while (i < 300000) { a[i] = i; i++; } i = 0; while (i < 1000) { count(a); i++; }"},
   {"readline", "i = 0; while (i < 50) { t = readline(); i++; }"},
   {"readfile", "i = 0; while (i < 50) { t = readfile(\"/dev/zero\"); i++; }"},
   {"gmtime objects", "array a; i = 0; while (i < 3000000) { a[i] = gmtime(i); i++; }"},
   {"localtime objects", "array a; i = 0; while (i < 3000000) { a[i] = localtime(i); i++; }"},
   {"strftime", "f = replace(left(\"\", 100000, \"a\"), \"a\", \"%Y\"); i = 0; while (i < 2000) { s = strftime(f, 0, 0); i++; }"},
   {"substr", "t = left(\"\", 8000000, \"a\"); i = 0; while (i < 100000) { s = substr(t, 2); i++; }"},
   {"upper lower", "t = left(\"\", 8000000, \"a\"); i = 0; while (i < 100000) { s = upper(t); s = lower(t); i++; }"},
   {"length", "t = left(\"\", 8000000, \"a\"); i = 0; while (i < 100000000) { length(t); i++; }"},
   {"left", "i = 0; while (i < 50) { s = left(\"\", 2000000000, \"a\"); i++; }"},
   {"right", "i = 0; while (i < 50) { s = right(\"b\", 2000000000, \"a\"); i++; }"},
   {"d2x", "i = 0; while (i < 50) { s = d2x(1, 2000000000); i++; }"},
   {"print", "t = left(\"\", 8000000, \"a\"); i = 0; while (i < 200000) { print(t); i++; }"},
   {"match", "t = replace(left(\"\", 20000, \"a\"), \"a\", \"ab\"); i = 0; while (i < 50) { t match \"[ab]*a[ab]{18}c\"; i++; }"},
   {"match compile", "array p; p[0] = \"((a*)*){100}\"; p[1] = \"((b*)*){100}\"; i = 0;"
                     " while (i < 300) { \"x\" match p[i % 2]; i++; }"},
};

// The child's resident set before the script makes anything.
long BaselineKB()
{
   static long baseline = RunInChild("", Limits()).peakKB;
   return baseline;
}

class LimitsTable : public ::testing::TestWithParam<Case>
{
};

TEST_P(LimitsTable, InstructionLimitHolds)
{
   Limits limits;
   limits.instructions = 2000000;
   Outcome o = RunInChild(GetParam().body, limits);
   ASSERT_EQ(o.rc, -1) << o.error;
   EXPECT_EQ(o.reason, ORVA_STOP_INSTRUCTIONS) << o.error;
   // Two million units are some 20 ms of work; allow for a loaded machine
   // and a sanitizer build.
   EXPECT_LT(o.seconds, 10.0) << o.error;
}

TEST_P(LimitsTable, TimeLimitHolds)
{
   Limits limits;
   limits.milliseconds = 200;
   Outcome o = RunInChild(GetParam().body, limits);
   ASSERT_EQ(o.rc, -1) << o.error;
   EXPECT_TRUE(o.reason == ORVA_STOP_TIME || o.reason == ORVA_STOP_MEMORY) << o.error;
   // Work that cannot be interrupted (a pattern compile) is weighed by its
   // speed in an optimised build; a sanitizer build runs it several times
   // slower than the weighing assumes.
   EXPECT_LT(o.seconds, kSanitized ? 10.0 : 2.0) << o.error;
}

TEST_P(LimitsTable, MemoryCeilingHolds)
{
   Limits limits;
   limits.memory = 16 << 20;
   limits.milliseconds = 3000;   // a bound for the test: a case that fits goes on for long
   Outcome o = RunInChild(GetParam().body, limits);
   ASSERT_NE(o.rc, -2) << "the child died";
   if (o.rc != 0)
   {
      EXPECT_TRUE(o.reason == ORVA_STOP_MEMORY || o.reason == ORVA_STOP_TIME) << o.error;
   }
   // Within the ceiling a case may also complete; what matters is that it
   // never holds far more than the ceiling.  AddressSanitizer keeps what is
   // freed for a while, so only the plain builds can tell.
   const long grownKB = o.peakKB - BaselineKB();
   if (!kSanitized)
   {
      EXPECT_LT(grownKB, 3 * 16 * 1024 + 16 * 1024) << GetParam().name << ": " << o.error;
   }
   EXPECT_LT(o.seconds, 15.0) << o.error;
}

INSTANTIATE_TEST_SUITE_P(HugeArguments, LimitsTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) {
                            std::string name;
                            for (const char *p = info.param.name; *p != 0; p++)
                               name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                            return name;
                         });

}
