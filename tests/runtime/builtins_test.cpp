#include "runtime_test_util.h"

#include <ctime>
#include <string>

TEST(BuiltinNumbers, AbsAndPow)
{
   EXPECT_EQ(Call("abs", { I32(-5) }), "int32:5");
   EXPECT_EQ(Call("abs", { I32(INT32_MIN) }), "int32:-2147483648");   // negation wraps
   EXPECT_EQ(Call("abs", { I64(-7000000000LL) }), "int64:7000000000");
   EXPECT_EQ(Call("abs", { Real(-2.5) }), "real:2.500000");
   EXPECT_EQ(Call("abs", { U32(0xFFFFFFFFu) }), "uint32:4294967295");
   EXPECT_EQ(Call("abs", { Text("-12") }), "int32:12");
   EXPECT_EQ(Call("abs", { Text("abc") }), "!4");
   EXPECT_EQ(Call("abs", { Null() }), "!4");

   EXPECT_EQ(Call("pow", { I32(2), I32(10) }), "real:1024.000000");
   EXPECT_EQ(Call("pow", { I32(2), Text("x") }), "!4");
   EXPECT_EQ(Call("pow", { Null(), I32(2) }), "!4");
}

TEST(BuiltinNumbers, MinMaxKeepTheEarlierOnTiesAndCompareMixedTypesByValue)
{
   EXPECT_EQ(Call("min", { I32(3), I32(1), I32(2) }), "int32:1");
   EXPECT_EQ(Call("max", { I32(3), I32(9), I32(2) }), "int32:9");
   EXPECT_EQ(Call("max", { I32(7), I64(7) }), "int32:7");
   EXPECT_EQ(Call("min", { I64(7), I32(7) }), "int64:7");
   EXPECT_EQ(Call("min", { Real(1.5), I32(2) }), "real:1.500000");
   EXPECT_EQ(Call("min", { I32(2), Real(1.5) }), "real:1.500000");
   EXPECT_EQ(Call("max", { Real(2.5), I32(3), I64(-4) }), "int32:3");
   EXPECT_EQ(Call("max", { I32(3), I64(5000000000LL) }), "int64:5000000000");

   EXPECT_EQ(Call("min", { Text("abc") }), "string:abc");   // a lone first argument is not tested
   EXPECT_EQ(Call("max", { Text("abc") }), "!4");
   EXPECT_EQ(Call("min", { Text("abc"), I32(5) }), "!4");   // text cannot be ordered against numbers
   EXPECT_EQ(Call("min", { I32(5), Text("x") }), "!4");
   EXPECT_EQ(Call("min", {}), "!12");
   EXPECT_EQ(Call("max", {}), "!12");
}

TEST(BuiltinNumbers, D2X)
{
   EXPECT_EQ(Call("d2x", { I32(-1) }), "string:FFFFFFFF");
   EXPECT_EQ(Call("d2x", { I32(9) }), "int32:9");
   EXPECT_EQ(Call("d2x", { I32(255), I32(4) }), "string:00FF");
   EXPECT_EQ(Call("d2x", { I32(255), I32(1) }), "string:FF");
   EXPECT_EQ(Call("d2x", { I32(255), I32(-6) }), "string:FF    ");
   // Fields wider than the usual buffer are sized to their text.
   EXPECT_EQ(Call("d2x", { I32(0xAB), I32(1000) }), "string:" + std::string(998, '0') + "AB");
   EXPECT_EQ(Call("d2x", { I32(0xAB), I32(-200) }), "string:AB" + std::string(198, ' '));

   EXPECT_EQ(Call("d2x", { I32(1), I32(INT32_MIN) }), "!6");   // a width the C library cannot format
   EXPECT_EQ(Call("d2x", {}), "!12");
   EXPECT_EQ(Call("d2x", { I32(1), I32(2), I32(3) }), "!12");
   EXPECT_EQ(Call("d2x", { Real(1.0) }), "!19");
   EXPECT_EQ(Call("d2x", { I32(1), Null() }), "!19");
}

TEST(BuiltinNumbers, SecondsToUptimeRoundsLeftoverSecondsUp)
{
   EXPECT_EQ(Call("SecondsToUptime", { I32(0) }), "string:0 days,  0:00");
   EXPECT_EQ(Call("SecondsToUptime", { I32(59) }), "string:0 days,  0:01");
   EXPECT_EQ(Call("SecondsToUptime", { I32(3599) }), "string:0 days,  0:60");
   EXPECT_EQ(Call("SecondsToUptime", { I32(90061) }), "string:1 days,  1:02");
   EXPECT_EQ(Call("SecondsToUptime", { I32(86400 * 3 + 3600 * 12) }), "string:3 days, 12:00");
   // Day counts beyond 32 bits keep their low bits.
   EXPECT_EQ(Call("SecondsToUptime", { U64((0x100000000ULL + 5) * 86400) }), "string:5 days,  0:00");
   EXPECT_EQ(Call("SecondsToUptime", { Text("soon") }), "!4");
}

