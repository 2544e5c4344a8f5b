#include "route/timer_random.h"

#include <chrono>
#include <random>

namespace route {

namespace {

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

uint64_t SteadyNanoseconds() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

uint64_t EntropySeed() {
    std::random_device device;
    return (uint64_t{device()} << 32) ^ device() ^ SteadyNanoseconds();
}

}  // namespace

TimerRandom::TimerRandom() : TimerRandom(EntropySeed()) {}

TimerRandom::TimerRandom(uint64_t seed, Clock clock)
    : state_(seed), clock_(clock ? std::move(clock) : Clock(SteadyNanoseconds)) {}

void TimerRandom::ReseedFromTimer() { state_ = Mix(state_ ^ Mix(clock_())); }

uint64_t TimerRandom::Next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return Mix(state_);
}

float TimerRandom::NextRandom() {
    // The top 24 bits fill a float's mantissa exactly: the largest value is
    // 1 - 2^-24, so no rounding can ever produce 1.0.
    return static_cast<float>(Next() >> 40) * 0x1.0p-24f;
}

}  // namespace route
