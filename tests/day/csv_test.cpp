#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "day/csv.h"

namespace {

using day::CsvError;

// The texts of every record.
std::vector<std::vector<std::string>> Texts(std::string_view text, char separator) {
    std::vector<std::vector<std::string>> texts;
    for (const auto& record : day::ParseCsv(text, separator)) {
        auto& row = texts.emplace_back();
        for (const day::CsvCell& cell : record) row.push_back(cell.text);
    }
    return texts;
}

using Records = std::vector<std::vector<std::string>>;

TEST(ParseCsv, SplitsAtTheGivenSeparatorOnly) {
    EXPECT_EQ(Texts("a;b,c\td\n1;;3\n", ';'), (Records{{"a", "b,c\td"}, {"1", "", "3"}}));
    EXPECT_EQ(Texts("a;b,c\td\n1,,3", ','), (Records{{"a;b", "c\td"}, {"1", "", "3"}}));
    EXPECT_EQ(Texts("a;b,c\td\n1\t\t3", '\t'), (Records{{"a;b,c", "d"}, {"1", "", "3"}}));
}

TEST(ParseCsv, QuotedCellsHoldSeparatorsLineBreaksAndQuotes) {
    EXPECT_EQ(Texts("\"Maxi; tur 1\";\"ICA \"\"Butiken\"\"\";\"\"\n", ';'),
              (Records{{"Maxi; tur 1", "ICA \"Butiken\"", ""}}));
    EXPECT_EQ(Texts("\"Lokala\r\nStatoil\";x\r\n\"a\nb\rc\"\r\n", ';'),
              (Records{{"Lokala\r\nStatoil", "x"}, {"a\nb\rc"}}));
    // Only a quote at the start of a cell quotes; elsewhere it is text.
    EXPECT_EQ(Texts("12 \"tum\";b\"\"c", ';'), (Records{{"12 \"tum\"", "b\"\"c"}}));
    // Blanks after the closing quote are let through.
    EXPECT_EQ(Texts("\"a\"  ;\"b\"\t\n", ';'), (Records{{"a", "b"}}));
    // A tab separator is not taken for a blank after the quote.
    EXPECT_EQ(Texts("\"a\"\t\"b\"", '\t'), (Records{{"a", "b"}}));
    // Doubled quotes in several cells of one record, each cell its own text.
    EXPECT_EQ(Texts("\"1\"\"\";\"2\"\"\";\"3\"\"\"", ';'), (Records{{"1\"", "2\"", "3\""}}));
}

TEST(ParseCsv, BlanksBeforeAnOpeningQuoteAreDropped) {
    const struct {
        std::string text;
        char separator;
        Records want;
    } cases[] = {
        {"Artikel;Lager; \"Maxi; tur 1\";ICA", ';', {{"Artikel", "Lager", "Maxi; tur 1", "ICA"}}},
        {" \t \"a\nb\" ;\t\"c\"\"d\"\n \"e\"", ';', {{"a\nb", "c\"d"}, {"e"}}},
        {"a, \"b,c\",d", ',', {{"a", "b,c", "d"}}},
        // With tab as the separator only spaces are blanks.
        {"a\t \"b\tc\"\t\t\"d\"", '\t', {{"a", "b\tc", "", "d"}}},
        // Blanks not followed by a quote stay, and so does a later quote.
        {"  a;  ;b \"c;d\"", ';', {{"  a", "  ", "b \"c", "d\""}}},
    };
    for (const auto& c : cases) EXPECT_EQ(Texts(c.text, c.separator), c.want) << c.text;
}

TEST(ParseCsv, LineEndsAndEmptyLines) {
    EXPECT_EQ(Texts("a\r\nb\rc\nd", ';'), (Records{{"a"}, {"b"}, {"c"}, {"d"}}));
    EXPECT_EQ(Texts("\n\r\n\ra\n\n\r\nb\n\n", ';'), (Records{{"a"}, {"b"}}));
    EXPECT_EQ(Texts("a;\n;\n", ';'), (Records{{"a", ""}, {"", ""}}));
    EXPECT_EQ(Texts("a;", ';'), (Records{{"a", ""}}));
    EXPECT_EQ(Texts(" ", ';'), (Records{{" "}}));
    EXPECT_TRUE(Texts("", ';').empty());
}

TEST(ParseCsv, CellsKnowTheLineTheirRecordStartsOnAndTheirColumn) {
    const auto records = day::ParseCsv("h1;h2\r\n\r\n\"x\ny\";b;c\n\rlast", ';');
    ASSERT_EQ(records.size(), 3U);
    EXPECT_EQ(records[0][1].line, 1);
    EXPECT_EQ(records[0][1].column, 2);
    // Line 2 is empty; the record on line 3 runs on to line 4.
    EXPECT_EQ(records[1][0].line, 3);
    EXPECT_EQ(records[1][2].line, 3);
    EXPECT_EQ(records[1][2].column, 3);
    // Lines 5 (after LF) and 6 (after a lone CR).
    EXPECT_EQ(records[2][0].line, 6);
}

TEST(ParseCsv, BrokenQuotingNamesWhereTheCellStarts) {
    auto error = [](std::string_view text) {
        try {
            day::ParseCsv(text, ';');
        } catch (const CsvError& e) {
            return e;
        }
        ADD_FAILURE() << "no error for " << text;
        return CsvError(CsvError::Kind::TextAfterQuote, 0, 0);
    };
    CsvError e = error("a;b\n\n1;\"2\n3;4\n");
    EXPECT_EQ(e.kind(), CsvError::Kind::UnterminatedQuote);
    EXPECT_EQ(e.line(), 3);
    EXPECT_EQ(e.column(), 2);
    e = error("\"");
    EXPECT_EQ(e.kind(), CsvError::Kind::UnterminatedQuote);
    EXPECT_EQ(e.line(), 1);
    EXPECT_EQ(e.column(), 1);
    e = error("\"ends with a doubled quote\"\"");
    EXPECT_EQ(e.kind(), CsvError::Kind::UnterminatedQuote);
    e = error("a\n\"x\ny\";\"1\"2");
    EXPECT_EQ(e.kind(), CsvError::Kind::TextAfterQuote);
    EXPECT_EQ(e.line(), 2);
    EXPECT_EQ(e.column(), 2);
    // A quote after blanks opens the cell just the same.
    e = error("a;b\nc;d;  \"e;f\n");
    EXPECT_EQ(e.kind(), CsvError::Kind::UnterminatedQuote);
    EXPECT_EQ(e.line(), 2);
    EXPECT_EQ(e.column(), 3);
    e = error("a; \"b\" c;d");
    EXPECT_EQ(e.kind(), CsvError::Kind::TextAfterQuote);
    EXPECT_EQ(e.column(), 2);
}

// Unquoted text, split the plain way: lines at CRLF, CR or LF, empty lines
// dropped, cells at the separator.
Records SimpleSplit(std::string_view text, char separator) {
    Records records;
    std::string line;
    auto endLine = [&] {
        if (line.empty()) return;
        auto& record = records.emplace_back(1);
        for (const char c : line) {
            if (c == separator) {
                record.emplace_back();
            } else {
                record.back() += c;
            }
        }
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            endLine();
        } else {
            line += text[i];
        }
    }
    endLine();
    return records;
}

