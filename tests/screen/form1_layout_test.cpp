#include <gtest/gtest.h>

#include <QAccessible>
#include <QGroupBox>
#include <QPushButton>
#include <vector>

#include "form_fixture.h"
#include "screen/captionframe.h"
#include "screen/twips.h"

namespace {

using testing_support::FormFixture;
using Layout = FormFixture;

// Geometry in pixels at 96 DPI: 15 twips to the pixel.
QRect Px(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

TEST_F(Layout, WindowIsFixedAtItsClientSize) {
    ASSERT_EQ(form->logicalDpiX(), 96);
    EXPECT_EQ(form->windowTitle(), "Form1");
    EXPECT_EQ(form->size(), QSize(383, 193));  // 5745 x 2895 twips
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
}

// The saves that have not reached the office are told in the caption and
// to a screen reader; nothing on the page moves for it.
TEST_F(Layout, SavesNotAtTheOfficeAreToldInTheCaptionAlone) {
    auto places = [this] {
        std::vector<QRect> rects{form->geometry()};
        for (const QWidget* child : form->findChildren<QWidget*>())
            rects.push_back(child->geometry());
        return rects;
    };
    const std::vector<QRect> before = places();
    struct Case {
        int unsent;
        const char* caption;
        const char* heard;
    };
    for (const Case& c : {Case{2, "Form1 – 2 sparningar har inte nått kontoret",
                               "Leverans – 2 sparningar har inte nått kontoret"},
                          Case{1, "Form1 – 1 sparning har inte nått kontoret",
                               "Leverans – 1 sparning har inte nått kontoret"},
                          Case{0, "Form1", "Leverans"}, Case{-1, "Form1", "Leverans"}}) {
        form->SetUnsentSaves(c.unsent);
        EXPECT_EQ(form->windowTitle(), QString::fromUtf8(c.caption)) << c.unsent;
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form.get());
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->text(QAccessible::Name), QString::fromUtf8(c.heard)) << c.unsent;
        EXPECT_EQ(places(), before) << c.unsent;
    }
}

TEST_F(Layout, ControlsStandWhereTheTwipsSay) {
    EXPECT_EQ(grid().Left(), 120);
    EXPECT_EQ(grid().Top(), 120);
    EXPECT_EQ(grid().Height(), 1935);
    EXPECT_EQ(grid().Width(), 5100);  // the page layout's width, not the laid-out 5175
    EXPECT_EQ(editor().Left(), 240);
    EXPECT_EQ(editor().Top(), 480);
    EXPECT_EQ(editor().Width(), 1815);
    EXPECT_EQ(editor().Height(), 375);
    EXPECT_EQ(form->Frame1->geometry(), Px(120, 2160, 4455, 615));
    EXPECT_EQ(form->Command1->geometry(), Px(360, 240, 975, 315));
    EXPECT_EQ(form->Text1->geometry(), Px(1320, 240, 2055, 285));
    EXPECT_EQ(form->Command2->geometry(), Px(3360, 240, 975, 315));
    EXPECT_EQ(form->Command3->geometry(), Px(4800, 2280, 855, 435));
}

TEST_F(Layout, FrameHoldsTheNavigationAndSparaStandsRightOfIt) {
    EXPECT_EQ(form->Frame1->title(), "Visa");
    EXPECT_EQ(form->Command1->parentWidget(), form->Frame1);
    EXPECT_EQ(form->Text1->parentWidget(), form->Frame1);
    EXPECT_EQ(form->Command2->parentWidget(), form->Frame1);
    EXPECT_EQ(form->Command3->parentWidget(), form.get());
    EXPECT_EQ(form->Command1->text(), "Visa föreg");
    EXPECT_EQ(form->Command2->text(), "Visa nästa");
    EXPECT_EQ(form->Command3->text(), "Spara");
    EXPECT_LT(form->Command1->x(), form->Text1->x());
    EXPECT_LT(form->Text1->x(), form->Command2->x());
    EXPECT_GT(form->Command3->x(), form->Frame1->geometry().right());
    EXPECT_GT(form->Command3->y(), grid().geometry().bottom());
}

