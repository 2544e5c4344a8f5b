#include <gtest/gtest.h>

#include <cmath>

#include "form_fixture.h"

namespace {

using testing_support::BestTable;
using testing_support::FormFixture;
using testing_support::kOrders;
using testing_support::TableDraws;
using Save = FormFixture;

TEST_F(Save, CellTextsAreReadAsNumbers) {
    const std::vector<std::pair<QString, int>> cases = {
        {"", 0},    {"12 abc", 12}, {"abc", 0}, {"1 2", 12}, {"2.5", 2},
        {"3.5", 4}, {"-3", -3},     {"1,5", 1}, {"4å", 4},   {"€", 0}};
    for (const auto& [text, expected] : cases) {
        SetUp();
        TypeLev(1, text);
        form->Command3_Click();
        EXPECT_EQ(form->nAntal(1, route::kLev, 1), expected) << text.toStdString();
        EXPECT_EQ(Lager(1), 24 - expected) << text.toStdString();
        EXPECT_TRUE(messages.isEmpty());
    }
}

TEST_F(Save, StockFallsAndTheNextPageRecommendsFromWhatIsLeft) {
    // Article 1: 12 on the van, ordered 6, 4, 0 and 2.
    BestTable orders = kOrders;
    orders[0][0] = 6, orders[1][0] = 4, orders[2][0] = 0, orders[3][0] = 2;
    form = std::make_unique<screen::Form1>(std::make_unique<TableDraws>(orders));
    form->MessageSink = [this](const QString& text) { messages << text; };
    ASSERT_EQ(Cell(1, 1), " 12");

    TypeLev(1, "5");
    form->Command3_Click();
    EXPECT_EQ(form->nAntal(1, route::kLev, 1), 5);
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_EQ(Cell(1, 1), " 7");
    EXPECT_EQ(Cell(1, 3), " 5");  // 7 / 6 * 4 = 4.67
    form->Command2_Click();
    form->Command2_Click();
    EXPECT_EQ(Cell(1, 3), " 2");  // 7 / 6 * 2 = 2.33
}

TEST_F(Save, LastCustomerKeepsItsPage) {
    for (int i = 0; i < 3; ++i) form->Command2_Click();
    TypeLev(2, "3");
    const QStringList rek = Column(3);
    form->Command3_Click();
    EXPECT_EQ(form->nSparadKund, 4);
    EXPECT_EQ(form->nAktKund, 4);
    EXPECT_EQ(Cell(2, 4), "3");  // as typed, not redrawn
    EXPECT_EQ(Column(3), rek);
    EXPECT_TRUE(form->Command3->isEnabled());
}

TEST_F(Save, SavingAgainGivesBackWhatTheFirstSaveTook) {
    TypeLev(1, "5");
    TypeLev(4, "50");
    form->Command3_Click();
    EXPECT_EQ(Lager(1), 19);
    EXPECT_EQ(Lager(4), 12);
    form->Command1_Click();
    ASSERT_TRUE(form->Command3->isEnabled());
    EXPECT_EQ(Cell(1, 4), " 5");
    TypeLev(1, "3");
    form->Command3_Click();  // a correction
    EXPECT_EQ(form->nAntal(1, route::kLev, 1), 3);
    EXPECT_EQ(Lager(1), 21);
    EXPECT_EQ(Lager(4), 12);  // kept its 50, not taken twice
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(form->nAktKund, 2);
}

TEST_F(Save, OutOfRangeQuantityRefusesTheWholeSave) {
    TypeLev(1, "5");
    TypeLev(3, "99999");
    form->Command3_Click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "Ogiltigt antal för 120 Lyxfranska: 99999");
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(form->nSparadKund, 0);
    EXPECT_EQ(form->nAntal(1, route::kLev, 1), 0);
    EXPECT_EQ(Lager(1), 24);
    EXPECT_EQ(Cell(1, 4), "5");  // the page stays as typed
    EXPECT_EQ(grid().Row(), 3);  // on the cell to put right
    EXPECT_EQ(grid().Col(), 4);

    TypeLev(3, "2");
    form->Command3_Click();
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(Lager(1), 19);
    EXPECT_EQ(Lager(3), 3);
}

TEST_F(Save, StockOutOfRangeRefusesTheWholeSave) {
    TypeLev(2, "-32767");  // 40 + 32767 is more than 16 bits hold
    form->Command3_Click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("116 Jätterasker"));
    EXPECT_TRUE(messages[0].contains("-32767"));
    EXPECT_EQ(Lager(2), 40);
    EXPECT_EQ(form->nSparadKund, 0);
}

// The recommendation worked out here, apart from the program's own.
int ExpectedRek(int lager, int best, int sum) {
    double share = lager / static_cast<double>(sum == 0 ? 1 : sum) * best;
    return static_cast<int>(std::nearbyint(share));
}

TEST_F(Save, WholeRouteKeepsStockAndRecommendationsRight) {
    const int delivered[4][7] = {{10, 0, 5, 40, 1, 25, 3},
                                 {6, 33, 0, 4, 2, 0, 8},
                                 {1, 7, 1, 0, 3, 2, 0},
                                 {5, 3, 0, 20, 0, 0, 1}};
    int lager[7];
    for (int a = 0; a < 7; ++a) {
        lager[a] = 0;
        for (int k = 0; k < 4; ++k) lager[a] += kOrders[k][a];
    }
    for (int k = 1; k <= 4; ++k) {
        ASSERT_EQ(form->nAktKund, k);
        for (int a = 1; a <= 7; ++a) {
            int sum = 0;
            for (int j = k; j <= 4; ++j) sum += kOrders[j - 1][a - 1];
            int rek = ExpectedRek(lager[a - 1], kOrders[k - 1][a - 1], sum);
            EXPECT_EQ(Cell(a, 1), lager[a - 1] > 0 ? QStringLiteral(" %1").arg(lager[a - 1]) : "")
                << "customer " << k << " article " << a;
            EXPECT_EQ(Cell(a, 3), rek > 0 ? QStringLiteral(" %1").arg(rek) : "")
                << "customer " << k << " article " << a;
            TypeLev(a, QString::number(delivered[k - 1][a - 1]));
            lager[a - 1] -= delivered[k - 1][a - 1];
        }
        form->Command3_Click();
        for (int a = 1; a <= 7; ++a) EXPECT_EQ(Lager(a), lager[a - 1]);
    }
    EXPECT_EQ(form->nSparadKund, 4);
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
