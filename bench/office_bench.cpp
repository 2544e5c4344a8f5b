// The office link under a fleet's day, against a throw-away PostgreSQL 15
// on this machine (Unix socket; see office_support.h):
//   Day      50 vans in threads, each with its own role, its own published
//            route of 100 articles and 40 shops, its own journal on the disk
//            (JOURNAL_BENCH_DIR, else TMPDIR, else /var/tmp) and its own
//            office::Sender. Each van saves its 40 shops in order, one every
//            20-50 ms, telling its sender after each save as the program
//            does. Afterwards the office must hold every save once, as the
//            journals hold it. Prints the send latency over the 2,000 saves
//            (goal: p99 <= 1 s).
//   Report   office::FleetReport of that day over one connection (goal 1 s)
//   Status   office::FleetStatus and StatusText (goal 0.2 s)
// and the program's "kontor rapport" and "kontor status" on the same day,
// wall time from start to exit, against the same goals.
//
// The send latency runs from the moment Journal::Record returned to the
// moment the sender's count of unsent saves drops for that save, which it
// does right after the office acknowledged the save's commit: an upper
// bound of the office's commit by one answer over the socket. The office's
// own clock gives a lower bound: received_at is the time its transaction
// began. Both are printed; the goal is judged on the upper one.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "day/fingerprint.h"
#include "day/journal_file.h"
#include "day/local_time.h"
#include "office/fleet.h"
#include "office/pq.h"
#include "office/sender.h"
#include "office_support.h"
#include "ratio_reporter.h"