TEST(BuiltinTexts, LengthAndCase)
{
   EXPECT_EQ(Call("length", { Real(1.5) }), "uint32:8");
   EXPECT_EQ(Call("length", { new ORVA_Value("a\0b", 3) }), "uint32:3");
   EXPECT_EQ(Call("length", { Null() }), "!17");
   EXPECT_EQ(Call("length", { NewArray() }), "!17");

   EXPECT_EQ(Call("upper", { Text("Hello, World") }), "string:HELLO, WORLD");
   EXPECT_EQ(Call("lower", { Text("Hello, World") }), "string:hello, world");
   EXPECT_EQ(Call("upper", { new ORVA_Value("a\0b", 3) }), std::string("string:A\0B", 10));
   EXPECT_EQ(Call("upper", { Text("0x1f") }), "int32:0X1F");   // a number keeps its value
   EXPECT_EQ(Call("upper", { Null() }), "!17");
}

TEST(BuiltinTexts, Substr)
{
   EXPECT_EQ(Call("substr", { Text("hello"), I32(0) }), "string:hello");
   EXPECT_EQ(Call("substr", { Text("hello"), I32(1) }), "string:hello");
   EXPECT_EQ(Call("substr", { Text("hello"), Null() }), "string:hello");
   EXPECT_EQ(Call("substr", { Text("hello"), I32(2), I32(3) }), "string:ell");
   EXPECT_EQ(Call("substr", { Text("hello"), I32(4), I32(100) }), "string:lo");
   EXPECT_EQ(Call("substr", { I32(12345), I32(2), I32(2) }), "int32:23");
   EXPECT_EQ(Call("substr", { Text("hello"), I32(6) }), "int32:");
   EXPECT_EQ(Call("substr", { Text("hello"), I32(2), I32(-1) }), "int32:");
   // Wide positions are beyond the text, not wrapped back into it.
   EXPECT_EQ(Call("substr", { Text("hello"), I64(0x100000002LL) }), "int32:");
   EXPECT_EQ(Call("substr", { Text("hello"), I32(2), U64(~0ULL) }), "string:ello");

   EXPECT_EQ(Call("substr", { Text("hello") }), "!12");
   EXPECT_EQ(Call("substr", { Null(), Real(1.0) }), "!17");
   EXPECT_EQ(Call("substr", { Text("hello"), Real(1.0) }), "!19");
   EXPECT_EQ(Call("substr", { Text("hello"), I32(1), Null() }), "!19");
}

TEST(BuiltinTexts, LeftAndRight)
{
   EXPECT_EQ(Call("left", { Text("abc"), I32(5) }), "string:abc  ");
   EXPECT_EQ(Call("left", { Text("abcdef"), I32(3) }), "string:abc");
   EXPECT_EQ(Call("right", { Text("abcdef"), I32(3) }), "string:def");
   EXPECT_EQ(Call("right", { Text("ab"), I32(4), Text("xy") }), "string:xxab");
   EXPECT_EQ(Call("left", { Text("ab"), I32(4), Text("") }), "string:ab  ");
   EXPECT_EQ(Call("left", { Text("ab"), I32(-1) }), "int32:");
   EXPECT_EQ(Call("right", { I32(7), I32(3), I32(0) }), "int32:007");

   // n is checked before the text, the text before the pad.
   EXPECT_EQ(Call("left", { Text("a") }), "!12");
   EXPECT_EQ(Call("left", { Null(), Real(2.0) }), "!19");
   EXPECT_EQ(Call("left", { Null(), I32(2) }), "!17");
   EXPECT_EQ(Call("right", { Text("a"), I32(2), NewArray() }), "!17");
}

TEST(BuiltinTypes, TypeofAndClassof)
{
   EXPECT_EQ(Call("typeof", { NewArray() }), "string:array");
   EXPECT_EQ(Call("typeof", { Text("42") }), "string:int32");
   EXPECT_EQ(Call("typeof", { Null() }), "string:null");
   EXPECT_EQ(Call("typeof", { U64(1) }), "string:uint64");

   ORVA_Class generic;
   EXPECT_EQ(Call("classof", { new ORVA_Value(new ORVA_Object(&generic, nullptr)) }), "string:generic");
   EXPECT_EQ(Call("classof", { Text("TIME") }), "!14");
}

