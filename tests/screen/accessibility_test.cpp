#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <utility>
#include <vector>

#include "form_fixture.h"

namespace {

using testing_support::Becomes;
using testing_support::FormFixture;

// Qt's view of the window, the way a screen reader gets it. Without a
// platform bridge (offscreen) no change events are delivered, so only what a
// reader asks for is tested, not what it is told.
class Accessibility : public FormFixture {
protected:
    static QAccessibleInterface* Of(QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget);
    }
    QAccessibleInterface* GridIface() { return Of(form->Grid1); }
    QAccessibleTableInterface* Table() { return GridIface()->tableInterface(); }
    QAccessibleInterface* CellAt(int row, int col) { return Table()->cellAt(row, col); }

    static QString Name(QAccessibleInterface* iface) { return iface->text(QAccessible::Name); }
    static QString Description(QAccessibleInterface* iface) {
        return iface->text(QAccessible::Description);
    }
    static std::pair<int, int> Position(QAccessibleInterface* cell) {
        return {cell->tableCellInterface()->rowIndex(), cell->tableCellInterface()->columnIndex()};
    }
};

TEST_F(Accessibility, EveryControlHasASwedishNameAndDescription) {
    const std::vector<std::pair<QWidget*, QString>> names = {
        {form.get(), "Leverans"},
        {form->Grid1, "Artiklar för Maxi tur 1"},
        {form->GridText, "Levererat antal"},
        {form->Frame1, "Visa kund"},
        {form->Command1, "Visa föregående kund"},
        {form->Text1, "Kund"},
        {form->Command2, "Visa nästa kund"},
        {form->Command3, "Spara leveranser"},
    };
    for (const auto& [widget, name] : names) {
        QAccessibleInterface* iface = Of(widget);
        ASSERT_NE(iface, nullptr) << widget->objectName().toStdString();
        EXPECT_EQ(Name(iface), name);
        EXPECT_FALSE(Description(iface).isEmpty()) << name.toStdString();
    }
    EXPECT_EQ(
        Description(GridIface()),
        "Lager, beställt, rekommenderat och levererat antal per artikel för kunden som visas");
    EXPECT_EQ(Description(Of(form->GridText)),
              "Skriv det levererade antalet; Enter sparar i rutan, Esc ångrar");
    EXPECT_EQ(Description(Of(form->Text1)), "Namnet på kunden som visas");
    EXPECT_EQ(Description(Of(form->Command3)),
              "Sparar kolumnen Lev, minskar lagret och går till nästa kund");
    // The customer's name itself is the box's value.
    EXPECT_EQ(Of(form->Text1)->text(QAccessible::Value), "Maxi tur 1");
}

TEST_F(Accessibility, GridIsATableOfTheCustomerPage) {
    QAccessibleInterface* grid = GridIface();
    EXPECT_EQ(grid->role(), QAccessible::Table);
    ASSERT_NE(Table(), nullptr);
    EXPECT_EQ(Table()->rowCount(), 8);
    EXPECT_EQ(Table()->columnCount(), 5);
    EXPECT_EQ(grid->childCount(), 40);
    EXPECT_EQ(Table()->columnDescription(1), "Lager");
    EXPECT_EQ(Table()->columnDescription(4), "Lev");
    EXPECT_EQ(Table()->rowDescription(3), "120 Lyxfranska");
    EXPECT_EQ(Table()->rowDescription(0), "");
    EXPECT_EQ(Table()->cellAt(8, 0), nullptr);
    EXPECT_EQ(Table()->cellAt(0, 5), nullptr);
    EXPECT_EQ(Table()->cellAt(-1, 0), nullptr);
}

