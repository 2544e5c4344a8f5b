#pragma once

#include <functional>
#include <memory>

#include "screen/form1.h"

namespace app {

// Creates the window through `make`, which runs the start-up. A start-up
// that fails is reported in Swedish (standard error, and a message box where
// a display was given) and gives nullptr instead of ending in an abort.
std::unique_ptr<screen::Form1> StartWindow(
    const std::function<std::unique_ptr<screen::Form1>()>& make, bool displayGiven);

// The whole program: reads the command line, then runs the window, the
// report or a delivery note. Returns the exit status: 0 done, 1 a file or
// the start-up failed (said in Swedish on standard error), 2 wrong use.
int Run(int argc, char** argv);

}  // namespace app
