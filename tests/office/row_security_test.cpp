// Row-level security: a van's role sees and adds only its own rows and
// changes nothing; the office and its members see and do everything.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "office/fleet.h"
#include "office/van.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

class RowSecurity : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        MakeFleet();
        office::pq::Connection van3 = As("bil3");
        office::SendSave(van3, Save("3", 1, 1, {10, 0, -1}));
        office::SendSave(van3, Save("3", 2, 2, {6, 25, 0}));
        office::RecordHeard(van3, "3");
        office::RecordHeard(van3, "3");
        office::FetchRoute(van3, "3", kDate);
        office::RecordProblem(van3, Problem("3"));
        office::pq::Connection van4 = As("bil4");
        office::SendSave(van4, Save("4", 1, 1, {12, 0, 2}));
        office::RecordHeard(van4, "4");
        office::FetchRoute(van4, "4", kDate);
        office::RecordProblem(van4, Problem("4"));
    }

    static office::SaveProblem Problem(const std::string& van) {
        return {office::ProblemKind::Refused, van, kDate, kUid, 3, std::nullopt, "vägrad"};
    }

    // Every row of every table, as the office sees it.
    std::string Everything() const {
        return Value(
            "kontor",
            "SELECT (SELECT string_agg(v::text, ',' ORDER BY v::text) "
            "  FROM leverans.vans v) || '|' || "
            "(SELECT string_agg(r.van || r.day || r.name || md5(r.bytes) || r.fingerprint, "
            "  ',' ORDER BY r.van) FROM leverans.routes r) || '|' || "
            "(SELECT string_agg(s::text, ',' ORDER BY s::text) FROM leverans.saves s) "
            "|| '|' || (SELECT string_agg(d::text, ',' ORDER BY d::text) "
            "  FROM leverans.deliveries d) || '|' || "
            "(SELECT string_agg(h::text, ',' ORDER BY h::text) FROM leverans.heard h) "
            "|| '|' || (SELECT string_agg(x::text, ',') FROM leverans.schema_version x) || '|' || "
            "(SELECT string_agg(p::text, ',' ORDER BY p::text) FROM leverans.problems p) || '|' "
            "|| (SELECT string_agg(f::text, ',' ORDER BY f::text) FROM leverans.fetches f) || "
            "'|' || (SELECT string_agg(v.van || v.name, ',' ORDER BY v.van) "
            "  FROM leverans.route_versions v)");
    }
};

TEST_F(RowSecurity, EachRoleSeesItsOwnRowsAndTheOfficeSeesAll) {
    struct Read {
        const char* sql;
        const char* van4;      // bil4: van 4, with a route, a save and a contact
        const char* van10;     // bil10: a van with no route
        const char* stranger;  // utomstaende: a role that is no van
        const char* office;    // kontor and kontorist alike
    };
    const std::vector<Read> reads{
        {"SELECT count(*) FROM leverans.vans", "1", "1", "0", "3"},
        {"SELECT count(*) FROM leverans.routes", "1", "0", "0", "2"},
        {"SELECT count(*) FROM leverans.routes WHERE van = '3'", "0", "0", "0", "1"},
        {"SELECT count(*) FROM leverans.saves", "1", "0", "0", "3"},
        {"SELECT count(*) FROM leverans.saves WHERE van = '3'", "0", "0", "0", "2"},
        {"SELECT count(*) FROM leverans.deliveries", "3", "0", "0", "9"},
        {"SELECT count(*) FROM leverans.heard", "1", "0", "0", "2"},
        {"SELECT count(*) FROM leverans.route_versions", "1", "0", "0", "2"},
        {"SELECT count(*) FROM leverans.fetches", "1", "0", "0", "2"},
        {"SELECT count(*) FROM leverans.problems", "1", "0", "0", "2"},
        {"SELECT version FROM leverans.schema_version", "6", "6", "6", "6"},
    };
    for (const Read& read : reads) {
        SCOPED_TRACE(read.sql);
        EXPECT_EQ(Value("bil4", read.sql), read.van4);
        EXPECT_EQ(Value("bil10", read.sql), read.van10);
        EXPECT_EQ(Value("utomstaende", read.sql), read.stranger);
        EXPECT_EQ(Value("kontor", read.sql), read.office);
        EXPECT_EQ(Value("kontorist", read.sql), read.office);
    }
}

