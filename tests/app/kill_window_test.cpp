// The real program on a real (virtual) display: the driver types and saves,
// the program is killed with SIGKILL, and the day comes back as saved.

#include <gtest/gtest.h>

#include <QDate>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <vector>

#include "day/day.h"
#include "run_program.h"
#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/textbox.h"
#include "xvfb_desktop.h"

namespace {

using testing_support::XvfbDesktop;

// A clock that runs from a time of our choosing (Debian's faketime).
constexpr const char* kFakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1";

// Saves in the journal as a reader sees them, waiting until there are `count`.
bool WaitForSaves(const std::string& route, int count) {
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        try {
            if (day::OpenDay(route, "", day::Access::ReadOnly).route.nSparadKund >= count)
                return true;
        } catch (const std::exception&) {
            // the journal may not exist yet
        }
        QThread::msleep(50);
    }
    return false;
}

// The real program on a route file of its own, its window found on the display.
class KillWindow : public ::testing::Test {
protected:
    void Open(const QByteArray& routeFile) {
        for (const char* tool : {"Xvfb", "xdotool"})
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
        routePath = folder.filePath("tisdag.csv").toStdString();
        QFile file(QString::fromStdString(routePath));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(routeFile);
        file.close();
        ASSERT_TRUE(desktop.Start());
        Start();
        FindWindow("^Form1$");
    }
    // The program on tisdag.csv again; `clock` runs it under faketime.
    void Start(const QString& clock = {}) {
        program.setProcessEnvironment(desktop.Environment());
        program.setWorkingDirectory(folder.path());
        if (clock.isEmpty()) {
            program.start(QStringLiteral(LEVERANS_BINARY), {QStringLiteral("tisdag.csv")});
        } else {
            // The faked clock preloaded into the program itself, so that the
            // process started is the one that holds the files and ends.
            QProcessEnvironment env = desktop.Environment();
            env.insert(QStringLiteral("LD_PRELOAD"), QString::fromLatin1(kFakeTime));
            env.insert(QStringLiteral("FAKETIME"), clock);
            // Only the calendar moves; the toolkit's timers keep real time.
            env.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
            // Under the sanitizers their runtime need not come first.
            env.insert(QStringLiteral("ASAN_OPTIONS"),
                       env.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":verify_asan_link_order=0"));
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(LEVERANS_BINARY), {QStringLiteral("tisdag.csv")});
        }
        ASSERT_TRUE(program.waitForStarted(10000));
        if (!clock.isEmpty()) faked.push_back(program.processId());
    }
    // The shared memory and semaphore libfaketime makes for a faked run,
    // left in /dev/shm when the run ends by a signal.
    static QStringList FakeTimeFiles(qint64 pid) {
        QStringList files;
        for (const QString& name : {QStringLiteral("/dev/shm/faketime_shm_%1"),
                                    QStringLiteral("/dev/shm/sem.faketime_sem_%1")})
            if (QFile::exists(name.arg(pid))) files << name.arg(pid);
        return files;
    }
    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(10000);
        }
        for (const qint64 pid : faked)
            for (const QString& file : FakeTimeFiles(pid)) QFile::remove(file);
        for (const qint64 pid : faked) EXPECT_EQ(FakeTimeFiles(pid).join(' ').toStdString(), "");
    }
    void FindWindow(const char* name) {
        window = desktop.Xdotool({"search", "--sync", "--onlyvisible", "--name", name})
                     .section('\n', 0, 0);
        ASSERT_FALSE(window.isEmpty());
    }
    // The Lev cell of the first article, and "Spara", in the window's pixels at 96 DPI.
    void ClickFirstLev() {
        desktop.Xdotool({"mousemove", "--window", window, "288", "32", "click", "1"});
    }
    void ClickSpara() {
        desktop.Xdotool({"mousemove", "--window", window, "355", "165", "click", "1"});
    }
    // A key held down as a finger does, through the keyboard itself (XTEST),
    // so that the display repeats it as long as it is down: by default after
    // 660 ms, then 25 times a second.
    void Hold(const QString& key) {
        desktop.Xdotool({"keydown", key});
        QThread::msleep(1500);
        desktop.Xdotool({"keyup", key});
    }
    void Type(const QString& keys) { desktop.Xdotool({"type", "--window", window, keys}); }
    void Key(const QString& key) { desktop.Xdotool({"key", "--window", window, key}); }
    // The day as saved so far, once the program has ended.
    route::RouteData SavedDay() {
        program.terminate();
        program.waitForFinished(10000);
        return day::OpenDay(routePath, "", day::Access::ReadOnly).route;
    }

    QTemporaryDir folder;
    std::string routePath;
    XvfbDesktop desktop;
    QProcess program;
    QString window;
    std::vector<qint64> faked;  // runs under faketime
};