TEST(ParseCsv, UnquotedTextSplitsLikeAPlainSplitter) {
    // Bytes next to the stops that word-at-a-time searching could mistake
    // for them: 0, 1, the high bit, the other candidates, multi-byte text.
    const std::string alphabet[] = {";",    ",",    "\t",   "\n",   "\r",
                                    "\r\n", "a",    "7",    "",     std::string(1, '\0'),
                                    "\x01", "\x0B", "\x0C", "\x0E", "\x3A",
                                    "\x3C", "\x2B", "\x2D", "\x7F", "\x80",
                                    "\xFF", "ä",    "Ö",    "€",    "abcdefghijklmnop"};
    std::mt19937 gen(5);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        const int pieces = round % 60;
        for (int i = 0; i < pieces; ++i) text += alphabet[pick(gen)];
        for (const char separator : {';', ',', '\t'}) {
            ASSERT_EQ(Texts(text, separator), SimpleSplit(text, separator))
                << "round " << round << " separator " << int{separator};
        }
    }
}

TEST(CsvReader, ReusesItsBufferWithoutSpoilingEarlierCells) {
    // Quoted cells with doubled quotes are copied; many in one record make
    // the buffer grow while the record is read.
    std::string line;
    Records expected(1);
    for (int i = 0; i < 200; ++i) {
        if (i) line += ';';
        line += '"';
        line += std::to_string(i);
        line += "\"\"x\"";
        expected[0].push_back(std::to_string(i) + "\"x");
    }
    EXPECT_EQ(Texts(line, ';'), expected);
}

