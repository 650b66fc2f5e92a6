#include "json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orva_cli
{

const Json &Json::operator[](const char *key) const
{
   static const Json none;
   for (auto m = m_members.rbegin(); m != m_members.rend(); ++m)
      if (m->first == key)
         return m->second;
   return none;
}

bool Json::Has(const char *key) const
{
   for (const auto &m : m_members)
      if (m.first == key)
         return true;
   return false;
}

std::string Json::String(const std::string &fallback) const
{
   return m_kind == STRING ? m_text : fallback;
}

int64_t Json::Int(int64_t fallback) const
{
   // Anything a 64-bit integer cannot hold is no integer to the caller.
   if (m_kind != NUMBER || !(m_number >= -9.2e18 && m_number <= 9.2e18))
      return fallback;
   return static_cast<int64_t>(m_number);
}

bool Json::Bool(bool fallback) const
{
   return m_kind == BOOL ? m_bool : fallback;
}

Json &Json::Set(const std::string &key, Json value)
{
   m_kind = OBJECT;
   for (auto &m : m_members)
   {
      if (m.first == key)
      {
         m.second = std::move(value);
         return *this;
      }
   }
   m_members.emplace_back(key, std::move(value));
   return *this;
}

Json &Json::Add(const std::string &key, Json value)
{
   m_kind = OBJECT;
   m_members.emplace_back(key, std::move(value));
   return *this;
}

Json &Json::Push(Json value)
{
   m_kind = ARRAY;
   m_items.push_back(std::move(value));
   return *this;
}

namespace
{

// The length of the valid UTF-8 sequence at s[i], or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not).
size_t Utf8Length(const std::string &s, size_t i)
{
   const unsigned char c = static_cast<unsigned char>(s[i]);
   size_t n;
   uint32_t cp;
   if (c < 0x80)
      return 1;
   if (c >= 0xC2 && c <= 0xDF) { n = 2; cp = c & 0x1F; }
   else if (c >= 0xE0 && c <= 0xEF) { n = 3; cp = c & 0x0F; }
   else if (c >= 0xF0 && c <= 0xF4) { n = 4; cp = c & 0x07; }
   else return 0;
   if (i + n > s.size())
      return 0;
   for (size_t k = 1; k < n; k++)
   {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80)
         return 0;
      cp = (cp << 6) | (d & 0x3F);
   }
   if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
      return 0;
   return n;
}

void AppendUtf8(uint32_t cp, std::string *out)
{
   if (cp < 0x80)
      *out += static_cast<char>(cp);
   else if (cp < 0x800)
   {
      *out += static_cast<char>(0xC0 | (cp >> 6));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
   }
   else if (cp < 0x10000)
   {
      *out += static_cast<char>(0xE0 | (cp >> 12));
      *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
   }
   else
   {
      *out += static_cast<char>(0xF0 | (cp >> 18));
      *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (cp & 0x3F));
   }
}

void WriteNumber(double n, std::string *out)
{
   char buffer[32];
   if (!std::isfinite(n))
      *out += "null";   // JSON has no infinities
   else if (n == std::floor(n) && std::fabs(n) < 9007199254740992.0)
   {
      snprintf(buffer, sizeof(buffer), "%lld", static_cast<long long>(n));
      *out += buffer;
   }
   else
   {
      snprintf(buffer, sizeof(buffer), "%.17g", n);
      *out += buffer;
   }
}

// A recursive-descent reader over the whole text.
class Reader
{
public:
   explicit Reader(const std::string &text) : m_text(text) {}

   bool ReadDocument(Json *out)
   {
      SkipSpace();
      if (!ReadValue(out, 0))
         return false;
      SkipSpace();
      if (m_pos != m_text.size())
         return Fail("unexpected text after the value");
      return true;
   }

   std::string error;

private:
   // Deep enough for any message of the protocol, shallow enough that a
   // hostile "[[[[..." cannot exhaust the stack.
   static const int MAX_DEPTH = 200;

   const std::string &m_text;
   size_t m_pos = 0;

