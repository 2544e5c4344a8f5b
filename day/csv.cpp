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

CsvReader::CsvReader(std::string_view text, char separator) : text_(text), separator_(separator) {
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

bool CsvReader::Next() {
    cells_.clear();
    copied_.clear();
    buffer_.clear();
    const std::size_t size = text_.size();
    while (pos_ < size && (text_[pos_] == '\n' || text_[pos_] == '\r')) EndLine(text_[pos_]);
    if (pos_ >= size) return false;
    recordLine_ = line_;

    const char* data = text_.data();
    for (;;) {
        if (pos_ < size && data[pos_] == '"') {
            ReadQuoted(static_cast<int>(cells_.size()) + 1);
        } else {
            const std::size_t end = CellEnd(data, pos_, size);
            cells_.emplace_back(data + pos_, end - pos_);
            pos_ = end;
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

void CsvReader::ReadQuoted(int column) {
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

    if (!doubled) {
        cells_.push_back(text_.substr(start, end - start));
    } else {
        const std::size_t offset = buffer_.size();
        for (std::size_t i = start; i < end; ++i) {
            buffer_ += text_[i];
            if (text_[i] == '"') ++i;  // the second of a pair
        }
        copied_.push_back({cells_.size(), offset, buffer_.size() - offset});
        cells_.emplace_back();
    }

    while (pos_ < size && text_[pos_] != separator_ && IsBlank(text_[pos_])) ++pos_;
    if (pos_ < size && text_[pos_] != separator_ && text_[pos_] != '\n' && text_[pos_] != '\r')
        throw CsvError(CsvError::Kind::TextAfterQuote, recordLine_, column);
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
    std::size_t i = 0;
    while (i < firstLine.size() && (firstLine[i] == '\n' || firstLine[i] == '\r')) ++i;
    bool quoted = false;
    for (; i < firstLine.size(); ++i) {
        const char c = firstLine[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted) {
            if (c == ';' || c == ',' || c == '\t') return c;
            if (c == '\n' || c == '\r') break;
        }
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

}  // namespace day
