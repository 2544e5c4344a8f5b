#include "day/journal.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "day/fingerprint.h"
#include "day/journal_messages.h"
#include "day/local_time.h"
#include "route/errors.h"
#include "route/saving.h"

namespace day {

namespace {

std::string Detail(const sql::Error& error) {
    std::string text = error.what();
    text += " (SQLite " + std::to_string(error.code());
    if (error.systemError() != 0) text += ", errno " + std::to_string(error.systemError());
    return text + ")";
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// A report checking for a writer holds the lock for an instant; a window
// starting just then waits that instant out rather than be refused.
FileLock::Outcome TakeLock(FileLock& lock, const std::string& path) {
    FileLock::Outcome outcome = lock.Take(path);
    for (int retry = 0; outcome == FileLock::Outcome::Busy && retry < 10; ++retry) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        outcome = lock.Take(path);
    }
    return outcome;
}

}  // namespace

std::string DefaultJournalPath(const std::string& routePath) { return routePath + ".journal"; }

Journal::Journal(std::string path, std::string routeName, Mode mode)
    : path_(std::move(path)), routeName_(std::move(routeName)), mode_(mode) {}

Journal Journal::Open(const std::string& journalPath, const std::string& routeName,
                      std::string_view routeBytes, Mode mode, const std::string& createdAt) {
    Journal journal(journalPath, routeName, mode);
    if (mode == Mode::ReadWrite) {
        switch (TakeLock(journal.lock_, JournalLockPath(journalPath))) {
            case FileLock::Outcome::Taken:
                break;
            case FileLock::Outcome::Busy:
                throw JournalFailure(messages::InUse(journalPath), "lock held by another process");
            case FileLock::Outcome::Failed: {
                const int error = errno;
                const std::string cause = messages::CauseOfErrno(error);
                throw JournalFailure(Exists(journalPath)
                                         ? messages::CannotWrite(journalPath, cause)
                                         : messages::CannotCreate(journalPath, cause),
                                     std::generic_category().message(error) + " (lock file)");
            }
        }
    }

    const JournalMeta given{Fingerprint(routeBytes), routeName,
                            static_cast<int64_t>(routeBytes.size()), createdAt};
    if (Exists(journalPath)) {
        try {
            // A writer holds the lock itself: no other can be saving meanwhile.
            journal.stored_ = ReadJournal(journalPath, mode == Mode::ReadOnly);
        } catch (const UnreadableJournal& e) {
            throw JournalFailure(messages::Unreadable(journalPath, e.cause()), e.what());
        } catch (const sql::Error& e) {
            throw JournalFailure(messages::Unreadable(journalPath, messages::CauseOf(e)),
                                 Detail(e));
        }
        journal.meta_ = journal.stored_.meta;
        journal.routeMatches_ = journal.meta_.fingerprint == given.fingerprint &&
                                journal.meta_.routeSize == given.routeSize;
        if (journal.stored_.day) journal.keptRoute_ = journal.stored_.day->route;
    } else if (mode == Mode::ReadWrite) {
        try {
            CreateJournal(journalPath, given, {NewDayUid(), std::string(routeBytes)});
        } catch (const sql::Error& e) {
            throw JournalFailure(messages::CannotCreate(journalPath, messages::CauseOf(e)),
                                 Detail(e));
        } catch (const std::system_error& e) {
            throw JournalFailure(
                messages::CannotCreate(journalPath, messages::CauseOfErrno(e.code().value())),
                e.what());
        }
        journal.meta_ = given;
        journal.keptRoute_ = std::string(routeBytes);
    } else {
        journal.meta_ = given;
    }

    const JournalContents& stored = journal.stored_;
    journal.saveCount_ = static_cast<int64_t>(stored.Count());
    for (std::size_t i = 0; i < stored.Count(); ++i)
        journal.savedAt_[stored.kund[i]] = stored.savedAt[i];

    return journal;
}

void Journal::EnsureWriter() {
    if (db_.IsOpen()) return;
    try {
        db_ = OpenForWriting(path_);
        // The first read opens the log: a folder where it cannot be made
        // shows here and not at the first save.
        if (db_.QueryInt("SELECT count(*) FROM saves") != saveCount_)
            throw UnreadableJournal(messages::kDamaged, "saves changed while opening");
        insertSave_ = sql::Statement(db_, kInsertSave);
        insertDelivery_ = sql::Statement(db_, kInsertDelivery);
    } catch (const UnreadableJournal& e) {
        CloseWriter();
        throw JournalFailure(messages::Unreadable(path_, e.cause()), e.what());
    } catch (const sql::Error& e) {
        CloseWriter();
        throw JournalFailure(messages::CannotWrite(path_, messages::CauseOf(e)), Detail(e));
    }
}

void Journal::CloseWriter() {
    insertSave_ = sql::Statement();
    insertDelivery_ = sql::Statement();
    db_.Close();
}

void Journal::LetGo() {
    CloseWriter();
    lock_.Release();
}

void Journal::BeginNewDay(const std::string& archivePath, const std::string& routeName,
                          std::string_view routeBytes, const std::string& createdAt) {
    if (mode_ != Mode::ReadWrite) throw std::logic_error("the journal is open for reading only");
    if (replayed_) throw std::logic_error("a new day begins before the replay");
    if (!archivePath.empty() && Exists(archivePath))
        throw std::logic_error("the earlier day needs a free name");
    EnsureWriter();
    try {
        // The file alone must be the whole earlier day once it is renamed.
        Checkpoint(db_);
    } catch (const sql::Error& e) {
        throw JournalFailure(messages::CannotWrite(path_, messages::CauseOf(e)), Detail(e));
    }
    CloseWriter();
    // Without a place to keep it the earlier day had nothing worth keeping.
    const int moved = archivePath.empty() ? std::remove(path_.c_str())
                                          : std::rename(path_.c_str(), archivePath.c_str());
    if (moved != 0) {
        const int error = errno;
        throw JournalFailure(
            messages::CannotSetAside(path_, archivePath, messages::CauseOfErrno(error)),
            std::generic_category().message(error) + " (rename)");
    }
    const JournalMeta meta{Fingerprint(routeBytes), routeName,
                           static_cast<int64_t>(routeBytes.size()), createdAt};
    try {
        CreateJournal(path_, meta, {NewDayUid(), std::string(routeBytes)});
    } catch (const sql::Error& e) {
        LetGo();
        throw JournalFailure(messages::CannotCreate(path_, messages::CauseOf(e)), Detail(e));
    } catch (const std::system_error& e) {
        LetGo();
        throw JournalFailure(
            messages::CannotCreate(path_, messages::CauseOfErrno(e.code().value())), e.what());
    }
    meta_ = meta;
    keptRoute_ = std::string(routeBytes);
    routeMatches_ = true;
    stored_ = JournalContents{};
    savedAt_.clear();
    saveCount_ = 0;
}

void Journal::Replay(route::RouteData& route) {
    if (replayed_) throw std::logic_error("a journal is replayed once");
    if (route.nSparadKund != 0) throw std::logic_error("replay needs a freshly started route");
    if (mode_ == Mode::ReadWrite) EnsureWriter();

    // Into a copy, so a refusal halfway leaves the caller's route as it was.
    route::RouteData work = route;
    const auto articles = static_cast<std::size_t>(stored_.articles);
    std::vector<int16_t> lev;
    for (std::size_t i = 0; i < stored_.Count(); ++i) {
        const int16_t kund = stored_.kund[i];
        const auto refuse = [&] {
            // Not this route's journal: let go of it as a refused Open would.
            LetGo();
            return JournalFailure(
                messages::NotThisRoute(path_, routeName_, static_cast<long long>(i) + 1, kund),
                "save " + std::to_string(i + 1) + " does not fit the route");
        };
        lev.assign(stored_.lev.begin() + static_cast<std::ptrdiff_t>(i * articles),
                   stored_.lev.begin() + static_cast<std::ptrdiff_t>((i + 1) * articles));
        route::SaveOutcome outcome;
        try {
            outcome = route::PlanSaveQuantities(work, kund, lev);
        } catch (const route::RouteError&) {
            throw refuse();  // another number of articles, a customer not on the route
        }
        const auto* plan = std::get_if<route::SavePlan>(&outcome);
        if (!plan) throw refuse();
        route::ApplySave(work, *plan);
    }
    if (work.nSparadKund > 0) {
        // Where saving leaves the screen: on the next customer, or on the
        // last one when it was saved.
        work.nAktKund = work.nSparadKund < work.colKund.Count()
                            ? static_cast<int16_t>(work.nSparadKund + 1)
                            : work.nSparadKund;
    }
    route = std::move(work);
    articles_ = route.colArtikel.Count();
    customers_ = route.colKund.Count();
    lastKund_ = route.nSparadKund;
    replayed_ = true;
    stored_ = JournalContents{};  // the savedAt_ map keeps what is still needed
}

void Journal::Record(const route::SavePlan& plan) {
    if (mode_ != Mode::ReadWrite) throw std::logic_error("the journal is open for reading only");
    if (!replayed_) throw std::logic_error("the journal must be replayed before recording");
    const auto articles = static_cast<std::size_t>(articles_);
    if (plan.lev.size() != articles || plan.lager.size() != articles || plan.nKundId < 1 ||
        plan.nKundId > customers_ || plan.nKundId < lastKund_)
        throw std::invalid_argument("a save that does not fit the journal's route");

    // In WAL mode SQLite would go on committing into the log of a journal
    // renamed or deleted under it, and the saves would be lost at closing.
    if (db_.FileMoved())
        throw JournalFailure(messages::SaveFailed(path_, messages::kMoved),
                             "the journal file is no longer at " + path_);

    const std::string savedAt = LocalTimestampNow();
    const int64_t seq = saveCount_ + 1;
    try {
        // A failure that SQLite could not roll back itself must not leave
        // the next save inside a stale transaction.
        if (db_.InTransaction()) db_.Execute("ROLLBACK");
        sql::Transaction transaction(db_, sql::Transaction::Kind::Immediate);
        insertSave_.Bind(1, seq);
        insertSave_.Bind(2, plan.nKundId);
        insertSave_.Bind(3, savedAt);
        insertSave_.Step();
        insertSave_.Reset();
        insertDelivery_.Bind(1, seq);
        for (std::size_t b = 0; b < articles; ++b) {
            insertDelivery_.Bind(2, static_cast<int64_t>(b + 1));
            insertDelivery_.Bind(3, plan.lev[b]);
            insertDelivery_.Step();
            insertDelivery_.Reset();
        }
        transaction.Commit();
    } catch (const sql::Error& e) {
        DropFailedCommit();
        throw JournalFailure(messages::SaveFailed(path_, messages::CauseOf(e)), Detail(e));
    }
    try {
        // Into the file itself, so that a copy of the journal alone, taken
        // after a crash, holds every save the driver was told was kept.
        Checkpoint(db_);
    } catch (const sql::Error&) {
        // The save is committed in the log all the same; the next save's
        // checkpoint takes it into the file.
    }
    saveCount_ = seq;
    lastKund_ = plan.nKundId;
    savedAt_[plan.nKundId] = savedAt;
}

void Journal::KeepRoute(std::string_view routeBytes) {
    if (mode_ != Mode::ReadWrite || keptRoute_ || !routeMatches_) return;
    EnsureWriter();
    try {
        UpgradeJournal(db_, {NewDayUid(), std::string(routeBytes)});
        Checkpoint(db_);
    } catch (const sql::Error& e) {
        throw JournalFailure(messages::CannotWrite(path_, messages::CauseOf(e)), Detail(e));
    }
    keptRoute_ = std::string(routeBytes);
}

void Journal::DropFailedCommit() {
    // A commit whose sync failed may have left its frames in the log, where
    // a crash before the next save would bring the refused save back. The
    // log holds nothing else (every acknowledged save was checkpointed), so
    // emptying it leaves the refused save certainly absent.
    try {
        if (db_.InTransaction()) db_.Execute("ROLLBACK");
        Checkpoint(db_);
    } catch (const sql::Error&) {
        // The disk refuses even that; the next successful commit overwrites
        // the frames.
    }
}

std::optional<std::string> Journal::SavedAt(int16_t kund) const {
    const auto it = savedAt_.find(kund);
    if (it == savedAt_.end()) return std::nullopt;
    return it->second;
}

}  // namespace day
