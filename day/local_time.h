#pragma once

#include <ctime>
#include <string>

namespace day {

// A moment as local time in ISO 8601 with the offset from UTC, to the
// second: 2026-12-07T14:03:00+01:00. The offset keeps the text unambiguous
// across the change to and from summer time.
std::string LocalTimestamp(std::time_t moment);

// The same for now.
std::string LocalTimestampNow();

}  // namespace day
