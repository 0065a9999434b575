// The view's operations end to end: the program's own window, monitor and identification against
// the virtual programmer, commands as the user gives them, Cancel pressed on the progress window,
// boxes answered by the test. Each case ends idle (or disconnected after a lost link) with the
// socket unpowered, no step armed and the controls enabled.

#include "operations/ui/JtagProgrammerDlg.h"
#include "operations/ui/TonrigView.h"

#include "app/VirtualSocket.h"
#include "buffer/ui/FileOptionsDlg.h"
#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/CommandChannelPump.h"
#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewSetup.h"
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

#include "TapChannel.h"
#include "ViewOnBoxFixture.h"

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <mutex>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::Pattern;
using tonrig::test::ProcessEventsUntil;
using tonrig::test::TapChannel;

namespace {

// Intel HEX text of `image` (bytes at their file addresses; absent bytes are left out), 16 bytes a
// record, all below 64 KB.
std::string HexText(const std::map<std::uint32_t, std::uint8_t>& image)
{
    std::string text;
    auto record = [&text](std::uint32_t address, const std::vector<std::uint8_t>& bytes, int type) {
        unsigned sum = static_cast<unsigned>(bytes.size()) + (address >> 8 & 0xFF) + (address & 0xFF) + type;
        text += platform::Format(":%02X%04X%02X", static_cast<unsigned>(bytes.size()), address & 0xFFFF, type);
        for (std::uint8_t b : bytes) {
            text += platform::Format("%02X", b);
            sum += b;
        }
        text += platform::Format("%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    };
    for (auto it = image.begin(); it != image.end();) {
        const std::uint32_t start = it->first;
        std::vector<std::uint8_t> bytes;
        while (it != image.end() && it->first == start + bytes.size() && bytes.size() < 16)
            bytes.push_back((it++)->second);
        record(start, bytes, 0);
    }
    record(0, {}, 1);
    return text;
}

class ViewOperationsOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        CheckOnly();
        TapViewChannel(*view, pumpChannel, tap);
    }
    // Presses Cancel on the progress window when the pump sends `code` for the nth time; the
    // pump waits until the press has been handled.
    void CancelOn(std::uint8_t code, int nth)
    {
        tap->Reset([this, code, nth](std::uint8_t sent, int count) {
            if (sent == code && count == nth)
                platform::send([this] { PressCancel(); });
        });
    }
    void PressCancel()
    {
        auto* cancel = view->ProgressDlg().findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        EXPECT_TRUE(cancel->isEnabled());
        cancel->click();
    }
    void SetChipByte(std::uint32_t at, std::uint8_t value)
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main)[at] = value;
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
    // A batch (ID check, blank check, write) on class `classIndex`, with Read, Write, Verify,
    // Blank Check and Batch Run pressed while the ID check's exchange is in flight.
    void RunBatchWithCommandsDuringTheIdCheck(int classIndex);

    std::unique_ptr<CommandChannelPump> pumpChannel;
    std::unique_ptr<TapChannel> tap;
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

TEST_F(ViewOperationsOnBox, CancelOnTheProgressWindowEndsTheOperationAndTheNextOneIsRight)
{
    struct Row {
        const char* name;
        UINT timer;
        std::uint8_t code;
        int nth;
        const char* line;
        const char* boxText; // nullptr: no box
    };
    const Row rows[] = {
        { "write", CTonrigView::kTimerWrite, P_WRITE_OK, 100, "Device write cancelled", nullptr },
        { "verify", CTonrigView::kTimerVerify, P_READ, 3, "Device verify cancelled, Address=0x", nullptr },
        { "blank check", CTonrigView::kTimerBlankCheck, P_READ, 2, "Blank check is cancelled at address: 0x",
            "Blank check is cancelled at address: 0x" },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Select(200, 0x40000);
        Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x40000));
        view->m_CodeBuffer.assign(0x40000, 0xFF);
        if (row.timer == CTonrigView::kTimerVerify) {
            // A verify has something to compare.
            view->m_CodeBuffer = Pattern(0x40000, 5);
            std::lock_guard lock(box->Mutex());
            box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = view->m_CodeBuffer;
        } else if (row.timer == CTonrigView::kTimerWrite)
            view->m_CodeBuffer = Pattern(0x40000, 6);
        view->MessageLog().OnClearAll();
        boxes.Clear();
        CancelOn(row.code, row.nth);
        const auto start = [&] {
            if (row.timer == CTonrigView::kTimerWrite)
                view->OnDeviceWrite();
            else if (row.timer == CTonrigView::kTimerVerify)
                view->OnDeviceVerify();
            else
                view->OnDeviceBlankCheck();
        };
        start();
        RunToEnd();
        EXPECT_EQ(tap->Sends(row.code), row.nth) << "a block after the cancel";
        const std::string log = Log();
        EXPECT_NE(log.find(row.line), std::string::npos) << log;
        EXPECT_EQ(log.find("Device write completed"), std::string::npos) << log;
        if (row.boxText) {
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text.rfind(row.boxText, 0), 0u) << boxes.Boxes()[0].text;
            EXPECT_EQ(boxes.Boxes()[0].caption, "Blank check is cancelled");
            EXPECT_NE(log.find("Cancelled"), std::string::npos);
        } else {
            EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
        }

        // The next operation is right.
        tap->Reset();
        view->MessageLog().OnClearAll();
        start();
        RunToEnd();
        const char* done = row.timer == CTonrigView::kTimerWrite ? "Device write completed"
            : row.timer == CTonrigView::kTimerVerify             ? "Device is verified"
                                                                 : "Chip is blank";
        EXPECT_NE(Log().find(done), std::string::npos) << Log();
        if (row.timer == CTonrigView::kTimerWrite) {
            EXPECT_TRUE(Chip() == view->m_CodeBuffer);
        }
    }
}