TEST_F(Accessibility, CellKnowsItsHeadingArticleAndTable) {
    QAccessibleInterface* cell = CellAt(3, 1);
    ASSERT_NE(cell, nullptr);
    ASSERT_NE(cell->tableCellInterface(), nullptr);
    EXPECT_EQ(Name(cell), "Lager 5");
    EXPECT_EQ(Description(cell), "Lager för 120 Lyxfranska: 5");
    EXPECT_EQ(cell->role(), QAccessible::Cell);
    EXPECT_EQ(Position(cell), std::make_pair(3, 1));
    EXPECT_EQ(cell->tableCellInterface()->rowExtent(), 1);
    EXPECT_EQ(cell->tableCellInterface()->columnExtent(), 1);

    const auto columnHeaders = cell->tableCellInterface()->columnHeaderCells();
    ASSERT_EQ(columnHeaders.size(), 1);
    EXPECT_EQ(Name(columnHeaders[0]), "Lager");
    EXPECT_EQ(columnHeaders[0]->role(), QAccessible::ColumnHeader);
    const auto rowHeaders = cell->tableCellInterface()->rowHeaderCells();
    ASSERT_EQ(rowHeaders.size(), 1);
    EXPECT_EQ(Name(rowHeaders[0]), "120 Lyxfranska");
    EXPECT_EQ(rowHeaders[0]->role(), QAccessible::RowHeader);
    EXPECT_EQ(Description(rowHeaders[0]), "Artikel: 120 Lyxfranska");

    EXPECT_EQ(cell->tableCellInterface()->table(), GridIface());
    EXPECT_EQ(cell->parent(), GridIface());
    EXPECT_EQ(GridIface()->indexOfChild(cell), 3 * 5 + 1);
    EXPECT_EQ(GridIface()->child(3 * 5 + 1), cell);
}

// A reader goes along a row cell by cell and names a column only when the
// column changes, so a figure beside the article carries its heading.
TEST_F(Accessibility, EveryCellReadsWithItsHeadingAndArticle) {
    const QStringList headings = {"Artikel", "Lager", "Best", "Rek", "Lev"};
    for (int col = 0; col < 5; ++col) {
        QAccessibleInterface* heading = CellAt(0, col);
        EXPECT_EQ(Name(heading), headings[col]);
        EXPECT_EQ(heading->role(), QAccessible::ColumnHeader);
    }
    for (int row = 1; row < 8; ++row) {
        EXPECT_EQ(Name(CellAt(row, 0)), Cell(row, 0));
        for (int col = 1; col < 5; ++col) {
            QAccessibleInterface* cell = CellAt(row, col);
            SCOPED_TRACE(testing::Message() << "cell " << row << "," << col);
            const QString value = Cell(row, col).trimmed();
            if (col < 4) {
                EXPECT_EQ(Name(cell), headings[col] + " " + (value.isEmpty() ? "tom" : value));
            } else {
                EXPECT_EQ(Name(cell), Cell(row, col));  // the Lev cell is the value itself
            }
            const auto columnHeaders = cell->tableCellInterface()->columnHeaderCells();
            const auto rowHeaders = cell->tableCellInterface()->rowHeaderCells();
            ASSERT_EQ(columnHeaders.size(), 1);
            ASSERT_EQ(rowHeaders.size(), 1);
            EXPECT_EQ(Position(columnHeaders[0]), std::make_pair(0, col));
            EXPECT_EQ(Position(rowHeaders[0]), std::make_pair(row, 0));
            EXPECT_TRUE(Description(cell).startsWith(headings[col] + " för " + Cell(row, 0) + ": "))
                << Description(cell).toStdString();
        }
    }
    // An empty cell is said to be empty rather than read as nothing.
    EXPECT_EQ(Name(CellAt(2, 2)), "Best tom");
    EXPECT_EQ(Description(CellAt(2, 2)), "Best för 116 Jätterasker: tom");
    TypeLev(7, " 3");
    EXPECT_EQ(Name(CellAt(7, 4)), " 3");
    EXPECT_EQ(Description(CellAt(7, 4)), "Lev för 326 Gräddad längtan: 3");
    // A heading renamed renames its column's figures.
    grid().SetTextMatrix(0, 2, "Beställt");
    EXPECT_EQ(Name(CellAt(1, 2)), "Beställt 12");
}

