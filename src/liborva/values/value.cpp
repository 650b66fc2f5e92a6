/*
 * The dynamically typed value: construction, ownership of text, object
 * wrapper and array reference, the text/number duality and conversions.
 */
#include "orva.h"
#include "support/memory.h"
#include "support/support.h"
#include "values/text_block.h"
#include "values/value_access.h"
#include "values/number_text.h"
#include "values/numeric.h"
#include "support/work_charge.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

typedef ORVA_EngineAccess Access;

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

/* Type and content of a copy; its text is the caller's to give it. */
void ORVA_EngineAccess::CopyContent(ORVA_Value *to, const ORVA_Value *from)
{
   to->m_dataType = from->m_dataType;
   switch (to->m_dataType)
   {
      case ORVA_DT_OBJECT:
         // The copy gets its own wrapper; the host data stays shared.
         to->m_value.object = nullptr;
         if (from->m_value.object != nullptr)
         {
            // Copies are made everywhere, often where an exception cannot
            // pass: without memory the copy holds no object, and the run stops.
            to->m_value.object = new (std::nothrow) ORVA_Object(from->m_value.object);
            if (to->m_value.object == nullptr)
               MemoryExhausted();
         }
         break;
      case ORVA_DT_ARRAY:
         to->m_value.array = from->m_value.array;
         if (to->m_value.array != nullptr)
            to->m_value.array->IncRefCount();
         break;
      default:
         to->m_value.u64 = from->m_value.u64;
         break;
   }
}

ORVA_Value::ORVA_Value(const ORVA_Value *src) : ORVA_Value()
{
   if (src == nullptr)
      return;
   ORVA_EngineAccess::CopyContent(this, src);
   if (src->m_stringValid && src->m_string != nullptr)
   {
      ChargeWork(src->m_length);   // a bounded run pays for long copies
      // A host's copy gets a text of its own: it may hand the copy to
      // another thread, and the count of a shared block is not atomic.
      m_string = TextCopy(src->m_string, src->m_length, src->m_length);
      if (m_string != nullptr)
      {
         m_length = src->m_length;
         m_stringValid = 1;
      }
      else if (m_dataType == ORVA_DT_STRING)
         m_dataType = ORVA_DT_NULL;   // out of memory: no string without text
   }
}

ORVA_Value *ORVA_EngineAccess::ShareCopy(ORVA_Value *place, const ORVA_Value *source)
{
   ORVA_Value *value = (place != nullptr) ? new (place) ORVA_Value() : new ORVA_Value();
   if (source == nullptr)
      return value;
   // Texts and numbers, nearly every copy, are their type and bits.
   if (source->m_dataType >= ORVA_DT_STRING)
   {
      value->m_dataType = source->m_dataType;
      value->m_value.u64 = source->m_value.u64;
   }
   else
      CopyContent(value, source);
   if (source->m_stringValid && source->m_string != nullptr)
   {
      value->m_string = TextShare(source->m_string);
      value->m_length = source->m_length;
      value->m_stringValid = 1;
   }
   return value;
}

bool ORVA_EngineAccess::ShareByteText(ORVA_Value *place, ORVA_ByteTexts **texts, unsigned char byte)
{
   if (*texts == nullptr)
   {
      // A run near its memory ceiling makes its texts one by one rather
      // than stop for a table it could do without.
      if (MemoryRoom() < sizeof(ORVA_ByteTexts))
         return false;
      void *table = MemoryAllocate(sizeof(ORVA_ByteTexts));
      if (table == nullptr)
         return false;
      *texts = static_cast<ORVA_ByteTexts *>(memset(table, 0, sizeof(ORVA_ByteTexts)));
   }
   ORVA_ByteTexts &t = **texts;
   if (t.text[byte] == nullptr)
   {
      // The first value of this text is made as any other, and what it
      // reads as is kept for the rest.
      const char text = static_cast<char>(byte);
      ORVA_Value first(&text, 1);
      if (first.m_string == nullptr)
         return false;
      t.text[byte] = TextShare(first.m_string);
      t.type[byte] = first.m_dataType;
      t.number[byte] = Bits(first.m_value);
   }
   else
      ChargeWork(1);   // what making the text charges, the first one charged above
   place->m_dataType = t.type[byte];
   memcpy(&place->m_value, &t.number[byte], sizeof(place->m_value));
   place->m_string = TextShare(t.text[byte]);
   place->m_length = 1;
   place->m_stringValid = 1;
   return true;
}

