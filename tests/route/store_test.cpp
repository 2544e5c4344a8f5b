#include <gtest/gtest.h>

#include <string>

#include "route/route.h"

namespace {

using route::KeyedList;
using route::KeyError;
using route::QuantityTable;
using route::SubscriptError;

TEST(KeyedList, FindsByKeyAndByOneBasedPosition) {
    KeyedList<std::string> list;
    EXPECT_EQ(list.Count(), 0);
    list.Add("first", route::IndexText(1));
    list.Add("second", route::IndexText(2));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Item(1), "first");
    EXPECT_EQ(list.Item(" 2"), "second");
    EXPECT_EQ(list.Item(2), list.Item(route::IndexText(2)));
}

TEST(KeyedList, MissingDuplicateAndOutOfRangeAreErrors) {
    KeyedList<std::string> list;
    EXPECT_THROW(list.Item(1), SubscriptError);  // usable while still empty
    list.Add("x", " 2");
    EXPECT_THROW(list.Item("2"), KeyError);  // the digit alone is not the key
    EXPECT_THROW(list.Item(" 3"), KeyError);
    EXPECT_THROW(list.Item(0), SubscriptError);
    EXPECT_THROW(list.Item(2), SubscriptError);
    EXPECT_THROW(list.Item(-1), SubscriptError);
    EXPECT_THROW(list.Add("y", " 2"), KeyError);
    EXPECT_EQ(list.Count(), 1);  // the refused add left nothing behind
    EXPECT_EQ(list.Item(" 2"), "x");
}

TEST(QuantityTable, GrowingSlotsKeepsEveryValue) {
    QuantityTable t;
    t.Resize(7, 0);
    for (int a = 1; a <= 7; ++a)
        for (int p = 1; p <= 3; ++p) t(a, p, 0) = static_cast<int16_t>(a * 10 + p);
    for (int k = 1; k <= 4; ++k) {
        t.ResizeSlots(k);
        for (int a = 1; a <= 7; ++a)
            for (int p = 1; p <= 3; ++p) {
                EXPECT_EQ(t(a, p, k), 0) << "new slot " << k;
                t(a, p, k) = static_cast<int16_t>(k * 100 + a * 10 + p);
            }
    }
    for (int k = 0; k <= 4; ++k)
        for (int a = 1; a <= 7; ++a)
            for (int p = 1; p <= 3; ++p) EXPECT_EQ(t(a, p, k), k * 100 + a * 10 + p);
}

TEST(QuantityTable, ResizeStartsAfreshWithZeros) {
    QuantityTable t;
    t.Resize(2, 1);
    t(2, 3, 1) = 9;
    t.Resize(2, 0);
    t.ResizeSlots(1);
    EXPECT_EQ(t(2, 3, 1), 0);
}

TEST(QuantityTable, IndexesOutsideTheRangesThrow) {
    QuantityTable t;
    EXPECT_THROW(t(1, 1, 0), SubscriptError);  // not sized yet
    t.Resize(7, 0);
    EXPECT_NO_THROW(t(7, 3, 0));
    EXPECT_THROW(t(0, 1, 0), SubscriptError);
    EXPECT_THROW(t(8, 1, 0), SubscriptError);
    EXPECT_THROW(t(1, 0, 0), SubscriptError);
    EXPECT_THROW(t(1, 4, 0), SubscriptError);
    EXPECT_THROW(t(1, 1, 1), SubscriptError);  // slot 1 does not exist yet
    EXPECT_THROW(t(1, 1, -1), SubscriptError);
    t.ResizeSlots(1);
    EXPECT_NO_THROW(t(1, 1, 1));
}

}  // namespace
