/*
 * Attributes of host objects, read through the object's class.
 */
#include "vm/engine.h"
#include "vm/vm.h"

void ORVA_Engine::Reference(char *attribute)
{
   ORVA_RunState *rs = m_run;
   ORVA_Value *value = rs->Pop();
   if (value == nullptr)
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   if (value->IsObject())
   {
      ORVA_Object *object = value->GetValueAsObject();
      if (object == nullptr || object->Class() == nullptr)
      {
         Fail(ORVA_ERR_INTERNAL);
      }
      else
      {
         SyncHostView();
         ORVA_Value *result = object->Class()->GetAttr(object, attribute);
         if (result == nullptr)
            Fail(ORVA_ERR_NO_SUCH_ATTRIBUTE);
         else
            rs->Push(result);
      }
   }
   else
   {
      Fail(ORVA_ERR_NOT_OBJECT);
   }
   rs->pool.Release(value);
}
