// A network that goes silent under a connection (no reset: a tunnel, a
// mobile network changing cells, a dropped NAT entry): every call has a
// deadline, after which the connection is given up, and the van's saves
// reach the office on a new one. Through a forwarder that can go silent,
// to a TLS office, as a van connects over a network.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <variant>

#include "day/fingerprint.h"
#include "day/journal.h"
#include "day/route_file.h"
#include "office/fleet.h"
#include "office/schema.h"
#include "office/sender.h"
#include "route/route.h"
#include "tests/office/office_fixture.h"
#include "tests/office/tcp_forwarder.h"

namespace office_testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SilentNetwork : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ClusterSetup setup;
        setup.tls = true;
        cluster_ = std::make_unique<Cluster>(setup);
        cluster_->CreateRole("kontor");
        cluster_->CreateRole("bil3");
        database_ = cluster_->FreshDatabase("kontor");
        office::pq::Connection office = Office();
        office::CreateSchema(office);
        office::AddVan(office, "3", "bil3");
        office::PublishRoute(office, "3", kDate, "tisdag.csv", kTuesday);
    }
    static void TearDownTestSuite() { cluster_.reset(); }

    static office::pq::Connection Office() {
        return office::pq::Connection::Open(cluster_->ConnectionString("kontor", database_));
    }
    // As a van connects: over TCP, TLS by default (verify-full, as a root
    // certificate is given), here through the forwarder.
    std::string VanConninfo() const {
        return "host=localhost hostaddr=127.0.0.1 port=" + std::to_string(forwarder.Port()) +
               " dbname=" + database_ + " user=bil3 sslrootcert=" + cluster_->CaFile();
    }

    static std::unique_ptr<Cluster> cluster_;
    static std::string database_;
    TcpForwarder forwarder{cluster_->Port()};
};

std::unique_ptr<Cluster> SilentNetwork::cluster_;
std::string SilentNetwork::database_;

TEST_F(SilentNetwork, EveryCallGivesUpAtItsDeadline) {
    // Each made in a transaction begun before the network went silent.
    using office::pq::Connection;
    using office::pq::Transaction;
    const std::pair<const char*, std::function<void(Connection&, Transaction&)>> calls[] = {
        {"Exec", [](Connection& conn, Transaction&) { conn.Exec("SELECT 1"); }},
        {"Execute", [](Connection& conn, Transaction&) { conn.Execute("SELECT 1; SELECT 2"); }},
        {"BEGIN", [](Connection& conn, Transaction&) { Transaction begun(conn); }},
        {"COMMIT", [](Connection&, Transaction& open) { open.Commit(); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        Connection conn = Connection::Open(VanConninfo());
        conn.SetCallTimeout(1s);
        Transaction open(conn);
        forwarder.SilenceHeldFlows();
        const Clock::time_point silenced = Clock::now();
        const auto lost =
            Thrown<office::Unreachable>([&conn, &open, &body = call] { body(conn, open); });
        const auto took = Clock::now() - silenced;
        EXPECT_EQ(std::string(lost.what()),
                  "kontorets databasserver (värden localhost, port " +
                      std::to_string(forwarder.Port()) +
                      ") svarade inte inom 1 sekund, och förbindelsen stängdes; det som "
                      "skickades sist kan ha kommit fram eller inte. Kontrollera anslutningen "
                      "och nätet och försök igen");
        EXPECT_EQ(conn.handle(), nullptr);
        EXPECT_GE(took, 900ms);
        EXPECT_LT(took, 5s);
    }
}

// The van's sender, its connection gone silent while it was idle, with
// saves kept after that: they arrive on a new connection.
TEST_F(SilentNetwork, SavesArriveThroughTheSenderOnceItsConnectionWentSilent) {
    const std::string folder =
        fs::temp_directory_path() / ("leverans-silent-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    day::Journal journal = day::Journal::Open(folder + "/tisdag.csv.journal", "tisdag.csv",
                                              kTuesday, day::Journal::Mode::ReadWrite);
    route::RouteData route;
    route::StartRoute(route, day::ParseRouteFile(kTuesday, "tisdag.csv"));
    journal.Replay(route);
    office::pq::Connection office = Office();
    const auto atTheOffice = [&office] {
        return office.Exec("SELECT count(*) FROM leverans.saves WHERE van = '3'").Int(0, 0);
    };
    const auto arrives = [&](int64_t count, std::chrono::seconds within) {
        const auto deadline = Clock::now() + within;
        while (atTheOffice() != count && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
        return atTheOffice() == count;
    };

    office::Sender sender(
        {VanConninfo(), "3", kDate, journal.Path(), journal.DayUid(), day::Fingerprint(kTuesday)},
        [](int) {});
    const auto save = [&](int16_t shop) {
        const auto plan = std::get<route::SavePlan>(route::PlanSave(route, shop, {"1", "2", "3"}));
        journal.Record(plan);
        route::ApplySave(route, plan);
        sender.Notify();
    };
    save(1);
    ASSERT_TRUE(arrives(1, 20s));
    const int held = forwarder.Flows();
    forwarder.SilenceHeldFlows();
    const auto silenced = Clock::now();
    save(2);
    save(3);
    const bool arrived = arrives(3, 30s);
    const double seconds = std::chrono::duration<double>(Clock::now() - silenced).count();
    std::printf("saves kept after the network went silent reached the office in %.1f s\n", seconds);
    EXPECT_TRUE(arrived) << "the office holds " << atTheOffice() << " of 3 saves";
    EXPECT_GT(forwarder.Flows(), held);  // on a new connection, not the silenced one
    fs::remove_all(folder);
}

}  // namespace
}  // namespace office_testing
