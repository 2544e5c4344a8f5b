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
// will not take this save as it is (the route was replaced, another
// journal, another van's day) and sending it again changes nothing.
namespace office {

struct PublishedRoute {
    std::string name;         // the route file's name as published
    std::string bytes;        // the route file itself
    std::string fingerprint;  // SHA-256 of bytes, 64 hex digits
    std::string publishedAt;  // local ISO 8601 with the offset
};

// The route published for `van` on `date` (ÅÅÅÅ-MM-DD); none when there is
// none, or none this role may see.
std::optional<PublishedRoute> FetchRoute(pq::Connection& conn, const std::string& van,
                                         const std::string& date);

// Notes that the van was in touch now.
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

}  // namespace office
