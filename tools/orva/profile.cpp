#include "profile.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace orva_cli
{

namespace
{

// Beyond this many rows by line the table says how many it leaves out:
// the lines that matter come first.
const uint32 LINE_ROWS = 30;

std::string Where(const ORVA_ProfileRow &row)
{
   std::string where = row.function;
   if (row.line > 0)
      where += ':' + std::to_string(row.line);
   if (*row.module != '\0')
      where += std::string(" (module ") + row.module + ')';
   return where;
}

std::string Percent(uint64 part, uint64 whole)
{
   char text[16];
   snprintf(text, sizeof(text), "%5.1f%%", whole != 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole)
                                                       : 0.0);
   return text;
}

std::string RowText(const ORVA_ProfileRow &row, uint64 instructions)
{
   char text[160];
   snprintf(text, sizeof(text), "%10" PRIu64 " %12" PRIu64 " %12" PRIu64 " %s %10.3f %10.3f  ", row.calls,
            row.selfInstructions, row.totalInstructions, Percent(row.totalInstructions, instructions).c_str(),
            static_cast<double>(row.selfNanoseconds) / 1e6, static_cast<double>(row.totalNanoseconds) / 1e6);
   return text + Where(row) + '\n';
}

const char HEADINGS[] = "     calls   self instr  total instr  total    self ms   total ms  ";

bool WriteText(const std::string &text, const std::string &file)
{
   if (file.empty() || file == "-")
   {
      FILE *stream = file.empty() ? stderr : stdout;
      fflush(stdout);
      fputs(text.c_str(), stream);
      fflush(stream);
      return true;
   }
   FILE *stream = fopen(file.c_str(), "wb");
   bool written = stream != nullptr && fwrite(text.data(), 1, text.size(), stream) == text.size();
   if (stream != nullptr && fclose(stream) != 0)
      written = false;
   if (!written)
      fprintf(stderr, "orva: cannot write the profile to '%s': %s\n", file.c_str(), strerror(errno));
   return written;
}

}

bool ParseProfileFormat(const char *text, ProfileRequest *request)
{
   std::string kind = text;
   const size_t colon = kind.find(':');
   if (colon != std::string::npos)
   {
      request->file = kind.substr(colon + 1);
      kind.erase(colon);
      if (request->file.empty())
         return false;
   }
   const size_t dash = kind.find("-time");
   if (dash != std::string::npos && dash + 5 == kind.size() && dash > 0)
   {
      request->weight = ORVA_PROFILE_NANOSECONDS;
      kind.erase(dash);
      if (kind == "table")
         return false;   // the table has both
   }
   if (kind.empty() || kind == "table")
      request->kind = ProfileRequest::TABLE;
   else if (kind == "folded")
      request->kind = ProfileRequest::FOLDED;
   else if (kind == "svg")
      request->kind = ProfileRequest::SVG;
   else
      return false;
   return request->kind != ProfileRequest::SVG || !request->file.empty();
}

std::string ProfileTable(const ORVA_Profile &profile, const std::string &script)
{
   const uint64 instructions = profile.GetInstructions();
   char head[256];
   snprintf(head, sizeof(head), "profile of %s: %u run%s, %" PRIu64 " instructions, %.3f ms\n", script.c_str(),
            profile.GetRunCount(), profile.GetRunCount() == 1 ? "" : "s", instructions,
            static_cast<double>(profile.GetNanoseconds()) / 1e6);
   std::string text = head;
   text += std::string("\n") + HEADINGS + "function\n";
   ORVA_ProfileRow row;
   for (uint32 i = 0; profile.GetFunctionRow(i, &row); i++)
      text += RowText(row, instructions);
   text += std::string("\n") + HEADINGS + "line\n";
   const uint32 lines = profile.GetLineCount();
   for (uint32 i = 0; i < LINE_ROWS && profile.GetLineRow(i, &row); i++)
      text += RowText(row, instructions);
   if (lines > LINE_ROWS)
      text += "  ... " + std::to_string(lines - LINE_ROWS) + " more lines left out\n";
   return text;
}

bool WriteProfile(const ORVA_Profile &profile, const ProfileRequest &request, const std::string &script)
{
   const bool byTime = request.weight == ORVA_PROFILE_NANOSECONDS;
   switch (request.kind)
   {
      case ProfileRequest::TABLE: return WriteText(ProfileTable(profile, script), request.file);
      case ProfileRequest::FOLDED: return WriteText(profile.GetFoldedStacks(request.weight), request.file);
      case ProfileRequest::SVG:
         return WriteText(FlameGraphSvg(profile.GetFoldedStacks(request.weight), "orva " + script,
                                        byTime ? "ns" : "instructions"),
                          request.file);
   }
   return false;
}

}
