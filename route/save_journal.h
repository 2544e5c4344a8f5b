#pragma once

#include <stdexcept>

#include "route/saving.h"

namespace route {

// A save that could not be kept on disk. The message is written for the
// driver, in Swedish, and names what failed.
class JournalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where saves are kept before the route in memory takes them. Record must
// either keep the whole save durably and return, or keep nothing and throw
// JournalError; the caller applies the save only after it returns.
class SaveJournal {
public:
    virtual ~SaveJournal() = default;
    virtual void Record(const SavePlan& plan) = 0;
};

}  // namespace route
