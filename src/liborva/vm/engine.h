/*
 * The interpreter kept with a program: the prepared form of its code and,
 * during a run, the run's state.  A friend of ORVA_Program, it works on the
 * program's fields directly (the instruction pointer that error messages
 * read, the globals, the environment) and keeps the rest to itself.
 */
#ifndef ORVA_ENGINE_H
#define ORVA_ENGINE_H

#include "orva.h"
#include "support/regex_cache.h"
#include "vm/program_body.h"
#include "vm/prepared.h"
#include "vm/run_state.h"
#include "vm/run_limits.h"
#include "vm/debug_run.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

/*
 * How the language finds a name: among the globals first, so a global hides
 * every local of its name in every function and an assignment to the name
 * changes the global; only a name that no global holds is a local's, made
 * in the running function when it is missing.  This gives the global that
 * takes the name, or null when the name is left to the locals.  Every
 * lookup by name asks it, and the prepared code's slots give way where it
 * finds a global (ORVA_Engine::Shadow).
 */
inline ORVA_Variable *GlobalOfName(ORVA_VariableSystem *globals, const char *name)
{
   return globals->Find((name != nullptr) ? name : "");
}

/*
 * A declaration makes a new local: it fails where the name is seen already,
 * as a global or as a local of the running function.
 */
inline bool MayDeclare(ORVA_VariableSystem *globals, const char *name, bool localExists)
{
   return !localExists && GlobalOfName(globals, name) == nullptr;
}

/* Writes "$<n>" into buffer (at least 16 bytes), the name of argument n. */
inline const char *ArgumentName(char *buffer, uint32 n)
{
   // Every argument of every run and every group of every match is named
   // here: snprintf's parsing of the format cost more than the rest of it.
   char digits[10];
   int count = 0;
   do
   {
      digits[count++] = static_cast<char>('0' + n % 10);
      n /= 10;
   } while (n != 0);
   buffer[0] = '$';
   for (int i = 0; i < count; i++)
      buffer[1 + i] = digits[count - 1 - i];
   buffer[1 + count] = 0;
   return buffer;
}

class ORVA_Engine
{
public:
   explicit ORVA_Engine(ORVA_Program *program) : m_program(program) {}
   ~ORVA_Engine();
   ORVA_Engine(const ORVA_Engine &) = delete;
   ORVA_Engine &operator=(const ORVA_Engine &) = delete;

   // The engine of a program, made on first use.
   static ORVA_Engine *Of(ORVA_Program *program);

   // For tests: run this program without any fast path (no fusions, no
   // typed shortcuts, every name by name), as a build without them would.
   static void UseGeneralPathsOnly(ORVA_Program *program, bool generalOnly);

   bool Running() const { return m_run != nullptr; }
   const ORVA_Program *Program() const { return m_program; }

   // One run of a program at a time: Claim makes the caller its runner, or
   // is false while a run is under way (on this thread or another); the
   // runner Releases when its run has been torn down.
   bool Claim() { return !m_claimed.exchange(true, std::memory_order_acquire); }
   void Release() { m_claimed.store(false, std::memory_order_release); }

   // The program's side of a stop (run_limits.h): RecordStop makes the
   // first stop of a run its reason and error text and stops the machine.
   static void RecordStop(ORVA_Program *program, int reason);
   // The compiler vouches that no host class reaches the program's code.
   static void MarkMadeByCompiler(ORVA_Program *program);
   // The prepared form of a module's code, for linking it into main.
   static std::shared_ptr<const ORVA_Prepared> LinkForm(ORVA_Program *main, ORVA_Program *module);
   static ORVA_Library *LibraryOf(const ORVA_Environment *env) { return env->m_library; }
   static int StopReasonOf(const ORVA_Program *program) { return program->m_body->stopReason; }
   static uint64 MemoryLimitOf(const ORVA_Environment *env) { return env->m_body->memoryLimit; }
   static uint32 TimeLimitOf(const ORVA_Environment *env) { return env->m_body->timeLimit; }
   static bool StopIsRequested(const ORVA_Program *program)
   {
      return program->m_body->stopRequest.load(std::memory_order_relaxed) != 0;
   }
   ORVA_RunState *Run() const { return m_run; }
   ORVA_PatternCache &Patterns() { return m_patterns; }   // the program's compiled patterns, kept across runs

   // The calls active when an error stopped the run at address failedAt,
   // kept for GetErrorTrace until the next run clears them.
   void RecordTrace(uint32 failedAt);
   void ClearTrace()
   {
      m_trace.clear();
      m_traceCalls.clear();
   }
   const char *Trace() const { return m_trace.c_str(); }
   // The trail's lines in parts: a call, or (leftOut > 0) the calls left out.
   struct TraceCall
   {
      std::string function;
      int line = 0;
      std::string module;
      uint32 leftOut = 0;
   };
   const std::vector<TraceCall> &TraceCalls() const { return m_traceCalls; }

