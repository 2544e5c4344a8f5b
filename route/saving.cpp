#include "route/saving.h"

#include <utility>

#include "route/checked.h"
#include "route/errors.h"
#include "route/number_reading.h"

namespace route {

namespace {

void RequireSavable(const RouteData& route, int16_t nKundId) {
    route.nAntal.RequireRange(route.colArtikel.Count(), 0, nKundId);
    if (nKundId < 1) throw SubscriptError("no such customer");
    // Saving behind the last saved customer would move the mark backwards.
    if (nKundId < route.nSparadKund) throw RouteError("customer before the last saved one");
}

// Stock after giving back the earlier save of the customer and taking lev;
// nullopt when it leaves the 16-bit range.
std::optional<int16_t> StockAfter(const QuantityTable& n, int b, int16_t nKundId, int16_t lev) {
    try {
        return CheckedSub(CheckedAdd(n(b, kBest, kVan), n(b, kLev, nKundId)), lev);
    } catch (const OverflowError&) {
        return std::nullopt;
    }
}

}  // namespace

SaveOutcome PlanSave(const RouteData& route, int16_t nKundId,
                     const std::vector<std::string>& levTexts) {
    RequireSavable(route, nKundId);
    const int nArt = route.colArtikel.Count();
    SavePlan plan{nKundId, {}, {}};
    plan.lev.reserve(static_cast<std::size_t>(nArt));
    plan.lager.reserve(static_cast<std::size_t>(nArt));
    for (int b = 1; b <= nArt; ++b) {
        const auto index = static_cast<std::size_t>(b - 1);
        const std::string text = index < levTexts.size() ? levTexts[index] : std::string();
        int16_t lev = 0;
        try {
            lev = RoundToInt16(ReadNumber(text));
        } catch (const OverflowError&) {
            return SaveRefusal{SaveRefusal::Reason::BadQuantity, b, text};
        }
        const auto lager = StockAfter(route.nAntal, b, nKundId, lev);
        if (!lager) return SaveRefusal{SaveRefusal::Reason::BadStock, b, text};
        plan.lev.push_back(lev);
        plan.lager.push_back(*lager);
    }
    return plan;
}

SaveOutcome PlanSaveQuantities(const RouteData& route, int16_t nKundId,
                               const std::vector<int16_t>& lev) {
    RequireSavable(route, nKundId);
    const int nArt = route.colArtikel.Count();
    if (lev.size() != static_cast<std::size_t>(nArt))
        throw RouteError("a quantity for every article is needed");
    SavePlan plan{nKundId, lev, {}};
    plan.lager.reserve(lev.size());
    for (int b = 1; b <= nArt; ++b) {
        const int16_t quantity = lev[static_cast<std::size_t>(b - 1)];
        const auto lager = StockAfter(route.nAntal, b, nKundId, quantity);
        if (!lager) return SaveRefusal{SaveRefusal::Reason::BadStock, b, IndexText(quantity)};
        plan.lager.push_back(*lager);
    }
    return plan;
}

void ApplySave(RouteData& route, const SavePlan& plan) {
    const int nArt = route.colArtikel.Count();
    if (plan.lev.size() != static_cast<std::size_t>(nArt) || plan.lager.size() != plan.lev.size())
        throw RouteError("a plan for another route");
    RequireSavable(route, plan.nKundId);
    for (int b = 1; b <= nArt; ++b) {
        const auto index = static_cast<std::size_t>(b - 1);
        route.nAntal(b, kLev, plan.nKundId) = plan.lev[index];
        route.nAntal(b, kBest, kVan) = plan.lager[index];
    }
    route.nSparadKund = plan.nKundId;
}

std::optional<SaveRefusal> SaveKund(RouteData& route, int16_t nKundId,
                                    const std::vector<std::string>& levTexts) {
    SaveOutcome outcome = PlanSave(route, nKundId, levTexts);
    if (auto* refusal = std::get_if<SaveRefusal>(&outcome)) return std::move(*refusal);
    ApplySave(route, std::get<SavePlan>(outcome));
    return std::nullopt;
}

}  // namespace route
