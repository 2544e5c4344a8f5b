#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "route/route.h"

namespace {

using route::kBest;
using route::kLev;
using route::kVan;
using route::RouteData;
using route::SaveKund;
using Reason = route::SaveRefusal::Reason;

// Two articles, three customers, everyone ordered 6 of each (stock 18).
RouteData SmallRoute() {
    RouteData r;
    r.colArtikel.Add("108 Skivad J.F.", route::IndexText(1));
    r.colArtikel.Add("120 Lyxfranska", route::IndexText(2));
    r.nAntal.Resize(2, 0);
    for (int k = 1; k <= 3; ++k) {
        r.colKund.Add("kund", route::IndexText(k));
        r.nAntal.ResizeSlots(k);
        for (int a = 1; a <= 2; ++a) {
            r.nAntal(a, kBest, k) = 6;
            r.nAntal(a, kBest, kVan) += 6;
        }
    }
    return r;
}

// Lager = sum of Best - sum of Lev over the saved customers.
void ExpectStockBalances(const RouteData& r) {
    for (int a = 1; a <= r.colArtikel.Count(); ++a) {
        int expected = 0;
        for (int k = 1; k <= r.colKund.Count(); ++k) expected += r.nAntal(a, kBest, k);
        for (int k = 1; k <= r.nSparadKund; ++k) expected -= r.nAntal(a, kLev, k);
        EXPECT_EQ(r.nAntal(a, kBest, kVan), expected) << "article " << a;
    }
}

TEST(SaveKund, CellTextsBecomeRoundedQuantities) {
    const std::vector<std::pair<std::string, int>> cases = {{"", 0},     {"12 abc", 12}, {"abc", 0},
                                                            {"1 2", 12}, {"2.5", 2},     {"3.5", 4},
                                                            {"-3", -3},  {"1,5", 1},     {" 7", 7}};
    for (const auto& [text, expected] : cases) {
        RouteData r = SmallRoute();
        ASSERT_FALSE(SaveKund(r, 1, {text, ""}).has_value()) << text;
        EXPECT_EQ(r.nAntal(1, kLev, 1), expected) << text;
        EXPECT_EQ(r.nAntal(1, kBest, kVan), 18 - expected) << text;
        EXPECT_EQ(r.nAntal(2, kBest, kVan), 18);
        EXPECT_EQ(r.nSparadKund, 1);
    }
}

TEST(SaveKund, MissingTextsCountAsEmpty) {
    RouteData r = SmallRoute();
    EXPECT_FALSE(SaveKund(r, 1, {}).has_value());
    EXPECT_EQ(r.nAntal(1, kLev, 1), 0);
    EXPECT_EQ(r.nSparadKund, 1);
}

TEST(SaveKund, SavingAgainCorrectsInsteadOfTakingTwice) {
    RouteData r = SmallRoute();
    ASSERT_FALSE(SaveKund(r, 1, {"5", "2"}));
    ASSERT_FALSE(SaveKund(r, 2, {"4", "4"}));
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 9);
    ASSERT_FALSE(SaveKund(r, 2, {"1", "4"}));  // the driver corrects customer 2
    EXPECT_EQ(r.nAntal(1, kLev, 2), 1);
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 12);
    EXPECT_EQ(r.nAntal(2, kBest, kVan), 12);
    EXPECT_EQ(r.nSparadKund, 2);
    ExpectStockBalances(r);
}

TEST(SaveKund, SkippedCustomersCountAsSavedWithNothingDelivered) {
    RouteData r = SmallRoute();
    ASSERT_FALSE(SaveKund(r, 3, {"6", "6"}));
    EXPECT_EQ(r.nSparadKund, 3);
    EXPECT_EQ(r.nAntal(1, kLev, 1), 0);
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 12);
    ExpectStockBalances(r);
    EXPECT_THROW(SaveKund(r, 2, {"1", "1"}), route::RouteError);
}

TEST(SaveKund, OutOfRangeQuantityRefusesTheWholeSave) {
    RouteData r = SmallRoute();
    ASSERT_FALSE(SaveKund(r, 1, {"5", "5"}));
    const RouteData before = r;
    for (const std::string& bad :
         std::vector<std::string>{"99999", "32767.5", "-32768.6", std::string(400, '9')}) {
        auto refusal = SaveKund(r, 2, {"3", bad});
        ASSERT_TRUE(refusal.has_value()) << bad;
        EXPECT_EQ(refusal->reason, Reason::BadQuantity);
        EXPECT_EQ(refusal->article, 2);
        EXPECT_EQ(refusal->text, bad);
        // The good first article was not stored either.
        EXPECT_EQ(r.nAntal(1, kLev, 2), 0);
        EXPECT_EQ(r.nAntal(1, kBest, kVan), before.nAntal(1, kBest, kVan));
        EXPECT_EQ(r.nSparadKund, 1);
    }
}

TEST(SaveKund, StockLeavingSixteenBitsRefusesTheWholeSave) {
    RouteData r = SmallRoute();
    auto refusal = SaveKund(r, 1, {"-32767", "0"});  // 18 + 32767 is too much stock
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->reason, Reason::BadStock);
    EXPECT_EQ(refusal->article, 1);
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 18);
    EXPECT_EQ(r.nSparadKund, 0);

    // A refused correction keeps the earlier save as it was.
    ASSERT_FALSE(SaveKund(r, 1, {"-32749", "4"}));  // stock 32767
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 32767);
    refusal = SaveKund(r, 1, {"-32750", "1"});
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->reason, Reason::BadStock);
    EXPECT_EQ(r.nAntal(1, kLev, 1), -32749);
    EXPECT_EQ(r.nAntal(2, kLev, 1), 4);
    EXPECT_EQ(r.nAntal(2, kBest, kVan), 14);
    ExpectStockBalances(r);
}

TEST(SaveKund, LargestQuantitiesThatFitAreAccepted) {
    RouteData r = SmallRoute();
    ASSERT_FALSE(SaveKund(r, 1, {"32767", "-32749"}).has_value());
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 18 - 32767);
    EXPECT_EQ(r.nAntal(2, kBest, kVan), 32767);
    ExpectStockBalances(r);
}

}  // namespace
