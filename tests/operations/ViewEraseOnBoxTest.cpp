// Erase end to end: the view's command, question or options dialog, the exchanges around the
// pump's erase step and its completion, against the virtual programmer, with boxes and the
// dialog answered by the test. What counts is the chip afterwards, the log and the boxes.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/DeviceSetup.h"
#include "operations/OperationControl.h"
#include "operations/OsccalWord.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/EraseOptionsDlg.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/usb/VirtualBus.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/ui/ProgressDlg.h"
#include "sim/Box.h"
#include "sim/Electrical.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "ViewOnBoxFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::Pattern;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr int kPicCode = 0x800; // 1 K words of 14 bits
constexpr int kPicData = 128;
constexpr std::uint32_t kOsccalWord = 0x3FF; // bytes 0x7FE, 0x7FF

// 14-bit words, high byte first.
std::vector<std::uint8_t> PicCode(std::size_t n, unsigned seed)
{
    std::vector<std::uint8_t> v = Pattern(n, seed);
    for (std::size_t i = 0; i < n; i += 2)
        v[i] &= 0x3F;
    return v;
}

std::vector<std::uint8_t> BlankPic(std::size_t n)
{
    std::vector<std::uint8_t> v(n, 0xFF);
    for (std::size_t i = 0; i < n; i += 2)
        v[i] = 0x3F;
    return v;
}

class ViewEraseOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    ViewEraseOnBox()
        : ViewOnBoxFixture({ .manualClock = false })
    {
    }
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        g_OscCalSaved = {};
    }

    // A flash chip of the selected class holding a pattern.
    void InsertFlash(int size, std::function<void(sim::ChipSpec&)> adjust = nullptr)
    {
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Flash, static_cast<std::uint32_t>(size));
        if (adjust)
            adjust(chipSpec);
        Insert(chipSpec);
        SetChip(sim::ChipMemory::Main, Pattern(static_cast<std::size_t>(size)));
    }
    // Class 313 as a device list record with an OSCCAL word makes it: 1 K words, 128 bytes of
    // EEPROM, the calibration at 0x3FF; the chip holds code, EEPROM and its calibration 34 80.
    void SelectPicWithOsccal(std::function<void(sim::ChipSpec&)> adjust = nullptr)
    {
        Select(313, kPicCode, kPicData);
        g_CurrentDevice.m_pPicConfig->m_bHasOscCal = 1;
        g_CurrentDevice.m_pPicConfig->m_nOscCalAddress = static_cast<std::int32_t>(kOsccalWord);
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Pic, kPicCode);
        chipSpec.data.size = kPicData;
        chipSpec.pic.coreBits = 14;
        chipSpec.pic.osccalAddress = kOsccalWord;
        chipSpec.pic.osccalValue = 0x3480;
        if (adjust)
            adjust(chipSpec);
        Insert(chipSpec);
        std::vector<std::uint8_t> code = PicCode(kPicCode, 5);
        code[0x7FE] = 0x34;
        code[0x7FF] = 0x80;
        SetChip(sim::ChipMemory::Main, code);
        SetChip(sim::ChipMemory::Data, Pattern(kPicData, 6));
    }
    void SetChip(sim::ChipMemory memory, const std::vector<std::uint8_t>& bytes)
    {
        std::lock_guard lock(box->Mutex());
        auto& contents = box->ChipSocket().Get()->Contents(memory);
        std::copy_n(bytes.begin(), std::min(bytes.size(), contents.size()), contents.begin());
    }
    sim::ChipConditions& Conditions() { return box->ChipSocket().Get()->Conditions(); }
    bool Idle() const override { return ViewOnBoxFixture::Idle() && g_bSetupIdle.load() == 1; }
    void RunToEnd()
    {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        EXPECT_EQ(g_nOperationState, kStateIdle) << Log();
        EXPECT_FALSE(Powered()) << "the socket is left powered";
        EXPECT_FALSE(view->ProgressDlg().isVisible());
        EXPECT_FALSE(view->Control().Flags().autoRun);
        EXPECT_TRUE(box->ProtocolErrors().empty());
    }
    bool HasBox(const std::string& text, const std::string& caption = {}) const
    {
        for (const auto& b : boxes.Boxes())
            if (b.text == text && (caption.empty() || b.caption == caption))
                return true;
        return false;
    }
    // Answers the options dialog: `answer` sets it up and says OK (true) or Cancel.
    void AnswerOptions(std::function<bool(CEraseOptionsDlg&)> answer)
    {
        view->SetEraseOptionsRunner([this, answer](CEraseOptionsDlg& dialog) {
            ++dialogs;
            shownNote = dialog.NoteLabel()->text().toStdString();
            shownEdit = dialog.OsccalEdit()->text().toStdString();
            if (!answer(dialog))
                return false;
            dialog.accept();
            return dialog.result() == QDialog::Accepted;
        });
    }

    int dialogs = 0;
    std::mutex erasesMutex;
    std::vector<std::vector<std::uint8_t>> erases;
    std::string shownNote;
    std::string shownEdit;
};

