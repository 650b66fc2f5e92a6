/*
 * Run-time errors: the wording of every code and the recording of an error,
 * which also stops the machine.
 */
#include "vm/vm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char *const s_errorMessages[] = {
   "Data stack underflow",
   "Control stack underflow",
   "Condition value is not a number",
   "Bad arithmetic conversion",
   "Invalid operation with NULL value",
   "Internal error",
   "main() function not presented",
   "Control stack overflow",
   "Divide by zero",
   "Invalid operation with real numbers",
   "Function not found",
   "Invalid number of function's arguments",
   "Cannot do automatic type cast",
   "Left argument of -> must be a reference to object",
   "Unknown object's attribute",
   "Requested module not found or cannot be loaded",
   "Argument is not of string type and cannot be converted to string",
   "Invalid regular expression",
   "Function or operation argument is not a whole number",
   "Invalid operation on object",
   "Bad (or incompatible) object class",
   "Variable already exist",
   "Array index is not an integer",
   "Attempt to use array element access operation on non-array",
};

const char *RuntimeErrorMessage(int code)
{
   const int count = static_cast<int>(sizeof(s_errorMessages) / sizeof(s_errorMessages[0]));
   if (code < 1 || code > count)
      return "Unknown error code";
   return s_errorMessages[code - 1];
}

int RuntimeErrorLine(uint32 ip, uint32 codeSize, ORVA_Instruction *const *instructions)
{
   // Before main starts (module linking, the search for main) no instruction
   // is current, so the error belongs to no source line.
   if (ip < codeSize && instructions[ip] != nullptr)
      return instructions[ip]->SourceLine();
   return 0;
}

char *RuntimeErrorText(int code, int line, const char *message)
{
   char buffer[1024];
   snprintf(buffer, sizeof(buffer), "Error %d in line %d: %s", code, line, message);
   return strdup(buffer);
}

void ORVA_Program::Error(int code)
{
   free(m_errorText);
   m_errorText = RuntimeErrorText(code, RuntimeErrorLine(m_ip, m_codeSize, m_instructions), RuntimeErrorMessage(code));
   if (m_engine != nullptr)
      RecordErrorTrace(m_engine, m_ip);
   m_ip = INVALID_ADDRESS;
}
