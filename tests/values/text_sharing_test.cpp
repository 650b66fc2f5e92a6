// Text shared between the engine's copies of a value, and numbers read from
// a text that grows by appending.
#include "orva.h"
#include "values/number_text.h"
#include "values/value_access.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace
{
// What the whole text reads as, by the readers that see it all at once.
std::string Reference(const std::string &text)
{
   int64 n;
   double d;
   if (ReadIntegerText(text.data(), text.size(), &n))
      return (n >= INT32_MIN && n <= INT32_MAX) ? "int32 " + std::to_string(n) : "int64 " + std::to_string(n);
   if (ReadRealText(text.data(), text.size(), &d))
   {
      char buffer[64];
      snprintf(buffer, sizeof(buffer), "real %a", d);
      return buffer;
   }
   return "string";
}

std::string Reading(ORVA_Value *value)
{
   switch (value->DataType())
   {
      case ORVA_DT_INT32:
      case ORVA_DT_INT64:
         return std::string(value->DataType() == ORVA_DT_INT32 ? "int32 " : "int64 ") +
                std::to_string(value->GetValueAsInt64());
      case ORVA_DT_REAL:
      {
         char buffer[64];
         snprintf(buffer, sizeof(buffer), "real %a", value->GetValueAsReal());
         return buffer;
      }
      default:
         return "string";
   }
}

// A long text near the number grammar: a start, digit runs and now and then
// a point, an exponent or a byte that spoils it.
std::string LongCandidate(std::mt19937 &random)
{
   static const char *const starts[] = {"", " ", "\t-", "+", "0", "-0", "0x", "0X", ".", "00", "-.", "9"};
   static const char *const tails[] = {"", "", "", ".", "e", "e-", "E+", "e-4000", "e4000", "e-330", "x", " ", "1e"};
   std::string text = starts[random() % 12];
   const int runs = 1 + static_cast<int>(random() % 4);
   for (int r = 0; r < runs; r++)
   {
      const int digits = static_cast<int>(random() % 400);
      const bool zeros = random() % 3 == 0;
      for (int i = 0; i < digits; i++)
         text += zeros ? '0' : static_cast<char>('0' + random() % ((random() % 4 == 0) ? 8 : 10));
      if (random() % 5 == 0)
         text += (random() % 2) ? "." : "abcdef";
   }
   text += tails[random() % 13];
   if (random() % 4 == 0)
      text += std::to_string(random() % 1000);
   return text;
}
}   // namespace

TEST(TextScan, AppendedPiecesReadAsTheWholeText)
{
   std::mt19937 random(17);
   for (int round = 0; round < 3000; round++)
   {
      const std::string text = LongCandidate(random);
      ORVA_Value built("");
      for (size_t at = 0; at < text.size();)
      {
         const size_t piece = 1 + random() % 90;
         const size_t take = (piece < text.size() - at) ? piece : text.size() - at;
         built.Concatenate(text.data() + at, static_cast<uint32>(take));
         at += take;
         // Every prefix on the way reads as itself, too.
         if (random() % 8 == 0)
         {
            ASSERT_EQ(Reading(&built), Reference(text.substr(0, at))) << text.substr(0, at);
         }
      }
      ORVA_Value whole(text.data(), static_cast<uint32>(text.size()));
      ASSERT_EQ(Reading(&built), Reference(text)) << text;
      ASSERT_EQ(Reading(&whole), Reference(text)) << text;
   }
   // Far past the range of a double, and back into it through the exponent.
   std::string big = "1" + std::string(200000, '0');
   ORVA_Value huge(big.c_str());
   EXPECT_EQ(Reading(&huge), "int64 9223372036854775807");
   huge.Concatenate(".5e-199990", 10);
   EXPECT_DOUBLE_EQ(huge.GetValueAsReal(), 1e10);
   ORVA_Value tiny(("0." + std::string(5000, '0') + "1e5000").c_str());
   EXPECT_DOUBLE_EQ(tiny.GetValueAsReal(), 0.1);
   ORVA_Value many(("0" + std::string(3000, '7') + "8").c_str());
   EXPECT_EQ(Reading(&many), "real inf");
}

TEST(TextSharing, CopiesShareUntilOneChanges)
{
   typedef ORVA_EngineAccess Access;
   ORVA_Value *original = new ORVA_Value("shared text");
   ORVA_Value *copy = Access::ShareCopy(nullptr, original);
   uint32 length;
   EXPECT_EQ(Access::ReadText(copy, &length), Access::ReadText(original, nullptr));
   EXPECT_EQ(length, 11u);

   // An append gives the copy a text of its own.
   copy->Concatenate(" and more", 9);
   EXPECT_STREQ(original->GetValueAsCString(), "shared text");
   EXPECT_STREQ(copy->GetValueAsCString(), "shared text and more");

   // A host may write into the text it is handed: the other value keeps its own.
   ORVA_Value *second = Access::ShareCopy(nullptr, original);
   char *text = second->GetValueAsCString();
   text[0] = 'S';
   EXPECT_STREQ(second->GetValueAsCString(), "Shared text");
   EXPECT_STREQ(original->GetValueAsCString(), "shared text");

   // The host's copy constructor never shares, and the last holder frees the block.
   ORVA_Value *hostCopy = new ORVA_Value(original);
   EXPECT_NE(Access::ReadText(hostCopy, nullptr), Access::ReadText(original, nullptr));
   delete original;
   EXPECT_STREQ(hostCopy->GetValueAsCString(), "shared text");
   delete hostCopy;
   delete second;
   delete copy;
}

TEST(TextSharing, AppendsOfOwnTextAndNumbers)
{
   ORVA_Value value("ab");
   for (int i = 0; i < 12; i++)
   {
      uint32 length;
      const char *text = ORVA_EngineAccess::ReadText(&value, &length);
      value.Concatenate(text, length);   // reads from the block it grows
   }
   uint32 length;
   const char *text = value.GetValueAsString(&length);
   ASSERT_EQ(length, 2u << 12);
   std::string expected;
   for (int i = 0; i < (1 << 12); i++)
      expected += "ab";
   EXPECT_EQ(std::string(text, length), expected);

   // A number that takes an append becomes its text plus the piece.
   ORVA_Value number(static_cast<int32>(12));
   ORVA_Value *shared = ORVA_EngineAccess::ShareCopy(nullptr, &number);
   number.Concatenate("3", 1);
   EXPECT_EQ(number.DataType(), ORVA_DT_INT32);
   EXPECT_EQ(number.GetValueAsInt32(), 123);
   EXPECT_EQ(shared->GetValueAsInt32(), 12);
   delete shared;
}
