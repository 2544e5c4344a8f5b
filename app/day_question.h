#pragma once

#include "day/day.h"

namespace app {

// Asks the driver on screen whether to go on with the earlier day or to
// begin a new one; closing the box cancels. Needs a display.
day::DayChoice AskOnScreen(const day::DayQuestion& question);

// The question as a refusal for a terminal without a display: the same
// facts, and the options that answer it in advance.
std::string UnansweredText(const day::DayQuestion& question);

}  // namespace app
