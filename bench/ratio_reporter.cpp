#include "ratio_reporter.h"

#include <cstdio>
#include <exception>

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.iterations <= 0) continue;
        const auto iterations = static_cast<double>(run.iterations);
        const Times times{run.real_accumulated_time / iterations * 1e9,
                          run.cpu_accumulated_time / iterations * 1e9};
        if (run.run_type == Run::RT_Iteration) {
            nanos_[run.run_name.str()] = times;
        } else if (run.aggregate_name == "median" &&
                   run.aggregate_unit == benchmark::StatisticUnit::kTime) {
            medians_[run.run_name.str()] = times;
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

const RatioReporter::Times* RatioReporter::Find(const std::string& name) const {
    if (auto it = medians_.find(name); it != medians_.end()) return &it->second;
    auto it = nanos_.find(name);
    return it == nanos_.end() ? nullptr : &it->second;
}

double RatioReporter::NanosPerIteration(const std::string& name) const {
    const Times* t = Find(name);
    return t ? t->real : 0.0;
}

void RatioReporter::PrintCpuRatio(const std::string& label, const std::string& measured,
                                  const std::string& baseline) const {
    const Times* m = Find(measured);
    const Times* b = Find(baseline);
    if (!m || !b || m->cpu <= 0 || b->cpu <= 0) {
        std::printf("%s: not measured\n", label.c_str());
        return;
    }
    std::printf("%s: %.1f ns / %.1f ns = %.2f (no goal)\n", label.c_str(), m->cpu, b->cpu,
                m->cpu / b->cpu);
}

void RatioReporter::PrintRatio(const std::string& label, const std::string& measured,
                               const std::string& baseline, double goal) const {
    double m = NanosPerIteration(measured);
    double b = NanosPerIteration(baseline);
    if (m <= 0 || b <= 0) {
        std::printf("%s: not measured\n", label.c_str());
        return;
    }
    double ratio = m / b;
    std::printf("%s: %.1f ns / %.1f ns = %.2f (goal <= %.2f) %s\n", label.c_str(), m, b, ratio,
                goal, ratio <= goal ? "met" : "MISSED");
}

void RatioReporter::PrintPerUnit(const std::string& label, const std::string& name, double units,
                                 const std::string& unit) const {
    double m = NanosPerIteration(name);
    if (m <= 0 || units <= 0) {
        std::printf("%s: not measured\n", label.c_str());
        return;
    }
    std::printf("%s: %.1f us / %.0f %ss = %.3f us per %s\n", label.c_str(), m / 1e3, units,
                unit.c_str(), m / 1e3 / units, unit.c_str());
}

int RunReporting(const char* program, int (*run)(int, char**), int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", program, e.what());
        return 1;
    }
}

void InitializeWithDefaults(int argc, char** argv, int repetitions, bool interleave) {
    // Kept for the program's life: the library may keep pointers into them.
    static std::vector<std::string> added;
    static std::vector<char*> args;
    args.assign(argv, argv + argc);
    auto given = [&](const std::string& flag) {
        for (int i = 1; i < argc; ++i)
            if (std::string(argv[i]).rfind(flag, 0) == 0) return true;
        return false;
    };
    if (!given("--benchmark_repetitions"))
        added.push_back("--benchmark_repetitions=" + std::to_string(repetitions));
    if (interleave && !given("--benchmark_enable_random_interleaving"))
        added.emplace_back("--benchmark_enable_random_interleaving=true");
    for (std::string& arg : added) args.push_back(arg.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
}
