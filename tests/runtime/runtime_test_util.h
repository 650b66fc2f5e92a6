// Calls built-ins the way the interpreter does: by name through an environment.
#ifndef ORVA_RUNTIME_TEST_UTIL_H
#define ORVA_RUNTIME_TEST_UTIL_H

#include "orva.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

// Calls the built-in with the values (taken over) and hands back its result,
// or null with *rc set to the error code.
inline std::unique_ptr<ORVA_Value> CallBuiltin(const char *name, std::initializer_list<ORVA_Value *> args,
                                               int *rc = nullptr)
{
   std::vector<ORVA_Value *> argv(args);
   ORVA_Environment env;
   ORVA_ExtFunction *f = env.FindFunction(name);
   EXPECT_NE(f, nullptr) << name;
   ORVA_Value *out = nullptr;
   int code = f ? f->m_handler(static_cast<int>(argv.size()), argv.data(), &out) : -1;
   if (code != 0)
   {
      EXPECT_EQ(out, nullptr) << name << " stored a result although it failed";
   }
   for (ORVA_Value *v : argv)
      delete v;
   if (rc != nullptr)
      *rc = code;
   return std::unique_ptr<ORVA_Value>(out);
}

// The outcome in one text: "type:text" of the result, or "!code".
inline std::string Call(const char *name, std::initializer_list<ORVA_Value *> args)
{
   int rc;
   std::unique_ptr<ORVA_Value> result = CallBuiltin(name, args, &rc);
   if (rc != 0)
      return "!" + std::to_string(rc);
   if (!result)
      return "<no result>";
   uint32 length;
   const char *text = result->GetValueAsString(&length);
   return std::string(g_orvaTypeNames[result->DataType()]) + ":" + (text ? std::string(text, length) : "");
}

inline ORVA_Value *I32(int32 n) { return new ORVA_Value(n); }
inline ORVA_Value *U32(uint32 n) { return new ORVA_Value(n); }
inline ORVA_Value *I64(int64 n) { return new ORVA_Value(n); }
inline ORVA_Value *U64(uint64 n) { return new ORVA_Value(n); }
inline ORVA_Value *Real(double d) { return new ORVA_Value(d); }
inline ORVA_Value *Text(const char *s) { return new ORVA_Value(s); }
inline ORVA_Value *Null() { return new ORVA_Value(); }
inline ORVA_Value *NewArray() { return new ORVA_Value(new ORVA_Array()); }

#endif
