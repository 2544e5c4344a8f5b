#include "kill_run.h"

#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>
#include <variant>

#include "day/journal.h"
#include "day/sqlite.h"
#include "journal_fixture.h"
#include "route/route.h"

namespace testing_support {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kArticles = 6;
constexpr int kCustomers = 9;
constexpr const char* kRouteName = "dag.csv";

struct ScriptedSave {
    int16_t kund;
    std::vector<int16_t> lev;
};

route::RouteSheet KillSheet(uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_int_distribution<int> order(0, 9);
    route::RouteSheet sheet;
    for (int k = 1; k <= kCustomers; ++k) sheet.customers.push_back("Kund " + std::to_string(k));
    for (int a = 1; a <= kArticles; ++a) {
        sheet.articles.push_back("Artikel " + std::to_string(a));
        std::vector<int16_t> orders;
        int sum = 0;
        for (int k = 1; k <= kCustomers; ++k) {
            orders.push_back(static_cast<int16_t>(order(random)));
            sum += orders.back();
        }
        sheet.orders.push_back(orders);
        sheet.lager.push_back(static_cast<int16_t>(sum + 5));
    }
    return sheet;
}

// A driver's day: the customers in order, now and then one skipped or the
// last one saved again to correct it, deliveries near the orders (a few
// returned, -1).
std::vector<ScriptedSave> DayScript(const route::RouteSheet& sheet, uint64_t seed, int day) {
    std::mt19937_64 random(seed * 1000003 + static_cast<uint64_t>(day));
    std::uniform_int_distribution<int> choice(0, 9);
    std::vector<ScriptedSave> script;
    int next = 1;
    int last = 0;
    while (next <= kCustomers) {
        const int pick = choice(random);
        int kund = 0;
        if (last > 0 && pick < 2) {
            kund = last;
        } else {
            if (pick == 2 && next < kCustomers) ++next;
            kund = next++;
        }
        ScriptedSave save{static_cast<int16_t>(kund), {}};
        for (int a = 0; a < kArticles; ++a) {
            const int best =
                sheet.orders[static_cast<std::size_t>(a)][static_cast<std::size_t>(kund - 1)];
            save.lev.push_back(
                static_cast<int16_t>(std::uniform_int_distribution<int>(-1, best + 2)(random)));
        }
        script.push_back(save);
        last = kund;
    }
    return script;
}

// The state the first n saves of the script should leave, on plain ints.
struct Model {
    std::vector<int> lager;
    std::vector<std::vector<int>> lev;  // [customer - 1][article - 1]
    int sparad = 0;

