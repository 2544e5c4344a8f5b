#include "office/van.h"

#include <algorithm>
#include <ctime>

#include "day/local_time.h"

namespace office {

namespace {

constexpr std::size_t kMaxReason = 1000;  // bytes, so never more characters

// {1,-2,0}: the values of a smallint[] parameter.
std::string ArrayLiteral(const std::vector<int16_t>& values) {
    std::string text = "{";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) text += ',';
        text += std::to_string(values[i]);
    }
    return text + "}";
}

const char* KindName(ProblemKind kind) {
    return kind == ProblemKind::Refused ? "refused" : "conflict";
}

}  // namespace

std::optional<PublishedRoute> FetchRoute(pq::Connection& conn, const std::string& van,
                                         const std::string& date) {
    pq::Transaction transaction(conn);
    // The lock a publishing takes: one under way is waited for, and one
    // after this sees the fetch. Taken only for the role's own van.
    conn.Exec(
        "SELECT leverans.lock_day(v.van, $2::date) FROM leverans.vans v "
        "WHERE v.van = $1 AND v.role = current_user",
        {pq::Param::Text(van), pq::Param::Text(date)});
    conn.Exec(
        "INSERT INTO leverans.fetches(van, day, fingerprint) "
        "SELECT r.van, r.day, r.fingerprint FROM leverans.routes r "
        "JOIN leverans.vans v ON v.van = r.van AND v.role = current_user "
        "WHERE r.van = $1 AND r.day = $2::date ON CONFLICT DO NOTHING",
        {pq::Param::Text(van), pq::Param::Text(date)});
    const pq::Result rows = conn.Exec(
        "SELECT name, bytes, fingerprint, floor(extract(epoch FROM published_at))::bigint "
        "FROM leverans.routes WHERE van = $1 AND day = $2::date",
        {pq::Param::Text(van), pq::Param::Text(date)});
    transaction.Commit();
    if (rows.Rows() == 0) return std::nullopt;
    PublishedRoute route;
    route.name = rows.Text(0, 0);
    route.bytes = rows.Bytes(0, 1);
    route.fingerprint = rows.Text(0, 2);
    route.publishedAt = day::LocalTimestamp(static_cast<std::time_t>(rows.Int(0, 3)));
    return route;
}

void RecordHeard(pq::Connection& conn, const std::string& van) {
    conn.Exec(
        "INSERT INTO leverans.heard(van) VALUES ($1) "
        "ON CONFLICT (van) DO UPDATE SET at = now()",
        {pq::Param::Text(van)});
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
                "ON CONFLICT (van, day, uid, seq) DO NOTHING",
                {pq::Param::Text(save.van), pq::Param::Text(save.date), pq::Param::Int(save.seq),
                 pq::Param::Text(save.uid), pq::Param::Text(save.fingerprint),
                 pq::Param::Int(save.shop), pq::Param::Text(save.savedAt)})
            .Affected() == 1;
    if (!added) {
        // There already: the same save sent again after an answer that was
        // lost, or something else under its seq, which must not pass as sent.
        const pq::Result held = conn.Exec(
            "SELECT shop, fingerprint FROM leverans.saves "
            "WHERE van = $1 AND day = $2::date AND uid = $3 AND seq = $4",
            {pq::Param::Text(save.van), pq::Param::Text(save.date), pq::Param::Text(save.uid),
             pq::Param::Int(save.seq)});
        if (held.Rows() != 1 || held.Int(0, 0) != save.shop || held.Text(0, 1) != save.fingerprint)
            throw Refused("kontoret har redan en annan sparning nr " + std::to_string(save.seq) +
                              " för bil " + save.van + " den " + save.date,
                          "");
        return false;
    }
    conn.Exec(
        "INSERT INTO leverans.deliveries(van, day, uid, seq, article, lev) "
        "SELECT $1, $2::date, $3, $4, a.article::smallint, a.lev "
        "FROM unnest($5::smallint[]) WITH ORDINALITY AS a(lev, article) "
        "ON CONFLICT DO NOTHING",
        {pq::Param::Text(save.van), pq::Param::Text(save.date), pq::Param::Text(save.uid),
         pq::Param::Int(save.seq), pq::Param::Text(ArrayLiteral(save.lev))});
    transaction.Commit();
    return true;
}

