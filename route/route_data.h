#pragma once

#include <cstdint>
#include <string>

#include "route/keyed_list.h"
#include "route/quantity_table.h"

namespace route {

// Planes of the quantity table, and the slot of the van.
inline constexpr int kBest = 1;  // slot 0: Lager, the stock still on the van
inline constexpr int kLev = 2;   // delivered, as stored by the last save
inline constexpr int kRek = 3;   // slot 0: sum of the remaining orders
inline constexpr int kVan = 0;

// The whole state of one delivery route, held in memory for the life of the
// window. Names follow the route's own vocabulary: Artikel article, Kund
// customer, Lager stock, Best order, Rek recommendation, Lev delivery.
struct RouteData {
    KeyedList<std::string> colArtikel;  // article names under IndexText(a)
    KeyedList<std::string> colKund;     // customer names in visiting order
    QuantityTable nAntal;
    int16_t nAktKund = 0;     // customer on screen, 1..colKund.Count()
    int16_t nSparadKund = 0;  // last customer saved; 0 while none is
};

}  // namespace route
