#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "route/route_start.h"

namespace day {

// A route file that cannot be used. The message is complete and in Swedish,
// ready for the driver: it starts with the file's name as the caller shows
// it, then the line and column where there is one, then what was expected.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Limits that keep a wrong file from taking all memory; a day's route is
// far inside them.
inline constexpr std::size_t kMaxRouteFileBytes = std::size_t{64} << 20U;
inline constexpr long long kMaxRouteCells = 1'000'000;  // articles x shops
inline constexpr std::size_t kMaxNameLength = 100;      // characters of a name

// A route from the bytes of a route file: a spreadsheet saved as CSV with
// the header "Artikel", "Lager", then one shop per column in visiting order,
// and one line per article with its name, the quantity loaded (empty: the
// sum of its orders) and each shop's order (empty: 0).
//
// - Text: UTF-8 with or without a byte-order mark, otherwise Windows-1252.
//   A file that is not UTF-8 throughout but has the mark or any character
//   only UTF-8 writes (two to four bytes) is refused at its first bad byte.
// - Separator ';', ',' or tab, the first of them in the header line.
// - Blanks before a cell's opening quote are dropped; a quoted cell that
//   cannot be read (never closed, text after the closing quote) is refused.
// - Lines that are empty or hold only empty cells are skipped. A line may
//   be shorter than the header (missing cells are empty) and may have empty
//   cells (blanks and line breaks at most) to the right of the last shop,
//   any number of them, but nothing else there.
// - Quantities are whole numbers 0..32767, blanks around them allowed; the
//   orders of one article must add up to at most 32767.
// - Names are trimmed and must not be empty nor longer than
//   kMaxNameLength characters; line breaks and tabs in a quoted name become
//   one blank each run; other control characters are refused, as they
//   cannot be shown.
// - A line that is a single cell holding another of the separators is
//   refused: it is a line saved with the wrong separator, not an article.
//
// Any fault refuses the whole file with a FileError naming the line (where
// the record starts; for a bad byte, its own line) and the column, both
// counted from 1. Refusing takes little memory besides the bytes: cells are
// not kept past the width of a route, and names are copied out only once
// the whole file has been read.
route::RouteSheet ParseRouteFile(std::string_view bytes, const std::string& shownName);

// Every byte of a regular file. Refuses a missing file, a folder, anything
// that is not a regular file and a file larger than kMaxRouteFileBytes,
// with a FileError that starts with shownName.
std::string ReadFileBytes(const std::string& path, const std::string& shownName);

// ReadFileBytes and ParseRouteFile, showing the path as the file's name.
route::RouteSheet ReadRouteFile(const std::string& path);

}  // namespace day
