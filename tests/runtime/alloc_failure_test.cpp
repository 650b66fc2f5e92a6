// Lengths the heap cannot hold are refused, not fatal to the host.  The
// address-space cap that makes the allocation fail cannot coexist with the
// sanitizer's shadow memory, so this runs in plain builds only.
#include "runtime_test_util.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
// The built-in's outcome in a child capped at 512 MiB (-1: the child died).
int CallUnderMemoryCap(const char *name, std::initializer_list<ORVA_Value *> args)
{
   pid_t pid = fork();
   if (pid == 0)
   {
      struct rlimit cap = { 512u << 20, 512u << 20 };
      setrlimit(RLIMIT_AS, &cap);
      int rc;
      std::unique_ptr<ORVA_Value> result = CallBuiltin(name, args, &rc);
      _exit(rc == 0 && result ? 100 : rc);
   }
   for (ORVA_Value *v : args)
      delete v;
   int status = 0;
   waitpid(pid, &status, 0);
   return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}

TEST(BuiltinAlloc, HugeLeftAndRightAreRefused)
{
#if defined(__SANITIZE_ADDRESS__)
   GTEST_SKIP() << "address-space caps do not work under the sanitizer";
#endif
   EXPECT_EQ(CallUnderMemoryCap("left", { Text("abc"), I32(INT32_MAX) }), ORVA_ERR_INTERNAL);
   EXPECT_EQ(CallUnderMemoryCap("right", { Text("abc"), I32(INT32_MAX), Text("*") }), ORVA_ERR_INTERNAL);
   EXPECT_EQ(CallUnderMemoryCap("left", { Text("abc"), I32(1 << 20) }), 100);
}

/*
 * The library under a failing heap, in the manner of the memory tests of
 * small embeddable engines: every allocation a compile or a run makes is
 * failed in turn (allocation N for N = 1, 2, ... until the work completes
 * without meeting the failure), and then every allocation from N on.  The
 * process must never abort or leak (the sanitizer build checks), and each
 * attempt ends with its normal result or a clean failure that says memory
 * ran out.
 *
 * The failures come from a replaced global operator new and from the
 * library's hook in front of its block allocations; values and arrays
 * themselves are made by their own operator new, which never fails.
 */
#include "support/memory.h"

#include <cstdlib>
#include <new>

namespace
{
struct FailurePlan
{
   bool armed = false;
   bool forGood = false;   // every allocation from failAt on fails
   long failAt = 0;
   long seen = 0;
   bool failed = false;
};
FailurePlan g_plan;   // the tests run on one thread; only it arms the plan

bool NextAllocationFails()
{
   FailurePlan &plan = g_plan;
   if (!plan.armed)
      return false;
   plan.seen++;
   if (plan.seen == plan.failAt || (plan.forGood && plan.seen > plan.failAt))
   {
      plan.failed = true;
      return true;
   }
   return false;
}

void Arm(long failAt, bool forGood)
{
   g_plan = FailurePlan();
   g_plan.failAt = failAt;
   g_plan.forGood = forGood;
   g_plan.armed = true;
   g_orvaFailAllocation = NextAllocationFails;
}

// Whether an allocation failed since Arm.
bool Disarm()
{
   g_plan.armed = false;
   g_orvaFailAllocation = nullptr;
   return g_plan.failed;
}
}

// The replacements pair malloc with free, which the compiler cannot see.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void *operator new(size_t size)
{
   void *block = NextAllocationFails() ? nullptr : malloc(size > 0 ? size : 1);
   if (block == nullptr)
      throw std::bad_alloc();
   return block;
}
void *operator new[](size_t size)
{
   return operator new(size);
}
void *operator new(size_t size, const std::nothrow_t &) noexcept
{
   return NextAllocationFails() ? nullptr : malloc(size > 0 ? size : 1);
}
void *operator new[](size_t size, const std::nothrow_t &tag) noexcept
{
   return operator new(size, tag);
}
void operator delete(void *block) noexcept
{
   free(block);
}
void operator delete[](void *block) noexcept
{
   free(block);
}
void operator delete(void *block, size_t) noexcept
{
   free(block);
}
void operator delete[](void *block, size_t) noexcept
{
   free(block);
}

