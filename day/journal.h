#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "day/file_lock.h"
#include "day/journal_file.h"
#include "day/sqlite.h"
#include "route/route_data.h"
#include "route/save_journal.h"

// The day's journal: every save of the route, on disk before the next page
// is drawn, so that a restart after closing, a crash or a power cut comes
// back to the same saved customers, stock and deliveries.
//
// Files, all in the journal's folder (by default beside the route file):
//   tisdag.csv.journal       the SQLite database (see journal_file.h)
//   tisdag.csv.journal-wal   its write-ahead log, where each save is committed
//                            with synchronous=FULL; checkpointed into the
//                            database now and then and at close
//   tisdag.csv.journal-shm   the log's shared-memory index
//   tisdag.csv.journal.lock  empty; the writer holds an exclusive flock on it
//                            for the Journal's life
// The -wal, -shm and .lock files are kept after closing (the log emptied), so
// a reader never has to create them. While a journal is created it is built
// as tisdag.csv.journal.new and renamed into place when complete. WAL needs
// shared memory between processes: a local file system, not a network share.
namespace day {

// A journal that cannot be opened or written. what() is the driver's
// Swedish message; detail() is the technical cause for a log or stderr.
class JournalFailure : public route::JournalError {
public:
    JournalFailure(const std::string& message, std::string detail)
        : route::JournalError(message, std::move(detail)) {}
};

// tisdag.csv -> tisdag.csv.journal, beside the route file.
std::string DefaultJournalPath(const std::string& routePath);

class Journal final : public route::SaveJournal {
public:
    enum class Mode {
        ReadWrite,  // the window: creates the journal if missing, one writer at a time
        ReadOnly,   // a report: never creates or changes a file, needs no lock
    };

    // Opens the journal of the route file whose contents are routeBytes;
    // routeName is how the driver knows that file (for messages). Refused
    // with JournalFailure, changing nothing and holding nothing, when the
    // journal belongs to other route contents, cannot be read, or (ReadWrite)
    // is held by another writer or cannot be written. ReadOnly on a missing
    // journal gives a journal without saves.
    static Journal Open(const std::string& journalPath, const std::string& routeName,
                        std::string_view routeBytes, Mode mode);

    Journal(Journal&&) noexcept = default;
    Journal& operator=(Journal&&) = delete;  // would drop the lock before the old connection
    ~Journal() override = default;

    // Applies every stored save in order to a route freshly started from the
    // route file, through the same planning and applying as the window, and
    // puts the customer after the last saved one on screen, as saving does.
    // A save the route refuses means the journal is not this route's: then
    // JournalFailure, the journal is let go (closed, lock released) and the
    // route is left as it was. Once per Journal, and before the first Record.
    void Replay(route::RouteData& route);

    // Commits one save (ReadWrite, after Replay) in a single transaction, or
    // throws JournalFailure and keeps nothing; the next Record may follow
    // once the cause is gone. A plan that does not fit the replayed route is
    // a programming error (std::invalid_argument).
    void Record(const route::SavePlan& plan) override;

    // When the customer's latest save was made (local ISO 8601), if ever.
    // Customers skipped over by a later save count as saved but have none.
    std::optional<std::string> SavedAt(int16_t kund) const;
    // Saves in the journal: stored when opened plus recorded since.
    int64_t SaveCount() const { return saveCount_; }
    const std::string& Path() const { return path_; }

private:
    Journal(std::string path, std::string routeName, Mode mode);

    std::string path_;
    std::string routeName_;
    Mode mode_;
    FileLock lock_;  // before the connection: released after it closes
    sql::Connection db_;
    sql::Statement insertSave_;
    sql::Statement insertDelivery_;
    JournalContents stored_;  // the saves read when opened, until replayed
    bool replayed_ = false;
    int articles_ = 0;  // the replayed route's shape, which every plan must fit
    int customers_ = 0;
    int16_t lastKund_ = 0;
    int64_t saveCount_ = 0;
    std::map<int16_t, std::string> savedAt_;
};

}  // namespace day
