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

// A held key repeats as a release and a press at the same moment. X11
// sends them as a pair, and Qt marks them as repeats only when the press
// has already arrived as it handles the release; otherwise both come
// unmarked. No finger lets go and presses again this fast.
constexpr quint64 kRepeatPairMs = 10;

}  // namespace

KeyRepeatFilter::KeyRepeatFilter(QWidget* widget) : QObject(widget) {
    widget->installEventFilter(this);
}

bool KeyRepeatFilter::IsRepeat(const QKeyEvent& key) const {
    if (key.isAutoRepeat()) return true;
    // Events the program makes itself carry no time and are taken at their word.
    if (key.type() != QEvent::KeyPress || key.timestamp() == 0 || releasedAt_ == 0 ||
        key.key() != releasedKey_)
        return false;
    return key.timestamp() - releasedAt_ <= kRepeatPairMs;
}

bool KeyRepeatFilter::eventFilter(QObject* /*watched*/, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (!PressesAButton(key->key())) return false;
    if (IsRepeat(*key)) return true;  // swallowed whole: no parent takes it for the button
    if (key->type() == QEvent::KeyRelease) {
        releasedKey_ = key->key();
        releasedAt_ = key->timestamp();
    }
    return false;
}

}  // namespace screen
