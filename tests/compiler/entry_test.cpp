#include "compiler_test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

TEST(ORVACompile, ReturnsAFinishedProgramAndLeavesTheBufferAlone)
{
   char buffer[16] = "untouched";
   ORVA_Program *program = ORVACompile("sub f() { } sub main() { return f(); }", buffer, sizeof(buffer));
   ASSERT_NE(nullptr, program);
   EXPECT_STREQ("untouched", buffer);
   EXPECT_EQ(4u, program->CodeSize());
   delete program;
}

TEST(ORVACompile, ErrorTextIsCutToTheBuffer)
{
   char buffer[10];
   memset(buffer, 'z', sizeof(buffer));
   EXPECT_EQ(nullptr, ORVACompile("1 2", buffer, sizeof(buffer)));
   EXPECT_STREQ("Error in ", buffer);

   char one[1] = {'z'};
   EXPECT_EQ(nullptr, ORVACompile("1 2", one, 1));
   EXPECT_EQ(0, one[0]);

   // No buffer, or no room in it: nothing is written.
   EXPECT_EQ(nullptr, ORVACompile("1 2", nullptr, 100));
   EXPECT_EQ(nullptr, ORVACompile("1 2", one, 0));
   EXPECT_EQ(nullptr, ORVACompile(nullptr, nullptr, 0));
}

TEST(CompilerObject, KeepsTheFirstErrorCutTo1023Characters)
{
   ORVA_Compiler compiler;
   compiler.m_lexer = new ORVA_LexerInput(&compiler, "");
   compiler.m_lexer->m_currLine = 7;
   compiler.Error(std::string(2000, 'm').c_str());
   compiler.m_lexer->m_currLine = 8;
   compiler.Error("second");
   ASSERT_NE(nullptr, compiler.m_errorText);
   EXPECT_EQ(1023u, strlen(compiler.m_errorText));
   EXPECT_EQ(0, strncmp("Error in line 7: mmm", compiler.m_errorText, 20));
   // The parts are those of the first error, its message cut with the text.
   EXPECT_EQ(7, compiler.m_errorLine);
   EXPECT_EQ(std::string(1023 - strlen("Error in line 7: "), 'm'), compiler.m_errorText + compiler.m_errorMessageAt);
}

TEST(CompilerObject, AnErrorBeforeTheTextIsReadBelongsToLineZero)
{
   ORVA_Compiler compiler;
   compiler.Error("memory exhausted");
   ASSERT_NE(nullptr, compiler.m_errorText);
   EXPECT_STREQ("Error in line 0: memory exhausted", compiler.m_errorText);
   EXPECT_EQ(0, compiler.m_errorLine);
   EXPECT_STREQ("memory exhausted", compiler.m_errorText + compiler.m_errorMessageAt);
}

TEST(ORVACompile, GivesTheErrorInParts)
{
   const char *const sources[] = {"sub main() {\n   x = 1;\n   y = ;\n}", "1 2", "sub main() { \"open"};
   for (const char *source : sources)
   {
      char text[1024];
      ASSERT_EQ(nullptr, ORVACompile(source, text, sizeof(text)));
      ORVA_CompileError error;
      error.m_line = -5;
      ASSERT_EQ(nullptr, ORVACompile(source, &error)) << source;
      EXPECT_STREQ(text, error.m_text);
      EXPECT_EQ("Error in line " + std::to_string(error.m_line) + ": " + error.m_message, std::string(text));
   }
   ORVA_CompileError error;
   ASSERT_EQ(nullptr, ORVACompile(sources[0], &error));
   EXPECT_EQ(3, error.m_line);
   EXPECT_EQ(0, strncmp(error.m_message, "syntax error, unexpected ", 25)) << error.m_message;

   // A compile that succeeds leaves the parts empty; no error to give is no fault.
   memset(&error, 'z', sizeof(error));
   ORVA_Program *program = ORVACompile("sub main() { return 1; }", &error);
   ASSERT_NE(nullptr, program);
   delete program;
   EXPECT_EQ(0, error.m_line);
   EXPECT_STREQ("", error.m_message);
   EXPECT_STREQ("", error.m_text);
   EXPECT_EQ(nullptr, ORVACompile("1 2", static_cast<ORVA_CompileError *>(nullptr)));
}

