#include "screen/flexgrid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace screen {
namespace {

constexpr int kTwipsPerPixel = 15;  // at 96 DPI

using Events = std::vector<std::string>;

// Records cell and focus events together with the current cell as the
// handler sees it, e.g. "leave 1,1".
class EventLog {
public:
    explicit EventLog(FlexGrid* grid) : grid_(grid) {
        QObject::connect(grid, &FlexGrid::LeaveCell, &context_, [this] { add("leave"); });
        QObject::connect(grid, &FlexGrid::EnterCell, &context_, [this] { add("enter"); });
        QObject::connect(grid, &FlexGrid::GotFocus, &context_, [this] { add("focus"); });
    }

    Events Take() { return std::exchange(events_, {}); }

private:
    void add(const char* what) {
        events_.push_back(std::string(what) + " " + std::to_string(grid_->Row()) + "," +
                          std::to_string(grid_->Col()));
    }

    FlexGrid* grid_;
    QObject context_;  // disconnects the handlers with the log
    Events events_;
};

// A window with an edit box ahead of the grid in the tab chain, the grid
// 5100 x 1935 twips as on the route screen.
class FlexGridTest : public ::testing::Test {
protected:
    FlexGridTest() {
        window_.resize(400, 200);
        edit_ = new QLineEdit(&window_);
        edit_->setGeometry(0, 160, 100, 20);
        grid_ = new FlexGrid(&window_);
        grid_->setGeometry(0, 0, 340, 129);
    }

    // A heading row, the article column and four figures.
    void UseRouteLayout(int rows) {
        grid_->SetCols(5);
        grid_->SetRows(rows);
        grid_->SetColWidth(0, 1600);
        for (int c = 1; c < 5; ++c) grid_->SetColWidth(c, 800);
    }

    void ShowActive() {
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }

    // Pixel rectangle of a shown cell, grid line included, at 96 DPI.
    QRect CellRect(int row, int col) const {
        int x = 0;
        for (int c = 0; c < col; ++c) x += grid_->ColWidth(c);
        int y = 0;
        const int first = row < grid_->FixedRows() ? 0 : grid_->TopRow();
        for (int r = 0; r < std::min(row, grid_->FixedRows()); ++r) y += grid_->RowHeight(r);
        for (int r = first; r < row; ++r) y += grid_->RowHeight(r);
        return QRect(x / kTwipsPerPixel, y / kTwipsPerPixel, grid_->ColWidth(col) / kTwipsPerPixel,
                     grid_->RowHeight(row) / kTwipsPerPixel);
    }

    QPoint CellCentre(int row, int col) const { return CellRect(row, col).center(); }

    void Click(int row, int col) {
        QTest::mouseClick(grid_, Qt::LeftButton, Qt::NoModifier, CellCentre(row, col));
    }

