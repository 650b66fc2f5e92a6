/*
 * A small JSON value with a reader and a writer, for the debug adapter's
 * messages.  The reader takes text from a peer it cannot trust: it never
 * reads past its input, bounds the nesting, and says what is wrong instead
 * of failing hard.
 */
#ifndef ORVA_CLI_JSON_H
#define ORVA_CLI_JSON_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orva_cli
{

class Json
{
public:
   enum Kind { NUL, BOOL, NUMBER, STRING, ARRAY, OBJECT };

   Json() = default;
   Json(bool b) : m_kind(BOOL), m_bool(b) {}
   Json(int n) : m_kind(NUMBER), m_number(n) {}
   Json(int64_t n) : m_kind(NUMBER), m_number(static_cast<double>(n)) {}
   Json(double n) : m_kind(NUMBER), m_number(n) {}
   Json(const char *s) : m_kind(STRING), m_text(s) {}
   Json(std::string s) : m_kind(STRING), m_text(std::move(s)) {}

   static Json Object() { Json j; j.m_kind = OBJECT; return j; }
   static Json Array() { Json j; j.m_kind = ARRAY; return j; }

   Kind GetKind() const { return m_kind; }
   bool IsNull() const { return m_kind == NUL; }
   bool IsObject() const { return m_kind == OBJECT; }
   bool IsArray() const { return m_kind == ARRAY; }
   bool IsString() const { return m_kind == STRING; }
   bool IsNumber() const { return m_kind == NUMBER; }

   // The member named key; a null value when there is none or this is no
   // object, so that lookups chain without checks.
   const Json &operator[](const char *key) const;
   bool Has(const char *key) const;

   // The value as the type asked for, or fallback when it is another type.
   std::string String(const std::string &fallback = "") const;
   int64_t Int(int64_t fallback = 0) const;
   bool Bool(bool fallback = false) const;

   // Arrays: their elements; objects: their members, in the order read.
   const std::vector<Json> &Items() const { return m_items; }
   const std::vector<std::pair<std::string, Json>> &Members() const { return m_members; }

   // Builders: Set replaces a member of the same name; Add appends one
   // without looking (the reader's way, where the last of two names wins);
   // Push appends an element.
   Json &Set(const std::string &key, Json value);
   Json &Add(const std::string &key, Json value);
   Json &Push(Json value);

   // Compact JSON text.  Text that is not valid UTF-8 (scripts print any
   // bytes) is written with U+FFFD in place of each bad byte.
   std::string Write() const;
   void Write(std::string *out) const;

private:
   Kind m_kind = NUL;
   bool m_bool = false;
   double m_number = 0;
   std::string m_text;
   std::vector<Json> m_items;
   std::vector<std::pair<std::string, Json>> m_members;
};

// Reads one JSON value that fills text (white space around it allowed).
// false, with a short description of the fault in *error, for anything else.
bool ParseJson(const std::string &text, Json *out, std::string *error);

// Appends s as a quoted JSON string.
void WriteJsonString(const std::string &s, std::string *out);

}

#endif
