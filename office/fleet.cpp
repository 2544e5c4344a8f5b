#include "office/fleet.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#include "day/csv.h"
#include "day/fingerprint.h"
#include "day/route_file.h"
#include "office/van_order.h"

namespace office {

namespace {

constexpr std::size_t kMaxVanName = 100;  // characters
constexpr char kSeparator = ';';
constexpr const char* kLineEnd = "\r\n";

std::string Shops(int count) {
    return std::to_string(count) + (count == 1 ? " butik" : " butiker");
}

std::optional<std::time_t> Moment(const pq::Result& rows, int row, int column) {
    if (rows.IsNull(row, column)) return std::nullopt;
    return static_cast<std::time_t>(rows.Int(row, column));
}

// A reason the van gave, on one line.
std::string OneLine(std::string text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // C0 controls, DEL, and C1 controls as UTF-8 writes them (C2 80..9F).
        if (byte == 0xC2 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xE0U) == 0x80U)
            text.replace(i, 2, " ");
        else if (byte < 0x20 || byte == 0x7F)
            text[i] = ' ';
    }
    return text;
}

void RequireVan(pq::Connection& conn, const std::string& van) {
    if (conn.Exec("SELECT 1 FROM leverans.vans WHERE van = $1", {pq::Param::Text(van)}).Rows() == 0)
        throw Refused("bil " + van +
                          " finns inte hos kontoret; lägg till den med leverans kontor bil " + van +
                          " --roll ROLL",
                      "");
}

}  // namespace

