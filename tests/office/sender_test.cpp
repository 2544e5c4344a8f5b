// The van's saves on their way to a real office: every save arrives once,
// in order and as the journal holds it, whatever fails on the way: the
// office away when the van starts, stopped hard in the middle of sends, the
// van killed in the middle of sends.

#include "office/sender.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "day/fingerprint.h"
#include "day/journal.h"
#include "day/route_file.h"
#include "office/fleet.h"
#include "office/van.h"
#include "route/route.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Van 3's day on kTuesday in a journal of its own, saved through the
// window's road: plan, keep, apply.
class VanDay {
public:
    VanDay(const std::string& path, const std::string& routeBytes)
        : journal_(
              day::Journal::Open(path, "tisdag.csv", routeBytes, day::Journal::Mode::ReadWrite)) {
        route::StartRoute(route_, day::ParseRouteFile(routeBytes, "tisdag.csv"));
        journal_.Replay(route_);
    }
    void Save(int16_t shop, const std::vector<std::string>& lev) {
        const route::SaveOutcome outcome = route::PlanSave(route_, shop, lev);
        const auto& plan = std::get<route::SavePlan>(outcome);
        journal_.Record(plan);
        route::ApplySave(route_, plan);
    }
    day::Journal& Journal() { return journal_; }
    const route::RouteData& Route() const { return route_; }

private:
    route::RouteData route_;
    day::Journal journal_;
};

