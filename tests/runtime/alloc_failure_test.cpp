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