TEST_F(ViewOperationsOnBox, ALostLinkEndsAReadDisconnectedAndAfterTheReplugTheNextReadIsRight)
{
    Select(200, 0x20000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x20000));
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = Pattern(0x20000, 8);
    }
    tap->Reset([this](std::uint8_t code, int nth) {
        if (code != P_READ || nth != 5)
            return;
        box->Port()->Unplug();
        // What the connection monitor sends when it sees the programmer go.
        platform::post([this] { view->OnMessage(WM_PROGRAMMER_CHANGED, 1, 0); });
    });
    view->OnDeviceRead();
    RunToEnd(kStateDisconnected);
    const std::string log = Log();
    EXPECT_EQ(Count(log, "USB connection lost!"), 1u) << log;
    EXPECT_EQ(log.find("Read completed."), std::string::npos) << log;
    EXPECT_TRUE(view->Buffers().IsIncomplete(0));
    EXPECT_EQ(boxes.Count(), 0u) << "the lost link's one box is the monitor's";

    // The replug, and the identification's end as the program runs it.
    tap->Reset();
    box->Port()->Plug();
    g_ProgrammerLink.ResetForTest(bus);
    ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
    g_CFGManager.ResetState();
    g_nOperationState = kStateIdle;
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_TRUE(view->m_CodeBuffer == Chip());
    EXPECT_FALSE(view->Buffers().IsIncomplete(0));
    EXPECT_NE(Log().find("Read completed."), std::string::npos);
}

TEST_F(ViewOperationsOnBox, APicWithEepromWalksItsBuffers)
{
    struct Row {
        const char* name;
        int dataSize;
    };
    for (const Row row : { Row { "with EEPROM", 128 }, Row { "without EEPROM", 0 } }) {
        SCOPED_TRACE(row.name);
        Select(313, 4096, row.dataSize);
        ASSERT_NE(g_CurrentDevice.m_pPicConfig, nullptr);
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Pic, 4096);
        chipSpec.data.size = static_cast<std::uint32_t>(row.dataSize);
        chipSpec.pic.coreBits = 14;
        Insert(chipSpec);
        std::vector<std::uint8_t> code = Pattern(4096, 3);
        for (std::size_t i = 0; i < code.size(); i += 2)
            code[i] &= 0x3F; // 14-bit words, high byte first
        view->m_CodeBuffer = code;
        view->m_DataBuffer = Pattern(static_cast<std::size_t>(row.dataSize), 4);
        // Configuration memory: four ID locations, then words as a blank chip holds them.
        view->m_ConfigBuffer = { 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04 };
        for (int i = 0; i < 4; ++i)
            view->m_ConfigBuffer.insert(view->m_ConfigBuffer.end(), { 0x3F, 0xFF });
        view->MessageLog().OnClearAll();
        view->OnDeviceWrite();
        RunToEnd();
        EXPECT_TRUE(Chip() == view->m_CodeBuffer);
        if (row.dataSize) {
            EXPECT_TRUE(Chip(sim::ChipMemory::Data) == view->m_DataBuffer);
        }
        EXPECT_EQ(tap->Sends(P_WRITE_DATA_OK) > 0, row.dataSize > 0);
        EXPECT_TRUE(Chip(sim::ChipMemory::Config) == view->m_ConfigBuffer);

        view->OnDeviceVerify();
        RunToEnd();
        const std::string log = Log();
        EXPECT_EQ(Count(log, "Device write completed"), row.dataSize ? 3u : 2u) << log;
        EXPECT_EQ(Count(log, "OK\n"), row.dataSize ? 3u : 2u) << log;
        EXPECT_EQ(Count(log, "Device is verified"), 1u) << log;
        EXPECT_EQ(view->Control().Flags().bufferIndex, 0);
        EXPECT_EQ(view->GetBufferIndex(), 0);
        tap->Reset();
    }

    // A cancel in the middle of the walk ends it at buffer 0.
    Select(313, 4096, 128);
    sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Pic, 4096);
    chipSpec.data.size = 128;
    Insert(chipSpec);
    CancelOn(P_WRITE_DATA_OK, 1);
    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(tap->Sends(P_WRITE_CFG_OK), 0) << "the walk went on after the cancel";
    EXPECT_EQ(view->Control().Flags().bufferIndex, 0);
    EXPECT_EQ(view->GetBufferIndex(), 0);
}

// The log lines of `lines` appear in this order (each once at least).
::testing::AssertionResult InOrder(const std::string& log, const std::vector<std::string>& lines)
{
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = log.find(line, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "\"" << line << "\" missing or out of order in:\n" << log;
        at = found + line.size();
    }
    return ::testing::AssertionSuccess();
}

