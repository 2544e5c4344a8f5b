#include "app/van_route.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "day/output_file.h"
#include "day/route_file.h"
#include "office/errors.h"
#include "office/pq.h"
#include "office/van.h"

namespace app {

namespace {

namespace fs = std::filesystem;

// A name that stays one file in its folder, whatever the office calls it.
std::string FileName(std::string text) {
    for (char& c : text) {
        if (c == '/' || c == '\0' || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    if (text.empty() || text == "." || text == "..") return "rutt.csv";
    return text;
}

std::string DataHome() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return data;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0')
        throw DataFolderError(
            "Bilens rutter och journaler sparas i $HOME/.local/share/leverans (eller "
            "$XDG_DATA_HOME/leverans), men varken HOME eller XDG_DATA_HOME är satt. Sätt HOME "
            "till användarens hemmapp och starta igen.");
    return std::string(home) + "/.local/share";
}

std::string Unwritable(const std::string& folder, int error) {
    const std::string cause = error == ENOTDIR || error == EEXIST
                                  ? "en del av sökvägen är en fil, inte en mapp"
                                  : day::WriteCause(error);
    return "Rutten kan inte sparas i mappen " + folder + ": " + cause + ".";
}

// Refused before the office is asked, so that a route the van cannot keep
// is never noted there as fetched; nothing is created yet.
void CheckWritable(const std::string& folder) {
    std::error_code ec;
    fs::path existing = folder;
    while (existing.has_parent_path() && existing != existing.root_path() &&
           !fs::exists(fs::symlink_status(existing, ec)))
        existing = existing.parent_path();
    if (!fs::is_directory(existing, ec)) throw DataFolderError(Unwritable(folder, ENOTDIR));
    if (::access(existing.c_str(), W_OK) != 0) throw DataFolderError(Unwritable(folder, errno));
}

// The route fetched last for the day: the newest route file in its folder.
std::string NewestKept(const std::string& folder) {
    std::error_code ec;
    std::string newest;
    fs::file_time_type when{};
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if (!it->is_regular_file(ec) || path.extension() != ".csv") continue;
        const fs::file_time_type time = it->last_write_time(ec);
        if (newest.empty() || time > when) {
            newest = path.string();
            when = time;
        }
    }
    return newest;
}

}  // namespace

std::string VanDataFolder(const std::string& van) {
    return DataHome() + "/leverans/" + FileName("bil-" + van);
}

std::string KeptRouteFolder(const std::string& van, const std::string& date) {
    return VanDataFolder(van) + "/" + FileName(date);
}

VanRoute FetchVanRoute(const std::string& conninfo, const std::string& van,
                       const std::string& date) {
    const std::string folder = KeptRouteFolder(van, date);
    CheckWritable(folder);
    std::optional<office::PublishedRoute> published;
    try {
        office::pq::Connection conn =
            office::pq::Connection::Open(conninfo, office::pq::kVanCallTimeout);
        published = office::FetchRoute(conn, van, date);
        // Only a van the office knows, fetching its own route, is noted.
        if (published) office::RecordHeard(conn, van);
    } catch (const office::Unreachable& e) {
        const std::string kept = NewestKept(folder);
        if (kept.empty())
            throw office::Unreachable(std::string(e.what()) + ". Ingen rutt för bil " + van +
                                          " den " + date + " har hämtats tidigare.",
                                      e.detail());
        return {kept,
                std::string(e.what()) + ". Rutten som hämtades tidigare, " + kept + ", används."};
    }
    if (!published)
        throw office::Refused("Kontoret har ingen rutt för bil " + van + " den " + date + ".", {});
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw DataFolderError(Unwritable(folder, ec.value()));
    // The route fetched last for the day, if any, was the one run on.
    const std::string before = NewestKept(folder);
    bool replaced = false;
    if (!before.empty()) {
        try {
            replaced = day::ReadFileBytes(before, before) != published->bytes;
        } catch (const day::FileError&) {
            // Unreadable: nothing to compare with; the journal still knows.
        }
    }
    const std::string path = folder + "/" + FileName(published->name);
    std::string kept;
    try {
        kept = day::ReadFileBytes(path, path);
    } catch (const day::FileError&) {
        // Not fetched before: written below.
    }
    try {
        if (kept != published->bytes) day::WriteFileAtomically(path, published->bytes);
    } catch (const std::system_error& e) {
        throw DataFolderError(Unwritable(folder, e.code().value()));
    }
    return {path, {}, published->publishedAt, replaced};
}

}  // namespace app
