#include "office/van.h"

#include <ctime>

#include "day/local_time.h"

namespace office {

namespace {

// {1,-2,0}: the values of a smallint[] parameter.
std::string ArrayLiteral(const std::vector<int16_t>& values) {
    std::string text = "{";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text += ',';
        text += std::to_string(values[i]);
    }
    return text + "}";
}

}  // namespace

std::optional<PublishedRoute> FetchRoute(pq::Connection& conn, const std::string& van,
                                         const std::string& date) {
    const pq::Result rows = conn.Exec(
        "SELECT name, bytes, fingerprint, floor(extract(epoch FROM published_at))::bigint "
        "FROM leverans.routes WHERE van = $1 AND day = $2::date",
        {pq::Param::Text(van), pq::Param::Text(date)});
    if (rows.Rows() == 0) return std::nullopt;
    PublishedRoute route;
    route.name = rows.Text(0, 0);
    route.bytes = rows.Bytes(0, 1);
    route.fingerprint = rows.Text(0, 2);
    route.publishedAt = day::LocalTimestamp(static_cast<std::time_t>(rows.Int(0, 3)));
    return route;
}

void RecordHeard(pq::Connection& conn, const std::string& van) {
    conn.Exec("INSERT INTO leverans.heard(van) VALUES ($1)", {pq::Param::Text(van)});
}

int OfficeSaveCount(pq::Connection& conn, const std::string& van, const std::string& date,
                    const std::string& uid) {
    return static_cast<int>(
        conn.Exec("SELECT coalesce(max(seq), 0) FROM leverans.saves "
                  "WHERE van = $1 AND day = $2::date AND uid = $3",
                  {pq::Param::Text(van), pq::Param::Text(date), pq::Param::Text(uid)})
            .Int(0, 0));
}

bool SendSave(pq::Connection& conn, const SaveToSend& save) {
    pq::Transaction transaction(conn);
    const bool added =
        conn.Exec(
                "INSERT INTO leverans.saves(van, day, seq, uid, fingerprint, shop, saved_at) "
                "VALUES ($1, $2::date, $3, $4, $5, $6, $7::timestamptz) "
                "ON CONFLICT (van, day, seq) DO NOTHING",
                {pq::Param::Text(save.van), pq::Param::Text(save.date), pq::Param::Int(save.seq),
                 pq::Param::Text(save.uid), pq::Param::Text(save.fingerprint),
                 pq::Param::Int(save.shop), pq::Param::Text(save.savedAt)})
            .Affected() == 1;
    if (!added) {
        // There already: the same save sent again after an answer that was
        // lost, or something else under its seq, which must not pass as sent.
        const pq::Result held = conn.Exec(
            "SELECT uid, shop, fingerprint FROM leverans.saves "
            "WHERE van = $1 AND day = $2::date AND seq = $3",
            {pq::Param::Text(save.van), pq::Param::Text(save.date), pq::Param::Int(save.seq)});
        if (held.Rows() != 1 || held.Text(0, 0) != save.uid || held.Int(0, 1) != save.shop ||
            held.Text(0, 2) != save.fingerprint)
            throw Refused("kontoret har redan en annan sparning nr " + std::to_string(save.seq) +
                              " för bil " + save.van + " den " + save.date,
                          "");
        return false;
    }
    conn.Exec(
        "INSERT INTO leverans.deliveries(van, day, seq, article, lev) "
        "SELECT $1, $2::date, $3, a.article::smallint, a.lev "
        "FROM unnest($4::smallint[]) WITH ORDINALITY AS a(lev, article) "
        "ON CONFLICT DO NOTHING",
        {pq::Param::Text(save.van), pq::Param::Text(save.date), pq::Param::Int(save.seq),
         pq::Param::Text(ArrayLiteral(save.lev))});
    transaction.Commit();
    return true;
}

}  // namespace office
