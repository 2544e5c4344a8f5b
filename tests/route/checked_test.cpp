#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "route/route.h"

namespace {

using route::CheckedAdd;
using route::CheckedSub;
using route::OverflowError;
using route::RoundToInt16;

TEST(CheckedArithmetic, StaysExactUpToTheLimits) {
    EXPECT_EQ(CheckedAdd(32766, 1), 32767);
    EXPECT_EQ(CheckedAdd(-32767, -1), -32768);
    EXPECT_EQ(CheckedSub(-32767, 1), -32768);
    EXPECT_EQ(CheckedSub(0, -32767), 32767);
    EXPECT_EQ(CheckedAdd(-32768, 32767), -1);
}

TEST(CheckedArithmetic, OverflowThrowsInsteadOfWrapping) {
    EXPECT_THROW(CheckedAdd(32767, 1), OverflowError);
    EXPECT_THROW(CheckedAdd(-32768, -1), OverflowError);
    EXPECT_THROW(CheckedSub(-32768, 1), OverflowError);
    EXPECT_THROW(CheckedSub(0, -32768), OverflowError);
    EXPECT_THROW(route::ToInt16(32768), OverflowError);
    EXPECT_THROW(route::ToInt16(-32769), OverflowError);
    EXPECT_EQ(route::ToInt16(-32768), -32768);
}

TEST(RoundToInt16, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundToInt16(0.5), 0);
    EXPECT_EQ(RoundToInt16(1.5), 2);
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(3.5), 4);
    EXPECT_EQ(RoundToInt16(-0.5), 0);
    EXPECT_EQ(RoundToInt16(-1.5), -2);
    EXPECT_EQ(RoundToInt16(-2.5), -2);
    EXPECT_EQ(RoundToInt16(-3.5), -4);
}

TEST(RoundToInt16, OtherValuesGoToTheNearest) {
    EXPECT_EQ(RoundToInt16(2.4999999999999996), 2);
    EXPECT_EQ(RoundToInt16(2.5000000000000004), 3);
    EXPECT_EQ(RoundToInt16(7.499999999999999), 7);
    EXPECT_EQ(RoundToInt16(10.500000000000002), 11);
    EXPECT_EQ(RoundToInt16(-4.6), -5);
    EXPECT_EQ(RoundToInt16(0.0), 0);
    EXPECT_EQ(RoundToInt16(-0.0), 0);
}

TEST(RoundToInt16, RangeEndsAndBeyond) {
    EXPECT_EQ(RoundToInt16(32767.0), 32767);
    EXPECT_EQ(RoundToInt16(32767.49), 32767);
    EXPECT_THROW(RoundToInt16(32767.5), OverflowError);  // even neighbour is 32768
    EXPECT_EQ(RoundToInt16(-32768.5), -32768);           // even neighbour is -32768
    EXPECT_THROW(RoundToInt16(-32768.51), OverflowError);
    EXPECT_THROW(RoundToInt16(1e300), OverflowError);
    EXPECT_THROW(RoundToInt16(-1e300), OverflowError);
}

TEST(RoundToInt16, NonFiniteValuesThrow) {
    EXPECT_THROW(RoundToInt16(std::numeric_limits<double>::infinity()), OverflowError);
    EXPECT_THROW(RoundToInt16(-std::numeric_limits<double>::infinity()), OverflowError);
    EXPECT_THROW(RoundToInt16(std::nan("")), OverflowError);
}

TEST(IndexText, BlankStandsForThePlusSign) {
    EXPECT_EQ(route::IndexText(3), " 3");
    EXPECT_EQ(route::IndexText(-3), "-3");
    EXPECT_EQ(route::IndexText(0), " 0");
    EXPECT_EQ(route::IndexText(12), " 12");
    EXPECT_EQ(route::IndexText(-32768), "-32768");
}

}  // namespace
