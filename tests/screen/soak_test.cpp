#include <gtest/gtest.h>

#include <QTest>

#include "form_fixture.h"
#include "soak.h"

namespace {

using testing_support::Soak;

// A bounded run for every test pass; scripts/soak runs millions.
TEST(Soak, RandomInputBreaksNothing) {
    for (uint64_t seed : {1u, 2u, 3u, 4u, 5u}) {
        screen::Form1 form;
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        const auto result = Soak(form, seed, 10'000);
        EXPECT_EQ(result.events, 10'000);
        EXPECT_TRUE(result.failures.isEmpty())
            << "seed " << seed << ": " << result.failures.join("\n").toStdString();
        EXPECT_GT(result.saves, 0) << "seed " << seed;  // the road was really travelled
    }
}

}  // namespace
