/*
 * Run-time errors: the wording of every code and the recording of an error,
 * which also stops the machine.
 */
#include "support/memory.h"
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

void ORVA_Program::Error(int code)
{
   free(m_errorText);
   m_errorText = nullptr;

   // Before main starts (module linking, the search for main) no instruction
   // is current, so the error belongs to no source line.
   int line = 0;
   if (m_ip < m_codeSize && m_instructions[m_ip] != nullptr)
      line = m_instructions[m_ip]->SourceLine();

   // An allocation the run was refused is what went wrong, whatever the
   // operation that met the refusal made of it: the run stops for memory.
   char buffer[1024];
   if (MemoryRefused())
      snprintf(buffer, sizeof(buffer), "Error in line %d: %s", line, MemoryRefusalText());
   else
      snprintf(buffer, sizeof(buffer), "Error %d in line %d: %s", code, line, RuntimeErrorMessage(code));
   m_errorText = strdup(buffer);
   m_ip = INVALID_ADDRESS;
}
