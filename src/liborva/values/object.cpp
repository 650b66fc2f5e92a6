/*
 * Host objects and the base class of object classes.
 */
#include "orva.h"

#include <cstring>

ORVA_Object::ORVA_Object(ORVA_Class *cls, void *data) : m_class(cls), m_data(data)
{
}

ORVA_Object::ORVA_Object(ORVA_Object *src)
   : m_class((src != nullptr) ? src->m_class : nullptr), m_data((src != nullptr) ? src->m_data : nullptr)
{
   // A class that shares its data between copies counts its users here.
   if (m_class != nullptr)
      m_class->OnObjectCopy(this);
}

ORVA_Object::~ORVA_Object()
{
   if (m_class != nullptr)
      m_class->OnObjectRelease(this);
}

ORVA_Class::ORVA_Class()
{
   memset(m_name, 0, sizeof(m_name));
   strcpy(m_name, "generic");
}

ORVA_Class::ORVA_Class(const ORVA_Class &src)
{
   memcpy(m_name, src.m_name, sizeof(m_name));
}

ORVA_Class::~ORVA_Class()
{
}

ORVA_Value *ORVA_Class::GetAttr(ORVA_Object *, char *)
{
   return nullptr;
}

int ORVA_Class::SetAttr(ORVA_Object *, char *, ORVA_Value *)
{
   return 0;
}

void ORVA_Class::OnObjectDelete(ORVA_Object *)
{
}

void ORVA_Class::OnObjectCopy(ORVA_Object *)
{
}

void ORVA_Class::OnObjectRelease(ORVA_Object *)
{
}
