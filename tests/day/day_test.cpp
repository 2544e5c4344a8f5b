// The day as the window and the end-of-day commands open it: which day a
// journal holds, the question when that is not simply today's, days put
// aside and found again by date, and one window per route file whatever
// path names it.

#include "day/day.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "day/journal_file.h"
#include "day/journal_messages.h"
#include "day/kept_days.h"
#include "day/report.h"
#include "day/route_file.h"
#include "day/sqlite.h"
#include "journal_fixture.h"

namespace {

namespace fs = std::filesystem;
using day::DayChoice;
using day::DayQuestion;
using testing_support::FolderSnapshot;
using testing_support::ReadBytes;
using testing_support::SaveThrough;
using testing_support::SheetBytes;
using testing_support::WriteBytes;

// 2026-11-30 08:12 local time, and a week and a day later.
std::time_t Monday() {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 10;
    local.tm_mday = 30;
    local.tm_hour = 8;
    local.tm_min = 12;
    local.tm_isdst = -1;
    return std::mktime(&local);
}
constexpr std::time_t kDay = std::time_t{24} * 60 * 60;

class Day : public ::testing::Test {
protected:
    void SetUp() override { WriteBytes(route_, SheetBytes(sheet_)); }

    // The window's start at `now`, answering a question with `answer`.
    std::optional<day::OpenedDay> Window(std::time_t now, DayChoice answer,
                                         const std::string& journal = {},
                                         const std::string& route = {}) {
        day::WindowRequest request;
        request.journalPath = journal;
        request.now = now;
        request.ask = [this, answer](const DayQuestion& q) {
            asked_ = q;
            return answer;
        };
        asked_.reset();
        return day::OpenDayForWindow(route.empty() ? route_ : route, request);
    }

    // A day begun on Monday with shops 1 and 2 saved, closed again.
    void MondayWithTwoSaves() {
        std::optional<day::OpenedDay> day = Window(Monday(), DayChoice::Cancel);
        ASSERT_TRUE(day);
        ASSERT_FALSE(SaveThrough(day->route, *day->journal, 1, {"8", "5", "0"}));
        ASSERT_FALSE(SaveThrough(day->route, *day->journal, 2, {"6", "5", "12"}));
    }

    // The same route file with one order changed, as the office edits it.
    void ChangeRouteFile(int16_t order = 9) {
        route::RouteSheet changed = sheet_;
        changed.orders[0][0] = order;
        WriteBytes(route_, SheetBytes(changed));
    }

    std::string Journal() const { return dir_.File("tisdag.csv.journal"); }
    std::string MondayArchive() const { return dir_.File("tisdag.csv.2026-11-30.journal"); }

