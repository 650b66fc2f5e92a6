#include "prompt.h"

#include "diagnostics.h"
#include "hints.h"
#include "interrupt.h"
#include "line_input.h"

#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <unordered_map>
#include <unordered_set>

namespace orva_cli
{

namespace
{

typedef std::map<std::string, std::unique_ptr<ORVA_Value>> ValueMap;

// The host function through which an input hands back the variables it
// assigned: _orva_keep(result, "#name name...", value, value...) records
// copies of the values and returns the result.  The names travel as one
// text that starts with '#' so that no name can read as a number.
const char KEEP_FUNCTION[] = "_orva_keep";
ValueMap *s_kept = nullptr;

int KeepHandler(int argc, ORVA_Value **argv, ORVA_Value **result)
{
   if (argc < 2)
      return ORVA_ERR_INVALID_ARGUMENT_COUNT;
   const char *names = argv[1]->GetValueAsCString();
   if (names == nullptr || *names != '#')
      return ORVA_ERR_INTERNAL;
   names++;
   for (int i = 2; i < argc && *names != '\0'; i++)
   {
      const char *end = strchr(names, ' ');
      size_t length = end != nullptr ? static_cast<size_t>(end - names) : strlen(names);
      if (s_kept != nullptr)
         (*s_kept)[std::string(names, length)].reset(new ORVA_Value(argv[i]));
      names += length;
      if (*names == ' ')
         names++;
   }
   *result = new ORVA_Value(argv[0]);
   return 0;
}

std::string Trim(const std::string &s)
{
   size_t first = s.find_first_not_of(" \t\r");
   if (first == std::string::npos)
      return std::string();
   size_t last = s.find_last_not_of(" \t\r");
   return s.substr(first, last - first + 1);
}

int CountLines(const std::string &text)
{
   int lines = 1;
   for (char c : text)
      lines += c == '\n' ? 1 : 0;
   return lines;
}

const char PROMPT_NAME[] = "(prompt)";

// Every input runs as main, so the main of a script given with -i is kept
// under this name, and calls of main in inputs call it.
const char SCRIPT_MAIN[] = "_orva_script_main";

// text with every call of the function from renamed to to.
std::string RenameCalls(const std::string &text, const std::string &from, const std::string &to)
{
   std::vector<Token> tokens = ScanTokens(text);
   std::string out;
   size_t copied = 0;
   for (size_t k = 0; k + 1 < tokens.size(); k++)
   {
      if (tokens[k].kind == TokenKind::Name && tokens[k].text == from && tokens[k + 1].Is("("))
      {
         out += text.substr(copied, tokens[k].begin - copied) + to;
         copied = tokens[k].end;
      }
   }
   return out + text.substr(copied);
}

// A message about renamed code, in the names the user wrote.
std::string ScriptMainAsMain(std::string text)
{
   for (size_t at = text.find(SCRIPT_MAIN); at != std::string::npos; at = text.find(SCRIPT_MAIN, at))
      text.replace(at, sizeof(SCRIPT_MAIN) - 1, "main");
   return text;
}

// Follows, line by line, what an input leaves open, so that an input that
// certainly goes on is not compiled again at each of its lines (which made
// long inputs cost quadratic time).
class OpenConstructs
{
public:
   void Reset() { *this = OpenConstructs(); }

   void Add(const std::string &line)
   {
      for (const Token &t : ScanContinued(line, &m_comment))
      {
         bool closesHeader = false;
         if (t.Is("(") || t.Is("[") || t.Is("{"))
         {
            bool header = m_previous == "if" || m_previous == "while" || m_previous == "for" || m_previous == "switch" ||
                          (m_previousIsName && m_beforePrevious == "sub");
            m_open.push_back(header);
         }
         else if ((t.Is(")") || t.Is("]") || t.Is("}")) && !m_open.empty())
         {
            closesHeader = t.Is(")") && m_open.back();
            m_open.pop_back();
         }
         m_endsHeader = closesHeader || t.Is("else") || t.Is("do");
         m_beforePrevious = m_previous;
         m_previous = t.kind == TokenKind::Text ? std::string("\"") : t.text;
         m_previousIsName = t.kind == TokenKind::Name;
      }
   }

