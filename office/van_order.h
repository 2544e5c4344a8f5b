#pragma once

#include <string_view>

namespace office {

// Vans in the order a person counts them: runs of digits compare as
// numbers ("2" before "10", "bil 9" before "bil 10"), the rest byte by byte;
// names that only differ in leading zeros fall back to plain byte order.
bool VanBefore(std::string_view a, std::string_view b);

}  // namespace office
