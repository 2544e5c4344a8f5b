// kill -9 at random moments while saving: every acknowledged save survives,
// also in a copy of the journal file alone, no half save exists, and the
// journal replays to the state a plain model of the same saves gives. JOURNAL_KILLS and
// JOURNAL_KILL_SEED override the number of kills and the seed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "journal_fixture.h"
#include "kill_run.h"

namespace {

uint64_t FromEnvironment(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST(JournalKill, EveryAcknowledgedSaveSurvivesKill9) {
    const auto kills = static_cast<int>(FromEnvironment("JOURNAL_KILLS", 200));
    const uint64_t seed = FromEnvironment("JOURNAL_KILL_SEED", 20261207);
    testing_support::TempDir dir;
    const testing_support::KillRunReport report =
        testing_support::RunKills(dir.path(), kills, seed);
    std::printf("%s\n", testing_support::Summary(report, seed).c_str());
    for (const std::string& failure : report.failures) ADD_FAILURE() << failure;
    EXPECT_EQ(report.kills, kills);
    // Kills must also have landed between a commit and its acknowledgement,
    // and in whole days carried through, or the run proved less than it says.
    EXPECT_GT(report.keptUnacknowledged, 0);
    EXPECT_GT(report.days, 0);
    EXPECT_GT(report.acknowledged, kills / 2);
}

}  // namespace