    QWidget window_;
    QLineEdit* edit_;
    FlexGrid* grid_;
};

TEST_F(FlexGridTest, StartsAsTwoByTwoWithOneHeadingRowAndColumn) {
    EXPECT_EQ(2, grid_->Rows());
    EXPECT_EQ(2, grid_->Cols());
    EXPECT_EQ(1, grid_->FixedRows());
    EXPECT_EQ(1, grid_->FixedCols());
    EXPECT_EQ(1, grid_->Row());
    EXPECT_EQ(1, grid_->Col());
    EXPECT_EQ(1, grid_->TopRow());
    EXPECT_EQ(240, grid_->RowHeight(1));
    EXPECT_EQ(Qt::StrongFocus, grid_->focusPolicy());
    EXPECT_DOUBLE_EQ(8.25, grid_->font().pointSizeF());
}

// --- Cell events ----------------------------------------------------------------

TEST_F(FlexGridTest, ProgramMovesLeaveTheOldCellThenEnterTheNewOne) {
    UseRouteLayout(8);
    EventLog log(grid_);

    grid_->SetRow(3);
    EXPECT_EQ((Events{"leave 1,1", "enter 3,1"}), log.Take());
    grid_->SetCol(4);
    EXPECT_EQ((Events{"leave 3,1", "enter 3,4"}), log.Take());

    grid_->SetRow(3);
    grid_->SetCol(4);
    EXPECT_TRUE(log.Take().empty());

    // The program may go into the headings.
    grid_->SetRow(0);
    grid_->SetCol(0);
    EXPECT_EQ((Events{"leave 3,4", "enter 0,4", "leave 0,4", "enter 0,0"}), log.Take());

    EXPECT_THROW(grid_->SetRow(8), std::out_of_range);
    EXPECT_THROW(grid_->SetCol(-1), std::out_of_range);
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(0, grid_->Row());
}

TEST_F(FlexGridTest, LeaveCellHandlerWritesToTheCellBeingLeft) {
    UseRouteLayout(8);
    QObject::connect(grid_, &FlexGrid::LeaveCell, [this] { grid_->SetText("saved"); });

    grid_->SetRow(2);
    grid_->SetCol(3);

    EXPECT_EQ("saved", grid_->TextMatrix(1, 1));
    EXPECT_EQ("saved", grid_->TextMatrix(2, 1));
    EXPECT_EQ("", grid_->TextMatrix(2, 3));
}

TEST_F(FlexGridTest, MoveStaysInsideWhenTheLeaveCellHandlerShrinksTheGrid) {
    UseRouteLayout(8);
    EventLog log(grid_);
    QObject::connect(grid_, &FlexGrid::LeaveCell, [this] { grid_->SetRows(4); });

    grid_->SetRow(7);

    EXPECT_EQ(3, grid_->Row());
    EXPECT_EQ((Events{"leave 1,1", "enter 3,1"}), log.Take());
}

TEST_F(FlexGridTest, KeysMoveWithinTheNonFixedCells) {
    UseRouteLayout(8);
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    grid_->SetFocus();
    EventLog log(grid_);
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(grid_, key, mods);
        return log.Take();
    };

    EXPECT_EQ((Events{"leave 1,1", "enter 2,1"}), press(Qt::Key_Down));
    EXPECT_EQ((Events{"leave 2,1", "enter 1,1"}), press(Qt::Key_Up));
    EXPECT_TRUE(press(Qt::Key_Up).empty());
    EXPECT_TRUE(press(Qt::Key_Left).empty());
    EXPECT_EQ((Events{"leave 1,1", "enter 1,4"}), press(Qt::Key_End));
    EXPECT_TRUE(press(Qt::Key_Right).empty());
    EXPECT_EQ((Events{"leave 1,4", "enter 1,1"}), press(Qt::Key_Home));
    EXPECT_EQ((Events{"leave 1,1", "enter 7,1"}), press(Qt::Key_PageDown));
    EXPECT_TRUE(press(Qt::Key_Down).empty());
    EXPECT_EQ((Events{"leave 7,1", "enter 1,1"}), press(Qt::Key_PageUp));
    EXPECT_EQ((Events{"leave 1,1", "enter 7,4"}), press(Qt::Key_End, Qt::ControlModifier));
    EXPECT_EQ((Events{"leave 7,4", "enter 1,1"}), press(Qt::Key_Home, Qt::ControlModifier));
}

TEST_F(FlexGridTest, KeysLeaveAHeadingCellTheProgramChose) {
    UseRouteLayout(8);
    grid_->SetRow(0);
    grid_->SetCol(0);
    EventLog log(grid_);

    QTest::keyClick(grid_, Qt::Key_Up);

    EXPECT_EQ((Events{"leave 0,0", "enter 1,1"}), log.Take());
}

TEST_F(FlexGridTest, ClickMakesANonFixedCellCurrent) {
    UseRouteLayout(8);
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    grid_->SetFocus();
    EventLog log(grid_);

    Click(3, 2);
    EXPECT_EQ((Events{"leave 1,1", "enter 3,2"}), log.Take());

    Click(3, 2);
    Click(0, 2);  // heading row
    Click(4, 0);  // article column
    QTest::mouseClick(grid_, Qt::LeftButton, Qt::NoModifier,
                      QPoint(330, 50));  // right of the cells
    EXPECT_TRUE(log.Take().empty());
    EXPECT_EQ(3, grid_->Row());
    EXPECT_EQ(2, grid_->Col());
}

