/*
 * Lines for the prompt: with line editing and history when the command was
 * built with GNU readline and standard input is a terminal, plain reads
 * otherwise (a pipe gets no prompts, so its output holds results only).
 *
 * History holds whole inputs, so that one that took several lines comes
 * back as one entry, and it is kept between sessions in ~/.orva_history
 * (one input a line, with its line feeds and backslashes escaped).
 */
#ifndef ORVA_CLI_LINE_INPUT_H
#define ORVA_CLI_LINE_INPUT_H

#include <string>

namespace orva_cli
{

enum class ReadResult
{
   Line,
   End,          // end of input
   Interrupted   // Ctrl-C: the line being typed is dropped
};

class LineInput
{
public:
   explicit LineInput(bool terminal);
   LineInput(const LineInput &) = delete;
   LineInput &operator=(const LineInput &) = delete;

   // Reads one line without its line end.  A line recalled from history may
   // hold line feeds.
   ReadResult Read(const char *prompt, std::string *line);

   // Adds a whole input to the history.
   void Remember(const std::string &input);

private:
   bool m_terminal;
   std::string m_historyFile;   // empty: history is not kept
};

// The history file's form of an input, and back.
std::string EscapeHistoryLine(const std::string &input);
std::string UnescapeHistoryLine(const std::string &line);

}

#endif
