/*
 * What a program and an environment keep beyond the fields the public
 * header lists.  Hosts see a pointer only, so that the interpreter's state,
 * atomics and indexes reach no host through orva.h.
 */
#ifndef ORVA_PROGRAM_BODY_H
#define ORVA_PROGRAM_BODY_H

#include "orva.h"

#include <atomic>
#include <memory>
#include <vector>

class ORVA_NameIndex;
struct ORVA_Prepared;

struct ORVA_ProgramBody
{
   // The interpreter kept with the program: the prepared form of its code,
   // reused while the code stays the same, and the stacks and frames of the
   // run under way.  The program's m_dataStack and m_controlStack are not
   // used by it.
   ORVA_Engine *engine = nullptr;

   ORVA_NameIndex *functionIndex = nullptr;   // over m_functions, made on first use

   // Bumped by every method that changes code or function records already
   // there; appending is seen by the counts.  The engine trusts it alone for
   // programs the compiler made: a host can reach the protected code only
   // through a class of its own, whose programs it constructs itself, so
   // those are compared instruction by instruction instead.
   uint64 codeVersion = 0;
   bool madeByCompiler = false;

   // The prepared form of this program's code as a module, by the fast-path
   // mode it was made for: shared by the runs that link it, and made again
   // only when the code changed.
   std::shared_ptr<const ORVA_Prepared> linkForms[2];
   // Those of the modules linked for the run under way, by m_modules.
   std::vector<std::shared_ptr<const ORVA_Prepared>> moduleForms;

   // Stop() from any thread raises the request; the run under way reads it
   // at its checkpoints.  stopReason is the reason of the last run.
   std::atomic<int> stopRequest{0};
   int stopReason = ORVA_STOP_NONE;

   // The parts of the last run's error text, so that hosts can word an
   // error their own way: its code (0 for a stop) and line, and for a call
   // that failed (no such function, a wrong argument count) the name it
   // called and the number of arguments it gave.
   int errorCode = 0;
   int errorLine = 0;
   char errorFunction[64] = "";
   int errorArgumentCount = -1;

   int language = ORVA_LANGUAGE_1;   // the level it was compiled at
};

struct ORVA_EnvironmentBody
{
   uint64 instructionLimit = 0;   // 0: none
   uint32 timeLimit = 0;          // milliseconds; 0: none
   uint64 memoryLimit = 0;        // bytes; 0: none
   ORVA_Profile *profile = nullptr;   // where runs report, or null
   ORVA_Debugger *debugger = nullptr;   // the host's; null: runs are not watched

   ORVA_NameIndex *functionIndex = nullptr;   // over m_functions, made on first use
};

#endif
