#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

#include "screen/virtualdisplay.h"

// One QApplication for every test of the program; widgets need it alive.
// Started by hand or for test discovery, it still needs no display.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    screen::EnsureRuntimeDir();  // test discovery runs without the test environment
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
