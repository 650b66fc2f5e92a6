#include "dap_values.h"

#include "cli.h"
#include "value_paths.h"

#include <cstdio>
#include <cstdlib>

namespace orva_cli
{

namespace
{

// Long enough to tell values apart in a variables view, short enough that
// a large array does not flood the editor; opening it shows the rest.
const size_t DISPLAY_LIMIT = 200;

std::string Quoted(const char *text, uint32 length)
{
   std::string out = "\"";
   for (uint32 k = 0; k < length && out.size() < DISPLAY_LIMIT; k++)
   {
      const char c = text[k];
      switch (c)
      {
         case '"': out += "\\\""; break;
         case '\\': out += "\\\\"; break;
         case '\n': out += "\\n"; break;
         case '\t': out += "\\t"; break;
         case '\r': out += "\\r"; break;
         default: out += c; break;
      }
   }
   if (out.size() >= DISPLAY_LIMIT)
      return out + "...\"";
   return out + "\"";
}

}

std::string DapValues::TypeName(ORVA_Value *value)
{
   const int type = value != nullptr ? value->DataType() : ORVA_DT_NULL;
   return type >= 0 && type < 9 ? g_orvaTypeNames[type] : "unknown";
}

std::string DapValues::Display(ORVA_Value *value)
{
   if (value == nullptr || value->IsNull())
      return "null";
   if (value->DataType() == ORVA_DT_STRING)
   {
      uint32 length = 0;
      const char *text = value->GetValueAsString(&length);
      return Quoted(text != nullptr ? text : "", length);
   }
   // Numbers, arrays and objects as the command prints them, which already
   // guards against arrays that hold themselves.
   char *buffer = nullptr;
   size_t size = 0;
   FILE *stream = open_memstream(&buffer, &size);
   if (stream == nullptr)
      return "?";
   WriteValue(stream, value);
   fclose(stream);
   std::string text(buffer, size);
   free(buffer);
   if (text.size() > DISPLAY_LIMIT)
      text = text.substr(0, DISPLAY_LIMIT) + "...";
   ORVA_Array *array = value->IsArray() ? value->GetValueAsArray() : nullptr;
   if (array != nullptr)
      text = "array(" + std::to_string(array->Size() + array->TextCount()) + ") " + text;
   return text;
}

int DapValues::AddScope(std::function<NamedValues()> list)
{
   Entry e;
   e.scope = std::move(list);
   m_entries.push_back(std::move(e));
   return static_cast<int>(m_entries.size());
}

int DapValues::ArrayHandle(ORVA_Array *array)
{
   auto found = m_arrays.find(array);
   if (found != m_arrays.end())
      return found->second;
   Entry e;
   e.array = array;
   m_entries.push_back(std::move(e));
   const int handle = static_cast<int>(m_entries.size());
   m_arrays[array] = handle;
   return handle;
}

Json DapValues::Variable(const std::string &name, ORVA_Value *value)
{
   Json v = Json::Object();
   v.Set("name", name);
   v.Set("value", Display(value));
   v.Set("type", TypeName(value));
   ORVA_Array *array = value != nullptr && value->IsArray() ? value->GetValueAsArray() : nullptr;
   if (array != nullptr && array->Size() + array->TextCount() > 0)
   {
      v.Set("variablesReference", Json(ArrayHandle(array)));
      v.Set("indexedVariables", Json(array->Size()));
      if (array->TextCount() > 0)
         v.Set("namedVariables", Json(array->TextCount()));
   }
   else
      v.Set("variablesReference", Json(0));
   return v;
}

DapPage PageOf(const Json &args, const char *startKey, const char *countKey, int64_t total)
{
   DapPage page{args[startKey].Int(0), args[countKey].Int(0)};
   if (page.start < 0 || page.start > total)
      page.start = total;
   if (page.count <= 0 || page.count > total - page.start)
      page.count = total - page.start;
   return page;
}

bool DapValues::Children(const Json &args, Json *list)
{
   const int64_t handle = args["variablesReference"].Int();
   if (handle < 1 || handle > static_cast<int64_t>(m_entries.size()))
      return false;
   *list = Json::Array();
   // Copied: Variable may add entries, which moves the vector.
   Entry entry = m_entries[static_cast<size_t>(handle - 1)];
   if (entry.scope)
   {
      for (const auto &named : entry.scope())
         list->Push(Variable(named.first, named.second));
      return true;
   }
   // An array's integer keys are its indexed children (paged by start and
   // count), its text keys its named ones; an editor that asks for neither
   // kind and no page gets both, in the order a level-2 for loop walks them.
   const std::string filter = args["filter"].String();
   if (filter != "named")
   {
      const DapPage page = PageOf(args, "start", "count", entry.array->Size());
      for (int64_t k = page.start; k < page.start + page.count; k++)
      {
         const int32 position = static_cast<int32>(k);
         list->Push(Variable("[" + std::to_string(entry.array->IndexAt(position)) + "]",
                             entry.array->ValueAt(position)));
      }
   }
   if (filter == "named" || (filter.empty() && !args.Has("start")))
   {
      for (int32 k = 0; k < entry.array->TextCount(); k++)
      {
         uint32 length = 0;
         const char *key = entry.array->TextKeyAt(k, &length);
         list->Push(Variable("[" + Quoted(key, length) + "]", entry.array->TextValueAt(k)));
      }
   }
   return true;
}

void DapValues::Forget()
{
   m_entries.clear();
   m_arrays.clear();
}

bool EvaluatePath(const std::string &path, const std::function<ORVA_Value *(const std::string &)> &find,
                  ORVA_Value **out, std::string *error)
{
   const PathResult found = ResolvePath(path, find);
   switch (found.failure)
   {
      case PATH_FOUND: *out = found.value; return true;
      case PATH_NO_NAME:
      case PATH_SYNTAX: *error = "only names and elements such as a[3] or a[\"k\"] can be shown"; break;
      case PATH_NO_VARIABLE: *error = "no variable '" + found.subject + "' here"; break;
      case PATH_NOT_ARRAY: *error = found.subject + " is not an array"; break;
      case PATH_NO_ELEMENT: *error = found.subject + " has no element"; break;
   }
   return false;
}

}
