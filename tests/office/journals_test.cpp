// The van's sender over every journal it keeps: earlier days and days put
// aside arrive, oldest first; a refused journal waits without holding up the
// others or being tried on every tick; one the office disagrees with is
// told at both ends, and nothing is lost.

#include <gtest/gtest.h>
#include <cstdlib>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <variant>

#include "day/journal.h"
#include "day/route_file.h"
#include "office/fleet.h"
#include "office/sender.h"
#include "route/route.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using office::Outbox;

class Journals : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        MakeFleet();
        // A folder of its own: other test programs run at the same time,
        // each with a cluster whose databases have the same names.
        std::string name = (fs::temp_directory_path() / "leverans-journals-XXXXXX").string();
        ASSERT_NE(::mkdtemp(name.data()), nullptr);
        folder = name;
    }
    void TearDown() override {
        sender.reset();
        fs::remove_all(folder);
    }

    // A journal of van 3's in the folder of the day it began, with one save
    // per shop given; its day id.
    std::string Journal(const std::string& name, const std::string& route, const std::string& begun,
                        const std::vector<int16_t>& shops) {
        const fs::path path = folder / begun.substr(0, 10) / name;
        fs::create_directories(path.parent_path());
        day::Journal journal = day::Journal::Open(path.string(), "rutt.csv", route,
                                                  day::Journal::Mode::ReadWrite, begun);
        route::RouteData data;
        route::StartRoute(data, day::ParseRouteFile(route, "rutt.csv"));
        journal.Replay(data);
        for (const int16_t shop : shops) {
            const std::vector<std::string> lev(route == kTuesday ? 3 : 2, std::to_string(shop));
            const auto plan = std::get<route::SavePlan>(route::PlanSave(data, shop, lev));
            journal.Record(plan);
            route::ApplySave(data, plan);
        }
        return journal.DayUid();
    }
    void Send(std::chrono::milliseconds held = 30s) {
        office::SenderSetup setup{Conninfo("bil3"), "3", {}, {}, {}, {}, 50ms, 400ms};
        setup.dataFolder = folder;
        setup.firstHeldRetry = held;
        sender = std::make_unique<office::Sender>(setup, [this](const Outbox& now) {
            const std::lock_guard lock(mutex);
            outbox = now;
        });
    }
    Outbox Told() {
        const std::lock_guard lock(mutex);
        return outbox;
    }
    std::string Ask(const char* sql, const std::string& uid = {}) const {
        office::pq::Connection conn = Office();
        return (uid.empty() ? conn.Exec(sql) : conn.Exec(sql, {office::pq::Param::Text(uid)}))
            .Text(0, 0);
    }
    // The journals at the office in the order they arrived, with their saves.
    std::string Received() const {
        return Ask(
            "SELECT coalesce(string_agg(uid || ':' || n, ',' ORDER BY first), '') FROM (SELECT "
            "uid, count(*) AS n, min(xmin::text::bigint) AS first FROM leverans.saves "
            "GROUP BY uid) s");
    }
    std::string SavesOf(const std::string& uid) const {
        return Ask("SELECT count(*) FROM leverans.saves WHERE uid = $1", uid);
    }
    std::string Problems(const std::string& uid) const {
        return Ask(
            "SELECT coalesce(string_agg(kind || ' ' || seq, ','), '') FROM leverans.problems "
            "WHERE uid = $1",
            uid);
    }
    template <typename Condition>
    static bool Within(std::chrono::milliseconds wait, Condition condition) {
        for (auto end = std::chrono::steady_clock::now() + wait;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(20ms))
            if (condition()) return true;
        return condition();
    }

    fs::path folder;
    std::mutex mutex;
    Outbox outbox;
    std::unique_ptr<office::Sender> sender;
};

TEST_F(Journals, EveryDayKeptArrivesOldestFirst) {
    office::pq::Connection office = Office();
    office::PublishRoute(office, "3", "2026-12-06", "tisdag.csv", kTuesday);
    const std::string today =
        Journal("tisdag.csv.journal", kTuesday, "2026-12-07T10:00:00+01:00", {1, 2});
    const std::string yesterday =
        Journal("tisdag.csv.journal", kTuesday, "2026-12-06T06:00:00+01:00", {1});
    const std::string aside =
        Journal("tisdag.csv.2026-12-07.journal", kTuesday, "2026-12-07T06:00:00+01:00", {1, 1, 2});
    Send();
    const std::string all = yesterday + ":1," + aside + ":3," + today + ":2";
    EXPECT_TRUE(Within(20s, [&] { return Received() == all && Told() == Outbox{}; })) << Received();
}

