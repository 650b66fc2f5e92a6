// call_trail.cpp - after a failed run, the calls that led to the error:
// which function, which line, and which module a function came from.
#include <orva.h>

#include <cstdio>
#include <cstring>

static const char kStats[] =
   "sub sum(samples, count)\n"
   "{\n"
   "   total = 0;\n"
   "   i = 0;\n"
   "   while (i < count)\n"
   "   {\n"
   "      total = total + samples[i];\n"
   "      i++;\n"
   "   }\n"
   "   return total;\n"
   "}\n"
   "sub average(samples, count)\n"
   "{\n"
   "   return sum(samples, count) / count;\n"
   "}\n";

static const char kReport[] =
   "use stats;\n"
   "sub report(load)\n"
   "{\n"
   "   return \"average load \" . average(load, 2);\n"
   "}\n";

int main()
{
   char error[1024];
   ORVA_Library library;
   library.AddScript(1, "stats", ORVACompile(kStats, error, sizeof(error)));
   ORVA_Program *program = ORVACompile(kReport, error, sizeof(error));
   if (program == nullptr)
   {
      fprintf(stderr, "%s\n", error);
      return 1;
   }

   // The host hands a text where the script wants an array.
   ORVA_Environment *env = new ORVA_Environment();
   env->SetLibrary(&library);
   ORVA_Value *argv[] = {new ORVA_Value("12,15")};
   if (program->RunFunction(env, "report", 1, argv, nullptr, nullptr) != 0)
   {
      printf("%s\n", program->GetErrorText());
      // One call a line, innermost first: FUNCTION:LINE, and the module.
      const char *trace = program->GetErrorTrace();
      while (*trace != '\0')
      {
         const char *end = strchr(trace, '\n');
         printf("    at %.*s\n", static_cast<int>(end - trace), trace);
         trace = end + 1;
      }
   }
   delete program;
   return 0;
}