    Model(const route::RouteSheet& sheet, const std::vector<ScriptedSave>& script, int64_t n)
        : lager(sheet.lager.begin(), sheet.lager.end()),
          lev(kCustomers, std::vector<int>(kArticles, 0)) {
        for (int64_t i = 0; i < n; ++i) {
            const ScriptedSave& save = script[static_cast<std::size_t>(i)];
            std::vector<int>& row = lev[static_cast<std::size_t>(save.kund - 1)];
            for (std::size_t a = 0; a < kArticles; ++a) {
                lager[a] += row[a] - save.lev[a];
                row[a] = save.lev[a];
            }
            sparad = save.kund;
        }
    }
};

[[noreturn]] void RunChild(const std::string& path, const route::RouteSheet& sheet,
                           const std::vector<ScriptedSave>& script, int ackFd) {
    try {
        route::RouteData route = Started(sheet);
        day::Journal journal =
            day::Journal::Open(path, kRouteName, SheetBytes(sheet), day::Journal::Mode::ReadWrite);
        journal.Replay(route);
        for (auto i = static_cast<std::size_t>(journal.SaveCount()); i < script.size(); ++i) {
            std::vector<std::string> texts;
            for (int16_t lev : script[i].lev) texts.push_back(std::to_string(lev));
            // The window's road: plan every cell, keep it on disk, then apply.
            route::SaveOutcome outcome = route::PlanSave(route, script[i].kund, texts);
            const auto* plan = std::get_if<route::SavePlan>(&outcome);
            if (!plan) _exit(4);
            journal.Record(*plan);
            route::ApplySave(route, *plan);
            const auto done = static_cast<uint32_t>(i + 1);
            if (write(ackFd, &done, sizeof done) != sizeof done) _exit(5);
        }
        _exit(0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "crash run child: %s\n", e.what());
    }
    _exit(3);
}

enum class Ack { Got, Ended, TimedOut };

Ack ReadAck(int fd, int timeoutMs, uint32_t& value) {
    pollfd waiting{fd, POLLIN, 0};
    const int ready = poll(&waiting, 1, timeoutMs);
    if (ready == 0) return Ack::TimedOut;
    const ssize_t got = read(fd, &value, sizeof value);
    return got == sizeof value ? Ack::Got : Ack::Ended;
}

void RemoveJournal(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", ".lock", ".new", ".next"})
        fs::remove(path + suffix);
}

// Straight from the tables, without the journal's own checks: n saves
// numbered 1..n, each with a row for every article, and no other rows.
std::string CheckRows(const std::string& path, int64_t n) {
    day::sql::Connection db(path, SQLITE_OPEN_READONLY);
    if (db.QueryInt("SELECT count(*) FROM saves") != n) return "save rows do not match";
    if (n > 0 && db.QueryInt("SELECT min(seq) = 1 AND max(seq) = count(*) FROM saves") != 1)
        return "saves not numbered 1..n";
    const std::string incomplete =
        "SELECT count(*) FROM (SELECT seq FROM deliveries GROUP BY seq HAVING count(*) != " +
        std::to_string(kArticles) + ")";
    if (db.QueryInt(incomplete.c_str()) != 0) return "a save without all its delivery rows";
    if (db.QueryInt("SELECT count(*) FROM deliveries WHERE seq NOT IN (SELECT seq FROM saves)") !=
        0)
        return "delivery rows of no save";
    if (db.QueryInt("SELECT count(*) FROM deliveries") != n * kArticles)
        return "delivery rows do not match";
    return {};
}

// The journal after a kill: returns the number of saves in it, or -1 with
// the failure added.
int64_t Check(const std::string& path, const route::RouteSheet& sheet,
              const std::vector<ScriptedSave>& script, std::vector<std::string>& problems,
              bool rows) {
    if (!fs::exists(path)) return 0;
    route::RouteData route = Started(sheet);
    int64_t n = 0;
    {
        day::Journal journal =
            day::Journal::Open(path, kRouteName, SheetBytes(sheet), day::Journal::Mode::ReadOnly);
        n = journal.SaveCount();
        journal.Replay(route);
    }
    if (n > static_cast<int64_t>(script.size())) {
        problems.emplace_back("more saves than the script has");
        return -1;
    }
    const Model model(sheet, script, n);
    std::ostringstream wrong;
    if (route.nSparadKund != model.sparad) wrong << "nSparadKund " << route.nSparadKund << "; ";
    const int aktKund = model.sparad == 0 ? 1 : std::min(model.sparad + 1, kCustomers);
    if (route.nAktKund != aktKund) wrong << "nAktKund " << route.nAktKund << "; ";
    for (int a = 1; a <= kArticles; ++a) {
        const auto ai = static_cast<std::size_t>(a - 1);
        if (route.nAntal(a, route::kBest, route::kVan) != model.lager[ai])
            wrong << "Lager of article " << a << "; ";
        int balance = sheet.lager[ai];
        for (int k = 1; k <= kCustomers; ++k) {
            const int lev = route.nAntal(a, route::kLev, k);
            if (lev != model.lev[static_cast<std::size_t>(k - 1)][ai])
                wrong << "Lev of article " << a << " customer " << k << "; ";
            if (k <= route.nSparadKund) balance -= lev;
        }
        if (route.nAntal(a, route::kBest, route::kVan) != balance)
            wrong << "stock balance of article " << a << "; ";
    }
    if (rows) {
        if (const std::string faults = CheckRows(path, n); !faults.empty()) wrong << faults;
    }
    if (!wrong.str().empty()) {
        problems.push_back("after " + std::to_string(n) + " saves: " + wrong.str());
        return -1;
    }
    return n;
}

void AddFailure(KillRunReport& report, const std::string& where, const std::string& what) {
    report.failures.push_back(where + ": " + what);
}

}  // namespace

