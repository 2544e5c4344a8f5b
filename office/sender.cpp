#include "office/sender.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "day/journal_file.h"
#include "office/errors.h"
#include "office/pq.h"
#include "office/van.h"

namespace office {

namespace {

// How long an idle sender waits for a new save before it looks again: the
// journal is the truth, and a notice may have been missed. (A save told
// while the office is away is tried at once too: saves come at a driver's
// pace, and each is worth a try.)
constexpr std::chrono::seconds kIdle{30};

SaveToSend SaveOf(const SenderSetup& setup, const day::JournalContents& journal, int seq) {
    const auto i = static_cast<std::size_t>(seq - 1);
    const auto articles = static_cast<std::size_t>(journal.articles);
    SaveToSend save{setup.van, setup.date,      setup.uid,          setup.fingerprint,
                    seq,       journal.kund[i], journal.savedAt[i], {}};
    save.lev.assign(journal.lev.begin() + static_cast<std::ptrdiff_t>(i * articles),
                    journal.lev.begin() + static_cast<std::ptrdiff_t>((i + 1) * articles));
    return save;
}

}  // namespace

struct Sender::State {
    SenderSetup setup;
    std::function<void(int)> unsent;
    std::function<void(const std::string&)> problem;

    std::mutex mutex;
    std::condition_variable wake;
    bool notified = false;
    bool stopping = false;
    bool running = true;
    int lastReported = -1;
    std::string lastProblem;

    void Run();
    // Waits `wait`, or until a new save is told; false when stopping.
    bool Pause(std::chrono::milliseconds wait);
    void Report(int count);
    void Problem(const std::string& text);
};

Sender::Sender(SenderSetup setup, std::function<void(int)> unsent,
               std::function<void(const std::string&)> problem)
    : state_(std::make_shared<State>()) {
    state_->setup = std::move(setup);
    state_->unsent = std::move(unsent);
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
    state_->unsent = nullptr;
    state_->problem = nullptr;
}

void Sender::Notify() {
    const std::lock_guard lock(state_->mutex);
    state_->notified = true;
    state_->wake.notify_all();
}

void Sender::State::Run() {
    pq::Connection conn;
    int officeHas = -1;  // as the office said when last asked; -1: ask it
    int confirmed = 0;   // saves the office is known to hold
    auto retry = setup.firstRetry;
    for (;;) {
        {
            const std::lock_guard lock(mutex);
            if (stopping) break;
            notified = false;
        }
        bool sent = false;
        try {
            // The count is the journal's own, also while the office is away.
            const day::JournalContents journal = day::ReadJournal(setup.journalPath);
            const int total = static_cast<int>(journal.Count());
            Report(std::max(0, total - confirmed));
            if (!conn.handle()) {
                conn = pq::Connection::Open(setup.conninfo, pq::kVanCallTimeout);
                RecordHeard(conn, setup.van);
            }
            if (officeHas < 0) officeHas = OfficeSaveCount(conn, setup.van, setup.date, setup.uid);
            confirmed = officeHas;
            Report(std::max(0, total - confirmed));
            for (int seq = officeHas + 1; seq <= total; ++seq) {
                {
                    const std::lock_guard lock(mutex);
                    if (stopping) break;
                }
                SendSave(conn, SaveOf(setup, journal, seq));
                officeHas = confirmed = seq;
                Report(total - confirmed);
            }
            Problem({});
            sent = true;
        } catch (const Unreachable&) {
            // The office is away, or went while a save was on its way: it
            // is asked again what it holds once it is back.
        } catch (const std::exception& e) {
            // Refused, or the journal unreadable: said, and tried again
            // later, when whatever stands in the way may have been mended.
            Problem(e.what());
            retry = setup.longestRetry;
        }
        if (sent) {
            retry = setup.firstRetry;
            if (!Pause(kIdle)) break;
            continue;
        }
        conn.Close();
        officeHas = -1;
        if (!Pause(retry)) break;
        retry = std::min(retry * 2, setup.longestRetry);
    }
    const std::lock_guard lock(mutex);
    running = false;
    wake.notify_all();
}

bool Sender::State::Pause(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, wait, [&] { return stopping || notified; });
    return !stopping;
}

void Sender::State::Report(int count) {
    const std::lock_guard lock(mutex);
    if (count == lastReported || !unsent) return;
    lastReported = count;
    unsent(count);
}

void Sender::State::Problem(const std::string& text) {
    const std::lock_guard lock(mutex);
    if (text == lastProblem || !problem) return;
    lastProblem = text;
    problem(text);
}

}  // namespace office
