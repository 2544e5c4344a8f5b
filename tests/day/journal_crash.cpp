// Long crash runs: journal_crash [kills] [seed]. Prints kills, saves and
// every failure with the seed that finds it; exits 1 on any failure.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>

#include "journal_fixture.h"
#include "kill_run.h"

int main(int argc, char** argv) {
    try {
        const auto kills = argc > 1 ? static_cast<int>(std::strtol(argv[1], nullptr, 10)) : 2000;
        const uint64_t seed =
            argc > 2 ? std::strtoull(argv[2], nullptr, 10) : std::random_device{}();
        testing_support::TempDir dir;
        const testing_support::KillRunReport report =
            testing_support::RunKills(dir.path(), kills, seed);
        for (const std::string& failure : report.failures)
            std::printf("FAIL %s\n", failure.c_str());
        std::printf("journal_crash: %s\n", testing_support::Summary(report, seed).c_str());
        return report.failures.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "journal_crash: %s\n", e.what());
        return 2;
    }
}
