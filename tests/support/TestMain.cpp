// One main for every test program: a QApplication (offscreen unless told otherwise), so that GUI
// tests have one and core tests run as they would inside the program, and a settings store and
// application-data folder of the test's own, so no test touches the user's.

#include "sim/Box.h"
#include "support/TestEnvironment.h"

#include "platform/GuiThread.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// A closed main view begins the program's shut-down; each test starts with the GUI thread open.
class ShutdownReset : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { platform::ResetShutdownForTest(); }
};

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    testing::AddGlobalTestEnvironment(new tonrig::test::IsolatedEnvironment);
    testing::UnitTest::GetInstance()->listeners().Append(new ShutdownReset);
    // Strict virtual programmers (the default) fail the test on a protocol error.
    sim::SetProtocolErrorHook(
        [](const std::string& what) { ADD_FAILURE() << "virtual programmer protocol error: " << what; });
    return RUN_ALL_TESTS();
}
