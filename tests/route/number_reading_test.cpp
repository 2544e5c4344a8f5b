#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "route/route.h"

namespace {

using route::ReadNumber;

TEST(ReadNumber, TypedQuantities) {
    EXPECT_EQ(ReadNumber(""), 0.0);
    EXPECT_EQ(ReadNumber("12"), 12.0);
    EXPECT_EQ(ReadNumber(" 12"), 12.0);
    EXPECT_EQ(ReadNumber("12 abc"), 12.0);
    EXPECT_EQ(ReadNumber("abc"), 0.0);
    EXPECT_EQ(ReadNumber("abc12"), 0.0);
    EXPECT_EQ(ReadNumber("2.5"), 2.5);
    EXPECT_EQ(ReadNumber("-3"), -3.0);
    EXPECT_EQ(ReadNumber("+4"), 4.0);
}

TEST(ReadNumber, BlanksTabsAndLineFeedsAreIgnoredAnywhere) {
    EXPECT_EQ(ReadNumber("1 2"), 12.0);
    EXPECT_EQ(ReadNumber("\t1\n2 . 5"), 12.5);
    EXPECT_EQ(ReadNumber("- 3"), -3.0);
    EXPECT_EQ(ReadNumber("   "), 0.0);
    // Other white space is an ordinary character and ends the number.
    EXPECT_EQ(ReadNumber("1\r2"), 1.0);
    EXPECT_EQ(ReadNumber("1\v2"), 1.0);
}

TEST(ReadNumber, StopsAtTheFirstCharacterThatCannotContinue) {
    EXPECT_EQ(ReadNumber("1,5"), 1.0);  // the comma is no decimal point
    EXPECT_EQ(ReadNumber("1.2.3"), 1.2);
    EXPECT_EQ(ReadNumber("1e3"), 1.0);  // no exponents
    EXPECT_EQ(ReadNumber("1E3"), 1.0);
    EXPECT_EQ(ReadNumber("&H10"), 0.0);  // no hexadecimal
    EXPECT_EQ(ReadNumber("&O17"), 0.0);  // no octal
    EXPECT_EQ(ReadNumber("3-4"), 3.0);
    EXPECT_EQ(ReadNumber("--5"), 0.0);
    EXPECT_EQ(ReadNumber("+-5"), 0.0);
    EXPECT_EQ(ReadNumber("0x1A"), 0.0);
}

TEST(ReadNumber, DecimalPointForms) {
    EXPECT_EQ(ReadNumber(".5"), 0.5);
    EXPECT_EQ(ReadNumber("5."), 5.0);
    EXPECT_EQ(ReadNumber("-.5"), -0.5);
    EXPECT_EQ(ReadNumber("."), 0.0);
    EXPECT_EQ(ReadNumber("-"), 0.0);
    EXPECT_EQ(ReadNumber("-."), 0.0);
    EXPECT_EQ(ReadNumber("0.1"), 0.1);  // correctly rounded, like a literal
    EXPECT_EQ(ReadNumber("007"), 7.0);
}

TEST(ReadNumber, AnyBytesAreSafe) {
    EXPECT_EQ(ReadNumber(std::string("4\0"
                                     "2",
                                     3)),
              4.0);
    EXPECT_EQ(ReadNumber(std::string("\0"
                                     "42",
                                     3)),
              0.0);
    EXPECT_EQ(ReadNumber("\xff\xfe"
                         "12"),
              0.0);
    EXPECT_EQ(ReadNumber("12\xc3\xa5"), 12.0);  // "12å"
    EXPECT_EQ(ReadNumber("\xe2\x82\xac"
                         "5"),
              0.0);                       // "€5"
    EXPECT_EQ(ReadNumber("7\x80"), 7.0);  // a lone continuation byte
}

TEST(ReadNumber, HugeAndTinyNumbers) {
    EXPECT_EQ(ReadNumber("99999"), 99999.0);
    EXPECT_EQ(ReadNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadNumber("-" + std::string(400, '9')), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ReadNumber("0." + std::string(400, '0') + "1"), 0.0);
    EXPECT_EQ(ReadNumber(std::string(400, '0') + "3"), 3.0);
    // A long fraction of nines rounds to a value a 16-bit quantity can take.
    EXPECT_NEAR(ReadNumber("2." + std::string(30, '9')), 3.0, 1e-12);
}

}  // namespace
