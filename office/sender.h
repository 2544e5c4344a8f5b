#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "route/save_journal.h"

// The van's saves on their way to the office, in the background: every save
// in the van's journal reaches the office once, in order, as soon as the
// office can be reached. The journal on the van stays the truth and is the
// outbox; the office is asked what it holds before anything is sent, never
// a mark of the van's own, so a van started again (or killed in the middle
// of a send) goes on exactly where the office is.
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
};

class Sender {
public:
    // unsent: called from the sender's own thread with the number of saves
    // in the journal that the office has not confirmed (all of them until
    // the office has been asked). problem: called from that thread with a
    // Swedish sentence when the office refuses a save or the journal cannot
    // be read, and with an empty one once saves go through again. Both must
    // be quick, and are never called once the Sender is destroyed.
    Sender(SenderSetup setup, std::function<void(int unsent)> unsent,
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