TEST_F(KillWindow, AKilledWindowComesBackWhereTheDriverWas) {
    Open(
        "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil\n"
        "108 Skivad J.F.;;12;6;1\n116 Jätterasker;40;0;30;7\n");
    if (IsSkipped() || HasFatalFailure()) return;
    ClickFirstLev();
    desktop.Xdotool({"type", "--window", window, "5"});
    desktop.Xdotool({"key", "--window", window, "Return"});
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 1));
    ClickFirstLev();
    desktop.Xdotool({"type", "--window", window, "--", "-2"});
    desktop.Xdotool({"key", "--window", window, "Return"});
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 2));

    program.kill();  // SIGKILL: nothing gets to close or flush
    program.waitForFinished(10000);

    // The journal file alone, copied as a driver brings it to the office.
    const QString copy = folder.filePath("kopia.journal");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(routePath) + ".journal", copy));
    const auto report =
        testing_support::RunLeverans({"rapport", "--journal", copy, "tisdag.csv"}, folder.path());
    EXPECT_EQ(report.status, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains("108 Skivad J.F.;19;5;2;16;5;-2;\r\n"))
        << report.out.toStdString();

    day::OpenedDay again = day::OpenDay(routePath, "", day::Access::ReadWrite);
    screen::Form1 form(again.route, again.journal.get());
    EXPECT_EQ(form.nSparadKund, 2);
    EXPECT_EQ(form.nAktKund, 3);
    EXPECT_EQ(form.Text1->Text(), "Lokala Statoil");
    EXPECT_EQ(form.Grid1->TextMatrix(1, 1), " 16");  // 19 loaded, 5 left, 2 back
    EXPECT_EQ(form.Grid1->TextMatrix(2, 1), " 40");
    form.Command1_Click();
    EXPECT_EQ(form.Grid1->TextMatrix(1, 4), "-2");
}

TEST_F(KillWindow, KeysTypedAheadOfADownLandOnTheNextRow) {
    Open(
        "Artikel;Lager;Maxi tur 1;ICA Butiken\n"
        "108 Skivad J.F.;;12;6\n116 Jätterasker;40;0;30\n120 Lyxfranska;;4;4\n");
    if (IsSkipped() || HasFatalFailure()) return;
    ClickFirstLev();
    // A fast driver: every key queued before the first is handled.
    desktop.Xdotool(
        {"key", "--window", window, "--delay", "0", "5", "Down", "3", "Down", "7", "Return"});
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 1));
    program.terminate();
    program.waitForFinished(10000);

    const day::OpenedDay saved = day::OpenDay(routePath, "", day::Access::ReadOnly);
    EXPECT_EQ(saved.route.nAntal(1, route::kLev, 1), 5);
    EXPECT_EQ(saved.route.nAntal(2, route::kLev, 1), 3);
    EXPECT_EQ(saved.route.nAntal(3, route::kLev, 1), 7);
}

// Three shops of three articles.
const QByteArray kThreeShops =
    "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil\n"
    "108 Skivad J.F.;;12;6;1\n116 Jätterasker;40;0;30;7\n120 Lyxfranska;;4;4;0\n";

// A driver who leans on Enter on "Spara" saves the shop on screen, not the
// next ones unseen with nothing delivered.
TEST_F(KillWindow, AHeldEnterOnSparaSavesOneShop) {
    Open(kThreeShops);
    if (IsSkipped() || HasFatalFailure()) return;
    ClickFirstLev();
    Type("5");
    Key("Return");
    // Held Down moves past the second row only if this display repeats a
    // held key: the 7 in the third row proves the repeats are there.
    Hold("Down");
    Type("7");
    Key("Return");
    Key("shift+Tab");  // from the grid back to "Spara"
    Hold("Return");
    ASSERT_TRUE(WaitForSaves(routePath, 1));
    // Saves the page on screen after every repeat has been handled: the
    // second shop, unless a repeat saved it (and the third) already.
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 2));

    const route::RouteData saved = SavedDay();
    EXPECT_EQ(saved.nAntal(3, route::kLev, 1), 7) << "the display repeated no held key";
    EXPECT_EQ(saved.nSparadKund, 2) << "a held Enter saved more than the shop on screen";
    EXPECT_EQ(saved.nAntal(1, route::kLev, 1), 5);
    EXPECT_EQ(saved.nAntal(2, route::kLev, 1), 0);
}

