#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "office/pq.h"

// One van's day in detail, as the office's live page shows it: every shop
// of the published route in route order with what was ordered and, for a
// saved shop, what its latest save delivered. Read with the connection's
// rights: a role that may not see the van gets no route.
namespace office {

enum class ShopState {
    Saved,       // saved once
    Corrected,   // saved more than once; the latest save counts
    PassedOver,  // not saved, but a shop after it in the route is
    NotYet,      // not saved, and no shop after it is either
};

struct ShopArticle {
    std::string article;
    int ordered = 0;
    std::optional<int> delivered;  // none for a shop not saved; returns negative
};

struct ShopDay {
    int number = 0;  // 1 = the route's first shop
    std::string name;
    ShopState state = ShopState::NotYet;
    int saves = 0;
    std::optional<std::time_t> savedAt;  // the latest save, as the van made it
    std::vector<ShopArticle> articles;   // every article of the route, in its order
};

struct VanDay {
    std::string van;
    std::string date;
    std::string routeName;
    std::vector<ShopDay> shops;
};

// None when no route is published for `van` on `date` that this role may see.
std::optional<VanDay> VanDayDetail(pq::Connection& conn, const std::string& van,
                                   const std::string& date);

}  // namespace office
