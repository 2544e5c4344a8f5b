#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// Console output as usual, plus the time per iteration of every run kept by
// name, so a program can print ratios against a baseline from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Nanoseconds per iteration of the named benchmark (0 if it did not run).
    double NanosPerIteration(const std::string& name) const;
    // Prints "label: measured / baseline = ratio (goal <= goal)".
    void PrintRatio(const std::string& label, const std::string& measured,
                    const std::string& baseline, double goal) const;

private:
    std::map<std::string, double> nanos_;
};
