// The program's start on a display, as app/main.cpp does it, ending right
// after the window's first paint. Needs DISPLAY (bench/startup.sh starts Xvfb).

#include <QApplication>
#include <chrono>

#include "first_paint.h"
#include "screen/form1.h"

int main(int argc, char** argv) {
    const auto start = ExitOnFirstPaint::Clock::now();
    QApplication app(argc, argv);
    screen::Form1 form;
    ExitOnFirstPaint exitOnPaint(form, start);
    form.show();
    form.activateWindow();
    form.raise();
    return QApplication::exec();
}
