#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace day {

// CSV as spreadsheets write it: cells split at one separator character;
// a cell that starts with a double quote runs to the matching quote and may
// hold separators, line breaks and doubled quotes ("" for one "). Records
// end at LF, CRLF or a lone CR; an empty line is no record.

// One cell, where a spreadsheet user would look for it: the line (1-based)
// of the file on which its record starts, and its column (1-based).
struct CsvCell {
    std::string text;
    int line = 0;
    int column = 0;
};

// Text that is not CSV, with the place of the cell at fault.
class CsvError : public std::runtime_error {
public:
    enum class Kind {
        UnterminatedQuote,  // the quote opening the cell is never closed
        TextAfterQuote,     // something other than blanks follows the closing quote
    };
    CsvError(Kind kind, int line, int column);

    Kind kind() const { return kind_; }
    int line() const { return line_; }
    int column() const { return column_; }

private:
    Kind kind_;
    int line_;
    int column_;
};

// Reads one record at a time without copying: a cell is a view into the
// text, or into the reader's own buffer when it had doubled quotes. The
// views stay valid until the next call of Next.
class CsvReader {
public:
    CsvReader(std::string_view text, char separator);

    // Moves to the next record; false at the end of the text. Throws
    // CsvError on broken quoting.
    bool Next();
    const std::vector<std::string_view>& Cells() const { return cells_; }
    // The line on which the current record starts.
    int Line() const { return recordLine_; }

private:
    // A cell copied into the buffer; its view is made once the record is
    // read, as the buffer may move while it grows.
    struct Copied {
        std::size_t cell;
        std::size_t offset;
        std::size_t length;
    };

    std::size_t CellEnd(const char* data, std::size_t from, std::size_t size) const;
    void ReadQuoted(int column);
    void EndLine(char c);

    std::string_view text_;
    char separator_;
    std::array<bool, 256> stops_{};  // the separator and line-end bytes
    std::size_t pos_ = 0;
    int line_ = 1;
    int recordLine_ = 0;
    std::vector<std::string_view> cells_;
    std::vector<Copied> copied_;
    std::string buffer_;
};

// Every record of the text. Throws CsvError on broken quoting.
std::vector<std::vector<CsvCell>> ParseCsv(std::string_view utf8Text, char separator);

// The separator of a file: the first ';', ',' or tab outside quotes in its
// first record (leading empty lines skipped), or '\0' when there is none.
char DetectSeparator(std::string_view firstLine);

// The text as one cell, quoted when it holds the separator, a quote or a
// line break, or has blanks at either end that a reader might trim.
std::string CsvField(std::string_view text, char separator);

}  // namespace day
