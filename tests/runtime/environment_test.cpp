#include "orva.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{
int HostA(int, ORVA_Value **, ORVA_Value **result)
{
   *result = new ORVA_Value(static_cast<int32>(1));
   return 0;
}
int HostB(int, ORVA_Value **, ORVA_Value **)
{
   return ORVA_ERR_INTERNAL;
}
ORVA_ExtFunction Record(const char *name, ORVA_ExtHandler handler, int argc)
{
   ORVA_ExtFunction f;
   memset(&f, 0, sizeof(f));
   strncpy(f.m_name, name, sizeof(f.m_name) - 1);
   f.m_handler = handler;
   f.m_argCount = argc;
   return f;
}
}

TEST(Environment, StartsWithTheTwentyBuiltinsInOrderFoundCaseSensitively)
{
   static const char *const names[] = { "abs", "classof", "d2x", "gmtime", "left", "length", "localtime",
                                        "lower", "max", "min", "pow", "right", "strftime", "substr", "time",
                                        "typeof", "upper", "AddrInRange", "AddrInSubnet", "SecondsToUptime" };
   static const int argCounts[] = { 1, 1, -1, -1, -1, 1, -1, 1, -1, -1, 2, -1, -1, -1, 0, 1, 1, 3, 3, 1 };
   ORVA_Environment env;
   ORVA_ExtFunction *first = env.FindFunction("abs");
   ASSERT_NE(first, nullptr);
   for (int i = 0; i < 20; i++)
   {
      ORVA_ExtFunction *f = env.FindFunction(names[i]);
      ASSERT_NE(f, nullptr) << names[i];
      EXPECT_EQ(f - first, i) << names[i];
      EXPECT_EQ(f->m_argCount, argCounts[i]) << names[i];
   }
   for (const char *missing : { "ABS", "Abs", "ab", "absx", "addrinrange", "" })
      EXPECT_EQ(env.FindFunction(missing), nullptr) << missing;
   EXPECT_EQ(env.FindFunction(nullptr), nullptr);
}

TEST(Environment, HostRecordsFollowTheBuiltinsInRegistrationOrder)
{
   ORVA_Environment env;
   ORVA_ExtFunction *before = env.FindFunction("SecondsToUptime");
   ORVA_ExtFunction unused = Record("zzz", HostA, 0);
   env.RegisterFunctionSet(0, &unused);
   EXPECT_EQ(env.FindFunction("SecondsToUptime"), before);
   EXPECT_EQ(env.FindFunction("zzz"), nullptr);

   ORVA_ExtFunction first[] = { Record("abs", HostA, 1), Record("twice", HostA, 2) };
   ORVA_ExtFunction second[] = { Record("twice", HostB, -1), Record("other", HostB, 0) };
   env.RegisterFunctionSet(2, first);
   env.RegisterFunctionSet(2, second);
   memset(first, 0, sizeof(first));   // the caller's arrays are not referenced afterwards
   memset(second, 0, sizeof(second));

   EXPECT_NE(env.FindFunction("abs")->m_handler, HostA);
   ASSERT_NE(env.FindFunction("twice"), nullptr);
   EXPECT_EQ(env.FindFunction("twice")->m_handler, HostA);
   EXPECT_EQ(env.FindFunction("twice")->m_argCount, 2);
   ASSERT_NE(env.FindFunction("other"), nullptr);
   EXPECT_EQ(env.FindFunction("other")->m_handler, HostB);

   // A name filling all 64 bytes is cut to 63 rather than read past.
   ORVA_ExtFunction full = Record("", HostA, 0);
   memset(full.m_name, 'x', sizeof(full.m_name));
   env.RegisterFunctionSet(1, &full);
   EXPECT_NE(env.FindFunction(std::string(63, 'x').c_str()), nullptr);
   EXPECT_EQ(env.FindFunction(std::string(64, 'x').c_str()), nullptr);
}

// Hundreds of host functions, registered in sets between lookups: every name
// finds its first record, and names of one set shadow nothing registered earlier.
TEST(Environment, ManyHostFunctionsFindTheirFirstRecord)
{
   ORVA_Environment env;
   std::vector<ORVA_ExtFunction> sets[3];
   for (int set = 0; set < 3; set++)
   {
      for (int i = 0; i < 400; i++)
         sets[set].push_back(Record(("f" + std::to_string(set * 200 + i)).c_str(), set == 1 ? HostB : HostA, set));
      env.RegisterFunctionSet(static_cast<uint32>(sets[set].size()), sets[set].data());
      EXPECT_EQ(env.FindFunction(("f" + std::to_string(set * 200 + 399)).c_str())->m_argCount, set);
   }
   for (int n = 0; n < 800; n++)
   {
      ORVA_ExtFunction *found = env.FindFunction(("f" + std::to_string(n)).c_str());
      ASSERT_NE(found, nullptr) << n;
      EXPECT_EQ(found->m_argCount, n < 400 ? 0 : n < 600 ? 1 : 2) << n;
   }
   EXPECT_EQ(env.FindFunction("f800"), nullptr);
   EXPECT_EQ(env.FindFunction("F1"), nullptr);
   EXPECT_NE(env.FindFunction("substr"), nullptr);
}