TEST_F(ViewOperationsOnBox, BatchRunsTakeTheCheckedStepsInOrderAndStopAtAFailure)
{
    using O = HeaderOption;
    const std::vector<O> all = { O::IdCheck, O::BlankCheck, O::Write, O::Verify, O::Lock };
    struct Row {
        const char* name;
        std::vector<O> checked;
        std::function<void(sim::ChipSpec&)> chip;
        int answer; // to the ID question; 0: none is asked
        std::vector<std::string> lines; // in this order
        std::vector<std::uint8_t> notSent; // no step after the failure
        bool locked;
        bool failed; // the run (and a running script) failed
    };
    const std::vector<Row> rows = {
        { "all five", all, nullptr, 0,
            { "ID check OK", "Chip is blank", "Device write completed", "Device is verified", "Device locked." }, {},
            true, false },
        { "verify alone starts with the verify", { O::Verify }, [](sim::ChipSpec&) {}, 0, { "Device is verified" },
            { P_SIGNATURE, P_WRITE_OK, P_SET_LOCK }, false, false },
        { "a wrong chip answered No", all,
            [](sim::ChipSpec& c) {
                c.signature = { 0x1E, 0x52, 0xFF };
            },
            IDNO, { "ID check failed." }, { P_READ, P_WRITE_OK, P_SET_LOCK }, false, true },
        { "a wrong chip answered Yes", all,
            [](sim::ChipSpec& c) {
                c.signature = { 0x1E, 0x52, 0xFF };
            },
            IDYES,
            { "ID check failed.", "Chip is blank", "Device write completed", "Device is verified", "Device locked." },
            {}, true, false },
        { "not blank", all, nullptr, 0, { "ID check OK", "Blank check failed" }, { P_WRITE_OK, P_SET_LOCK }, false,
            true },
        { "a write failure", all, [](sim::ChipSpec& c) { c.conditions.failAt = { 0x100 }; }, 0,
            { "ID check OK", "Chip is blank", "Write failed" }, { P_SET_LOCK }, false, true },
        { "a verify mismatch", all,
            [](sim::ChipSpec& c) {
                c.conditions.weak.push_back({ sim::ChipMemory::Main, 0x200, 0xFF, sim::WeakMode::NeverProgramsQuiet });
            },
            0, { "Device write completed", "Verify Failed, Address=0x000200" }, { P_SET_LOCK }, false, true },
        { "a lock failure", all, [](sim::ChipSpec& c) { c.hasLock = false; }, 0,
            { "Device is verified", "Lock failed." }, {}, false, true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Select(8, 4096);
        g_CurrentDevice.m_strLockText = "3";
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096);
        chipSpec.signature = { 0x1E, 0x51, 0xFF };
        if (row.chip)
            row.chip(chipSpec);
        Insert(chipSpec);
        view->m_CodeBuffer = Pattern(4096, 9);
        if (!row.chip && std::string(row.name) == "not blank")
            SetChipByte(0x1234 % 4096, 0x00);
        if (std::string(row.name).rfind("verify alone", 0) == 0) {
            std::lock_guard lock(box->Mutex());
            box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = view->m_CodeBuffer;
        }
        CheckOnly();
        for (O option : row.checked)
            header->SetOption(option, true);
        view->MessageLog().OnClearAll();
        boxes.Clear();
        if (row.answer)
            boxes.QueueAnswer(row.answer);
        tap->Reset();
        g_bScriptRunning = true;
        g_bScriptCommandDone = false;

        view->OnBatchRun();
        RunToEnd();
        const std::string log = Log();
        EXPECT_TRUE(InOrder(log, row.lines));
        for (std::uint8_t code : row.notSent)
            EXPECT_EQ(tap->Sends(code), 0) << "packet " << int(code) << " after the run ended\n" << log;
        {
            std::lock_guard lock(box->Mutex());
            EXPECT_EQ(box->ChipSocket().Get()->LockLevel() == 3, row.locked);
        }
        const bool scriptFailed = !g_bScriptRunning;
        if (row.locked) {
            EXPECT_TRUE(Chip() == view->m_CodeBuffer);
            // Locked at level 3, the chip reads 0x00.
            g_bScriptRunning = false;
            view->OnDeviceRead();
            RunToEnd();
            EXPECT_TRUE(std::all_of(
                view->m_CodeBuffer.begin(), view->m_CodeBuffer.end(), [](std::uint8_t b) { return b == 0x00; }));
        }
        EXPECT_EQ(scriptFailed, row.failed) << "the script goes on only after a run that did not fail";
        if (std::string(row.name) == "a lock failure") {
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, "Lock failed.");
            EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
        }
        g_bScriptRunning = false;
    }
}

TEST_F(ViewOperationsOnBox, BatchWithNothingCheckedRunsNothingAndALaterReadStopsAfterReading)
{
    Select(8, 4096);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
    header->SetOption(HeaderOption::Erase, false);
    view->OnBatchRun();
    RunToEnd();
    EXPECT_FALSE(view->Control().Flags().autoRun);
    EXPECT_EQ(tap->Sends(P_READ) + tap->Sends(P_SIGNATURE) + tap->Sends(P_WRITE_OK), 0);

    // The Read box checked now: a plain Read reads and stops there.
    header->SetOption(HeaderOption::Read, true);
    header->SetOption(HeaderOption::Erase, true);
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_NE(Log().find("Read completed."), std::string::npos);
    EXPECT_EQ(tap->Sends(P_ERASE), 0) << "the read ran on into an erase";
}