TEST(BuiltinAddresses, RangeIsInclusiveAndUnsignedSubnetMasksOnlyTheAddress)
{
   EXPECT_EQ(Call("AddrInRange", { Text("10.0.0.5"), Text("10.0.0.1"), Text("10.0.0.10") }), "int32:1");
   EXPECT_EQ(Call("AddrInRange", { Text("10.0.0.10"), Text("10.0.0.1"), Text("10.0.0.10") }), "int32:1");
   EXPECT_EQ(Call("AddrInRange", { Text("10.0.0.11"), Text("10.0.0.1"), Text("10.0.0.10") }), "int32:0");
   EXPECT_EQ(Call("AddrInRange", { Text("200.0.0.1"), Text("10.0.0.0"), Text("250.0.0.0") }), "int32:1");
   // A rejected text reads as 255.255.255.255.
   EXPECT_EQ(Call("AddrInRange", { Text("bogus"), Text("0.0.0.0"), Text("254.255.255.255") }), "int32:0");
   EXPECT_EQ(Call("AddrInRange", { Text("1.1.1.1"), Text("1.1.1.1"), NewArray() }), "!17");

   EXPECT_EQ(Call("AddrInSubnet", { Text("10.1.2.3"), Text("10.1.0.0"), Text("255.255.0.0") }), "int32:1");
   EXPECT_EQ(Call("AddrInSubnet", { Text("10.1.2.3"), Text("10.1.2.0"), Text("255.255.0.0") }), "int32:0");
   EXPECT_EQ(Call("AddrInSubnet", { Text("10.1.2.3"), Text("10.1.2.3"), Text("255.255.0.0") }), "int32:0");
   EXPECT_EQ(Call("AddrInSubnet", { Text("1.1.1.1"), Null(), Text("1.1.1.1") }), "!17");
}

TEST(BuiltinTime, TimeAndTimeObjects)
{
   uint32 before = static_cast<uint32>(time(nullptr));
   std::unique_ptr<ORVA_Value> now = CallBuiltin("time", {});
   ASSERT_EQ(now->DataType(), ORVA_DT_UINT32);
   EXPECT_LE(now->GetValueAsUInt32() - before, 5u);

   int rc;
   std::unique_ptr<ORVA_Value> local = CallBuiltin("localtime", {}, &rc);
   ASSERT_EQ(rc, 0);
   EXPECT_EQ(Call("classof", { new ORVA_Value(local.get()) }), "string:TIME");
   EXPECT_EQ(Call("localtime", { Null() }), "!19");
   EXPECT_EQ(Call("gmtime", { Real(1.0) }), "!19");
   EXPECT_EQ(Call("gmtime", { I32(1), I32(2) }), "!12");
}

TEST(BuiltinTime, Strftime)
{
   EXPECT_EQ(Call("strftime", { Text("%Y-%m-%d %H:%M:%S"), I32(0), I32(0) }), "string:1970-01-01 00:00:00");
   EXPECT_EQ(Call("strftime", { Text("%Y"), I32(1700000000), I32(0) }), "int32:2023");
   // Only the low 32 bits of the time count; reals are read as numbers.
   EXPECT_EQ(Call("strftime", { Text("%Y"), U64(0x100000000ULL), I32(0) }), "int32:1970");
   EXPECT_EQ(Call("strftime", { Text("%j"), Real(86400.0 * 40), I32(0) }), "int32:041");
   EXPECT_EQ(Call("strftime", { Text(""), I32(0), I32(0) }), "int32:");

   char expected[64], year[8];
   time_t t = 1700000000;
   struct tm tm;
   strftime(expected, sizeof(expected), "string:%H h %M", localtime_r(&t, &tm));
   EXPECT_EQ(Call("strftime", { Text("%H h %M"), I32(1700000000) }), expected);
   EXPECT_EQ(Call("strftime", { Text("%H h %M"), I32(1700000000), I32(7) }), expected);
   t = time(nullptr);
   strftime(year, sizeof(year), "%Y", gmtime_r(&t, &tm));
   EXPECT_EQ(Call("strftime", { Text("%Y"), Null(), I32(0) }), std::string("int32:") + year);

   EXPECT_EQ(Call("strftime", {}), "!12");
   EXPECT_EQ(Call("strftime", { Text("%Y"), I32(0), I32(0), I32(0) }), "!12");
   EXPECT_EQ(Call("strftime", { Null() }), "!17");
   EXPECT_EQ(Call("strftime", { Text("%Y"), Text("later") }), "!4");
   EXPECT_EQ(Call("strftime", { Text("%Y"), I32(0), Real(1.0) }), "!3");
   EXPECT_EQ(Call("strftime", { Text("%Y"), I32(0), Null() }), "!3");
}

TEST(BuiltinTime, StrftimeGrowsItsBufferWithinABound)
{
   std::string format, expected;
   for (int i = 0; i < 300; i++)
   {
      format += "%Y-";
      expected += "2023-";
   }
   EXPECT_EQ(Call("strftime", { Text(format.c_str()), I32(1700000000), I32(0) }), "string:" + expected);
   for (size_t n : { 511u, 512u })
   {
      std::string plain(n, 'x');
      EXPECT_EQ(Call("strftime", { Text(plain.c_str()), I32(0), I32(0) }), "string:" + plain);
   }
   std::string wide = Call("strftime", { Text("%1000Y"), I32(0), I32(0) });
   EXPECT_EQ(wide.size() - wide.find(':') - 1, 1000u) << wide.substr(0, 20);
   EXPECT_EQ(Call("strftime", { Text("%2000000000Y"), I32(0), I32(0) }), "!6");
}
