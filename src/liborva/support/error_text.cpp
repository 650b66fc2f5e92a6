/*
 * The one writer of error texts (see error_text.h).
 */
#include "support/error_text.h"

#include <cstdio>
#include <cstring>

size_t FormatErrorText(char *buffer, size_t size, const int *code, int line, const char *message)
{
   char frame[64];
   const int length = (code != nullptr) ? snprintf(frame, sizeof(frame), "Error %d in line %d: ", *code, line)
                                        : snprintf(frame, sizeof(frame), "Error in line %d: ", line);
   const size_t frameLength = (length > 0) ? static_cast<size_t>(length) : 0;
   if (buffer == nullptr || size == 0)
      return frameLength;
   // As snprintf of the whole text would: cut at size - 1 bytes.
   size_t used = (frameLength < size - 1) ? frameLength : size - 1;
   memcpy(buffer, frame, used);
   if (message != nullptr)
   {
      const size_t piece = strnlen(message, size - 1 - used);
      memcpy(buffer + used, message, piece);
      used += piece;
   }
   buffer[used] = '\0';
   return frameLength;
}

char *ErrorTextCopy(const int *code, int line, const char *message)
{
   char buffer[ERROR_TEXT_SIZE];
   FormatErrorText(buffer, sizeof(buffer), code, line, message);
   return strdup(buffer);
}