   bool Fail(const char *what)
   {
      if (error.empty())
         error = std::string(what) + " at offset " + std::to_string(m_pos);
      return false;
   }

   bool AtEnd() const { return m_pos >= m_text.size(); }
   char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }

   void SkipSpace()
   {
      while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r'))
         m_pos++;
   }

   bool Literal(const char *word)
   {
      for (size_t k = 0; word[k] != '\0'; k++, m_pos++)
         if (AtEnd() || m_text[m_pos] != word[k])
            return Fail("bad literal");
      return true;
   }

   bool ReadValue(Json *out, int depth)
   {
      if (depth > MAX_DEPTH)
         return Fail("nesting too deep");
      switch (Peek())
      {
         case '{': return ReadObject(out, depth);
         case '[': return ReadArray(out, depth);
         case '"':
         {
            std::string s;
            if (!ReadString(&s))
               return false;
            *out = Json(std::move(s));
            return true;
         }
         case 't': *out = Json(true); return Literal("true");
         case 'f': *out = Json(false); return Literal("false");
         case 'n': *out = Json(); return Literal("null");
         default: return ReadNumber(out);
      }
   }

   bool ReadObject(Json *out, int depth)
   {
      *out = Json::Object();
      m_pos++;
      SkipSpace();
      if (Peek() == '}')
      {
         m_pos++;
         return true;
      }
      for (;;)
      {
         SkipSpace();
         if (Peek() != '"')
            return Fail("expected a member name");
         std::string key;
         if (!ReadString(&key))
            return false;
         SkipSpace();
         if (Peek() != ':')
            return Fail("expected ':'");
         m_pos++;
         SkipSpace();
         Json value;
         if (!ReadValue(&value, depth + 1))
            return false;
         out->Add(key, std::move(value));
         SkipSpace();
         if (Peek() == ',')
         {
            m_pos++;
            continue;
         }
         if (Peek() == '}')
         {
            m_pos++;
            return true;
         }
         return Fail("expected ',' or '}'");
      }
   }

   bool ReadArray(Json *out, int depth)
   {
      *out = Json::Array();
      m_pos++;
      SkipSpace();
      if (Peek() == ']')
      {
         m_pos++;
         return true;
      }
      for (;;)
      {
         SkipSpace();
         Json value;
         if (!ReadValue(&value, depth + 1))
            return false;
         out->Push(std::move(value));
         SkipSpace();
         if (Peek() == ',')
         {
            m_pos++;
            continue;
         }
         if (Peek() == ']')
         {
            m_pos++;
            return true;
         }
         return Fail("expected ',' or ']'");
      }
   }

   bool ReadHex4(uint32_t *cp)
   {
      if (m_pos + 4 > m_text.size())
         return Fail("short \\u escape");
      *cp = 0;
      for (int k = 0; k < 4; k++)
      {
         const char c = m_text[m_pos++];
         uint32_t d;
         if (c >= '0' && c <= '9') d = static_cast<uint32_t>(c - '0');
         else if (c >= 'a' && c <= 'f') d = static_cast<uint32_t>(c - 'a' + 10);
         else if (c >= 'A' && c <= 'F') d = static_cast<uint32_t>(c - 'A' + 10);
         else return Fail("bad \\u escape");
         *cp = (*cp << 4) | d;
      }
      return true;
   }

   bool ReadString(std::string *s)
   {
      m_pos++;   // the opening quote
      for (;;)
      {
         if (AtEnd())
            return Fail("unterminated string");
         const char c = m_text[m_pos];
         if (c == '"')
         {
            m_pos++;
            return true;
         }
         if (static_cast<unsigned char>(c) < 0x20)
            return Fail("control character in string");
         if (c != '\\')
         {
            *s += c;
            m_pos++;
            continue;
         }
         m_pos++;
         if (AtEnd())
            return Fail("unterminated string");
         const char e = m_text[m_pos++];
         switch (e)
         {
            case '"': *s += '"'; break;
            case '\\': *s += '\\'; break;
            case '/': *s += '/'; break;
            case 'b': *s += '\b'; break;
            case 'f': *s += '\f'; break;
            case 'n': *s += '\n'; break;
            case 'r': *s += '\r'; break;
            case 't': *s += '\t'; break;
            case 'u':
            {
               uint32_t cp = 0;
               if (!ReadHex4(&cp))
                  return false;
               if (cp >= 0xD800 && cp <= 0xDBFF && m_text.compare(m_pos, 2, "\\u") == 0)
               {
                  const size_t back = m_pos;
                  m_pos += 2;
                  uint32_t low = 0;
                  if (!ReadHex4(&low))
                     return false;
                  if (low >= 0xDC00 && low <= 0xDFFF)
                     cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                  else
                     m_pos = back;   // the next escape stands on its own
               }
               // A surrogate without its partner has no UTF-8 form.
               if (cp >= 0xD800 && cp <= 0xDFFF)
                  cp = 0xFFFD;
               AppendUtf8(cp, s);
               break;
            }
            default: return Fail("bad escape");
         }
      }
   }

   bool ReadNumber(Json *out)
   {
      const size_t start = m_pos;
      if (Peek() == '-')
         m_pos++;
      if (Peek() == '0')
         m_pos++;
      else if (Peek() >= '1' && Peek() <= '9')
         while (Peek() >= '0' && Peek() <= '9')
            m_pos++;
      else
         return Fail(m_pos == start && AtEnd() ? "unexpected end of text" : "unexpected character");
      if (Peek() == '.')
      {
         m_pos++;
         if (!(Peek() >= '0' && Peek() <= '9'))
            return Fail("bad number");
         while (Peek() >= '0' && Peek() <= '9')
            m_pos++;
      }
      if (Peek() == 'e' || Peek() == 'E')
      {
         m_pos++;
         if (Peek() == '+' || Peek() == '-')
            m_pos++;
         if (!(Peek() >= '0' && Peek() <= '9'))
            return Fail("bad number");
         while (Peek() >= '0' && Peek() <= '9')
            m_pos++;
      }
      *out = Json(strtod(m_text.substr(start, m_pos - start).c_str(), nullptr));
      return true;
   }
};

}

