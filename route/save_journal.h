#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "route/saving.h"

namespace route {

// A save that could not be kept on disk. The message is written for the
// driver, in Swedish, and names what failed; detail() is the technical cause
// (a result code, errno) for standard error, empty when there is none.
class JournalError : public std::runtime_error {
public:
    explicit JournalError(const std::string& message, std::string detail = {})
        : std::runtime_error(message), detail_(std::move(detail)) {}
    const std::string& detail() const { return detail_; }

private:
    std::string detail_;
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