// Leaning on Enter on "Visa nästa" turns one page, not to the end of the route.
TEST_F(KillWindow, AHeldEnterOnVisaNastaTurnsOnePage) {
    Open(
        "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil;Maxi tur 2\n"
        "108 Skivad J.F.;;12;6;1;5\n116 Jätterasker;40;0;30;7;3\n120 Lyxfranska;;4;4;0;0\n");
    if (IsSkipped() || HasFatalFailure()) return;
    ClickFirstLev();
    Hold("Down");  // the third row only if this display repeats a held key
    Type("7");
    Key("Return");
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 1));
    ClickFirstLev();
    Key("shift+Tab");
    Key("shift+Tab");  // from the second shop's grid back past "Spara" to "Visa nästa"
    Hold("Return");
    ClickSpara();  // saves the page on screen once every repeat has been handled
    ASSERT_TRUE(WaitForSaves(routePath, 2));

    const route::RouteData saved = SavedDay();
    EXPECT_EQ(saved.nAntal(3, route::kLev, 1), 7) << "the display repeated no held key";
    EXPECT_EQ(saved.nSparadKund, 3) << "a held Enter turned more than one page";
}

// Straight after "Spara" the keys go to the next shop's first Lev cell.
TEST_F(KillWindow, DigitsTypedRightAfterSparaLandOnTheNextShop) {
    Open(kThreeShops);
    if (IsSkipped() || HasFatalFailure()) return;
    ClickFirstLev();
    Type("5");
    Key("Return");
    ClickSpara();
    Type("42");
    Key("Return");
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 2));

    const route::RouteData saved = SavedDay();
    EXPECT_EQ(saved.nSparadKund, 2);
    EXPECT_EQ(saved.nAntal(1, route::kLev, 1), 5);
    EXPECT_EQ(saved.nAntal(1, route::kLev, 2), 42);
    EXPECT_EQ(saved.nAntal(1, route::kLev, 3), 0);
}

// The same Tuesday route a week later: the window asks before it goes on,
// and each answer does what it says.
TEST_F(KillWindow, AWeekLaterTheWindowAsksWhichDay) {
    if (!QFile::exists(QString::fromLatin1(kFakeTime)))
        FAIL() << kFakeTime << " is not installed (scripts/setup installs faketime)";
    Open(kThreeShops);
    if (IsSkipped() || HasFatalFailure()) return;
    ClickFirstLev();
    Type("5");
    Key("Return");
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 1));
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    const QString journal = QString::fromStdString(routePath) + ".journal";
    auto bytes = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray lastWeek = bytes(journal);
    const QString begun = QDate::currentDate().toString(Qt::ISODate);

    // Closed: nothing changes, and the program ends.
    Start(QStringLiteral("+7d"));
    FindWindow("^Leverans$");
    Key("Escape");
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(bytes(journal), lastWeek);

    // Go on: the same day, on the shop after the saved one.
    Start(QStringLiteral("+7d"));
    FindWindow("^Leverans$");
    Key("alt+f");
    FindWindow("^Form1$");
    ClickFirstLev();
    Type("3");
    Key("Return");
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 2));
    program.terminate();
    ASSERT_TRUE(program.waitForFinished(10000));
    {
        const day::OpenedDay same = day::OpenDay(routePath, "", day::Access::ReadOnly);
        EXPECT_EQ(same.journal->BegunOn(), begun.toStdString());
        EXPECT_EQ(same.route.nAntal(1, route::kLev, 2), 3);
    }

    // A new day: the week-old one kept whole beside it, the new one empty.
    const QByteArray goneOn = bytes(journal);
    Start(QStringLiteral("+7d"));
    FindWindow("^Leverans$");
    Key("alt+n");
    FindWindow("^Form1$");
    const route::RouteData fresh = SavedDay();
    EXPECT_EQ(fresh.nSparadKund, 0);
    EXPECT_EQ(bytes(folder.filePath("tisdag.csv.%1.journal").arg(begun)), goneOn);
}

// One window per route file: through a link to the same file the second
// start is refused, naming the file it was given.
TEST_F(KillWindow, ASecondWindowThroughALinkIsRefused) {
    Open(kThreeShops);
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(QFile::link(folder.filePath("tisdag.csv"), folder.filePath("lank.csv")));
    const auto second = testing_support::RunLeverans({"lank.csv"}, folder.path());
    EXPECT_EQ(second.status, 1);
    EXPECT_TRUE(
        second.err.contains("Ruttfilen lank.csv används redan av ett annat "
                            "Leverans-fönster"))
        << second.err.toStdString();
    EXPECT_FALSE(QFile::exists(folder.filePath("lank.csv.journal")));
    // The first window is untouched by it and goes on saving.
    ClickFirstLev();
    Type("4");
    Key("Return");
    ClickSpara();
    ASSERT_TRUE(WaitForSaves(routePath, 1));
    EXPECT_EQ(SavedDay().nAntal(1, route::kLev, 1), 4);
}

}  // namespace
