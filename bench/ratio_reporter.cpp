#include "ratio_reporter.h"

#include <cstdio>

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.iterations > 0 && run.run_type == Run::RT_Iteration) {
            double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            nanos_[run.benchmark_name()] = seconds * 1e9;
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

double RatioReporter::NanosPerIteration(const std::string& name) const {
    auto it = nanos_.find(name);
    return it == nanos_.end() ? 0.0 : it->second;
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
