/*
 * format(fmt, ...): printf-style formatting with the language's values.
 *
 * Conversions: d i (signed), u x X o (unsigned), e E f F g G (real), s
 * (text), c (a byte code) and %%, with the flags - + space # 0, a width and
 * a precision, each a number or * (taken from the next argument).  Length
 * modifiers (h l ll L q j z t) are accepted and ignored: the value's own type
 * decides the width.  Anything else, %n above all, is refused, and so is a
 * directive whose arguments are missing or an argument that no directive
 * takes.  Numbers are printed by the C library from a directive this file
 * builds itself, so no text of the script ever reaches printf as a format.
 */
#include "ext/ext.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orva_ext
{

namespace
{

struct Directive
{
   Text flags;
   int64 width = -1;       // -1: none
   int64 precision = -1;   // -1: none
   char conversion = 0;
};

class Formatter
{
public:
   Formatter(int argc, ORVA_Value **argv) : m_argc(argc), m_argv(argv) {}

   // 0 and the text in *out, or an error code.
   int Run(const Text &format, Text *out);

   // Arguments that no directive took.
   bool AllTaken() const { return m_next == m_argc; }

private:
   int Parse(const Text &format, size_t *at, Directive *d);
   int ParseField(const Text &format, size_t *at, int64 *field, bool precision, Directive *d);
   int Convert(const Directive &d, Text *out);
   ORVA_Value *Next() { return m_next < m_argc ? m_argv[m_next++] : nullptr; }

   int m_argc;
   ORVA_Value **m_argv;
   int m_next = 1;
   size_t m_charged = 0;   // bytes of the output already paid for
};

bool IsFlag(char c)
{
   return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}

bool IsDigit(char c)
{
   return c >= '0' && c <= '9';
}

// A width or precision: digits, or * for the next argument, which must be a
// whole number.  A negative * width means left alignment, a negative *
// precision none at all, as in C.
int Formatter::ParseField(const Text &format, size_t *at, int64 *field, bool precision, Directive *d)
{
   size_t i = *at;
   if (i < format.size() && format[i] == '*')
   {
      ORVA_Value *value = Next();
      if (value == nullptr)
         return ORVA_ERR_INVALID_ARGUMENT_COUNT;
      if (!value->IsInteger())
         return ORVA_ERR_NOT_INTEGER;
      int64 n = ArgInt64(value);
      if (n < 0 && precision)
         n = -1;
      else if (n < 0)
      {
         d->flags += '-';
         n = n == INT64_MIN ? INT64_MAX : -n;
      }
      if (n > FORMAT_FIELD_LIMIT)
         return ORVA_ERR_BAD_CONVERSION;
      *field = n;
      *at = i + 1;
      return 0;
   }
   int64 n = 0;
   bool any = false;
   while (i < format.size() && IsDigit(format[i]))
   {
      n = n * 10 + (format[i++] - '0');
      if (n > FORMAT_FIELD_LIMIT)
         return ORVA_ERR_BAD_CONVERSION;
      any = true;
   }
   // "%.f" is precision 0, as in C.
   *field = any || precision ? n : -1;
   *at = i;
   return 0;
}

int Formatter::Parse(const Text &format, size_t *at, Directive *d)
{
   size_t i = *at;
   while (i < format.size() && IsFlag(format[i]))
      d->flags += format[i++];
   int rc = ParseField(format, &i, &d->width, false, d);
   if (rc != 0)
      return rc;
   if (i < format.size() && format[i] == '.')
   {
      i++;
      rc = ParseField(format, &i, &d->precision, true, d);
      if (rc != 0)
         return rc;
   }
   while (i < format.size() && strchr("hlLqjzt", format[i]) != nullptr)
      i++;
   if (i >= format.size())
      return ORVA_ERR_BAD_CONVERSION;   // the text ends inside a directive
   d->conversion = format[i];
   *at = i + 1;
   return 0;
}

// Pads a text to the directive's width, on the left unless '-' is given.
void Pad(const Directive &d, const char *text, size_t length, Text *out)
{
   size_t fill = d.width > 0 && static_cast<uint64>(d.width) > length ? static_cast<size_t>(d.width) - length : 0;
   bool left = d.flags.find('-') != Text::npos;
   if (!left)
      out->append(fill, ' ');
   out->append(text, length);
   if (left)
      out->append(fill, ' ');
}

// Prints one number with the C library, through a directive made here from
// the parsed parts and the given length modifier and conversion.
template <typename T>
void PrintNumber(const Directive &d, const char *modifier, char conversion, T number, Text *out)
{
   std::string directive = "%" + std::string(d.flags.data(), d.flags.size());
   if (d.width >= 0)
      directive += std::to_string(d.width);
   if (d.precision >= 0)
      directive += "." + std::to_string(d.precision);
   directive += modifier;
   directive += conversion;
   int size = snprintf(nullptr, 0, directive.c_str(), number);
   if (size <= 0)
      return;
   size_t old = out->size();
   out->resize(old + static_cast<size_t>(size) + 1);
   snprintf(&(*out)[old], static_cast<size_t>(size) + 1, directive.c_str(), number);
   out->resize(old + static_cast<size_t>(size));
}

// u x X o show the bits of the value's own width: -1 is ffffffff as an int32
// and sixteen f as an int64; reals are truncated to 64 bits.
uint64 UnsignedBits(const ORVA_Value *value)
{
   int type = value->DataType();
   if (type == ORVA_DT_INT32 || type == ORVA_DT_UINT32)
      return value->GetValueAsUInt32();
   return value->GetValueAsUInt64();
}

int Formatter::Convert(const Directive &d, Text *out)
{
   char c = d.conversion;
   if (c == '%')
   {
      *out += '%';
      return 0;
   }
   if (strchr("diuxXoeEfFgGsc", c) == nullptr)
      return ORVA_ERR_BAD_CONVERSION;   // %n, %p, %a and unknown letters
   ORVA_Value *value = Next();
   if (value == nullptr)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;

   if (c == 's')
   {
      uint32 length = 0;
      const char *text = value->IsString() ? value->GetValueAsString(&length) : nullptr;
      if (text == nullptr)
         return ORVA_ERR_NOT_STRING;
      size_t shown = d.precision >= 0 && static_cast<uint64>(d.precision) < length ? static_cast<size_t>(d.precision)
                                                                                     : length;
      Pad(d, text, shown, out);
      return 0;
   }
   if (c == 'c')
   {
      if (!value->IsInteger())
         return ORVA_ERR_NOT_INTEGER;
      int64 code = ArgInt64(value);
      if (code < 0 || code > 255)
         return ORVA_ERR_BAD_CONVERSION;
      char byte = static_cast<char>(code);
      Pad(d, &byte, 1, out);
      return 0;
   }

   if (!value->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;
   int type = value->DataType();
   if (strchr("eEfFgG", c) != nullptr)
   {
      // The getter reads a uint64 as signed; its real value is wanted here.
      double real = type == ORVA_DT_UINT64 ? static_cast<double>(value->GetValueAsUInt64()) : value->GetValueAsReal();
      PrintNumber(d, "", c, real, out);
      return 0;
   }
   bool unsignedType = type == ORVA_DT_UINT32 || type == ORVA_DT_UINT64;
   if (c == 'd' || c == 'i' || c == 'u')
   {
      // '#' means nothing to decimal conversions, and C leaves it undefined.
      Directive decimal = d;
      decimal.flags.erase(std::remove(decimal.flags.begin(), decimal.flags.end(), '#'), decimal.flags.end());
      if (c == 'u')
         PrintNumber(decimal, "ll", 'u', static_cast<unsigned long long>(UnsignedBits(value)), out);
      else if (unsignedType)
         PrintNumber(decimal, "ll", 'u', static_cast<unsigned long long>(value->GetValueAsUInt64()), out);
      else
         PrintNumber(decimal, "ll", 'd', static_cast<long long>(value->GetValueAsInt64()), out);
      return 0;
   }
   PrintNumber(d, "ll", c, static_cast<unsigned long long>(UnsignedBits(value)), out);
   return 0;
}

int Formatter::Run(const Text &format, Text *out)
{
   // Wide fields make much from a short format: paid as they are made.
   WorkMeter meter;
   for (size_t i = 0; i < format.size();)
   {
      if (!meter.AddBytes(out->size() - m_charged))
         return STOPPED;
      m_charged = out->size();
      size_t percent = format.find('%', i);
      if (percent == Text::npos)
      {
         out->append(format, i, Text::npos);
         break;
      }
      out->append(format, i, percent - i);
      i = percent + 1;
      Directive d;
      int rc = Parse(format, &i, &d);
      if (rc == 0)
         rc = Convert(d, out);
      if (rc != 0)
         return rc;
      if (out->size() > TEXT_LIMIT)
         break;   // NewText turns it into NULL
   }
   if (!meter.AddBytes(out->size() - m_charged) || !meter.Flush())
      return STOPPED;
   return 0;
}

}

int Format(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   if (argc < 1)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   Text format;
   if (!ArgText(argv[0], &format))
      return ORVA_ERR_NOT_STRING;
   Formatter formatter(argc, argv);
   Text out;
   int rc = formatter.Run(format, &out);
   if (rc != 0)
      return rc;
   if (out.size() <= TEXT_LIMIT && !formatter.AllTaken())
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   *result = NewText(out);
   return 0;
}

}
