// Saves the disk will not take: a full disk, a file that may not grow, I/O
// and sync errors, a journal moved away. Each save is refused with the cause
// in Swedish, nothing changes in memory or on disk, and once the cause is
// gone the same journal takes the next save.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "day/journal.h"
#include "faulty_vfs.h"
#include "journal_fixture.h"

namespace {

namespace fs = std::filesystem;
using day::Journal;
using Mode = day::Journal::Mode;
using testing_support::ExpectSameRoute;
using testing_support::SaveThrough;
using testing_support::Started;

class WriteFailure : public ::testing::Test {
protected:
    Journal Open(Mode mode) const { return Journal::Open(path_, "tisdag.csv", bytes_, mode); }

    // The window in the middle of the day: two customers saved.
    Journal StartDay(route::RouteData& route) const {
        route = Started(sheet_);
        Journal journal = Open(Mode::ReadWrite);
        journal.Replay(route);
        EXPECT_FALSE(SaveThrough(route, journal, 1, {"8", "5", "0"}));
        EXPECT_FALSE(SaveThrough(route, journal, 2, {"6", "5", "12"}));
        return journal;
    }

    // What a reader finds on disk right now.
    route::RouteData OnDisk() const {
        route::RouteData route = Started(sheet_);
        Open(Mode::ReadOnly).Replay(route);
        return route;
    }

    std::string Refusal(const std::string& cause) const {
        return "Leveranserna sparades inte: dagens journal " + path_ + " kunde inte skrivas (" +
               cause + "). Ingenting har ändrats. Åtgärda felet och tryck Spara igen.";
    }

    // The save is refused with the cause, and neither the route in memory
    // nor the journal on disk has changed.
    void ExpectRefused(route::RouteData& route, Journal& journal, int16_t kund,
                       const std::vector<std::string>& texts, const std::string& cause) const {
        const route::RouteData before = route;
        const int64_t saves = journal.SaveCount();
        EXPECT_EQ(SaveThrough(route, journal, kund, texts), Refusal(cause));
        ExpectSameRoute(route, before);
        EXPECT_EQ(journal.SaveCount(), saves);
        route::RouteData disk = OnDisk();
        disk.nAktKund = before.nAktKund;
        ExpectSameRoute(disk, before);
    }

    // The day as it should end: customers 1 and 2, then 3 saved and corrected.
    route::RouteData Expected() const {
        route::RouteData route = Started(sheet_);
        EXPECT_FALSE(route::SaveKund(route, 1, {"8", "5", "0"}));
        EXPECT_FALSE(route::SaveKund(route, 2, {"6", "5", "12"}));
        EXPECT_FALSE(route::SaveKund(route, 3, {"4", "5", "3"}));
        EXPECT_FALSE(route::SaveKund(route, 3, {"4", "4", "3"}));
        route.nAktKund = 4;
        return route;
    }

    testing_support::TempDir dir_;
    route::RouteSheet sheet_ = testing_support::SmallSheet();
    std::string bytes_ = testing_support::SheetBytes(sheet_);
    std::string path_ = dir_.File("tisdag.csv.journal");
};

void LimitFileSize(rlim_t bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
}

// The operating system refusing to let the files grow (EFBIG, or a short
// write when the limit falls inside a page), in a child so that the limit
// stays there. SIGXFSZ ignored: the write fails instead of ending the process.
TEST_F(WriteFailure, FilesThatMayNotGrowAreAFullDisk) {
    const int status = testing_support::RunInChild([&] {
        route::RouteData route;
        Journal journal = StartDay(route);
        std::signal(SIGXFSZ, SIG_IGN);
        LimitFileSize(0);
        ExpectRefused(route, journal, 3, {"4", "5", "3"}, "disken är full");
        ExpectRefused(route, journal, 3, {"4", "5", "3"}, "disken är full");  // pressed again
        LimitFileSize(fs::file_size(path_) - 100);  // the save's copy cannot be made whole
        ExpectRefused(route, journal, 3, {"4", "5", "3"}, "disken är full");
        LimitFileSize(RLIM_INFINITY);
        EXPECT_FALSE(SaveThrough(route, journal, 3, {"4", "5", "3"}));
        EXPECT_FALSE(SaveThrough(route, journal, 3, {"4", "4", "3"}));
        ExpectSameRoute(route, Expected());
    });
    EXPECT_TRUE(testing_support::ExitedCleanly(status));
    route::RouteData route = Started(sheet_);
    Journal journal = Open(Mode::ReadWrite);
    journal.Replay(route);
    EXPECT_EQ(journal.SaveCount(), 4);
    ExpectSameRoute(route, Expected());
}

TEST_F(WriteFailure, AJournalThatCannotBeMadeLeavesNothingBehind) {
    const int status = testing_support::RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        LimitFileSize(0);
        try {
            Open(Mode::ReadWrite);
            ADD_FAILURE() << "created on a full disk";
        } catch (const day::JournalFailure& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Dagens journal " + path_ + " kunde inte skapas (disken är full).");
        }
        // Only the empty lock file, which needed no room.
        EXPECT_EQ(testing_support::FileNames(dir_.path()),
                  std::vector<std::string>{"tisdag.csv.journal.lock"});
        LimitFileSize(RLIM_INFINITY);
        route::RouteData route;
        Journal journal = StartDay(route);
        EXPECT_EQ(journal.SaveCount(), 2);
    });
    EXPECT_TRUE(testing_support::ExitedCleanly(status));
    EXPECT_EQ(Open(Mode::ReadOnly).SaveCount(), 2);
}

