/*
 * A library error in the parts the library gives them, which every report
 * of the command is written from.
 */
#ifndef ORVA_CLI_ERROR_PARTS_H
#define ORVA_CLI_ERROR_PARTS_H

#include <string>

namespace orva_cli
{

// code is 0 for a compile error and for a stop; line is -1 for a run the
// library refused as a whole, which has no error of its own.
struct ErrorText
{
   int code = 0;
   int line = -1;
   std::string message;
};

}

#endif
