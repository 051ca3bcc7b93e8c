// The process's command line and terminal, the same on every system.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kelvarin {

// The command line as UTF-8 arguments, argument 0 the program: argv as it is
// where arguments are bytes; on Windows read again from the wide command
// line, so names in any language arrive whole.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the terminal show UTF-8 text and line-erasing escapes (on Windows:
// the UTF-8 output code page and virtual terminal processing, both put back
// as they were when the process ends, by exit or by Ctrl+C, Ctrl+Break or
// closing the console); harmless elsewhere and when output goes to a file
// or pipe.
void PrepareConsole();

// For a program without a console of its own (the window, on Windows): when
// standard output and error go nowhere, sends them to the console of the
// program that started this one, if it has one. Nothing on other systems, and
// nothing when they are redirected.
void UseParentConsole();

// True when stream is a terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace kelvarin
