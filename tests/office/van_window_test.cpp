// The van as a driver runs it: the real program with --bil on a virtual
// display, its route fetched from a real office, every save arriving there;
// with the office away at the start and during saves; and what a van is
// refused.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "office/fleet.h"
#include "tests/app/run_program.h"
#include "tests/app/xvfb_desktop.h"
#include "tests/office/office_fixture.h"

namespace office_testing {
namespace {

using testing_support::RunLeverans;

QString Q(const std::string& text) { return QString::fromStdString(text); }

class VanWindow : public OfficeTest {
protected:
    void SetUp() override {
        OfficeTest::SetUp();
        MakeFleet();
        ASSERT_TRUE(home.isValid());
    }

    QProcessEnvironment Environment(const QProcessEnvironment& base) const {
        QProcessEnvironment env = base;
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        return env;
    }
    QStringList Van(const std::string& role = "bil3", const char* van = "3") const {
        return {"--kontor", Q(Conninfo(role)), "--bil", van, "--datum", kDate};
    }
    // The van's window on the display, found by its caption.
    void Start() {
        ASSERT_TRUE(desktop.Start());
        Launch();
    }
    // The van again, on the display started.
    void Launch() {
        program.setProcessEnvironment(Environment(desktop.Environment()));
        program.setProcessChannelMode(QProcess::SeparateChannels);
        program.start(QStringLiteral(LEVERANS_BINARY), Van());
        ASSERT_TRUE(program.waitForStarted(10000));
        window = desktop.Xdotool({"search", "--sync", "--onlyvisible", "--name", "^Form1"})
                     .section('\n', 0, 0);
        ASSERT_FALSE(window.isEmpty());
    }
    // What the van said on standard error, once stopped.
    QString Said() { return QString::fromUtf8(program.readAllStandardError()); }
    void Stop() {
        program.terminate();
        program.waitForFinished(10000);
    }
    // Types a quantity into the first article's Lev cell and saves.
    void Save(const char* quantity) {
        desktop.Xdotool({"mousemove", "--window", window, "288", "32", "click", "1"});
        desktop.Xdotool({"type", "--window", window, "--", quantity});
        desktop.Xdotool({"key", "--window", window, "Return"});
        desktop.Xdotool({"mousemove", "--window", window, "355", "165", "click", "1"});
    }
    // van 3's route with the first shop's first order changed.
    static void WriteRoute(const QString& path, const char* order) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(kTuesday).replace(";;12;", order));
    }
    // "Visa föreg": the shop before.
    void Back() { desktop.Xdotool({"mousemove", "--window", window, "64", "170", "click", "1"}); }
    QString Caption() const { return desktop.Xdotool({"getwindowname", window}); }
    // Waits until `condition` holds, for up to `seconds`.
    template <typename Condition>
    static bool Within(int seconds, Condition condition) {
        QDeadlineTimer deadline(qint64{seconds} * 1000);
        while (!deadline.hasExpired()) {
            if (condition()) return true;
            QThread::msleep(50);
        }
        return condition();
    }
    std::string SavesAtTheOffice() const {
        return Value("kontor", "SELECT count(*) FROM leverans.saves WHERE van = '3'");
    }
    testing_support::Finished Kontor(const QStringList& arguments) {
        QStringList all = arguments;
        all.prepend(QStringLiteral("kontor"));
        all << "--kontor" << Q(Conninfo("kontor"));
        return RunLeverans(all);
    }

    QTemporaryDir home;
    testing_support::XvfbDesktop desktop;
    QProcess program;
    QString window;
};

TEST_F(VanWindow, PublishedFetchedSavedAndSeenAtTheOffice) {
    Start();
    if (HasFatalFailure()) return;
    // The route kept in the data folder, the journal beside it.
    const QString kept = home.filePath("leverans/bil-3/2026-12-07/tisdag.csv");
    EXPECT_TRUE(QFile::exists(kept));
    Save("5");
    ASSERT_TRUE(Within(20, [&] { return SavesAtTheOffice() == "1"; }));
    EXPECT_TRUE(Within(10, [&] { return Caption() == "Form1"; })) << Caption().toStdString();
    EXPECT_TRUE(QFile::exists(kept + ".journal"));

    const auto status = Kontor({"status", kDate});
    EXPECT_EQ(status.status, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains("Bil 3 (tisdag.csv): sparade 1 av 4 butiker"))
        << status.out.toStdString();
    const auto report = Kontor({"rapport", kDate});
    EXPECT_EQ(report.status, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains("2026-12-07;3;1;Maxi tur 1;108 Skivad J.F.;12;5\r\n"))
        << report.out.toStdString();
    Stop();
}

