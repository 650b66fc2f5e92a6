#include "checker.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <cstring>
#include <strings.h>

namespace orva_cli
{

namespace
{

bool IsPlainName(const Token &t)
{
   return t.kind == TokenKind::Name && t.text[0] != '$' && t.text.find(':') == std::string::npos;
}

// The arguments of the call whose '(' is at open: commas at its own depth.
int ArgumentCount(const std::vector<Token> &tokens, size_t open, size_t close)
{
   if (close == open + 1)
      return 0;
   int count = 1, depth = 0;
   for (size_t k = open + 1; k < close; k++)
   {
      if (tokens[k].Is("(") || tokens[k].Is("["))
         depth++;
      else if (tokens[k].Is(")") || tokens[k].Is("]"))
         depth--;
      else if (depth == 0 && tokens[k].Is(","))
         count++;
   }
   return count;
}

void CheckCalls(const std::vector<Token> &tokens, const FunctionBody &body, const KnownFunctions &known, bool modulesMissing, std::vector<Warning> *out)
{
   for (size_t k = body.open; k + 1 < body.close; k++)
   {
      const Token &t = tokens[k];
      if (t.kind != TokenKind::Name || !tokens[k + 1].Is("("))
         continue;
      size_t close = MatchingClose(tokens, k + 1, "(", ")");
      int given = ArgumentCount(tokens, k + 1, close);
      const FunctionArity *f = known.Find(t.text);
      int line = t.line;
      if (f == nullptr)
      {
         // A module that is not there may hold the function.
         if (modulesMissing)
            continue;
         std::string text = "call of `" + t.text + "`, a function that is defined nowhere";
         std::string close = known.Closest(t.text);
         if (!close.empty())
            text += "; did you mean `" + close + "`?";
         out->push_back({line, text});
      }
      else if (!f->Takes(given))
      {
         std::string takes = f->script ? "at most " + std::to_string(f->most) : f->Describe();
         const bool one = f->script ? f->most == 1 : (f->least == 1 && f->most == 1);
         out->push_back({line, "`" + t.text + "` takes " + takes + " argument" + (one ? "" : "s") +
                                  ", not " + std::to_string(given)});
      }
   }
}

// Code that follows return, exit, break or continue as the next statement
// of the same block.  The leaving statement must itself be a statement of
// the block (after '{', ';', '}' or a case label), not the body of an if
// or a loop, and a case label or the block's end makes code reachable again.
void CheckUnreachable(const std::vector<Token> &tokens, const FunctionBody &body, std::vector<Warning> *out)
{
   for (size_t k = body.open + 1; k < body.close; k++)
   {
      const Token &t = tokens[k];
      if (!(t.Is("return") || t.Is("exit") || t.Is("break") || t.Is("continue")))
         continue;
      const Token &before = tokens[k - 1];
      if (!(before.Is("{") || before.Is(";") || before.Is("}") || before.Is(":")))
         continue;
      // A '}' before it may end an if's braces and leave an else to come,
      // but the statement after the '}' is then the block's own anyway.
      int depth = 0;
      size_t end = k;
      for (; end < body.close; end++)
      {
         if (tokens[end].Is("(") || tokens[end].Is("["))
            depth++;
         else if (tokens[end].Is(")") || tokens[end].Is("]"))
            depth--;
         else if (depth == 0 && tokens[end].Is(";"))
            break;
      }
      size_t next = end + 1;
      if (next >= body.close)
         continue;
      const Token &n = tokens[next];
      // A break after a return in a switch is a habit that does no harm.
      if (n.Is("}") || n.Is("case") || n.Is("default") || n.Is("else") || (n.Is("break") && !t.Is("break")))
         continue;
      out->push_back({n.line, "unreachable code after " + t.text + " in " + body.name + "()"});
   }
}

}

std::vector<FunctionBody> FunctionBodies(const std::vector<Token> &tokens)
{
   std::vector<FunctionBody> bodies;
   for (size_t k = 0; k + 2 < tokens.size(); k++)
   {
      if (!tokens[k].Is("sub") || tokens[k + 1].kind != TokenKind::Name || !tokens[k + 2].Is("("))
         continue;
      FunctionBody body;
      body.name = tokens[k + 1].text;
      body.line = tokens[k].line;
      size_t j = k + 3;
      for (; j < tokens.size() && !tokens[j].Is(")"); j++)
         if (tokens[j].kind == TokenKind::Name)
            body.parameters.push_back(tokens[j].text);
      if (j + 1 >= tokens.size() || !tokens[j + 1].Is("{"))
         continue;
      body.open = j + 1;
      body.close = MatchingClose(tokens, body.open, "{", "}");
      if (body.close >= tokens.size())
         continue;
      bodies.push_back(body);
      k = body.close;
   }
   return bodies;
}

// Level 2: "x += v" and the like (one token, or the operator and "=" side by side).
static bool UpdatesInPlace(const std::vector<Token> &tokens, size_t k)
{
   // Most symbols after a name are none of these: one test turns them away.
   const Token &t = tokens[k];
   if (t.kind != TokenKind::Symbol || t.text[0] == '\0' || strchr("+-*/%.", t.text[0]) == nullptr)
      return false;
   static const char *const updates[] = {"+=", "-=", "*=", "/=", "%=", ".="};
   for (const char *u : updates)
      if (tokens[k].Is(u))
         return true;
   static const char *const operators[] = {"+", "-", "*", "/", "%", "."};
   for (const char *o : operators)
      if (tokens[k].Is(o) && k + 1 < tokens.size() && tokens[k + 1].Is("=") && tokens[k + 1].begin == tokens[k].end)
         return true;
   return false;
}

// Level 2: the word "in" of "for (k in a)" or "for (k, v in a)", at k.
static bool IsForIn(const std::vector<Token> &tokens, size_t k)
{
   if (tokens[k].text.size() != 2 || tokens[k].text != "in" || k < 3 || !IsPlainName(tokens[k - 1]))
      return false;
   if (tokens[k - 2].Is("(") && tokens[k - 3].Is("for"))
      return true;
   return k >= 5 && tokens[k - 2].Is(",") && IsPlainName(tokens[k - 3]) && tokens[k - 4].Is("(") &&
          tokens[k - 5].Is("for");
}

std::vector<std::pair<std::string, int>> UnassignedReads(const std::vector<Token> &tokens, const FunctionBody &body,
                                                         const std::set<std::string> &globals)
{
   // Views of the token texts, kept in plain vectors and sorted once at the
   // end: the tokens outlive the walk, and a set node per name cost more
   // than the walk itself.
   std::vector<std::string_view> assigned(body.parameters.begin(), body.parameters.end());
   struct Read
   {
      std::string_view name;
      int line;
   };
   std::vector<Read> reads;   // every read, in order
   bool declaring = false;   // inside "array a, b;"
   for (size_t k = body.open + 1; k < body.close; k++)
   {
      const Token &t = tokens[k];
      if (t.Is("array"))
         declaring = true;
      else if (t.Is(";"))
         declaring = false;
      if (!IsPlainName(t))
         continue;
      const Token &next = tokens[k + 1];
      const Token &before = tokens[k - 1];
      if (next.Is("(") || before.Is("->"))
         continue;   // a call, an attribute
      if (IsForIn(tokens, k))
         continue;   // a keyword there, not a variable
      bool assigns = declaring || next.Is("=") || next.Is("++") || next.Is("--") || before.Is("++") ||
                     before.Is("--") || UpdatesInPlace(tokens, k + 1) || (k + 1 < body.close && IsForIn(tokens, k + 1)) ||
                     (k + 3 < body.close && next.Is(",") && IsForIn(tokens, k + 3));
      if (next.Is("["))
      {
         // a[i] = v and a[i]++ change the array a holds.
         size_t close = MatchingClose(tokens, k + 1, "[", "]");
         assigns = assigns || (close + 1 < tokens.size() &&
                               (tokens[close + 1].Is("=") || tokens[close + 1].Is("++") || tokens[close + 1].Is("--") ||
                                UpdatesInPlace(tokens, close + 1)));
      }
      if (assigns)
         assigned.push_back(t.text);
      else
         reads.push_back({t.text, t.line});
   }
   std::sort(assigned.begin(), assigned.end());
   // The first read of each name is the one reported.
   std::vector<size_t> order(reads.size());
   for (size_t k = 0; k < order.size(); k++)
      order[k] = k;
   std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return reads[a].name < reads[b].name; });
   std::vector<bool> first(reads.size(), false);
   for (size_t k = 0; k < order.size(); k++)
      first[order[k]] = k == 0 || reads[order[k - 1]].name != reads[order[k]].name;
   std::vector<std::pair<std::string, int>> never;
   for (size_t k = 0; k < reads.size(); k++)
   {
      const Read &r = reads[k];
      if (first[k] && !std::binary_search(assigned.begin(), assigned.end(), r.name) &&
          globals.count(std::string(r.name)) == 0)
         never.push_back({std::string(r.name), r.line});
   }
   return never;
}

