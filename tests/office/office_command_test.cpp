// "leverans kontor ...": the office's commands as a user runs them, against
// a real PostgreSQL, with the van's saves sent through the library.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "app/command_line.h"
#include "office/fleet.h"
#include "office/schema.h"
#include "office/van.h"
#include "tests/app/run_program.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

using testing_support::Finished;
using testing_support::RunLeverans;

// Central European time with its summer time, without the zone database.
constexpr const char* kZone = "CET-1CEST,M3.5.0,M10.5.0/3";

QString Q(const std::string& text) { return QString::fromStdString(text); }

class OfficeCommands : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        ASSERT_TRUE(folder.isValid());
        Write("tisdag.csv", kTuesday);
        Write("onsdag.csv", kWednesday);
    }

    // The program as `role`, connected with --kontor.
    Finished Kontor(QStringList arguments, const std::string& role = "kontor") {
        arguments.prepend(QStringLiteral("kontor"));
        arguments << QStringLiteral("--kontor") << Q(Conninfo(role));
        return RunWith(arguments);
    }
    Finished RunWith(const QStringList& arguments,
                     const QProcessEnvironment& extra = QProcessEnvironment()) {
        QProcessEnvironment environment = extra;
        environment.insert(QStringLiteral("TZ"), QString::fromLatin1(kZone));
        return RunLeverans(arguments, folder.path(), environment);
    }
    void Write(const QString& name, const std::string& bytes) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    }
    // Every row the office holds.
    std::string Everything() const {
        return Value("kontor",
                     "SELECT coalesce((SELECT string_agg(v::text, ',' ORDER BY v::text) "
                     "  FROM leverans.vans v), '') || '|' || "
                     "coalesce((SELECT string_agg(r.van || r.day || r.name || md5(r.bytes) || "
                     "  r.published_at, ',' ORDER BY r.van, r.day) FROM leverans.routes r), '') "
                     "|| '|' || coalesce((SELECT string_agg(s::text, ',' ORDER BY s::text) "
                     "  FROM leverans.saves s), '') || '|' || "
                     "coalesce((SELECT string_agg(d::text, ',' ORDER BY d::text) "
                     "  FROM leverans.deliveries d), '') || '|' || "
                     "coalesce((SELECT string_agg(x::text, ',') FROM leverans.schema_version x), "
                     "'')");
    }
    static void ExpectDone(const Finished& run, const QString& out) {
        EXPECT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.err, QString());
    }

    QTemporaryDir folder;
};

