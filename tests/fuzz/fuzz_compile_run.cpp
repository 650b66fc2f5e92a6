/*
 * libFuzzer target: compiles the input as a script and, when it compiles,
 * runs it with printed output discarded.
 *
 * Every run is bounded: an instruction limit ends endless loops and
 * recursion that would take exponential time, and a time limit backs it up,
 * so a fuzzer -timeout points at work the limits fail to charge.
 */
#include "orva.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

/* Enough for every script test; a run past it is stopped, which is fuzzed too. */
static const uint64 kInstructionLimit = 2000000;
static const uint32 kTimeLimitMs = 2000;

/*
 * The limit property: every input runs once more, with the pure extension
 * functions, under a small instruction limit and a small memory ceiling and
 * no time limit, and must end within a wall-clock bound proportional to the
 * instruction limit.  A run past it means work the limits do not charge:
 * the harness aborts so that libFuzzer reports the input.  About 100,000
 * units are a millisecond; the bound allows for the sanitizers and a loaded
 * machine, and for compiling and tearing down.
 */
static const uint64 kSmallInstructionLimit = 200000;
static const uint64 kSmallMemoryLimit = 4 << 20;
static const double kSmallLimitSeconds = 0.5 + kSmallInstructionLimit / 100000.0 / 1000.0 * 500;

static FILE *g_null = nullptr;

static int HostEcho(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   *result = (argc > 0) ? new ORVA_Value(argv[0]) : new ORVA_Value();
   return 0;
}

static int HostFailAfterResult(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value("left behind");
   return ORVA_ERR_INTERNAL;
}

static int HostNoResult(int, ORVA_Value **, ORVA_Value **)
{
   return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
   if (g_null == nullptr)
      g_null = fopen("/dev/null", "w");
   if (size > 65536)
      return 0;
   std::string source(reinterpret_cast<const char *>(data), size);
   char errorText[256];
   ORVA_Program *program = ORVACompile(source.c_str(), errorText, sizeof(errorText));
   // What level 1 refuses runs at level 2, which covers level 2's own forms
   // and leaves level 1's inputs as they were.
   if (program == nullptr)
      program = ORVACompile(source.c_str(), errorText, sizeof(errorText), ORVA_LANGUAGE_2);
   static const bool verbose = getenv("ORVA_FUZZ_VERBOSE") != nullptr;
   if (program == nullptr)
   {
      if (verbose)
         fprintf(stderr, "compile: %s\n", errorText);
      return 0;
   }
   // Disassembly touches every operand kind.
   program->Dump(g_null);
   {
      static ORVA_ExtFunction hostFunctions[] = {
         {"echo", HostEcho, -1},
         {"fail", HostFailAfterResult, -1},
         {"nothing", HostNoResult, 0},
      };
      for (int round = 0; round < 2; round++)
      {
         ORVA_Environment *env = new ORVA_Environment();
         env->SetIO(nullptr, g_null);
         env->RegisterFunctionSet(3, hostFunctions);
         env->SetInstructionLimit(kInstructionLimit);
         env->SetTimeLimit(kTimeLimitMs);
         ORVA_Value **argv = static_cast<ORVA_Value **>(malloc(sizeof(ORVA_Value *) * 3));
         argv[0] = new ORVA_Value("12");
         argv[1] = new ORVA_Value("text");
         argv[2] = nullptr;
         ORVA_VariableSystem *globals = nullptr;
         program->SetGlobalVariable("g", new ORVA_Value(round));
         int rc = program->Run(env, 3, argv, nullptr, round ? &globals : nullptr);
         if (verbose && round == 0)
            fprintf(stderr, "run: %d %s\n", rc, rc ? program->GetErrorText() : "");
         free(argv);
         delete globals;
         ORVA_Value *result = program->GetResult();
         if (result != nullptr)
         {
            uint32 length;
            result->GetValueAsString(&length);
         }
      }
   }
   {
      ORVA_Environment *env = new ORVA_Environment();
      env->SetIO(nullptr, g_null);
      ORVARegisterExtensions(env, ORVA_EXT_PURE);
      env->SetInstructionLimit(kSmallInstructionLimit);
      env->SetMemoryLimit(kSmallMemoryLimit);
      const auto start = std::chrono::steady_clock::now();
      int rc = program->Run(env, 0, nullptr, nullptr, nullptr);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (seconds > kSmallLimitSeconds)
      {
         fprintf(stderr, "limit property: a run under %llu instructions and %llu bytes took %.2f s (rc %d: %s)\n",
                 static_cast<unsigned long long>(kSmallInstructionLimit),
                 static_cast<unsigned long long>(kSmallMemoryLimit), seconds, rc,
                 rc != 0 && program->GetErrorText() != nullptr ? program->GetErrorText() : "");
         abort();
      }
   }
   delete program;
   return 0;
}
