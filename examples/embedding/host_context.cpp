// host_context.cpp - host functions that reach the data of their run through
// its environment, and fail with a text of their own.
#include <orva.h>

#include <cstdio>

// A device the host talks to.
struct Device
{
   const char *address;
   bool up;
};

// The environment of a run carries the device the run is about.
class DeviceEnvironment : public ORVA_Environment
{
public:
   explicit DeviceEnvironment(Device *device) : device(device) {}
   Device *device;   // the host's; the environment only points to it
};

// ping(): the address of the run's device when it answers.
static int Ping(int, ORVA_Value **, ORVA_Value **result)
{
   DeviceEnvironment *env = dynamic_cast<DeviceEnvironment *>(ORVA_CurrentEnvironment());
   if (env == nullptr)
      return ORVA_ERR_BAD_CLASS;   // registered in another kind of environment
   if (!env->device->up)
   {
      char text[128];
      snprintf(text, sizeof(text), "device %s unreachable", env->device->address);
      ORVA_SetErrorMessage(text);   // copied; replaces the code's own message
      return 100;                   // a code of the host's choosing
   }
   *result = new ORVA_Value(env->device->address);
   return 0;
}

static ORVA_ExtFunction g_functions[] = {
   {"ping", Ping, 0},
};

int main()
{
   char error[1024];
   ORVA_Program *program = ORVACompile("sub main()\n{\n   return \"reached \" . ping();\n}\n", error, sizeof(error));
   if (program == nullptr)
   {
      fprintf(stderr, "%s\n", error);
      return 1;
   }
   Device devices[] = {{"10.0.0.5", true}, {"10.0.0.7", false}};
   for (Device &device : devices)
   {
      DeviceEnvironment *env = new DeviceEnvironment(&device);
      env->RegisterFunctionSet(1, g_functions);
      if (program->Run(env, 0, nullptr, nullptr, nullptr) == 0)
         printf("%s\n", program->GetResult()->GetValueAsCString());
      else
         printf("%s\n", program->GetErrorText());
   }
   delete program;
   return 0;
}
