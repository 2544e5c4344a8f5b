// The program as a user starts it: the command line, a day's route from a
// file, what happens when a file is wrong, and the end-of-day commands.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "app/program.h"
#include "day/day.h"
#include "day/local_time.h"
#include "day/sqlite.h"
#include "run_program.h"
#include "screen/flexgrid.h"
#include "screen/textbox.h"

namespace {

using testing_support::RunLeverans;

const QByteArray kRoute =
    "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil\n"
    "108 Skivad J.F.;;12;6;1\n"
    "116 Jätterasker;40;0;30;7\n"
    "120 Lyxfranska;5;2;;3\n";

class Program : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString Write(const QString& name, const QByteArray& bytes) {
        QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QStringList Files() { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden); }
    // Every file's bytes, by name.
    std::map<QString, QByteArray> Snapshot() {
        std::map<QString, QByteArray> files;
        for (const QString& name : Files()) {
            QFile file(folder.filePath(name));
            if (file.open(QIODevice::ReadOnly)) files[name] = file.readAll();
        }
        return files;
    }
    // A day on tisdag.csv with its first shops saved through the window, and closed.
    void SaveShops(const std::vector<std::vector<QString>>& pages) {
        day::OpenedDay opened =
            day::OpenDay(folder.filePath("tisdag.csv").toStdString(), "", day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        form.MessageSink = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
        for (const auto& page : pages) {
            for (std::size_t a = 0; a < page.size(); ++a)
                form.Grid1->SetTextMatrix(static_cast<int>(a) + 1, 4, page[a]);
            form.Command3_Click();
        }
    }
    // The day in the journal as if it had begun a week ago.
    void BeganAWeekAgo() {
        day::sql::Connection db(folder.filePath("tisdag.csv.journal").toStdString(),
                                SQLITE_OPEN_READWRITE);
        const std::string weekAgo =
            day::LocalTimestamp(std::time(nullptr) - std::time_t{7} * 24 * 60 * 60);
        day::sql::Statement update(db, "UPDATE meta SET created_at = ?");
        update.Bind(1, weekAgo);
        update.Step();
        db.Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    }

    QTemporaryDir folder;
};

TEST_F(Program, HelpVersionAndWrongUse) {
    const auto help = RunLeverans({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("Användning:"));
    const auto version = RunLeverans({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(version.out.startsWith("leverans "));

    const auto bogus = RunLeverans({"--bogus"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_TRUE(bogus.err.startsWith("leverans: okänd flagga: --bogus\n"))
        << bogus.err.toStdString();
    EXPECT_TRUE(bogus.out.isEmpty());
    const auto extra = RunLeverans({"a.csv", "b.csv"});
    EXPECT_EQ(extra.status, 2);
    EXPECT_TRUE(extra.err.contains("för många argument: b.csv"));
}

TEST_F(Program, AFaultyRouteFileIsRefusedBeforeAnythingIsWritten) {
    const QString path = Write("tisdag.csv", "Artikel;Lager;A;B\n108;;1;2\n116;;3;1,5\n");
    const auto run = RunLeverans({"tisdag.csv"}, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "leverans: tisdag.csv, rad 3, kolumn 4: \"1,5\" är inte ett heltal mellan 0 och "
              "32767\n");
    EXPECT_EQ(Files(), QStringList{"tisdag.csv"});  // no journal, no picture

    const auto missing = RunLeverans({"saknas.csv"}, folder.path());
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.startsWith("leverans: saknas.csv")) << missing.err.toStdString();
}

TEST_F(Program, TheWindowCarriesOnWhereTheDayLeftOff) {
    const std::string route = Write("tisdag.csv", kRoute).toStdString();
    {
        day::OpenedDay opened = day::OpenDay(route, "", day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        form.MessageSink = [](const QString& text) { ADD_FAILURE() << text.toStdString(); };
        EXPECT_EQ(form.Text1->Text(), "Maxi tur 1");
        form.Grid1->SetTextMatrix(1, 4, "10");
        form.Grid1->SetTextMatrix(3, 4, "-1");
        form.Command3_Click();
        form.Grid1->SetTextMatrix(2, 4, "25");
        form.Command3_Click();
        EXPECT_EQ(form.nAktKund, 3);
    }
    day::OpenedDay again = day::OpenDay(route, "", day::Access::ReadWrite);
    screen::Form1 form(again.route, again.journal.get());
    EXPECT_EQ(form.nSparadKund, 2);
    EXPECT_EQ(form.nAktKund, 3);
    EXPECT_EQ(form.Text1->Text(), "Lokala Statoil");
    EXPECT_EQ(form.Grid1->TextMatrix(1, 1), " 9");  // 19 loaded, 10 left at Maxi tur 1
    EXPECT_EQ(form.Grid1->TextMatrix(2, 1), " 15");
    EXPECT_EQ(form.Grid1->TextMatrix(3, 1), " 6");
    form.Command1_Click();
    EXPECT_EQ(form.Grid1->TextMatrix(2, 4), " 25");
    form.Command1_Click();
    EXPECT_EQ(form.Grid1->TextMatrix(3, 4), "-1");

    // A second window on the same day is refused while this one runs,
    // under its own name or another.
    QFile::link(folder.filePath("tisdag.csv"), folder.filePath("lank.csv"));
    for (const QString& name :
         {QStringLiteral("tisdag.csv"), QStringLiteral("lank.csv"), QStringLiteral("./lank.csv")}) {
        const auto before = Snapshot();
        const auto second = RunLeverans({name}, folder.path());
        EXPECT_EQ(second.status, 1);
        EXPECT_EQ(second.err, QStringLiteral("leverans: orsak: route file locked\nleverans: "
                                             "Ruttfilen %1 används redan av ett annat "
                                             "Leverans-fönster, kanske under ett annat namn eller "
                                             "genom en länk. Stäng det först och försök igen.\n")
                                  .arg(name));
        EXPECT_EQ(Snapshot(), before);
    }
}

TEST_F(Program, TheJournalCanLiveElsewhereThanTheRouteFile) {
    // As for a route file on a read-only memory stick: nothing is written
    // beside the route file, and the day still carries on.
    const QString route = Write("tisdag.csv", kRoute);
    QTemporaryDir home;
    const std::string journal = home.filePath("tisdag.journal").toStdString();
    {
        day::OpenedDay opened = day::OpenDay(route.toStdString(), journal, day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        form.Grid1->SetTextMatrix(1, 4, "4");
        form.Command3_Click();
    }
    EXPECT_EQ(Files(), QStringList{"tisdag.csv"});
    const auto report = RunLeverans(
        {"rapport", "--journal", QString::fromStdString(journal), "tisdag.csv"}, folder.path());
    EXPECT_EQ(report.status, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains("108 Skivad J.F.;19;4;0;15;4;;\r\n"))
        << report.out.toStdString();
}

TEST_F(Program, AStartUpThatFailsIsReportedNotAborted) {
    class Broken : public route::RandomSource {
    public:
        void ReseedFromTimer() override {}
        float NextRandom() override { throw route::OverflowError("16-bit overflow"); }
    };
    ::testing::internal::CaptureStderr();
    const auto form = app::StartWindow(
        [] { return std::make_unique<screen::Form1>(std::make_unique<Broken>()); }, false);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(form, nullptr);
    EXPECT_EQ(said,
              "leverans: fel vid starten: 16-bit overflow\n"
              "leverans: Programmet kunde inte starta. Ett antal blev större än vad programmet "
              "kan räkna med (-32768 till 32767).\n");
}

TEST_F(Program, TheReportOfADayWithAndWithoutSaves) {
    const QString route = Write("tisdag.csv", kRoute);
    auto empty = RunLeverans({"rapport", "tisdag.csv"}, folder.path());
    EXPECT_EQ(empty.status, 0) << empty.err.toStdString();
    EXPECT_TRUE(
        empty.outBytes.startsWith("\xEF\xBB\xBF"
                                  "Artikel;Lastat;Levererat;Returer;Kvar;"
                                  "Maxi tur 1;ICA Butiken;Lokala Statoil\r\n"));
    EXPECT_TRUE(empty.out.contains("108 Skivad J.F.;19;0;0;19;;;\r\n")) << empty.out.toStdString();
    EXPECT_EQ(Files(), QStringList{"tisdag.csv"});  // read only: no journal made

    {
        day::OpenedDay opened = day::OpenDay(route.toStdString(), "", day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        form.Grid1->SetTextMatrix(1, 4, "10");
        form.Grid1->SetTextMatrix(3, 4, "-1");
        form.Command3_Click();
        // The window stays open while the office's report is written.
        const auto report = RunLeverans({"rapport", "tisdag.csv", "-o", "ut.csv"}, folder.path());
        EXPECT_EQ(report.status, 0) << report.err.toStdString();
        EXPECT_TRUE(report.out.isEmpty());
        QFile out(folder.filePath("ut.csv"));
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(out.readAll());
        EXPECT_TRUE(text.contains("108 Skivad J.F.;19;10;0;9;10;;\r\n")) << text.toStdString();
        EXPECT_TRUE(text.contains("120 Lyxfranska;5;0;1;6;-1;;\r\n"));
    }
}

TEST_F(Program, ARouteFileChangedAfterTheDayBeganIsAskedAboutAndReportedAsItBegan) {
    const QString route = Write("tisdag.csv", kRoute);
    SaveShops({{"10"}});
    Write("tisdag.csv", QByteArray(kRoute).replace("12;6;1", "12;6;2"));
    const auto before = Snapshot();
    const auto run = RunLeverans({"tisdag.csv"}, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.startsWith("leverans: tisdag.csv har ändrats sedan dagen påbörjades " +
                                   QDate::currentDate().toString(Qt::ISODate) + " kl. "))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("1 butik är sparad."));
    EXPECT_TRUE(run.err.contains("Fortsätter du används rutten som den var när dagen påbörjades."));
    EXPECT_TRUE(
        run.err.endsWith("Starta med --fortsatt för att fortsätta den dagen eller med "
                         "--ny-dag för att börja en ny dag på ruttfilen.\n"))
        << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(Snapshot(), before);  // both files byte for byte

    // The report is the day's, on the route as it began, and changes nothing.
    const auto report = RunLeverans({"rapport", "tisdag.csv"}, folder.path());
    EXPECT_EQ(report.status, 0) << report.err.toStdString();
    EXPECT_TRUE(report.out.contains("108 Skivad J.F.;19;10;0;9;10;;\r\n"))
        << report.out.toStdString();
    EXPECT_TRUE(report.err.contains("tisdag.csv är inte längre filen som dagen påbörjades på"))
        << report.err.toStdString();
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(Program, AWeekLaterTheDayIsNotResumedUnasked) {
    Write("tisdag.csv", kRoute);
    SaveShops({{"10"}, {"3"}});
    BeganAWeekAgo();
    const QString weekAgo = QDate::currentDate().addDays(-7).toString(Qt::ISODate);
    const auto before = Snapshot();
    const auto asked = RunLeverans({"tisdag.csv"}, folder.path());
    EXPECT_EQ(asked.status, 1);
    EXPECT_TRUE(
        asked.err.startsWith("leverans: Dagen på tisdag.csv påbörjades " + weekAgo + " kl. "))
        << asked.err.toStdString();
    EXPECT_TRUE(asked.err.contains(" och 2 butiker är sparade. "));
    EXPECT_TRUE(asked.err.contains("--fortsatt") && asked.err.contains("--ny-dag"));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(RunLeverans({"--ny-dag", "--fortsatt", "tisdag.csv"}, folder.path()).status, 2);

    // Answered in advance: a new day, the earlier one kept whole beside it.
    const auto newDay = RunLeverans({"--ny-dag", "tisdag.csv"}, folder.path());
    EXPECT_EQ(newDay.status, 0) << newDay.err.toStdString();
    const QString archive = QStringLiteral("tisdag.csv.%1.journal").arg(weekAgo);
    EXPECT_TRUE(newDay.err.contains("den tidigare dagen finns kvar som " + archive + "\n"))
        << newDay.err.toStdString();
    EXPECT_EQ(Snapshot().at(archive), before.at("tisdag.csv.journal"));
    QFile::remove(newDay.out.trimmed());  // the picture of the first page

    const auto today = RunLeverans({"rapport", "tisdag.csv"}, folder.path());
    EXPECT_TRUE(today.out.contains("108 Skivad J.F.;19;0;0;19;;;\r\n")) << today.out.toStdString();
    const auto lastWeek = RunLeverans({"rapport", "--datum", weekAgo, "tisdag.csv"}, folder.path());
    EXPECT_EQ(lastWeek.status, 0) << lastWeek.err.toStdString();
    EXPECT_TRUE(lastWeek.out.contains("108 Skivad J.F.;19;13;0;6;10;3;\r\n"))
        << lastWeek.out.toStdString();
    const auto unknown =
        RunLeverans({"rapport", "--datum", "2020-01-01", "tisdag.csv"}, folder.path());
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err,
              QStringLiteral("leverans: Det finns ingen dag 2020-01-01 för tisdag.csv. "
                             "Dagar som finns: %1 (%2), %3 (tisdag.csv.journal).\n")
                  .arg(weekAgo, archive, QDate::currentDate().toString(Qt::ISODate)));
    const auto wrongDate = RunLeverans({"rapport", "--datum", "2026-13-01", "tisdag.csv"});
    EXPECT_EQ(wrongDate.status, 2);
}

TEST_F(Program, AMissingJournalIsNoDay) {
    Write("tisdag.csv", kRoute);
    const auto named =
        RunLeverans({"rapport", "--journal", "kopia.journal", "tisdag.csv"}, folder.path());
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.err, "leverans: Journalen kopia.journal finns inte.\n");
    EXPECT_TRUE(named.out.isEmpty());
    const auto note = RunLeverans({"foljesedel", "tisdag.csv", "1"}, folder.path());
    EXPECT_EQ(note.status, 1);
    EXPECT_EQ(note.err,
              "leverans: Ingen dag har påbörjats för tisdag.csv: journalen "
              "tisdag.csv.journal finns inte.\n");
    const auto report = RunLeverans({"rapport", "tisdag.csv"}, folder.path());
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.err,
              "leverans: obs: Ingen dag har påbörjats för tisdag.csv: journalen "
              "tisdag.csv.journal finns inte.\n");
    EXPECT_EQ(Files(), QStringList{"tisdag.csv"});
}

TEST_F(Program, AShopPassedOverIsNotReportedAsDelivered) {
    Write("tisdag.csv", kRoute);
    {
        day::OpenedDay opened =
            day::OpenDay(folder.filePath("tisdag.csv").toStdString(), "", day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        form.Command2_Click();  // past Maxi tur 1
        form.Grid1->SetTextMatrix(1, 4, "4");
        form.Command3_Click();
    }
    const auto report = RunLeverans({"rapport", "tisdag.csv"}, folder.path());
    EXPECT_TRUE(report.out.contains("108 Skivad J.F.;19;4;0;15;;4;\r\n"))
        << report.out.toStdString();
    const auto note = RunLeverans({"foljesedel", "tisdag.csv", "1"}, folder.path());
    EXPECT_EQ(note.status, 1);
    EXPECT_EQ(note.err,
              "leverans: tisdag.csv: butiken \"Maxi tur 1\" hoppades över och sparades "
              "aldrig den dagen\n");
    EXPECT_EQ(Files(),
              (QStringList{"tisdag.csv", "tisdag.csv.journal", "tisdag.csv.journal.lock"}));
}

TEST_F(Program, OutputThatCannotBeWrittenSaysWhy) {
    Write("v%1.csv", kRoute);
    {
        day::OpenedDay opened =
            day::OpenDay(folder.filePath("v%1.csv").toStdString(), "", day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        form.Command2_Click();
        form.Grid1->SetTextMatrix(1, 4, "4");
        form.Command3_Click();
    }
    const auto report = RunLeverans({"rapport", "v%1.csv", "-o", "saknas/ut.csv"}, folder.path());
    EXPECT_EQ(report.status, 1);
    EXPECT_TRUE(report.err.endsWith(
        "leverans: saknas/ut.csv: rapporten kunde inte skrivas (mappen finns inte)\n"))
        << report.err.toStdString();
    QDir(folder.path()).mkdir("mapp.csv");
    const auto onFolder = RunLeverans({"rapport", "v%1.csv", "-o", "mapp.csv"}, folder.path());
    EXPECT_TRUE(onFolder.err.endsWith(
        "leverans: mapp.csv: rapporten kunde inte skrivas (det finns en mapp med det namnet)\n"))
        << onFolder.err.toStdString();
    // The note's own name keeps the route's name as it is.
    const auto note = RunLeverans({"foljesedel", "v%1.csv", "2"}, folder.path());
    EXPECT_EQ(note.status, 0) << note.err.toStdString();
    EXPECT_EQ(note.out, "v%1-foljesedel-2.pdf\n");
    EXPECT_TRUE(QFile::exists(folder.filePath("v%1-foljesedel-2.pdf")));
}

// The text of a PDF page range, as pdftotext reads it.
QString PdfText(const QString& pdf, int first = 1, int last = 99) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-f"), QString::number(first), QStringLiteral("-l"),
                   QString::number(last), QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000)) return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The figures on a note's line under "Levererat" and under "Returnerat", by
// where each ends against the right-aligned headings in pdftotext's layout.
std::pair<QString, QString> Columns(const QString& text, const QString& label) {
    const QStringList lines = text.split('\n');
    qsizetype deliveredEnd = -1;
    qsizetype returnedEnd = -1;
    for (const QString& line : lines) {
        if (line.contains("Levererat") && line.contains("Returnerat")) {
            deliveredEnd = line.indexOf("Levererat") + 9;
            returnedEnd = line.indexOf("Returnerat") + 10;
            break;
        }
    }
    std::pair<QString, QString> figures;
    for (const QString& line : lines) {
        if (!line.trimmed().startsWith(label) || deliveredEnd < 0) continue;
        static const QRegularExpression number("-?\\d+");
        auto match = number.globalMatch(line, line.indexOf(label) + label.size());
        while (match.hasNext()) {
            const auto m = match.next();
            const qsizetype end = m.capturedEnd();
            (std::abs(end - deliveredEnd) < std::abs(end - returnedEnd) ? figures.first
                                                                        : figures.second) =
                m.captured();
        }
        return figures;
    }
    return {"?", "?"};
}

TEST_F(Program, DeliveryNoteOfASavedShop) {
    const QString route = Write("tisdag.csv", kRoute);
    {
        day::OpenedDay opened = day::OpenDay(route.toStdString(), "", day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        form.Grid1->SetTextMatrix(1, 4, "10");
        form.Grid1->SetTextMatrix(3, 4, "-2");
        form.Command3_Click();
    }
    const auto note =
        RunLeverans({"foljesedel", "tisdag.csv", "1", "-o", "maxi.pdf"}, folder.path());
    ASSERT_EQ(note.status, 0) << note.err.toStdString();
    const QString text = PdfText(folder.filePath("maxi.pdf"));
    for (const char* expected :
         {"Följesedel", "Maxi tur 1", "Rutt: tisdag.csv", "Sparad: 20", "Artikel", "Levererat",
          "Returnerat", "Summa", "Mottagarens underskrift", "Namnförtydligande"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                                << text.toStdString();
    // Each figure under its own heading: 10 delivered, 2 returned, and the sums.
    EXPECT_EQ(Columns(text, "108 Skivad J.F."), (std::pair<QString, QString>{"10", ""}))
        << text.toStdString();
    EXPECT_EQ(Columns(text, "120 Lyxfranska"), (std::pair<QString, QString>{"", "2"}));
    EXPECT_EQ(Columns(text, "Summa"), (std::pair<QString, QString>{"10", "2"}));
    EXPECT_FALSE(text.contains("116 Jätterasker"));  // nothing left there

    // By its name the same shop; a shop not saved yet, or not on the route, is refused.
    const auto byName =
        RunLeverans({"foljesedel", "tisdag.csv", "Maxi tur 1", "-o", "n.pdf"}, folder.path());
    EXPECT_EQ(byName.status, 0) << byName.err.toStdString();
    const auto unsaved = RunLeverans({"foljesedel", "tisdag.csv", "ICA Butiken"}, folder.path());
    EXPECT_EQ(unsaved.status, 1);
    EXPECT_TRUE(unsaved.err.contains("\"ICA Butiken\" är inte sparad ännu"));
    const auto unknown = RunLeverans({"foljesedel", "tisdag.csv", "9"}, folder.path());
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(unknown.err.contains("rutten har ingen butik \"9\""));
}

TEST_F(Program, ALongDeliveryNoteGoesOnOverASecondPageWithItsHeading) {
    QByteArray file = "Artikel;Lager;Kvantum\n";
    for (int a = 1; a <= 40; ++a)
        file += QByteArray::number(100 + a) +
                " Surdegsbröd med extra lång beskrivning som inte får plats på en rad;;5\n";
    const QString route = Write("lang.csv", file);
    {
        day::OpenedDay opened = day::OpenDay(route.toStdString(), "", day::Access::ReadWrite);
        screen::Form1 form(opened.route, opened.journal.get());
        for (int a = 1; a <= 40; ++a) form.Grid1->SetTextMatrix(a, 4, QString::number(a));
        form.Command3_Click();
    }
    const auto note =
        RunLeverans({"foljesedel", "lang.csv", "Kvantum", "-o", "k.pdf"}, folder.path());
    ASSERT_EQ(note.status, 0) << note.err.toStdString();
    const QString first = PdfText(folder.filePath("k.pdf"), 1, 1);
    const QString second = PdfText(folder.filePath("k.pdf"), 2, 2);
    EXPECT_TRUE(first.contains("101 Surdegsbröd"));
    EXPECT_TRUE(second.contains("(fortsättning)"));
    EXPECT_TRUE(second.contains("Levererat"));
    EXPECT_TRUE(second.contains("140 Surdegsbröd"));
    // Every article once, wrapped rather than cut: its last words are there.
    EXPECT_EQ((first + second).count("plats på en rad"), 40);
    EXPECT_TRUE(PdfText(folder.filePath("k.pdf")).contains("Namnförtydligande"));
}

}  // namespace
