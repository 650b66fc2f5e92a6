/*
 * Number extension functions: sqrt, floor, ceil, round, exp, log, sin, cos,
 * tan, atan2.  Arguments are numbers of any type (text that reads as a
 * number is one); results are reals, except that floor, ceil and round give
 * an integer whenever the rounded value is one that fits.
 */
#include "ext/ext.h"

#include <cmath>

namespace orva_ext
{

namespace
{

// The real value of any number; the getter would read a uint64 as signed.
double RealOf(const ORVA_Value *value)
{
   if (value->DataType() == ORVA_DT_UINT64)
      return static_cast<double>(value->GetValueAsUInt64());
   return value->GetValueAsReal();
}

template <double (*F)(double)>
int RealFunction(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;
   *result = new ORVA_Value(F(RealOf(argv[0])));
   return 0;
}

// A whole number stays as it is.  A rounded real becomes an int32 or int64
// when it fits, so that floor(7 / 2) is 3 rather than 3.000000; infinities,
// NaN and reals beyond the 64-bit range stay reals.
template <double (*F)(double)>
int Rounding(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;
   if (argv[0]->IsInteger())
   {
      *result = new ORVA_Value(argv[0]);
      return 0;
   }
   double r = F(argv[0]->GetValueAsReal());
   if (r >= -2147483648.0 && r <= 2147483647.0)
      *result = new ORVA_Value(static_cast<int32>(r));
   else if (r >= -9223372036854775808.0 && r < 9223372036854775808.0)
      *result = new ORVA_Value(static_cast<int64>(r));
   else
      *result = new ORVA_Value(r);
   return 0;
}

int Atan2(int, ORVA_Value **argv, ORVA_Value **result)
{
   if (!argv[0]->IsNumeric() || !argv[1]->IsNumeric())
      return ORVA_ERR_BAD_CONVERSION;
   *result = new ORVA_Value(std::atan2(RealOf(argv[0]), RealOf(argv[1])));
   return 0;
}

// The overloads of <cmath> need one chosen for a template argument.
double Sqrt(double x) { return std::sqrt(x); }
double Floor(double x) { return std::floor(x); }
double Ceil(double x) { return std::ceil(x); }
double Round(double x) { return std::round(x); }
double Exp(double x) { return std::exp(x); }
double Log(double x) { return std::log(x); }
double Sin(double x) { return std::sin(x); }
double Cos(double x) { return std::cos(x); }
double Tan(double x) { return std::tan(x); }

}

const ORVA_ExtFunction g_mathFunctions[] = {
   {"sqrt", Guarded<RealFunction<Sqrt>>, 1},
   {"floor", Guarded<Rounding<Floor>>, 1},
   {"ceil", Guarded<Rounding<Ceil>>, 1},
   {"round", Guarded<Rounding<Round>>, 1},
   {"exp", Guarded<RealFunction<Exp>>, 1},
   {"log", Guarded<RealFunction<Log>>, 1},
   {"sin", Guarded<RealFunction<Sin>>, 1},
   {"cos", Guarded<RealFunction<Cos>>, 1},
   {"tan", Guarded<RealFunction<Tan>>, 1},
   {"atan2", Guarded<Atan2>, 2},
};
const uint32 g_mathFunctionCount = sizeof(g_mathFunctions) / sizeof(g_mathFunctions[0]);

}
