#pragma once

#include <memory>
#include <string>

#include "day/journal.h"
#include "route/route_data.h"
#include "route/route_start.h"

namespace day {

enum class Access {
    ReadWrite,  // the window: the journal is created if missing and held
    ReadOnly,   // the end-of-day commands: nothing is created or changed
};

// A day's route as the office planned it and as far as it has been saved.
struct OpenedDay {
    route::RouteSheet sheet;
    route::RouteData route;
    std::unique_ptr<Journal> journal;
};

// Reads and checks the route file, opens its journal (journalPath, or beside
// the route file when empty) and replays the saves kept there. A fault in
// either file is refused with its Swedish message (FileError, JournalFailure)
// before anything is written.
OpenedDay OpenDay(const std::string& routePath, const std::string& journalPath, Access access);

}  // namespace day