    testing_support::TempDir dir_;
    route::RouteSheet sheet_ = testing_support::SmallSheet();
    std::string route_ = dir_.File("tisdag.csv");
    std::optional<DayQuestion> asked_;
};

TEST_F(Day, TheWindowAsksOnlyAboutAnEarlierDayOrAChangedRoute) {
    enum class Expect { Resumed, NewDay, Cancelled };
    struct Case {
        const char* name;
        std::time_t later;
        bool changeRoute;
        DayChoice answer;
        bool asked;
        Expect expect;
    };
    const std::vector<Case> cases = {
        {"the same day again", kDay / 12, false, DayChoice::NewDay, false, Expect::Resumed},
        {"a week later, go on", 7 * kDay, false, DayChoice::Continue, true, Expect::Resumed},
        {"a week later, a new day", 7 * kDay, false, DayChoice::NewDay, true, Expect::NewDay},
        {"a week later, closed", 7 * kDay, false, DayChoice::Cancel, true, Expect::Cancelled},
        {"route changed, go on", 60, true, DayChoice::Continue, true, Expect::Resumed},
        {"route changed, a new day", 60, true, DayChoice::NewDay, true, Expect::NewDay},
        {"both, closed", 8 * kDay, true, DayChoice::Cancel, true, Expect::Cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir_.path() + "/");
        fs::create_directory(dir_.path());
        WriteBytes(route_, SheetBytes(sheet_));
        MondayWithTwoSaves();
        if (c.changeRoute) ChangeRouteFile();
        const auto before = FolderSnapshot(dir_.path());

        std::optional<day::OpenedDay> day = Window(Monday() + c.later, c.answer);
        ASSERT_EQ(asked_.has_value(), c.asked);
        if (asked_) {
            EXPECT_EQ(asked_->routeName, route_);
            EXPECT_EQ(asked_->journalPath, Journal());
            EXPECT_EQ(asked_->begunAt.substr(0, 16), "2026-11-30T08:12");
            EXPECT_EQ(asked_->savedShops, 2);
            EXPECT_EQ(asked_->earlierDay, c.later >= kDay);
            EXPECT_EQ(asked_->routeChanged, c.changeRoute);
            EXPECT_TRUE(asked_->canContinue);
            EXPECT_EQ(asked_->archivePath, MondayArchive());
        }
        switch (c.expect) {
            case Expect::Cancelled:
                EXPECT_FALSE(day);
                EXPECT_EQ(FolderSnapshot(dir_.path()), before);
                break;
            case Expect::Resumed:
                ASSERT_TRUE(day);
                EXPECT_EQ(day->route.nSparadKund, 2);
                EXPECT_EQ(day->journal->BegunOn(), "2026-11-30");
                // The route the day began on, not the edited file.
                EXPECT_EQ(day->route.nAntal(1, route::kBest, 1), 8);
                EXPECT_EQ(day->routeFileDiffers, c.changeRoute);
                EXPECT_FALSE(fs::exists(MondayArchive()));
                break;
            case Expect::NewDay: {
                ASSERT_TRUE(day);
                EXPECT_EQ(day->route.nSparadKund, 0);
                EXPECT_EQ(day->journal->SaveCount(), 0);
                EXPECT_EQ(day->journal->Meta().createdAt.substr(0, 10),
                          day::LocalTimestamp(Monday() + c.later).substr(0, 10));
                EXPECT_EQ(day->route.nAntal(1, route::kBest, 1), c.changeRoute ? 9 : 8);
                EXPECT_EQ(day->setAside, MondayArchive());
                // A day of its own: another id than the day put aside.
                EXPECT_EQ(day->journal->DayUid().size(), 32u);
                EXPECT_NE(day->journal->DayUid(), day::ReadJournal(MondayArchive()).day->uid);
                day.reset();
                // Monday is kept whole.
                const day::OpenedDay monday = day::ReadDay(route_, MondayArchive());
                EXPECT_EQ(monday.route.nSparadKund, 2);
                EXPECT_EQ(monday.route.nAntal(3, route::kLev, 2), 12);
                EXPECT_EQ(monday.route.nAntal(1, route::kBest, 1), 8);
                break;
            }
        }
    }
}

TEST_F(Day, ADayWithNothingSavedBeginsAgainWithoutAsking) {
    ASSERT_TRUE(Window(Monday(), DayChoice::Cancel));
    ChangeRouteFile();
    std::optional<day::OpenedDay> day = Window(Monday() + 7 * kDay, DayChoice::Cancel);
    EXPECT_FALSE(asked_);
    ASSERT_TRUE(day);
    EXPECT_EQ(day->journal->BegunOn(), day::LocalTimestamp(Monday() + 7 * kDay).substr(0, 10));
    EXPECT_EQ(day->route.nAntal(1, route::kBest, 1), 9);
    EXPECT_FALSE(day->routeFileDiffers);
    EXPECT_EQ(day::ListDays(Journal()).size(), 1u);  // nothing empty put aside
}

TEST_F(Day, NewDaysBegunOnOneDateAreKeptApart) {
    MondayWithTwoSaves();
    int16_t order = 9;
    for (const char* archive :
         {"tisdag.csv.2026-11-30.journal", "tisdag.csv.2026-11-30-2.journal"}) {
        ChangeRouteFile(order++);
        std::optional<day::OpenedDay> day = Window(Monday() + 60, DayChoice::NewDay);
        ASSERT_TRUE(day);
        EXPECT_EQ(day->setAside, dir_.File(archive));
        ASSERT_FALSE(SaveThrough(day->route, *day->journal, 1, {"1", "1", "1"}));
    }
    const std::vector<day::KeptDay> days = day::ListDays(Journal());
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days.back().path, Journal());  // the latest is the journal itself
    // Of the days begun that date, the latest is the one reported.
    EXPECT_EQ(day::ReadDay(route_, "", "2026-11-30").journal->Path(), Journal());
}

// A journal made before the day's route was kept in it: still read, and
// upgraded when the window goes on with it.
class OldJournal : public Day {
protected:
    void MakeOld() {
        MondayWithTwoSaves();
        day::sql::Connection db(Journal(), SQLITE_OPEN_READWRITE);
        db.Execute("DROP TABLE day; PRAGMA user_version=1; PRAGMA wal_checkpoint(TRUNCATE)");
    }
};