namespace
{
struct FailureScript
{
   const char *what;
   const char *source;
   const char *expected;   // the result's text
};

const FailureScript kFailureScripts[] = {
   {"built-ins",
    "sub main() { s = upper(\"abc\") . lower(\"DEF\") . substr(\"hello\", 2, 3) . left(\"x\", 5, \"-\")\n"
    "  . right(\"y\", 4) . d2x(255, 4) . d2x(10, 200) . typeof(1.5) . max(1, 5) . min(2, 3) . abs(-4)\n"
    "  . pow(2, 10) . SecondsToUptime(90061) . strftime(\"%Y\", 0, 0) . AddrInSubnet(\"10.0.0.1\", \"10.0.0.0\", 8);\n"
    "  return length(s) . \":\" . substr(s, 1, 12); }",
    "258:ABCdefellx--"},
   {"arrays",
    "sub fill(a, n) { i = 0; while (i < n) { a[i] = \"v\" . i; a[-i - 1] = i; a[i * 7 + 1000] = i; i++; } return a; }\n"
    "sub main() { array a; array b; fill(a, 120); b[1] = a; a[0] = b; c = a; c[5] = 99;\n"
    "  d = b[1]; return a[5] . \",\" . c[5] . \",\" . d[119] . \",\" . a[-120] . \",\" . a[1833]; }",
    "v5,99,v119,119,119"},
   {"objects",
    "sub main() { t = gmtime(86400 * 400); array a; a[1] = t; u = a[1]; a[2] = localtime(0);\n"
    "  return u->year . \"-\" . u->mon . \"/\" . classof(t) . \"/\" . typeof(t); }",
    "1971-1/TIME/object"},
   {"patterns",
    "sub main() { line = \"user=bob id=42\"; r = \"\";\n"
    "  if (line match \"user=([a-z]+) id=([0-9]+)\") r = $1 . $2;\n"
    "  return r . (\"report.txt\" like \"*.txt\") . (\"ABC\" imatch \"b\") . (\"abc\" ~= \"^a.c$\"); }",
    "bob42111"},
   {"calls",
    "sub f(n) { if (n < 2) return n; return f(n - 1) + f(n - 2); }\n"
    "sub g() { x = $1; y = $2; return x . y; }\n"
    "sub main() { return f(12) . g(\"a\", \"b\"); }",
    "144ab"},
};

// The result's text, or the error text after a failed run.
std::string Outcome(ORVA_Program *program, int rc)
{
   if (rc != 0)
      return (program->GetErrorText() != nullptr) ? program->GetErrorText() : "(no text)";
   if (program->GetResult() == nullptr)
      return "(no result)";
   uint32 length = 0;
   const char *text = program->GetResult()->GetValueAsString(&length);
   return (text != nullptr) ? std::string(text, length) : "(no text)";
}

// Runs program under the plan; true when an allocation failed on the way.
bool RunFailing(ORVA_Program *program, ORVA_Library *library, const char *expected, long failAt, bool forGood)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->SetLibrary(library);
   Arm(failAt, forGood);
   const int rc = program->Run(env, 0, nullptr, nullptr, nullptr);
   const bool failed = Disarm();
   const std::string outcome = Outcome(program, rc);
   if (!failed || rc == 0)
      EXPECT_EQ(outcome, expected) << "allocation " << failAt << (forGood ? " on" : "");
   else
      EXPECT_NE(outcome.find("Out of memory"), std::string::npos) << "allocation " << failAt << ": " << outcome;
   return failed;
}

const long kMostAllocations = 20000;
}

