#include "screen/keyrepeatfilter.h"

#include <QKeyEvent>
#include <QWidget>

namespace screen {

namespace {

// The keys with which Qt lets the keyboard press a focused button.
bool PressesAButton(int key) {
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
        case Qt::Key_Select:
            return true;
        default:
            return false;
    }
}

}  // namespace

KeyRepeatFilter::KeyRepeatFilter(QWidget* widget) : QObject(widget) {
    widget->installEventFilter(this);
}

bool KeyRepeatFilter::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    // Swallowed whole, so that no parent takes the key for the button either.
    return key->isAutoRepeat() && PressesAButton(key->key());
}

}  // namespace screen
