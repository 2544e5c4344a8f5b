// Journals that must not be used: another route's, damaged ones, rows that
// do not fit, a second writer, folders and files that cannot be written.
// Each is refused with a message for the driver and left exactly as it was.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "day/journal.h"
#include "day/journal_messages.h"
#include "day/sqlite.h"
#include "journal_fixture.h"

namespace {

namespace fs = std::filesystem;
using day::Journal;
using Mode = day::Journal::Mode;
using testing_support::FolderSnapshot;
using testing_support::ReadBytes;
using testing_support::SaveThrough;
using testing_support::SheetBytes;
using testing_support::SmallSheet;
using testing_support::Started;
using testing_support::WriteBytes;

const std::vector<std::vector<std::string>> kFourSaves = {
    {"8", "5", "0"}, {"6", "5", "12"}, {"4", "5", "3"}, {"10", "5", "9"}};

class Refusal : public ::testing::Test {
protected:
    Journal Open(Mode mode, const std::string& bytes) const {
        return Journal::Open(path_, "tisdag.csv", bytes, mode);
    }
    Journal Open(Mode mode) const { return Open(mode, bytes_); }

    // A journal of the first saves of kFourSaves, closed again.
    route::RouteData MakeJournal(std::size_t saves) const {
        route::RouteData route = Started(sheet_);
        Journal journal = Open(Mode::ReadWrite);
        journal.Replay(route);
        for (std::size_t i = 0; i < saves; ++i)
            EXPECT_FALSE(SaveThrough(route, journal, static_cast<int16_t>(i + 1), kFourSaves[i]));
        return route;
    }

    // SQL straight onto the file, checks switched off, as a careless tool would.
    void Tamper(const std::string& sql) const {
        day::sql::Connection db(path_, SQLITE_OPEN_READWRITE);
        db.Execute("PRAGMA ignore_check_constraints=1");
        db.Execute(sql.c_str());
    }

    // Opening and replaying, as the window starts, is refused in both modes
    // with "cannot be read" for this cause, word for word; the folder is left
    // as it was (ReadWrite may add its empty lock file).
    void ExpectRefused(const std::string& cause) const {
        const std::string expected = day::messages::Unreadable(path_, cause);
        for (Mode mode : {Mode::ReadOnly, Mode::ReadWrite}) {
            const auto before = FolderSnapshot(dir_.path());
            try {
                route::RouteData route = Started(sheet_);
                Open(mode, bytes_).Replay(route);
                ADD_FAILURE() << "opened";
            } catch (const day::JournalFailure& e) {
                EXPECT_EQ(std::string(e.what()), expected);
                EXPECT_FALSE(e.detail().empty());
            }
            auto after = FolderSnapshot(dir_.path());
            if (mode == Mode::ReadWrite && !before.contains("tisdag.csv.journal.lock"))
                after.erase("tisdag.csv.journal.lock");
            EXPECT_EQ(after, before) << (mode == Mode::ReadOnly ? "read-only" : "read-write");
        }
    }

    // Opens fine, but replaying refuses: the caller's route is untouched and
    // so is the journal, and a writer lets go of it at once. (Opening for
    // writing makes the log and its index, empty.)
    void ExpectReplayRefused(long long save) const {
        const std::string before = ReadBytes(path_);
        for (Mode mode : {Mode::ReadOnly, Mode::ReadWrite}) {
            route::RouteData route = Started(sheet_);
            Journal journal = Open(mode);
            try {
                journal.Replay(route);
                ADD_FAILURE() << "replayed";
            } catch (const day::JournalFailure& e) {
                const std::string message = e.what();
                EXPECT_NE(message.find("passar inte till tisdag.csv"), std::string::npos)
                    << message;
                EXPECT_NE(message.find("sparning " + std::to_string(save)), std::string::npos)
                    << message;
                EXPECT_NE(message.find(path_), std::string::npos) << message;
            }
            testing_support::ExpectSameRoute(route, Started(sheet_));
            if (mode == Mode::ReadWrite) {
                EXPECT_THROW(journal.Record({1, {1, 1, 1}, {29, 19, 24}}), std::logic_error);
                EXPECT_NO_THROW(Open(Mode::ReadWrite));  // the lock is free while it lives
            }
        }
        EXPECT_EQ(ReadBytes(path_), before);
        EXPECT_FALSE(fs::exists(path_ + "-wal"));
    }

