#include "runtime/builtins.h"
#include "values/value_access.h"

#include <arpa/inet.h>
#include <new>

// A text inet_addr() rejects reads as its failure value, 255.255.255.255.
static uint32 HostOrderAddress(ORVA_Value *value)
{
   return ntohl(inet_addr(ORVA_EngineAccess::ReadText(value, nullptr)));
}

static int CheckTexts(ORVA_Value **argv)
{
   for (int i = 0; i < 3; i++)
   {
      if (!argv[i]->IsString())
         return ORVA_ERR_NOT_STRING;
   }
   return 0;
}

int BI_AddrInRange(int, ORVA_Value **argv, ORVA_Value **result)
{
   int rc = CheckTexts(argv);
   if (rc != 0)
      return rc;
   uint32 addr = HostOrderAddress(argv[0]);
   uint32 first = HostOrderAddress(argv[1]);
   uint32 last = HostOrderAddress(argv[2]);
   *result = new ORVA_Value(static_cast<int32>(addr >= first && addr <= last));
   return 0;
}

int BI_AddrInSubnet(int, ORVA_Value **argv, ORVA_Value **result)
{
   int rc = CheckTexts(argv);
   if (rc != 0)
      return rc;
   uint32 addr = HostOrderAddress(argv[0]);
   uint32 subnet = HostOrderAddress(argv[1]);
   uint32 mask = HostOrderAddress(argv[2]);
   // The subnet is taken as given, not masked itself.
   *result = new ORVA_Value(static_cast<int32>((addr & mask) == subnet));
   return 0;
}
