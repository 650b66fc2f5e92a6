/*
 * ORVARegisterExtensions: appends the chosen sets of extension functions to
 * an environment, in the order text, numbers, arrays, input and output.
 */
#include "ext/ext.h"

extern "C" int ORVARegisterExtensions(ORVA_Environment *env, uint32 sets)
{
   using namespace orva_ext;
   const uint32 known = ORVA_EXT_PURE | ORVA_EXT_IO;
   if (env == nullptr || (sets & ~known) != 0)
      return 0;

   struct Set
   {
      uint32 flag;
      const ORVA_ExtFunction *functions;
      uint32 count;
   };
   const Set table[] = {
      {ORVA_EXT_TEXT, g_textFunctions, g_textFunctionCount},
      {ORVA_EXT_MATH, g_mathFunctions, g_mathFunctionCount},
      {ORVA_EXT_ARRAYS, g_arrayFunctions, g_arrayFunctionCount},
      {ORVA_EXT_IO, g_ioFunctions, g_ioFunctionCount},
   };
   // The environment copies the records; the tables stay as they are.
   for (const Set &set : table)
      if ((sets & set.flag) != 0)
         env->RegisterFunctionSet(set.count, const_cast<ORVA_ExtFunction *>(set.functions));
   return 1;
}
