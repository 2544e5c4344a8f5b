#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "day/route_file.h"
#include "journal_fixture.h"
#include "route/route.h"

// Every allocation of this program carries its size in front, so that the
// memory a piece of code takes at most can be measured while counting is on.
namespace {

std::atomic<bool> gCounting{false};
std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

struct alignas(std::max_align_t) BlockHeader {
    std::size_t size;
    bool counted;
};

}  // namespace

void* operator new(std::size_t size) {
    void* block = std::malloc(sizeof(BlockHeader) + size);
    if (block == nullptr) throw std::bad_alloc();
    const bool counted = gCounting.load(std::memory_order_relaxed);
    new (block) BlockHeader{size, counted};
    if (counted) {
        const std::size_t live = gLive += size;
        std::size_t peak = gPeak.load();
        while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
        }
    }
    return static_cast<BlockHeader*>(block) + 1;
}

void operator delete(void* pointer) noexcept {
    if (pointer == nullptr) return;
    BlockHeader* header = static_cast<BlockHeader*>(pointer) - 1;
    if (header->counted) gLive -= header->size;
    std::free(header);
}

void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }

namespace {

using namespace std::string_literals;
using route::RouteSheet;

std::string Message(std::string_view bytes) {
    try {
        day::ParseRouteFile(bytes, "tisdag.csv");
    } catch (const day::FileError& e) {
        return e.what();
    }
    return "(accepted)";
}

void ExpectSheet(const RouteSheet& got, const RouteSheet& want) {
    EXPECT_EQ(got.articles, want.articles);
    EXPECT_EQ(got.customers, want.customers);
    EXPECT_EQ(got.lager, want.lager);
    EXPECT_EQ(got.orders, want.orders);
}

const RouteSheet kExample{{"108 Skivad J.F.", "116 Jätterasker"},
                          {"Maxi tur 1", "ICA Butiken", "Lokala Statoil", "Maxi tur 2"},
                          {24, 40},
                          {{12, 6, 1, 5}, {0, 30, 7, 3}}};

TEST(ParseRouteFile, TheOfficeExampleInEverySeparatorAndLineEnd) {
    const struct {
        const char* how;
        std::string file;
    } files[] = {
        {"semicolon, LF",
         "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil;Maxi tur 2\n"
         "108 Skivad J.F.;;12;6;1;5\n"
         "116 Jätterasker;40;0;30;7;3\n"},
        {"comma, CRLF",
         "Artikel,Lager,Maxi tur 1,ICA Butiken,Lokala Statoil,Maxi tur 2\r\n"
         "108 Skivad J.F.,,12,6,1,5\r\n"
         "116 Jätterasker,40,0,30,7,3\r\n"},
        {"tab, CR, no line end at the end",
         "Artikel\tLager\tMaxi tur 1\tICA Butiken\tLokala Statoil\tMaxi tur 2\r"
         "108 Skivad J.F.\t\t12\t6\t1\t5\r"
         "116 Jätterasker\t40\t0\t30\t7\t3"},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil;Maxi tur 2\r\n"
         "108 Skivad J.F.;;12;6;1;5\r\n"
         "116 Jätterasker;40;0;30;7;3\r\n"},
        {"Windows-1252",
         "Artikel;Lager;Maxi tur 1;ICA Butiken;Lokala Statoil;Maxi tur 2\n"
         "108 Skivad J.F.;;12;6;1;5\n"
         "116 J\xE4tterasker;40;0;30;7;3\n"},
        {"every cell quoted",
         "\"Artikel\";\"Lager\";\"Maxi tur 1\";\"ICA Butiken\";\"Lokala Statoil\";\"Maxi tur 2\"\n"
         "\"108 Skivad J.F.\";\"\";\"12\";\"6\";\"1\";\"5\"\n"
         "\"116 Jätterasker\";\"40\";\"0\";\"30\";\"7\";\"3\"\n"},
    };
    for (const auto& [how, file] : files) {
        SCOPED_TRACE(how);
        ExpectSheet(day::ParseRouteFile(file, "tisdag.csv"), kExample);
    }
}

