// The read-only journal of a report that runs beside the window: it needs no
// lock, sees what the writer has committed, and never creates or changes a
// file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "day/journal.h"
#include "journal_fixture.h"

namespace {

namespace fs = std::filesystem;
using day::Journal;
using Mode = day::Journal::Mode;
using testing_support::ExpectSameRoute;
using testing_support::FolderSnapshot;
using testing_support::SaveThrough;
using testing_support::Started;

class Reader : public ::testing::Test {
protected:
    Journal Open(Mode mode) const { return Journal::Open(path_, "tisdag.csv", bytes_, mode); }
    // A reader's view of the day: a fresh route with the journal replayed.
    route::RouteData Read() const {
        route::RouteData route = Started(sheet_);
        Journal journal = Open(Mode::ReadOnly);
        journal.Replay(route);
        return route;
    }

    testing_support::TempDir dir_;
    route::RouteSheet sheet_ = testing_support::SmallSheet();
    std::string bytes_ = testing_support::SheetBytes(sheet_);
    std::string path_ = dir_.File("tisdag.csv.journal");
};

TEST_F(Reader, MissingJournalMeansNoSavesAndCreatesNothing) {
    Journal journal = Open(Mode::ReadOnly);
    EXPECT_EQ(journal.SaveCount(), 0);
    route::RouteData route = Started(sheet_);
    journal.Replay(route);
    ExpectSameRoute(route, Started(sheet_));
    EXPECT_TRUE(fs::is_empty(dir_.path()));
    // Nor in a folder that does not exist.
    EXPECT_EQ(
        Journal::Open(dir_.File("no/such/folder.journal"), "x", "x", Mode::ReadOnly).SaveCount(),
        0);
    EXPECT_TRUE(fs::is_empty(dir_.path()));
}

TEST_F(Reader, SeesTheWritersCommittedSavesWhileItHoldsTheJournal) {
    route::RouteData window = Started(sheet_);
    Journal writer = Open(Mode::ReadWrite);
    writer.Replay(window);
    ASSERT_FALSE(SaveThrough(window, writer, 1, {"8", "5", "0"}));
    ASSERT_FALSE(SaveThrough(window, writer, 2, {"6", "5", "12"}));

    Journal early = Open(Mode::ReadOnly);
    EXPECT_EQ(early.SaveCount(), 2);
    EXPECT_EQ(early.SavedAt(2), writer.SavedAt(2));
    ExpectSameRoute(Read(), window);

    ASSERT_FALSE(SaveThrough(window, writer, 2, {"1", "1", "1"}));  // a correction
    ASSERT_FALSE(SaveThrough(window, writer, 3, {"2", "2", "2"}));
    ExpectSameRoute(Read(), window);
    // A reader keeps the snapshot it opened on.
    route::RouteData snapshot = Started(sheet_);
    early.Replay(snapshot);
    EXPECT_EQ(snapshot.nSparadKund, 2);
    EXPECT_EQ(snapshot.nAntal(3, route::kLev, 2), 12);
}

TEST_F(Reader, ChangesNoFileOfAClosedJournal) {
    route::RouteData window = Started(sheet_);
    {
        Journal writer = Open(Mode::ReadWrite);
        writer.Replay(window);
        ASSERT_FALSE(SaveThrough(window, writer, 1, {"8", "5", "0"}));
    }
    const auto before = FolderSnapshot(dir_.path());
    ExpectSameRoute(Read(), window);
    EXPECT_EQ(FolderSnapshot(dir_.path()), before);
    // Not even with its log and index gone, as when only the journal file
    // was copied somewhere.
    fs::remove(path_ + "-wal");
    fs::remove(path_ + "-shm");
    fs::remove(path_ + ".lock");
    ExpectSameRoute(Read(), window);
    EXPECT_EQ(testing_support::FileNames(dir_.path()),
              std::vector<std::string>{"tisdag.csv.journal"});
}

TEST_F(Reader, ReadsWhatACrashedWriterCommitted) {
    testing_support::CrashWriter(path_, sheet_, {{"8", "5", "0"}, {"6", "5", "12"}}, 1);
    const std::string journal = testing_support::ReadBytes(path_);
    const std::string log = testing_support::ReadBytes(path_ + "-wal");
    ASSERT_FALSE(log.empty());
    route::RouteData route = Read();
    EXPECT_EQ(route.nSparadKund, 2);
    EXPECT_EQ(route.nAntal(3, route::kLev, 2), 12);
    testing_support::ExpectStockBalances(route, sheet_);
    // The log is left for the next writer to take in.
    EXPECT_EQ(testing_support::ReadBytes(path_), journal);
    EXPECT_EQ(testing_support::ReadBytes(path_ + "-wal"), log);
}

}  // namespace