TEST_F(FlexGridTest, ClickOnAnUnfocusedGridRaisesGotFocusWhileTheOldCellIsCurrent) {
    UseRouteLayout(8);
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    edit_->setFocus();
    ASSERT_FALSE(grid_->hasFocus());
    EventLog log(grid_);

    Click(2, 3);

    EXPECT_EQ((Events{"focus 1,1", "leave 1,1", "enter 2,3"}), log.Take());
    EXPECT_TRUE(grid_->hasFocus());

    // Same for a press the application did not route through its focus handling.
    edit_->setFocus();
    const QPointF at = CellCentre(4, 1);
    QMouseEvent press(QEvent::MouseButtonPress, at, grid_->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grid_, &press);
    EXPECT_EQ((Events{"focus 2,3", "leave 2,3", "enter 4,1"}), log.Take());
}

TEST_F(FlexGridTest, GotFocusOnSetFocusTabAndClick) {
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    edit_->setFocus();
    int got = 0;
    QObject::connect(grid_, &FlexGrid::GotFocus, [&] { ++got; });

    grid_->SetFocus();
    EXPECT_EQ(1, got);
    EXPECT_TRUE(grid_->hasFocus());

    edit_->setFocus();
    QTest::keyClick(edit_, Qt::Key_Tab);
    EXPECT_EQ(2, got);
    EXPECT_TRUE(grid_->hasFocus());

    edit_->setFocus();
    Click(0, 0);
    EXPECT_EQ(3, got);
    EXPECT_TRUE(grid_->hasFocus());
}

TEST_F(FlexGridTest, SetFocusBeforeTheWindowIsActiveNamesTheGridItsFocusWidget) {
    grid_->SetFocus();
    EXPECT_EQ(grid_, window_.focusWidget());
}

TEST_F(FlexGridTest, DoubleClickRaisesDblClickOnTheClickedCell) {
    UseRouteLayout(8);
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    grid_->SetFocus();
    EventLog log(grid_);
    int doubles = 0;
    QObject::connect(grid_, &FlexGrid::DblClick, [&] { ++doubles; });

    Click(2, 2);
    QTest::mouseDClick(grid_, Qt::LeftButton, Qt::NoModifier, CellCentre(2, 2));
    EXPECT_EQ(1, doubles);
    EXPECT_EQ((Events{"leave 1,1", "enter 2,2"}), log.Take());

    // A double click that comes without its first press still lands on its cell.
    QTest::mouseDClick(grid_, Qt::LeftButton, Qt::NoModifier, CellCentre(3, 3));
    EXPECT_EQ(2, doubles);
    EXPECT_EQ((Events{"leave 2,2", "enter 3,3"}), log.Take());
}

// --- Keys -----------------------------------------------------------------------

TEST_F(FlexGridTest, KeyPressCarriesTheCharacterCode) {
    UseRouteLayout(8);
    std::vector<int> codes;
    QObject::connect(grid_, &FlexGrid::KeyPress, [&](int16_t& code) { codes.push_back(code); });
    const auto type = [this](Qt::Key key, const QString& text,
                             Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::sendKeyEvent(QTest::Click, grid_, key, text, mods);
    };

    QTest::keyClick(grid_, '7');
    QTest::keyClick(grid_, Qt::Key_Space);
    QTest::keyClick(grid_, Qt::Key_Return);
    type(Qt::Key_Return, QString());
    type(Qt::Key_Enter, QString(), Qt::KeypadModifier);
    QTest::keyClick(grid_, Qt::Key_Backspace);
    QTest::keyClick(grid_, Qt::Key_Escape);
    type(Qt::Key_Aring, QString(QChar(0xE5)));
    type(Qt::Key_unknown, QString(QChar(0x20AC)));
    type(Qt::Key_unknown, QString(QChar(0xFF21)));  // fullwidth A: above 0x7FFF
    QTest::keyClick(grid_, Qt::Key_A, Qt::ControlModifier);

    EXPECT_EQ((std::vector<int>{55, 32, 13, 13, 13, 8, 27, 229, 8364, 0xFF21 - 0x10000, 1}), codes);
    EXPECT_EQ(1, grid_->Row());
}

TEST_F(FlexGridTest, KeysThatTypeNothingRaiseNoKeyPress) {
    UseRouteLayout(8);
    int presses = 0;
    QObject::connect(grid_, &FlexGrid::KeyPress, [&](int16_t&) { ++presses; });

    QTest::keyClick(grid_, Qt::Key_Down);
    QTest::keyClick(grid_, Qt::Key_F2);
    QTest::keyClick(grid_, Qt::Key_Shift);
    QTest::keyClick(grid_, Qt::Key_Delete);
    QTest::sendKeyEvent(QTest::Click, grid_, Qt::Key_unknown, QStringLiteral("\U0001F35E"),
                        Qt::NoModifier);

    EXPECT_EQ(0, presses);
    EXPECT_EQ(2, grid_->Row());
}

