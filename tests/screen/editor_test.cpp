#include <gtest/gtest.h>

#include <QKeyEvent>

#include "form_fixture.h"

namespace {

using testing_support::FormFixture;

class Editor : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        Show();
        grid().SetFocus();
        grid().SetRow(3);
        ASSERT_EQ(grid().Col(), 4);
    }

    void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(w, key, mods);
    }
    // Types text the way a keyboard delivers it: one key event per
    // character (a surrogate pair together), each to the focus widget.
    void Type(const QString& text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const qsizetype n = text[i].isHighSurrogate() ? 2 : 1;
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text.mid(i, n));
            QApplication::sendEvent(QApplication::focusWidget(), &press);
            i += n - 1;
        }
    }
    // Presses Tab (or Shift+Tab) until the target has the focus.
    bool TabTo(QWidget* target, Qt::Key key = Qt::Key_Tab) {
        for (int i = 0; i < 8 && Focus() != target; ++i) Key(Focus(), key);
        return Focus() == target;
    }
    QWidget* Focus() { return QApplication::focusWidget(); }
    // The centre of a grid cell, in the grid's pixels, for 96 DPI.
    QPoint CellCentre(int row, int col) {
        const int left[] = {0, 1600, 2400, 3200, 4000};
        const int width[] = {1600, 800, 800, 800, 800};
        return {(left[col] + width[col] / 2) / 15, (row * 240 + 120) / 15};
    }
};

TEST_F(Editor, PrintableKeyOpensWithThatCharacterOnly) {
    TypeLev(3, " 9");
    Key(&grid(), Qt::Key_7);
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(editor().Text(), "7");
    EXPECT_EQ(editor().SelStart(), 1);
    EXPECT_EQ(Focus(), form->GridText);
    Key(Focus(), Qt::Key_5);
    EXPECT_EQ(editor().Text(), "75");
    EXPECT_EQ(Cell(3, 4), " 9");  // nothing reaches the cell before the commit
}

TEST_F(Editor, SpaceEnterBackspaceAndDoubleClickKeepTheCellsText) {
    TypeLev(3, " 12");
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Backspace, Qt::Key_Escape}) {
        Key(&grid(), key);
        ASSERT_TRUE(editor().Visible()) << key;
        EXPECT_EQ(editor().Text(), " 12") << key;
        EXPECT_EQ(editor().SelStart(), 3) << key;  // caret at the end
        Key(Focus(), Qt::Key_Escape);
        ASSERT_FALSE(editor().Visible());
    }
    QTest::mouseDClick(&grid(), Qt::LeftButton, Qt::NoModifier, CellCentre(3, 4));
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(editor().Text(), " 12");
    EXPECT_EQ(editor().SelStart(), 3);
}

TEST_F(Editor, OpensOverTheCurrentCellEightTwipsSmaller) {
    Key(&grid(), Qt::Key_1);
    // Cell (3, 4) lies 4000 twips right and 720 down in a grid at (120, 120);
    // the box is 800 - 8 by 240 - 8 twips. At 15 twips to the pixel:
    EXPECT_EQ(editor().geometry(), QRect(275, 56, 53, 15));
    EXPECT_EQ(editor().parentWidget(), form.get());  // window coordinates
    grid().SetFocus();
    grid().SetRow(7);
    Key(&grid(), Qt::Key_1);
    EXPECT_EQ(editor().geometry(), QRect(275, 120, 53, 15));  // 120 + 1680 twips down
}

TEST_F(Editor, EnterCommitsAndKeepsTheRow) {
    Key(&grid(), Qt::Key_4);
    Key(Focus(), Qt::Key_2);
    Key(Focus(), Qt::Key_Return);
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Cell(3, 4), "42");
    EXPECT_EQ(grid().Row(), 3);
    EXPECT_EQ(Focus(), form->Grid1);
    EXPECT_EQ(editor().Text(), "42");  // the carriage return was not typed in
}

TEST_F(Editor, EscapeKeepsTheEarlierText) {
    TypeLev(3, " 8");
    Key(&grid(), Qt::Key_4);
    Key(Focus(), Qt::Key_Escape);
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Cell(3, 4), " 8");
    EXPECT_EQ(Focus(), form->Grid1);
}

