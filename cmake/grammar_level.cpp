/*
 * Writes the grammar of one language level from the one grammar source:
 * the lines between "/" "* level N { *" "/" and "/" "* } level N *" "/" of
 * the other level become blank lines, which keeps bison's line numbers
 * those of the source.  Both parsers come from one text, so a rule the
 * levels share is written once.
 *
 *   grammar_level LEVEL INPUT OUTPUT
 */
#include <fstream>
#include <iostream>
#include <string>

static std::string Trimmed(const std::string &line)
{
   const size_t first = line.find_first_not_of(" \t\r");
   if (first == std::string::npos)
      return "";
   const size_t last = line.find_last_not_of(" \t\r");
   return line.substr(first, last - first + 1);
}

int main(int argc, char **argv)
{
   if (argc != 4 || (std::string(argv[1]) != "1" && std::string(argv[1]) != "2"))
   {
      std::cerr << "usage: grammar_level 1|2 INPUT OUTPUT\n";
      return 2;
   }
   const std::string other = (std::string(argv[1]) == "1") ? "2" : "1";
   const std::string opens = "/* level " + other + " { */";
   const std::string closes = "/* } level " + other + " */";
   std::ifstream in(argv[2]);
   std::ofstream out(argv[3]);
   if (!in || !out)
   {
      std::cerr << "grammar_level: cannot open the files\n";
      return 1;
   }
   bool skipping = false;
   int number = 0, openedAt = 0;
   std::string line;
   while (std::getline(in, line))
   {
      number++;
      const std::string marker = Trimmed(line);
      if (marker == opens)
      {
         skipping = true;
         openedAt = number;
      }
      out << (skipping ? "" : line) << '\n';
      if (marker == closes)
         skipping = false;
   }
   if (skipping)
   {
      std::cerr << argv[2] << ":" << openedAt << ": level block not closed\n";
      return 1;
   }
   return out ? 0 : 1;
}
