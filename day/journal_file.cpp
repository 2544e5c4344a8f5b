#include "day/journal_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

#include "day/descriptor.h"
#include "day/fingerprint.h"
#include "day/journal_messages.h"

namespace day {

namespace {

namespace fs = std::filesystem;

constexpr int kBusyTimeoutMs = 5000;

[[noreturn]] void Reject(const char* cause, const std::string& detail) {
    throw UnreadableJournal(cause, detail);
}

void RejectUnless(bool condition, const std::string& detail) {
    if (!condition) Reject(messages::kDamaged, detail);
}

bool NonEmptyFile(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return !ec && size > 0;
}

// The fixed part of an SQLite header: the magic text, and the file format
// bytes (1 for a journal kept whole in its file, 2 for one an earlier
// version kept with a write-ahead log). Checked before SQLite sees the file.
void CheckHeader(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) Reject(messages::kNoHeader, "not a regular file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        throw UnreadableJournal(messages::CauseOfReadErrno(error),
                                std::generic_category().message(error));
    }
    std::array<char, 100> header{};
    const ssize_t got = ::pread(fd, header.data(), header.size(), 0);
    const int error = errno;
    ::close(fd);
    if (got < 0)
        throw UnreadableJournal(messages::CauseOfReadErrno(error),
                                std::generic_category().message(error));
    if (got < static_cast<ssize_t>(header.size()))
        Reject(messages::kNoHeader, "shorter than an SQLite header");
    static constexpr char kMagic[] = "SQLite format 3";  // with its terminating zero: 16 bytes
    if (!std::equal(kMagic, kMagic + sizeof kMagic, header.begin()))
        Reject(messages::kNoHeader, "no SQLite header");
    const bool whole = header[18] == 1 && header[19] == 1;
    const bool logged = header[18] == 2 && header[19] == 2;
    if (!whole && !logged) Reject(messages::kNoHeader, "unknown file format bytes");
}

std::string UriFor(const std::string& path) {
    // A URI path must not be mistaken for an authority (//host) or carry
    // its own query or fragment.
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    const std::string absolute = ec ? path : full.lexically_normal().string();
    std::string uri = "file:";
    for (char c : absolute) {
        switch (c) {
            case '%':
                uri += "%25";
                break;
            case '?':
                uri += "%3f";
                break;
            case '#':
                uri += "%23";
                break;
            default:
                uri += c;
        }
    }
    return uri;
}