TEST_F(ViewEraseOnBox, FlashEraseAsksAndOnlyYesErases)
{
    Select(200, 0x10000);
    InsertFlash(0x10000);
    const std::vector<std::uint8_t> before = Chip();
    for (int answer : { IDNO, IDCANCEL }) {
        SCOPED_TRACE(answer);
        boxes.QueueAnswer(answer);
        view->EraseDevice();
        RunToEnd();
        EXPECT_TRUE(Chip() == before);
        EXPECT_EQ(Count(Log(), "Erasing..."), 0u);
    }
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Are you sure?");
    EXPECT_EQ(boxes.Boxes()[0].caption, "Erase");

    boxes.QueueAnswer(IDYES);
    view->EraseDevice();
    RunToEnd();
    EXPECT_TRUE(Chip() == std::vector<std::uint8_t>(0x10000, 0xFF));
    const std::string log = Log();
    EXPECT_EQ(Count(log, "Erasing...\n"), 1u) << log;
    EXPECT_EQ(Count(log, "Elapsed time: "), 1u) << log;
    EXPECT_EQ(Count(log, "Erase completed."), 1u) << log;
    EXPECT_EQ(boxes.Count(), 3u) << ::testing::PrintToString(BoxTexts());

    // A script asks nothing.
    SetChip(sim::ChipMemory::Main, Pattern(0x10000));
    g_bScriptRunning = true;
    view->EraseDevice();
    RunToEnd();
    EXPECT_TRUE(Chip() == std::vector<std::uint8_t>(0x10000, 0xFF));
    EXPECT_EQ(boxes.Count(), 3u);
    EXPECT_TRUE(g_bScriptRunning) << "a done erase goes on";
}

TEST_F(ViewEraseOnBox, AnEpromCannotBeErased)
{
    Select(122, 2048);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Eprom, 2048));
    boxes.QueueAnswer(IDYES);
    view->EraseDevice();
    RunToEnd();
    EXPECT_TRUE(HasBox(
        "Erase Failed.\r\nFunction not supported on this device.\r\nOR\r\nThis chip does not need erase.", "Error"))
        << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(Count(Log(), "Erase completed."), 0u);
}

TEST_F(ViewEraseOnBox, CancelInASlowEraseSetsTheDeviceUpAgainAndTheNextEraseWorks)
{
    Select(204, 0x10000);
    InsertFlash(0x10000, [](sim::ChipSpec& c) { c.conditions.eraseTime = 120s; });
    boxes.QueueAnswer(IDYES);
    view->EraseDevice();
    CProgressDlg& progress = view->ProgressDlg();
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->Pump().Running() && progress.isVisible(); }, 60s));
    EXPECT_EQ(static_cast<QLabel*>(view->GetDlgItem(CTonrigView::IDC_STATUS))->text().toStdString(),
        "Please wait...Erasing...");
    EXPECT_EQ(progress.CaptionText().rfind("Erasing...", 0), 0u) << progress.CaptionText();
    progress.OnTimer(CProgressDlg::kTimedTimer);
    auto* cancel = progress.findChild<QPushButton*>();
    ASSERT_NE(cancel, nullptr);
    ASSERT_TRUE(cancel->isEnabled()) << "a 500-second class keeps Cancel";
    cancel->click();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Cancelled\n"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Elapsed time: "), 1u) << Log();
    // This class's CPLD configuration is not the box's first one: the first setup programs it.
    EXPECT_EQ(Count(Log(), "Configuration updated!") + Count(Log(), "Configuration OK!"), 1u)
        << "set up again: " << Log();
    EXPECT_EQ(Count(Log(), "Erase completed."), 0u) << Log();

    Conditions().eraseTime.reset();
    boxes.QueueAnswer(IDYES);
    view->EraseDevice();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Erase completed."), 1u) << Log();
    EXPECT_TRUE(Chip() == std::vector<std::uint8_t>(0x10000, 0xFF));
}

