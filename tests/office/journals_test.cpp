// The van's sender over all the journals it keeps: earlier days and days put
// aside arrive too, oldest first; a journal the office refuses is held back
// without holding up the others and without trying again on every tick; a
// journal whose saves at the office are not its own is told at both ends,
// and nothing is lost.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "day/fingerprint.h"
#include "day/journal.h"
#include "day/route_file.h"
#include "office/fleet.h"
#include "office/sender.h"
#include "office/van.h"
#include "route/route.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class Journals : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        MakeFleet();
        std::string pattern = fs::temp_directory_path().string() + "/leverans-bil-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    // A journal of van 3's in the date folder `date`, begun at `begun` on
    // `route`, with one save of each shop in `shops`; its day id.
    std::string Journal(const std::string& date, const std::string& name, const std::string& route,
                        const char* begun, const std::vector<int16_t>& shops) {
        fs::create_directories(folder / date);
        const std::string path = (folder / date / name).string();
        day::Journal journal =
            day::Journal::Open(path, "rutt.csv", route, day::Journal::Mode::ReadWrite, begun);
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

    office::SenderSetup VanSetup() const {
        office::SenderSetup setup;
        setup.conninfo = Conninfo("bil3");
        setup.van = "3";
        setup.dataFolder = folder.string();
        setup.firstRetry = 50ms;
        setup.longestRetry = 400ms;
        return setup;
    }

    // The journals whose saves the office holds, in the order received.
    std::vector<std::string> Received() const {
        office::pq::Connection conn = Office();
        const office::pq::Result rows = conn.Exec(
            "SELECT uid FROM leverans.saves WHERE van = '3' ORDER BY xmin::text::bigint, seq");
        std::vector<std::string> uids;
        for (int row = 0; row < rows.Rows(); ++row)
            if (uids.empty() || uids.back() != rows.Text(row, 0)) uids.push_back(rows.Text(row, 0));
        return uids;
    }
    int SavesOf(const std::string& uid) const {
        office::pq::Connection conn = Office();
        return static_cast<int>(conn.Exec("SELECT count(*) FROM leverans.saves WHERE uid = $1",
                                          {office::pq::Param::Text(uid)})
                                    .Int(0, 0));
    }
    // The office's kept problems of a journal: "kind seq" each.
    std::vector<std::string> Problems(const std::string& uid) const {
        office::pq::Connection conn = Office();
        const office::pq::Result rows = conn.Exec(
            "SELECT kind || ' ' || seq FROM leverans.problems WHERE uid = $1 ORDER BY seq, kind",
            {office::pq::Param::Text(uid)});
        std::vector<std::string> kept;
        for (int row = 0; row < rows.Rows(); ++row) kept.push_back(rows.Text(row, 0));
        return kept;
    }

    struct Told {
        std::mutex mutex;
        office::Outbox last;
        std::vector<std::string> problems;
        office::Outbox Last() {
            const std::lock_guard lock(mutex);
            return last;
        }
    };
    static std::function<void(const office::Outbox&)> Outboxes(Told& told) {
        return [&told](const office::Outbox& outbox) {
            const std::lock_guard lock(told.mutex);
            told.last = outbox;
        };
    }
    template <typename Condition>
    static bool Within(std::chrono::milliseconds wait, Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return condition();
    }

    fs::path folder;
};

TEST_F(Journals, EveryDayKeptArrivesOldestFirst) {
    office::pq::Connection office = Office();
    office::PublishRoute(office, "3", "2026-12-06", "tisdag.csv", kTuesday);
    const std::string today =
        Journal(kDate, "tisdag.csv.journal", kTuesday, "2026-12-07T10:00:00+01:00", {1, 2});
    const std::string yesterday =
        Journal("2026-12-06", "tisdag.csv.journal", kTuesday, "2026-12-06T06:00:00+01:00", {1});
    const std::string aside = Journal(kDate, "tisdag.csv.2026-12-07.journal", kTuesday,
                                      "2026-12-07T06:00:00+01:00", {1, 1, 2});
    Told told;
    office::Sender sender(VanSetup(), Outboxes(told));
    ASSERT_TRUE(Within(20s, [&] { return Received().size() == 3 && told.Last().unsent == 0; }))
        << told.Last().unsent;
    EXPECT_EQ(Received(), (std::vector<std::string>{yesterday, aside, today}));
    EXPECT_EQ(SavesOf(yesterday) + SavesOf(aside) + SavesOf(today), 6);
}

// Counts the saves the office is asked to take, also those it refuses.
void CountAttempts(office::pq::Connection conn) {
    conn.Execute(
        "CREATE SEQUENCE public.attempts;"
        "CREATE FUNCTION public.count_attempt() RETURNS trigger LANGUAGE plpgsql "
        "  SECURITY DEFINER AS $$BEGIN PERFORM nextval('public.attempts'); RETURN NEW; END$$;"
        "CREATE TRIGGER a_attempt BEFORE INSERT ON leverans.saves "
        "  FOR EACH ROW EXECUTE FUNCTION public.count_attempt();");
}