TEST_F(RowSecurity, AVanCannotAddToAnotherVansDayNorChangeAnything) {
    struct Attempt {
        const char* what;
        const char* sql;
    };
    const std::vector<Attempt> refused{
        // Into van 3's day, with a fingerprint van 4 cannot know either way.
        {"a save into another van's day",
         "INSERT INTO leverans.saves(van, day, seq, uid, fingerprint, shop, saved_at) VALUES "
         "('3', '2026-12-07', 3, '0123456789abcdef0123456789abcdef', repeat('a', 64), 3, now())"},
        {"a delivery into another van's save",
         "INSERT INTO leverans.deliveries VALUES ('3', '2026-12-07', 1, 7, 5)"},
        {"contact for another van", "INSERT INTO leverans.heard(van) VALUES ('3')"},
        {"a fetch for another van",
         "INSERT INTO leverans.fetches(van, day, fingerprint) "
         "SELECT '3', day, fingerprint FROM leverans.routes"},
        {"a problem for another van",
         "INSERT INTO leverans.problems(van, day, uid, seq, kind, reason) "
         "VALUES ('3', '2026-12-07', 'x', 1, 'refused', 'x')"},
        // What only the office adds, and the office's own clock.
        {"a route",
         "INSERT INTO leverans.routes(van, day, name, bytes, fingerprint) VALUES "
         "('4', '2026-12-08', 'x.csv', '\\x00', repeat('a', 64))"},
        {"a van", "INSERT INTO leverans.vans VALUES ('5', 'bil4')"},
        {"a save's time of arrival",
         "INSERT INTO leverans.saves(van, day, seq, uid, fingerprint, shop, saved_at, received_at) "
         "SELECT van, day, 2, uid, fingerprint, 2, now(), now() FROM leverans.saves"},
        {"a time of contact", "INSERT INTO leverans.heard(van, at) VALUES ('4', now())"},
        {"a problem's time", "UPDATE leverans.problems SET at = now() - interval '1 hour'"},
        // Changes, even of its own rows.
        {"saves changed", "UPDATE leverans.saves SET shop = 2"},
        {"saves removed", "DELETE FROM leverans.saves"},
        {"deliveries changed", "UPDATE leverans.deliveries SET lev = 0"},
        {"deliveries removed", "DELETE FROM leverans.deliveries"},
        {"routes changed", "UPDATE leverans.routes SET name = 'x.csv'"},
        {"routes removed", "DELETE FROM leverans.routes"},
        {"vans changed", "UPDATE leverans.vans SET role = 'bil3'"},
        {"vans removed", "DELETE FROM leverans.vans"},
        {"contacts moved back", "UPDATE leverans.heard SET at = now() - interval '1 hour'"},
        {"contacts removed", "DELETE FROM leverans.heard"},
        {"the version changed", "UPDATE leverans.schema_version SET version = 4"},
        {"the version removed", "DELETE FROM leverans.schema_version"},
        {"saves emptied", "TRUNCATE leverans.saves"},
    };
    const std::string before = Everything();
    office::pq::Connection van = As("bil4");
    for (const Attempt& attempt : refused) {
        SCOPED_TRACE(attempt.what);
        const auto error = Thrown<office::Refused>([&van, &attempt] { van.Exec(attempt.sql); });
        EXPECT_EQ(error.sqlstate(), "42501") << error.detail();
    }
    EXPECT_EQ(Everything(), before);
}

