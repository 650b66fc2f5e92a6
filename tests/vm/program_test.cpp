/* The program image: building operations, the listing and error texts. */
#include "vm_test_util.h"

#include <gtest/gtest.h>

TEST(ProgramListing, EveryOperandKindIsListed)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main");
   a.Call("f", 2).Call("ext", 1).PushNull().Push("abc").Push(42);
   a.Var("x").Set("y").Bind("p").Named(OPCODE_INC, "i").Named(OPCODE_DEC, "j").Named(OPCODE_REFERENCE, "attr");
   a.Named(OPCODE_INCP, "k").Named(OPCODE_DECP, "l").Named(OPCODE_ARRAY, "arr");
   a.Pop(2).Count(OPCODE_CAST, ORVA_DT_INT64);
   a.Jump(OPCODE_JMP, 0x1A).Jump(OPCODE_JZ, INVALID_ADDRESS).Jump(OPCODE_JNZ, 2);
   a.Op(OPCODE_ADD).Op(OPCODE_BIT_AND).Op(OPCODE_BIT_NOT).Op(OPCODE_GET_ELEMENT).Op(OPCODE_SET_ELEMENT);
   a.Op(OPCODE_RET_NULL);
   a.Function("f").Op(OPCODE_RET);
   p.AddInstruction(new ORVA_Instruction(27, OPCODE_CASE, new ORVA_Value(1.5)));
   p.AddInstruction(new ORVA_Instruction(28, 200));
   p.ResolveFunctions();

   EXPECT_EQ(p.Listing(),
             "0000  CALL    0019, 2\n"
             "0001  CALL    ext, 1\n"
             "0002  PUSH    <null>\n"
             "0003  PUSH    \"abc\"\n"
             "0004  PUSH    \"42\"\n"
             "0005  PUSH    x\n"
             "0006  SET     y\n"
             "0007  BIND    p\n"
             "0008  INC     i\n"
             "0009  DEC     j\n"
             "000A  REF     attr\n"
             "000B  INCP    k\n"
             "000C  DECP    l\n"
             "000D  ARRAY   arr\n"
             "000E  POP     2\n"
             "000F  CAST    [int64]\n"
             "0010  JMP     001A\n"
             "0011  JZ      FFFFFFFF\n"
             "0012  JNZ     0002\n"
             "0013  ADD     \n"
             "0014  BITAND  \n"
             "0015  BITNOT  \n"
             "0016  EGET    \n"
             "0017  ESET    \n"
             "0018  NRET    \n"
             "0019  RET     \n"
             "001A  CASE    \"1.500000\"\n"
             "001B  ???     \n");
}

TEST(ProgramListing, CopiedInstructionsOwnTheirOperands)
{
   TestProgram p;
   ORVA_Instruction *sources[] = {
      new ORVA_Instruction(1, OPCODE_PUSH_VARIABLE, strdup("v")),
      new ORVA_Instruction(2, OPCODE_PUSH_CONSTANT, new ORVA_Value("text")),
      new ORVA_Instruction(3, OPCODE_JZ, 7u),
      new ORVA_Instruction(4, OPCODE_CALL_EXTERNAL, strdup("g"), 3),
   };
   for (ORVA_Instruction *source : sources)
   {
      p.AddInstruction(new ORVA_Instruction(source));
      delete source;
   }
   EXPECT_EQ(p.Listing(), "0000  PUSH    v\n0001  PUSH    \"text\"\n0002  JZ      0007\n0003  CALL    g, 3\n");
}

TEST(ProgramBuilding, ResolveLastJumpTakesTheInnermostOpenJump)
{
   TestProgram empty;
   empty.ResolveLastJump(OPCODE_JZ);
   EXPECT_EQ(empty.CodeSize(), 0u);

   TestProgram p;
   Asm a(&p);
   a.Jump(OPCODE_JZ, INVALID_ADDRESS).Jump(OPCODE_JMP, INVALID_ADDRESS).Jump(OPCODE_JZ, INVALID_ADDRESS);
   a.Jump(OPCODE_JZ, 0).Op(OPCODE_NOP);
   p.ResolveLastJump(OPCODE_JZ);
   a.Op(OPCODE_NOP);
   p.ResolveLastJump(OPCODE_JZ);
   p.ResolveLastJump(OPCODE_JNZ);   // none open: nothing changes
   EXPECT_EQ(p.Listing(),
             "0000  JZ      0006\n"
             "0001  JMP     FFFFFFFF\n"
             "0002  JZ      0005\n"
             "0003  JZ      0000\n"
             "0004  NOP     \n"
             "0005  NOP     \n");
   p.ResolveLastJump(OPCODE_JZ);   // all resolved now
   p.ResolveLastJump(OPCODE_JMP);
   EXPECT_NE(p.Listing().find("0001  JMP     0006\n"), std::string::npos);
   EXPECT_NE(p.Listing().find("0000  JZ      0006\n"), std::string::npos);
}

TEST(ProgramBuilding, CreateJumpAtKeepsTheSourceLine)
{
   TestProgram p;
   p.AddInstruction(new ORVA_Instruction(7, OPCODE_NOP));
   p.AddInstruction(new ORVA_Instruction(8, OPCODE_PUSH_VARIABLE, strdup("x")));
   p.CreateJumpAt(1, 0x30);
   p.CreateJumpAt(2, 0x40);   // past the end: ignored
   p.CreateJumpAt(INVALID_ADDRESS, 0x40);
   EXPECT_EQ(p.Listing(), "0000  NOP     \n0001  JMP     0030\n");

   p.SetIP(1);
   p.Error(ORVA_ERR_INTERNAL);
   EXPECT_STREQ(p.GetErrorText(), "Error 6 in line 8: Internal error");
}

