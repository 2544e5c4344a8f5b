#include "day/text_encoding.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace day {

namespace {

// Windows-1252 from 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Every byte's UTF-8, built once: a length and up to three bytes each.
struct Utf8Of1252 {
    std::array<std::array<char, 4>, 256> bytes{};  // [0] is the length

    constexpr Utf8Of1252() {
        for (unsigned b = 0; b < 256; ++b) {
            const char32_t c = b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char32_t{b};
            std::array<char, 4>& out = bytes[b];
            if (c < 0x80) {
                out = {1, static_cast<char>(c)};
            } else if (c < 0x800) {
                out = {2, static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
            } else {
                // Nothing in the code page lies above U+FFFF.
                out = {3, static_cast<char>(0xE0 | (c >> 12)),
                       static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                       static_cast<char>(0x80 | (c & 0x3F))};
            }
        }
    }
};

constexpr Utf8Of1252 kUtf8Of1252;

// The length of the well-formed UTF-8 character that starts at p[0], or 0
// when none does. Only shortest forms count; surrogates and code points
// above U+10FFFF do not.
std::size_t SequenceLength(const unsigned char* p, std::size_t left) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;  // allowed range of the second byte
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c == 0xE0) {
        length = 3;
        low = 0xA0;  // no overlong forms
    } else if ((c >= 0xE1 && c <= 0xEC) || c == 0xEE || c == 0xEF) {
        length = 3;
    } else if (c == 0xED) {
        length = 3;
        high = 0x9F;  // no surrogates
    } else if (c == 0xF0) {
        length = 4;
        low = 0x90;
    } else if (c >= 0xF1 && c <= 0xF3) {
        length = 4;
    } else if (c == 0xF4) {
        length = 4;
        high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < length) return 0;
    if (p[1] < low || p[1] > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
    }
    return length;
}

// The offset of the first byte at or after i that is not ASCII, or n.
// Route files are mostly ASCII: eight bytes at a time while they are.
std::size_t SkipAscii(const unsigned char* p, std::size_t i, std::size_t n) {
    while (i + 8 <= n) {
        uint64_t word = 0;
        std::memcpy(&word, p + i, 8);
        if ((word & 0x8080808080808080ULL) != 0) break;
        i += 8;
    }
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

}  // namespace

std::size_t FirstInvalidUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    for (std::size_t i = SkipAscii(p, 0, n); i < n; i = SkipAscii(p, i, n)) {
        const std::size_t length = SequenceLength(p + i, n - i);
        if (length == 0) return i;
        i += length;
    }
    return std::string_view::npos;
}

Utf8Scan ScanUtf8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    Utf8Scan scan;
    for (std::size_t i = SkipAscii(p, 0, n); i < n; i = SkipAscii(p, i, n)) {
        const std::size_t length = SequenceLength(p + i, n - i);
        if (length == 0) {
            if (scan.firstInvalid == std::string_view::npos) scan.firstInvalid = i;
            ++i;  // look for characters after the broken one
            continue;
        }
        scan.multiByte = true;
        if (scan.firstInvalid != std::string_view::npos) break;  // both are known
        i += length;
    }
    return scan;
}

bool IsValidUtf8(std::string_view bytes) {
    return FirstInvalidUtf8(bytes) == std::string_view::npos;
}

std::size_t Utf8BomLength(std::string_view bytes) {
    return bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
}

std::string_view Windows1252CharUtf8(unsigned char byte) {
    const std::array<char, 4>& utf8 = kUtf8Of1252.bytes[byte];
    return {utf8.data() + 1, static_cast<std::size_t>(utf8[0])};
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Runs of ASCII are copied as they are, in one go.
        const std::size_t run = i;
        while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
        out.append(bytes.data() + run, i - run);
        if (i == bytes.size()) break;
        out += Windows1252CharUtf8(static_cast<unsigned char>(bytes[i++]));
    }
    return out;
}

std::string DecodeToUtf8(std::string_view bytes) {
    bytes.remove_prefix(Utf8BomLength(bytes));
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return Windows1252ToUtf8(bytes);
}

}  // namespace day
