/*
 * The one reader of value paths, the way a person names a value of a paused
 * run at either debugger (orva --debug, orva --dap): a variable's name,
 * then any number of selectors [3] or ["k"].  Selectors take keys as
 * level-2 scripts do, so a quoted "007" is the text key and ["7"] the
 * element 7.  Each debugger words the failures its own way.
 */
#ifndef ORVA_CLI_VALUE_PATHS_H
#define ORVA_CLI_VALUE_PATHS_H

#include "orva.h"

#include <functional>
#include <string>

namespace orva_cli
{

enum PathFailure
{
   PATH_FOUND,
   PATH_NO_NAME,       // the text does not start with a variable's name
   PATH_SYNTAX,        // subject: the text from the selector that could not be read
   PATH_NO_VARIABLE,   // subject: the name
   PATH_NOT_ARRAY,     // subject: the path up to the value that is no array
   PATH_NO_ELEMENT     // subject: the path of the missing element
};

struct PathResult
{
   PathFailure failure = PATH_FOUND;
   ORVA_Value *value = nullptr;
   std::string subject;
};

// find gives a name's value in the paused call, null for a name it lacks.
PathResult ResolvePath(const std::string &path, const std::function<ORVA_Value *(const std::string &)> &find);

}

#endif
