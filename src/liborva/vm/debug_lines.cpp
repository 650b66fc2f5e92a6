/*
 * The line starts of a program's code (see debug_lines.h).
 */
#include "vm/debug_lines.h"
#include "vm/vm.h"

void FindLineStarts(ORVA_Instruction *const *code, uint32 codeSize, const ORVA_Function *functions,
                    uint32 functionCount, std::vector<uint8> &lineStart)
{
   std::vector<uint8> entry(codeSize, 0);   // 1: a function starts here; 2: one of its leading BINDs
   for (uint32 f = 0; f < functionCount; f++)
   {
      uint32 at = functions[f].m_address;
      if (at >= codeSize)
         continue;
      entry[at] = 1;
      for (; at < codeSize && code[at]->OpCode() == OPCODE_BIND; at++)
         entry[at] = 2;
   }
   std::vector<uint8> loopHead(codeSize, 0);
   for (uint32 i = 0; i < codeSize; i++)
   {
      const uint32 target = ORVA_EngineAccess::AddressOf(code[i]);
      if (IsJump(code[i]->OpCode()) && target <= i)
         loopHead[target] = 1;
   }
   lineStart.assign(codeSize, 0);
   bool fresh = true;   // no instruction of the same function runs into this one
   for (uint32 i = 0; i < codeSize; i++)
   {
      if (entry[i] != 0)
         fresh = true;
      if (entry[i] == 2)
         continue;
      lineStart[i] = fresh || loopHead[i] || code[i]->SourceLine() != code[i - 1]->SourceLine();
      fresh = false;
   }
}

int LineWithCodeIn(ORVA_Instruction *const *code, const std::vector<uint8> &lineStart, uint32 from, uint32 to,
                   int line)
{
   int best = 0;
   for (uint32 i = from; i < to && i < lineStart.size(); i++)
   {
      const int at = code[i]->SourceLine();
      if (lineStart[i] && at >= line && (best == 0 || at < best))
         best = at;
   }
   return best;
}
