#include "app/end_of_day.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>
#include <exception>
#include <string>
#include <system_error>
#include <vector>

#include "app/delivery_note.h"
#include "app/fatal.h"
#include "day/day.h"
#include "day/journal_messages.h"
#include "day/output_file.h"
#include "day/report.h"

namespace app {

namespace {

// The end-of-day commands never show a box: they are run from scripts and
// terminals, often with no display at all.
int Fail(const QString& text) {
    ReportFatal(text, false);
    return 1;
}

bool WriteAll(FILE* stream, const std::string& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
           std::fflush(stream) == 0;
}

// Written aside and moved into place, so a failed write leaves no half
// file; the message says why, as the system tells it.
int WriteOutput(const QString& path, const std::string& bytes, const QString& what) {
    try {
        day::WriteFileAtomically(path.toStdString(), bytes);
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "leverans: orsak: %s\n", e.what());
        return Fail(
            QStringLiteral("%1: %2 kunde inte skrivas (%3)")
                .arg(path, what, QString::fromStdString(day::WriteCause(e.code().value()))));
    }
    return 0;
}

// Notes on standard error about the day read, for whoever runs the command.
void TellAbout(const day::OpenedDay& opened, const CommandLine& line) {
    if (opened.routeFileDiffers && opened.journal)
        std::fprintf(stderr,
                     "leverans: obs: %s är inte längre filen som dagen påbörjades på %s; "
                     "rutten som den var då används.\n",
                     line.routePath.toUtf8().constData(), opened.journal->BegunOn().c_str());
}

// The shop by its number in the route (1 = first) or by its exact name.
// "2026-12-07T14:03:00+01:00" as the shop reads it: 2026-12-07 14:03.
QString ReadableTime(const std::string& iso) {
    const QDateTime time = QDateTime::fromString(QString::fromStdString(iso), Qt::ISODate);
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                          : QString::fromStdString(iso);
}

int FindShop(const route::RouteData& day, const QString& shop) {
    bool isNumber = false;
    const int number = shop.trimmed().toInt(&isNumber);
    if (isNumber) return number >= 1 && number <= day.colKund.Count() ? number : 0;
    for (int k = 1; k <= day.colKund.Count(); ++k)
        if (QString::fromStdString(day.colKund.Item(k)) == shop) return k;
    return 0;
}

}  // namespace

int WriteReportCommand(const CommandLine& line) {
    std::string report;
    try {
        const day::OpenedDay opened = day::ReadDay(
            line.routePath.toStdString(), line.journalPath.toStdString(), line.date.toStdString());
        TellAbout(opened, line);
        std::vector<bool> saved;
        if (opened.journal) {
            for (int k = 1; k <= opened.route.colKund.Count(); ++k)
                saved.push_back(opened.journal->SavedAt(static_cast<int16_t>(k)).has_value());
        } else {
            // The report of a day not begun: the plan, every shop empty.
            std::fprintf(
                stderr, "leverans: obs: %s\n",
                day::messages::NoDayBegun(line.routePath.toStdString(),
                                          day::JournalPathFor(line.routePath.toStdString()))
                    .c_str());
        }
        report = day::WriteReport(opened.sheet, opened.route, saved);
    } catch (const std::exception& e) {
        ReportFatal(e, false);
        return 1;
    }
    if (line.outputPath.isEmpty()) {
        if (!WriteAll(stdout, report))
            return Fail(QStringLiteral("rapporten kunde inte skrivas till standard ut"));
        return 0;
    }
    return WriteOutput(line.outputPath, report, QStringLiteral("rapporten"));
}

int WriteNoteCommand(const CommandLine& line, int argc, char** argv) {
    DeliveryNote note;
    QString output = line.outputPath;
    try {
        const day::OpenedDay opened = day::ReadDay(
            line.routePath.toStdString(), line.journalPath.toStdString(), line.date.toStdString());
        if (!opened.journal)
            return Fail(QString::fromStdString(day::messages::NoDayBegun(
                line.routePath.toStdString(), day::JournalPathFor(line.routePath.toStdString()))));
        TellAbout(opened, line);
        const route::RouteData& route = opened.route;
        const int k = FindShop(route, line.shop);
        if (k == 0)
            return Fail(
                QStringLiteral("%1: rutten har ingen butik \"%2\"").arg(line.routePath, line.shop));
        note.shop = QString::fromStdString(route.colKund.Item(k));
        // Only a shop with a save of its own: one passed over got nothing to sign for.
        const auto savedAt = opened.journal->SavedAt(static_cast<int16_t>(k));
        if (!savedAt) {
            return Fail(k < route.nSparadKund
                            ? QStringLiteral("%1: butiken \"%2\" hoppades över och sparades aldrig "
                                             "den dagen")
                                  .arg(line.routePath, note.shop)
                            : QStringLiteral("%1: butiken \"%2\" är inte sparad ännu")
                                  .arg(line.routePath, note.shop));
        }
        note.savedAt = ReadableTime(*savedAt);
        note.routeName =
            QFileInfo(QString::fromStdString(opened.journal->Meta().routeName)).fileName();
        for (int a = 1; a <= route.colArtikel.Count(); ++a) {
            const int lev = route.nAntal(a, route::kLev, k);
            if (lev == 0) continue;
            note.lines.push_back({QString::fromStdString(route.colArtikel.Item(a)),
                                  lev > 0 ? lev : 0, lev < 0 ? -lev : 0});
        }
        if (output.isEmpty())
            output = QStringLiteral("%1-foljesedel-%2.pdf")
                         .arg(QFileInfo(line.routePath).completeBaseName(), QString::number(k));
    } catch (const std::exception& e) {
        ReportFatal(e, false);
        return 1;
    }

    // Fonts and the PDF writer need the toolkit, but never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QByteArray pdf = DeliveryNotePdf(note);
    if (pdf.isEmpty()) return Fail(QStringLiteral("%1: följesedeln kunde inte ritas").arg(output));
    const int status = WriteOutput(output, pdf.toStdString(), QStringLiteral("följesedeln"));
    if (status == 0 && line.outputPath.isEmpty()) std::printf("%s\n", output.toUtf8().constData());
    return status;
}

}  // namespace app
