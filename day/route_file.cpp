#include "day/route_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>
#include <vector>

#include "day/csv.h"
#include "day/text_encoding.h"

namespace day {

namespace {

constexpr int kMaxQuantity = 32767;
constexpr std::size_t kMaxNames = 32767;  // articles, shops: 16-bit indexes
constexpr std::size_t kShownLength = 40;  // code points of a cell quoted in a message

[[noreturn]] void Fail(const std::string& file, const std::string& what) {
    throw FileError(file + ": " + what);
}

[[noreturn]] void Fail(const std::string& file, int line, const std::string& what) {
    throw FileError(file + ", rad " + std::to_string(line) + ": " + what);
}

[[noreturn]] void Fail(const std::string& file, int line, std::size_t column,
                       const std::string& what) {
    throw FileError(file + ", rad " + std::to_string(line) + ", kolumn " + std::to_string(column) +
                    ": " + what);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool AllBlank(const std::vector<std::string_view>& cells) {
    for (const std::string_view cell : cells) {
        for (const char c : cell) {
            if (!IsBlank(c) && c != '\n' && c != '\r') return false;
        }
    }
    return true;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        char w = word[i];
        if (w >= 'A' && w <= 'Z') w = static_cast<char>(w - 'A' + 'a');
        if (c != w) return false;
    }
    return true;
}

// A cell's text fit for a one-line message: control characters replaced,
// long text cut at a character boundary.
std::string Shown(std::string_view text) {
    std::string shown = "\"";
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80 && ++characters > kShownLength) {
            shown += "…";
            break;
        }
        const bool c1 =
            c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (c < 0x20 || c == 0x7F || c1) {
            shown += "\xEF\xBF\xBD";
            if (c1) ++i;
        } else {
            shown += text[i];
        }
    }
    return shown + "\"";
}

std::string SeparatorName(char separator) {
    switch (separator) {
        case ';':
            return "semikolon";
        case ',':
            return "komma";
        default:
            return "tabb";
    }
}

char Hex(unsigned digit) { return "0123456789ABCDEF"[digit & 0xFU]; }

// A name as the screen can show it: line breaks and tabs (kept inside
// quotes by the spreadsheet) become one blank per run, blanks at the ends
// go. Other control characters are refused; they would show as nothing or
// as boxes.
std::string CleanName(std::string_view cell, const std::string& file, int line,
                      std::size_t column) {
    std::string name;
    name.reserve(cell.size());
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const auto c = static_cast<unsigned char>(cell[i]);
        if (c == '\n' || c == '\r' || c == '\t') {
            if (name.empty() || name.back() != '\n') name += '\n';  // marks the run
            continue;
        }
        // U+0080..U+009F are C2 80..C2 9F; other bytes above 0x7F are
        // parts of printable characters.
        unsigned code = c;
        if (c == 0xC2 && i + 1 < cell.size()) {
            code = static_cast<unsigned char>(cell[i + 1]);
        } else if (c > 0x7F) {
            code = 0xA0;
        }
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            Fail(file, line, column,
                 std::string("namnet innehåller ett tecken som inte kan visas (U+00") +
                     Hex(code >> 4U) + Hex(code) + ")");
        }
        if (!name.empty() && name.back() == '\n') name.back() = ' ';
        name += cell[i];
    }
    if (!name.empty() && name.back() == '\n') name.pop_back();
    const std::string_view trimmed = Trim(name);
    return std::string(trimmed);
}

[[noreturn]] void FailQuantity(std::string_view text, const std::string& file, int line,
                               std::size_t column) {
    Fail(file, line, column, Shown(text) + " är inte ett heltal mellan 0 och 32767");
}

// A quantity cell with blanks or anything else than a few digits.
[[gnu::noinline]] int UncommonQuantity(std::string_view cell, const std::string& file, int line,
                                       std::size_t column) {
    const std::string_view text = Trim(cell);
    if (text.empty()) return -1;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') FailQuantity(text, file, line, column);
        value = value * 10 + (c - '0');
        if (value > kMaxQuantity) FailQuantity(text, file, line, column);
    }
    return value;
}

// A quantity cell: -1 when it is empty, else its whole number. Called for
// every cell of the file, so the usual few digits go first.
int Quantity(std::string_view cell, const std::string& file, int line, std::size_t column) {
    if (cell.empty()) return -1;
    if (cell.size() <= 4) {
        int value = 0;
        std::size_t i = 0;
        for (; i < cell.size(); ++i) {
            const unsigned digit = static_cast<unsigned char>(cell[i]) - unsigned{'0'};
            if (digit > 9) break;
            value = value * 10 + static_cast<int>(digit);
        }
        if (i == cell.size()) return value;  // four digits are always in range
    }
    return UncommonQuantity(cell, file, line, column);
}