   // What the call trail and the profiler say of the run: the function
   // entered at entry ("?" when no record names it) and the module that
   // brought it ("" for the program's own), and the line of an address.
   void NameFunction(uint32 entry, std::string *name, std::string *module) const;
   int LineAt(uint32 address) const;
   uint32 Position() const { return m_program->m_ip; }   // as the loop last synced it

   /*
    * A run: Begin prepares the code and the run state and enters the
    * function at address as main is entered (the program's local scope is
    * its scope, the BIND instructions read $1, $2, ...); Execute runs until
    * the machine stops; End tears the run down.  Begin returns false after
    * raising an error.
    */
   bool Begin(uint32 address, const ORVA_RunLimits *started = nullptr);   // started: the limits linking ran under
   void Execute() { Interpret(false); }
   void Step() { Interpret(true); }
   ORVA_Value *PopResult() { return m_run->Pop(); }
   void EndCallers();   // the data stack and the callers' locals
   void End();          // the running function's locals and the run state

   // An error of the run (or of the program outside a run): the program's
   // error text, line and trace, and the machine stopped.  message, when
   // given, takes the place of the code's own in the text.
   static void RecordError(ORVA_Program *program, int code, const char *message = nullptr);
   void Fail(int code) { RecordError(m_program, code); }

   // The general operators, on the values on top of the data stack (the
   // loop's typed shortcuts are in fast_ops.h).  caseLabel is read by CASE
   // alone: its label's constant.  A match at address keeps its compiled
   // expression for the next match there and puts its groups in $1, $2, ...
   // Each raises its own errors.
   void BinaryOperation(int opCode, ORVA_Value *caseLabel);
   void UnaryOperation(int opCode);
   ORVA_Value *MatchRegexp(ORVA_Value *subject, ORVA_Value *pattern, bool ignoreCase, uint32 address);

   // EnterCall makes the frame of a script call whose arguments are on top
   // of the data stack and gives the address to go on at, or INVALID_ADDRESS
   // after raising an error.
   uint32 EnterCall(uint32 target, int argc, const ORVA_Region *region, uint32 returnPc);

   // The current function's scope with every local of the run in it, for a
   // host that asks for a variable object mid-run.
   ORVA_VariableSystem *ScopeByName();

   // The program's public view of the run (m_callDepth, m_locals,
   // m_bindCounter) brought up to date.  The run keeps its own state; the
   // view is written only where a host may look: before its functions and
   // attributes run and whenever the loop returns to it.  (m_ip is written
   // wherever the loop syncs its position, since error texts read it.)
   void SyncHostView()
   {
      const uint32 depth = m_run->frameCount - 1;
      ORVA_VariableSystem *scope = m_run->frames[depth].scope;
      const int32 bindCounter = m_run->bindCounter;
      m_program->m_callDepth = depth;
      m_program->m_locals = scope;
      m_program->m_bindCounter = bindCounter;
   }

   // Names: the home of a variable's value, found as the language finds it.
   ORVA_Value **LocalHome(const char *name, bool create);   // the current function's locals
   ORVA_Value **NamedHome(const char *name);                // the global, else a local, made if missing
   void StoreLocal(const char *name, ORVA_Value *value);    // the local of that name receives value
   void GlobalAdded(const char *name);                      // a global of that name was made

   /*
    * Debugging (debug_run.cpp, debug_view.cpp).  A run whose environment
    * has a debugger keeps its state in m_debug; without one nothing here
    * runs.  DebugTrap is the TRAP code's report at address at: false when
    * the run stopped.  DebugLook is the checkpoints' look at what the host
    * changed meanwhile (breakpoints, a pause request).  DebugError shows
    * the debugger the run an error is about to end.
    */
   bool DebugTrap(uint32 at);
   void DebugLook();
   void DebugError(int code, uint32 at);
   static void DebugLookOf(ORVA_Program *program)
   {
      ORVA_Engine *engine = program->m_body->engine;
      if (engine != nullptr && engine->m_debug != nullptr)
         engine->DebugLook();
   }
   // The view of a paused run, frame 0 the innermost.
   uint32 DebugFrameCount() const;
   const ORVA_DebugRun::FrameView *DebugFrame(uint32 frame);   // null past the last
   ORVA_Value *DebugFind(uint32 frame, const char *name);
   ORVA_VariableSystem *DebugGlobals() const { return m_program->m_globals; }
   static int DebugLineWithCode(ORVA_Program *program, int line);
   static int DebugFunctionLine(ORVA_Program *program, const char *name);

private:
   ORVA_Program *const m_program;
   ORVA_Prepared *m_prepared = nullptr;
   ORVA_DebugRun *m_debug = nullptr;

