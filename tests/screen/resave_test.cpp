// Saving a page that is saved already, and what the driver meets around it:
// stepping along the route, failures that must change nothing, and routes of
// other shapes than the demonstration.

#include <gtest/gtest.h>

#include <QFile>
#include <QFont>
#include <QKeyEvent>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "form_fixture.h"
#include "screen/virtualdisplay.h"

namespace {

using testing_support::FormFixture;

class Resave : public FormFixture {
protected:
    // Every stored Lev and every Lager, in one comparable list.
    std::vector<int> Stored() {
        std::vector<int> all;
        for (int a = 1; a <= 7; ++a) {
            all.push_back(Lager(a));
            for (int k = 0; k <= 4; ++k) all.push_back(form->nAntal(a, route::kLev, k));
        }
        return all;
    }
};

TEST_F(Resave, ReturnsShowWithTheirSignAndSurviveASecondSave) {
    // A return, a delivery, nothing and another return on customer 1.
    TypeLev(1, "-3");
    TypeLev(2, "4");
    TypeLev(3, "0");
    TypeLev(4, "-1");
    form->Command3_Click();
    ASSERT_EQ(form->nAktKund, 2);
    EXPECT_EQ(Lager(1), 24 + 3);
    const std::vector<int> saved = Stored();

    form->Command1_Click();  // back to the saved page
    EXPECT_EQ(Cell(1, 4), "-3");
    EXPECT_EQ(Cell(2, 4), " 4");
    EXPECT_EQ(Cell(3, 4), "");  // 0 stays empty
    EXPECT_EQ(Cell(4, 4), "-1");
    EXPECT_EQ(Cell(1, 3), "");  // no recommendation on a saved page
    EXPECT_EQ(Cell(1, 1), " 27");
    ASSERT_TRUE(form->Command3->isEnabled());
    form->Command3_Click();  // nothing changed on the page
    EXPECT_EQ(Stored(), saved);
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_TRUE(messages.isEmpty());

    // Forward across the last saved customer and back again: still the same.
    ASSERT_EQ(form->nAktKund, 2);
    form->Command2_Click();
    form->Command1_Click();
    form->Command1_Click();
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(Cell(1, 4), "-3");
    form->Command3_Click();
    EXPECT_EQ(Stored(), saved);
}

TEST_F(Resave, CorrectingOneArticleChangesThatArticleAlone) {
    TypeLev(1, "-3");
    TypeLev(5, "1");
    TypeLev(6, "20");
    form->Command3_Click();
    std::vector<int> expected = Stored();
    form->Command1_Click();
    TypeLev(6, "18");  // two fewer left at the shop
    form->Command3_Click();
    const std::vector<int> after = Stored();
    const std::size_t perArticle = 6;
    const std::size_t article6 = 5 * perArticle;
    expected[article6] += 2;      // Lager of article 6
    expected[article6 + 2] = 18;  // Lev of article 6 at customer 1
    EXPECT_EQ(after, expected);
    EXPECT_EQ(form->nAntal(1, route::kLev, 1), -3);
}

TEST_F(Resave, VanSlotOfTheDeliveryPlaneStaysZero) {
    TypeLev(1, "5");
    TypeLev(2, "-2");
    form->Command3_Click();
    TypeLev(1, "3");
    form->Command3_Click();
    form->Command1_Click();
    TypeLev(2, "7");
    form->Command3_Click();  // a correction of customer 2
    for (int a = 1; a <= 7; ++a) EXPECT_EQ(form->nAntal(a, route::kLev, route::kVan), 0) << a;
}

TEST_F(Resave, WalkingPastCustomersNeverSavedKeepsSparaEnabled) {
    form->Command3_Click();  // customer 1 saved
    for (int k = 2; k <= 4; ++k) {
        EXPECT_EQ(form->nAktKund, k);
        EXPECT_TRUE(form->Command3->isEnabled()) << "customer " << k;
        form->Command2_Click();
    }
    form->Command1_Click();
    form->Command1_Click();
    EXPECT_TRUE(form->Command3->isEnabled());
}

TEST_F(Resave, EveryStepRedrawsTheRecommendations) {
    const QStringList rek1 = Column(3);
    form->Command2_Click();
    const QStringList rek2 = Column(3);
    EXPECT_EQ(rek2, QStringList({" 6", " 30", "", " 4", " 2", "", " 10"}));
    // Nothing in the route changes between these steps, yet each page is
    // drawn from the route, not left from the page before.
    grid().SetTextMatrix(1, 3, "x");
    form->Command1_Click();
    EXPECT_EQ(Column(3), rek1);
    form->Command2_Click();
    EXPECT_EQ(Column(3), rek2);
}

TEST_F(Resave, AFailedStepLeavesCustomerPageAndButtonsAsTheyWere) {
    form->Command2_Click();  // customer 2
    const QStringList lager = Column(1), best = Column(2), rek = Column(3);
    // Orders that the recommendation cannot add up: every drawing fails.
    const int16_t kept = form->nAntal(1, route::kBest, 3);
    form->nAntal(1, route::kBest, 3) = 32767;
    Show();
    Click(form->Command2);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_EQ(form->Text1->Text(), "ICA Butiken");
    EXPECT_EQ(Column(1), lager);
    EXPECT_EQ(Column(2), best);
    EXPECT_EQ(Column(3), rek);
    EXPECT_TRUE(form->Command1->isEnabled());
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_TRUE(form->Command3->isEnabled());
    Click(form->Command1);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_EQ(form->Text1->Text(), "ICA Butiken");

    form->nAntal(1, route::kBest, 3) = kept;
    Click(form->Command2);
    EXPECT_EQ(form->nAktKund, 3);
    EXPECT_EQ(form->Text1->Text(), "Lokala Statoil");
}

TEST_F(Resave, ErrorsReachTheDriverInSwedishOnly) {
    form->nAntal(1, route::kBest, 3) = 32767;
    Show();
    Click(form->Command2);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Ett oväntat fel inträffade."));
    EXPECT_TRUE(messages[0].contains("-32768 till 32767"));
    EXPECT_FALSE(messages[0].contains("overflow"));
    EXPECT_FALSE(messages[0].contains("16-bit"));
}

TEST_F(Resave, OnlyThePrimaryButtonsDoubleClickOpensTheEditor) {
    Show();
    const QPoint lev(4200 / 15, (2 * 240 + 120) / 15);
    QTest::mouseDClick(&grid(), Qt::RightButton, Qt::NoModifier, lev);
    EXPECT_FALSE(editor().Visible());
    QTest::mouseDClick(&grid(), Qt::MiddleButton, Qt::NoModifier, lev);
    EXPECT_FALSE(editor().Visible());
    QTest::mouseDClick(&grid(), Qt::LeftButton, Qt::NoModifier, lev);
    EXPECT_TRUE(editor().Visible());
}

TEST_F(Resave, GridAsksForTheDefaultSansSerifAtEightAndAQuarterPoints) {
    QFont sans;
    sans.setStyleHint(QFont::SansSerif);
    const QFont font = grid().font();
    EXPECT_EQ(font.family(), sans.defaultFamily());
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 8.25);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_FALSE(font.italic() || font.underline() || font.strikeOut());
}