int LineOf(std::string_view text, std::size_t offset) {
    int line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++line;
    }
    return line;
}

std::string HeaderWanted(std::string_view word, std::string_view cell) {
    std::string what = "väntade rubriken \"" + std::string(word) + "\"";
    const std::string_view text = Trim(cell);
    return text.empty() ? what + ", cellen är tom" : what + ", här står " + Shown(text);
}

// The first line that is not empty: "Artikel", "Lager" and the shops.
std::vector<std::string> ReadHeader(CsvReader& reader, const std::string& file) {
    bool found = false;
    while (!found && reader.Next()) found = !AllBlank(reader.Cells());
    if (!found) Fail(file, "filen innehåller bara tomma rader");
    const std::vector<std::string_view>& cells = reader.Cells();
    const int line = reader.Line();
    const std::string_view first = cells.empty() ? std::string_view() : cells[0];
    if (!EqualsIgnoringCase(Trim(first), "Artikel"))
        Fail(file, line, 1, HeaderWanted("Artikel", first));
    const std::string_view second = cells.size() < 2 ? std::string_view() : cells[1];
    if (!EqualsIgnoringCase(Trim(second), "Lager"))
        Fail(file, line, 2, HeaderWanted("Lager", second));

    // Spreadsheets pad the header with empty cells over the widest line.
    std::size_t end = cells.size();
    while (end > 2 && Trim(cells[end - 1]).empty()) --end;
    if (end == 2) Fail(file, line, 3, "ingen butik: butikernas namn ska stå efter \"Lager\"");
    if (end - 2 > kMaxNames)
        Fail(file, line, "för många butiker (" + std::to_string(end - 2) + "), högst 32767 går");
    std::vector<std::string> shops;
    shops.reserve(end - 2);
    for (std::size_t i = 2; i < end; ++i) {
        std::string name = CleanName(cells[i], file, line, i + 1);
        if (name.empty()) Fail(file, line, i + 1, "butikens namn saknas");
        shops.push_back(std::move(name));
    }
    return shops;
}

// A line of one cell that holds another separator was saved with the
// wrong one: its quantities would be lost in the name.
void RefuseOtherSeparator(const std::vector<std::string_view>& cells, char separator,
                          const std::string& file, int line) {
    if (cells.size() != 1) return;
    for (const char other : {';', ',', '\t'}) {
        if (other != separator && cells[0].find(other) != std::string_view::npos) {
            Fail(file, line,
                 "raden delas med " + SeparatorName(other) + ", inte med " +
                     SeparatorName(separator) + " som rubrikraden");
        }
    }
}

void ReadArticle(const std::vector<std::string_view>& cells, int line, const std::string& file,
                 route::RouteSheet& sheet) {
    const std::size_t shops = sheet.customers.size();
    std::string name = CleanName(cells[0], file, line, 1);
    if (name.empty()) Fail(file, line, 1, "artikelns namn saknas");
    const int loaded = cells.size() > 1 ? Quantity(cells[1], file, line, 2) : -1;

    std::vector<int16_t> orders(shops, 0);
    long long sum = 0;
    const std::size_t given = std::min(cells.size(), shops + 2);
    for (std::size_t i = 2; i < given; ++i) {
        const int order = Quantity(cells[i], file, line, i + 1);
        if (order > 0) {
            orders[i - 2] = static_cast<int16_t>(order);
            sum += order;
        }
    }
    for (std::size_t i = shops + 2; i < cells.size(); ++i) {
        const std::string_view extra = Trim(cells[i]);
        if (!extra.empty()) {
            Fail(file, line, i + 1,
                 Shown(extra) + " står till höger om den sista butiken (kolumn " +
                     std::to_string(shops + 2) + ")");
        }
    }
    if (sum > kMaxQuantity) {
        Fail(file, line,
             "summan av beställningarna av " + Shown(name) + " är " + std::to_string(sum) +
                 ", högst 32767 går");
    }

    sheet.articles.push_back(std::move(name));
    sheet.lager.push_back(static_cast<int16_t>(loaded < 0 ? sum : loaded));
    sheet.orders.push_back(std::move(orders));
}