// What a reader that keeps at most some cells of a record says, against
// the whole record read with no limit.
void ExpectLimitedReadAgrees(const std::string& text, char separator, std::size_t most) {
    day::CsvReader all(text, separator);
    day::CsvReader limited(text, separator, most);
    for (;;) {
        bool allNext = false;
        try {
            allNext = all.Next();
        } catch (const CsvError& e) {
            try {
                limited.Next();
                ADD_FAILURE() << "no error where the full read has one";
            } catch (const CsvError& f) {
                EXPECT_EQ(f.kind(), e.kind());
                EXPECT_EQ(f.line(), e.line());
                EXPECT_EQ(f.column(), e.column());
            }
            return;
        }
        ASSERT_EQ(limited.Next(), allNext);
        if (!allNext) return;
        const auto& cells = all.Cells();
        EXPECT_EQ(limited.Line(), all.Line());
        EXPECT_EQ(limited.End(), all.End());
        EXPECT_EQ(limited.Columns(), cells.size());
        EXPECT_EQ(all.Columns(), cells.size());
        const std::size_t kept = std::min(most, cells.size());
        ASSERT_EQ(limited.Cells().size(), kept);
        for (std::size_t i = 0; i < kept; ++i) EXPECT_EQ(limited.Cells()[i], cells[i]);
        std::size_t first = 0;
        std::size_t last = 0;
        for (std::size_t i = kept; i < cells.size(); ++i) {
            if (cells[i].find_first_not_of(" \t\r\n") == std::string_view::npos) continue;
            if (first == 0) first = i + 1;
            last = i + 1;
        }
        EXPECT_EQ(limited.ExtraColumn(), first);
        EXPECT_EQ(limited.LastExtraColumn(), last);
        if (first != 0) {
            // The extra as it stands in the text reads as the full read's cell.
            const day::RawCell extra = limited.Extra();
            std::string text(extra.text);
            if (extra.doubled) {
                std::string single;
                for (std::size_t i = 0; i < text.size(); ++i) {
                    single += text[i];
                    if (text[i] == '"') ++i;
                }
                text = single;
            }
            EXPECT_EQ(text, cells[first - 1]);
        }
    }
}

TEST(CsvReader, CellsPastTheKeptOnesAreReadThroughAndTheirTextNoted) {
    // Long runs of separators and blanks around the eight-byte steps.
    const std::string alphabet[] = {";",
                                    ",",
                                    "\t",
                                    " ",
                                    "\n",
                                    "\r\n",
                                    "\r",
                                    "\"",
                                    "\"\"",
                                    "a",
                                    "ä",
                                    "\x80",
                                    ";;;;;;;;;",
                                    "  ",
                                    "7",
                                    "x;",
                                    ";\"",
                                    "\" ",
                                    ";;;;;;;;;;;;;;;;;;;;;;;"};
    std::mt19937 gen(7);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const int pieces = round % 50;
        for (int i = 0; i < pieces; ++i) text += alphabet[pick(gen)];
        for (const char separator : {';', ',', '\t'}) {
            for (const std::size_t most : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
                SCOPED_TRACE(::testing::Message() << "round " << round << " separator "
                                                  << int{separator} << " keeping " << most);
                ExpectLimitedReadAgrees(text, separator, most);
                if (::testing::Test::HasFailure()) return;
            }
        }
    }
}

TEST(CsvReader, RawCellsAndTheColumnOfAByte) {
    const std::string text = "a;\"b\"\"c\";\"d\"\n\"x\ny\";\"\xC3\xA4\";z;;\xE4\n";
    day::CsvReader reader(text, ';');
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Raw(0).text, "a");
    EXPECT_FALSE(reader.Raw(0).doubled);
    EXPECT_EQ(reader.Raw(1).text, "b\"\"c");
    EXPECT_TRUE(reader.Raw(1).doubled);
    EXPECT_EQ(reader.Cells()[1], "b\"c");
    EXPECT_EQ(reader.Raw(2).text, "d");
    EXPECT_FALSE(reader.Raw(2).doubled);
    EXPECT_EQ(reader.End(), text.find('x') - 1);

    // Where a byte is: in the second record, the ä of the second cell and the
    // byte 0xE4 of the fifth.
    for (const auto& [offset, column] : {std::pair{text.find('\xC3'), std::size_t{2}},
                                         std::pair{text.find('\xE4'), std::size_t{5}},
                                         std::pair{text.find('y'), std::size_t{1}}}) {
        day::CsvReader locating(text, ';', 0);
        locating.Locate(offset);
        ASSERT_TRUE(locating.Next());
        EXPECT_EQ(locating.LocatedColumn(), 0U);
        ASSERT_TRUE(locating.Next());
        EXPECT_EQ(locating.Line(), 2);
        EXPECT_EQ(locating.LocatedColumn(), column) << offset;
        EXPECT_FALSE(locating.Next());
    }
}

TEST(DetectSeparator, TheFirstCandidateOutsideQuotesInTheFirstLine) {
    EXPECT_EQ(day::DetectSeparator("Artikel;Lager;Maxi, tur 1"), ';');
    EXPECT_EQ(day::DetectSeparator("Artikel,Lager;x"), ',');
    EXPECT_EQ(day::DetectSeparator("Artikel\tLager,x;y"), '\t');
    EXPECT_EQ(day::DetectSeparator("\"Art;ikel\",Lager"), ',');
    EXPECT_EQ(day::DetectSeparator("\r\n\nArtikel;Lager"), ';');
    EXPECT_EQ(day::DetectSeparator("\"a\nb;c\",d"), ',');
    EXPECT_EQ(day::DetectSeparator("Artikel\nLager;x"), '\0');
    EXPECT_EQ(day::DetectSeparator("Artikel"), '\0');
    EXPECT_EQ(day::DetectSeparator(""), '\0');
}

