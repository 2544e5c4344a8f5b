// The office's schema: created on an empty database, upgraded with the data
// kept, left alone when current, and refused when newer than the program.

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

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

TEST_F(Schema, AVersionOneDatabaseWithDataIsUpgradedAndKeepsIt) {
    {
        office::pq::Connection office = Office();
        EXPECT_EQ(office::CreateSchema(office, 1).to, 1);
        EXPECT_EQ(Value("kontor", "SELECT to_regclass('leverans.heard') IS NULL"), "t");
        office::AddVan(office, "3", "bil3");
        office::PublishRoute(office, "3", kDate, "tisdag.csv", kTuesday);
        office::pq::Connection van = As("bil3");
        EXPECT_TRUE(office::SendSave(van, Save("3", 1, 1, {10, 0, -1})));
        EXPECT_TRUE(office::SendSave(van, Save("3", 2, 2, {6, 25, 0})));
    }
    constexpr const char* kData =
        "SELECT (SELECT string_agg(van || '=' || role, ',') FROM leverans.vans) || '|' || "
        "(SELECT string_agg(van || ' ' || day || ' ' || name || ' ' || md5(bytes), ',') "
        "  FROM leverans.routes) || '|' || "
        "(SELECT string_agg(seq || ':' || shop || ':' || saved_at::text, ',' ORDER BY seq) "
        "  FROM leverans.saves) || '|' || "
        "(SELECT string_agg(seq || '/' || article || '=' || lev, ',' ORDER BY seq, article) "
        "  FROM leverans.deliveries)";
    const std::string data = Value("kontor", kData);
    EXPECT_NE(data, "NULL");

    office::pq::Connection office = Office();
    const office::SchemaChange upgrade = office::CreateSchema(office);
    EXPECT_EQ(upgrade.from, 1);
    EXPECT_EQ(upgrade.to, office::kSchemaVersion);
    EXPECT_EQ(Value("kontor", kData), data);
    // The new table works for the van's role as for a new database.
    office::pq::Connection van = As("bil3");
    office::RecordHeard(van, "3");
    EXPECT_EQ(Value("bil3", "SELECT count(*) FROM leverans.heard"), "1");
    EXPECT_EQ(office::OfficeSaveCount(van, "3", kDate, kUid), 2);
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
