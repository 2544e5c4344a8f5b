// The van's calls: fetching its route, and sending its saves exactly once
// whatever is sent again, with the office's checks and a lost connection
// told apart.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <regex>
#include <thread>

#include "day/fingerprint.h"
#include "office/fleet.h"
#include "office/van.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

class VanCalls : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        MakeFleet();
    }
    // The office's saves and deliveries of van 3 that day.
    std::string Held() const {
        return Value("kontor",
                     "SELECT count(*) || ' saves, ' || (SELECT count(*) FROM leverans.deliveries "
                     "WHERE van = '3') || ' deliveries' FROM leverans.saves WHERE van = '3'");
    }
};

TEST_F(VanCalls, TheRoutePublishedForTheVanAndDay) {
    office::pq::Connection van = As("bil3");
    const auto route = office::FetchRoute(van, "3", kDate);
    ASSERT_TRUE(route.has_value());
    EXPECT_EQ(route->name, "tisdag.csv");
    EXPECT_EQ(route->bytes, kTuesday);
    EXPECT_EQ(route->fingerprint, day::Fingerprint(kTuesday));
    EXPECT_TRUE(std::regex_match(route->publishedAt,
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
        << route->publishedAt;
    EXPECT_FALSE(office::FetchRoute(van, "3", "2026-12-08").has_value());
}

TEST_F(VanCalls, ASaveSentTwiceArrivesOnce) {
    office::pq::Connection van = As("bil3");
    EXPECT_EQ(office::OfficeSaveCount(van, "3", kDate, kUid), 0);
    EXPECT_TRUE(office::SendSave(van, Save("3", 1, 1, {10, 0, -1})));
    EXPECT_FALSE(office::SendSave(van, Save("3", 1, 1, {10, 0, -1})));
    EXPECT_EQ(Held(), "1 saves, 3 deliveries");
    EXPECT_EQ(office::OfficeSaveCount(van, "3", kDate, kUid), 1);

    EXPECT_TRUE(office::SendSave(van, Save("3", 2, 2, {6, 25, 0})));
    EXPECT_FALSE(office::SendSave(van, Save("3", 2, 2, {6, 25, 0})));
    EXPECT_EQ(Held(), "2 saves, 6 deliveries");
    EXPECT_EQ(office::OfficeSaveCount(van, "3", kDate, kUid), 2);
    // Another journal's day has nothing at the office.
    EXPECT_EQ(office::OfficeSaveCount(van, "3", kDate, kOtherUid), 0);
    EXPECT_EQ(Value("kontor",
                    "SELECT string_agg(seq || '/' || article || '=' || lev, ',' "
                    "ORDER BY seq, article) FROM leverans.deliveries WHERE van = '3'"),
              "1/1=10,1/2=0,1/3=-1,2/1=6,2/2=25,2/3=0");
}

TEST_F(VanCalls, TheOfficeRefusesSavesThatDoNotFollow) {
    office::pq::Connection van = As("bil3");
    ASSERT_TRUE(office::SendSave(van, Save("3", 1, 1, {10, 0, -1})));
    struct Case {
        const char* name;
        office::SaveToSend save;
        const char* sqlstate;
    };
    std::vector<Case> cases{
        {"made on a route never published", Save("3", 2, 2, {1, 1, 1}), office::kSaveOnOtherRoute},
        {"another journal's first save missing", Save("3", 2, 2, {1, 1, 1}),
         office::kSaveOutOfOrder},
        {"with a save missing before it", Save("3", 3, 3, {1, 1, 1}), office::kSaveOutOfOrder},
        {"another save under a seq held", Save("3", 1, 2, {1, 1, 1}), ""},
        {"on a day without a route", Save("3", 1, 1, {1, 1, 1}), "23503"},
        {"at a time that is no time", Save("3", 2, 2, {1, 1, 1}), "22007"},
    };
    cases[0].save.fingerprint = day::Fingerprint(kWednesday);
    cases[1].save.uid = kOtherUid;
    cases[4].save.date = "2026-12-08";
    cases[5].save.savedAt = "i morse";
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.name);
        const auto error = Thrown<office::Refused>([&] { office::SendSave(van, refused.save); });
        EXPECT_EQ(error.sqlstate(), refused.sqlstate) << error.detail();
        EXPECT_EQ(Held(), "1 saves, 3 deliveries");
    }
}

