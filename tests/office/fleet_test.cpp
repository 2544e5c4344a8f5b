// The office's own calls: vans mapped to roles, routes published, and the
// order vans are listed in.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "day/fingerprint.h"
#include "office/fleet.h"
#include "office/van_day.h"
#include "office/van_order.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

TEST(VanOrder, NumbersCountAsNumbers) {
    struct Case {
        const char* a;
        const char* b;
        bool before;
    };
    const Case cases[] = {
        {"2", "10", true},
        {"10", "2", false},
        {"bil 9", "bil 10", true},
        {"bil 10", "bil 9", false},
        {"3", "3", false},
        {"2", "2a", true},
        {"2a", "2", false},
        {"x2y", "x10", true},
        {"A", "B", true},
        {"B", "a", true},
        {"", "1", true},
        {"1", "", false},
        {"01", "1", true},
        {"1", "01", false},
        {"99999999999999999999", "100000000000000000000", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(office::VanBefore(c.a, c.b), c.before) << c.a << " before " << c.b;

    std::vector<std::string> vans{"10", "2", "bil 10", "1", "20", "bil 9", "3"};
    std::sort(vans.begin(), vans.end(), office::VanBefore);
    EXPECT_EQ(vans, (std::vector<std::string>{"1", "2", "3", "10", "20", "bil 9", "bil 10"}));
}

class Fleet : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        MakeFleet();
    }
    std::string Vans() const {
        return Value("kontor",
                     "SELECT string_agg(van || '=' || role, ',' ORDER BY van) FROM leverans.vans");
    }
};

TEST_F(Fleet, AVanIsMappedToOneRoleThatMayBeAVan) {
    cluster->CreateRole("vangrupp");
    cluster->CreateRole("vanmedlem");
    cluster->GrantRole("vangrupp", "vanmedlem");
    office::pq::Connection office = Office();
    office.Exec("INSERT INTO leverans.vans VALUES ('6', 'vangrupp')");
    EXPECT_EQ(office::AddVan(office, "3", "bil3"), office::VanAdded::AlreadyThere);
    struct Case {
        std::string van;
        std::string role;
        std::string message;
    };
    const std::vector<Case> cases{
        {"5", "ingen_sadan",
         "rollen \"ingen_sadan\" finns inte på kontorets databasserver; skapa den först "
         "(createuser ingen_sadan)"},
        {"3", "utomstaende", "bil 3 är redan kopplad till rollen \"bil3\""},
        {"5", "bil3", "rollen \"bil3\" är redan bil 3"},
        {"5", "kontor", "rollen \"kontor\" hör till kontoret och kan inte vara en bil"},
        {"5", "kontorist", "rollen \"kontorist\" hör till kontoret och kan inte vara en bil"},
        {"5", "superbil",
         "rollen \"superbil\" går förbi radsäkerheten (superanvändare eller BYPASSRLS) och kan "
         "inte vara en bil"},
        {"5", "forbi",
         "rollen \"forbi\" går förbi radsäkerheten (superanvändare eller BYPASSRLS) och kan inte "
         "vara en bil"},
        {"5", "vangrupp", "rollen \"vangrupp\" har medlemmar (vanmedlem) och kan inte vara en bil"},
        {"5", "vanmedlem",
         "rollen \"vanmedlem\" är medlem i rollen \"vangrupp\" (bil 6) och kan inte vara en bil"},
        {"", "utomstaende", "bilens namn får inte vara tomt"},
        {"5\n6", "utomstaende",
         "bilens namn får inte innehålla styrtecken (som radbrytning eller tabb)"},
        {"5\xC2\x85", "utomstaende",
         "bilens namn får inte innehålla styrtecken (som radbrytning eller tabb)"},
        {std::string(101, 'x'), "utomstaende", "bilens namn får vara högst 100 tecken"},
        {"5", "", "rollen måste ha ett namn"},
    };
    const std::string before = Vans();
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.van + " " + refused.role);
        const auto error =
            Thrown<office::Refused>([&] { office::AddVan(office, refused.van, refused.role); });
        EXPECT_EQ(error.what(), refused.message);
    }
    EXPECT_EQ(Vans(), before);

    // A hundred characters, counted as characters.
    std::string longest;
    for (int i = 0; i < 100; ++i) longest += "ö";
    EXPECT_EQ(office::AddVan(office, longest, "utomstaende"), office::VanAdded::Added);
    // A van's role maps nothing.
    office::pq::Connection van = As("bil4");
    EXPECT_THROW(office::AddVan(van, "6", "bil10"), office::Refused);
}