   // True when the text so far cannot be a whole input yet.
   bool Unfinished() const { return m_comment > 0 || !m_open.empty() || m_endsHeader; }

private:
   std::vector<bool> m_open;   // per open bracket: does it hold a statement header
   int m_comment = 0;
   bool m_endsHeader = false;
   std::string m_previous, m_beforePrevious;
   bool m_previousIsName = false;
};

// A compiled text put together from parts, with the line where each starts,
// so that a line of the whole can be told as a line of its part.
struct Assembly
{
   struct Part
   {
      int firstLine;
      std::string where;
   };
   std::string text;
   std::vector<Part> parts;

   void Add(const std::string &piece, const std::string &where)
   {
      parts.push_back({CountLines(text), where});
      text += piece;
      text += "\n";
   }

   void Locate(int line, std::string *where, int *lineThere) const
   {
      *where = parts.empty() ? PROMPT_NAME : parts.front().where;
      *lineThere = line;
      for (const Part &p : parts)
      {
         if (line >= p.firstLine)
         {
            *where = p.where;
            *lineThere = line - p.firstLine + 1;
         }
      }
   }
};

// The functions and use statements kept at the prompt.  An input is compiled
// with the use statements and only the functions it calls, directly or
// through other kept functions, so that a prompt that keeps thousands of
// functions compiles what an input needs, not all of them each time.
class Definitions
{
public:
   // Adds a definition, or replaces the one with the same key in its place.
   void Put(const Definition &d)
   {
      Kept k;
      k.key = d.key;
      k.text = d.text;
      bool isSub = d.key.compare(0, 4, "sub ") == 0;
      if (isSub)
         k.calls = CalledNames(ScanTokens(d.text));
      auto it = m_index.find(d.key);
      if (it != m_index.end())
      {
         m_items[it->second] = std::move(k);
         return;
      }
      m_index[d.key] = m_items.size();
      m_items.push_back(std::move(k));
   }

   // Adds to assembly the use statements and the functions that tokens
   // reach, in the order they were defined, without the keys of skip.
   void AddNeeded(const std::vector<Token> &tokens, const std::vector<Definition> &skip, Assembly *assembly) const
   {
      std::unordered_set<std::string> skipped;
      for (const Definition &d : skip)
         skipped.insert(d.key);
      std::vector<bool> needed(m_items.size(), false);
      std::vector<std::string> pending = CalledNames(tokens);
      while (!pending.empty())
      {
         std::string name = std::move(pending.back());
         pending.pop_back();
         auto it = m_index.find("sub " + name);
         if (it == m_index.end() || needed[it->second] || skipped.count(it->first) != 0)
            continue;
         needed[it->second] = true;
         for (const std::string &call : m_items[it->second].calls)
            pending.push_back(call);
      }
      for (size_t i = 0; i < m_items.size(); i++)
      {
         const Kept &k = m_items[i];
         bool isUse = k.key.compare(0, 4, "use ") == 0;
         if ((needed[i] || isUse) && skipped.count(k.key) == 0)
            assembly->Add(k.text, isUse ? std::string(PROMPT_NAME) : "(" + k.key + ")");
      }
   }

private:
   struct Kept
   {
      std::string key;
      std::string text;
      std::vector<std::string> calls;
   };
   std::vector<Kept> m_items;
   std::unordered_map<std::string, size_t> m_index;
};

class Prompt
{
public:
   explicit Prompt(const Session &session);

   // Starts with the functions and use statements of a script.
   void Adopt(const std::string &script);

