/*
 * What print NAME shows at the debugger's prompt: a variable of the paused
 * call, and the elements a path of selectors reaches from it.
 */
#include "debugger.h"

#include <cctype>
#include <cstdlib>

namespace orva_cli
{
namespace
{

/*
 * The element of array a selector names.  A text that reads as a whole
 * number selects that index, as the language reads it; this is the one
 * place that knows how an array is keyed, so keys of another kind are
 * looked up here.
 */
ORVA_Value *ElementOf(ORVA_Array *array, const std::string &key)
{
   char *end = nullptr;
   const long long index = strtoll(key.c_str(), &end, 10);
   if (key.empty() || *end != '\0')
      return nullptr;   // no element has a text key
   for (int32 p = 0; p < array->Size(); p++)
      if (array->IndexAt(p) == index)
         return array->ValueAt(p);
   return nullptr;
}

}

ORVA_Value *ResolvePath(const ORVA_Debugger &debugger, uint32 frame, const std::string &path, std::string *error)
{
   size_t at = 0;
   while (at < path.size() && (isalnum(static_cast<unsigned char>(path[at])) || path[at] == '_' || path[at] == '$'))
      at++;
   const std::string name = path.substr(0, at);
   if (name.empty())
   {
      *error = "print needs a variable name, such as x, a[3] or a[\"k\"].";
      return nullptr;
   }
   ORVA_Value *value = debugger.FindVariable(frame, name.c_str());
   if (value == nullptr)
   {
      *error = "No variable \"" + name + "\" here.";
      return nullptr;
   }
   std::string reached = name;
   while (at < path.size())
   {
      const size_t close = path.find(']', at);
      if (path[at] != '[' || close == std::string::npos)
      {
         *error = "Cannot read \"" + path.substr(at) + "\": write elements as [3] or [\"k\"].";
         return nullptr;
      }
      std::string key = path.substr(at + 1, close - at - 1);
      if (key.size() >= 2 && key.front() == '"' && key.back() == '"')
         key = key.substr(1, key.size() - 2);
      if (!value->IsArray())
      {
         *error = reached + " is not an array.";
         return nullptr;
      }
      ORVA_Value *element = ElementOf(value->GetValueAsArray(), key);
      reached += path.substr(at, close - at + 1);
      if (element == nullptr)
      {
         *error = "No element " + reached + ".";
         return nullptr;
      }
      value = element;
      at = close + 1;
   }
   return value;
}

}
