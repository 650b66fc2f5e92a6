#include "orva.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

/*
 * Fields are kept sorted by id so that lookups are binary searches; a
 * library listing itself sets ids in rising order, which appends.
 */

ZRQPMessage::~ZRQPMessage()
{
   for (Field &field : m_fields)
      free(field.text);
}

void ZRQPMessage::Set(uint32 fieldId, uint8 type, const void *data, uint32)
{
   Field field = { fieldId, type, 0, nullptr };
   if (type == FIELD_TYPE_INTEGER)
   {
      if (data != nullptr)
         memcpy(&field.number, data, sizeof(field.number));   // data need not be aligned
   }
   else if (type == FIELD_TYPE_STRING)
   {
      field.text = strdup(data != nullptr ? static_cast<const char *>(data) : "");
      if (field.text == nullptr)
         return;
   }
   else
   {
      return;   // not a type this message carries
   }

   auto at = std::lower_bound(m_fields.begin(), m_fields.end(), fieldId,
                              [](const Field &f, uint32 id) { return f.id < id; });
   if (at != m_fields.end() && at->id == fieldId)
   {
      free(at->text);
      *at = field;
   }
   else
   {
      m_fields.insert(at, field);
   }
}

int ZRQPMessage::IsFieldSet(uint32 fieldId) const
{
   auto at = std::lower_bound(m_fields.begin(), m_fields.end(), fieldId,
                              [](const Field &f, uint32 id) { return f.id < id; });
   return at != m_fields.end() && at->id == fieldId;
}

uint32 ZRQPMessage::GetFieldAsUInt32(uint32 fieldId) const
{
   auto at = std::lower_bound(m_fields.begin(), m_fields.end(), fieldId,
                              [](const Field &f, uint32 id) { return f.id < id; });
   if (at == m_fields.end() || at->id != fieldId)
      return 0;
   // A text field reads as the number it spells, if any.
   return at->type == FIELD_TYPE_STRING ? static_cast<uint32>(strtoul(at->text, nullptr, 0)) : at->number;
}

const char *ZRQPMessage::GetFieldAsString(uint32 fieldId) const
{
   auto at = std::lower_bound(m_fields.begin(), m_fields.end(), fieldId,
                              [](const Field &f, uint32 id) { return f.id < id; });
   if (at == m_fields.end() || at->id != fieldId)
      return nullptr;
   return at->text;   // null for an integer field
}