TEST(ParseRouteFile, WhatSpreadsheetsWriteIsReadAsMeant) {
    const struct {
        std::string file;
        RouteSheet want;
    } cases[] = {
        // Separators, quotes and line breaks inside quoted names; a line
        // break in a name becomes a blank.
        {"Artikel,Lager,\"Maxi, tur 1\",\"ICA \"\"Butiken\"\"\",\"Lokala\r\nStatoil\"\r\n"
         "\"108 Skivad, J.F.\",,\"12\",6,1\r\n",
         {{"108 Skivad, J.F."},
          {"Maxi, tur 1", "ICA \"Butiken\"", "Lokala Statoil"},
          {19},
          {{12, 6, 1}}}},
        // Windows-1252 å, ä, ö and Å, Ä, Ö in shop and article names.
        {"Artikel;Lager;K\xF6pm\xE4ngen;G\xE5rdsbutiken;\xC5\xC4\xD6\n"
         "326 Gr\xE4"
         "ddad l\xE4ngtan;;3;4;1\n",
         {{"326 Gräddad längtan"}, {"Köpmängen", "Gårdsbutiken", "ÅÄÖ"}, {8}, {{3, 4, 1}}}},
        // The same in UTF-8: Ä, Å and Ö are C3 84, C3 85 and C3 96.
        {"Artikel;Lager;ICA Kvantum Östermalm;Åhléns;Ängen €\n326 Gräddad längtan;;1;2;3\n",
         {{"326 Gräddad längtan"},
          {"ICA Kvantum Östermalm", "Åhléns", "Ängen €"},
          {6},
          {{1, 2, 3}}}},
        // Empty orders are 0, blanks around numbers go, leading zeros are fine,
        // the top of the range is taken.
        {"Artikel;Lager;A;B;C\n120 Lyxfranska; 007 ;;  4 ;\n130 Rasker;32767;;;32767\n",
         {{"120 Lyxfranska", "130 Rasker"},
          {"A", "B", "C"},
          {7, 32767},
          {{0, 4, 0}, {0, 0, 32767}}}},
        // Padding: a header and lines wider than the shops, all empty there;
        // lines shorter than the header, their missing cells empty.
        {"Artikel;Lager;A;B;;;\n308 Vitabygrova;;12;;;;\n320 Leva;5\n326 Gräddad längtan\n",
         {{"308 Vitabygrova", "320 Leva", "326 Gräddad längtan"},
          {"A", "B"},
          {12, 5, 0},
          {{12, 0}, {0, 0}, {0, 0}}}},
        // Empty lines and lines of empty cells are skipped, before and after
        // the header; header words in any case, with blanks around.
        {"\r\n;;;\r\n artikel ;LAGER\t;A\r\n\r\n  ;  \r\n130 Rasker;;2\r\n;;\r\n",
         {{"130 Rasker"}, {"A"}, {2}, {{2}}}},
        // The same article twice is the office's business; a smaller load than
        // the orders is kept as loaded.
        {"Artikel;Lager;A;B\n108 Skivad J.F.;5;4;6\n108 Skivad J.F.;;1;1\n",
         {{"108 Skivad J.F.", "108 Skivad J.F."}, {"A", "B"}, {5, 2}, {{4, 6}, {1, 1}}}},
        // Blanks around names go; a tab inside a quoted name is one blank.
        {"Artikel;Lager;\"  Maxi\ttur 1 \"\n  116 Jätterasker  ;;1\n 130 Rasker;;2\n",
         {{"116 Jätterasker", "130 Rasker"}, {"Maxi tur 1"}, {1, 2}, {{1}, {2}}}},
        // Commas in names of a semicolon file are just text.
        {"Artikel;Lager;Maxi, tur 1\n108 Skivad, J.F.;;1\n",
         {{"108 Skivad, J.F."}, {"Maxi, tur 1"}, {1}, {{1}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ExpectSheet(day::ParseRouteFile(c.file, "tisdag.csv"), c.want);
    }
}

TEST(ParseRouteFile, AnyFaultRefusesTheFileWithWhereAndWhat) {
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {"", "tisdag.csv: filen är tom"},
        {"\xEF\xBB\xBF", "tisdag.csv: filen innehåller bara tomma rader"},
        {"\r\n\n ;  \n", "tisdag.csv: filen innehåller bara tomma rader"},
        {"Namn;Lager;A\nx;;1\n",
         "tisdag.csv, rad 1, kolumn 1: väntade rubriken \"Artikel\", här står \"Namn\""},
        {"\n;Lager;A\n",
         "tisdag.csv, rad 2, kolumn 1: väntade rubriken \"Artikel\", cellen är tom"},
        {"Artikel;;A\n", "tisdag.csv, rad 1, kolumn 2: väntade rubriken \"Lager\", cellen är tom"},
        {"Artikel;Maxi;ICA\n",
         "tisdag.csv, rad 1, kolumn 2: väntade rubriken \"Lager\", här står \"Maxi\""},
        {"Artikel\n108;1\n",
         "tisdag.csv, rad 1, kolumn 2: väntade rubriken \"Lager\", cellen är tom"},
        {"Artikel;Lager\n108;1\n",
         "tisdag.csv, rad 1, kolumn 3: ingen butik: butikernas namn ska stå efter \"Lager\""},
        {"Artikel;Lager;;\n108;1\n",
         "tisdag.csv, rad 1, kolumn 3: ingen butik: butikernas namn ska stå efter \"Lager\""},
        {"Artikel;Lager;A;;B\n108;;1;1;1\n", "tisdag.csv, rad 1, kolumn 4: butikens namn saknas"},
        {"Artikel;Lager;A; \n108;;1;1\n",
         "tisdag.csv, rad 2, kolumn 4: \"1\" står till höger "
         "om den sista butiken (kolumn 3)"},
        {"Artikel;Lager;A\n", "tisdag.csv: inga artiklar, filen har bara rubrikraden"},
        {"Artikel;Lager;A\n\n;;\n", "tisdag.csv: inga artiklar, filen har bara rubrikraden"},
        {"Artikel;Lager;A;B\n108;;1;1\n116;;2;2\n130;;1,5;2\n",
         "tisdag.csv, rad 4, kolumn 3: \"1,5\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;;-1\n",
         "tisdag.csv, rad 2, kolumn 3: \"-1\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;;32768\n",
         "tisdag.csv, rad 2, kolumn 3: \"32768\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;;1 2\n",
         "tisdag.csv, rad 2, kolumn 3: \"1 2\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;;+3\n",
         "tisdag.csv, rad 2, kolumn 3: \"+3\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;99999999999999999999;1\n",
         "tisdag.csv, rad 2, kolumn 2: \"99999999999999999999\" är inte ett heltal mellan 0 och "
         "32767"},
        {"Artikel;Lager;A\n108;tolv;1\n",
         "tisdag.csv, rad 2, kolumn 2: \"tolv\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A;B\n108 Skivad J.F.;;20000;20000\n",
         "tisdag.csv, rad 2: summan av beställningarna av \"108 Skivad J.F.\" är 40000, högst "
         "32767 går"},
        {"Artikel;Lager;A;B\n108;;1;2;5\n",
         "tisdag.csv, rad 2, kolumn 5: \"5\" står till höger om den sista butiken (kolumn 4)"},
        {"Artikel;Lager;A;B;;\n108;;1;2;;7\n",
         "tisdag.csv, rad 2, kolumn 6: \"7\" står till höger om den sista butiken (kolumn 4)"},
        {"Artikel;Lager;A\n;;3\n", "tisdag.csv, rad 2, kolumn 1: artikelns namn saknas"},
        {"Artikel;Lager;A\n\"  \";;3\n", "tisdag.csv, rad 2, kolumn 1: artikelns namn saknas"},
        {"Artikel;Lager;A\n\"108;1;2\n116;;1\n",
         "tisdag.csv, rad 2, kolumn 1: citattecknet som inleder cellen avslutas aldrig"},
        {"Artikel;Lager;A\n108;1;\"2\n",
         "tisdag.csv, rad 2, kolumn 3: citattecknet som inleder cellen avslutas aldrig"},
        {"Artikel;Lager;A\n\"108\"x;1;2\n",
         "tisdag.csv, rad 2, kolumn 1: text efter cellens avslutande citattecken"},
        {"Artikel;Lager;A\nab\0c;1;1\n"s,
         "tisdag.csv, rad 2, kolumn 1: namnet innehåller ett tecken som inte kan visas (U+0000)"},
        {"Artikel;Lager;A\x1B\nabc;1;1\n",
         "tisdag.csv, rad 1, kolumn 3: namnet innehåller ett tecken som inte kan visas (U+001B)"},
        {"Artikel;Lager;A\nab\x7F;1;1\n",
         "tisdag.csv, rad 2, kolumn 1: namnet innehåller ett tecken som inte kan visas (U+007F)"},
        {"Artikel;Lager;A\nab\xC2\x85;1;1\n",
         "tisdag.csv, rad 2, kolumn 1: namnet innehåller ett tecken som inte kan visas (U+0085)"},
        {"Artikel;Lager;A\n\"ab\"\"\x01\";1;1\n",
         "tisdag.csv, rad 2, kolumn 1: namnet innehåller ett tecken som inte kan visas (U+0001)"},
        // 0x81 is a C1 control once read as Windows-1252.
        {"Artikel;Lager;A\nab\x81;1;1\n",
         "tisdag.csv, rad 2, kolumn 1: namnet innehåller ett tecken som inte kan visas (U+0081)"},
        {"\xEF\xBB\xBF"
         "Artikel;Lager;A\r\n108;1;1\r\nJ\xE4tterasker;1;1\r\n",
         "tisdag.csv, rad 3, kolumn 1: filen är märkt som UTF-8 men har en byte som inte är UTF-8 "
         "(0xE4)"},
        {"Artikel;Lager;A;B\n108;;1;2\n116,5,3,2\n",
         "tisdag.csv, rad 3: raden delas med komma, inte med semikolon som rubrikraden"},
        {"Artikel,Lager,A\n116;5\n",
         "tisdag.csv, rad 2: raden delas med semikolon, inte med komma som rubrikraden"},
        // Lines count as in the file: empty lines and line breaks in quotes too.
        {"Artikel;Lager;\"Maxi\ntur 1\"\n\n108;;x\n",
         "tisdag.csv, rad 4, kolumn 3: \"x\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\r108;;1\r116;;y\r",
         "tisdag.csv, rad 3, kolumn 3: \"y\" är inte ett heltal mellan 0 och 32767"},
        // What the message quotes is cut short and shows no control characters.
        {"Artikel;Lager;A\n108;;\"1\n2\"\n",
         "tisdag.csv, rad 2, kolumn 3: \"1\xEF\xBF\xBD"
         "2\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;;" + std::string(50, 'x') + "\n",
         "tisdag.csv, rad 2, kolumn 3: \"" + std::string(40, 'x') +
             "…\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;;" + std::string(45, 'x') + "åäö\n",
         "tisdag.csv, rad 2, kolumn 3: \"" + std::string(40, 'x') +
             "…\" är inte ett heltal mellan 0 och 32767"},
        {"Artikel;Lager;A\n108;;" + std::string(38, 'x') + "åäö\n",
         "tisdag.csv, rad 2, kolumn 3: \"" + std::string(38, 'x') +
             "åä…\" är inte ett heltal mellan 0 och 32767"},
    };
    for (const auto& c : cases) EXPECT_EQ(Message(c.file), c.message) << c.file;
}

// A blank before an opening quote, as a hand-edited file or a spreadsheet
// set to add blanks after separators has it: the cell is still quoted, so
// its separators stay inside it and no column shifts.
TEST(ParseRouteFile, BlanksBeforeAnOpeningQuote) {
    const struct {
        std::string file;
        RouteSheet want;
    } read[] = {
        {"Artikel;Lager; \"Maxi; tur 1\";ICA\n108;;1;2\n",
         {{"108"}, {"Maxi; tur 1", "ICA"}, {3}, {{1, 2}}}},
        // Tabs too, several, after the closing quote as well; a doubled quote.
        {"Artikel;Lager;\t \"Maxi; \"\"tur\"\" 1\" \t;ICA\n \"108; stor\";  \"5\";\t\"1\";2\n",
         {{"108; stor"}, {"Maxi; \"tur\" 1", "ICA"}, {5}, {{1, 2}}}},
        // In a comma file the blanks before the quote are dropped the same way.
        {"Artikel,Lager, \"Maxi, tur 1\",ICA\n\"108, J.F.\",, \"1\",2\n",
         {{"108, J.F."}, {"Maxi, tur 1", "ICA"}, {3}, {{1, 2}}}},
        // A tab file: the tab is the separator, so only spaces are blanks.
        {"Artikel\tLager\t \"Maxi\ttur 1\"\tICA\n108\t\t1\t2\n",
         {{"108"}, {"Maxi tur 1", "ICA"}, {3}, {{1, 2}}}},
        // A quote later in a cell is text, as before.
        {"Artikel;Lager;Maxi \"tur 1\";ICA\n108;;1;2\n",
         {{"108"}, {"Maxi \"tur 1\"", "ICA"}, {3}, {{1, 2}}}},
    };
    for (const auto& c : read) {
        SCOPED_TRACE(c.file);
        ExpectSheet(day::ParseRouteFile(c.file, "tisdag.csv"), c.want);
    }

    // A quoted cell that cannot be read is refused where it starts, never
    // read as unquoted text that would shift the columns after it.
    const struct {
        std::string file;
        std::string message;
    } refused[] = {
        {"Artikel;Lager; \"Maxi; tur 1;ICA\n108;;1;2\n",
         "tisdag.csv, rad 1, kolumn 3: citattecknet som inleder cellen avslutas aldrig"},
        {"Artikel;Lager; \"Maxi\" tur 1;ICA\n108;;1;2\n",
         "tisdag.csv, rad 1, kolumn 3: text efter cellens avslutande citattecken"},
        {"Artikel;Lager;A;B\n108;; \"1\" 2;3\n",
         "tisdag.csv, rad 2, kolumn 3: text efter cellens avslutande citattecken"},
        {"Artikel;Lager;A;B\n108;;1;  \"2\n",
         "tisdag.csv, rad 2, kolumn 4: citattecknet som inleder cellen avslutas aldrig"},
    };
    for (const auto& c : refused) EXPECT_EQ(Message(c.file), c.message) << c.file;
}

// UTF-8 with a damaged byte would come out with every å, ä and ö wrong if
// read as Windows-1252; it is refused where the byte is: its own line in
// the file and the column of its cell.
TEST(ParseRouteFile, AUtf8FileWithABadByteIsRefusedWhereTheByteIs) {
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {"Artikel;Lager;Gården\n108;;1\nJ\xE4tterasker;;2\n",
         "tisdag.csv, rad 3, kolumn 1: filen är skriven i UTF-8 men har en byte som inte är "
         "UTF-8 (0xE4)"},
        // The UTF-8 character after the bad byte counts as well.
        {"Artikel;Lager;A;B\n108;;1;2\n\"116\nJ\xE4tte\";;1;2\nÖland;;1\n",
         "tisdag.csv, rad 4, kolumn 1: filen är skriven i UTF-8 men har en byte som inte är "
         "UTF-8 (0xE4)"},
        {"Artikel;Lager;\"Maxi\r\ntur\xFF 1\";ICA\r\n108;;1;2\r\nÅ;;1;1\r\n",
         "tisdag.csv, rad 2, kolumn 3: filen är skriven i UTF-8 men har en byte som inte är "
         "UTF-8 (0xFF)"},
        // A cut-off character; a cell far to the right of the last shop.
        {"Artikel;Lager;Gården\n108;;1;;;x\xC3",
         "tisdag.csv, rad 2, kolumn 6: filen är skriven i UTF-8 men har en byte som inte är "
         "UTF-8 (0xC3)"},
        {"Artikel;Lager;A\n108;;1" + std::string(100000, ';') + "\xE4;Å\n",
         "tisdag.csv, rad 2, kolumn 100003: filen är skriven i UTF-8 men har en byte som inte "
         "är UTF-8 (0xE4)"},
        // With the byte-order mark, the same with the column.
        {"\xEF\xBB\xBF"
         "Artikel;Lager;A;B\r\n108;1;1;J\xE4\r\n",
         "tisdag.csv, rad 2, kolumn 4: filen är märkt som UTF-8 men har en byte som inte är UTF-8 "
         "(0xE4)"},
        // Quoting that breaks before the byte is said first.
        {"Artikel;Lager;Å\n\"108;;1\nJ\xE4tterasker;;2\n",
         "tisdag.csv, rad 2, kolumn 1: citattecknet som inleder cellen avslutas aldrig"},
    };
    for (const auto& c : cases) EXPECT_EQ(Message(c.file), c.message) << c.file;

    // Without any UTF-8 character the file is still Windows-1252.
    ExpectSheet(day::ParseRouteFile("Artikel;Lager;G\xE5rden\nJ\xE4tterasker;;2\n", "tisdag.csv"),
                {{"Jätterasker"}, {"Gården"}, {2}, {{2}}});
}

TEST(ParseRouteFile, NamesOfAtMostAHundredCharacters) {
    const std::string refusal = "tisdag.csv, rad 2, kolumn 1: namnet är längre än 100 tecken";
    std::string ascii(100, 'x');
    std::string utf8;
    std::string windows1252;
    for (int i = 0; i < 100; ++i) {
        utf8 += "\xF0\x9F\x8D\x9E";  // a loaf, four bytes
        windows1252 += '\xE4';
    }
    const struct {
        std::string name;     // as in the file
        std::string read;     // the name read, or empty when refused
        std::string message;  // the refusal, or empty when read
    } cases[] = {
        {ascii, ascii, ""},
        {ascii + "y", "", refusal},
        {utf8, utf8, ""},
        {utf8 + "a", "", refusal},
        // Blanks at the ends do not count; a run of tabs and line breaks in a
        // quoted name is one blank.
        {"   " + ascii + std::string(1000, ' '), ascii, ""},
        {"\"" + std::string(50, 'x') + std::string(1000, '\t') + "\n\r\n" + std::string(49, 'y') +
             "\"",
         std::string(50, 'x') + " " + std::string(49, 'y'), ""},
        {"\"" + std::string(50, 'x') + "\t \t" + std::string(49, 'y') + "\"", "",
         "tisdag.csv, rad 2, kolumn 1: namnet är längre än 100 tecken"},
        {std::string(1'000'000, 'x'), "", refusal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 200));
        const std::string file = "Artikel;Lager;A\n" + c.name + ";;1\n";
        if (c.message.empty()) {
            EXPECT_EQ(day::ParseRouteFile(file, "tisdag.csv").articles,
                      std::vector<std::string>{c.read});
        } else {
            EXPECT_EQ(Message(file), c.message);
        }
    }
    // A hundred Windows-1252 characters are read as two bytes each.
    const RouteSheet sheet =
        day::ParseRouteFile("Artikel;Lager;" + windows1252 + "\nx;;1\n", "tisdag.csv");
    std::string read;
    for (int i = 0; i < 100; ++i) read += "ä";
    EXPECT_EQ(sheet.customers, std::vector<std::string>{read});
    EXPECT_EQ(Message("Artikel;Lager;" + windows1252 + "\xE4\nx;;1\n"),
              "tisdag.csv, rad 1, kolumn 3: namnet är längre än 100 tecken");
}

