#include "screen/keycodes.h"

#include <QKeyEvent>

namespace screen {

int16_t KeyCodeOf(const QKeyEvent* event) {
    const int key = event->key();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    // Digits and letters share their codes with Qt.
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return static_cast<int16_t>(keypad ? 96 + (key - Qt::Key_0) : key);
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<int16_t>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return static_cast<int16_t>(112 + key - Qt::Key_F1);
    if (keypad) {
        switch (key) {
            case Qt::Key_Asterisk:
                return 106;
            case Qt::Key_Plus:
                return 107;
            case Qt::Key_Minus:
                return 109;
            case Qt::Key_Period:
            case Qt::Key_Comma:
                return 110;
            case Qt::Key_Slash:
                return 111;
            default:
                break;
        }
    }
    switch (key) {
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return 9;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_Pause:
            return 19;
        case Qt::Key_CapsLock:
            return 20;
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return 0;
    }
}

int16_t ShiftOf(const QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    int16_t mask = 0;
    if (mods & Qt::ShiftModifier) mask |= 1;
    if (mods & Qt::ControlModifier) mask |= 2;
    if (mods & Qt::AltModifier) mask |= 4;
    return mask;
}

int KeyAsciiOf(const QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    // Ctrl+letter types a control character, whatever text the platform attached.
    // Ctrl+Alt is AltGr on some keyboards and types ordinary characters.
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A &&
        key <= Qt::Key_Z) {
        return key - Qt::Key_A + 1;
    }
    const QString text = event->text();
    if (text.isEmpty()) {
        switch (key) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                return 13;
            case Qt::Key_Backspace:
                return 8;
            case Qt::Key_Escape:
                return 27;
            case Qt::Key_Tab:
                return 9;
            default:
                return -1;
        }
    }
    if (text.size() != 1) return -1;
    const char16_t unit = text.front().unicode();
    // Half a surrogate pair is no character; NUL and DEL type nothing either.
    if (QChar::isSurrogate(unit) || unit == 0 || unit == 0x7f) return -1;
    return static_cast<int16_t>(unit);
}

}  // namespace screen
