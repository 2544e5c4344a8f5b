#include <gtest/gtest.h>

#include "form_fixture.h"

namespace {

using testing_support::FormFixture;
using testing_support::kOrders;
using Page = FormFixture;

const QStringList kArticles = {"108 Skivad J.F.",    "116 Jätterasker", "120 Lyxfranska",
                               "130 Rasker",         "308 Vitabygrova", "320 Leva",
                               "326 Gräddad längtan"};

// Best texts of customer k: a blank before the digits, empty for nothing.
QStringList BestTexts(int k) {
    QStringList texts;
    for (int a = 0; a < 7; ++a) {
        int best = kOrders[k - 1][a];
        texts << (best > 0 ? QStringLiteral(" %1").arg(best) : QString());
    }
    return texts;
}

TEST_F(Page, FirstScreenShowsTheFirstCustomer) {
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(form->nSparadKund, 0);
    EXPECT_EQ(form->Text1->Text(), "Maxi tur 1");
    EXPECT_EQ(grid().Rows(), 8);
    EXPECT_EQ(grid().Cols(), 5);
    EXPECT_EQ(grid().FixedRows(), 1);
    EXPECT_EQ(grid().FixedCols(), 4);
    EXPECT_EQ(grid().Width(), 5100);
    EXPECT_EQ(grid().ColWidth(0), 1600);
    for (int c = 1; c < 5; ++c) EXPECT_EQ(grid().ColWidth(c), 800);
    EXPECT_EQ(Cell(0, 0), "Artikel");
    EXPECT_EQ(Cell(0, 1), "Lager");
    EXPECT_EQ(Cell(0, 2), "Best");
    EXPECT_EQ(Cell(0, 3), "Rek");
    EXPECT_EQ(Cell(0, 4), "Lev");
    EXPECT_FALSE(form->Command1->isEnabled());
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_TRUE(form->Command3->isEnabled());
    EXPECT_FALSE(editor().Visible());
}

TEST_F(Page, RowsHoldNamesStockOrdersAndRecommendations) {
    EXPECT_EQ(Column(0), kArticles);
    EXPECT_EQ(Column(1),
              QStringList({" 24", " 40", " 5", " 62", " 6", " 22", " 14"}));  // sums of orders
    EXPECT_EQ(Column(2), BestTexts(1));
    EXPECT_EQ(Column(3), BestTexts(1));  // nothing saved: Rek equals Best
    EXPECT_EQ(Column(4), QStringList(7, QString()));
    EXPECT_EQ(Cell(2, 2), "");  // not ordered: empty, never 0
}

TEST_F(Page, EveryPageIsDrawnFromScratch) {
    for (int k = 2; k <= 4; ++k) {
        TypeLev(1, "junk");
        form->Command2_Click();
        EXPECT_EQ(form->nAktKund, k);
        EXPECT_EQ(form->Text1->Text(), QString::fromStdString(form->colKund.Item(k)));
        EXPECT_EQ(Column(2), BestTexts(k));
        EXPECT_EQ(Column(4), QStringList(7, QString())) << "page " << k;
        EXPECT_EQ(grid().Rows(), 8);
    }
    for (int i = 0; i < 20; ++i) form->Command1_Click(), form->Command2_Click();
    EXPECT_EQ(grid().Rows(), 8);
    EXPECT_EQ(grid().Cols(), 5);
}

TEST_F(Page, NavigationStopsAtBothEnds) {
    // Customer 1 before any save: nothing to go back to, Spara stays usable.
    TypeLev(2, " 9");
    form->Command1_Click();
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(Cell(2, 4), " 9");  // not redrawn
    EXPECT_TRUE(form->Command3->isEnabled());

    Click(form->Command2);
    Click(form->Command2);
    EXPECT_EQ(form->nAktKund, 3);
    EXPECT_TRUE(form->Command1->isEnabled());
    EXPECT_TRUE(form->Command2->isEnabled());
    Click(form->Command2);
    EXPECT_EQ(form->nAktKund, 4);
    EXPECT_TRUE(form->Command1->isEnabled());
    EXPECT_FALSE(form->Command2->isEnabled());

    TypeLev(3, " 4");
    form->Command2_Click();  // what a click would do if it could reach the button
    EXPECT_EQ(form->nAktKund, 4);
    EXPECT_EQ(Cell(3, 4), " 4");
    EXPECT_TRUE(form->Command3->isEnabled());
}

TEST_F(Page, SavedPagesAreMarkedAndSparaFollowsTheSaveMark) {
    TypeLev(1, "5");
    form->Command3_Click();  // save customer 1
    TypeLev(2, "7");
    form->Command3_Click();  // save customer 2
    ASSERT_EQ(form->nAktKund, 3);
    EXPECT_TRUE(form->Command3->isEnabled());

    form->Command1_Click();  // customer 2, the one saved last
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_TRUE(form->Command3->isEnabled());  // a correction is allowed
    EXPECT_EQ(Column(3), QStringList(7, QString()));
    EXPECT_EQ(Cell(2, 4), " 7");
    EXPECT_EQ(grid().Row(), 7);
    EXPECT_EQ(grid().Col(), 4);
    for (int row = 1; row <= 7; ++row) {
        grid().SetRow(row);
        EXPECT_EQ(grid().CellBackColor(), grid().BackColorFixed()) << "row " << row;
    }

    form->Command1_Click();  // customer 1, before the last saved one
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_FALSE(form->Command3->isEnabled());
    EXPECT_EQ(Cell(1, 4), " 5");

    form->Command2_Click();
    form->Command2_Click();  // back to customer 3, not saved
    EXPECT_TRUE(form->Command3->isEnabled());
    EXPECT_NE(Column(3), QStringList(7, QString()));
    for (int row = 1; row <= 7; ++row) {
        grid().SetRow(row);
        EXPECT_NE(grid().CellBackColor(), grid().BackColorFixed()) << "row " << row;
    }
}

TEST_F(Page, CustomersSkippedBeforeASaveShowAsSaved) {
    form->Command2_Click();
    form->Command2_Click();
    TypeLev(4, "3");
    form->Command3_Click();  // customer 3 saved first
    EXPECT_EQ(form->nSparadKund, 3);
    form->Command1_Click();
    form->Command1_Click();
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_FALSE(form->Command3->isEnabled());
    EXPECT_EQ(Column(4), QStringList(7, QString()));  // nothing delivered
    EXPECT_EQ(Column(3), QStringList(7, QString()));
    grid().SetRow(1);
    EXPECT_EQ(grid().CellBackColor(), grid().BackColorFixed());
}

TEST_F(Page, NegativeAndEmptyStockShowAsEmptyCells) {
    TypeLev(3, "9");  // 5 on the van
    TypeLev(5, "6");  // 6 on the van
    form->Command3_Click();
    ASSERT_EQ(form->nAktKund, 2);
    EXPECT_EQ(Lager(3), -4);
    EXPECT_EQ(Lager(5), 0);
    EXPECT_EQ(Cell(3, 1), "");
    EXPECT_EQ(Cell(5, 1), "");
    EXPECT_EQ(Cell(5, 3), "");  // nothing left, nothing recommended
    EXPECT_EQ(Cell(1, 1), " 24");
}

TEST_F(Page, RunTimeErrorInAHandlerIsReportedNotFatal) {
    Show();
    Click(form->Command2);  // "Visa föreg" can be clicked from customer 2
    form->nAktKund = 9;     // a customer the route does not have
    Click(form->Command1);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Ett oväntat fel inträffade"));
    form->nAktKund = 2;
    Click(form->Command1);  // the window carries on
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(form->Text1->Text(), "Maxi tur 1");
    EXPECT_EQ(messages.size(), 1);
}

}  // namespace
