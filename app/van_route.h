#pragma once

#include <stdexcept>
#include <string>

// A van's route from the office: fetched for the van and date and kept in
// the user's data folder, where the day's journal lies beside it, so that
// the van can go on with the day when the office cannot be reached.
namespace app {

// The van's data folder has no home (neither XDG_DATA_HOME nor HOME is
// set) or cannot be written; the message is Swedish and names the folder.
class DataFolderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// $XDG_DATA_HOME/leverans/bil-BIL, where every day of the van is kept.
std::string VanDataFolder(const std::string& van);

// $XDG_DATA_HOME/leverans/bil-BIL/DATUM (XDG_DATA_HOME defaults to
// ~/.local/share). Characters a file name cannot hold are replaced.
std::string KeptRouteFolder(const std::string& van, const std::string& date);

struct VanRoute {
    std::string path;    // the kept route file, to run the day on
    std::string notice;  // what the driver should know (Swedish), or empty
    // When the office published the route (local ISO 8601); empty when the
    // route fetched earlier is used.
    std::string publishedAt{};
    // A route fetched earlier for the day was another: the office replaced it.
    bool replaced = false;
};

// The route published for the van on the date, written to its kept file
// (only where the bytes differ). When the office cannot be reached, the
// route fetched earlier for that day is used, said in the notice. Throws
// office::Error (or DataFolderError when the folder cannot be written)
// with a Swedish message: no route published, none fetched earlier while
// the office is away, the login or TLS refused.
VanRoute FetchVanRoute(const std::string& conninfo, const std::string& van,
                       const std::string& date);

}  // namespace app
