#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "route/random_source.h"

namespace screen {
class Form1;
}

namespace testing_support {

struct SoakResult {
    long events = 0;
    long saves = 0;
    long refusals = 0;     // saves stopped by a quantity out of range
    QStringList failures;  // each names the event number and what broke
};

// Drives a shown, active window with a reproducible random sequence of keys,
// clicks and double-clicks, checking after every event that nothing escaped a
// handler, the customer index is in range, the editor is closed or lies over
// the current cell, and the van's stock balances with the saved deliveries.
SoakResult Soak(screen::Form1& form, uint64_t seed, long events, int maxFailures = 10);

// The draws of a window's demo route for a seed: the same seed seeds the
// same orders, whenever it runs, so a failing seed replays its route too.
std::unique_ptr<route::RandomSource> RouteDraws(uint64_t seed);

}  // namespace testing_support
