#include "day/journal_messages.h"

#include <sqlite3.h>

#include <cerrno>

namespace day::messages {

namespace {

constexpr const char* kFull = "disken är full";
constexpr const char* kReadOnly = "journalen är skrivskyddad";
constexpr const char* kFolderReadOnly = "mappen är skrivskyddad";
constexpr const char* kIo = "läs- eller skrivfel på disken";
constexpr const char* kNoPermission = "behörighet saknas";

// Causes named by the operating system, where SQLite passes one on.
const char* SystemCause(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:  // the file may not grow: to the driver the same as a full disk
            return kFull;
        case EROFS:
            return kReadOnly;
        case EIO:
            return kIo;
        default:
            return nullptr;
    }
}

}  // namespace

std::string CauseOf(const sql::Error& error) {
    switch (error.primary()) {
        case SQLITE_FULL:
            return kFull;
        case SQLITE_READONLY:
            if (error.code() == SQLITE_READONLY_DBMOVED) return kMoved;
            return kReadOnly;
        case SQLITE_IOERR:
            if (const char* cause = SystemCause(error.systemError())) return cause;
            return kIo;
        case SQLITE_CANTOPEN:
            return CauseOfReadErrno(error.systemError());
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return kNoPermission;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return kDamaged;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return "journalen är upptagen av ett annat program";
        case SQLITE_NOMEM:
            return "datorns minne räcker inte";
        default:
            return "ett oväntat fel i journalen";
    }
}

std::string CauseOfErrno(int error) {
    switch (error) {
        case EROFS:
        case EACCES:
        case EPERM:
            return kFolderReadOnly;
        case ENOENT:
        case ENOTDIR:
            return "mappen finns inte";
        default:
            if (const char* cause = SystemCause(error)) return cause;
            return "ett oväntat fel i filsystemet";
    }
}

std::string CauseOfReadErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return kNoPermission;
        default:
            if (const char* cause = SystemCause(error)) return cause;
            return "filen kan inte öppnas";
    }
}

std::string SaveFailed(const std::string& journal, const std::string& cause) {
    return "Leveranserna sparades inte: dagens journal " + journal + " kunde inte skrivas (" +
           cause + "). Ingenting har ändrats. Åtgärda felet och tryck Spara igen.";
}

std::string RouteChanged(const std::string& route, const std::string& journal) {
    return route + " har ändrats sedan dagens journal " + journal +
           " påbörjades; journalen hör till den tidigare ruttfilen och har lämnats orörd. "
           "Starta med samma ruttfil som dagen började med.";
}

std::string Unreadable(const std::string& journal, const std::string& cause) {
    return "Dagens journal " + journal + " kan inte läsas (" + cause +
           "). Filen har lämnats orörd.";
}

std::string NotThisRoute(const std::string& journal, const std::string& route, long long save,
                         int kund) {
    return "Dagens journal " + journal + " passar inte till " + route + ": sparning " +
           std::to_string(save) + " (kund " + std::to_string(kund) +
           ") går inte att lägga in. Filen har lämnats orörd.";
}

std::string InUse(const std::string& journal) {
    return "Dagens journal " + journal +
           " används redan av ett annat Leverans-fönster. Stäng det först och försök igen.";
}

std::string CannotCreate(const std::string& journal, const std::string& cause) {
    return "Dagens journal " + journal + " kunde inte skapas (" + cause + ").";
}

std::string CannotWrite(const std::string& journal, const std::string& cause) {
    return "Dagens journal " + journal + " kan inte öppnas för att spara (" + cause + ").";
}

std::string RouteInUse(const std::string& route) {
    return "Ruttfilen " + route +
           " används redan av ett annat Leverans-fönster, kanske under ett annat namn eller "
           "genom en länk. Stäng det först och försök igen.";
}

std::string JournalElsewhere(const std::string& route, const std::string& journal) {
    return "Det finns redan en journal för " + route + ": " + journal +
           ". Starta utan --journal för att fortsätta med den dagen.";
}

std::string NoSuchJournal(const std::string& journal) {
    return "Journalen " + journal + " finns inte.";
}

std::string NoDayBegun(const std::string& route, const std::string& journal) {
    return "Ingen dag har påbörjats för " + route + ": journalen " + journal + " finns inte.";
}

std::string NoDayOn(const std::string& route, const std::string& date,
                    const std::vector<std::string>& listed) {
    std::string text = "Det finns ingen dag " + date + " för " + route + ".";
    if (listed.empty()) return text + " Ingen dag har påbörjats.";
    text += " Dagar som finns: ";
    for (std::size_t i = 0; i < listed.size(); ++i) text += (i == 0 ? "" : ", ") + listed[i];
    return text + ".";
}

std::string CannotSetAside(const std::string& journal, const std::string& archive,
                           const std::string& cause) {
    return "Dagens journal " + journal + " kunde inte sparas undan som " + archive + " (" + cause +
           "). Ingenting har ändrats.";
}

}  // namespace day::messages
