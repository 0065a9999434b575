// One main for every test program: a QApplication (offscreen unless told otherwise), so that GUI
// tests have one and core tests run as they would inside the program, and a settings store and
// application-data folder of the test's own, so no test touches the user's.

#include "sim/Box.h"
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
    // Strict virtual programmers (the default) fail the test on a protocol error.
    sim::SetProtocolErrorHook(
        [](const std::string& what) { ADD_FAILURE() << "virtual programmer protocol error: " << what; });
    return RUN_ALL_TESTS();
}
