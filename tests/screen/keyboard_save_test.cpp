// "Spara" from the keyboard: a held key presses a button once, and after a
// save the keys go to the next shop's page.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include "form_fixture.h"

namespace {

using testing_support::FormFixture;

class KeyboardSave : public FormFixture {
protected:
    void SetUp() override {
        FormFixture::SetUp();
        Show();
    }
    QWidget* Focus() { return QApplication::focusWidget(); }
    void Key(Qt::Key key) { QTest::keyClick(Focus(), key); }
    // Each character to whatever has the focus by then, as a keyboard types.
    void Type(const QString& text) {
        for (QChar c : text) QTest::keyClick(Focus(), c.toLatin1());
    }
    // A key event as a keyboard sends it, at `time` ms.
    static void Send(QWidget* target, QEvent::Type type, Qt::Key key, bool repeat,
                     quint64 time = 0) {
        const QString text = key == Qt::Key_Space                            ? QStringLiteral(" ")
                             : key == Qt::Key_Return || key == Qt::Key_Enter ? QStringLiteral("\r")
                                                                             : QString();
        QKeyEvent event(type, key, Qt::NoModifier, text, repeat);
        event.setTimestamp(time);
        QApplication::sendEvent(target, &event);
    }
    // A key held down as X11 delivers it, each event to whatever has the
    // focus by then: the press; after 660 ms, 25 times a second, a release
    // and a press at the same moment, marked as repeats by Qt only when both
    // had arrived together (here two pairs in three); the release.
    void Hold(Qt::Key key, int repeats) {
        Send(Focus(), QEvent::KeyPress, key, false, clock_);
        clock_ += 660;
        for (int i = 0; i < repeats; ++i, clock_ += 40) {
            const bool marked = i % 3 != 0;
            Send(Focus(), QEvent::KeyRelease, key, marked, clock_);
            Send(Focus(), QEvent::KeyPress, key, marked, clock_);
        }
        Send(Focus(), QEvent::KeyRelease, key, false, clock_);
        clock_ += 200;
    }
    // A key held down as platforms that tell repeats apart deliver it: the
    // press, repeated presses alone, marked, and the release.
    void HoldMarked(Qt::Key key, int repeats) {
        Send(Focus(), QEvent::KeyPress, key, false, clock_);
        clock_ += 660;
        for (int i = 0; i < repeats; ++i, clock_ += 40)
            Send(Focus(), QEvent::KeyPress, key, true, clock_);
        Send(Focus(), QEvent::KeyRelease, key, false, clock_);
        clock_ += 200;
    }
    // A key pressed and let go, 100 ms down.
    void Tap(Qt::Key key) {
        Send(Focus(), QEvent::KeyPress, key, false, clock_);
        Send(Focus(), QEvent::KeyRelease, key, false, clock_ + 100);
        clock_ += 200;
    }

    quint64 clock_ = 1000;  // the keyboard's time, in ms
};

TEST_F(KeyboardSave, AHeldKeyPressesAButtonOnce) {
    using Button = QPushButton* screen::Form1::*;
    const std::vector<std::pair<Button, const char*>> buttons = {
        {&screen::Form1::Command1, "Visa föreg"},
        {&screen::Form1::Command2, "Visa nästa"},
        {&screen::Form1::Command3, "Spara"}};
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Select}) {
        for (const auto& [member, caption] : buttons) {
            SCOPED_TRACE(testing::Message() << caption << ", key 0x" << std::hex << key);
            SetUp();                 // a fresh route
            form->Command2_Click();  // every button usable
            QPushButton* button = form.get()->*member;
            // Counted here instead of turning pages, so that it stays usable.
            QObject::disconnect(button, nullptr, form.get(), nullptr);
            int clicks = 0;
            QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
            button->setFocus();
            // Only repeats, as when the key went down elsewhere and the
            // focus came to the button while it was held.
            for (int i = 0; i < 20; ++i, clock_ += 40) {
                Send(button, QEvent::KeyRelease, key, i % 3 != 0, clock_);
                Send(button, QEvent::KeyPress, key, i % 3 != 0, clock_);
            }
            Send(button, QEvent::KeyRelease, key, false, clock_);
            clock_ += 200;
            EXPECT_EQ(clicks, 0);
            Hold(key, 20);
            EXPECT_EQ(clicks, 1);
            EXPECT_FALSE(button->isDown());
            HoldMarked(key, 20);
            EXPECT_EQ(clicks, 2);
            // Pressed again, however soon after, it is pressed again.
            Tap(key);
            Tap(key);
            EXPECT_EQ(clicks, 4);
            // So are keys the program sends itself, which carry no time.
            QTest::keyClick(button, key);
            QTest::keyClick(button, key);
            EXPECT_EQ(clicks, 6);
        }
    }
}

// Leaning on Enter on "Spara" saves the shop on screen and no other.
TEST_F(KeyboardSave, AHeldEnterSavesOneShop) {
    grid().SetFocus();
    grid().SetRow(3);
    Type("4");
    Key(Qt::Key_Return);
    form->Command3->setFocus();
    Hold(Qt::Key_Return, 40);
    EXPECT_EQ(form->nSparadKund, 1);
    EXPECT_EQ(form->nAktKund, 2);
    EXPECT_EQ(form->nAntal(3, route::kLev, 1), 4);
    EXPECT_EQ(Column(4), QStringList(7, QString()));  // the next page as drawn
}