// The quotes the reader reads as quotes, and only those.
TEST(DetectSeparator, ReadsQuotesAsTheReaderDoes) {
    const struct {
        const char* line;
        char separator;
    } cases[] = {
        {"  \"Art;ikel\",Lager", ','},
        {"\"a\"\"b;c\",d", ','},
        {"\"a\"\";b\";c", ';'},
        // A quote inside an unquoted cell is text: it opens nothing.
        {"Art\"ikel;La\",ger", ';'},
        {"12 \"tum\",x;y", ','},
        // A tab before the quote is a candidate itself.
        {"\t\"a,b\"", '\t'},
        {"  \"never closed;,", '\0'},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(day::DetectSeparator(c.line), c.separator) << c.line;
        // Read with what was found, the first record has a second cell.
        if (c.separator != '\0') {
            day::CsvReader reader(c.line, c.separator);
            ASSERT_TRUE(reader.Next());
            EXPECT_GE(reader.Columns(), 2U) << c.line;
        }
    }
}

TEST(CsvField, QuotesOnlyWhereAReaderWouldMisreadTheText) {
    EXPECT_EQ(day::CsvField("108 Skivad J.F.", ';'), "108 Skivad J.F.");
    EXPECT_EQ(day::CsvField("a,b", ';'), "a,b");
    EXPECT_EQ(day::CsvField("a,b", ','), "\"a,b\"");
    EXPECT_EQ(day::CsvField("ICA \"Butiken\"", ';'), "\"ICA \"\"Butiken\"\"\"");
    EXPECT_EQ(day::CsvField("a\nb", ';'), "\"a\nb\"");
    EXPECT_EQ(day::CsvField("a\rb", ';'), "\"a\rb\"");
    EXPECT_EQ(day::CsvField(" a", ';'), "\" a\"");
    EXPECT_EQ(day::CsvField("a\t", ';'), "\"a\t\"");
    EXPECT_EQ(day::CsvField("", ';'), "");
}

TEST(InertCsvField, TextThatASpreadsheetWouldRunIsMarkedAsText) {
    const struct {
        const char* text;
        const char* semicolon;  // the field in a ';' file
        const char* comma;      // and in a ',' file
    } cases[] = {
        {"=1+1", "'=1+1", "'=1+1"},
        {"@SUMMA(A1)", "'@SUMMA(A1)", "'@SUMMA(A1)"},
        {"+46 Kaffe", "'+46 Kaffe", "'+46 Kaffe"},
        {"-Rabattlimpa", "'-Rabattlimpa", "'-Rabattlimpa"},
        {"-3", "'-3", "'-3"},
        {"\tTabb", "'\tTabb", "'\tTabb"},
        {"\rRad", "\"'\rRad\"", "\"'\rRad\""},
        // Quoted where CsvField would quote, the mark inside the quotes.
        {"=A1;B1", "\"'=A1;B1\"", "'=A1;B1"},
        {"=HYPERLINK(\"x\",\"y\")", "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\"",
         "\"'=HYPERLINK(\"\"x\"\",\"\"y\"\")\""},
        {"=a ", "\"'=a \"", "\"'=a \""},
        // Anything else as CsvField has it.
        {"108 Skivad J.F.", "108 Skivad J.F.", "108 Skivad J.F."},
        {"Bröd=gott", "Bröd=gott", "Bröd=gott"},
        {"'=1", "'=1", "'=1"},
        {" =1", "\" =1\"", "\" =1\""},
        {"a,b", "a,b", "\"a,b\""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(day::InertCsvField(c.text, ';'), c.semicolon) << c.text;
        EXPECT_EQ(day::InertCsvField(c.text, ','), c.comma) << c.text;
    }
}

TEST(CsvField, EveryTextComesBackThroughParseCsv) {
    const std::vector<std::string> texts = {
        "plain",   "",   "a;b", "\"", "\"\"",      "\"quoted\"", "line\nbreak", "cr\r\nlf",
        " blank ", "\r", "\n",  ";",  "tab\there", "ÅÄÖ åäö",    "x\"y;z\r\nw"};
    for (const char separator : {';', ',', '\t'}) {
        std::string line;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i) line += separator;
            line += day::CsvField(texts[i], separator);
        }
        line += "\r\n";
        const auto records = day::ParseCsv(line + line, separator);
        ASSERT_EQ(records.size(), 2U) << separator;
        for (const auto& record : records) {
            ASSERT_EQ(record.size(), texts.size());
            for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(record[i].text, texts[i]);
        }
    }
}

}  // namespace
