/*
 * Helpers for the virtual machine tests: programs assembled instruction by
 * instruction, runs with captured output, and a recorder function that
 * scripts call to report values.
 */
#ifndef ORVA_VM_TEST_UTIL_H
#define ORVA_VM_TEST_UTIL_H

#include "orva.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

/* A program with its protected parts opened up for the tests. */
class TestProgram : public ORVA_Program
{
public:
   using ORVA_Program::DoBinaryOperation;
   using ORVA_Program::Error;
   using ORVA_Program::MatchRegexp;
   using ORVA_Program::FinalJumpDestination;
   using ORVA_Program::GetFunctionAddress;
   using ORVA_Program::RelocateCode;

   void SetIP(uint32 ip) { m_ip = ip; }
   uint32 IP() const { return m_ip; }
   uint32 CallDepth() const { return m_callDepth; }
   const ORVA_VariableSystem *Locals() const { return m_locals; }
   uint32 FunctionCount() const { return m_functionCount; }
   uint32 ModuleCount() const { return m_moduleCount; }

   std::string Listing()
   {
      char *buffer = nullptr;
      size_t size = 0;
      FILE *stream = open_memstream(&buffer, &size);
      Dump(stream);
      fclose(stream);
      std::string text(buffer, size);
      free(buffer);
      return text;
   }
};

/* Appends instructions; each one's source line is its address + 1. */
class Asm
{
   ORVA_Program *m_program;

   Asm &Add(ORVA_Instruction *instruction)
   {
      m_program->AddInstruction(instruction);
      return *this;
   }
   int Line() const { return static_cast<int>(m_program->CodeSize()) + 1; }

public:
   explicit Asm(ORVA_Program *program) : m_program(program) {}

   uint32 Here() const { return m_program->CodeSize(); }
   Asm &Op(int opCode) { return Add(new ORVA_Instruction(Line(), opCode)); }
   Asm &Push(ORVA_Value *value) { return Add(new ORVA_Instruction(Line(), OPCODE_PUSH_CONSTANT, value)); }
   Asm &Push(int32 n) { return Push(new ORVA_Value(n)); }
   Asm &Push(const char *text) { return Push(new ORVA_Value(text)); }
   Asm &PushNull() { return Push(new ORVA_Value()); }
   Asm &Named(int opCode, const char *name) { return Add(new ORVA_Instruction(Line(), opCode, strdup(name))); }
   Asm &Var(const char *name) { return Named(OPCODE_PUSH_VARIABLE, name); }
   Asm &Set(const char *name) { return Named(OPCODE_SET, name); }
   Asm &Bind(const char *name) { return Named(OPCODE_BIND, name); }
   Asm &Jump(int opCode, uint32 target) { return Add(new ORVA_Instruction(Line(), opCode, target)); }
   Asm &Call(const char *name, int argc)
   {
      return Add(new ORVA_Instruction(Line(), OPCODE_CALL_EXTERNAL, strdup(name), argc));
   }
   Asm &Count(int opCode, int count) { return Add(new ORVA_Instruction(Line(), opCode, count)); }
   Asm &Pop(int count = 1) { return Count(OPCODE_POP, count); }
   Asm &Function(const char *name)
   {
      char error[256];
      m_program->AddFunction(name, INVALID_ADDRESS, error);
      return *this;
   }
};

/* Values that the script handed to rec(), one "type:text" entry each. */
extern std::vector<std::string> g_recorded;

int RecordHandler(int argc, ORVA_Value **argv, ORVA_Value **result);

struct RunOutcome
{
   int rc = 0;
   std::string output;
   std::string error;
   int resultType = -1;   // -1: no result
   std::string resultText;
};

/* An environment with rec() and the extra functions given, printing into *stream. */
ORVA_Environment *MakeEnvironment(FILE *stream, const std::vector<ORVA_ExtFunction> &extra = {});

/* Runs the program with the arguments (taken over) and captures what it prints. */
RunOutcome RunProgram(ORVA_Program *program, std::vector<ORVA_Value *> args = {},
                      const std::vector<ORVA_ExtFunction> &extra = {}, ORVA_VariableSystem **globalsOut = nullptr);

/* "type:text" of a value, as the recorder writes it. */
std::string Describe(ORVA_Value *value);

#endif
