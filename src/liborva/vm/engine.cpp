/*
 * The execution engine: a run from preparation to tear-down, the variables
 * of a run found by name, and the instructions that the loop leaves to
 * plain functions (external calls, attributes, declarations by name).
 *
 * The interpreter loop never recurses: a script call pushes a frame and the
 * loop carries on at the callee's first instruction, so the nesting of
 * script calls is bounded by MAX_CALL_DEPTH alone.
 */
#include "vm/engine.h"
#include "support/memory.h"
#include "values/array_cycle.h"
#include "vm/vm.h"
#include "vm/host_context.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

typedef ORVA_EngineAccess Access;

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
}

ORVA_Engine *ORVA_Engine::Of(ORVA_Program *program)
{
   // Two threads may reach a program's first run at once (and one of them
   // must then be refused): the engine is made once, under a lock.
   static std::mutex s_making;
   std::lock_guard<std::mutex> hold(s_making);
   if (program->m_engine == nullptr)
      program->m_engine = new (std::nothrow) ORVA_Engine(program);
   return program->m_engine;
}

/*
 * A run refused because the program was running already cannot write the
 * program's error text, which belongs to the run under way (perhaps on
 * another thread): the refused thread reads its own text instead, until it
 * runs the program itself.
 */
static thread_local const ORVA_Program *t_refusedProgram = nullptr;
static const char BUSY_TEXT[] = "Error in line 0: Program is already running";

const char *ORVA_Program::GetErrorText() const
{
   return (t_refusedProgram == this) ? BUSY_TEXT : m_errorText;
}

static void ForgetRefusal(const ORVA_Program *program)
{
   if (t_refusedProgram == program)
      t_refusedProgram = nullptr;
}

