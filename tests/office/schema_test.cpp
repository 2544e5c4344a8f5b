// The office's schema: created on an empty database, upgraded with the data
// kept, left alone when current, and refused when newer than the program.

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "day/fingerprint.h"
#include "office/fleet.h"
#include "office/schema.h"
#include "office/van.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

using Schema = OfficeTest;

// Everything in the schema by name, kind and identity, its policies, and
// the version row with the transaction that last wrote it: equal only when
// nothing was made, remade or written.
constexpr const char* kCatalog =
    "SELECT (SELECT string_agg(c.relname || ':' || c.relkind::text || ':' || c.oid::text, ',' "
    "  ORDER BY c.relname) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
    "  WHERE n.nspname = 'leverans') || '|' || "
    "(SELECT string_agg(p.polname || '@' || p.polrelid::regclass::text, ',' ORDER BY 1) "
    "  FROM pg_policy p) || '|' || "
    "(SELECT string_agg(p.proname || ':' || p.oid::text, ',' ORDER BY 1) FROM pg_proc p "
    "  JOIN pg_namespace n ON n.oid = p.pronamespace WHERE n.nspname = 'leverans') || '|' || "
    "(SELECT string_agg(v.version::text || '@' || v.xmin::text, ',') FROM leverans.schema_version "
    "v)";

TEST_F(Schema, AnEmptyDatabaseGetsTheLatestVersionAndASecondRunChangesNothing) {
    office::pq::Connection office = Office();
    EXPECT_EQ(office::StoredSchemaVersion(office), 0);
    const office::SchemaChange made = office::CreateSchema(office);
    EXPECT_EQ(made.from, 0);
    EXPECT_EQ(made.to, office::kSchemaVersion);
    EXPECT_EQ(office::StoredSchemaVersion(office), office::kSchemaVersion);
    EXPECT_EQ(Value("kontor", "SELECT to_regclass('leverans.heard') IS NOT NULL"), "t");
    // Every table has row-level security, forced on the owner too.
    EXPECT_EQ(Value("kontor",
                    "SELECT string_agg(c.relname, ',' ORDER BY c.relname) FROM pg_class c "
                    "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = 'leverans' "
                    "AND c.relkind = 'r' AND NOT (c.relrowsecurity AND c.relforcerowsecurity)"),
              "NULL");

    const std::string before = Value("kontor", kCatalog);
    const office::SchemaChange again = office::CreateSchema(office);
    EXPECT_EQ(again.from, office::kSchemaVersion);
    EXPECT_EQ(again.to, office::kSchemaVersion);
    EXPECT_EQ(Value("kontor", kCatalog), before);
}

// A function run with its caller's search_path takes the caller's
// operators; one that every role may run is open to the vans too.
TEST_F(Schema, EveryFunctionHasItsOwnPathAndOnlyThoseThePoliciesCallArePublic) {
    office::pq::Connection office = Office();
    office::CreateSchema(office);
    EXPECT_EQ(
        Value("kontor",
              "SELECT string_agg(p.proname, ',' ORDER BY p.proname) FROM pg_proc p "
              "JOIN pg_namespace n ON n.oid = p.pronamespace WHERE n.nspname = 'leverans' "
              "AND NOT coalesce('search_path=pg_catalog, pg_temp' = ANY(p.proconfig), false)"),
        "NULL");
    EXPECT_EQ(Value("kontor",
                    "SELECT string_agg(p.proname, ',' ORDER BY p.proname) FROM pg_proc p "
                    "JOIN pg_namespace n ON n.oid = p.pronamespace WHERE n.nspname = 'leverans' "
                    "AND has_function_privilege('utomstaende', p.oid, 'EXECUTE')"),
              "is_office,lock_day,own_van");
}

