/*
 * Input and output extension functions: readline, readfile, writefile,
 * getenv.  They reach outside the script, so they form a set of their own
 * that a host grants on purpose (ORVA_EXT_IO).
 *
 * readline reads the input stream the host gave the run's environment with
 * SetIO, and the process's standard input when it gave none, as a host that
 * never thought of input would expect.
 */
#include "ext/ext.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orva_ext
{

namespace
{

// A file name with a zero byte inside would name another file than the
// script wrote, so it names none.
bool ArgFileName(ORVA_Value *value, Text *name, int *error)
{
   if (!ArgText(value, name))
   {
      *error = ORVA_ERR_NOT_STRING;
      return false;
   }
   *error = 0;
   return !name->empty() && name->find('\0') == Text::npos;
}

// readline(): the next line of the run's input without its line feed; NULL
// at the end of input.  A line longer than the text limit comes in pieces.
int ReadLine(int, ORVA_Value **, ORVA_Value **result)
{
   ORVA_Environment *env = ORVA_CurrentEnvironment();
   FILE *in = (env != nullptr && env->GetStdIn() != nullptr) ? env->GetStdIn() : stdin;
   Text line;
   bool any = false;
   WorkMeter meter;
   bool stopped = false;
   {
      // Unlocked even when the line outgrows memory, or the next reader of
      // the stream on another thread would wait for ever.
      struct StreamLock
      {
         FILE *stream;
         explicit StreamLock(FILE *f) : stream(f) { flockfile(stream); }
         ~StreamLock() { funlockfile(stream); }
      } lock(in);
      int c;
      while (line.size() < TEXT_LIMIT && (c = getc_unlocked(in)) != EOF)
      {
         any = true;
         if (c == '\n')
            break;
         line += static_cast<char>(c);
         // A line without end (a device, a pipe that never stops) is read
         // only as long as the limits allow.  A byte at a time costs more
         // than a copy: a unit every few bytes.
         if ((line.size() % 8) == 0 && !meter.Add(1))
         {
            stopped = true;
            break;
         }
      }
   }
   if (stopped || !meter.Flush())
      return STOPPED;
   *result = any ? NewText(line) : new ORVA_Value();
   return 0;
}

// readfile(name): the whole file, bytes as they are; NULL when it cannot be
// read or is larger than the text limit.
int ReadFile(int, ORVA_Value **argv, ORVA_Value **result)
{
   Text name;
   int error;
   if (!ArgFileName(argv[0], &name, &error))
   {
      if (error != 0)
         return error;
      *result = new ORVA_Value();
      return 0;
   }
   FILE *file = fopen(name.c_str(), "rb");
   if (file == nullptr)
   {
      *result = new ORVA_Value();
      return 0;
   }
   // A file that never ends (/dev/zero) is read as long as the limits
   // allow; the stream is closed whatever stops the reading.
   struct Closer
   {
      FILE *file;
      ~Closer() { fclose(file); }
   } closer{file};
   WorkMeter meter;
   Text text;
   char buffer[16384];
   size_t n;
   bool fits = true;
   while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0)
   {
      if (text.size() + n > TEXT_LIMIT)
      {
         fits = false;
         break;
      }
      if (!meter.AddBytes(n))
         return STOPPED;
      text.append(buffer, n);
   }
   if (!meter.Flush())
      return STOPPED;
   bool failed = ferror(file) != 0;
   *result = fits && !failed ? NewText(text) : new ORVA_Value();
   return 0;
}

// writefile(name, text): replaces the file's content with the text; 1 when
// every byte was written, else 0.
int WriteFile(int, ORVA_Value **argv, ORVA_Value **result)
{
   Text name, text;
   int error;
   bool named = ArgFileName(argv[0], &name, &error);
   if (error != 0)
      return error;
   if (!ArgText(argv[1], &text))
      return ORVA_ERR_NOT_STRING;
   int32 ok = 0;
   FILE *file = named ? fopen(name.c_str(), "wb") : nullptr;
   if (file != nullptr)
   {
      ok = fwrite(text.data(), 1, text.size(), file) == text.size() ? 1 : 0;
      if (fclose(file) != 0)
         ok = 0;
   }
   *result = new ORVA_Value(ok);
   return 0;
}

// getenv(name): the variable's text, or NULL when it is not set.
int GetEnv(int, ORVA_Value **argv, ORVA_Value **result)
{
   Text name;
   int error;
   const char *value = nullptr;
   if (ArgFileName(argv[0], &name, &error))
      value = getenv(name.c_str());
   if (error != 0)
      return error;
   *result = value != nullptr ? NewText(value, strlen(value)) : new ORVA_Value();
   return 0;
}

}

const ORVA_ExtFunction g_ioFunctions[] = {
   {"readline", Guarded<ReadLine>, 0},
   {"readfile", Guarded<ReadFile>, 1},
   {"writefile", Guarded<WriteFile>, 2},
   {"getenv", Guarded<GetEnv>, 1},
};
const uint32 g_ioFunctionCount = sizeof(g_ioFunctions) / sizeof(g_ioFunctions[0]);

}
