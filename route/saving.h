#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "route/route_data.h"

namespace route {

// Why a save was refused, and at which article (1-based).
struct SaveRefusal {
    enum class Reason {
        BadQuantity,  // the text reads as a number outside -32768..32767
        BadStock,     // the van's stock would leave -32768..32767
    };
    Reason reason;
    int article;
    std::string text;
};

// A checked save, ready to be stored: the customer's new deliveries and the
// van's stock after them, one entry per article (1..colArtikel.Count()).
struct SavePlan {
    int16_t nKundId = 0;
    std::vector<int16_t> lev;
    std::vector<int16_t> lager;
};

using SaveOutcome = std::variant<SavePlan, SaveRefusal>;

// Plans the save of customer nKundId from one text per article (missing
// texts count as empty), read with ReadNumber and rounded halves to even.
// What an earlier save of the same customer took off the van is given back
// first, so saving again corrects instead of taking twice. Every article is
// checked; the route is not touched. A customer before the last saved one
// cannot be saved (RouteError).
SaveOutcome PlanSave(const RouteData& route, int16_t nKundId,
                     const std::vector<std::string>& levTexts);

// The same from quantities already read, as a journal replays them; a
// quantity list of the wrong length is a RouteError.
SaveOutcome PlanSaveQuantities(const RouteData& route, int16_t nKundId,
                               const std::vector<int16_t>& lev);

// Stores a plan made on this very route state: the deliveries, the van's
// stock, and the customer as the last saved one. Cannot fail halfway.
void ApplySave(RouteData& route, const SavePlan& plan);

// PlanSave and, when nothing is refused, ApplySave. On a refusal the route
// is left exactly as it was.
std::optional<SaveRefusal> SaveKund(RouteData& route, int16_t nKundId,
                                    const std::vector<std::string>& levTexts);

}  // namespace route