// Read only, creating nothing. The file is the whole journal (a writer
// replaces it whole with every save) and is opened as immutable, needing no
// locks and making no files beside it; a reader that has it open keeps the
// state it opened even when a save replaces the file meanwhile. Only a
// journal that an earlier version left with saves in its write-ahead log
// (a crash) is read through that log.
sql::Connection OpenForReading(const std::string& path) {
    if (NonEmptyFile(path + "-wal")) {
        sql::Connection db(path, SQLITE_OPEN_READONLY);
        sqlite3_busy_timeout(db.handle(), kBusyTimeoutMs);
        return db;
    }
    return sql::Connection(UriFor(path) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

void CheckSchema(sql::Connection& db, int version) {
    std::vector<std::pair<const char*, const char*>> expected = {
        {"deliveries", kCreateDeliveries},
        {"meta", kCreateMeta},
        {"saves", kCreateSaves},
    };
    if (version >= 2) expected.insert(expected.begin(), {"day", kCreateDay});
    sql::Statement schema(db, "SELECT type, name, sql FROM sqlite_schema ORDER BY name");
    std::size_t found = 0;
    while (schema.Step()) {
        if (found == expected.size()) Reject(messages::kDamaged, "more objects than expected");
        const auto& [name, sql] = expected[found++];
        if (schema.Text(0) != "table" || schema.Text(1) != name || schema.Text(2) != sql)
            Reject(messages::kDamaged, "unexpected schema object " + schema.Text(1));
    }
    if (found != expected.size()) Reject(messages::kDamaged, "tables missing");
}

JournalMeta ReadMeta(sql::Connection& db) {
    sql::Statement row(db, "SELECT fingerprint, route_name, route_size, created_at FROM meta");
    RejectUnless(row.Step(), "no meta row");
    RejectUnless(row.IsText(0) && row.IsText(1) && row.IsInteger(2) && row.IsText(3),
                 "meta row of the wrong types");
    JournalMeta meta{row.Text(0), row.Text(1), row.Int(2), row.Text(3)};
    RejectUnless(!row.Step(), "more than one meta row");
    return meta;
}

// The day's id and route, which must be the bytes the meta row describes.
JournalDay ReadDay(sql::Connection& db, const JournalMeta& meta) {
    sql::Statement row(db, "SELECT uid, route FROM day");
    RejectUnless(row.Step(), "no day row");
    RejectUnless(row.IsText(0) && row.IsBlob(1), "day row of the wrong types");
    JournalDay day{row.Text(0), row.Blob(1)};
    RejectUnless(!row.Step(), "more than one day row");
    RejectUnless(static_cast<int64_t>(day.route.size()) == meta.routeSize &&
                     Fingerprint(day.route) == meta.fingerprint,
                 "the kept route does not match its fingerprint");
    return day;
}

void InsertDay(sql::Connection& db, const JournalDay& day) {
    sql::Statement insert(db, "INSERT INTO day(id, uid, route) VALUES (1, ?, ?)");
    insert.Bind(1, day.uid);
    insert.BindBlob(2, day.route);
    insert.Step();
}

void ReadSaves(sql::Connection& db, JournalContents& contents) {
    sql::Statement saves(db, "SELECT seq, kund, saved_at FROM saves ORDER BY seq");
    while (saves.Step()) {
        RejectUnless(saves.IsInteger(0) && saves.IsInteger(1) && saves.IsText(2),
                     "save row of the wrong types");
        const int64_t seq = saves.Int(0);
        const int64_t kund = saves.Int(1);
        RejectUnless(seq == static_cast<int64_t>(contents.Count()) + 1,
                     "saves not numbered 1, 2, ...");
        RejectUnless(kund >= 1 && kund <= INT16_MAX, "customer out of range");
        contents.kund.push_back(static_cast<int16_t>(kund));
        contents.savedAt.push_back(saves.Text(2));
    }
}

// Every save has the same articles 1..n, and no row belongs to no save.
void ReadDeliveries(sql::Connection& db, JournalContents& contents) {
    sql::Statement rows(db, "SELECT seq, article, lev FROM deliveries ORDER BY seq, article");
    int64_t seq = 0;      // the save being read
    int64_t article = 0;  // its last article so far
    auto finish = [&] {
        if (seq == 0) return;
        if (seq == 1) contents.articles = static_cast<int>(article);
        RejectUnless(article == contents.articles, "a save without all its articles");
    };
    while (rows.Step()) {
        RejectUnless(rows.IsInteger(0) && rows.IsInteger(1) && rows.IsInteger(2),
                     "delivery row of the wrong types");
        const int64_t rowSeq = rows.Int(0);
        if (rowSeq != seq) {
            finish();
            RejectUnless(rowSeq == seq + 1, "a save without deliveries, or rows of no save");
            seq = rowSeq;
            article = 0;
        }
        RejectUnless(rows.Int(1) == article + 1, "articles not numbered 1, 2, ...");
        article = rows.Int(1);
        const int64_t lev = rows.Int(2);
        RejectUnless(lev >= INT16_MIN && lev <= INT16_MAX, "quantity out of range");
        contents.lev.push_back(static_cast<int16_t>(lev));
    }
    finish();
    RejectUnless(seq == static_cast<int64_t>(contents.Count()),
                 "deliveries and saves do not match");
    RejectUnless(contents.Count() == 0 || contents.articles >= 1, "a save without articles");
}

void SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    if (rc != 0) throw std::system_error(error, std::generic_category(), "fsync " + path);
}

void RemoveQuietly(const std::string& path) {
    std::error_code ignored;
    fs::remove(path, ignored);
}

void RemoveWithLog(const std::string& path) {
    RemoveQuietly(path);
    RemoveQuietly(path + "-wal");
    RemoveQuietly(path + "-shm");
    RemoveQuietly(path + "-journal");
}

std::string FolderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

// A file nobody reads until it is renamed into place needs no rollback
// journal on disk: a failure discards it whole. Committing syncs it.
void PrepareScratch(sql::Connection& db) {
    // SQLite falls back to reading when the file cannot be written.
    if (sqlite3_db_readonly(db.handle(), "main") == 1)
        throw sql::Error(SQLITE_READONLY, 0, "the journal file is read-only");
    sql::Statement mode(db, "PRAGMA journal_mode=MEMORY");
    if (!mode.Step() || mode.Text(0) != "memory")
        throw sql::Error(SQLITE_CANTOPEN, 0, "the journal's copy could not be written whole");
    mode = sql::Statement();
    db.Execute("PRAGMA synchronous=FULL");
}

void BuildJournal(const std::string& path, const JournalMeta& meta, const JournalDay& day) {
    sql::Connection db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    PrepareScratch(db);
    sql::Transaction transaction(db, sql::Transaction::Kind::Immediate);
    db.Execute(kCreateMeta);
    db.Execute(kCreateDay);
    db.Execute(kCreateSaves);
    db.Execute(kCreateDeliveries);
    db.Execute(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
    db.Execute(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    sql::Statement insert(db,
                          "INSERT INTO meta(id, fingerprint, route_name, route_size, "
                          "created_at) VALUES (1, ?, ?, ?, ?)");
    insert.Bind(1, meta.fingerprint);
    insert.Bind(2, meta.routeName);
    insert.Bind(3, meta.routeSize);
    insert.Bind(4, meta.createdAt);
    insert.Step();
    InsertDay(db, day);
    transaction.Commit();
}

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// A new file `to` with the bytes and permissions of `from`: shared blocks
// where the file system can clone, copied in the kernel otherwise.
void CopyFile(const std::string& from, const std::string& to) {
    const Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) ThrowErrno("open " + from);
    struct stat info {};
    if (::fstat(in.get(), &info) != 0) ThrowErrno("stat " + from);
    const Descriptor out(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
    if (out.get() < 0) ThrowErrno("create " + to);
    if (::ioctl(out.get(), FICLONE, in.get()) == 0) return;
    for (off_t left = info.st_size; left > 0;) {
        const ssize_t copied = ::copy_file_range(in.get(), nullptr, out.get(), nullptr,
                                                 static_cast<std::size_t>(left), 0);
        if (copied < 0 && errno == EINTR) continue;
        if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP)) {
            std::array<char, 1 << 16> buffer{};
            for (;;) {
                const ssize_t got = ::read(in.get(), buffer.data(), buffer.size());
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) ThrowErrno("read " + from);
                if (got == 0) return;
                for (ssize_t done = 0; done < got;) {
                    const ssize_t put = ::write(out.get(), buffer.data() + done,
                                                static_cast<std::size_t>(got - done));
                    if (put < 0 && errno == EINTR) continue;
                    if (put < 0) ThrowErrno("write " + to);
                    done += put;
                }
            }
        }
        if (copied < 0) ThrowErrno("copy to " + to);
        if (copied == 0) break;  // the file shrank meanwhile: it cannot, we hold the lock
        left -= copied;
    }
}

}  // namespace

