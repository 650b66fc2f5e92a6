// profiling.cpp - where a run spends its instructions: rows by function and
// folded stacks for a flame-graph tool.
#include <orva.h>

#include <cinttypes>
#include <cstdio>

static const char kScript[] =
   "sub checksum(text)\n"
   "{\n"
   "   sum = 0;\n"
   "   i = 0;\n"
   "   while (i < length(text))\n"
   "   {\n"
   "      sum = (sum * 31 + i) % 65521;\n"
   "      i++;\n"
   "   }\n"
   "   return sum;\n"
   "}\n"
   "sub record(n)\n"
   "{\n"
   "   return checksum(\"record \" . n);\n"
   "}\n"
   "sub main()\n"
   "{\n"
   "   total = 0;\n"
   "   n = 0;\n"
   "   while (n < 100)\n"
   "   {\n"
   "      total = total + record(n);\n"
   "      n++;\n"
   "   }\n"
   "   return total;\n"
   "}\n";

int main()
{
   char error[1024];
   ORVA_Program *program = ORVACompile(kScript, error, sizeof(error));
   if (program == nullptr)
   {
      fprintf(stderr, "%s\n", error);
      return 1;
   }

   // The profile is the host's; the environment only points at it.
   ORVA_Profile profile;
   ORVA_Environment *env = new ORVA_Environment();
   env->SetProfile(&profile);
   if (program->Run(env, 0, nullptr, nullptr, nullptr) != 0)
      fprintf(stderr, "%s\n", program->GetErrorText());

   // Times differ from run to run; calls and instructions do not.
   printf("%-10s %6s %8s %8s\n", "function", "calls", "self", "total");
   ORVA_ProfileRow row;
   for (uint32 i = 0; profile.GetFunctionRow(i, &row); i++)
      printf("%-10s %6" PRIu64 " %8" PRIu64 " %8" PRIu64 "\n", row.function, row.calls, row.selfInstructions,
             row.totalInstructions);
   for (uint32 i = 0; i < 3 && profile.GetLineRow(i, &row); i++)
      printf("line %s:%d: %" PRIu64 " instructions in all\n", row.function, row.line, row.totalInstructions);
   printf("%s", profile.GetFoldedStacks(ORVA_PROFILE_INSTRUCTIONS));
   delete program;
   return 0;
}
