#include "runtime/time_class.h"
#include "runtime_test_util.h"

namespace
{
std::unique_ptr<ORVA_Value> GmTime(int32 seconds)
{
   int rc;
   std::unique_ptr<ORVA_Value> v = CallBuiltin("gmtime", { new ORVA_Value(seconds) }, &rc);
   EXPECT_EQ(rc, 0);
   EXPECT_TRUE(v && v->IsObject());
   return v;
}

// The attribute as "type:text", or "none" when the class rejects it.
std::string Attr(ORVA_Value *time, std::string name)
{
   ORVA_Object *object = time->GetValueAsObject();
   std::unique_ptr<ORVA_Value> v(object->Class()->GetAttr(object, &name[0]));
   return v ? std::string(g_orvaTypeNames[v->DataType()]) + ":" + v->GetValueAsCString() : "none";
}

uint32 Users(ORVA_Value *time)
{
   return static_cast<ORVA_TimeData *>(time->GetValueAsObject()->Data())->refs.load();
}
}

TEST(TimeClass, AttributesOfABrokenDownTime)
{
   std::unique_ptr<ORVA_Value> v = GmTime(1700000000);   // Tue 2023-11-14 22:13:20 UTC
   EXPECT_EQ(v->GetValueAsObject()->Class(), &g_orvaTimeClass);
   EXPECT_STREQ(g_orvaTimeClass.Name(), "TIME");
   EXPECT_EQ(static_cast<struct tm *>(v->GetValueAsObject()->Data())->tm_year, 123);   // as hosts read it
   const char *const names[] = { "sec", "min", "hour", "mday", "mon", "year", "yday", "wday", "isdst" };
   const char *const values[] = { "20", "13", "22", "14", "10", "2023", "317", "2", "0" };
   for (int i = 0; i < 9; i++)
   {
      EXPECT_EQ(Attr(v.get(), names[i]), std::string("int32:") + values[i]) << names[i];
      EXPECT_EQ(Attr(v.get(), std::string("tm_") + names[i]), std::string("int32:") + values[i]) << names[i];
   }
   for (const char *unknown : { "YEAR", "tm_zone", "", "yearx" })
      EXPECT_EQ(Attr(v.get(), unknown), "none") << unknown;

   char year[] = "year";
   ORVA_Value newYear(static_cast<int32>(1999));
   EXPECT_EQ(g_orvaTimeClass.SetAttr(v->GetValueAsObject(), year, &newYear), 0);
   EXPECT_EQ(Attr(v.get(), "year"), "int32:2023");

   // The time is read as unsigned 32 bits: -1 is the last second of 2106-02-07 06:28:15.
   std::unique_ptr<ORVA_Value> last = GmTime(-1);
   EXPECT_EQ(Attr(last.get(), "year"), "int32:2106");
   EXPECT_EQ(Attr(last.get(), "hour"), "int32:6");
}

TEST(TimeClass, CopiesShareTheDataAndTheLastOneFreesIt)
{
   std::unique_ptr<ORVA_Value> original = GmTime(0);
   EXPECT_EQ(Users(original.get()), 1u);
   ORVA_Value *copy = new ORVA_Value(original.get());
   ORVA_Value *copyOfCopy = new ORVA_Value(copy);
   EXPECT_EQ(copy->GetValueAsObject()->Data(), original->GetValueAsObject()->Data());

   ORVA_Array *array = new ORVA_Array();
   array->Set(0, new ORVA_Value(original.get()));
   array->Set(5, new ORVA_Value(original.get()));
   ORVA_Value *arrayValue = new ORVA_Value(array);
   EXPECT_EQ(Users(original.get()), 5u);

   delete copy;
   delete arrayValue;
   EXPECT_EQ(Users(original.get()), 2u);
   EXPECT_EQ(Attr(copyOfCopy, "year"), "int32:1970");
   delete copyOfCopy;
   EXPECT_EQ(Users(original.get()), 1u);
   // The original goes last; under ASan a leak or a second free shows here.
}
