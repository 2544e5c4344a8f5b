#pragma once

#include <cstdint>
#include <optional>
#include <string>
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

// Stores the delivered quantities of customer nKundId, one text per article
// (1..colArtikel.Count(), missing texts count as empty), read with ReadNumber
// and rounded halves to even. What an earlier save of the same customer took
// off the van is given back first, so saving again corrects instead of taking
// twice; then the new quantities are taken off the van's stock and the
// customer becomes the last saved one.
//
// All or nothing: every text is read and checked before anything is stored.
// On a refusal the route is left exactly as it was. A customer before the
// last saved one cannot be saved (RouteError).
std::optional<SaveRefusal> SaveKund(RouteData& route, int16_t nKundId,
                                    const std::vector<std::string>& levTexts);

}  // namespace route
