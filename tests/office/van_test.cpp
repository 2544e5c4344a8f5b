// The van's calls: fetching its route, and sending its saves exactly once
// whatever is sent again, with the office's checks and a lost connection
// told apart.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
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
    // Waits until a connection of `role` waits for a lock; false when none did.
    bool WaitsForALock(const std::string& role) const {
        office::pq::Connection super = cluster->Superuser(database);
        for (int i = 0; i < 1000; ++i) {
            if (super
                    .Exec("SELECT 1 FROM pg_stat_activity WHERE datname = current_database() "
                          "AND usename = $1 AND wait_event_type = 'Lock'",
                          {office::pq::Param::Text(role)})
                    .Rows() > 0)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
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
        "WITH v AS (INSERT INTO leverans.route_versions(van, day, fingerprint, name, bytes) "
        "VALUES ('3', '2026-12-07', $2, 'onsdag.csv', $1) RETURNING *) UPDATE leverans.routes r "
        "SET name = v.name, bytes = v.bytes, fingerprint = v.fingerprint FROM v WHERE r.van = '3'",
        {office::pq::Param::Bytes(kWednesday),
         office::pq::Param::Text(day::Fingerprint(kWednesday))});
    auto fetched = std::async(std::launch::async, [this] {
        office::pq::Connection van = As("bil3");
        return office::FetchRoute(van, "3", kDate).value().name;
    });
    EXPECT_TRUE(WaitsForALock("bil3")) << "the fetch did not wait for the republish";
    EXPECT_EQ(fetched.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    republish.Commit();
    EXPECT_EQ(fetched.get(), "onsdag.csv");
    EXPECT_EQ(Value("kontor",
                    "SELECT string_agg(r.name, ',') FROM leverans.fetches f "
                    "JOIN leverans.route_versions r USING (van, day, fingerprint)"),
              "onsdag.csv");
}

TEST_F(VanCalls, ARepublishWaitsForAFirstSaveAndIsThenRefused) {
    office::pq::Connection van = As("bil3");
    office::pq::Transaction first(van);
    van.Exec(
        "INSERT INTO leverans.saves(van, day, seq, uid, fingerprint, shop, saved_at) "
        "VALUES ('3', '2026-12-07', 1, $1, $2, 1, '2026-12-07T08:05:00+01:00')",
        {office::pq::Param::Text(kUid), office::pq::Param::Text(day::Fingerprint(kTuesday))});

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
    EXPECT_TRUE(WaitsForALock("kontor")) << "the republish did not wait for the save";
    EXPECT_FALSE(done);
    first.Commit();
    publisher.join();
    EXPECT_EQ(said, "bil 3 har redan börjat på rutten för 2026-12-07 (första sparningen " +
                        office::LocalMinute(1796627100) +
                        "); ange --ersatt för att ersätta den ändå (sparningar på den tas "
                        "fortfarande emot)");
    EXPECT_EQ(Value("kontor", "SELECT name FROM leverans.routes WHERE van = '3'"), "tisdag.csv");
}

TEST_F(VanCalls, ProblemsAreKeptAtTheOfficeUntilClearedOrTheSaveArrives) {
    office::pq::Connection van = As("bil3");
    office::pq::Connection office = Office();
    // What van 3's status line says of its problems, times as T.
    const auto problems = [&office] {
        std::string line = office::StatusText(office::FleetStatus(office, kDate), kDate);
        line = line.substr(0, line.find('\n'));
        return std::regex_replace(line.substr(std::min(line.find(';'), line.size())),
                                  std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d)"), "T");
    };
    using office::ProblemKind;
    office::SaveProblem refused{ProblemKind::Refused,        "3", kDate, kUid, 2,
                                Save("3", 2, 2, {6, 25, 0}), "x"};
    office::RecordProblem(van, refused);
    refused.reason = "y";  // renews the same problem
    office::RecordProblem(van, refused);
    office::RecordProblem(
        van, {ProblemKind::Refused, "3", kDate, kUid, 3, std::nullopt, "före\nden saknas"});
    office::RecordProblem(van, {ProblemKind::Conflict, "3", kDate, kUid, 1, std::nullopt, "andra"});
    EXPECT_EQ(problems(), "; 2 sparningar vägrade (senast T): före den saknas; 1 konflikt: andra");
    EXPECT_EQ(Value("kontor",
                    "SELECT shop || fingerprint || saved_at || lev::text || reason "
                    "FROM leverans.problems WHERE seq = 2"),
              "2" + day::Fingerprint(kTuesday) + "2026-12-07T08:10:00+01:00{6,25,0}y");

    ASSERT_TRUE(office::SendSave(van, Save("3", 1, 1, {10, 0, -1})));
    ASSERT_TRUE(office::SendSave(van, Save("3", 2, 2, {6, 25, 0})));
    EXPECT_EQ(problems(), "; 1 sparning vägrad (senast T): före den saknas; 1 konflikt: andra");
    office::ClearProblems(van, "3", kDate, kOtherUid, ProblemKind::Conflict);
    office::ClearProblems(van, "3", kDate, kUid, ProblemKind::Refused);
    EXPECT_EQ(problems(), "; 1 konflikt: andra");
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
