#include "functions.h"

#include "source_scan.h"

#include <algorithm>
#include <memory>

namespace orva_cli
{

namespace
{

// Host functions registered to take any number of arguments check their
// count themselves; these are the counts they accept.
const struct
{
   const char *name;
   int least, most;
} s_variadic[] = {
   {"d2x", 1, 2},      {"gmtime", 0, 1}, {"localtime", 0, 1}, {"left", 2, 3},   {"right", 2, 3},
   {"max", 1, -1},     {"min", 1, -1},   {"strftime", 1, 3},  {"substr", 2, 3}, {"index", 2, 3},
   {"format", 1, -1},
};

size_t EditDistance(const std::string &a, const std::string &b)
{
   std::vector<size_t> row(b.size() + 1);
   for (size_t j = 0; j <= b.size(); j++)
      row[j] = j;
   for (size_t i = 1; i <= a.size(); i++)
   {
      size_t diagonal = row[0];
      row[0] = i;
      for (size_t j = 1; j <= b.size(); j++)
      {
         size_t above = row[j];
         bool same = tolower(static_cast<unsigned char>(a[i - 1])) == tolower(static_cast<unsigned char>(b[j - 1]));
         row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
         diagonal = above;
      }
   }
   return row[b.size()];
}

}

std::string FunctionArity::Describe() const
{
   if (most == least)
      return std::to_string(least);
   if (most < 0)
      return "at least " + std::to_string(least);
   if (most == least + 1)
      return std::to_string(least) + " or " + std::to_string(most);
   return std::to_string(least) + " to " + std::to_string(most);
}

void KnownFunctions::AddHost(const Session &session)
{
   ModuleRecord record;
   std::unique_ptr<CommandEnvironment> env(
      static_cast<CommandEnvironment *>(NewEnvironment(session, &record)));
   uint32 count = 0;
   const ORVA_ExtFunction *list = env->Functions(&count);
   for (uint32 i = 0; i < count; i++)
   {
      FunctionArity arity;
      arity.least = list[i].m_argCount < 0 ? 0 : list[i].m_argCount;
      arity.most = list[i].m_argCount;
      for (const auto &v : s_variadic)
         if (list[i].m_argCount < 0 && list[i].m_name == std::string(v.name))
         {
            arity.least = v.least;
            arity.most = v.most;
         }
      // Lookups take the first of a name, as the run does.
      m_functions.emplace(list[i].m_name, arity);
   }
}

void KnownFunctions::AddScript(const std::vector<Token> &tokens, const std::string &where)
{
   for (size_t k = 0; k + 2 < tokens.size(); k++)
   {
      if (!tokens[k].Is("sub") || tokens[k + 1].kind != TokenKind::Name || !tokens[k + 2].Is("("))
         continue;
      FunctionArity arity;
      arity.script = true;
      arity.where = where;
      size_t j = k + 3;
      int parameters = 0;
      for (; j < tokens.size() && !tokens[j].Is(")"); j++)
         parameters += tokens[j].kind == TokenKind::Name ? 1 : 0;
      arity.least = 0;
      arity.most = parameters;
      // A body that reads $N takes arguments past its parameters.
      int depth = 0;
      for (j++; j < tokens.size(); j++)
      {
         if (tokens[j].Is("{"))
            depth++;
         else if (tokens[j].Is("}") && --depth <= 0)
            break;
         else if (tokens[j].kind == TokenKind::Name && tokens[j].text[0] == '$')
            arity.most = -1;
      }
      // The script's own functions come first in a lookup, then the host's,
      // then those of linked modules.
      if (where.empty())
         m_functions[tokens[k + 1].text] = arity;
      else
         m_functions.emplace(tokens[k + 1].text, arity);
   }
}

const FunctionArity *KnownFunctions::Find(const std::string &name) const
{
   auto it = m_functions.find(name);
   return it != m_functions.end() ? &it->second : nullptr;
}

std::string KnownFunctions::Closest(const std::string &name) const
{
   // One slip in a short name, two in a longer one.
   std::string best;
   size_t bestDistance = (name.size() <= 4 ? 1 : 2) + 1;
   std::vector<std::string> names = {"print", "println"};   // statements, often written as calls
   for (const auto &f : m_functions)
      if (f.first[0] != '_')
         names.push_back(f.first);
   for (const std::string &candidate : names)
   {
      size_t d = EditDistance(name, candidate);
      if (d < bestDistance)
      {
         bestDistance = d;
         best = candidate;
      }
   }
   return best;
}

}