TEST_F(ViewOperationsOnBox, APicReadFillsEachBufferAndAFlippedEepromByteStopsTheVerifyThere)
{
    Select(313, 4096, 128);
    sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Pic, 4096);
    chipSpec.data.size = 128;
    Insert(chipSpec);
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        std::vector<std::uint8_t> code = Pattern(4096, 12);
        for (std::size_t i = 0; i < code.size(); i += 2)
            code[i] &= 0x3F;
        chip.Contents(sim::ChipMemory::Main) = code;
        chip.Contents(sim::ChipMemory::Data) = Pattern(128, 13);
        auto& config = chip.Contents(sim::ChipMemory::Config);
        for (std::size_t i = 0; i + 1 < config.size(); i += 2) {
            config[i] = 0x00;
            config[i + 1] = static_cast<std::uint8_t>(i + 1);
        }
    }
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Read completed."), 3u) << Log();
    EXPECT_TRUE(view->m_CodeBuffer == Chip());
    EXPECT_TRUE(view->m_DataBuffer == Chip(sim::ChipMemory::Data));
    EXPECT_TRUE(view->m_ConfigBuffer == Chip(sim::ChipMemory::Config));
    EXPECT_EQ(view->GetBufferIndex(), 0);

    view->OnDeviceVerify();
    RunToEnd();
    EXPECT_NE(Log().find("Device is verified"), std::string::npos) << Log();

    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Data)[7] ^= 0x04;
    }
    view->MessageLog().OnClearAll();
    tap->Reset();
    g_bScriptRunning = true;
    view->OnDeviceVerify();
    RunToEnd();
    EXPECT_NE(Log().find("Verify Failed, Address=0x000007"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Device is verified"), std::string::npos) << Log();
    EXPECT_EQ(tap->Sends(P_READ_CFG), 0) << "the walk went on to the configuration memory";
    EXPECT_FALSE(g_bScriptRunning);
}

TEST_F(ViewOperationsOnBox, APicWrittenFromAHexFileHoldsTheFileInEveryMemory)
{
    constexpr int kPic14 = 313; // 2048 program words, 128 EEPROM bytes
    const CDeviceClass& table = g_DeviceClassTable[kPic14];
    Select(kPic14, table.m_nCodeSize, table.m_nDataSize);
    ASSERT_NE(g_CurrentDevice.m_pPicConfig, nullptr);
    const CPicConfigInfo& pic = *g_CurrentDevice.m_pPicConfig;
    ASSERT_EQ(pic.m_nCoreBits, 14);
    // The chip the program seats for the class, device-ID word and all.
    std::optional<sim::ChipSpec> chipSpec = ChipSpecForDevice(g_CurrentDevice, kPic14);
    ASSERT_TRUE(chipSpec);
    Insert(*chipSpec);

    // The file, low byte of each word first: program words, the ID locations, the configuration
    // word and the EEPROM, each EEPROM byte the low byte of a word.
    const std::size_t words = static_cast<std::size_t>(table.m_nCodeSize) / 2;
    const std::vector<std::uint8_t> seed = Pattern(2 * words, 19);
    std::vector<std::uint8_t> program(2 * words); // as the buffer holds it, high byte first
    std::map<std::uint32_t, std::uint8_t> image;
    for (std::size_t w = 0; w < words; ++w) {
        program[2 * w] = seed[2 * w] & 0x3F;
        program[2 * w + 1] = seed[2 * w + 1];
        image[static_cast<std::uint32_t>(2 * w)] = program[2 * w + 1];
        image[static_cast<std::uint32_t>(2 * w + 1)] = program[2 * w];
    }
    const std::vector<std::uint16_t> ids { 0x0001, 0x1234, 0x2ABC, 0x3FFE };
    for (std::size_t k = 0; k < ids.size(); ++k) {
        image[static_cast<std::uint32_t>(pic.m_nIdHexAddress + 2 * k)] = static_cast<std::uint8_t>(ids[k]);
        image[static_cast<std::uint32_t>(pic.m_nIdHexAddress + 2 * k + 1)] = static_cast<std::uint8_t>(ids[k] >> 8);
    }
    const std::uint16_t configWord = 0x3F72;
    image[static_cast<std::uint32_t>(pic.m_nConfigHexAddress)] = static_cast<std::uint8_t>(configWord);
    image[static_cast<std::uint32_t>(pic.m_nConfigHexAddress + 1)] = static_cast<std::uint8_t>(configWord >> 8);
    const std::vector<std::uint8_t> eeprom = Pattern(static_cast<std::size_t>(table.m_nDataSize), 20);
    for (std::size_t i = 0; i < eeprom.size(); ++i) {
        image[static_cast<std::uint32_t>(pic.m_nEepromHexAddress + 2 * i)] = eeprom[i];
        image[static_cast<std::uint32_t>(pic.m_nEepromHexAddress + 2 * i + 1)] = 0x00;
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("FIRMWARE.HEX").toStdString();
    {
        QFile file(QString::fromStdString(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(HexText(image)));
    }

    // File Open, the file chosen and the options taken as the dialog offers them.
    int optionsRuns = 0;
    view->BufferCommands().SetOpenFileChooser([&](const std::string&, const std::string&) {
        return CBufferCommands::FileChoice { path, {} };
    });
    view->BufferCommands().SetOptionsRunner([&](CFileOptionsDlg& dialog) {
        ++optionsRuns;
        dialog.accept();
        return true;
    });
    view->OnFileOpen();
    EXPECT_EQ(optionsRuns, 1);
    ASSERT_TRUE(view->m_CodeBuffer == program) << Log();
    ASSERT_TRUE(view->m_DataBuffer == eeprom);
    ASSERT_EQ(view->m_ConfigBuffer.size(), static_cast<std::size_t>(pic.ConfigMemoryBytes()));
    for (std::size_t k = 0; k < ids.size(); ++k)
        EXPECT_EQ(view->m_ConfigBuffer[2 * k] << 8 | view->m_ConfigBuffer[2 * k + 1], ids[k]) << k;
    EXPECT_TRUE(pic.m_bConfigSupplied);
    EXPECT_EQ(pic.m_ConfigValue[1] << 8 | pic.m_ConfigValue[0], configWord);
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());

    view->MessageLog().OnClearAll();
    view->OnDeviceWrite();
    RunToEnd();
    // Program memory, EEPROM and configuration memory through the pump, then the configuration word.
    EXPECT_EQ(Count(Log(), "Device write completed"), 3u) << Log();
    EXPECT_EQ(Count(Log(), "Write Completed"), 1u) << Log();
    EXPECT_TRUE(Chip() == program) << Log();
    EXPECT_TRUE(Chip(sim::ChipMemory::Data) == eeprom) << Log();
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        const auto word = [&chip](std::uint32_t address) -> int {
            const auto at = chip.LocateWord(address);
            if (!at)
                return -1;
            const std::vector<std::uint8_t>& memory = chip.Contents(at->first);
            return memory[at->second] << 8 | memory[at->second + 1];
        };
        // Configuration memory word by word, within the 14 bits a word holds; the device-ID word
        // is the chip's own.
        for (int k = 0; k < pic.m_nConfigMemoryWords; ++k) {
            const std::uint32_t address = static_cast<std::uint32_t>(pic.m_nIdAddress + k);
            if (address == static_cast<std::uint32_t>(pic.m_nDeviceIdAddress))
                continue;
            const std::size_t at = 2 * static_cast<std::size_t>(k);
            EXPECT_EQ(word(address), (view->m_ConfigBuffer[at] << 8 | view->m_ConfigBuffer[at + 1]) & 0x3FFF)
                << std::hex << address;
        }
        EXPECT_EQ(word(static_cast<std::uint32_t>(pic.m_nConfigAddress)), configWord);
    }

    view->OnDeviceVerify();
    RunToEnd();
    EXPECT_TRUE(InOrder(Log(), { "OK", "OK", "OK", "Device is verified" }));
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();
    EXPECT_EQ(Log().find("Verify Failed"), std::string::npos) << Log();
    EXPECT_EQ(view->GetBufferIndex(), 0);
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ViewOperationsOnBox, ACancelledReadSaysSoAndTheNextReadIsRight)
{
    Select(200, 0x40000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x40000));
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = Pattern(0x40000, 14);
    }
    CancelOn(P_READ, 4);
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_NE(Log().find("Read cancelled."), std::string::npos) << Log();
    EXPECT_EQ(Log().find("Read completed."), std::string::npos) << Log();
    EXPECT_TRUE(view->Buffers().IsIncomplete(0));

    tap->Reset();
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_NE(Log().find("Read completed."), std::string::npos) << Log();
    EXPECT_TRUE(view->m_CodeBuffer == Chip());
}

