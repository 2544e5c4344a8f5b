#include "day/day.h"

#include "day/route_file.h"

namespace day {

OpenedDay OpenDay(const std::string& routePath, const std::string& journalPath, Access access) {
    OpenedDay opened;
    const std::string bytes = ReadFileBytes(routePath, routePath);
    opened.sheet = ParseRouteFile(bytes, routePath);
    route::StartRoute(opened.route, opened.sheet);
    const std::string path = journalPath.empty() ? DefaultJournalPath(routePath) : journalPath;
    opened.journal = std::make_unique<Journal>(Journal::Open(
        path, routePath, bytes,
        access == Access::ReadWrite ? Journal::Mode::ReadWrite : Journal::Mode::ReadOnly));
    opened.journal->Replay(opened.route);
    return opened;
}

}  // namespace day
