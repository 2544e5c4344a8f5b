#pragma once

#include <string>
#include <string_view>

namespace day {

// Writes bytes to path through a new file beside it, synced and renamed
// into place: a failure never leaves half a file under the name, and an
// existing file keeps its permissions. Throws std::system_error carrying
// the errno of the step that failed.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// Why a file could not be written, in Swedish, from errno: "mappen finns
// inte", "disken är full", and so on.
std::string WriteCause(int error);

}  // namespace day