TEST_F(ViewOperationsOnBox, CommandsDuringARunningReadChangeNothing)
{
    Select(200, 0x40000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x40000));
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = Pattern(0x40000, 15);
    }
    int commandsAt = 0;
    tap->Reset([&](std::uint8_t code, int nth) {
        if (code != P_READ || nth != 3)
            return;
        platform::send([&] {
            commandsAt = g_nOperationState;
            view->OnDeviceWrite();
            view->OnDeviceVerify();
            view->OnDeviceBlankCheck();
            view->OnDeviceRead();
            view->OnBatchRun();
            view->OnTimer(CTonrigView::kTimerLock);
            view->OnTimer(CTonrigView::kTimerIdCheck);
        });
    });
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_EQ(commandsAt, 3);
    EXPECT_EQ(Count(Log(), "Read completed."), 1u) << Log();
    EXPECT_TRUE(view->m_CodeBuffer == Chip());
    EXPECT_EQ(tap->Sends(P_WRITE_OK) + tap->Sends(P_SIGNATURE) + tap->Sends(P_SET_LOCK), 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(ViewOperationsOnBox, ACommandBetweenTwoStepsOfABatchChangesNothing)
{
    Select(8, 4096);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096));
    view->m_CodeBuffer = Pattern(4096, 5);
    for (HeaderOption option : { HeaderOption::BlankCheck, HeaderOption::Write })
        header->SetOption(option, true);
    g_bScriptRunning = true;
    g_bScriptCommandDone = false;
    view->OnBatchRun();
    // The blank check has ended and the write is armed: Read pressed now must not take its place.
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->Control().ArmedTimer() == CTonrigView::kTimerWrite; }, 60s))
        << Log();
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_TRUE(InOrder(Log(), { "Chip is blank", "Device write completed" })) << Log();
    EXPECT_EQ(Count(Log(), "Read completed."), 0u) << Log();
    EXPECT_TRUE(Chip() == view->m_CodeBuffer);
    EXPECT_TRUE(g_bScriptRunning) << "the running script was failed";
    g_bScriptRunning = false;
}

TEST_F(ViewOperationsOnBox, CommandsDuringABatchsIdCheckChangeNothing)
{
    // Class 3 shows the adapter reminder once for the run; the refused commands do not ask it again.
    for (int classIndex : { 8, 3 }) {
        SCOPED_TRACE(classIndex);
        RunBatchWithCommandsDuringTheIdCheck(classIndex);
    }
}

void ViewOperationsOnBox::RunBatchWithCommandsDuringTheIdCheck(int classIndex)
{
    Select(classIndex, 4096);
    const bool adapter = classIndex == 3;
    g_CurrentDevice.m_strAdapter = "Use the adapter.";
    g_CurrentDevice.m_strId = "1E51FF";
    sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096);
    chipSpec.signature = { 0x1E, 0x51, 0xFF };
    Insert(chipSpec);
    view->m_CodeBuffer = Pattern(4096, 21);
    for (HeaderOption option : { HeaderOption::IdCheck, HeaderOption::BlankCheck, HeaderOption::Write })
        header->SetOption(option, true);
    int commandsAt = -1;
    tap->Reset([&](std::uint8_t code, int nth) {
        if (code != P_SIGNATURE || nth != 1)
            return;
        platform::send([&] {
            commandsAt = g_nOperationState;
            view->OnDeviceRead();
            view->OnDeviceWrite();
            view->OnDeviceVerify();
            view->OnDeviceBlankCheck();
            view->OnBatchRun();
        });
    });
    view->MessageLog().OnClearAll();
    boxes.Clear();
    if (adapter)
        boxes.QueueAnswer(IDOK);
    g_bScriptRunning = true;
    g_bScriptCommandDone = false;
    view->OnBatchRun();
    RunToEnd();
    EXPECT_EQ(commandsAt, kStateIdle) << "the ID check was not in flight";
    EXPECT_TRUE(InOrder(Log(), { "ID check OK", "Chip is blank", "Device write completed" })) << Log();
    EXPECT_EQ(Log().find("Please wait"), std::string::npos) << Log();
    EXPECT_EQ(Count(Log(), "Read completed."), 0u) << Log();
    EXPECT_EQ(tap->Sends(P_SIGNATURE), 1);
    EXPECT_TRUE(Chip() == view->m_CodeBuffer);
    EXPECT_TRUE(g_bScriptRunning) << "the running script was failed";
    EXPECT_EQ(boxes.Count(), adapter ? 1u : 0u) << ::testing::PrintToString(BoxTexts());
    g_bScriptRunning = false;
}