KillRunReport RunKills(const std::string& folder, int kills, uint64_t seed) {
    KillRunReport report;
    const auto started = Clock::now();
    const std::string path = folder + "/dag.csv.journal";
    const route::RouteSheet sheet = KillSheet(seed);
    std::mt19937_64 random(seed);
    int day = 0;
    std::vector<ScriptedSave> script = DayScript(sheet, seed, day);
    int64_t inJournal = 0;  // saves the journal held when the child started
    RemoveJournal(path);
    // How long a child takes to open the journal and to make a save, learnt
    // as the run goes, so that kills fall inside those whatever the disk's
    // speed.
    double startMicros = 10'000;
    double saveMicros = 5'000;
    auto learn = [](double& estimate, Clock::duration sample) {
        estimate = 0.8 * estimate + 0.2 * std::chrono::duration<double, std::micro>(sample).count();
    };

    const int maxRuns = 3 * kills + 10;
    while (report.kills < kills && report.runs < maxRuns && report.failures.size() < 20) {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        std::fflush(nullptr);
        const auto forked = Clock::now();
        const pid_t pid = fork();
        if (pid < 0) throw std::runtime_error("fork failed");
        if (pid == 0) {
            close(pipeFds[0]);
            RunChild(path, sheet, script, pipeFds[1]);
        }
        close(pipeFds[1]);
        ++report.runs;
        const std::string where = "seed " + std::to_string(seed) + ", day " + std::to_string(day) +
                                  ", run " + std::to_string(report.runs);
        auto fail = [&](const std::string& what) { AddFailure(report, where, what); };

        // When to kill: after a random time from the start, right after an
        // acknowledgement, or a little after one.
        std::vector<uint32_t> acks;
        bool ended = false;
        const int mode = std::uniform_int_distribution<int>(0, 2)(random);
        auto lastAck = forked;
        auto waitForAcks = [&](int wanted) {
            for (int got = 0; got < wanted && !ended;) {
                uint32_t value = 0;
                const Ack ack = ReadAck(pipeFds[0], 10'000, value);
                if (ack == Ack::Got) {
                    const auto now = Clock::now();
                    learn(acks.empty() ? startMicros : saveMicros, now - lastAck);
                    lastAck = now;
                    acks.push_back(value);
                    ++got;
                } else {
                    // The day is done or the child failed; a child that
                    // neither saves nor ends is stuck, and no kill proves
                    // anything about it.
                    if (ack == Ack::TimedOut) fail("the child hung: no save in 10 s");
                    ended = true;
                }
            }
        };
        auto sleepUpTo = [&](double micros) {
            std::this_thread::sleep_for(std::chrono::microseconds(
                std::uniform_int_distribution<int>(0, static_cast<int>(micros))(random)));
        };
        if (mode == 0) {
            sleepUpTo(startMicros + 3 * saveMicros);
        } else {
            waitForAcks(std::uniform_int_distribution<int>(1, 3)(random));
            if (mode == 2 && !ended) sleepUpTo(saveMicros);
        }
        kill(pid, SIGKILL);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        for (uint32_t value = 0; ReadAck(pipeFds[0], 1'000, value) == Ack::Got;)
            acks.push_back(value);
        close(pipeFds[0]);

        // What a driver copies to a stick after the crash: the journal file
        // alone, before anything opens the journal again.
        const std::string copy = folder + "/kopia.journal";
        fs::remove(copy);
        if (fs::exists(path)) fs::copy_file(path, copy);

        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        const bool dayDone = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (killed) ++report.kills;
        if (!killed && !dayDone) fail("the child failed (status " + std::to_string(status) + ")");
        report.acknowledged += static_cast<int64_t>(acks.size());
        for (std::size_t i = 0; i < acks.size(); ++i)
            if (acks[i] != inJournal + static_cast<int64_t>(i) + 1)
                fail("acknowledgements out of order");
        const int64_t acknowledged = acks.empty() ? inJournal : acks.back();
        if (killed && !fs::exists(path)) ++report.killedBeforeJournal;

        int64_t found = -1;
        std::vector<std::string> problems;
        try {
            if (fs::exists(copy)) {
                // The copy alone holds every acknowledged save too.
                const int64_t copied = Check(copy, sheet, script, problems, false);
                if (copied >= 0 && copied < acknowledged)
                    problems.push_back("a copy of the journal alone has " + std::to_string(copied) +
                                       " saves, " + std::to_string(acknowledged) + " acknowledged");
            }
            found = Check(path, sheet, script, problems, true);
        } catch (const std::exception& e) {
            problems.emplace_back(e.what());
        }
        for (const std::string& problem : problems) fail(problem);
        if (found >= 0) {
            // Every acknowledged save is there, and at most the one being
            // acknowledged when the kill came is there besides.
            if (found < acknowledged || found > acknowledged + 1)
                fail(std::to_string(found) + " saves found, " + std::to_string(acknowledged) +
                     " acknowledged");
            if (found == acknowledged + 1) ++report.keptUnacknowledged;
            if (dayDone && found != static_cast<int64_t>(script.size()))
                fail("the day ended short");
        }
        if (found < 0 || found == static_cast<int64_t>(script.size())) {
            if (found >= 0) ++report.days;
            RemoveJournal(path);
            script = DayScript(sheet, seed, ++day);
            inJournal = 0;
        } else {
            inJournal = found;
        }
    }
    if (report.kills < kills)
        report.failures.push_back("only " + std::to_string(report.kills) + " kills in " +
                                  std::to_string(report.runs) + " runs");
    report.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return report;
}

std::string Summary(const KillRunReport& report, uint64_t seed) {
    std::ostringstream text;
    text << "seed " << seed << ": " << report.kills << " kills in " << report.runs << " runs, "
         << report.acknowledged << " acknowledged saves, " << report.keptUnacknowledged
         << " kept without acknowledgement, " << report.killedBeforeJournal
         << " kills before the journal existed, " << report.days << " days completed, "
         << report.failures.size() << " failures, " << report.seconds << " s";
    return text.str();
}

}  // namespace testing_support