TEST_F(VanWindow, TheOfficeAwayAtTheStartAndDuringSavesThenEverythingArrives) {
    // Fetched once, the day before the office goes away.
    Start();
    if (HasFatalFailure()) return;
    Stop();
    cluster->StopImmediately();

    Launch();
    if (HasFatalFailure()) return;
    Save("5");
    EXPECT_TRUE(Within(10, [&] {
        return Caption() == "Form1 – 1 sparning har inte nått kontoret";
    })) << Caption().toStdString();

    cluster->Start();
    EXPECT_TRUE(Within(20, [&] { return SavesAtTheOffice() == "1"; }));
    EXPECT_TRUE(Within(10, [&] { return Caption() == "Form1"; })) << Caption().toStdString();
    Stop();
    const QString said = Said();
    EXPECT_TRUE(said.contains("kontorets databasserver kan inte nås"));
    EXPECT_TRUE(said.contains("Rutten som hämtades tidigare, " +
                              home.filePath("leverans/bil-3/2026-12-07/tisdag.csv") + ", används."))
        << said.toStdString();
}

TEST_F(VanWindow, ACorrectionOfAShopAlreadySentReplacesItAtTheOffice) {
    Start();
    if (HasFatalFailure()) return;
    Save("5");
    ASSERT_TRUE(Within(20, [&] { return SavesAtTheOffice() == "1"; }));
    Back();
    Save("7");
    ASSERT_TRUE(Within(20, [&] { return SavesAtTheOffice() == "2"; }));
    const auto report = Kontor({"rapport", kDate});
    EXPECT_EQ(report.status, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains("2026-12-07;3;1;Maxi tur 1;108 Skivad J.F.;12;7\r\n"))
        << report.out.toStdString();
    EXPECT_FALSE(report.out.contains(";12;5\r\n")) << report.out.toStdString();
    Stop();
}

