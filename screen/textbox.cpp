#include "screen/textbox.h"

#include <QApplication>
#include <QKeyEvent>
#include <algorithm>

#include "screen/keycodes.h"
#include "screen/twips.h"

namespace screen {

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (now == this && old != nullptr && old->window() == window()) cameFrom_ = old;
    });
}

QString TextBox::Text() const { return text(); }
void TextBox::SetText(const QString& text) { setText(text); }

int TextBox::SelStart() const { return cursorPosition(); }

void TextBox::SetSelStart(int pos) {
    setCursorPosition(std::clamp(pos, 0, static_cast<int>(text().size())));
}

bool TextBox::Visible() const { return !isHidden(); }
void TextBox::SetVisible(bool visible) { setVisible(visible); }

int TextBox::Left() const { return PixelsToTwipsX(this, x()); }
int TextBox::Top() const { return PixelsToTwipsY(this, y()); }
int TextBox::Width() const { return PixelsToTwipsX(this, width()); }
int TextBox::Height() const { return PixelsToTwipsY(this, height()); }
void TextBox::SetLeft(int twips) { move(TwipsToPixelsX(this, twips), y()); }
void TextBox::SetTop(int twips) { move(x(), TwipsToPixelsY(this, twips)); }
void TextBox::SetWidth(int twips) { resize(TwipsToPixelsX(this, twips), height()); }
void TextBox::SetHeight(int twips) { resize(width(), TwipsToPixelsY(this, twips)); }

void TextBox::Move(int left, int top, int width, int height) {
    MoveTwips(this, left, top, width, height);
}

void TextBox::SetFocus() { setFocus(Qt::OtherFocusReason); }

bool TextBox::focusNextPrevChild(bool next) {
    // Hidden while it holds the focus: Qt would hand the focus on to the next
    // control in the chain, and a screen reader would announce that control
    // on the way. It goes back where it came from instead.
    if (isHidden() && hasFocus() && cameFrom_ && cameFrom_->isVisible() && cameFrom_->isEnabled() &&
        cameFrom_->focusPolicy() != Qt::NoFocus) {
        cameFrom_->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return QLineEdit::focusNextPrevChild(next);
}

void TextBox::keyPressEvent(QKeyEvent* event) {
    int16_t keyCode = KeyCodeOf(event);
    if (keyCode != 0) {
        // Works with an inactive window too, where hasFocus() is false throughout.
        const bool hadFocus = window()->focusWidget() == this;
        int16_t shift = ShiftOf(event);
        emit KeyDown(keyCode, shift);
        const bool focusMoved = hadFocus && window()->focusWidget() != this;
        if (keyCode == 0 || focusMoved || !isVisibleTo(window())) {
            event->accept();
            return;
        }
    }
    const int ascii = KeyAsciiOf(event);
    if (ascii != -1 && event->key() != Qt::Key_Tab && event->key() != Qt::Key_Backtab) {
        auto keyAscii = static_cast<int16_t>(ascii);
        emit KeyPress(keyAscii);
        if (keyAscii != static_cast<int16_t>(ascii)) {
            // Dropped (0) or replaced by the handler.
            const QChar replaced(static_cast<char16_t>(keyAscii));
            if (keyAscii == kCharBackspace) {
                backspace();
            } else if (keyAscii != 0 && replaced.isPrint()) {
                insert(QString(replaced));
            }
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace screen
