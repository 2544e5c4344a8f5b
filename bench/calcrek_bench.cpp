// CalcRek on the demo route and on a large synthetic one, each against a
// baseline that does the same double arithmetic on plain arrays without any
// checks. Prints CalcRek / baseline per route.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <exception>
#include <random>
#include <vector>

#include "ratio_reporter.h"
#include "route/route.h"
#include "routes.h"

namespace {

// The same layout as plain arrays: order[k][a], stock[a], rek[k][a].
struct Plain {
    int articles, customers, first;
    std::vector<int16_t> order, stock, sum, rek;
};

Plain PlainCopy(const route::RouteData& r) {
    Plain p{r.colArtikel.Count(), r.colKund.Count(), r.nSparadKund + 1, {}, {}, {}, {}};
    auto n = static_cast<std::size_t>(p.articles);
    p.order.resize(n * static_cast<std::size_t>(p.customers + 1));
    p.rek.resize(p.order.size());
    p.stock.resize(n);
    p.sum.resize(n);
    for (int a = 1; a <= p.articles; ++a) {
        p.stock[a - 1] = r.nAntal(a, route::kBest, route::kVan);
        for (int k = 1; k <= p.customers; ++k)
            p.order[k * n + a - 1] = r.nAntal(a, route::kBest, k);
    }
    return p;
}

void PlainRek(Plain& p) {
    auto n = static_cast<std::size_t>(p.articles);
    for (std::size_t a = 0; a < n; ++a) {
        int sum = 0;
        for (int k = p.first; k <= p.customers; ++k) sum += p.order[k * n + a];
        p.sum[a] = static_cast<int16_t>(sum);
        double perUnit = p.stock[a] / (sum == 0 ? 1.0 : static_cast<double>(sum));
        for (int k = p.first; k <= p.customers; ++k)
            p.rek[k * n + a] = static_cast<int16_t>(std::nearbyint(perUnit * p.order[k * n + a]));
    }
}

void BM_CalcRek(benchmark::State& state, route::RouteData route) {
    for (auto _ : state) {
        route::CalcRek(route);
        benchmark::DoNotOptimize(route.nAntal(1, route::kRek, route.colKund.Count()));
    }
    state.counters["cells"] =
        benchmark::Counter(static_cast<double>(route.colArtikel.Count()) * route.colKund.Count(),
                           benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Baseline(benchmark::State& state, const route::RouteData& route) {
    Plain p = PlainCopy(route);
    for (auto _ : state) {
        PlainRek(p);
        benchmark::DoNotOptimize(p.rek.data());
        benchmark::ClobberMemory();
    }
}

int Run(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const route::RouteData demo = DemoRoute();
    route::RouteData large = SyntheticRoute(1000, 1000);
    large.nSparadKund = 1;  // one saved, as on the page after the first save
    benchmark::RegisterBenchmark("CalcRek/demo", BM_CalcRek, demo);
    benchmark::RegisterBenchmark("Baseline/demo", BM_Baseline, demo);
    benchmark::RegisterBenchmark("CalcRek/1000x1000", BM_CalcRek, large)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Baseline/1000x1000", BM_Baseline, large)
        ->Unit(benchmark::kMillisecond);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nCalcRek / baseline (same arithmetic on plain arrays, no checks)\n");
    reporter.PrintRatio("demo route, 7 x 4", "CalcRek/demo", "Baseline/demo", 1.5);
    reporter.PrintRatio("synthetic, 1000 x 1000", "CalcRek/1000x1000", "Baseline/1000x1000", 1.5);
    benchmark::Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunReporting("calcrek_bench", Run, argc, argv); }
