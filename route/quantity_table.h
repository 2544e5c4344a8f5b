#pragma once

#include <cstdint>
#include <vector>

namespace route {

// The quantity table nAntal(a, t, k): 16-bit cells by article a (1..articles),
// plane t (1..3) and customer slot k (0..last slot, 0 being the van). The
// slot is the slowest index, so the table can grow by slots and keep every
// stored value. Any index outside the current ranges throws SubscriptError.
class QuantityTable {
public:
    static constexpr int kPlanes = 3;

    // A new table of zeros for articles 1..articles, planes 1..3, slots
    // 0..lastSlot, whatever the table held before.
    void Resize(int articles, int lastSlot);
    // Grows (or shrinks) the slot range to 0..lastSlot keeping every value;
    // new slots hold zeros.
    void ResizeSlots(int lastSlot);

    int Articles() const { return articles_; }
    int LastSlot() const { return slots_ - 1; }

    int16_t& operator()(int a, int t, int k) { return cells_[Offset(a, t, k)]; }
    int16_t operator()(int a, int t, int k) const { return cells_[Offset(a, t, k)]; }

    // Throws SubscriptError unless articles 1..articles and slots
    // first..last all lie inside the table. Loops over many cells check once
    // with this and then use Unchecked.
    void RequireRange(int articles, int firstSlot, int lastSlot) const;
    int16_t& Unchecked(int a, int t, int k) { return cells_[Index(a, t, k)]; }
    // Distance between the same cell of two neighbouring slots.
    std::size_t SlotStride() const { return static_cast<std::size_t>(kPlanes) * articles_; }

private:
    std::size_t Index(int a, int t, int k) const {
        return (static_cast<std::size_t>(k) * kPlanes + static_cast<std::size_t>(t - 1)) *
                   static_cast<std::size_t>(articles_) +
               static_cast<std::size_t>(a - 1);
    }

    std::size_t Offset(int a, int t, int k) const;

    int articles_ = 0;
    int slots_ = 0;
    std::vector<int16_t> cells_;
};

}  // namespace route
