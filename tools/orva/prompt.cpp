#include "prompt.h"

#include "line_input.h"

#include <cstring>
#include <map>
#include <memory>

#ifndef ORVA_VERSION
#define ORVA_VERSION "unknown"
#endif

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

void ReportError(const std::string &text)
{
   fflush(stdout);
   fprintf(stderr, "%s\n", text.c_str());
}

class Prompt
{
public:
   explicit Prompt(const Session &session);

   void Evaluate(const Snippet &snippet, const std::string &text);

private:
   void Define(const Snippet &snippet, const std::string &text);
   void RunInput(const Snippet &snippet, const std::string &text);
   // Runs a program with the prompt's globals, and its variables as the
   // locals of main when passLocals is set; returns the run's result code.
   int Run(ORVA_Program *program, bool passLocals);
   void Echo(ORVA_Program *program);
   std::string DefinitionsText(const std::vector<Definition> &definitions,
                               const std::vector<Definition> *skip) const;

   const Session &m_session;
   ValueMap m_globals;     // -D globals and what runs left in them
   ValueMap m_variables;   // variables made at the prompt
   ValueMap m_kept;        // what the last input handed back
   std::vector<Definition> m_definitions;
};

Prompt::Prompt(const Session &session) : m_session(session)
{
   for (const auto &g : session.globals)
      m_globals[g.first].reset(new ORVA_Value(g.second.c_str()));
}

std::string Prompt::DefinitionsText(const std::vector<Definition> &definitions,
                                    const std::vector<Definition> *skip) const
{
   std::string text;
   for (const Definition &d : definitions)
   {
      bool skipped = false;
      if (skip != nullptr)
         for (const Definition &s : *skip)
            skipped = skipped || s.key == d.key;
      if (!skipped)
      {
         text += d.text;
         text += "\n";
      }
   }
   return text;
}

int Prompt::Run(ORVA_Program *program, bool passLocals)
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

   ORVA_Environment *env = NewEnvironment(m_session);
   ORVA_ExtFunction keep;
   memset(&keep, 0, sizeof(keep));
   strcpy(keep.m_name, KEEP_FUNCTION);
   keep.m_handler = KeepHandler;
   keep.m_argCount = -1;
   env->RegisterFunctionSet(1, &keep);

   m_kept.clear();
   s_kept = &m_kept;
   ORVA_VariableSystem *globalsOut = nullptr;
   int rc = program->Run(env, 0, nullptr, locals, &globalsOut);
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
      ReportError(program->GetErrorText() != nullptr ? program->GetErrorText() : "run failed");
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
      ReportError("cannot take the definitions apart");
      return;
   }

   bool definesMain = false;
   bool usesModules = false;
   for (const Definition &d : added)
   {
      definesMain = definesMain || d.key == "sub main";
      usesModules = usesModules || d.key.compare(0, 4, "use ") == 0;
   }

   std::string error;
   if (definesMain)
   {
      // A complete program: run it now with the functions defined so far.
      ORVA_Program *program =
         CompileText(text + "\n" + DefinitionsText(m_definitions, &added), &error);
      if (program == nullptr)
      {
         ReportError(error);
         return;
      }
      if (Run(program, false) == 0)
         Echo(program);
      delete program;
      return;
   }

   std::vector<Definition> merged = m_definitions;
   for (Definition &d : added)
   {
      bool replaced = false;
      for (Definition &m : merged)
      {
         if (m.key == d.key)
         {
            m.text = d.text;
            replaced = true;
         }
      }
      if (!replaced)
         merged.push_back(d);
   }

   // Try the new set before keeping it, so that one bad definition does not
   // spoil every later input.
   ORVA_Program *program = CompileText(DefinitionsText(merged, nullptr) + "sub main() { }\n", &error);
   if (program == nullptr)
   {
      ReportError(error);
      return;
   }
   int rc = usesModules ? Run(program, false) : 0;
   delete program;
   if (rc == 0)
      m_definitions = std::move(merged);
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

   std::string definitions = DefinitionsText(m_definitions, nullptr);
   std::string source;
   if (snippet.form == SnippetForm::Expression)
   {
      source = std::string("sub main() { return ") + KEEP_FUNCTION + "((" + text + SnippetEnd(text) + "), " + nameList +
               valueList + "); }\n" + definitions;
   }
   else
   {
      std::string tail = std::string(KEEP_FUNCTION) + "(NULL, " + nameList + valueList + ");";
      source = StatementsAsMain(snippet, text, tail, definitions);
   }

   std::string error;
   ORVA_Program *program = CompileText(source, &error);
   if (program == nullptr)
   {
      ReportError(error);
      return;
   }
   if (Run(program, true) == 0 &&
       !(snippet.form == SnippetForm::Expression && IsTopLevelAssignment(snippet.tokens)))
      Echo(program);
   delete program;
}

void Prompt::Evaluate(const Snippet &snippet, const std::string &text)
{
   if (!snippet.ok)
      ReportError(snippet.error);
   else if (snippet.form == SnippetForm::Module)
      Define(snippet, text);
   else
      RunInput(snippet, text);
}

}

int RunPrompt(const Session &session, bool terminal)
{
   LineInput input(terminal);
   Prompt prompt(session);
   if (terminal)
      printf("orva %s - end with Ctrl-D or \"exit\"\n", ORVA_VERSION);

   std::string pending;
   std::string line;
   bool atEnd = true;
   while (input.Read(pending.empty() ? "> " : ">> ", &line))
   {
      std::string trimmed = Trim(line);
      if (pending.empty())
      {
         if (trimmed.empty())
            continue;
         if (trimmed == "exit" || trimmed == "quit")
         {
            atEnd = false;
            break;
         }
         pending = line;
      }
      else if (trimmed.empty())
      {
         // An empty line gives up on an unfinished input.
         ReportError(ClassifySnippet(pending).error);
         pending.clear();
         continue;
      }
      else
      {
         pending += "\n" + line;
      }

      Snippet snippet = ClassifySnippet(pending);
      if (!snippet.ok && snippet.incomplete)
         continue;
      prompt.Evaluate(snippet, pending);
      pending.clear();
   }
   if (!pending.empty())
      ReportError(ClassifySnippet(pending).error);
   if (terminal && atEnd)
      fputc('\n', stdout);   // the prompt line that Ctrl-D left open
   return EXIT_STATUS_OK;
}

}
