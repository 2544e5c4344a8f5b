#pragma once

#include "route/route_data.h"

namespace route {

// Shares the van's stock of every article among the customers not yet saved
// in proportion to their orders: Rek(k) = round(Lager / sum * Best(k)), the
// quotient and the product each rounded to double, halves to even. The sum
// goes into the van's Rek cell; a sum of 0 divides by 1. Saved customers keep
// their Rek.
void CalcRek(RouteData& route);

}  // namespace route
