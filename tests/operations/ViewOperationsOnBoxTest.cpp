// The view's operations end to end: the program's own window, monitor and identification against
// the virtual programmer, commands as the user gives them, Cancel pressed on the progress window,
// boxes answered by the test. Each case ends idle (or disconnected after a lost link) with the
// socket unpowered, no step armed and the controls enabled.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/TextFormat.h"
#include "platform/usb/VirtualBus.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/ui/ProgressDlg.h"
#include "sim/Box.h"
#include "sim/Electrical.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include <QCheckBox>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed = 1)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>((i * 37 + seed * 11) ^ (i >> 8));
    return v;
}

class ViewOperationsOnBox : public testing::Test {
protected:
    void SetUp() override
    {
        InitLanguageForView();
        InitDeviceClassTable();
        Plug();
        header = std::make_unique<CView2Header>();
        view = std::make_unique<CTonrigView>();
        g_nOperationState = kStateIdle;
    }
    // A box of this version, brought up as the program's identification leaves it.
    void Plug(const std::string& version = "ZV-CQ Re-2.00")
    {
        if (box)
            box->Port()->Disconnect();
        sim::BoxConfig config;
        config.version = version;
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        g_nProgrammerModel = sim::ModelOfVersion(version);
        g_CFGManager.ResetState();
    }
    void TearDown() override
    {
        view.reset();
        header.reset();
        g_ProgrammerLink.ResetForTest();
        for (LeaseHolder holder : { LeaseHolder::Operation, LeaseHolder::Setup, LeaseHolder::Identify })
            g_LinkLease.Release(holder);
        g_LinkLease.TakeLinkLost();
        g_nOperationState = kStateIdle;
        g_nProgrammerModel = kModelZvC;
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = CDeviceClass();
        g_bScriptRunning = false;
        g_bCancelOperation = 1;
        g_CFGManager.ResetState();
        InitDeviceClassTable();
        g_Language.Reset();
        platform::ResetShutdownForTest();
    }

    // Selects class `index` as the selection would, with `size` bytes of main memory (and
    // `dataSize` of data), and sizes the buffers to it.
    void Select(int index, int size, int dataSize = 0)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_nCodeSize = size;
        g_CurrentDevice.m_nDataSize = dataSize;
        g_CurrentDevice.m_nReadVpp = 0xFF;
        view->m_CodeBuffer.assign(static_cast<std::size_t>(size), 0xFF);
        view->m_DataBuffer.assign(static_cast<std::size_t>(dataSize), 0xFF);
    }
    sim::Chip& Insert(sim::ChipSpec chipSpec)
    {
        chipSpec.vppRuleOff = true;
        chipSpec.packageCode = g_DeviceClassTable[static_cast<std::size_t>(g_nCurrentClass)].m_nPackageCode;
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Insert(std::move(chipSpec));
    }
    std::vector<std::uint8_t> Chip(sim::ChipMemory memory = sim::ChipMemory::Main)
    {
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Get()->Contents(memory);
    }
    void SetChipByte(std::uint32_t at, std::uint8_t value)
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main)[at] = value;
    }
    bool Powered()
    {
        std::lock_guard lock(box->Mutex());
        return box->Electrical().RailsOn();
    }

    std::string Log() const { return view->MessageLog().GetText(); }
    bool Idle() const
    {
        return !view->Pump().Running() && !view->ExchangeRunning() && view->Control().ArmedTimer() == 0
            && !g_LinkLease.IsHeld() && g_nOperationState <= kStateIdle;
    }
    // Waits for the command's run to end, then checks the state every case ends in.
    void RunToEnd(int state = kStateIdle)
    {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        EXPECT_EQ(g_nOperationState, state) << Log() << "\n" << ::testing::PrintToString(BoxTexts());
        EXPECT_FALSE(Powered()) << "the socket is left powered";
        EXPECT_FALSE(view->ProgressDlg().isVisible());
        EXPECT_TRUE(view->GetDlgItem(CTonrigView::IDC_COMMAND_LINE)->isEnabled());
        EXPECT_FALSE(view->Control().Flags().autoRun);
        EXPECT_FALSE(view->Control().Flags().bufferRun);
        EXPECT_TRUE(box->ProtocolErrors().empty());
    }
    // Presses Cancel on the progress window once it has moved past `fraction` of its range.
    void CancelAt(double fraction)
    {
        CProgressDlg& progress = view->ProgressDlg();
        ASSERT_TRUE(ProcessEventsUntil(
            [&]() -> bool { return progress.isVisible() && progress.BarValue() >= static_cast<int>(fraction * 100); },
            60s));
        auto* cancel = progress.findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        ASSERT_TRUE(cancel->isEnabled());
        cancel->click();
    }
    void Check(std::initializer_list<HeaderOption> options)
    {
        for (HeaderOption option : options)
            header->SetOption(option, true);
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Boxes())
            out.push_back(b.text + " | " + b.caption);
        return out;
    }

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    // The chip's replies come when its work is done on the clock: the manual clock moves to them.
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    std::unique_ptr<CView2Header> header;
    std::unique_ptr<CTonrigView> view;
};