route::RouteSheet ParseCsvText(std::string_view text, const std::string& file) {
    char separator = DetectSeparator(text);
    // Without one the header is a single cell, and says what is missing.
    if (separator == '\0') separator = ';';
    CsvReader reader(text, separator);
    route::RouteSheet sheet;
    sheet.customers = ReadHeader(reader, file);
    const auto shops = static_cast<long long>(sheet.customers.size());
    while (reader.Next()) {
        const std::vector<std::string_view>& cells = reader.Cells();
        if (AllBlank(cells)) continue;
        const int line = reader.Line();
        if (sheet.articles.size() >= kMaxNames)
            Fail(file, line, "för många artiklar, högst 32767 går");
        const auto articles = static_cast<long long>(sheet.articles.size()) + 1;
        if (articles * shops > kMaxRouteCells) {
            Fail(file, line,
                 "rutten blir för stor (" + std::to_string(articles) + " artiklar gånger " +
                     std::to_string(shops) + " butiker), högst " + std::to_string(kMaxRouteCells) +
                     " celler går");
        }
        RefuseOtherSeparator(cells, separator, file, line);
        ReadArticle(cells, line, file, sheet);
    }
    if (sheet.articles.empty()) Fail(file, "inga artiklar, filen har bara rubrikraden");
    return sheet;
}

route::RouteSheet ParseText(std::string_view text, const std::string& file) {
    try {
        return ParseCsvText(text, file);
    } catch (const CsvError& e) {
        if (e.kind() == CsvError::Kind::UnterminatedQuote)
            Fail(file, e.line(), e.column(), "citattecknet som inleder cellen avslutas aldrig");
        Fail(file, e.line(), e.column(), "text efter cellens avslutande citattecken");
    }
}

std::string ErrnoText(int error) {
    switch (error) {
        case ENOENT:
            return "filen finns inte";
        case EISDIR:
            return "är en mapp, inte en fil";
        case EACCES:
        case EPERM:
            return "behörighet saknas för att läsa filen";
        case ENOTDIR:
            return "en del av sökvägen är inte en mapp";
        case ENAMETOOLONG:
            return "sökvägen är för lång";
        case ELOOP:
            return "för många symboliska länkar i sökvägen";
        case EMFILE:
        case ENFILE:
            return "för många öppna filer";
        case ENOMEM:
            return "minnet räcker inte";
        case EIO:
            return "läsfel på lagringsenheten";
        case ENXIO:
        case ENODEV:
            return "enheten finns inte";
        default:
            return "filen kan inte läsas (felkod " + std::to_string(error) + ")";
    }
}

class FileCloser {
public:
    explicit FileCloser(int fd) : fd_(fd) {}
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;
    ~FileCloser() { ::close(fd_); }

private:
    int fd_;
};

std::string TooLarge() { return "filen är för stor, högst 64 MB går"; }

}  // namespace

route::RouteSheet ParseRouteFile(std::string_view bytes, const std::string& shownName) {
    if (bytes.empty()) Fail(shownName, "filen är tom");
    if (bytes.size() > kMaxRouteFileBytes) Fail(shownName, TooLarge());
    const std::size_t bom = Utf8BomLength(bytes);
    const std::string_view rest = bytes.substr(bom);
    const std::size_t invalid = FirstInvalidUtf8(rest);
    if (invalid == std::string_view::npos) return ParseText(rest, shownName);
    // The mark says UTF-8, so other bytes are damage, not Windows-1252.
    if (bom != 0) {
        const auto byte = static_cast<unsigned char>(rest[invalid]);
        Fail(shownName, LineOf(rest, invalid),
             std::string("filen är märkt som UTF-8 men har en byte som inte är UTF-8 (0x") +
                 Hex(byte >> 4U) + Hex(byte) + ")");
    }
    return ParseText(Windows1252ToUtf8(rest), shownName);
}

std::string ReadFileBytes(const std::string& path, const std::string& shownName) {
    // A NUL would cut the path short and open another file.
    if (path.find('\0') != std::string::npos) Fail(shownName, "ogiltigt filnamn");
    // Non-blocking, so that a named pipe cannot hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) Fail(shownName, ErrnoText(errno));
    const FileCloser closer(fd);
    struct stat info {};
    if (::fstat(fd, &info) != 0) Fail(shownName, ErrnoText(errno));
    if (S_ISDIR(info.st_mode)) Fail(shownName, ErrnoText(EISDIR));
    if (!S_ISREG(info.st_mode)) Fail(shownName, "är inte en vanlig fil");
    if (static_cast<unsigned long long>(info.st_size) > kMaxRouteFileBytes)
        Fail(shownName, TooLarge());

    // Read to the end rather than to the size seen: the file may still grow.
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (bytes.size() > kMaxRouteFileBytes) Fail(shownName, TooLarge());
            bytes.resize(std::min(bytes.size() * 2, kMaxRouteFileBytes + 1));
        }
        const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail(shownName, ErrnoText(errno));
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    return bytes;
}

route::RouteSheet ReadRouteFile(const std::string& path) {
    const std::string bytes = ReadFileBytes(path, path);
    return ParseRouteFile(bytes, path);
}

}  // namespace day
