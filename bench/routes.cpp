#include "routes.h"

#include <random>
#include <string>

route::RouteData DemoRoute() {
    route::TimerRandom random(1, [] { return uint64_t{0}; });
    route::RouteData r;
    route::StartRoute(r, random);
    r.nAktKund = 1;
    return r;
}

route::RouteData SyntheticRoute(int articles, int customers) {
    route::RouteData r;
    for (int a = 1; a <= articles; ++a)
        r.colArtikel.Add("article " + std::to_string(a), route::IndexText(a));
    r.nAntal.Resize(articles, 0);
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> order(0, 30);
    for (int k = 1; k <= customers; ++k) {
        r.colKund.Add("customer " + std::to_string(k), route::IndexText(k));
        r.nAntal.ResizeSlots(k);
        for (int a = 1; a <= articles; ++a) {
            auto best = static_cast<int16_t>(order(gen));
            r.nAntal(a, route::kBest, k) = best;
            int16_t& stock = r.nAntal(a, route::kBest, route::kVan);
            stock = static_cast<int16_t>(stock + best);
        }
    }
    r.nAktKund = 1;
    return r;
}
