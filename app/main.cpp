#include <QApplication>
#include <cstdio>

#include "screen/form1.h"
#include "screen/virtualdisplay.h"

int main(int argc, char** argv) {
    // Without a display the window cannot be used; rather than letting the
    // toolkit abort, show the first page on a virtual one and save a picture.
    screen::VirtualDisplay virtualDisplay;
    const bool headless = !screen::VirtualDisplay::DisplayAvailable();
    if (headless) {
        std::fprintf(stderr,
                     "leverans: ingen skärm hittades (DISPLAY saknas); programmet behöver en "
                     "skärm.\nleverans: startar på en virtuell skärm (Xvfb) och sparar en "
                     "skärmbild av första sidan.\n");
        if (!virtualDisplay.Start()) {
            std::fprintf(stderr, "leverans: Xvfb kunde inte startas; ritar utan skärm.\n");
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }

    QApplication app(argc, argv);
    screen::Form1 form;
    form.show();
    form.activateWindow();
    form.raise();

    if (headless) {
        const QString path = screen::SaveScreenshot(form);
        if (path.isEmpty()) {
            std::fprintf(stderr, "leverans: skärmbilden kunde inte sparas.\n");
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
        return 0;
    }
    return QApplication::exec();
}
