#include "office/sender.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "day/journal_file.h"
#include "day/kept_days.h"
#include "office/errors.h"
#include "office/pq.h"
#include "office/van.h"

namespace office {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// How long an idle sender waits for a new save before it looks again: the
// journal is the truth, and a notice may have been missed. (A save told
// while the office is away is tried at once too: saves come at a driver's
// pace, and each is worth a try.)
constexpr std::chrono::seconds kIdle{30};

// The office's note of the van's latest contact is a write of its own:
// renewed at most this often while saves go through.
constexpr std::chrono::seconds kHeardEvery{10};

constexpr std::string_view kJournalSuffix = ".journal";

// Which file a journal is, as written last: every save replaces it whole.
struct FileState {
    dev_t device = 0;
    ino_t inode = 0;
    int64_t seconds = 0;
    int64_t nanoseconds = 0;
    int64_t size = 0;
    bool operator==(const FileState&) const = default;
};

std::optional<FileState> StateOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileState{st.st_dev, st.st_ino, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_size};
}

enum class Hold { None, Refused, Conflict, Unreadable };

// One journal as the sender serves it.
struct Served {
    std::string path;
    std::string date;         // the route's day, ÅÅÅÅ-MM-DD
    std::string uid;          // empty: the journal's own
    std::string fingerprint;  // empty: the journal's own
    std::optional<FileState> file;
    std::optional<day::JournalContents> contents;
    int confirmed = -1;  // saves the office is known to hold; -1: ask it
    Hold hold = Hold::None;
    Clock::time_point nextTry{};
    std::chrono::milliseconds wait{0};
    std::string problem;
    bool cleared = false;  // earlier problems at the office cleared in this run

    int Total() const { return contents ? static_cast<int>(contents->Count()) : 0; }
    std::string Uid() const {
        if (!uid.empty()) return uid;
        return contents && contents->day ? contents->day->uid : std::string();
    }
    std::string Fingerprint() const {
        return fingerprint.empty() && contents ? contents->meta.fingerprint : fingerprint;
    }
    std::string BegunAt() const { return contents ? contents->meta.createdAt : std::string(); }
};

SaveToSend SaveOf(const std::string& van, const Served& served, int seq) {
    const day::JournalContents& journal = *served.contents;
    const auto i = static_cast<std::size_t>(seq - 1);
    const auto articles = static_cast<std::size_t>(journal.articles);
    SaveToSend save{van, served.date,     served.Uid(),       served.Fingerprint(),
                    seq, journal.kund[i], journal.savedAt[i], {}};
    save.lev.assign(journal.lev.begin() + static_cast<std::ptrdiff_t>(i * articles),
                    journal.lev.begin() + static_cast<std::ptrdiff_t>((i + 1) * articles));
    return save;
}

// What the office is told of a journal held back, or of one that goes
// through again. Not being allowed to keep it must not stop the sending:
// the van tells its driver either way.
template <typename Call>
void TellOffice(Call call) {
    try {
        call();
    } catch (const Unreachable&) {
        throw;
    } catch (const Error&) {
        // Told on the van alone.
    }
}

std::string Saves(int n) { return n == 1 ? "1 sparning" : std::to_string(n) + " sparningar"; }

}  // namespace

struct Sender::State {
    SenderSetup setup;
    std::function<void(const Outbox&)> outbox;
    std::function<void(const std::string&)> problem;

    std::mutex mutex;
    std::condition_variable wake;
    bool notified = false;
    bool stopping = false;
    bool running = true;
    std::optional<Outbox> lastReported;
    std::string lastProblem;

    // Touched by the sender's thread alone.
    std::map<std::string, Served> journals;

    void Run();
    // The journals there are now, oldest first, each read again if it changed.
    std::vector<Served*> Scan();
    void Read(Served& served);
    // Sends what the office lacks of one journal, or holds it back.
    void Serve(pq::Connection& conn, Served& served);
    // A conflict between the office's saves and the journal's, or none.
    std::optional<SaveProblem> Compare(const std::vector<HeldSave>& held,
                                       const Served& served) const;
    void HoldBack(Served& served, Hold hold, const std::string& text);
    bool Stopping();
    // Waits `wait`, or until a new save is told; false when stopping.
    bool Pause(std::chrono::milliseconds wait);
    void Report();
    void Problem(const std::string& text);
};