TEST_F(KeyboardSave, AfterASaveTheKeysGoToTheNextPage) {
    grid().SetFocus();
    grid().SetRow(3);
    Type("7");  // open, not yet in the cell
    ASSERT_TRUE(editor().Visible());
    form->Command3->setFocus();  // as Tab leaves it
    Key(Qt::Key_Return);

    EXPECT_EQ(form->nAntal(3, route::kLev, 1), 7);
    ASSERT_EQ(form->nAktKund, 2);
    EXPECT_EQ(Focus(), form->Grid1);
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Column(4), QStringList(7, QString()));  // nothing of customer 1's page
    // On the cell the page drawing made current.
    EXPECT_EQ(grid().Row(), 1);
    EXPECT_EQ(grid().Col(), 4);

    // A second Enter is the grid's: it opens an entry, it does not save.
    Key(Qt::Key_Return);
    EXPECT_TRUE(editor().Visible());
    EXPECT_EQ(form->nSparadKund, 1);
    Key(Qt::Key_Escape);
    Type("12");
    Key(Qt::Key_Return);
    EXPECT_EQ(Cell(1, 4), "12");
    EXPECT_EQ(form->nAntal(1, route::kLev, 1), 0);  // customer 1 as saved
    EXPECT_EQ(form->nAntal(3, route::kLev, 1), 7);
}

TEST_F(KeyboardSave, AClickedSaveTakesAnOpenEntryAndLeavesTheGridFocused) {
    grid().SetFocus();
    grid().SetRow(3);
    Type("9");
    Click(form->Command3);
    EXPECT_EQ(form->nAntal(3, route::kLev, 1), 9);
    EXPECT_EQ(Focus(), form->Grid1);
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Column(4), QStringList(7, QString()));
    Type("3");
    Key(Qt::Key_Return);
    EXPECT_EQ(Cell(1, 4), "3");
}

// The last shop has no next page: the page stays as saved, and the keys go
// to its grid, where the driver can still correct it and save again.
TEST_F(KeyboardSave, OnTheLastShopThePageStaysAndTheGridHasTheFocus) {
    for (int i = 0; i < 3; ++i) form->Command2_Click();
    grid().SetFocus();
    grid().SetRow(2);
    Type("3");
    form->Command3->setFocus();
    Key(Qt::Key_Return);
    EXPECT_EQ(form->nSparadKund, 4);
    EXPECT_EQ(form->nAktKund, 4);
    EXPECT_EQ(Focus(), form->Grid1);
    EXPECT_FALSE(editor().Visible());
    EXPECT_EQ(Cell(2, 4), "3");
    EXPECT_EQ(grid().Row(), 2);

    Key(Qt::Key_Return);  // opens the entry with the saved text
    ASSERT_TRUE(editor().Visible());
    EXPECT_EQ(editor().Text(), "3");
    Type("0");
    Key(Qt::Key_Return);
    form->Command3->setFocus();
    Key(Qt::Key_Return);
    EXPECT_EQ(form->nAntal(2, route::kLev, 4), 30);
}

// A refused save keeps the page as typed, with the focus on the cell to
// put right.
TEST_F(KeyboardSave, ARefusedSaveLeavesTheFocusOnTheCellToPutRight) {
    grid().SetFocus();
    grid().SetRow(3);
    Type("99999");
    form->Command3->setFocus();
    Key(Qt::Key_Return);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(form->nAktKund, 1);
    EXPECT_EQ(Cell(3, 4), "99999");
    EXPECT_EQ(Focus(), form->Grid1);
    EXPECT_EQ(grid().Row(), 3);
}

// Held on "Spara" when the save is refused, Enter goes on repeating into the
// message: it must stay until the driver lets go and presses again.
TEST_F(KeyboardSave, AHeldEnterDoesNotCloseTheMessageUnread) {
    form->MessageSink = nullptr;  // the real message box
    TypeLev(3, "99999");
    bool shown = false;
    bool stayed = false;
    bool closed = false;
    // Looks for the message every few milliseconds, inside its own event
    // loop once it is open, for at most five seconds.
    QTimer whileShown;
    int looks = 0;
    QObject::connect(&whileShown, &QTimer::timeout, [&] {
        auto* box = form->findChild<QMessageBox*>();
        if (box == nullptr || !box->isVisible()) {
            if (++looks == 500) whileShown.stop();
            return;
        }
        whileShown.stop();
        if (!QTest::qWaitForWindowActive(box)) return box->reject();
        shown = true;
        // Into the button, which takes Enter when it has the focus, and into
        // the box, which hands Enter to its default button.
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        if (ok == nullptr) return box->reject();
        for (QWidget* target : {static_cast<QWidget*>(ok), static_cast<QWidget*>(box)})
            for (int i = 0; i < 10; ++i, clock_ += 40) {
                Send(target, QEvent::KeyRelease, Qt::Key_Return, i % 3 != 0, clock_);
                Send(target, QEvent::KeyPress, Qt::Key_Return, i % 3 != 0, clock_);
            }
        QApplication::processEvents();
        stayed = box->isVisible();
        Send(ok, QEvent::KeyRelease, Qt::Key_Return, false, clock_);
        Send(ok, QEvent::KeyPress, Qt::Key_Return, false, clock_ + 300);
        closed = !box->isVisible();
        if (!closed) box->reject();
    });
    whileShown.start(10);
    form->Command3->setFocus();
    Key(Qt::Key_Return);
    ASSERT_TRUE(shown);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(closed);
    EXPECT_EQ(form->nSparadKund, 0);
}

}  // namespace
