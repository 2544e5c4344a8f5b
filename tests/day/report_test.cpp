#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "day/csv.h"
#include "day/report.h"
#include "route/route.h"

namespace {

using route::RouteData;
using route::RouteSheet;

RouteData Started(const RouteSheet& sheet) {
    RouteData r;
    route::StartRoute(r, sheet);
    return r;
}

void Save(RouteData& r, int k, const std::vector<std::string>& texts) {
    ASSERT_FALSE(route::SaveKund(r, static_cast<int16_t>(k), texts).has_value()) << k;
}

const RouteSheet kSmall{{"108 Skivad J.F.", "Bröd; \"extra\""},
                        {"Maxi tur 1", "ICA\nButiken", "Lokala Statoil"},
                        {24, 10},
                        {{10, 8, 6}, {5, 3, 2}}};

TEST(WriteReport, OneLinePerArticleWithTheSavedShopsFilledIn) {
    RouteData r = Started(kSmall);
    const std::string header =
        "\xEF\xBB\xBF"
        "Artikel;Lastat;Levererat;Returer;Kvar;Maxi tur 1;\"ICA\nButiken\";Lokala Statoil\r\n";
    EXPECT_EQ(day::WriteReport(kSmall, r), header +
                                               "108 Skivad J.F.;24;0;0;24;;;\r\n"
                                               "\"Bröd; \"\"extra\"\"\";10;0;0;10;;;\r\n");
    Save(r, 1, {"10", "0"});
    Save(r, 2, {"-2", "5"});
    EXPECT_EQ(day::WriteReport(kSmall, r), header +
                                               "108 Skivad J.F.;24;10;2;16;10;-2;\r\n"
                                               "\"Bröd; \"\"extra\"\"\";10;5;0;5;0;5;\r\n");
    // Saving shop 2 again replaces what it had.
    Save(r, 2, {"3", ""});
    EXPECT_EQ(day::WriteReport(kSmall, r), header +
                                               "108 Skivad J.F.;24;13;0;11;10;3;\r\n"
                                               "\"Bröd; \"\"extra\"\"\";10;0;0;10;0;0;\r\n");
}

TEST(WriteReport, SumsGoBeyondSixteenBits) {
    const RouteSheet sheet{{"130 Rasker"}, {"A", "B", "C"}, {32767}, {{0, 0, 0}}};
    RouteData r = Started(sheet);
    Save(r, 1, {"30000"});
    Save(r, 2, {"-30000"});
    Save(r, 3, {"30000"});
    EXPECT_EQ(day::WriteReport(sheet, r),
              "\xEF\xBB\xBF"
              "Artikel;Lastat;Levererat;Returer;Kvar;A;B;C\r\n"
              "130 Rasker;32767;60000;30000;2767;30000;-30000;30000\r\n");
}

TEST(WriteReport, RefusesARouteStartedFromAnotherPlan) {
    const RouteData r = Started(kSmall);
    RouteSheet other = kSmall;
    other.articles.emplace_back("320 Leva");
    other.lager.push_back(1);
    other.orders.push_back({1, 0, 0});
    EXPECT_THROW(day::WriteReport(other, r), route::RouteError);
    other = kSmall;
    other.customers.pop_back();
    EXPECT_THROW(day::WriteReport(other, r), route::RouteError);
    EXPECT_THROW(day::WriteReport(kSmall, RouteData{}), route::RouteError);
}

// The report read back: BOM and CRLF checked and taken off, then the cells.
std::vector<std::vector<std::string>> ReadBack(const std::string& report) {
    EXPECT_TRUE(report.starts_with("\xEF\xBB\xBF"));
    EXPECT_TRUE(report.ends_with("\r\n"));
    std::vector<std::vector<std::string>> rows;
    std::string_view body = report;
    body.remove_prefix(3);
    for (const auto& record : day::ParseCsv(body, ';')) {
        auto& row = rows.emplace_back();
        for (const day::CsvCell& cell : record) row.push_back(cell.text);
    }
    return rows;
}

TEST(WriteReport, NamesComeBackThroughTheCsvReaderAsTheyWere) {
    const RouteSheet sheet{{"a;b", "\"q\"", "line\r\nbreak", " blank ", "åäö ÅÄÖ", "x,y\tz"},
                           {"Maxi; tur \"1\"", "ICA\rButiken"},
                           {1, 2, 3, 4, 5, 6},
                           {{1, 0}, {0, 2}, {3, 0}, {0, 4}, {5, 0}, {0, 6}}};
    RouteData r = Started(sheet);
    Save(r, 1, {"1", "0", "-1", "0", "5", "0"});
    const auto rows = ReadBack(day::WriteReport(sheet, r));
    ASSERT_EQ(rows.size(), 7U);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Artikel", "Lastat", "Levererat", "Returer",
                                                 "Kvar", sheet.customers[0], sheet.customers[1]}));
    for (std::size_t a = 0; a < sheet.articles.size(); ++a) {
        ASSERT_EQ(rows[a + 1].size(), 7U);
        EXPECT_EQ(rows[a + 1][0], sheet.articles[a]);
        EXPECT_EQ(rows[a + 1][6], "");
    }
    EXPECT_EQ(rows[3][2], "0");
    EXPECT_EQ(rows[3][3], "1");
    EXPECT_EQ(rows[3][4], "4");
    EXPECT_EQ(rows[3][5], "-1");
}

