#include "app/end_of_day.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>
#include <exception>
#include <string>

#include "app/delivery_note.h"
#include "app/fatal.h"
#include "day/day.h"
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

// Written aside and moved into place, so a failed write leaves no half file.
bool WriteFile(const QString& path, const std::string& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
        const day::OpenedDay opened = day::OpenDay(
            line.routePath.toStdString(), line.journalPath.toStdString(), day::Access::ReadOnly);
        report = day::WriteReport(opened.sheet, opened.route);
    } catch (const std::exception& e) {
        ReportFatal(e, false);
        return 1;
    }
    if (line.outputPath.isEmpty()) {
        if (!WriteAll(stdout, report))
            return Fail(QStringLiteral("rapporten kunde inte skrivas till standard ut"));
        return 0;
    }
    if (!WriteFile(line.outputPath, report))
        return Fail(QStringLiteral("%1: rapporten kunde inte skrivas").arg(line.outputPath));
    return 0;
}

int WriteNoteCommand(const CommandLine& line, int argc, char** argv) {
    DeliveryNote note;
    QString output = line.outputPath;
    try {
        const day::OpenedDay opened = day::OpenDay(
            line.routePath.toStdString(), line.journalPath.toStdString(), day::Access::ReadOnly);
        const route::RouteData& route = opened.route;
        const int k = FindShop(route, line.shop);
        if (k == 0)
            return Fail(
                QStringLiteral("%1: rutten har ingen butik \"%2\"").arg(line.routePath, line.shop));
        note.shop = QString::fromStdString(route.colKund.Item(k));
        if (k > route.nSparadKund || !opened.journal)
            return Fail(QStringLiteral("%1: butiken \"%2\" är inte sparad ännu")
                            .arg(line.routePath, note.shop));
        const auto savedAt = opened.journal->SavedAt(static_cast<int16_t>(k));
        note.savedAt = savedAt ? ReadableTime(*savedAt) : QString();
        note.routeName = QFileInfo(line.routePath).fileName();
        for (int a = 1; a <= route.colArtikel.Count(); ++a) {
            const int lev = route.nAntal(a, route::kLev, k);
            if (lev == 0) continue;
            note.lines.push_back({QString::fromStdString(route.colArtikel.Item(a)),
                                  lev > 0 ? lev : 0, lev < 0 ? -lev : 0});
        }
        if (output.isEmpty())
            output = QStringLiteral("%1-foljesedel-%2.pdf")
                         .arg(QFileInfo(line.routePath).completeBaseName())
                         .arg(k);
    } catch (const std::exception& e) {
        ReportFatal(e, false);
        return 1;
    }

    // Fonts and the PDF writer need the toolkit, but never a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (!WriteDeliveryNotePdf(note, output))
        return Fail(QStringLiteral("%1: följesedeln kunde inte skrivas").arg(output));
    if (line.outputPath.isEmpty()) std::printf("%s\n", output.toUtf8().constData());
    return 0;
}

}  // namespace app