TEST_F(WriteFailure, DiskErrorsRefuseTheSaveAndTheNextOneGoesThrough) {
    using Fault = testing_support::FaultyVfs::Fault;
    struct Case {
        const char* name;
        Fault fault;
        int code;
        int error;
        const char* cause;
    };
    const std::vector<Case> cases = {
        {"write error", Fault::Write, SQLITE_IOERR_WRITE, EIO, "läs- eller skrivfel på disken"},
        {"disk full", Fault::Write, SQLITE_FULL, ENOSPC, "disken är full"},
        {"no space as an I/O error", Fault::Write, SQLITE_IOERR_WRITE, ENOSPC, "disken är full"},
        {"file system gone read-only", Fault::Write, SQLITE_IOERR_WRITE, EROFS,
         "journalen är skrivskyddad"},
        {"sync error", Fault::Sync, SQLITE_IOERR_FSYNC, EIO, "läs- eller skrivfel på disken"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_.path() + "/");
        fs::create_directory(dir_.path());
        testing_support::FaultyVfs vfs;
        {
            route::RouteData route;
            Journal journal = StartDay(route);
            vfs.Inject(c.fault, c.code, c.error);
            ExpectRefused(route, journal, 3, {"4", "5", "3"}, c.cause);
            ExpectRefused(route, journal, 3, {"4", "5", "3"}, c.cause);  // pressed again
            EXPECT_GT(vfs.Failures(), 0);
            vfs.Clear();
            EXPECT_FALSE(SaveThrough(route, journal, 3, {"4", "5", "3"}));
            EXPECT_FALSE(SaveThrough(route, journal, 3, {"4", "4", "3"}));
            ExpectSameRoute(route, Expected());
        }
        route::RouteData route = Started(sheet_);
        Journal journal = Open(Mode::ReadWrite);
        journal.Replay(route);
        EXPECT_EQ(journal.SaveCount(), 4);
        ExpectSameRoute(route, Expected());
    }
}

// Whichever sync fails, and whenever the program then dies: after the crash
// the save is there exactly when the driver was told it was kept.
TEST_F(WriteFailure, AfterACrashASaveIsThereExactlyWhenItWasAcknowledged) {
    int refused = 0;
    for (const int passes : {0, 1, 2, 3}) {
        SCOPED_TRACE("syncs that went through: " + std::to_string(passes));
        fs::remove_all(dir_.path() + "/");
        fs::create_directory(dir_.path());
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const int status = testing_support::RunInChild([&] {
            testing_support::FaultyVfs vfs;
            route::RouteData route;
            Journal journal = StartDay(route);
            vfs.Inject(testing_support::FaultyVfs::Fault::Sync, SQLITE_IOERR_FSYNC, EIO, passes);
            const char kept = SaveThrough(route, journal, 3, {"4", "5", "3"}) ? 0 : 1;
            EXPECT_EQ(route.nSparadKund, kept ? 3 : 2);
            EXPECT_EQ(write(pipeFds[1], &kept, 1), 1);
            // Ends here as a crash would: nothing closed or cleaned up.
            std::fflush(nullptr);
            _exit(::testing::Test::HasFailure() ? 1 : 0);
        });
        char kept = 0;
        ASSERT_EQ(read(pipeFds[0], &kept, 1), 1);
        close(pipeFds[0]);
        close(pipeFds[1]);
        ASSERT_TRUE(testing_support::ExitedCleanly(status));
        refused += kept ? 0 : 1;
        route::RouteData route = Started(sheet_);
        Journal journal = Open(Mode::ReadWrite);
        journal.Replay(route);
        EXPECT_EQ(journal.SaveCount(), kept ? 3 : 2);
        EXPECT_EQ(route.nAntal(1, route::kLev, 3), kept ? 4 : 0);
        // And the day goes on from there.
        EXPECT_FALSE(SaveThrough(route, journal, 3, {"4", "4", "3"}));
        EXPECT_EQ(journal.SaveCount(), kept ? 4 : 3);
    }
    EXPECT_GT(refused, 0);  // a sync failure did refuse a save
}

// Renamed or deleted while the window has it open: saves must not go on
// into a log whose database is gone.
TEST_F(WriteFailure, JournalMovedAwayWhileOpen) {
    const std::string moved = dir_.File("flyttad.journal");
    route::RouteData route;
    {
        Journal journal = StartDay(route);
        fs::rename(path_, moved);
        EXPECT_EQ(SaveThrough(route, journal, 3, {"4", "5", "3"}),
                  Refusal("journalfilen har flyttats eller tagits bort"));
        EXPECT_EQ(route.nSparadKund, 2);
        fs::rename(moved, path_);
        EXPECT_FALSE(SaveThrough(route, journal, 3, {"4", "5", "3"}));
        EXPECT_FALSE(SaveThrough(route, journal, 3, {"4", "4", "3"}));
        ExpectSameRoute(route, Expected());
        fs::remove(path_);
        EXPECT_EQ(SaveThrough(route, journal, 4, {"1", "1", "1"}),
                  Refusal("journalfilen har flyttats eller tagits bort"));
        EXPECT_EQ(route.nSparadKund, 3);
    }
}

}  // namespace
