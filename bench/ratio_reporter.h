#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// Console output as usual, plus the time per iteration of every run kept by
// name, so a program can print ratios against a baseline from the same run.
// With repetitions the median is kept, being the least disturbed by noise.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override;

    // Nanoseconds per iteration of the named benchmark (0 if it did not run).
    double NanosPerIteration(const std::string& name) const;
    // Prints "label: measured / baseline = ratio (goal <= goal)".
    void PrintRatio(const std::string& label, const std::string& measured,
                    const std::string& baseline, double goal) const;
    // The same on CPU time, for information (no goal): shows how much of a
    // real-time ratio is waiting rather than work.
    void PrintCpuRatio(const std::string& label, const std::string& measured,
                       const std::string& baseline) const;
    // Prints "label: time / units = time per unit", in microseconds.
    void PrintPerUnit(const std::string& label, const std::string& name, double units,
                      const std::string& unit) const;

private:
    struct Times {
        double real = 0;  // nanoseconds per iteration
        double cpu = 0;
    };
    const Times* Find(const std::string& name) const;

    std::map<std::string, Times> nanos_;
    std::map<std::string, Times> medians_;
};

// Google Benchmark's flags from the command line, with `repetitions`
// repetitions and (when `interleave`) random interleaving of the runs where
// it gives none: a shared disk's or core's moods then fall on both sides of
// a ratio alike.
void InitializeWithDefaults(int argc, char** argv, int repetitions, bool interleave);

// Runs a benchmark program's body and reports an exception instead of
// letting it escape main.
int RunReporting(const char* program, int (*run)(int, char**), int argc, char** argv);
