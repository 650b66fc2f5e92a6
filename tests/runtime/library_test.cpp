#include "orva.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// Script i of a listing as "id:name".
std::string Listed(const ZRQPMessage &msg, uint32 i)
{
   const char *name = msg.GetFieldAsString(FIELD_SCRIPT_LIST_BASE + 2 * i + 1);
   return std::to_string(msg.GetFieldAsUInt32(FIELD_SCRIPT_LIST_BASE + 2 * i)) + ":" + (name ? name : "<none>");
}
}

TEST(Message, TypedFieldsReplacedById)
{
   ZRQPMessage msg;
   // Nothing set, or only a type it does not carry: an empty message.
   msg.Set(5, 7, "x", 0);
   EXPECT_EQ(msg.FieldCount(), 0u);
   EXPECT_FALSE(msg.IsFieldSet(5));
   EXPECT_EQ(msg.GetFieldAsUInt32(5), 0u);
   EXPECT_EQ(msg.GetFieldAsString(5), nullptr);

   uint32 n = 42;
   msg.Set(7, FIELD_TYPE_INTEGER, &n, 0);
   msg.Set(3, FIELD_TYPE_STRING, "three", 0);
   EXPECT_EQ(msg.FieldCount(), 2u);
   EXPECT_TRUE(msg.IsFieldSet(7));
   EXPECT_FALSE(msg.IsFieldSet(4));
   EXPECT_EQ(msg.GetFieldAsUInt32(7), 42u);
   EXPECT_STREQ(msg.GetFieldAsString(3), "three");
   EXPECT_EQ(msg.GetFieldAsString(7), nullptr);
   EXPECT_EQ(msg.GetFieldAsUInt32(99), 0u);

   // Replacing a text by a number and back frees what it replaced (ASan).
   n = 9;
   msg.Set(3, FIELD_TYPE_INTEGER, &n, 0);
   msg.Set(7, FIELD_TYPE_STRING, "seven", 0);
   EXPECT_EQ(msg.FieldCount(), 2u);
   EXPECT_EQ(msg.GetFieldAsUInt32(3), 9u);
   EXPECT_STREQ(msg.GetFieldAsString(7), "seven");
}

TEST(Library, NamesAreUniqueWithoutRegardToCaseIdsAreNot)
{
   ORVA_Library lib;
   ORVA_Program *alpha = new ORVA_Program(), *refused = new ORVA_Program(), *second = new ORVA_Program();
   EXPECT_EQ(lib.AddScript(5, "Alpha", alpha), 1);
   EXPECT_EQ(lib.AddScript(6, "ALPHA", refused), 0);
   delete refused;   // a refused program stays the caller's
   EXPECT_EQ(lib.AddScript(5, "beta", second), 1);
   EXPECT_EQ(lib.FindScript("aLpHa"), alpha);
   EXPECT_EQ(lib.FindScript("Alph"), nullptr);

   lib.DeleteScript("missing");
   lib.DeleteScript(99u);
   EXPECT_EQ(lib.ScriptCount(), 2u);
   lib.DeleteScript(5u);   // the first with that id only
   EXPECT_EQ(lib.FindScript("alpha"), nullptr);
   EXPECT_EQ(lib.FindScript("BETA"), second);
   lib.DeleteScript("Beta");
   EXPECT_EQ(lib.ScriptCount(), 0u);
}

TEST(Library, FillMessageListsScriptsInOrderIncludingNullPrograms)
{
   ORVA_Library lib;
   ZRQPMessage empty;
   lib.FillMessage(&empty);
   EXPECT_EQ(empty.FieldCount(), 1u);
   EXPECT_TRUE(empty.IsFieldSet(FIELD_SCRIPT_COUNT));
   EXPECT_EQ(empty.GetFieldAsUInt32(FIELD_SCRIPT_COUNT), 0u);

   ASSERT_EQ(lib.AddScript(10, "one", new ORVA_Program()), 1);
   ASSERT_EQ(lib.AddScript(20, "placeholder", nullptr), 1);
   ASSERT_EQ(lib.AddScript(30, "three", new ORVA_Program()), 1);
   EXPECT_EQ(lib.FindScript("placeholder"), nullptr);

   ZRQPMessage msg;
   lib.FillMessage(&msg);
   EXPECT_EQ(msg.FieldCount(), 7u);
   EXPECT_EQ(msg.GetFieldAsUInt32(FIELD_SCRIPT_COUNT), 3u);
   EXPECT_EQ(Listed(msg, 0) + " " + Listed(msg, 1) + " " + Listed(msg, 2), "10:one 20:placeholder 30:three");

   // Later scripts move down one place; the message is not cleared, so the
   // old last pair stays in it.
   lib.DeleteScript("ONE");
   lib.FillMessage(&msg);
   EXPECT_EQ(msg.GetFieldAsUInt32(FIELD_SCRIPT_COUNT), 2u);
   EXPECT_EQ(Listed(msg, 0) + " " + Listed(msg, 1), "20:placeholder 30:three");
   EXPECT_EQ(msg.FieldCount(), 7u);

   lib.DeleteScript(20u);   // a null program goes as well
   ZRQPMessage fresh;
   lib.FillMessage(&fresh);
   EXPECT_EQ(fresh.FieldCount(), 3u);
   EXPECT_EQ(Listed(fresh, 0), "30:three");
}