// A name from the route file goes into the report as text, never as a
// formula that a spreadsheet would run when the office opens it; the
// quantities stay numbers, negative ones too.
TEST(WriteReport, NamesThatLookLikeFormulasStayText) {
    const RouteSheet sheet{{"=1+1", "@SUMMA(A1)", "108 Skivad J.F."},
                           {"+46 Kaffe", "-Rabattlimpa", "\tTabb", "Maxi tur 1"},
                           {5, 5, 5},
                           {{1, 1, 1, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}}};
    RouteData r = Started(sheet);
    Save(r, 1, {"-3", "0", "2"});
    const auto rows = ReadBack(day::WriteReport(sheet, r));
    ASSERT_EQ(rows.size(), 4U);
    EXPECT_EQ(rows[0],
              (std::vector<std::string>{"Artikel", "Lastat", "Levererat", "Returer", "Kvar",
                                        "'+46 Kaffe", "'-Rabattlimpa", "'\tTabb", "Maxi tur 1"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"'=1+1", "5", "0", "3", "8", "-3", "", "", ""}));
    EXPECT_EQ(rows[2][0], "'@SUMMA(A1)");
    EXPECT_EQ(rows[3][0], "108 Skivad J.F.");
    EXPECT_EQ(rows[3][5], "2");
}

// What the report must say, kept apart from the route with wide integers.
struct Model {
    std::vector<long long> loaded;
    std::vector<std::vector<long long>> stored;  // [shop][article], for saved shops
    int saved = 0;
};

void ExpectReportMatches(const RouteSheet& sheet, const RouteData& r, const Model& m) {
    const auto rows = ReadBack(day::WriteReport(sheet, r));
    const std::size_t shops = sheet.customers.size();
    ASSERT_EQ(rows.size(), sheet.articles.size() + 1);
    for (std::size_t a = 0; a < sheet.articles.size(); ++a) {
        const auto& row = rows[a + 1];
        ASSERT_EQ(row.size(), shops + 5);
        long long delivered = 0;
        long long returned = 0;
        for (std::size_t k = 0; k < shops; ++k) {
            if (static_cast<int>(k) < m.saved) {
                const long long lev = m.stored[k][a];
                (lev >= 0 ? delivered : returned) += lev >= 0 ? lev : -lev;
                EXPECT_EQ(row[k + 5], std::to_string(lev));
            } else {
                EXPECT_EQ(row[k + 5], "");
            }
        }
        EXPECT_EQ(row[0], sheet.articles[a]);
        EXPECT_EQ(row[1], std::to_string(m.loaded[a]));
        EXPECT_EQ(row[2], std::to_string(delivered));
        EXPECT_EQ(row[3], std::to_string(returned));
        EXPECT_EQ(row[4], std::to_string(m.loaded[a] - delivered + returned));
    }
}

TEST(WriteReport, AgreesWithAModelAfterRandomSavesAndCorrections) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 gen(seed);
        auto draw = [&gen](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(gen);
        };
        RouteSheet sheet;
        const int articles = draw(1, 6);
        const int shops = draw(1, 5);
        for (int k = 1; k <= shops; ++k) sheet.customers.push_back("Butik " + std::to_string(k));
        for (int a = 1; a <= articles; ++a) {
            sheet.articles.push_back("Artikel " + std::to_string(a));
            std::vector<int16_t> orders;
            int sum = 0;
            for (int k = 1; k <= shops; ++k) {
                orders.push_back(static_cast<int16_t>(draw(0, 40)));
                sum += orders.back();
            }
            sheet.orders.push_back(orders);
            sheet.lager.push_back(static_cast<int16_t>(draw(0, 1) ? sum : draw(0, 32767)));
        }
        RouteData r = Started(sheet);
        Model m;
        m.loaded.assign(sheet.lager.begin(), sheet.lager.end());
        m.stored.assign(static_cast<std::size_t>(shops), {});
        ExpectReportMatches(sheet, r, m);

        for (int step = 0; step < 12; ++step) {
            // The next shop, or the last saved one again to correct it.
            const int first = std::max(1, m.saved);
            const int k = draw(first, std::min(shops, m.saved + 1));
            std::vector<std::string> texts;
            std::vector<long long> quantities;
            for (int a = 0; a < articles; ++a) {
                const int roll = draw(0, 9);
                const int q = roll == 0 ? draw(-32768, 32767) : draw(-20, 60);
                texts.push_back(std::to_string(q));
                quantities.push_back(q);
            }
            if (!route::SaveKund(r, static_cast<int16_t>(k), texts)) {
                m.stored[static_cast<std::size_t>(k - 1)] = quantities;
                m.saved = k;
            }
            ASSERT_EQ(r.nSparadKund, m.saved);
            ExpectReportMatches(sheet, r, m);
        }
    }
}

}  // namespace
