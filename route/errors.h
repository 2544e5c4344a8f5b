#pragma once

#include <stdexcept>

namespace route {

// Run-time errors of the route data. Nothing in the route recovers from them;
// the caller decides what the user sees.
class RouteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A 16-bit result outside -32768..32767, or a real that cannot become one.
class OverflowError : public RouteError {
public:
    using RouteError::RouteError;
};

// An index outside a table or list.
class SubscriptError : public RouteError {
public:
    using RouteError::RouteError;
};

// A key that is missing from a keyed list, or added twice.
class KeyError : public RouteError {
public:
    using RouteError::RouteError;
};

}  // namespace route