std::vector<std::string> AddModuleFunctions(const std::vector<Token> &scriptTokens, const Session &session,
                                            KnownFunctions *known)
{
   std::vector<std::string> missing;
   // The script's own tokens are read where they are: a copy of a large
   // script's tokens doubled what the check held.
   std::vector<std::vector<Token>> pending;
   std::set<std::string> done;
   for (bool first = true; first || !pending.empty(); first = false)
   {
      std::vector<Token> moduleTokens;
      if (!first)
      {
         moduleTokens = std::move(pending.back());
         pending.pop_back();
      }
      const std::vector<Token> &tokens = first ? scriptTokens : moduleTokens;
      for (size_t k = 0; k + 1 < tokens.size(); k++)
      {
         if (!tokens[k].Is("use"))
            continue;
         std::string name = tokens[k + 1].text;
         std::string lower = name;
         std::transform(lower.begin(), lower.end(), lower.begin(),
                        [](unsigned char c) { return static_cast<char>(tolower(c)); });
         if (!done.insert(lower).second)
            continue;
         std::string file = session.modulePath.LibraryFile(name);
         std::string moduleText;
         bool found = !file.empty() && LoadSource(file, &moduleText);
         for (size_t d = 0; !found && d < session.modulePath.Directories().size(); d++)
         {
            file = ModulePath::FileIn(session.modulePath.Directories()[d], name);
            found = LoadSource(file, &moduleText);
         }
         if (!found)
         {
            missing.push_back(name);
            continue;
         }
         // A module that does not compile fails the run as a missing one does.
         std::unique_ptr<ORVA_Program> compiled(CompileText(moduleText, nullptr));
         if (!compiled)
         {
            missing.push_back(name + "` (" + file + ") does not compile");
            continue;
         }
         std::vector<Token> scanned = ScanTokens(moduleText);
         known->AddScript(scanned, file);
         pending.push_back(std::move(scanned));
      }
   }
   return missing;
}