TEST_F(ViewOperationsOnBox, WriteVerifyAndBlankCheckOnAFlashChip)
{
    Select(200, 0x80000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x80000));
    view->OnDeviceBlankCheck();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Chip is blank"), 1u) << Log() << "\n" << ::testing::PrintToString(BoxTexts());

    view->m_CodeBuffer = Pattern(0x80000);
    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_TRUE(Chip() == view->m_CodeBuffer);
    view->OnDeviceVerify();
    RunToEnd();
    std::string log = Log();
    EXPECT_EQ(Count(log, "Device write completed"), 1u) << log;
    EXPECT_EQ(Count(log, "Device is verified"), 1u) << log;
    EXPECT_EQ(Count(log, "Elapsed time: "), 3u) << log;

    SetChipByte(0x1234, view->m_CodeBuffer[0x1234] ^ 0x81);
    view->MessageLog().OnClearAll();
    view->OnDeviceVerify();
    RunToEnd();
    const std::string expected = "Verify Failed, Address=0x001234, Buffer=0x"
        + platform::Format("%02X", view->m_CodeBuffer[0x1234]) + ", Device=0x"
        + platform::Format("%02X", view->m_CodeBuffer[0x1234] ^ 0x81);
    EXPECT_NE(Log().find(expected), std::string::npos) << Log();

    // A blank chip but for 0x00 at 0x1234.
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x80000));
    SetChipByte(0x1234, 0x00);
    view->MessageLog().OnClearAll();
    boxes.Clear();
    view->OnDeviceBlankCheck();
    RunToEnd();
    log = Log();
    EXPECT_NE(log.find("Device blank check failed at address:  0x001234, Read= 0x00."), std::string::npos) << log;
    EXPECT_NE(log.find("Blank check failed"), std::string::npos);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Device blank check failed at address:  0x001234, Read= 0x00.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Blank Check");
}

TEST_F(ViewOperationsOnBox, WriteFailuresShowTheByteTheChipHolds)
{
    struct Row {
        const char* name;
        std::uint32_t at;
        std::uint8_t data;
    };
    const Row rows[] = { { "at 0x0400", 0x0400, 0x5A }, { "at 0 with data 0", 0, 0x00 } };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Select(200, 0x2000);
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x2000);
        chipSpec.conditions.failAt = { row.at };
        Insert(chipSpec);
        view->m_CodeBuffer = Pattern(0x2000, 2);
        view->m_CodeBuffer[row.at] = row.data;
        view->MessageLog().OnClearAll();
        boxes.Clear();
        view->OnDeviceWrite();
        RunToEnd();
        const std::string log = Log();
        const std::string line = platform::Format(
            "Write failed, Address=0x%06X, Buffer=0x%02X Device=0x%02X", row.at, row.data, Chip()[row.at]);
        EXPECT_NE(log.find(line), std::string::npos) << log;
        EXPECT_EQ(log.find("Device write completed"), std::string::npos) << log;
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, line);
        EXPECT_EQ(boxes.Boxes()[0].caption, "Write");
    }
}

} // namespace
