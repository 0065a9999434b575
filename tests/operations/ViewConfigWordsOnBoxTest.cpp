// A PIC's configuration words through the view against the virtual programmer: Set CFG bits by
// class, the words read, written and verified in sequences and on their own, and what the chip
// holds afterwards. Boxes are answered by the test; the clock is manual.

#include "operations/ui/TonrigView.h"

#include "app/VirtualSocket.h"
#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/ConfigWords.h"
#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ChipBitsDlg.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/usb/VirtualBus.h"
#include "shell/Language.h"
#include "shell/LanguageLoader.h"
#include "shell/ui/ProgressDlg.h"
#include "sim/Box.h"
#include "sim/Electrical.h"
#include "sim/FaultPlan.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "ViewOnBoxFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr int kPic14 = 313; // a 14-bit PIC with a device ID, one configuration word at 0x2007
constexpr int kPic18 = 321; // a PIC18: 14 configuration bytes at 0x300000
constexpr int kPic12 = 312; // a 12-bit PIC: one configuration word, reached at word 0

// A dialog that answers as told and counts its calls.
class AnsweringDialogs final : public ChipDialogs {
public:
    explicit AnsweringDialogs(bool changed, std::vector<Dialog>* opened)
        : m_changed(changed)
        , m_opened(opened)
    {
    }
    bool Run(Dialog dialog) override
    {
        m_opened->push_back(dialog);
        return m_changed;
    }

private:
    bool m_changed;
    std::vector<Dialog>* m_opened;
};

class ViewConfigWordsOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    ViewConfigWordsOnBox()
        : ViewOnBoxFixture({ .version = "ZV-C Re-2.00" })
    {
    }

    // Selects class `index` as the selection would and sizes the buffers to it.
    void Select(int index)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_nReadVpp = 0xFF;
        view->m_CodeBuffer.assign(static_cast<std::size_t>(std::max(g_CurrentDevice.m_nCodeSize, 0)), 0xFF);
        view->m_DataBuffer.assign(static_cast<std::size_t>(std::max(g_CurrentDevice.m_nDataSize, 0)), 0xFF);
        if (const CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get()) {
            view->m_ConfigBuffer.assign(static_cast<std::size_t>(pic->ConfigMemoryBytes()), 0xFF);
            // Blank words as a loaded file leaves them: the high byte within the core width.
            for (std::vector<std::uint8_t>* buffer : { &view->m_CodeBuffer, &view->m_ConfigBuffer })
                for (std::size_t i = 0; i < buffer->size(); i += 2)
                    (*buffer)[i] &= sim::PicHighMask(pic->m_nCoreBits);
        }
    }
    CPicConfigInfo& Pic() { return *g_CurrentDevice.m_pPicConfig; }

    // A blank chip of the selected PIC class in the socket, laid out as its descriptor says.
    void InsertPic(sim::ChipConditions conditions = {}, std::function<void(sim::ChipSpec&)> adjust = nullptr)
    {
        const CPicConfigInfo& pic = Pic();
        sim::ChipSpec s
            = sim::ChipSpec::Make(sim::ChipCategory::Pic, static_cast<std::uint32_t>(g_CurrentDevice.m_nCodeSize));
        s.data.size = static_cast<std::uint32_t>(std::max(g_CurrentDevice.m_nDataSize, 0));
        s.pic.coreBits = pic.m_nCoreBits;
        s.pic.idAddress = static_cast<std::uint32_t>(pic.m_nIdAddress);
        s.pic.configMemoryWords = static_cast<std::uint32_t>(pic.m_nConfigMemoryWords);
        s.pic.configWordCount = static_cast<std::uint32_t>(pic.m_nConfigBytes / 2);
        if (pic.m_nCoreBits == 16) {
            s.pic.configPosition = static_cast<std::uint32_t>(pic.m_nConfigAddress);
            s.pic.configWordAddress = s.pic.configPosition / 2;
        } else {
            s.pic.configWordAddress = static_cast<std::uint32_t>(pic.m_nConfigAddress);
        }
        s.vppRuleOff = true;
        s.conditions = std::move(conditions);
        if (adjust)
            adjust(s);
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Insert(std::move(s));
    }
    // The chip the program itself seats for the selected class, without its device-ID word (see
    // InsertPic).
    void InsertVirtualChip()
    {
        std::optional<sim::ChipSpec> s = ChipSpecForDevice(g_CurrentDevice, g_nCurrentClass);
        ASSERT_TRUE(s);
        s->pic.deviceIdAddress.reset();
        s->vppRuleOff = true;
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Insert(std::move(*s));
    }
    std::vector<std::uint8_t> ChipProgram(std::size_t bytes)
    {
        std::lock_guard lock(box->Mutex());
        const std::vector<std::uint8_t>& main = box->ChipSocket().Get()->Contents(sim::ChipMemory::Main);
        return { main.begin(), main.begin() + static_cast<std::ptrdiff_t>(std::min(bytes, main.size())) };
    }
    // The chip's configuration words as the descriptor holds them: low byte of each word first.
    // They live where the chip keeps them (a 14-bit core's in its configuration memory).
    std::vector<std::uint8_t> ChipWords()
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        std::vector<std::uint8_t> v;
        for (std::uint32_t k = 0; k < chip.Facts().pic.configWordCount; ++k) {
            const auto at = chip.LocateWord(chip.Facts().pic.configWordAddress + k);
            if (!at)
                return {};
            const std::vector<std::uint8_t>& memory = chip.Contents(at->first);
            v.push_back(memory[at->second + 1]);
            v.push_back(memory[at->second]);
        }
        return v;
    }
    void SetChipWords(const std::vector<std::uint8_t>& words)
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        for (std::uint32_t k = 0; 2 * k + 1 < words.size(); ++k) {
            const auto at = chip.LocateWord(chip.Facts().pic.configWordAddress + k);
            ASSERT_TRUE(at);
            std::vector<std::uint8_t>& memory = chip.Contents(at->first);
            memory[at->second] = words[2 * k + 1];
            memory[at->second + 1] = words[2 * k];
        }
    }
    std::vector<std::uint8_t> DescriptorWords()
    {
        return { Pic().m_ConfigValue.begin(), Pic().m_ConfigValue.begin() + Pic().m_nConfigBytes };
    }
    void SetDescriptorWords(const std::vector<std::uint8_t>& words)
    {
        std::copy(words.begin(), words.end(), Pic().m_ConfigValue.begin());
        Pic().m_bConfigSupplied = true;
    }
    // Runs one of the view's configuration-word calls to its result.
    StepKind RunWords(bool (CTonrigView::*call)(CTonrigView::ConfigWordsDone))
    {
        std::optional<StepKind> result;
        (view.get()->*call)([&](StepKind kind) { result = kind; });
        EXPECT_TRUE(ProcessEventsUntil([&] { return result.has_value() && Idle(); }, 60s)) << Log();
        return result.value_or(StepKind::Refused);
    }
    // The words a test writes: each class's own, inside its core width.
    static std::vector<std::uint8_t> WordsFor(int classIndex)
    {
        if (classIndex == kPic14)
            return { 0x72, 0x3F };
        return { 0x00, 0x27, 0x0F, 0x0E, 0x00, 0x81, 0x85, 0x00, 0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40 };
    }

    void RunToEnd()
    {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        EXPECT_EQ(g_nOperationState, kStateIdle) << Log();
        EXPECT_FALSE(view->Control().Flags().autoRun);
        EXPECT_FALSE(view->Control().Flags().bufferRun);
        EXPECT_TRUE(box->ProtocolErrors().empty());
    }
    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Boxes())
            out.push_back(b.text);
        return out;
    }
};

