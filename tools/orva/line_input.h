/*
 * Lines for the prompt: with line editing and history when the command was
 * built with GNU readline and standard input is a terminal, plain reads
 * otherwise (a pipe gets no prompts, so its output holds results only).
 */
#ifndef ORVA_CLI_LINE_INPUT_H
#define ORVA_CLI_LINE_INPUT_H

#include <string>

namespace orva_cli
{

class LineInput
{
public:
   explicit LineInput(bool terminal);
   LineInput(const LineInput &) = delete;
   LineInput &operator=(const LineInput &) = delete;

   // Reads one line without its line end; false at the end of input.
   bool Read(const char *prompt, std::string *line);

   bool IsTerminal() const { return m_terminal; }

private:
   bool m_terminal;
};

}

#endif