TEST_F(ViewOperationsOnBox, AnExchangeRefusedWhileTheLinkIsBusySaysWhy)
{
    Select(8, 4096);
    g_CurrentDevice.m_strId = "1E51FF";
    sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096);
    chipSpec.signature = { 0x1E, 0x51, 0xFF };
    Insert(chipSpec);
    header->SetOption(HeaderOption::IdCheck, true);
    header->SetOption(HeaderOption::Read, true);
    // During the ID check's exchange and during the pump's read.
    std::vector<std::string> refusals;
    tap->Reset([&](std::uint8_t code, int nth) {
        if ((code != P_SIGNATURE && code != P_READ) || nth != 1)
            return;
        platform::send([&] {
            const std::size_t before = Log().size();
            const bool started = view->RunExchange([](ExchangeLink&, std::stop_token) {}, [](bool) {});
            EXPECT_FALSE(started);
            refusals.push_back(Log().substr(before));
        });
    });
    view->OnBatchRun();
    RunToEnd();
    ASSERT_EQ(refusals.size(), 2u) << Log();
    for (const std::string& line : refusals)
        EXPECT_EQ(line, "Exchange: the programmer is busy with an operation.\n");
    EXPECT_TRUE(InOrder(Log(), { "ID check OK", "Read completed." })) << Log();
}

TEST_F(ViewOperationsOnBox, WriteVerifyAndLockOnAPicWalkEveryBufferThenLock)
{
    Select(313, 4096, 128);
    sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Pic, 4096);
    chipSpec.data.size = 128;
    Insert(chipSpec);
    std::vector<std::uint8_t> code = Pattern(4096, 16);
    for (std::size_t i = 0; i < code.size(); i += 2)
        code[i] &= 0x3F;
    view->m_CodeBuffer = code;
    view->m_DataBuffer = Pattern(128, 17);
    view->m_ConfigBuffer = Chip(sim::ChipMemory::Config);
    for (HeaderOption option : { HeaderOption::Write, HeaderOption::Verify, HeaderOption::Lock })
        header->SetOption(option, true);
    view->OnBatchRun();
    RunToEnd();
    EXPECT_TRUE(Chip() == view->m_CodeBuffer);
    EXPECT_TRUE(Chip(sim::ChipMemory::Data) == view->m_DataBuffer);
    EXPECT_TRUE(InOrder(Log(),
        { "Device write completed", "Device write completed", "Device write completed", "OK", "OK", "OK",
            "Device is verified", "The function is not supported by this device." }));
}

TEST_F(ViewOperationsOnBox, TheIdCheckStep)
{
    struct Row {
        const char* name;
        std::string id;
        std::vector<std::uint8_t> signature;
        int answer; // 0: no question
        const char* line;
        bool goesOn;
    };
    const Row rows[] = {
        { "no signature to compare", "XXXXX", { 0x1E, 0x51, 0xFF }, 0, "ID check skipped", true },
        { "a match", "1E51FF", { 0x1E, 0x51, 0xFF }, 0, "ID check OK", true },
        { "a mismatch answered Yes", "1E51FF", { 0x1E, 0x52, 0xFF }, IDYES, "ID check failed.", true },
        { "a mismatch answered No", "1E51FF", { 0x1E, 0x52, 0xFF }, IDNO, "ID check failed.", false },
        { "no chip answers all 0xFF", "1E51FF", { 0xFF, 0xFF, 0xFF }, IDNO, "ID check failed.", false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Select(8, 4096);
        g_CurrentDevice.m_strId = row.id;
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096);
        chipSpec.signature = row.signature;
        Insert(chipSpec);
        header->SetOption(HeaderOption::IdCheck, true);
        header->SetOption(HeaderOption::BlankCheck, true);
        view->MessageLog().OnClearAll();
        boxes.Clear();
        if (row.answer)
            boxes.QueueAnswer(row.answer);
        tap->Reset();
        view->OnBatchRun();
        RunToEnd();
        const std::string log = Log();
        EXPECT_NE(log.find(row.line), std::string::npos) << log;
        EXPECT_EQ(tap->Sends(P_SIGNATURE), row.id == "XXXXX" ? 0 : 1);
        EXPECT_EQ(log.find("Chip is blank") != std::string::npos, row.goesOn) << log;
        if (row.answer) {
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text,
                "ID check failed.\r\nPlease check device type, chip's orientation and pin contact.\r\nSome OEM chips "
                "may have compatible chip ID\r\nContinue?");
            EXPECT_EQ(boxes.Boxes()[0].caption, "ID Check");
        } else {
            EXPECT_EQ(boxes.Count(), 0u);
        }
    }
}

