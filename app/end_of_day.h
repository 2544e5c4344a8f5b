#pragma once

#include "app/command_line.h"

namespace app {

// "leverans rapport": the day as a spreadsheet file, read only, to standard
// output or the file named. Returns the exit status.
int WriteReportCommand(const CommandLine& line);

// "leverans foljesedel": a saved shop's delivery note as a PDF. Needs no
// display. Returns the exit status.
int WriteNoteCommand(const CommandLine& line, int argc, char** argv);

}  // namespace app