TEST_F(OfficeCommands, AFleetsDayFromCreationToReport) {
    ExpectDone(Kontor({"skapa"}), "Kontorets databas är skapad (schemaversion 6).\n");
    ExpectDone(Kontor({"bil", "3", "--roll", "bil3"}), "Bil 3 är kopplad till rollen \"bil3\".\n");
    for (const auto& [van, role] :
         {std::pair{"10", "bil10"}, std::pair{"4", "bil4"}, std::pair{"2", "utomstaende"}})
        ASSERT_EQ(Kontor({"bil", van, "--roll", role}).status, 0);
    ExpectDone(Kontor({"publicera", "3", kDate, "tisdag.csv"}),
               "Rutten tisdag.csv är publicerad för bil 3 den 2026-12-07 (4 butiker, 3 "
               "artiklar).\n");
    ASSERT_EQ(Kontor({"publicera", "10", kDate, "onsdag.csv"}).status, 0);
    ASSERT_EQ(Kontor({"publicera", "4", kDate, "tisdag.csv"}).status, 0);
    ASSERT_EQ(Kontor({"publicera", "2", kDate, folder.filePath("tisdag.csv")}).status, 0);

    {
        // Van 3: shop 1 with a return, shop 2 corrected, shop 3 passed over.
        office::pq::Connection van3 = As("bil3");
        for (const office::SaveToSend& save :
             {Save("3", 1, 1, {10, 0, -1}), Save("3", 2, 2, {6, 25, 0}),
              Save("3", 3, 2, {5, 26, 1}), Save("3", 4, 4, {5, 3, 0})})
            ASSERT_TRUE(office::SendSave(van3, save));
        office::RecordHeard(van3, "3");
        office::pq::Connection van4 = As("bil4");
        ASSERT_TRUE(office::SendSave(van4, Save("4", 1, 1, {12, 0, 2})));
        office::pq::Connection van10 = As("bil10");
        office::RecordHeard(van10, "10");
        // The office's clock, set to known times.
        office::pq::Connection office = Office();
        office.Exec("UPDATE leverans.saves SET received_at = saved_at + interval '1 minute'");
        office.Exec(
            "UPDATE leverans.heard SET at = CASE van WHEN '3' THEN "
            "'2026-12-07T09:00:00+01:00'::timestamptz ELSE '2026-12-07T07:30:00+01:00' END");
    }

    ExpectDone(Kontor({"status", kDate}),
               "Bil 2 (tisdag.csv): ej påbörjad (4 butiker), aldrig hörd\n"
               "Bil 3 (tisdag.csv): sparade 3 av 4 butiker, senast sparad 2026-12-07 08:20, "
               "senast hörd 2026-12-07 09:00\n"
               "Bil 4 (tisdag.csv): sparade 1 av 4 butiker, senast sparad 2026-12-07 08:05, "
               "senast hörd 2026-12-07 08:06\n"
               "Bil 10 (onsdag.csv): ej påbörjad (2 butiker), senast hörd 2026-12-07 07:30\n");
    // Without a date: today, local time.
    // Today where the program runs, in its time zone rather than the test's.
    ::setenv("TZ", kZone, 1);
    ::tzset();
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    const QString today = QString::fromLatin1(date);
    const Finished todays = Kontor({"status", today});
    ASSERT_EQ(todays.status, 0);
    ExpectDone(Kontor({"status"}), todays.out);
    ExpectDone(Kontor({"status", "2026-12-08"}), "Inga rutter är publicerade för 2026-12-08.\n");

    const QByteArray report =
        "\xEF\xBB\xBF"
        "Datum;Bil;Butik nr;Butik;Artikel;Beställt;Levererat\r\n"
        "2026-12-07;3;1;Maxi tur 1;108 Skivad J.F.;12;10\r\n"
        "2026-12-07;3;1;Maxi tur 1;120 Lyxfranska;2;-1\r\n"
        "2026-12-07;3;2;ICA Butiken;108 Skivad J.F.;6;5\r\n"
        "2026-12-07;3;2;ICA Butiken;116 Jätterasker;30;26\r\n"
        "2026-12-07;3;2;ICA Butiken;120 Lyxfranska;0;1\r\n"
        "2026-12-07;3;4;'=Maxi tur 2;108 Skivad J.F.;5;5\r\n"
        "2026-12-07;3;4;'=Maxi tur 2;116 Jätterasker;3;3\r\n"
        "2026-12-07;4;1;Maxi tur 1;108 Skivad J.F.;12;12\r\n"
        "2026-12-07;4;1;Maxi tur 1;120 Lyxfranska;2;2\r\n";
    const Finished out = Kontor({"rapport", kDate});
    EXPECT_EQ(out.status, 0) << out.err.toStdString();
    EXPECT_EQ(out.outBytes, report);
    const Finished file = Kontor({"rapport", kDate, "-o", "dag.csv"});
    ExpectDone(file, QString());
    QFile written(folder.filePath("dag.csv"));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), report);

    // A van's role reports on its own day only, and changes nothing.
    const Finished own = Kontor({"rapport", kDate}, "bil4");
    EXPECT_EQ(own.status, 0) << own.err.toStdString();
    EXPECT_EQ(own.outBytes,
              "\xEF\xBB\xBF"
              "Datum;Bil;Butik nr;Butik;Artikel;Beställt;Levererat\r\n"
              "2026-12-07;4;1;Maxi tur 1;108 Skivad J.F.;12;12\r\n"
              "2026-12-07;4;1;Maxi tur 1;120 Lyxfranska;2;2\r\n");
    const std::string before = Everything();
    const Finished publish = Kontor({"publicera", "4", "2026-12-08", "tisdag.csv"}, "bil4");
    EXPECT_EQ(publish.status, 1);
    EXPECT_TRUE(publish.err.endsWith(
        "leverans: kontorets databas nekade rollen \"bil4\" det som efterfrågades\n"))
        << publish.err.toStdString();
    EXPECT_EQ(Kontor({"bil", "9", "--roll", "bil10"}, "bil4").status, 1);
    EXPECT_EQ(Everything(), before);
}

