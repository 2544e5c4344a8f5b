#pragma once

#include <QString>

namespace app {

// Says why the program cannot go on: always on standard error, prefixed
// with the program's name, and in a message box where a display exists.
// Without one nothing waits for a click.
void ReportFatal(const QString& text, bool displayAvailable);

}  // namespace app
