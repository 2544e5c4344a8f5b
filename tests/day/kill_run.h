#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Crash runs: a scripted day of saves made through the window's save path
// in a child process that is killed with SIGKILL at random moments, again
// and again, each new child carrying on the day from what the journal
// holds. After every kill the journal is reopened and checked against a
// plain model of the script.
namespace testing_support {

struct KillRunReport {
    int kills = 0;                // children killed
    int runs = 0;                 // children started (a child that ends its day is not killed)
    int64_t acknowledged = 0;     // saves the children reported done, over all runs
    int keptUnacknowledged = 0;   // kills between a commit and its acknowledgement
    int killedBeforeJournal = 0;  // kills before the day's journal existed
    int days = 0;                 // days carried through to their last save
    double seconds = 0;
    std::vector<std::string> failures;
};

// Runs until `kills` children have been killed (or a run goes wrong too
// often), in folder, with every random choice drawn from seed.
KillRunReport RunKills(const std::string& folder, int kills, uint64_t seed);

std::string Summary(const KillRunReport& report, uint64_t seed);

}  // namespace testing_support
