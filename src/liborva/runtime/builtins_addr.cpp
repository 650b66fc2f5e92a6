#include "runtime/builtins.h"
#include "values/value_access.h"

#include <arpa/inet.h>
#include <new>

// A text inet_addr() rejects reads as its failure value, 255.255.255.255.
static uint32 HostOrderAddress(ORVA_Value *value)
{
   return ntohl(inet_addr(ORVA_EngineAccess::ReadText(value, nullptr)));
}

/* The three addresses an address test compares, in host order; an error code when one is no text. */
static int ReadAddresses(ORVA_Value **argv, uint32 addresses[3])
{
   for (int i = 0; i < 3; i++)
   {
      if (!argv[i]->IsString())
         return ORVA_ERR_NOT_STRING;
   }
   for (int i = 0; i < 3; i++)
      addresses[i] = HostOrderAddress(argv[i]);
   return 0;
}

int BI_AddrInRange(int, ORVA_Value **argv, ORVA_Value **result)
{
   uint32 a[3];   // the address, the range's first and last
   int rc = ReadAddresses(argv, a);
   if (rc != 0)
      return rc;
   *result = new ORVA_Value(static_cast<int32>(a[0] >= a[1] && a[0] <= a[2]));
   return 0;
}

int BI_AddrInSubnet(int, ORVA_Value **argv, ORVA_Value **result)
{
   uint32 a[3];   // the address, the subnet, its mask
   int rc = ReadAddresses(argv, a);
   if (rc != 0)
      return rc;
   // The subnet is taken as given, not masked itself.
   *result = new ORVA_Value(static_cast<int32>((a[0] & a[2]) == a[1]));
   return 0;
}
