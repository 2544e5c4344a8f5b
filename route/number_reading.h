#pragma once

#include <string_view>

namespace route {

// Reads a decimal number from the start of a text the way a typed quantity is
// read: blanks, tabs and line feeds are ignored wherever they stand; then an
// optional sign, digits and at most one full stop (whatever the locale);
// reading stops at the first character that cannot continue the number. Text
// that does not start with a number gives 0. No exponents, no &H or &O.
// Any bytes are safe; digits too many for a double give an infinity.
double ReadNumber(std::string_view text);

}  // namespace route