void WriteJsonString(const std::string &s, std::string *out)
{
   *out += '"';
   for (size_t i = 0; i < s.size();)
   {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c == '"' || c == '\\')
      {
         *out += '\\';
         *out += static_cast<char>(c);
         i++;
      }
      else if (c == '\n') { *out += "\\n"; i++; }
      else if (c == '\r') { *out += "\\r"; i++; }
      else if (c == '\t') { *out += "\\t"; i++; }
      else if (c < 0x20 || c == 0x7F)
      {
         char buffer[8];
         snprintf(buffer, sizeof(buffer), "\\u%04x", c);
         *out += buffer;
         i++;
      }
      else
      {
         const size_t n = Utf8Length(s, i);
         if (n == 0)
         {
            *out += "\xEF\xBF\xBD";
            i++;
         }
         else
         {
            out->append(s, i, n);
            i += n;
         }
      }
   }
   *out += '"';
}

void Json::Write(std::string *out) const
{
   switch (m_kind)
   {
      case NUL: *out += "null"; break;
      case BOOL: *out += m_bool ? "true" : "false"; break;
      case NUMBER: WriteNumber(m_number, out); break;
      case STRING: WriteJsonString(m_text, out); break;
      case ARRAY:
         *out += '[';
         for (size_t k = 0; k < m_items.size(); k++)
         {
            if (k > 0)
               *out += ',';
            m_items[k].Write(out);
         }
         *out += ']';
         break;
      case OBJECT:
         *out += '{';
         for (size_t k = 0; k < m_members.size(); k++)
         {
            if (k > 0)
               *out += ',';
            WriteJsonString(m_members[k].first, out);
            *out += ':';
            m_members[k].second.Write(out);
         }
         *out += '}';
         break;
   }
}

std::string Json::Write() const
{
   std::string out;
   Write(&out);
   return out;
}

bool ParseJson(const std::string &text, Json *out, std::string *error)
{
   Reader reader(text);
   if (reader.ReadDocument(out))
      return true;
   if (error != nullptr)
      *error = reader.error;
   return false;
}

}