TEST_F(VanCalls, AFetchWaitsForARepublishAndGetsTheNewRoute) {
    office::pq::Connection office = Office();
    office::pq::Transaction republish(office);
    office.Exec("SELECT leverans.lock_day('3', '2026-12-07')");
    office.Exec(
        "INSERT INTO leverans.route_versions(van, day, fingerprint, name, bytes) "
        "VALUES ('3', '2026-12-07', $2, 'onsdag.csv', $1)",
        {office::pq::Param::Bytes(kWednesday),
         office::pq::Param::Text(day::Fingerprint(kWednesday))});
    office.Exec(
        "UPDATE leverans.routes SET name = 'onsdag.csv', bytes = $1, fingerprint = $2 "
        "WHERE van = '3'",
        {office::pq::Param::Bytes(kWednesday),
         office::pq::Param::Text(day::Fingerprint(kWednesday))});

    std::atomic<bool> done{false};
    std::string fetched = "none";
    std::thread fetcher([&] {
        try {
            office::pq::Connection van = As("bil3");
            fetched = office::FetchRoute(van, "3", kDate).value().name;
        } catch (const std::exception& e) {
            fetched = e.what();
        }
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(done) << "the fetch did not wait for the republish";
    republish.Commit();
    fetcher.join();
    EXPECT_EQ(fetched, "onsdag.csv");
    EXPECT_EQ(Value("kontor",
                    "SELECT string_agg(r.name, ',') FROM leverans.fetches f "
                    "JOIN leverans.route_versions r USING (van, day, fingerprint)"),
              "onsdag.csv");
}

TEST_F(VanCalls, ARepublishWaitsForTheVansFetchOrFirstSaveAndIsThenRefused) {
    struct Case {
        const char* name;
        const char* sql;  // as the van, in a transaction left open
        std::string said;
    };
    const std::string tail =
        "); ange --ersatt för att ersätta den ändå (sparningar på den tas fortfarande emot)";
    const std::vector<Case> cases{
        {"a first save",
         "INSERT INTO leverans.saves(van, day, seq, uid, fingerprint, shop, saved_at) "
         "SELECT van, day, 1, '0123456789abcdef0123456789abcdef', fingerprint, 1, "
         "'2026-12-07T08:05:00+01:00' FROM leverans.routes",
         "bil 3 har redan börjat på rutten för 2026-12-07 (första sparningen " +
             office::LocalMinute(1796627100) + tail},
        {"a fetch",
         "INSERT INTO leverans.fetches(van, day, fingerprint) "
         "SELECT van, day, fingerprint FROM leverans.routes",
         "bil 3 har redan hämtat rutten för 2026-12-07 (hämtad "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        office::pq::Connection van = As("bil3");
        auto first = std::make_unique<office::pq::Transaction>(van);
        van.Exec("SELECT leverans.lock_day('3', '2026-12-07')");
        van.Exec(c.sql);

        std::atomic<bool> done{false};
        std::string said;
        std::thread publisher([&] {
            try {
                office::pq::Connection office = Office();
                office::PublishRoute(office, "3", kDate, "onsdag.csv", kWednesday);
                said = "published";
            } catch (const std::exception& e) {
                said = e.what();
            }
            done = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(done) << "the republish did not wait";
        first->Commit();
        publisher.join();
        EXPECT_EQ(said.substr(0, c.said.size()), c.said);
        EXPECT_TRUE(said.ends_with(tail)) << said;
        EXPECT_EQ(Value("kontor", "SELECT name FROM leverans.routes WHERE van = '3'"),
                  "tisdag.csv");
        Office().Exec("DELETE FROM leverans.saves");
    }
}

TEST_F(VanCalls, ProblemsAreKeptAtTheOfficeUntilClearedOrTheSaveArrives) {
    office::pq::Connection van = As("bil3");
    office::pq::Connection office = Office();
    const auto status = [&office] {
        const office::VanStatus v = office::FleetStatus(office, kDate).at(0);
        return std::to_string(v.refusedSaves) + " " + v.refusalReason + " " +
               std::to_string(v.refusedAt.has_value()) + " " + std::to_string(v.conflicts) + " " +
               v.conflictReason;
    };
    office::SaveProblem refused{office::ProblemKind::Refused, "3",    kDate, kUid, 2,
                                Save("3", 2, 2, {6, 25, 0}),  "först"};
    office::RecordProblem(van, refused);
    refused.reason = "sparningen före den har inte kommit fram";
    office::RecordProblem(van, refused);
    office::RecordProblem(van, {office::ProblemKind::Conflict, "3", kDate, kUid, 1, std::nullopt,
                                "kontoret har andra siffror"});
    EXPECT_EQ(status(),
              "1 sparningen före den har inte kommit fram 1 1 kontoret har andra siffror");
    // The van's figures are kept with the refusal.
    EXPECT_EQ(Value("kontor",
                    "SELECT shop || ' ' || fingerprint || ' ' || saved_at || ' ' || lev::text "
                    "FROM leverans.problems WHERE kind = 'refused'"),
              "2 " + day::Fingerprint(kTuesday) + " 2026-12-07T08:10:00+01:00 {6,25,0}");

    ASSERT_TRUE(office::SendSave(van, Save("3", 1, 1, {10, 0, -1})));
    EXPECT_EQ(status(),
              "1 sparningen före den har inte kommit fram 1 1 kontoret har andra siffror");
    ASSERT_TRUE(office::SendSave(van, Save("3", 2, 2, {6, 25, 0})));
    EXPECT_EQ(status(), "0  0 1 kontoret har andra siffror");
    EXPECT_EQ(office::OfficeSaves(van, "3", kDate, kUid).at(1).lev,
              (std::vector<int16_t>{6, 25, 0}));
    office::ClearProblems(van, "3", kDate, kOtherUid, office::ProblemKind::Conflict);
    EXPECT_EQ(status(), "0  0 1 kontoret har andra siffror");
    office::ClearProblems(van, "3", kDate, kUid, office::ProblemKind::Conflict);
    EXPECT_EQ(status(), "0  0 0 ");
}

TEST_F(VanCalls, ALostConnectionIsToldApartFromARefusal) {
    office::pq::Connection van = As("bil3");
    ASSERT_TRUE(office::SendSave(van, Save("3", 1, 1, {10, 0, -1})));
    cluster->StopImmediately();
    const auto lost = Thrown<office::Unreachable>([&van] {
        office::SendSave(van, Save("3", 2, 2, {6, 25, 0}));
    });
    EXPECT_FALSE(lost.detail().empty());
    const auto away = Thrown<office::Unreachable>([this] { As("bil3"); });
    EXPECT_NE(std::string(away.what()).find("kan inte nås"), std::string::npos) << away.what();

    cluster->Start();
    office::pq::Connection again = As("bil3");
    EXPECT_EQ(office::OfficeSaveCount(again, "3", kDate, kUid), 1);
    EXPECT_TRUE(office::SendSave(again, Save("3", 2, 2, {6, 25, 0})));
    EXPECT_EQ(Held(), "2 saves, 6 deliveries");
}

}  // namespace
}  // namespace office_testing