TEST(ProgramBuilding, AddFunction)
{
   TestProgram p;
   Asm a(&p);
   char error[256] = "";
   a.Op(OPCODE_NOP).Op(OPCODE_NOP);
   EXPECT_EQ(p.AddFunction("f", INVALID_ADDRESS, error), 1);
   EXPECT_EQ(p.AddFunction("g", 0, error), 1);
   EXPECT_EQ(p.GetFunctionAddress("f"), 2u);
   EXPECT_EQ(p.GetFunctionAddress("g"), 0u);
   EXPECT_EQ(p.GetFunctionAddress("F"), INVALID_ADDRESS);

   EXPECT_EQ(p.AddFunction("f", 1, error), 0);
   EXPECT_STREQ(error, "Duplicate function name: \"f\"");
   EXPECT_EQ(p.FunctionCount(), 2u);
   EXPECT_EQ(p.GetFunctionAddress("f"), 2u);   // the first definition stays

   // A long name is kept as its first 63 bytes and still reaches its function.
   std::string longName(70, 'n');
   EXPECT_EQ(p.AddFunction(longName.c_str(), 9, error), 1);
   EXPECT_EQ(p.GetFunctionAddress(longName.c_str()), 9u);
   EXPECT_EQ(p.GetFunctionAddress(longName.substr(0, 63).c_str()), 9u);
   EXPECT_EQ(p.GetFunctionAddress(longName.substr(0, 62).c_str()), INVALID_ADDRESS);
}

TEST(ProgramBuilding, DuplicateMessageStaysInTheCallersBuffer)
{
   TestProgram p;
   std::string name(400, 'q');
   char error[512];
   memset(error, 'Z', sizeof(error));
   error[sizeof(error) - 1] = 0;
   EXPECT_EQ(p.AddFunction(name.c_str(), 0, error), 1);
   EXPECT_EQ(p.AddFunction(name.c_str(), 0, error), 0);
   EXPECT_EQ(strlen(error), 255u);
   EXPECT_EQ(std::string(error, 25), "Duplicate function name: ");
   EXPECT_EQ(error[256], 'Z');   // nothing written past 256 bytes
}

TEST(ProgramBuilding, ResolveFunctionsTurnsKnownNamesIntoAddresses)
{
   TestProgram p;
   Asm a(&p);
   a.Function("main").Call("helper", 1).Call("missing", 0).Op(OPCODE_RET_NULL);
   a.Function("helper").Op(OPCODE_RET_NULL);
   p.ResolveFunctions();
   EXPECT_EQ(p.Listing(), "0000  CALL    0003, 1\n0001  CALL    missing, 0\n0002  NRET    \n0003  NRET    \n");
}

TEST(ProgramErrors, TextsCodesAndLines)
{
   TestProgram p;
   Asm a(&p);
   a.Op(OPCODE_NOP).Op(OPCODE_NOP).Op(OPCODE_NOP);

   p.Error(ORVA_ERR_NO_MAIN);   // no instruction is current
   EXPECT_STREQ(p.GetErrorText(), "Error 7 in line 0: main() function not presented");
   EXPECT_EQ(p.IP(), INVALID_ADDRESS);

   p.SetIP(2);
   p.Error(ORVA_ERR_NOT_ARRAY);
   EXPECT_STREQ(p.GetErrorText(), "Error 24 in line 3: Attempt to use array element access operation on non-array");
   EXPECT_EQ(p.IP(), INVALID_ADDRESS);

   p.SetIP(3);   // the end of the code is no instruction
   p.Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
   EXPECT_STREQ(p.GetErrorText(), "Error 1 in line 0: Data stack underflow");

   const int unknown[] = {0, 25, -1, 1000};
   for (int code : unknown)
   {
      p.SetIP(0);
      p.Error(code);
      EXPECT_EQ(std::string(p.GetErrorText()), "Error " + std::to_string(code) + " in line 1: Unknown error code");
   }

   struct
   {
      int code;
      const char *text;
   } messages[] = {
      {2, "Control stack underflow"},
      {3, "Condition value is not a number"},
      {4, "Bad arithmetic conversion"},
      {5, "Invalid operation with NULL value"},
      {8, "Control stack overflow"},
      {9, "Divide by zero"},
      {10, "Invalid operation with real numbers"},
      {11, "Function not found"},
      {12, "Invalid number of function's arguments"},
      {13, "Cannot do automatic type cast"},
      {14, "Left argument of -> must be a reference to object"},
      {15, "Unknown object's attribute"},
      {16, "Requested module not found or cannot be loaded"},
      {17, "Argument is not of string type and cannot be converted to string"},
      {18, "Invalid regular expression"},
      {19, "Function or operation argument is not a whole number"},
      {20, "Invalid operation on object"},
      {21, "Bad (or incompatible) object class"},
      {22, "Variable already exist"},
      {23, "Array index is not an integer"},
   };
   for (const auto &m : messages)
   {
      p.SetIP(INVALID_ADDRESS);
      p.Error(m.code);
      EXPECT_EQ(std::string(p.GetErrorText()), "Error " + std::to_string(m.code) + " in line 0: " + m.text);
   }
}