// A journal begun on a route never published for van 3 that day is refused.
TEST_F(Journals, ARefusedJournalWaitsLongerEachTimeAndHoldsUpNoOther) {
    // Counts the saves the office is asked to take, also those it refuses.
    Office().Execute(
        "CREATE SEQUENCE public.attempts; CREATE FUNCTION public.attempt() RETURNS trigger "
        "LANGUAGE plpgsql SECURITY DEFINER AS $$BEGIN PERFORM nextval('public.attempts'); "
        "RETURN NEW; END$$; CREATE TRIGGER a_attempt BEFORE INSERT ON leverans.saves "
        "FOR EACH ROW EXECUTE FUNCTION public.attempt();");
    const std::string refused =
        Journal("onsdag.csv.journal", kWednesday, "2026-12-07T06:00:00+01:00", {1, 2});
    const std::string good =
        Journal("tisdag.csv.journal", kTuesday, "2026-12-07T07:00:00+01:00", {1});
    Send(800ms);
    ASSERT_TRUE(Within(20s, [&] { return Told() == Outbox{2, 1, 0}; }));
    EXPECT_EQ(SavesOf(good), "1");
    EXPECT_EQ(Problems(refused), "refused 1");
    // Tried again after 0.8 s and 1.6 s more, not on every 50-400 ms tick:
    // with the good journal's one, 3 or 4 attempts in all.
    std::this_thread::sleep_for(3s);
    const int attempts = std::stoi(Value("kontor", "SELECT last_value FROM public.attempts"));
    EXPECT_GE(attempts, 3);
    EXPECT_LE(attempts, 4);
}

TEST_F(Journals, ARefusedJournalIsTriedAgainOnANewConnection) {
    const std::string refused =
        Journal("onsdag.csv.journal", kWednesday, "2026-12-07T06:00:00+01:00", {1, 2});
    Send();
    ASSERT_TRUE(Within(20s, [&] { return Told().refused == 1; }));
    office::pq::Connection office = Office();
    office::PublishRoute(office, "3", kDate, "onsdag.csv", kWednesday, office::Replace::Anyway);
    sender->Notify();  // a save elsewhere is no reason to try it again
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(SavesOf(refused), "0");
    cluster->Restart();
    sender->Notify();
    EXPECT_TRUE(Within(20s, [&] { return SavesOf(refused) == "2" && Told() == Outbox{}; }));
    EXPECT_EQ(Problems(refused), "");
}

TEST_F(Journals, AJournalTheOfficeDisagreesWithIsToldAtBothEndsAndNothingIsLost) {
    // The office holds saves 1 and 2 of the journal, its save 2 as given.
    struct Case {
        const char* name;
        std::vector<int16_t> journal;  // shops saved
        std::vector<int16_t> officeSave2;
        const char* vansSave2;
        Outbox told;  // save 2 of the journal has not reached the office as it is
    };
    for (const Case& c :
         {Case{"restored from an older copy", {1}, {2, 2, 2}, "NULL", {0, 0, 1}},
          Case{"the day run on two machines", {1, 2}, {9, 9, 9}, "{2,2,2}", {1, 0, 1}}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        Office().Execute(
            "DELETE FROM leverans.problems; DELETE FROM leverans.deliveries; "
            "DELETE FROM leverans.saves");
        const std::string uid =
            Journal("tisdag.csv.journal", kTuesday, "2026-12-07T06:00:00+01:00", c.journal);
        office::pq::Connection van = As("bil3");
        for (int seq = 1; seq <= 2; ++seq) {
            office::SaveToSend save =
                Save("3", seq, seq, seq == 1 ? std::vector<int16_t>{1, 1, 1} : c.officeSave2);
            save.uid = uid;
            office::SendSave(van, save);
        }
        const std::string path = (folder / kDate / "tisdag.csv.journal").string();
        const std::string journal = day::ReadFileBytes(path, path);
        Send();
        EXPECT_TRUE(Within(20s, [&] { return Told() == c.told && Problems(uid) == "conflict 2"; }));
        EXPECT_EQ(Value("kontor", "SELECT coalesce(lev::text, 'NULL') FROM leverans.problems"),
                  c.vansSave2);
        EXPECT_EQ(SavesOf(uid), "2");
        EXPECT_EQ(day::ReadFileBytes(path, path), journal);

        // The office sets its save 2 aside: the conflict is gone, and cleared.
        Office().Execute(
            "DELETE FROM leverans.deliveries WHERE seq = 2; DELETE FROM leverans.saves "
            "WHERE seq = 2");
        cluster->Restart();
        sender->Notify();
        EXPECT_TRUE(Within(20s, [&] { return Problems(uid).empty() && Told() == Outbox{}; }));
        EXPECT_EQ(SavesOf(uid), std::to_string(c.journal.size()));
    }
}

}  // namespace
}  // namespace office_testing
