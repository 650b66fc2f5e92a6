// event_handlers.cpp - ORVA functions as handlers of a host's events: the
// script is compiled once, each event enters its handler with RunFunction,
// and the script's globals are kept from one event to the next.
#include <orva.h>

#include <cstdio>

static const char kHandlers[] =
   "sub on_alarm(node, severity)\n"
   "{\n"
   "   open++;\n"
   "   if (severity >= 4)\n"
   "      return node . \": page the operator (\" . open . \" open)\";\n"
   "   return node . \": logged\";\n"
   "}\n"
   "sub on_clear(node)\n"
   "{\n"
   "   open--;\n"
   "   return node . \": cleared (\" . open . \" open)\";\n"
   "}\n";

// Enters one handler; RunFunction takes the argument values over.  With
// keep, the globals as the handler left them become the program's, so the
// next event sees them.
static void Dispatch(ORVA_Program *program, const char *handler, uint32 argc, ORVA_Value **argv, bool keep)
{
   ORVA_Environment *env = new ORVA_Environment();   // one per run; RunFunction deletes it
   env->SetIO(stdin, stdout);
   ORVA_VariableSystem *globals = nullptr;
   if (program->RunFunction(env, handler, argc, argv, nullptr, keep ? &globals : nullptr) == 0)
      printf("%s\n", program->GetResult()->GetValueAsCString());
   else
      printf("%s failed: %s\n", handler, program->GetErrorText());
   if (globals == nullptr)
      return;
   for (uint32 i = 0; i < globals->Count(); i++)
   {
      ORVA_Variable *variable = globals->GetVariable(i);
      program->SetGlobalVariable(variable->Name(), new ORVA_Value(variable->Value()));
   }
   delete globals;
}

int main()
{
   char error[1024];
   ORVA_Program *program = ORVACompile(kHandlers, error, sizeof(error));
   if (program == nullptr)
   {
      fprintf(stderr, "%s\n", error);
      return 1;
   }
   // The state the handlers share is made a global before the first event.
   program->SetGlobalVariable("open", new ORVA_Value(int32(0)));

   ORVA_Value *first[] = {new ORVA_Value("r1"), new ORVA_Value(int32(2))};
   Dispatch(program, "on_alarm", 2, first, true);
   ORVA_Value *second[] = {new ORVA_Value("r2"), new ORVA_Value(int32(5))};
   Dispatch(program, "on_alarm", 2, second, true);
   ORVA_Value *clear[] = {new ORVA_Value("r1")};
   Dispatch(program, "on_clear", 1, clear, true);

   // An event whose changes are not kept leaves the globals as they were.
   ORVA_Value *trial[] = {new ORVA_Value("r2")};
   Dispatch(program, "on_clear", 1, trial, false);
   printf("open: %d\n", program->FindGlobalVariable("open")->Value()->GetValueAsInt32());

   // Resetting is setting the globals again.
   program->SetGlobalVariable("open", new ORVA_Value(int32(0)));
   Dispatch(program, "on_reboot", 0, nullptr, true);
   delete program;
   return 0;
}
