// host_calls: the cost of one host call into a script, entering main with
// Run or a named function with RunFunction, each with a new environment and
// one argument, as an event-driven host makes them.  Measure with callgrind:
// the difference between two counts, divided by the difference of calls, is
// the cost of one call without the set-up.
//
//     orva_bench_host_calls run|function CALLS
#include <orva.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
   if (argc != 3 || (strcmp(argv[1], "run") != 0 && strcmp(argv[1], "function") != 0))
   {
      fprintf(stderr, "usage: orva_bench_host_calls run|function CALLS\n");
      return 2;
   }
   const bool named = strcmp(argv[1], "function") == 0;
   const long calls = atol(argv[2]);
   // The same body behind both entries.
   ORVA_Program *program = ORVACompile("sub on_event(x) { return x + 1; }\n"
                                       "sub main(x) { return x + 1; }\n",
                                       nullptr, 0);
   if (program == nullptr)
      return 1;
   long sum = 0;
   for (long i = 0; i < calls; i++)
   {
      ORVA_Value *arg = new ORVA_Value(static_cast<int32>(i));
      const int rc = named ? program->RunFunction(new ORVA_Environment(), "on_event", 1, &arg, nullptr, nullptr)
                           : program->Run(new ORVA_Environment(), 1, &arg, nullptr, nullptr);
      if (rc != 0)
         return 1;
      sum += program->GetResult()->GetValueAsInt32();
   }
   printf("%ld\n", sum);
   delete program;
   return 0;
}