// --- Geometry -------------------------------------------------------------------

TEST_F(FlexGridTest, CurrentCellGeometryInTwips) {
    ASSERT_EQ(96, grid_->logicalDpiX());
    ASSERT_EQ(96, grid_->logicalDpiY());
    UseRouteLayout(8);
    grid_->SetCol(4);

    EXPECT_EQ(4000, grid_->CellLeft());
    EXPECT_EQ(240, grid_->CellTop());
    EXPECT_EQ(800, grid_->CellWidth());
    EXPECT_EQ(240, grid_->CellHeight());

    grid_->SetRow(7);
    EXPECT_EQ(4000, grid_->CellLeft());
    EXPECT_EQ(1680, grid_->CellTop());
    EXPECT_EQ(1, grid_->TopRow());  // eight rows fit without scrolling
}

TEST_F(FlexGridTest, PlacementOnTheParentInTwips) {
    ASSERT_EQ(96, grid_->logicalDpiX());
    grid_->setGeometry(10, 20, 340, 129);
    EXPECT_EQ(150, grid_->Left());
    EXPECT_EQ(300, grid_->Top());
    EXPECT_EQ(5100, grid_->Width());
    EXPECT_EQ(1935, grid_->Height());

    grid_->resize(100, 50);
    grid_->SetWidth(5100.0f);
    grid_->SetHeight(1935);
    grid_->SetLeft(300);
    grid_->SetTop(150);
    EXPECT_EQ(QRect(20, 10, 340, 129), grid_->geometry());
}

// --- Shape and contents -----------------------------------------------------------

TEST_F(FlexGridTest, ShrinkingDropsCellsAndGrowingAddsEmptyOnes) {
    UseRouteLayout(4);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 5; ++c) grid_->SetTextMatrix(r, c, QString("%1,%2").arg(r).arg(c));
    }
    grid_->SetRow(3);
    grid_->SetCol(4);
    EventLog log(grid_);

    grid_->SetRows(2);
    grid_->SetCols(3);
    EXPECT_EQ(1, grid_->Row());  // kept inside, silently
    EXPECT_EQ(2, grid_->Col());
    EXPECT_EQ("1,2", grid_->TextMatrix(1, 2));
    EXPECT_THROW(grid_->TextMatrix(2, 0), std::out_of_range);
    EXPECT_THROW(grid_->TextMatrix(0, 3), std::out_of_range);
    EXPECT_THROW(grid_->SetTextMatrix(-1, 0, "x"), std::out_of_range);

    grid_->SetRows(4);
    grid_->SetCols(5);
    EXPECT_EQ("1,2", grid_->TextMatrix(1, 2));
    EXPECT_EQ("", grid_->TextMatrix(1, 3));
    EXPECT_EQ("", grid_->TextMatrix(3, 4));
    EXPECT_EQ(1600, grid_->ColWidth(0));
    EXPECT_TRUE(log.Take().empty());
}

TEST_F(FlexGridTest, FixedCountsMustFitAndPushTheCurrentCellOutOfThem) {
    EXPECT_THROW(grid_->SetFixedRows(3), std::out_of_range);
    EXPECT_THROW(grid_->SetFixedCols(-1), std::out_of_range);
    EXPECT_THROW(grid_->SetRows(0), std::out_of_range);  // below FixedRows
    EXPECT_THROW(grid_->ColWidth(2), std::out_of_range);

    grid_->SetRows(5);
    grid_->SetRow(0);
    EventLog log(grid_);
    grid_->SetFixedRows(2);
    EXPECT_EQ(2, grid_->Row());

    grid_->SetFixedRows(5);  // nothing left but headings
    EXPECT_EQ(2, grid_->Row());
    grid_->SetFixedRows(1);
    grid_->SetRows(1);
    EXPECT_EQ(0, grid_->Row());
    EXPECT_TRUE(log.Take().empty());
}

