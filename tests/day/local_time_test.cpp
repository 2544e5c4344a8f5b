#include "day/local_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <regex>
#include <string>

namespace {

// Runs with the TZ given (POSIX rules, no time zone files needed) and puts
// the process's own back afterwards.
class LocalTime : public ::testing::Test {
protected:
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    void Zone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    std::optional<std::string> saved_ =
        std::getenv("TZ") ? std::optional<std::string>(std::getenv("TZ")) : std::nullopt;
};

constexpr const char* kSweden = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr std::time_t kDecember7 = 1796648580;  // 2026-12-07 13:03:00 UTC
constexpr std::time_t kJune15 = 1781528400;     // 2026-06-15 13:00:00 UTC

TEST_F(LocalTime, SwedishWinterAndSummerTime) {
    Zone(kSweden);
    EXPECT_EQ(day::LocalTimestamp(kDecember7), "2026-12-07T14:03:00+01:00");
    EXPECT_EQ(day::LocalTimestamp(kJune15), "2026-06-15T15:00:00+02:00");
}

TEST_F(LocalTime, OffsetsWestOfUtcAndInHalfHours) {
    Zone("EST5EDT,M3.2.0,M11.1.0");
    EXPECT_EQ(day::LocalTimestamp(kDecember7), "2026-12-07T08:03:00-05:00");
    Zone("IST-5:30");
    EXPECT_EQ(day::LocalTimestamp(kDecember7), "2026-12-07T18:33:00+05:30");
    Zone("UTC0");
    EXPECT_EQ(day::LocalTimestamp(kDecember7), "2026-12-07T13:03:00+00:00");
}

TEST_F(LocalTime, MidnightAtTheTurnOfTheYear) {
    Zone(kSweden);
    EXPECT_EQ(day::LocalTimestamp(1798758000), "2027-01-01T00:00:00+01:00");  // 23:00 UTC
}

TEST_F(LocalTime, NowHasTheSameForm) {
    Zone(kSweden);
    EXPECT_TRUE(std::regex_match(day::LocalTimestampNow(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")));
}

}  // namespace
