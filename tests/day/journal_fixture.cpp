#include "journal_fixture.h"

#include "day/fingerprint.h"
#include "day/journal_file.h"
#include "day/sqlite.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sqlite3.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <variant>

namespace testing_support {

namespace fs = std::filesystem;

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/leverans-day-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // A test may have left a folder read-only.
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored))
        if (entry.is_directory(ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::map<std::string, std::string> FolderSnapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        // Size and fingerprint: a difference shows without pages of bytes.
        const std::string bytes = ReadBytes(entry.path().string());
        files[entry.path().filename().string()] =
            std::to_string(bytes.size()) + " bytes, " + day::Fingerprint(bytes).substr(0, 16);
    }
    return files;
}

std::vector<std::string> FileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : FolderSnapshot(folder)) names.push_back(entry.first);
    return names;
}

route::RouteSheet SmallSheet() {
    return route::RouteSheet{{"108 Skivad J.F.", "116 Jätterasker", "120 Lyxfranska"},
                             {"Maxi tur 1", "ICA Butiken", "Lokala Statoil", "Konsum"},
                             {30, 20, 25},
                             {{8, 6, 4, 10}, {5, 5, 5, 5}, {0, 12, 3, 9}}};
}

std::string SheetBytes(const route::RouteSheet& sheet) {
    std::string text = "Artikel;Lager";
    // Appended piece by piece: "x" + std::string temporaries trip a false
    // -Wrestrict of GCC 12 at -O3.
    for (const auto& kund : sheet.customers) text.append(";").append(kund);
    text += "\r\n";
    for (std::size_t a = 0; a < sheet.articles.size(); ++a) {
        text.append(sheet.articles[a]).append(";").append(std::to_string(sheet.lager[a]));
        for (int16_t order : sheet.orders[a]) text.append(";").append(std::to_string(order));
        text += "\r\n";
    }
    return text;
}

route::RouteData Started(const route::RouteSheet& sheet) {
    route::RouteData route;
    route::StartRoute(route, sheet);
    return route;
}

std::optional<std::string> SaveThrough(route::RouteData& route, day::Journal& journal, int16_t kund,
                                       const std::vector<std::string>& levTexts) {
    route::SaveOutcome outcome = route::PlanSave(route, kund, levTexts);
    const auto* plan = std::get_if<route::SavePlan>(&outcome);
    if (!plan) throw std::logic_error("the test's save was refused by the route");
    try {
        journal.Record(*plan);
    } catch (const route::JournalError& e) {
        return e.what();
    }
    route::ApplySave(route, *plan);
    // "Visa nästa", which ends every save.
    if (kund < route.colKund.Count()) route.nAktKund = static_cast<int16_t>(kund + 1);
    return std::nullopt;
}

void ExpectSameRoute(const route::RouteData& actual, const route::RouteData& expected) {
    ASSERT_EQ(actual.colArtikel.Count(), expected.colArtikel.Count());
    ASSERT_EQ(actual.colKund.Count(), expected.colKund.Count());
    EXPECT_EQ(actual.nSparadKund, expected.nSparadKund);
    EXPECT_EQ(actual.nAktKund, expected.nAktKund);
    for (int a = 1; a <= expected.colArtikel.Count(); ++a) {
        EXPECT_EQ(actual.nAntal(a, route::kBest, route::kVan),
                  expected.nAntal(a, route::kBest, route::kVan))
            << "Lager of article " << a;
        for (int k = 1; k <= expected.colKund.Count(); ++k) {
            EXPECT_EQ(actual.nAntal(a, route::kLev, k), expected.nAntal(a, route::kLev, k))
                << "Lev of article " << a << ", customer " << k;
            EXPECT_EQ(actual.nAntal(a, route::kBest, k), expected.nAntal(a, route::kBest, k));
        }
    }
}

void ExpectStockBalances(const route::RouteData& route, const route::RouteSheet& sheet) {
    for (int a = 1; a <= route.colArtikel.Count(); ++a) {
        int expected = sheet.lager[static_cast<std::size_t>(a - 1)];
        for (int k = 1; k <= route.nSparadKund; ++k) expected -= route.nAntal(a, route::kLev, k);
        EXPECT_EQ(route.nAntal(a, route::kBest, route::kVan), expected) << "article " << a;
    }
}

int RunInChild(const std::function<void()>& body) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int code = 0;
        try {
            body();
            code = ::testing::Test::HasFailure() ? 1 : 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child: %s\n", e.what());
            code = 2;
        }
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool ExitedCleanly(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

void CrashWriter(const std::string& journalPath, const route::RouteSheet& sheet,
                 const std::vector<std::vector<std::string>>& saves, std::size_t inLogOnly) {
    int ready[2];
    if (pipe(ready) != 0) throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        close(ready[0]);
        try {
            route::RouteData route = Started(sheet);
            day::Journal journal = day::Journal::Open(journalPath, "tisdag.csv", SheetBytes(sheet),
                                                      day::Journal::Mode::ReadWrite);
            journal.Replay(route);
            const std::size_t checkpointed = saves.size() - std::min(inLogOnly, saves.size());
            for (std::size_t i = 0; i < checkpointed; ++i)
                if (SaveThrough(route, journal, static_cast<int16_t>(i + 1), saves[i])) _exit(3);
            // The rest as an earlier version committed them: into a
            // write-ahead log, not yet into the file.
            day::sql::Connection raw(journalPath, SQLITE_OPEN_READWRITE);
            raw.Execute("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0");
            for (std::size_t i = checkpointed; i < saves.size(); ++i) {
                day::sql::Transaction transaction(raw, day::sql::Transaction::Kind::Immediate);
                day::sql::Statement save(raw, day::kInsertSave);
                save.Bind(1, static_cast<int64_t>(i + 1));
                save.Bind(2, static_cast<int64_t>(i + 1));
                save.Bind(3, std::string_view("2026-12-07T10:00:00+01:00"));
                save.Step();
                day::sql::Statement delivery(raw, day::kInsertDelivery);
                for (std::size_t a = 0; a < saves[i].size(); ++a) {
                    delivery.Bind(1, static_cast<int64_t>(i + 1));
                    delivery.Bind(2, static_cast<int64_t>(a + 1));
                    delivery.Bind(3, static_cast<int64_t>(std::stoi(saves[i][a])));
                    delivery.Step();
                    delivery.Reset();
                }
                transaction.Commit();
            }
            const char done = 1;
            if (write(ready[1], &done, 1) != 1) _exit(4);
            for (;;) pause();  // holding the journal open until killed
        } catch (const std::exception& e) {
            std::fprintf(stderr, "crash writer: %s\n", e.what());
        }
        _exit(2);
    }
    close(ready[1]);
    char done = 0;
    const ssize_t got = read(ready[0], &done, 1);
    close(ready[0]);
    kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (got != 1) throw std::runtime_error("the crash writer did not get its saves made");
}

void DropFilePermissionOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) throw std::runtime_error("capget failed");
    const uint32_t bypass =
        (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    data[0].effective &= ~bypass;
    data[0].permitted &= ~bypass;
    if (syscall(SYS_capset, &header, data) != 0) throw std::runtime_error("capset failed");
}

}  // namespace testing_support
