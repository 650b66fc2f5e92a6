/*
 * The state of one compile: the lexer input that feeds the scanner and the
 * compiler object that records the first error and keeps the loop and break
 * bookkeeping the grammar actions need to patch jumps.
 */
#ifndef ORVA_COMPILER_H
#define ORVA_COMPILER_H

#include "orva.h"

#include <cstddef>
#include <vector>

/* Longest string literal, in bytes. */
#define MAX_STRING_LITERAL 8192

class ORVA_Compiler;

/*
 * Source text of one compile plus the scanner's per-compile state.  The
 * scanner reaches it as its "extra" pointer.
 */
class ORVA_LexerInput
{
public:
   int32 m_sourceSize;
   int32 m_sourcePos;
   char *m_source;
   ORVA_Compiler *m_compiler;
   int m_language;   // ORVA_LANGUAGE_1 or 2: level 1 never sees level 2's tokens
   int32 m_currLine;
   int32 m_commentLevel;
   int32 m_strSize;
   char m_str[MAX_STRING_LITERAL + 1];

   // Set once the token stream has ended for good (end of text, a lexical
   // error or a scanner failure); every later request yields end of input.
   int m_stopped;
   // True while the scanner proper runs, and a failing scanner allocation
   // can unwind to orva_yylex.
   bool m_scanning;
   // Scanner buffers above this many bytes are refused (0: no limit), so the
   // out-of-memory path can be exercised deliberately.
   size_t m_allocLimit;
   // A scanner buffer header whose text block is still to be allocated; the
   // scanner would lose it if that allocation failed.
   void *m_newBuffer;
   // Bytes the scanner moved back to the start of its buffer at refills and
   // scanned again: the cost of tokens that span a refill.
   uint64 m_carriedBytes;

   ORVA_LexerInput(ORVA_Compiler *compiler, const char *source);
   virtual ~ORVA_LexerInput();
   ORVA_LexerInput(const ORVA_LexerInput &) = delete;
   ORVA_LexerInput &operator=(const ORVA_LexerInput &) = delete;

   int Read(char *buffer, int maxSize);
   void Error(const char *message);
};

class ORVA_Compiler
{
public:
   char *m_errorText;       // the first error, framed: "Error in line LINE: MESSAGE"
   int m_errorLine;         // its parts: the line, and where the message starts in the text
   size_t m_errorMessageAt;
   ORVA_LexerInput *m_lexer;
   ORVA_Stack *m_addrStack;
   ORVA_Stack *m_breakStack;
   int32 m_idOpcode;

   // The language level, and the element opcodes it compiles to.
   int m_language;
   int32 m_getElement;
   int32 m_setElement;
   // The code size right after the last operand that names a place (a
   // variable, an element): ++x and ++a[k] turn that read into the update.
   uint32 m_lvalueEnd;

   // For each open loop, innermost last: how many switch statements are open
   // inside it.  A continue leaves those switches, so it must drop their
   // values from the data stack before it jumps.
   std::vector<int32> m_loopSwitches;

   explicit ORVA_Compiler(int language = ORVA_LANGUAGE_1);
   ~ORVA_Compiler();
   ORVA_Compiler(const ORVA_Compiler &) = delete;
   ORVA_Compiler &operator=(const ORVA_Compiler &) = delete;

   void Error(const char *message);

   // False when the stack could not grow: the compile has failed then.
   bool Push(ORVA_Stack *stack, void *item);
   uint32 PopAddress();
   uint32 PeekAddress();
   void AddBreakAddress(uint32 address);
   void OpenBreakLevel(bool loop);
   void CloseBreakLevel(ORVA_Program *program);

   // Loop and switch levels as the grammar opens and closes them.
   void OpenLoop(uint32 start);
   void CloseLoop(ORVA_Program *program);
   void OpenSwitch();
   void CloseSwitch(ORVA_Program *program);
   // Emits a continue of the innermost loop (which the caller knows is open):
   // a jump to the loop's start, which for a do loop is the first
   // instruction of its body, so the condition is not tested on the way.
   void EmitContinue(ORVA_Program *program, int line);

   // Level 2: ++ and -- before an operand that names a place (opCode INCP
   // or DECP); the walk of for (key, value in array) over its body.
   void StepInPlace(ORVA_Program *program, int opCode, int line);
   void ExpectIn(const char *word);
   void OpenWalk(ORVA_Program *program, char *key, char *value, int line);
   void CloseWalk(ORVA_Program *program, int line);

   // Parses source into a new program without linking its calls or
   // shortening its jumps; null when the compile failed.
   ORVA_Program *Parse(const char *source);
   // As Parse, for the text of the lexer input already in m_lexer.
   ORVA_Program *ParseInput();
   // A finished program, or null with the reason in m_errorText.
   ORVA_Program *Compile(const char *source);
};

#endif