TEST_F(ViewEraseOnBox, OnlyTheSlowClassesKeepCancelPastTheFirstTick)
{
    struct Row {
        int classIndex;
        bool cancelEnabled;
    };
    for (const Row row : { Row { 204, true }, Row { 200, false } }) {
        SCOPED_TRACE(row.classIndex);
        Select(row.classIndex, 0x10000);
        InsertFlash(0x10000, [](sim::ChipSpec& c) { c.conditions.eraseTime = 20s; });
        boxes.QueueAnswer(IDYES);
        view->EraseDevice();
        CProgressDlg& progress = view->ProgressDlg();
        ASSERT_TRUE(ProcessEventsUntil([&] { return view->Pump().Running() && progress.isVisible(); }, 60s));
        progress.OnTimer(CProgressDlg::kTimedTimer);
        EXPECT_EQ(progress.IsCancelEnabled(), row.cancelEnabled);
        RunToEnd();
        EXPECT_TRUE(Chip() == std::vector<std::uint8_t>(0x10000, 0xFF));
    }
}

TEST_F(ViewEraseOnBox, AProtectedBlockSurvivesUnlessTempUnprotectIsOn)
{
    for (bool unprotect : { false, true }) {
        SCOPED_TRACE(unprotect);
        Select(258, 0x10000);
        InsertFlash(0x10000, [](sim::ChipSpec& c) { c.protectedBlocks = { { 0xC000, 0x4000 } }; });
        const std::vector<std::uint8_t> before = Chip();
        header->SetOption(HeaderOption::TempUnprotect, unprotect);
        boxes.QueueAnswer(IDYES);
        view->EraseDevice();
        RunToEnd();
        const std::vector<std::uint8_t> after = Chip();
        EXPECT_TRUE(std::all_of(after.begin(), after.begin() + 0xC000, [](std::uint8_t b) { return b == 0xFF; }));
        if (unprotect) {
            EXPECT_TRUE(std::all_of(after.begin() + 0xC000, after.end(), [](std::uint8_t b) { return b == 0xFF; }));
        } else {
            EXPECT_TRUE(std::equal(after.begin() + 0xC000, after.end(), before.begin() + 0xC000));
        }
    }
}