class SenderTest : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        MakeFleet();
        path = folder.path().string() + "/tisdag.csv.journal";
    }

    office::SenderSetup SetupFor(const day::Journal& journal, const std::string& date = kDate) {
        office::SenderSetup setup{
            Conninfo("bil3"),          "3", date, journal.Path(), journal.DayUid(),
            day::Fingerprint(kTuesday)};
        setup.firstRetry = 50ms;
        setup.longestRetry = 400ms;
        return setup;
    }

    // Every save the office holds of van 3's day, one text each, as the
    // journal would describe it: seq, shop, when, deliveries.
    std::vector<std::string> AtTheOffice(const std::string& date = kDate) {
        office::pq::Connection conn = Office();
        const office::pq::Result rows = conn.Exec(
            "SELECT s.seq || ':' || s.shop || ':' || s.uid || ':' || "
            "  to_char(s.saved_at AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') || ':' || "
            "  (SELECT string_agg(d.lev::text, ',' ORDER BY d.article) FROM leverans.deliveries d "
            "   WHERE d.van = s.van AND d.day = s.day AND d.seq = s.seq) "
            "FROM leverans.saves s WHERE s.van = '3' AND s.day = $1::date ORDER BY s.seq",
            {office::pq::Param::Text(date)});
        std::vector<std::string> saves;
        saves.reserve(static_cast<std::size_t>(rows.Rows()));
        for (int row = 0; row < rows.Rows(); ++row) saves.push_back(rows.Text(row, 0));
        return saves;
    }
    // The same from the journal, for its first n saves (all by default).
    static std::vector<std::string> InTheJournal(const std::string& path,
                                                 std::size_t n = SIZE_MAX) {
        const day::JournalContents journal = day::ReadJournal(path);
        std::vector<std::string> saves;
        const auto articles = static_cast<std::size_t>(journal.articles);
        for (std::size_t i = 0; i < std::min(n, journal.Count()); ++i) {
            std::tm utc{};
            const std::string& at = journal.savedAt[i];
            // 2026-12-07T08:05:00+01:00 to UTC, as the office shows it.
            strptime(at.substr(0, 19).c_str(), "%Y-%m-%dT%H:%M:%S", &utc);
            const int offset = (at[19] == '-' ? -1 : 1) *
                               (std::stoi(at.substr(20, 2)) * 60 + std::stoi(at.substr(23, 2)));
            const std::time_t moment = timegm(&utc) - std::time_t{offset} * 60;
            char when[32];
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::gmtime(&moment));
            std::string text = std::to_string(i + 1) + ":" + std::to_string(journal.kund[i]) + ":" +
                               journal.day->uid + ":" + when + ":";
            for (std::size_t a = 0; a < articles; ++a) {
                if (a) text += ',';
                text += std::to_string(journal.lev[i * articles + a]);
            }
            saves.push_back(text);
        }
        return saves;
    }
    // Waits until the office holds every save of the journal.
    bool Arrives(const std::string& journalPath, std::chrono::milliseconds within = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < deadline) {
            if (AtTheOffice() == InTheJournal(journalPath)) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // A pause of a few milliseconds inside every send's transaction
    // (test-only, in this test's database): at the end of the save's row,
    // or in the middle of its deliveries, so that a kill or a stop can be
    // made to land there.
    enum class Pause { AfterTheSave, InTheDeliveries };
    void PauseInsideSends(Pause where) {
        pause_ = where;
        office::pq::Connection super = cluster->Superuser(database);
        super.Execute(
            "CREATE FUNCTION public.pause_send() RETURNS trigger LANGUAGE plpgsql AS "
            "'BEGIN PERFORM pg_sleep(0.03); RETURN NULL; END'");
        super.Execute(where == Pause::AfterTheSave
                          ? "CREATE TRIGGER pause_send AFTER INSERT ON leverans.saves "
                            "FOR EACH STATEMENT EXECUTE FUNCTION public.pause_send()"
                          : "CREATE TRIGGER pause_send BEFORE INSERT ON leverans.deliveries "
                            "FOR EACH STATEMENT EXECUTE FUNCTION public.pause_send()");
    }
    void EndPauses() {
        cluster->Superuser(database).Execute(
            pause_ == Pause::AfterTheSave ? "DROP TRIGGER pause_send ON leverans.saves"
                                          : "DROP TRIGGER pause_send ON leverans.deliveries");
    }
    // Waits until a send of van 3 is paused as above; false when none came.
    // `super`: the superuser's connection.
    bool SendInside(office::pq::Connection& super, std::chrono::milliseconds within = 10s) const {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (std::chrono::steady_clock::now() < deadline) {
            if (super
                    .Exec("SELECT 1 FROM pg_stat_activity WHERE datname = current_database() "
                          "AND usename = 'bil3' AND state = 'active' AND query LIKE $1",
                          {office::pq::Param::Text(pause_ == Pause::AfterTheSave
                                                       ? "INSERT INTO leverans.saves%"
                                                       : "INSERT INTO leverans.deliveries%")})
                    .Rows() > 0)
                return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    struct Told {
        std::mutex mutex;
        std::vector<int> unsent;
        std::vector<std::string> problems;
        int Last() {
            const std::lock_guard lock(mutex);
            return unsent.empty() ? -1 : unsent.back();
        }
    };
    static std::function<void(int)> Counts(Told& told) {
        return [&told](int n) {
            const std::lock_guard lock(told.mutex);
            told.unsent.push_back(n);
        };
    }
    static std::function<void(const std::string&)> Problems(Told& told) {
        return [&told](const std::string& text) {
            const std::lock_guard lock(told.mutex);
            told.problems.push_back(text);
        };
    }

    struct Folder {
        Folder() {
            std::string pattern = fs::temp_directory_path().string() + "/leverans-van-XXXXXX";
            if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
            dir = pattern;
        }
        ~Folder() { fs::remove_all(dir); }
        fs::path path() const { return dir; }
        fs::path dir;
    } folder;
    std::string path;
    Pause pause_ = Pause::AfterTheSave;
};

TEST_F(SenderTest, EverySaveArrivesOnceInOrderAndAsKept) {
    VanDay van(path, kTuesday);
    Told told;
    {
        office::Sender sender(SetupFor(van.Journal()), Counts(told), Problems(told));
        van.Save(2, {"6", "25", ""});  // shop 1 passed over
        sender.Notify();
        van.Save(3, {"1", "7", "-2"});  // a return
        sender.Notify();
        van.Save(3, {"1", "6", "-2"});  // and a correction
        sender.Notify();
        ASSERT_TRUE(Arrives(path));
        EXPECT_EQ(AtTheOffice().size(), 3u);
        for (int i = 0; i < 100 && told.Last() != 0; ++i) std::this_thread::sleep_for(10ms);
        EXPECT_EQ(told.Last(), 0);
    }
    // The van started again: the office is asked, and nothing goes twice.
    office::Sender again(SetupFor(van.Journal()), Counts(told), Problems(told));
    van.Save(4, {"5", "3", "0"});
    again.Notify();
    ASSERT_TRUE(Arrives(path));
    EXPECT_EQ(AtTheOffice().size(), 4u);
    const std::lock_guard lock(told.mutex);
    for (const std::string& problem : told.problems) EXPECT_EQ(problem, "");
}

TEST_F(SenderTest, TheOfficeAwayFirstThenEverythingArrivesOnceItIsBack) {
    VanDay van(path, kTuesday);
    cluster->StopImmediately();
    Told told;
    office::Sender sender(SetupFor(van.Journal()), Counts(told));
    van.Save(1, {"10", "0", "2"});
    sender.Notify();
    van.Save(2, {"6", "25", ""});
    sender.Notify();
    // The journal's own count while the office cannot be asked.
    for (int i = 0; i < 200 && told.Last() != 2; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(told.Last(), 2);
    cluster->Start();
    ASSERT_TRUE(Arrives(path, 10s));
    for (int i = 0; i < 200 && told.Last() != 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(told.Last(), 0);
}

// Each stop lands between a save's row and its deliveries.
TEST_F(SenderTest, TheOfficeStoppedHardDuringSendsTwentyTimes) {
    PauseInsideSends(Pause::InTheDeliveries);
    VanDay van(path, kTuesday);
    office::Sender sender(SetupFor(van.Journal()), [](int) {});
    std::mt19937 random(20261207);
    int16_t shop = 1;
    int inside = 0;  // stops that caught a send inside its transaction
    for (int stop = 0; stop < 20; ++stop) {
        // A few saves, and the office stopped as one goes out.
        for (int i = 0; i < 3; ++i) {
            van.Save(shop, {std::to_string(stop), std::to_string(i), "1"});
            sender.Notify();
            if (random() % 2 == 0 && shop < 4) ++shop;
        }
        office::pq::Connection super = cluster->Superuser(database);
        if (SendInside(super)) ++inside;
        cluster->Restart();
    }
    EXPECT_EQ(inside, 20);
    ASSERT_TRUE(Arrives(path, 30s));
    EXPECT_EQ(AtTheOffice().size(), 60u);
}

TEST_F(SenderTest, ASaveTheOfficeRefusesIsSaidAndNothingElseGoes) {
    // The office published another route for the day than the journal's.
    {
        office::pq::Connection conn = Office();
        office::PublishRoute(conn, "3", "2026-12-08", "onsdag.csv", kWednesday);
    }
    // The highest seq the office was sent since, taken or not (test-only;
    // a sequence, which no refusal rolls back).
    office::pq::Connection super = cluster->Superuser(database);
    super.Execute("CREATE SEQUENCE public.tried MINVALUE 0 START 0");
    super.Execute(
        "CREATE FUNCTION public.note_tried() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS "
        "'BEGIN PERFORM setval(''public.tried'', "
        "greatest(NEW.seq, (SELECT last_value FROM public.tried))); RETURN NEW; END'");
    super.Execute(
        "CREATE TRIGGER a_tried BEFORE INSERT ON leverans.saves "
        "FOR EACH ROW EXECUTE FUNCTION public.note_tried()");
    const auto tried = [&] { return super.Exec("SELECT last_value FROM public.tried").Int(0, 0); };

    VanDay van(path, kTuesday);
    van.Save(2, {"6", "25", ""});
    van.Save(3, {"1", "7", "-2"});
    Told told;
    {
        office::Sender sender(SetupFor(van.Journal(), "2026-12-08"), Counts(told), Problems(told));
        std::string problem;
        for (int i = 0; i < 300 && problem.empty(); ++i) {
            std::this_thread::sleep_for(10ms);
            const std::lock_guard lock(told.mutex);
            if (!told.problems.empty()) problem = told.problems.back();
        }
        EXPECT_NE(problem, "");
        van.Save(3, {"1", "6", "-2"});  // and one after the refusal
        sender.Notify();
        // A sender going past the refused save would send the next at once.
        for (int i = 0; i < 50 && tried() <= 1; ++i) std::this_thread::sleep_for(10ms);
    }
    // Stopped, and its connection gone: nothing more can come.
    for (int i = 0; i < 500; ++i) {
        if (super
                .Exec("SELECT 1 FROM pg_stat_activity "
                      "WHERE datname = current_database() AND usename = 'bil3'")
                .Rows() == 0)
            break;
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(tried(), 1);
    EXPECT_EQ(AtTheOffice("2026-12-08").size(), 0u);
}

// The van killed with SIGKILL again and again while it saves and sends,
// each kill inside a send's transaction, each new van going on with the day
// from its journal. After every kill the office holds exactly the first
// saves of the journal, as kept; once a van runs to the end, it holds all
// of them, once each. VAN_KILLS and VAN_KILL_SEED override the number of
// kills and the seed, which also makes each van's saves: a run replays.
TEST_F(SenderTest, TheVanKilledDuringSendsLeavesTheOfficeExact) {
    const char* kills = std::getenv("VAN_KILLS");
    const int wanted = kills && *kills ? static_cast<int>(std::strtol(kills, nullptr, 10)) : 100;
    const char* seedText = std::getenv("VAN_KILL_SEED");
    const unsigned seed = seedText && *seedText
                              ? static_cast<unsigned>(std::strtoull(seedText, nullptr, 10))
                              : 20261208u;
    std::mt19937 random(seed);
    const office::SenderSetup base = [&] {
        VanDay first(path, kTuesday);
        return SetupFor(first.Journal());
    }();
    // Each kill lands once the save's row is in, before its deliveries are sent.
    PauseInsideSends(Pause::AfterTheSave);

    office::pq::Connection super = cluster->Superuser(database);
    int killedInside = 0;  // kills that caught a send inside its transaction
    std::size_t lastKept = 0;
    for (int round = 0; round < wanted; ++round) {
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A van: the day from its journal, a few saves a few milliseconds
            // apart, its sender running all along.
            try {
                VanDay van(path, kTuesday);
                office::Sender sender(base, [](int) {});
                sender.Notify();
                std::mt19937 script(seed + static_cast<unsigned>(round));
                const int saves = 3 + static_cast<int>(script() % 5);
                for (int i = 0; i < saves; ++i) {
                    const auto shop =
                        static_cast<int16_t>(std::min(4, std::max<int>(van.Route().nSparadKund, 1) +
                                                             static_cast<int>(script() % 2)));
                    van.Save(shop, {std::to_string(script() % 20), std::to_string(i % 7), "1"});
                    sender.Notify();
                    std::this_thread::sleep_for(std::chrono::microseconds(script() % 3000));
                }
                pause();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "van: %s\n", e.what());
            }
            _exit(3);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 40000));
        const bool inside = SendInside(super);
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the van ended by itself: status " << status;

        const std::vector<std::string> journal = InTheJournal(path);
        const std::vector<std::string> office = AtTheOffice();
        ASSERT_LE(office.size(), journal.size()) << "after kill " << round;
        ASSERT_EQ(office, InTheJournal(path, office.size())) << "after kill " << round;
        // The save on its way never arrived.
        if (inside && office.size() < journal.size()) ++killedInside;
        lastKept = journal.size();
    }
    // A van left to run: everything arrives, once.
    EndPauses();
    {
        VanDay van(path, kTuesday);
        office::Sender sender(base, [](int) {});
        ASSERT_TRUE(Arrives(path, 30s));
    }
    EXPECT_EQ(AtTheOffice().size(), lastKept);
    std::printf("%d kills, %d inside a send, %zu saves at the end\n", wanted, killedInside,
                lastKept);
    // Nearly every kill must land inside a send, or the run proved little.
    EXPECT_GE(killedInside, wanted * 9 / 10);
}

}  // namespace
}  // namespace office_testing
