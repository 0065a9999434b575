// The view's side of the device setup: the last session at start-up, the re-setup after a replug,
// the panes and buffers a setup changes.

#include "operations/ui/ViewSetup.h"
#include "operations/ui/ConfigGrid.h"

#include "SetupFakes.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "link/LinkLease.h"
#include "link/ProgrammerLink.h"
#include "operations/LastSession.h"
#include "operations/ui/TonrigView.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "shell/RegistryKey.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace {

using tonrig::test::FakeBox;

class ViewSetup : public testing::Test {
protected:
    void SetUp() override
    {
        g_DeviceLibrary.FreeAll();
        auto record = std::make_unique<CDeviceRecord>();
        record->m_strName = "AT29C010";
        record->m_nClassIndex = 188;
        g_DeviceRecords.push_back(std::move(record));
        g_nOperationState = kStateIdle;
    }
    void TearDown() override
    {
        setup.reset();
        EXPECT_FALSE(g_LinkLease.IsHeld());
        g_DeviceLibrary.FreeAll();
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
    }
    static void Store(const std::string& device, const std::string& file)
    {
        CRegistryKey key;
        key.Create(HKEY_CURRENT_USER, kLastSessionKey);
        key.Open(HKEY_CURRENT_USER, kLastSessionKey);
        key.WriteString("LastDevice", device);
        key.WriteString("LastOpenedFileName", file);
    }
    static std::string Stored(const std::string& name)
    {
        CRegistryKey key;
        std::string value;
        key.Open(HKEY_CURRENT_USER, kLastSessionKey);
        key.ReadString(name, value);
        return value;
    }
    bool WaitIdle()
    {
        return tonrig::test::ProcessEventsUntil([&] { return !setup->Setup().Busy(); });
    }

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    std::shared_ptr<platform::Clock> clock = platform::MakeScaledClock(1000);
    platform::ScopedClock scoped { clock };
    CTonrigView view;
    FakeBox* box = nullptr;
    std::unique_ptr<CViewSetup> setup = [this] {
        auto port = std::make_unique<FakeBox>();
        box = port.get();
        return std::make_unique<CViewSetup>(view, std::move(port));
    }();
};

TEST_F(ViewSetup, AnUnknownLastDeviceSaysSoAndLoadsNothing)
{
    Store("NO-SUCH-CHIP", "/data/last.bin");
    setup->LoadLastSession();
    ASSERT_TRUE(WaitIdle());
    tonrig::test::ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(20));
    const std::string log = view.MessageLog().GetText();
    EXPECT_NE(log.find("DEVICE NO-SUCH-CHIP"), std::string::npos);
    EXPECT_NE(log.find("Device not found!"), std::string::npos);
    EXPECT_TRUE(view.m_strFileName.empty());
    EXPECT_TRUE(box->loads.empty());

    // No stored device: the file alone.
    Store("", "/data/only.bin");
    setup->LoadLastSession();
    tonrig::test::ProcessEventsUntil([&] { return !view.m_strFileName.empty(); });
    EXPECT_EQ(view.m_strFileName, "/data/only.bin");
}

TEST_F(ViewSetup, AReplugSetsTheSelectedDeviceUpAgainWithoutReloading)
{
    setup->OnProgrammerIdentified(); // the first identification at start-up
    EXPECT_TRUE(box->loads.empty());

    ASSERT_GE(SelectDeviceByName("AT29C010"), 0);
    setup->Start(188, 1, 1, 1);
    ASSERT_TRUE(WaitIdle());
    // The setup's tail filled the grid: its header row alone, for a device without a file.
    EXPECT_EQ(view.ConfigGrid().GetRowCount(), 1);
    view.ConfigGrid().SetRowCount(0);
    const std::size_t buffers = view.m_CodeBuffer.size();
    view.m_CodeBuffer[0] = 0x12;

    box->loads.clear();
    setup->OnProgrammerIdentified(); // the box came back without its image
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(box->loads, (std::vector<int> { 355, 179 }));
    EXPECT_EQ(view.ConfigGrid().GetRowCount(), 0); // no reload, no refill
    EXPECT_EQ(view.m_CodeBuffer.size(), buffers);
    EXPECT_EQ(view.m_CodeBuffer[0], 0x12); // the same class keeps the user's buffer

    // With nothing selected a replug sets nothing up.
    g_nCurrentClass = kNoDeviceClass;
    box->loads.clear();
    setup->OnProgrammerIdentified();
    EXPECT_FALSE(setup->Setup().Busy());
    EXPECT_TRUE(box->loads.empty());
}

TEST_F(ViewSetup, TheViewForwardsItsChannelMembers)
{
    g_nCurrentClass = 1;
    EXPECT_EQ(view.SetTransferSizes(), 64);
    view.m_nBufferIndex = 1;
    EXPECT_EQ(view.GetReadCommand(), P_READ_DATA);
    EXPECT_EQ(view.GetWriteOkCommand(), P_WRITE_DATA_OK);
    // The view's own port is the programmer link; nothing is on this bus.
    g_ProgrammerLink.ResetForTest(std::make_shared<platform::usb::VirtualBus>());
    const BYTE packet[2] = { P_DEVICE, 0 };
    EXPECT_FALSE(view.SendCommand(packet, 2));
    EXPECT_FALSE(view.CheckProgrammerLink());
    g_ProgrammerLink.ResetForTest();
}

} // namespace
