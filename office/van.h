#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "office/pq.h"

// The van's side of the office: fetching its route and sending back its
// saves, connected as the van's own role, which row-level security limits
// to that van's rows.
//
// Sending is exactly once: a day's saves go in seq order, one transaction
// per save (its row and its deliveries), each insert doing nothing when the
// row is there already. Before sending, a sender asks OfficeSaveCount for
// what the office holds (never trusting a mark of its own) and sends from
// the next one on, so a retry after a commit whose answer was lost repeats
// nothing. Unreachable means: try again later; Refused means the office
// will not take this save as it is (a route never published for the day,
// the save before it missing, another van's day) and sending it again
// changes nothing. A day may have several journals (a new day begun on the
// van, or the van on two machines): each is sent and kept on its own.
namespace office {

struct PublishedRoute {
    std::string name;         // the route file's name as published
    std::string bytes;        // the route file itself
    std::string fingerprint;  // SHA-256 of bytes, 64 hex digits
    std::string publishedAt;  // local ISO 8601 with the offset
};

// The route published for `van` on `date` (ÅÅÅÅ-MM-DD); none when there is
// none, or none this role may see. Called as the van's own role, it notes
// at the office that the van has fetched that route (the first time only),
// after which the office replaces it only when told to.
std::optional<PublishedRoute> FetchRoute(pq::Connection& conn, const std::string& van,
                                         const std::string& date);

// Notes that the van was in touch now: the van's one contact row.
void RecordHeard(pq::Connection& conn, const std::string& van);

// The highest seq the office holds of the van's saves on `date` from the
// journal `uid`; 0 when it holds none.
int OfficeSaveCount(pq::Connection& conn, const std::string& van, const std::string& date,
                    const std::string& uid);

struct SaveToSend {
    std::string van;
    std::string date;          // ÅÅÅÅ-MM-DD, the route's day
    std::string uid;           // the journal's day id, 32 hex digits
    std::string fingerprint;   // of the route the save was made on
    int seq = 0;               // 1, 2, 3, ... in the journal
    int shop = 0;              // 1 = the route's first shop
    std::string savedAt;       // local ISO 8601 with the offset, as the journal keeps it
    std::vector<int16_t> lev;  // per article in route order; returns negative
};

// Sends one save and its deliveries in one transaction. True when the
// office took it now, false when it held this save already (nothing is
// changed then). Refused when the office holds another save under the
// same seq, or will not take it (see above).
bool SendSave(pq::Connection& conn, const SaveToSend& save);

// What the office holds of one journal's saves, in seq order.
struct HeldSave {
    int seq = 0;
    int shop = 0;
    std::string fingerprint;
    std::vector<int16_t> lev;  // per article in the route's order
};
std::vector<HeldSave> OfficeSaves(pq::Connection& conn, const std::string& van,
                                  const std::string& date, const std::string& uid);

enum class ProblemKind { Refused, Conflict };
// Kept at the office: it refused a save (Refused), or the van's journal and the office
// disagree (Conflict: the office holds other figures under a seq, or more saves than the
// journal). The van's own figures are kept with it, so neither side is lost.
struct SaveProblem {
    ProblemKind kind = ProblemKind::Refused;
    std::string van, date, uid;
    int seq = 0;                         // the journal's save it is about
    std::optional<SaveToSend> vansSave;  // the van's figures, when it has a save under seq
    std::string reason;                  // one Swedish sentence
};
// One row per van, day, journal, seq and kind: the latest reason (its first
// 1000 bytes) and time. A refusal is cleared by the office itself once that
// save is received.
void RecordProblem(pq::Connection& conn, const SaveProblem& problem);
// Clears the journal's kept problems of `kind` (the van found them gone).
void ClearProblems(pq::Connection& conn, const std::string& van, const std::string& date,
                   const std::string& uid, ProblemKind kind);

}  // namespace office
