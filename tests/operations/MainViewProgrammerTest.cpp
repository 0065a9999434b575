// The main view against the virtual programmer, with the program's own monitor and
// identification: start-up with and without the box, unplug and replug, closing at any moment.

#include "controls/ui/ImageButton.h"
#include "operations/ui/TonrigView.h"

#include "link/EzUsbFailOver.h"
#include "link/LinkLease.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/StartupChecks.h"
#include "platform/GuiThread.h"
#include "platform/OsVersion.h"
#include "platform/ui/GdiShim.h"
#include "platform/usb/UsbProviders.h"
#include "platform/usb/VirtualBus.h"
#include "shell/RegistryKey.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"
#include "sim/Box.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr const char* kLost = "USB connection lost!\r\nPlease replug the USB cable and restart software again.";

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class MainViewProgrammer : public testing::Test {
protected:
    void SetUp() override
    {
        g_bUsbConnected = 0;
        g_ProgrammerLink.ResetForTest(bus);
    }
    void TearDown() override
    {
        app.reset();
        g_ProgrammerLink.ResetForTest();
        g_bUsbConnected = 0;
        for (LeaseHolder holder : { LeaseHolder::Operation, LeaseHolder::Setup, LeaseHolder::Identify })
            g_LinkLease.Release(holder);
        g_nOperationState = kStateIdle;
        g_nProgrammerModel = kModelZvC;
    }
    std::shared_ptr<sim::Box> PlugBox(const std::string& version = "ZV-CQ Re-2.00")
    {
        sim::BoxConfig config;
        config.version = version;
        config.serial = "ab12cd34ef";
        box = sim::Box::PlugInto(*bus, config);
        return box;
    }
    void Start()
    {
        app = std::make_unique<CTonrigApp>();
        ASSERT_TRUE(app->InitInstance(false));
        view = app->MainFrame()->MainView();
    }
    std::string Log() const { return view->MessageLog().GetText(); }
    std::string FirmwarePane() const
    {
        return g_pStatusBar->GetPaneText(g_pStatusBar->CommandToIndex(CStatusBar::ID_INDICATOR_FIRMWARE));
    }
    std::size_t LossBoxes() const
    {
        std::size_t n = 0;
        for (const auto& b : boxes.Boxes())
            n += b.text == kLost && b.caption == "Error";
        return n;
    }
    void RunFor(platform::Duration clockTime)
    {
        const platform::Duration end = platform::GetClock().Now() + clockTime;
        ProcessEventsUntil([&] { return platform::GetClock().Now() >= end; });
    }

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes { IDNO };
    platform::ScopedClock clock { platform::MakeScaledClock(20) }; // slow enough for a loaded machine
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    platform::usb::ScopedUsbProvider usb { bus };
    std::shared_ptr<sim::Box> box;
    std::unique_ptr<CTonrigApp> app;
    CTonrigView* view = nullptr;
};

TEST_F(MainViewProgrammer, PluggedStartUpIdentifiesTheBoxOnce)
{
    PlugBox();
    Start();
    EXPECT_EQ(g_nOperationState, kStateIdentifying);
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_nOperationState == kStateIdle; }, 60s)) << Log();
    const std::string log = Log();
    EXPECT_EQ(Count(log, "Please wait..."), 1u) << log;
    EXPECT_EQ(Count(log, "Ready\n"), 1u) << log;
    EXPECT_EQ(Count(log, LinuxSystemName(platform::ProbeOsVersion().prettyName) + "("), 1u) << log;
    EXPECT_EQ(view->m_strHardwareVersion, "ZV-CQ Re-2.00");
    EXPECT_EQ(view->m_strHardwareSerial, "AB12CD34EF");
    EXPECT_EQ(g_nProgrammerModel, kModelZvCQ);
    EXPECT_EQ(FirmwarePane(), "Firmware Rev: ZV-CQ Re-2.00");
    CRegistryKey key;
    DWORD ok = 0;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings"));
    EXPECT_TRUE(key.ReadDword("USBDriverOK", ok));
    EXPECT_EQ(ok, 1u);
    RunFor(5s);
    EXPECT_EQ(view->IdentificationCount(), 1);
    EXPECT_EQ(Count(Log(), "Ready\n"), 1u);
    EXPECT_EQ(boxes.Count(), 0u);
}

// Field 131 after an identification: green on the quick models, else the button text colour;
// the caption takes no click.
void CheckDeviceNameColour(CTonrigView* view, COLORREF colour)
{
    auto* name = qobject_cast<CImageButton*>(view->GetDlgItem(CTonrigView::IDC_DEVICE_NAME));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->TextColor(), colour);
    QSignalSpy clicked(name, &QAbstractButton::clicked);
    const QPointF at(name->width() / 2, name->height() / 2);
    QMouseEvent press(
        QEvent::MouseButtonPress, at, name->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(
        QEvent::MouseButtonRelease, at, name->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(name, &press);
    QApplication::sendEvent(name, &release);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(name->isDown());
}

TEST_F(MainViewProgrammer, TheDeviceNameIsGreenOnAQuickModel)
{
    PlugBox("ZV-CQ Re-2.00");
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_nOperationState == kStateIdle; }, 60s)) << Log();
    CheckDeviceNameColour(view, RGB(0, 144, 0));
}

TEST_F(MainViewProgrammer, TheDeviceNameKeepsTheButtonTextColourOnOtherModels)
{
    PlugBox("ZV-C Re-2.00");
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_nOperationState == kStateIdle; }, 60s)) << Log();
    CheckDeviceNameColour(view, GetSysColor(COLOR_BTNTEXT));
}

TEST_F(MainViewProgrammer, UnpluggedStartUpThenPlugUnplugReplug)
{
    Start();
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    ASSERT_TRUE(ProcessEventsUntil([&] { return boxes.Count() == 1; }));
    EXPECT_EQ(boxes.Boxes()[0].caption, "Did not find programmer.");

    PlugBox();
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_nOperationState == kStateIdle; }, 60s)) << Log();
    EXPECT_EQ(view->IdentificationCount(), 1);

    box->Port()->Unplug();
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_nOperationState == kStateDisconnected && LossBoxes() == 1; }, 60s));
    EXPECT_EQ(FirmwarePane(), "Firmware Rev: ---");
    RunFor(3s);
    EXPECT_EQ(LossBoxes(), 1u);

    box->Port()->Plug();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return g_nOperationState == kStateIdle && view->IdentificationCount() == 2; }, 60s))
        << Log();
    RunFor(3s);
    EXPECT_EQ(view->IdentificationCount(), 2);
    EXPECT_EQ(LossBoxes(), 1u);
}

TEST_F(MainViewProgrammer, ClosingDuringASlowIdentificationJoinsEverything)
{
    sim::BoxConfig config;
    config.version = "ZV-CQ Re-2.00";
    config.reenumerationDelay = 60s; // the firmware download takes its time to come back
    box = sim::Box::PlugInto(*bus, config);
    Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_LinkLease.Holder() == LeaseHolder::Identify; }, 60s));
    RunFor(1s);
    QElapsedTimer timer;
    timer.start();
    app->MainFrame()->close();
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(view->IsShutDown());
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Identify));
    EXPECT_EQ(view->Monitor(), nullptr);
}

} // namespace
