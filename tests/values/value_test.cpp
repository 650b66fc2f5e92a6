// Text reading, formatting, conversions, getters and appending of values.
#include "orva.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

namespace
{
using V = std::unique_ptr<ORVA_Value>;

std::string Text(ORVA_Value *v)
{
   uint32 length = 0;
   const char *text = v->GetValueAsString(&length);
   return text ? std::string(text, length) : std::string("<null>");
}

TEST(ValueText, ReadsWholeTextAsNumberAndKeepsIt)
{
   struct { const char *text; int type; int64 number; } cases[] = {
      {"", ORVA_DT_INT32, 0}, {"0x1F", ORVA_DT_INT32, 31}, {"017", ORVA_DT_INT32, 15},
      {" 12", ORVA_DT_INT32, 12}, {"2147483648", ORVA_DT_INT64, 2147483648LL},
      {"-2147483648", ORVA_DT_INT32, INT32_MIN}, {"-2147483649", ORVA_DT_INT64, -2147483649LL},
      {"18446744073709551615", ORVA_DT_INT64, INT64_MAX}, {"1e3", ORVA_DT_REAL, 1000},
      {"12 ", ORVA_DT_STRING, 0}, {"1.5x", ORVA_DT_STRING, 0}, {"  ", ORVA_DT_STRING, 0},
      {"nan", ORVA_DT_STRING, 0}, {"inf", ORVA_DT_STRING, 0}, {"0x1p3", ORVA_DT_STRING, 0}};
   for (auto &c : cases)
   {
      V v(new ORVA_Value(c.text));
      EXPECT_EQ(c.type, v->DataType()) << c.text;
      EXPECT_EQ(c.number, v->GetValueAsInt64()) << c.text;
      EXPECT_EQ(c.text, Text(v.get())) << "text is kept as given";
   }
   V nullText(new ORVA_Value(static_cast<const char *>(nullptr)));
   EXPECT_STREQ("int32", g_orvaTypeNames[nullText->DataType()]);
   EXPECT_EQ("", Text(nullText.get()));

   // An inner zero byte keeps the text from reading as a number.
   V zero(new ORVA_Value("12\0", 3));
   EXPECT_EQ(ORVA_DT_STRING, zero->DataType());
   V copy(new ORVA_Value(zero.get()));
   EXPECT_EQ(std::string("12\0", 3), Text(copy.get()));
   EXPECT_NE(zero->GetValueAsCString(), copy->GetValueAsCString());
}

TEST(ValueText, FormatsNumbersOnDemand)
{
   char huge[400];
   snprintf(huge, sizeof(huge), "%f", 1e300);   // longer than any fixed buffer
   EXPECT_EQ(308u, strlen(huge));
   struct { ORVA_Value *v; std::string text; } cases[] = {
      {new ORVA_Value(1.0), "1.000000"}, {new ORVA_Value(static_cast<int64>(-5)), "-5"},
      {new ORVA_Value(INT64_MIN), "-9223372036854775808"}, {new ORVA_Value(UINT64_MAX), "18446744073709551615"},
      {new ORVA_Value(UINT32_MAX), "4294967295"}, {new ORVA_Value(INT32_MIN), "-2147483648"},
      {new ORVA_Value(-HUGE_VAL), "-inf"}, {new ORVA_Value(1e300), huge}};
   for (auto &c : cases)
   {
      EXPECT_EQ(c.text, Text(c.v));
      delete c.v;
   }

   // Null, object and array values have no text.
   V arrayValue(new ORVA_Value(new ORVA_Array()));
   uint32 length = 99;
   EXPECT_EQ(nullptr, arrayValue->GetValueAsString(&length));
   EXPECT_EQ(0u, length);
   EXPECT_EQ(nullptr, V(new ORVA_Value())->GetValueAsCString());
}

TEST(ValueText, TextCacheFollowsTheNumber)
{
   V v(new ORVA_Value("0x1F"));
   EXPECT_EQ("0x1F", Text(v.get()));
   v->Increment();
   EXPECT_EQ("32", Text(v.get()));

   V same(new ORVA_Value("0x10"));
   EXPECT_EQ(1, same->Convert(ORVA_DT_INT32));
   EXPECT_EQ("0x10", Text(same.get())) << "converting to its own type keeps the text";
   EXPECT_EQ(1, same->Convert(ORVA_DT_INT64));
   EXPECT_EQ("16", Text(same.get()));
   same->Set(7);
   EXPECT_EQ("7", Text(same.get()));
}

TEST(ValueConvert, FollowsTheConversionTable)
{
   V v(new ORVA_Value(-2.7));
   EXPECT_EQ(1, v->Convert(ORVA_DT_INT32));
   EXPECT_EQ(-2, v->GetValueAsInt32());
   V big(new ORVA_Value(3.0e9)), bigU(new ORVA_Value(3.0e9));
   EXPECT_EQ(1, big->Convert(ORVA_DT_INT32));
   EXPECT_EQ(static_cast<int32>(3000000000u), big->GetValueAsInt32());
   EXPECT_EQ(1, bigU->Convert(ORVA_DT_UINT32));
   EXPECT_EQ(3000000000u, bigU->GetValueAsUInt32());

   // Reals without a 64-bit integer value truncate to the top bit alone.
   for (double d : {1e300, -1e300, static_cast<double>(NAN), HUGE_VAL, 9223372036854775808.0})
   {
      V r(new ORVA_Value(d));
      EXPECT_EQ(INT64_MIN, r->GetValueAsInt64()) << d;
      EXPECT_EQ(1, r->Convert(ORVA_DT_INT64));
      EXPECT_EQ(INT64_MIN, r->GetValueAsInt64());
   }

   V minus(new ORVA_Value(-1));
   EXPECT_EQ(1, minus->Convert(ORVA_DT_UINT64));
   EXPECT_EQ(UINT64_MAX, minus->GetValueAsUInt64());
   EXPECT_EQ(-1.0, minus->GetValueAsReal()) << "uint64 reads as signed for reals";
   for (int refused : {int(ORVA_DT_REAL), int(ORVA_DT_STRING), int(ORVA_DT_NULL), 9})
      EXPECT_EQ(0, minus->Convert(refused));
   EXPECT_EQ(ORVA_DT_UINT64, minus->DataType());

   V bits(new ORVA_Value(-1));
   EXPECT_EQ(1, bits->Convert(ORVA_DT_UINT32));
   EXPECT_EQ(4294967295u, bits->GetValueAsUInt32());
   EXPECT_EQ(1, bits->Convert(ORVA_DT_INT64));
   EXPECT_EQ(4294967295LL, bits->GetValueAsInt64()) << "uint32 zero-extends";

   V text(new ORVA_Value("abc"));
   EXPECT_EQ(0.0, text->GetValueAsReal());
   EXPECT_EQ(1, text->Convert(ORVA_DT_INT32));
   EXPECT_EQ(0, text->GetValueAsInt32());

   // Replacing an array or object releases it (the sanitizer build checks).
   V keeper(new ORVA_Value(new ORVA_Array()));
   V other(new ORVA_Value(keeper.get()));
   EXPECT_EQ(1, other->Convert(ORVA_DT_INT32));
   keeper->Set(1);
   ORVA_Class cls;
   V object(new ORVA_Value(new ORVA_Object(&cls, nullptr)));
   EXPECT_EQ(1, object->Convert(ORVA_DT_REAL));
   EXPECT_EQ(nullptr, object->GetValueAsObject());
}

TEST(ValueConcatenate, AppendsAndReadsTheResult)
{
   V five(new ORVA_Value(5));
   five->Concatenate("3", 1);
   EXPECT_EQ(ORVA_DT_INT32, five->DataType());
   EXPECT_EQ(53, five->GetValueAsInt32());
   EXPECT_EQ("53", Text(five.get()));
   five->Concatenate("x", 1);
   EXPECT_EQ(ORVA_DT_STRING, five->DataType());
   EXPECT_EQ("53x", Text(five.get()));
   five->Concatenate(five->GetValueAsCString(), 3);   // its own text
   EXPECT_EQ("53x53x", Text(five.get()));

   V arrayValue(new ORVA_Value(new ORVA_Array()));
   arrayValue->Concatenate("7", 1);
   EXPECT_EQ(ORVA_DT_INT32, arrayValue->DataType());
   EXPECT_EQ(7, arrayValue->GetValueAsInt32());
   ORVA_Class cls;
   V object(new ORVA_Value(new ORVA_Object(&cls, nullptr)));
   object->Concatenate("x", 1);
   EXPECT_EQ(ORVA_DT_STRING, object->DataType());
   EXPECT_EQ("x", Text(object.get()));
   V null(new ORVA_Value());
   null->Concatenate(nullptr, 0);
   EXPECT_EQ(ORVA_DT_INT32, null->DataType()) << "the empty text reads as 0";
}
}   // namespace
