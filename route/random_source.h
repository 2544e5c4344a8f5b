#pragma once

namespace route {

// The random draws of the demo seeding. Seeding reseeds before every draw.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void ReseedFromTimer() = 0;
    // A value u with 0 <= u < 1.
    virtual float NextRandom() = 0;
};

}  // namespace route
