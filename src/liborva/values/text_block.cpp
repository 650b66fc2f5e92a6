#include "values/text_block.h"
#include "support/memory.h"

#include <cstdlib>
#include <cstring>

/*
 * Every text block is allocated and freed by this pair alone, through the
 * allocation funnel, which counts them against a run's memory ceiling.
 */
static ORVA_TextBlock *TextBlockAllocate(size_t bytes)
{
   return static_cast<ORVA_TextBlock *>(MemoryAllocate(bytes));
}

static void TextBlockFree(ORVA_TextBlock *block)
{
   MemoryFree(block, offsetof(ORVA_TextBlock, text) + static_cast<size_t>(block->capacity) + 1);
}

char *TextNew(uint32 capacity)
{
   ORVA_TextBlock *block = TextBlockAllocate(offsetof(ORVA_TextBlock, text) + static_cast<size_t>(capacity) + 1);
   if (block == nullptr)
      return nullptr;
   block->refs = 1;
   block->capacity = capacity;
   NumberScanReset(&block->scan);
   return block->text;
}

char *TextCopy(const char *text, uint32 length, uint32 capacity)
{
   char *copy = TextNew((capacity > length) ? capacity : length);
   if (copy == nullptr)
      return nullptr;
   memcpy(copy, text, length);
   copy[length] = 0;
   const NumberScan &scan = TextBlockOf(text)->scan;
   if (scan.scanned <= length)
      TextBlockOf(copy)->scan = scan;
   return copy;
}

void TextFree(char *text)
{
   TextBlockFree(TextBlockOf(text));
}

void ByteTextsFree(ORVA_ByteTexts *texts)
{
   if (texts == nullptr)
      return;
   for (char *text : texts->text)
      if (text != nullptr)
         TextRelease(text);
   MemoryFree(texts, sizeof(ORVA_ByteTexts));
}
