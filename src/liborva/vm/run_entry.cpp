/*
 * A run from the host's call to its tear-down: the engine made for a
 * program, a run claimed or refused, the arguments handed in, the modules
 * linked, the entry function run, and the program put back as it was.
 */
#include "vm/engine.h"
#include "support/error_text.h"
#include "support/memory.h"
#include "values/array_cycle.h"
#include "vm/vm.h"
#include "vm/host_context.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

static void ForgetRefusal(const ORVA_Program *program);

void DeleteEngine(ORVA_Engine *engine)
{
   if (engine != nullptr)
      ForgetRefusal(engine->Program());
   delete engine;
}

ORVA_Engine::~ORVA_Engine()
{
   delete m_run;
   delete m_prepared;
   // The spare state was credited when its run ended: a run under way on
   // this thread (a host function that deletes a program) gains nothing.
   ORVA_MemoryBudget *budget = g_orvaBudget;
   g_orvaBudget = nullptr;
   delete m_spareRun;
   g_orvaBudget = budget;
}

ORVA_Engine *ORVA_Engine::Of(ORVA_Program *program)
{
   // Two threads may reach a program's first run at once (and one of them
   // must then be refused): the engine is made once, under a lock.
   static std::mutex s_making;
   std::lock_guard<std::mutex> hold(s_making);
   if (program->m_body->engine == nullptr)
      program->m_body->engine = new (std::nothrow) ORVA_Engine(program);
   return program->m_body->engine;
}

/*
 * A run refused because the program was running already cannot write the
 * program's error text, which belongs to the run under way (perhaps on
 * another thread): the refused thread reads its own text instead, until it
 * runs the program itself.
 */
static thread_local const ORVA_Program *t_refusedProgram = nullptr;

/* The refused thread's text, written once. */
static const char *BusyText()
{
   static char text[64];
   static const size_t written = FormatErrorText(text, sizeof(text), nullptr, 0, "Program is already running");
   (void)written;
   return text;
}

const char *ORVA_Program::GetErrorText() const
{
   return (t_refusedProgram == this) ? BusyText() : m_errorText;
}

static void ForgetRefusal(const ORVA_Program *program)
{
   if (t_refusedProgram == program)
      t_refusedProgram = nullptr;
}

void ORVA_Engine::UseGeneralPathsOnly(ORVA_Program *program, bool generalOnly)
{
   ORVA_Engine *engine = Of(program);
   if (engine != nullptr && !engine->Running())
      engine->m_fastPathsOff = generalOnly;
}

int ORVA_Program::Run(ORVA_Environment *env, uint32 argc, ORVA_Value **argv, ORVA_VariableSystem *locals,
                      ORVA_VariableSystem **globalsOut)
{
   return RunEntry("main", ORVA_ERR_NO_MAIN, env, argc, argv, locals, globalsOut);
}

int ORVA_Program::RunFunction(ORVA_Environment *env, const char *name, uint32 argc, ORVA_Value **argv,
                              ORVA_VariableSystem *locals, ORVA_VariableSystem **globalsOut)
{
   return RunEntry((name != nullptr) ? name : "", ORVA_ERR_NO_FUNCTION, env, argc, argv, locals, globalsOut);
}

const char *ORVA_Program::GetErrorTrace() const
{
   return (m_body->engine != nullptr) ? m_body->engine->Trace() : "";
}