TEST_F(OfficeCommands, CreationUpgradesAndRefusesANewerSchema) {
    {
        office::pq::Connection office = Office();
        office::CreateSchema(office, 1);
    }
    ExpectDone(Kontor({"skapa"}),
               "Kontorets databas är uppgraderad från schemaversion 1 till 6.\n");
    ExpectDone(Kontor({"skapa"}),
               "Kontorets databas har redan schemaversion 6; ingenting ändrades.\n");

    Office().Exec("UPDATE leverans.schema_version SET version = 7");
    const std::string before = Everything();
    const Finished newer = Kontor({"skapa"});
    EXPECT_EQ(newer.status, 1);
    EXPECT_EQ(newer.err,
              "leverans: kontorets databas är skapad av en nyare version av Leverans "
              "(schemaversion 7; det här programmet känner till version 6). Uppdatera Leverans; "
              "ingenting ändrades\n");
    EXPECT_EQ(Everything(), before);
}

TEST_F(OfficeCommands, PublishingReplacesARouteTheVanHasFetchedOnlyWhenTold) {
    ASSERT_EQ(Kontor({"skapa"}).status, 0);
    ASSERT_EQ(Kontor({"bil", "3", "--roll", "bil3"}).status, 0);
    ASSERT_EQ(Kontor({"publicera", "3", kDate, "tisdag.csv"}).status, 0);
    ExpectDone(Kontor({"publicera", "3", kDate, "onsdag.csv"}),
               "Rutten onsdag.csv är publicerad för bil 3 den 2026-12-07 (2 butiker, 2 "
               "artiklar); den ersätter rutten som fanns.\n");
    {
        // The van fetches the route, and has saved nothing yet.
        office::pq::Connection van = As("bil3");
        ASSERT_TRUE(office::FetchRoute(van, "3", kDate).has_value());
        Office().Exec("UPDATE leverans.fetches SET at = '2026-12-07T07:58:00+01:00'");
    }

    // Refused, and nothing at the office changes.
    Write("fel.csv", "Artikel;Lager;A;B\n108;;1;2\n116;;3;1,5\n");
    const Finished vanSees = RunWith({"fel.csv"});
    const Finished vanMisses = RunWith({"saknas.csv"});
    struct Case {
        QStringList arguments;
        QString err;
    };
    const std::vector<Case> cases{
        {{"publicera", "3", kDate, "tisdag.csv"},
         "leverans: bil 3 har redan hämtat rutten för 2026-12-07 (hämtad 2026-12-07 07:58); "
         "ange --ersatt för att ersätta den ändå (sparningar på den tas fortfarande emot)\n"},
        {{"publicera", "7", "2026-12-08", "tisdag.csv"},
         "leverans: bil 7 finns inte hos kontoret; lägg till den med leverans kontor bil 7 "
         "--roll ROLL\n"},
        // The same words as the van gets for the same file.
        {{"publicera", "3", "2026-12-08", "fel.csv"}, vanSees.err},
        {{"publicera", "3", "2026-12-08", "saknas.csv"}, vanMisses.err},
    };
    EXPECT_EQ(vanSees.err,
              "leverans: fel.csv, rad 3, kolumn 4: \"1,5\" är inte ett heltal mellan 0 och "
              "32767\n");
    const std::string before = Everything();
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.arguments.join(' ').toStdString());
        const Finished run = Kontor(refused.arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, refused.err);
        EXPECT_EQ(run.out, QString());
    }
    EXPECT_EQ(Everything(), before);
    ExpectDone(Kontor({"publicera", "3", kDate, "tisdag.csv", "--ersatt"}),
               "Rutten tisdag.csv är publicerad för bil 3 den 2026-12-07 (4 butiker, 3 "
               "artiklar); den ersätter rutten som bilen redan har hämtat, och sparningar på den "
               "tas fortfarande emot.\n");
}

