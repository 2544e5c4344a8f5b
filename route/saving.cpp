#include "route/saving.h"

#include "route/checked.h"
#include "route/errors.h"
#include "route/number_reading.h"

namespace route {

std::optional<SaveRefusal> SaveKund(RouteData& route, int16_t nKundId,
                                    const std::vector<std::string>& levTexts) {
    QuantityTable& n = route.nAntal;
    const int nArt = route.colArtikel.Count();
    n.RequireRange(nArt, 0, nKundId);
    if (nKundId < 1) throw SubscriptError("no such customer");
    // Saving behind the last saved customer would move the mark backwards.
    if (nKundId < route.nSparadKund) throw RouteError("customer before the last saved one");

    struct Planned {
        int16_t lev;
        int16_t lager;
    };
    std::vector<Planned> plan;
    plan.reserve(static_cast<std::size_t>(nArt));
    for (int b = 1; b <= nArt; ++b) {
        const auto index = static_cast<std::size_t>(b - 1);
        const std::string text = index < levTexts.size() ? levTexts[index] : std::string();
        int16_t lev = 0;
        try {
            lev = RoundToInt16(ReadNumber(text));
        } catch (const OverflowError&) {
            return SaveRefusal{SaveRefusal::Reason::BadQuantity, b, text};
        }
        try {
            const int16_t givenBack = CheckedAdd(n(b, kBest, kVan), n(b, kLev, nKundId));
            plan.push_back({lev, CheckedSub(givenBack, lev)});
        } catch (const OverflowError&) {
            return SaveRefusal{SaveRefusal::Reason::BadStock, b, text};
        }
    }

    for (int b = 1; b <= nArt; ++b) {
        const Planned& p = plan[static_cast<std::size_t>(b - 1)];
        n(b, kLev, nKundId) = p.lev;
        n(b, kBest, kVan) = p.lager;
    }
    route.nSparadKund = nKundId;
    return std::nullopt;
}

}  // namespace route
