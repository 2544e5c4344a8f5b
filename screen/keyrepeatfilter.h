#pragma once

#include <QObject>

class QWidget;

namespace screen {

// Keeps a held key from pressing a button again and again: the keyboard's
// auto-repeats of the keys that press a button (Enter, Return, Space,
// Select) never reach it. Only the first press of a held key counts, so a
// driver who leans on Enter saves one shop, not the next ones unseen.
// Installed on the button (or a dialog, whose default button takes Enter
// from the dialog's other controls) and owned by it.
class KeyRepeatFilter : public QObject {
    Q_OBJECT

public:
    explicit KeyRepeatFilter(QWidget* widget);

    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace screen
