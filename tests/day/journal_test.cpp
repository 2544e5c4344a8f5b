#include "day/journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "journal_fixture.h"

namespace {

using day::Journal;
using Mode = day::Journal::Mode;
using testing_support::ExpectSameRoute;
using testing_support::ExpectStockBalances;
using testing_support::SaveThrough;
using testing_support::SheetBytes;
using testing_support::SmallSheet;
using testing_support::Started;

class JournalTest : public ::testing::Test {
protected:
    Journal Open(Mode mode = Mode::ReadWrite) const {
        return Journal::Open(path_, "tisdag.csv", bytes_, mode);
    }
    // A journal opened and replayed onto a fresh route, as the window starts.
    Journal Resume(route::RouteData& route, Mode mode = Mode::ReadWrite) const {
        route = Started(sheet_);
        Journal journal = Open(mode);
        journal.Replay(route);
        return journal;
    }

    testing_support::TempDir dir_;
    route::RouteSheet sheet_ = SmallSheet();
    std::string bytes_ = SheetBytes(sheet_);
    std::string path_ = dir_.File("tisdag.csv.journal");
};

TEST(DefaultJournalPath, BesideTheRouteFile) {
    EXPECT_EQ(day::DefaultJournalPath("data/tisdag.csv"), "data/tisdag.csv.journal");
    EXPECT_EQ(day::DefaultJournalPath("/media/stick/ONSDAG.CSV"),
              "/media/stick/ONSDAG.CSV.journal");
}

TEST_F(JournalTest, NewJournalHasNoSavesAndLeavesTheRouteAsStarted) {
    route::RouteData route;
    Journal journal = Resume(route);
    EXPECT_EQ(journal.SaveCount(), 0);
    EXPECT_EQ(journal.Path(), path_);
    ExpectSameRoute(route, Started(sheet_));
    EXPECT_FALSE(journal.SavedAt(1).has_value());
}

TEST_F(JournalTest, SavesComeBackAfterReopening) {
    route::RouteData saved;
    {
        Journal journal = Resume(saved);
        ASSERT_FALSE(SaveThrough(saved, journal, 1, {"8", "5", ""}));
        ASSERT_FALSE(SaveThrough(saved, journal, 2, {"7", "4.5", "12 st"}));
        ASSERT_FALSE(SaveThrough(saved, journal, 3, {"-2", "5", "3"}));
        EXPECT_EQ(journal.SaveCount(), 3);
    }
    // The same saves straight onto a route, with no journal at all.
    route::RouteData direct = Started(sheet_);
    ASSERT_FALSE(route::SaveKund(direct, 1, {"8", "5", ""}));
    ASSERT_FALSE(route::SaveKund(direct, 2, {"7", "4.5", "12 st"}));
    ASSERT_FALSE(route::SaveKund(direct, 3, {"-2", "5", "3"}));
    direct.nAktKund = 4;  // where saving customer 3 moves the screen

    route::RouteData resumed;
    Journal journal = Resume(resumed);
    EXPECT_EQ(journal.SaveCount(), 3);
    ExpectSameRoute(resumed, saved);
    ExpectSameRoute(resumed, direct);
    EXPECT_EQ(resumed.nAntal(3, route::kLev, 3), 3);
    EXPECT_EQ(resumed.nAntal(1, route::kBest, route::kVan), 30 - 8 - 7 + 2);
    ExpectStockBalances(resumed, sheet_);
}

TEST_F(JournalTest, TheDayGoesOnAfterAResume) {
    route::RouteData route;
    {
        Journal journal = Resume(route);
        ASSERT_FALSE(SaveThrough(route, journal, 1, {"1", "1", "1"}));
    }
    {
        Journal journal = Resume(route);
        ASSERT_FALSE(SaveThrough(route, journal, 2, {"2", "2", "2"}));
    }
    route::RouteData resumed;
    Journal journal = Resume(resumed);
    EXPECT_EQ(journal.SaveCount(), 2);
    ExpectSameRoute(resumed, route);
    EXPECT_EQ(resumed.nAntal(2, route::kBest, route::kVan), 20 - 1 - 2);
}

TEST_F(JournalTest, CorrectionsSaveReplacesTheCustomersDeliveries) {
    route::RouteData route;
    {
        Journal journal = Resume(route);
        ASSERT_FALSE(SaveThrough(route, journal, 1, {"8", "5", "0"}));
        ASSERT_FALSE(SaveThrough(route, journal, 2, {"6", "5", "12"}));
        ASSERT_EQ(route.nSparadKund, 2);  // the driver goes back to customer 2
        ASSERT_FALSE(SaveThrough(route, journal, 2, {"4", "", "10"}));
    }
    route::RouteData resumed;
    Journal journal = Resume(resumed);
    EXPECT_EQ(journal.SaveCount(), 3);
    ExpectSameRoute(resumed, route);
    EXPECT_EQ(resumed.nAntal(1, route::kLev, 2), 4);
    EXPECT_EQ(resumed.nAntal(2, route::kLev, 2), 0);
    // Taken once, not twice: 30 - 8 - 4.
    EXPECT_EQ(resumed.nAntal(1, route::kBest, route::kVan), 18);
    EXPECT_EQ(resumed.nAntal(3, route::kBest, route::kVan), 15);
    EXPECT_EQ(resumed.nSparadKund, 2);
    ExpectStockBalances(resumed, sheet_);
}

TEST_F(JournalTest, ScreenAfterResumeIsWhereSavingLeftIt) {
    route::RouteData route;
    {
        Journal journal = Resume(route);
        ASSERT_FALSE(SaveThrough(route, journal, 2, {"1", "1", "1"}));  // customer 1 skipped
    }
    {
        route::RouteData resumed;
        Journal journal = Resume(resumed);
        EXPECT_EQ(resumed.nSparadKund, 2);
        EXPECT_EQ(resumed.nAktKund, 3);
        EXPECT_FALSE(journal.SavedAt(1).has_value());  // counts as saved, but never was
        ASSERT_FALSE(SaveThrough(resumed, journal, 4, {"1", "1", "1"}));
    }
    route::RouteData last;
    Journal journal = Resume(last, Mode::ReadOnly);
    EXPECT_EQ(last.nSparadKund, 4);
    EXPECT_EQ(last.nAktKund, 4);  // the last customer stays on screen
}

TEST_F(JournalTest, SavedAtIsTheTimeOfTheLatestSave) {
    route::RouteData route;
    std::string first;
    {
        Journal journal = Resume(route);
        ASSERT_FALSE(SaveThrough(route, journal, 1, {"1", "1", "1"}));
        ASSERT_TRUE(journal.SavedAt(1).has_value());
        first = *journal.SavedAt(1);
        EXPECT_TRUE(
            std::regex_match(first, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
            << first;
        EXPECT_FALSE(journal.SavedAt(2).has_value());
    }
    Journal journal = Resume(route);
    EXPECT_EQ(journal.SavedAt(1), first);
    EXPECT_FALSE(journal.SavedAt(0).has_value());
    EXPECT_FALSE(journal.SavedAt(-1).has_value());
}

TEST_F(JournalTest, FilesAreTheOnesTheHeaderNames) {
    {
        route::RouteData route;
        Journal journal = Resume(route);
        EXPECT_EQ(testing_support::FileNames(dir_.path()),
                  (std::vector<std::string>{"tisdag.csv.journal", "tisdag.csv.journal.lock"}));
        ASSERT_FALSE(SaveThrough(route, journal, 1, {"8", "5", "0"}));
        // The copy each save is made in does not outlive the save.
        EXPECT_EQ(testing_support::FileNames(dir_.path()),
                  (std::vector<std::string>{"tisdag.csv.journal", "tisdag.csv.journal.lock"}));
    }
    // The lock file is kept after closing, empty.
    EXPECT_EQ(testing_support::FileNames(dir_.path()).size(), 2u);
    EXPECT_EQ(std::filesystem::file_size(path_ + ".lock"), 0u);
}

TEST_F(JournalTest, AJournalInAnotherFolderWorksTheSame) {
    testing_support::TempDir elsewhere;
    const std::string path = elsewhere.File("tisdag.journal");
    route::RouteData route = Started(sheet_);
    {
        Journal journal = Journal::Open(path, "/media/stick/tisdag.csv", bytes_, Mode::ReadWrite);
        journal.Replay(route);
        ASSERT_FALSE(SaveThrough(route, journal, 1, {"3", "3", "3"}));
    }
    route::RouteData resumed = Started(sheet_);
    Journal journal = Journal::Open(path, "/media/stick/tisdag.csv", bytes_, Mode::ReadOnly);
    journal.Replay(resumed);
    ExpectSameRoute(resumed, route);
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(JournalTest, MisuseIsAProgrammingError) {
    route::RouteData route = Started(sheet_);
    Journal journal = Open();
    const route::SavePlan plan{1, {1, 1, 1}, {29, 19, 24}};
    EXPECT_THROW(journal.Record(plan), std::logic_error);  // not replayed yet
    route::RouteData saved = Started(sheet_);
    route::ApplySave(saved, plan);
    EXPECT_THROW(journal.Replay(saved), std::logic_error);  // not a fresh route
    journal.Replay(route);
    EXPECT_THROW(journal.Replay(route), std::logic_error);  // twice

    EXPECT_THROW(journal.Record({1, {1, 1}, {29, 19}}), std::invalid_argument);
    EXPECT_THROW(journal.Record({5, {1, 1, 1}, {29, 19, 24}}), std::invalid_argument);
    EXPECT_THROW(journal.Record({0, {1, 1, 1}, {29, 19, 24}}), std::invalid_argument);
    journal.Record({3, {1, 1, 1}, {29, 19, 24}});
    EXPECT_THROW(journal.Record(plan), std::invalid_argument);  // before the last saved
    EXPECT_EQ(journal.SaveCount(), 1);

    route::RouteData reader = Started(sheet_);
    Journal readOnly = Open(Mode::ReadOnly);
    readOnly.Replay(reader);
    EXPECT_THROW(readOnly.Record({4, {1, 1, 1}, {28, 18, 23}}), std::logic_error);
}

}  // namespace
