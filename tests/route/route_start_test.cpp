#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "route/route.h"

namespace {

using route::kBest;
using route::kLev;
using route::kRek;
using route::kVan;
using route::RouteData;
using route::RouteSheet;

RouteSheet TwoByThree() {
    return RouteSheet{{"108 Skivad J.F.", "116 Jätterasker"},
                      {"Maxi tur 1", "ICA Butiken", "Lokala Statoil"},
                      {24, 40},
                      {{12, 6, 1}, {0, 30, 7}}};
}

TEST(StartRoute, FillsNamesOrdersAndLoadedStock) {
    RouteData r;
    route::StartRoute(r, TwoByThree());
    ASSERT_EQ(r.colArtikel.Count(), 2);
    ASSERT_EQ(r.colKund.Count(), 3);
    EXPECT_EQ(r.colArtikel.Item(route::IndexText(2)), "116 Jätterasker");
    EXPECT_EQ(r.colKund.Item(3), "Lokala Statoil");
    EXPECT_EQ(r.nAntal(1, kBest, kVan), 24);  // loaded, not the sum of the orders
    EXPECT_EQ(r.nAntal(2, kBest, kVan), 40);
    EXPECT_EQ(r.nAntal(2, kBest, 2), 30);
    EXPECT_EQ(r.nAntal(1, kBest, 3), 1);
    for (int a = 1; a <= 2; ++a)
        for (int k = 0; k <= 3; ++k) {
            EXPECT_EQ(r.nAntal(a, kLev, k), 0);
            EXPECT_EQ(r.nAntal(a, kRek, k), 0);
        }
    EXPECT_EQ(r.nSparadKund, 0);
    EXPECT_EQ(r.nAktKund, 1);
}

TEST(StartRoute, RefusesPlansThatAreNoRoute) {
    auto refused = [](const RouteSheet& sheet) {
        RouteData r;
        EXPECT_THROW(route::StartRoute(r, sheet), route::RouteError);
        EXPECT_EQ(r.colArtikel.Count(), 0);  // nothing half filled
    };
    RouteSheet noArticle = TwoByThree();
    noArticle.articles.clear();
    noArticle.lager.clear();
    noArticle.orders.clear();
    refused(noArticle);
    RouteSheet noCustomer = TwoByThree();
    noCustomer.customers.clear();
    for (auto& row : noCustomer.orders) row.clear();
    refused(noCustomer);
    RouteSheet ragged = TwoByThree();
    ragged.orders[1].pop_back();
    refused(ragged);
    RouteSheet negative = TwoByThree();
    negative.orders[0][1] = -1;
    refused(negative);
    RouteSheet tooMany = TwoByThree();
    tooMany.orders[0] = {32767, 1, 0};  // the recommendation could not add them
    refused(tooMany);
}

TEST(StartRoute, RecommendationSharesTheLoadedStock) {
    RouteData r;
    route::StartRoute(r, TwoByThree());
    route::CalcRek(r);
    // 24 loaded against 19 ordered: 24 / 19 * 12 = 15.16, * 6 = 7.58, * 1 = 1.26.
    EXPECT_EQ(r.nAntal(1, kRek, 1), 15);
    EXPECT_EQ(r.nAntal(1, kRek, 2), 8);
    EXPECT_EQ(r.nAntal(1, kRek, 3), 1);
}

TEST(PlanSave, PlansWithoutTouchingAndAppliesExactlyThePlan) {
    RouteData r;
    route::StartRoute(r, TwoByThree());
    const RouteData before = r;
    auto outcome = route::PlanSave(r, 1, {"10", "-3"});
    ASSERT_TRUE(std::holds_alternative<route::SavePlan>(outcome));
    EXPECT_EQ(r.nAntal(1, kBest, kVan), before.nAntal(1, kBest, kVan));
    EXPECT_EQ(r.nSparadKund, 0);
    const auto& plan = std::get<route::SavePlan>(outcome);
    EXPECT_EQ(plan.lev, (std::vector<int16_t>{10, -3}));
    EXPECT_EQ(plan.lager, (std::vector<int16_t>{14, 43}));

    route::ApplySave(r, plan);
    EXPECT_EQ(r.nAntal(1, kLev, 1), 10);
    EXPECT_EQ(r.nAntal(2, kLev, 1), -3);
    EXPECT_EQ(r.nAntal(2, kBest, kVan), 43);
    EXPECT_EQ(r.nSparadKund, 1);
}

TEST(PlanSave, QuantitiesGoTheSameWayAsTexts) {
    RouteData byText;
    RouteData byQuantity;
    route::StartRoute(byText, TwoByThree());
    route::StartRoute(byQuantity, TwoByThree());
    // A save, then its correction: the second gives the first back.
    for (const auto& [texts, quantities] :
         std::vector<std::pair<std::vector<std::string>, std::vector<int16_t>>>{
             {{"5", "7"}, {5, 7}}, {{"2", "-4"}, {2, -4}}}) {
        ASSERT_FALSE(route::SaveKund(byText, 1, texts).has_value());
        auto outcome = route::PlanSaveQuantities(byQuantity, 1, quantities);
        ASSERT_TRUE(std::holds_alternative<route::SavePlan>(outcome));
        route::ApplySave(byQuantity, std::get<route::SavePlan>(outcome));
    }
    for (int a = 1; a <= 2; ++a) {
        EXPECT_EQ(byQuantity.nAntal(a, kBest, kVan), byText.nAntal(a, kBest, kVan));
        EXPECT_EQ(byQuantity.nAntal(a, kLev, 1), byText.nAntal(a, kLev, 1));
    }
    EXPECT_EQ(byText.nAntal(1, kBest, kVan), 22);
    EXPECT_EQ(byText.nAntal(2, kBest, kVan), 44);
}

TEST(PlanSave, QuantitiesAreCheckedLikeTexts) {
    RouteData r;
    route::StartRoute(r, TwoByThree());
    auto outcome = route::PlanSaveQuantities(r, 1, {0, -32768});  // 40 + 32768 overflows
    ASSERT_TRUE(std::holds_alternative<route::SaveRefusal>(outcome));
    EXPECT_EQ(std::get<route::SaveRefusal>(outcome).article, 2);
    EXPECT_THROW(route::PlanSaveQuantities(r, 1, {1}), route::RouteError);
    ASSERT_FALSE(route::SaveKund(r, 2, {"1", "1"}).has_value());
    EXPECT_THROW(route::PlanSaveQuantities(r, 1, {1, 1}), route::RouteError);
    // A plan made for another route shape is refused, not half applied.
    route::SavePlan wrong{3, {1}, {1}};
    EXPECT_THROW(route::ApplySave(r, wrong), route::RouteError);
    EXPECT_EQ(r.nSparadKund, 2);
}

}  // namespace
