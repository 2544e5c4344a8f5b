#include "route/number_reading.h"

#include <charconv>
#include <limits>
#include <string>

namespace route {

namespace {

bool Skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool Digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double ReadNumber(std::string_view text) {
    // Gather the number's characters without the ignored ones, then let
    // from_chars do the correctly rounded conversion.
    std::string number;
    bool negative = false;
    bool signSeen = false;
    bool pointSeen = false;
    bool digitSeen = false;
    bool nonZeroInteger = false;
    for (char c : text) {
        if (Skipped(c)) continue;
        if ((c == '+' || c == '-') && !signSeen && number.empty()) {
            signSeen = true;
            negative = c == '-';
        } else if (c == '.' && !pointSeen) {
            pointSeen = true;
            number.push_back(c);
        } else if (Digit(c)) {
            digitSeen = true;
            if (!pointSeen && c != '0') nonZeroInteger = true;
            number.push_back(c);
        } else {
            break;
        }
    }
    if (!digitSeen) return 0.0;

    double value = 0.0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::fixed);
    if (error == std::errc::result_out_of_range) {
        value = nonZeroInteger ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

}  // namespace route
