#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cstdlib>

#include "tests/office/cluster.h"

// QProcess wants an application object; the program's cluster is started
// by the first test that needs it and stopped at the end.
int main(int argc, char** argv) {
    // The tests give the connection themselves, or none on purpose.
    ::unsetenv("LEVERANS_KONTOR");
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    office_testing::AddClusterEnvironment();
    return RUN_ALL_TESTS();
}