TEST_F(Editor, DownCommitsThenMovesWhereItCan) {
    Key(&grid(), Qt::Key_6);
    Key(Focus(), Qt::Key_Down);
    EXPECT_EQ(Cell(3, 4), "6");
    EXPECT_EQ(Cell(4, 4), "");
    EXPECT_EQ(grid().Row(), 4);
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Focus(), form->Grid1);

    grid().SetRow(7);
    Key(&grid(), Qt::Key_9);
    Key(Focus(), Qt::Key_Down);
    EXPECT_EQ(Cell(7, 4), "9");
    EXPECT_EQ(grid().Row(), 7);
    EXPECT_FALSE(editor().Visible());
}

TEST_F(Editor, UpCommitsThenMovesButNeverIntoTheHeadings) {
    grid().SetRow(2);
    Key(&grid(), Qt::Key_3);
    Key(Focus(), Qt::Key_Up);
    EXPECT_EQ(Cell(2, 4), "3");
    EXPECT_EQ(grid().Row(), 1);
    Key(&grid(), Qt::Key_1);
    Key(Focus(), Qt::Key_Up);
    EXPECT_EQ(Cell(1, 4), "1");
    EXPECT_EQ(grid().Row(), 1);
    EXPECT_EQ(Cell(0, 4), "Lev");
}

TEST_F(Editor, ClickingAnotherCellCommitsWhereTheEntryWasTyped) {
    Key(&grid(), Qt::Key_5);
    QTest::mouseClick(&grid(), Qt::LeftButton, Qt::NoModifier, CellCentre(6, 4));
    EXPECT_EQ(Cell(3, 4), "5");
    EXPECT_EQ(Cell(6, 4), "");
    EXPECT_EQ(grid().Row(), 6);
    EXPECT_FALSE(editor().Visible());
}

TEST_F(Editor, AnyTextIsCommittedUnchanged) {
    Type("å");
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(editor().Text(), "å");
    Type("b€ 1,5🍞");
    Key(Focus(), Qt::Key_Return);
    EXPECT_EQ(Cell(3, 4), "åb€ 1,5🍞");

    grid().SetRow(4);
    Type("€");
    EXPECT_EQ(editor().Text(), "€");
    Key(Focus(), Qt::Key_Return);
    form->Command3_Click();  // neither stops a save: they read as 0
    EXPECT_EQ(form->nAntal(3, route::kLev, 1), 0);
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(Editor, CarriageReturnCharacterIsDroppedOthersPass) {
    int16_t cr = 13;
    form->GridText_KeyPress(cr);
    EXPECT_EQ(cr, 0);
    int16_t seven = '7';
    form->GridText_KeyPress(seven);
    EXPECT_EQ(seven, '7');
    int16_t code = 40, shift = 0;
    form->GridText_KeyDown(code, shift);
    EXPECT_EQ(code, 40);  // the box still gets the key
}

TEST_F(Editor, SparaTakesTheEntryStillOpen) {
    Key(&grid(), Qt::Key_7);
    ASSERT_TRUE(editor().Visible());
    Click(form->Command3);
    EXPECT_EQ(form->nAntal(3, route::kLev, 1), 7);
    EXPECT_EQ(Lager(3), 5 - 7);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_FALSE(editor().Visible());
}

TEST_F(Editor, NavigationDropsAnOpenEntry) {
    Key(&grid(), Qt::Key_7);
    Click(form->Command2);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Column(4), QStringList(7, QString()));
    Click(form->Command1);
    EXPECT_EQ(Column(4), QStringList(7, QString()));
}

