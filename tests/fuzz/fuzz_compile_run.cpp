/*
 * libFuzzer target: compiles the input as a script and, when it compiles and
 * cannot loop by its own logic, runs it with printed output discarded.
 *
 * Recursion is bounded by MAX_CALL_DEPTH; scripts calling one of their own
 * functions twice or more could still take exponential time, so the
 * fuzzer's -timeout catches those, and a timeout is checked by hand.
 */
#include "orva.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

/*
 * Scripts with "while" or "do" may loop for ever by design, and nothing can
 * stop a run yet, so they are only compiled.  Once runs can be bounded (an
 * instruction limit on the environment), run them all: set this to true and
 * set the limit where the environment is made.  ORVA_FUZZ_RUN_LOOPS=1 runs
 * them meanwhile, for generated scripts whose loops are bounded by
 * construction (tests/fuzz/gen_scripts.py).
 */
static const bool kRunLoops = false;

static bool OnlyCompile(const std::string &source)
{
   static const bool runLoops = kRunLoops || getenv("ORVA_FUZZ_RUN_LOOPS") != nullptr;
   return !runLoops && (source.find("while") != std::string::npos || source.find("do") != std::string::npos);
}

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
   static const bool verbose = getenv("ORVA_FUZZ_VERBOSE") != nullptr;
   if (program == nullptr)
   {
      if (verbose)
         fprintf(stderr, "compile: %s\n", errorText);
      return 0;
   }
   // Disassembly touches every operand kind.
   program->Dump(g_null);
   if (!OnlyCompile(source))
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
   delete program;
   return 0;
}
