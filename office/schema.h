#pragma once

#include <vector>

#include "office/pq.h"

// The office's tables, in the schema `leverans`, and how they come to be.
//
//   schema_version  one row: the version below that the tables are at
//   vans            each van by name, and the database role it logs in as
//   routes          each van's published route for a day: the route file's
//                   name, bytes and fingerprint
//   saves           each save a van sent, seq 1, 2, 3, ... per van and day,
//                   from one journal (uid) and on the route published now
//   deliveries      each save's Lev per article (returns negative)
//   heard           when a van was in touch (version 2 on)
//
// From version 4, every save, route and heard row sends a notice on the
// channel leverans_dag when it commits (payload: the day, or empty for any day).
//
// Row-level security is on and forced for every table. The office is the
// owner of the schema and every role that is a member of it: it may do
// anything. A van's role sees its own row in vans, its own routes, saves,
// deliveries and heard rows, and may add saves, deliveries and heard rows of
// its own; no role but the office's may change or remove anything.
namespace office {

inline constexpr int kSchemaVersion = 4;

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
