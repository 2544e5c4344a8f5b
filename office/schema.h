#pragma once

#include <vector>

#include "office/pq.h"

// The office's tables, in the schema `leverans`, and how they come to be.
//
//   schema_version  one row: the version below that the tables are at
//   vans            each van by name, and the database role it logs in as
//   routes          each van's route published now for a day: the route
//                   file's name, bytes and fingerprint
//   route_versions  every route ever published for a van and day, by
//                   fingerprint, the one in routes among them (version 5 on)
//   fetches         when the van first fetched each of those (version 5 on)
//   saves           each save a van sent, seq 1, 2, 3, ... per van, day and
//                   journal (uid; a day may have several), each on a route
//                   published for that van and day (one journal per day
//                   before version 5)
//   deliveries      each save's Lev per article (returns negative)
//   heard           when a van was last in touch, one row per van (a row
//                   per contact before version 5)
//   problems        a save of a journal the office refused, or one where the
//                   journal and the office disagree, with the van's figures
//                   (version 5 on)
//
// From version 6, every save, route and kept problem sends a
// notice on the channel leverans_dag when it commits (payload: the day, or
// empty for any day).
//
// Row-level security is on and forced for every table. The office is the
// owner of the schema and every role that is a member of it: it may do
// anything. A van's role sees its own rows of every table but vans (there
// its own row); it may add saves, deliveries and fetches of its own, move
// its own heard row to now, and keep, renew and clear its own problems; no
// role but the office's may change or remove anything else.
//
// From version 4 on, every function runs with its own search path (no
// operator of the caller's comes in), and a van's day lock, which its saves
// and the office's publishing take, is for the office and that van only;
// waiting for it is given up after 5 seconds (SQLSTATE 55P03).
namespace office {

inline constexpr int kSchemaVersion = 6;

struct Migration {
    int version;
    const char* sql;  // fixed DDL, run in one transaction with the version bump
};

// Every version from 1 on, in order.
const std::vector<Migration>& Migrations();

// The version the database's tables are at; 0 when there is no schema.
// Throws SchemaError when the version table does not hold one row.
int StoredSchemaVersion(pq::Connection& conn);

struct SchemaChange {
    int from = 0;
    int to = 0;
};

// Creates the schema or brings it up to `upTo` (the latest by default),
// one migration per transaction, each under a lock that keeps two of these
// from running at once. Refused with SchemaError, changing nothing, when
// the stored version is newer than this program knows.
SchemaChange CreateSchema(pq::Connection& conn, int upTo = kSchemaVersion);

}  // namespace office
