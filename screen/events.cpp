#include "screen/events.h"

#include <QCoreApplication>

namespace screen {

void ProcessEvents() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace screen
