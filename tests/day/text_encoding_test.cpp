#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "day/text_encoding.h"

namespace {

using namespace std::string_literals;

TEST(Utf8, AcceptsWellFormedText) {
    for (const std::string& text : {""s, "Artikel;Lager"s, "Jätterasker Gräddad längtan"s,
                                    "\xC2\x80"s,             // U+0080, the first two-byte form
                                    "\xEF\xBF\xBF"s,         // U+FFFF
                                    "\xF0\x9F\x8D\x9E"s,     // a loaf, four bytes
                                    "\xF4\x8F\xBF\xBF"s}) {  // U+10FFFF, the last code point
        EXPECT_TRUE(day::IsValidUtf8(text)) << text;
    }
}

TEST(Utf8, FindsTheFirstByteThatBreaksIt) {
    const struct {
        std::string text;
        std::size_t offset;
    } cases[] = {
        {"\xC0\x80", 0},               // overlong NUL
        {"\xE0\x80\x80", 0},           // overlong three-byte form
        {"\xF0\x80\x80\x80", 0},       // overlong four-byte form
        {"\xED\xA0\x80", 0},           // a surrogate
        {"\xF4\x90\x80\x80", 0},       // above U+10FFFF
        {"\xF5\x80\x80\x80", 0},       // no such lead byte
        {"\x80", 0},                   // a continuation without a lead
        {"ab\xC3", 2},                 // cut short at the end
        {"ab\xE2\x82x", 2},            // continuation missing
        {"abcdefghij\xE4ttar", 10},    // after the eight-byte fast path
        {"abcdefgh\xC3\xA5\xFF", 10},  // after a good two-byte form
        {"J\xE4tterasker", 1},         // Windows-1252 ä
    };
    for (const auto& c : cases) {
        EXPECT_EQ(day::FirstInvalidUtf8(c.text), c.offset) << c.text;
        EXPECT_FALSE(day::IsValidUtf8(c.text)) << c.text;
    }
}

// Whether a text that is not UTF-8 throughout still has characters that
// only UTF-8 writes, before or after the first bad byte.
TEST(Utf8, ScanFindsTheFirstBadByteAndAnyMultiByteCharacter) {
    constexpr std::size_t npos = std::string_view::npos;
    const struct {
        std::string text;
        std::size_t firstInvalid;
        bool multiByte;
    } cases[] = {
        {"", npos, false},
        {"Artikel;Lager", npos, false},
        {"Gården", npos, true},
        {"J\xE4tterasker", 1, false},
        {"J\xE4tterasker G\xE5rden \xC5\xC4\xD6", 1, false},
        {"Gården J\xE4tterasker", 9, true},
        {"J\xE4tterasker Gården", 1, true},
        // After the eight-byte fast path, and a character after many bad bytes.
        {"abcdefghij\xE4" + std::string(100, '\xFF') + "\xF0\x9F\x8D\x9E", 10, true},
        // Lead bytes without their continuations are no characters.
        {"\xC3 \xE2\x82 \xF0\x9F\x8D", 0, false},
        // A character cut off at the very end.
        {"ab\xC3", 2, false},
        {"\xC3\xA5\xC3", 2, true},
    };
    for (const auto& c : cases) {
        const day::Utf8Scan scan = day::ScanUtf8(c.text);
        EXPECT_EQ(scan.firstInvalid, c.firstInvalid) << c.text;
        EXPECT_EQ(scan.multiByte, c.multiByte) << c.text;
        EXPECT_EQ(scan.firstInvalid, day::FirstInvalidUtf8(c.text)) << c.text;
    }
}

TEST(Windows1252, SwedishLettersAndThePunctuationRange) {
    EXPECT_EQ(day::Windows1252ToUtf8("R\xE5g \xE4 \xF6 \xC5\xC4\xD6"), "Råg ä ö ÅÄÖ");
    EXPECT_EQ(day::Windows1252ToUtf8("\x80"), "€");
    EXPECT_EQ(day::Windows1252ToUtf8("\x8A\x8E\x9A\x9E\x9F"), "ŠŽšžŸ");
    EXPECT_EQ(day::Windows1252ToUtf8("\x91\x92\x93\x94"), "‘’“”");
    EXPECT_EQ(day::Windows1252ToUtf8("\x96\x97\x99\x85"), "–—™…");
    EXPECT_EQ(day::Windows1252ToUtf8("\xA0\xFF"), "\xC2\xA0ÿ");
    // The five holes of the code page keep their numbers, as C1 controls.
    EXPECT_EQ(day::Windows1252ToUtf8("\x81\x8D\x8F\x90\x9D"),
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

TEST(Windows1252, EveryByteBecomesOneDistinctCharacter) {
    std::set<std::string> seen;
    for (int byte = 0; byte < 256; ++byte) {
        const std::string utf8 = day::Windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
        EXPECT_TRUE(day::IsValidUtf8(utf8)) << byte;
        if (byte < 0x80) {
            EXPECT_EQ(utf8, std::string(1, static_cast<char>(byte)));
        }
        seen.insert(utf8);
    }
    EXPECT_EQ(seen.size(), 256U);
    // The whole range at once comes out as the bytes one by one.
    std::string all;
    std::string expected;
    for (int byte = 0; byte < 256; ++byte) {
        all += static_cast<char>(byte);
        expected += day::Windows1252ToUtf8(std::string(1, static_cast<char>(byte)));
    }
    EXPECT_EQ(day::Windows1252ToUtf8(all), expected);
}

TEST(DecodeToUtf8, DropsTheMarkAndFallsBackToWindows1252) {
    EXPECT_EQ(day::DecodeToUtf8("\xEF\xBB\xBF"
                                "Gräddad"),
              "Gräddad");
    EXPECT_EQ(day::DecodeToUtf8("Gräddad"), "Gräddad");
    EXPECT_EQ(day::DecodeToUtf8("Gr\xE4"
                                "ddad l\xE4ngtan"),
              "Gräddad längtan");
    EXPECT_EQ(day::DecodeToUtf8("\xEF\xBB\xBF"), "");
    EXPECT_EQ(day::DecodeToUtf8(""), "");
    // A mark in the middle is text, not a mark.
    EXPECT_EQ(day::DecodeToUtf8("a\xEF\xBB\xBF"), "a\xEF\xBB\xBF");
    // One stray byte turns the whole text into Windows-1252, never half and half.
    EXPECT_EQ(day::DecodeToUtf8("ä\xE4"), "Ã¤ä");
    EXPECT_EQ(day::Utf8BomLength("\xEF\xBB\xBFx"), 3U);
    EXPECT_EQ(day::Utf8BomLength("\xEF\xBB"), 0U);
}

}  // namespace
