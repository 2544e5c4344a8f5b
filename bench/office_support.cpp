#include "office_support.h"

#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <variant>

#include "day/route_file.h"
#include "office/fleet.h"
#include "office/schema.h"

namespace office_bench {

namespace {

namespace fs = std::filesystem;

constexpr const char* kPostgres = "/usr/lib/postgresql/15/bin/postgres";

// Whom the server runs as: postgres when running as root (the server
// refuses root), otherwise whoever runs the benchmark.
struct SystemUser {
    bool change = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

SystemUser ServerUser() {
    if (::geteuid() != 0) return {};
    const passwd* user = ::getpwnam("postgres");
    if (!user) throw std::runtime_error("no postgres system user: install postgresql-15");
    return {true, user->pw_uid, user->pw_gid};
}

bool WaitFor(pid_t child, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR)) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

FleetCluster::FleetCluster(int maxConnections) {
    const std::string folder = cluster_.Folder();
    const std::string data = folder + "/data";
    if (!fs::exists(data + "/PG_VERSION"))
        throw std::runtime_error("the test cluster's data is not in " + data);
    cluster_.StopImmediately();

    // The same server as the tests start, with more connections.
    const std::vector<std::string> argv{kPostgres,
                                        "-D",
                                        data,
                                        "-p",
                                        std::to_string(cluster_.Port()),
                                        "-c",
                                        "unix_socket_directories=" + folder,
                                        "-c",
                                        "unix_socket_permissions=0700",
                                        "-c",
                                        "listen_addresses=",
                                        "-c",
                                        "fsync=off",
                                        "-c",
                                        "full_page_writes=off",
                                        "-c",
                                        "shared_buffers=16MB",
                                        "-c",
                                        "max_connections=" + std::to_string(maxConnections),
                                        "-c",
                                        "autovacuum=off",
                                        "-c",
                                        "lc_messages=C"};
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const SystemUser user = ServerUser();
    const std::string logPath = folder + "/postgres-fleet.log";
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log < 0) throw std::system_error(errno, std::generic_category(), "open " + logPath);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = ::getpid();
    server_ = ::fork();
    if (server_ < 0) {
        const int error = errno;
        ::close(log);
        ::close(in);
        throw std::system_error(error, std::generic_category(), "fork");
    }
    if (server_ == 0) {
        // Only async-signal-safe calls from here on.
        ::dup2(in, 0);
        ::dup2(log, 1);
        ::dup2(log, 2);
        if (user.change &&
            (::setgroups(1, &user.gid) != 0 || ::setgid(user.gid) != 0 || ::setuid(user.uid) != 0))
            ::_exit(126);
        // The server goes with the benchmark, however it ends.
        if (::prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || ::getppid() != parent) ::_exit(126);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(log);
    ::close(in);

    const std::string ping = ConnectionString("postgres", "postgres") + " connect_timeout=2";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (PQping(ping.c_str()) != PQPING_OK) {
        int status = 0;
        if (::waitpid(server_, &status, WNOHANG) == server_) {
            server_ = 0;
            throw std::runtime_error("PostgreSQL did not start:\n" +
                                     office_testing::FileText(logPath));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            Stop();
            throw std::runtime_error("PostgreSQL did not answer within 60 seconds:\n" +
                                     office_testing::FileText(logPath));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FleetCluster::~FleetCluster() { Stop(); }

void FleetCluster::Stop() {
    if (server_ <= 0) return;
    ::kill(server_, SIGINT);  // fast shutdown
    if (!WaitFor(server_, std::chrono::seconds(30))) {
        ::kill(server_, SIGKILL);
        int status = 0;
        ::waitpid(server_, &status, 0);
    }
    server_ = 0;
}

std::string MakeOffice(office_testing::Cluster& cluster, int vans) {
    cluster.CreateRole("kontor");
    for (int van = 1; van <= vans; ++van) cluster.CreateRole("bil" + std::to_string(van));
    std::string database = cluster.FreshDatabase("kontor");
    office::pq::Connection conn =
        office::pq::Connection::Open(cluster.ConnectionString("kontor", database));
    office::CreateSchema(conn);
    for (int van = 1; van <= vans; ++van)
        office::AddVan(conn, std::to_string(van), "bil" + std::to_string(van));
    return database;
}

std::string RouteFileText(int articles, int shops, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> order(0, 30);
    std::string text = "Artikel;Lager";
    for (int k = 1; k <= shops; ++k) text.append(";Butik ").append(std::to_string(k));
    text += "\n";
    for (int a = 1; a <= articles; ++a) {
        text.append("Artikel ").append(std::to_string(a)).append(";");
        for (int k = 1; k <= shops; ++k) {
            const int value = order(random);
            text.append(";").append(std::to_string(value % 5 == 0 ? 0 : value));
        }
        text += "\n";
    }
    return text;
}

DiskFolder::DiskFolder() {
    const char* base = std::getenv("JOURNAL_BENCH_DIR");
    if (!base || !*base) base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/var/tmp") + "/office-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed in " + pattern);
    path_ = pattern;
}

DiskFolder::~DiskFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

VanDay::VanDay(const std::string& journalPath, const std::string& routeName,
               const std::string& routeBytes)
    : journal_(
          day::Journal::Open(journalPath, routeName, routeBytes, day::Journal::Mode::ReadWrite)) {
    route::StartRoute(route_, day::ParseRouteFile(routeBytes, routeName));
    journal_.Replay(route_);
}

void VanDay::Save(int16_t shop, const std::vector<std::string>& lev,
                  const std::function<void()>& kept) {
    const route::SaveOutcome outcome = route::PlanSave(route_, shop, lev);
    const auto* plan = std::get_if<route::SavePlan>(&outcome);
    if (!plan) throw std::runtime_error("the route refused save of shop " + std::to_string(shop));
    journal_.Record(*plan);
    if (kept) kept();
    route::ApplySave(route_, *plan);
}

std::vector<std::string> Deliveries(const route::RouteData& route, int16_t shop) {
    const int articles = route.colArtikel.Count();
    std::vector<std::string> lev;
    lev.reserve(static_cast<std::size_t>(articles));
    for (int a = 1; a <= articles; ++a) {
        const int ordered = route.nAntal(a, route::kBest, shop);
        lev.push_back(std::to_string(std::max(0, ordered - (a + shop) % 3)));
    }
    return lev;
}

}  // namespace office_bench
