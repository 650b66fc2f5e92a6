/*
 * Where lines start, for breakpoints and steps: the positions a debugger
 * stops at.  One rule serves the prepared code (its fused forms never span
 * a line start, so a trap there always runs) and the hosts that ask before
 * a run where a breakpoint will hold, so both agree with and without the
 * fast paths.
 */
#ifndef ORVA_DEBUG_LINES_H
#define ORVA_DEBUG_LINES_H

#include "orva.h"

#include <vector>

/*
 * lineStart[i] is 1 where instruction i starts a line: its line differs
 * from the instruction before it, a jump back lands on it (the head of a
 * loop, which each turn starts again), or it is a function's first
 * instruction after the BINDs it starts with.  Those BINDs start nothing:
 * a call may enter after them, so a stop there would not always be met.
 */
void FindLineStarts(ORVA_Instruction *const *code, uint32 codeSize, const ORVA_Function *functions,
                    uint32 functionCount, std::vector<uint8> &lineStart);

/*
 * Where a breakpoint at line holds among instructions from .. to - 1: the
 * first line at or after it that starts somewhere there, or 0 for none.
 */
int LineWithCodeIn(ORVA_Instruction *const *code, const std::vector<uint8> &lineStart, uint32 from, uint32 to,
                   int line);

#endif
