#include "app/program.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/day_question.h"
#include "app/end_of_day.h"
#include "app/fatal.h"
#include "app/office_commands.h"
#include "app/van_route.h"
#include "day/day.h"
#include "day/local_time.h"
#include "office/errors.h"
#include "office/sender.h"
#include "screen/form1.h"
#include "screen/virtualdisplay.h"

namespace app {

namespace {

void Print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// "2026-12-07 kl. 09:15" from local ISO 8601.
std::string Moment(const std::string& iso) {
    return iso.size() >= 16 ? iso.substr(0, 10) + " kl. " + iso.substr(11, 5) : iso;
}

std::string ReplacedRouteText(const std::string& van, const std::string& date,
                              const std::string& publishedAt, const std::string& setAside) {
    std::string text = "Kontoret har ersatt rutten för bil " + van + " den " + date;
    text += publishedAt.empty() ? "." : " med en ny, publicerad " + Moment(publishedAt) + ".";
    text += " Dagen fortsätter på den nya rutten.";
    if (!setAside.empty())
        text += " Det som sparades på den tidigare rutten finns kvar som " + setAside +
                " och skickas till kontoret som det sparades.";
    return text;
}

int RunWindow(const CommandLine& line, int argc, char** argv) {
    const bool displayGiven = screen::VirtualDisplay::DisplayAvailable();

    // The van's route comes from the office, and is kept for when the
    // office cannot be reached; from there the day runs as on a route file.
    std::string routePath = line.routePath.toStdString();
    std::optional<OfficeConnection> office;
    std::string date = line.date.toStdString();
    std::optional<VanRoute> fetched;
    if (line.action == CommandLine::Action::Van) {
        office = OfficeConnectionOf(line);
        if (!office) return NoOfficeGiven();
        if (date.empty()) date = day::LocalTimestampNow().substr(0, 10);
        try {
            fetched = FetchVanRoute(office->conninfo, line.van.toStdString(), date);
            if (!fetched->notice.empty())
                std::fprintf(stderr, "leverans: %s\n", fetched->notice.c_str());
            routePath = fetched->path;
        } catch (const office::BadConnectionString& e) {
            ReportFatal(QString::fromStdString(office->source + ": " + e.what()), displayGiven);
            return 1;
        } catch (const std::exception& e) {
            ReportFatal(e, displayGiven);
            return 1;
        }
    }

    // The day's files are read and checked before any display or window.
    std::optional<day::OpenedDay> opened;
    bool replaced = fetched && fetched->replaced;
    if (line.action == CommandLine::Action::Day || line.action == CommandLine::Action::Van) {
        day::WindowRequest request;
        request.journalPath = line.journalPath.toStdString();
        request.ask = [&line, &fetched, &replaced, displayGiven](const day::DayQuestion& question) {
            // A van's route file changes only when the office replaces the
            // route: the day goes on on the new one, the earlier day kept
            // aside and still sent. The driver is told, not asked.
            if (fetched && question.routeChanged) {
                replaced = true;
                return day::DayChoice::NewDay;
            }
            switch (line.dayAnswer) {
                case CommandLine::DayAnswer::Continue:
                    return day::DayChoice::Continue;
                case CommandLine::DayAnswer::NewDay:
                    return day::DayChoice::NewDay;
                case CommandLine::DayAnswer::Ask:
                    break;
            }
            // Without a display nothing may wait for an answer.
            if (!displayGiven) throw day::DayUnanswered(UnansweredText(question));
            return AskOnScreen(question);
        };
        try {
            opened = day::OpenDayForWindow(routePath, request);
        } catch (const std::exception& e) {
            ReportFatal(e, displayGiven);
            return 1;
        }
        if (!opened) return 0;  // the driver closed the question: nothing changed
        if (!opened->setAside.empty() && !replaced)
            std::fprintf(stderr, "leverans: den tidigare dagen finns kvar som %s\n",
                         opened->setAside.c_str());
    }
    const QString replacedNotice =
        replaced ? QString::fromStdString(ReplacedRouteText(line.van.toStdString(), date,
                                                            fetched->publishedAt, opened->setAside))
                 : QString();
    if (replaced) Print(stderr, "leverans: " + replacedNotice + "\n");

    // Without a display the window cannot be used; rather than letting the
    // toolkit abort, show the first page on a virtual one and save a picture.
    screen::VirtualDisplay virtualDisplay;
    if (!displayGiven) {
        std::fprintf(stderr,
                     "leverans: ingen skärm hittades (DISPLAY saknas); programmet behöver en "
                     "skärm.\nleverans: startar på en virtuell skärm (Xvfb) och sparar en "
                     "skärmbild av första sidan.\n");
        if (!virtualDisplay.Start()) {
            std::fprintf(stderr, "leverans: Xvfb kunde inte startas; ritar utan skärm.\n");
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
    }

    QApplication application(argc, argv);
    // Every save the window keeps goes to the office from here, in the
    // background; the window learns only how many have not arrived yet.
    screen::Form1* shown = nullptr;
    std::unique_ptr<office::Sender> sender;
    std::optional<office::SendingJournal> sending;
    if (office && opened) {
        const day::Journal& journal = *opened->journal;
        office::SenderSetup setup{office->conninfo, line.van.toStdString(),    date, journal.Path(),
                                  journal.DayUid(), journal.Meta().fingerprint};
        // Every day the van keeps: earlier days, and days put aside.
        setup.dataFolder = VanDataFolder(line.van.toStdString());
        sender = std::make_unique<office::Sender>(
            std::move(setup),
            [&shown](const office::Outbox& outbox) {
                // From the sender's thread: the window takes it in its own.
                // Qt owns the posted call and deletes it once it has run.
                // NOLINTNEXTLINE(clang-analyzer-cplusplus.NewDeleteLeaks)
                QMetaObject::invokeMethod(
                    qApp,
                    [&shown, outbox] {
                        if (shown)
                            shown->SetOfficeState(outbox.unsent, outbox.refused, outbox.conflicts);
                    },
                    Qt::QueuedConnection);
            },
            [](const std::string& problem) {
                if (!problem.empty())
                    std::fprintf(stderr, "leverans: till kontoret: %s\n", problem.c_str());
            });
        sending.emplace(*opened->journal, *sender);
    }
    route::SaveJournal* journal = sending  ? &*sending
                                  : opened ? static_cast<route::SaveJournal*>(opened->journal.get())
                                           : nullptr;
    const std::unique_ptr<screen::Form1> form = StartWindow(
        [&opened, journal] {
            return opened ? std::make_unique<screen::Form1>(opened->route, journal)
                          : std::make_unique<screen::Form1>();
        },
        displayGiven);
    if (!form) return 1;
    shown = form.get();
    const struct Unshown {
        screen::Form1*& window;
        ~Unshown() { window = nullptr; }
    } unshown{shown};
    form->show();
    form->activateWindow();
    form->raise();
    if (replaced && displayGiven) {
        // Told over the window, which goes on behind it on the new route.
        auto* box =
            new QMessageBox(QMessageBox::Information, QStringLiteral("Ny rutt från kontoret"),
                            replacedNotice, QMessageBox::Ok, form.get());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }

    if (!displayGiven) {
        const QString path = screen::SaveScreenshot(*form);
        if (path.isEmpty()) {
            std::fprintf(stderr, "leverans: skärmbilden kunde inte sparas.\n");
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
        return 0;
    }
    return QApplication::exec();
}

}  // namespace

std::unique_ptr<screen::Form1> StartWindow(
    const std::function<std::unique_ptr<screen::Form1>()>& make, bool displayGiven) {
    try {
        return make();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "leverans: fel vid starten: %s\n", e.what());
        ReportFatal(
            QStringLiteral("Programmet kunde inte starta. %1").arg(screen::ErrorExplanation(e)),
            displayGiven);
        return nullptr;
    }
}

int Run(int argc, char** argv) {
    screen::EnsureRuntimeDir();
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = ParseCommandLine(arguments);
    switch (line.action) {
        case CommandLine::Action::Help:
            Print(stdout, HelpText());
            return 0;
        case CommandLine::Action::Version:
            Print(stdout, VersionText());
            return 0;
        case CommandLine::Action::Wrong:
            Print(stderr, QStringLiteral("leverans: %1\nSe leverans --help.\n").arg(line.error));
            return 2;
        case CommandLine::Action::Report:
            return WriteReportCommand(line);
        case CommandLine::Action::Note:
            return WriteNoteCommand(line, argc, argv);
        case CommandLine::Action::Office:
            return RunOfficeCommand(line);
        case CommandLine::Action::Demo:
        case CommandLine::Action::Day:
        case CommandLine::Action::Van:
            break;
    }
    return RunWindow(line, argc, argv);
}

}  // namespace app
