#include "vm_test_util.h"

std::vector<std::string> g_recorded;

std::string Describe(ORVA_Value *value)
{
   if (value == nullptr)
      return "<none>";
   const char *text = value->GetValueAsCString();
   return std::string(g_orvaTypeNames[value->DataType()]) + ":" + (text != nullptr ? text : "");
}

int RecordHandler(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   for (int i = 0; i < argc; i++)
      g_recorded.push_back(Describe(argv[i]));
   *result = new ORVA_Value(static_cast<int32>(argc));
   return 0;
}

ORVA_Environment *MakeEnvironment(FILE *stream, const std::vector<ORVA_ExtFunction> &extra)
{
   ORVA_Environment *env = new ORVA_Environment();
   ORVA_ExtFunction rec = {"rec", RecordHandler, -1};
   env->RegisterFunctionSet(1, &rec);
   if (!extra.empty())
      env->RegisterFunctionSet(static_cast<uint32>(extra.size()), const_cast<ORVA_ExtFunction *>(extra.data()));
   env->SetIO(nullptr, stream);
   return env;
}

RunOutcome RunProgram(ORVA_Program *program, std::vector<ORVA_Value *> args, const std::vector<ORVA_ExtFunction> &extra,
                      ORVA_VariableSystem **globalsOut)
{
   char *buffer = nullptr;
   size_t size = 0;
   FILE *stream = open_memstream(&buffer, &size);
   g_recorded.clear();

   RunOutcome outcome;
   ORVA_Value **argv = args.empty() ? nullptr : args.data();
   outcome.rc = program->Run(MakeEnvironment(stream, extra), static_cast<uint32>(args.size()), argv, nullptr,
                             globalsOut);
   fclose(stream);
   outcome.output.assign(buffer, size);
   free(buffer);
   if (program->GetErrorText() != nullptr)
      outcome.error = program->GetErrorText();
   ORVA_Value *result = program->GetResult();
   if (result != nullptr)
   {
      outcome.resultType = result->DataType();
      const char *text = result->GetValueAsCString();
      outcome.resultText = (text != nullptr) ? text : "";
   }
   return outcome;
}
