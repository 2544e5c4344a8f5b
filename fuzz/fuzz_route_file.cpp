// Arbitrary bytes as a route file.
//
// Properties: ParseRouteFile either refuses with a FileError whose message
// starts with the file's name and is one line of valid UTF-8, or returns a
// plan that starts a route. In a returned plan the tables have one row per
// article and one order per shop, every name is non-empty UTF-8 without
// control characters or blanks at its ends, the orders of an article add up
// to at most 32767, and each article's stock is its Lager cell, or the sum
// of its orders when that cell is empty; names and quantities are those of
// the cells, as ParseCsv reads them (so the reader that keeps only a
// route's width of each line agrees with one that keeps every cell). Names
// are at most kMaxNameLength characters, and each goes into a report as a
// cell that reads back as itself, with an apostrophe in front where a
// spreadsheet would take it for a formula. A file that is not UTF-8 but has
// the byte-order mark or a multi-byte UTF-8 character is refused at a line.
// A UTF-8 file reads the same with a byte-order mark in front. Any other
// exception is a finding too.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "day/csv.h"
#include "day/route_file.h"
#include "day/text_encoding.h"
#include "fuzz/fuzz_check.h"
#include "route/route.h"

namespace {

const std::string kName = "fuzz.csv";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool Blank(std::string_view text) {
    for (const char c : text) {
        if (!IsSpace(c)) return false;
    }
    return true;
}

// The text without any blanks or line breaks: what a name must keep.
std::string Letters(std::string_view text) {
    std::string letters;
    for (const char c : text) {
        if (!IsSpace(c)) letters += c;
    }
    return letters;
}

bool HasControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0)
            return true;
    }
    return false;
}