TEST_F(OfficeCommands, AVanIsMappedToARole) {
    ASSERT_EQ(Kontor({"skapa"}).status, 0);
    ExpectDone(Kontor({"bil", "3", "--roll", "bil3"}), "Bil 3 är kopplad till rollen \"bil3\".\n");
    ExpectDone(Kontor({"bil", "3", "--roll", "bil3"}),
               "Bil 3 är redan kopplad till rollen \"bil3\"; ingenting ändrades.\n");
    const Finished missing = Kontor({"bil", "5", "--roll", "ingen_sadan"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "leverans: rollen \"ingen_sadan\" finns inte på kontorets databasserver; skapa den "
              "först (createuser ingen_sadan)\n");
    const Finished taken = Kontor({"bil", "4", "--roll", "bil3"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_TRUE(taken.err.endsWith("leverans: rollen \"bil3\" är redan bil 3\n"))
        << taken.err.toStdString();
}

TEST_F(OfficeCommands, BadInputIsRefusedForEveryCommandWithNothingWritten) {
    ASSERT_EQ(Kontor({"skapa"}).status, 0);
    ASSERT_EQ(Kontor({"bil", "3", "--roll", "bil3"}).status, 0);
    ASSERT_EQ(Kontor({"publicera", "3", kDate, "tisdag.csv"}).status, 0);
    const std::string before = Everything();

    QTemporaryDir nobody;  // a socket folder where nothing listens
    const QString noServer = "host=" + nobody.path() + " dbname=" + Q(database) + " user=kontor";
    const QString port = QString::number(FreePort());
    const QString closedPort =
        "host=127.0.0.1 port=" + port + " dbname=" + Q(database) + " user=kontor";
    const QString password = Q(Conninfo("kontor")) + " password=hemligt";
    const QString uriPassword = "postgresql://kontor:hemligt@/" + Q(database) +
                                "?host=" + Q(cluster->SocketFolder()) +
                                "&port=" + QString::number(cluster->Port());
    const QString unreachable = QStringLiteral("kontorets databasserver kan inte nås");
    const QString secret = QStringLiteral("anslutningen innehåller ett lösenord");

    const std::vector<QStringList> commands{
        {"kontor", "skapa"},
        {"kontor", "bil", "5", "--roll", "utomstaende"},
        {"kontor", "publicera", "3", "2026-12-08", "tisdag.csv"},
        {"kontor", "status", kDate},
        {"kontor", "rapport", kDate, "-o", "dag.csv"},
    };
    for (const QStringList& command : commands) {
        SCOPED_TRACE(command.join(' ').toStdString());
        struct Case {
            QString conninfo;
            QString said;
        };
        for (const Case& bad : {Case{noServer, unreachable}, Case{password, "--kontor: " + secret},
                                Case{uriPassword, "--kontor: " + secret}}) {
            SCOPED_TRACE(bad.conninfo.toStdString());
            const Finished run = RunWith(QStringList(command) << "--kontor" << bad.conninfo);
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.err.contains("leverans: " + bad.said)) << run.err.toStdString();
            EXPECT_FALSE(run.err.contains("hemligt"));
            EXPECT_EQ(run.out, QString());
        }
    }

    // From the environment, and on TCP to a port where nothing listens.
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("LEVERANS_KONTOR"), password);
    const Finished fromEnvironment = RunWith({"kontor", "status"}, environment);
    EXPECT_EQ(fromEnvironment.status, 1);
    EXPECT_TRUE(fromEnvironment.err.startsWith("leverans: LEVERANS_KONTOR: " + secret))
        << fromEnvironment.err.toStdString();
    environment.insert(QStringLiteral("LEVERANS_KONTOR"), closedPort);
    const Finished closed = RunWith({"kontor", "rapport"}, environment);
    EXPECT_EQ(closed.status, 1);
    EXPECT_TRUE(
        closed.err.contains("leverans: " + unreachable + " (värden 127.0.0.1, port " + port + ")"))
        << closed.err.toStdString();

    // Wrong use: no connection at all, a date the calendar has not.
    struct Wrong {
        QStringList arguments;
        QString err;
    };
    const std::vector<Wrong> wrongs{
        {{"kontor", "status"},
         "leverans: kontorets databas är inte angiven: ange --kontor ANSLUTNING eller "
         "miljövariabeln LEVERANS_KONTOR\nSe leverans --help.\n"},
        {{"kontor", "publicera", "3", "2026-13-01", "tisdag.csv", "--kontor", password},
         "leverans: \"2026-13-01\" är inget datum, skriv ÅÅÅÅ-MM-DD\nSe leverans --help.\n"},
        {{"kontor", "status", "2026-02-30", "--kontor", noServer},
         "leverans: \"2026-02-30\" är inget datum, skriv ÅÅÅÅ-MM-DD\nSe leverans --help.\n"},
        {{"kontor", "rapport", "igår", "--kontor", noServer},
         "leverans: \"igår\" är inget datum, skriv ÅÅÅÅ-MM-DD\nSe leverans --help.\n"},
    };
    for (const Wrong& wrong : wrongs) {
        SCOPED_TRACE(wrong.arguments.join(' ').toStdString());
        const Finished run = RunWith(wrong.arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, wrong.err);
    }

    EXPECT_EQ(Everything(), before);
    EXPECT_FALSE(QFile::exists(folder.filePath("dag.csv")));
}

TEST_F(OfficeCommands, AReportThatCannotBeWrittenSaysWhy) {
    ASSERT_EQ(Kontor({"skapa"}).status, 0);
    const Finished run = Kontor({"rapport", kDate, "-o", "saknas/dag.csv"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.endsWith(
        "leverans: saknas/dag.csv: rapporten kunde inte skrivas (mappen finns inte)\n"))
        << run.err.toStdString();
    const Finished noSchema = RunWith(
        {"kontor", "status", "--kontor", Q(cluster->ConnectionString("kontor", "postgres"))});
    EXPECT_EQ(noSchema.status, 1);
    EXPECT_TRUE(
        noSchema.err.endsWith("leverans: kontorets databas har inga Leverans-tabeller; kör "
                              "leverans kontor skapa först\n"))
        << noSchema.err.toStdString();
}

TEST(OfficeTls, TheProgramConnectsWithVerifyFullAndSaysWhenTheCertificateFails) {
    ClusterSetup setup;
    setup.tls = true;
    const Cluster cluster(setup);
    const std::string other = MakeCertificateAuthority(cluster.Folder(), "other");
    const auto over = [&cluster](const std::string& ca) {
        return Q("host=localhost hostaddr=127.0.0.1 port=" + std::to_string(cluster.Port()) +
                 " dbname=postgres user=postgres sslmode=verify-full sslrootcert=" + ca);
    };
    const Finished wrong = RunLeverans({"kontor", "skapa", "--kontor", over(other)});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_TRUE(wrong.err.contains("certificate verify failed")) << wrong.err.toStdString();
    EXPECT_TRUE(
        wrong.err.contains("leverans: den krypterade förbindelsen (TLS) med kontorets "
                           "databasserver (värden localhost, port " +
                           QString::number(cluster.Port()) + ") kunde inte upprättas"))
        << wrong.err.toStdString();

    const Finished right = RunLeverans({"kontor", "skapa", "--kontor", over(cluster.CaFile())});
    EXPECT_EQ(right.status, 0) << right.err.toStdString();
    EXPECT_EQ(right.out, "Kontorets databas är skapad (schemaversion 6).\n");
}

TEST(OfficeCommandLine, TheKontorCommandsAndTheirFlags) {
    using Command = app::CommandLine::OfficeCommand;
    struct Case {
        QStringList arguments;
        Command command;
        QString van, role, date, route, output, connection;
    };
    const std::vector<Case> cases{
        {{"kontor", "skapa"}, Command::Create, "", "", "", "", "", ""},
        {{"kontor", "skapa", "--kontor", "host=k"}, Command::Create, "", "", "", "", "", "host=k"},
        {{"kontor", "bil", "3", "--roll", "bil3"}, Command::Van, "3", "bil3", "", "", "", ""},
        {{"kontor", "publicera", "3", "2026-12-07", "t.csv"},
         Command::Publish,
         "3",
         "",
         "2026-12-07",
         "t.csv",
         "",
         ""},
        {{"kontor", "status"}, Command::Status, "", "", "", "", "", ""},
        {{"kontor", "status", "2028-02-29"}, Command::Status, "", "", "2028-02-29", "", "", ""},
        {{"kontor", "rapport", "2026-12-07", "-o", "d.csv"},
         Command::Report,
         "",
         "",
         "2026-12-07",
         "",
         "d.csv",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const app::CommandLine line = app::ParseCommandLine(c.arguments);
        ASSERT_EQ(line.action, app::CommandLine::Action::Office) << line.error.toStdString();
        EXPECT_EQ(line.officeCommand, c.command);
        EXPECT_EQ(line.van, c.van);
        EXPECT_EQ(line.role, c.role);
        EXPECT_EQ(line.date, c.date);
        EXPECT_EQ(line.routePath, c.route);
        EXPECT_EQ(line.outputPath, c.output);
        EXPECT_EQ(line.officeConnection, c.connection);
    }

    const std::vector<std::pair<QStringList, QString>> wrong{
        {{"kontor"},
         "kontor behöver ett kommando: skapa, bil, publicera, status, rapport eller webb"},
        {{"kontor", "radera"},
         "okänt kontor-kommando: radera (skapa, bil, publicera, status, rapport eller "
         "webb)"},
        {{"kontor", "skapa", "nu"}, "för många argument: nu"},
        {{"kontor", "bil", "3"},
         "kontor bil behöver --roll ROLL: databasrollen som bilen loggar in som"},
        {{"kontor", "bil", "--roll", "bil3"}, "kontor bil behöver en bil och --roll ROLL"},
        {{"kontor", "publicera", "3", "2026-12-07"},
         "kontor publicera behöver en bil, ett datum och en ruttfil"},
        {{"kontor", "publicera", "3", "7/12", "t.csv"},
         "\"7/12\" är inget datum, skriv ÅÅÅÅ-MM-DD"},
        {{"kontor", "status", "-o", "x"},
         "flaggan -o gäller bara rapport, foljesedel och kontor rapport"},
        {{"kontor", "status", "--roll", "x"}, "flaggan --roll gäller bara kontor bil"},
        {{"kontor", "status", "--ersatt"}, "flaggan --ersatt gäller bara kontor publicera"},
        {{"kontor", "skapa", "--kontor", ""}, "flaggan --kontor behöver en anslutning"},
        {{"kontor", "status", "--datum", "2026-12-07"},
         "flaggan --datum gäller inte kontor-kommandona"},
        {{"kontor", "status", "--journal", "j"}, "flaggan --journal gäller inte kontor-kommandona"},
        {{"kontor", "status", "--ny-dag"}, "flaggan --ny-dag gäller inte kontor-kommandona"},
        {{"t.csv", "--kontor", "host=k"},
         "flaggan --kontor gäller bara kontor-kommandona och --bil"},
        {{"rapport", "t.csv", "--roll", "r"}, "flaggan --roll gäller bara kontor bil"},
        {{"kontor", "webb", "x"}, "för många argument: x"},
        {{"kontor", "webb", "--lyssna", "8080"},
         "flaggan --lyssna: \"8080\" är ingen adress och port; skriv till exempel "
         "127.0.0.1:8080 eller [::1]:8080"},
        {{"kontor", "webb", "--lyssna", "kontor:80"},
         "flaggan --lyssna: \"kontor:80\" är ingen adress och port; skriv till exempel "
         "127.0.0.1:8080 eller [::1]:8080"},
        {{"kontor", "webb", "--lyssna", "127.0.0.1:65536"},
         "flaggan --lyssna: \"127.0.0.1:65536\" är ingen adress och port; skriv till exempel "
         "127.0.0.1:8080 eller [::1]:8080"},
        {{"kontor", "webb", "--certifikat", "c.pem"},
         "flaggorna --certifikat och --nyckel anges tillsammans"},
        {{"kontor", "webb", "--nyckel", "k.pem", "--datum", "2026-12-07"},
         "flaggan --datum gäller inte kontor-kommandona"},
        {{"kontor", "status", "--lyssna", "127.0.0.1:1"},
         "flaggorna --lyssna, --certifikat och --nyckel gäller bara kontor webb"},
    };
    const app::CommandLine web = app::ParseCommandLine(
        {"kontor", "webb", "--lyssna", "[::1]:9000", "--certifikat", "c.pem", "--nyckel", "k.pem"});
    EXPECT_EQ(web.officeCommand, Command::Web) << web.error.toStdString();
    EXPECT_EQ(web.listenAddress, "::1");
    EXPECT_EQ(web.listenPort, 9000);
    EXPECT_EQ(web.certificatePath, "c.pem");
    EXPECT_EQ(web.keyPath, "k.pem");
    EXPECT_EQ(app::ParseCommandLine({"kontor", "webb"}).listenPort, 8080);

    for (const auto& [arguments, error] : wrong) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const app::CommandLine line = app::ParseCommandLine(arguments);
        EXPECT_EQ(line.action, app::CommandLine::Action::Wrong);
        EXPECT_EQ(line.error, error);
    }

    const QString help = app::HelpText();
    for (const char* part : {"leverans kontor skapa", "leverans kontor bil BIL --roll ROLL",
                             "leverans kontor publicera BIL DATUM RUTT.csv",
                             "leverans kontor status [DATUM]", "leverans kontor rapport [DATUM]",
                             "--ersatt", "--kontor ANSLUTNING", "LEVERANS_KONTOR", "~/.pgpass"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(part))) << part;
}

}  // namespace
}  // namespace office_testing