TEST_F(FlexGridTest, ClearEmptiesTextsAndColoursButKeepsTheShape) {
    UseRouteLayout(4);
    grid_->SetFormatString("<Artikel|^Lev|^Ret|^Sålt|^Kvar");
    grid_->SetTextMatrix(2, 3, "12");
    grid_->SetRow(2);
    grid_->SetCellBackColor(0xFFFF0000);

    grid_->Clear();

    EXPECT_EQ(4, grid_->Rows());
    EXPECT_EQ(5, grid_->Cols());
    EXPECT_EQ(1, grid_->FixedRows());
    EXPECT_EQ(1, grid_->FixedCols());
    EXPECT_EQ(1600, grid_->ColWidth(0));
    EXPECT_EQ("", grid_->TextMatrix(0, 0));
    EXPECT_EQ("", grid_->TextMatrix(2, 3));
    EXPECT_EQ(0u, grid_->CellBackColor());
}

TEST_F(FlexGridTest, FormatStringFillsTheHeadingRowAndGrowsTheColumns) {
    grid_->SetFormatString("<Artikel|^Lev|>Ret");
    EXPECT_EQ(3, grid_->Cols());
    EXPECT_EQ("Artikel", grid_->TextMatrix(0, 0));
    EXPECT_EQ("Lev", grid_->TextMatrix(0, 1));
    EXPECT_EQ("Ret", grid_->TextMatrix(0, 2));
    EXPECT_EQ("<Artikel|^Lev|>Ret", grid_->FormatString());

    grid_->SetFormatString("Namn|^");
    EXPECT_EQ(3, grid_->Cols());
    EXPECT_EQ("Namn", grid_->TextMatrix(0, 0));
    EXPECT_EQ("", grid_->TextMatrix(0, 1));
}

TEST_F(FlexGridTest, AddItemAppendsARow) {
    grid_->SetCols(3);
    grid_->AddItem("Limpa");
    grid_->AddItem("Bulle\t4\t2");

    EXPECT_EQ(4, grid_->Rows());
    EXPECT_EQ("Limpa", grid_->TextMatrix(2, 0));
    EXPECT_EQ("", grid_->TextMatrix(2, 1));
    EXPECT_EQ("Bulle", grid_->TextMatrix(3, 0));
    EXPECT_EQ("4", grid_->TextMatrix(3, 1));
    EXPECT_EQ("2", grid_->TextMatrix(3, 2));
}

TEST_F(FlexGridTest, CellBackColorBelongsToTheCurrentCellOnly) {
    UseRouteLayout(8);
    grid_->SetRow(3);
    grid_->SetCol(2);
    grid_->SetCellBackColor(0xFF00C000);
    EXPECT_EQ(0xFF00C000u, grid_->CellBackColor());

    grid_->SetRow(4);
    EXPECT_EQ(0u, grid_->CellBackColor());
    grid_->SetRow(3);
    grid_->SetCol(3);
    EXPECT_EQ(0u, grid_->CellBackColor());
}

// --- Painting -------------------------------------------------------------------

TEST_F(FlexGridTest, PaintsHeadingsCellColoursAndTheCurrentCell) {
    UseRouteLayout(8);
    grid_->SetRow(3);
    grid_->SetCol(2);
    grid_->SetCellBackColor(0xFF00C000);
    grid_->SetRow(5);
    const QPalette& pal = grid_->palette();
    EXPECT_EQ(pal.color(QPalette::Button).rgba(), grid_->BackColorFixed());

    QImage image = grid_->grab().toImage();
    EXPECT_EQ(grid_->BackColorFixed(), image.pixel(CellCentre(0, 0)));
    EXPECT_EQ(grid_->BackColorFixed(), image.pixel(CellCentre(4, 0)));
    EXPECT_EQ(0xFF00C000u, image.pixel(CellCentre(3, 2)));
    EXPECT_EQ(pal.color(QPalette::Base).rgba(), image.pixel(CellCentre(4, 2)));

    // Without the focus the current cell keeps its colour but shows a frame.
    const QRect current = CellRect(5, 2);
    EXPECT_EQ(pal.color(QPalette::Base).rgba(), image.pixel(current.center()));
    int framed = 0;
    for (int x = current.left() + 1; x < current.right() - 1; ++x) {
        if (image.pixel(x, current.top() + 1) != pal.color(QPalette::Base).rgba()) ++framed;
    }
    EXPECT_GT(framed, 0);

    // With the focus it is highlighted, unless it has a colour of its own.
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    grid_->SetFocus();
    image = grid_->grab().toImage();
    EXPECT_EQ(pal.color(QPalette::Highlight).rgba(), image.pixel(current.center()));
    grid_->SetRow(3);
    image = grid_->grab().toImage();
    EXPECT_EQ(0xFF00C000u, image.pixel(CellCentre(3, 2)));
}

