#pragma once

#include <QString>
#include <QWidget>

namespace screen {

// Something a screen reader should say wherever the focus is, such as the
// customer now shown after a click on a button that keeps the focus. It is
// an invisible notification that appears anew for each message: readers
// speak a notification as it is shown. Nothing is drawn.
class Announcement : public QWidget {
    Q_OBJECT

public:
    explicit Announcement(QWidget* parent);

    // Said once the current event has been handled; a later text replaces
    // one not yet said.
    void Say(const QString& text);

protected:
    bool event(QEvent* event) override;

private:
    QString text_;
    bool queued_ = false;
};

}  // namespace screen