   void DebugBegin(ORVA_Debugger *debugger);
   void DebugEnd();
   void DebugPrepared();                       // the prepared code was made again: trap it anew
   bool DebugPause(int reason);
   bool StillOnStepLine(uint32 at, uint32 depth) const;
   void DebugTakeChanges();
   void DebugPlaceTraps();
   void DescribeFrame(uint32 frame, ORVA_DebugRun::FrameView &view);
   uint16_t &DebugCodeAt(uint32 index);        // the code an operation runs, under a trap or not
   ORVA_RunState *m_run = nullptr;
   ORVA_RunState *m_spareRun = nullptr;   // the last run's state, emptied, for the next (run_setup.cpp)
   ORVA_RunState *TakeRunState(uint32 slotCount);
   ORVA_PatternCache m_patterns;
   uint64 m_runNumber = 0;   // of the run under way or the last one, from 1
   std::string m_trace;
   std::vector<TraceCall> m_traceCalls;
   std::atomic<bool> m_claimed{false};
#if defined(ORVA_NO_FAST_PATHS)
   bool m_fastPathsOff = true;
#else
   bool m_fastPathsOff = false;
#endif

   // Preparing (prepare.cpp): the form of a program's first codeSize
   // instructions and functionCount records, and whether a form still fits
   // them.  Prepare makes the form of all the code there is.
   static ORVA_Prepared *PrepareCode(const ORVA_Program *program, uint32 codeSize, uint32 functionCount,
                                     bool noFastPaths);
   static bool FormFits(const ORVA_Prepared &form, const ORVA_Program *program, uint32 codeSize,
                        uint32 functionCount);
   bool OwnFormIsCurrent(uint32 codeSize, uint32 functionCount);
   ORVA_Prepared *Prepare(bool noFastPaths) const;
   ORVA_Prepared *PrepareOrFail(bool noFastPaths);   // null after raising the error of a heap that said no
   bool PrepareForRun();                            // false after raising the error

   // A global hides the locals of a name: every operation on their slots
   // goes by name for the rest of the run, which finds the global first.
   // Unshadow puts the prepared code back as it was made.
   void Shadow(uint32 nameId);
   void Unshadow();

   // Calls and returns.
   void ReleaseFrame(ORVA_Frame &frame);            // the top frame, as a return leaves it
   void DisposeFrame(uint32 index);                 // any frame, as the tear-down leaves it
   ORVA_VariableSystem *FrameScope(ORVA_Frame &frame);

   // The instructions that the loop leaves to functions out of line.  Each raises
   // its own errors.
   void ExternalCall(ORVA_ExtFunction *function, int argc);
   bool CallInPlace(ORVA_InPlaceHandler inPlace, ORVA_ExtFunction *function, int argc);   // false: ExternalCall must do it
   // The result of a form that only reads, handed argv where they live; null: the plain call must do it.
   ORVA_Value *CallReading(ORVA_InPlaceHandler inPlace, ORVA_ExtFunction *function, int argc, ORVA_Value **argv);
   const ORVA_CallCache &InPlaceSite(const ORVA_PreparedOp &op, ORVA_ExtHandler handler);
   void HostError(int code);   // a host function returned code, with or without a text of its own
   ORVA_ExtFunction *FindExternal(const ORVA_PreparedOp &op, const char *name);
   void Reference(char *attribute);
   void DeclareArray(const char *name);
   // Language level 2 (keyed_ops.cpp).
   bool KeyOf(ORVA_Value *value, struct ORVA_ElementKey *key);
   void KeyedRead();
   void KeyedWrite(bool statement);
   void UpdateElement(int opCode, ORVA_Value **before = nullptr);
   void Update(int opCode);
   void StepElement(int opCode);
   void Truth();
   void StartWalk();
   bool StepWalk();
   void MakeList(uint32 count);
   void MakeMap(uint32 count);
   bool BindByName(const char *name);

   // A host changed the code of the running program, or reached into the
   // run by hand: the run goes on with every name by name, which is right
   // for any code in any frame.  False after raising an error.
   bool CodeChanged() const
   {
      return m_program->m_codeSize != m_prepared->CodeSize() ||
             m_program->m_functionCount != m_prepared->functions.size();
   }
   bool GoByName();

   void Interpret(bool oneStep);
};

#endif
