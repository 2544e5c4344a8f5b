#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "day/file_lock.h"
#include "day/journal.h"
#include "route/route_data.h"
#include "route/route_start.h"

namespace day {

// Why a day's journal is not simply carried on when the window starts: it
// was begun on an earlier calendar day, or the route file has changed since.
struct DayQuestion {
    std::string routeName;    // the route file as the driver named it
    std::string journalPath;  // the journal holding the day
    std::string begunAt;      // local ISO 8601
    int savedShops = 0;
    bool earlierDay = false;
    bool routeChanged = false;
    // False for a journal from before routes were kept whose route file has
    // changed: there is no route left to go on with.
    bool canContinue = true;
    std::string archivePath;  // where a new day puts this one
};

// The question in Swedish: when the day began, how many shops are saved,
// what changed and what each answer does.
std::string QuestionText(const DayQuestion& question);
// Why --fortsatt cannot be followed (a question whose canContinue is false).
std::string CannotContinueText(const DayQuestion& question);

enum class DayChoice {
    Continue,  // go on with the day in the journal, on the route it began on
    NewDay,    // put that day aside whole and begin an empty one on the route file
    Cancel,    // change nothing
};

// A day that needs a question nobody can answer here; the message says so
// and how to answer it in advance.
class DayUnanswered : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A day's route as the office planned it and as far as it has been saved.
struct OpenedDay {
    route::RouteSheet sheet;
    route::RouteData route;
    std::unique_ptr<Journal> journal;  // none when no day has begun (reading)
    FileLock routeLock;                // the window: the route file itself, for the day
    bool routeFileDiffers = false;     // the route file is not the one the day began on
    std::string setAside;              // the window: where the earlier day went
};

struct WindowRequest {
    std::string journalPath;  // empty: beside the route file
    // Asked when the day in the journal needs a choice; may throw.
    std::function<DayChoice(const DayQuestion&)> ask;
    std::time_t now = std::time(nullptr);
};

// The window's day: reads and checks the route file, holds it and its
// journal against a second window (under whatever path names them), begins
// the day or, after asking where needed, goes on with it or begins a new one,
// and replays the saves kept. A day with no saves that began on an earlier
// date or on other route bytes is begun again without asking. A fault is
// refused with its Swedish message (FileError, JournalFailure) before
// anything is written. None when the question was cancelled.
std::optional<OpenedDay> OpenDayForWindow(const std::string& routePath,
                                          const WindowRequest& request);

// A day for the end-of-day commands, read only: the day begun on `date`
// (ÅÅÅÅ-MM-DD; the latest such) or, with no date, the latest day, from the
// journal (journalPath, or beside the route file) and the days put aside
// beside it. The route is the one the day began on, so the route file may
// since have changed or gone. Without any day the route comes from the
// route file with nothing saved and no journal. Refused with FileError or
// JournalFailure: a journal named that does not exist, a date with no day
// (naming the days there are), a file that cannot be read.
OpenedDay ReadDay(const std::string& routePath, const std::string& journalPath,
                  const std::string& date = {});

enum class Access {
    ReadWrite,  // OpenDayForWindow, where a day needing a question is refused (DayUnanswered)
    ReadOnly,   // ReadDay of the latest day
};
OpenedDay OpenDay(const std::string& routePath, const std::string& journalPath, Access access);

// The journal beside a route file, found through links and relative paths.
std::string JournalPathFor(const std::string& routePath);

}  // namespace day
