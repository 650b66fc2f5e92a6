#include "diagnostics.h"

#include "hints.h"
#include "source_scan.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace orva_cli
{

namespace
{

// The grammar's token names and what a user calls them.
const struct
{
   const char *token;
   const char *readable;
} s_tokenNames[] = {
   {"$end", "end of input"},
   {"T_ARRAY", "'array'"}, {"T_BREAK", "'break'"}, {"T_CASE", "'case'"}, {"T_CONTINUE", "'continue'"},
   {"T_DEFAULT", "'default'"}, {"T_DO", "'do'"}, {"T_ELSE", "'else'"}, {"T_EXIT", "'exit'"},
   {"T_FOR", "'for'"}, {"T_IF", "'if'"}, {"T_NULL", "'NULL'"}, {"T_PRINT", "'print'"},
   {"T_PRINTLN", "'println'"}, {"T_RETURN", "'return'"}, {"T_SUB", "'sub'"}, {"T_SWITCH", "'switch'"},
   {"T_TYPE_INT32", "'int32'"}, {"T_TYPE_INT64", "'int64'"}, {"T_TYPE_REAL", "'real'"},
   {"T_TYPE_STRING", "'string'"}, {"T_TYPE_UINT32", "'uint32'"}, {"T_TYPE_UINT64", "'uint64'"},
   {"T_USE", "'use'"}, {"T_WHILE", "'while'"},
   {"T_COMPOUND_IDENTIFIER", "name with '::'"}, {"T_IDENTIFIER", "name"}, {"T_STRING", "text"},
   {"T_INT32", "number"}, {"T_UINT32", "number"}, {"T_INT64", "number"}, {"T_UINT64", "number"},
   {"T_REAL", "number"},
   {"T_OR", "'||'"}, {"T_AND", "'&&'"}, {"T_IMATCH", "'imatch'"}, {"T_MATCH", "'match'"},
   {"T_ILIKE", "'ilike'"}, {"T_LIKE", "'like'"}, {"T_EQ", "'=='"}, {"T_NE", "'!='"}, {"T_GE", "'>='"},
   {"T_LE", "'<='"}, {"T_RSHIFT", "'>>'"}, {"T_LSHIFT", "'<<'"}, {"T_DEC", "'--'"}, {"T_INC", "'++'"},
   {"T_REF", "'->'"},
};

std::string Readable(const std::string &token)
{
   for (const auto &t : s_tokenNames)
      if (token == t.token)
         return t.readable;
   return token;
}

// Splits text at every separator.
std::vector<std::string> SplitAt(const std::string &text, const std::string &separator)
{
   std::vector<std::string> parts;
   size_t start = 0;
   for (;;)
   {
      size_t at = text.find(separator, start);
      parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
      if (at == std::string::npos)
         return parts;
      start = at + separator.size();
   }
}

// The number of the line that holds byte offset in text, from 1.
int LineOf(const std::string &text, size_t offset)
{
   int line = 1;
   for (size_t i = 0; i < offset && i < text.size(); i++)
      line += text[i] == '\n' ? 1 : 0;
   return line;
}

// A text that ends with a line feed has no line after it; the end of input
// is reported on the line after the last, which is the last for a reader.
int ClampLine(const std::string &source, int line)
{
   int last = LineOf(source, source.size());
   if (!source.empty() && source.back() == '\n')
      last--;
   return line > last && last >= 1 ? last : line;
}

// The line of the first statement written outside every function, or 0.
// Definitions (sub and use) are stepped over; anything else at the top
// level that reads as a statement counts: a keyword that starts one, or a
// ';' before the next definition.
int TopLevelStatementLine(const std::string &source)
{
   static const char *const starters[] = {"if", "while", "do", "switch", "array", "print", "println",
                                          "return", "exit", "break", "continue"};
   std::vector<Token> tokens = ScanTokens(source);
   size_t k = 0;
   while (k < tokens.size())
   {
      const Token &t = tokens[k];
      if (t.Is("use"))
      {
         while (k < tokens.size() && !tokens[k].Is(";"))
            k++;
         k++;
         continue;
      }
      if (t.Is("sub"))
      {
         int depth = 0;
         while (k < tokens.size() && !tokens[k].Is("{"))
            k++;
         for (; k < tokens.size(); k++)
         {
            if (tokens[k].Is("{"))
               depth++;
            else if (tokens[k].Is("}") && --depth == 0)
               break;
         }
         k++;
         continue;
      }
      bool statement = false;
      for (const char *s : starters)
         statement = statement || t.Is(s);
      for (size_t j = k; !statement && j < tokens.size() && !tokens[j].Is("sub") && !tokens[j].Is("use"); j++)
         statement = tokens[j].Is(";");
      return statement ? LineOf(source, t.begin) : 0;
   }
   return 0;
}

}

ErrorText RunErrorOf(const ORVA_Program &program)
{
   ErrorText e;
   e.code = program.GetErrorCode();
   e.line = program.GetErrorLine();
   e.message = program.GetErrorMessage();
   // A run refused as a whole (a nested Run) records no error of its own.
   if (e.code == 0 && e.message.empty())
   {
      e.line = -1;
      e.message = "run failed";
   }
   return e;
}

std::string ReadableSyntaxError(const std::string &message)
{
   const std::string head = "syntax error, unexpected ";
   if (message.compare(0, head.size(), head) != 0)
      return message;
   std::vector<std::string> parts = SplitAt(message.substr(head.size()), ", expecting ");
   std::string out = head + Readable(parts[0]);
   if (parts.size() > 1)
   {
      std::vector<std::string> expected;
      for (const std::string &token : SplitAt(parts[1], " or "))
      {
         std::string name = Readable(token);
         bool seen = false;
         for (const std::string &e : expected)
            seen = seen || e == name;
         if (!seen)
            expected.push_back(name);
      }
      for (size_t i = 0; i < expected.size(); i++)
         out += (i == 0 ? ", expecting " : " or ") + expected[i];
   }
   return out;
}

std::string Location(const std::string &where, int line)
{
   if (where.empty())
      return line > 0 ? "orva: line " + std::to_string(line) + ": " : "orva: ";
   return line > 0 ? where + ":" + std::to_string(line) + ": " : where + ": ";
}

std::string DescribeCompileError(const std::string &where, const std::string &source, const ErrorText &e,
                                 bool hint)
{
   int line = ClampLine(source, e.line);
   std::string out = Location(where, line) + "error: " + ReadableSyntaxError(e.message) + "\n";
   std::string fix = line > 0 ? SyntaxHint(source, line) : std::string();
   if (!fix.empty())
      out += Location(where, line) + "note: " + fix + "\n";
   int statement = hint ? TopLevelStatementLine(source) : 0;
   if (statement > 0 && (line <= 0 || statement <= line))
      out += Location(where, statement) + "note: statements belong in a function such as `sub main()`\n";
   return out;
}

// The line of the "use" statement that names a module, or 0.
static int UseLine(const std::string &source, const std::string &name)
{
   std::vector<Token> tokens = ScanTokens(source);
   for (size_t k = 0; k + 1 < tokens.size(); k++)
      if (tokens[k].Is("use") && strcasecmp(tokens[k + 1].text.c_str(), name.c_str()) == 0)
         return LineOf(source, tokens[k].begin);
   return 0;
}

std::vector<TraceFrame> TraceOf(const ORVA_Program &program)
{
   std::vector<TraceFrame> frames;
   TraceFrame frame;
   const char *function = nullptr;
   const char *module = nullptr;
   uint32 leftOut = 0;
   for (uint32 i = 0; program.GetErrorTraceCall(i, &function, &frame.line, &module, &leftOut); i++)
   {
      frame.function = function;
      frame.module = module;
      frame.omitted = leftOut;
      frames.push_back(frame);
   }
   return frames;
}

std::string DescribeRunError(const LineLocator &locate, const std::string &source, const ErrorText &e,
                             const std::vector<TraceFrame> &frames, const ModuleRecord &record, const ModulePath &path,
                             const std::string &note)
{
   std::string where;
   int line = 0;
   locate(0, &where, &line);
   const std::string script = where;
   if (e.line < 0)
      return Location(where, 0) + "error: " + e.message + "\n";

   if (e.code == ORVA_ERR_MODULE_NOT_FOUND && record.failed)
   {
      int use = UseLine(source, record.failedName);
      if (use > 0)
         locate(use, &where, &line);
      std::string at = Location(where, use > 0 ? line : 0);
      std::string out = at + "error 16: " + e.message + ": " + record.failedName + "\n";
      if (!record.failedFile.empty())
         return out + DescribeCompileError(record.failedFile, record.failedSource, record.compileError, true);
      out += at + "note: looked for " + ModulePath::FileIn(".", record.failedName) + " in ";
      const std::vector<std::string> &dirs = path.Directories();
      for (size_t i = 0; i < dirs.size(); i++)
         out += (i == 0 ? "" : ", ") + dirs[i];
      return out + "\n";
   }

   // Where a line of a call is: the script's (as the locator says), or the
   // file of the module whose function it is in.  A module known by name
   // only leaves the file out.
   auto place = [&](const TraceFrame &frame) {
      std::string file;
      int lineThere = frame.line;
      if (!frame.module.empty())
         file = record.FileOf(frame.module);
      else if (frame.line > 0)
         locate(frame.line, &file, &lineThere);
      else
         file = script;
      return Location(file, lineThere);
   };

   std::string at;
   if (!frames.empty() && frames[0].omitted == 0 && frames[0].line == e.line)
   {
      at = place(frames[0]);
   }
   else
   {
      // No trail to tell a line of a module's code from one of the script.
      line = e.line;
      if (e.line > 0)
         locate(e.line, &where, &line);
      if (record.AnyLinked() && e.line > 0)
         where.clear();
      at = Location(where, line);
   }
   std::string out = at;
   // A run stopped by a limit has no error code: "FILE:LINE: time limit reached".
   if (e.code == 0 && !e.message.empty())
   {
      std::string message = e.message;
      message[0] = static_cast<char>(tolower(static_cast<unsigned char>(message[0])));
      out += message + "\n";
   }
   else
      out += "error " + std::to_string(e.code) + ": " + e.message + "\n";
   if (!note.empty())
      out += at + "note: " + note + "\n";

   // A traceback, when the error happened in a call.
   if (frames.size() > 1)
      for (size_t i = 0; i < frames.size(); i++)
      {
         const TraceFrame &frame = frames[i];
         if (frame.omitted > 0)
            out += Location(script, 0) + "note: ... " + std::to_string(frame.omitted) + " calls left out\n";
         else
            out += place(frame) + "note: " + (i == 0 ? "in " : "called from ") + frame.function + "()\n";
      }
   return out;
}

std::string DescribeRunError(const std::string &where, const std::string &source, const ErrorText &error,
                             const std::vector<TraceFrame> &trace, const ModuleRecord &record, const ModulePath &path,
                             const std::string &note)
{
   LineLocator same = [&where](int line, std::string *file, int *lineThere) {
      *file = where;
      *lineThere = line;
   };
   return DescribeRunError(same, source, error, trace, record, path, note);
}
}