// Save `seq` of van 3's journal `uid` at 08:MM, sent now.
bool Send(office::pq::Connection& van, office::SaveToSend save, const char* uid, int minute) {
    save.uid = uid;
    save.savedAt = "2026-12-07T08:" + std::string(minute < 10 ? "0" : "") + std::to_string(minute) +
                   ":00+01:00";
    return office::SendSave(van, save);
}

TEST_F(Fleet, TheReportTakesEachShopsLatestSaveInAnyJournalUnderItsRoute) {
    office::pq::Connection van = As("bil3");
    constexpr const char* kThirdUid = "00000000000000000000000000000003";
    // One journal: shop 1, shop 2, shop 2 corrected. Another: shop 1 later,
    // shop 2 before the correction, shop 4 at the same minute as the first
    // journal's shop 4, which the office receives after it.
    ASSERT_TRUE(Send(van, Save("3", 1, 1, {10, 0, -1}), kUid, 5));
    ASSERT_TRUE(Send(van, Save("3", 2, 2, {6, 25, 0}), kUid, 10));
    ASSERT_TRUE(Send(van, Save("3", 3, 2, {5, 26, 1}), kUid, 15));
    ASSERT_TRUE(Send(van, Save("3", 1, 1, {9, 0, 0}), kOtherUid, 7));
    ASSERT_TRUE(Send(van, Save("3", 2, 2, {1, 1, 1}), kOtherUid, 12));
    ASSERT_TRUE(Send(van, Save("3", 3, 4, {1, 1, 1}), kOtherUid, 20));
    ASSERT_TRUE(Send(van, Save("3", 4, 4, {4, 4, 4}), kUid, 20));
    office::pq::Connection office = Office();
    // The office's page of the van's day takes the same save of each shop.
    const std::optional<office::VanDay> day = office::VanDayDetail(office, "3", kDate);
    ASSERT_TRUE(day);
    std::string page;
    for (const office::ShopDay& shop : day->shops) {
        page += std::to_string(shop.number);
        page += ':';
        page += std::to_string(shop.saves);
        for (const office::ShopArticle& article : shop.articles) {
            page += ',';
            page += article.delivered ? std::to_string(*article.delivered) : "-";
        }
        page += ' ';
    }
    EXPECT_EQ(page, "1:2,9,0,0 2:3,5,26,1 3:0,-,-,- 4:2,4,4,4 ");
    // The same route again is no replacement. Replaced: the first journal
    // goes on with the old route, a new journal begins on the new one.
    EXPECT_FALSE(office::PublishRoute(office, "3", kDate, "tisdag.csv", kTuesday).replaced);
    office::PublishRoute(office, "3", kDate, "onsdag.csv", kWednesday, office::Replace::Anyway);
    ASSERT_TRUE(Send(van, Save("3", 5, 3, {1, 7, 3}), kUid, 30));
    office::SaveToSend wednesday = Save("3", 1, 1, {4, 3});
    wednesday.fingerprint = day::Fingerprint(kWednesday);
    ASSERT_TRUE(Send(van, wednesday, kThirdUid, 31));

    EXPECT_EQ(office::FleetReport(office, kDate),
              "\xEF\xBB\xBF"
              "Datum;Bil;Butik nr;Butik;Artikel;Beställt;Levererat\r\n"
              "2026-12-07;3;1;Maxi tur 1;108 Skivad J.F.;12;9\r\n"
              "2026-12-07;3;1;Maxi tur 1;120 Lyxfranska;2;0\r\n"
              "2026-12-07;3;2;ICA Butiken;108 Skivad J.F.;6;5\r\n"
              "2026-12-07;3;2;ICA Butiken;116 Jätterasker;30;26\r\n"
              "2026-12-07;3;2;ICA Butiken;120 Lyxfranska;0;1\r\n"
              "2026-12-07;3;3;Lokala Statoil;108 Skivad J.F.;1;1\r\n"
              "2026-12-07;3;3;Lokala Statoil;116 Jätterasker;7;7\r\n"
              "2026-12-07;3;3;Lokala Statoil;120 Lyxfranska;3;3\r\n"
              "2026-12-07;3;4;'=Maxi tur 2;108 Skivad J.F.;5;4\r\n"
              "2026-12-07;3;4;'=Maxi tur 2;116 Jätterasker;3;4\r\n"
              "2026-12-07;3;4;'=Maxi tur 2;120 Lyxfranska;0;4\r\n"
              "2026-12-07;3;1;Konsum;108 Skivad J.F.;4;4\r\n"
              "2026-12-07;3;1;Konsum;201 Limpa;3;3\r\n");
}

}  // namespace
}  // namespace office_testing
