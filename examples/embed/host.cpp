// A small host program that embeds liborva.  It shows the usual steps:
//
//   1. host functions that scripts call by name (an ORVA_ExtFunction table);
//   2. a host object class whose attributes scripts read with "->";
//   3. global variables set before a run and read back after it;
//   4. a script library whose scripts other scripts take in with "use";
//   5. compiling, running, reading the result or the error text.
#include "orva.h"

#include <cstdio>
#include <cstring>

// --- 1. Host functions -----------------------------------------------------

// greet(name): a text made for the script.
static int Greet(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsString())
      return ORVA_ERR_NOT_STRING;
   char text[128];
   snprintf(text, sizeof(text), "Hello from the host, %s", argv[0]->GetValueAsCString());
   *result = new ORVA_Value(text);
   return 0;
}

// total(...): the sum of any number of numeric arguments.
static int Total(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   int64 sum = 0;
   for (int i = 0; i < argc; i++)
   {
      if (!argv[i]->IsNumeric())
         return ORVA_ERR_NOT_NUMBER;
      sum += argv[i]->GetValueAsInt64();
   }
   *result = new ORVA_Value(sum);
   return 0;
}

static ORVA_ExtFunction s_hostFunctions[] = {
   {"greet", Greet, 1},
   {"total", Total, -1},
};

// --- 2. A host object class --------------------------------------------------

struct Server
{
   const char *name;
   int32 port;
   int32 connections;
};

class ServerClass : public ORVA_Class
{
public:
   ServerClass() { strcpy(Name(), "SERVER"); }

   // Scripts read server->name, server->port and server->connections; any
   // other attribute is null, which the script sees as an error.
   ORVA_Value *GetAttr(ORVA_Object *object, char *attribute) override
   {
      const Server *server = static_cast<const Server *>(object->Data());
      if (strcmp(attribute, "name") == 0)
         return new ORVA_Value(server->name);
      if (strcmp(attribute, "port") == 0)
         return new ORVA_Value(server->port);
      if (strcmp(attribute, "connections") == 0)
         return new ORVA_Value(server->connections);
      return nullptr;
   }
};

// The class must outlive every object of it.
static ServerClass s_serverClass;

// --- 3.-5. Compiling and running --------------------------------------------

static ORVA_Program *Compile(const char *source)
{
   char error[256];
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   if (program == nullptr)
      printf("compile error: %s\n", error);
   return program;
}

// One environment serves one run: Run takes it over and deletes it.
static ORVA_Environment *NewEnvironment(ORVA_Library *library)
{
   ORVA_Environment *env = new ORVA_Environment();
   env->RegisterFunctionSet(sizeof(s_hostFunctions) / sizeof(s_hostFunctions[0]), s_hostFunctions);
   env->SetIO(stdin, stdout);
   env->SetLibrary(library);
   return env;
}

static const char MAIN_SCRIPT[] =
   "use util;\n"
   "sub main(who, count) {\n"
   "   println greet(who);\n"
   "   println \"total: \" . total(count, 10, 20);\n"
   "   println \"server: \" . server->name . \":\" . server->port;\n"
   "   println \"padded: [\" . pad(\"x\", limit) . \"]\";\n"
   "   visits = visits + 1;\n"
   "   return count * 2;\n"
   "}\n";

static const char UTIL_SCRIPT[] =
   "sub pad(text, width) {\n"
   "   while (length(text) < width) text = text . \".\";\n"
   "   return text;\n"
   "}\n";

int main()
{
   // A script library holds compiled scripts under names; "use util;" finds
   // util here before it looks for util.orva in the current directory.
   ORVA_Library library;
   ORVA_Program *util = Compile(UTIL_SCRIPT);
   if (util == nullptr || !library.AddScript(1, "util", util))
      return 1;

   ORVA_Program *program = Compile(MAIN_SCRIPT);
   if (program == nullptr)
      return 1;

   Server server = {"alpha", 8080, 3};
   program->SetGlobalVariable("server", new ORVA_Value(new ORVA_Object(&s_serverClass, &server)));
   program->SetGlobalVariable("limit", new ORVA_Value(static_cast<int32>(4)));
   program->SetGlobalVariable("visits", new ORVA_Value(static_cast<int32>(0)));

   // Arguments become $1, $2 ... and main's parameters; Run takes them over.
   ORVA_Value *args[] = {new ORVA_Value("embedder"), new ORVA_Value("21")};
   ORVA_VariableSystem *globals = nullptr;
   library.Lock();   // runs that may load modules from a shared library hold its lock
   int rc = program->Run(NewEnvironment(&library), 2, args, nullptr, &globals);
   library.Unlock();
   if (rc != 0)
   {
      printf("run error: %s\n", program->GetErrorText());
      delete globals;
      delete program;
      return 1;
   }
   printf("result: %s (%s)\n", program->GetResult()->GetValueAsCString(),
          g_orvaTypeNames[program->GetResult()->DataType()]);

   // The run's changes to globals come back through the globals-out scope;
   // the program itself starts every run from the globals the host set.
   ORVA_Variable *visits = globals != nullptr ? globals->Find("visits") : nullptr;
   printf("visits after the run: %d\n", visits != nullptr ? visits->Value()->GetValueAsInt32() : -1);
   printf("visits kept by the program: %d\n", program->FindGlobalVariable("visits")->Value()->GetValueAsInt32());
   delete globals;

   // A failing run: the error text names the code, the line and the cause.
   ORVA_Program *failing = Compile("sub main() {\n   return server->disk;\n}\n");
   if (failing == nullptr)
      return 1;
   failing->SetGlobalVariable("server", new ORVA_Value(new ORVA_Object(&s_serverClass, &server)));
   if (failing->Run(NewEnvironment(&library), 0, nullptr, nullptr, nullptr) != 0)
      printf("expected error: %s\n", failing->GetErrorText());
   delete failing;

   delete program;
   return 0;
}
