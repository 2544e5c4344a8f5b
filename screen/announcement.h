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
    // Said in the same announcement ahead of the text Say gives, such as
    // what was just done ahead of the page it led to: "Sparat: Maxi tur 1.
    // ICA Butiken". Alone when Say gives nothing before it is said.
    void SayFirst(const QString& text);

protected:
    bool event(QEvent* event) override;

private:
    void Queue();

    QString first_;
    QString text_;
    bool queued_ = false;
};

}  // namespace screen
