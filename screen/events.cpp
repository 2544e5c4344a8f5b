#include "screen/events.h"

#include <QCoreApplication>

namespace screen {

void ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    // Keys and clicks the driver has already typed ahead wait until the
    // caller is done: handled inside the yield, a digit typed after Down
    // would open an entry on the row being left and overwrite what was just
    // committed there.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace screen
