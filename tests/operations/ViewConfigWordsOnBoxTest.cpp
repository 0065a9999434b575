// A PIC's configuration words through the view against the virtual programmer: Set CFG bits by
// class, the words read, written and verified in sequences and on their own, and what the chip
// holds afterwards. Boxes are answered by the test; the clock is manual.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/LinkLease.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/ConfigWords.h"
#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
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

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr int kPic14 = 313; // a 14-bit PIC with a device ID, one configuration word at 0x2007
constexpr int kPic18 = 321; // a PIC18: 14 configuration bytes at 0x300000

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

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

class ViewConfigWordsOnBox : public testing::Test {
protected:
    void SetUp() override
    {
        InitLanguageForView();
        InitDeviceClassTable();
        box = sim::Box::PlugInto(*bus, sim::BoxConfig {});
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        g_nProgrammerModel = sim::ModelOfVersion("ZV-C Re-2.00");
        g_CFGManager.ResetState();
        header = std::make_unique<CView2Header>();
        view = std::make_unique<CTonrigView>();
        g_nOperationState = kStateIdle;
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

    // Selects class `index` as the selection would and sizes the buffers to it.
    void Select(int index)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_nReadVpp = 0xFF;
        view->m_CodeBuffer.assign(static_cast<std::size_t>(std::max(g_CurrentDevice.m_nCodeSize, 0)), 0xFF);
        view->m_DataBuffer.assign(static_cast<std::size_t>(std::max(g_CurrentDevice.m_nDataSize, 0)), 0xFF);
        if (const CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get())
            view->m_ConfigBuffer.assign(static_cast<std::size_t>(pic->ConfigMemoryBytes()), 0xFF);
    }
    CPicConfigInfo& Pic() { return *g_CurrentDevice.m_pPicConfig; }

    std::string Log() const { return view->MessageLog().GetText(); }
    bool Idle() const
    {
        return !view->Pump().Running() && !view->ExchangeRunning() && view->Control().ArmedTimer() == 0
            && !g_LinkLease.IsHeld() && g_nOperationState <= kStateIdle;
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

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes;
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    std::shared_ptr<sim::Box> box;
    std::unique_ptr<CView2Header> header;
    std::unique_ptr<CTonrigView> view;
};

TEST_F(ViewConfigWordsOnBox, SetCfgBitsByClass)
{
    struct Case {
        int classIndex;
        const char* line; // in the log; empty for none
        const char* box; // empty for none
        bool bufferThree;
    };
    const Case cases[] = {
        { kPic18, "", "", true },
        { kPic14, "Configuration dialog is not available yet.", "", false },
        { 27, "AVR fuse dialog is not available yet.", "", false },
        { 44, "EEPROM address dialog is not available yet.", "", false },
        { 200, "", "Not Supported.", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.classIndex);
        Select(c.classIndex);
        view->MessageLog().clear();
        view->BufferCommands().SetBufferIndex(0);
        boxes.Clear();
        view->OnSetCfgBits();
        if (*c.line) {
            EXPECT_EQ(Count(Log(), c.line), 1u) << Log();
        }
        EXPECT_EQ(BoxTexts(), *c.box ? std::vector<std::string> { c.box } : std::vector<std::string> {});
        EXPECT_EQ(view->BufferCommands().GetBufferIndex() == 3, c.bufferThree);
        EXPECT_TRUE(Idle());
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

} // namespace