Sender::Sender(SenderSetup setup, std::function<void(int)> unsent,
               std::function<void(const std::string&)> problem)
    : Sender(
          std::move(setup),
          [unsent = std::move(unsent)](const Outbox& outbox) {
              if (unsent) unsent(outbox.unsent);
          },
          std::move(problem)) {}

Sender::Sender(SenderSetup setup, std::function<void(const Outbox&)> outbox,
               std::function<void(const std::string&)> problem)
    : state_(std::make_shared<State>()) {
    state_->setup = std::move(setup);
    state_->outbox = std::move(outbox);
    state_->problem = std::move(problem);
    std::thread([state = state_] { state->Run(); }).detach();
}

Sender::~Sender() {
    std::unique_lock lock(state_->mutex);
    state_->stopping = true;
    state_->wake.notify_all();
    // The callbacks belong to whoever made the Sender: never called after
    // this. A thread inside a connection attempt ends when that does.
    state_->wake.wait_for(lock, std::chrono::milliseconds(200),
                          [this] { return !state_->running; });
    state_->outbox = nullptr;
    state_->problem = nullptr;
}

void Sender::Notify() {
    const std::lock_guard lock(state_->mutex);
    state_->notified = true;
    state_->wake.notify_all();
}

void Sender::State::Run() {
    pq::Connection conn;
    Clock::time_point lastHeard{};
    auto retry = setup.firstRetry;
    for (;;) {
        bool tryHeld = false;
        {
            const std::lock_guard lock(mutex);
            if (stopping) break;
            notified = false;
        }
        bool reached = false;
        try {
            // The counts are the journals' own, also while the office is away.
            const std::vector<Served*> order = Scan();
            Report();
            if (!conn.handle()) {
                conn = pq::Connection::Open(setup.conninfo, pq::kVanCallTimeout);
                // A network gone silent in the middle of a save leaves its
                // transaction open at the office, holding the day's lock
                // against the resend: the office ends such a session soon.
                conn.Execute("SET idle_in_transaction_session_timeout = '10s'");
                tryHeld = true;  // a new connection: whatever was refused may pass now
            }
            // In touch now, and a connection lost while idle is found here
            // (a journal held back sends nothing that would find it);
            // between saves that come in a run, once in a while is enough.
            const bool anyHeld = std::any_of(journals.begin(), journals.end(), [](const auto& j) {
                return j.second.hold != Hold::None;
            });
            if (tryHeld || anyHeld || Clock::now() - lastHeard >= kHeardEvery) {
                RecordHeard(conn, setup.van);
                lastHeard = Clock::now();
            }
            for (Served* served : order) {
                if (Stopping()) break;
                if (tryHeld) served->nextTry = {};
                // An unreadable journal is read again on every pass.
                if (served->hold == Hold::Unreadable) continue;
                if (served->hold != Hold::None && Clock::now() < served->nextTry) continue;
                Serve(conn, *served);
                Report();
            }
            reached = true;
        } catch (const Unreachable&) {
            // The office is away, or went while a save was on its way: it
            // is asked again what it holds once it is back.
            for (auto& [path, served] : journals)
                if (served.confirmed < served.Total()) served.confirmed = -1;
        } catch (const std::exception& e) {
            // The login refused, or the like: said, and tried again later,
            // when whatever stands in the way may have been mended.
            Problem(e.what());
            retry = setup.longestRetry;
        }
        if (reached) {
            retry = setup.firstRetry;
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kIdle);
            std::string told;
            for (const auto& [path, served] : journals) {
                if (served.hold == Hold::None) continue;
                told = served.problem;
                if (served.hold == Hold::Unreadable) continue;
                const auto until = std::chrono::duration_cast<std::chrono::milliseconds>(
                    served.nextTry - Clock::now());
                wait = std::max(std::chrono::milliseconds(0), std::min(wait, until));
            }
            Problem(told);
            if (!Pause(wait)) break;
            continue;
        }
        conn.Close();
        if (!Pause(retry)) break;
        retry = std::min(retry * 2, setup.longestRetry);
    }
    const std::lock_guard lock(mutex);
    running = false;
    wake.notify_all();
}