// Spreadsheets pad every line with empty cells up to the widest one; any
// number of them is read, without keeping them.
TEST(ParseRouteFile, EmptyCellsPastTheLastShopInAnyNumber) {
    const std::string pad(1'000'000, ';');
    ExpectSheet(day::ParseRouteFile("Artikel;Lager;A;B" + pad + "\n108;;1;2" + pad + "\n116;3;;" +
                                        pad + " ;\t;\"\n\";\"\";;" + pad + "\n" + pad + "\n",
                                    "tisdag.csv"),
                {{"108", "116"}, {"A", "B"}, {3, 3}, {{1, 2}, {0, 0}}});

    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {"Artikel;Lager;A;B\n108;;1;2" + pad + " x \n",
         "tisdag.csv, rad 2, kolumn 1000004: \"x\" står till höger om den sista butiken "
         "(kolumn 4)"},
        {"Artikel;Lager;A;B\n108;;1;2;;; \"x\"\"y\" " + pad + "z\n",
         "tisdag.csv, rad 2, kolumn 7: \"x\"y\" står till höger om den sista butiken (kolumn 4)"},
        {"Artikel;Lager;A;B\n108;;1;2;;\"\nx" + pad + "\n",
         "tisdag.csv, rad 2, kolumn 6: citattecknet som inleder cellen avslutas aldrig"},
        // Shops counted to the last name, past the width kept.
        {"Artikel;Lager;A" + std::string(40000, ';') + "B;" + pad + "\n108;;1\n",
         "tisdag.csv, rad 1: för många butiker (40001), högst 32767 går"},
        // A line of separators only is empty, and so is a file of them.
        {pad + "\n" + pad, "tisdag.csv: filen innehåller bara tomma rader"},
        {"Artikel;Lager;A\n" + pad + "\n", "tisdag.csv: inga artiklar, filen har bara rubrikraden"},
        {pad + "x\nArtikel;Lager;A\n",
         "tisdag.csv, rad 1, kolumn 1: väntade rubriken \"Artikel\", cellen är tom"},
    };
    for (const auto& c : cases) EXPECT_EQ(Message(c.file), c.message) << c.file.substr(0, 40);
}