    testing_support::TempDir dir_;
    route::RouteSheet sheet_ = SmallSheet();
    std::string bytes_ = SheetBytes(sheet_);
    std::string path_ = dir_.File("tisdag.csv.journal");
};

// Which day a journal holds is the caller's to judge: a journal opened on
// other route bytes says so and keeps the route its day began on, and
// opening it changes nothing on disk.
TEST_F(Refusal, AChangedRouteFileIsNoticedAndTheDayKeepsItsRoute) {
    const route::RouteData saved = MakeJournal(2);
    std::string sameSize = bytes_;
    sameSize[sameSize.find("12")] = '9';  // one order changed
    const auto before = FolderSnapshot(dir_.path());
    for (const std::string& other : {sameSize, bytes_ + "Extra;1;1;1;1;1\r\n", std::string()}) {
        for (Mode mode : {Mode::ReadOnly, Mode::ReadWrite}) {
            const Journal journal = Open(mode, other);
            EXPECT_FALSE(journal.RouteMatches());
            ASSERT_TRUE(journal.KeptRoute());
            EXPECT_EQ(*journal.KeptRoute(), bytes_);
            EXPECT_EQ(journal.Meta().routeName, "tisdag.csv");
            EXPECT_EQ(journal.SaveCount(), 2);
        }
        EXPECT_EQ(FolderSnapshot(dir_.path()), before);
    }
    // Still the day it was, on the route it was begun on.
    route::RouteData route = Started(sheet_);
    Journal journal = Open(Mode::ReadWrite, sameSize);
    journal.Replay(route);
    testing_support::ExpectSameRoute(route, saved);
}

TEST_F(Refusal, DamagedJournalsAreLeftByteForByte) {
    struct Damage {
        const char* name;
        std::function<void(const std::string&)> apply;
        const char* cause;
    };
    const std::vector<Damage> damages = {
        {"truncated to half",
         [](const std::string& p) {
             const std::string bytes = ReadBytes(p);
             WriteBytes(p, bytes.substr(0, bytes.size() / 2));
         },
         "filen är skadad"},
        {"header overwritten",
         [](const std::string& p) {
             std::string bytes = ReadBytes(p);
             bytes.replace(0, 100, 100, '\xff');
             WriteBytes(p, bytes);
         },
         "filen är skadad eller ingen journal från Leverans"},
        {"page size and format bytes overwritten",
         [](const std::string& p) {
             std::string bytes = ReadBytes(p);
             bytes.replace(16, 2, "\x00\x07", 2);  // no power of two
             bytes.replace(20, 4, "\x40\x00\x00\x00", 4);
             WriteBytes(p, bytes);
         },
         "filen är skadad"},
        {"last page garbled",
         [](const std::string& p) {
             std::string bytes = ReadBytes(p);
             for (std::size_t i = bytes.size() - 4096; i < bytes.size(); ++i)
                 bytes[i] = static_cast<char>(i * 31 + 7);
             WriteBytes(p, bytes);
         },
         "filen är skadad"},
        {"a plain text file",
         [](const std::string& p) {
             WriteBytes(p, "Artikel;Maxi tur 1\r\n108 Skivad J.F.;12\r\n");
         },
         "filen är skadad eller ingen journal från Leverans"},
        {"an empty file", [](const std::string& p) { WriteBytes(p, ""); },
         "filen är skadad eller ingen journal från Leverans"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        fs::remove_all(dir_.path() + "/");
        fs::create_directory(dir_.path());
        MakeJournal(4);
        damage.apply(path_);
        ExpectRefused(damage.cause);
    }
}

TEST_F(Refusal, OtherProgramsDatabasesAndOtherVersions) {
    {
        SCOPED_TRACE("another program's database, WAL like ours");
        {
            day::sql::Connection db(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            db.Execute(
                "PRAGMA journal_mode=WAL; CREATE TABLE kunder(namn TEXT, ort TEXT);"
                "INSERT INTO kunder VALUES ('ICA Butiken', 'Gnesta');");
        }
        ExpectRefused("filen är ingen journal från Leverans");
    }
    {
        SCOPED_TRACE("another program's database, plain rollback journal");
        fs::remove(path_);
        {
            day::sql::Connection db(path_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            db.Execute("CREATE TABLE saves(seq INTEGER, kund INTEGER, saved_at TEXT)");
        }
        ExpectRefused("filen är ingen journal från Leverans");
    }
    {
        SCOPED_TRACE("a later version of the journal");
        fs::remove(path_);
        MakeJournal(1);
        Tamper("PRAGMA user_version=" + std::to_string(day::kSchemaVersion + 1));
        ExpectRefused("journalen är skriven av en annan version av Leverans");
    }
    {
        SCOPED_TRACE("our tables, changed");
        fs::remove_all(dir_.path() + "/");
        fs::create_directory(dir_.path());
        MakeJournal(1);
        Tamper("ALTER TABLE saves ADD COLUMN note TEXT");
        ExpectRefused("filen är skadad");
    }
    {
        SCOPED_TRACE("a folder where the journal should be");
        fs::remove_all(dir_.path() + "/");
        fs::create_directories(path_);
        ExpectRefused("filen är skadad eller ingen journal från Leverans");
    }
}

TEST_F(Refusal, RowsThatBreakTheJournalsOwnRules) {
    const std::vector<std::pair<const char*, const char*>> tampers = {
        {"a delivery row missing", "DELETE FROM deliveries WHERE seq = 2 AND article = 3"},
        {"a save without deliveries", "DELETE FROM deliveries WHERE seq = 3"},
        {"deliveries of no save", "INSERT INTO deliveries VALUES (9, 1, 1), (9, 2, 1), (9, 3, 1)"},
        {"a gap in the numbering",
         "UPDATE deliveries SET seq = 7 WHERE seq = 3; UPDATE saves SET seq = 7 WHERE seq = 3"},
        {"a quantity as text", "UPDATE deliveries SET lev = 'fem' WHERE seq = 1 AND article = 1"},
        {"a quantity beyond 16 bits", "UPDATE deliveries SET lev = 40000 WHERE seq = 1"},
        {"a customer number beyond 16 bits", "UPDATE saves SET kund = 70000 WHERE seq = 2"},
        {"no meta row", "DELETE FROM meta"},
    };
    for (const auto& [name, sql] : tampers) {
        SCOPED_TRACE(name);
        fs::remove_all(dir_.path() + "/");
        fs::create_directory(dir_.path());
        MakeJournal(3);
        Tamper(sql);
        ExpectRefused("filen är skadad");
    }
}

TEST_F(Refusal, SavesThatDoNotFitTheRouteStopTheReplay) {
    const std::vector<std::tuple<const char*, const char*, long long>> tampers = {
        {"a fourth article in every save", "INSERT INTO deliveries SELECT seq, 4, 0 FROM saves", 1},
        {"a customer the route does not have", "UPDATE saves SET kund = 9 WHERE seq = 3", 3},
        {"a customer before the last saved one", "UPDATE saves SET kund = 1 WHERE seq = 3", 3},
        {"a quantity the van's stock cannot take",
         "UPDATE deliveries SET lev = -32768 WHERE seq = 2 AND article = 1", 2},
    };
    for (const auto& [name, sql, save] : tampers) {
        SCOPED_TRACE(name);
        fs::remove_all(dir_.path() + "/");
        fs::create_directory(dir_.path());
        MakeJournal(3);
        Tamper(sql);
        ExpectReplayRefused(save);
    }
}

TEST_F(Refusal, OneWriterAtATime) {
    route::RouteData route = Started(sheet_);
    std::optional<Journal> first(Open(Mode::ReadWrite));
    first->Replay(route);
    ASSERT_FALSE(SaveThrough(route, *first, 1, {"1", "2", "3"}));
    try {
        Open(Mode::ReadWrite);
        FAIL() << "a second writer got in";
    } catch (const day::JournalFailure& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Dagens journal " + path_ +
                      " används redan av ett annat Leverans-fönster. Stäng det först och försök "
                      "igen.");
    }
    // The refusal cost the first writer nothing.
    ASSERT_FALSE(SaveThrough(route, *first, 2, {"1", "2", "3"}));
    EXPECT_THROW(Open(Mode::ReadWrite), day::JournalFailure);
    first.reset();  // closed: the lock is free again
    Journal second = Open(Mode::ReadWrite);
    EXPECT_EQ(second.SaveCount(), 2);
}

TEST_F(Refusal, ACrashedWritersLockGoesWithIt) {
    testing_support::CrashWriter(path_, sheet_, {kFourSaves[0], kFourSaves[1]}, 1);
    ASSERT_GT(fs::file_size(path_ + "-wal"), 0u);  // killed with a save still in its log
    route::RouteData route = Started(sheet_);
    Journal journal = Open(Mode::ReadWrite);
    journal.Replay(route);
    EXPECT_EQ(journal.SaveCount(), 2);
    EXPECT_EQ(route.nAntal(3, route::kLev, 2), 12);
    ASSERT_FALSE(SaveThrough(route, journal, 3, kFourSaves[2]));
}

}  // namespace

namespace {

TEST_F(Refusal, FoldersWhereNoJournalCanBeMade) {
    const std::string missing = dir_.File("stick/tisdag.csv.journal");
    try {
        Journal::Open(missing, "tisdag.csv", bytes_, Mode::ReadWrite);
        ADD_FAILURE() << "created in a missing folder";
    } catch (const day::JournalFailure& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Dagens journal " + missing + " kunde inte skapas (mappen finns inte).");
    }
    fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const int status = testing_support::RunInChild([&] {
        testing_support::DropFilePermissionOverride();
        try {
            Open(Mode::ReadWrite);
            ADD_FAILURE() << "created in a read-only folder";
        } catch (const day::JournalFailure& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Dagens journal " + path_ + " kunde inte skapas (mappen är skrivskyddad).");
        }
        EXPECT_EQ(Open(Mode::ReadOnly).SaveCount(), 0);
    });
    fs::permissions(dir_.path(), fs::perms::owner_all);
    EXPECT_TRUE(testing_support::ExitedCleanly(status));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

// A write-protected memory stick, or a journal file made read-only: the day
// can still be read, but not written.
TEST_F(Refusal, JournalThatCannotBeWrittenCanStillBeRead) {
    const route::RouteData saved = MakeJournal(2);
    const auto before = FolderSnapshot(dir_.path());
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(path_, readOnly);
    const int fileStatus = testing_support::RunInChild([&] {
        testing_support::DropFilePermissionOverride();
        try {
            route::RouteData route = Started(sheet_);
            Open(Mode::ReadWrite).Replay(route);
            ADD_FAILURE() << "opened a read-only journal for writing";
        } catch (const day::JournalFailure& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Dagens journal " + path_ +
                          " kan inte öppnas för att spara (journalen är skrivskyddad).");
        }
        route::RouteData route = Started(sheet_);
        Open(Mode::ReadOnly).Replay(route);
        testing_support::ExpectSameRoute(route, saved);
    });
    EXPECT_TRUE(testing_support::ExitedCleanly(fileStatus));

    fs::permissions(path_, fs::perms::owner_write, fs::perm_options::add);
    fs::permissions(dir_.path(), fs::perms::owner_read | fs::perms::owner_exec);
    fs::remove(dir_.File("tisdag.csv.journal.lock"));
    const int folderStatus = testing_support::RunInChild([&] {
        testing_support::DropFilePermissionOverride();
        try {
            route::RouteData route = Started(sheet_);
            Open(Mode::ReadWrite).Replay(route);
            ADD_FAILURE() << "opened for writing in a read-only folder";
        } catch (const day::JournalFailure& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Dagens journal " + path_ +
                          " kan inte öppnas för att spara (mappen är skrivskyddad).");
        }
        route::RouteData route = Started(sheet_);
        Open(Mode::ReadOnly).Replay(route);
        testing_support::ExpectSameRoute(route, saved);
    });
    fs::permissions(dir_.path(), fs::perms::owner_all);
    EXPECT_TRUE(testing_support::ExitedCleanly(folderStatus));
    auto after = FolderSnapshot(dir_.path());
    EXPECT_EQ(after.erase("tisdag.csv.journal.lock"), 0u);
    auto expected = before;
    expected.erase("tisdag.csv.journal.lock");
    EXPECT_EQ(after, expected);
}

TEST_F(Refusal, JournalThatMayNotBeRead) {
    MakeJournal(1);
    fs::permissions(path_, fs::perms::none);
    const int status = testing_support::RunInChild([&] {
        testing_support::DropFilePermissionOverride();
        ExpectRefused("behörighet saknas");
    });
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(testing_support::ExitedCleanly(status));
}

// What a crash while the journal was being made can leave: the half-built
// file, and (from a deleted journal) a log without its database, which must
// never be joined to the new journal.
TEST_F(Refusal, LeftoversOfAnEarlierAttemptAreNotTakenIn) {
    testing_support::TempDir other;
    testing_support::CrashWriter(other.File("j"), sheet_, {kFourSaves[0], kFourSaves[1]}, 2);
    fs::copy_file(other.File("j-wal"), path_ + "-wal");
    WriteBytes(path_ + ".new", "half a journal");
    WriteBytes(path_ + ".new-wal", "half a log");
    {
        route::RouteData route = Started(sheet_);
        Journal journal = Open(Mode::ReadWrite);
        journal.Replay(route);
        EXPECT_EQ(journal.SaveCount(), 0);
    }
    EXPECT_EQ(testing_support::FileNames(dir_.path()),
              (std::vector<std::string>{"tisdag.csv.journal", "tisdag.csv.journal.lock"}));
    route::RouteData route = Started(sheet_);
    Journal journal = Open(Mode::ReadWrite);
    journal.Replay(route);
    EXPECT_EQ(journal.SaveCount(), 0);
    testing_support::ExpectSameRoute(route, Started(sheet_));
}

}  // namespace
