/*
 * The program listing of -d: the library's listing, with control characters
 * in constants written as escapes (a line feed in a text no longer breaks
 * the line of its instruction) and a label line before the first
 * instruction of every function.
 */
#ifndef ORVA_CLI_LISTING_H
#define ORVA_CLI_LISTING_H

#include "orva.h"

#include <string>

namespace orva_cli
{

// The listing as text.
std::string ProgramListing(ORVA_Program *program);

}

#endif