TEST_F(RowSecurity, TheVansCallsReachOnlyItsOwnDay) {
    office::pq::Connection van = As("bil4");
    EXPECT_FALSE(office::FetchRoute(van, "3", kDate).has_value());
    EXPECT_TRUE(office::FetchRoute(van, "4", kDate).has_value());
    EXPECT_EQ(office::OfficeSaveCount(van, "3", kDate, kUid), 0);
    EXPECT_EQ(office::OfficeSaveCount(van, "4", kDate, kUid), 1);

    const std::string before = Everything();
    const auto save = Thrown<office::Refused>([&van] {
        office::SendSave(van, Save("3", 3, 3, {1, 1, 1}));
    });
    EXPECT_EQ(save.sqlstate(), "42501");
    const auto heard = Thrown<office::Refused>([&van] { office::RecordHeard(van, "3"); });
    EXPECT_EQ(heard.sqlstate(), "42501");
    const auto problem =
        Thrown<office::Refused>([&van] { office::RecordProblem(van, Problem("3")); });
    EXPECT_EQ(problem.sqlstate(), "42501");
    office::ClearProblems(van, "3", kDate, kUid, office::ProblemKind::Refused);
    EXPECT_EQ(Everything(), before);
}

// A role that may create in a schema on its search_path brings its own "="
// for names, one that finds the role's own schema where is_office() asks.
TEST_F(RowSecurity, AVansOwnOperatorsDoNotReachThePolicies) {
    cluster->Superuser(database).Execute("CREATE SCHEMA egen AUTHORIZATION bil3");
    office::pq::Connection van = As("bil3");
    van.Execute(
        "CREATE FUNCTION egen.eq(name, name) RETURNS boolean LANGUAGE sql AS "
        "'SELECT $1::text = replace($2::text, ''leverans'', ''egen'')'; "
        "CREATE OPERATOR egen.= (LEFTARG = name, RIGHTARG = name, FUNCTION = egen.eq); "
        "SET search_path = egen, pg_catalog");
    ASSERT_EQ(van.Exec("SELECT 'egen'::name = 'leverans'").Text(0, 0), "t");
    EXPECT_EQ(van.Exec("SELECT count(*) FROM leverans.routes").Text(0, 0), "1");
    const auto save = [&van] { office::SendSave(van, Save("4", 2, 2, {1, 1, 1})); };
    EXPECT_EQ(Thrown<office::Refused>(save).sqlstate(), "42501");
}

// Held by another role, a van's day lock would keep its saves and its
// publishing waiting; whoever holds it, a wait for it ends.
TEST_F(RowSecurity, AVansDayLockIsTheOfficesAndTheVansAndNotWaitedForLong) {
    const std::tuple<const char*, const char*, const char*> calls[]{
        {"bil4", "'4'", ""},
        {"kontorist", "'4'", ""},
        {"bil3", "'4'", "42501"},
        {"bil3", "NULL", "42501"},
        {"utomstaende", "'4'", "42501"}};
    for (const auto& [role, van, expected] : calls) {
        std::string sqlstate;
        try {
            As(role).Exec(
                ("SELECT leverans.lock_day(" + std::string(van) + ", now()::date)").c_str());
        } catch (const office::Refused& e) {
            sqlstate = e.sqlstate();
        }
        EXPECT_EQ(sqlstate, expected) << role << " " << van;
    }
    office::pq::Connection office = Office();
    // Should the save wait on, this lets it through rather than hang the test.
    office.Execute("SET idle_in_transaction_session_timeout = '20s'; BEGIN");
    office.Exec("SELECT leverans.lock_day('4', $1::date)", {office::pq::Param::Text(kDate)});
    office::pq::Connection van = As("bil4");
    const auto save = [&van] { office::SendSave(van, Save("4", 2, 2, {1, 1, 1})); };
    EXPECT_EQ(Thrown<office::Unreachable>(save).sqlstate(), "55P03");
}

TEST_F(RowSecurity, TheOfficesMembersMayChangeEverything) {
    office::pq::Connection member = As("kontorist");
    EXPECT_EQ(member.Exec("UPDATE leverans.saves SET shop = shop").Affected(), 3);
    EXPECT_EQ(member.Exec("DELETE FROM leverans.problems").Affected(), 2);
    EXPECT_EQ(member.Exec("DELETE FROM leverans.heard").Affected(), 2);
    EXPECT_EQ(office::FleetStatus(member, kDate).size(), 2U);
}

}  // namespace
}  // namespace office_testing
