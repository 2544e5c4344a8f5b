#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

using app::CommandLine;
using app::ParseCommandLine;
using Action = CommandLine::Action;

CommandLine Parse(const std::vector<const char*>& words) {
    QStringList arguments;
    for (const char* word : words) arguments << QString::fromUtf8(word);
    return ParseCommandLine(arguments);
}

TEST(CommandLine, EachWayOfStartingIsRecognised) {
    EXPECT_EQ(Parse({}).action, Action::Demo);

    const CommandLine day = Parse({"tisdag.csv"});
    EXPECT_EQ(day.action, Action::Day);
    EXPECT_EQ(day.routePath, "tisdag.csv");
    EXPECT_TRUE(day.journalPath.isEmpty());

    const CommandLine elsewhere =
        Parse({"--journal", "/home/förare/tisdag.journal", "/media/sticka/tisdag.csv"});
    EXPECT_EQ(elsewhere.action, Action::Day);
    EXPECT_EQ(elsewhere.journalPath, "/home/förare/tisdag.journal");
    EXPECT_EQ(elsewhere.routePath, "/media/sticka/tisdag.csv");
    EXPECT_EQ(Parse({"--journal=j.db", "r.csv"}).journalPath, "j.db");

    const CommandLine report = Parse({"rapport", "tisdag.csv", "-o", "ut.csv"});
    EXPECT_EQ(report.action, Action::Report);
    EXPECT_EQ(report.routePath, "tisdag.csv");
    EXPECT_EQ(report.outputPath, "ut.csv");

    const CommandLine note =
        Parse({"foljesedel", "tisdag.csv", "ICA Butiken", "--output", "n.pdf"});
    EXPECT_EQ(note.action, Action::Note);
    EXPECT_EQ(note.shop, "ICA Butiken");
    EXPECT_EQ(note.outputPath, "n.pdf");

    EXPECT_EQ(Parse({"--help"}).action, Action::Help);
    EXPECT_EQ(Parse({"-h"}).action, Action::Help);
    EXPECT_EQ(Parse({"--version"}).action, Action::Version);
    EXPECT_EQ(Parse({"-v"}).action, Action::Version);
    // A file that happens to be called like a command is reached with a path.
    EXPECT_EQ(Parse({"./rapport"}).action, Action::Day);

    // The van's route from the office.
    const CommandLine van =
        Parse({"--bil", "3", "--kontor", "service=bageri", "--datum", "2026-12-08", "--fortsatt"});
    EXPECT_EQ(van.action, Action::Van);
    EXPECT_EQ(van.van, "3");
    EXPECT_EQ(van.officeConnection, "service=bageri");
    EXPECT_EQ(van.date, "2026-12-08");
    EXPECT_EQ(van.dayAnswer, CommandLine::DayAnswer::Continue);
    const CommandLine fromEnvironment = Parse({"--bil", "10"});
    EXPECT_EQ(fromEnvironment.action, Action::Van);
    EXPECT_TRUE(fromEnvironment.officeConnection.isEmpty());
}

TEST(CommandLine, WrongUseIsRefusedInSwedish) {
    const std::vector<std::pair<std::vector<const char*>, QString>> cases = {
        {{"--bogus"}, "okänd flagga: --bogus"},
        {{"-x", "r.csv"}, "okänd flagga: -x"},
        {{"a.csv", "b.csv"}, "för många argument: b.csv"},
        {{"r.csv", "--journal"}, "flaggan --journal behöver ett värde"},
        {{"--journal", "j.db"}, "flaggan --journal gäller bara en ruttfil"},
        {{"r.csv", "-o", "x"}, "flaggan -o gäller bara rapport och foljesedel"},
        {{"rapport"}, "rapport behöver en ruttfil"},
        {{"rapport", "a.csv", "b"}, "för många argument: b"},
        {{"foljesedel", "a.csv"}, "foljesedel behöver en ruttfil och en butik"},
        {{"foljesedel", "a.csv", "1", "2"}, "för många argument: 2"},
        {{"--journal=", "r.csv"}, "flaggan --journal behöver ett filnamn"},
        {{"--bil", "3", "r.csv"}, "--bil hämtar rutten från kontoret och tar ingen ruttfil: r.csv"},
        {{"--bil", "3", "--journal", "j"}, "flaggan --journal gäller inte --bil"},
        {{"--bil", "3", "-o", "x"}, "flaggan -o gäller inte --bil"},
        {{"--bil", " "}, "flaggan --bil behöver en bil"},
        {{"--bil", "3", "--kontor="}, "flaggan --kontor behöver en anslutning"},
    };
    for (const auto& [words, error] : cases) {
        const CommandLine line = Parse(words);
        EXPECT_EQ(line.action, Action::Wrong) << error.toStdString();
        EXPECT_EQ(line.error, error);
    }
}

TEST(CommandLine, HelpNamesEveryCommandAndOption) {
    const QString help = app::HelpText();
    for (const char* word : {"rapport", "foljesedel", "--journal", "--output", "--help",
                             "--version", "RUTT.csv", "Slutstatus", "--bil", "--kontor"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(word))) << word;
    EXPECT_TRUE(app::VersionText().startsWith("leverans "));
}

}  // namespace
