#include <gtest/gtest.h>

#include "tests/office/cluster.h"

// The program's cluster is started by the first test that needs it and
// stopped at the end, whatever the tests' outcome.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    office_testing::AddClusterEnvironment();
    return RUN_ALL_TESTS();
}
