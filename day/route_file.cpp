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

enum class Encoding { Utf8, Windows1252 };

// The file as the messages name it, and how its text is written.
struct Source {
    const std::string& file;
    Encoding encoding;
};

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

// Nothing but blanks and line breaks, as CsvReader counts a blank cell.
bool IsBlankCell(std::string_view cell) {
    for (const char c : cell) {
        if (!IsBlank(c) && c != '\n' && c != '\r') return false;
    }
    return true;
}

bool IsBlankRecord(const CsvReader& reader) {
    if (reader.ExtraColumn() != 0) return false;
    for (const std::string_view cell : reader.Cells()) {
        if (!IsBlankCell(cell)) return false;
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

// The characters of a cell's text one at a time, each as UTF-8: read from
// Windows-1252 where the file is in it, doubled quotes as one where the
// text still has them. A UTF-8 file has been checked whole before.
class Characters {
public:
    Characters(std::string_view text, Encoding encoding, bool doubled)
        : text_(text), windows1252_(encoding == Encoding::Windows1252), doubled_(doubled) {}

    // The next character; empty at the end.
    std::string_view Next() {
        if (at_ >= text_.size()) return {};
        const auto c = static_cast<unsigned char>(text_[at_]);
        if (c < 0x80) {
            const std::string_view character = text_.substr(at_, 1);
            at_ += doubled_ && c == '"' ? 2 : 1;
            return character;
        }
        if (windows1252_) {
            ++at_;
            return Windows1252CharUtf8(c);
        }
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        const std::string_view character = text_.substr(at_, length);
        at_ += character.size();
        return character;
    }

private:
    std::string_view text_;
    bool windows1252_;
    bool doubled_;
    std::size_t at_ = 0;
};

// The number of a control character (C0, DEL or C1), or -1.
int ControlCode(std::string_view character) {
    const auto c = static_cast<unsigned char>(character[0]);
    if (character.size() == 1) return c < 0x20 || c == 0x7F ? c : -1;
    // U+0080..U+009F are C2 80..C2 9F.
    const auto next = static_cast<unsigned char>(character[1]);
    return character.size() == 2 && c == 0xC2 && next < 0xA0 ? next : -1;
}

// A cell's text fit for a one-line message: control characters replaced,
// long text cut at a character boundary.
std::string Shown(std::string_view text, Encoding encoding, bool doubled = false) {
    std::string shown = "\"";
    Characters characters(text, encoding, doubled);
    std::size_t count = 0;
    for (std::string_view c = characters.Next(); !c.empty(); c = characters.Next()) {
        if (++count > kShownLength) {
            shown += "…";
            break;
        }
        if (ControlCode(c) >= 0) {
            shown += "\xEF\xBF\xBD";
        } else {
            shown += c;
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

// A name that CleanName would give back as it is: printable UTF-8 (or
// ASCII, in a Windows-1252 file), no blanks at the ends, no tabs or line
// breaks, no doubled quotes, short enough. Most names are.
bool IsPlainName(std::string_view cell, Encoding encoding, bool doubled) {
    if (cell.empty() || cell.size() > 4 * kMaxNameLength || cell.front() == ' ' ||
        cell.back() == ' ')
        return false;
    const bool utf8 = encoding == Encoding::Utf8;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        const auto c = static_cast<unsigned char>(cell[i]);
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F || (doubled && c == '"')) return false;
        } else if (!utf8 || (c == 0xC2 && i + 1 < cell.size() &&
                             static_cast<unsigned char>(cell[i + 1]) < 0xA0)) {
            return false;  // to decode, or a C1 control (the file is valid UTF-8)
        }
        characters += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return characters <= kMaxNameLength;
}

// A name as the screen can show it: line breaks and tabs (kept inside
// quotes by the spreadsheet) become one blank per run, blanks at the ends
// go. Other control characters are refused; they would show as nothing or
// as boxes. So is a name longer than kMaxNameLength, checked as it grows:
// a name never takes more memory than that, whatever the cell holds.
std::string CleanName(std::string_view cell, Encoding encoding, bool doubled,
                      const std::string& file, int line, std::size_t column) {
    if (IsPlainName(cell, encoding, doubled)) return std::string(cell);
    std::string name;
    name.reserve(std::min(cell.size(), 4 * kMaxNameLength));
    std::size_t length = 0;  // characters in name
    std::size_t blanks = 0;  // blanks waiting for a character after them
    bool inRun = false;      // in a run of line breaks and tabs
    Characters characters(cell, encoding, doubled);
    for (std::string_view c = characters.Next(); !c.empty(); c = characters.Next()) {
        const char first = c[0];
        if (first > ' ' && first < 0x7F) {
            // The usual printable ASCII, without the checks below.
            if (name.empty()) blanks = 0;
            length += blanks + 1;
            if (length > kMaxNameLength) break;
            if (blanks != 0) name.append(blanks, ' ');
            blanks = 0;
            inRun = false;
            name += first;
            continue;
        }
        if (first == '\n' || first == '\r' || first == '\t') {
            if (!inRun) ++blanks;
            inRun = true;
            continue;
        }
        inRun = false;
        const int code = ControlCode(c);
        if (code >= 0) {
            Fail(file, line, column,
                 std::string("namnet innehåller ett tecken som inte kan visas (U+00") +
                     Hex(static_cast<unsigned>(code) >> 4U) + Hex(static_cast<unsigned>(code)) +
                     ")");
        }
        if (first == ' ') {
            ++blanks;
            continue;
        }
        if (name.empty()) blanks = 0;  // blanks before the name go
        length += blanks + 1;
        if (length > kMaxNameLength) break;
        name.append(blanks, ' ');
        blanks = 0;
        name += c;
    }
    if (length > kMaxNameLength)
        Fail(file, line, column,
             "namnet är längre än " + std::to_string(kMaxNameLength) + " tecken");
    return name;
}

// A name cell kept until the whole file has been read: only then are the
// names copied out, so that a file refused late has taken no memory for
// them.
struct NameCell {
    RawCell raw;
    int line;
    std::size_t column;
};

std::vector<std::string> CopyNames(const std::vector<NameCell>& cells, const Source& source) {
    std::vector<std::string> names;
    names.reserve(cells.size());
    for (const NameCell& cell : cells) {
        names.push_back(CleanName(cell.raw.text, source.encoding, cell.raw.doubled, source.file,
                                  cell.line, cell.column));
    }
    return names;
}

[[noreturn]] void FailQuantity(std::string_view text, const Source& source, int line,
                               std::size_t column) {
    Fail(source.file, line, column,
         Shown(text, source.encoding) + " är inte ett heltal mellan 0 och 32767");
}

// A quantity cell with blanks or anything else than a few digits.
[[gnu::noinline]] int UncommonQuantity(std::string_view cell, const Source& source, int line,
                                       std::size_t column) {
    const std::string_view text = Trim(cell);
    if (text.empty()) return -1;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') FailQuantity(text, source, line, column);
        value = value * 10 + (c - '0');
        if (value > kMaxQuantity) FailQuantity(text, source, line, column);
    }
    return value;
}

// A quantity cell: -1 when it is empty, else its whole number. Called for
// every cell of the file, so the usual few digits go first.
int Quantity(std::string_view cell, const Source& source, int line, std::size_t column) {
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
    return UncommonQuantity(cell, source, line, column);
}

int LineOf(std::string_view text, std::size_t offset) {
    int line = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++line;
    }
    return line;
}

std::string HeaderWanted(std::string_view word, std::string_view cell, Encoding encoding) {
    std::string what = "väntade rubriken \"" + std::string(word) + "\"";
    const std::string_view text = Trim(cell);
    return text.empty() ? what + ", cellen är tom" : what + ", här står " + Shown(text, encoding);
}

// The first line that is not empty: "Artikel", "Lager" and the shops.
std::vector<NameCell> ReadHeader(CsvReader& reader, const Source& source) {
    const std::string& file = source.file;
    bool found = false;
    while (!found && reader.Next()) found = !IsBlankRecord(reader);
    if (!found) Fail(file, "filen innehåller bara tomma rader");
    const std::vector<std::string_view>& cells = reader.Cells();
    const int line = reader.Line();
    const std::string_view first = cells.empty() ? std::string_view() : cells[0];
    if (!EqualsIgnoringCase(Trim(first), "Artikel"))
        Fail(file, line, 1, HeaderWanted("Artikel", first, source.encoding));
    const std::string_view second = cells.size() < 2 ? std::string_view() : cells[1];
    if (!EqualsIgnoringCase(Trim(second), "Lager"))
        Fail(file, line, 2, HeaderWanted("Lager", second, source.encoding));

    // Spreadsheets pad the header with empty cells over the widest line.
    std::size_t end = reader.LastExtraColumn();
    if (end == 0) {
        end = cells.size();
        while (end > 2 && IsBlankCell(cells[end - 1])) --end;
    }
    if (end == 2) Fail(file, line, 3, "ingen butik: butikernas namn ska stå efter \"Lager\"");
    if (end - 2 > kMaxNames)
        Fail(file, line, "för många butiker (" + std::to_string(end - 2) + "), högst 32767 går");
    std::vector<NameCell> shops;
    shops.reserve(end - 2);
    for (std::size_t i = 2; i < end; ++i) {
        if (CleanName(cells[i], source.encoding, false, file, line, i + 1).empty())
            Fail(file, line, i + 1, "butikens namn saknas");
        shops.push_back({reader.Raw(i), line, i + 1});
    }
    return shops;
}

// A line of one cell that holds another separator was saved with the
// wrong one: its quantities would be lost in the name.
void RefuseOtherSeparator(const CsvReader& reader, char separator, const std::string& file,
                          int line) {
    if (reader.Columns() != 1) return;
    for (const char other : {';', ',', '\t'}) {
        if (other != separator && reader.Cells()[0].find(other) != std::string_view::npos) {
            Fail(file, line,
                 "raden delas med " + SeparatorName(other) + ", inte med " +
                     SeparatorName(separator) + " som rubrikraden");
        }
    }
}

// The reader keeps the cells up to the last shop; any after it must be blank.
void ReadArticle(const CsvReader& reader, const Source& source, std::size_t shops,
                 std::vector<NameCell>& names, route::RouteSheet& sheet) {
    const std::vector<std::string_view>& cells = reader.Cells();
    const std::string& file = source.file;
    const int line = reader.Line();
    const std::string name = CleanName(cells[0], source.encoding, false, file, line, 1);
    if (name.empty()) Fail(file, line, 1, "artikelns namn saknas");
    const int loaded = cells.size() > 1 ? Quantity(cells[1], source, line, 2) : -1;

    std::vector<int16_t> orders(shops, 0);
    long long sum = 0;
    const std::size_t given = std::min(cells.size(), shops + 2);
    for (std::size_t i = 2; i < given; ++i) {
        const int order = Quantity(cells[i], source, line, i + 1);
        if (order > 0) {
            orders[i - 2] = static_cast<int16_t>(order);
            sum += order;
        }
    }
    if (reader.ExtraColumn() != 0) {
        const RawCell extra = reader.Extra();
        Fail(file, line, reader.ExtraColumn(),
             Shown(Trim(extra.text), source.encoding, extra.doubled) +
                 " står till höger om den sista butiken (kolumn " + std::to_string(shops + 2) +
                 ")");
    }
    if (sum > kMaxQuantity) {
        Fail(file, line,
             "summan av beställningarna av " + Shown(name, Encoding::Utf8) + " är " +
                 std::to_string(sum) + ", högst 32767 går");
    }

    names.push_back({reader.Raw(0), line, 1});
    sheet.lager.push_back(static_cast<int16_t>(loaded < 0 ? sum : loaded));
    sheet.orders.push_back(std::move(orders));
}

char SeparatorOf(std::string_view text) {
    const char separator = DetectSeparator(text);
    // Without one the header is a single cell, and says what is missing.
    return separator == '\0' ? ';' : separator;
}

route::RouteSheet ParseCsvText(std::string_view text, const Source& source) {
    const std::string& file = source.file;
    const char separator = SeparatorOf(text);
    // Lines are read only as wide as a route can be; blank cells past that
    // are read through without being kept.
    CsvReader reader(text, separator, kMaxNames + 2);
    const std::vector<NameCell> shopNames = ReadHeader(reader, source);
    const std::size_t shops = shopNames.size();
    reader.SetMaxCells(shops + 2);
    std::vector<NameCell> articleNames;
    route::RouteSheet sheet;
    while (reader.Next()) {
        if (IsBlankRecord(reader)) continue;
        const int line = reader.Line();
        if (articleNames.size() >= kMaxNames)
            Fail(file, line, "för många artiklar, högst 32767 går");
        const auto articles = static_cast<long long>(articleNames.size()) + 1;
        if (articles * static_cast<long long>(shops) > kMaxRouteCells) {
            Fail(file, line,
                 "rutten blir för stor (" + std::to_string(articles) + " artiklar gånger " +
                     std::to_string(shops) + " butiker), högst " + std::to_string(kMaxRouteCells) +
                     " celler går");
        }
        RefuseOtherSeparator(reader, separator, file, line);
        ReadArticle(reader, source, shops, articleNames, sheet);
    }
    if (articleNames.empty()) Fail(file, "inga artiklar, filen har bara rubrikraden");
    sheet.customers = CopyNames(shopNames, source);
    sheet.articles = CopyNames(articleNames, source);
    return sheet;
}

[[noreturn]] void FailCsv(const CsvError& e, const std::string& file) {
    if (e.kind() == CsvError::Kind::UnterminatedQuote)
        Fail(file, e.line(), e.column(), "citattecknet som inleder cellen avslutas aldrig");
    Fail(file, e.line(), e.column(), "text efter cellens avslutande citattecken");
}

route::RouteSheet ParseText(std::string_view text, const Source& source) {
    try {
        return ParseCsvText(text, source);
    } catch (const CsvError& e) {
        FailCsv(e, source.file);
    }
}

// A byte that is not UTF-8 in a file that is: its line in the file and the
// column of its cell. Where the quoting breaks before that cell is reached,
// that is said instead.
[[noreturn]] void FailNotUtf8(std::string_view text, std::size_t offset, bool marked,
                              const std::string& file) {
    std::size_t column = 0;
    try {
        CsvReader reader(text, SeparatorOf(text), 0);
        reader.Locate(offset);
        while (column == 0 && reader.Next()) {
            if (reader.End() > offset) column = reader.LocatedColumn();
        }
    } catch (const CsvError& e) {
        FailCsv(e, file);
    }
    const auto byte = static_cast<unsigned char>(text[offset]);
    const std::string what =
        std::string(marked ? "filen är märkt som UTF-8" : "filen är skriven i UTF-8") +
        " men har en byte som inte är UTF-8 (0x" + Hex(byte >> 4U) + Hex(byte) + ")";
    const int line = LineOf(text, offset);
    if (column == 0) Fail(file, line, what);
    Fail(file, line, column, what);
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
    const Utf8Scan scan = ScanUtf8(rest);
    if (scan.firstInvalid == std::string_view::npos)
        return ParseText(rest, {shownName, Encoding::Utf8});
    // The mark, or characters that only UTF-8 writes, say UTF-8: other
    // bytes are damage, and reading the file as Windows-1252 would turn
    // every å, ä and ö in it into two wrong characters.
    if (bom != 0 || scan.multiByte) FailNotUtf8(rest, scan.firstInvalid, bom != 0, shownName);
    // The file is split into cells as it is; only names and the text quoted
    // in messages are decoded, so the file is never copied whole.
    return ParseText(rest, {shownName, Encoding::Windows1252});
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
