#include "orva.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

/*
 * Fields are kept sorted by id so that lookups are binary searches; a
 * library listing itself sets ids in rising order, which appends.
 */
struct ZRQPMessage::Fields
{
   struct Field
   {
      uint32 id;
      uint8 type;
      uint32 number;
      char *text;
   };
   typedef std::vector<Field>::const_iterator Place;
   std::vector<Field> list;

   // The field of that id, or end().
   Place Find(uint32 id) const
   {
      auto at = std::lower_bound(list.begin(), list.end(), id, [](const Field &f, uint32 want) { return f.id < want; });
      return (at != list.end() && at->id == id) ? at : list.end();
   }
};

ZRQPMessage::~ZRQPMessage()
{
   if (m_fields == nullptr)
      return;
   for (Fields::Field &field : m_fields->list)
      free(field.text);
   delete m_fields;
}

uint32 ZRQPMessage::FieldCount() const
{
   return (m_fields != nullptr) ? static_cast<uint32>(m_fields->list.size()) : 0;
}

void ZRQPMessage::Set(uint32 fieldId, uint8 type, const void *data, uint32)
{
   Fields::Field field = { fieldId, type, 0, nullptr };
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

   // A message that cannot grow keeps what it holds: the field is dropped.
   try
   {
      if (m_fields == nullptr)
         m_fields = new Fields();
      std::vector<Fields::Field> &list = m_fields->list;
      auto at = std::lower_bound(list.begin(), list.end(), fieldId,
                                 [](const Fields::Field &f, uint32 id) { return f.id < id; });
      if (at != list.end() && at->id == fieldId)
      {
         free(at->text);
         *at = field;
      }
      else
      {
         list.insert(at, field);
      }
   }
   catch (const std::bad_alloc &)
   {
      free(field.text);
   }
}

int ZRQPMessage::IsFieldSet(uint32 fieldId) const
{
   return m_fields != nullptr && m_fields->Find(fieldId) != m_fields->list.end();
}

uint32 ZRQPMessage::GetFieldAsUInt32(uint32 fieldId) const
{
   if (m_fields == nullptr)
      return 0;
   auto at = m_fields->Find(fieldId);
   if (at == m_fields->list.end())
      return 0;
   // A text field reads as the number it spells, if any.
   return at->type == FIELD_TYPE_STRING ? static_cast<uint32>(strtoul(at->text, nullptr, 0)) : at->number;
}

const char *ZRQPMessage::GetFieldAsString(uint32 fieldId) const
{
   if (m_fields == nullptr)
      return nullptr;
   auto at = m_fields->Find(fieldId);
   if (at == m_fields->list.end())
      return nullptr;
   return at->text;   // null for an integer field
}
