#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "route/save_journal.h"

// The van's saves on their way to the office, in the background: every save
// in the van's journals (the day's, earlier days', the days put aside)
// reaches the office once, in order within its journal, as soon as the
// office can be reached. The journals on the van stay the truth and are the
// outbox; the office is asked what it holds before anything is sent, never
// a mark of the van's own, so a van started again (or killed in the middle
// of a send) goes on exactly where the office is.
//
// A journal the office refuses a save of, or whose saves at the office are
// not the journal's (a journal restored from an older copy, one day run on
// two machines), is held back and told, at the office and on the van; the
// van's other journals go on. Nothing is deleted on either side. A held
// journal is tried again on a new connection, and otherwise after a wait
// that grows to minutes.
namespace office {

struct SenderSetup {
    std::string conninfo;     // the office, as for pq::Connection::Open
    std::string van;          // this van
    std::string date;         // the route's day, ÅÅÅÅ-MM-DD
    std::string journalPath;  // the day's journal, read as a reader does
    std::string uid;          // the journal's day id
    std::string fingerprint;  // of the route the day runs on
    // Waits after a failure: the first, doubled each time up to the longest.
    std::chrono::milliseconds firstRetry{250};
    std::chrono::milliseconds longestRetry{4000};
    // The van's folder of days (bil-B): every journal in its date folders
    // (DATUM/*.journal) is sent too, under that date, with the day id and
    // route fingerprint kept in it. Empty: journalPath alone.
    std::string dataFolder{};
    // Waits before a held journal is tried again, doubled up to the longest.
    std::chrono::milliseconds firstHeldRetry{30000};
    std::chrono::milliseconds longestHeldRetry{600000};
};

// Where the van's saves stand, over every journal.
struct Outbox {
    int unsent = 0;     // saves the office has not confirmed (all until asked)
    int refused = 0;    // saves the office refused: one per journal held back
    int conflicts = 0;  // journals whose saves at the office are not theirs
    bool operator==(const Outbox&) const = default;
};

class Sender {
public:
    // unsent: called from the sender's own thread with the number of saves
    // in the journals that the office has not confirmed (all of them until
    // the office has been asked). problem: called from that thread with a
    // Swedish sentence when the office refuses a save, a journal's saves
    // differ from the office's or a journal cannot be read, and with an
    // empty one once no journal is held back. Both must
    // be quick, and are never called once the Sender is destroyed.
    Sender(SenderSetup setup, std::function<void(int unsent)> unsent,
           std::function<void(const std::string& problem)> problem = {});
    // The same, told the whole Outbox whenever it changes.
    Sender(SenderSetup setup, std::function<void(const Outbox&)> outbox,
           std::function<void(const std::string& problem)> problem = {});
    // Stops sending. A send under way is abandoned (the office keeps it or
    // not; the next start asks), and a connection attempt under way is
    // left to end by itself rather than waited for.
    ~Sender();
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    // A save has been kept in the journal: send it now. Never waits.
    void Notify();

    struct State;

private:
    std::shared_ptr<State> state_;
};

// The window's journal for a van: keeps every save in the day's journal,
// then tells the sender it is there.
class SendingJournal final : public route::SaveJournal {
public:
    SendingJournal(route::SaveJournal& journal, Sender& sender)
        : journal_(journal), sender_(sender) {}
    void Record(const route::SavePlan& plan) override {
        journal_.Record(plan);
        sender_.Notify();
    }

private:
    route::SaveJournal& journal_;
    Sender& sender_;
};

}  // namespace office
