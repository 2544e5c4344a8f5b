#pragma once

#include <string>
#include <vector>

// A day's journal and the earlier days put aside beside it when a new day
// began on the same route file:
//   tisdag.csv.journal               the latest day
//   tisdag.csv.2026-11-30.journal    a day begun on 30 November
//   tisdag.csv.2026-11-30-2.journal  another day begun that date
namespace day {

// The first free name for a day begun on `date` (ÅÅÅÅ-MM-DD), beside the
// journal at journalPath. A journal not named *.journal gets the date after
// its name: dag.db -> dag.db.2026-11-30.
std::string ArchivePath(const std::string& journalPath, const std::string& date);

struct KeptDay {
    std::string path;
    std::string begunAt;  // local ISO 8601
    int savedShops = 0;

    std::string BegunOn() const { return begunAt.substr(0, 10); }
};

// The journal at journalPath, if it exists, and the days put aside beside
// it, in the order they began. A file that cannot be read as a journal is
// left out.
std::vector<KeptDay> ListDays(const std::string& journalPath);

// Whether text is a date ÅÅÅÅ-MM-DD that the calendar has.
bool IsDate(const std::string& text);

}  // namespace day
