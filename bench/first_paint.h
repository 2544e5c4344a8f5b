#pragma once

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>

// Ends the program right after the first paint of a window. The quit is
// queued from the first paint event of any widget in the window, so it runs
// only once the whole repaint pass, flush to the display included, is done.
// Prints the milliseconds from `start` (taken first thing in main) to then.
class ExitOnFirstPaint : public QObject {
public:
    using Clock = std::chrono::steady_clock;

    ExitOnFirstPaint(QWidget& window, Clock::time_point start) : window_(window), start_(start) {
        qApp->installEventFilter(this);
        quit_.setSingleShot(true);
        connect(&quit_, &QTimer::timeout, this, [this] {
            const std::chrono::duration<double, std::milli> ms = Clock::now() - start_;
            std::printf("first paint %.3f ms\n", ms.count());
            std::fflush(stdout);
            QCoreApplication::quit();
        });
        // A window that never paints must not hang the measurement.
        timeout_.setSingleShot(true);
        connect(&timeout_, &QTimer::timeout, this, [] {
            std::fprintf(stderr, "no paint within 10 s\n");
            QCoreApplication::exit(2);
        });
        timeout_.start(10000);
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        if (!quit_.isActive() && event->type() == QEvent::Paint && object->isWidgetType() &&
            static_cast<QWidget*>(object)->window() == &window_) {
            quit_.start(0);
        }
        return false;
    }

private:
    QWidget& window_;
    Clock::time_point start_;
    QTimer quit_;
    QTimer timeout_;
};
