#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

namespace screen {

// Keeps a held key from pressing a button again and again: only the first
// press of a held Enter, Return, Space or Select counts, so a driver who
// leans on Enter saves one shop, not the next ones unseen. Installed on a
// button, or on a dialog, whose default button takes Enter from the
// dialog's other controls, and owned by it.
class KeyRepeatFilter : public QObject {
    Q_OBJECT

public:
    explicit KeyRepeatFilter(QWidget* widget);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsRepeat(const QKeyEvent& key) const;

    // The last release of a key that presses a button, and when it came.
    int releasedKey_ = 0;
    quint64 releasedAt_ = 0;
};

}  // namespace screen