TEST_F(Schema, AnEarlierDatabaseWithDataIsUpgradedAndKeepsIt) {
    // Rows as versions 1 to 3 held them: one journal's day, a contact per row.
    office::pq::Connection office = Office();
    EXPECT_EQ(office::CreateSchema(office, 1).to, 1);
    EXPECT_EQ(Value("kontor", "SELECT to_regclass('leverans.heard') IS NULL"), "t");
    office.Execute("INSERT INTO leverans.vans VALUES ('3', 'bil3'), ('4', 'bil4')");
    office.Exec(
        "INSERT INTO leverans.routes(van, day, name, bytes, fingerprint, published_at) "
        "VALUES ('3', '2026-12-07', 'tisdag.csv', $1, $2, '2026-12-06T18:00:00+01:00')",
        {office::pq::Param::Bytes(kTuesday), office::pq::Param::Text(day::Fingerprint(kTuesday))});
    office.Execute(
        "INSERT INTO leverans.saves(van, day, seq, uid, fingerprint, shop, saved_at) "
        "SELECT '3', '2026-12-07', seq, '0123456789abcdef0123456789abcdef', r.fingerprint, "
        "  seq, '2026-12-07T08:00:00+01:00'::timestamptz + seq * interval '5 minutes' "
        "FROM leverans.routes r, generate_series(1, 2) seq; "
        "INSERT INTO leverans.deliveries VALUES ('3', '2026-12-07', 1, 1, 10), "
        "  ('3', '2026-12-07', 1, 2, 0), ('3', '2026-12-07', 1, 3, -1), "
        "  ('3', '2026-12-07', 2, 1, 6);");
    EXPECT_EQ(office::CreateSchema(office, 3).to, 3);
    office.Execute(
        "INSERT INTO leverans.heard VALUES ('3', '2026-12-07T09:00:00+01:00'), "
        "  ('3', '2026-12-07T07:00:00+01:00'), ('3', '2026-12-07T09:00:00+01:00'), "
        "  ('4', '2026-12-06T07:00:00+01:00'), ('4', '2026-12-07T06:00:00+01:00')");
    constexpr const char* kData =
        "SELECT (SELECT string_agg(van || '=' || role, ',' ORDER BY van) FROM leverans.vans) || "
        "'|' || (SELECT string_agg(van || ' ' || day || ' ' || name || ' ' || md5(bytes), ',') "
        "  FROM leverans.routes) || '|' || "
        "(SELECT string_agg(seq || ':' || shop || ':' || saved_at::text, ',' ORDER BY seq) "
        "  FROM leverans.saves) || '|' || "
        "(SELECT string_agg(seq || '/' || article || '=' || lev, ',' ORDER BY seq, article) "
        "  FROM leverans.deliveries)";
    const std::string data = Value("kontor", kData);
    EXPECT_NE(data, "NULL");

    const office::SchemaChange upgrade = office::CreateSchema(office);
    EXPECT_EQ(upgrade.from, 3);
    EXPECT_EQ(upgrade.to, office::kSchemaVersion);
    EXPECT_EQ(Value("kontor", kData), data);
    // Each van's latest contact once, deliveries under their journal, the route a version.
    EXPECT_EQ(
        Value("kontor",
              "SELECT (SELECT string_agg(van || to_char(at AT TIME ZONE 'UTC', ' DD HH24:MI'),"
              "  ',' ORDER BY van) FROM leverans.heard) || '|' || (SELECT string_agg("
              "  DISTINCT uid, ',') FROM leverans.deliveries) || '|' || (SELECT string_agg("
              "  v.name || (r.published_at = v.published_at), ',') FROM "
              "  leverans.route_versions v JOIN leverans.routes r USING (van, day, fingerprint))"),
        "3 07 08:00,4 07 05:00|0123456789abcdef0123456789abcdef|tisdag.csvtrue");

    // The van's calls work on the upgraded day as on a new one: its journal
    // goes on, another journal begins, and contact stays one row.
    office::pq::Connection van = As("bil3");
    EXPECT_EQ(office::OfficeSaveCount(van, "3", kDate, kUid), 2);
    EXPECT_EQ(office::OfficeSaves(van, "3", kDate, kUid).at(0).lev,
              (std::vector<int16_t>{10, 0, -1}));
    EXPECT_TRUE(office::SendSave(van, Save("3", 3, 3, {1, 2, 3})));
    office::SaveToSend other = Save("3", 1, 1, {4, 4, 4});
    other.uid = kOtherUid;
    EXPECT_TRUE(office::SendSave(van, other));
    office::RecordHeard(van, "3");
    EXPECT_EQ(Value("bil3", "SELECT count(*) FROM leverans.heard"), "1");
}

TEST_F(Schema, ANewerVersionIsRefusedAndNothingIsChanged) {
    office::pq::Connection office = Office();
    office::CreateSchema(office, 1);
    office.Exec("UPDATE leverans.schema_version SET version = $1",
                {office::pq::Param::Int(office::kSchemaVersion + 1)});
    const std::string before = Value("kontor", kCatalog);

    const auto refused = Thrown<office::SchemaError>([&office] { office::CreateSchema(office); });
    EXPECT_NE(std::string(refused.what()).find("skapad av en nyare version av Leverans"),
              std::string::npos)
        << refused.what();
    EXPECT_EQ(Value("kontor", kCatalog), before);
    EXPECT_EQ(Value("kontor", "SELECT to_regclass('leverans.heard') IS NULL"), "t");
}

TEST_F(Schema, TwoCreationsAtOnceBothEndOnTheLatestVersion) {
    std::string failures;
    std::vector<std::thread> runs;
    runs.reserve(2);
    std::mutex lock;
    for (int i = 0; i < 2; ++i) {
        runs.emplace_back([this, &failures, &lock] {
            try {
                office::pq::Connection office = Office();
                office::CreateSchema(office);
            } catch (const std::exception& e) {
                const std::lock_guard<std::mutex> hold(lock);
                failures += e.what();
            }
        });
    }
    for (std::thread& run : runs) run.join();
    EXPECT_EQ(failures, "");
    EXPECT_EQ(Value("kontor", "SELECT version FROM leverans.schema_version"),
              std::to_string(office::kSchemaVersion));
}

}  // namespace
}  // namespace office_testing