TEST_F(VanWindow, ARouteReplacedWithErsattIsToldAndTheEarlierSavesStillArrive) {
    // A save made while the office is away, on the route fetched first.
    Start();
    if (HasFatalFailure()) return;
    cluster->StopImmediately();
    Save("5");
    Stop();
    cluster->Start();
    QTemporaryDir office;
    const QString replacement = office.filePath("tisdag.csv");
    WriteRoute(replacement, ";;14;");
    const auto published = Kontor({"publicera", "3", kDate, replacement, "--ersatt"});
    ASSERT_EQ(published.status, 0) << published.err.toStdString();

    Launch();
    if (HasFatalFailure()) return;
    // Told in a box over the window, which goes on on the new route.
    const QString box =
        desktop.Xdotool({"search", "--sync", "--onlyvisible", "--name", "^Ny rutt från kontoret$"})
            .section('\n', 0, 0);
    ASSERT_FALSE(box.isEmpty());
    desktop.Xdotool({"key", "--window", box, "Return"});
    EXPECT_TRUE(Within(20, [&] { return SavesAtTheOffice() == "1"; }));
    Save("6");
    EXPECT_TRUE(Within(20, [&] { return SavesAtTheOffice() == "2"; }));
    const auto report = Kontor({"rapport", kDate});
    EXPECT_TRUE(report.out.contains(";3;1;Maxi tur 1;108 Skivad J.F.;12;5\r\n"))
        << report.out.toStdString();
    EXPECT_TRUE(report.out.contains(";3;1;Maxi tur 1;108 Skivad J.F.;14;6\r\n"))
        << report.out.toStdString();
    Stop();
    // The earlier day put aside beside the route, named by the day it began.
    const QDir folder(home.filePath("leverans/bil-3/2026-12-07"));
    const QStringList aside = folder.entryList({"tisdag.csv.*.journal"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1) << aside.join(' ').toStdString();
    const QString said = Said();
    EXPECT_TRUE(said.contains(QRegularExpression(
        "Kontoret har ersatt rutten för bil 3 den 2026-12-07 med en ny, publicerad "
        "\\d{4}-\\d\\d-\\d\\d kl\\. \\d\\d:\\d\\d\\.")))
        << said.toStdString();
    EXPECT_TRUE(said.contains("finns kvar som " + folder.filePath(aside[0]))) << said.toStdString();
}

TEST_F(VanWindow, ASaveTheOfficeRefusesIsToldInTheCaption) {
    Start();
    if (HasFatalFailure()) return;
    Stop();
    // The kept route changed on the van to one the office never published,
    // while the office is away.
    cluster->StopImmediately();
    WriteRoute(home.filePath("leverans/bil-3/2026-12-07/tisdag.csv"), ";;13;");
    Launch();
    if (HasFatalFailure()) return;
    Save("5");
    cluster->Start();
    EXPECT_TRUE(Within(30, [&] {
        return Caption() ==
               "Form1 – 1 sparning har inte nått kontoret, 1 sparning vägrad av kontoret";
    })) << Caption().toStdString();
    EXPECT_EQ(Value("kontor", "SELECT kind || ' ' || seq FROM leverans.problems"), "refused 1");
    EXPECT_EQ(SavesAtTheOffice(), "0");
    Stop();
}

TEST_F(VanWindow, WhatAVanIsRefused) {
    struct Case {
        const char* name;
        QStringList arguments;
        int status;
        QString said;
        QString dataHome = {};  // null: the test's own; empty: neither it nor HOME
    };
    const QString elsewhere = Q(cluster->Folder() + "/ingen");
    QFile notAFolder(home.filePath("fil"));
    ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
    notAFolder.close();
    const std::vector<Case> cases = {
        {"another van's route", Van("bil4", "3"), 1,
         "leverans: Kontoret har ingen rutt för bil 3 den 2026-12-07.\n"},
        {"a password in the connection",
         {"--kontor", Q(Conninfo("bil3")) + " password=hemligt", "--bil", "3"},
         1,
         "--kontor: anslutningen innehåller ett lösenord"},
        {"an office that cannot be reached, nothing fetched before",
         {"--kontor", "host=" + elsewhere + " dbname=x", "--bil", "3"},
         1,
         "Ingen rutt för bil 3 den "},
        {"a wrong date",
         {"--kontor", Q(Conninfo("bil3")), "--bil", "3", "--datum", "7/12"},
         2,
         "inget datum"},
        {"no office", {"--bil", "3"}, 2, "kontorets databas är inte angiven"},
        {"no home for the van's days", Van(), 1, "varken HOME eller XDG_DATA_HOME är satt", ""},
        {"a data folder that cannot be made", Van(), 1,
         "Rutten kan inte sparas i mappen " + home.filePath("fil") +
             "/leverans/bil-3/2026-12-07: en del av sökvägen är en fil, inte en mapp.",
         home.filePath("fil")},
    };
    const std::string before = Value("kontor", "SELECT count(*) FROM leverans.heard");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcessEnvironment env;
        env.insert(QStringLiteral("XDG_DATA_HOME"), c.dataHome.isNull() ? home.path() : c.dataHome);
        if (!c.dataHome.isNull() && c.dataHome.isEmpty()) env.insert(QStringLiteral("HOME"), "");
        env.insert(QStringLiteral("LEVERANS_KONTOR"), QString());
        const auto run = RunLeverans(c.arguments, QString(), env);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.err.contains(c.said)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
    // Nothing fetched, nothing kept, no window started, nothing at the office.
    EXPECT_FALSE(QFile::exists(home.filePath("leverans/bil-3")));
    EXPECT_EQ(SavesAtTheOffice(), "0");
    EXPECT_EQ(Value("kontor", "SELECT count(*) FROM leverans.heard"), before);
}

}  // namespace
}  // namespace office_testing