namespace {

using namespace std::chrono_literals;
using office_bench::FleetCluster;
using SteadyClock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

constexpr int kVans = 50;
constexpr int kShops = 40;  // one save each, in order
constexpr int kArticles = 100;
constexpr int kFastestSaveMs = 20;
constexpr int kSlowestSaveMs = 50;
constexpr double kLatencyGoalMs = 1000;
constexpr double kReportGoalMs = 1000;
constexpr double kStatusGoalMs = 200;
constexpr int kProgramRuns = 3;

struct Moment {
    SteadyClock::time_point steady;
    WallClock::time_point wall;
    static Moment Now() { return {SteadyClock::now(), WallClock::now()}; }
};

double Millis(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

int64_t MicrosSinceEpoch(WallClock::time_point t) {
    return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}

// One van of the fleet, and what it and its sender saw.
struct Van {
    std::string name;
    std::string role;
    std::string routeName;
    std::string routeBytes;
    std::string journalPath;

    std::mutex mutex;
    std::vector<std::optional<Moment>> kept;       // per seq: when Record returned
    std::vector<std::optional<Moment>> confirmed;  // per seq: when the sender saw it arrive
    int lastUnsent = -1;
    int journalCount = 0;  // saves in the journal as the sender last counted them
    int confirmedCount = 0;
    std::vector<std::string> problems;
    std::string failure;

    // From the sender's thread. The sender tells the count of saves not
    // yet confirmed whenever it changes: it grows when the sender finds new
    // saves in the journal, and falls by one after each save the office
    // acknowledged, in seq order.
    void OnUnsent(int unsent) {
        const Moment now = Moment::Now();
        const std::lock_guard lock(mutex);
        if (lastUnsent >= 0 && unsent < lastUnsent) {
            const int upTo = journalCount - unsent;
            for (int seq = confirmedCount + 1; seq <= upTo && seq <= kShops; ++seq)
                confirmed[static_cast<std::size_t>(seq - 1)] = now;
            confirmedCount = std::max(confirmedCount, upTo);
        } else {
            journalCount = confirmedCount + unsent;
        }
        lastUnsent = unsent;
    }
    int Confirmed() {
        const std::lock_guard lock(mutex);
        return confirmedCount;
    }
};

// A van's day: the window's saves at a driver's pace, compressed, each told
// to the sender, until the office has confirmed them all.
void DriveVan(Van& van, const std::string& conninfo, const std::string& date,
              std::promise<void>& ready, const std::shared_future<void>& start, unsigned seed) {
    try {
        office_bench::VanDay day(van.journalPath, van.routeName, van.routeBytes);
        office::SenderSetup setup{conninfo,
                                  van.name,
                                  date,
                                  day.Journal().Path(),
                                  day.Journal().DayUid(),
                                  day::Fingerprint(van.routeBytes)};
        office::Sender sender(
            setup, [&van](int unsent) { van.OnUnsent(unsent); },
            [&van](const std::string& problem) {
                if (problem.empty()) return;
                const std::lock_guard lock(van.mutex);
                van.problems.push_back(problem);
            });
        ready.set_value();
        start.wait();
        std::mt19937 pace(seed);
        std::uniform_int_distribution<int> wait(kFastestSaveMs, kSlowestSaveMs);
        for (int shop = 1; shop <= kShops; ++shop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait(pace)));
            const auto k = static_cast<int16_t>(shop);
            day.Save(k, office_bench::Deliveries(day.Route(), k), [&] {
                {
                    const std::lock_guard lock(van.mutex);
                    van.kept[static_cast<std::size_t>(shop - 1)] = Moment::Now();
                }
                sender.Notify();
            });
        }
        const auto deadline = SteadyClock::now() + 60s;
        while (van.Confirmed() < kShops && SteadyClock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        if (van.Confirmed() < kShops)
            throw std::runtime_error("the office confirmed " + std::to_string(van.Confirmed()) +
                                     " of " + std::to_string(kShops) + " saves within a minute");
    } catch (const std::exception& e) {
        const std::lock_guard lock(van.mutex);
        van.failure = e.what();
        try {
            ready.set_value();
        } catch (const std::future_error&) {
            // Told already.
        }
    }
}

// "2026-12-07T08:05:00+01:00" as seconds since the epoch.
int64_t EpochOf(const std::string& iso) {
    std::tm utc{};
    if (iso.size() != 25 || !strptime(iso.substr(0, 19).c_str(), "%Y-%m-%dT%H:%M:%S", &utc))
        throw std::runtime_error("not a journal time: " + iso);
    const int offset = (iso[19] == '-' ? -1 : 1) *
                       (std::stoi(iso.substr(20, 2)) * 60 + std::stoi(iso.substr(23, 2)));
    return static_cast<int64_t>(timegm(&utc)) - int64_t{offset} * 60;
}

std::string Joined(const std::vector<int16_t>& lev, std::size_t from, std::size_t count) {
    std::string text;
    for (std::size_t i = from; i < from + count; ++i) {
        if (i > from) text += ',';
        text += std::to_string(lev[i]);
    }
    return text;
}

// Every save at the office against the van's journal: the same saves, each
// once, as kept. Returns received_at per van and seq, in microseconds.
std::vector<std::vector<int64_t>> CheckOffice(office::pq::Connection& conn, const std::string& date,
                                              const std::vector<std::unique_ptr<Van>>& vans) {
    const office::pq::Result rows = conn.Exec(
        "SELECT s.van, s.seq, s.shop, s.uid, s.fingerprint, "
        "  extract(epoch FROM s.saved_at)::bigint, "
        "  (extract(epoch FROM s.received_at) * 1000000)::bigint, "
        "  (SELECT string_agg(d.lev::text, ',' ORDER BY d.article) FROM leverans.deliveries d "
        "   WHERE d.van = s.van AND d.day = s.day AND d.seq = s.seq), "
        "  (SELECT count(*) FROM leverans.deliveries d "
        "   WHERE d.van = s.van AND d.day = s.day AND d.seq = s.seq) "
        "FROM leverans.saves s WHERE s.day = $1::date ORDER BY s.van, s.seq",
        {office::pq::Param::Text(date)});
    std::vector<std::vector<int64_t>> received(vans.size());
    std::size_t checked = 0;
    int deliveries = 0;
    for (std::size_t v = 0; v < vans.size(); ++v) {
        const Van& van = *vans[v];
        const day::JournalContents journal = day::ReadJournal(van.journalPath);
        if (journal.Count() != kShops || journal.articles != kArticles || !journal.day)
            throw std::runtime_error("van " + van.name + "'s journal holds " +
                                     std::to_string(journal.Count()) + " saves");
        const auto articles = static_cast<std::size_t>(journal.articles);
        std::size_t seq = 0;
        for (int row = 0; row < rows.Rows(); ++row) {
            if (rows.Text(row, 0) != van.name) continue;
            const std::string where = "van " + van.name + " save " + std::to_string(seq + 1);
            if (seq >= journal.Count()) throw std::runtime_error(where + ": not in the journal");
            if (rows.Int(row, 1) != static_cast<int64_t>(seq + 1) ||
                rows.Int(row, 2) != journal.kund[seq] || rows.Text(row, 3) != journal.day->uid ||
                rows.Text(row, 4) != journal.meta.fingerprint ||
                rows.Int(row, 5) != EpochOf(journal.savedAt[seq]) ||
                rows.Text(row, 7) != Joined(journal.lev, seq * articles, articles) ||
                rows.Int(row, 8) != journal.articles)
                throw std::runtime_error(where +
                                         ": the office holds it otherwise than the journal");
            deliveries += static_cast<int>(rows.Int(row, 8));
            received[v].push_back(rows.Int(row, 6));
            ++seq;
            ++checked;
        }
        if (seq != journal.Count())
            throw std::runtime_error("van " + van.name + ": the office holds " +
                                     std::to_string(seq) + " of " +
                                     std::to_string(journal.Count()) + " saves");
    }
    if (checked != static_cast<std::size_t>(rows.Rows()))
        throw std::runtime_error("the office holds saves of no van of the fleet");
    std::printf("all %zu saves at the office once, as the journals hold them (%d deliveries)\n",
                checked, deliveries);
    return received;
}

// Nearest rank: the smallest value with at least `share` of the values at
// or below it.
double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

struct DayFigures {
    std::size_t saves = 0;
    double dayMs = 0;
    double acknowledgedP50 = 0;  // Record returned to the commit acknowledged
    double acknowledgedP99 = 0;
    double acknowledgedMax = 0;
    double receivedMin = 0;  // Record returned to the office's transaction begun
    double receivedP50 = 0;
    double receivedP99 = 0;
};

DayFigures FleetDay(FleetCluster& office, const std::string& database, const std::string& date) {
    office_bench::DiskFolder folder;
    office::pq::Connection conn =
        office::pq::Connection::Open(office.ConnectionString("kontor", database));
    std::vector<std::unique_ptr<Van>> vans;
    for (int v = 1; v <= kVans; ++v) {
        auto van = std::make_unique<Van>();
        van->name = std::to_string(v);
        van->role = "bil" + van->name;
        van->routeName = "rutt-" + van->name + ".csv";
        van->routeBytes =
            office_bench::RouteFileText(kArticles, kShops, 1000U + static_cast<unsigned>(v));
        van->journalPath = folder.File(van->routeName + ".journal");
        van->kept.resize(kShops);
        van->confirmed.resize(kShops);
        office::PublishRoute(conn, van->name, date, van->routeName, van->routeBytes);
        vans.push_back(std::move(van));
    }

    std::promise<void> go;
    const std::shared_future<void> start = go.get_future().share();
    std::vector<std::promise<void>> ready(vans.size());
    std::vector<std::thread> threads;
    threads.reserve(vans.size());
    for (std::size_t v = 0; v < vans.size(); ++v)
        threads.emplace_back(DriveVan, std::ref(*vans[v]),
                             office.ConnectionString(vans[v]->role, database), date,
                             std::ref(ready[v]), start, 7U * static_cast<unsigned>(v) + 1U);
    // Every sender in touch with the office before the first save, as a
    // van's is long before its driver reaches the first shop.
    for (auto& one : ready) one.get_future().wait();
    const auto deadline = SteadyClock::now() + 60s;
    while (conn.Exec("SELECT count(DISTINCT van) FROM leverans.heard").Int(0, 0) < kVans &&
           SteadyClock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    const auto begun = SteadyClock::now();
    go.set_value();
    for (std::thread& thread : threads) thread.join();
    const double dayMs = Millis(SteadyClock::now() - begun);

    for (const auto& van : vans) {
        if (!van->failure.empty())
            throw std::runtime_error("van " + van->name + ": " + van->failure);
        if (!van->problems.empty())
            throw std::runtime_error("van " + van->name + "'s sender: " + van->problems.front());
    }
    const std::vector<std::vector<int64_t>> received = CheckOffice(conn, date, vans);

    std::vector<double> toAcknowledged;
    std::vector<double> toReceived;
    for (std::size_t v = 0; v < vans.size(); ++v) {
        const Van& van = *vans[v];
        for (std::size_t i = 0; i < kShops; ++i) {
            if (!van.kept[i] || !van.confirmed[i])
                throw std::runtime_error("van " + van.name + " save " + std::to_string(i + 1) +
                                         ": never kept or never confirmed");
            const Moment& kept = *van.kept[i];
            const Moment& confirmed = *van.confirmed[i];
            // The office began the transaction before it acknowledged the
            // commit; otherwise a confirmation was put down to the wrong save.
            if (received[v][i] > MicrosSinceEpoch(confirmed.wall))
                throw std::runtime_error("van " + van.name + " save " + std::to_string(i + 1) +
                                         ": confirmed before the office received it");
            toAcknowledged.push_back(Millis(confirmed.steady - kept.steady));
            toReceived.push_back(static_cast<double>(received[v][i] - MicrosSinceEpoch(kept.wall)) /
                                 1e3);
        }
    }
    DayFigures figures;
    figures.saves = toAcknowledged.size();
    figures.dayMs = dayMs;
    figures.acknowledgedP50 = Percentile(toAcknowledged, 0.5);
    figures.acknowledgedP99 = Percentile(toAcknowledged, 0.99);
    figures.acknowledgedMax = Percentile(toAcknowledged, 1.0);
    figures.receivedMin = Percentile(toReceived, 0.0);
    figures.receivedP50 = Percentile(toReceived, 0.5);
    figures.receivedP99 = Percentile(toReceived, 0.99);
    return figures;
}

struct Office {
    std::string conninfo;
    std::string date;
};

void BM_Report(benchmark::State& state, const Office* office) {
    office::pq::Connection conn = office::pq::Connection::Open(office->conninfo);
    std::string report;
    for (auto _ : state) {
        report = office::FleetReport(conn, office->date);
        benchmark::DoNotOptimize(report.data());
    }
    const auto lines = std::count(report.begin(), report.end(), '\n');
    if (lines <= 1) state.SkipWithError("an empty report");
    state.counters["lines"] = static_cast<double>(lines - 1);
}

void BM_Status(benchmark::State& state, const Office* office) {
    office::pq::Connection conn = office::pq::Connection::Open(office->conninfo);
    std::string text;
    for (auto _ : state) {
        text = office::StatusText(office::FleetStatus(conn, office->date), office->date);
        benchmark::DoNotOptimize(text.data());
    }
    if (std::count(text.begin(), text.end(), '\n') != kVans)
        state.SkipWithError("not a line per van");
}

void PrintGoal(const std::string& label, double ms, double goal) {
    if (ms <= 0) {
        std::printf("%s: not measured\n", label.c_str());
        return;
    }
    std::printf("%s: %.1f ms (goal <= %.0f ms) %s\n", label.c_str(), ms, goal,
                ms <= goal ? "met" : "MISSED");
}

#ifdef LEVERANS_BINARY
// Runs the program to its end, standard output to `out`; the wall time
// from fork to exit in milliseconds. Throws unless it exits with 0.
double TimedRun(const std::vector<std::string>& argv, const std::string& out) {
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const int file = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (file < 0) throw std::runtime_error("cannot write " + out);
    std::fflush(nullptr);
    const auto begun = SteadyClock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(file, 1);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(file);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        throw std::runtime_error("cannot run " + argv[0]);
    const double ms = Millis(SteadyClock::now() - begun);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[1] + std::string(" ") + argv[2] + " failed (status " +
                                 std::to_string(status) + ")");
    return ms;
}

// The median of the program's runs, after the check of what it wrote.
double ProgramRuns(const std::string& command, const Office& office, const std::string& out,
                   const std::function<void(const std::string&)>& check) {
    std::vector<double> runs;
    for (int run = 0; run < kProgramRuns; ++run) {
        runs.push_back(TimedRun(
            {LEVERANS_BINARY, "kontor", command, office.date, "--kontor", office.conninfo}, out));
        check(office_testing::FileText(out));
    }
    std::sort(runs.begin(), runs.end());
    std::printf("leverans kontor %s, %d runs: %.1f ms median (%.1f-%.1f ms)\n", command.c_str(),
                kProgramRuns, runs[runs.size() / 2], runs.front(), runs.back());
    return runs[runs.size() / 2];
}
#endif

int Run(int argc, char** argv) {
    InitializeWithDefaults(argc, argv, 5, false);

    // A connection for every van's sender, and a few for the office.
    FleetCluster cluster(kVans + 30);
    const std::string database = office_bench::MakeOffice(cluster.Cluster(), kVans);
    const Office office{cluster.ConnectionString("kontor", database),
                        day::LocalTimestampNow().substr(0, 10)};
    const DayFigures day = FleetDay(cluster, database, office.date);

    benchmark::RegisterBenchmark("FleetReport/50x40x100", BM_Report, &office)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("FleetStatus/50", BM_Status, &office)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    double reportProgram = 0;
    double statusProgram = 0;
#ifdef LEVERANS_BINARY
    office_bench::DiskFolder folder;
    office::pq::Connection conn = office::pq::Connection::Open(office.conninfo);
    const std::string report = office::FleetReport(conn, office.date);
    std::printf("\n");
    reportProgram = ProgramRuns(
        "rapport", office, folder.File("rapport.csv"), [&report](const std::string& written) {
            if (written != report)
                throw std::runtime_error("kontor rapport wrote another report than the library");
        });
    statusProgram =
        ProgramRuns("status", office, folder.File("status.txt"), [](const std::string& written) {
            if (std::count(written.begin(), written.end(), '\n') != kVans)
                throw std::runtime_error("kontor status wrote no line per van");
        });
#endif

    std::printf(
        "\nA fleet's day: %d vans x %d saves of %d articles, a save every %d-%d ms per "
        "van, %.0f ms from the first save to the last confirmed\n",
        kVans, kShops, kArticles, kFastestSaveMs, kSlowestSaveMs, day.dayMs);
    std::printf(
        "send latency over %zu saves, Record returned to the commit acknowledged to the "
        "sender: p99 %.1f ms (goal <= %.0f ms) %s; p50 %.1f ms, max %.1f ms\n",
        day.saves, day.acknowledgedP99, kLatencyGoalMs,
        day.acknowledgedP99 <= kLatencyGoalMs ? "met" : "MISSED", day.acknowledgedP50,
        day.acknowledgedMax);
    std::printf(
        "send latency over %zu saves, Record returned to the office's transaction begun "
        "(received_at): p99 %.1f ms, p50 %.1f ms, min %.1f ms (no goal)\n",
        day.saves, day.receivedP99, day.receivedP50, day.receivedMin);
    PrintGoal("kontor rapport, FleetReport over a connection",
              reporter.NanosPerIteration("FleetReport/50x40x100/real_time") / 1e6, kReportGoalMs);
    PrintGoal("kontor status, FleetStatus + StatusText over a connection",
              reporter.NanosPerIteration("FleetStatus/50/real_time") / 1e6, kStatusGoalMs);
    PrintGoal("leverans kontor rapport, the program, wall", reportProgram, kReportGoalMs);
    PrintGoal("leverans kontor status, the program, wall", statusProgram, kStatusGoalMs);
    benchmark::Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunReporting("office_bench", Run, argc, argv); }
