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
#include "values/numeric.h"

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

/* Frees a block nobody holds any more. */
void TextFree(char *text);

/* Gives up one hold of the block; the last one frees it. */
inline void TextRelease(char *text)
{
   if (--TextBlockOf(text)->refs == 0)
      TextFree(text);
}

inline char *TextShare(char *text)
{
   TextBlockOf(text)->refs++;
   return text;
}

inline bool TextIsShared(const char *text)
{
   return TextBlockOf(text)->refs > 1;
}

/*
 * The texts of one byte a run has made, one block per byte shared by every
 * value of that text: a script that walks a text byte by byte would
 * otherwise allocate and free a block per step.  Each byte keeps what its
 * text reads as, so a value made from it needs no scan.  The run holds one
 * reference to each block and gives it up when the run ends; values still
 * holding the block keep it alive as they would any shared text.
 */
struct ORVA_ByteTexts
{
   char *text[256];          // null until the byte's text is first asked for
   uint8 type[256];          // ORVA_DT_STRING, or the number type the text reads as
   ORVA_Number number[256];  // and its number
};

/* Gives up the run's hold of every block and the table; null is no table. */
void ByteTextsFree(ORVA_ByteTexts *texts);

#endif