std::vector<HeldSave> OfficeSaves(pq::Connection& conn, const std::string& van,
                                  const std::string& date, const std::string& uid) {
    const pq::Result rows = conn.Exec(
        "SELECT s.seq, s.shop, s.fingerprint, d.article, d.lev FROM leverans.saves s "
        "LEFT JOIN leverans.deliveries d "
        "ON d.van = s.van AND d.day = s.day AND d.uid = s.uid AND d.seq = s.seq "
        "WHERE s.van = $1 AND s.day = $2::date AND s.uid = $3 ORDER BY s.seq, d.article",
        {pq::Param::Text(van), pq::Param::Text(date), pq::Param::Text(uid)});
    std::vector<HeldSave> saves;
    for (int row = 0; row < rows.Rows(); ++row) {
        const int seq = static_cast<int>(rows.Int(row, 0));
        if (saves.empty() || saves.back().seq != seq) {
            HeldSave save;
            save.seq = seq;
            save.shop = static_cast<int>(rows.Int(row, 1));
            save.fingerprint = rows.Text(row, 2);
            saves.push_back(std::move(save));
        }
        if (rows.IsNull(row, 3)) continue;
        // Articles are 1, 2, 3, ...; one missing reads as 0.
        const auto article = static_cast<std::size_t>(rows.Int(row, 3));
        std::vector<int16_t>& lev = saves.back().lev;
        if (lev.size() < article) lev.resize(article, 0);
        lev[article - 1] = static_cast<int16_t>(rows.Int(row, 4));
    }
    return saves;
}

void RecordProblem(pq::Connection& conn, const SaveProblem& problem) {
    // The office keeps a reason of at most 1000 characters: cut whole ones.
    std::size_t cut = std::min<std::size_t>(problem.reason.size(), kMaxReason);
    while (cut < problem.reason.size() &&
           (static_cast<unsigned char>(problem.reason[cut]) & 0xC0U) == 0x80U)
        --cut;
    const std::optional<SaveToSend>& save = problem.vansSave;
    const auto orNull = [&save](auto field) { return save ? field(*save) : pq::Param::Null(); };
    conn.Exec(
        "INSERT INTO leverans.problems"
        "(van, day, uid, seq, kind, reason, shop, fingerprint, saved_at, lev) "
        "VALUES ($1, $2::date, $3, $4, $5, $6, $7::integer, $8, $9, $10::smallint[]) "
        "ON CONFLICT (van, day, uid, seq, kind) DO UPDATE SET reason = EXCLUDED.reason, "
        "at = now(), shop = EXCLUDED.shop, fingerprint = EXCLUDED.fingerprint, "
        "saved_at = EXCLUDED.saved_at, lev = EXCLUDED.lev",
        {pq::Param::Text(problem.van), pq::Param::Text(problem.date), pq::Param::Text(problem.uid),
         pq::Param::Int(problem.seq), pq::Param::Text(KindName(problem.kind)),
         pq::Param::Text(problem.reason),
         orNull([](const SaveToSend& s) { return pq::Param::Int(s.shop); }),
         orNull([](const SaveToSend& s) { return pq::Param::Text(s.fingerprint); }),
         orNull([](const SaveToSend& s) { return pq::Param::Text(s.savedAt); }),
         orNull([](const SaveToSend& s) { return pq::Param::Text(ArrayLiteral(s.lev)); })});
}

void ClearProblems(pq::Connection& conn, const std::string& van, const std::string& date,
                   const std::string& uid, ProblemKind kind) {
    conn.Exec(
        "DELETE FROM leverans.problems WHERE van = $1 AND day = $2::date AND uid = $3 "
        "AND kind = $4",
        {pq::Param::Text(van), pq::Param::Text(date), pq::Param::Text(uid),
         pq::Param::Text(KindName(kind))});
}

}  // namespace office
