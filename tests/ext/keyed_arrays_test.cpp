// The extension functions over keyed arrays (keys, haskey, remove) and what
// count, join, sort and split do with text keys, in scripts of level 1:
// the host hands them arrays with text keys through a global variable.
#include "orva.h"
#include "ext_script.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{

// A host array: integer keys 2 and 1, then text keys "b", "007", "a".
ORVA_Array *Mixed()
{
   ORVA_Array *array = new ORVA_Array();
   array->SetText("b", 1, new ORVA_Value("B"));
   array->Set(2, new ORVA_Value("two"));
   array->SetText("007", 3, new ORVA_Value("bond"));
   array->Set(1, new ORVA_Value("one"));
   array->SetText("a", 1, new ORVA_Value("A"));
   return array;
}

// Runs "sub main() { BODY }" with the pure extensions and the global h
// holding array (null when none).
std::string RunKeyed(const std::string &body, ORVA_Array *array = nullptr, uint64 instructions = 0)
{
   return RunExtScript(body, ORVA_EXT_PURE, (array != nullptr) ? new ORVA_Value(array) : new ORVA_Value(),
                       instructions);
}

}

// Level-1 scripts use the functions with integer keys, and with texts
// under the same key rule as level 2.
TEST(ExtKeyed, KeysHaskeyRemoveWithIntegerKeys)
{
   EXPECT_EQ(RunKeyed("array a; a[3] = 1; a[-1] = 2; a[1000] = 3; a[4] = NULL;\n"
                 "println join(keys(a), \",\") . \" \" . haskey(a, 3) . haskey(a, \"3\") . haskey(a, 4) . haskey(a, 5);\n"
                 "println remove(a, 3) . remove(a, 3) . remove(a, 4) . \" \" . join(keys(a), \",\") . \" \" . count(a);"),
             "-1,3,1000 1100\n100 -1,1000 2\n");
   // The element removed inside a run reads as missing, and can come back.
   EXPECT_EQ(RunKeyed("array a; i = 1; while (i <= 5) { a[i] = i; i++; }\n"
                 "remove(a, 3); println join(keys(a), \",\") . \" \" . typeof(a[3]);\n"
                 "a[3] = 9; remove(a, 5); remove(a, 1); a[6] = 6; println join(a, \",\");"),
             "1,2,4,5 null\n2,9,4,6\n");
   // keys() is a new array: changing it leaves the original alone.
   EXPECT_EQ(RunKeyed("array a, k; a[1] = 5; k = keys(a); k[1] = 7; println a[1] . count(keys(k));"), "51\n");
   // Texts that read as numbers but are not canonical are other elements.
   EXPECT_EQ(RunKeyed("array a; a[7] = 1; println haskey(a, \"007\") . haskey(a, \"7\") . haskey(a, 7.0) . remove(a, \"+7\");"),
             "0100\n");
}

TEST(ExtKeyed, ArgumentsThatAreNotArraysOrKeysStopTheRun)
{
   EXPECT_EQ(RunKeyed("println keys(5);"), "!Error 24 in line 2: Attempt to use array element access operation on non-array");
   EXPECT_EQ(RunKeyed("println haskey(\"a\", 1);"), "!Error 24 in line 2: Attempt to use array element access operation on non-array");
   EXPECT_EQ(RunKeyed("array a; println haskey(a, NULL);"), "!Error 23 in line 2: Array index is not an integer");
   EXPECT_EQ(RunKeyed("array a, b; println remove(a, b);"), "!Error 23 in line 2: Array index is not an integer");
}

// Text keys walk after the integer keys, in the order they were first stored.
TEST(ExtKeyed, TextKeysFromAHostWalkInOrder)
{
   EXPECT_EQ(RunKeyed("println join(keys(h), \",\") . \" \" . join(h, \",\") . \" \" . count(h);", Mixed()),
             "1,2,b,007,a one,two,B,bond,A 5\n");
   EXPECT_EQ(RunKeyed("println haskey(h, \"007\") . haskey(h, 7) . haskey(h, \"b\") . remove(h, \"b\") . haskey(h, \"b\");\n"
                 "println join(keys(h), \",\");",
                 Mixed()),
             "10110\n1,2,007,a\n");
   // A key taken from keys() finds its element again.
   EXPECT_EQ(RunKeyed("array k; k = keys(h); i = 1; n = 0;\n"
                 "while (i <= count(k)) { n = n + haskey(h, k[i]); i++; } println n;",
                 Mixed()),
             "5\n");
}

// sort takes the values of every element, text-keyed ones too, into 1..n;
// split leaves only its pieces; both drop the text keys.
TEST(ExtKeyed, SortAndSplitLeaveOnlyTheirRun)
{
   EXPECT_EQ(RunKeyed("println sort(h) . \" \" . join(keys(h), \",\") . \" \" . join(h, \",\");", Mixed()),
             "5 1,2,3,4,5 A,B,bond,one,two\n");
   EXPECT_EQ(RunKeyed("println split(\"x,y\", \",\", h) . \" \" . join(keys(h), \",\") . \" \" . join(h, \",\");", Mixed()),
             "2 1,2 x,y\n");
}

// Walking a large text-keyed array is paid for under an instruction limit.
TEST(ExtKeyed, WalkingALargeArrayIsCharged)
{
   ORVA_Array *array = new ORVA_Array();
   for (int i = 0; i < 200000; i++)
   {
      const std::string key = "key-" + std::to_string(i);
      array->SetText(key.data(), static_cast<uint32>(key.size()), new ORVA_Value(i));
   }
   // A hundred calls are a few hundred instructions of the loop itself.
   const std::string out = RunKeyed("i = 0; while (i < 100) { keys(h); i++; }", array, 1000000);
   EXPECT_NE(out.find("Instruction limit reached"), std::string::npos) << out;
}
