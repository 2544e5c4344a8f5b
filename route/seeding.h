#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "route/random_source.h"
#include "route/route_data.h"

namespace route {

struct DemoCustomer {
    std::string_view name;
    int16_t nVolym;  // bounds each order and sets how likely an article is ordered
};

// The demonstration route every start seeds, in delivery-sheet and visiting order.
inline constexpr std::array<std::string_view, 7> kDemoArticles = {
    "108 Skivad J.F.", "116 Jätterasker", "120 Lyxfranska",      "130 Rasker",
    "308 Vitabygrova", "320 Leva",        "326 Gräddad längtan",
};
inline constexpr std::array<DemoCustomer, 4> kDemoCustomers = {{
    {"Maxi tur 1", 50},
    {"ICA Butiken", 30},
    {"Lokala Statoil", 7},
    {"Maxi tur 2", 30},
}};

// Adds the demo articles to an empty colArtikel, keyed by IndexText(a).
void InitArtikel(RouteData& route);

// Adds the demo customers to an empty colKund and draws their orders. Expects
// nAntal sized to the articles with slot 0 only; grows it one slot per customer.
void InitKund(RouteData& route, RandomSource& random);

// Draws the orders of one customer: per article one reseed and one draw u,
// r = floor((nVolym + 10) * u + 1); r <= nVolym is booked as the customer's
// order and added to the van's stock, a larger r means no order.
void RandomBest(RouteData& route, RandomSource& random, int16_t nKundId, int16_t nVolym);

// The start of a route: articles, a table of zeros, customers with their
// orders, nothing saved.
void StartRoute(RouteData& route, RandomSource& random);

}  // namespace route