TEST(CompilerObject, LoopLevelsTreatAddressZeroAsAnAddress)
{
   ORVA_Compiler compiler;
   ORVA_Program program;
   EXPECT_EQ(INVALID_ADDRESS, compiler.PeekAddress());
   compiler.AddBreakAddress(5);   // no level open: ignored
   compiler.CloseBreakLevel(&program);

   compiler.OpenLoop(0);
   EXPECT_EQ(0u, compiler.PeekAddress());
   program.AddInstruction(new ORVA_Instruction(1, OPCODE_NOP));
   compiler.AddBreakAddress(0);
   program.AddInstruction(new ORVA_Instruction(1, OPCODE_NOP));
   EXPECT_EQ(0u, compiler.PopAddress());
   compiler.CloseLoop(&program);
   char *listing = nullptr;
   size_t length = 0;
   FILE *stream = open_memstream(&listing, &length);
   program.Dump(stream);
   fclose(stream);
   EXPECT_EQ("0000  JMP     0002\n0001  NOP     \n", std::string(listing, length));
   free(listing);

   // Levels still open when the compile ends are released by the destructor.
   compiler.OpenLoop(1);
   compiler.OpenSwitch();
   compiler.AddBreakAddress(1);
}

namespace
{
std::string TempFile(const void *data, size_t size)
{
   char name[] = "/tmp/orva_load_XXXXXX";
   int fd = mkstemp(name);
   EXPECT_GE(fd, 0);
   EXPECT_EQ(static_cast<ssize_t>(size), write(fd, data, size));
   close(fd);
   return name;
}
}

TEST(ORVALoadFile, ReadsBytesAndTurnsZerosIntoSpaces)
{
   std::string empty = TempFile("", 0);
   uint32 size = 99;
   char *text = ORVALoadFile(empty.c_str(), &size);
   ASSERT_NE(nullptr, text);
   EXPECT_EQ(0u, size);
   EXPECT_STREQ("", text);
   free(text);

   std::string zeros = TempFile("a\0b", 3);
   text = ORVALoadFile(zeros.c_str(), &size);
   ASSERT_NE(nullptr, text);
   EXPECT_EQ(3u, size);
   EXPECT_STREQ("a b", text);
   free(text);

   // Larger than one read piece, with a carriage return kept as it is.
   std::string big(40000, 'q');
   big[20000] = '\r';
   std::string bigFile = TempFile(big.data(), big.size());
   text = ORVALoadFile(bigFile.c_str(), &size);
   ASSERT_NE(nullptr, text);
   EXPECT_EQ(40000u, size);
   EXPECT_EQ(big, std::string(text));
   free(text);

   unlink(empty.c_str());
   unlink(zeros.c_str());
   unlink(bigFile.c_str());
}

TEST(ORVALoadFile, FailuresReturnNull)
{
   uint32 size = 77;
   EXPECT_EQ(nullptr, ORVALoadFile("/nonexistent/orva/file.orva", &size));
   EXPECT_EQ(77u, size);
   EXPECT_EQ(nullptr, ORVALoadFile(nullptr, &size));
   // A directory opens but cannot be read.
   EXPECT_EQ(nullptr, ORVALoadFile("/tmp", &size));
}

// A file whose stated size is more than it delivers (as many files under
// /sys do) ends the reading instead of spinning on reads that return
// nothing, and fails.
TEST(ORVALoadFile, FileShorterThanItsSizeFails)
{
   const char *name = "/sys/devices/system/cpu/online";
   if (access(name, R_OK) != 0)
      GTEST_SKIP() << "no short file to read";
   uint32 size = 0;
   char *text = ORVALoadFile(name, &size);
   EXPECT_EQ(nullptr, text);
   free(text);
}