TEST_F(ViewOperationsOnBox, StepsStartOnlyWhenTheyMay)
{
    Select(200, 0x1000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x1000));

    // Not connected: the demo line, nothing sent.
    g_nOperationState = kStateDisconnected;
    view->OnDeviceBlankCheck();
    EXPECT_NE(Log().find("Did not get response from programmer."), std::string::npos);
    g_nOperationState = kStateIdle;

    // The link held by a device setup: "Please wait...".
    view->MessageLog().OnClearAll();
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
    view->OnDeviceBlankCheck();
    g_LinkLease.Release(LeaseHolder::Setup);
    EXPECT_NE(Log().find("Please wait..."), std::string::npos);

    // No device.
    g_nCurrentClass = kNoDeviceClass;
    view->OnDeviceBlankCheck();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "No device selected.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
    EXPECT_EQ(tap->Sends(P_READ), 0);

    // A class with an adapter: the reminder once per command; Cancel refuses.
    Select(310, 0x1000);
    g_CurrentDevice.m_strAdapter = "Use the 8-pin adapter.";
    boxes.Clear();
    boxes.QueueAnswer(IDCANCEL);
    view->OnDeviceBlankCheck();
    RunToEnd();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Use the 8-pin adapter.");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Adapter");
    EXPECT_EQ(tap->Sends(P_READ), 0);
    boxes.QueueAnswer(IDOK);
    view->OnDeviceBlankCheck();
    RunToEnd();
    EXPECT_EQ(boxes.Count(), 2u);
    // A JTAG class: the step opens the JTAG programming dialog in place of the pump's.
    ASSERT_NE(view->JtagDialog(), nullptr);
    EXPECT_TRUE(view->JtagDialog()->isVisible());
    EXPECT_EQ(tap->Sends(P_READ), 0);
}

TEST_F(ViewOperationsOnBox, ADetectedDeviceIsSetUp)
{
    view->OnMessage(WM_DEVICE_DETECTED, 0, kNoDeviceClass);
    EXPECT_EQ(boxes.Count(), 0u);
    g_nOperationState = kStateDisconnected;
    view->OnMessage(WM_DEVICE_DETECTED, 0, 200);
    EXPECT_EQ(g_nOperationState, kStateIdle);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Device:" + g_DeviceClassTable[200].m_strName + " detected!");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Detected");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view->DeviceSetupOwner().Setup().Busy(); }, 60s));
    EXPECT_EQ(g_nCurrentClass, 200);
}

TEST_F(ViewOperationsOnBox, DoubleWriteHoldsTheBitsOfAWeakChip)
{
    const auto insertWeak = [&] {
        Select(200, 0x2000);
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x2000);
        // Programmed once, these bits come back after a while; a second pass holds them.
        chipSpec.conditions.weak.push_back({ sim::ChipMemory::Main, 0x300, 0x0F, sim::WeakMode::FlipsBack });
        Insert(chipSpec);
        view->m_CodeBuffer = Pattern(0x2000, 18);
        view->m_CodeBuffer[0x300] = 0x50;
    };

    insertWeak();
    header->SetOption(HeaderOption::DoubleWrite, true);
    view->OnDeviceWrite();
    RunToEnd();
    const int onePass = tap->Sends(P_WRITE_OK) / 2;
    EXPECT_GT(onePass, 0);
    EXPECT_EQ(tap->Sends(P_WRITE_OK), 2 * onePass) << "two passes";
    EXPECT_EQ(Count(Log(), "Device write completed"), 1u) << Log();
    view->OnDeviceVerify();
    RunToEnd();
    EXPECT_NE(Log().find("Device is verified"), std::string::npos) << Log();
    EXPECT_FALSE(view->Control().Flags().writeRepeated);

    tap->Reset();
    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(tap->Sends(P_WRITE_OK), 2 * onePass) << "the next write doubles again";

    // Without it the bits come back and the verify finds them.
    insertWeak();
    header->SetOption(HeaderOption::DoubleWrite, false);
    tap->Reset();
    view->MessageLog().OnClearAll();
    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(tap->Sends(P_WRITE_OK), onePass);
    view->OnDeviceVerify();
    RunToEnd();
    EXPECT_NE(Log().find("Verify Failed, Address=0x000300, Buffer=0x50, Device=0x5F"), std::string::npos) << Log();
}

} // namespace

namespace {

enum class LinkFault {
    Unplug, // the cable pulled as the middle block's command goes out
    Withhold, // from that command on no reply comes
    Corrupt, // a data byte of that block's reply is flipped on the wire
};

enum class ViewOp { Read, Write, Verify, BlankCheck, Erase, Lock };

struct LinkLossRow {
    const char* name;
    ViewOp op;
    LinkFault fault;
    std::uint8_t code; // the command the fault comes on
    int nth; // its nth sending
};

const char* FaultName(LinkFault fault)
{
    return fault == LinkFault::Unplug ? "unplug" : fault == LinkFault::Withhold ? "withheld reply" : "corrupted data";
}

} // namespace

