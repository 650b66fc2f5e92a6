/*
 * Host functions the loop may run without the host-call protocol.  A
 * built-in that can write its result into a value the engine hands it (a
 * spare of the run's pool) registers a second form that does so; the loop
 * then calls that form and saves the heap a value per call, and the form
 * may share the run's one-byte texts.  The form must either succeed having
 * done exactly what the handler would, or fail with no effect at all: the
 * loop then runs the handler through the protocol, which gives the error.
 */
#ifndef ORVA_IN_PLACE_CALLS_H
#define ORVA_IN_PLACE_CALLS_H

#include "orva.h"

struct ORVA_ByteTexts;

/*
 * Result is a value that owns nothing, to be made the handler's result.
 * Bytes is the run's table of one-byte texts, or null where there is no
 * run to keep one: the form then makes its texts as the handler does.
 */
typedef int (*ORVA_InPlaceHandler)(int argc, ORVA_Value **argv, ORVA_Value *result, ORVA_ByteTexts **bytes);

struct ORVA_InPlaceCall
{
   ORVA_ExtHandler handler;
   ORVA_InPlaceHandler inPlace;
   // Reads its arguments and nothing more: the loop may hand it the
   // variables and constants themselves rather than copies of them.
   bool readsOnly;
};

/*
 * Rows ended by one with a null handler, kept (not copied) for the life of
 * the process; registering the same rows again changes nothing.
 */
void RegisterInPlaceCalls(const ORVA_InPlaceCall *rows);

/* The row of handler, or null. */
const ORVA_InPlaceCall *InPlaceRowOf(ORVA_ExtHandler handler);

#endif
