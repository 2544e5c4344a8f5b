#pragma once

#include <QString>
#include <exception>
#include <memory>

class QApplication;

namespace app {

// An application object for a box shown before the window's own exists;
// none when one runs already.
std::unique_ptr<QApplication> BorrowApplication();

// Says why the program cannot go on: always on standard error, prefixed
// with the program's name, and in a message box where a display exists.
// Without one nothing waits for a click.
void ReportFatal(const QString& text, bool displayAvailable);

// The same for a failure while opening the day's files: the technical cause
// behind a journal's message goes to standard error as well.
void ReportFatal(const std::exception& error, bool displayAvailable);

}  // namespace app
