#pragma once

namespace screen {

// Runs every pending window event to its end, then returns. Input the user
// has typed ahead stays queued for after the caller.
void ProcessEvents();

}  // namespace screen
