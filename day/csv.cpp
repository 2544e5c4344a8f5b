#include "day/csv.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace day {

namespace {

const char* KindText(CsvError::Kind kind) {
    switch (kind) {
        case CsvError::Kind::UnterminatedQuote:
            return "quote never closed";
        case CsvError::Kind::TextAfterQuote:
            return "text after the closing quote";
    }
    return "broken CSV";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

CsvError::CsvError(Kind kind, int line, int column)
    : std::runtime_error("line " + std::to_string(line) + ", column " + std::to_string(column) +
                         ": " + KindText(kind)),
      kind_(kind),
      line_(line),
      column_(column) {}

CsvReader::CsvReader(std::string_view text, char separator, std::size_t maxCells)
    : text_(text), separator_(separator), maxCells_(maxCells) {
    stops_[static_cast<unsigned char>(separator)] = true;
    stops_['\n'] = true;
    stops_['\r'] = true;
}

std::size_t CsvReader::CellEnd(const char* data, std::size_t from, std::size_t size) const {
    // Eight bytes at a time: most cells are a few digits, and a loop that
    // stops at a different byte each time is mispredicted once per cell.
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighBits = 0x8080808080808080ULL;
    const uint64_t separators = kOnes * static_cast<unsigned char>(separator_);
    std::size_t at = from;
    // The lowest flag is the first byte only where the first byte is the low one.
    while (std::endian::native == std::endian::little && at + 8 <= size) {
        uint64_t word = 0;
        std::memcpy(&word, data + at, 8);
        uint64_t found = 0;
        for (const uint64_t stop : {separators, kOnes * '\n', kOnes * '\r'}) {
            const uint64_t x = word ^ stop;  // a zero byte where the stop is
            found |= (x - kOnes) & ~x & kHighBits;
        }
        // Only the lowest flag is sure: a borrow can set the ones above it.
        if (found != 0) return at + static_cast<std::size_t>(std::countr_zero(found)) / 8;
        at += 8;
    }
    while (at < size && !stops_[static_cast<unsigned char>(data[at])]) ++at;
    return at;
}

void CsvReader::EndLine(char c) {
    ++pos_;
    if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++line_;
}

// At a blank that starts a cell: whether a quote follows the blanks. If so
// the cell is quoted and pos_ moves to the quote.
bool CsvReader::QuoteAfterBlanks() {
    std::size_t at = pos_;
    while (at < text_.size() && IsBlank(text_[at]) && text_[at] != separator_) ++at;
    if (at >= text_.size() || text_[at] != '"') return false;
    pos_ = at;
    return true;
}

bool CsvReader::Next() {
    cells_.clear();
    copied_.clear();
    buffer_.clear();
    columns_ = 0;
    extraColumn_ = 0;
    lastExtraColumn_ = 0;
    extra_ = {};
    locatedColumn_ = 0;
    const std::size_t size = text_.size();
    while (pos_ < size && (text_[pos_] == '\n' || text_[pos_] == '\r')) EndLine(text_[pos_]);
    if (pos_ >= size) return false;
    recordLine_ = line_;

    const char* data = text_.data();
    for (;;) {
        ++columns_;
        if (cells_.size() < maxCells_) {
            const char first = pos_ < size ? data[pos_] : '\0';
            if (first == '"' || ((first == ' ' || first == '\t') && QuoteAfterBlanks())) {
                KeepQuoted(ReadQuoted(static_cast<int>(columns_)));
            } else {
                const std::size_t end = CellEnd(data, pos_, size);
                cells_.emplace_back(data + pos_, end - pos_);
                pos_ = end;
            }
        } else {
            PassCell();
        }
        if (pos_ >= size) break;
        const char c = data[pos_];
        if (c == separator_) {
            ++pos_;
            continue;
        }
        EndLine(c);
        break;
    }
    for (const Copied& copy : copied_)
        cells_[copy.cell] = std::string_view(buffer_.data() + copy.offset, copy.length);
    return true;
}

RawCell CsvReader::Raw(std::size_t i) const {
    for (const Copied& copy : copied_) {
        if (copy.cell == i) return {text_.substr(copy.raw, copy.rawLength), true};
    }
    return {cells_[i], false};
}

RawCell CsvReader::ReadQuoted(int column) {
    const std::size_t size = text_.size();
    ++pos_;  // the opening quote
    const std::size_t start = pos_;
    bool doubled = false;
    std::size_t end = 0;
    for (;;) {
        const void* found = std::memchr(text_.data() + pos_, '"', size - pos_);
        const std::size_t quote =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - text_.data()) : size;
        // Line breaks inside the cell still count as lines of the file.
        for (std::size_t i = pos_; i < quote; ++i) {
            if (text_[i] == '\n' || (text_[i] == '\r' && (i + 1 >= size || text_[i + 1] != '\n')))
                ++line_;
        }
        if (quote >= size) throw CsvError(CsvError::Kind::UnterminatedQuote, recordLine_, column);
        if (quote + 1 < size && text_[quote + 1] == '"') {
            doubled = true;
            pos_ = quote + 2;
            continue;
        }
        end = quote;
        pos_ = quote + 1;
        break;
    }

    while (pos_ < size && text_[pos_] != separator_ && IsBlank(text_[pos_])) ++pos_;
    if (pos_ < size && text_[pos_] != separator_ && text_[pos_] != '\n' && text_[pos_] != '\r')
        throw CsvError(CsvError::Kind::TextAfterQuote, recordLine_, column);
    return {text_.substr(start, end - start), doubled};
}

void CsvReader::KeepQuoted(RawCell cell) {
    if (!cell.doubled) {
        cells_.push_back(cell.text);
        return;
    }
    const std::size_t offset = buffer_.size();
    for (std::size_t i = 0; i < cell.text.size(); ++i) {
        buffer_ += cell.text[i];
        if (cell.text[i] == '"') ++i;  // the second of a pair
    }
    const auto raw = static_cast<std::size_t>(cell.text.data() - text_.data());
    copied_.push_back({cells_.size(), offset, buffer_.size() - offset, raw, cell.text.size()});
    cells_.emplace_back();
}

// A cell past the kept ones: read through, noted only when it is not blank.
void CsvReader::PassCell() {
    const std::size_t size = text_.size();
    const char* data = text_.data();
    if (pos_ >= size) return;
    const char first = data[pos_];
    if (first == separator_) {
        // A run of empty cells, as spreadsheets pad lines with, eight bytes
        // at a time. pos_ stays on the run's last separator, which starts
        // the cell after it.
        const uint64_t separators = 0x0101010101010101ULL * static_cast<unsigned char>(separator_);
        std::size_t at = pos_ + 1;
        while (std::endian::native == std::endian::little && at + 8 <= size) {
            uint64_t word = 0;
            std::memcpy(&word, data + at, 8);
            const uint64_t other = word ^ separators;  // non-zero bytes are not separators
            if (other != 0) {
                at += static_cast<std::size_t>(std::countr_zero(other)) / 8;
                break;
            }
            at += 8;
        }
        while (at < size && data[at] == separator_) ++at;
        columns_ += at - pos_ - 1;
        pos_ = at - 1;
        return;
    }
    if (first == '\n' || first == '\r') return;

    const std::size_t start = pos_;
    RawCell cell;
    if (first == '"' || (IsBlank(first) && QuoteAfterBlanks())) {
        cell = ReadQuoted(static_cast<int>(columns_));
    } else {
        const std::size_t end = CellEnd(data, pos_, size);
        cell.text = text_.substr(pos_, end - pos_);
        pos_ = end;
    }
    if (start <= target_ && target_ < pos_) locatedColumn_ = columns_;
    for (const char c : cell.text) {
        if (!IsBlank(c) && c != '\n' && c != '\r') {
            if (extraColumn_ == 0) {
                extraColumn_ = columns_;
                extra_ = cell;
            }
            lastExtraColumn_ = columns_;
            break;
        }
    }
}

std::vector<std::vector<CsvCell>> ParseCsv(std::string_view utf8Text, char separator) {
    std::vector<std::vector<CsvCell>> records;
    CsvReader reader(utf8Text, separator);
    while (reader.Next()) {
        std::vector<CsvCell>& record = records.emplace_back();
        record.reserve(reader.Cells().size());
        int column = 0;
        for (const std::string_view cell : reader.Cells())
            record.push_back({std::string(cell), reader.Line(), ++column});
    }
    return records;
}

char DetectSeparator(std::string_view firstLine) {
    const std::size_t size = firstLine.size();
    std::size_t i = 0;
    while (i < size && (firstLine[i] == '\n' || firstLine[i] == '\r')) ++i;
    // Only a quote that opens the first cell quotes, as the reader has it.
    // A tab before it would already be a candidate, so spaces only.
    std::size_t at = i;
    while (at < size && firstLine[at] == ' ') ++at;
    if (at < size && firstLine[at] == '"') {
        for (i = at + 1; i < size; ++i) {
            if (firstLine[i] != '"') continue;
            if (i + 1 < size && firstLine[i + 1] == '"') {
                ++i;  // a doubled quote
            } else {
                break;
            }
        }
        if (i >= size) return '\0';  // never closed: no record to look in
        ++i;
    }
    for (; i < size; ++i) {
        const char c = firstLine[i];
        if (c == ';' || c == ',' || c == '\t') return c;
        if (c == '\n' || c == '\r') break;
    }
    return '\0';
}

std::string CsvField(std::string_view text, char separator) {
    const bool quote =
        text.find_first_of(std::string{separator, '"', '\n', '\r'}) != std::string_view::npos ||
        (!text.empty() && (IsBlank(text.front()) || IsBlank(text.back())));
    if (!quote) return std::string(text);
    std::string field;
    field.reserve(text.size() + 2);
    field += '"';
    for (const char c : text) {
        field += c;
        if (c == '"') field += '"';
    }
    field += '"';
    return field;
}

std::string InertCsvField(std::string_view text, char separator) {
    // The leading characters that spreadsheets take as the start of a formula.
    if (text.empty() || std::string_view("=+-@\t\r").find(text.front()) == std::string_view::npos)
        return CsvField(text, separator);
    std::string inert;
    inert.reserve(text.size() + 1);
    inert += '\'';
    inert += text;
    return CsvField(inert, separator);
}

}  // namespace day
