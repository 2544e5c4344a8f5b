#include "tests/office/office_fixture.h"

#include <cstdio>

#include "day/fingerprint.h"
#include "office/fleet.h"
#include "office/schema.h"

namespace office_testing {

const std::string kTuesday =
    "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil;=Maxi tur 2\n"
    "108 Skivad J.F.;;12;6;1;5\n"
    "116 Jätterasker;40;0;30;7;3\n"
    "120 Lyxfranska;5;2;;3;0\n";

const std::string kWednesday =
    "Artikel;Lager;Konsum;Coop\n"
    "108 Skivad J.F.;;4;2\n"
    "201 Limpa;10;3;5\n";

namespace {

// Roles are the cluster's, shared by every test of the program.
void EnsureRoles(Cluster& cluster) {
    static Cluster* done = nullptr;
    if (done == &cluster) return;
    for (const char* role :
         {"kontor", "kontorist", "bil3", "bil4", "bil10", "needs_password", "utomstaende"})
        cluster.CreateRole(role);
    cluster.CreateRole("ingen_inloggning", RoleKind::NoLogin);
    cluster.CreateRole("superbil", RoleKind::Superuser);
    cluster.CreateRole("forbi", RoleKind::BypassRls);
    cluster.GrantRole("kontor", "kontorist");
    done = &cluster;
}

}  // namespace

void OfficeTest::SetUp() {
    cluster = &SharedCluster();
    EnsureRoles(*cluster);
    database = cluster->FreshDatabase("kontor");
}

void OfficeTest::MakeFleet() {
    office::pq::Connection office = Office();
    office::CreateSchema(office);
    office::AddVan(office, "3", "bil3");
    office::AddVan(office, "4", "bil4");
    office::AddVan(office, "10", "bil10");
    office::PublishRoute(office, "3", kDate, "tisdag.csv", kTuesday);
    office::PublishRoute(office, "4", kDate, "tisdag.csv", kTuesday);
}

office::SaveToSend OfficeTest::Save(const std::string& van, int seq, int shop,
                                    std::vector<int16_t> lev) {
    office::SaveToSend save;
    save.van = van;
    save.date = kDate;
    save.uid = kUid;
    save.fingerprint = day::Fingerprint(kTuesday);
    save.seq = seq;
    save.shop = shop;
    char savedAt[40];
    std::snprintf(savedAt, sizeof savedAt, "2026-12-07T08:%02d:00+01:00", (seq * 5) % 60);
    save.savedAt = savedAt;
    save.lev = std::move(lev);
    return save;
}

std::string OfficeTest::Value(const std::string& role, const char* sql) const {
    office::pq::Connection conn = As(role);
    const office::pq::Result result = conn.Exec(sql);
    if (result.Rows() != 1)
        return std::string("<").append(std::to_string(result.Rows())) + " rows>";
    return result.IsNull(0, 0) ? "NULL" : result.Text(0, 0);
}

}  // namespace office_testing