TEST_F(OldJournal, IsUpgradedWhenTheDayGoesOn) {
    MakeOld();
    EXPECT_EQ(day::ReadJournal(Journal()).version, 1);
    EXPECT_EQ(day::ReadDay(route_, "").route.nSparadKund, 2);  // read as before
    std::optional<day::OpenedDay> day = Window(Monday() + 7 * kDay, DayChoice::Continue);
    ASSERT_TRUE(asked_);
    EXPECT_TRUE(asked_->canContinue);
    ASSERT_TRUE(day);
    EXPECT_EQ(day->route.nSparadKund, 2);
    day.reset();
    const day::JournalContents contents = day::ReadJournal(Journal());
    EXPECT_EQ(contents.version, day::kSchemaVersion);
    ASSERT_TRUE(contents.day);
    EXPECT_EQ(contents.day->route, SheetBytes(sheet_));
    EXPECT_EQ(contents.day->uid.size(), 32u);
    EXPECT_EQ(contents.Count(), 2u);
    // Now the file may change: the day keeps its route.
    ChangeRouteFile();
    EXPECT_EQ(day::ReadDay(route_, "").route.nAntal(1, route::kBest, 1), 8);
}

TEST_F(OldJournal, WithoutItsRouteFileCanOnlyBeginANewDay) {
    MakeOld();
    const std::string original = ReadBytes(route_);
    ChangeRouteFile();
    const auto before = FolderSnapshot(dir_.path());
    try {
        Window(Monday() + 60, DayChoice::Continue);
        ADD_FAILURE() << "went on without a route";
    } catch (const day::DayUnanswered& e) {
        ASSERT_TRUE(asked_);
        EXPECT_FALSE(asked_->canContinue);
        EXPECT_EQ(std::string(e.what()), day::CannotContinueText(*asked_));
        EXPECT_NE(std::string(e.what()).find("--ny-dag"), std::string::npos);
    }
    EXPECT_EQ(FolderSnapshot(dir_.path()), before);
    // A report needs the route: refused, naming both files.
    try {
        day::ReadDay(route_, "");
        ADD_FAILURE() << "reported on another route";
    } catch (const day::JournalFailure& e) {
        EXPECT_EQ(std::string(e.what()), day::messages::RouteChanged(route_, Journal()));
    }
    EXPECT_EQ(FolderSnapshot(dir_.path()), before);

    ASSERT_TRUE(Window(Monday() + 60, DayChoice::NewDay));
    // The old day, put aside as it was, reads with the file it began on.
    WriteBytes(route_, original);
    EXPECT_EQ(day::ReadJournal(MondayArchive()).version, 1);
    EXPECT_EQ(day::ReadDay(route_, MondayArchive()).route.nSparadKund, 2);
}

TEST_F(Day, ReportsFindTheDayByDateAfterTheFileChangedOrWent) {
    MondayWithTwoSaves();
    ASSERT_TRUE(Window(Monday() + 7 * kDay, DayChoice::NewDay));
    const std::string week = day::LocalTimestamp(Monday() + 7 * kDay).substr(0, 10);

    EXPECT_EQ(day::ReadDay(route_, "").journal->Path(), Journal());  // the latest day
    EXPECT_EQ(day::ReadDay(route_, "", week).journal->Path(), Journal());
    EXPECT_EQ(day::ReadDay(route_, "", "2026-11-30").route.nSparadKund, 2);
    try {
        day::ReadDay(route_, "", "2026-11-23");
        ADD_FAILURE() << "found a day that never was";
    } catch (const day::FileError& e) {
        EXPECT_EQ(std::string(e.what()), "Det finns ingen dag 2026-11-23 för " + route_ +
                                             ". Dagar som finns: 2026-11-30 (" + MondayArchive() +
                                             "), " + week + " (" + Journal() + ").");
    }

    ChangeRouteFile();
    day::OpenedDay changed = day::ReadDay(route_, "", "2026-11-30");
    EXPECT_TRUE(changed.routeFileDiffers);
    EXPECT_EQ(changed.route.nAntal(1, route::kBest, 1), 8);
    fs::remove(route_);
    day::OpenedDay gone = day::ReadDay(route_, "", "2026-11-30");
    EXPECT_TRUE(gone.routeFileDiffers);
    EXPECT_EQ(gone.route.nSparadKund, 2);
}

TEST_F(Day, AJournalThatIsNotThereIsNoDay) {
    try {
        day::ReadDay(route_, dir_.File("kopia.journal"));
        ADD_FAILURE() << "a missing journal read as a day";
    } catch (const day::FileError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Journalen " + dir_.File("kopia.journal") + " finns inte.");
    }
    const day::OpenedDay none = day::ReadDay(route_, "");
    EXPECT_EQ(none.journal, nullptr);
    EXPECT_EQ(none.route.nSparadKund, 0);
    EXPECT_EQ(testing_support::FileNames(dir_.path()), std::vector<std::string>{"tisdag.csv"});
}

