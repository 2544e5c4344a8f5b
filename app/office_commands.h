#pragma once

#include <optional>
#include <string>

#include "app/command_line.h"

namespace app {

// "leverans kontor ...": the office's commands on its PostgreSQL database,
// reached through --kontor or LEVERANS_KONTOR. Needs no display. Returns the
// exit status: 0 done, 1 refused or failed (said in Swedish on standard
// error, with libpq's own words on a line of their own), 2 no connection
// given.
int RunOfficeCommand(const CommandLine& line);

// The office's connection: --kontor, else LEVERANS_KONTOR (source names
// which, for messages). None when neither is given.
struct OfficeConnection {
    std::string conninfo;
    std::string source;
};
std::optional<OfficeConnection> OfficeConnectionOf(const CommandLine& line);

// Says on standard error that no office was given; the exit status 2.
int NoOfficeGiven();

}  // namespace app