TEST_F(ViewConfigWordsOnBox, SetCfgBitsByClass)
{
    struct Case {
        int classIndex;
        const char* dialog; // the caption of the dialog that opens; empty for none
        const char* box; // empty for none
        bool bufferThree;
    };
    const Case cases[] = {
        { kPic18, "", "", true },
        { kPic14, "Configuration", "", false },
        { 27, "AVR Configuration Byte", "", false },
        { 44, "EEPROM Address", "", false },
        { 41, "", "Not Supported.", false },
        { 200, "", "Not Supported.", false },
    };
    std::vector<std::string> opened;
    view->SetChipDialogRunner([&](CChipBitsDlg& dialog) {
        opened.push_back(dialog.windowTitle().toStdString());
        dialog.reject();
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.classIndex);
        Select(c.classIndex);
        if (c.classIndex == kPic14)
            InsertPic();
        view->MessageLog().clear();
        view->BufferCommands().SetBufferIndex(0);
        boxes.Clear();
        opened.clear();
        view->OnSetCfgBits();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        EXPECT_EQ(opened, *c.dialog ? std::vector<std::string> { c.dialog } : std::vector<std::string> {}) << Log();
        EXPECT_EQ(BoxTexts(), *c.box ? std::vector<std::string> { c.box } : std::vector<std::string> {});
        EXPECT_EQ(view->BufferCommands().GetBufferIndex() == 3, c.bufferThree);
        if (c.bufferThree) {
            // Buffer 3 shows the descriptor's words; nothing was supplied by looking.
            EXPECT_EQ(view->m_ConfigWordBuffer,
                std::vector<std::uint8_t>(Pic().m_ConfigValue.begin(), Pic().m_ConfigValue.begin() + 14));
            EXPECT_FALSE(Pic().m_bConfigSupplied);
        }
    }
}

TEST_F(ViewConfigWordsOnBox, ADialogThatChangedTheChipAsksToReadItAgain)
{
    std::vector<ChipDialogs::Dialog> opened;
    Select(44);
    view->SetChipDialogs(std::make_unique<AnsweringDialogs>(true, &opened));
    boxes.QueueAnswer(IDNO);
    view->OnSetCfgBits();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], ChipDialogs::Dialog::EepromAddress);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, g_Language.GetText(60));
    EXPECT_EQ(boxes.Boxes()[0].caption, "Confirm");
    EXPECT_TRUE(Idle()) << "No reads nothing";
    EXPECT_EQ(g_nOperationState, kStateIdle);

    // A dialog that changed nothing asks nothing.
    view->SetChipDialogs(std::make_unique<AnsweringDialogs>(false, &opened));
    view->OnSetCfgBits();
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(ViewConfigWordsOnBox, WrittenReadBackAndVerifiedOnBothCores)
{
    for (int classIndex : { kPic14, kPic18 }) {
        SCOPED_TRACE(classIndex);
        Select(classIndex);
        InsertPic();
        view->MessageLog().clear();
        const std::vector<std::uint8_t> words = WordsFor(classIndex);
        SetDescriptorWords(words);

        EXPECT_EQ(RunWords(&CTonrigView::WriteConfigWords), StepKind::Done);
        EXPECT_EQ(ChipWords(), words);
        EXPECT_EQ(Count(Log(), "Writing..."), 1u);
        EXPECT_EQ(Count(Log(), "Write Completed"), 1u);

        // A read into a descriptor fresh from the class table.
        Select(classIndex);
        EXPECT_FALSE(Pic().m_bConfigSupplied);
        EXPECT_EQ(RunWords(&CTonrigView::ReadConfigWords), StepKind::Done);
        EXPECT_EQ(DescriptorWords(), words);
        EXPECT_TRUE(Pic().m_bConfigSupplied);
        EXPECT_EQ(view->m_ConfigWordBuffer, words);

        EXPECT_EQ(RunWords(&CTonrigView::VerifyConfigWords), StepKind::Done);
        EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();
        EXPECT_TRUE(boxes.Boxes().empty());
        EXPECT_TRUE(box->ProtocolErrors().empty());
    }
}