TEST_F(Editor, StartUpAndSavedPagesLeaveNoEntryOrText) {
    // Start-up moved the current cell while the editor was still shown.
    for (int row = 0; row < grid().Rows(); ++row)
        for (int col = 0; col < grid().Cols(); ++col)
            EXPECT_NE(Cell(row, col), "GridText") << row << "," << col;

    Key(&grid(), Qt::Key_2);
    form->Command3_Click();   // customer 1 saved, customer 2 on screen
    Key(&grid(), Qt::Key_4);  // an entry open on customer 2
    ASSERT_TRUE(editor().Visible());
    Click(form->Command1);  // the saved page moves the current cell row by row
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Column(4), QStringList({"", "", " 2", "", "", "", ""}));
    EXPECT_EQ(grid().Row(), 7);
    Click(form->Command2);
    EXPECT_EQ(Column(4), QStringList(7, QString()));
}

TEST_F(Editor, ButtonDisabledAtTheEndHandsFocusToTheGrid) {
    form->Command2_Click();
    form->Command2_Click();
    form->Command2->setFocus();
    Key(Focus(), Qt::Key_Space);
    ASSERT_EQ(form->nAktKund, 4);
    EXPECT_EQ(Focus(), form->Grid1);
    form->Command2_Click();  // no focus involved: nothing moves
    form->Command1->setFocus();
    Key(Focus(), Qt::Key_Space);
    EXPECT_EQ(Focus(), form->Command1);  // still enabled on customer 3
    Key(Focus(), Qt::Key_Space);
    Key(Focus(), Qt::Key_Space);
    ASSERT_EQ(form->nAktKund, 1);
    EXPECT_EQ(Focus(), form->Grid1);
}

TEST_F(Editor, WholeRouteByKeyboardAlone) {
    // Start on customer 1 in row 1 and type deliveries for rows 1, 2 and 4.
    Key(&grid(), Qt::Key_Up);
    Key(&grid(), Qt::Key_Up);
    ASSERT_EQ(grid().Row(), 1);
    Type("10");
    Key(Focus(), Qt::Key_Down);
    Key(&grid(), Qt::Key_Space);  // open row 2 with its (empty) text
    Type("1");
    Key(Focus(), Qt::Key_Down);
    Key(&grid(), Qt::Key_Down);
    Type("48");  // row 4, left open
    // Tab to "Spara", past the disabled "Visa föreg".
    Key(Focus(), Qt::Key_Tab);
    EXPECT_EQ(Focus(), form->Text1);
    ASSERT_TRUE(TabTo(form->Command3));
    Key(Focus(), Qt::Key_Space);

    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_EQ(form->nAntal(1, route::kLev, 1), 10);
    EXPECT_EQ(form->nAntal(2, route::kLev, 1), 1);
    EXPECT_EQ(form->nAntal(4, route::kLev, 1), 48);
    EXPECT_EQ(Lager(1), 14);
    EXPECT_EQ(Lager(2), 39);
    EXPECT_EQ(Lager(4), 14);
    // Customer 2's page: stock after the save, shared out over orders 6, 1, 5.
    EXPECT_EQ(Cell(1, 1), " 14");
    EXPECT_EQ(Cell(1, 3), " 7");   // 14 / 12 * 6 = 7
    EXPECT_EQ(Cell(4, 3), " 5");   // 14 / 12 * 4 = 4.67
    EXPECT_EQ(Cell(2, 3), " 29");  // 39 / 40 * 30 = 29.25

    // Back to customer 1 with the keyboard and correct row 1 from 10 to 2.
    ASSERT_TRUE(TabTo(form->Command1, Qt::Key_Backtab));
    Key(Focus(), Qt::Key_Space);
    ASSERT_EQ(form->nAktKund, 1);
    EXPECT_EQ(Cell(1, 4), " 10");
    ASSERT_TRUE(TabTo(form->Grid1, Qt::Key_Backtab));
    Key(&grid(), Qt::Key_PageUp);
    ASSERT_EQ(grid().Row(), 1);
    Type("2");
    Key(Focus(), Qt::Key_Return);
    ASSERT_TRUE(TabTo(form->Command3));
    Key(Focus(), Qt::Key_Space);

    EXPECT_EQ(form->nAntal(1, route::kLev, 1), 2);
    EXPECT_EQ(Lager(1), 22);  // 10 given back, 2 taken: once, not twice
    EXPECT_EQ(Lager(4), 14);
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_EQ(Cell(1, 1), " 22");
}

}  // namespace
