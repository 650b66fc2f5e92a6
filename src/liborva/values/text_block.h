/*
 * The text of a value lives in a block that several values may share: a
 * copy made inside the engine (a push, an argument, a store) takes another
 * reference instead of another copy, and a value about to change its text
 * first gets a block of its own.  The block also keeps the number scan of
 * its text, so that appending reads only the appended bytes.
 *
 * A value's m_string points at the text inside the block, so hosts see the
 * zero-terminated text they always saw.
 */
#ifndef ORVA_TEXT_BLOCK_H
#define ORVA_TEXT_BLOCK_H

#include "orva.h"
#include "values/number_text.h"

#include <cstddef>

struct ORVA_TextBlock
{
   uint32 refs;        // values sharing the block
   uint32 capacity;    // text bytes the block holds, the terminator not counted
   NumberScan scan;    // what the text's first scan.scanned bytes read as
   char text[1];       // capacity + 1 bytes
};

inline ORVA_TextBlock *TextBlockOf(const char *text)
{
   return reinterpret_cast<ORVA_TextBlock *>(const_cast<char *>(text) - offsetof(ORVA_TextBlock, text));
}

/* Room for capacity bytes of text and a terminator, held once; null when memory runs out. */
char *TextNew(uint32 capacity);

/*
 * A block of its own holding a copy of length bytes of text (capacity at
 * least length) and the scan of it; null when memory runs out.
 */
char *TextCopy(const char *text, uint32 length, uint32 capacity);

/* Gives up one hold of the block; the last one frees it. */
void TextRelease(char *text);

inline char *TextShare(char *text)
{
   TextBlockOf(text)->refs++;
   return text;
}

inline bool TextIsShared(const char *text)
{
   return TextBlockOf(text)->refs > 1;
}

#endif