TEST_F(ViewEraseOnBox, ThePicDialogShowsTheChipsWordAndTheErasedChipKeepsIt)
{
    SelectPicWithOsccal();
    AnswerOptions([](CEraseOptionsDlg&) { return true; });
    view->EraseDevice();
    RunToEnd();
    ASSERT_EQ(dialogs, 1) << Log();
    EXPECT_EQ(shownNote, "0x3480 at address 0x03ff");
    EXPECT_EQ(shownEdit, "3480");
    std::vector<std::uint8_t> expected = BlankPic(kPicCode);
    expected[0x7FE] = 0x34;
    expected[0x7FF] = 0x80;
    EXPECT_TRUE(Chip() == expected);
    EXPECT_TRUE(Chip(sim::ChipMemory::Data) == std::vector<std::uint8_t>(kPicData, 0xFF));
    EXPECT_EQ(Count(Log(), "Erase completed."), 1u) << Log();
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ViewEraseOnBox, ThePicDialogsBoxesSpareWhatTheySay)
{
    struct Row {
        const char* name;
        bool restore;
        bool eraseEeprom;
        std::uint8_t osccalHigh;
        std::uint8_t osccalLow;
        bool eepromKept;
    };
    const Row rows[] = {
        { "Restore OSCCAL unchecked", false, true, 0x3F, 0xFF, false },
        { "Erase data EEPROM unchecked", true, false, 0x34, 0x80, true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SelectPicWithOsccal();
        const std::vector<std::uint8_t> eeprom = Chip(sim::ChipMemory::Data);
        AnswerOptions([row](CEraseOptionsDlg& dialog) {
            dialog.RestoreBox()->setChecked(row.restore);
            dialog.EepromBox()->setChecked(row.eraseEeprom);
            return true;
        });
        view->EraseDevice();
        RunToEnd();
        const std::vector<std::uint8_t> code = Chip();
        EXPECT_EQ(code[0x7FE], row.osccalHigh);
        EXPECT_EQ(code[0x7FF], row.osccalLow);
        EXPECT_EQ(code[0], 0x3F) << "program memory is always erased";
        EXPECT_EQ(Chip(sim::ChipMemory::Data) == eeprom, row.eepromKept);
    }
}

TEST_F(ViewEraseOnBox, CalReadReadsTheWordAgainAndCancelErasesNothing)
{
    SelectPicWithOsccal();
    const std::vector<std::uint8_t> before = Chip();
    std::string afterCalRead;
    AnswerOptions([&](CEraseOptionsDlg& dialog) {
        {
            // The chip's calibration as another tool left it.
            std::lock_guard lock(box->Mutex());
            auto& code = box->ChipSocket().Get()->Contents(sim::ChipMemory::Main);
            code[0x7FF] = 0x7C;
        }
        dialog.CalReadButton()->click();
        EXPECT_TRUE(ProcessEventsUntil([&] { return dialog.CalReadButton()->isEnabled(); }, 60s));
        afterCalRead = dialog.OsccalEdit()->text().toStdString();
        return false;
    });
    view->EraseDevice();
    RunToEnd();
    EXPECT_EQ(afterCalRead, "347c");
    std::vector<std::uint8_t> expected = before;
    expected[0x7FF] = 0x7C;
    EXPECT_TRUE(Chip() == expected) << "Cancel erases nothing";
    EXPECT_EQ(Count(Log(), "Erasing..."), 0u);
}

TEST_F(ViewEraseOnBox, ABatchOfEraseBlankCheckWriteVerifyKeepsTheCalibration)
{
    SelectPicWithOsccal();
    std::vector<std::uint8_t> code = PicCode(kPicCode, 9);
    code[0x7FE] = 0xFF; // a file says nothing about the calibration
    code[0x7FF] = 0xFF;
    view->m_CodeBuffer = code;
    view->m_DataBuffer = Pattern(kPicData, 10);
    view->m_ConfigBuffer = { 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04 };
    for (int i = 0; i < 4; ++i)
        view->m_ConfigBuffer.insert(view->m_ConfigBuffer.end(), { 0x3F, 0xFF });
    view->m_bKeepOscCal = 1; // left over from an earlier dialog: a batch restores all the same
    box->Observe(P_ERASE, [this](const std::uint8_t* p, std::size_t n) {
        std::lock_guard lock(erasesMutex);
        erases.emplace_back(p, p + n);
    });
    for (HeaderOption option :
        { HeaderOption::Erase, HeaderOption::BlankCheck, HeaderOption::Write, HeaderOption::Verify })
        header->SetOption(option, true);
    view->OnBatchRun();
    RunToEnd();
    const std::string log = Log();
    EXPECT_EQ(dialogs, 0) << "a batch asks nothing";
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts()) << log;
    EXPECT_EQ(Count(log, "Erase completed."), 1u) << log;
    EXPECT_EQ(Count(log, "Device is verified"), 1u) << log;
    std::vector<std::uint8_t> expected = code;
    expected[0x7FE] = 0x34;
    expected[0x7FF] = 0x80;
    EXPECT_TRUE(Chip() == expected);
    EXPECT_TRUE(Chip(sim::ChipMemory::Data) == view->m_DataBuffer);
    // Three erases read to their end before the step's own, all of everything.
    std::lock_guard lock(erasesMutex);
    EXPECT_EQ(erases, (std::vector<std::vector<std::uint8_t>>(4, { P_ERASE, 0 })));
}

TEST_F(ViewEraseOnBox, AnOsccalWriteThatDoesNotStickStopsTheBatch)
{
    SelectPicWithOsccal([](sim::ChipSpec& c) { c.conditions.osccalWriteIgnored = true; });
    for (HeaderOption option : { HeaderOption::Erase, HeaderOption::BlankCheck })
        header->SetOption(option, true);
    view->OnBatchRun();
    RunToEnd();
    const std::string log = Log();
    EXPECT_TRUE(HasBox("Write OSCCAL Failed.")) << ::testing::PrintToString(BoxTexts());
    EXPECT_EQ(Count(log, "Write OSCCAL Failed."), 1u) << log;
    EXPECT_EQ(Count(log, "Erase completed."), 0u) << log;
    EXPECT_EQ(Count(log, "blank"), 0u) << "nothing after it runs: " << log;

    // It fails a running script as well (the word restored by hand first: the batch lost it).
    std::vector<std::uint8_t> code = Chip();
    code[0x7FE] = 0x34;
    code[0x7FF] = 0x80;
    SetChip(sim::ChipMemory::Main, code);
    g_bScriptRunning = true;
    view->EraseDevice();
    RunToEnd();
    EXPECT_FALSE(g_bScriptRunning);
    EXPECT_EQ(Count(Log(), "Erase completed."), 0u) << Log();
}