int ORVA_Program::RunEntry(const char *entry, int missingCode, ORVA_Environment *env, uint32 argc, ORVA_Value **argv,
                           ORVA_VariableSystem *locals, ORVA_VariableSystem **globalsOut)
{
   ORVA_Engine *engine = ORVA_Engine::Of(this);
   // A run under way owns the machine; another Run of the same program (a
   // nested one from a host function, or one on another thread) is refused,
   // but what it was handed is still released.
   if (engine == nullptr)
   {
      // No run can be under way without an engine: the text is the program's.
      delete env;
      for (uint32 i = 0; argv != nullptr && i < argc; i++)
         delete argv[i];
      delete locals;
      free(m_errorText);
      m_errorText = ErrorTextCopy(nullptr, 0, "Out of memory");
      m_body->stopReason = ORVA_STOP_MEMORY;
      return -1;
   }
   if (!engine->Claim())
   {
      delete env;
      for (uint32 i = 0; argv != nullptr && i < argc; i++)
         delete argv[i];
      delete locals;
      t_refusedProgram = this;
      return -1;
   }
   ForgetRefusal(this);
   engine->ClearTrace();

   const uint32 savedCodeSize = m_codeSize;
   const uint32 savedFunctionCount = m_functionCount;

   delete m_result;
   m_result = nullptr;
   m_ip = INVALID_ADDRESS;
   m_callDepth = 0;
   // Every run starts unstopped: a Stop made while none was under way is
   // dropped rather than ending a run the host starts later.
   m_body->stopReason = ORVA_STOP_NONE;
   RecordErrorParts(0, 0);
   m_body->stopRequest.store(0, std::memory_order_relaxed);

   // Everything the run takes from here to the end of its tear-down counts
   // against the environment's ceiling.
   ORVA_MemoryBudget budget;
   ORVA_BudgetScope budgetScope(&budget);
   ORVA_CycleCollector::RunBegins();

   /*
    * No std::bad_alloc leaves a run: one met on the way stops the run with
    * "Out of memory" (the step that met it gave up what it held), and the
    * tear-down below runs as after any error.
    */
   ORVA_Library *library = nullptr;
   bool locked = false;
   bool begun = false;
   ORVA_VariableSystem *snapshot = nullptr;
   ORVA_RunLimits linking;   // the clock of the run counts from here, linking included
   std::optional<ORVA_RunContext> context;
   try
   {
      m_environment = env;
      env = nullptr;
      if (m_environment == nullptr)
         m_environment = new ORVA_Environment();
      budget.limit = ORVA_Engine::MemoryLimitOf(m_environment);
      m_locals = locals;
      locals = nullptr;
      if (m_locals == nullptr)
         m_locals = new ORVA_VariableSystem();

      // No argument vector holds no arguments, whatever the count says: a
      // stray count must not make billions of null arguments.  (An absent $i
      // reads as null anyway.)
      if (argv == nullptr)
         argc = 0;
      char name[16];
      for (uint32 i = 0; i < argc; i++)
      {
         ORVA_Value *value = (argv[i] != nullptr) ? argv[i] : new ORVA_Value();
         argv[i] = nullptr;   // the scope has it now, or dropped it
         m_locals->Create(ArgumentName(name, i + 1), value);
      }
      argc = 0;

      snapshot = new ORVA_VariableSystem(m_globals);

      // Host functions (and modules found by a host's environment) reach
      // the environment from here until it goes.
      context.emplace(m_environment);

      // Linking copies the modules' code out of the script library, so the
      // library's lock is held for that step alone: the run after it never
      // reads the library, and other hosts may use and change it meanwhile.
      // (The lock is recursive: a host that holds it around Run still may.)
      // A module compiled now counts against the run's time limit.
      EnterRunLimits(&linking, this, 0, ORVA_Engine::TimeLimitOf(m_environment));
      library = ORVA_Engine::LibraryOf(m_environment);
      if (library != nullptr && m_preloadCount > 0)
      {
         library->Lock();
         locked = true;
      }
      bool linked = true;
      for (uint32 i = 0; i < m_preloadCount; i++)
      {
         // A name already linked under another spelling of its letters is the
         // same module; asking the environment again could look for a file of
         // that exact spelling and fail.
         if (IsModuleLinked(m_preloadList[i]))
            continue;
         const bool used = m_environment->UseModule(this, m_preloadList[i]) != 0;
         // A module whose compile ran out of time or memory was not missing.
         if (!used || !TimeIsLeft() || MemoryRefused())
         {
            if (m_body->stopReason == ORVA_STOP_NONE)
               Error(used ? ORVA_ERR_INTERNAL : ORVA_ERR_MODULE_NOT_FOUND);
            linked = false;
            break;
         }
      }
      if (locked)
      {
         library->Unlock();
         locked = false;
      }
      LeaveRunLimits(&linking);

      if (linked)
      {
         // Found as a call by name finds a script function: the program's own
         // first, then those of the modules just linked.
         const uint32 entryAddress = GetFunctionAddress(entry);
         if (entryAddress == INVALID_ADDRESS)
         {
            Error(missingCode);
         }
         else if (engine->Begin(entryAddress, &linking))
         {
            begun = true;
            engine->Execute();
            // A refusal met in the last steps, after the loop's last look.
            if (m_ip != INVALID_ADDRESS && MemoryRefused())
               Error(ORVA_ERR_INTERNAL);
            // A stop noticed by code the loop ran inline may find the loop
            // already past the end; the run failed all the same.
            if (m_body->stopReason != ORVA_STOP_NONE)
               m_ip = INVALID_ADDRESS;
            if (m_ip != INVALID_ADDRESS)
               m_result = engine->PopResult();
         }
      }
   }
   catch (const std::bad_alloc &)
   {
      if (locked)
         library->Unlock();
      LeaveRunLimits(&linking);
      MemoryExhausted();
      Error(ORVA_ERR_INTERNAL);   // words the refusal: "Out of memory"
      begun = engine->Running();
   }
   // What the run was handed and did not take over yet.
   delete env;
   delete locals;
   for (uint32 i = 0; argv != nullptr && i < argc; i++)
      delete argv[i];

   // Tear-down: the program returns to the state it had before the run.
   if (snapshot != nullptr)
   {
      if (globalsOut != nullptr)
         *globalsOut = m_globals;
      else
         delete m_globals;
      m_globals = snapshot;
   }
   else if (globalsOut != nullptr)
      *globalsOut = nullptr;   // the globals could not be kept apart: the program keeps them

   if (begun)
      engine->EndCallers();
   context.reset();
   delete m_environment;
   m_environment = nullptr;
   if (begun)
      engine->End();
   else
      delete m_locals;
   m_locals = nullptr;
   m_callDepth = 0;

   ReleaseAppended(m_modules, m_moduleCount);
   m_modules = nullptr;
   m_moduleCount = 0;
   m_body->moduleForms.clear();

   for (uint32 i = savedCodeSize; i < m_codeSize; i++)
      delete m_instructions[i];
   m_codeSize = savedCodeSize;
   m_functionCount = savedFunctionCount;

   // Arrays the run left holding each other go now, and no candidate of
   // the run waits on this thread for a later one.
   ORVA_CycleCollector::RunEnds();
   // The outcome is read before the program is free: another thread may
   // start the next run the moment it is.
   const int rc = (m_ip != INVALID_ADDRESS) ? 0 : -1;
   engine->Release();
   return rc;
}