void ORVA_Engine::UsePlainPaths(ORVA_Program *program, bool plain)
{
   ORVA_Engine *engine = Of(program);
   if (engine != nullptr && !engine->Running())
      engine->m_plainPaths = plain;
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
   return (m_engine != nullptr) ? m_engine->Trace() : "";
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
      m_errorText = strdup("Error in line 0: Out of memory");
      m_stopReason = ORVA_STOP_MEMORY;
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
   m_stopReason = ORVA_STOP_NONE;
   RecordErrorParts(0, 0);
   m_stopRequest.store(0, std::memory_order_relaxed);

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
            if (m_stopReason == ORVA_STOP_NONE)
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
            if (m_ip != INVALID_ADDRESS && budget.refused != 0)
               Error(ORVA_ERR_INTERNAL);
            // A stop noticed by code the loop ran inline may find the loop
            // already past the end; the run failed all the same.
            if (m_stopReason != ORVA_STOP_NONE)
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

   free(m_modules);
   m_modules = nullptr;
   m_moduleCount = 0;

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

bool ORVA_Engine::Begin(uint32 address, const ORVA_RunLimits *started)
{
   ORVA_Program *program = m_program;
   if (!PreparedIsCurrent())
   {
      delete m_prepared;
      m_prepared = nullptr;
      try
      {
         m_prepared = Prepare(m_plainPaths);
      }
      catch (const std::bad_alloc &)
      {
         MemoryExhausted();
         program->Error(ORVA_ERR_INTERNAL);
         return false;
      }
   }

   // A run may have another environment, and a new table may sit where an
   // old one was: what call sites found before counts for nothing.
   for (ORVA_CallCache &call : m_prepared->calls)
      call = ORVA_CallCache();

   ORVA_RunState *rs = new ORVA_RunState();
   rs->budget = g_orvaBudget;
   if (!rs->GrowStack() || !rs->GrowFrames())
   {
      delete rs;
      program->Error(ORVA_ERR_INTERNAL);
      return false;
   }
   m_run = rs;

   // main's frame: its scope is the one the host handed in, which holds the
   // arguments as $1, $2, ...  Variables of it that main keeps in slots move
   // there (the scope keeps a null value in their place, never read again).
   const ORVA_Region *region = m_prepared->RegionAt(address);
   const uint32 slotCount = (region != nullptr && region->slotted) ? region->slotCount : 0;
   if (!rs->ReserveSlots(slotCount))
   {
      m_run = nullptr;
      delete rs;
      program->Error(ORVA_ERR_INTERNAL);
      return false;
   }
   ORVA_Frame &frame = rs->frames[rs->frameCount++];
   frame.returnPc = m_prepared->CodeSize();
   frame.entry = address;
   frame.slotBase = 0;
   frame.stackBase = 0;
   frame.region = region;
   frame.scope = program->m_locals;
   rs->slotTop = slotCount;
   for (uint32 i = 0; i < slotCount; i++)
      rs->slots[i] = nullptr;
   for (uint32 i = 0; i < slotCount; i++)
   {
      const auto &entry = region->slots[i];
      ORVA_Variable *variable = program->m_locals->Find(m_prepared->names[entry.first].c_str());
      if (variable == nullptr)
         continue;
      rs->slots[entry.second] = Access::Held(variable);
      Access::Held(variable) = rs->pool.Null();
   }

   program->m_ip = address;
   program->m_bindCounter = 1;
   program->m_callDepth = 0;
   const ORVA_Environment *env = program->m_environment;
   EnterRunLimits(&rs->limits, program, env->m_instructionLimit, env->m_timeLimit);
   if (started != nullptr && started->timed)
      rs->limits.deadline = started->deadline;   // the time spent linking is gone
   if (g_orvaBudget != nullptr)
      g_orvaBudget->fuel = &rs->limits.fuel;

   // A global hides the locals of its name.
   try
   {
      rs->shadowed.assign(m_prepared->names.size(), 0);
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      program->Error(ORVA_ERR_INTERNAL);
      return true;   // begun, and stopped at once: the tear-down releases the frame
   }
   for (uint32 i = 0; i < program->m_globals->Count(); i++)
      GlobalAdded(program->m_globals->GetVariable(i));
   // The first entry charges the entry function's length, as a call charges
   // its callee's: straight-line code has no checkpoint of its own.  A run
   // that may not go on is stopped here, and begun all the same.
   ChargeUnits((region != nullptr && region->end > address) ? region->end - address : 1);
   return true;
}

void ORVA_Engine::Shadow(uint32 nameId)
{
   ORVA_RunState *rs = m_run;
   if (nameId >= rs->shadowed.size() || rs->shadowed[nameId])
      return;
   rs->shadowed[nameId] = 1;
   for (uint32 index : m_prepared->nameUses[nameId])
   {
      ORVA_PreparedOp &op = m_prepared->ops[index];
      rs->patches.push_back({index, op.code, op.plain});
      // The fused form gives way to the plain one; the instruction that
      // names the variable itself searches by name.
      if (ByNameCode(op.plain) != op.plain && op.b == nameId)
         op.plain = ByNameCode(op.plain);
      op.code = op.plain;
   }
}

void ORVA_Engine::Unshadow()
{
   ORVA_RunState *rs = m_run;
   while (!rs->patches.empty())
   {
      const ORVA_RunState::Patch &patch = rs->patches.back();
      m_prepared->ops[patch.index].code = patch.code;
      m_prepared->ops[patch.index].plain = patch.plain;
      rs->patches.pop_back();
   }
}

void ORVA_Engine::DisposeFrame(uint32 index)
{
   ORVA_RunState *rs = m_run;
   ORVA_Frame &frame = rs->frames[index];
   const uint32 end = (index + 1 < rs->frameCount) ? rs->frames[index + 1].slotBase : rs->slotTop;
   for (uint32 i = frame.slotBase; i < end && i < rs->slotTop; i++)
   {
      delete rs->slots[i];
      rs->slots[i] = nullptr;
   }
   // main's scope is the program's local scope (the host's, if it gave one).
   delete frame.scope;
   frame.scope = nullptr;
   if (index == 0)
      m_program->m_locals = nullptr;
}

void ORVA_Engine::EndCallers()
{
   ORVA_RunState *rs = m_run;
   // The values left on the data stack, then the locals of every caller,
   // innermost first; the running function's go last, after the environment.
   while (rs->stackTop > rs->stackBottom)
      delete *--rs->stackTop;
   for (uint32 index = rs->frameCount - 1; index-- > 0;)
      DisposeFrame(index);
}

void ORVA_Engine::End()
{
   ORVA_RunState *rs = m_run;
   if (rs->frameCount > 0)
      DisposeFrame(rs->frameCount - 1);
   Unshadow();
   LeaveRunLimits(&rs->limits);
   if (g_orvaBudget != nullptr)
      g_orvaBudget->fuel = nullptr;
   m_run = nullptr;
   delete rs;
}

ORVA_VariableSystem *ORVA_Engine::FrameScope(ORVA_Frame &frame)
{
   if (frame.scope == nullptr)
   {
      frame.scope = new (std::nothrow) ORVA_VariableSystem();
      if (frame.scope == nullptr)
      {
         MemoryExhausted();   // callers see no scope and fail their step
         return nullptr;
      }
      if (&frame == &m_run->Top())
         m_program->m_locals = frame.scope;
   }
   return frame.scope;
}

ORVA_Value **ORVA_Engine::LocalHome(const char *name, bool create)
{
   if (name == nullptr)
      name = "";
   ORVA_RunState *rs = m_run;
   ORVA_Frame &frame = rs->Top();
   if (frame.region != nullptr && frame.region->slotted)
   {
      const uint32 id = m_prepared->NameId(name);
      const uint32 slot = (id != NO_SLOT) ? frame.region->SlotOf(id) : NO_SLOT;
      if (slot != NO_SLOT)
      {
         ORVA_Value **home = rs->FrameSlots(frame) + slot;
         if (*home == nullptr)
         {
            if (!create)
               return nullptr;
            *home = rs->pool.Null();
         }
         return home;
      }
   }
   ORVA_VariableSystem *scope = create ? FrameScope(frame) : frame.scope;
   if (scope == nullptr)
      return nullptr;
   ORVA_Variable *variable = scope->Find(name);
   if (variable == nullptr)
   {
      if (!create)
         return nullptr;
      variable = scope->Create(name, rs->pool.Null());
      if (variable == nullptr)
         return nullptr;
   }
   return &Access::Held(variable);
}

ORVA_Value **ORVA_Engine::NamedHome(const char *name)
{
   ORVA_Variable *global = m_program->m_globals->Find((name != nullptr) ? name : "");
   if (global != nullptr)
      return &Access::Held(global);
   return LocalHome(name, true);
}

void ORVA_Engine::StoreLocal(const char *name, ORVA_Value *value)
{
   ORVA_Value **home = LocalHome(name, true);
   if (home == nullptr)
   {
      m_run->pool.Release(value);
      return;
   }
   ORVA_Value *old = *home;
   *home = value;
   m_run->pool.Release(old);
}

void ORVA_Engine::GlobalAdded(ORVA_Variable *variable)
{
   if (m_run == nullptr || m_prepared == nullptr || variable == nullptr)
      return;
   const uint32 id = m_prepared->NameId(variable->Name());
   if (id == NO_SLOT)
      return;
   try
   {
      Shadow(id);
   }
   catch (const std::bad_alloc &)
   {
      // Some operations on the name's slots could not be turned: the run
      // cannot go on right, so it stops.
      MemoryExhausted();
      m_program->Error(ORVA_ERR_INTERNAL);
   }
}

bool ORVA_Engine::BindByName(const char *name)
{
   // BIND k reads $k of the local scope only, k counting the BINDs since
   // the function began.
   char argument[16];
   ArgumentName(argument, static_cast<uint32>(m_program->m_bindCounter++));
   ORVA_Value **source = LocalHome(argument, false);
   ORVA_Value *value = (source != nullptr) ? m_run->pool.Copy(*source) : m_run->pool.Null();
   ORVA_Value **home = LocalHome(name, true);
   if (home == nullptr)
   {
      m_run->pool.Release(value);
      return false;
   }
   ORVA_Value *old = *home;
   *home = value;
   m_run->pool.Release(old);
   return true;
}

void ORVA_Engine::DeclareArray(const char *name)
{
   if (m_program->m_globals->Find((name != nullptr) ? name : "") != nullptr || LocalHome(name, false) != nullptr)
   {
      m_program->Error(ORVA_ERR_VARIABLE_ALREADY_EXIST);
      return;
   }
   ORVA_Value **home = LocalHome(name, true);
   if (home == nullptr)
   {
      m_program->Error(ORVA_ERR_INTERNAL);
      return;
   }
   ORVA_Value *old = *home;
   *home = m_run->pool.Array(new ORVA_Array());
   m_run->pool.Release(old);
}

void ORVA_Engine::ExternalCall(ORVA_ExtFunction *function, int argc)
{
   ORVA_RunState *rs = m_run;
   if ((function->m_argCount != -1 && function->m_argCount != argc) || argc < 0)
   {
      m_program->Error(ORVA_ERR_INVALID_ARGUMENT_COUNT);
      return;
   }
   if (rs->Depth() < static_cast<uint32>(argc))
   {
      m_program->Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   // A refusal that the fast paths met since the last check stops the run
   // before the host sees what the refused operation left.
   if (rs->OutOfMemory())
   {
      m_program->Error(ORVA_ERR_INTERNAL);
      return;
   }
   const uint32 base = rs->Depth() - static_cast<uint32>(argc);
   ORVA_Value *result = nullptr;
   ClearHostErrorMessage();
   int rc;
   try
   {
      rc = function->m_handler(argc, rs->stackBottom + base, &result);
   }
   catch (const std::bad_alloc &)
   {
      // A handler that let the heap's refusal through gave up its step: the
      // run stops with "Out of memory", its arguments still on the stack.
      MemoryExhausted();
      rc = ORVA_ERR_INTERNAL;
   }
   if (rc != 0 || rs->OutOfMemory())
   {
      rs->pool.Release(result);
      HostError(rc);
      return;
   }
   // The handler saw the arguments in place; they go now.
   while (rs->Depth() > base)
      rs->pool.Release(*--rs->stackTop);
   // A handler that succeeds without a result gives the script null.
   rs->Push((result != nullptr) ? result : rs->pool.Null());
}

void ORVA_Engine::HostError(int code)
{
   const char *text = HostErrorMessage();
   if (text == nullptr)
   {
      m_program->Error(code);
      return;
   }
   // The host's words take the place of the code's message; the code and
   // the line of the call stay, as every error text has them.
   const int line = RuntimeErrorLine(m_program->m_ip, m_program->m_codeSize, m_program->m_instructions);
   m_program->Error(code);
   char *replaced = RuntimeErrorText(code, line, text);
   if (replaced != nullptr)
   {
      free(m_program->m_errorText);
      m_program->m_errorText = replaced;
   }
}

void ORVA_Engine::Reference(char *attribute)
{
   ORVA_RunState *rs = m_run;
   ORVA_Value *value = rs->Pop();
   if (value == nullptr)
   {
      m_program->Error(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   if (value->IsObject())
   {
      ORVA_Object *object = value->GetValueAsObject();
      if (object == nullptr || object->Class() == nullptr)
      {
         m_program->Error(ORVA_ERR_INTERNAL);
      }
      else
      {
         ORVA_Value *result = object->Class()->GetAttr(object, attribute);
         if (result == nullptr)
            m_program->Error(ORVA_ERR_NO_SUCH_ATTRIBUTE);
         else
            rs->Push(result);
      }
   }
   else
   {
      m_program->Error(ORVA_ERR_NOT_OBJECT);
   }
   rs->pool.Release(value);
}

bool ORVA_Engine::GoByName()
{
   ORVA_RunState *rs = m_run;
   if (m_prepared->noFastPaths && !CodeChanged())
      return true;   // nothing is in a slot
   ORVA_Prepared *fresh;
   try
   {
      fresh = Prepare(true);
   }
   catch (const std::bad_alloc &)
   {
      MemoryExhausted();
      m_program->Error(ORVA_ERR_INTERNAL);
      return false;
   }
   fresh->reusable = false;

   // Every value in a slot moves to its frame's scope under its name.
   for (uint32 index = 0; index < rs->frameCount; index++)
   {
      ORVA_Frame &frame = rs->frames[index];
      if (frame.region != nullptr && frame.region->slotted)
      {
         for (const auto &entry : frame.region->slots)
         {
            ORVA_Value *&slot = rs->slots[frame.slotBase + entry.second];
            ORVA_Value *value = slot;
            if (value == nullptr)
               continue;
            slot = nullptr;
            ORVA_VariableSystem *scope = FrameScope(frame);
            const char *name = m_prepared->names[entry.first].c_str();
            ORVA_Variable *variable = (scope != nullptr) ? scope->Find(name) : nullptr;
            if (scope == nullptr)
            {
               rs->pool.Release(value);
               m_program->Error(ORVA_ERR_INTERNAL);   // out of memory
            }
            else if (variable != nullptr)
            {
               ORVA_Value *old = Access::Held(variable);
               Access::Held(variable) = value;
               rs->pool.Release(old);
            }
            else if (scope->Create(name, value) == nullptr)
            {
               m_program->Error(ORVA_ERR_INTERNAL);   // the scope dropped the value
            }
         }
      }
      frame.slotBase = 0;
      frame.region = fresh->RegionAt(frame.entry);
   }
   rs->slotTop = 0;
   // The shadows were changes to the code given up here.
   rs->shadowed.clear();
   rs->patches.clear();
   delete m_prepared;
   m_prepared = fresh;
   m_program->m_locals = rs->Top().scope;
   return m_program->m_ip != INVALID_ADDRESS;
}

void ORVA_Program::Execute()
{
   if (m_engine == nullptr || !m_engine->Running() || m_ip >= m_codeSize)
      return;
   m_engine->Step();
}

void ORVA_Program::CallFunction(int argc)
{
   // The caller chooses where the function starts, so the frame cannot know
   // its code: its locals go by name.
   if (m_engine == nullptr || !m_engine->Running())
      return;
   m_engine->EnterCall(INVALID_ADDRESS, argc, nullptr, m_ip + 1);
}

ORVA_VariableSystem *ORVA_Engine::ScopeByName()
{
   if (!GoByName())
      return nullptr;
   return FrameScope(m_run->Top());
}

/* The local scope to search by name: during a run the current function's, with every local in it. */
static ORVA_VariableSystem *ScopeOf(ORVA_Engine *engine, ORVA_VariableSystem *locals)
{
   if (engine != nullptr && engine->Running())
      return engine->ScopeByName();
   return locals;
}

ORVA_Variable *ORVA_Program::FindOrCreateVariable(const char *name)
{
   if (name == nullptr)
      name = "";
   ORVA_Variable *variable = m_globals->Find(name);
   if (variable != nullptr)
      return variable;
   ORVA_VariableSystem *locals = ScopeOf(m_engine, m_locals);
   if (locals == nullptr)
      return nullptr;
   variable = locals->Find(name);
   return (variable != nullptr) ? variable : locals->Create(name, new ORVA_Value());
}

ORVA_Variable *ORVA_Program::CreateVariable(const char *name)
{
   if (name == nullptr)
      name = "";
   ORVA_VariableSystem *locals = ScopeOf(m_engine, m_locals);
   if (locals == nullptr || m_globals->Find(name) != nullptr || locals->Find(name) != nullptr)
      return nullptr;
   return locals->Create(name, new ORVA_Value());
}

void ORVA_Program::SetGlobalVariable(const char *name, ORVA_Value *value)
{
   if (value == nullptr)
      value = new ORVA_Value();
   ORVA_Variable *variable = m_globals->Find(name);
   if (variable == nullptr)
   {
      // A global made while a run is under way hides the local of its name
      // from then on.
      variable = m_globals->Create(name, value);
      if (m_engine != nullptr)
         m_engine->GlobalAdded(variable);
   }
   else if (variable->Value() != value)
   {
      variable->Set(value);
   }
}

ORVA_Variable *ORVA_Program::FindGlobalVariable(const char *name)
{
   return m_globals->Find(name);
}
