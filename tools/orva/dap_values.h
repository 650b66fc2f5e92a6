/*
 * The values an editor sees at a stop: their text, their type, and handles
 * (the protocol's variablesReference) for what can be opened, the scopes
 * of a frame and arrays.  Handles live for one stop: the run changes the
 * values once it goes on.
 */
#ifndef ORVA_CLI_DAP_VALUES_H
#define ORVA_CLI_DAP_VALUES_H

#include "json.h"
#include "orva.h"

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace orva_cli
{

typedef std::vector<std::pair<std::string, ORVA_Value *>> NamedValues;

// The items [start, start + count) of total that a request pages through
// with the arguments startKey and countKey: a start outside the items
// gives none, and no count (or one past the end) all from the start on.
struct DapPage
{
   int64_t start;
   int64_t count;
};
DapPage PageOf(const Json &args, const char *startKey, const char *countKey, int64_t total);

class DapValues
{
public:
   // A handle whose variables list() gives when the editor opens it.
   int AddScope(std::function<NamedValues()> list);

   // One variable as the protocol shows it; an array gets a handle.
   Json Variable(const std::string &name, ORVA_Value *value);

   // The variables behind a handle, from the arguments of a variables
   // request (start and count page through a large array); false for a
   // handle of no stop.
   bool Children(const Json &args, Json *list);

   void Forget();

   // A value's text for a person: text quoted, arrays as their first
   // elements, objects by class.
   static std::string Display(ORVA_Value *value);
   static std::string TypeName(ORVA_Value *value);

private:
   struct Entry
   {
      std::function<NamedValues()> scope;   // or, when empty:
      ORVA_Array *array = nullptr;
   };
   std::vector<Entry> m_entries;            // handle k + 1 is entry k
   std::map<ORVA_Array *, int> m_arrays;    // one handle per array at a stop

   int ArrayHandle(ORVA_Array *array);
};

// The value an element path names (value_paths.h); find gives a name's
// value (null for a name the run has not).  false with *error for text that
// is no such path, or one that leads nowhere.
bool EvaluatePath(const std::string &path, const std::function<ORVA_Value *(const std::string &)> &find,
                 ORVA_Value **out, std::string *error);

}

#endif
