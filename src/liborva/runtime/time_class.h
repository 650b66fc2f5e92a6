/*
 * The TIME class: objects returned by localtime() and gmtime(), exposing the
 * fields of a broken-down calendar time as read-only attributes.
 */
#ifndef ORVA_RUNTIME_TIME_CLASS_H
#define ORVA_RUNTIME_TIME_CLASS_H

#include "orva.h"

#include <atomic>
#include <ctime>

// The data of a TIME object.  Copies of an object value share it, so it
// counts the wrappers that point at it and goes with the last of them.  The
// broken-down time comes first: a host function handed a TIME object may
// read its data as a plain struct tm.
struct ORVA_TimeData
{
   struct tm tm;
   std::atomic<uint32> refs;
};

class ORVA_TimeClass : public ORVA_Class
{
public:
   ORVA_TimeClass();
   ~ORVA_TimeClass() override;

   ORVA_Value *GetAttr(ORVA_Object *object, char *attribute) override;
   void OnObjectDelete(ORVA_Object *object) override;
   void OnObjectCopy(ORVA_Object *object) override;
   void OnObjectRelease(ORVA_Object *object) override;

   // A new object value holding a copy of tm (one user: the value's wrapper),
   // or null when memory runs out.
   static ORVA_Value *NewValue(const struct tm &tm);
};

// The one instance; every TIME object refers to it.
extern ORVA_TimeClass g_orvaTimeClass;

#endif
