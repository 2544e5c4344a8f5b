#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "form_fixture.h"
#include "soak.h"

namespace {

using testing_support::RouteDraws;
using testing_support::Soak;

std::unique_ptr<screen::Form1> ShownForm(uint64_t seed) {
    auto form = std::make_unique<screen::Form1>(RouteDraws(seed));
    form->show();
    form->activateWindow();
    return form;
}

// Every quantity of the route: orders, stock, recommendations, deliveries.
std::vector<int16_t> Quantities(const screen::Form1& form) {
    std::vector<int16_t> all;
    for (int a = 1; a <= form.colArtikel.Count(); ++a)
        for (int kind : {route::kBest, route::kRek, route::kLev})
            for (int k = route::kVan; k <= form.colKund.Count(); ++k)
                all.push_back(form.nAntal(a, kind, k));
    return all;
}

// A bounded run for every test pass; scripts/soak runs millions.
TEST(Soak, RandomInputBreaksNothing) {
    for (uint64_t seed : {1u, 2u, 3u, 4u, 5u}) {
        const auto form = ShownForm(seed);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        const auto result = Soak(*form, seed, 10'000);
        EXPECT_EQ(result.events, 10'000);
        EXPECT_TRUE(result.failures.isEmpty())
            << "seed " << seed << ": " << result.failures.join("\n").toStdString();
        EXPECT_GT(result.saves, 0) << "seed " << seed;  // the road was really travelled
    }
}

// A failure is reported with its seed; run again, the seed must bring back
// the same route and the same events, whatever the clock says by then.
TEST(Soak, ASeedReplaysItsRouteAndItsEvents) {
    const auto first = ShownForm(7);
    ASSERT_TRUE(QTest::qWaitForWindowActive(first.get()));
    const std::vector<int16_t> route = Quantities(*first);
    const auto played = Soak(*first, 7, 2'000);
    first->hide();

    const auto again = ShownForm(7);
    ASSERT_TRUE(QTest::qWaitForWindowActive(again.get()));
    ASSERT_EQ(Quantities(*again), route);
    const auto replayed = Soak(*again, 7, 2'000);
    EXPECT_GT(played.saves, 0);
    EXPECT_EQ(replayed.saves, played.saves);
    EXPECT_EQ(replayed.refusals, played.refusals);
    EXPECT_EQ(replayed.failures, played.failures);
    EXPECT_EQ(Quantities(*again), Quantities(*first));
    EXPECT_EQ(again->nAktKund, first->nAktKund);
    EXPECT_EQ(again->nSparadKund, first->nSparadKund);
    again->hide();
    EXPECT_NE(Quantities(screen::Form1(RouteDraws(8))), route);
}

}  // namespace
