#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "route/route_data.h"

namespace route {

// A route as the office plans it: articles down, customers across.
struct RouteSheet {
    std::vector<std::string> articles;         // names, in delivery-sheet order
    std::vector<std::string> customers;        // names, in visiting order
    std::vector<int16_t> lager;                // per article: loaded on the van
    std::vector<std::vector<int16_t>> orders;  // [article][customer]: Best
};

// Fills an empty route from a plan: the names under IndexText keys, the
// orders, the van loaded as planned, nothing saved and customer 1 current.
// Throws RouteError when the plan does not make a route: no article or no
// customer, ragged tables, a negative quantity, or orders of one article
// whose sum leaves the 16-bit range (the recommendation adds them up).
void StartRoute(RouteData& route, const RouteSheet& sheet);

}  // namespace route
