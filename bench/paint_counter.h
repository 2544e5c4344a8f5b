#pragma once

#include <QEvent>
#include <QObject>

// Counts a widget's paint events (installed as its event filter), to be
// sure a paint really happened.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    long paints = 0;
};
