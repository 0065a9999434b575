// The main view's pump steps: timers 1 to 5 start an operation on the pump's worker, and its one
// result comes back to the view, with the buffer, the state, the lease and the title as the user
// sees them.

#include "operations/ui/PumpController.h"
#include "operations/ui/TonrigView.h"

#include "PumpFakes.h"
#include "link/LinkLease.h"
#include "operations/OperationState.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"
#include "platform/usb/UsbProviders.h"
#include "platform/usb/VirtualBus.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

using pumptest::FakeChannel;

class ViewPumpStep : public testing::Test {
protected:
    void SetUp() override
    {
        InitLanguageForView();
        view = std::make_unique<CTonrigView>();
        g_nOperationState = kStateIdle;
        g_CurrentDevice = CDeviceClass();
        g_CurrentDevice.m_nCodeSize = 0x2000;
        g_nCurrentClass = 200;
        channel.chip.resize(0x2000);
        for (std::size_t i = 0; i < channel.chip.size(); ++i)
            channel.chip[i] = static_cast<std::uint8_t>(i ^ (i >> 5));
        view->SetPumpChannel(&channel, [](int& block, int& writeBlock, int& step) {
            block = 4096;
            writeBlock = 256;
            step = 59;
        });
    }
    void TearDown() override
    {
        view.reset();
        g_LinkLease.Release(LeaseHolder::Operation);
        g_LinkLease.TakeLinkLost();
        g_nOperationState = kStateIdle;
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
        g_bCancelOperation = 1;
        platform::ResetShutdownForTest();
        g_Language.Reset();
    }
    bool WaitIdle()
    {
        return tonrig::test::ProcessEventsUntil(
            [&] { return !view->Pump().Running() && g_nOperationState <= kStateIdle; });
    }

    std::shared_ptr<platform::Clock> clock = platform::MakeScaledClock(1000);
    platform::ScopedClock scoped { clock };
    platform::usb::ScopedUsbProvider usb { std::make_shared<platform::usb::VirtualBus>() };
    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    FakeChannel channel;
    std::unique_ptr<CTonrigView> view;
};

TEST_F(ViewPumpStep, TimersRunReadVerifyAndWrite)
{
    view->OnTimer(CTonrigView::kTimerRead);
    EXPECT_EQ(g_nOperationState, 3);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(g_nOperationState, kStateIdle);
    EXPECT_EQ(view->m_CodeBuffer, channel.chip);
    EXPECT_FALSE(view->Buffers().IsIncomplete(0));
    EXPECT_EQ(view->window()->windowTitle().toStdString(), CPumpController::kReadTitle);
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_EQ(channel.CountSent(P_POWER_DOWN), 1);

    view->OnTimer(CTonrigView::kTimerVerify);
    ASSERT_TRUE(WaitIdle());
    EXPECT_NE(view->MessageLog().GetText().find("Device is verified"), std::string::npos);

    view->m_CodeBuffer[0x100] ^= 0xFF;
    view->OnTimer(CTonrigView::kTimerWrite);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(channel.chip[0x100], view->m_CodeBuffer[0x100]);
    EXPECT_NE(view->MessageLog().GetText().find("Device write completed"), std::string::npos);
}

TEST_F(ViewPumpStep, ALostLinkLeavesTheBufferMarkedAndTheStateDisconnected)
{
    channel.silentFrom = 3;
    view->OnTimer(CTonrigView::kTimerRead);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_TRUE(view->Buffers().IsIncomplete(0));
    EXPECT_NE(
        view->MessageLog().GetText().find("Buffer incomplete: 0x001000 of 0x002000 bytes read."), std::string::npos);
}

TEST_F(ViewPumpStep, NoStepWithoutAChannelOrWhileTheLinkIsHeld)
{
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
    view->OnTimer(CTonrigView::kTimerRead);
    EXPECT_EQ(g_nOperationState, kStateIdle);
    g_LinkLease.Release(LeaseHolder::Setup);

    view->SetPumpChannel(nullptr, {});
    view->OnTimer(CTonrigView::kTimerErase);
    EXPECT_EQ(g_nOperationState, kStateIdle);
    EXPECT_TRUE(channel.sent.empty());
}

TEST_F(ViewPumpStep, ShutDownWhileAReadRunsEndsIt)
{
    channel.onRead = [](FakeChannel&, int read) {
        if (read == 1)
            platform::GetClock().SleepFor(std::chrono::milliseconds(50));
    };
    view->OnTimer(CTonrigView::kTimerRead);
    view->Shutdown();
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Pump));
}

} // namespace