void JournalFiles::Sync(const std::string& path) { SyncPath(path, O_RDONLY); }

void JournalFiles::SyncFolder(const std::string& path) { SyncPath(path, O_RDONLY | O_DIRECTORY); }

void JournalFiles::Rename(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        throw std::system_error(errno, std::generic_category(), "rename to " + to);
}

namespace {

// A test's own calls while it lays them over the real ones.
JournalFiles* laidOver = nullptr;

}  // namespace

JournalFiles& JournalFiles::InUse() {
    static JournalFiles real;
    return laidOver != nullptr ? *laidOver : real;
}

void JournalFiles::Use(JournalFiles* files) { laidOver = files; }

JournalContents ReadJournal(const std::string& path) {
    CheckHeader(path);
    sql::Connection db = OpenForReading(path);
    // One read transaction: a writer committing meanwhile is seen wholly or not at all.
    sql::Transaction snapshot(db, sql::Transaction::Kind::Deferred);
    if (db.QueryInt("PRAGMA application_id") != kApplicationId)
        Reject(messages::kNotJournal, "another application id");
    const int64_t version = db.QueryInt("PRAGMA user_version");
    if (version < 1 || version > kSchemaVersion)
        Reject(messages::kOtherVersion, "schema version " + std::to_string(version));
    CheckSchema(db, static_cast<int>(version));
    JournalContents contents;
    contents.version = static_cast<int>(version);
    contents.meta = ReadMeta(db);
    if (version >= 2) contents.day = ReadDay(db, contents.meta);
    {
        sql::Statement check(db, "PRAGMA quick_check");
        RejectUnless(check.Step() && check.Text(0) == "ok", "quick_check found damage");
    }
    ReadSaves(db, contents);
    ReadDeliveries(db, contents);
    return contents;
}

