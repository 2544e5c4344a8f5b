#include "route/recommendation.h"

#include "route/checked.h"

namespace route {

void CalcRek(RouteData& route) {
    QuantityTable& n = route.nAntal;
    const int nArt = route.colArtikel.Count();
    const int nKund = route.colKund.Count();
    const int first = route.nSparadKund + 1;
    n.RequireRange(nArt, first > nKund ? 0 : first - 1, nKund);
    const std::size_t stride = n.SlotStride();
    for (int a = 1; a <= nArt; ++a) {
        // Cells of this article in slot k lie k strides past its van cell.
        int16_t* best = &n.Unchecked(a, kBest, kVan);
        int16_t* rek = &n.Unchecked(a, kRek, kVan);

        int16_t sum = 0;
        for (int k = first; k <= nKund; ++k) sum = CheckedAdd(sum, best[k * stride]);
        rek[0] = sum;

        const double divisor = sum == 0 ? 1.0 : static_cast<double>(sum);
        const double perUnit = static_cast<double>(best[0]) / divisor;
        for (int k = first; k <= nKund; ++k) {
            // Quotient first, then the product: Lager * Best / sum can differ
            // in the last bit and so round the other way near a half.
            rek[k * stride] = RoundToInt16(perUnit * static_cast<double>(best[k * stride]));
        }
    }
}

}  // namespace route
