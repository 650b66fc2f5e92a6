#include "modules.h"

#include "cli.h"

#include <strings.h>
#include <utility>

namespace orva_cli
{

void ModulePath::Add(const std::string &dir)
{
   if (dir.empty())
      return;
   for (const std::string &d : m_dirs)
      if (d == dir)
         return;
   m_dirs.push_back(dir);
}

void ModulePath::Set(const std::string &scriptPath, const std::vector<std::string> &searchDirs, const char *orvaPath)
{
   m_dirs.clear();
   if (!scriptPath.empty())
   {
      size_t slash = scriptPath.find_last_of('/');
      Add(slash == std::string::npos ? "." : slash == 0 ? "/" : scriptPath.substr(0, slash));
   }
   for (const std::string &dir : searchDirs)
      Add(dir);
   if (orvaPath != nullptr)
   {
      std::string list = orvaPath;
      size_t start = 0;
      for (;;)
      {
         size_t colon = list.find(':', start);
         Add(list.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
         if (colon == std::string::npos)
            break;
         start = colon + 1;
      }
   }
   Add(".");
}

std::string ModulePath::FileIn(const std::string &dir, const std::string &name)
{
   if (dir == ".")
      return name + ".orva";
   return dir + (dir.back() == '/' ? "" : "/") + name + ".orva";
}

void ModulePath::AddLibraryFile(const std::string &name, const std::string &file)
{
   m_libraryFiles.emplace_back(name, file);
}

std::string ModulePath::LibraryFile(const std::string &name) const
{
   for (const auto &entry : m_libraryFiles)
      if (strcasecmp(entry.first.c_str(), name.c_str()) == 0)
         return entry.second;
   return std::string();
}

std::string ModuleRecord::FileOf(const std::string &name) const
{
   for (const Linked &m : linked)
      if (strcasecmp(m.name.c_str(), name.c_str()) == 0)
         return m.file;
   return std::string();
}

CommandEnvironment::CommandEnvironment(const ModulePath &path, ModuleRecord *record, uint32 argumentCount)
   : m_path(path), m_record(record), m_argumentCount(argumentCount)
{
}

bool CommandEnvironment::AlreadyLinked(const char *name) const
{
   for (const ModuleRecord::Linked &m : m_record->linked)
      if (strcasecmp(m.name.c_str(), name) == 0)
         return true;
   return false;
}

int CommandEnvironment::UseModule(ORVA_Program *main, const char *name)
{
   if (main == nullptr || name == nullptr)
      return 0;
   // The program links a name once; the files need not be read again.
   if (AlreadyLinked(name))
      return 1;

   if (m_library != nullptr)
   {
      ORVA_Program *script = m_library->FindScript(name);
      if (script != nullptr)
      {
         main->UseModule(script, name);
         m_record->linked.push_back({name, m_path.LibraryFile(name)});
         return 1;
      }
   }

   for (const std::string &dir : m_path.Directories())
   {
      std::string file = ModulePath::FileIn(dir, name);
      std::string text;
      if (!LoadModuleSource(file, &text))
         continue;
      // The first file found is the module, whether it compiles or not.
      ErrorText error;
      ORVA_Program *module = CompileText(text, &error);
      if (module == nullptr)
      {
         m_record->failed = true;
         m_record->failedName = name;
         m_record->failedFile = file;
         m_record->compileError = error;
         m_record->failedSource = std::move(text);
         return 0;
      }
      main->UseModule(module, name);
      delete module;
      m_record->linked.push_back({name, file});
      return 1;
   }
   m_record->failed = true;
   m_record->failedName = name;
   return 0;
}

}
