#pragma once

#include <cstdint>
#include <string>

namespace route {

[[noreturn]] void ThrowOverflow();

// 16-bit arithmetic that never wraps: a result outside -32768..32767 throws
// OverflowError instead. Inline: the recommendation runs it per cell.
inline int16_t CheckedAdd(int16_t a, int16_t b) {
    int sum = int{a} + int{b};
    if (sum != static_cast<int16_t>(sum)) ThrowOverflow();
    return static_cast<int16_t>(sum);
}

inline int16_t CheckedSub(int16_t a, int16_t b) {
    int difference = int{a} - int{b};
    if (difference != static_cast<int16_t>(difference)) ThrowOverflow();
    return static_cast<int16_t>(difference);
}

// Nearest integer, exact halves to the even neighbour (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2). Throws OverflowError for NaN, infinities and results outside
// the 16-bit range.
inline int16_t RoundToInt16(double value) {
    // Written so that NaN fails the test too.
    if (!(value >= -32768.5 && value <= 32767.5)) ThrowOverflow();
    // Adding 1.5 * 2^52 leaves no bits for a fraction, so the addition itself
    // rounds to the nearest integer, ties to even (the default rounding mode,
    // which this program never changes). No branch on the fraction: shares
    // have fractions as good as random.
    constexpr double kShift = 6755399441055744.0;
    const auto whole = static_cast<int>((value + kShift) - kShift);
    if (whole != static_cast<int16_t>(whole)) ThrowOverflow();
    return static_cast<int16_t>(whole);
}

// Narrows a count or index to 16 bits, throwing OverflowError if it does not fit.
int16_t ToInt16(long long value);

// The text form used for keys and quantities: a blank where a non-negative
// number's sign would stand, then the digits (" 3", "-3", " 0").
std::string IndexText(long long n);

}  // namespace route