// Readers ask the heading row and the first column for the table's headers:
// those cells answer with themselves.
TEST_F(Accessibility, HeadingsAndArticlesAreTheirOwnHeaders) {
    for (int col = 0; col < 5; ++col) {
        QAccessibleInterface* heading = CellAt(0, col);
        EXPECT_EQ(heading->tableCellInterface()->columnHeaderCells(),
                  QList<QAccessibleInterface*>{heading})
            << col;
        EXPECT_TRUE(heading->tableCellInterface()->rowHeaderCells().isEmpty()) << col;
    }
    for (int row = 1; row < 8; ++row) {
        QAccessibleInterface* article = CellAt(row, 0);
        EXPECT_EQ(article->tableCellInterface()->rowHeaderCells(),
                  QList<QAccessibleInterface*>{article})
            << row;
        EXPECT_EQ(article->tableCellInterface()->columnHeaderCells(),
                  QList<QAccessibleInterface*>{CellAt(0, 0)})
            << row;
        EXPECT_EQ(Position(article), std::make_pair(row, 0));
    }
    // Without fixed rows or columns nothing is a header.
    screen::FlexGrid bare;
    bare.SetFixedRows(0);
    bare.SetFixedCols(0);
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(&bare)->tableInterface();
    EXPECT_TRUE(table->cellAt(0, 0)->tableCellInterface()->columnHeaderCells().isEmpty());
    EXPECT_TRUE(table->cellAt(1, 0)->tableCellInterface()->rowHeaderCells().isEmpty());
    EXPECT_EQ(table->cellAt(1, 1)->role(), QAccessible::Cell);
}

TEST_F(Accessibility, CellsKeepTheirIdentity) {
    QAccessibleInterface* cell = CellAt(4, 2);
    const QAccessible::Id id = QAccessible::uniqueId(cell);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(CellAt(4, 2), cell);
    EXPECT_EQ(QAccessible::accessibleInterface(id), cell);
    grid().SetRow(6);  // redrawing and moving keep the cell
    EXPECT_EQ(CellAt(4, 2), cell);
    EXPECT_NE(CellAt(4, 3), cell);
}

TEST_F(Accessibility, OnlyTheLevColumnCanTakeTheFocus) {
    EXPECT_TRUE(CellAt(2, 4)->state().focusable);
    EXPECT_FALSE(CellAt(2, 4)->state().readOnly);
    for (int col = 0; col < 4; ++col) {
        EXPECT_FALSE(CellAt(2, col)->state().focusable) << col;
        EXPECT_TRUE(CellAt(2, col)->state().readOnly) << col;
    }
    EXPECT_FALSE(CellAt(0, 4)->state().focusable);
}

TEST_F(Accessibility, CurrentCellIsTheSelectedAndFocusChild) {
    grid().SetRow(5);
    ASSERT_EQ(grid().Col(), 4);
    QAccessibleInterface* current = CellAt(5, 4);
    EXPECT_EQ(GridIface()->focusChild(), current);
    EXPECT_EQ(Table()->selectedCellCount(), 1);
    EXPECT_EQ(Table()->selectedCells(), QList<QAccessibleInterface*>{current});
    EXPECT_TRUE(current->tableCellInterface()->isSelected());
    EXPECT_TRUE(current->state().selected);
    EXPECT_FALSE(CellAt(4, 4)->state().selected);
    EXPECT_FALSE(Table()->isRowSelected(5));
    EXPECT_FALSE(Table()->isColumnSelected(4));

    grid().SetRow(2);
    EXPECT_EQ(GridIface()->focusChild(), CellAt(2, 4));
    EXPECT_EQ(Table()->selectedCells(), QList<QAccessibleInterface*>{CellAt(2, 4)});
    EXPECT_FALSE(current->state().selected);
}

TEST_F(Accessibility, CurrentCellIsFocusedOnlyWhileTheGridHasTheFocus) {
    Show();
    form->Command2->setFocus();
    grid().SetRow(3);
    EXPECT_FALSE(CellAt(3, 4)->state().focused);
    grid().SetFocus();
    ASSERT_TRUE(grid().hasFocus());
    EXPECT_TRUE(CellAt(3, 4)->state().focused);
    EXPECT_FALSE(CellAt(4, 4)->state().focused);
}

