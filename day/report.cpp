#include "day/report.h"

#include <charconv>
#include <cstddef>
#include <string_view>

#include "day/csv.h"
#include "route/errors.h"

namespace day {

namespace {

constexpr char kSeparator = ';';
constexpr std::string_view kLineEnd = "\r\n";

void AppendNumber(std::string& out, long long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void RequireSameRoute(const route::RouteSheet& sheet, const route::RouteData& day) {
    const std::size_t nArt = sheet.articles.size();
    const std::size_t nKund = sheet.customers.size();
    if (static_cast<std::size_t>(day.colArtikel.Count()) != nArt ||
        static_cast<std::size_t>(day.colKund.Count()) != nKund || sheet.lager.size() != nArt)
        throw route::RouteError("the report needs the route started from this plan");
    if (day.nSparadKund < 0 || static_cast<std::size_t>(day.nSparadKund) > nKund)
        throw route::RouteError("saved customer outside the route");
    day.nAntal.RequireRange(static_cast<int>(nArt), 0, static_cast<int>(nKund));
}

}  // namespace

std::string WriteReport(const route::RouteSheet& sheet, const route::RouteData& day,
                        const std::vector<bool>& savedShops) {
    RequireSameRoute(sheet, day);
    if (!savedShops.empty() && savedShops.size() != sheet.customers.size())
        throw route::RouteError("a saved mark per shop is needed");
    const int nArt = day.colArtikel.Count();
    const int nKund = day.colKund.Count();
    const int saved = day.nSparadKund;

    std::string out = "\xEF\xBB\xBF";
    out.reserve(static_cast<std::size_t>(nArt + 1) * static_cast<std::size_t>(nKund + 6) * 6);
    out += "Artikel;Lastat;Levererat;Returer;Kvar";
    for (const std::string& shop : sheet.customers) {
        out += kSeparator;
        out += InertCsvField(shop, kSeparator);
    }
    out += kLineEnd;

    for (int a = 1; a <= nArt; ++a) {
        long long delivered = 0;
        long long returned = 0;
        for (int k = 1; k <= saved; ++k) {
            const int lev = day.nAntal(a, route::kLev, k);
            if (lev > 0) delivered += lev;
            if (lev < 0) returned -= lev;
        }
        out += InertCsvField(sheet.articles[static_cast<std::size_t>(a - 1)], kSeparator);
        for (const long long figure :
             {static_cast<long long>(sheet.lager[static_cast<std::size_t>(a - 1)]), delivered,
              returned, static_cast<long long>(day.nAntal(a, route::kBest, route::kVan))}) {
            out += kSeparator;
            AppendNumber(out, figure);
        }
        for (int k = 1; k <= nKund; ++k) {
            out += kSeparator;
            const bool shopSaved =
                k <= saved && (savedShops.empty() || savedShops[static_cast<std::size_t>(k - 1)]);
            if (shopSaved) AppendNumber(out, day.nAntal(a, route::kLev, k));
        }
        out += kLineEnd;
    }
    return out;
}

}  // namespace day
