/*
 * Run-time errors: the wording of every code and the recording of an error,
 * which also stops the machine.
 */
#include "support/error_text.h"
#include "support/memory.h"
#include "vm/vm.h"
#include "vm/engine.h"
#include "vm/run_limits.h"

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

/* The cause a stop names in the error text, by ORVA_STOP_* reason. */
static const char *StopMessage(int reason)
{
   switch (reason)
   {
      case ORVA_STOP_INSTRUCTIONS: return "Instruction limit reached";
      case ORVA_STOP_TIME: return "Time limit reached";
      case ORVA_STOP_MEMORY: return MemoryRefusalText();
      default: return "Run stopped";
   }
}

int RuntimeErrorLine(uint32 ip, uint32 codeSize, ORVA_Instruction *const *instructions)
{
   // Before main starts (module linking, the search for main) no instruction
   // is current, so the error belongs to no source line.
   if (ip < codeSize && instructions[ip] != nullptr)
      return instructions[ip]->SourceLine();
   return 0;
}

void ORVA_Engine::RecordStop(ORVA_Program *program, int reason)
{
   // A run that an error has ended keeps its error; before main starts
   // (while modules link) no instruction runs, and a stop is recorded.
   const bool failed = program->m_ip == INVALID_ADDRESS && program->m_body->engine != nullptr &&
                       program->m_body->engine->Running();
   if (program->m_body->stopReason == ORVA_STOP_NONE && !failed)
   {
      program->m_body->stopReason = reason;
      // Work refused before it started did not reach the limit: the text
      // says why the run stopped all the same.
      const char *refused = TakeStopNote();
      char note[128] = "";
      if (refused != nullptr)
         snprintf(note, sizeof(note), " (%s was refused: its worst case could pass the limit)", refused);
      const int line = RuntimeErrorLine(program->m_ip, program->m_codeSize, program->m_instructions);
      char message[256];
      snprintf(message, sizeof(message), "%s%s", StopMessage(reason), note);
      if (program->m_body->engine != nullptr)
         RecordErrorTrace(program->m_body->engine, program->m_ip);
      free(program->m_errorText);
      program->m_errorText = ErrorTextCopy(nullptr, line, message);
      program->RecordErrorParts(0, line);
   }
   program->m_ip = INVALID_ADDRESS;
}

void ORVA_Engine::RecordError(ORVA_Program *program, int code)
{
   // The first stop of a run is what ended it; later errors of the run
   // (a host function failing as it gives up) do not replace it.
   const ORVA_Engine *engine = program->m_body->engine;
   if (program->m_body->stopReason != ORVA_STOP_NONE && engine != nullptr && engine->Running())
   {
      program->m_ip = INVALID_ADDRESS;
      return;
   }
   // An allocation the run was refused is what went wrong, whatever the
   // operation that met the refusal made of it: the run stops for memory.
   if (MemoryRefused())
   {
      RecordStop(program, ORVA_STOP_MEMORY);
      return;
   }
   free(program->m_errorText);
   const int line = RuntimeErrorLine(program->m_ip, program->m_codeSize, program->m_instructions);
   program->m_errorText = ErrorTextCopy(&code, line, RuntimeErrorMessage(code));
   program->RecordErrorParts(code, line);
   if (program->m_body->engine != nullptr)
   {
      RecordErrorTrace(program->m_body->engine, program->m_ip);
      // A debugger sees the run before the error ends it.
      if (program->m_body->engine->m_debug != nullptr && program->m_body->engine->Running())
         program->m_body->engine->DebugError(code, program->m_ip);
   }
   program->m_ip = INVALID_ADDRESS;
}

// The program's errors are recorded by the engine, as its stops are.
void ORVA_Program::Error(int code)
{
   ORVA_Engine::RecordError(this, code);
}

void ORVA_Program::RecordErrorParts(int code, int line)
{
   m_body->errorCode = code;
   m_body->errorLine = line;
   m_body->errorFunction[0] = '\0';
   m_body->errorArgumentCount = -1;
   // A call that failed is still the current instruction, and it holds the
   // name it called until the linker resolves it, which a missing function
   // never is.
   if ((code == ORVA_ERR_NO_FUNCTION || code == ORVA_ERR_INVALID_ARGUMENT_COUNT) && m_ip < m_codeSize &&
       m_instructions[m_ip] != nullptr && m_instructions[m_ip]->m_opCode == OPCODE_CALL_EXTERNAL &&
       m_instructions[m_ip]->m_operand.name != nullptr)
   {
      snprintf(m_body->errorFunction, sizeof(m_body->errorFunction), "%s", m_instructions[m_ip]->m_operand.name);
      m_body->errorArgumentCount = m_instructions[m_ip]->m_stackItems;
   }
}

const char *ORVA_Program::GetErrorMessage() const
{
   // Every run-time error text is "Error[ CODE] in line LINE: MESSAGE".
   if (m_errorText == nullptr || (m_body->errorCode == 0 && m_body->errorLine == 0 && m_body->stopReason == ORVA_STOP_NONE))
      return "";
   const char *colon = strstr(m_errorText, ": ");
   return (colon != nullptr) ? colon + 2 : m_errorText;
}
