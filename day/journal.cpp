#include "day/journal.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <system_error>
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

// A failure to change the journal, as the driver reads it (cause) and as
// whoever looks at standard error does (detail).
struct Failure {
    std::string cause;
    std::string detail;
};

Failure FailureOf(const std::exception& error) {
    if (const auto* e = dynamic_cast<const sql::Error*>(&error))
        return {messages::CauseOf(*e), Detail(*e)};
    if (const auto* e = dynamic_cast<const std::system_error*>(&error))
        return {messages::CauseOfErrno(e->code().value()), e->what()};
    return {"ett oväntat fel i journalen", error.what()};
}

FileId IdOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return {};
    return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace

std::string DefaultJournalPath(const std::string& routePath) { return routePath + ".journal"; }

Journal::Journal(std::string path, std::string routeName, Mode mode)
    : path_(std::move(path)), routeName_(std::move(routeName)), mode_(mode) {}

Journal Journal::Open(const std::string& journalPath, const std::string& routeName,
                      std::string_view routeBytes, Mode mode, const std::string& createdAt) {
    Journal journal(journalPath, routeName, mode);
    if (mode == Mode::ReadWrite) {
        switch (journal.lock_.Take(JournalLockPath(journalPath))) {
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
            journal.stored_ = ReadJournal(journalPath);
        } catch (const UnreadableJournal& e) {
            throw JournalFailure(messages::Unreadable(journalPath, e.cause()), e.what());
        } catch (const sql::Error& e) {
            throw JournalFailure(messages::Unreadable(journalPath, messages::CauseOf(e)),
                                 Detail(e));
        }
        journal.meta_ = journal.stored_.meta;
        journal.routeMatches_ = journal.meta_.fingerprint == given.fingerprint &&
                                journal.meta_.routeSize == given.routeSize;
        if (journal.stored_.day) {
            journal.keptRoute_ = journal.stored_.day->route;
            journal.uid_ = journal.stored_.day->uid;
        }
    } else if (mode == Mode::ReadWrite) {
        journal.uid_ = NewDayUid();
        try {
            CreateJournal(journalPath, given, {journal.uid_, std::string(routeBytes)});
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
    if (writing_) return;
    try {
        // What a crashed earlier version left in its log belongs in the file.
        FoldLog(path_);
        // Whether saves can be kept shows now, not at the first save: the
        // file must be writable, and the folder take the copy each save is
        // made in.
        if (::access(path_.c_str(), W_OK) != 0)
            throw sql::Error(SQLITE_READONLY, errno, "the journal file is read-only");
        const std::string probe = path_ + ".next";
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) throw std::system_error(errno, std::generic_category(), "create " + probe);
        ::close(fd);
        ::unlink(probe.c_str());
    } catch (const std::exception& e) {
        const Failure failure = FailureOf(e);
        throw JournalFailure(messages::CannotWrite(path_, failure.cause), failure.detail);
    }
    file_ = IdOf(path_);
    writing_ = true;
}

void Journal::Change(const std::function<void(sql::Connection&)>& change,
                     const std::function<std::string(const std::string&)>& message) {
    // A journal renamed, deleted or replaced under the window must not be
    // written to: the saves would go where nobody looks for them.
    if (IdOf(path_) != file_)
        throw JournalFailure(message(messages::kMoved),
                             "the journal file is no longer at " + path_);
    try {
        ReplaceJournal(path_, change);
    } catch (const std::exception& e) {
        const Failure failure = FailureOf(e);
        throw JournalFailure(message(failure.cause), failure.detail);
    }
    file_ = IdOf(path_);
}

void Journal::LetGo() {
    writing_ = false;
    lock_.Release();
}

void Journal::BeginNewDay(const std::string& archivePath, const std::string& routeName,
                          std::string_view routeBytes, const std::string& createdAt) {
    if (mode_ != Mode::ReadWrite) throw std::logic_error("the journal is open for reading only");
    if (replayed_) throw std::logic_error("a new day begins before the replay");
    if (!archivePath.empty() && Exists(archivePath))
        throw std::logic_error("the earlier day needs a free name");
    EnsureWriter();
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
    const std::string uid = NewDayUid();
    try {
        CreateJournal(path_, meta, {uid, std::string(routeBytes)});
    } catch (const sql::Error& e) {
        LetGo();
        throw JournalFailure(messages::CannotCreate(path_, messages::CauseOf(e)), Detail(e));
    } catch (const std::system_error& e) {
        LetGo();
        throw JournalFailure(
            messages::CannotCreate(path_, messages::CauseOfErrno(e.code().value())), e.what());
    }
    file_ = IdOf(path_);
    uid_ = uid;
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

    const std::string savedAt = LocalTimestampNow();
    const int64_t seq = saveCount_ + 1;
    Change(
        [&](sql::Connection& db) {
            sql::Statement save(db, kInsertSave);
            save.Bind(1, seq);
            save.Bind(2, plan.nKundId);
            save.Bind(3, savedAt);
            save.Step();
            sql::Statement delivery(db, kInsertDelivery);
            delivery.Bind(1, seq);
            for (std::size_t b = 0; b < articles; ++b) {
                delivery.Bind(2, static_cast<int64_t>(b + 1));
                delivery.Bind(3, plan.lev[b]);
                delivery.Step();
                delivery.Reset();
            }
        },
        [this](const std::string& cause) { return messages::SaveFailed(path_, cause); });
    saveCount_ = seq;
    lastKund_ = plan.nKundId;
    savedAt_[plan.nKundId] = savedAt;
}

void Journal::KeepRoute(std::string_view routeBytes) {
    if (mode_ != Mode::ReadWrite || keptRoute_ || !routeMatches_) return;
    EnsureWriter();
    const JournalDay day{NewDayUid(), std::string(routeBytes)};
    Change([&](sql::Connection& db) { UpgradeJournal(db, day); },
           [this](const std::string& cause) { return messages::CannotWrite(path_, cause); });
    keptRoute_ = std::string(routeBytes);
    uid_ = day.uid;
}

std::optional<std::string> Journal::SavedAt(int16_t kund) const {
    const auto it = savedAt_.find(kund);
    if (it == savedAt_.end()) return std::nullopt;
    return it->second;
}

}  // namespace day
