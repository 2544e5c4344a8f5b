#include "route/quantity_table.h"

#include <string>

#include "route/errors.h"

namespace route {

void QuantityTable::Resize(int articles, int lastSlot) {
    if (articles < 0 || lastSlot < 0) throw SubscriptError("negative table size");
    articles_ = articles;
    slots_ = lastSlot + 1;
    cells_.assign(static_cast<std::size_t>(articles_) * kPlanes * slots_, 0);
}

void QuantityTable::ResizeSlots(int lastSlot) {
    if (lastSlot < 0) throw SubscriptError("negative table size");
    slots_ = lastSlot + 1;
    cells_.resize(static_cast<std::size_t>(articles_) * kPlanes * slots_, 0);
}

std::size_t QuantityTable::Offset(int a, int t, int k) const {
    if (a < 1 || a > articles_ || t < 1 || t > kPlanes || k < 0 || k >= slots_) {
        throw SubscriptError("nAntal(" + std::to_string(a) + ", " + std::to_string(t) + ", " +
                             std::to_string(k) + ") outside the table");
    }
    return Index(a, t, k);
}

void QuantityTable::RequireRange(int articles, int firstSlot, int lastSlot) const {
    if (articles < 0 || articles > articles_ || firstSlot < 0 || lastSlot >= slots_) {
        throw SubscriptError("range outside the table");
    }
}

}  // namespace route