TEST_F(Accessibility, NextPageReadsTheNextCustomer) {
    QAccessibleInterface* kept = CellAt(1, 2);
    EXPECT_EQ(Name(kept), "Best 12");
    EXPECT_EQ(Name(CellAt(2, 2)), "Best tom");
    form->Command2_Click();
    ASSERT_EQ(form->nAktKund, 2);
    EXPECT_EQ(Name(kept), "Best 6");
    EXPECT_EQ(CellAt(1, 2), kept);
    EXPECT_EQ(Name(CellAt(2, 2)), "Best 30");
    EXPECT_EQ(Name(GridIface()), "Artiklar för ICA Butiken");
    EXPECT_EQ(Description(CellAt(4, 2)), "Best för 130 Rasker: 4");
    EXPECT_EQ(Table()->rowCount(), 8);
    EXPECT_EQ(Of(form->Text1)->text(QAccessible::Value), form->Text1->Text());
}

TEST_F(Accessibility, CellsOfAShrunkenGridGoAway) {
    screen::FlexGrid grid;
    grid.SetCols(3);
    grid.SetRows(6);
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(&grid)->tableInterface();
    const QAccessible::Id gone = QAccessible::uniqueId(table->cellAt(5, 2));
    const QAccessible::Id lastColumn = QAccessible::uniqueId(table->cellAt(2, 2));
    const QAccessible::Id kept = QAccessible::uniqueId(table->cellAt(1, 1));

    // Told of the change, as Qt does while a reader listens.
    grid.SetRows(3);
    QAccessibleTableModelChangeEvent reset(&grid, QAccessibleTableModelChangeEvent::ModelReset);
    table->modelChange(&reset);
    EXPECT_EQ(QAccessible::accessibleInterface(gone), nullptr);
    EXPECT_NE(QAccessible::accessibleInterface(lastColumn), nullptr);
    EXPECT_EQ(table->cellAt(5, 2), nullptr);

    // Not told: the next question tidies up.
    grid.SetCols(2);
    EXPECT_EQ(QAccessible::uniqueId(table->cellAt(1, 1)), kept);
    EXPECT_EQ(QAccessible::accessibleInterface(lastColumn), nullptr);
    EXPECT_EQ(table->cellAt(1, 2), nullptr);
    EXPECT_EQ(table->columnCount(), 2);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&grid)->childCount(), 6);
}

TEST_F(Accessibility, CellScrolledAwayHasNoPlaceOnScreen) {
    screen::FlexGrid grid;
    grid.SetRows(30);
    grid.resize(200, 100);
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(&grid)->tableInterface();
    QAccessibleInterface* far = table->cellAt(25, 1);
    EXPECT_TRUE(far->rect().isEmpty());
    EXPECT_TRUE(far->state().offscreen);
    grid.SetRow(25);  // scrolls it into view
    EXPECT_FALSE(far->rect().isEmpty());
    EXPECT_FALSE(far->state().offscreen);
    EXPECT_TRUE(table->cellAt(1, 1)->state().offscreen);
    EXPECT_FALSE(table->cellAt(0, 1)->state().offscreen);  // the heading row stays
}

TEST_F(Accessibility, CellsLieInsideTheGridOnScreen) {
    Show();
    const QRect gridRect = GridIface()->rect();
    ASSERT_FALSE(gridRect.isEmpty());
    EXPECT_EQ(gridRect.topLeft(), form->Grid1->mapToGlobal(QPoint(0, 0)));
    for (int row = 0; row < 8; ++row) {
        for (int col = 0; col < 5; ++col) {
            const QRect rect = CellAt(row, col)->rect();
            SCOPED_TRACE(testing::Message() << "cell " << row << "," << col);
            ASSERT_FALSE(rect.isEmpty());
            EXPECT_TRUE(gridRect.contains(rect));
            EXPECT_EQ(GridIface()->childAt(rect.center().x(), rect.center().y()), CellAt(row, col));
        }
    }
    EXPECT_LT(CellAt(3, 0)->rect().right(), CellAt(3, 1)->rect().left());
    EXPECT_LT(CellAt(2, 1)->rect().bottom(), CellAt(3, 1)->rect().top());
}