int JournalContents::SavedShops() const {
    std::vector<int16_t> shops = kund;
    std::sort(shops.begin(), shops.end());
    return static_cast<int>(std::unique(shops.begin(), shops.end()) - shops.begin());
}

std::string JournalLockPath(const std::string& journalPath) {
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(journalPath, ec);
    return (ec ? journalPath : real.string()) + ".lock";
}

std::string NewDayUid() {
    std::random_device random;
    std::string uid;
    for (int i = 0; i < 4; ++i) {
        std::array<char, 9> digits{};
        std::snprintf(digits.data(), digits.size(), "%08x", random());
        uid += digits.data();
    }
    return uid;
}

void UpgradeJournal(sql::Connection& db, const JournalDay& day) {
    if (db.QueryInt("PRAGMA user_version") != 1)
        throw sql::Error(SQLITE_MISMATCH, 0, "only a version 1 journal is upgraded");
    db.Execute(kCreateDay);
    InsertDay(db, day);
    db.Execute(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
}

void CreateJournal(const std::string& path, const JournalMeta& meta, const JournalDay& day) {
    const std::string building = path + ".new";
    // Left by a crash during an earlier attempt; so is a log without its
    // database, which must never be joined to the new one.
    RemoveWithLog(building);
    RemoveQuietly(path + "-wal");
    RemoveQuietly(path + "-shm");
    bool renamed = false;
    JournalFiles& files = JournalFiles::InUse();
    try {
        BuildJournal(building, meta, day);
        files.Sync(building);
        files.Rename(building, path);
        renamed = true;
        files.SyncFolder(FolderOf(path));
    } catch (...) {
        RemoveWithLog(building);
        if (renamed) RemoveWithLog(path);
        throw;
    }
}

void FoldLog(const std::string& path) {
    if (NonEmptyFile(path + "-wal")) {
        sql::Connection db(path, SQLITE_OPEN_READWRITE);
        sqlite3_busy_timeout(db.handle(), kBusyTimeoutMs);
        sql::Statement checkpoint(db, "PRAGMA wal_checkpoint(TRUNCATE)");
        if (!checkpoint.Step() || checkpoint.Int(0) != 0 || checkpoint.Int(1) != 0)
            throw sql::Error(SQLITE_BUSY, 0, "the log could not be taken into the journal");
        checkpoint = sql::Statement();
        db.Close();
        JournalFiles::InUse().Sync(path);
    }
    RemoveQuietly(path + "-wal");
    RemoveQuietly(path + "-shm");
}

void ReplaceJournal(const std::string& path, const std::function<void(sql::Connection&)>& change) {
    const std::string next = path + ".next";
    JournalFiles& files = JournalFiles::InUse();
    RemoveWithLog(next);  // left by a crash in the middle of an earlier change
    try {
        CopyFile(path, next);
        {
            sql::Connection db(next, SQLITE_OPEN_READWRITE);
            PrepareScratch(db);
            sql::Transaction transaction(db, sql::Transaction::Kind::Immediate);
            change(db);
            transaction.Commit();
        }
        files.Sync(next);
        files.Rename(next, path);
    } catch (...) {
        RemoveWithLog(next);
        throw;
    }
    try {
        files.SyncFolder(FolderOf(path));
    } catch (const std::system_error&) {
        // The change is in place and read by everyone from now on; only a
        // power cut before the folder reaches the disk could undo it.
    }
}

}  // namespace day
