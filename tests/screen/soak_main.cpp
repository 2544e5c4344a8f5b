// Long random-input runs on the real window: leverans_soak [events] [seed].
// Prints events per second and every failure with the seed that finds it.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "screen/form1.h"
#include "soak.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long events = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1'000'000;
    uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : std::random_device{}();
    constexpr long kPerWindow = 20'000;  // a fresh route now and then, as at each start

    QElapsedTimer clock;
    clock.start();
    long done = 0, saves = 0, refusals = 0, failures = 0;
    // Each failing window is reported with its seed; a hundred are plenty.
    while (done < events && failures < 100) {
        screen::Form1 form(testing_support::RouteDraws(seed));
        form.show();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form)) {
            std::fprintf(stderr, "soak: the window did not become active\n");
            return 2;
        }
        const long n = std::min(kPerWindow, events - done);
        const auto result = testing_support::Soak(form, seed, n);
        for (const QString& f : result.failures)
            std::printf("FAIL seed %llu: %s\n", static_cast<unsigned long long>(seed),
                        qPrintable(f));
        failures += result.failures.size();
        done += result.events;
        saves += result.saves;
        refusals += result.refusals;
        ++seed;
    }
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("soak: %ld events, %ld saves (%ld refused), %.0f events/s, %ld failures\n", done,
                saves, refusals, done / seconds, failures);
    return failures == 0 ? 0 : 1;
}
