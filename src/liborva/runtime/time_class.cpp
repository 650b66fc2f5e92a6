#include "runtime/time_class.h"
#include "support/memory.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

static_assert(offsetof(ORVA_TimeData, tm) == 0, "hosts read a TIME object's data as a struct tm");

ORVA_TimeClass g_orvaTimeClass;

ORVA_TimeClass::ORVA_TimeClass()
{
   strcpy(m_name, "TIME");
}

ORVA_TimeClass::~ORVA_TimeClass()
{
}

ORVA_Value *ORVA_TimeClass::NewValue(const struct tm &tm)
{
   // Counted like the object that holds it: a script can make millions.
   void *block = MemoryObject(sizeof(ORVA_TimeData));
   ORVA_TimeData *data = new (block) ORVA_TimeData;
   data->refs.store(1, std::memory_order_relaxed);
   data->tm = tm;
   ORVA_Object *object = new (std::nothrow) ORVA_Object(&g_orvaTimeClass, data);
   if (object == nullptr)
   {
      data->~ORVA_TimeData();
      free(block);
      return nullptr;   // the caller reports it; the heap said no
   }
   return new ORVA_Value(object);
}

ORVA_Value *ORVA_TimeClass::GetAttr(ORVA_Object *object, char *attribute)
{
   if (object == nullptr || attribute == nullptr || object->Data() == nullptr)
      return nullptr;
   const struct tm &tm = static_cast<ORVA_TimeData *>(object->Data())->tm;

   static const struct
   {
      const char *shortName;
      const char *longName;
   } names[] = {
      { "sec", "tm_sec" },   { "min", "tm_min" },   { "hour", "tm_hour" },
      { "mday", "tm_mday" }, { "mon", "tm_mon" },   { "year", "tm_year" },
      { "yday", "tm_yday" }, { "wday", "tm_wday" }, { "isdst", "tm_isdst" },
   };
   const int fields[] = { tm.tm_sec,  tm.tm_min,  tm.tm_hour, tm.tm_mday, tm.tm_mon,
                          tm.tm_year + 1900, tm.tm_yday, tm.tm_wday, tm.tm_isdst };

   for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++)
   {
      if (strcmp(attribute, names[i].shortName) == 0 || strcmp(attribute, names[i].longName) == 0)
         return new ORVA_Value(static_cast<int32>(fields[i]));
   }
   return nullptr;
}

void ORVA_TimeClass::OnObjectDelete(ORVA_Object *object)
{
   if (object == nullptr || object->Data() == nullptr)
      return;
   ORVA_TimeData *data = static_cast<ORVA_TimeData *>(object->Data());
   data->~ORVA_TimeData();
   MemoryObjectFree(data, sizeof(ORVA_TimeData));
}

void ORVA_TimeClass::OnObjectCopy(ORVA_Object *object)
{
   if (object != nullptr && object->Data() != nullptr)
      static_cast<ORVA_TimeData *>(object->Data())->refs.fetch_add(1, std::memory_order_relaxed);
}

void ORVA_TimeClass::OnObjectRelease(ORVA_Object *object)
{
   if (object == nullptr || object->Data() == nullptr)
      return;
   ORVA_TimeData *data = static_cast<ORVA_TimeData *>(object->Data());
   if (data->refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
      OnObjectDelete(object);
}