// The most memory ParseRouteFile takes at once, besides the bytes given,
// while refusing them; SIZE_MAX when it accepts them.
std::size_t PeakWhileRefusing(std::string_view bytes) {
    gLive = 0;
    gPeak = 0;
    gCounting = true;
    bool refused = false;
    try {
        day::ParseRouteFile(bytes, "tisdag.csv");
    } catch (const day::FileError&) {
        refused = true;
    }
    gCounting = false;
    return refused ? gPeak.load() : static_cast<std::size_t>(-1);
}

std::string Repeated(std::string_view piece, std::size_t size) {
    std::string text;
    text.reserve(size + piece.size());
    while (text.size() < size) text += piece;
    return text;
}

// Refusing a file takes little memory whatever its shape: cells are not
// kept past the width of a route, a Windows-1252 file is not copied whole,
// and names are not copied out before the whole file has been read. The
// files here are 6 MiB; keeping every cell (16 bytes each) would take 96 MiB
// for the first, and copying the names out early 4 MiB more for the last.
TEST(ParseRouteFile, RefusingTakesLittleMemoryBesidesTheBytes) {
    constexpr std::size_t kSize = std::size_t{6} << 20U;
    constexpr std::size_t kMost = std::size_t{4} << 20U;
    // A long name on every line, up to the most articles there can be, then
    // one more line.
    std::string longNames = "Artikel;Lager;A\n";
    for (int a = 0; a < 32768; ++a) longNames += std::string(100, 'x') + ";;1\n";
    longNames += Repeated(std::string(1000, ';') + "\n", kSize - longNames.size());
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"separators", std::string(kSize, ';')},
        {"lines of separators", Repeated(std::string(99, ';') + "\n", kSize)},
        {"a line of separators after a header",
         "Artikel;Lager;A\n108;;1" + std::string(kSize, ';') + "x\n"},
        {"a header of shop names", "Artikel;Lager" + Repeated(";Butik Söder", kSize)},
        {"Windows-1252", std::string(kSize, '\x80')},
        {"Windows-1252 shop names", "Artikel;Lager" + Repeated(";K\xF6pm\xE4ngen", kSize)},
        {"UTF-8 with a bad byte at the end",
         "Artikel;Lager;Å\n" + Repeated("x;;1" + std::string(600, ';') + "\n", kSize) + "\xE4"},
        {"long names refused at the last line", longNames},
    };
    for (const auto& c : cases) EXPECT_LE(PeakWhileRefusing(c.bytes), kMost) << c.what;
}

