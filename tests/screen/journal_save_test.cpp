// Saving through a journal: the save is kept there before the window takes
// it, and a journal that refuses leaves everything as it was.

#include <gtest/gtest.h>

#include "form_fixture.h"

namespace {

// Keeps what it is given, or refuses as a full disk would.
class FakeJournal : public route::SaveJournal {
public:
    void Record(const route::SavePlan& plan) override {
        ++calls;
        if (refuse) throw route::JournalError("tisdag.csv.journal: disken är full", detail);
        kept.push_back(plan);
    }
    bool refuse = false;
    std::string detail;  // the cause a refusal carries for standard error
    int calls = 0;
    std::vector<route::SavePlan> kept;
};

class JournalSave : public ::testing::Test {
protected:
    void SetUp() override {
        route::RouteData day;
        route::StartRoute(day, {{"108 Skivad J.F.", "116 Jätterasker", "120 Lyxfranska"},
                                {"Maxi tur 1", "ICA Butiken", "Lokala Statoil"},
                                {30, 20, 5},
                                {{10, 10, 5}, {5, 10, 5}, {0, 5, 0}}});
        form = std::make_unique<screen::Form1>(day, &journal);
        form->MessageSink = [this](const QString& text) { messages << text; };
    }
    void TypeLev(int row, const QString& text) { form->Grid1->SetTextMatrix(row, 4, text); }
    int Lager(int a) { return form->nAntal(a, route::kBest, route::kVan); }

    FakeJournal journal;
    std::unique_ptr<screen::Form1> form;
    QStringList messages;
};

TEST_F(JournalSave, EverySaveIsJournaledBeforeTheWindowTakesIt) {
    TypeLev(1, "9");
    TypeLev(2, "-2");
    form->Command3_Click();
    ASSERT_EQ(journal.kept.size(), 1u);
    EXPECT_EQ(journal.kept[0].nKundId, 1);
    EXPECT_EQ(journal.kept[0].lev, (std::vector<int16_t>{9, -2, 0}));
    EXPECT_EQ(journal.kept[0].lager, (std::vector<int16_t>{21, 22, 5}));
    EXPECT_EQ(form->nAktKund, 2);

    // A correction of the last saved customer is journaled like any save,
    // and reads back the return shown on the page.
    form->Command1_Click();
    TypeLev(1, "8");
    form->Command3_Click();
    ASSERT_EQ(journal.kept.size(), 2u);
    EXPECT_EQ(journal.kept[1].nKundId, 1);
    EXPECT_EQ(journal.kept[1].lev, (std::vector<int16_t>{8, -2, 0}));
    EXPECT_EQ(Lager(1), 22);
    EXPECT_EQ(Lager(2), 22);
}

TEST_F(JournalSave, ARefusedWriteChangesNothingAndSparaWorksAgainLater) {
    TypeLev(1, "9");
    journal.refuse = true;
    form->Command3_Click();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "tisdag.csv.journal: disken är full");
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(form->nSparadKund, 0);
    EXPECT_EQ(Lager(1), 30);
    EXPECT_EQ(form->nAntal(1, route::kLev, 1), 0);
    EXPECT_EQ(form->Grid1->TextMatrix(1, 4), "9");  // the page stays as typed
    EXPECT_TRUE(form->Command3->isEnabled());

    journal.refuse = false;
    form->Command3_Click();
    EXPECT_EQ(journal.calls, 2);
    ASSERT_EQ(journal.kept.size(), 1u);
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_EQ(Lager(1), 21);
}

// The driver reads the message; whoever reads the log also gets its cause.
TEST_F(JournalSave, ARefusedWriteTellsStandardErrorItsCause) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"SQLITE_FULL (13): database or disk is full",
         "leverans: sparandet misslyckades: tisdag.csv.journal: disken är full (orsak: "
         "SQLITE_FULL (13): database or disk is full)\n"},
        {"", "leverans: sparandet misslyckades: tisdag.csv.journal: disken är full\n"},
    };
    for (const auto& [detail, line] : cases) {
        SetUp();
        messages.clear();
        journal.refuse = true;
        journal.detail = detail;
        TypeLev(1, "9");
        testing::internal::CaptureStderr();
        form->Command3_Click();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), line);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0], "tisdag.csv.journal: disken är full");  // no detail on screen
        EXPECT_EQ(form->nSparadKund, 0);
    }
}

// Today's place for the focus after a write the journal refused: the
// driver presses "Spara" again once the disk has room.
TEST_F(JournalSave, ARefusedWriteLeavesTheFocusOnSpara) {
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    journal.refuse = true;
    TypeLev(1, "9");
    form->Command3->setFocus();
    QTest::keyClick(form->Command3, Qt::Key_Return);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(QApplication::focusWidget(), form->Command3);
    EXPECT_EQ(form->Grid1->TextMatrix(1, 4), "9");
    journal.refuse = false;
    QTest::keyClick(form->Command3, Qt::Key_Return);
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(QApplication::focusWidget(), form->Grid1);
}

TEST_F(JournalSave, ARefusedQuantityNeverReachesTheJournal) {
    TypeLev(2, "99999");
    form->Command3_Click();
    EXPECT_EQ(journal.calls, 0);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Ogiltigt antal för 116 Jätterasker"));
}

TEST(DayStart, OpensAfterTheLastSavedCustomerOrOnTheLast) {
    route::RouteData day;
    route::StartRoute(day, {{"108 Skivad J.F."}, {"A", "B", "C"}, {9}, {{3, 3, 3}}});
    ASSERT_FALSE(route::SaveKund(day, 1, {"3"}).has_value());
    ASSERT_FALSE(route::SaveKund(day, 2, {"-1"}).has_value());
    {
        screen::Form1 form(day, nullptr);
        EXPECT_EQ(form.nAktKund, 3);
        EXPECT_EQ(form.Text1->Text(), "C");
        EXPECT_EQ(form.Grid1->TextMatrix(1, 1), " 7");
        EXPECT_TRUE(form.Command3->isEnabled());
    }
    ASSERT_FALSE(route::SaveKund(day, 3, {"2"}).has_value());
    screen::Form1 form(day, nullptr);
    EXPECT_EQ(form.nAktKund, 3);  // every customer saved: the last page, drawn as saved
    EXPECT_EQ(form.Grid1->TextMatrix(1, 4), " 2");
    EXPECT_EQ(form.Grid1->TextMatrix(1, 3), "");
    form.Command1_Click();
    EXPECT_EQ(form.Grid1->TextMatrix(1, 4), "-1");
}

}  // namespace
