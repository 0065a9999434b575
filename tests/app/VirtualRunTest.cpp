// The program's own TONRIG_USB=virtual run, offscreen: the box it plugs, the chip its socket gets
// for the device chosen in the selection, a HEX file opened by name, then Write, Verify and Read
// through the Device menu's commands. No chip is built by hand.

#include "app/VirtualSocket.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceSelection.h"
#include "link/LinkLease.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationControl.h"
#include "operations/OperationState.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Clock.h"
#include "platform/GuiThread.h"
#include "platform/TextFormat.h"
#include "platform/usb/UsbProviders.h"
#include "platform/usb/VirtualBus.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TonrigApp.h"
#include "sim/VirtualProgrammer.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

// Intel HEX of `data` from address 0, 32 bytes a record.
std::string IntelHex(const std::vector<std::uint8_t>& data)
{
    std::string out;
    for (std::size_t at = 0; at < data.size(); at += 32) {
        const std::size_t n = std::min<std::size_t>(32, data.size() - at);
        unsigned sum = static_cast<unsigned>(n) + ((at >> 8) & 0xFF) + (at & 0xFF);
        std::string line = platform::Format(":%02X%04X00", static_cast<unsigned>(n), static_cast<unsigned>(at));
        for (std::size_t i = 0; i < n; ++i) {
            line += platform::Format("%02X", data[at + i]);
            sum += data[at + i];
        }
        line += platform::Format("%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        out += line;
    }
    return out + ":00000001FF\n";
}

class ProgramVirtualRun : public testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("TONRIG_USB", "virtual", 1);
        platform::usb::SetVirtualBusSetup([this](platform::usb::VirtualBus& bus) {
            box = sim::PlugBoxFromEnvironment(bus);
            std::lock_guard lock(box->Mutex());
            WatchVirtualSocket(*box);
        });
        usb = std::make_unique<platform::usb::ScopedUsbProvider>(nullptr);
        g_ProgrammerLink.ResetForTest(platform::usb::CurrentUsbProviderPtr());
    }
    void TearDown() override
    {
        app.reset();
        g_ProgrammerLink.ResetForTest();
        usb.reset();
        platform::usb::SetVirtualBusSetup({});
        ::unsetenv("TONRIG_USB");
        for (LeaseHolder holder : { LeaseHolder::Operation, LeaseHolder::Setup, LeaseHolder::Identify })
            g_LinkLease.Release(holder);
        g_nOperationState = kStateIdle;
        g_nProgrammerModel = kModelZvC;
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
        platform::ResetShutdownForTest();
    }
    bool Idle() const
    {
        return !view->Pump().Running() && view->Control().ArmedTimer() == 0 && !g_LinkLease.IsHeld()
            && g_nOperationState <= kStateIdle;
    }
    std::vector<std::uint8_t> Chip()
    {
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Get()->Contents(sim::ChipMemory::Main);
    }

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    platform::ScopedClock clock { platform::MakeScaledClock(20) };
    std::unique_ptr<platform::usb::ScopedUsbProvider> usb;
    std::shared_ptr<sim::Box> box;
    std::unique_ptr<CTonrigApp> app;
    CTonrigView* view = nullptr;
};

TEST_F(ProgramVirtualRun, A27C256ChosenInTheSelectionTakesAHexFileAndReadsItBack)
{
    ASSERT_TRUE(platform::usb::VirtualUsbRequested());
    app = std::make_unique<CTonrigApp>();
    ASSERT_TRUE(app->InitInstance(false));
    view = app->MainFrame()->MainView();
    ASSERT_TRUE(ProcessEventsUntil([&] { return g_nOperationState == kStateIdle && box; }, 60s))
        << view->MessageLog().GetText();

    // The selection: its model finds the part, the dialog's answer sets it up.
    CDeviceSelectModel model(DeviceSelectEntriesFromRecords());
    model.Open("");
    model.SetSearch("27C256");
    const DeviceSelectEntry* chosen = nullptr;
    for (std::size_t line = 0; line < model.Devices().size(); ++line) {
        if (model.DeviceLine(static_cast<int>(line)).name == "27C256") {
            model.HighlightDevice(static_cast<int>(line));
            chosen = model.Highlighted();
            break;
        }
    }
    ASSERT_NE(chosen, nullptr);
    const DeviceSelectEntry entry = *chosen;
    app->SetDeviceSelector([entry] {
        CTonrigApp::DeviceChoice choice;
        choice.cancelled = !SelectDeviceEntry(entry);
        choice.selectedClass = entry.classIndex;
        return choice;
    });
    app->OnDeviceList();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view->DeviceSetupOwner().Setup().Busy() && Idle(); }, 60s));
    ASSERT_EQ(g_CurrentDevice.m_strName, "27C256");
    ASSERT_EQ(g_CurrentDevice.m_nCodeSize, 0x8000);
    ASSERT_FALSE(box->ChipSocket().Empty());

    std::vector<std::uint8_t> file(0x8000);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>((i * 131 + 7) ^ (i >> 7));
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath("image.hex").toStdString();
    std::ofstream(path) << IntelHex(file);
    view->OpenFileByName(path);
    ASSERT_TRUE(view->m_CodeBuffer == file);

    view->OnDeviceWrite();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << view->MessageLog().GetText();
    view->OnDeviceVerify();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << view->MessageLog().GetText();
    view->m_CodeBuffer.assign(view->m_CodeBuffer.size(), 0x00);
    view->OnDeviceRead();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << view->MessageLog().GetText();

    const std::string log = view->MessageLog().GetText();
    EXPECT_NE(log.find("Device write completed"), std::string::npos) << log;
    EXPECT_NE(log.find("Device is verified"), std::string::npos) << log;
    EXPECT_NE(log.find("Read completed."), std::string::npos) << log;
    EXPECT_TRUE(Chip() == file);
    EXPECT_TRUE(view->m_CodeBuffer == file);
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

} // namespace