TEST_F(ViewConfigWordsOnBox, ATwelveBitPicsConfigurationWordIsNotProgramWordZero)
{
    Select(kPic12);
    ASSERT_EQ(Pic().m_nConfigAddress, 0);
    InsertVirtualChip();
    const std::vector<std::uint8_t> program { 0x0A, 0x05, 0x0C, 0x12 }; // GOTO 5, MOVLW 0x12
    {
        std::lock_guard lock(box->Mutex());
        std::vector<std::uint8_t>& main = box->ChipSocket().Get()->Contents(sim::ChipMemory::Main);
        std::copy(program.begin(), program.end(), main.begin());
    }
    const std::vector<std::uint8_t> words { 0xEA, 0x0F };
    SetDescriptorWords(words);

    EXPECT_EQ(RunWords(&CTonrigView::WriteConfigWords), StepKind::Done) << Log();
    EXPECT_EQ(ChipWords(), words);
    EXPECT_EQ(ChipProgram(program.size()), program) << "program word 0 untouched";

    Select(kPic12);
    EXPECT_EQ(RunWords(&CTonrigView::ReadConfigWords), StepKind::Done) << Log();
    EXPECT_EQ(DescriptorWords(), words);
    EXPECT_EQ(view->m_ConfigWordBuffer, words);
    EXPECT_EQ(RunWords(&CTonrigView::VerifyConfigWords), StepKind::Done) << Log();
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();

    // A verify compares the chip's configuration word, not the program word at the same address.
    view->MessageLog().clear();
    SetChipWords({ 0xE8, 0x0F });
    EXPECT_EQ(RunWords(&CTonrigView::VerifyConfigWords), StepKind::Failed);
    EXPECT_EQ(Count(Log(), "Configuration Verify Failed, Address=0x000000, Buffer=0x0FEA, Device=0x0FE8"), 1u) << Log();
    EXPECT_EQ(ChipProgram(program.size()), program);
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(ViewConfigWordsOnBox, ATwelveBitPicsWriteSequenceKeepsItsCodeAndItsConfigurationWord)
{
    // Code through the pump, then the configuration word: the code verifies afterwards.
    CheckOnly({ HeaderOption::Write, HeaderOption::Verify });
    Select(kPic12);
    InsertVirtualChip();
    for (std::size_t i = 0; i + 1 < view->m_CodeBuffer.size(); i += 2) {
        view->m_CodeBuffer[i] = static_cast<std::uint8_t>((i / 2) >> 8 & 0x0F);
        view->m_CodeBuffer[i + 1] = static_cast<std::uint8_t>(i / 2);
    }
    view->m_CodeBuffer[0] = 0x0A; // GOTO 5: a word the configuration word would clear bits of
    view->m_CodeBuffer[1] = 0x05;
    SetDescriptorWords({ 0xEA, 0x0F });
    view->OnBatchRun();
    RunToEnd();
    EXPECT_EQ(ChipWords(), (std::vector<std::uint8_t> { 0xEA, 0x0F })) << Log();
    EXPECT_EQ(ChipProgram(view->m_CodeBuffer.size()), view->m_CodeBuffer) << Log();
    EXPECT_EQ(Count(Log(), "Write Completed"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ViewConfigWordsOnBox, VerifyLooksOnlyUnderTheMask)
{
    Select(kPic14);
    InsertPic();
    SetDescriptorWords({ 0x72, 0x3F });
    // The class masks the low byte with 0x3F: bit 7 is no concern of the verify, bit 0 is.
    SetChipWords({ 0xF2, 0x3F });
    EXPECT_EQ(RunWords(&CTonrigView::VerifyConfigWords), StepKind::Done);
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u);

    view->MessageLog().clear();
    SetChipWords({ 0x73, 0x3F });
    EXPECT_EQ(RunWords(&CTonrigView::VerifyConfigWords), StepKind::Failed);
    EXPECT_EQ(Count(Log(), "Configuration Verify Failed, Address=0x002007, Buffer=0x3F72, Device=0x3F73"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Device is verified"), 0u);
}

TEST_F(ViewConfigWordsOnBox, ARefusedWriteGivesTheBoxAndFailsTheRun)
{
    for (int classIndex : { kPic14, kPic18 }) {
        SCOPED_TRACE(classIndex);
        Select(classIndex);
        sim::ChipConditions refused;
        refused.configWriteRefused = true;
        InsertPic(refused);
        view->MessageLog().clear();
        boxes.Clear();
        SetDescriptorWords(WordsFor(classIndex));
        EXPECT_EQ(RunWords(&CTonrigView::WriteConfigWords), StepKind::Failed);
        EXPECT_EQ(BoxTexts(), std::vector<std::string> { "CFG WORD writen failed." });
        EXPECT_EQ(Count(Log(), "Write Completed"), 0u) << Log();
    }
}

TEST_F(ViewConfigWordsOnBox, AReadSequenceEndsWithTheChipsWordsInBufferThree)
{
    for (int classIndex : { kPic14, kPic18 }) {
        SCOPED_TRACE(classIndex);
        Select(classIndex);
        InsertPic();
        SetChipWords(WordsFor(classIndex));
        view->OnDeviceRead();
        RunToEnd();
        EXPECT_EQ(view->m_ConfigWordBuffer, WordsFor(classIndex)) << Log();
        EXPECT_EQ(DescriptorWords(), WordsFor(classIndex));
        EXPECT_TRUE(Pic().m_bConfigSupplied);
    }
}

TEST_F(ViewConfigWordsOnBox, AWriteSequenceLeavesTheDescriptorsWordsOnTheChipAndABatchVerifiesThem)
{
    CheckOnly({ HeaderOption::Write, HeaderOption::Verify });
    for (int classIndex : { kPic14, kPic18 }) {
        SCOPED_TRACE(classIndex);
        Select(classIndex);
        InsertPic();
        view->MessageLog().clear();
        boxes.Clear();
        SetDescriptorWords(WordsFor(classIndex));
        view->OnBatchRun();
        RunToEnd();
        EXPECT_EQ(ChipWords(), WordsFor(classIndex)) << Log();
        EXPECT_EQ(Count(Log(), "Write Completed"), 1u) << Log();
        EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();
        EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
    }
}

TEST_F(ViewConfigWordsOnBox, AConfigurationMismatchStopsABatch)
{
    // A PIC18, whose configuration bytes lie outside buffer 2: the difference reaches them.
    CheckOnly({ HeaderOption::Verify, HeaderOption::Lock });
    Select(kPic18);
    InsertPic();
    std::vector<std::uint8_t> words = WordsFor(kPic18);
    SetDescriptorWords(words);
    words[1] ^= 0x01;
    SetChipWords(words);
    g_bScriptRunning = true; // as under a script's BATCH line
    view->OnBatchRun();
    RunToEnd();
    EXPECT_FALSE(g_bScriptRunning) << "the failure ends the script";
    EXPECT_EQ(Count(Log(), "Configuration Verify Failed"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Device is verified"), 0u) << Log();
    EXPECT_EQ(Count(Log(), "lock"), 0u) << "nothing runs after the failure:\n" << Log();
    EXPECT_EQ(Count(Log(), "Lock"), 0u) << Log();
}

TEST_F(ViewConfigWordsOnBox, AnUnansweredConfigurationReadFailsTheReadSequence)
{
    Select(kPic14);
    InsertPic();
    box->AddFault(sim::Fault::OnCode(P_PIC_MEM_READ, sim::FaultAction::WithholdReply));
    g_bScriptRunning = true;
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Reading the configuration words failed."), 1u) << Log();
    EXPECT_FALSE(Pic().m_bConfigSupplied);
    EXPECT_FALSE(g_bScriptRunning) << "the failure ends the script";
}

TEST_F(ViewConfigWordsOnBox, AReadOfBufferThreeThatNeverStartsLogsNoElapsedTime)
{
    Select(kPic14);
    InsertPic();
    Pic().m_nConfigBytes = 3; // no length the words can have: refused before anything is sent
    view->BufferCommands().SetBufferIndex(3);
    view->MessageLog().clear();
    g_bScriptRunning = true;
    view->OnTimer(CTonrigView::kTimerRead);
    RunToEnd();
    EXPECT_EQ(Count(Log(), "nothing was sent"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Elapsed time"), 0u) << Log();
    EXPECT_FALSE(g_bScriptRunning) << "the refusal ends the script";
}

TEST_F(ViewConfigWordsOnBox, ABinFileWrittenToA14BitPicLeavesTheConfigurationWordBlank)
{
    Select(kPic14);
    InsertPic();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("program.bin");
    std::vector<std::uint8_t> program(static_cast<std::size_t>(g_CurrentDevice.m_nCodeSize));
    for (std::size_t i = 0; i < program.size(); i += 2) {
        program[i] = static_cast<std::uint8_t>((i / 2) >> 8 & 0x3F); // each word high byte first
        program[i + 1] = static_cast<std::uint8_t>(i / 2);
    }
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(program.data()), static_cast<qint64>(program.size()));
    }
    view->OpenFileByName(path.toStdString());
    ASSERT_EQ(view->m_CodeBuffer, program) << Log();
    EXPECT_FALSE(Pic().m_bConfigSupplied);
    const std::vector<std::uint8_t> blank = ChipWords();

    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(ChipWords(), blank) << "the class defaults (code protection on) reached the chip";
    EXPECT_EQ(ChipWords(), (std::vector<std::uint8_t> { 0xFF, 0x3F }));
    EXPECT_EQ(Count(Log(), "Configuration words not written: none loaded or read."), 1u) << Log();
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ViewConfigWordsOnBox, AHexFilesConfigurationSectionReachesTheChip)
{
    Select(kPic14);
    InsertPic();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("program.hex");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(":040000008A01032846\r\n:02400E00723FFF\r\n:00000001FF\r\n");
    }
    view->OpenFileByName(path.toStdString());
    EXPECT_TRUE(Pic().m_bConfigSupplied) << Log();
    EXPECT_EQ(DescriptorWords(), (std::vector<std::uint8_t> { 0x72, 0x3F }));

    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(ChipWords(), (std::vector<std::uint8_t> { 0x72, 0x3F })) << Log();
    EXPECT_EQ(Count(Log(), "Write Completed"), 1u) << Log();
    {
        std::lock_guard lock(box->Mutex());
        const std::vector<std::uint8_t>& main = box->ChipSocket().Get()->Contents(sim::ChipMemory::Main);
        EXPECT_EQ(std::vector<std::uint8_t>(main.begin(), main.begin() + 4),
            (std::vector<std::uint8_t> { 0x01, 0x8A, 0x28, 0x03 }));
    }
    view->OnDeviceVerify();
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ViewConfigWordsOnBox, StepsOnBufferThreeMoveTheConfigurationWords)
{
    Select(kPic18);
    InsertPic();
    view->OnSetCfgBits();
    ASSERT_EQ(view->BufferCommands().GetBufferIndex(), 3);

    // Nobody supplied the words: the write step writes nothing and says why.
    const std::vector<std::uint8_t> blank = ChipWords();
    view->OnTimer(CTonrigView::kTimerWrite);
    RunToEnd();
    EXPECT_EQ(ChipWords(), blank);
    EXPECT_EQ(Count(Log(), "Configuration words not written: none loaded or read."), 1u) << Log();

    SetDescriptorWords(WordsFor(kPic18));
    view->OnTimer(CTonrigView::kTimerWrite);
    RunToEnd();
    EXPECT_EQ(ChipWords(), WordsFor(kPic18)) << Log();
    view->OnTimer(CTonrigView::kTimerVerify);
    RunToEnd();
    EXPECT_EQ(Count(Log(), "Device is verified"), 1u) << Log();

    // Step 16 of a read walk reads them into buffer 3.
    Select(kPic18);
    view->RunFlags().bufferRun = true;
    view->StartOperation(16);
    RunToEnd();
    EXPECT_EQ(view->m_ConfigWordBuffer, WordsFor(kPic18)) << Log();
    EXPECT_TRUE(Pic().m_bConfigSupplied);
    EXPECT_TRUE(box->ProtocolErrors().empty());
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ViewConfigWordsOnBox, YesAfterAChangingDialogRereadsTheChip)
{
    std::vector<ChipDialogs::Dialog> opened;
    Select(kPic14);
    InsertPic();
    SetChipWords({ 0x72, 0x3F });
    view->SetChipDialogs(std::make_unique<AnsweringDialogs>(true, &opened));
    boxes.QueueAnswer(IDYES);
    view->OnSetCfgBits();
    RunToEnd();
    EXPECT_EQ(opened, std::vector { ChipDialogs::Dialog::Configuration });
    EXPECT_EQ(view->m_ConfigWordBuffer, (std::vector<std::uint8_t> { 0x72, 0x3F })) << Log();
    EXPECT_TRUE(Pic().m_bConfigSupplied);
}

TEST_F(ViewConfigWordsOnBox, ConfigurationMemoryVerifyPassesOverTheDeviceIdAndUnimplementedBits)
{
    Select(kPic14);
    ASSERT_EQ(Pic().m_nDeviceIdAddress, 0x2006);
    // A chip whose configuration memory shows its device ID (0x0FA3) at 0x2006: bytes 12 and 13.
    InsertPic({}, [](sim::ChipSpec& s) {
        s.pic.deviceIdAddress = 0x2006;
        s.signature = { 0x0F, 0xA3 };
    });
    view->BufferCommands().SetBufferIndex(2);
    const auto verify = [&](UINT timer) {
        view->MessageLog().clear();
        view->OnTimer(timer);
        RunToEnd();
        return Count(Log(), "Device is verified") == 1 || Count(Log(), "Chip is blank") == 1;
    };

    // A file's configuration memory: ID locations, a blank device-ID word, as no file holds the
    // chip's, and the configuration word with its unimplemented bits (6 and 7) set.
    view->m_ConfigBuffer
        = { 0x00, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xF2 };
    EXPECT_TRUE(verify(CTonrigView::kTimerBlankCheck)) << Log();
    view->OnTimer(CTonrigView::kTimerWrite);
    RunToEnd();
    // The configuration words written from the descriptor, with bits 6 and 7 clear as the class
    // shows them: the chip holds 0x3F72.
    SetDescriptorWords({ 0x72, 0x3F });
    ASSERT_EQ(RunWords(&CTonrigView::WriteConfigWords), StepKind::Done) << Log();
    ASSERT_EQ(ChipWords(), (std::vector<std::uint8_t> { 0x72, 0x3F }));

    // Then a file whose configuration section sets the unimplemented bits (0x3FF2) supplies the
    // words a verify of configuration memory compares.
    SetDescriptorWords({ 0xF2, 0x3F });
    EXPECT_TRUE(verify(CTonrigView::kTimerVerify)) << Log();
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());

    // The words around still count: an ID location, and an implemented bit of the configuration
    // word.
    view->m_ConfigBuffer[11] ^= 0x01;
    EXPECT_FALSE(verify(CTonrigView::kTimerVerify)) << Log();
    EXPECT_EQ(Count(Log(), "Verify Failed"), 1u) << Log();
    view->m_ConfigBuffer[11] ^= 0x01;
    SetDescriptorWords({ 0xF3, 0x3F });
    EXPECT_FALSE(verify(CTonrigView::kTimerVerify)) << Log();
    EXPECT_EQ(Count(Log(), "Verify Failed"), 1u) << Log();
}

} // namespace