TEST_F(Layout, FrameCaptionSitsOnTheBorderAndTheControlsStandInside) {
    auto* frame = qobject_cast<screen::CaptionFrame*>(form->Frame1);
    ASSERT_NE(frame, nullptr);
    const QRect border = frame->BorderRect();
    const QRect caption = frame->CaptionRect();
    // The top line runs through the caption, not along the buttons' top edges.
    EXPECT_GT(border.top(), caption.top());
    EXPECT_LT(border.top(), caption.bottom());
    EXPECT_GT(caption.left(), border.left());
    for (QWidget* control :
         {static_cast<QWidget*>(form->Command1), static_cast<QWidget*>(form->Text1),
          static_cast<QWidget*>(form->Command2)}) {
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_GE(control->y() - border.top(), 4);  // room above, below the line
        EXPECT_GT(control->y(), caption.bottom());
        EXPECT_LT(control->geometry().bottom(), border.bottom());
        EXPECT_GT(control->x(), border.left());
        EXPECT_LT(control->geometry().right(), border.right());
    }

    // As painted: the line is drawn at its place but leaves a gap for the caption.
    const QImage image = frame->grab().toImage();
    const int inside = border.top() + 3;
    const int pastCaption = caption.right() + 10;
    EXPECT_NE(image.pixel(pastCaption, border.top()), image.pixel(pastCaption, inside));
    EXPECT_EQ(image.pixel(caption.left() + 1, border.top()), image.pixel(pastCaption, inside));
}

TEST_F(Layout, EnterReachesTheGridAndClicksOnlyAFocusedButton) {
    Show();
    for (QPushButton* b : {form->Command1, form->Command2, form->Command3})
        EXPECT_FALSE(b->isDefault());
    grid().SetFocus();
    QTest::keyClick(&grid(), Qt::Key_Return);  // opens the editor, moves nothing
    EXPECT_TRUE(editor().Visible());
    QTest::keyClick(form->GridText, Qt::Key_Return);
    QTest::keyClick(&grid(), Qt::Key_Escape);
    QTest::keyClick(form->GridText, Qt::Key_Escape);
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(form->nSparadKund, 0);

    form->Command2->setFocus();
    QTest::keyClick(form->Command2, Qt::Key_Return);
    EXPECT_EQ(form->nAktKund, 2);
    QTest::keyClick(form->Command2, Qt::Key_Space);
    EXPECT_EQ(form->nAktKund, 3);
}

TEST_F(Layout, EditorLiesInFrontOfTheGridAndStartsHidden) {
    const QObjectList& children = form->children();
    EXPECT_GT(children.indexOf(form->GridText), children.indexOf(form->Grid1));
    EXPECT_FALSE(editor().Visible());
    EXPECT_FALSE(editor().isReadOnly());
    EXPECT_FALSE(form->Text1->isReadOnly());
    EXPECT_DOUBLE_EQ(grid().font().pointSizeF(), 8.25);
}

TEST_F(Layout, TabOrderFollowsTheControls) {
    Show();
    form->Command1_Click();  // nothing moves on the first customer
    form->Command2_Click();  // customer 2: "Visa föreg" can take the focus
    grid().SetFocus();
    std::vector<QWidget*> expected = {form->Command1, form->Text1, form->Command2, form->Command3,
                                      form->Grid1};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    // An open editor comes right after the grid.
    QTest::keyClick(&grid(), Qt::Key_Space);
    ASSERT_TRUE(editor().Visible());
    grid().SetFocus();  // commits and closes it again
    EXPECT_FALSE(editor().Visible());
    editor().SetVisible(true);
    QTest::keyClick(&grid(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->GridText);
}

}  // namespace
