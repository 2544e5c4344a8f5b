#include "route/seeding.h"

#include <cmath>
#include <string>

#include "route/checked.h"

namespace route {

void InitArtikel(RouteData& route) {
    int16_t n = 1;
    for (std::string_view name : kDemoArticles) {
        route.colArtikel.Add(std::string(name), IndexText(n));
        n = CheckedAdd(n, 1);
    }
}

void InitKund(RouteData& route, RandomSource& random) {
    int16_t k = 1;
    for (const DemoCustomer& customer : kDemoCustomers) {
        route.colKund.Add(std::string(customer.name), IndexText(k));
        route.nAntal.ResizeSlots(route.colKund.Count());
        RandomBest(route, random, k, customer.nVolym);
        k = CheckedAdd(k, 1);
    }
}

void RandomBest(RouteData& route, RandomSource& random, int16_t nKundId, int16_t nVolym) {
    const int nArt = route.colArtikel.Count();
    for (int a = 1; a <= nArt; ++a) {
        random.ReseedFromTimer();
        const float u = random.NextRandom();
        const int16_t t = CheckedAdd(nVolym, 10);
        // float * float fits a double's mantissa, so neither step rounds.
        const double x = static_cast<double>(static_cast<float>(t)) * static_cast<double>(u) + 1.0;
        if (!std::isfinite(x)) throw OverflowError("invalid draw");
        const int16_t r = ToInt16(static_cast<long long>(std::floor(x)));
        if (r > nVolym) continue;
        route.nAntal(a, kBest, nKundId) = r;
        route.nAntal(a, kBest, kVan) = CheckedAdd(route.nAntal(a, kBest, kVan), r);
    }
}

void StartRoute(RouteData& route, RandomSource& random) {
    InitArtikel(route);
    route.nAntal.Resize(route.colArtikel.Count(), 0);
    InitKund(route, random);
    route.nSparadKund = 0;
}

}  // namespace route
