#include "screen/textbox.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QTest>
#include <ostream>
#include <vector>

#include "screen/keycodes.h"

namespace screen {
namespace {

struct KeyDownSeen {
    int code;
    int shift;
    QString text;  // the box's text when the handler ran

    bool operator==(const KeyDownSeen&) const = default;
};

void PrintTo(const KeyDownSeen& k, std::ostream* os) {
    *os << "{" << k.code << ", " << k.shift << ", \"" << k.text.toStdString() << "\"}";
}

// A box with a neighbour to take the focus, in an active window.
class TextBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.resize(300, 100);
        other_ = new QLineEdit(&window_);
        other_->setGeometry(0, 50, 100, 20);
        box_ = new TextBox(&window_);
        box_->setGeometry(0, 0, 100, 20);
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        box_->SetFocus();
        ASSERT_TRUE(box_->hasFocus());
        QObject::connect(box_, &TextBox::KeyDown, [this](int16_t& code, int16_t& shift) {
            downs_.push_back({code, shift, box_->text()});
        });
        QObject::connect(box_, &TextBox::KeyPress,
                         [this](int16_t& code) { presses_.push_back(code); });
    }

    void Type(Qt::Key key, const QString& text) {
        QTest::sendKeyEvent(QTest::Click, box_, key, text, Qt::NoModifier);
    }

    QWidget window_;
    QLineEdit* other_ = nullptr;
    TextBox* box_ = nullptr;
    std::vector<KeyDownSeen> downs_;
    std::vector<int> presses_;
};

TEST_F(TextBoxTest, KeyDownComesBeforeTheBoxHandlesTheKey) {
    box_->SetText("12");
    box_->SetSelStart(2);

    QTest::keyClick(box_, Qt::Key_Return);
    QTest::keyClick(box_, Qt::Key_Escape);
    QTest::keyClick(box_, Qt::Key_Up);
    QTest::keyClick(box_, Qt::Key_Down);
    QTest::keyClick(box_, 'A', Qt::ShiftModifier);  // the Shift key goes down first

    EXPECT_EQ((std::vector<KeyDownSeen>{{13, 0, "12"},
                                        {27, 0, "12"},
                                        {38, 0, "12"},
                                        {40, 0, "12"},
                                        {16, 1, "12"},
                                        {65, 1, "12"}}),
              downs_);
    EXPECT_EQ("12A", box_->Text());
}

TEST_F(TextBoxTest, KeyDownSettingZeroSwallowsTheKey) {
    QObject::connect(box_, &TextBox::KeyDown, [](int16_t& code, int16_t&) {
        if (code == 'X') code = 0;
    });

    QTest::keyClicks(box_, "axb");

    EXPECT_EQ("ab", box_->Text());
    EXPECT_EQ((std::vector<int>{'a', 'b'}), presses_);
}

TEST_F(TextBoxTest, KeyPressCanDropOrReplaceTheCharacter) {
    QObject::connect(box_, &TextBox::KeyPress, [](int16_t& code) {
        if (code == '-') code = 0;
        if (code >= 'a' && code <= 'z') code = static_cast<int16_t>(code - 'a' + 'A');
    });

    QTest::keyClicks(box_, "a-b1");

    EXPECT_EQ("AB1", box_->Text());
    EXPECT_EQ((std::vector<int>{'a', '-', 'b', '1'}), presses_);
    EXPECT_EQ(3, box_->SelStart());
}

TEST_F(TextBoxTest, HandlerTakingTheFocusAwayFinishesTheKey) {
    QObject::connect(box_, &TextBox::KeyDown, [this](int16_t& code, int16_t&) {
        if (code == 'Z') other_->setFocus();
    });

    QTest::keyClick(box_, 'z');

    EXPECT_TRUE(other_->hasFocus());
    EXPECT_EQ("", box_->Text());
    EXPECT_EQ("", other_->text());
    EXPECT_TRUE(presses_.empty());
}

TEST_F(TextBoxTest, HandlerHidingTheBoxFinishesTheKey) {
    QObject::connect(box_, &TextBox::KeyDown, [this](int16_t& code, int16_t&) {
        if (code == 'H') box_->SetVisible(false);
    });
    other_->setFocus();  // the key is sent to the box directly, focus or not

    QTest::keyClick(box_, 'h');

    EXPECT_FALSE(box_->Visible());
    EXPECT_EQ("", box_->Text());
    EXPECT_TRUE(presses_.empty());
}