std::size_t CodePoints(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

// The name as a report cell, read back.
void CheckInReport(const std::string& name) {
    const std::string field = day::InertCsvField(name, ';');
    const auto records = day::ParseCsv(field + "\r\n", ';');
    FUZZ_CHECK(records.size() == 1 && records[0].size() == 1);
    const std::string& read = records[0][0].text;
    const bool formula = std::string_view("=+-@").find(name.front()) != std::string_view::npos;
    FUZZ_CHECK(read == (formula ? "'" + name : name));
    FUZZ_CHECK(std::string_view("=+-@\t\r").find(read.front()) == std::string_view::npos);
}

void CheckName(const std::string& name) {
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(day::IsValidUtf8(name));
    FUZZ_CHECK(!HasControl(name));
    FUZZ_CHECK(name.front() != ' ' && name.back() != ' ');
    FUZZ_CHECK(CodePoints(name) <= day::kMaxNameLength);
    CheckInReport(name);
}

// A quantity cell: -1 when empty, else its number, which must be a whole
// number 0..32767 since the file was accepted.
int Quantity(const std::vector<day::CsvCell>& cells, std::size_t i) {
    if (i >= cells.size() || Blank(cells[i].text)) return -1;
    std::string_view text = cells[i].text;
    while (text.front() == ' ' || text.front() == '\t') text.remove_prefix(1);
    while (text.back() == ' ' || text.back() == '\t') text.remove_suffix(1);
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    FUZZ_CHECK(error == std::errc() && end == text.data() + text.size());
    FUZZ_CHECK(value >= 0 && value <= 32767);
    return value;
}

// The plan against the cells of the file, read apart from ParseRouteFile.
void CheckAgainstCells(std::string_view bytes, const route::RouteSheet& sheet) {
    const std::string text = day::DecodeToUtf8(bytes);
    char separator = day::DetectSeparator(text);
    if (separator == '\0') separator = ';';
    std::vector<std::vector<day::CsvCell>> records;
    for (auto& record : day::ParseCsv(text, separator)) {
        bool blank = true;
        for (const day::CsvCell& cell : record) blank = blank && Blank(cell.text);
        if (!blank) records.push_back(std::move(record));
    }
    FUZZ_CHECK(records.size() == sheet.articles.size() + 1);
    const std::vector<day::CsvCell>& header = records[0];
    FUZZ_CHECK(header.size() >= sheet.customers.size() + 2);
    for (std::size_t k = 0; k < sheet.customers.size(); ++k)
        FUZZ_CHECK(Letters(sheet.customers[k]) == Letters(header[k + 2].text));
    for (std::size_t k = sheet.customers.size() + 2; k < header.size(); ++k)
        FUZZ_CHECK(Blank(header[k].text));

    for (std::size_t a = 0; a < sheet.articles.size(); ++a) {
        const std::vector<day::CsvCell>& cells = records[a + 1];
        FUZZ_CHECK(Letters(sheet.articles[a]) == Letters(cells[0].text));
        long sum = 0;
        for (std::size_t k = 0; k < sheet.customers.size(); ++k) {
            const int order = Quantity(cells, k + 2);
            FUZZ_CHECK(sheet.orders[a][k] == (order < 0 ? 0 : order));
            sum += sheet.orders[a][k];
        }
        FUZZ_CHECK(sum <= 32767);
        const int loaded = Quantity(cells, 1);
        FUZZ_CHECK(sheet.lager[a] == (loaded < 0 ? sum : loaded));
        for (std::size_t k = sheet.customers.size() + 2; k < cells.size(); ++k)
            FUZZ_CHECK(Blank(cells[k].text));
    }
}

void CheckAccepted(std::string_view bytes, const route::RouteSheet& sheet) {
    FUZZ_CHECK(!sheet.articles.empty() && !sheet.customers.empty());
    FUZZ_CHECK(sheet.lager.size() == sheet.articles.size());
    FUZZ_CHECK(sheet.orders.size() == sheet.articles.size());
    for (const auto& row : sheet.orders) FUZZ_CHECK(row.size() == sheet.customers.size());
    for (const std::string& name : sheet.articles) CheckName(name);
    for (const std::string& name : sheet.customers) CheckName(name);
    CheckAgainstCells(bytes, sheet);

    route::RouteData r;
    route::StartRoute(r, sheet);
    FUZZ_CHECK(r.colArtikel.Count() == static_cast<int>(sheet.articles.size()));
    FUZZ_CHECK(r.colKund.Count() == static_cast<int>(sheet.customers.size()));
}

void CheckRefused(const std::string& message) {
    FUZZ_CHECK(message.starts_with(kName + ": ") || message.starts_with(kName + ", rad "));
    FUZZ_CHECK(message.size() > kName.size() + 2);
    FUZZ_CHECK(day::IsValidUtf8(message));
    FUZZ_CHECK(!HasControl(message));
}

struct Outcome {
    bool accepted = false;
    route::RouteSheet sheet;
    std::string message;
};

Outcome Parse(std::string_view bytes) {
    Outcome out;
    try {
        out.sheet = day::ParseRouteFile(bytes, kName);
        out.accepted = true;
    } catch (const day::FileError& e) {
        out.message = e.what();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unexpected exception: %s\n", e.what());
        std::abort();
    }
    return out;
}

bool SameSheet(const route::RouteSheet& a, const route::RouteSheet& b) {
    return a.articles == b.articles && a.customers == b.customers && a.lager == b.lager &&
           a.orders == b.orders;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Outcome outcome = Parse(bytes);
    try {
        if (outcome.accepted) {
            CheckAccepted(bytes, outcome.sheet);
        } else {
            CheckRefused(outcome.message);
        }
        // Damaged UTF-8 is never read as Windows-1252.
        const std::size_t bom = day::Utf8BomLength(bytes);
        const day::Utf8Scan scan = day::ScanUtf8(bytes.substr(bom));
        if (scan.firstInvalid != std::string_view::npos && (bom != 0 || scan.multiByte)) {
            FUZZ_CHECK(!outcome.accepted);
            FUZZ_CHECK(outcome.message.starts_with(kName + ", rad "));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "unexpected exception while checking: %s\n", e.what());
        std::abort();
    }

    if (day::Utf8BomLength(bytes) == 0 && day::IsValidUtf8(bytes) && size > 0) {
        const Outcome marked = Parse("\xEF\xBB\xBF" + std::string(bytes));
        FUZZ_CHECK(marked.accepted == outcome.accepted);
        FUZZ_CHECK(marked.message == outcome.message);
        FUZZ_CHECK(SameSheet(marked.sheet, outcome.sheet));
    }
    return 0;
}
