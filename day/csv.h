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
// hold separators, line breaks and doubled quotes ("" for one "). Blanks
// (space, tab) before that opening quote are dropped, as spreadsheets do;
// a quote anywhere else in an unquoted cell is text. Records end at LF,
// CRLF or a lone CR; an empty line is no record.
//
// The reader works on bytes: the separators, quotes, blanks and line ends
// are ASCII, which UTF-8 and Windows-1252 text alike keep as single bytes,
// so cells can be split before the text is decoded.

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

// A cell as it stands between its quotes: doubled quotes still doubled
// when `doubled` is set. A view into the reader's text.
struct RawCell {
    std::string_view text;
    bool doubled = false;
};

// Reads one record at a time without copying: a cell is a view into the
// text, or into the reader's own buffer when it had doubled quotes. The
// views stay valid until the next call of Next.
//
// Only the first maxCells cells of a record are kept; the ones after them
// are read through without storing anything, so a line of millions of
// separators costs no memory. Of those, the first and the last that are
// not blank (anything but spaces, tabs and line breaks) are noted.
class CsvReader {
public:
    static constexpr std::size_t kAllCells = static_cast<std::size_t>(-1);

    CsvReader(std::string_view text, char separator, std::size_t maxCells = kAllCells);

    // Applies from the next record on.
    void SetMaxCells(std::size_t maxCells) { maxCells_ = maxCells; }

    // Moves to the next record; false at the end of the text. Throws
    // CsvError on broken quoting.
    bool Next();
    const std::vector<std::string_view>& Cells() const { return cells_; }
    // Kept cell i as it stands in the text.
    RawCell Raw(std::size_t i) const;
    // The line on which the current record starts.
    int Line() const { return recordLine_; }
    // Every cell of the record, kept or not.
    std::size_t Columns() const { return columns_; }
    // The first cell past the kept ones that is not blank, and its column
    // (1-based); column 0 when there is none.
    std::size_t ExtraColumn() const { return extraColumn_; }
    RawCell Extra() const { return extra_; }
    // The last such cell's column, 0 when there is none.
    std::size_t LastExtraColumn() const { return lastExtraColumn_; }

    // Where the current record ends: the offset of the byte after its line
    // end.
    std::size_t End() const { return pos_; }
    // The column (1-based) of the current record's cell that holds the byte
    // at offset, for cells past the kept ones; 0 when none of them does.
    // Set the offset before reading the record; with maxCells 0 every cell
    // counts.
    void Locate(std::size_t offset) { target_ = offset; }
    std::size_t LocatedColumn() const { return locatedColumn_; }

private:
    // A cell copied into the buffer; its view is made once the record is
    // read, as the buffer may move while it grows.
    struct Copied {
        std::size_t cell;
        std::size_t offset;
        std::size_t length;
        std::size_t raw;  // where its text starts in text_
        std::size_t rawLength;
    };

    std::size_t CellEnd(const char* data, std::size_t from, std::size_t size) const;
    bool QuoteAfterBlanks();
    RawCell ReadQuoted(int column);
    void KeepQuoted(RawCell cell);
    void PassCell();
    void EndLine(char c);

    std::string_view text_;
    char separator_;
    std::size_t maxCells_;
    std::array<bool, 256> stops_{};  // the separator and line-end bytes
    std::size_t pos_ = 0;
    int line_ = 1;
    int recordLine_ = 0;
    std::size_t columns_ = 0;
    std::size_t extraColumn_ = 0;
    std::size_t lastExtraColumn_ = 0;
    RawCell extra_;
    std::size_t target_ = static_cast<std::size_t>(-1);
    std::size_t locatedColumn_ = 0;
    std::vector<std::string_view> cells_;
    std::vector<Copied> copied_;
    std::string buffer_;
};

// Every record of the text. Throws CsvError on broken quoting.
std::vector<std::vector<CsvCell>> ParseCsv(std::string_view utf8Text, char separator);

// The separator of a file: the first ';', ',' or tab outside quotes in its
// first record (leading empty lines skipped), or '\0' when there is none.
// Quotes are read as CsvReader reads them: only one that opens the first
// cell, blanks before it allowed, quotes the cell.
char DetectSeparator(std::string_view firstLine);

// The text as one cell, quoted when it holds the separator, a quote or a
// line break, or has blanks at either end that a reader might trim.
std::string CsvField(std::string_view text, char separator);

// The text as one cell that a spreadsheet shows as text and never runs as a
// formula: one that starts with '=', '+', '-', '@', a tab or a carriage
// return gets a leading apostrophe, which spreadsheets read as "text
// follows". Then as CsvField. For names and other free text from outside;
// numbers written as numbers need none.
std::string InertCsvField(std::string_view text, char separator);

}  // namespace day