std::vector<Served*> Sender::State::Scan() {
    struct Found {
        std::string path;
        std::string date;
    };
    std::vector<Found> found;
    if (!setup.journalPath.empty()) found.push_back({setup.journalPath, setup.date});
    std::error_code ec;
    if (!setup.dataFolder.empty()) {
        for (fs::directory_iterator days(setup.dataFolder, ec), end; !ec && days != end;
             days.increment(ec)) {
            const std::string date = days->path().filename().string();
            if (!day::IsDate(date) || !days->is_directory(ec)) continue;
            std::error_code inner;
            for (fs::directory_iterator files(days->path(), inner); !inner && files != end;
                 files.increment(inner)) {
                const std::string path = files->path().string();
                if (!path.ends_with(kJournalSuffix) || !files->is_regular_file(inner)) continue;
                std::error_code same;
                if (!setup.journalPath.empty() && fs::equivalent(path, setup.journalPath, same))
                    continue;
                found.push_back({path, date});
            }
        }
    }

    std::map<std::string, Served> now;
    for (const Found& f : found) {
        auto known = journals.find(f.path);
        Served served;
        if (known != journals.end()) {
            served = std::move(known->second);
        } else {
            served.path = f.path;
            served.date = f.date;
            if (f.path == setup.journalPath) {
                served.uid = setup.uid;
                served.fingerprint = setup.fingerprint;
            }
        }
        Read(served);
        now.emplace(f.path, std::move(served));
    }
    journals = std::move(now);

    std::vector<Served*> order;
    for (auto& [path, served] : journals) {
        // A journal from before days had ids cannot be told apart at the office.
        if (served.hold != Hold::Unreadable && served.Uid().empty()) continue;
        order.push_back(&served);
    }
    std::stable_sort(order.begin(), order.end(), [](const Served* a, const Served* b) {
        return std::tie(a->date, a->contents ? a->contents->meta.createdAt : a->path) <
               std::tie(b->date, b->contents ? b->contents->meta.createdAt : b->path);
    });
    return order;
}

void Sender::State::Read(Served& served) {
    const std::optional<FileState> file = StateOf(served.path);
    if (served.contents && file && file == served.file) return;
    try {
        day::JournalContents contents = day::ReadJournal(served.path);
        // Fewer saves than the office was known to hold: asked again.
        if (static_cast<int>(contents.Count()) < served.confirmed) served.confirmed = -1;
        served.contents = std::move(contents);
        served.file = file;
        if (served.hold == Hold::Unreadable) {
            served.hold = Hold::None;
            served.problem.clear();
        }
    } catch (const std::exception& e) {
        served.hold = Hold::Unreadable;
        served.problem = "journalen " + served.path + " kan inte läsas: " + e.what();
        Problem(served.problem);
    }
}

std::optional<SaveProblem> Sender::State::Compare(const std::vector<HeldSave>& held,
                                                  const Served& served) const {
    const int total = served.Total();
    SaveProblem problem;
    problem.kind = ProblemKind::Conflict;
    problem.van = setup.van;
    problem.date = served.date;
    problem.uid = served.Uid();
    for (const HeldSave& save : held) {
        if (save.seq > total) {
            problem.seq = save.seq;
            problem.reason = "Kontoret har sparning " + std::to_string(save.seq) +
                             " från journalen " + served.path + ", men bilen har bara " +
                             Saves(total) + " där; journalen kan vara återställd från en " +
                             "äldre kopia.";
            return problem;
        }
        const SaveToSend ours = SaveOf(setup.van, served, save.seq);
        if (save.shop != ours.shop || save.fingerprint != ours.fingerprint ||
            save.lev != ours.lev) {
            problem.seq = save.seq;
            problem.vansSave = ours;
            problem.reason = "Kontoret har andra uppgifter i sparning " + std::to_string(save.seq) +
                             " än journalen " + served.path +
                             "; dagen kan ha körts på två datorer.";
            return problem;
        }
    }
    return std::nullopt;
}

