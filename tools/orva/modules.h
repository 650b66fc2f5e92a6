/*
 * How the command finds the modules that "use" names.  The library looks in
 * the current directory only; the command looks, in this order, in the
 * script library (-m NAME=FILE), the directory of the script, each -L
 * directory, each directory of ORVA_PATH and the current directory.  It
 * keeps a record of each run's modules: which file each came from, and why
 * one could not be linked, so that its messages can say so.
 */
#ifndef ORVA_CLI_MODULES_H
#define ORVA_CLI_MODULES_H

#include "error_parts.h"
#include "orva.h"

#include <string>
#include <utility>
#include <vector>

namespace orva_cli
{

// The directories a module file is looked for in, in order, each once.
class ModulePath
{
public:
   // scriptPath is the script's file name, or empty for -e, standard input
   // and the prompt; searchDirs are the -L directories; orvaPath is the
   // value of ORVA_PATH (directories separated by ':'), or null.
   void Set(const std::string &scriptPath, const std::vector<std::string> &searchDirs, const char *orvaPath);

   const std::vector<std::string> &Directories() const { return m_dirs; }

   // The file a module of that name has in a directory: the name as written
   // (a::b stays a::b) followed by ".orva".
   static std::string FileIn(const std::string &dir, const std::string &name);

   // The file a module of the script library (-m NAME=FILE) was compiled
   // from, so that messages can name it; empty for a name it does not hold.
   void AddLibraryFile(const std::string &name, const std::string &file);
   std::string LibraryFile(const std::string &name) const;

private:
   void Add(const std::string &dir);
   std::vector<std::string> m_dirs;
   std::vector<std::pair<std::string, std::string>> m_libraryFiles;
};

// What happened to the modules of one run.
struct ModuleRecord
{
   struct Linked
   {
      std::string name;
      std::string file;   // for the script library, the file given with -m
   };
   std::vector<Linked> linked;

   // The file of the linked module of that name (any case of letters), or
   // empty when none was linked under it.
   std::string FileOf(const std::string &name) const;

   // The module that stopped the run, when one did.
   bool failed = false;
   std::string failedName;
   std::string failedFile;           // the file found, when it did not compile
   ErrorText compileError;           // why it did not
   std::string failedSource;         // its prepared text, for the message

   bool AnyLinked() const { return !linked.empty(); }
};

// The environment of every run of the command: the library's built-ins, the
// extension functions, the command's own functions, output to standard
// output and the module search above.  It carries what the command's own
// functions tell scripts.
class CommandEnvironment : public ORVA_Environment
{
public:
   CommandEnvironment(const ModulePath &path, ModuleRecord *record, uint32 argumentCount);

   int UseModule(ORVA_Program *main, const char *name) override;
   uint32 ArgumentCount() const { return m_argumentCount; }

   // The functions scripts can call, in the order a lookup takes them.
   const ORVA_ExtFunction *Functions(uint32 *count) const
   {
      *count = m_functionCount;
      return m_functions;
   }

   // Where exitstatus() leaves the status the script asks the command to
   // exit with; null where scripts cannot set one (the prompt).
   void SetStatusOut(int *status) { m_status = status; }
   int *StatusOut() const { return m_status; }

private:
   bool AlreadyLinked(const char *name) const;

   const ModulePath &m_path;
   ModuleRecord *m_record;
   uint32 m_argumentCount;
   int *m_status = nullptr;
};

}

#endif
