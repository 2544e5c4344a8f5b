#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "route/route.h"

namespace {

using route::kBest;
using route::kRek;
using route::kVan;
using route::RouteData;

// One article on a route whose customers ordered `orders`, with `lager` left
// on the van and the first `saved` customers saved.
RouteData OneArticle(int16_t lager, const std::vector<int16_t>& orders, int16_t saved = 0) {
    RouteData r;
    r.colArtikel.Add("a", route::IndexText(1));
    r.nAntal.Resize(1, 0);
    for (std::size_t i = 0; i < orders.size(); ++i) {
        int k = static_cast<int>(i) + 1;
        r.colKund.Add("k", route::IndexText(k));
        r.nAntal.ResizeSlots(k);
        r.nAntal(1, kBest, k) = orders[i];
    }
    r.nAntal(1, kBest, kVan) = lager;
    r.nSparadKund = saved;
    return r;
}

std::vector<int> Rek(const RouteData& r) {
    std::vector<int> out;
    for (int k = 1; k <= r.colKund.Count(); ++k) out.push_back(r.nAntal(1, kRek, k));
    return out;
}

TEST(CalcRek, SharesTheStockInProportionToTheOrders) {
    RouteData r = OneArticle(10, {3, 5, 4});
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), (std::vector<int>{2, 4, 3}));  // 2.5, 4.17, 3.33
    EXPECT_EQ(r.nAntal(1, kRek, kVan), 12);
}

TEST(CalcRek, HalvesRoundToEvenAndNeedNotAddUp) {
    RouteData r = OneArticle(7, {1, 1});
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), (std::vector<int>{4, 4}));  // 3.5 each: eight for seven
}

TEST(CalcRek, NegativeStockGivesNegativeRecommendations) {
    RouteData r = OneArticle(-4, {3, 5});
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), (std::vector<int>{-2, -2}));  // -1.5 and -2.5
}

TEST(CalcRek, NothingOrderedDividesByOneAndKeepsZeroAsTheSum) {
    RouteData r = OneArticle(5, {0, 0});
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), (std::vector<int>{0, 0}));
    EXPECT_EQ(r.nAntal(1, kRek, kVan), 0);
}

TEST(CalcRek, SharesNearAHalfRoundAsTheDoubleStands) {
    RouteData a = OneArticle(15, {11, 11});  // 15 / 22 * 11 = 7.499999999999999
    route::CalcRek(a);
    EXPECT_EQ(Rek(a), (std::vector<int>{7, 7}));
    RouteData b = OneArticle(21, {19, 19});  // 21 / 38 * 19 = 10.500000000000002
    route::CalcRek(b);
    EXPECT_EQ(Rek(b), (std::vector<int>{11, 11}));
}

TEST(CalcRek, SavedCustomersKeepTheirRecommendation) {
    RouteData r = OneArticle(10, {3, 5, 4, 2});
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), (std::vector<int>{2, 4, 3, 1}));  // 2.14, 3.57, 2.86, 1.43
    r.nSparadKund = 2;
    r.nAntal(1, kBest, kVan) = 3;
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), (std::vector<int>{2, 4, 2, 1}));  // 3/6*4 = 2, 3/6*2 = 1
    EXPECT_EQ(r.nAntal(1, kRek, kVan), 6);
}

TEST(CalcRek, AllSavedZeroesTheSumsAndChangesNoRecommendation) {
    RouteData r = OneArticle(10, {3, 5});
    route::CalcRek(r);
    r.nSparadKund = 2;
    r.nAntal(1, kBest, kVan) = 1;
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), (std::vector<int>{4, 6}));  // from 10 / 8, before the saves
    EXPECT_EQ(r.nAntal(1, kRek, kVan), 0);
}

TEST(CalcRek, SecondCallChangesNothing) {
    RouteData r = OneArticle(10, {3, 0, 4});
    route::CalcRek(r);
    auto once = Rek(r);
    route::CalcRek(r);
    EXPECT_EQ(Rek(r), once);
    EXPECT_EQ(once[1], 0);  // nothing ordered, nothing recommended
}

TEST(CalcRek, SumBeyondSixteenBitsIsAnOverflow) {
    RouteData r = OneArticle(1, {30000, 30000});
    EXPECT_THROW(route::CalcRek(r), route::OverflowError);
}

TEST(CalcRek, BeforeAnySaveRecommendationEqualsTheOrder) {
    route::TimerRandom random;
    RouteData r;
    route::StartRoute(r, random);
    route::CalcRek(r);
    for (int a = 1; a <= 7; ++a) {
        EXPECT_EQ(r.nAntal(a, kRek, kVan), r.nAntal(a, kBest, kVan));
        for (int k = 1; k <= 4; ++k) EXPECT_EQ(r.nAntal(a, kRek, k), r.nAntal(a, kBest, k));
    }
}

}  // namespace
