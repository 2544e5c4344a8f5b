#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "office/pq.h"
#include "office/van.h"
#include "tests/office/cluster.h"

namespace office_testing {

// Two small routes: three articles, four shops; and one of two shops.
extern const std::string kTuesday;
extern const std::string kWednesday;
inline constexpr const char* kDate = "2026-12-07";

// One journal's day id, and another's.
inline constexpr const char* kUid = "0123456789abcdef0123456789abcdef";
inline constexpr const char* kOtherUid = "fedcba9876543210fedcba9876543210";

// A test on its own database in the program's cluster, owned by the office
// role "kontor". Roles there for every test: kontor; kontorist, a member of
// kontor; bil3, bil4, bil10 (vans to be); ingen_inloggning (NOLOGIN);
// needs_password (must give a password); utomstaende (neither office nor
// van); superbil (superuser); forbi (BYPASSRLS).
class OfficeTest : public ::testing::Test {
protected:
    void SetUp() override;

    std::string Conninfo(const std::string& role) const {
        return cluster->ConnectionString(role, database);
    }
    office::pq::Connection As(const std::string& role) const {
        return office::pq::Connection::Open(Conninfo(role));
    }
    office::pq::Connection Office() const { return As("kontor"); }

    // The schema, vans 3, 4 and 10 mapped to bil3, bil4 and bil10, and
    // kTuesday published for vans 3 and 4 on kDate.
    void MakeFleet();

    // Save `seq` of van 3's day on kTuesday, of journal kUid.
    static office::SaveToSend Save(const std::string& van, int seq, int shop,
                                   std::vector<int16_t> lev);

    // A single value from SQL run as `role`.
    std::string Value(const std::string& role, const char* sql) const;

    Cluster* cluster = nullptr;
    std::string database;
};

// Runs `body` and gives the office error it throws, of type E; a failure
// when it throws nothing or something else.
template <typename E, typename Body>
E Thrown(Body&& body) {
    try {
        body();
    } catch (const E& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "another error: " << e.what();
        throw;
    }
    ADD_FAILURE() << "nothing thrown";
    throw std::logic_error("nothing thrown");
}

}  // namespace office_testing