const char *ORVA_EngineAccess::MakeText(ORVA_Value *value, uint32 *length)
{
   const char *text = nullptr;
   if (value->m_dataType >= ORVA_DT_STRING)
   {
      if (!value->m_stringValid)
         value->UpdateString();
      text = value->m_string;
      // A number whose text could not be made for want of memory reads as
      // empty: the run that asked has stopped, and no reader must meet a
      // null text where a text always is.
      if (text == nullptr)
         text = "";
   }
   if (length != nullptr)
      *length = (text != nullptr) ? value->m_length : 0;
   return text;
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

// A number constructor makes what a number stored into a value is: its type
// code and its bits, a 32-bit number in the low half.
ORVA_Value::ORVA_Value(int32 n) : ORVA_Value()
{
   Access::ResetNumber(this, ORVA_DT_INT32, NumberFromUInt32(static_cast<uint32>(n)));
}

ORVA_Value::ORVA_Value(uint32 n) : ORVA_Value()
{
   Access::ResetNumber(this, ORVA_DT_UINT32, NumberFromUInt32(n));
}

ORVA_Value::ORVA_Value(int64 n) : ORVA_Value()
{
   Access::ResetNumber(this, ORVA_DT_INT64, NumberFromBits(static_cast<uint64>(n)));
}

ORVA_Value::ORVA_Value(uint64 n) : ORVA_Value()
{
   Access::ResetNumber(this, ORVA_DT_UINT64, NumberFromBits(n));
}

ORVA_Value::ORVA_Value(double d) : ORVA_Value()
{
   Access::ResetNumber(this, ORVA_DT_REAL, NumberFromReal(d));
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
   char *block = TextNew(length);
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
      ORVA_EngineAccess::ReleaseArray(array);
   }
}

/* A text block always holds exactly the text and its terminating zero. */
void ORVA_Value::FreeText()
{
   if (m_string != nullptr)
      TextRelease(m_string);
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
   // or an inner zero byte is not a number.  Only decimal reals count:
   // words such as "nan" or "inf" and hexadecimal reals stay text, so a
   // name like "Nan" is never turned into a number.  A long text is read
   // through its block's scan, which has seen all but the newest bytes.
   NumberScan &scan = TextBlockOf(m_string)->scan;
   if (m_length > NUMBER_SCAN_SHORT)
      NumberScanFeed(&scan, m_string, m_length);
   int64 n;
   double d;
   switch (NumberScanRead(&scan, m_string, m_length, &n, &d))
   {
      case READS_AS_INTEGER:
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
         break;
      case READS_AS_REAL:
         m_dataType = ORVA_DT_REAL;
         m_value.real = d;
         break;
      case READS_AS_TEXT:
         break;
   }
}

void ORVA_Value::UpdateString()
{
   char buffer[NUMBER_TEXT_SIZE];
   const size_t length = FormatNumberText(this, buffer);
   InvalidateString();
   char *text = TextNew(static_cast<uint32>(length));
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

/*
 * The host gets text it may write into, as it always could: a text shared
 * with other values is copied first, and the scan of the text is started
 * over, for the bytes may change under it.
 */
char *ORVA_Value::GetValueAsCString()
{
   if (m_dataType < ORVA_DT_STRING)
      return nullptr;
   if (!m_stringValid)
      UpdateString();
   if (m_string != nullptr && TextIsShared(m_string))
   {
      char *own = TextCopy(m_string, m_length, m_length);
      if (own == nullptr)
         return nullptr;   // out of memory: no text the host could spoil others' through
      TextRelease(m_string);
      m_string = own;
   }
   if (m_string != nullptr)
      NumberScanReset(&TextBlockOf(m_string)->scan);
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

   // A shared text is copied before it changes; a text of its own grows by
   // half again, so that a run of appends costs time in proportion to the
   // text it builds.  The appended text may be part of this value's own.
   const uint32 total = m_length + length;
   ORVA_TextBlock *block = TextBlockOf(m_string);
   if (block->refs > 1 || block->capacity < total)
   {
      // Copying a shared text is work of its size, weighed before it is
      // done (growing a text of its own is paid for by the appends).
      if (block->refs > 1 && !ChargeWork(m_length))
         return;   // the run has stopped; the value stays as it was
      uint64 capacity = total;
      if (block->capacity < total)
         capacity += capacity / 2;
      if (capacity > UINT32_MAX - 1)
         capacity = UINT32_MAX - 1;
      char *grown = TextCopy(m_string, m_length, static_cast<uint32>(capacity));
      if (grown == nullptr)
         return;   // refused: the value stays as it was, and the run stops
      if (length > 0)
         memcpy(grown + m_length, text, length);
      TextRelease(m_string);
      m_string = grown;
   }
   else if (length > 0)
      memmove(m_string + m_length, text, length);
   ChargeWork(length);
   m_length = total;
   m_string[m_length] = 0;
   m_dataType = ORVA_DT_STRING;
   UpdateNumber();
}
