#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "office/pq.h"

// The office's side of the fleet: vans, their published routes, and what
// came back from them. Every call is refused with a Swedish message (one of
// office/errors.h) and changes nothing when it cannot be done whole.
namespace office {

// A van's name as the office gives it: not empty, at most 100 characters,
// no control characters (it is shown on one line). Refused otherwise.
void CheckVanName(std::string_view van);

enum class VanAdded { Added, AlreadyThere };

// Maps `role`, a database role that exists, to `van`. Refused: a role that
// does not exist, one that belongs to the office or passes by row-level
// security, a van already mapped to another role, a role already another
// van. The same mapping again changes nothing.
VanAdded AddVan(pq::Connection& conn, const std::string& van, const std::string& role);

struct Publication {
    bool replaced = false;  // a route no van had begun on was there before
    int shops = 0;
    int articles = 0;
};

// Publishes a route file's bytes (already checked by the caller with
// day::ParseRouteFile, and checked here again) as the route of `van` on
// `date` (ÅÅÅÅ-MM-DD), under `name`. Replaces a route the van has not begun;
// refused for an unknown van, and for a route with saves (naming the van
// and when its first save was made). One transaction, which waits for a
// save under way on that day and makes any save on the replaced route fail.
Publication PublishRoute(pq::Connection& conn, const std::string& van, const std::string& date,
                         const std::string& name, std::string_view bytes);

// One van's day, as the office sees it.
struct VanStatus {
    std::string van;
    std::string routeName;
    int shops = 0;                         // in the route
    int savedShops = 0;                    // with at least one save
    std::optional<std::time_t> lastSave;   // when the van made the day's latest save
    std::optional<std::time_t> lastHeard;  // latest contact or received save, any day
    int refusedSaves = 0;
    std::string refusalReason;
    std::optional<std::time_t> refusedAt;
    int conflicts = 0;
    std::string conflictReason;
};

// Every van with a route on `date`, vans in natural order ("2" before "10").
std::vector<VanStatus> FleetStatus(pq::Connection& conn, const std::string& date);

// One line per van, times in local time:
//   Bil 3 (tisdag.csv): 2 av 4 butiker sparade, senast sparad 2026-12-07 14:03, hörd 2026-12-07
//   14:05 Bil 4 (onsdag.csv): ej påbörjad, 3 butiker, hörd 2026-12-07 08:12 Bil 10 (tisdag.csv): ej
//   påbörjad, 4 butiker, aldrig hörd
// or a single line saying no route is published for the date.
std::string StatusText(const std::vector<VanStatus>& fleet, const std::string& date);

// The fleet's day as one spreadsheet file, in the dialect of the van's own
// report (UTF-8 with a byte-order mark, ';', CRLF, names inert):
//   Datum;Bil;Butik nr;Butik;Artikel;Beställt;Levererat
// one line per saved shop and article where the order or the delivery is
// not 0, from each shop's latest save; returns negative; vans in natural
// order, then shops and articles in route order. Shops never saved (also
// those passed over) have no lines.
std::string FleetReport(pq::Connection& conn, const std::string& date);

// "2026-12-07 14:03": a moment in local time, to the minute.
std::string LocalMinute(std::time_t moment);

}  // namespace office
