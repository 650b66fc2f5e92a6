/*
 * orva --profile: the report of a profiled run, as a table, folded stacks
 * or a flame graph.
 */
#ifndef ORVA_CLI_PROFILE_H
#define ORVA_CLI_PROFILE_H

#include "orva.h"

#include <string>

namespace orva_cli
{

struct ProfileRequest
{
   enum Kind
   {
      TABLE,
      FOLDED,
      SVG
   };
   Kind kind = TABLE;
   int weight = ORVA_PROFILE_INSTRUCTIONS;   // what folded stacks and the flame graph weigh
   std::string file;                         // "" for standard error, "-" for standard output
};

// The value of --profile[=FORMAT]: "" (a table), table, folded, svg, with
// "-time" after folded or svg to weigh by time, and ":FILE" after any (svg
// needs one).  False for text that is none of them.
bool ParseProfileFormat(const char *text, ProfileRequest *request);

// The table of a profile: a head line, then rows by function and by line.
std::string ProfileTable(const ORVA_Profile &profile, const std::string &script);

// A flame graph of folded stacks as a standalone SVG picture: a frame per
// distinct stack prefix, as wide as its weight, with its name and weight
// in a tooltip.
std::string FlameGraphSvg(const std::string &folded, const std::string &title, const char *unit);

// Writes the report the request asks for; false (and a message on standard
// error) when its file cannot be written.
bool WriteProfile(const ORVA_Profile &profile, const ProfileRequest &request, const std::string &script);

}

#endif