TEST(ParseRouteFile, SizesThatNoRouteHas) {
    std::string shops = "Artikel;Lager";
    for (int k = 0; k < 32768; ++k) shops += ";b";
    EXPECT_EQ(Message(shops + "\nx;;1\n"),
              "tisdag.csv, rad 1: för många butiker (32768), högst 32767 går");

    std::string articles = "Artikel;Lager;A\n";
    for (int a = 0; a < 32768; ++a) articles += "x;;1\n";
    EXPECT_EQ(Message(articles), "tisdag.csv, rad 32769: för många artiklar, högst 32767 går");
    articles.resize(articles.size() - 5);
    EXPECT_EQ(day::ParseRouteFile(articles, "tisdag.csv").articles.size(), 32767U);

    std::string wide = "Artikel;Lager";
    for (int k = 0; k < 100; ++k) wide += ";b";
    wide += "\n";
    for (int a = 0; a < 10001; ++a) wide += "x\n";
    EXPECT_EQ(Message(wide),
              "tisdag.csv, rad 10002: rutten blir för stor (10001 artiklar gånger 100 butiker), "
              "högst 1000000 celler går");

    EXPECT_EQ(Message(std::string(day::kMaxRouteFileBytes + 1, ' ')),
              "tisdag.csv: filen är för stor, högst 64 MB går");
}

