#include "value_paths.h"

#include <cctype>
#include <cstdlib>

namespace orva_cli
{
namespace
{

bool IsNameCharacter(const std::string &text, size_t at)
{
   const unsigned char c = static_cast<unsigned char>(text[at]);
   return isalnum(c) || c == '_' || (c == ':' && at + 1 < text.size() && text[at + 1] == ':');
}

void SkipSpace(const std::string &text, size_t *at)
{
   while (*at < text.size() && isspace(static_cast<unsigned char>(text[*at])))
      (*at)++;
}

// Reads "[KEY]" from at; the key is a quoted text or a whole number.
bool ReadSelector(const std::string &text, size_t *at, std::string *key, bool *quoted)
{
   size_t pos = *at;
   if (pos >= text.size() || text[pos] != '[')
      return false;
   pos++;
   SkipSpace(text, &pos);
   *quoted = pos < text.size() && (text[pos] == '"' || text[pos] == '\'');
   if (*quoted)
   {
      const char quote = text[pos++];
      const size_t end = text.find(quote, pos);
      if (end == std::string::npos)
         return false;
      key->assign(text, pos, end - pos);
      pos = end + 1;
   }
   else
   {
      const size_t start = pos;
      if (pos < text.size() && text[pos] == '-')
         pos++;
      while (pos < text.size() && isdigit(static_cast<unsigned char>(text[pos])))
         pos++;
      key->assign(text, start, pos - start);
      char *end = nullptr;
      const long long n = strtoll(key->c_str(), &end, 10);
      if (key->empty() || *end != '\0' || n < INT32_MIN || n > INT32_MAX)
         return false;
      *key = std::to_string(n);   // -007 is the element -7
   }
   SkipSpace(text, &pos);
   if (pos >= text.size() || text[pos] != ']')
      return false;
   *at = pos + 1;
   return true;
}

}

PathResult ResolvePath(const std::string &path, const std::function<ORVA_Value *(const std::string &)> &find)
{
   PathResult result;
   size_t at = 0;
   SkipSpace(path, &at);
   const size_t start = at;
   if (at < path.size() && path[at] == '$')   // $1..$9 are names a person may ask for too
      at++;
   while (at < path.size() && IsNameCharacter(path, at))
      at += path[at] == ':' ? 2 : 1;
   if (at == start || isdigit(static_cast<unsigned char>(path[start])))
   {
      result.failure = PATH_NO_NAME;
      return result;
   }
   result.subject = path.substr(start, at - start);
   ORVA_Value *value = find(result.subject);
   if (value == nullptr)
   {
      result.failure = PATH_NO_VARIABLE;
      return result;
   }
   for (;;)
   {
      SkipSpace(path, &at);
      if (at >= path.size())
         break;
      std::string key;
      bool quoted = false;
      if (!ReadSelector(path, &at, &key, &quoted))
      {
         result.failure = PATH_SYNTAX;
         result.subject = path.substr(at);
         return result;
      }
      ORVA_Array *array = value->IsArray() ? value->GetValueAsArray() : nullptr;
      if (array == nullptr)
      {
         result.failure = PATH_NOT_ARRAY;
         return result;
      }
      result.subject += quoted ? "[\"" + key + "\"]" : "[" + key + "]";
      value = array->GetText(key.data(), static_cast<uint32>(key.size()));
      if (value == nullptr)
      {
         result.failure = PATH_NO_ELEMENT;
         return result;
      }
   }
   result.value = value;
   return result;
}

}
