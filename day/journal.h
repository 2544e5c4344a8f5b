#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "day/file_lock.h"
#include "day/journal_file.h"
#include "day/local_time.h"
#include "day/sqlite.h"
#include "route/route_data.h"
#include "route/save_journal.h"

// The day's journal: every save of the route, on disk before the next page
// is drawn, so that a restart after closing, a crash or a power cut comes
// back to the same saved customers, stock and deliveries.
//
// Files, all in the journal's folder (by default beside the route file):
//   tisdag.csv.journal       the SQLite database (see journal_file.h): the
//                            whole day, replaced whole by every save once
//                            the save is on disk, so that a copy of this file
//                            alone, taken at any moment, holds every save the
//                            driver was told was kept
//   tisdag.csv.journal.next  the copy a save is being made in, for an instant
//   tisdag.csv.journal.lock  empty; the writer holds an exclusive flock on it
//                            for the Journal's life (kept after closing)
// A reader needs no lock: the file it opened stays whole while a save
// replaces it under the same name.
namespace day {

// A journal that cannot be opened or written. what() is the driver's
// Swedish message; detail() is the technical cause for a log or stderr.
class JournalFailure : public route::JournalError {
public:
    JournalFailure(const std::string& message, std::string detail)
        : route::JournalError(message, std::move(detail)) {}
};

// Which file a path names: its device and inode.
struct FileId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};

// tisdag.csv -> tisdag.csv.journal, beside the route file.
std::string DefaultJournalPath(const std::string& routePath);

class Journal final : public route::SaveJournal {
public:
    enum class Mode {
        ReadWrite,  // the window: creates the journal if missing, one writer at a time
        ReadOnly,   // a report: never creates or changes a file, needs no lock
    };

    // Opens the journal at journalPath for the route file whose contents
    // are routeBytes; routeName is how the driver knows that file (for
    // messages). ReadWrite creates a missing journal, beginning the day at
    // createdAt on routeBytes; ReadOnly on a missing journal gives a journal
    // without saves. An existing journal is taken as it is, whatever day or
    // route it began on (see BegunOn and RouteMatches). Refused with JournalFailure, changing
    // nothing and holding nothing, when the journal cannot be read or (ReadWrite) is held by
    // another writer or cannot be written.
    static Journal Open(const std::string& journalPath, const std::string& routeName,
                        std::string_view routeBytes, Mode mode,
                        const std::string& createdAt = LocalTimestampNow());

    Journal(Journal&&) noexcept = default;
    Journal& operator=(Journal&&) = delete;  // would drop the lock before the old connection
    ~Journal() override = default;

    // The day in the journal.
    const JournalMeta& Meta() const { return meta_; }
    std::string BegunOn() const { return meta_.BegunOn(); }
    // Whether the route bytes given to Open are the ones the day began on.
    bool RouteMatches() const { return routeMatches_; }
    // The route file's bytes as the day began on them; none for a journal
    // from before routes were kept (read only, or begun on other bytes).
    const std::optional<std::string>& KeptRoute() const { return keptRoute_; }
    // Shops saved at least once.
    int SavedShops() const { return static_cast<int>(savedAt_.size()); }
    // The day's random id (32 hex digits); empty for a journal from before
    // ids were kept, until KeepRoute upgrades it.
    const std::string& DayUid() const { return uid_; }

    // A journal from before routes were kept learns the route it was begun
    // on, so that its day can be reported on after the file has changed
    // (ReadWrite, when RouteMatches; otherwise nothing is done).
    void KeepRoute(std::string_view routeBytes);

    // Puts the day in the journal aside under archivePath, whole (with an
    // empty archivePath it is dropped), and begins an empty day in its place
    // at createdAt on routeBytes (ReadWrite, before Replay). On failure the journal is as it was,
    // or the earlier day is aside and the new one not yet begun (JournalFailure).
    void BeginNewDay(const std::string& archivePath, const std::string& routeName,
                     std::string_view routeBytes, const std::string& createdAt);

    // Applies every stored save in order to a route freshly started from the
    // route the day began on, through the same planning and applying as the
    // window, and puts the customer after the last saved one on screen, as
    // saving does. A save the route refuses means the journal is not this
    // route's: then JournalFailure, the journal is let go (lock released)
    // and the route is left as it was. ReadWrite settles here that saves
    // can be kept, so a journal that cannot be written is refused now
    // (JournalFailure) rather than at the first save. Once per Journal, and
    // before the first Record.
    void Replay(route::RouteData& route);

    // Keeps one save (ReadWrite, after Replay): the journal file is replaced
    // by one that holds it, synced before it takes the name; or throws
    // JournalFailure and keeps nothing, and the next Record may follow once
    // the cause is gone. A plan that does not fit the
    // replayed route is a programming error (std::invalid_argument).
    void Record(const route::SavePlan& plan) override;

    // When the customer's latest save was made (local ISO 8601); none for a
    // customer never saved, also one that a later save passed over.
    std::optional<std::string> SavedAt(int16_t kund) const;
    // Saves in the journal: stored when opened plus recorded since.
    int64_t SaveCount() const { return saveCount_; }
    const std::string& Path() const { return path_; }

private:
    Journal(std::string path, std::string routeName, Mode mode);
    // Settles, once, that saves can be kept: what an earlier version left in
    // its log is taken in, and the file and its folder must be writable.
    void EnsureWriter();
    // One change of the journal file, whole or not at all; a failure is
    // refused with message(cause).
    void Change(const std::function<void(sql::Connection&)>& change,
                const std::function<std::string(const std::string&)>& message);
    void LetGo();

    std::string path_;
    std::string routeName_;
    Mode mode_;
    FileLock lock_;
    bool writing_ = false;
    FileId file_;  // the journal file written last, to notice it being moved away
    JournalMeta meta_;
    std::optional<std::string> keptRoute_;
    std::string uid_;
    bool routeMatches_ = true;
    JournalContents stored_;  // the saves read when opened, until replayed
    bool replayed_ = false;
    int articles_ = 0;  // the replayed route's shape, which every plan must fit
    int customers_ = 0;
    int16_t lastKund_ = 0;
    int64_t saveCount_ = 0;
    std::map<int16_t, std::string> savedAt_;
};

}  // namespace day