void Sender::State::Serve(pq::Connection& conn, Served& served) {
    if (!served.contents) return;
    const int total = served.Total();
    if (served.hold == Hold::None && served.confirmed == total && served.cleared) return;

    // Asked what the office holds, and whether it is the journal's.
    auto ask = [&]() -> bool {
        const std::vector<HeldSave> held = OfficeSaves(conn, setup.van, served.date, served.Uid());
        // Sent on from the first gap: a save the office holds already is
        // taken as held, not twice.
        int prefix = 0;
        for (const HeldSave& save : held)
            if (save.seq == prefix + 1) prefix = save.seq;
        if (std::optional<SaveProblem> conflict = Compare(held, served)) {
            served.confirmed = std::min(prefix, conflict->seq - 1);
            TellOffice([&] { RecordProblem(conn, *conflict); });
            HoldBack(served, Hold::Conflict, conflict->reason);
            return false;
        }
        if (served.hold == Hold::Conflict || !served.cleared)
            TellOffice([&] {
                ClearProblems(conn, setup.van, served.date, served.Uid(), ProblemKind::Conflict);
            });
        served.confirmed = prefix;
        return true;
    };
    if ((served.confirmed < 0 || served.hold != Hold::None) && !ask()) return;

    for (int seq = served.confirmed + 1; seq <= total; ++seq) {
        if (Stopping()) return;
        const SaveToSend save = SaveOf(setup.van, served, seq);
        try {
            SendSave(conn, save);
        } catch (const Refused& e) {
            // Another save under its seq is a conflict, not a refusal.
            if (!ask()) return;
            SaveProblem refusal;
            refusal.kind = ProblemKind::Refused;
            refusal.van = setup.van;
            refusal.date = served.date;
            refusal.uid = served.Uid();
            refusal.seq = seq;
            refusal.vansSave = save;
            refusal.reason = std::string(e.what()) + ".";
            TellOffice([&] { RecordProblem(conn, refusal); });
            HoldBack(served, Hold::Refused,
                     "kontoret vägrade sparning " + std::to_string(seq) + " i journalen " +
                         served.path + ": " + e.what());
            return;
        }
        served.confirmed = seq;
        Report();
    }
    if (served.hold == Hold::Refused || !served.cleared)
        TellOffice([&] {
            ClearProblems(conn, setup.van, served.date, served.Uid(), ProblemKind::Refused);
        });
    served.hold = Hold::None;
    served.wait = {};
    served.problem.clear();
    served.cleared = true;
}

void Sender::State::HoldBack(Served& served, Hold hold, const std::string& text) {
    served.wait = served.wait.count() == 0 ? setup.firstHeldRetry
                                           : std::min(served.wait * 2, setup.longestHeldRetry);
    served.hold = hold;
    served.nextTry = Clock::now() + served.wait;
    served.problem = text;
    Problem(text);
}

bool Sender::State::Stopping() {
    const std::lock_guard lock(mutex);
    return stopping;
}

bool Sender::State::Pause(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, wait, [&] { return stopping || notified; });
    return !stopping;
}

void Sender::State::Report() {
    Outbox now;
    for (const auto& [path, served] : journals) {
        if (served.hold != Hold::Unreadable && served.Uid().empty()) continue;
        now.unsent += std::max(0, served.Total() - std::max(0, served.confirmed));
        if (served.hold == Hold::Refused) ++now.refused;
        if (served.hold == Hold::Conflict) ++now.conflicts;
    }
    const std::lock_guard lock(mutex);
    if (now == lastReported || !outbox) return;
    lastReported = now;
    outbox(now);
}

void Sender::State::Problem(const std::string& text) {
    const std::lock_guard lock(mutex);
    if (text == lastProblem || !problem) return;
    lastProblem = text;
    problem(text);
}

}  // namespace office
