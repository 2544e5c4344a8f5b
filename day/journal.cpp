#include "day/journal.h"

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

}  // namespace

std::string DefaultJournalPath(const std::string& routePath) { return routePath + ".journal"; }

Journal::Journal(std::string path, std::string routeName, Mode mode)
    : path_(std::move(path)), routeName_(std::move(routeName)), mode_(mode) {}

Journal Journal::Open(const std::string& journalPath, const std::string& routeName,
                      std::string_view routeBytes, Mode mode) {
    Journal journal(journalPath, routeName, mode);
    if (mode == Mode::ReadWrite) {
        switch (journal.lock_.Take(journalPath + ".lock")) {
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

    const std::string fingerprint = Fingerprint(routeBytes);
    const auto routeSize = static_cast<int64_t>(routeBytes.size());
    if (Exists(journalPath)) {
        try {
            journal.stored_ = ReadJournal(journalPath);
        } catch (const UnreadableJournal& e) {
            throw JournalFailure(messages::Unreadable(journalPath, e.cause()), e.what());
        } catch (const sql::Error& e) {
            throw JournalFailure(messages::Unreadable(journalPath, messages::CauseOf(e)),
                                 Detail(e));
        }
        const JournalMeta& meta = journal.stored_.meta;
        if (meta.fingerprint != fingerprint || meta.routeSize != routeSize)
            throw JournalFailure(
                messages::RouteChanged(routeName, journalPath),
                "journal begun on " + meta.routeName + " with fingerprint " + meta.fingerprint);
    } else if (mode == Mode::ReadWrite) {
        try {
            CreateJournal(journalPath, {fingerprint, routeName, routeSize, LocalTimestampNow()});
        } catch (const sql::Error& e) {
            throw JournalFailure(messages::CannotCreate(journalPath, messages::CauseOf(e)),
                                 Detail(e));
        } catch (const std::system_error& e) {
            throw JournalFailure(
                messages::CannotCreate(journalPath, messages::CauseOfErrno(e.code().value())),
                e.what());
        }
    }

    const JournalContents& stored = journal.stored_;
    journal.saveCount_ = static_cast<int64_t>(stored.Count());
    for (std::size_t i = 0; i < stored.Count(); ++i)
        journal.savedAt_[stored.kund[i]] = stored.savedAt[i];

    if (mode == Mode::ReadWrite) {
        try {
            journal.db_ = OpenForWriting(journalPath);
            // The first read opens the log: a folder where it cannot be made
            // shows here and not at the first save.
            if (journal.db_.QueryInt("SELECT count(*) FROM saves") != journal.saveCount_)
                throw UnreadableJournal(messages::kDamaged, "saves changed while opening");
            journal.insertSave_ = sql::Statement(journal.db_, kInsertSave);
            journal.insertDelivery_ = sql::Statement(journal.db_, kInsertDelivery);
        } catch (const UnreadableJournal& e) {
            throw JournalFailure(messages::Unreadable(journalPath, e.cause()), e.what());
        } catch (const sql::Error& e) {
            throw JournalFailure(messages::CannotWrite(journalPath, messages::CauseOf(e)),
                                 Detail(e));
        }
    }
    return journal;
}

void Journal::Replay(route::RouteData& route) {
    if (replayed_) throw std::logic_error("a journal is replayed once");
    if (route.nSparadKund != 0) throw std::logic_error("replay needs a freshly started route");

    // Into a copy, so a refusal halfway leaves the caller's route as it was.
    route::RouteData work = route;
    const auto articles = static_cast<std::size_t>(stored_.articles);
    std::vector<int16_t> lev;
    for (std::size_t i = 0; i < stored_.Count(); ++i) {
        const int16_t kund = stored_.kund[i];
        const auto refuse = [&] {
            // Not this route's journal: let go of it as a refused Open would.
            insertSave_ = sql::Statement();
            insertDelivery_ = sql::Statement();
            db_.Close();
            lock_.Release();
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
        throw JournalFailure(messages::SaveFailed(path_, messages::CauseOf(e)), Detail(e));
    }
    saveCount_ = seq;
    lastKund_ = plan.nKundId;
    savedAt_[plan.nKundId] = savedAt;
}

std::optional<std::string> Journal::SavedAt(int16_t kund) const {
    const auto it = savedAt_.find(kund);
    if (it == savedAt_.end()) return std::nullopt;
    return it->second;
}

}  // namespace day