void CheckVanName(std::string_view van) {
    if (van.empty()) throw Refused("bilens namn får inte vara tomt", "");
    std::size_t characters = 0;
    for (std::size_t i = 0; i < van.size(); ++i) {
        const auto byte = static_cast<unsigned char>(van[i]);
        if ((byte & 0xC0U) != 0x80U) ++characters;
        // C0 controls, DEL, and C1 controls as UTF-8 writes them (C2 80..9F).
        const bool c1 = byte == 0xC2 && i + 1 < van.size() &&
                        static_cast<unsigned char>(van[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(van[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1)
            throw Refused("bilens namn får inte innehålla styrtecken (som radbrytning eller tabb)",
                          "");
    }
    if (characters > kMaxVanName)
        throw Refused("bilens namn får vara högst " + std::to_string(kMaxVanName) + " tecken", "");
}

VanAdded AddVan(pq::Connection& conn, const std::string& van, const std::string& role) {
    CheckVanName(van);
    if (role.empty()) throw Refused("rollen måste ha ett namn", "");
    pq::Transaction transaction(conn);
    // Two mappings made at once must not both pass the checks below.
    conn.Execute("LOCK TABLE leverans.vans IN SHARE ROW EXCLUSIVE MODE");
    // A member of the role may act as it (SET ROLE), and the role as any
    // role it is a member of: either way one role would drive two vans, or
    // roles not the van's would drive it.
    const pq::Result found = conn.Exec(
        "SELECT r.rolsuper OR r.rolbypassrls, "
        "pg_has_role(r.oid, (SELECT n.nspowner FROM pg_namespace n "
        "WHERE n.nspname = 'leverans'), 'MEMBER'), "
        "(SELECT string_agg(m.rolname, ', ' ORDER BY m.rolname) FROM pg_auth_members a "
        " JOIN pg_roles m ON m.oid = a.member WHERE a.roleid = r.oid), "
        "(SELECT string_agg('\"' || g.rolname || '\" (bil ' || v.van || ')', ', ' "
        "  ORDER BY g.rolname) FROM leverans.vans v JOIN pg_roles g ON g.rolname = v.role "
        " WHERE g.oid <> r.oid AND pg_has_role(r.oid, g.oid, 'MEMBER')) "
        "FROM pg_roles r WHERE r.rolname = $1",
        {pq::Param::Text(role)});
    if (found.Rows() == 0)
        throw Refused("rollen \"" + role +
                          "\" finns inte på kontorets databasserver; skapa den först (createuser " +
                          role + ")",
                      "");
    if (found.Text(0, 0) == "t")
        throw Refused("rollen \"" + role +
                          "\" går förbi radsäkerheten (superanvändare eller BYPASSRLS) och kan "
                          "inte vara en bil",
                      "");
    if (found.Text(0, 1) == "t")
        throw Refused("rollen \"" + role + "\" hör till kontoret och kan inte vara en bil", "");
    if (!found.IsNull(0, 2))
        throw Refused("rollen \"" + role + "\" har medlemmar (" + found.Text(0, 2) +
                          ") och kan inte vara en bil",
                      "");
    if (!found.IsNull(0, 3))
        throw Refused("rollen \"" + role + "\" är medlem i rollen " + found.Text(0, 3) +
                          " och kan inte vara en bil",
                      "");

    const pq::Result mapped =
        conn.Exec("SELECT role FROM leverans.vans WHERE van = $1", {pq::Param::Text(van)});
    if (mapped.Rows() > 0) {
        if (mapped.Text(0, 0) == role) return VanAdded::AlreadyThere;
        throw Refused("bil " + van + " är redan kopplad till rollen \"" + mapped.Text(0, 0) + "\"",
                      "");
    }
    const pq::Result other =
        conn.Exec("SELECT van FROM leverans.vans WHERE role = $1", {pq::Param::Text(role)});
    if (other.Rows() > 0)
        throw Refused("rollen \"" + role + "\" är redan bil " + other.Text(0, 0), "");
    conn.Exec("INSERT INTO leverans.vans(van, role) VALUES ($1, $2)",
              {pq::Param::Text(van), pq::Param::Text(role)});
    transaction.Commit();
    return VanAdded::Added;
}

Publication PublishRoute(pq::Connection& conn, const std::string& van, const std::string& date,
                         const std::string& name, std::string_view bytes, Replace replace) {
    const route::RouteSheet sheet = day::ParseRouteFile(bytes, name);
    Publication publication;
    publication.shops = static_cast<int>(sheet.customers.size());
    publication.articles = static_cast<int>(sheet.articles.size());
    const std::string fingerprint = day::Fingerprint(bytes);

    pq::Transaction transaction(conn);
    RequireVan(conn, van);
    // The same lock as every save and fetch of that van and day takes: one
    // under way is waited for, and one after this commits sees the new route.
    conn.Exec("SELECT leverans.lock_day($1, $2::date)",
              {pq::Param::Text(van), pq::Param::Text(date)});
    const pq::Result now = conn.Exec(
        "SELECT fingerprint FROM leverans.routes WHERE van = $1 AND day = $2::date "
        "FOR UPDATE",
        {pq::Param::Text(van), pq::Param::Text(date)});
    publication.replaced = now.Rows() > 0 && now.Text(0, 0) != fingerprint;
    if (publication.replaced) {
        const pq::Result used = conn.Exec(
            "SELECT (SELECT floor(extract(epoch FROM min(f.at)))::bigint FROM leverans.fetches f "
            "        WHERE f.van = $1 AND f.day = $2::date), "
            "       (SELECT floor(extract(epoch FROM min(s.saved_at)))::bigint "
            "        FROM leverans.saves s WHERE s.van = $1 AND s.day = $2::date)",
            {pq::Param::Text(van), pq::Param::Text(date)});
        const std::optional<std::time_t> fetched = Moment(used, 0, 0);
        const std::optional<std::time_t> firstSave = Moment(used, 0, 1);
        publication.begun = fetched || firstSave;
        if (publication.begun && replace == Replace::IfUnused) {
            std::string when;
            if (fetched) when = "hämtad " + LocalMinute(*fetched);
            if (firstSave)
                when += (when.empty() ? "" : ", ") + std::string("första sparningen ") +
                        LocalMinute(*firstSave);
            throw Refused("bil " + van + " har redan " + (fetched ? "hämtat" : "börjat på") +
                              " rutten för " + date + " (" + when +
                              "); ange --ersatt för att ersätta den ändå (sparningar på den "
                              "tas fortfarande emot)",
                          "");
        }
    }
    conn.Exec(
        "INSERT INTO leverans.routes(van, day, name, bytes, fingerprint) "
        "VALUES ($1, $2::date, $3, $4, $5) "
        "ON CONFLICT (van, day) DO UPDATE SET name = EXCLUDED.name, bytes = EXCLUDED.bytes, "
        "fingerprint = EXCLUDED.fingerprint, published_at = now()",
        {pq::Param::Text(van), pq::Param::Text(date), pq::Param::Text(name),
         pq::Param::Bytes(bytes), pq::Param::Text(fingerprint)});
    conn.Exec(
        "INSERT INTO leverans.route_versions(van, day, fingerprint, name, bytes) "
        "VALUES ($1, $2::date, $3, $4, $5) "
        "ON CONFLICT (van, day, fingerprint) DO UPDATE SET name = EXCLUDED.name, "
        "published_at = now()",
        {pq::Param::Text(van), pq::Param::Text(date), pq::Param::Text(fingerprint),
         pq::Param::Text(name), pq::Param::Bytes(bytes)});
    transaction.Commit();
    return publication;
}

std::vector<VanStatus> FleetStatus(pq::Connection& conn, const std::string& date) {
    const pq::Result rows = conn.Exec(
        "SELECT r.van, r.name, r.bytes, "
        "(SELECT count(DISTINCT s.shop) FROM leverans.saves s "
        " WHERE s.van = r.van AND s.day = r.day), "
        "(SELECT floor(extract(epoch FROM max(s.saved_at)))::bigint FROM leverans.saves s "
        " WHERE s.van = r.van AND s.day = r.day), "
        "floor(extract(epoch FROM greatest("
        " (SELECT max(h.at) FROM leverans.heard h WHERE h.van = r.van), "
        " (SELECT max(s.received_at) FROM leverans.saves s WHERE s.van = r.van))))::bigint, "
        "p.refused, p.refusal, floor(extract(epoch FROM p.refused_at))::bigint, "
        "p.conflicts, p.conflict "
        "FROM leverans.routes r CROSS JOIN LATERAL ("
        " SELECT count(*) FILTER (WHERE p.kind = 'refused') AS refused, "
        "  (array_agg(p.reason ORDER BY p.at DESC, p.uid, p.seq DESC) "
        "   FILTER (WHERE p.kind = 'refused'))[1] AS refusal, "
        "  max(p.at) FILTER (WHERE p.kind = 'refused') AS refused_at, "
        "  count(*) FILTER (WHERE p.kind = 'conflict') AS conflicts, "
        "  (array_agg(p.reason ORDER BY p.at DESC, p.uid, p.seq DESC) "
        "   FILTER (WHERE p.kind = 'conflict'))[1] AS conflict "
        " FROM leverans.problems p WHERE p.van = r.van AND p.day = r.day) p "
        "WHERE r.day = $1::date",
        {pq::Param::Text(date)});
    std::vector<VanStatus> fleet;
    for (int row = 0; row < rows.Rows(); ++row) {
        VanStatus status;
        status.van = rows.Text(row, 0);
        status.routeName = rows.Text(row, 1);
        status.shops = static_cast<int>(
            day::ParseRouteFile(rows.Bytes(row, 2), status.routeName).customers.size());
        status.savedShops = static_cast<int>(rows.Int(row, 3));
        status.lastSave = Moment(rows, row, 4);
        status.lastHeard = Moment(rows, row, 5);
        status.refusedSaves = static_cast<int>(rows.Int(row, 6));
        if (!rows.IsNull(row, 7)) status.refusalReason = rows.Text(row, 7);
        status.refusedAt = Moment(rows, row, 8);
        status.conflicts = static_cast<int>(rows.Int(row, 9));
        if (!rows.IsNull(row, 10)) status.conflictReason = rows.Text(row, 10);
        fleet.push_back(std::move(status));
    }
    std::sort(fleet.begin(), fleet.end(),
              [](const VanStatus& a, const VanStatus& b) { return VanBefore(a.van, b.van); });
    return fleet;
}

std::string StatusText(const std::vector<VanStatus>& fleet, const std::string& date) {
    if (fleet.empty()) return "Inga rutter är publicerade för " + date + ".\n";
    std::string text;
    for (const VanStatus& van : fleet) {
        text += "Bil " + van.van + " (" + van.routeName + "): ";
        if (van.lastSave)
            text += "sparade " + std::to_string(van.savedShops) + " av " + Shops(van.shops) +
                    ", senast sparad " + LocalMinute(*van.lastSave);
        else
            text += "ej påbörjad (" + Shops(van.shops) + ")";
        text += van.lastHeard ? ", senast hörd " + LocalMinute(*van.lastHeard) : ", aldrig hörd";
        if (van.refusedSaves > 0) {
            text += "; " + std::to_string(van.refusedSaves) +
                    (van.refusedSaves == 1 ? " sparning vägrad" : " sparningar vägrade");
            if (van.refusedAt) text += " (senast " + LocalMinute(*van.refusedAt) + ")";
            text += ": " + OneLine(van.refusalReason);
        }
        if (van.conflicts > 0)
            text += "; " + std::to_string(van.conflicts) +
                    (van.conflicts == 1 ? " konflikt" : " konflikter") + ": " +
                    OneLine(van.conflictReason);
        text += '\n';
    }
    return text;
}

std::string FleetReport(pq::Connection& conn, const std::string& date) {
    struct RouteDay {
        route::RouteSheet sheet;
        std::map<int, std::map<int, int>> lev;  // shop -> article -> Lev, shops saved
    };
    // Each van's routes of the day, in the order published.
    std::map<std::string, std::vector<std::pair<std::string, RouteDay>>> vans;
    const pq::Result routes = conn.Exec(
        "SELECT van, fingerprint, name, bytes FROM leverans.route_versions WHERE day = $1::date "
        "ORDER BY van, published_at, fingerprint",
        {pq::Param::Text(date)});
    for (int row = 0; row < routes.Rows(); ++row) {
        RouteDay route;
        route.sheet = day::ParseRouteFile(routes.Bytes(row, 3), routes.Text(row, 2));
        vans[routes.Text(row, 0)].emplace_back(routes.Text(row, 1), std::move(route));
    }

    // Each shop's latest save in any journal, with its deliveries (none for
    // a save of nothing).
    const pq::Result saved = conn.Exec(
        "SELECT l.van, l.fingerprint, l.shop, d.article, d.lev "
        "FROM (SELECT DISTINCT ON (s.van, s.fingerprint, s.shop) "
        "      s.van, s.day, s.fingerprint, s.shop, s.uid, s.seq "
        "      FROM leverans.saves s WHERE s.day = $1::date "
        "      ORDER BY s.van, s.fingerprint, s.shop, s.saved_at DESC, s.received_at DESC, "
        "      s.uid DESC, s.seq DESC) l "
        "LEFT JOIN leverans.deliveries d "
        "ON d.van = l.van AND d.day = l.day AND d.uid = l.uid AND d.seq = l.seq",
        {pq::Param::Text(date)});
    for (int row = 0; row < saved.Rows(); ++row) {
        const auto van = vans.find(saved.Text(row, 0));
        if (van == vans.end()) continue;  // a save always has its route; the key makes sure
        const std::string fingerprint = saved.Text(row, 1);
        const auto route =
            std::find_if(van->second.begin(), van->second.end(),
                         [&fingerprint](const auto& each) { return each.first == fingerprint; });
        if (route == van->second.end()) continue;  // the check on saves makes sure
        auto& shop = route->second.lev[static_cast<int>(saved.Int(row, 2))];
        if (!saved.IsNull(row, 3))
            shop[static_cast<int>(saved.Int(row, 3))] = static_cast<int>(saved.Int(row, 4));
    }

    std::vector<const std::string*> order;
    order.reserve(vans.size());
    for (const auto& [van, unused] : vans) order.push_back(&van);
    std::sort(order.begin(), order.end(),
              [](const std::string* a, const std::string* b) { return VanBefore(*a, *b); });

    std::string out = "\xEF\xBB\xBF";
    out += "Datum;Bil;Butik nr;Butik;Artikel;Beställt;Levererat";
    out += kLineEnd;
    for (const std::string* van : order) {
        for (const auto& [fingerprint, routeDay] : vans.at(*van)) {
            const route::RouteSheet& sheet = routeDay.sheet;
            for (const auto& [shop, levs] : routeDay.lev) {
                if (shop < 1 || static_cast<std::size_t>(shop) > sheet.customers.size()) continue;
                const auto k = static_cast<std::size_t>(shop - 1);
                for (std::size_t a = 0; a < sheet.articles.size(); ++a) {
                    const int ordered = sheet.orders[a][k];
                    const auto found = levs.find(static_cast<int>(a) + 1);
                    const int delivered = found == levs.end() ? 0 : found->second;
                    if (ordered == 0 && delivered == 0) continue;
                    out += date;
                    out += kSeparator;
                    out += day::InertCsvField(*van, kSeparator);
                    out += kSeparator;
                    out += std::to_string(shop);
                    out += kSeparator;
                    out += day::InertCsvField(sheet.customers[k], kSeparator);
                    out += kSeparator;
                    out += day::InertCsvField(sheet.articles[a], kSeparator);
                    out += kSeparator;
                    out += std::to_string(ordered);
                    out += kSeparator;
                    out += std::to_string(delivered);
                    out += kLineEnd;
                }
            }
        }
    }
    return out;
}

std::string LocalMinute(std::time_t moment) {
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) return "?";
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    return text.data();
}

}  // namespace office
