#include "day/csv.h"

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

CsvReader::CsvReader(std::string_view text, char separator) : text_(text), separator_(separator) {}

void CsvReader::EndLine(char c) {
    ++pos_;
    if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++line_;
}

bool CsvReader::Next() {
    pieces_.clear();
    buffer_.clear();
    cells_.clear();
    const std::size_t size = text_.size();
    while (pos_ < size && (text_[pos_] == '\n' || text_[pos_] == '\r')) EndLine(text_[pos_]);
    if (pos_ >= size) return false;
    recordLine_ = line_;

    const char* data = text_.data();
    for (;;) {
        if (pos_ < size && data[pos_] == '"') {
            ReadQuoted(static_cast<int>(pieces_.size()) + 1);
        } else {
            const std::size_t start = pos_;
            while (pos_ < size) {
                const char c = data[pos_];
                if (c == separator_ || c == '\n' || c == '\r') break;
                ++pos_;
            }
            pieces_.push_back({false, start, pos_ - start});
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

    // Views into the buffer only now: it may have moved while it grew.
    cells_.reserve(pieces_.size());
    for (const Piece& piece : pieces_) {
        const char* base = piece.inBuffer ? buffer_.data() : data;
        cells_.emplace_back(base + piece.offset, piece.length);
    }
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
        pieces_.push_back({false, start, end - start});
    } else {
        const std::size_t offset = buffer_.size();
        for (std::size_t i = start; i < end; ++i) {
            buffer_ += text_[i];
            if (text_[i] == '"') ++i;  // the second of a pair
        }
        pieces_.push_back({true, offset, buffer_.size() - offset});
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
