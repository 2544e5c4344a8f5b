#include "day/day.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "day/journal_messages.h"
#include "day/kept_days.h"
#include "day/local_time.h"
#include "day/route_file.h"

namespace day {

namespace {

namespace fs = std::filesystem;

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// A second window on the same route file, under whatever name, would count
// the day's goods twice: the file itself is held for the window's life.
FileLock HoldRouteFile(const std::string& routePath) {
    FileLock lock;
    switch (lock.TakeExisting(routePath)) {
        case FileLock::Outcome::Taken:
            break;
        case FileLock::Outcome::Busy:
            throw JournalFailure(messages::RouteInUse(routePath), "route file locked");
        case FileLock::Outcome::Failed:
            // A file system without locks: the journal's own lock still holds.
            break;
    }
    return lock;
}

route::RouteSheet SheetOfKeptRoute(const Journal& journal) {
    return ParseRouteFile(*journal.KeptRoute(),
                          journal.Meta().routeName + " (" + journal.Path() + ")");
}

OpenedDay Started(route::RouteSheet sheet, std::unique_ptr<Journal> journal) {
    OpenedDay opened;
    opened.sheet = std::move(sheet);
    route::StartRoute(opened.route, opened.sheet);
    if (journal) journal->Replay(opened.route);
    opened.journal = std::move(journal);
    return opened;
}

std::string Shops(int n) {
    return n == 1 ? "1 butik är sparad" : std::to_string(n) + " butiker är sparade";
}

// "2026-11-30 kl. 08:12" from local ISO 8601.
std::string Moment(const std::string& iso) {
    return iso.size() >= 16 ? iso.substr(0, 10) + " kl. " + iso.substr(11, 5) : iso;
}

constexpr const char* kNoKeptRoute =
    "Journalen är från en äldre version av Leverans och har inte kvar rutten som dagen "
    "påbörjades på, så den dagen kan bara fortsättas med den ursprungliga ruttfilen.";

}  // namespace

std::string QuestionText(const DayQuestion& q) {
    std::string text = q.routeChanged ? q.routeName + " har ändrats sedan dagen påbörjades " +
                                            Moment(q.begunAt) + "; " + Shops(q.savedShops) + "."
                                      : "Dagen på " + q.routeName + " påbörjades " +
                                            Moment(q.begunAt) + " och " + Shops(q.savedShops) + ".";
    if (!q.canContinue)
        return text + " " + kNoKeptRoute + " Börja en ny dag på ruttfilen; den tidigare dagen " +
               "sparas då orörd som " + q.archivePath + ".";
    text +=
        " Fortsätt den dagen (till exempel en nattrutt som gått över midnatt, eller efter ett "
        "avbrott), eller börja en ny dag på ruttfilen; den tidigare dagen sparas då orörd som " +
        q.archivePath + ".";
    if (q.routeChanged) text += " Fortsätter du används rutten som den var när dagen påbörjades.";
    return text;
}

std::string CannotContinueText(const DayQuestion& q) {
    return "Dagen i " + q.journalPath + " kan inte fortsättas: " + q.routeName +
           " har ändrats sedan dagen påbörjades " + Moment(q.begunAt) + ". " + kNoKeptRoute +
           " Starta med --ny-dag för att börja en ny dag; den tidigare dagen sparas då orörd som " +
           q.archivePath + ".";
}

std::string JournalPathFor(const std::string& routePath) {
    std::error_code ec;
    const fs::path real = fs::canonical(routePath, ec);
    if (ec) return DefaultJournalPath(routePath);
    // As given where that names the file itself, so messages show the
    // driver's own path; through a link or "..", beside the real file.
    const fs::path given = fs::absolute(routePath, ec).lexically_normal();
    if (!ec && given == real) return DefaultJournalPath(fs::path(routePath).lexically_normal());
    return DefaultJournalPath(real.string());
}

std::optional<OpenedDay> OpenDayForWindow(const std::string& routePath,
                                          const WindowRequest& request) {
    const std::string bytes = ReadFileBytes(routePath, routePath);
    route::RouteSheet sheet = ParseRouteFile(bytes, routePath);
    FileLock routeLock = HoldRouteFile(routePath);

    const std::string besideRoute = JournalPathFor(routePath);
    std::string journalPath = request.journalPath.empty() ? besideRoute : request.journalPath;
    if (!request.journalPath.empty() && Exists(besideRoute) &&
        !SameFile(besideRoute, request.journalPath))
        throw JournalFailure(messages::JournalElsewhere(routePath, besideRoute),
                             "a journal exists beside the route file");

    const std::string now = LocalTimestamp(request.now);
    auto journal = std::make_unique<Journal>(
        Journal::Open(journalPath, routePath, bytes, Journal::Mode::ReadWrite, now));

    std::string setAside;
    const bool earlierDay = journal->BegunOn() < now.substr(0, 10);
    const bool routeChanged = !journal->RouteMatches();
    if (earlierDay || routeChanged) {
        if (journal->SaveCount() == 0) {
            // Nothing saved: nothing to keep or to ask about.
            journal->BeginNewDay({}, routePath, bytes, now);
        } else {
            DayQuestion question{routePath,
                                 journalPath,
                                 journal->Meta().createdAt,
                                 journal->SavedShops(),
                                 earlierDay,
                                 routeChanged,
                                 journal->KeptRoute().has_value() || !routeChanged,
                                 ArchivePath(journalPath, journal->BegunOn())};
            switch (request.ask(question)) {
                case DayChoice::Cancel:
                    return std::nullopt;
                case DayChoice::NewDay:
                    journal->BeginNewDay(question.archivePath, routePath, bytes, now);
                    setAside = question.archivePath;
                    break;
                case DayChoice::Continue:
                    if (!question.canContinue) throw DayUnanswered(CannotContinueText(question));
                    break;
            }
        }
    }
    if (journal->RouteMatches()) {
        journal->KeepRoute(bytes);
    } else {
        sheet = SheetOfKeptRoute(*journal);
    }
    OpenedDay opened = Started(std::move(sheet), std::move(journal));
    opened.routeLock = std::move(routeLock);
    opened.routeFileDiffers = !opened.journal->RouteMatches();
    opened.setAside = std::move(setAside);
    return opened;
}

OpenedDay ReadDay(const std::string& routePath, const std::string& journalPath,
                  const std::string& date) {
    if (!journalPath.empty() && !Exists(journalPath))
        throw FileError(messages::NoSuchJournal(journalPath));
    const std::string current = journalPath.empty() ? JournalPathFor(routePath) : journalPath;
    const std::vector<KeptDay> days = ListDays(current);

    std::string chosen;
    if (!date.empty()) {
        for (const KeptDay& day : days)
            if (day.BegunOn() == date) chosen = day.path;  // the latest that date
        if (chosen.empty()) {
            std::vector<std::string> listed;
            listed.reserve(days.size());
            for (const KeptDay& day : days)
                listed.push_back(day.begunAt.substr(0, 10) + " (" + day.path + ")");
            throw FileError(messages::NoDayOn(routePath, date, listed));
        }
    } else if (!days.empty()) {
        chosen = days.back().path;
    } else if (Exists(current)) {
        chosen = current;  // unreadable: opening it says why
    }

    if (chosen.empty()) {
        // No day has begun: the plan alone, nothing saved.
        return Started(ReadRouteFile(routePath), nullptr);
    }

    // The route file may have changed or gone since; the journal keeps the
    // route its day began on.
    std::string bytes;
    bool fileRead = false;
    try {
        bytes = ReadFileBytes(routePath, routePath);
        fileRead = true;
    } catch (const FileError&) {
        // Reported below if the journal has no route of its own.
    }
    auto journal =
        std::make_unique<Journal>(Journal::Open(chosen, routePath, bytes, Journal::Mode::ReadOnly));
    const bool matches = fileRead && journal->RouteMatches();
    route::RouteSheet sheet;
    if (journal->KeptRoute()) {
        sheet = SheetOfKeptRoute(*journal);
    } else if (matches) {
        sheet = ParseRouteFile(bytes, routePath);
    } else if (!fileRead) {
        ReadFileBytes(routePath, routePath);  // throws the file's own fault
    } else {
        throw JournalFailure(messages::RouteChanged(routePath, chosen),
                             "journal begun on " + journal->Meta().routeName +
                                 " with fingerprint " + journal->Meta().fingerprint);
    }
    OpenedDay opened = Started(std::move(sheet), std::move(journal));
    opened.routeFileDiffers = !matches;
    return opened;
}

OpenedDay OpenDay(const std::string& routePath, const std::string& journalPath, Access access) {
    if (access == Access::ReadOnly) return ReadDay(routePath, journalPath);
    WindowRequest request;
    request.journalPath = journalPath;
    request.ask = [](const DayQuestion& question) -> DayChoice {
        throw DayUnanswered(QuestionText(question));
    };
    return std::move(*OpenDayForWindow(routePath, request));
}

}  // namespace day