// The order in which Tab visits the controls, starting at the grid.
QList<QWidget*> TabRound(QWidget* start) {
    QList<QWidget*> visited;
    start->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 8 && QApplication::focusWidget(); ++i) {
        visited << QApplication::focusWidget();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == start) break;
    }
    return visited;
}

TEST_F(Accessibility, TabVisitsTheControlsInReadingOrder) {
    Show();
    form->Command2_Click();  // Visa föreg is usable from the second customer on
    EXPECT_EQ(TabRound(form->Grid1), (QList<QWidget*>{form->Grid1, form->Command1, form->Text1,
                                                      form->Command2, form->Command3}));
    // On the first customer the disabled Visa föreg is passed over.
    form->Command1_Click();
    EXPECT_EQ(TabRound(form->Grid1),
              (QList<QWidget*>{form->Grid1, form->Text1, form->Command2, form->Command3}));
}

TEST_F(Accessibility, ButtonsWorkFromTheKeyboardAndTheScreenReader) {
    Show();
    form->Command2->setFocus();
    ASSERT_TRUE(form->Command2->hasFocus());
    QTest::keyClick(form->Command2, Qt::Key_Space);
    EXPECT_EQ(form->nAktKund, 2);

    // A screen reader presses the same button; Qt shows the press before the click.
    QAccessibleActionInterface* actions = Of(form->Command1)->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(form->Command1->isDown());
}

// Heard alone, "Levererat antal" would not say for which article.
TEST_F(Accessibility, EditorIsNamedAfterTheArticleItOpensOver) {
    Show();
    grid().SetFocus();
    QTest::keyClick(&grid(), Qt::Key_7);
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(Name(Of(form->GridText)), "Levererat antal för 108 Skivad J.F.");
    QTest::keyClick(form->GridText, Qt::Key_Down);  // commits, then row 2
    ASSERT_FALSE(editor().Visible());
    grid().SetRow(7);
    QTest::keyClick(&grid(), Qt::Key_Space);
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(Name(Of(form->GridText)), "Levererat antal för 326 Gräddad längtan");
    // Over a heading (only a program puts it there) it is the bare name.
    QTest::keyClick(form->GridText, Qt::Key_Escape);
    grid().SetRow(0);
    QTest::keyClick(&grid(), Qt::Key_Space);
    EXPECT_EQ(Name(Of(form->GridText)), "Levererat antal");
}

// Hiding the focused editor would hand the focus on along the tab chain,
// and a reader would announce the name box on the way back to the grid.
TEST_F(Accessibility, EscapeTakesTheFocusStraightBackToTheGrid) {
    Show();
    form->Command2_Click();  // "Visa föreg" enabled too: the chain is complete
    grid().SetFocus();
    grid().SetRow(3);
    const QString before = Cell(3, 4);
    QTest::keyClick(&grid(), Qt::Key_5);
    ASSERT_TRUE(form->GridText->hasFocus());

    QList<QWidget*> focused;
    const auto connection = QObject::connect(
        qApp, &QApplication::focusChanged, [&focused](QWidget*, QWidget* now) { focused << now; });
    QTest::keyClick(form->GridText, Qt::Key_Escape);
    QObject::disconnect(connection);

    EXPECT_EQ(focused, QList<QWidget*>{form->Grid1});
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Cell(3, 4), before);  // nothing committed
    EXPECT_EQ(grid().Row(), 3);
}

// Hidden by the program while it holds the focus after being reached some
// other way, the box falls back to Qt's own rule: the next control.
TEST_F(Accessibility, EditorHiddenWithoutAPlaceToReturnToPassesTheFocusOn) {
    Show();
    form->GridText->SetVisible(true);
    form->GridText->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(form->GridText->hasFocus());
    form->Grid1->setEnabled(false);  // where it came from can no longer take it
    form->GridText->SetVisible(false);
    EXPECT_NE(QApplication::focusWidget(), form->GridText);
    EXPECT_NE(QApplication::focusWidget(), form->Grid1);
}