TEST(AllocationFailure, EveryAllocationOfARunMayFail)
{
   for (const FailureScript &script : kFailureScripts)
   {
      SCOPED_TRACE(script.what);
      char error[256] = "";
      ORVA_Program *program = ORVACompile(script.source, error, sizeof(error));
      ASSERT_NE(program, nullptr) << error;
      for (int forGood = 0; forGood < 2; forGood++)
      {
         long n = 1;
         while (RunFailing(program, nullptr, script.expected, n, forGood != 0) && n < kMostAllocations)
            n++;
         EXPECT_LT(n, kMostAllocations);
         EXPECT_GT(n, 1) << "the run allocated nothing that could fail";
      }
      delete program;
   }
}

// Modules linked from the script library: linking copies their code.
TEST(AllocationFailure, LinkingModulesMayFail)
{
   ORVA_Library library;
   ASSERT_EQ(library.AddScript(1, "MathLib",
                               ORVACompile("sub square(x) { return x * x; }\nsub cube(x) { return square(x) * x; }\n",
                                           nullptr, 0)),
             1);
   ORVA_Program *program = ORVACompile("use mathlib;\nsub main() { return cube(3) . \",\" . square(4); }\n", nullptr, 0);
   ASSERT_NE(program, nullptr);
   for (int forGood = 0; forGood < 2; forGood++)
   {
      long n = 1;
      while (RunFailing(program, &library, "27,16", n, forGood != 0) && n < kMostAllocations)
         n++;
      EXPECT_LT(n, kMostAllocations);
      EXPECT_GT(n, 1) << "linking allocated nothing that could fail";
   }
   delete program;
}

namespace
{
// A compile that meets a failure fails with a text; one that does not
// gives a program that runs as it should.
void CompileFailingEverywhere(const char *source, const char *expected)
{
   for (int forGood = 0; forGood < 2; forGood++)
   {
      long n = 1;
      for (; n < kMostAllocations; n++)
      {
         char error[256] = "";
         Arm(n, forGood != 0);
         ORVA_Program *program = ORVACompile(source, error, sizeof(error));
         const bool failed = Disarm();
         if (program == nullptr)
         {
            EXPECT_TRUE(failed);
            EXPECT_NE(std::string(error).find("memory exhausted"), std::string::npos)
               << "allocation " << n << ": " << error;
            // The same failure told in parts: the frame's line (0 when the
            // compiler itself could not be made) and the rest.
            ORVA_CompileError parts;
            Arm(n, forGood != 0);
            EXPECT_EQ(nullptr, ORVACompile(source, &parts));
            Disarm();
            EXPECT_STREQ(error, parts.m_text);
            EXPECT_EQ("Error in line " + std::to_string(parts.m_line) + ": " + parts.m_message, std::string(error));
            continue;
         }
         const int rc = program->Run(nullptr, 0, nullptr, nullptr, nullptr);
         EXPECT_EQ(Outcome(program, rc), expected) << "allocation " << n;
         delete program;
         if (!failed)
            break;
      }
      EXPECT_GT(n, 1) << "the compile allocated nothing that could fail";
      EXPECT_LT(n, kMostAllocations);
   }
}
}

TEST(AllocationFailure, EveryAllocationOfACompileMayFail)
{
   for (const FailureScript &script : kFailureScripts)
   {
      SCOPED_TRACE(script.what);
      CompileFailingEverywhere(script.source, script.expected);
   }
}

// Loops nested deeper than the compiler's level stacks start out hold: a
// level the stack cannot take fails the compile instead of pairing the
// jumps of one loop with another's.
TEST(AllocationFailure, DeepLoopLevelsMayFail)
{
   const int depth = 200;
   std::string source = "sub main() { n = 0;\n";
   for (int i = 0; i < depth; i++)
      source += "i" + std::to_string(i) + " = 0; while (i" + std::to_string(i) + "++ < 1) {\n";
   source += "n++;\n";
   for (int i = 0; i < depth; i++)
      source += "}\n";
   source += "return n; }\n";
   CompileFailingEverywhere(source.c_str(), "1");
}
