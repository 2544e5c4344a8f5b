#include "screen/virtualdisplay.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cerrno>
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

    // A new file nobody can guess or have placed first: the temporary folder
    // is shared, and a fixed name there could be a link into someone's files.
    QByteArray path = QDir::temp().filePath(QStringLiteral("leverans-XXXXXX.png")).toLocal8Bit();
    const int fd = mkstemps(path.data(), 4);  // 0600, created exclusively
    if (fd < 0) return QString();
    QFile file;
    bool saved = file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
                 shot.save(&file, "PNG");
    saved = file.flush() && saved;
    file.close();
    if (!saved) {
        unlink(path.constData());
        return QString();
    }
    return QString::fromLocal8Bit(path);
}

void EnsureRuntimeDir() {
    if (Set("XDG_RUNTIME_DIR")) return;
    const QByteArray dir =
        QDir::temp().filePath(QStringLiteral("runtime-%1").arg(getuid())).toLocal8Bit();
    if (mkdir(dir.constData(), 0700) != 0 && errno != EEXIST) return;
    struct stat info {};
    // Only a real folder of our own, closed to others, will do.
    if (lstat(dir.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid())
        return;
    if ((info.st_mode & 0777) != 0700 && chmod(dir.constData(), 0700) != 0) return;
    setenv("XDG_RUNTIME_DIR", dir.constData(), 1);
}

}  // namespace screen