// Leftmost and rightmost x in a rectangle whose colour differs from the background.
std::pair<int, int> InkSpan(const QImage& image, const QRect& rect, QRgb background) {
    int left = rect.right();
    int right = rect.left();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixel(x, y) == background) continue;
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    return {left, right};
}

TEST_F(FlexGridTest, HeadingMarkAlignsTheWholeColumn) {
    grid_->SetCols(3);
    for (int c = 0; c < 3; ++c) grid_->SetColWidth(c, 1500);  // 100 px
    grid_->SetFixedCols(0);
    grid_->SetFormatString("<|^|>");
    for (int c = 0; c < 3; ++c) grid_->SetTextMatrix(1, c, "ii");
    grid_->SetRow(0);  // keep the focus frame out of row 1
    grid_->SetCol(0);

    const QImage image = grid_->grab().toImage();
    const QRgb base = grid_->palette().color(QPalette::Base).rgba();
    const auto inner = [&](int col) { return CellRect(1, col).adjusted(0, 0, -2, -2); };

    const auto [left0, right0] = InkSpan(image, inner(0), base);
    ASSERT_LT(left0, right0);
    EXPECT_LT(left0 - inner(0).left(), 10);

    const auto [left1, right1] = InkSpan(image, inner(1), base);
    ASSERT_LT(left1, right1);
    EXPECT_NEAR(inner(1).center().x(), (left1 + right1) / 2.0, 3);

    const auto [left2, right2] = InkSpan(image, inner(2), base);
    ASSERT_LT(left2, right2);
    EXPECT_LT(inner(2).right() - right2, 10);
}

// --- Scrolling ------------------------------------------------------------------

TEST_F(FlexGridTest, MovingDownALongListScrollsTheCurrentRowIntoView) {
    ASSERT_EQ(96, grid_->logicalDpiY());
    UseRouteLayout(30);
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    grid_->SetFocus();
    const auto* bar = grid_->findChild<QScrollBar*>();
    ASSERT_NE(nullptr, bar);
    EXPECT_TRUE(bar->isVisible());

    for (int i = 0; i < 29; ++i) QTest::keyClick(grid_, Qt::Key_Down);
    EXPECT_EQ(29, grid_->Row());
    EXPECT_EQ(23, grid_->TopRow());  // seven rows below the heading fit
    EXPECT_EQ(1680, grid_->CellTop());
    EXPECT_EQ(23, bar->value());
    EXPECT_FALSE(grid_->grab().isNull());

    QTest::keyClick(grid_, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(1, grid_->TopRow());
    QTest::keyClick(grid_, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(23, grid_->TopRow());
    QTest::keyClick(grid_, Qt::Key_PageUp);
    EXPECT_EQ(22, grid_->Row());
    EXPECT_EQ(22, grid_->TopRow());
    EXPECT_EQ(240, grid_->CellTop());

    // Clicks land on the rows as scrolled.
    Click(25, 2);
    EXPECT_EQ(25, grid_->Row());
    EXPECT_EQ(2, grid_->Col());

    grid_->SetRows(5);
    EXPECT_EQ(1, grid_->TopRow());
    EXPECT_FALSE(bar->isVisible());
}

TEST_F(FlexGridTest, WheelAndScrollBarScrollWithoutMovingTheCurrentCell) {
    UseRouteLayout(30);
    ASSERT_NO_FATAL_FAILURE(ShowActive());
    EventLog log(grid_);

    QWheelEvent down(QPointF(50, 50), grid_->mapToGlobal(QPointF(50, 50)), QPoint(),
                     QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid_, &down);
    EXPECT_EQ(1 + QApplication::wheelScrollLines(), grid_->TopRow());

    grid_->findChild<QScrollBar*>()->setValue(10);
    EXPECT_EQ(10, grid_->TopRow());
    EXPECT_EQ(1, grid_->Row());
    EXPECT_TRUE(log.Take().empty());

    // Nothing scrolls past the last row.
    grid_->findChild<QScrollBar*>()->setValue(29);
    EXPECT_EQ(23, grid_->TopRow());
}

}  // namespace
}  // namespace screen
