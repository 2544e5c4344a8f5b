#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "route/route.h"

namespace {

using route::kBest;
using route::kLev;
using route::kRek;
using route::kVan;
using route::RouteData;

// Plays back scripted draws and records the order of the calls.
class ScriptedRandom : public route::RandomSource {
public:
    explicit ScriptedRandom(std::deque<float> draws) : draws_(std::move(draws)) {}
    void ReseedFromTimer() override { calls += 'R'; }
    float NextRandom() override {
        calls += 'N';
        float u = draws_.front();
        draws_.pop_front();
        return u;
    }
    std::string calls;

private:
    std::deque<float> draws_;
};

RouteData SeededWith(route::RandomSource& random) {
    RouteData r;
    route::StartRoute(r, random);
    return r;
}

TEST(Seeding, ArticlesAndCustomersUnderBlankKeys) {
    RouteData r;
    route::InitArtikel(r);
    ASSERT_EQ(r.colArtikel.Count(), 7);
    EXPECT_EQ(r.colArtikel.Item(" 1"), "108 Skivad J.F.");
    EXPECT_EQ(r.colArtikel.Item(" 7"), "326 Gräddad längtan");
    EXPECT_EQ(r.colArtikel.Item(3), "120 Lyxfranska");
    EXPECT_THROW(r.colArtikel.Item("7"), route::KeyError);
    EXPECT_THROW(route::InitArtikel(r), route::KeyError);  // seeding twice meets the keys

    ScriptedRandom random(std::deque<float>(28, 0.5f));
    RouteData s = SeededWith(random);
    ASSERT_EQ(s.colKund.Count(), 4);
    EXPECT_EQ(s.colKund.Item(1), "Maxi tur 1");
    EXPECT_EQ(s.colKund.Item(2), s.colKund.Item(" 2"));
    EXPECT_EQ(s.colKund.Item(3), "Lokala Statoil");
    EXPECT_EQ(s.colKund.Item(" 4"), "Maxi tur 2");
    EXPECT_EQ(s.nAntal.LastSlot(), 4);
    EXPECT_EQ(s.nSparadKund, 0);
}

TEST(Seeding, OneReseedThenOneDrawPerArticleAndCustomer) {
    ScriptedRandom random(std::deque<float>(28, 0.0f));
    SeededWith(random);
    std::string expected;
    for (int i = 0; i < 28; ++i) expected += "RN";
    EXPECT_EQ(random.calls, expected);
}

TEST(Seeding, DrawBecomesFloorOfTTimesUPlusOne) {
    // Customer 1: nVolym 50, t 60. Customer 3: nVolym 7, t 17.
    std::deque<float> draws = {
        0.0f,   0.5f,   0.828125f, 0.84375f, 0.99999994f, 0.1f,   0.2f,  // customer 1
        0.0f,   0.0f,   0.0f,      0.0f,     0.0f,        0.0f,   0.0f,  // customer 2
        0.41f,  0.42f,  0.9f,      0.0f,     0.0f,        0.0f,   0.0f,  // customer 3
        0.999f, 0.999f, 0.999f,    0.999f,   0.999f,      0.999f, 0.999f};
    ScriptedRandom random(draws);
    RouteData r = SeededWith(random);
    // 60 * u + 1: 1, 31, 50.69, 51.63 -> no order, 60.99 -> no order, 7, 13.
    EXPECT_EQ(r.nAntal(1, kBest, 1), 1);
    EXPECT_EQ(r.nAntal(2, kBest, 1), 31);
    EXPECT_EQ(r.nAntal(3, kBest, 1), 50);
    EXPECT_EQ(r.nAntal(4, kBest, 1), 0);
    EXPECT_EQ(r.nAntal(5, kBest, 1), 0);
    EXPECT_EQ(r.nAntal(6, kBest, 1), 7);
    EXPECT_EQ(r.nAntal(7, kBest, 1), 13);
    // 17 * u + 1: 7.97 -> 7 (the last booked), 8.14 -> no order, 16.3 -> no order.
    EXPECT_EQ(r.nAntal(1, kBest, 3), 7);
    EXPECT_EQ(r.nAntal(2, kBest, 3), 0);
    EXPECT_EQ(r.nAntal(3, kBest, 3), 0);
    // u close to 1 for customer 4 (t 40): 40.96 -> 40 > 30, nothing ordered.
    for (int a = 1; a <= 7; ++a) EXPECT_EQ(r.nAntal(a, kBest, 4), 0);
    // The van carries the sum of the orders.
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 1 + 1 + 7);
    EXPECT_EQ(r.nAntal(4, kBest, kVan), 1 + 1);
    EXPECT_EQ(r.nAntal(5, kBest, kVan), 1 + 1);
}

TEST(Seeding, UnorderedArticleStaysZeroEverywhere) {
    ScriptedRandom random(std::deque<float>(28, 0.9999f));
    RouteData r = SeededWith(random);
    for (int a = 1; a <= 7; ++a)
        for (int k = 0; k <= 4; ++k) EXPECT_EQ(r.nAntal(a, kBest, k), 0);
}

TEST(Seeding, OrderVolumeTooLargeForTIsAnOverflow) {
    RouteData r;
    route::InitArtikel(r);
    r.nAntal.Resize(7, 1);
    ScriptedRandom random(std::deque<float>(8, 0.0f));  // the failed call drew one
    EXPECT_THROW(route::RandomBest(r, random, 1, 32758), route::OverflowError);
    EXPECT_NO_THROW(route::RandomBest(r, random, 1, 32757));
}

