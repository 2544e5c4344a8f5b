#pragma once

#include <string>
#include <string_view>

namespace day {

// The route file's fingerprint: its SHA-256 as 64 lower-case hex digits. A
// journal keeps the fingerprint of the route file it was started on, so any
// later change of the file's bytes is noticed. Computed by OpenSSL's
// libcrypto; throws std::runtime_error if that fails (it cannot allocate).
std::string Fingerprint(std::string_view bytes);

}  // namespace day