TEST_F(Day, OneWindowPerRouteFileWhateverPathNamesIt) {
    fs::create_directory(dir_.File("under"));
    fs::create_symlink(route_, dir_.File("lank.csv"));
    fs::create_hard_link(route_, dir_.File("hard.csv"));
    ASSERT_EQ(day::JournalPathFor(dir_.File("lank.csv")), Journal());
    ASSERT_EQ(day::JournalPathFor(dir_.File("under/../tisdag.csv")), Journal());

    {
        std::optional<day::OpenedDay> first = Window(Monday(), DayChoice::Cancel);
        ASSERT_TRUE(first);
        ASSERT_FALSE(SaveThrough(first->route, *first->journal, 1, {"8", "5", "0"}));
        struct Other {
            std::string route;
            std::string journal;
        };
        for (const Other& other :
             {Other{dir_.File("lank.csv"), ""}, Other{dir_.File("under/../tisdag.csv"), ""},
              Other{dir_.File("hard.csv"), ""}, Other{route_, dir_.File("under/annan.journal")}}) {
            SCOPED_TRACE(other.route + " " + other.journal);
            const auto before = FolderSnapshot(dir_.path());
            try {
                Window(Monday(), DayChoice::Continue, other.journal, other.route);
                ADD_FAILURE() << "a second window on the same route";
            } catch (const day::JournalFailure& e) {
                EXPECT_EQ(std::string(e.what()), day::messages::RouteInUse(other.route));
            }
            EXPECT_EQ(FolderSnapshot(dir_.path()), before);
        }
    }
    // One window at a time: through the link it is the same day.
    std::optional<day::OpenedDay> again =
        Window(Monday(), DayChoice::Cancel, "", dir_.File("lank.csv"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->journal->Path(), Journal());
    EXPECT_EQ(again->route.nSparadKund, 1);
    again.reset();
    // A journal elsewhere while the route's own has a day is refused, naming it.
    try {
        Window(Monday(), DayChoice::Continue, dir_.File("under/annan.journal"));
        ADD_FAILURE() << "a second journal for the same route";
    } catch (const day::JournalFailure& e) {
        EXPECT_EQ(std::string(e.what()), day::messages::JournalElsewhere(route_, Journal()));
    }
    EXPECT_FALSE(fs::exists(dir_.File("under/annan.journal")));
    // The same journal under another name is no other journal.
    fs::create_symlink(Journal(), dir_.File("under/samma.journal"));
    EXPECT_TRUE(Window(Monday(), DayChoice::Cancel, dir_.File("under/samma.journal")));
}

TEST(DayReport, AShopPassedOverIsNotASavedShop) {
    const route::RouteSheet sheet = testing_support::SmallSheet();
    route::RouteData route = testing_support::Started(sheet);
    ASSERT_FALSE(route::SaveKund(route, 2, {"6", "5", "12"}));  // shop 1 passed over
    const std::string report = day::WriteReport(sheet, route, {false, true, false, false});
    EXPECT_NE(report.find("108 Skivad J.F.;30;6;0;24;;6;;\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("120 Lyxfranska;25;12;0;13;;12;;\r\n"), std::string::npos) << report;
    EXPECT_THROW(day::WriteReport(sheet, route, {true}), route::RouteError);
}

TEST(KeptDays, DatesAndNames) {
    struct Case {
        const char* text;
        bool date;
    };
    for (const Case& c :
         {Case{"2026-11-30", true}, Case{"2028-02-29", true}, Case{"2026-02-29", false},
          Case{"2026-13-01", false}, Case{"2026-11-31", false}, Case{"26-11-30", false},
          Case{"2026-1-30", false}, Case{"2026/11/30", false}, Case{"0000-01-01", false},
          Case{"", false}})
        EXPECT_EQ(day::IsDate(c.text), c.date) << c.text;
    testing_support::TempDir dir;
    EXPECT_EQ(day::ArchivePath(dir.File("tisdag.csv.journal"), "2026-11-30"),
              dir.File("tisdag.csv.2026-11-30.journal"));
    EXPECT_EQ(day::ArchivePath(dir.File("dag.db"), "2026-11-30"), dir.File("dag.db.2026-11-30"));
    WriteBytes(dir.File("dag.db.2026-11-30"), "");
    EXPECT_EQ(day::ArchivePath(dir.File("dag.db"), "2026-11-30"), dir.File("dag.db.2026-11-30-2"));
    // Files that only look like days are none.
    WriteBytes(dir.File("tisdag.csv.2026-11-30.journal"), "ingen journal");
    WriteBytes(dir.File("tisdag.csv.kopia.journal"), "");
    EXPECT_TRUE(day::ListDays(dir.File("tisdag.csv.journal")).empty());
}

}  // namespace
