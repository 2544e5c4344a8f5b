#pragma once

#include <string>

// A van's route from the office: fetched for the van and date and kept in
// the user's data folder, where the day's journal lies beside it, so that
// the van can go on with the day when the office cannot be reached.
namespace app {

// $XDG_DATA_HOME/leverans/bil-BIL/DATUM (XDG_DATA_HOME defaults to
// ~/.local/share). Characters a file name cannot hold are replaced.
std::string KeptRouteFolder(const std::string& van, const std::string& date);

struct VanRoute {
    std::string path;    // the kept route file, to run the day on
    std::string notice;  // what the driver should know (Swedish), or empty
};

// The route published for the van on the date, written to its kept file
// (only where the bytes differ). When the office cannot be reached, the
// route fetched earlier for that day is used, said in the notice. Throws
// office::Error (or std::system_error when the folder cannot be written)
// with a Swedish message: no route published, none fetched earlier while
// the office is away, the login or TLS refused.
VanRoute FetchVanRoute(const std::string& conninfo, const std::string& van,
                       const std::string& date);

}  // namespace app
