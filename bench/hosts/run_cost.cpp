// The per-run cost: Run of a program with main alone, of one with 1,000
// more functions that are never called, and of each using a module from
// the script library, each run with a new environment.  A run's set-up and
// tear-down should follow what the run uses, not the size of the program.
//
//     orva_bench_run_cost                  all four cases, microseconds per run
//     orva_bench_run_cost CASE RUNS        one case (small, large, small+module,
//                                          large+module) RUNS times, for callgrind
#include <orva.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static const int EXTRA_FUNCTIONS = 1000;
static const int MODULE_FUNCTIONS = 20;

static ORVA_Program *CompileOrDie(const std::string &source)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source.c_str(), error, sizeof(error));
   if (program == nullptr)
   {
      fprintf(stderr, "%s\n", error);
      exit(1);
   }
   return program;
}

static std::string Functions(const char *prefix, int count)
{
   std::string text;
   char line[160];
   for (int k = 0; k < count; k++)
   {
      snprintf(line, sizeof(line), "sub %s%d(a, b)\n{\n   x = a * %d + b;\n   if (x > 100)\n      x = x - %d;\n"
               "   return x;\n}\n", prefix, k, k % 97, k);
      text += line;
   }
   return text;
}

struct Case
{
   const char *name;
   bool large;
   bool module;
};

static const Case CASES[] = {
   {"small", false, false},
   {"large", true, false},
   {"small+module", false, true},
   {"large+module", true, true},
};

static ORVA_Program *ProgramFor(const Case &c)
{
   std::string source = c.module ? "use util;\n" : "";
   source += "sub main(x) { return x + 1; }\n";
   if (c.large)
      source += Functions("f", EXTRA_FUNCTIONS);
   return CompileOrDie(source);
}

static bool RunOnce(ORVA_Program *program, ORVA_Library *library, long i)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->SetLibrary(library);
   ORVA_Value *arg = new ORVA_Value(static_cast<int32>(i));
   if (program->Run(env, 1, &arg, nullptr, nullptr) != 0)
   {
      fprintf(stderr, "%s\n", program->GetErrorText());
      return false;
   }
   return program->GetResult()->GetValueAsInt32() == static_cast<int32>(i + 1);
}

int main(int argc, char **argv)
{
   if (argc != 1 && argc != 3)
   {
      fprintf(stderr, "usage: orva_bench_run_cost [CASE RUNS]\n");
      return 2;
   }
   ORVA_Library library;
   library.AddScript(1, "util", CompileOrDie(Functions("util", MODULE_FUNCTIONS)));

   for (const Case &c : CASES)
   {
      if (argc == 3 && strcmp(argv[1], c.name) != 0)
         continue;
      ORVA_Program *program = ProgramFor(c);
      if (!RunOnce(program, &library, 0))   // the first run prepares the program's own code
         return 1;
      long runs = 0;
      double elapsed = 0;
      const auto start = std::chrono::steady_clock::now();
      // By hand: the count given; else as many as a fifth of a second takes.
      const long wanted = (argc == 3) ? atol(argv[2]) : -1;
      while (wanted >= 0 ? runs < wanted : elapsed < 200000.0 || runs < 10)
      {
         if (!RunOnce(program, &library, runs))
            return 1;
         runs++;
         elapsed = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
      }
      printf("%-13s %10.2f us per run (%ld runs)\n", c.name, runs > 0 ? elapsed / static_cast<double>(runs) : 0.0,
             runs);
      delete program;
   }
   return 0;
}
