#include "app/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QHostAddress>

#include <utility>

#include "day/kept_days.h"

namespace app {

namespace {

// QCommandLineParser words its own errors in English; the driver reads Swedish.
QString SwedishError(const QCommandLineParser& parser) {
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().first();
        return QStringLiteral("okänd flagga: %1%2")
            .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name);
    }
    const QString english = parser.errorText();
    const qsizetype quote = english.indexOf(QLatin1Char('\''));
    const QString option =
        quote >= 0 ? english.mid(quote + 1, english.lastIndexOf(QLatin1Char('\'')) - quote - 1)
                   : QString();
    if (english.startsWith(QStringLiteral("Missing value")))
        return QStringLiteral("flaggan %1 behöver ett värde").arg(option);
    if (english.startsWith(QStringLiteral("Unexpected value")))
        return QStringLiteral("flaggan %1 tar inget värde").arg(option);
    return QStringLiteral("kommandoraden kunde inte läsas");
}

CommandLine Wrong(const QString& error) {
    CommandLine line;
    line.action = CommandLine::Action::Wrong;
    line.error = error;
    return line;
}

// "kontor SUBCOMMAND ...": the words after "kontor", and the flags as given.
// `foreign` names a flag that belongs to the van's commands, if one was set.
CommandLine ParseOffice(QStringList words, CommandLine line, bool officeSet,
                        const QString& connection, const QString& role, bool roleSet,
                        bool outputSet, bool replaceSet, const QString& foreign) {
    using Command = CommandLine::OfficeCommand;
    if (!foreign.isEmpty())
        return Wrong(QStringLiteral("flaggan %1 gäller inte kontor-kommandona").arg(foreign));
    if (officeSet && connection.isEmpty())
        return Wrong(QStringLiteral("flaggan --kontor behöver en anslutning"));
    line.officeConnection = connection;
    if (words.isEmpty())
        return Wrong(QStringLiteral(
            "kontor behöver ett kommando: skapa, bil, publicera, status, rapport eller webb"));
    const QString name = words.takeFirst();
    qsizetype least = 0;
    qsizetype most = 0;
    if (name == QStringLiteral("skapa")) {
        line.officeCommand = Command::Create;
    } else if (name == QStringLiteral("bil")) {
        line.officeCommand = Command::Van;
        least = most = 1;
    } else if (name == QStringLiteral("publicera")) {
        line.officeCommand = Command::Publish;
        least = most = 3;
    } else if (name == QStringLiteral("status")) {
        line.officeCommand = Command::Status;
        most = 1;
    } else if (name == QStringLiteral("rapport")) {
        line.officeCommand = Command::Report;
        most = 1;
    } else if (name == QStringLiteral("webb")) {
        line.officeCommand = Command::Web;
    } else {
        return Wrong(QStringLiteral("okänt kontor-kommando: %1 (skapa, bil, publicera, status, "
                                    "rapport eller webb)")
                         .arg(name));
    }
    if (words.size() > most)
        return Wrong(QStringLiteral("för många argument: %1").arg(words.at(most)));
    if (words.size() < least)
        return Wrong(line.officeCommand == Command::Van
                         ? QStringLiteral("kontor bil behöver en bil och --roll ROLL")
                         : QStringLiteral("kontor publicera behöver en bil, ett datum och en "
                                          "ruttfil"));
    if (outputSet && line.officeCommand != Command::Report)
        return Wrong(
            QStringLiteral("flaggan -o gäller bara rapport, foljesedel och kontor rapport"));
    if (roleSet && line.officeCommand != Command::Van)
        return Wrong(QStringLiteral("flaggan --roll gäller bara kontor bil"));
    if (replaceSet && line.officeCommand != Command::Publish)
        return Wrong(QStringLiteral("flaggan --ersatt gäller bara kontor publicera"));
    line.replaceRoute = replaceSet;

    switch (line.officeCommand) {
        case Command::Van:
            if (role.isEmpty())
                return Wrong(
                    QStringLiteral("kontor bil behöver --roll ROLL: databasrollen som "
                                   "bilen loggar in som"));
            line.van = words.at(0);
            line.role = role;
            break;
        case Command::Publish:
            line.van = words.at(0);
            line.date = words.at(1);
            line.routePath = words.at(2);
            break;
        case Command::Status:
        case Command::Report:
            if (!words.isEmpty()) line.date = words.at(0);
            break;
        case Command::Create:
        case Command::Web:
            break;
    }
    if (!line.date.isEmpty() && !day::IsDate(line.date.toStdString()))
        return Wrong(QStringLiteral("\"%1\" är inget datum, skriv ÅÅÅÅ-MM-DD").arg(line.date));
    line.action = CommandLine::Action::Office;
    return line;
}

