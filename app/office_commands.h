#pragma once

#include "app/command_line.h"

namespace app {

// "leverans kontor ...": the office's commands on its PostgreSQL database,
// reached through --kontor or LEVERANS_KONTOR. Needs no display. Returns the
// exit status: 0 done, 1 refused or failed (said in Swedish on standard
// error, with libpq's own words on a line of their own), 2 no connection
// given.
int RunOfficeCommand(const CommandLine& line);

}  // namespace app
