#pragma once

#include <sys/types.h>
#include <QString>

class QWidget;

namespace screen {

// For machines without a display: runs a private Xvfb server for the life
// of this object and points DISPLAY at it.
class VirtualDisplay {
public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // True when the program was given a display (or a platform of its own).
    static bool DisplayAvailable();

    // Starts Xvfb and sets DISPLAY; false when Xvfb cannot be started.
    bool Start();

private:
    pid_t pid_ = -1;
};

// Waits until the window is on screen, then saves a PNG of it in a new file
// of the temporary folder (a name nobody can predict, created exclusively,
// mode 0600). Returns the file's path, or an empty string if nothing could
// be saved.
QString SaveScreenshot(QWidget& window);

// Points XDG_RUNTIME_DIR at a private folder of this user's when it is not
// set, as a login session would, so the toolkit need not warn and guess.
void EnsureRuntimeDir();

}  // namespace screen