TEST(ParseRouteFile, WhatItReturnsStartsARoute) {
    const RouteSheet sheet =
        day::ParseRouteFile("Artikel;Lager;A;B\n108;;32767;0\n116;3;;\n", "tisdag.csv");
    route::RouteData r;
    route::StartRoute(r, sheet);
    EXPECT_EQ(r.nAntal(1, route::kBest, route::kVan), 32767);
    EXPECT_EQ(r.nAntal(2, route::kBest, route::kVan), 3);
    EXPECT_EQ(r.colKund.Item(2), "B");
}

// A fresh folder under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/route_file_test.XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }

    const std::string& path() const { return path_; }
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

private:
    std::string path_;
};

std::string FileMessage(const std::string& path) {
    try {
        day::ReadRouteFile(path);
    } catch (const day::FileError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(ReadRouteFile, ReadsTheFileAsBytes) {
    const TempDir dir;
    const std::string bytes =
        "\xEF\xBB\xBF"
        "Artikel;Lager;G\xC3\xA5rden\r\n"
        "116 J\xC3\xA4tterasker;;3\r\n";
    const std::string path = dir.Write("tisdag.csv", bytes);
    EXPECT_EQ(day::ReadFileBytes(path, "tisdag.csv"), bytes);
    ExpectSheet(day::ReadRouteFile(path), {{"116 Jätterasker"}, {"Gården"}, {3}, {{3}}});

    const std::string binary = "a\0b\r\n\xFF\x1A"s + std::string(70000, 'z');
    EXPECT_EQ(day::ReadFileBytes(dir.Write("binary", binary), "binary"), binary);
}

TEST(ReadRouteFile, FilesThatCannotBeReadAreNamedInTheMessage) {
    const TempDir dir;
    const std::string& d = dir.path();
    EXPECT_EQ(FileMessage(d + "/saknas.csv"), d + "/saknas.csv: filen finns inte");
    EXPECT_EQ(FileMessage(d), d + ": är en mapp, inte en fil");
    EXPECT_EQ(FileMessage(dir.Write("tom.csv", "")), d + "/tom.csv: filen är tom");
    const std::string plain = dir.Write("vanlig.csv", "Artikel;Lager;A\n108;;1\n");
    EXPECT_EQ(FileMessage(plain + "/x.csv"), plain + "/x.csv: en del av sökvägen är inte en mapp");
    ASSERT_EQ(::mkfifo((d + "/ror").c_str(), 0600), 0);
    EXPECT_EQ(FileMessage(d + "/ror"), d + "/ror: är inte en vanlig fil");
    EXPECT_EQ(FileMessage("/dev/null"), "/dev/null: är inte en vanlig fil");
    // The caller decides the name shown, for ReadFileBytes.
    try {
        day::ReadFileBytes(d + "/saknas.csv", "tisdag.csv");
        ADD_FAILURE() << "a missing file was read";
    } catch (const day::FileError& e) {
        EXPECT_STREQ(e.what(), "tisdag.csv: filen finns inte");
    }
    // A NUL would cut the path short; it must not open the folder before it.
    try {
        day::ReadFileBytes(plain + "\0/x"s, "tisdag.csv");
        ADD_FAILURE() << "a path with NUL was read";
    } catch (const day::FileError& e) {
        EXPECT_STREQ(e.what(), "tisdag.csv: ogiltigt filnamn");
    }
}

TEST(ReadRouteFile, AFileWithoutReadPermission) {
    const TempDir dir;
    const std::string path = dir.Write("lasbar.csv", "Artikel;Lager;A\n108;;1\n");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    // Root reads every file unless it gives up that right, which only a
    // child process may do here.
    const int status = testing_support::RunInChild([&path] {
        if (::geteuid() == 0) testing_support::DropFilePermissionOverride();
        EXPECT_EQ(FileMessage(path), path + ": behörighet saknas för att läsa filen");
    });
    EXPECT_TRUE(testing_support::ExitedCleanly(status));
}

TEST(ReadRouteFile, TheExampleRouteLoads) {
    const RouteSheet sheet = day::ReadRouteFile(LEVERANS_DATA_DIR "/tisdag.csv");
    EXPECT_EQ(sheet.articles,
              (std::vector<std::string>{"108 Skivad J.F.", "116 Jätterasker", "120 Lyxfranska",
                                        "130 Rasker", "308 Vitabygrova", "320 Leva",
                                        "326 Gräddad längtan"}));
    EXPECT_GE(sheet.customers.size(), 4U);
    EXPECT_LE(sheet.customers.size(), 6U);
    route::RouteData r;
    route::StartRoute(r, sheet);
    route::CalcRek(r);
    EXPECT_EQ(r.colArtikel.Count(), 7);
}

}  // namespace