// The state right after seeding, for any draws.
void ExpectSeededInvariants(const RouteData& r) {
    const int volumes[] = {0, 50, 30, 7, 30};
    for (int a = 1; a <= 7; ++a) {
        int sum = 0;
        for (int k = 1; k <= 4; ++k) {
            int best = r.nAntal(a, kBest, k);
            EXPECT_TRUE(best == 0 || (best >= 1 && best <= volumes[k])) << best;
            sum += best;
            EXPECT_EQ(r.nAntal(a, kLev, k), 0);
            EXPECT_EQ(r.nAntal(a, kRek, k), 0);
        }
        EXPECT_EQ(r.nAntal(a, kBest, kVan), sum);
        EXPECT_EQ(r.nAntal(a, kLev, kVan), 0);
        EXPECT_EQ(r.nAntal(a, kRek, kVan), 0);
    }
}

TEST(Seeding, InvariantsHoldOnRealDraws) {
    route::TimerRandom random;
    for (int i = 0; i < 200; ++i) {
        RouteData r = SeededWith(random);
        ExpectSeededInvariants(r);
    }
}

// The clock a reseed would replace the state with, ticking far slower than
// the draws: the fault where every draw within a tick comes out the same.
class ClockReplacingRandom : public route::RandomSource {
public:
    void ReseedFromTimer() override { state_ = (calls_++ / 64) * 0x9E3779B97F4A7C15ULL; }
    float NextRandom() override {
        route::TimerRandom g(state_, [] { return uint64_t{0}; });
        return g.NextRandom();
    }

private:
    uint64_t calls_ = 0;
    uint64_t state_ = 0;
};

struct DrawStatistics {
    int routes = 0;
    int ordered[5] = {};             // orders booked per customer
    std::vector<int> quantities[5];  // how often each quantity was booked
    int customersAllAlike = 0;       // customers whose seven orders are equal
};

DrawStatistics Gather(route::RandomSource& random, int routes) {
    const int volumes[] = {0, 50, 30, 7, 30};
    DrawStatistics s;
    s.routes = routes;
    for (int k = 1; k <= 4; ++k) s.quantities[k].assign(volumes[k] + 1, 0);
    for (int i = 0; i < routes; ++i) {
        RouteData r = SeededWith(random);
        for (int k = 1; k <= 4; ++k) {
            bool alike = true;
            for (int a = 1; a <= 7; ++a) {
                int best = r.nAntal(a, kBest, k);
                if (best > 0) {
                    ++s.ordered[k];
                    ++s.quantities[k][best];
                }
                alike = alike && best == r.nAntal(1, kBest, k);
            }
            if (alike) ++s.customersAllAlike;
        }
    }
    return s;
}

// True when the draws look like independent uniform ones: each customer
// orders an article with probability nVolym / (nVolym + 10) within six
// standard deviations, booked quantities pass a chi-square test far out in
// the tail, and customers ordering all seven articles alike are rare.
bool LooksIndependent(const DrawStatistics& s) {
    const int volumes[] = {0, 50, 30, 7, 30};
    for (int k = 1; k <= 4; ++k) {
        double n = 7.0 * s.routes;
        double p = volumes[k] / (volumes[k] + 10.0);
        double sd = std::sqrt(n * p * (1 - p));
        if (std::abs(s.ordered[k] - n * p) > 6 * sd) return false;
        double expected = static_cast<double>(s.ordered[k]) / volumes[k];
        double chi2 = 0;
        for (int q = 1; q <= volumes[k]; ++q) {
            double d = s.quantities[k][q] - expected;
            chi2 += d * d / expected;
        }
        int dof = volumes[k] - 1;
        // Mean dof, sd sqrt(2 dof): eight sd above is beyond any honest run.
        if (chi2 > dof + 8 * std::sqrt(2.0 * dof)) return false;
    }
    // Chance of seven equal orders is below 1e-6 for every customer but the
    // third, where it is about (10/17)^7 = 2.4 %.
    return s.customersAllAlike < s.routes * 0.05;
}

TEST(Seeding, FastReseedsStillGiveIndependentDraws) {
    route::TimerRandom random;
    EXPECT_TRUE(LooksIndependent(Gather(random, 4000)));
}

TEST(Seeding, FrozenClockStillGivesIndependentDraws) {
    route::TimerRandom random(12345, [] { return uint64_t{42}; });
    EXPECT_TRUE(LooksIndependent(Gather(random, 4000)));
}

TEST(Seeding, StatisticsCatchAClockReplacingGenerator) {
    ClockReplacingRandom random;
    EXPECT_FALSE(LooksIndependent(Gather(random, 4000)));
}

TEST(TimerRandom, NeverReturnsOne) {
    route::TimerRandom random(0, [] { return uint64_t{7}; });
    float highest = 0;
    for (int i = 0; i < 1'000'000; ++i) {
        random.ReseedFromTimer();
        float u = random.NextRandom();
        ASSERT_GE(u, 0.0f);
        ASSERT_LT(u, 1.0f);
        highest = std::max(highest, u);
    }
    EXPECT_GT(highest, 0.999f);
}

}  // namespace