   void Evaluate(const Snippet &snippet, const std::string &text);

private:
   void Define(const Snippet &snippet, const std::string &text);
   void RunInput(const Snippet &snippet, const std::string &text);
   // Runs an assembled program with the prompt's globals, and its variables
   // as the locals of main when passLocals is set; the run's result code.
   int Run(ORVA_Program *program, const Assembly &assembly, bool passLocals);
   ORVA_Program *Compile(const Assembly &assembly);
   void Echo(ORVA_Program *program);

   const Session &m_session;
   ValueMap m_globals;     // -D globals and what runs left in them
   ValueMap m_variables;   // variables made at the prompt
   ValueMap m_kept;        // what the last input handed back
   Definitions m_definitions;
   bool m_scriptMain = false;   // the script of -i had a main
};

void ReportError(const std::string &lines)
{
   fflush(stdout);
   fputs(lines.c_str(), stderr);
}

Prompt::Prompt(const Session &session) : m_session(session)
{
   for (const auto &g : session.globals)
      m_globals[g.first].reset(new ORVA_Value(g.second.c_str()));
}

void Prompt::Adopt(const std::string &script)
{
   std::vector<Definition> definitions;
   if (!SplitDefinitions(script, ScanTokens(script), &definitions))
      return;   // an expression script has no functions to keep
   for (Definition &d : definitions)
   {
      if (d.key == "sub main")
      {
         d.key = std::string("sub ") + SCRIPT_MAIN;
         m_scriptMain = true;
      }
      d.text = RenameCalls(d.text, "main", SCRIPT_MAIN);
      m_definitions.Put(d);
   }
}

ORVA_Program *Prompt::Compile(const Assembly &assembly)
{
   ErrorText e;
   ORVA_Program *program = CompileText(assembly.text, &e);
   if (program == nullptr)
   {
      std::string where;
      int line = 0;
      assembly.Locate(e.line, &where, &line);
      ReportError(ScriptMainAsMain(Location(where, line) + "error: " + ReadableSyntaxError(e.message) + "\n"));
   }
   return program;
}

int Prompt::Run(ORVA_Program *program, const Assembly &assembly, bool passLocals)
{
   for (const auto &g : m_globals)
      program->SetGlobalVariable(g.first.c_str(), new ORVA_Value(g.second.get()));

   ORVA_VariableSystem *locals = nullptr;
   if (passLocals)
   {
      locals = new ORVA_VariableSystem();
      for (const auto &v : m_variables)
         locals->Create(v.first.c_str(), new ORVA_Value(v.second.get()));
   }

   ModuleRecord record;
   ORVA_Environment *env = NewEnvironment(m_session, &record);
   ORVA_ExtFunction keep;
   memset(&keep, 0, sizeof(keep));
   strcpy(keep.m_name, KEEP_FUNCTION);
   keep.m_handler = KeepHandler;
   keep.m_argCount = -1;
   env->RegisterFunctionSet(1, &keep);

   m_kept.clear();
   s_kept = &m_kept;
   ORVA_VariableSystem *globalsOut = nullptr;
   int rc;
   {
      WatchedRun watch(program);
      rc = program->Run(env, 0, nullptr, locals, &globalsOut);
   }
   TakeInterrupt();
   s_kept = nullptr;
   fflush(stdout);

   // Globals keep what the run left in them, even after an error, as a
   // script's own globals would.
   if (globalsOut != nullptr)
   {
      for (uint32 i = 0; i < globalsOut->Count(); i++)
      {
         ORVA_Variable *v = globalsOut->GetVariable(i);
         auto it = m_globals.find(v->Name());
         if (it != m_globals.end() && v->Value() != nullptr)
            it->second.reset(new ORVA_Value(v->Value()));
      }
      delete globalsOut;
   }

   if (rc == 0)
   {
      for (auto &k : m_kept)
      {
         if (m_globals.count(k.first) != 0)
            continue;
         if (k.second->IsNull())
            m_variables.erase(k.first);
         else
            m_variables[k.first] = std::move(k.second);
      }
   }
   else
   {
      LineLocator locate = [&assembly](int line, std::string *where, int *lineThere) {
         assembly.Locate(line, where, lineThere);
      };
      std::set<std::string> held;
      for (const auto &v : m_variables)
         held.insert(v.first);
      std::string note = program->GetStopReason() == ORVA_STOP_NONE
                            ? RunErrorNote(*program, assembly.text, m_session, held)
                            : std::string();
      ReportError(ScriptMainAsMain(DescribeRunError(locate, assembly.text, RunErrorOf(*program),
                                                    TraceOf(*program), record, m_session.modulePath,
                                                    note)));
   }
   m_kept.clear();
   return rc;
}

void Prompt::Echo(ORVA_Program *program)
{
   ORVA_Value *result = program->GetResult();
   if (result == nullptr || result->IsNull())
      return;
   WriteValue(stdout, result);
   fputc('\n', stdout);
   fflush(stdout);
}

void Prompt::Define(const Snippet &snippet, const std::string &text)
{
   std::vector<Definition> added;
   if (!SplitDefinitions(text, snippet.tokens, &added))
   {
      ReportError(std::string(PROMPT_NAME) + ": error: cannot take the definitions apart\n");
      return;
   }

   bool definesMain = false;
   bool usesModules = false;
   for (const Definition &d : added)
   {
      definesMain = definesMain || d.key == "sub main";
      usesModules = usesModules || d.key.compare(0, 4, "use ") == 0;
   }

   Assembly assembly;
   assembly.Add(text, PROMPT_NAME);
   if (definesMain)
   {
      // A complete program: run it now with the functions defined so far.
      m_definitions.AddNeeded(snippet.tokens, added, &assembly);
      std::unique_ptr<ORVA_Program> program(Compile(assembly));
      if (program && Run(program.get(), assembly, false) == 0)
         Echo(program.get());
      return;
   }

   // The text compiled on its own, and every kept definition did, so the
   // set stays valid.  Modules are tried before they are kept, so that a
   // missing one does not spoil every later input.
   if (usesModules)
   {
      assembly.Add("sub main() { }", PROMPT_NAME);
      std::unique_ptr<ORVA_Program> program(Compile(assembly));
      if (!program || Run(program.get(), assembly, false) != 0)
         return;
   }
   for (Definition d : added)
   {
      if (m_scriptMain)
         d.text = RenameCalls(d.text, "main", SCRIPT_MAIN);
      m_definitions.Put(d);
   }
}

void Prompt::RunInput(const Snippet &snippet, const std::string &text)
{
   std::vector<std::string> names = VariableNames(snippet.tokens);
   std::string nameList = "\"#";
   std::string valueList;
   for (size_t i = 0; i < names.size(); i++)
   {
      nameList += (i > 0 ? " " : "") + names[i];
      valueList += ", " + names[i];
   }
   nameList += "\"";

   // Each input runs as main, so a call of main would call the input itself.
   for (const std::string &call : CalledNames(snippet.tokens))
   {
      if (call == "main" && !m_scriptMain)
      {
         ReportError(std::string(PROMPT_NAME) + ": error: main cannot be called at the prompt, where every input "
                                                "runs as main\n");
         return;
      }
   }
   const std::string input = m_scriptMain ? RenameCalls(text, "main", SCRIPT_MAIN) : text;
   std::vector<Token> inputTokens = m_scriptMain ? ScanTokens(input) : snippet.tokens;

   Assembly assembly;
   if (snippet.form == SnippetForm::Expression)
   {
      assembly.Add(std::string("sub main() { return ") + KEEP_FUNCTION + "((" + input + SnippetEnd(input) + "), " +
                      nameList + valueList + "); }",
                   PROMPT_NAME);
   }
   else
   {
      std::string tail = std::string(KEEP_FUNCTION) + "(NULL, " + nameList + valueList + ");";
      assembly.Add(StatementsAsMain(snippet, input, tail, ""), PROMPT_NAME);
   }
   m_definitions.AddNeeded(inputTokens, {}, &assembly);

   std::unique_ptr<ORVA_Program> program(Compile(assembly));
   if (program && Run(program.get(), assembly, true) == 0 &&
       !(snippet.form == SnippetForm::Expression && IsTopLevelAssignment(snippet.tokens)))
      Echo(program.get());
}

void Prompt::Evaluate(const Snippet &snippet, const std::string &text)
{
   if (!snippet.ok)
      ReportError(DescribeCompileError(PROMPT_NAME, text, snippet.error, false));
   else if (snippet.form == SnippetForm::Module)
      Define(snippet, text);
   else
      RunInput(snippet, text);
}

// A complete if statement may still get its else on the next line.
bool MayTakeElse(const Snippet &snippet, const std::string &text)
{
   if (!snippet.ok || snippet.form != SnippetForm::Statements)
      return false;
   ORVA_Program *program = CompileText(StatementsAsMain(snippet, text, "\nelse ;", ""), nullptr);
   delete program;
   return program != nullptr;
}

}

int RunPrompt(const Session &session, bool terminal, const std::string *script)
{
   LineInput input(terminal);
   Prompt prompt(session);
   if (script != nullptr)
      prompt.Adopt(*script);
   if (terminal)
      printf("orva %s - end with Ctrl-D or \"exit\"\n", ORVA_VERSION_STRING);

   std::string pending;          // the input so far
   OpenConstructs open;          // what it leaves open
   bool waitingForElse = false;  // pending is a complete if statement
   std::string line;
   bool atEnd = true;
   ReadResult got;
   while ((got = input.Read(pending.empty() ? "> " : ">> ", &line)) != ReadResult::End)
   {
      if (got == ReadResult::Interrupted)
      {
         // Ctrl-C gives up on the input so far; what was typed after it
         // (with line editing) starts a new one.
         pending.clear();
         open.Reset();
         waitingForElse = false;
      }
      // A zero byte would end the text where the compiler reads it.
      for (char &c : line)
         if (c == '\0')
            c = ' ';
      std::string trimmed = Trim(line);

      if (waitingForElse)
      {
         std::vector<Token> first = ScanTokens(line);
         if (!first.empty() && first[0].Is("else"))
         {
            waitingForElse = false;   // goes on below as part of the input
         }
         else
         {
            input.Remember(pending);
            prompt.Evaluate(ClassifySnippet(pending), pending);
            pending.clear();
            open.Reset();
            waitingForElse = false;
            if (trimmed.empty())
               continue;
         }
      }

      if (pending.empty())
      {
         if (trimmed.empty())
            continue;
         if (trimmed == "exit" || trimmed == "quit")
         {
            input.Remember(trimmed);
            atEnd = false;
            break;
         }
         pending = line;
      }
      else if (trimmed.empty())
      {
         // An empty line gives up on an unfinished input.
         pending.clear();
         open.Reset();
         continue;
      }
      else
      {
         pending += "\n" + line;
      }

      open.Add(line);
      if (open.Unfinished())
         continue;
      Snippet snippet = ClassifySnippet(pending);
      if (!snippet.ok && snippet.incomplete)
         continue;
      if (MayTakeElse(snippet, pending))
      {
         waitingForElse = true;
         continue;
      }
      input.Remember(pending);
      prompt.Evaluate(snippet, pending);
      pending.clear();
      open.Reset();
   }
   if (!pending.empty())
      prompt.Evaluate(ClassifySnippet(pending), pending);
   if (terminal && atEnd)
      fputc('\n', stdout);   // the prompt line that Ctrl-D left open
   return EXIT_STATUS_OK;
}

}
