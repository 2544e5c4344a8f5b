#include "app/fatal.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>

#include "day/journal.h"
#include "office/errors.h"

namespace app {

void ReportFatal(const QString& text, bool displayAvailable) {
    std::fprintf(stderr, "leverans: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
    if (!displayAvailable) return;
    // A box needs an application object; borrow one when none runs yet.
    std::unique_ptr<QApplication> own;
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "leverans";
        static char* argv[] = {name, nullptr};
        own = std::make_unique<QApplication>(argc, argv);
    }
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
