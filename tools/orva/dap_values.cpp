#include "dap_values.h"

#include "cli.h"

#include <cctype>
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
   if (value->IsArray() && value->GetValueAsArray() != nullptr)
      text = "array(" + std::to_string(value->GetValueAsArray()->Size()) + ") " + text;
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
   if (array != nullptr && array->Size() > 0)
   {
      v.Set("variablesReference", Json(ArrayHandle(array)));
      v.Set("indexedVariables", Json(array->Size()));
   }
   else
      v.Set("variablesReference", Json(0));
   return v;
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
   if (args["filter"].String() == "named")
      return true;   // arrays have indexed children only
   const int32 size = entry.array->Size();
   int64_t start = args["start"].Int(0);
   int64_t count = args["count"].Int(0);
   if (start < 0 || start > size)
      start = size;
   if (count <= 0 || count > size - start)
      count = size - start;
   for (int64_t k = start; k < start + count; k++)
   {
      const int32 position = static_cast<int32>(k);
      list->Push(Variable("[" + std::to_string(entry.array->IndexAt(position)) + "]",
                          entry.array->ValueAt(position)));
   }
   return true;
}

void DapValues::Forget()
{
   m_entries.clear();
   m_arrays.clear();
}

namespace
{

struct PathReader
{
   explicit PathReader(const std::string &t) : text(t) {}

   const std::string &text;
   size_t pos = 0;
   std::string error;

   void SkipSpace()
   {
      while (pos < text.size() && isspace(static_cast<unsigned char>(text[pos])))
         pos++;
   }

   bool Name(std::string *name)
   {
      SkipSpace();
      const size_t start = pos;
      // $1..$9 are names a user may ask for as well.
      if (pos < text.size() && text[pos] == '$')
         pos++;
      while (pos < text.size() && (isalnum(static_cast<unsigned char>(text[pos])) || text[pos] == '_' ||
                                   (text[pos] == ':' && pos + 1 < text.size() && text[pos + 1] == ':')))
         pos += text[pos] == ':' ? 2 : 1;
      if (pos == start || isdigit(static_cast<unsigned char>(text[start])))
      {
         error = "only names and elements such as a[3] or a[\"3\"] can be shown";
         return false;
      }
      name->assign(text, start, pos - start);
      return true;
   }

   // An index: a whole number, or quoted text that reads as one.
   bool Index(int32 *index)
   {
      SkipSpace();
      std::string digits;
      if (pos < text.size() && (text[pos] == '"' || text[pos] == '\''))
      {
         const char quote = text[pos++];
         const size_t end = text.find(quote, pos);
         if (end == std::string::npos)
         {
            error = "unterminated text in the index";
            return false;
         }
         digits.assign(text, pos, end - pos);
         pos = end + 1;
      }
      else
      {
         const size_t start = pos;
         if (pos < text.size() && text[pos] == '-')
            pos++;
         while (pos < text.size() && isdigit(static_cast<unsigned char>(text[pos])))
            pos++;
         digits.assign(text, start, pos - start);
      }
      char *end = nullptr;
      const long long n = strtoll(digits.c_str(), &end, 10);
      if (digits.empty() || *end != '\0' || n < INT32_MIN || n > INT32_MAX)
      {
         error = "Array index is not an integer";
         return false;
      }
      *index = static_cast<int32>(n);
      SkipSpace();
      if (pos >= text.size() || text[pos] != ']')
      {
         error = "expected ']'";
         return false;
      }
      pos++;
      return true;
   }
};

}

bool ResolvePath(const std::string &path, const std::function<ORVA_Value *(const std::string &)> &find,
                 ORVA_Value **out, std::string *error)
{
   PathReader reader(path);
   std::string name;
   if (!reader.Name(&name))
   {
      *error = reader.error;
      return false;
   }
   ORVA_Value *value = find(name);
   if (value == nullptr)
   {
      *error = "no variable '" + name + "' here";
      return false;
   }
   std::string walked = name;
   for (;;)
   {
      reader.SkipSpace();
      if (reader.pos >= path.size())
         break;
      if (path[reader.pos] != '[')
      {
         *error = "only names and elements such as a[3] or a[\"3\"] can be shown";
         return false;
      }
      reader.pos++;
      int32 index = 0;
      if (!reader.Index(&index))
      {
         *error = reader.error;
         return false;
      }
      if (!value->IsArray() || value->GetValueAsArray() == nullptr)
      {
         *error = walked + " is not an array";
         return false;
      }
      ORVA_Value *element = value->GetValueAsArray()->Get(index);
      walked += "[" + std::to_string(index) + "]";
      if (element == nullptr)
      {
         *error = walked + " has no element";
         return false;
      }
      value = element;
   }
   *out = value;
   return true;
}

}
