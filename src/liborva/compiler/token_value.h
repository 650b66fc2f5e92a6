/*
 * The semantic value of a token, one type for the parsers of both language
 * levels, so that they share the scanner.
 */
#ifndef ORVA_TOKEN_VALUE_H
#define ORVA_TOKEN_VALUE_H

#include "orva.h"

union ORVA_TokenValue
{
   int32 i32;
   uint32 u32;
   int64 i64;
   uint64 u64;
   double real;
   char *str;
   ORVA_Value *value;
   ORVA_Instruction *instruction;
   int count;
};

#endif
