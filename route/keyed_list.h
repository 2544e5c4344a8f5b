#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "route/errors.h"

namespace route {

// An ordered list of values, each added under a text key, found by key or by
// 1-based position. A missing or duplicate key throws KeyError, a position
// outside 1..Count() throws SubscriptError.
template <typename T>
class KeyedList {
public:
    void Add(T value, std::string key) {
        if (index_.contains(key)) throw KeyError("duplicate key \"" + key + "\"");
        index_.emplace(key, values_.size());
        values_.push_back(std::move(value));
    }

    const T& Item(std::string_view key) const {
        auto it = index_.find(std::string(key));
        if (it == index_.end()) throw KeyError("no entry under key \"" + std::string(key) + "\"");
        return values_[it->second];
    }

    const T& Item(int position) const {
        if (position < 1 || static_cast<std::size_t>(position) > values_.size())
            throw SubscriptError("position " + std::to_string(position) + " outside the list");
        return values_[static_cast<std::size_t>(position) - 1];
    }

    // Without this a string literal would be ambiguous between key and position.
    const T& Item(const char* key) const { return Item(std::string_view(key)); }

    int Count() const { return static_cast<int>(values_.size()); }

private:
    std::vector<T> values_;
    std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace route
