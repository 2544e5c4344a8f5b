#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "day/sqlite.h"

// The journal's file format: an SQLite database in WAL mode, marked with our
// application id and the schema version in user_version.
//
//   meta        one row: the route file's fingerprint, its name as given,
//               its size in bytes and when the journal was created, which
//               is when the day began
//   day         one row: a random id of the day, and the route file's bytes
//               as the day began on them (version 2 on)
//   saves       one row per save, seq 1, 2, 3, ... in the order of saving
//   deliveries  one row per article of every save (Lev), keyed (seq, article)
//
// Times are local ISO 8601 with the offset from UTC. A version 1 journal has
// no day table; it is still read, and upgraded when it is written to.
namespace day {

inline constexpr int kSchemaVersion = 2;
inline constexpr int kApplicationId = 0x4c657672;  // "Levr"

struct JournalMeta {
    std::string fingerprint;  // of the route file's bytes
    std::string routeName;    // as the route file was named when the day began
    int64_t routeSize = 0;
    std::string createdAt;

    // "2026-12-07": the calendar day, local time, on which the day began.
    std::string BegunOn() const { return createdAt.substr(0, 10); }
};

// What a version 2 journal keeps of its day besides the saves.
struct JournalDay {
    std::string uid;    // 32 lower-case hex digits, random, made when the day began
    std::string route;  // the route file's bytes
};

// Everything a journal holds, read in one snapshot.
struct JournalContents {
    int version = kSchemaVersion;
    JournalMeta meta;
    std::optional<JournalDay> day;     // none in a version 1 journal
    std::vector<int16_t> kund;         // per save, in order; save i has seq i + 1
    std::vector<std::string> savedAt;  // per save
    int articles = 0;                  // delivery rows per save; 0 while there is none
    std::vector<int16_t> lev;          // per save, per article: saves x articles

    std::size_t Count() const { return kund.size(); }
    // Shops with at least one save.
    int SavedShops() const;
};

// A file that exists but is no journal we can use.
class UnreadableJournal : public std::runtime_error {
public:
    UnreadableJournal(std::string cause, const std::string& detail)
        : std::runtime_error(detail), cause_(std::move(cause)) {}
    // Swedish, for the driver.
    const std::string& cause() const { return cause_; }

private:
    std::string cause_;
};

// Reads and checks a whole journal without creating or changing any file:
// through a read-only connection on the existing log when a writer may be
// saving (otherWriters: it holds the journal's lock) or crashed with saves
// in the log, otherwise the database file as immutable. Throws
// UnreadableJournal or sql::Error.
JournalContents ReadJournal(const std::string& path, bool otherWriters = true);

// Creates a journal with no saves. It is built beside the target under the
// name path + ".new" and renamed into place only when complete, so a failure
// or a crash never leaves a half-made journal under the real name. Throws
// sql::Error or std::system_error; nothing of the attempt is left behind.
void CreateJournal(const std::string& path, const JournalMeta& meta, const JournalDay& day);

// The file whose lock a writer holds for the journal's life: beside the
// journal file itself, whatever path names it.
std::string JournalLockPath(const std::string& journalPath);

// A new day's random id.
std::string NewDayUid();

// Brings a version 1 journal, open for writing, to the current version in
// one transaction: the day's id and the route bytes it began on are added.
// Throws sql::Error and leaves the journal as it was.
void UpgradeJournal(sql::Connection& db, const JournalDay& day);

// Copies everything committed into the database file itself and empties the
// log, so that the file alone is the whole journal. Throws sql::Error when
// the log could not be emptied.
void Checkpoint(sql::Connection& db);

// The connection that records saves: WAL, synchronous=FULL, the log kept on
// close (so readers never have to create it). Throws sql::Error, also when
// the file can only be read.
sql::Connection OpenForWriting(const std::string& path);

// The tables, exactly as created and as the check on opening expects them.
inline constexpr const char* kCreateMeta =
    "CREATE TABLE meta("
    "id INTEGER PRIMARY KEY CHECK (id = 1), "
    "fingerprint TEXT NOT NULL CHECK (length(fingerprint) = 64), "
    "route_name TEXT NOT NULL, "
    "route_size INTEGER NOT NULL CHECK (route_size >= 0), "
    "created_at TEXT NOT NULL)";
inline constexpr const char* kCreateDay =
    "CREATE TABLE day("
    "id INTEGER PRIMARY KEY CHECK (id = 1), "
    "uid TEXT NOT NULL CHECK (length(uid) = 32), "
    "route BLOB NOT NULL)";
inline constexpr const char* kCreateSaves =
    "CREATE TABLE saves("
    "seq INTEGER PRIMARY KEY CHECK (seq >= 1), "
    "kund INTEGER NOT NULL CHECK (kund BETWEEN 1 AND 32767), "
    "saved_at TEXT NOT NULL)";
inline constexpr const char* kCreateDeliveries =
    "CREATE TABLE deliveries("
    "seq INTEGER NOT NULL REFERENCES saves(seq), "
    "article INTEGER NOT NULL CHECK (article BETWEEN 1 AND 32767), "
    "lev INTEGER NOT NULL CHECK (lev BETWEEN -32768 AND 32767), "
    "PRIMARY KEY (seq, article)) WITHOUT ROWID";

inline constexpr const char* kInsertSave =
    "INSERT INTO saves(seq, kund, saved_at) VALUES (?, ?, ?)";
inline constexpr const char* kInsertDelivery =
    "INSERT INTO deliveries(seq, article, lev) VALUES (?, ?, ?)";

}  // namespace day
