/*
 * What print NAME shows at the debugger's prompt: a variable of the paused
 * call, and the elements a path of selectors reaches from it, in the
 * prompt's words.
 */
#include "debugger.h"
#include "value_paths.h"

namespace orva_cli
{

ORVA_Value *ResolvePath(const ORVA_Debugger &debugger, uint32 frame, const std::string &path, std::string *error)
{
   const PathResult found =
      ResolvePath(path, [&debugger, frame](const std::string &name) { return debugger.FindVariable(frame, name.c_str()); });
   switch (found.failure)
   {
      case PATH_FOUND: return found.value;
      case PATH_NO_NAME: *error = "print needs a variable name, such as x, a[3] or a[\"k\"]."; break;
      case PATH_SYNTAX: *error = "Cannot read \"" + found.subject + "\": write elements as [3] or [\"k\"]."; break;
      case PATH_NO_VARIABLE: *error = "No variable \"" + found.subject + "\" here."; break;
      case PATH_NOT_ARRAY: *error = found.subject + " is not an array."; break;
      case PATH_NO_ELEMENT: *error = "No element " + found.subject + "."; break;
   }
   return nullptr;
}

}
