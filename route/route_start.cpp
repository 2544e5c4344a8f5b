#include "route/route_start.h"

#include "route/checked.h"
#include "route/errors.h"

namespace route {

void StartRoute(RouteData& route, const RouteSheet& sheet) {
    const std::size_t nArt = sheet.articles.size();
    const std::size_t nKund = sheet.customers.size();
    if (nArt == 0 || nKund == 0) throw RouteError("a route needs an article and a customer");
    if (sheet.lager.size() != nArt || sheet.orders.size() != nArt)
        throw RouteError("one stock and one row of orders per article");
    for (std::size_t a = 0; a < nArt; ++a) {
        if (sheet.orders[a].size() != nKund) throw RouteError("one order per customer");
        if (sheet.lager[a] < 0) throw RouteError("negative stock");
        int16_t sum = 0;
        for (int16_t order : sheet.orders[a]) {
            if (order < 0) throw RouteError("negative order");
            sum = CheckedAdd(sum, order);
        }
    }
    if (route.colArtikel.Count() != 0 || route.colKund.Count() != 0)
        throw RouteError("the route is started already");

    const int16_t articles = ToInt16(static_cast<long long>(nArt));
    const int16_t customers = ToInt16(static_cast<long long>(nKund));
    for (int16_t a = 1; a <= articles; a = CheckedAdd(a, 1))
        route.colArtikel.Add(sheet.articles[static_cast<std::size_t>(a - 1)], IndexText(a));
    for (int16_t k = 1; k <= customers; k = CheckedAdd(k, 1))
        route.colKund.Add(sheet.customers[static_cast<std::size_t>(k - 1)], IndexText(k));
    route.nAntal.Resize(articles, customers);
    for (int a = 1; a <= articles; ++a) {
        const auto row = static_cast<std::size_t>(a - 1);
        route.nAntal(a, kBest, kVan) = sheet.lager[row];
        for (int k = 1; k <= customers; ++k)
            route.nAntal(a, kBest, k) = sheet.orders[row][static_cast<std::size_t>(k - 1)];
    }
    route.nSparadKund = 0;
    route.nAktKund = 1;
}

}  // namespace route
