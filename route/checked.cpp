#include "route/checked.h"

#include <limits>

#include "route/errors.h"

namespace route {

namespace {

constexpr int kMin = std::numeric_limits<int16_t>::min();
constexpr int kMax = std::numeric_limits<int16_t>::max();

}  // namespace

void ThrowOverflow() { throw OverflowError("16-bit overflow"); }

int16_t ToInt16(long long value) {
    if (value < kMin || value > kMax) throw OverflowError("16-bit overflow");
    return static_cast<int16_t>(value);
}

std::string IndexText(long long n) {
    std::string text = n < 0 ? "" : " ";
    text += std::to_string(n);
    return text;
}

}  // namespace route
