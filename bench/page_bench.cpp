// The customer page on screen: drawing a page (ShowKund), a whole save
// (Command3_Click through the next page painted), and the grid's paint, each
// on the demo route and on a synthetic route of 2,000 articles. Prints the
// cost per article, and the paint at 2,000 articles against 7: the grid
// paints only the rows in view, so the paint should not grow with the page.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QString>
#include <cstdio>
#include <exception>
#include <memory>
#include <random>
#include <string>

#include "paint_counter.h"
#include "ratio_reporter.h"
#include "route/route.h"
#include "routes.h"
#include "screen/flexgrid.h"
#include "screen/form1.h"

namespace {

constexpr int kLevColumn = 4;
constexpr int kRekColumn = 3;
constexpr int kLargeArticles = 2000;
// Just enough rows for the grid to show its scroll bar, as at 2,000.
constexpr int kScrollingArticles = 20;

// A shown window holding a route of our choice, page 1 on screen.
struct Screen {
    explicit Screen(const route::RouteData& r)
        : form(std::make_unique<route::TimerRandom>(1, [] { return uint64_t{0}; })) {
        form.MessageSink = [this](const QString& text) { message = text; };
        form.Grid1->installEventFilter(&counter);
        form.show();
        QCoreApplication::processEvents();
        Load(r);
        form.Grid1->repaint();
    }

    void Load(const route::RouteData& r) {
        static_cast<route::RouteData&>(form) = r;
        form.ShowKund(form.nAktKund, *form.Grid1);
    }

    // The driver delivers what is recommended.
    void TypeRecommendations() {
        screen::FlexGrid& grid = *form.Grid1;
        for (int row = 1; row < grid.Rows(); ++row)
            grid.SetTextMatrix(row, kLevColumn, grid.TextMatrix(row, kRekColumn));
    }

    // Marks the benchmark failed if the program complained or never painted.
    void Check(benchmark::State& state, long paintsBefore) const {
        if (!message.isEmpty()) state.SkipWithError(qPrintable(message));
        if (counter.paints == paintsBefore) state.SkipWithError("the grid did not paint");
    }

    screen::Form1 form;
    PaintCounter counter;
    QString message;
};

void SetArticles(benchmark::State& state, const route::RouteData& r) {
    state.counters["articles"] = r.colArtikel.Count();
}

void BM_ShowKund(benchmark::State& state, const route::RouteData& r) {
    Screen s(r);
    for (auto _ : state) s.form.ShowKund(1, *s.form.Grid1);
    if (s.form.Grid1->Rows() != r.colArtikel.Count() + 1) state.SkipWithError("wrong page");
    SetArticles(state, r);
}

// From the click on Spara until the next customer's page has been painted.
// Each save starts from the same route with page 1 on screen and painted.
void BM_Save(benchmark::State& state, const route::RouteData& r) {
    Screen s(r);
    const long paintsBefore = s.counter.paints;
    for (auto _ : state) {
        state.PauseTiming();
        s.Load(r);
        s.TypeRecommendations();
        s.form.Grid1->repaint();
        state.ResumeTiming();
        s.form.Command3_Click();
        s.form.Grid1->repaint();
    }
    if (s.form.nSparadKund != 1 || s.form.nAktKund != 2) state.SkipWithError("not saved");
    s.Check(state, paintsBefore);
    SetArticles(state, r);
}

void BM_Paint(benchmark::State& state, const route::RouteData& r) {
    Screen s(r);
    const long paintsBefore = s.counter.paints;
    for (auto _ : state) s.form.Grid1->repaint();
    s.Check(state, paintsBefore);
    SetArticles(state, r);
}

int Run(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const route::RouteData demo = DemoRoute();
    const route::RouteData large = SyntheticRoute(kLargeArticles, 5);
    const route::RouteData scrolling = SyntheticRoute(kScrollingArticles, 5);
    const int demoArticles = demo.colArtikel.Count();
    const auto us = benchmark::kMicrosecond;
    benchmark::RegisterBenchmark("ShowKund/demo", BM_ShowKund, demo)->Unit(us);
    benchmark::RegisterBenchmark("ShowKund/2000", BM_ShowKund, large)->Unit(us);
    benchmark::RegisterBenchmark("Save/demo", BM_Save, demo)->Unit(us);
    benchmark::RegisterBenchmark("Save/2000", BM_Save, large)->Unit(us);
    benchmark::RegisterBenchmark("Paint/demo", BM_Paint, demo)->Unit(us);
    benchmark::RegisterBenchmark("Paint/20", BM_Paint, scrolling)->Unit(us);
    benchmark::RegisterBenchmark("Paint/2000", BM_Paint, large)->Unit(us);

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nCustomer page, per article\n");
    reporter.PrintPerUnit("ShowKund, demo route", "ShowKund/demo", demoArticles, "article");
    reporter.PrintPerUnit("ShowKund, 2000 articles", "ShowKund/2000", kLargeArticles, "article");
    reporter.PrintPerUnit("save to next page painted, demo route", "Save/demo", demoArticles,
                          "article");
    reporter.PrintPerUnit("save to next page painted, 2000 articles", "Save/2000", kLargeArticles,
                          "article");
    std::printf("\nGrid paint, 2000 articles / demo route (only the rows in view are painted)\n");
    reporter.PrintRatio("grid paint, 2000 vs 7 articles", "Paint/2000", "Paint/demo", 2.0);
    reporter.PrintCpuRatio("grid paint, 2000 vs 7 articles, CPU time", "Paint/2000", "Paint/demo");
    // The demo page fits without a scroll bar; this compares like with like.
    reporter.PrintRatio("grid paint, 2000 vs 20 articles, both with scroll bar", "Paint/2000",
                        "Paint/20", 2.0);
    benchmark::Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunReporting("page_bench", Run, argc, argv); }
