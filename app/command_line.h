#pragma once

#include <QString>
#include <QStringList>

namespace app {

// What the program was asked to do, read from its arguments.
struct CommandLine {
    enum class Action {
        Demo,    // no route file: the demonstration route, nothing on disk
        Day,     // the day's route from a file, saves kept in its journal
        Report,  // "rapport": the day as a spreadsheet file
        Note,    // "foljesedel": one shop's delivery note as a PDF
        Office,  // "kontor": the office's commands on its database
        Van,     // --bil: the van's day on the route the office published for it
        Help,
        Version,
        Wrong,  // a usage error; `error` says what, in Swedish
    };
    // The answer to "go on with the earlier day, or begin a new one?",
    // given in advance on the command line.
    enum class DayAnswer { Ask, Continue, NewDay };
    // "kontor skapa", "kontor bil", "kontor publicera", "kontor status",
    // "kontor rapport", "kontor webb".
    enum class OfficeCommand { Create, Van, Publish, Status, Report, Web };

    Action action = Action::Demo;
    DayAnswer dayAnswer = DayAnswer::Ask;
    QString routePath;
    QString date;         // ÅÅÅÅ-MM-DD, reports and the office; empty: the latest day, today
    QString journalPath;  // empty: beside the route file
    QString outputPath;   // empty: standard output (reports only)
    QString shop;         // number or name, delivery notes only
    OfficeCommand officeCommand = OfficeCommand::Create;
    QString van;                // kontor bil, kontor publicera, --bil
    QString role;               // kontor bil: the database role the van logs in as
    bool replaceRoute = false;  // kontor publicera --ersatt: also a route the van has begun on
    QString officeConnection;   // --kontor; empty: from LEVERANS_KONTOR
    QString listenAddress = QStringLiteral("127.0.0.1");  // kontor webb --lyssna
    int listenPort = 8080;
    QString certificatePath;  // kontor webb --certifikat, with --nyckel
    QString keyPath;
    QString error;
};

// Reads the arguments after the program's name. Never touches a file.
CommandLine ParseCommandLine(const QStringList& arguments);

// The Swedish help text, and the version line.
QString HelpText();
QString VersionText();

}  // namespace app
