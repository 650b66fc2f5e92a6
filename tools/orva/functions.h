/*
 * The functions a script can call, with how many arguments each takes, so
 * that the command can name the function at fault in an error, suggest the
 * name that was meant and find bad calls before a run.
 */
#ifndef ORVA_CLI_FUNCTIONS_H
#define ORVA_CLI_FUNCTIONS_H

#include "cli.h"
#include "source_scan.h"

#include <map>
#include <string>

namespace orva_cli
{

struct FunctionArity
{
   int least = 0;
   int most = -1;              // -1: any number
   bool script = false;        // a script or module function, which takes fewer arguments too
   std::string where;          // the file of a module function, else empty

   bool Takes(int count) const
   {
      return (script || count >= least) && (most < 0 || count <= most);
   }
   std::string Describe() const;   // "2", "2 or 3", "at least 1"
};

class KnownFunctions
{
public:
   // The built-ins, the extension functions and the command's own, as every
   // run of the session has them.
   void AddHost(const Session &session);
   // The functions a script or module text defines; a function that reads
   // $N arguments takes any number.
   void AddScript(const std::vector<Token> &tokens, const std::string &where);

   const FunctionArity *Find(const std::string &name) const;
   // The known name closest to name when it is close enough to be a slip of
   // the keyboard, else empty.
   std::string Closest(const std::string &name) const;

private:
   std::map<std::string, FunctionArity> m_functions;
};

}

#endif
