#include "cli.h"

#include "diagnostics.h"
#include "interrupt.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace orva_cli
{

namespace
{

// argc(): the number of script arguments, which the run's environment carries.
int ArgcHandler(int, ORVA_Value **, ORVA_Value **result)
{
   auto *env = dynamic_cast<CommandEnvironment *>(ORVA_CurrentEnvironment());
   if (env == nullptr)
      return ORVA_ERR_INTERNAL;
   *result = new ORVA_Value(env->ArgumentCount());
   return 0;
}

// exitstatus(N): the status the command exits with when the run completes.
// Scripts that never call it keep the status 0 of a completed run.
int ExitStatusHandler(int, ORVA_Value **argv, ORVA_Value **result)
{
   auto *env = dynamic_cast<CommandEnvironment *>(ORVA_CurrentEnvironment());
   if (env == nullptr)
      return ORVA_ERR_INTERNAL;
   if (!argv[0]->IsInteger())
   {
      ORVA_SetErrorMessage("exitstatus() takes a whole number from 0 to 125");
      return ORVA_ERR_NOT_INTEGER;
   }
   int64 n = argv[0]->IsUnsigned() && argv[0]->GetValueAsUInt64() > 125 ? 126 : argv[0]->GetValueAsInt64();
   if (n < 0 || n > 125)
   {
      // 126 and above are what shells make of commands that could not run
      // or died by a signal.
      ORVA_SetErrorMessage("exitstatus() takes a whole number from 0 to 125");
      return ORVA_ERR_BAD_CONVERSION;
   }
   if (env->StatusOut() != nullptr)
      *env->StatusOut() = static_cast<int>(n);
   *result = new ORVA_Value();
   return 0;
}

ORVA_ExtFunction s_commandFunctions[] = {
   {"argc", ArgcHandler, 0},
   {"exitstatus", ExitStatusHandler, 1},
};

}

ORVA_Environment *NewEnvironment(const Session &session, ModuleRecord *record, int *status)
{
   CommandEnvironment *env = new CommandEnvironment(session.modulePath, record, session.argumentCount);
   env->SetStatusOut(status);
   env->SetIO(stdin, stdout);
   env->SetLibrary(session.library);
   ORVARegisterExtensions(env, ORVA_EXT_PURE | ORVA_EXT_IO);
   env->RegisterFunctionSet(sizeof(s_commandFunctions) / sizeof(s_commandFunctions[0]), s_commandFunctions);
   env->SetInstructionLimit(session.limits.instructions);
   env->SetTimeLimit(session.limits.milliseconds);
   env->SetMemoryLimit(session.limits.memoryBytes);
   return env;
}

int StoppedStatus(const ORVA_Program &program)
{
   switch (program.GetStopReason())
   {
      case ORVA_STOP_REQUESTED: return EXIT_STATUS_INTERRUPTED;
      case ORVA_STOP_MEMORY:
         // A text past the library's bound on one text, or a heap that ran
         // out, is no limit the user set.
         return strncmp(program.GetErrorMessage(), "Memory limit reached", 20) == 0 ? EXIT_STATUS_STOPPED
                                                                                  : EXIT_STATUS_RUN_ERROR;
      default: return EXIT_STATUS_STOPPED;
   }
}

// The whole number text starts with; end is left after its digits.
static bool LeadingNumber(const char *text, uint64 *n, char **end)
{
   if (text == nullptr || *text < '0' || *text > '9')
      return false;
   errno = 0;
   *n = strtoull(text, end, 10);
   return errno == 0;
}

bool ParseCount(const char *text, uint64 *count)
{
   char *end = nullptr;
   return LeadingNumber(text, count, &end) && *end == '\0';
}

bool ParseSeconds(const char *text, uint32 *milliseconds)
{
   if (text == nullptr || !((*text >= '0' && *text <= '9') || *text == '.'))
      return false;
   char *end = nullptr;
   const double seconds = strtod(text, &end);
   if (*end != '\0' || !(seconds >= 0) || seconds * 1000 > 4294967295.0)
      return false;
   // A timeout shorter than a millisecond still has one.
   const double ms = std::ceil(seconds * 1000);
   *milliseconds = static_cast<uint32>(ms);
   return true;
}

bool ParseSize(const char *text, uint64 *bytes)
{
   uint64 n = 0;
   char *end = nullptr;
   if (!LeadingNumber(text, &n, &end))
      return false;
   int shift = 0;
   switch (*end)
   {
      case '\0': break;
      case 'k': case 'K': shift = 10; end++; break;
      case 'm': case 'M': shift = 20; end++; break;
      case 'g': case 'G': shift = 30; end++; break;
      default: return false;
   }
   if (*end != '\0' || (shift > 0 && n > (UINT64_MAX >> shift)))
      return false;
   *bytes = n << shift;
   return true;
}

// Every compile of the command, the script's, its modules' and the
// prompt's inputs, is at one level.
static int s_language = ORVA_LANGUAGE_1;

void SetLanguage(int language)
{
   s_language = language;
}

int Language()
{
   return s_language;
}

ORVA_Program *CompileText(const std::string &text, ErrorText *error)
{
   ORVA_CompileError failure;
   ORVA_Program *program = ORVACompile(text.c_str(), &failure, static_cast<ORVA_Language>(s_language));
   if (program == nullptr && error != nullptr)
   {
      error->code = 0;
      error->line = failure.m_line;
      error->message = failure.m_message;
   }
   return program;
}

namespace
{

// Arrays may hold themselves, and shared arrays may fan out without end, so
// the writer stops at a cycle, at a nesting limit and after enough elements.
struct ValueWriter
{
   FILE *stream;
   std::vector<ORVA_Array *> path;
   long budget = 10000;

   void Write(ORVA_Value *value, bool quoteText)
   {
      if (value == nullptr || value->IsNull())
      {
         fputs("null", stream);
         return;
      }
      if (value->IsArray())
      {
         WriteArray(value->GetValueAsArray());
         return;
      }
      if (value->IsObject())
      {
         ORVA_Object *object = value->GetValueAsObject();
         ORVA_Class *cls = object != nullptr ? object->Class() : nullptr;
         fprintf(stream, "<%s object>", cls != nullptr ? cls->Name() : "empty");
         return;
      }
      uint32 length = 0;
      const char *text = value->GetValueAsString(&length);
      bool quote = quoteText && value->DataType() == ORVA_DT_STRING;
      if (quote)
         fputc('"', stream);
      if (text != nullptr)
         fwrite(text, 1, length, stream);
      if (quote)
         fputc('"', stream);
   }

   void WriteArray(ORVA_Array *array)
   {
      if (array == nullptr)
      {
         fputs("[]", stream);
         return;
      }
      for (ORVA_Array *open : path)
      {
         if (open == array)
         {
            fputs("[...]", stream);
            return;
         }
      }
      if (path.size() >= 16)
      {
         fputs("[...]", stream);
         return;
      }
      path.push_back(array);
      fputc('[', stream);
      // Integer keys in order, then text keys in the order they came, as a
      // level-2 for loop walks them.
      const int32 indexed = array->Size();
      for (int32 k = 0; k < indexed + array->TextCount(); k++)
      {
         if (k > 0)
            fputs(", ", stream);
         if (--budget < 0)
         {
            fputs("...", stream);
            break;
         }
         if (k < indexed)
         {
            fprintf(stream, "%d: ", static_cast<int>(array->IndexAt(k)));
            Write(array->ValueAt(k), true);
            continue;
         }
         uint32 length = 0;
         const char *key = array->TextKeyAt(k - indexed, &length);
         fputc('"', stream);
         fwrite(key, 1, length, stream);
         fputs("\": ", stream);
         Write(array->TextValueAt(k - indexed), true);
      }
      fputc(']', stream);
      path.pop_back();
   }
};

}

void WriteValue(FILE *stream, ORVA_Value *value)
{
   ValueWriter writer;
   writer.stream = stream;
   writer.Write(value, false);
}

void PrepareSource(std::string *text)
{
   for (char &c : *text)
      if (c == '\0')
         c = ' ';
   if (text->compare(0, 3, "\xEF\xBB\xBF") == 0)
      text->erase(0, 3);
   if (text->compare(0, 2, "#!") == 0)
   {
      for (size_t i = 0; i < text->size() && (*text)[i] != '\n'; i++)
         (*text)[i] = ' ';
   }
}

namespace
{
void FinishSource(std::string *text)
{
   PrepareSource(text);
   if (!text->empty() && text->back() != '\n')
      *text += '\n';
}
}

bool LoadSource(FILE *stream, std::string *text)
{
   text->clear();
   char buffer[16384];
   size_t n;
   while ((n = fread(buffer, 1, sizeof(buffer), stream)) > 0)
      text->append(buffer, n);
   if (ferror(stream))
      return false;
   FinishSource(text);
   return true;
}

bool LoadModuleSource(const std::string &path, std::string *text)
{
   uint32 size = 0;
   char *loaded = ORVALoadFile(path.c_str(), &size);
   if (loaded == nullptr)
      return false;
   // Room for the line feed FinishSource may add: a module is copied as
   // few times as it can be, since the copies are not timed.
   text->clear();
   text->reserve(static_cast<size_t>(size) + 1);
   text->assign(loaded, size);
   free(loaded);
   FinishSource(text);
   return true;
}

bool LoadSource(const std::string &path, std::string *text)
{
   FILE *file = fopen(path.c_str(), "rb");
   if (file == nullptr)
      return false;
   bool ok = LoadSource(file, text);
   int saved = errno;
   fclose(file);
   errno = saved;
   return ok;
}

const char *SnippetEnd(const std::string &text)
{
   return text.find("//") != std::string::npos ? "\n" : " ";
}

// True when the error comes from the text ending too early: at its end, or
// (for statements, which run inside a main that the command closes) at the
// closing brace of that main where a do loop still lacks its while.
static bool IsEndOfTextError(const ErrorText &e, const std::string &text)
{
   if (e.message.find("unexpected $end") != std::string::npos)
      return true;
   int lastLine = 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
   return e.message == "syntax error, unexpected '}', expecting T_WHILE" && e.line >= lastLine;
}

static bool StartsStatement(const Token &t)
{
   static const char *const starters[] = {"if", "while", "do", "switch", "array", "print", "println",
                                          "return", "exit", "break", "continue", ";", "{"};
   for (const char *s : starters)
      if (t.Is(s))
         return true;
   return false;
}

static bool IsSimpleStatement(const Token &t)
{
   return t.Is("print") || t.Is("println") || t.Is("return") || t.Is("exit");
}

Snippet ClassifySnippet(const std::string &text)
{
   Snippet snippet;
   snippet.tokens = ScanTokens(text);
   const std::vector<Token> &tokens = snippet.tokens;
   std::string line = text + SnippetEnd(text);

   if (!tokens.empty() && (tokens[0].Is("sub") || tokens[0].Is("use")))
   {
      snippet.form = SnippetForm::Module;
      ORVA_Program *program = CompileText(line, &snippet.error);
      snippet.ok = program != nullptr;
      delete program;
      snippet.incomplete = !snippet.ok && IsEndOfTextError(snippet.error, text);
      return snippet;
   }

   ErrorText expressionError;
   if (!tokens.empty())
   {
      ORVA_Program *program = CompileText(line, &expressionError);
      if (program != nullptr)
      {
         delete program;
         snippet.ok = true;
         snippet.form = SnippetForm::Expression;
         return snippet;
      }
   }

   snippet.form = SnippetForm::Statements;
   ErrorText statementError;
   ORVA_Program *program = CompileText(StatementsAsMain(snippet, text, "", ""), &statementError);
   if (program == nullptr && !tokens.empty() && IsSimpleStatement(tokens[0]) && !tokens.back().Is(";"))
   {
      // "println x" typed without its semicolon.  Only simple statements get
      // one added: "while (1)" must not turn into an endless empty loop.
      snippet.addSemicolon = true;
      program = CompileText(StatementsAsMain(snippet, text, "", ""), nullptr);
      if (program == nullptr)
         snippet.addSemicolon = false;
   }
   if (program != nullptr)
   {
      delete program;
      snippet.ok = true;
      return snippet;
   }

   // Report the error of the form that the text looks like.
   bool statementLike = tokens.empty() || StartsStatement(tokens[0]) || tokens.back().Is(";") ||
                        tokens.back().Is("}");
   snippet.error = statementLike ? statementError : expressionError;
   snippet.incomplete = IsEndOfTextError(snippet.error, text);
   return snippet;
}

std::string StatementsAsMain(const Snippet &snippet, const std::string &text,
                             const std::string &tail, const std::string &extra)
{
   std::string program = "sub main() { ";
   program += text;
   program += SnippetEnd(text);
   if (snippet.addSemicolon)
      program += ";";
   program += tail;
   program += " }";
   if (!extra.empty())
      program += "\n" + extra;
   return program;
}

}
