/*
 * The dynamically typed value: construction, ownership of text, object
 * wrapper and array reference, the text/number duality and conversions.
 */
#include "orva.h"
#include "support/memory.h"
#include "support/support.h"
#include "values/number_text.h"
#include "values/numeric.h"
#include "vm/run_limits.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

const char *const g_orvaTypeNames[9] = {"null",  "object", "array",  "string", "real",
                                        "int32", "int64",  "uint32", "uint64"};

/* The value's number as the numeric rules read it. */
template <typename Union> static inline ORVA_Number Bits(const Union &value)
{
   ORVA_Number n;
   memcpy(&n, &value, sizeof(n));
   return n;
}

ORVA_Value::ORVA_Value() : m_length(0), m_string(nullptr), m_dataType(ORVA_DT_NULL), m_stringValid(0)
{
   m_value.u64 = 0;
}

ORVA_Value::ORVA_Value(const ORVA_Value *src) : ORVA_Value()
{
   if (src == nullptr)
      return;
   m_dataType = src->m_dataType;
   switch (m_dataType)
   {
      case ORVA_DT_OBJECT:
         // The copy gets its own wrapper; the host data stays shared.
         m_value.object = (src->m_value.object != nullptr) ? new ORVA_Object(src->m_value.object) : nullptr;
         break;
      case ORVA_DT_ARRAY:
         m_value.array = src->m_value.array;
         if (m_value.array != nullptr)
            m_value.array->IncRefCount();
         break;
      default:
         m_value.u64 = src->m_value.u64;
         break;
   }
   if (src->m_stringValid && src->m_string != nullptr)
   {
      ChargeWork(src->m_length);   // a bounded run pays for long copies
      m_string = static_cast<char *>(MemoryAllocate(static_cast<size_t>(src->m_length) + 1));
      if (m_string == nullptr)
      {
         // Refused: a number keeps its number, a text becomes null rather
         // than a string without text.
         if (m_dataType == ORVA_DT_STRING)
            m_dataType = ORVA_DT_NULL;
         return;
      }
      memcpy(m_string, src->m_string, static_cast<size_t>(src->m_length) + 1);
      m_length = src->m_length;
      m_stringValid = 1;
   }
}

ORVA_Value::ORVA_Value(ORVA_Object *object) : ORVA_Value()
{
   m_dataType = ORVA_DT_OBJECT;
   m_value.object = object;
}

ORVA_Value::ORVA_Value(ORVA_Array *array) : ORVA_Value()
{
   m_dataType = ORVA_DT_ARRAY;
   m_value.array = array;
   if (array != nullptr)
      array->IncRefCount();
}

ORVA_Value::ORVA_Value(int32 n) : ORVA_Value()
{
   m_dataType = ORVA_DT_INT32;
   m_value.i32 = n;
}

ORVA_Value::ORVA_Value(uint32 n) : ORVA_Value()
{
   m_dataType = ORVA_DT_UINT32;
   m_value.u32 = n;
}

ORVA_Value::ORVA_Value(int64 n) : ORVA_Value()
{
   m_dataType = ORVA_DT_INT64;
   m_value.i64 = n;
}

ORVA_Value::ORVA_Value(uint64 n) : ORVA_Value()
{
   m_dataType = ORVA_DT_UINT64;
   m_value.u64 = n;
}

ORVA_Value::ORVA_Value(double d) : ORVA_Value()
{
   m_dataType = ORVA_DT_REAL;
   m_value.real = d;
}

ORVA_Value::ORVA_Value(const char *text) : ORVA_Value()
{
   InitText(text, (text != nullptr) ? static_cast<uint32>(strlen(text)) : 0);
}

ORVA_Value::ORVA_Value(const char *text, uint32 length) : ORVA_Value()
{
   InitText(text, (text != nullptr) ? length : 0);
}

ORVA_Value::~ORVA_Value()
{
   ReleaseContent();
   FreeText();
}

void ORVA_Value::InitText(const char *text, uint32 length)
{
   char *block = static_cast<char *>(MemoryAllocate(static_cast<size_t>(length) + 1));
   if (block == nullptr)
      return;   // refused: the value stays null rather than a string without text
   if (length > 0)
      memcpy(block, text, length);
   block[length] = 0;
   ChargeWork(length);
   m_string = block;
   m_length = length;
   m_stringValid = 1;
   m_dataType = ORVA_DT_STRING;
   UpdateNumber();
}

/*
 * Drops the object wrapper or the array reference the value holds, so that
 * a value changing its type never leaks a wrapper or leaves a count too high.
 */
void ORVA_Value::ReleaseContent()
{
   if (m_dataType == ORVA_DT_OBJECT)
   {
      delete m_value.object;
      m_value.object = nullptr;
   }
   else if (m_dataType == ORVA_DT_ARRAY)
   {
      ORVA_Array *array = m_value.array;
      m_value.array = nullptr;
      if (array != nullptr)
      {
         array->DecRefCount();
         if (array->IsUnused())
            delete array;
         else
            array->Dropped();
      }
   }
}

/* A text block always holds exactly the text and its terminating zero. */
void ORVA_Value::FreeText()
{
   if (m_string != nullptr)
      MemoryFree(m_string, static_cast<size_t>(m_length) + 1);
}

