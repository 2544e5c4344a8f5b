#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "day/sqlite.h"

// The journal's file format: an SQLite database, marked with our
// application id and the schema version in user_version. Every change
// replaces the file whole (ReplaceJournal), so the file alone is always the
// whole journal, before or after a change and never in between.
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

// Reads and checks a whole journal without creating or changing any file.
// Throws UnreadableJournal or sql::Error.
JournalContents ReadJournal(const std::string& path);

// Creates a journal with no saves. It is built beside the target under the
// name path + ".new" and renamed into place only when complete, so a failure
// or a crash never leaves a half-made journal under the real name. Throws
// sql::Error or std::system_error; nothing of the attempt is left behind.
void CreateJournal(const std::string& path, const JournalMeta& meta, const JournalDay& day);

// One change, made whole or not at all: the journal is copied beside itself
// (path + ".next"), `change` runs on the copy in one transaction, and the
// copy is synced and renamed over the journal. The file under its name,
// read at any moment or left by a crash at any moment, holds everything
// before the change or everything after it. Throws sql::Error or
// std::system_error with the journal as it was and no copy left.
void ReplaceJournal(const std::string& path, const std::function<void(sql::Connection&)>& change);

// A journal that an earlier version kept with a write-ahead log may have
// saves in it after a crash: they are taken into the file, and the log and
// its index removed. Only by the writer, under its lock. Throws sql::Error.
void FoldLog(const std::string& path);

// The calls outside SQLite that put a change on disk for good: the real
// ones, unless a test lays its own over them to see what a power cut would
// leave (SQLite's own writes and syncs go through its VFS).
class JournalFiles {
public:
    virtual ~JournalFiles() = default;
    virtual void Sync(const std::string& path);        // fsync of a file
    virtual void SyncFolder(const std::string& path);  // fsync of a folder
    // Throws std::system_error.
    virtual void Rename(const std::string& from, const std::string& to);

    static JournalFiles& InUse();
    // From now on `files`; nullptr: the real calls again.
    static void Use(JournalFiles* files);
};

// The file whose lock a writer holds for the journal's life: beside the
// journal file itself, whatever path names it.
std::string JournalLockPath(const std::string& journalPath);

// A new day's random id.
std::string NewDayUid();

// Brings a version 1 journal to the current version, inside the caller's
// transaction: the day's id and the route bytes it began on are added.
void UpgradeJournal(sql::Connection& db, const JournalDay& day);

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
