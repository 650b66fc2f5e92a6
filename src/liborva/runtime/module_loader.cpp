#include "orva.h"

#include <cstdio>
#include <cstdlib>

int ORVA_Environment::UseModule(ORVA_Program *main, const char *name)
{
   if (main == nullptr || name == nullptr)
      return 0;

   // Run holds the library's lock while it links, which is when this is called.
   if (m_library != nullptr)
   {
      ORVA_Program *script = m_library->FindScript(name);
      if (script != nullptr)
      {
         main->UseModule(script, name);
         return 1;
      }
   }

   // A name whose file name does not fit cannot name a loadable module.
   char fileName[260];
   int length = snprintf(fileName, sizeof(fileName), "%s.orva", name);
   if (length < 0 || static_cast<size_t>(length) >= sizeof(fileName))
      return 0;

   uint32 size = 0;
   char *text = ORVALoadFile(fileName, &size);
   if (text == nullptr)
      return 0;

   // Compiled without an error buffer: a broken module file only shows as a
   // module that could not be loaded.  A module file has no level of its
   // own: it is compiled at the level of the program that links it.
   int linked = 0;
   ORVA_Program *module = ORVACompile(text, nullptr, 0, main->Language());
   if (module != nullptr)
   {
      main->UseModule(module, name);
      delete module;
      linked = 1;
   }
   free(text);
   return linked;
}
