#pragma once

#include <cstdint>
#include <functional>

#include "route/random_source.h"

namespace route {

// A splitmix64 generator. Reseeding mixes the clock into the current state
// instead of replacing it, so reseeds that come faster than the clock ticks
// still give independent draws.
class TimerRandom : public RandomSource {
public:
    using Clock = std::function<uint64_t()>;

    // Seeded from the system's entropy source and the clock.
    TimerRandom();
    // A chosen seed and clock (the steady clock in nanoseconds by default).
    explicit TimerRandom(uint64_t seed, Clock clock = {});

    void ReseedFromTimer() override;
    float NextRandom() override;

private:
    uint64_t Next();

    uint64_t state_;
    Clock clock_;
};

}  // namespace route
