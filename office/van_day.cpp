#include "office/van_day.h"

#include <map>

#include "day/route_file.h"

namespace office {

std::optional<VanDay> VanDayDetail(pq::Connection& conn, const std::string& van,
                                   const std::string& date) {
    const pq::Result route =
        conn.Exec("SELECT name, bytes FROM leverans.routes WHERE van = $1 AND day = $2::date",
                  {pq::Param::Text(van), pq::Param::Text(date)});
    if (route.Rows() == 0) return std::nullopt;
    VanDay result;
    result.van = van;
    result.date = date;
    result.routeName = route.Text(0, 0);
    const route::RouteSheet sheet = day::ParseRouteFile(route.Bytes(0, 1), result.routeName);

    struct Latest {
        int saves = 0;
        std::time_t savedAt = 0;
        std::map<int, int> lev;  // article -> Lev
    };
    std::map<int, Latest> saved;
    // Each shop's number of saves on the route published now, in any of the
    // day's journals, and its latest save (as the fleet's report picks it)
    // with its deliveries.
    const pq::Result rows = conn.Exec(
        "SELECT l.shop, l.saves, floor(extract(epoch FROM l.saved_at))::bigint, d.article, d.lev "
        "FROM (SELECT DISTINCT ON (s.shop) s.shop, s.uid, s.seq, s.saved_at, "
        "      count(*) OVER (PARTITION BY s.shop) AS saves "
        "      FROM leverans.saves s JOIN leverans.routes r "
        "      ON r.van = s.van AND r.day = s.day AND r.fingerprint = s.fingerprint "
        "      WHERE s.van = $1 AND s.day = $2::date "
        "      ORDER BY s.shop, s.saved_at DESC, s.received_at DESC, s.uid DESC, s.seq DESC) l "
        "LEFT JOIN leverans.deliveries d "
        "ON d.van = $1 AND d.day = $2::date AND d.uid = l.uid AND d.seq = l.seq",
        {pq::Param::Text(van), pq::Param::Text(date)});
    for (int row = 0; row < rows.Rows(); ++row) {
        Latest& shop = saved[static_cast<int>(rows.Int(row, 0))];
        shop.saves = static_cast<int>(rows.Int(row, 1));
        shop.savedAt = static_cast<std::time_t>(rows.Int(row, 2));
        if (!rows.IsNull(row, 3))
            shop.lev[static_cast<int>(rows.Int(row, 3))] = static_cast<int>(rows.Int(row, 4));
    }

    const int lastSaved = saved.empty() ? 0 : saved.rbegin()->first;
    for (std::size_t k = 0; k < sheet.customers.size(); ++k) {
        ShopDay shop;
        shop.number = static_cast<int>(k) + 1;
        shop.name = sheet.customers[k];
        const auto found = saved.find(shop.number);
        if (found != saved.end()) {
            shop.saves = found->second.saves;
            shop.savedAt = found->second.savedAt;
            shop.state = shop.saves > 1 ? ShopState::Corrected : ShopState::Saved;
        } else {
            shop.state = shop.number < lastSaved ? ShopState::PassedOver : ShopState::NotYet;
        }
        for (std::size_t a = 0; a < sheet.articles.size(); ++a) {
            ShopArticle article;
            article.article = sheet.articles[a];
            article.ordered = sheet.orders[a][k];
            if (found != saved.end()) {
                const auto lev = found->second.lev.find(static_cast<int>(a) + 1);
                article.delivered = lev == found->second.lev.end() ? 0 : lev->second;
            }
            shop.articles.push_back(std::move(article));
        }
        result.shops.push_back(std::move(shop));
    }
    return result;
}

}  // namespace office
