// Numbers read from text and written as text: the same results as the C
// library's conversions in the "C" locale, and the same again under a locale
// whose decimal point is a comma.
#include "orva.h"
#include "values/number_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cinttypes>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{
// Texts a script or host may hand over: every form the readers accept or
// must refuse, their edges, and random digits, signs, points and exponents.
std::vector<std::string> Corpus()
{
   std::vector<std::string> texts = {
      "", " ", "-", "+", ".", "0", "-0", "+0", "00", "007", "08", "0x", "0X", "0x1F", "0XaB", "-0x10", "0x1g",
      " 12", "\t\n-12", "12 ", "1 2", "2147483647", "2147483648", "-2147483648", "-2147483649",
      "9223372036854775807", "9223372036854775808", "-9223372036854775808", "-9223372036854775809",
      "18446744073709551615", "18446744073709551616", "99999999999999999999999", "0xFFFFFFFFFFFFFFFFFF",
      "01777777777777777777777", "1.5", "-1.5", "+.5", "-.5", "5.", "1e3", "1E+3", "1e-3", "1e", "1e+", "1.5x",
      ".e1", "1..2", "--1", "+-1", "- 1", "1e999", "-1e999", "1e-999", "2.4703282292062328e-324",
      "2.4703282292062327e-324", "1.7976931348623158e308", "1.7976931348623159e308", "0.000001e-320",
      "123456789012345678901234567890.5", "inf", "nan", "Infinity", "0x1p3", "1.5e3x", "1,5", "1_000",
      std::string("12\0", 3), std::string("1.5\0", 4), "\v1.25", "0.1", "0.30000000000000004",
      "4.9406564584124654e-324", "2.2250738585072011e-308", "1e22", "1e23", "8.5", "-0.0"};
   std::mt19937 random(20261209);
   const char pieces[] = "0123456789.eE+- x";
   for (int i = 0; i < 20000; i++)
   {
      std::string text;
      const int length = 1 + static_cast<int>(random() % 12);
      for (int j = 0; j < length; j++)
      {
         // Mostly digits, so that many texts are numbers.
         const uint32_t pick = random() % 40;
         text += (pick < 24) ? pieces[pick % 10] : pieces[random() % (sizeof(pieces) - 1)];
      }
      texts.push_back(text);
   }
   return texts;
}

// What the C library says, as values have always read text.
bool CIntegerReading(const std::string &text, int64 *value)
{
   char *end;
   errno = 0;
   *value = strtoll(text.c_str(), &end, 0);
   return *end == 0 && static_cast<size_t>(end - text.c_str()) == text.size();
}

bool CRealReading(const std::string &text, double *value)
{
   const char *p = text.c_str();
   while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
      p++;
   if (*p == '+' || *p == '-')
      p++;
   if (!((*p >= '0' && *p <= '9') || *p == '.'))
      return false;
   char *end;
   *value = strtod(text.c_str(), &end);
   return *end == 0 && static_cast<size_t>(end - text.c_str()) == text.size() &&
          text.find_first_of("xX") == std::string::npos;
}

std::string Formatted(const ORVA_Value &value)
{
   char buffer[NUMBER_TEXT_SIZE];
   size_t length = FormatNumberText(&value, buffer);
   EXPECT_EQ(strlen(buffer), length);
   return std::string(buffer, length);
}

TEST(NumberText, ReadsAsTheCLibraryDoes)
{
   ASSERT_STREQ(".", localeconv()->decimal_point);
   int numbers = 0;
   for (const std::string &text : Corpus())
   {
      int64 expected = 0, got = -1;
      bool isInteger = CIntegerReading(text, &expected);
      ASSERT_EQ(isInteger, ReadIntegerText(text.data(), text.size(), &got)) << "[" << text << "]";
      if (isInteger)
      {
         EXPECT_EQ(expected, got) << "[" << text << "]";
         numbers++;
         continue;
      }
      double expectedReal = 0.0, gotReal = -1.0;
      bool isReal = CRealReading(text, &expectedReal);
      ASSERT_EQ(isReal, ReadRealText(text.data(), text.size(), &gotReal)) << "[" << text << "]";
      if (isReal)
      {
         // Bit for bit: the sign of zero and infinities included.
         EXPECT_EQ(0, memcmp(&expectedReal, &gotReal, sizeof(double))) << "[" << text << "] " << expectedReal;
         numbers++;
      }
   }
   EXPECT_GT(numbers, 5000) << "the corpus should hold many numbers";
}