TEST_F(Accessibility, ANewPageIsAnnouncedWithItsCustomer) {
    Show();
    auto* announcement = form->findChild<QWidget*>("Announcement");
    ASSERT_NE(announcement, nullptr);
    QAccessibleInterface* iface = Of(announcement);
    EXPECT_EQ(iface->role(), QAccessible::Notification);
    EXPECT_EQ(announcement->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(announcement->size().isEmpty());  // nothing on screen

    Click(form->Command2);
    Click(form->Command2);  // two pages before the announcement is made
    EXPECT_NE(Name(iface), "Lokala Statoil");
    EXPECT_TRUE(Becomes([&] { return Name(iface); }, QStringLiteral("Lokala Statoil")));
    EXPECT_TRUE(announcement->isVisible());
    EXPECT_EQ(Name(GridIface()), "Artiklar för Lokala Statoil");
    Click(form->Command1);
    EXPECT_TRUE(Becomes([&] { return Name(iface); }, QStringLiteral("ICA Butiken")));

    // Typing in the name box is not a new page.
    form->Text1->setFocus();
    QTest::keyClicks(form->Text1, "x");
    QTest::qWait(20);
    EXPECT_EQ(Name(iface), "ICA Butiken");
    EXPECT_EQ(Name(GridIface()), "Artiklar för ICA Butiken");
}

// Wherever the focus is, a reader hears that the save was kept, then the
// customer whose page came up.
TEST_F(Accessibility, ASaveIsAnnouncedAheadOfTheNextCustomer) {
    Show();
    QAccessibleInterface* iface = Of(form->findChild<QWidget*>("Announcement"));
    ASSERT_NE(iface, nullptr);
    const auto said = [&] { return Name(iface); };

    TypeLev(1, "5");
    Click(form->Command3);
    ASSERT_EQ(form->nSparadKund, 1);
    EXPECT_TRUE(Becomes(said, QStringLiteral("Sparat: Maxi tur 1. ICA Butiken")));
    Click(form->Command2);  // a page alone says no save
    EXPECT_TRUE(Becomes(said, QStringLiteral("Lokala Statoil")));

    // On the last customer the page stays and the save is said alone.
    Click(form->Command2);
    ASSERT_EQ(form->nAktKund, 4);
    EXPECT_TRUE(Becomes(said, QStringLiteral("Maxi tur 2")));
    Click(form->Command3);
    ASSERT_EQ(form->nSparadKund, 4);
    EXPECT_TRUE(Becomes(said, QStringLiteral("Sparat: Maxi tur 2.")));
}

// A journal whose disk refuses every save, as the day's journal refuses a
// write it could not make.
class RefusingJournal : public route::SaveJournal {
public:
    void Record(const route::SavePlan&) override {
        throw route::JournalError("Leveranserna sparades inte: disken är full.");
    }
};

// Every text the announcement takes, as a reader is told it when shown.
class Heard : public QObject {
public:
    explicit Heard(QWidget* announcement) { announcement->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show)
            texts << static_cast<QWidget*>(watched)->accessibleName();
        return false;
    }
    QStringList texts;
};

TEST_F(Accessibility, ARefusedSaveIsNotAnnouncedAsKept) {
    RefusingJournal journal;
    const route::RouteData day = static_cast<const route::RouteData&>(*form);
    form = std::make_unique<screen::Form1>(day, &journal);
    form->MessageSink = [this](const QString& text) { messages << text; };
    Show();
    auto* announcement = form->findChild<QWidget*>("Announcement");
    ASSERT_NE(announcement, nullptr);
    QTest::qWait(0);
    const Heard heard(announcement);
    TypeLev(1, "5");
    Click(form->Command3);
    ASSERT_EQ(messages.size(), 1);  // the driver reads the refusal
    EXPECT_EQ(form->nSparadKund, 0);
    // Once the next page is said, anything queued before has been said too.
    Click(form->Command2);
    EXPECT_TRUE(Becomes([&] { return Name(Of(announcement)); }, QStringLiteral("ICA Butiken")));
    EXPECT_EQ(heard.texts, QStringList{QStringLiteral("ICA Butiken")});
}

}  // namespace
