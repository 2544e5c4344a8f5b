#include "day/kept_days.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "day/journal_file.h"

namespace day {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kJournalSuffix = ".journal";

struct NameParts {
    fs::path folder;
    std::string stem;    // tisdag.csv
    std::string suffix;  // .journal, or empty
};

NameParts Split(const std::string& journalPath) {
    const fs::path path(journalPath);
    std::string name = path.filename().string();
    std::string suffix;
    if (name.size() > kJournalSuffix.size() && name.ends_with(kJournalSuffix)) {
        suffix = std::string(kJournalSuffix);
        name.resize(name.size() - kJournalSuffix.size());
    }
    return {path.parent_path(), name, suffix};
}

bool Digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "2026-11-30" or "2026-11-30-2" between the stem and the suffix.
bool IsArchiveMiddle(std::string_view middle) {
    if (middle.size() < 10 || !IsDate(std::string(middle.substr(0, 10)))) return false;
    if (middle.size() == 10) return true;
    return middle[10] == '-' && Digits(middle.substr(11));
}

}  // namespace

bool IsDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    const std::string_view view = text;
    if (!Digits(view.substr(0, 4)) || !Digits(view.substr(5, 2)) || !Digits(view.substr(8, 2)))
        return false;
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int dayOfMonth = std::stoi(text.substr(8, 2));
    if (year < 1 || month < 1 || month > 12 || dayOfMonth < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return dayOfMonth <= days;
}

std::string ArchivePath(const std::string& journalPath, const std::string& date) {
    const NameParts parts = Split(journalPath);
    for (int n = 1;; ++n) {
        const std::string middle = n == 1 ? date : date + "-" + std::to_string(n);
        const fs::path candidate = parts.folder / (parts.stem + "." + middle + parts.suffix);
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate.string();
    }
}

std::vector<KeptDay> ListDays(const std::string& journalPath) {
    const NameParts parts = Split(journalPath);
    std::vector<std::string> paths;
    std::error_code ec;
    if (fs::exists(journalPath, ec)) paths.push_back(journalPath);
    const fs::path folder = parts.folder.empty() ? fs::path(".") : parts.folder;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string prefix = parts.stem + ".";
        if (name.size() < prefix.size() + parts.suffix.size() || !name.starts_with(prefix) ||
            !name.ends_with(parts.suffix))
            continue;
        const std::string_view whole = name;
        const std::string_view middle =
            whole.substr(prefix.size(), name.size() - prefix.size() - parts.suffix.size());
        if (!IsArchiveMiddle(middle)) continue;
        paths.push_back((parts.folder / name).string());
    }

    std::vector<KeptDay> days;
    for (const std::string& path : paths) {
        try {
            const JournalContents contents = ReadJournal(path);
            days.push_back({path, contents.meta.createdAt, contents.SavedShops()});
        } catch (const std::exception&) {
            // Not a journal we can read: no day to offer.
        }
    }
    // The latest day is the journal itself, even if a clock was set back.
    std::stable_sort(days.begin(), days.end(), [&](const KeptDay& a, const KeptDay& b) {
        if ((a.path == journalPath) != (b.path == journalPath)) return b.path == journalPath;
        return a.begunAt < b.begunAt;
    });
    return days;
}

}  // namespace day
