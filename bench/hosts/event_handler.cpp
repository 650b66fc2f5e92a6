// The event benchmark's host: compiles the handler once, then calls it
// through RunFunction for every generated log line, each call with a new
// environment, as an event-driven host makes them.  Prints the sum of the
// scores and the microseconds per event (the calls alone, not the compile
// or the making of the lines).
//
//     orva_bench_event_handler HANDLER.orva [EVENTS]
#include <orva.h>

#include "event_lines.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
   if (argc < 2 || argc > 3)
   {
      fprintf(stderr, "usage: orva_bench_event_handler HANDLER.orva [EVENTS]\n");
      return 2;
   }
   const long events = (argc == 3) ? atol(argv[2]) : 300000;
   uint32 size = 0;
   char *source = ORVALoadFile(argv[1], &size);
   if (source == nullptr)
   {
      fprintf(stderr, "cannot read %s\n", argv[1]);
      return 1;
   }
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   free(source);
   if (program == nullptr)
   {
      fprintf(stderr, "%s\n", error);
      return 1;
   }
   std::vector<std::string> lines;
   lines.reserve(static_cast<size_t>(events));
   char buffer[EVENT_LINE_MAX];
   for (long i = 0; i < events; i++)
      lines.emplace_back(buffer, static_cast<size_t>(EventLine(i, buffer)));

   long sum = 0;
   const auto start = std::chrono::steady_clock::now();
   for (const std::string &line : lines)
   {
      ORVA_Value *arg = new ORVA_Value(line.data(), static_cast<uint32>(line.size()));
      if (program->RunFunction(new ORVA_Environment(), "on_event", 1, &arg, nullptr, nullptr) != 0)
      {
         fprintf(stderr, "%s\n", program->GetErrorText());
         return 1;
      }
      sum += program->GetResult()->GetValueAsInt32();
   }
   const std::chrono::duration<double, std::micro> elapsed = std::chrono::steady_clock::now() - start;
   printf("sum %ld\n", sum);
   printf("us_per_event %.3f\n", events > 0 ? elapsed.count() / static_cast<double>(events) : 0.0);
   delete program;
   return 0;
}