TEST_F(Journals, ARefusedJournalWaitsWithoutHoldingUpOthersOrTryingOnEveryTick) {
    CountAttempts(Office());
    // Begun on a route never published for van 3 that day: refused.
    const std::string refused =
        Journal(kDate, "onsdag.csv.journal", kWednesday, "2026-12-07T06:00:00+01:00", {1, 2});
    const std::string good =
        Journal(kDate, "tisdag.csv.journal", kTuesday, "2026-12-07T07:00:00+01:00", {1});
    Told told;
    office::SenderSetup setup = VanSetup();
    setup.firstHeldRetry = 800ms;
    setup.longestHeldRetry = 10s;
    office::Sender sender(setup, Outboxes(told));
    ASSERT_TRUE(Within(20s, [&] { return SavesOf(good) == 1; }));
    EXPECT_TRUE(Within(5s,
                       [&] {
                           return told.Last() == office::Outbox{2, 1, 0};
                       }))
        << told.Last().unsent << " " << told.Last().refused;
    EXPECT_EQ(Problems(refused), std::vector<std::string>{"refused 1"});

    // Tried again after 0.8 s and then 1.6 s later, not every 50-400 ms:
    // one attempt of the good journal's, two or three of the refused one's.
    std::this_thread::sleep_for(3s);
    const int attempts = std::stoi(Value("kontor", "SELECT last_value FROM public.attempts"));
    EXPECT_GE(attempts, 3);
    EXPECT_LE(attempts, 4);
    EXPECT_EQ(SavesOf(refused), 0);
}

TEST_F(Journals, ARefusedJournalIsTriedAgainOnANewConnection) {
    const std::string refused =
        Journal(kDate, "onsdag.csv.journal", kWednesday, "2026-12-07T06:00:00+01:00", {1, 2});
    Told told;
    office::Sender sender(VanSetup(), Outboxes(told));  // held for 30 s
    ASSERT_TRUE(Within(20s, [&] { return told.Last().refused == 1; }));
    // The office publishes that route too; the van learns of it only when
    // it asks again.
    office::pq::Connection office = Office();
    office::PublishRoute(office, "3", kDate, "onsdag.csv", kWednesday, office::Replace::Anyway);
    std::this_thread::sleep_for(500ms);
    sender.Notify();  // a save elsewhere: no reason to try the held one
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(SavesOf(refused), 0);
    cluster->Restart();
    sender.Notify();
    EXPECT_TRUE(Within(20s, [&] { return SavesOf(refused) == 2; }));
    EXPECT_TRUE(Within(5s, [&] { return told.Last() == office::Outbox{}; }));
    EXPECT_EQ(Problems(refused), std::vector<std::string>{});
}

TEST_F(Journals, AJournalTheOfficeDisagreesWithIsToldAndNothingIsLost) {
    struct Case {
        const char* name;
        std::vector<int16_t> journal;      // shops saved in the journal
        std::vector<office::HeldSave> at;  // what the office holds of it first
        const char* problem;
    };
    const std::string route = day::Fingerprint(kTuesday);
    const std::vector<Case> cases = {
        {"restored from an older copy",
         {1},
         {{1, 1, route, {1, 1, 1}}, {2, 2, route, {2, 2, 2}}},
         "conflict 2"},
        {"the day run on two machines",
         {1, 2},
         {{1, 1, route, {1, 1, 1}}, {2, 2, route, {9, 9, 9}}},
         "conflict 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(folder);
        Office().Exec("DELETE FROM leverans.problems");
        Office().Exec("DELETE FROM leverans.deliveries");
        Office().Exec("DELETE FROM leverans.saves");
        const std::string uid =
            Journal(kDate, "tisdag.csv.journal", kTuesday, "2026-12-07T06:00:00+01:00", c.journal);
        office::pq::Connection van = As("bil3");
        for (const office::HeldSave& held : c.at) {
            office::SaveToSend save = Save("3", held.seq, held.shop, held.lev);
            save.uid = uid;
            office::SendSave(van, save);
        }
        const fs::path journal = folder / kDate / "tisdag.csv.journal";
        const std::string before = Bytes(journal);

        Told told;
        office::Sender sender(VanSetup(), Outboxes(told));
        EXPECT_TRUE(Within(20s, [&] { return told.Last().conflicts == 1; }));
        EXPECT_TRUE(Within(5s, [&] { return Problems(uid).size() == 1; }));
        EXPECT_EQ(Problems(uid), std::vector<std::string>{c.problem});
        EXPECT_EQ(Value("kontor", "SELECT lev::text FROM leverans.problems"),
                  c.journal.size() >= 2 ? "{2,2,2}" : "NULL");
        EXPECT_EQ(SavesOf(uid), static_cast<int>(c.at.size()));
        EXPECT_EQ(Bytes(journal), before);

        // The office sets its second save aside: the journal goes on and
        // the conflict is cleared.
        office::pq::Connection conn = Office();
        conn.Exec("DELETE FROM leverans.deliveries WHERE seq = 2");
        conn.Exec("DELETE FROM leverans.saves WHERE seq = 2");
        cluster->Restart();
        sender.Notify();
        EXPECT_TRUE(Within(20s, [&] { return Problems(uid).empty(); }));
        EXPECT_TRUE(Within(5s, [&] { return told.Last() == office::Outbox{}; }));
        EXPECT_EQ(SavesOf(uid), static_cast<int>(c.journal.size()));
    }
}

}  // namespace
}  // namespace office_testing
