#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
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
