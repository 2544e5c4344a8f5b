// Arbitrary bytes as a route file.
//
// Properties: ParseRouteFile either refuses with a FileError whose message
// starts with the file's name and is one line of valid UTF-8, or returns a
// plan that starts a route. In a returned plan the tables have one row per
// article and one order per shop, every name is non-empty UTF-8 without
// control characters or blanks at its ends, the orders of an article add up
// to at most 32767, and each article's stock is its Lager cell, or the sum
// of its orders when that cell is empty; names and quantities are those of
// the cells, as ParseCsv reads them. A UTF-8 file reads the same with a
// byte-order mark in front. Any other exception is a finding too.

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

void CheckName(const std::string& name) {
    FUZZ_CHECK(!name.empty());
    FUZZ_CHECK(day::IsValidUtf8(name));
    FUZZ_CHECK(!HasControl(name));
    FUZZ_CHECK(name.front() != ' ' && name.back() != ' ');
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