TEST_F(TextBoxTest, AnyUnicodeTypedEndsUpUnchanged) {
    Type(Qt::Key_Aring, QString(QChar(0xE5)));
    Type(Qt::Key_unknown, QString(QChar(0x20AC)));
    Type(Qt::Key_unknown, QStringLiteral("\U0001F35E"));  // a surrogate pair
    Type(Qt::Key_unknown, QString(QChar(0xFF21)));

    EXPECT_EQ(QStringLiteral("\u00E5\u20AC\U0001F35E\uFF21"), box_->Text());
    EXPECT_EQ((std::vector<int>{229, 8364, 0xFF21 - 0x10000}), presses_);
    EXPECT_TRUE(downs_.empty());  // no virtual-key code for these
}

TEST_F(TextBoxTest, SelStartStaysWithinTheText) {
    box_->SetText("abc");
    box_->SetSelStart(10);
    EXPECT_EQ(3, box_->SelStart());
    box_->SetSelStart(-4);
    EXPECT_EQ(0, box_->SelStart());

    box_->SetSelStart(1);
    QTest::keyClick(box_, 'x');
    EXPECT_EQ("axbc", box_->Text());
}

TEST(TextBoxVisible, FollowsWhatWasSetBeforeTheWindowIsShown) {
    QWidget window;
    auto* box = new TextBox(&window);
    EXPECT_TRUE(box->Visible());

    box->SetVisible(false);
    EXPECT_FALSE(box->Visible());
    box->SetVisible(true);
    EXPECT_TRUE(box->Visible());
    EXPECT_FALSE(box->isVisible());

    window.show();
    EXPECT_TRUE(box->isVisible());
}

TEST(TextBoxPlacement, TwipsAt96Dpi) {
    QWidget window;
    auto* box = new TextBox(&window);
    ASSERT_EQ(96, box->logicalDpiX());
    ASSERT_EQ(96, box->logicalDpiY());

    box->Move(1500, 300, 1200, 285);
    EXPECT_EQ(QRect(100, 20, 80, 19), box->geometry());
    EXPECT_EQ(1500, box->Left());
    EXPECT_EQ(300, box->Top());
    EXPECT_EQ(1200, box->Width());
    EXPECT_EQ(285, box->Height());

    box->SetLeft(150);
    box->SetTop(30);
    box->SetWidth(600);
    box->SetHeight(300);
    EXPECT_EQ(QRect(10, 2, 40, 20), box->geometry());
}

// --- Key codes ------------------------------------------------------------------

int16_t CodeOf(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QKeyEvent event(QEvent::KeyPress, key, mods);
    return KeyCodeOf(&event);
}

int AsciiOf(Qt::Key key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QKeyEvent event(QEvent::KeyPress, key, mods, text);
    return KeyAsciiOf(&event);
}

TEST(KeyCodes, VirtualKeysForKeysWithoutText) {
    EXPECT_EQ(112, CodeOf(Qt::Key_F1));
    EXPECT_EQ(123, CodeOf(Qt::Key_F12));
    EXPECT_EQ(53, CodeOf(Qt::Key_5));
    EXPECT_EQ(101, CodeOf(Qt::Key_5, Qt::KeypadModifier));
    EXPECT_EQ(13, CodeOf(Qt::Key_Enter, Qt::KeypadModifier));
    EXPECT_EQ(46, CodeOf(Qt::Key_Delete));
    EXPECT_EQ(34, CodeOf(Qt::Key_PageDown));
    EXPECT_EQ(0, CodeOf(Qt::Key_Aring));

    const QKeyEvent all(QEvent::KeyPress, Qt::Key_X,
                        Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(7, ShiftOf(&all));
}

TEST(KeyCodes, CharacterCodesAreSingleUtf16Units) {
    EXPECT_EQ(-1, AsciiOf(Qt::Key_Delete, QStringLiteral("\x7f")));
    EXPECT_EQ(-1, AsciiOf(Qt::Key_unknown, QStringLiteral("ab")));
    EXPECT_EQ(-1, AsciiOf(Qt::Key_Left, QString()));
    EXPECT_EQ(-32768, AsciiOf(Qt::Key_unknown, QString(QChar(0x8000))));
    EXPECT_EQ(3, AsciiOf(Qt::Key_C, QStringLiteral("c"), Qt::ControlModifier));
    // AltGr arrives as Ctrl+Alt and types an ordinary character.
    EXPECT_EQ('@', AsciiOf(Qt::Key_Q, QStringLiteral("@"), Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace
}  // namespace screen