// kontor webb's --lyssna ADRESS:PORT (an IPv6 address in brackets),
// --certifikat and --nyckel.
CommandLine WithWebFlags(CommandLine line, bool listenSet, const QString& listen,
                         const QString& certificate, const QString& key) {
    if (listenSet) {
        const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
        QString address = colon > 0 ? listen.left(colon) : QString();
        if (address.startsWith(QLatin1Char('[')) && address.endsWith(QLatin1Char(']')))
            address = address.mid(1, address.size() - 2);
        bool number = false;
        const int port = colon > 0 ? listen.mid(colon + 1).toInt(&number) : 0;
        if (address.isEmpty() || !number || port < 1 || port > 65535 ||
            QHostAddress(address).isNull())
            return Wrong(QStringLiteral("flaggan --lyssna: \"%1\" är ingen adress och port; "
                                        "skriv till exempel 127.0.0.1:8080 eller [::1]:8080")
                             .arg(listen));
        line.listenAddress = address;
        line.listenPort = port;
    }
    if (certificate.isEmpty() != key.isEmpty())
        return Wrong(QStringLiteral("flaggorna --certifikat och --nyckel anges tillsammans"));
    line.certificatePath = certificate;
    line.keyPath = key;
    return line;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption journal(QStringLiteral("journal"), QString(), QStringLiteral("FIL"));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("FIL"));
    const QCommandLineOption newDay(QStringLiteral("ny-dag"));
    const QCommandLineOption carryOn(QStringLiteral("fortsatt"));
    const QCommandLineOption date(QStringLiteral("datum"), QString(), QStringLiteral("DATUM"));
    const QCommandLineOption office(QStringLiteral("kontor"), QString(),
                                    QStringLiteral("ANSLUTNING"));
    const QCommandLineOption role(QStringLiteral("roll"), QString(), QStringLiteral("ROLL"));
    const QCommandLineOption van(QStringLiteral("bil"), QString(), QStringLiteral("BIL"));
    const QCommandLineOption replace(QStringLiteral("ersatt"));
    const QCommandLineOption listen(QStringLiteral("lyssna"), QString(),
                                    QStringLiteral("ADRESS:PORT"));
    const QCommandLineOption certificate(QStringLiteral("certifikat"), QString(),
                                         QStringLiteral("FIL"));
    const QCommandLineOption key(QStringLiteral("nyckel"), QString(), QStringLiteral("FIL"));
    parser.addOptions({help, version, journal, output, newDay, carryOn, date, office, role, van,
                       replace, listen, certificate, key});

    QStringList withName = arguments;
    withName.prepend(QStringLiteral("leverans"));
    if (!parser.parse(withName)) return Wrong(SwedishError(parser));
    if (parser.isSet(help)) {
        CommandLine line;
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (parser.isSet(version)) {
        CommandLine line;
        line.action = CommandLine::Action::Version;
        return line;
    }

    CommandLine line;
    line.journalPath = parser.value(journal);
    line.outputPath = parser.value(output);
    QStringList words = parser.positionalArguments();
    if (parser.isSet(journal) && line.journalPath.isEmpty())
        return Wrong(QStringLiteral("flaggan --journal behöver ett filnamn"));
    if (parser.isSet(output) && line.outputPath.isEmpty())
        return Wrong(QStringLiteral("flaggan -o behöver ett filnamn"));
    if (parser.isSet(newDay) && parser.isSet(carryOn))
        return Wrong(QStringLiteral("välj antingen --ny-dag eller --fortsatt"));
    if (parser.isSet(newDay)) line.dayAnswer = CommandLine::DayAnswer::NewDay;
    if (parser.isSet(carryOn)) line.dayAnswer = CommandLine::DayAnswer::Continue;
    line.date = parser.value(date);
    if (parser.isSet(date) && !day::IsDate(line.date.toStdString()))
        return Wrong(QStringLiteral("flaggan --datum: \"%1\" är inget datum, skriv ÅÅÅÅ-MM-DD")
                         .arg(line.date));

    const QString command = words.isEmpty() ? QString() : words.first();
    const bool webFlags = parser.isSet(listen) || parser.isSet(certificate) || parser.isSet(key);
    if (webFlags &&
        (command != QStringLiteral("kontor") || words.value(1) != QStringLiteral("webb")))
        return Wrong(
            QStringLiteral("flaggorna --lyssna, --certifikat och --nyckel gäller bara "
                           "kontor webb"));
    if (webFlags) {
        const QString answer = parser.isSet(newDay)    ? QStringLiteral("--ny-dag")
                               : parser.isSet(carryOn) ? QStringLiteral("--fortsatt")
                                                       : QString();
        CommandLine web = ParseOffice(words.mid(1), line, parser.isSet(office),
                                      parser.value(office), parser.value(role), parser.isSet(role),
                                      parser.isSet(output), parser.isSet(replace),
                                      parser.isSet(journal) ? QStringLiteral("--journal")
                                      : parser.isSet(date)  ? QStringLiteral("--datum")
                                                            : answer);
        if (web.action == CommandLine::Action::Wrong) return web;
        return WithWebFlags(web, parser.isSet(listen), parser.value(listen),
                            parser.value(certificate), parser.value(key));
    }
    if (parser.isSet(van)) {
        // The van's day: its route comes from the office, its journal lies beside it.
        line.van = parser.value(van).trimmed();
        if (line.van.isEmpty()) return Wrong(QStringLiteral("flaggan --bil behöver en bil"));
        if (!words.isEmpty())
            return Wrong(QStringLiteral("--bil hämtar rutten från kontoret och tar ingen "
                                        "ruttfil: %1")
                             .arg(words.first()));
        for (const auto& [option, name] :
             {std::pair{&journal, "--journal"}, std::pair{&output, "-o"},
              std::pair{&role, "--roll"}, std::pair{&replace, "--ersatt"}})
            if (parser.isSet(*option))
                return Wrong(QStringLiteral("flaggan %1 gäller inte --bil").arg(name));
        if (parser.isSet(office) && parser.value(office).isEmpty())
            return Wrong(QStringLiteral("flaggan --kontor behöver en anslutning"));
        line.officeConnection = parser.value(office);
        line.action = CommandLine::Action::Van;
        return line;
    }
    if (command == QStringLiteral("kontor")) {
        const QString answer = parser.isSet(newDay)    ? QStringLiteral("--ny-dag")
                               : parser.isSet(carryOn) ? QStringLiteral("--fortsatt")
                                                       : QString();
        return ParseOffice(words.mid(1), line, parser.isSet(office), parser.value(office),
                           parser.value(role), parser.isSet(role), parser.isSet(output),
                           parser.isSet(replace),
                           parser.isSet(journal) ? QStringLiteral("--journal")
                           : parser.isSet(date)  ? QStringLiteral("--datum")
                                                 : answer);
    }
    if (parser.isSet(office))
        return Wrong(QStringLiteral("flaggan --kontor gäller bara kontor-kommandona och --bil"));
    if (parser.isSet(role)) return Wrong(QStringLiteral("flaggan --roll gäller bara kontor bil"));
    if (parser.isSet(replace))
        return Wrong(QStringLiteral("flaggan --ersatt gäller bara kontor publicera"));
    if (command == QStringLiteral("rapport") || command == QStringLiteral("foljesedel")) {
        const bool note = command == QStringLiteral("foljesedel");
        words.removeFirst();
        const qsizetype wanted = note ? 2 : 1;
        if (words.size() < wanted)
            return Wrong(note ? QStringLiteral("foljesedel behöver en ruttfil och en butik")
                              : QStringLiteral("rapport behöver en ruttfil"));
        if (words.size() > wanted)
            return Wrong(QStringLiteral("för många argument: %1").arg(words.at(wanted)));
        if (line.dayAnswer != CommandLine::DayAnswer::Ask)
            return Wrong(QStringLiteral("flaggan --%1 gäller bara fönstret med en ruttfil")
                             .arg(parser.isSet(newDay) ? QStringLiteral("ny-dag")
                                                       : QStringLiteral("fortsatt")));
        line.action = note ? CommandLine::Action::Note : CommandLine::Action::Report;
        line.routePath = words.at(0);
        if (note) line.shop = words.at(1);
        return line;
    }

    if (parser.isSet(output))
        return Wrong(QStringLiteral("flaggan -o gäller bara rapport och foljesedel"));
    if (parser.isSet(date))
        return Wrong(QStringLiteral("flaggan --datum gäller bara rapport och foljesedel"));
    if (words.size() > 1) return Wrong(QStringLiteral("för många argument: %1").arg(words.at(1)));
    if (words.isEmpty()) {
        if (parser.isSet(journal))
            return Wrong(QStringLiteral("flaggan --journal gäller bara en ruttfil"));
        if (line.dayAnswer != CommandLine::DayAnswer::Ask)
            return Wrong(QStringLiteral("flaggan --%1 gäller bara en ruttfil")
                             .arg(parser.isSet(newDay) ? QStringLiteral("ny-dag")
                                                       : QStringLiteral("fortsatt")));
        return line;  // the demonstration
    }
    line.action = CommandLine::Action::Day;
    line.routePath = words.first();
    return line;
}

