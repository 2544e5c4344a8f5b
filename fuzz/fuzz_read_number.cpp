// Arbitrary bytes as a typed quantity: ReadNumber, then RoundToInt16.
//
// Properties: the reading is never NaN, is deterministic, ignores blanks,
// tabs and line feeds wherever they stand, is not changed by a trailing
// character that cannot continue a number, follows a leading sign, and agrees
// with the C library's strtod on the number's characters. RoundToInt16 agrees
// with nearbyint (halves to even) and throws OverflowError exactly when that
// leaves the 16-bit range or the value is not finite.

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "route/checked.h"
#include "route/errors.h"
#include "route/number_reading.h"

namespace {

bool Skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Tells -0 from +0, which == does not.
bool SameBits(double a, double b) {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

// The number as strtod sees it: ignored characters dropped, then the longest
// prefix of the form [+-]digits[.digits]. Returns false when it has no digit.
bool ReferenceReading(const std::string& text, double& value) {
    std::string kept;
    for (char c : text) {
        if (!Skipped(c)) kept.push_back(c);
    }
    std::size_t end = 0;
    if (end < kept.size() && (kept[end] == '+' || kept[end] == '-')) ++end;
    bool digits = false;
    bool point = false;
    for (; end < kept.size(); ++end) {
        const char c = kept[end];
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return false;
    value = std::strtod(kept.substr(0, end).c_str(), nullptr);
    return true;
}

void CheckRounding(double value) {
    const double nearest = std::nearbyint(value);
    const bool fits = std::isfinite(value) && nearest >= -32768.0 && nearest <= 32767.0;
    try {
        const int16_t whole = route::RoundToInt16(value);
        FUZZ_CHECK(fits);
        FUZZ_CHECK(static_cast<double>(whole) == nearest);
        const double distance = std::fabs(value - whole);
        FUZZ_CHECK(distance <= 0.5);
        if (distance == 0.5) FUZZ_CHECK(whole % 2 == 0);
    } catch (const route::OverflowError&) {
        FUZZ_CHECK(!fits);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double value = route::ReadNumber(text);

    FUZZ_CHECK(!std::isnan(value));
    FUZZ_CHECK(SameBits(route::ReadNumber(text), value));
    FUZZ_CHECK(SameBits(route::ReadNumber(text + "x"), value));
    FUZZ_CHECK(SameBits(route::ReadNumber(text + ","), value));

    // An ignored character, put where the input itself says.
    if (size > 0) {
        const std::size_t at = data[0] % (size + 1);
        const char blank = " \t\n"[data[size - 1] % 3];
        std::string spread = text;
        spread.insert(at, 1, blank);
        FUZZ_CHECK(SameBits(route::ReadNumber(spread), value));
    }

    // A sign in front negates, unless the text already starts with one.
    std::size_t first = 0;
    while (first < text.size() && Skipped(text[first])) ++first;
    if (first == text.size() || (text[first] != '+' && text[first] != '-')) {
        FUZZ_CHECK(route::ReadNumber("-" + text) == -value);
        FUZZ_CHECK(SameBits(route::ReadNumber("+" + text), value));
    }

    double reference = 0.0;
    if (!ReferenceReading(text, reference)) {
        FUZZ_CHECK(value == 0.0);
    } else if (std::fabs(reference) < DBL_MIN) {
        // Below the normal range the two may part on whether to keep a subnormal.
        FUZZ_CHECK(value == reference || value == 0.0);
    } else {
        FUZZ_CHECK(value == reference);
    }

    CheckRounding(value);
    // Doubles a typed text can never give, straight from the input's bytes.
    if (size >= sizeof(double)) {
        double raw = 0.0;
        std::memcpy(&raw, data, sizeof raw);
        CheckRounding(raw);
    }
    return 0;
}