TEST_F(ViewEraseOnBox, AnUnansweredOsccalReadErasesNothing)
{
    SelectPicWithOsccal([](sim::ChipSpec& c) { c.conditions.osccalReadUnanswered = true; });
    const std::vector<std::uint8_t> before = Chip();
    AnswerOptions([](CEraseOptionsDlg&) { return true; });
    view->EraseDevice();
    RunToEnd();
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(Count(Log(), "OSCCAL read failed, erase not started."), 1u) << Log();
    EXPECT_TRUE(Chip() == before);

    // In a script it fails the script.
    g_bScriptRunning = true;
    view->EraseDevice();
    RunToEnd();
    EXPECT_FALSE(g_bScriptRunning);
    EXPECT_EQ(Count(Log(), "OSCCAL read failed, erase not started."), 2u) << Log();
    EXPECT_TRUE(Chip() == before);
}

// Not an erase, but what a verify after one meets: a PIC set up after another class starts with
// buffers whose blank words hold only the core's bits, as a blank chip reads, and buffer 3 shows
// the new class's configuration words.
TEST_F(ViewEraseOnBox, AFreshPicSetupsBuffersVerifyABlankChip)
{
    Select(313, kPicCode, kPicData);
    // The last device was a flash, which left its words in buffer 3.
    g_nCurrentClass = 200;
    view->m_ConfigWordBuffer.assign(16, 0x5A);
    view->m_ConfigBuffer.assign(16, 0xFF);

    view->StartDeviceSetup(313, 1, 1, 1);
    RunToEnd();
    ASSERT_EQ(g_nCurrentClass, 313);
    // The sizes are the device's after its description file.
    const int code = g_CurrentDevice.m_nCodeSize;
    const int data = g_CurrentDevice.m_nDataSize;
    sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Pic, static_cast<std::uint32_t>(code));
    chipSpec.data.size = static_cast<std::uint32_t>(data);
    chipSpec.pic.coreBits = 14;
    Insert(chipSpec);
    EXPECT_TRUE(view->m_CodeBuffer == BlankPic(static_cast<std::size_t>(code)));
    EXPECT_TRUE(view->m_DataBuffer == std::vector<std::uint8_t>(static_cast<std::size_t>(data), 0xFF));
    EXPECT_TRUE(view->m_ConfigBuffer == BlankPic(16));
    const CPicConfigInfo& pic = *g_CurrentDevice.m_pPicConfig;
    EXPECT_EQ(view->m_ConfigWordBuffer,
        std::vector<std::uint8_t>(pic.m_ConfigValue.begin(), pic.m_ConfigValue.begin() + pic.m_nConfigBytes));

    view->MessageLog().clear();
    view->BufferCommands().SetBufferIndex(0);
    view->OnTimer(CTonrigView::kTimerVerify);
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Verify Failed"), 0u) << Log();
}

// The other pump steps' cancels as the erase's: the cancel logs the elapsed time, the step's
// completion does not again.
TEST_F(ViewEraseOnBox, ACancelledReadOrVerifyLogsItsElapsedTimeOnce)
{
    struct Row {
        UINT timer;
        const char* line;
    };
    for (const Row row : { Row { CTonrigView::kTimerVerify, "Device verify cancelled" },
             Row { CTonrigView::kTimerRead, "Read cancelled." } }) {
        SCOPED_TRACE(row.line);
        Select(200, 0x80000);
        InsertFlash(0x80000);
        view->m_CodeBuffer = Chip();
        view->MessageLog().clear();
        view->OnTimer(row.timer);
        CProgressDlg& progress = view->ProgressDlg();
        ASSERT_TRUE(ProcessEventsUntil([&] { return view->Pump().Running() && progress.isVisible(); }, 60s));
        auto* cancel = progress.findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        cancel->click();
        RunToEnd();
        EXPECT_EQ(Count(Log(), row.line), 1u) << Log();
        EXPECT_EQ(Count(Log(), "Elapsed time: "), 1u) << Log();
    }
}

} // namespace