TEST(NumberText, WritesAsPrintfDoes)
{
   ASSERT_STREQ(".", localeconv()->decimal_point);
   std::mt19937_64 random(42);
   std::vector<double> reals = {0.0, -0.0, 1.5, 1e300, -1e308, 5e-324, 0.0000005, 0.0000015, 2.5e-7, 1e22,
                                123456.1234565, HUGE_VAL, -HUGE_VAL, NAN, -NAN, 9007199254740993.0};
   for (int i = 0; i < 20000; i++)
   {
      uint64 bits = random();
      double d;
      memcpy(&d, &bits, sizeof(d));
      reals.push_back(d);                                             // any pattern, huge ones included
      reals.push_back(static_cast<double>(static_cast<int64>(bits % 2000001) - 1000000) / 1024.0);   // ties
   }
   char expected[NUMBER_TEXT_SIZE];
   for (double d : reals)
   {
      snprintf(expected, sizeof(expected), "%f", d);
      ASSERT_EQ(expected, Formatted(ORVA_Value(d)));
   }
   for (int i = 0; i < 2000; i++)
   {
      uint64 bits = random();
      snprintf(expected, sizeof(expected), "%d", static_cast<int32>(bits));
      EXPECT_EQ(expected, Formatted(ORVA_Value(static_cast<int32>(bits))));
      snprintf(expected, sizeof(expected), "%u", static_cast<uint32>(bits));
      EXPECT_EQ(expected, Formatted(ORVA_Value(static_cast<uint32>(bits))));
      snprintf(expected, sizeof(expected), "%" PRId64, static_cast<int64>(bits));
      EXPECT_EQ(expected, Formatted(ORVA_Value(static_cast<int64>(bits))));
      snprintf(expected, sizeof(expected), "%" PRIu64, bits);
      EXPECT_EQ(expected, Formatted(ORVA_Value(bits)));
   }
   EXPECT_EQ("", Formatted(ORVA_Value("text")));
   EXPECT_EQ("", Formatted(ORVA_Value()));
   // The longest text of all fits, and a value holds all of it.
   ORVA_Value huge(-1.7976931348623157e308);
   snprintf(expected, sizeof(expected), "%f", -1.7976931348623157e308);
   EXPECT_STREQ(expected, huge.GetValueAsCString());
   EXPECT_EQ(317u, strlen(expected));
}

// Runs a script and gives what it printed.
std::string RunScript(const char *source)
{
   char error[256] = "";
   ORVA_Program *program = ORVACompile(source, error, sizeof(error));
   EXPECT_NE(nullptr, program) << error;
   if (program == nullptr)
      return "";
   char *buffer = nullptr;
   size_t size = 0;
   FILE *stream = open_memstream(&buffer, &size);
   ORVA_Environment *env = new ORVA_Environment();
   env->SetIO(nullptr, stream);
   EXPECT_EQ(0, program->Run(env, 0, nullptr, nullptr, nullptr)) << program->GetErrorText();
   fclose(stream);
   std::string printed(buffer, size);
   free(buffer);
   delete program;
   return printed;
}

/*
 * A host that switches its process to a locale with a decimal comma (as
 * setlocale(LC_ALL, "") does for many users) changes nothing for scripts.
 * The locale is made by scripts/setup-deps; a machine without it fails here.
 */
TEST(NumberText, ACommaLocaleChangesNothing)
{
   const char *names[] = {"de_DE.UTF-8", "de_DE.utf8"};
   const char *chosen = nullptr;
   for (const char *name : names)
      if (chosen == nullptr && setlocale(LC_ALL, name) != nullptr)
         chosen = name;
   ASSERT_NE(nullptr, chosen) << "no de_DE.UTF-8 locale: run scripts/setup-deps";
   ASSERT_STREQ(",", localeconv()->decimal_point);
   char comma[32];
   snprintf(comma, sizeof(comma), "%f", 1.5);
   ASSERT_STREQ("1,500000", comma) << "the C library itself now writes a comma";

   ORVA_Value half("1.5");
   EXPECT_EQ(ORVA_DT_REAL, half.DataType());
   EXPECT_EQ(1.5, half.GetValueAsReal());
   ORVA_Value commaText("1,5");
   EXPECT_EQ(ORVA_DT_STRING, commaText.DataType());
   ORVA_Value quarter(2.25);
   EXPECT_STREQ("2.250000", quarter.GetValueAsCString());
   for (const std::string &text : {std::string("-3.75e2"), std::string(" .5"), std::string("1e-3")})
   {
      double expected = 0.0, got = -1.0;
      setlocale(LC_ALL, "C");
      ASSERT_TRUE(CRealReading(text, &expected));
      setlocale(LC_ALL, chosen);
      ASSERT_TRUE(ReadRealText(text.data(), text.size(), &got));
      EXPECT_EQ(expected, got) << text;
   }

   // Literals, arithmetic, concatenation and text read by built-ins.
   EXPECT_EQ("0.750000\n2.500000 x\n1.250000\n3\n9.000000\n",
             RunScript("sub main()\n{\n   println 1.5 / 2;\n   println \"2.5\" + 0 . \" x\";\n"
                       "   println 0.25 + 1;\n   println length(substr(\"1.5\", 1) . \"\");\n"
                       "   println pow(\"3.0\", 2);\n}\n"));
   setlocale(LC_ALL, "C");
}
}   // namespace
