// The program as a user starts it: the command line, a day's route from a
// file, what happens when a file is wrong, and the end-of-day commands.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <memory>

#include "app/program.h"
#include "day/day.h"
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

    // A second window on the same day is refused while this one runs.
    const auto second = RunLeverans({"tisdag.csv"}, folder.path());
    EXPECT_EQ(second.status, 1);
    EXPECT_FALSE(second.err.isEmpty());
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
    const auto form = app::StartWindow(
        [] { return std::make_unique<screen::Form1>(std::make_unique<Broken>()); }, false);
    EXPECT_EQ(form, nullptr);
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

TEST_F(Program, ARouteFileChangedAfterTheDayBeganIsRefused) {
    const QString route = Write("tisdag.csv", kRoute);
    { day::OpenDay(route.toStdString(), "", day::Access::ReadWrite); }
    const QByteArray journal =
        QFile(route + ".journal").exists() ? QByteArray("yes") : QByteArray();
    ASSERT_FALSE(journal.isEmpty());
    Write("tisdag.csv", QByteArray(kRoute).replace("12;6;1", "12;6;2"));
    for (const QStringList& arguments :
         {QStringList{"tisdag.csv"}, QStringList{"rapport", "tisdag.csv"}}) {
        const auto run = RunLeverans(arguments, folder.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains("tisdag.csv.journal")) << run.err.toStdString();
    }
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
    EXPECT_TRUE(text.contains(QRegularExpression("108 Skivad J\\.F\\.\\s+10\\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("120 Lyxfranska\\s+2\\n")));
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
