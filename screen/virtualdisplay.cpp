#include "screen/virtualdisplay.h"

#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <csignal>
#include <cstdlib>
#include <string>

namespace screen {

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Reads the display number Xvfb writes once it accepts connections.
int ReadDisplayNumber(int fd) {
    std::string digits;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') digits.push_back(c);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
    return std::stoi(digits);
}

}  // namespace

bool VirtualDisplay::DisplayAvailable() {
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

bool VirtualDisplay::Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_ = fork();
    if (pid_ < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid_ == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
               "1024x768x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    const int display = ReadDisplayNumber(fds[0]);
    close(fds[0]);
    if (display < 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return false;
    }
    std::string name = ":";
    name += std::to_string(display);
    setenv("DISPLAY", name.c_str(), 1);
    return true;
}

VirtualDisplay::~VirtualDisplay() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

QString SaveScreenshot(QWidget& window) {
    QDeadlineTimer deadline(5000);
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Let the first paint reach the screen.
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    QPixmap shot;
    if (QScreen* screen = window.screen()) shot = screen->grabWindow(window.winId());
    if (shot.isNull()) shot = window.grab();
    const QString path = QDir::temp().filePath(
        QStringLiteral("leverans-%1.png").arg(QCoreApplication::applicationPid()));
    return shot.save(path, "PNG") ? path : QString();
}

}  // namespace screen
