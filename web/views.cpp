#include "web/views.h"

#include "web/request_parse.h"

namespace web {

namespace {

std::string Moment(const std::optional<std::time_t>& moment) {
    return moment ? std::to_string(*moment) : "null";
}

const char* StateName(office::ShopState state) {
    switch (state) {
        case office::ShopState::Saved:
            return "sparad";
        case office::ShopState::Corrected:
            return "rattad";
        case office::ShopState::PassedOver:
            return "overhoppad";
        case office::ShopState::NotYet:
            break;
    }
    return "ej";
}

}  // namespace

std::string StatusJson(const std::vector<office::VanStatus>& fleet, const std::string& date,
                       std::time_t now) {
    std::string out =
        "{\"datum\":" + JsonString(date) + ",\"nu\":" + std::to_string(now) + ",\"bilar\":[";
    for (std::size_t i = 0; i < fleet.size(); ++i) {
        const office::VanStatus& van = fleet[i];
        if (i > 0) out += ',';
        out += "{\"bil\":" + JsonString(van.van) + ",\"rutt\":" + JsonString(van.routeName) +
               ",\"butiker\":" + std::to_string(van.shops) +
               ",\"sparade\":" + std::to_string(van.savedShops) +
               ",\"senastSparad\":" + Moment(van.lastSave) +
               ",\"senastHord\":" + Moment(van.lastHeard) +
               ",\"nekade\":" + std::to_string(van.refusedSaves) +
               ",\"nekadOrsak\":" + JsonString(van.refusalReason) +
               ",\"nekadTid\":" + Moment(van.refusedAt) +
               ",\"konflikter\":" + std::to_string(van.conflicts) +
               ",\"konfliktOrsak\":" + JsonString(van.conflictReason) + "}";
    }
    return out + "]}";
}

std::string VanDayJson(const office::VanDay& day) {
    std::string out = "{\"bil\":" + JsonString(day.van) + ",\"datum\":" + JsonString(day.date) +
                      ",\"rutt\":" + JsonString(day.routeName) + ",\"butiker\":[";
    for (std::size_t s = 0; s < day.shops.size(); ++s) {
        const office::ShopDay& shop = day.shops[s];
        if (s > 0) out += ',';
        out += "{\"nr\":" + std::to_string(shop.number) + ",\"namn\":" + JsonString(shop.name) +
               ",\"lage\":\"" + StateName(shop.state) +
               "\",\"sparningar\":" + std::to_string(shop.saves) +
               ",\"sparad\":" + Moment(shop.savedAt) + ",\"artiklar\":[";
        for (std::size_t a = 0; a < shop.articles.size(); ++a) {
            const office::ShopArticle& article = shop.articles[a];
            if (a > 0) out += ',';
            out += "{\"artikel\":" + JsonString(article.article) +
                   ",\"bestallt\":" + std::to_string(article.ordered) + ",\"levererat\":" +
                   (article.delivered ? std::to_string(*article.delivered) : "null") + "}";
        }
        out += "]}";
    }
    return out + "]}";
}

}  // namespace web
