#include "app/fatal.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>

#include "day/journal.h"
#include "office/errors.h"

namespace app {

std::unique_ptr<QApplication> BorrowApplication() {
    if (QApplication::instance() != nullptr) return nullptr;
    static int argc = 1;
    static char name[] = "leverans";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
}

void ReportFatal(const QString& text, bool displayAvailable) {
    std::fprintf(stderr, "leverans: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
    if (!displayAvailable) return;
    // A box needs an application object.
    const std::unique_ptr<QApplication> own = BorrowApplication();
    QMessageBox::critical(nullptr, QStringLiteral("Leverans"), text);
}

void ReportFatal(const std::exception& error, bool displayAvailable) {
    if (const auto* failure = dynamic_cast<const day::JournalFailure*>(&error))
        std::fprintf(stderr, "leverans: orsak: %s\n", failure->detail().c_str());
    if (const auto* failure = dynamic_cast<const office::Error*>(&error);
        failure != nullptr && !failure->detail().empty())
        std::fprintf(stderr, "leverans: orsak: %s\n", failure->detail().c_str());
    ReportFatal(QString::fromUtf8(error.what()), displayAvailable);
}

}  // namespace app
