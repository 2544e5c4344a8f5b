#pragma once

#include <string>
#include <vector>

#include "day/sqlite.h"

// What the driver reads when the journal cannot be used: plain Swedish that
// names the file and the cause. SQLite's English text goes to detail() only.
namespace day::messages {

// The cause of a failed SQLite call: "disken är full", "journalen är
// skrivskyddad", "läs- eller skrivfel på disken", and so on.
std::string CauseOf(const sql::Error& error);
// The cause of a failed file operation on the journal's folder, by errno.
std::string CauseOfErrno(int error);
// The cause of a journal file that exists but cannot be read, by errno.
std::string CauseOfReadErrno(int error);

// Causes found by reading a journal that exists.
inline constexpr const char* kNotJournal = "filen är ingen journal från Leverans";
// No SQLite header: damaged there, or something else altogether.
inline constexpr const char* kNoHeader = "filen är skadad eller ingen journal från Leverans";
inline constexpr const char* kOtherVersion = "journalen är skriven av en annan version av Leverans";
inline constexpr const char* kDamaged = "filen är skadad";
// The journal file was renamed or deleted while the window had it open.
inline constexpr const char* kMoved = "journalfilen har flyttats eller tagits bort";

std::string SaveFailed(const std::string& journal, const std::string& cause);
std::string RouteChanged(const std::string& route, const std::string& journal);
std::string Unreadable(const std::string& journal, const std::string& cause);
std::string NotThisRoute(const std::string& journal, const std::string& route, long long save,
                         int kund);
std::string InUse(const std::string& journal);
std::string CannotCreate(const std::string& journal, const std::string& cause);
std::string CannotWrite(const std::string& journal, const std::string& cause);
std::string RouteInUse(const std::string& route);
std::string JournalElsewhere(const std::string& route, const std::string& journal);
std::string NoSuchJournal(const std::string& journal);
std::string NoDayBegun(const std::string& route, const std::string& journal);
// listed: each day there is, as "2026-11-30 (tisdag.csv.2026-11-30.journal)".
std::string NoDayOn(const std::string& route, const std::string& date,
                    const std::vector<std::string>& listed);
std::string CannotSetAside(const std::string& journal, const std::string& archive,
                           const std::string& cause);

}  // namespace day::messages