void ORVA_Value::InvalidateString()
{
   FreeText();
   m_string = nullptr;
   m_length = 0;
   m_stringValid = 0;
}

void ORVA_Value::UpdateNumber()
{
   if (!m_stringValid || m_string == nullptr)
      return;

   // The whole text must read as the number: text with trailing characters
   // or an inner zero byte is not a number.
   int64 n;
   if (ReadIntegerText(m_string, m_length, &n))
   {
      if (n >= INT32_MIN && n <= INT32_MAX)
      {
         m_dataType = ORVA_DT_INT32;
         m_value.u64 = 0;
         m_value.i32 = static_cast<int32>(n);
      }
      else
      {
         m_dataType = ORVA_DT_INT64;
         m_value.i64 = n;
      }
      return;
   }

   // Only decimal reals count: words such as "nan" or "inf" and hexadecimal
   // reals stay text, so a name like "Nan" is never turned into a number.
   double d;
   if (ReadRealText(m_string, m_length, &d))
   {
      m_dataType = ORVA_DT_REAL;
      m_value.real = d;
   }
}

void ORVA_Value::UpdateString()
{
   char buffer[NUMBER_TEXT_SIZE];
   const size_t length = FormatNumberText(this, buffer);
   InvalidateString();
   char *text = static_cast<char *>(MemoryAllocate(length + 1));
   if (text == nullptr)
      return;   // refused: the value keeps no text and the getters give null
   memcpy(text, buffer, length + 1);
   m_string = text;
   m_length = static_cast<uint32>(length);
   m_stringValid = 1;
}

void ORVA_Value::Set(int32 n)
{
   ReleaseContent();
   InvalidateString();
   m_dataType = ORVA_DT_INT32;
   m_value.u64 = 0;
   m_value.i32 = n;
}

int ORVA_Value::Convert(int type)
{
   if (m_dataType == type)
      return 1;
   if (type < ORVA_DT_REAL || type > ORVA_DT_UINT64)
      return 0;
   if (!NumConvertible(m_dataType, type))
      return 0;

   const ORVA_Number converted = NumConvert(m_dataType, type, Bits(m_value));
   ReleaseContent();
   InvalidateString();
   m_dataType = static_cast<uint8>(type);
   memcpy(&m_value, &converted, sizeof(converted));
   return 1;
}

char *ORVA_Value::GetValueAsCString()
{
   if (m_dataType < ORVA_DT_STRING)
      return nullptr;
   if (!m_stringValid)
      UpdateString();
   return m_string;
}

char *ORVA_Value::GetValueAsString(uint32 *length)
{
   char *text = GetValueAsCString();
   if (length != nullptr)
      *length = (text != nullptr) ? m_length : 0;
   return text;
}

int64 ORVA_Value::GetValueAsInt64() const
{
   return NumToInt64(m_dataType, Bits(m_value));
}

uint64 ORVA_Value::GetValueAsUInt64() const
{
   return static_cast<uint64>(GetValueAsInt64());
}

int32 ORVA_Value::GetValueAsInt32() const
{
   return static_cast<int32>(static_cast<uint32>(GetValueAsUInt64()));
}

uint32 ORVA_Value::GetValueAsUInt32() const
{
   return static_cast<uint32>(GetValueAsUInt64());
}

double ORVA_Value::GetValueAsReal() const
{
   return NumToReal(m_dataType, Bits(m_value));
}

ORVA_Object *ORVA_Value::GetValueAsObject() const
{
   return (m_dataType == ORVA_DT_OBJECT) ? m_value.object : nullptr;
}

ORVA_Array *ORVA_Value::GetValueAsArray() const
{
   return (m_dataType == ORVA_DT_ARRAY) ? m_value.array : nullptr;
}

void ORVA_Value::Concatenate(const char *text, uint32 length)
{
   if (text == nullptr)
      length = 0;

   // A null, object or array value has no text of its own: it gives up its
   // content and starts from the empty text.
   if (m_dataType < ORVA_DT_STRING)
   {
      ReleaseContent();
      InvalidateString();
      m_dataType = ORVA_DT_STRING;
      m_value.u64 = 0;
   }
   if (!m_stringValid)
      UpdateString();
   if (!m_stringValid)
      return;   // out of memory while formatting
   if (!TextFits(static_cast<uint64>(m_length) + length))
      return;   // the result could not be measured in 32 bits: the run stops

   // The appended text may be part of this value's own text; keep its offset
   // across the reallocation.
   uintptr_t start = reinterpret_cast<uintptr_t>(m_string);
   uintptr_t source = reinterpret_cast<uintptr_t>(text);
   bool inside = (length > 0) && source >= start && source <= start + m_length;
   size_t offset = inside ? static_cast<size_t>(source - start) : 0;

   char *block = static_cast<char *>(MemoryReallocate(m_string, static_cast<size_t>(m_length) + 1,
                                                      static_cast<size_t>(m_length) + length + 1));
   if (block == nullptr)
      return;   // refused: the value stays as it was, and the run stops
   if (length > 0)
      memmove(block + m_length, inside ? block + offset : text, length);
   ChargeWork(length);
   m_string = block;
   m_length += length;
   m_string[m_length] = 0;
   m_dataType = ORVA_DT_STRING;
   UpdateNumber();
}