std::vector<Warning> CheckScript(const std::string &script, const Session &session)
{
   std::vector<Warning> out;
   std::vector<Token> tokens = ScanTokens(script);
   // An expression script is checked as the main it runs as, on its lines.
   const bool expression = !tokens.empty() && !tokens[0].Is("sub") && !tokens[0].Is("use");
   if (expression)
      tokens = ScanTokens("sub main() { return " + script + "\n; }");
   KnownFunctions known;
   known.AddHost(session);
   known.AddScript(tokens, "");
   std::vector<std::string> missing = AddModuleFunctions(tokens, session, &known);
   for (const std::string &problem : missing)
   {
      const std::string name = problem.substr(0, problem.find('`'));
      int line = 0;
      for (size_t k = 0; k + 1 < tokens.size() && line == 0; k++)
         if (tokens[k].Is("use") && strcasecmp(tokens[k + 1].text.c_str(), name.c_str()) == 0)
            line = tokens[k].line;
      out.push_back({line, problem.size() > name.size()
                              ? "module `" + problem
                              : "module `" + name + "` is not found where the command looks for modules"});
   }

   std::set<std::string> globals;
   for (const auto &g : session.globals)
      globals.insert(g.first);
   for (const FunctionBody &body : FunctionBodies(tokens))
   {
      CheckCalls(tokens, body, known, !missing.empty(), &out);
      for (const auto &r : UnassignedReads(tokens, body, globals))
         out.push_back({r.second, "`" + r.first + "` is read but never assigned in " + body.name + "(), so it is null"});
      CheckUnreachable(tokens, body, &out);
   }
   std::stable_sort(out.begin(), out.end(), [](const Warning &a, const Warning &b) { return a.line < b.line; });
   return out;
}

}
