// The window's save with an office, against the same without one: from the
// click on Spara (Command3_Click) until the next shop's page is painted, on
// a route of 100 articles and 40 shops whose journal is on the disk
// (JOURNAL_BENCH_DIR, else TMPDIR, else /var/tmp).
//   WithOffice  the journal wrapped as the program wraps it: every Record
//               also tells an office::Sender, which sends the save to a
//               throw-away PostgreSQL 15 (Unix socket) in its own thread
//               while the window draws the next page
//   Alone       the same window and journal, no sender
// A run is a van's whole day: the 40 shops saved one after the other on a
// fresh journal (with the office, on a day of its own there), so both sides
// write journals of the same sizes. Runs of the two are repeated and
// interleaved at random. Prints with / without (goal <= 1.1).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QMetaObject>
#include <QString>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "day/fingerprint.h"
#include "office/fleet.h"
#include "office/pq.h"
#include "office/sender.h"
#include "office_support.h"
#include "paint_counter.h"
#include "ratio_reporter.h"
#include "screen/flexgrid.h"
#include "screen/form1.h"

namespace {

using namespace std::chrono_literals;

constexpr int kArticles = 100;
constexpr int kShops = 40;
constexpr int kLevColumn = 4;
constexpr int kRekColumn = 3;
constexpr const char* kVan = "1";

struct Setup {
    office_testing::Cluster cluster;
    std::string database = office_bench::MakeOffice(cluster, 1);
    office::pq::Connection office =
        office::pq::Connection::Open(cluster.ConnectionString("kontor", database));
    std::string routeBytes = office_bench::RouteFileText(kArticles, kShops, 1);
    office_bench::DiskFolder folder;
    int runs = 0;
    int days = 0;

    // The route published for the van on a day no run has used: a new
    // journal is a new day at the office.
    std::string PublishNextDay() {
        std::tm first{};
        first.tm_year = 2031 - 1900;
        first.tm_mday = 1 + days++;
        const std::time_t moment = timegm(&first);
        std::tm when{};
        gmtime_r(&moment, &when);
        char date[16];
        std::strftime(date, sizeof date, "%Y-%m-%d", &when);
        office::PublishRoute(office, kVan, date, "rutt.csv", routeBytes);
        return date;
    }
    // The latest contact: one row per van, moved on at each.
    std::string Heard() {
        return office.Exec("SELECT coalesce(max(at)::text, '') FROM leverans.heard").Text(0, 0);
    }
    int64_t Saves(const std::string& date) {
        return office
            .Exec("SELECT count(*) FROM leverans.saves WHERE day = $1::date",
                  {office::pq::Param::Text(date)})
            .Int(0, 0);
    }
};

// The driver delivers what is recommended.
void TypeRecommendations(screen::FlexGrid& grid) {
    for (int row = 1; row < grid.Rows(); ++row)
        grid.SetTextMatrix(row, kLevColumn, grid.TextMatrix(row, kRekColumn));
}

void BM_Save(benchmark::State& state, Setup* setup, bool withOffice) {
    const std::string path =
        setup->folder.File("day-" + std::to_string(++setup->runs) + ".journal");
    office_bench::VanDay day(path, "rutt.csv", setup->routeBytes);

    screen::Form1* shown = nullptr;
    std::unique_ptr<office::Sender> sender;
    std::optional<office::SendingJournal> sending;
    std::string date;
    if (withOffice) {
        date = setup->PublishNextDay();
        const std::string heard = setup->Heard();
        sender = std::make_unique<office::Sender>(
            office::SenderSetup{setup->cluster.ConnectionString("bil1", setup->database), kVan,
                                date, day.Journal().Path(), day.Journal().DayUid(),
                                day::Fingerprint(setup->routeBytes)},
            [&shown](int unsent) {
                // From the sender's thread: the window takes it in its own.
                // Qt owns the posted call and deletes it once it has run.
                // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
                QMetaObject::invokeMethod(
                    qApp,
                    [&shown, unsent] {
                        if (shown) shown->SetUnsentSaves(unsent);
                    },
                    Qt::QueuedConnection);
            });
        // In touch with the office before the first save, as at a day's start.
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (setup->Heard() == heard && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(2ms);
        sending.emplace(day.Journal(), *sender);
    }

    route::SaveJournal* journal = &day.Journal();
    if (sending) journal = &*sending;
    screen::Form1 form(day.Route(), journal);
    QString message;
    form.MessageSink = [&message](const QString& text) { message = text; };
    PaintCounter counter;
    form.Grid1->installEventFilter(&counter);
    form.show();
    QCoreApplication::processEvents();
    shown = &form;
    const long paintsBefore = counter.paints;

    // The sender's counts reach the window's caption between saves, outside
    // the save's time; what that takes is shown apart.
    std::chrono::steady_clock::duration between{};
    for (auto _ : state) {
        state.PauseTiming();
        TypeRecommendations(*form.Grid1);
        form.Grid1->repaint();
        const auto begun = std::chrono::steady_clock::now();
        QCoreApplication::processEvents();
        between += std::chrono::steady_clock::now() - begun;
        state.ResumeTiming();
        form.Command3_Click();
        form.Grid1->repaint();
    }

    state.counters["events_us"] =
        std::chrono::duration<double, std::micro>(between).count() / kShops;
    if (!message.isEmpty()) state.SkipWithError(qPrintable(message));
    if (counter.paints == paintsBefore) state.SkipWithError("the grid did not paint");
    if (form.nSparadKund != kShops) state.SkipWithError("not every shop saved");
    if (withOffice) {
        // Well before the sender's own look after 30 s idle: told of each
        // save, it sends at once.
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (setup->Saves(date) < kShops && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        if (setup->Saves(date) != kShops) state.SkipWithError("the office did not get every save");
    }
    // No count may reach a window that is gone.
    sender.reset();
    QCoreApplication::processEvents();
    shown = nullptr;
}

int Run(int argc, char** argv) {
    InitializeWithDefaults(argc, argv, 15, true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Setup setup;
    benchmark::RegisterBenchmark("Save/with office", BM_Save, &setup, true)
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(kShops)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Save/alone", BM_Save, &setup, false)
        ->Unit(benchmark::kMicrosecond)
        ->Iterations(kShops)
        ->UseRealTime();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nSave to next page painted, %d articles, journal on the disk\n", kArticles);
    const std::string runs = "/iterations:" + std::to_string(kShops) + "/real_time";
    const std::string with = "Save/with office" + runs;
    const std::string alone = "Save/alone" + runs;
    reporter.PrintRatio("save to next page painted, with an office / without", with, alone, 1.1);
    reporter.PrintCpuRatio("save to next page painted, window thread's CPU time", with, alone);
    benchmark::Shutdown();
    return 0;
}

}  // namespace

int main(int argc, char** argv) { return RunReporting("office_save_bench", Run, argc, argv); }
