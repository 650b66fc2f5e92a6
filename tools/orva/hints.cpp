#include "hints.h"

#include "checker.h"
#include "functions.h"

#include <algorithm>

namespace orva_cli
{

namespace
{

std::string NullVariableNote(const ORVA_Program &program, const std::string &source, const Session &session,
                             const std::set<std::string> &held)
{
   int line = program.GetErrorLine();
   std::vector<Token> tokens = ScanTokens(source);
   std::set<std::string> globals = held;
   for (const auto &g : session.globals)
      globals.insert(g.first);
   for (const FunctionBody &body : FunctionBodies(tokens))
   {
      if (line < tokens[body.open].line || line > tokens[body.close].line)
         continue;
      std::vector<std::string> onLine;
      for (size_t k = body.open; k < body.close; k++)
         if (tokens[k].kind == TokenKind::Name && tokens[k].line == line)
            onLine.push_back(tokens[k].text);
      for (const auto &r : UnassignedReads(tokens, body, globals))
         if (std::find(onLine.begin(), onLine.end(), r.first) != onLine.end())
            return "`" + r.first + "` is never assigned in " + body.name + "(), so it is null";
   }
   return std::string();
}

}

std::string RunErrorNote(const ORVA_Program &program, const std::string &source, const Session &session,
                         const std::set<std::string> &held)
{
   const int code = program.GetErrorCode();
   if (code == ORVA_ERR_NULL_VALUE)
      return NullVariableNote(program, source, session, held);
   const std::string name = program.GetErrorFunction();
   if (name.empty())
      return std::string();
   KnownFunctions known;
   known.AddHost(session);
   const std::vector<Token> tokens = ScanTokens(source);
   known.AddScript(tokens, "");
   AddModuleFunctions(tokens, session, &known);
   if (code == ORVA_ERR_NO_FUNCTION)
   {
      std::string note = "no function is named `" + name + "`";
      std::string close = known.Closest(name);
      if (!close.empty())
         note += "; did you mean `" + close + "`?";
      return note;
   }
   const FunctionArity *f = known.Find(name);
   int given = program.GetErrorArgumentCount();
   std::string note = "`" + name + "` was called with " + std::to_string(given) + " argument" +
                      (given == 1 ? "" : "s");
   if (f != nullptr && !f->script)
      note += " but takes " + f->Describe();
   return note;
}

std::string SyntaxHint(const std::string &source, int line)
{
   std::vector<Token> tokens = ScanTokens(source);
   std::vector<size_t> here;
   for (size_t k = 0; k < tokens.size(); k++)
      if (tokens[k].line == line)
         here.push_back(k);
   for (size_t k : here)
   {
      const Token &t = tokens[k];
      const Token *before = k > 0 ? &tokens[k - 1] : nullptr;
      const Token *after = k + 1 < tokens.size() ? &tokens[k + 1] : nullptr;

      if (t.kind == TokenKind::Text && (t.text.size() < 2 || t.text.back() != '"' ||
                                        (t.text.size() > 2 && t.text[t.text.size() - 2] == '\\')))
      {
         if (t.text.find("\\\"") != std::string::npos)
            return "a backslash before a quote keeps the text open: write `\\\\` for a backslash at the end of a "
                   "text";
      }
      if (t.kind == TokenKind::Number && t.text[0] == '-' && before != nullptr &&
          (before->kind == TokenKind::Name || before->kind == TokenKind::Number || before->Is(")") ||
           before->Is("]")))
      {
         const std::string written = source.substr(before->begin, t.end - before->begin);
         return "`" + written + "` reads as `" + before->text + "` followed by the number `" + t.text +
                "`: write `" + before->text + " - " + t.text.substr(1) + "`";
      }
      // Level 2 has the in-place forms, for loops and ++ on elements; not |=, &= or ^=.
      const bool level2 = Language() >= ORVA_LANGUAGE_2;
      if (after != nullptr && after->Is("=") && after->begin == t.end &&
          (((t.Is("+") || t.Is("-") || t.Is("*") || t.Is("/") || t.Is("%") || t.Is(".")) && !level2) ||
           t.Is("|") || t.Is("&") || t.Is("^")))
      {
         // The target is what stands between the statement's start and the operator.
         size_t start = k;
         while (start > 0 && !tokens[start - 1].Is(";") && !tokens[start - 1].Is("{") &&
                !tokens[start - 1].Is("}") && !tokens[start - 1].Is(")"))
            start--;
         std::string target = start < k ? source.substr(tokens[start].begin, t.begin - tokens[start].begin) : "x";
         while (!target.empty() && target.back() == ' ')
            target.pop_back();
         size_t end = k + 2;
         while (end < tokens.size() && !tokens[end].Is(";") && tokens[end].line == line)
            end++;
         std::string value = end > k + 2 ? source.substr(tokens[k + 2].begin, tokens[end - 1].end - tokens[k + 2].begin)
                                          : std::string("...");
         return "ORVA has no `" + t.text + "=`: write `" + target + " = " + target + " " + t.text + " " + value + "`";
      }
      if (t.Is("for") && !level2)
         return "ORVA has no `for` loop: write `i = 0; while (i < n) { ...; i++; }`";
      if ((t.Is("++") || t.Is("--")) && before != nullptr && before->Is("]") && !level2)
      {
         size_t open = k - 1;
         int depth = 0;
         for (; open > 0; open--)
         {
            if (tokens[open].Is("]"))
               depth++;
            else if (tokens[open].Is("[") && --depth == 0)
               break;
         }
         if (open > 0 && tokens[open - 1].kind == TokenKind::Name)
         {
            std::string element = source.substr(tokens[open - 1].begin, before->end - tokens[open - 1].begin);
            return "`" + t.text + "` does not work on an array element: write `" + element + " = " + element + " " +
                   t.text.substr(1) + " 1`";
         }
      }
   }
   return std::string();
}

}
