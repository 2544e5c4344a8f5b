#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace day {

// SHA-256 of a byte stream. A journal keeps the digest of the route file it
// was started on, so any later change of the file's bytes is noticed.
class Sha256 {
public:
    using Digest = std::array<uint8_t, 32>;

    Sha256();
    void Update(std::string_view bytes);
    // The digest of everything given so far; the object is spent afterwards.
    Digest Final();

private:
    void Compress(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes given so far
};

// The route file's fingerprint: its SHA-256 as 64 lower-case hex digits.
std::string Fingerprint(std::string_view bytes);

}  // namespace day
