#include "app/office_commands.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>

#include "day/local_time.h"
#include "day/output_file.h"
#include "day/route_file.h"
#include "office/fleet.h"
#include "office/pq.h"
#include "office/schema.h"
#include "web/server.h"

namespace app {

namespace {

using Command = CommandLine::OfficeCommand;

void Say(FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

int Fail(const std::string& message, const std::string& detail = {}) {
    if (!detail.empty()) Say(stderr, "leverans: orsak: " + detail + "\n");
    Say(stderr, "leverans: " + message + "\n");
    return 1;
}

std::string Run(office::pq::Connection& conn, const CommandLine& line, const std::string& date,
                const std::string& routeBytes) {
    const std::string van = line.van.toStdString();
    switch (line.officeCommand) {
        case Command::Create: {
            const office::SchemaChange change = office::CreateSchema(conn);
            const std::string to = std::to_string(change.to);
            if (change.from == change.to)
                return "Kontorets databas har redan schemaversion " + to +
                       "; ingenting ändrades.\n";
            if (change.from == 0)
                return "Kontorets databas är skapad (schemaversion " + to + ").\n";
            return "Kontorets databas är uppgraderad från schemaversion " +
                   std::to_string(change.from) + " till " + to + ".\n";
        }
        case Command::Van: {
            const std::string role = line.role.toStdString();
            if (office::AddVan(conn, van, role) == office::VanAdded::AlreadyThere)
                return "Bil " + van + " är redan kopplad till rollen \"" + role +
                       "\"; ingenting ändrades.\n";
            return "Bil " + van + " är kopplad till rollen \"" + role + "\".\n";
        }
        case Command::Publish: {
            const std::string name = QFileInfo(line.routePath).fileName().toStdString();
            const office::Publication done = office::PublishRoute(
                conn, van, date, name, routeBytes,
                line.replaceRoute ? office::Replace::Anyway : office::Replace::IfUnused);
            return "Rutten " + name + " är publicerad för bil " + van + " den " + date + " (" +
                   std::to_string(done.shops) + (done.shops == 1 ? " butik, " : " butiker, ") +
                   std::to_string(done.articles) +
                   (done.articles == 1 ? " artikel)" : " artiklar)") +
                   (!done.replaced ? ".\n"
                    : done.begun
                        ? "; den ersätter rutten som bilen redan har hämtat, och sparningar på "
                          "den tas fortfarande emot.\n"
                        : "; den ersätter rutten som fanns.\n");
        }
        case Command::Status:
            return office::StatusText(office::FleetStatus(conn, date), date);
        case Command::Report:
            return office::FleetReport(conn, date);
        case Command::Web:
            break;
    }
    return {};
}

// "kontor webb": serves the office's pages until the process is stopped.
int RunOfficeWeb(const CommandLine& line, const OfficeConnection& given) {
    try {
        office::pq::CheckConnectionString(given.conninfo);
    } catch (const office::BadConnectionString& e) {
        return Fail(given.source + ": " + e.what(), e.detail());
    }
    int argc = 1;
    char name[] = "leverans";
    char* argv[] = {name, nullptr};
    const QCoreApplication application(argc, argv);
    web::ServerSettings settings;
    settings.conninfo = given.conninfo;
    settings.address = QHostAddress(line.listenAddress);
    settings.port = static_cast<quint16>(line.listenPort);
    settings.certificateFile = line.certificatePath;
    settings.keyFile = line.keyPath;
    web::WebServer server(settings);
    try {
        const quint16 port = server.Start();
        const bool v6 = settings.address.protocol() == QAbstractSocket::IPv6Protocol;
        Say(stdout, std::string("Kontorets webbsidor: ") +
                        (line.certificatePath.isEmpty() ? "http" : "https") + "://" +
                        (v6 ? "[" : "") + line.listenAddress.toStdString() + (v6 ? "]" : "") + ":" +
                        std::to_string(port) + "/\n");
    } catch (const std::runtime_error& e) {
        return Fail(e.what());
    }
    return QCoreApplication::exec();
}

}  // namespace

std::optional<OfficeConnection> OfficeConnectionOf(const CommandLine& line) {
    if (!line.officeConnection.isEmpty())
        return {{line.officeConnection.toStdString(), "--kontor"}};
    const char* fromEnvironment = std::getenv("LEVERANS_KONTOR");
    if (!fromEnvironment || !*fromEnvironment) return std::nullopt;
    return {{fromEnvironment, "LEVERANS_KONTOR"}};
}

int NoOfficeGiven() {
    Say(stderr,
        "leverans: kontorets databas är inte angiven: ange --kontor ANSLUTNING eller "
        "miljövariabeln LEVERANS_KONTOR\nSe leverans --help.\n");
    return 2;
}

int RunOfficeCommand(const CommandLine& line) {
    const std::optional<OfficeConnection> given = OfficeConnectionOf(line);
    if (!given) return NoOfficeGiven();
    const std::string& conninfo = given->conninfo;
    const std::string& source = given->source;
    if (line.officeCommand == Command::Web) return RunOfficeWeb(line, *given);

    // The route file is read and checked as the van reads it, before anything is sent.
    std::string routeBytes;
    if (line.officeCommand == Command::Publish) {
        const std::string path = line.routePath.toStdString();
        try {
            routeBytes = day::ReadFileBytes(path, path);
            day::ParseRouteFile(routeBytes, path);
        } catch (const day::FileError& e) {
            return Fail(e.what());
        }
    }
    const std::string date =
        line.date.isEmpty() ? day::LocalTimestampNow().substr(0, 10) : line.date.toStdString();

    std::string output;
    try {
        office::pq::Connection conn = office::pq::Connection::Open(conninfo);
        output = Run(conn, line, date, routeBytes);
    } catch (const office::BadConnectionString& e) {
        return Fail(source + ": " + e.what(), e.detail());
    } catch (const office::Error& e) {
        return Fail(e.what(), e.detail());
    } catch (const day::FileError& e) {
        return Fail(e.what());
    }

    if (line.officeCommand == Command::Report && !line.outputPath.isEmpty()) {
        const std::string path = line.outputPath.toStdString();
        try {
            day::WriteFileAtomically(path, output);
        } catch (const std::system_error& e) {
            return Fail(
                path + ": rapporten kunde inte skrivas (" + day::WriteCause(e.code().value()) + ")",
                e.what());
        }
        return 0;
    }
    Say(stdout, output);
    if (std::ferror(stdout)) return Fail("det gick inte att skriva till standard ut");
    return 0;
}

}  // namespace app