TEST_F(ViewOperationsOnBox, EveryOperationEndsCleanlyWhenTheLinkFailsAndTheNextOneAfterAReplugIsRight)
{
    constexpr int kSize = 0x40000;
    constexpr std::uint32_t kFlippedByte = 100; // within the faulted block's reply
    const std::vector<LinkLossRow> rows = [] {
        std::vector<LinkLossRow> out;
        for (LinkFault fault : { LinkFault::Unplug, LinkFault::Withhold, LinkFault::Corrupt }) {
            const bool dataFault = fault == LinkFault::Corrupt;
            out.push_back({ "read", ViewOp::Read, fault, P_READ, 4 });
            out.push_back({ "verify", ViewOp::Verify, fault, P_READ, 4 });
            if (dataFault)
                continue;
            out.push_back({ "write", ViewOp::Write, fault, P_WRITE_OK, 200 });
            out.push_back({ "blank check", ViewOp::BlankCheck, fault, P_READ, 4 });
            out.push_back({ "erase", ViewOp::Erase, fault, P_ERASE, 1 });
            out.push_back({ "lock", ViewOp::Lock, fault, P_SET_LOCK, 1 });
        }
        return out;
    }();
    const std::vector<std::uint8_t> pattern = Pattern(kSize, 21);

    for (const LinkLossRow& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ", " + FaultName(row.fault));
        // A chip for the operation, and the buffer it works on.
        if (row.op == ViewOp::Lock) {
            Select(8, 0x1000);
            sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 0x1000);
            chipSpec.signature = { 0x1E, 0x51, 0xFF };
            chipSpec.hasLock = true;
            Insert(chipSpec);
        } else {
            Select(200, kSize);
            Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, kSize));
            if (row.op != ViewOp::BlankCheck && row.op != ViewOp::Write) {
                std::lock_guard lock(box->Mutex());
                box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = pattern;
            }
            view->m_CodeBuffer = row.op == ViewOp::Write ? Pattern(kSize, 22) : pattern;
        }
        const std::vector<std::uint8_t> buffer = view->m_CodeBuffer;
        view->MessageLog().OnClearAll();
        boxes.Clear();
        const auto start = [&] {
            switch (row.op) {
            case ViewOp::Read:
                view->OnDeviceRead();
                break;
            case ViewOp::Write:
                view->OnDeviceWrite();
                break;
            case ViewOp::Verify:
                view->OnDeviceVerify();
                break;
            case ViewOp::BlankCheck:
                view->OnDeviceBlankCheck();
                break;
            case ViewOp::Erase:
                boxes.QueueAnswer(IDYES);
                view->EraseDevice();
                break;
            case ViewOp::Lock:
                view->OnLock();
                break;
            }
        };

        tap->Reset([this, &row](std::uint8_t code, int nth) {
            if (code != row.code || nth != row.nth)
                return;
            switch (row.fault) {
            case LinkFault::Unplug:
                box->Port()->Unplug();
                // What the connection monitor sends when it sees the programmer go.
                platform::post([this] { view->OnMessage(WM_PROGRAMMER_CHANGED, 1, 0); });
                break;
            case LinkFault::Withhold:
                // Every reply from here on, keep-alives included: the programmer has stopped.
                box->AddFault(sim::Fault::OnCode(code, sim::FaultAction::WithholdReply).Count(1 << 20));
                break;
            case LinkFault::Corrupt:
                box->AddFault(sim::Fault::OnCode(code, sim::FaultAction::FlipReply).Bytes(kFlippedByte).Mask(0x20));
                break;
            }
        });
        start();
        // The pump counts a programmer that stops answering as lost; the lock's one exchange
        // counts its missing reply as the lock's failure.
        const bool lost
            = row.fault == LinkFault::Unplug || (row.fault == LinkFault::Withhold && row.op != ViewOp::Lock);
        RunToEnd(lost ? kStateDisconnected : kStateIdle);
        if (HasFailure())
            return;
        const std::string log = Log();
        if (row.op == ViewOp::Lock && !lost) {
            EXPECT_EQ(Count(log, "Lock failed."), 1u) << log;
            EXPECT_EQ(log.find("USB connection lost!"), std::string::npos) << log;
            EXPECT_EQ(BoxTexts(), std::vector<std::string> { "Lock failed. | Error" });
        } else if (lost) {
            EXPECT_EQ(Count(log, "USB connection lost!"), 1u) << log;
            for (const char* done : { "Read completed.", "Device write completed", "Device is verified",
                     "Chip is blank", "Erase completed.", "Device locked." })
                EXPECT_EQ(log.find(done), std::string::npos) << log;
            EXPECT_EQ(boxes.Count(), row.op == ViewOp::Erase ? 1u : 0u)
                << "only the question; the lost link's box is the monitor's\n"
                << ::testing::PrintToString(BoxTexts());
            if (row.op == ViewOp::Read) {
                EXPECT_TRUE(view->Buffers().IsIncomplete(0));
            }
        } else {
            // Nothing on the wire tells a flipped data byte: a read keeps it, and a verify
            // reports the difference where it lies.
            const int blockSize = view->DeviceSetupOwner().Channel().m_nBlockSize;
            const std::uint32_t at = static_cast<std::uint32_t>((row.nth - 1) * blockSize) + kFlippedByte;
            if (row.op == ViewOp::Read) {
                EXPECT_NE(log.find("Read completed."), std::string::npos) << log;
                ASSERT_EQ(view->m_CodeBuffer.size(), pattern.size());
                std::vector<std::uint8_t> expected = pattern;
                expected[at] ^= 0x20;
                EXPECT_TRUE(view->m_CodeBuffer == expected) << "the one flipped byte, nothing else";
            } else {
                EXPECT_NE(log.find(platform::Format("Verify Failed, Address=0x%06X", at)), std::string::npos) << log;
            }
        }

        // The replug, and the identification's end as the program runs it.
        tap->Reset();
        box->Port()->Unplug();
        box->Port()->Plug();
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        g_CFGManager.ResetState();
        g_nOperationState = kStateIdle;
        view->m_CodeBuffer = buffer;
        view->MessageLog().OnClearAll();
        boxes.Clear();
        start();
        RunToEnd();
        const std::string after = Log();
        switch (row.op) {
        case ViewOp::Read:
            EXPECT_TRUE(view->m_CodeBuffer == Chip());
            EXPECT_FALSE(view->Buffers().IsIncomplete(0));
            EXPECT_NE(after.find("Read completed."), std::string::npos) << after;
            break;
        case ViewOp::Write:
            EXPECT_TRUE(Chip() == buffer);
            EXPECT_NE(after.find("Device write completed"), std::string::npos) << after;
            break;
        case ViewOp::Verify:
            EXPECT_NE(after.find("Device is verified"), std::string::npos) << after;
            break;
        case ViewOp::BlankCheck:
            EXPECT_NE(after.find("Chip is blank"), std::string::npos) << after;
            break;
        case ViewOp::Erase:
            EXPECT_TRUE(Chip() == std::vector<std::uint8_t>(kSize, 0xFF));
            EXPECT_NE(after.find("Erase completed."), std::string::npos) << after;
            break;
        case ViewOp::Lock: {
            std::lock_guard lock(box->Mutex());
            EXPECT_EQ(box->ChipSocket().Get()->LockLevel(), 3);
            EXPECT_NE(after.find("Device locked."), std::string::npos) << after;
            break;
        }
        }
    }
}
