// debugger_host.cpp - a host that debugs the scripts it runs: a breakpoint
// in a function, a look at the calls and variables there, steps over and
// out, and the report of the error that ends the run.
#include <orva.h>

#include <cstdio>

static const char kScript[] =
   "sub scale(values, factor)\n"
   "{\n"
   "   i = 0;\n"
   "   while (i < 3)\n"
   "   {\n"
   "      values[i] = values[i] * factor;\n"
   "      i++;\n"
   "   }\n"
   "   return values;\n"
   "}\n"
   "sub main()\n"
   "{\n"
   "   array v;\n"
   "   v[0] = 1; v[1] = 2; v[2] = 3;\n"
   "   v = scale(v, 10);\n"
   "   return v[2] % v[3];\n"
   "}\n";

class Host : public ORVA_Debugger
{
public:
   int OnPause(int reason) override
   {
      static const char *const why[] = {"", "entry", "breakpoint", "step", "pause"};
      printf("-- %s\n", why[reason]);
      ShowCalls();
      if (m_pauses++ == 0)
      {
         ShowVariables(0);
         return ORVA_RESUME_STEP_OVER;   // to the next line of scale
      }
      if (m_pauses == 2)
         return ORVA_RESUME_STEP_OUT;    // back to main
      ClearBreakpoints();
      return ORVA_RESUME_CONTINUE;
   }

   void OnError(int code, const char *message) override
   {
      printf("-- error %d: %s\n", code, message);
      ShowCalls();
      ShowVariables(0);
   }

private:
   int m_pauses = 0;

   void ShowCalls() const
   {
      const char *function, *module;
      int line;
      for (uint32 f = 0; GetFrame(f, &function, &line, &module); f++)
         printf("   #%u %s() line %d%s%s\n", f, function, line, *module ? " of " : "", module);
   }

   void ShowVariables(uint32 frame) const
   {
      const char *name;
      ORVA_Value *value;
      for (uint32 i = 0; GetVariable(frame, i, &name, &value); i++)
      {
         printf("   %s = ", name);
         Show(value);
         printf("\n");
      }
   }

   // Arrays are walked element by element, in index order.
   static void Show(ORVA_Value *value)
   {
      if (value->IsArray())
      {
         ORVA_Array *array = value->GetValueAsArray();
         printf("[");
         for (int32 p = 0; p < array->Size(); p++)
         {
            printf("%s%d: ", p ? ", " : "", array->IndexAt(p));
            Show(array->ValueAt(p));
         }
         printf("]");
      }
      else
         printf("%s", value->IsNull() ? "null" : value->GetValueAsCString());
   }
};

int main()
{
   char error[1024];
   ORVA_Program *program = ORVACompile(kScript, error, sizeof(error));
   if (program == nullptr)
   {
      fprintf(stderr, "%s\n", error);
      return 1;
   }
   Host debugger;
   debugger.SetBreakpoint(nullptr, ORVA_Debugger::FunctionLine(program, "scale"));
   ORVA_Environment *env = new ORVA_Environment();
   env->SetDebugger(&debugger);
   if (program->Run(env, 0, nullptr, nullptr, nullptr) != 0)
      printf("%s\n", program->GetErrorText());
   delete program;
   return 0;
}