QString HelpText() {
    return QStringLiteral(
        "Användning:\n"
        "  leverans                                  demonstrationsrutten (sparar ingenting)\n"
        "  leverans [--journal FIL] [--ny-dag | --fortsatt] RUTT.csv\n"
        "                                            dagens rutt från kontorets ruttfil\n"
        "  leverans rapport RUTT.csv [--datum DATUM] [--journal FIL] [-o FIL]\n"
        "                                            dagens rapport som kalkylblad (CSV)\n"
        "  leverans foljesedel RUTT.csv BUTIK [--datum DATUM] [--journal FIL] [-o FIL.pdf]\n"
        "                                            följesedel för en sparad butik (PDF);\n"
        "                                            BUTIK är numret i rutten (1 = första)\n"
        "                                            eller butikens namn\n"
        "  leverans [--kontor ANSLUTNING] --bil BIL [--datum DATUM] [--ny-dag | --fortsatt]\n"
        "                                            bilens rutt från kontoret för dagen\n"
        "                                            (i dag om inget datum anges); varje\n"
        "                                            sparning skickas till kontoret\n"
        "\n"
        "Kontorets kommandon (kontorets PostgreSQL-databas, se --kontor):\n"
        "  leverans kontor skapa                     skapa eller uppgradera databasens tabeller\n"
        "  leverans kontor bil BIL --roll ROLL       koppla databasrollen ROLL till bilen BIL\n"
        "  leverans kontor publicera BIL DATUM RUTT.csv [--ersatt]\n"
        "                                            publicera bilens rutt för dagen DATUM\n"
        "  leverans kontor status [DATUM]            hur långt varje bil har kommit (i dag\n"
        "                                            om inget datum anges)\n"
        "  leverans kontor rapport [DATUM] [-o FIL]  alla bilars dag som kalkylblad (CSV)\n"
        "  leverans kontor webb [--lyssna ADRESS:PORT] [--certifikat FIL --nyckel FIL]\n"
        "                                            kontorets webbsidor: dagens läge direkt,\n"
        "                                            bilens dag, publicera och rapport\n"
        "                                            (lyssnar på 127.0.0.1:8080 om inget anges)\n"
        "\n"
        "Flaggor:\n"
        "  --journal FIL     dagens journal (annars RUTT.csv.journal bredvid ruttfilen)\n"
        "  --ny-dag          svar i förväg när dagen i journalen påbörjades ett tidigare\n"
        "                    datum eller ruttfilen har ändrats sedan: börja en ny dag\n"
        "                    (den tidigare dagen sparas orörd bredvid journalen)\n"
        "  --fortsatt        svar i förväg på samma fråga: fortsätt den dagen\n"
        "  --datum DATUM     dagen som påbörjades DATUM (ÅÅÅÅ-MM-DD); annars den senaste\n"
        "                    (med --bil och kontor status/rapport: ruttens dag, annars i dag)\n"
        "  --bil BIL         bilen vars rutt hämtas från kontoret; rutten och journalen\n"
        "                    sparas i $XDG_DATA_HOME/leverans (~/.local/share/leverans)\n"
        "  -o, --output FIL  skriv till FIL i stället för standard ut\n"
        "  --kontor ANSLUTNING\n"
        "                    kontorets databas som libpq-anslutning eller URI, till exempel\n"
        "                    \"host=kontor dbname=leverans sslmode=verify-full\"; annars\n"
        "                    miljövariabeln LEVERANS_KONTOR. Lösenord hör hemma i ~/.pgpass,\n"
        "                    aldrig i anslutningen\n"
        "  --roll ROLL       databasrollen som bilen loggar in som (kontor bil)\n"
        "  --ersatt          ersätt en rutt som bilen redan hämtat (kontor publicera)\n"
        "  -h, --help        visa den här texten\n"
        "  -v, --version     visa versionen\n"
        "\n"
        "Ruttfilen är ett kalkylblad sparat som CSV: första raden Artikel;Lager; och\n"
        "en butik per kolumn i besöksordning, sedan en rad per artikel med namn,\n"
        "lastat antal (tomt: summan av raden) och varje butiks beställning.\n"
        "\n"
        "Slutstatus: 0 klart, 1 en fil kunde inte läsas eller skrivas eller kontoret\n"
        "kunde inte nås eller vägrade, 2 fel i kommandoraden.\n");
}

QString VersionText() {
    return QStringLiteral("leverans %1\n").arg(QStringLiteral(LEVERANS_VERSION));
}

}  // namespace app
