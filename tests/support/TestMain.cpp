// One main for every test program: a QApplication (offscreen unless told otherwise), so that GUI
// tests have one and core tests run as they would inside the program, and a settings store and
// application-data folder of the test's own, so no test touches the user's.

#include "support/TestEnvironment.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    testing::AddGlobalTestEnvironment(new tonrig::test::IsolatedEnvironment);
    return RUN_ALL_TESTS();
}
