#include "runtime/builtins.h"
#include "support/memory.h"
#include "vm/run_limits.h"

// The order is part of the interface: lookups scan from the start.
const ORVA_ExtFunction g_orvaBuiltins[ORVA_BUILTIN_COUNT] = {
   { "abs", BI_Abs, 1 },
   { "classof", BI_ClassOf, 1 },
   { "d2x", BI_D2X, -1 },
   { "gmtime", BI_GMTime, -1 },
   { "left", BI_Left, -1 },
   { "length", BI_Length, 1 },
   { "localtime", BI_LocalTime, -1 },
   { "lower", BI_Lower, 1 },
   { "max", BI_Max, -1 },
   { "min", BI_Min, -1 },
   { "pow", BI_Pow, 2 },
   { "right", BI_Right, -1 },
   { "strftime", BI_StrFTime, -1 },
   { "substr", BI_Substr, -1 },
   { "time", BI_Time, 0 },
   { "typeof", BI_TypeOf, 1 },
   { "upper", BI_Upper, 1 },
   { "AddrInRange", BI_AddrInRange, 3 },
   { "AddrInSubnet", BI_AddrInSubnet, 3 },
   { "SecondsToUptime", BI_SecondsToUptime, 1 },
};

int64 WideInteger(const ORVA_Value *value)
{
   if (value->IsUnsigned() && value->GetValueAsUInt64() > static_cast<uint64>(INT64_MAX))
      return INT64_MAX;
   return value->GetValueAsInt64();
}

bool WeighResult(uint64 bytes)
{
   if (!TextFits(bytes))
      return false;
   // The buffer and the result's text are held at once.
   if (!MemoryWouldFit(2 * (bytes + 1)))
      return false;
   // Writing the buffer is charged here; the copy into the result charges
   // itself, but nothing interrupts either, so both are weighed.
   const uint64 units = bytes / WORK_BYTES_PER_UNIT;
   return ChargeUninterruptible(2 * units, units);
}