class EditorKeys : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        Show();
        grid().SetFocus();
        grid().SetRow(1);
        TypeLev(1, " 12");
    }
};

TEST_F(EditorKeys, CtrlLetterOpensWithTheCellsTextCaretAtTheEnd) {
    QTest::keyClick(&grid(), Qt::Key_B, Qt::ControlModifier);  // code 2
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(editor().Text(), " 12");
    EXPECT_EQ(editor().SelStart(), 3);
}

TEST_F(EditorKeys, ACharacterWithANegativeCodeOpensShowingThatCharacter) {
    // U+8000 and above arrive as negative 16-bit codes.
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("\u9EB5"));
    QApplication::sendEvent(&grid(), &press);
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(editor().Text(), QStringLiteral("\u9EB5"));
    EXPECT_EQ(editor().SelStart(), 1);
}

// A route of a single customer, started as a day's route would be.
class OneCustomer : public ::testing::Test {
protected:
    void SetUp() override {
        route::RouteData day;
        route::StartRoute(
            day, {{"108 Skivad J.F.", "116 Jätterasker"}, {"Ensam butik"}, {10, 0}, {{4}, {0}}});
        form = std::make_unique<screen::Form1>(day, nullptr);
        form->MessageSink = [this](const QString& text) { messages << text; };
    }
    std::unique_ptr<screen::Form1> form;
    QStringList messages;
};

TEST_F(OneCustomer, OnlyPreviousIsDisabledAndSavingKeepsThePage) {
    EXPECT_EQ(form->Text1->Text(), "Ensam butik");
    EXPECT_FALSE(form->Command1->isEnabled());
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_TRUE(form->Command3->isEnabled());
    form->Grid1->SetTextMatrix(1, 4, "-2");
    form->Command3_Click();
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(form->nAntal(1, route::kBest, route::kVan), 12);
    EXPECT_EQ(form->Grid1->TextMatrix(1, 4), "-2");
    EXPECT_TRUE(form->Command3->isEnabled());
    form->Command3_Click();  // saved again, unchanged
    EXPECT_EQ(form->nAntal(1, route::kBest, route::kVan), 12);
    EXPECT_TRUE(messages.isEmpty());
}

TEST(Screenshot, NeverWritesThroughAFileOrLinkPlacedFirst) {
    namespace fs = std::filesystem;
    const fs::path temp = QDir::tempPath().toStdString();
    const fs::path oldName =
        temp / ("leverans-" + std::to_string(QCoreApplication::applicationPid()) + ".png");
    const fs::path victim =
        temp / ("leverans-victim-" + std::to_string(QCoreApplication::applicationPid()));
    { std::ofstream(victim) << "keep me"; }
    fs::remove(oldName);
    fs::create_symlink(victim, oldName);

    QWidget window;
    window.resize(40, 30);
    window.show();
    const QString path = screen::SaveScreenshot(window);
    ASSERT_FALSE(path.isEmpty());
    EXPECT_NE(fs::path(path.toStdString()), oldName);
    EXPECT_EQ(fs::status(path.toStdString()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    QFile png(path);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    EXPECT_TRUE(png.read(8).startsWith("\x89PNG"));
    EXPECT_TRUE(fs::is_symlink(oldName));
    std::ifstream kept(victim);
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "keep me");

    // A plain file at the old name is left alone too.
    fs::remove(oldName);
    { std::ofstream(oldName) << "mine"; }
    const QString second = screen::SaveScreenshot(window);
    EXPECT_NE(second, path);
    EXPECT_EQ(fs::file_size(oldName), 4u);

    fs::remove(oldName);
    fs::remove(victim);
    fs::remove(path.toStdString());
    fs::remove(second.toStdString());
}

}  // namespace
