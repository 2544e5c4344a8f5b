#pragma once

namespace screen {

// Runs every pending window event to its end, then returns.
void ProcessEvents();

}  // namespace screen
