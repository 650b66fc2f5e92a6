/*
 * Calls from a script into host functions: the arguments are checked and
 * handed over in place on the data stack, and a host's failure becomes the
 * run's error, in the host's words if it gave any.
 */
#include "vm/engine.h"
#include "support/error_text.h"
#include "support/memory.h"
#include "vm/vm.h"
#include "vm/host_context.h"
#include "vm/in_place_calls.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Environments are made on any thread, each registering the same rows.
static std::atomic<const ORVA_InPlaceCall *> s_inPlaceCalls{nullptr};

void RegisterInPlaceCalls(const ORVA_InPlaceCall *rows)
{
   s_inPlaceCalls.store(rows, std::memory_order_release);
}

const ORVA_InPlaceCall *InPlaceRowOf(ORVA_ExtHandler handler)
{
   const ORVA_InPlaceCall *row = s_inPlaceCalls.load(std::memory_order_acquire);
   if (row == nullptr)
      return nullptr;
   for (; row->handler != nullptr; row++)
      if (row->handler == handler)
         return row;
   return nullptr;
}

// A host function takes argc arguments when it names no count (-1) or that one.
static bool TakesArguments(const ORVA_ExtFunction *function, int argc)
{
   return function->m_argCount == -1 || function->m_argCount == argc;
}

#if !defined(ORVA_NO_FAST_PATHS)
// An in-place form's result in a spare value of the run, or null (the value
// back in the pool) when the form declined.
static ORVA_Value *RunForm(ORVA_RunState *rs, ORVA_InPlaceHandler inPlace, int argc, ORVA_Value **argv)
{
   ORVA_Value *result = rs->pool.Null();
   if (inPlace(argc, argv, result, &rs->byteTexts) == 0)
      return result;
   rs->pool.Release(result);
   return nullptr;
}
#endif

bool ORVA_Engine::CallInPlace(ORVA_InPlaceHandler inPlace, ORVA_ExtFunction *function, int argc)
{
#if defined(ORVA_NO_FAST_PATHS)
   (void)inPlace;
   (void)function;
   (void)argc;
   return false;
#else
   if (m_fastPathsOff)
      return false;
   ORVA_RunState *rs = m_run;
   // Whatever ExternalCall would refuse, it refuses in its own words.
   if (inPlace == nullptr || !TakesArguments(function, argc) || argc < 1 || rs->Depth() < static_cast<uint32>(argc) ||
       MemoryRefused())
      return false;
   ORVA_Value **argv = rs->stackTop - argc;
   ORVA_Value *result = RunForm(rs, inPlace, argc, argv);
   if (result == nullptr)
      return false;
   if (MemoryRefused())
   {
      // As ExternalCall ends a handler that succeeded without the memory it
      // asked for: the arguments stay, and the stop words the error.
      rs->pool.Release(result);
      ClearHostErrorMessage();
      HostError(0);
      return true;
   }
   // The arguments are mostly texts and numbers: giving up the text leaves
   // a value that owns nothing, which the pool takes without a destructor.
   while (rs->stackTop > argv)
   {
      ORVA_Value *argument = *--rs->stackTop;
      if (ORVA_EngineAccess::Type(argument) >= ORVA_DT_STRING)
         ORVA_EngineAccess::DropText(argument);
      rs->pool.Release(argument);
   }
   rs->Push(result);
   return true;
#endif
}

/*
 * The arguments are a LOCAL_CALL's variables and constants themselves, not
 * copies: only a form that reads them and nothing more is handed them, and
 * the first must be a text it need not make (making it would change the
 * variable and charge memory the copy would have).
 */
ORVA_Value *ORVA_Engine::CallReading(ORVA_InPlaceHandler inPlace, ORVA_ExtFunction *function, int argc,
                                     ORVA_Value **argv)
{
#if defined(ORVA_NO_FAST_PATHS)
   (void)inPlace;
   (void)function;
   (void)argc;
   (void)argv;
   return nullptr;
#else
   if (m_fastPathsOff || !TakesArguments(function, argc) || MemoryRefused())
      return nullptr;
   for (int k = 0; k < argc; k++)
      if (argv[k] == nullptr)
         return nullptr;
   if (!ORVA_EngineAccess::TextReady(argv[0]))
      return nullptr;
   ORVA_Value *result = RunForm(m_run, inPlace, argc, argv);
   // A refusal met here is met again by the plain call, which stops the
   // run where it would have stopped.
   if (result != nullptr && MemoryRefused())
   {
      m_run->pool.Release(result);
      return nullptr;
   }
   return result;
#endif
}

void ORVA_Engine::ExternalCall(ORVA_ExtFunction *function, int argc)
{
   ORVA_RunState *rs = m_run;
   if (!TakesArguments(function, argc) || argc < 0)
   {
      Fail(ORVA_ERR_INVALID_ARGUMENT_COUNT);
      return;
   }
   if (rs->Depth() < static_cast<uint32>(argc))
   {
      Fail(ORVA_ERR_DATA_STACK_UNDERFLOW);
      return;
   }
   // A refusal that the fast paths met since the last check stops the run
   // before the host sees what the refused operation left.
   if (MemoryRefused())
   {
      Fail(ORVA_ERR_INTERNAL);
      return;
   }
   const uint32 base = rs->Depth() - static_cast<uint32>(argc);
   ORVA_Value *result = nullptr;
   ClearHostErrorMessage();
   SyncHostView();
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
   if (rc != 0 || MemoryRefused())
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
   // The host's words take the place of the code's message; the code and
   // the line of the call stay, as every error text has them.
   RecordError(m_program, code, HostErrorMessage());
}
