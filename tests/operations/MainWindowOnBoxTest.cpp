// What the main window shows of the operations, end to end against the virtual programmer on the
// manual clock: the tab and status pane 0 after each kind of result, the state pane while steps
// run, the checksum pane after every change of the buffer, Save and Save As, and Byte Swap.

#include "operations/ui/TonrigView.h"

#include "buffer/BufferLoader.h"
#include "buffer/BufferModel.h"
#include "buffer/FileFormat.h"
#include "buffer/ui/HexEditBase.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerLink.h"
#include "operations/BufferDeviceParams.h"
#include "operations/CommandChannelPump.h"
#include "operations/OperationControl.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewSetup.h"
#include "platform/GuiThread.h"
#include "platform/TextFormat.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ProgressDlg.h"
#include "shell/ui/StatusBar.h"
#include "support/TestEnvironment.h"

#include "TapChannel.h"
#include "ViewOnBoxFixture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTemporaryDir>

#include <atomic>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::Pattern;
using tonrig::test::ProcessEventsUntil;
using tonrig::test::TapChannel;

namespace {

void WriteAll(const std::string& path, const std::string& text)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

class MainWindowOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        statusBar = std::make_unique<CStatusBar>();
        g_pStatusBar = g_hStatusBar = statusBar.get();
        CheckOnly();
        TapViewChannel(*view, pumpChannel, tap);
        view->resize(900, 600);
        view->show();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        ViewOnBoxFixture::TearDown();
        g_pStatusBar = g_hStatusBar = nullptr;
        statusBar.reset();
    }

    void RunToEnd()
    {
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        QCoreApplication::processEvents();
    }
    std::string Pane(UINT id) const { return statusBar->GetPaneText(statusBar->CommandToIndex(id)); }
    std::string MessagePane() const { return statusBar->GetPaneText(0); }
    int Tab() const { return view->BufferCommands().Tabs()->currentIndex(); }
    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    void SetChipByte(std::uint32_t at, std::uint8_t value)
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main)[at] = value;
    }
    void SetChip(const std::vector<std::uint8_t>& bytes)
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = bytes;
    }
    // Samples `id` on the GUI thread when the pump sends `code` for the nth time.
    void SampleOn(std::uint8_t code, int nth, UINT id, std::string& sample)
    {
        tap->Reset([this, code, nth, id, &sample](std::uint8_t sent, int count) {
            if (sent == code && count == nth)
                platform::send([this, id, &sample] { sample = Pane(id); });
        });
    }
    void PressCancel()
    {
        auto* cancel = view->ProgressDlg().findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        cancel->click();
    }
    std::string Checksum() const
    {
        return buffer::ChecksumText(view->Buffers().Buffer(view->BufferCommands().GetBufferIndex()));
    }

    std::unique_ptr<CStatusBar> statusBar;
    std::unique_ptr<CommandChannelPump> pumpChannel;
    std::unique_ptr<TapChannel> tap;
    QTemporaryDir dir;
};

TEST_F(MainWindowOnBox, AFailedOperationShowsTheLogAndItsFirstLineInPaneZero)
{
    struct Row {
        const char* name;
        std::function<void()> arrange;
        std::function<void()> start;
        int tab; // 0 the Message Log, 1 the Buffer
        std::string pane0; // what pane 0 begins with
        int state = kStateIdle;
    };
    const auto flash = [this](std::size_t size) {
        Select(200, static_cast<int>(size));
        Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, static_cast<std::uint32_t>(size)));
        view->m_CodeBuffer = Pattern(size, 3);
    };
    const auto mcu = [this](std::vector<HeaderOption> checked, std::function<void(sim::ChipSpec&)> change) {
        Select(8, 4096);
        g_CurrentDevice.m_strId = "1E51FF";
        sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Mcu8051, 4096);
        chipSpec.signature = { 0x1E, 0x51, 0xFF };
        if (change)
            change(chipSpec);
        Insert(chipSpec);
        view->m_CodeBuffer = Pattern(4096, 9);
        for (HeaderOption option : checked)
            header->SetOption(option, true);
    };
    const std::vector<Row> rows = {
        { "write failure",
            [&] {
                Select(200, 0x2000);
                sim::ChipSpec chipSpec = sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x2000);
                chipSpec.conditions.failAt = { 0x0400 };
                Insert(chipSpec);
                view->m_CodeBuffer = Pattern(0x2000, 2);
            },
            [&] { view->OnDeviceWrite(); }, 0, "Write failed, Address=0x000400" },
        // The next command lets go of the failure: "Ready" again.
        { "write done", [&] { flash(0x2000); }, [&] { view->OnDeviceWrite(); }, 1, "Ready" },
        { "verify done", [] {}, [&] { view->OnDeviceVerify(); }, 1, "Ready" },
        { "verify mismatch", [&] { SetChipByte(0x0200, static_cast<std::uint8_t>(view->m_CodeBuffer[0x200] ^ 0x0F)); },
            [&] { view->OnDeviceVerify(); }, 0, "Verify Failed, Address=0x000200" },
        { "blank check not blank",
            [&] {
                flash(0x2000);
                SetChipByte(0x1234, 0x00);
            },
            [&] { view->OnDeviceBlankCheck(); }, 0, "Device blank check failed at address:  0x001234" },
        { "an ID mismatch answered No",
            [&] {
                mcu({ HeaderOption::IdCheck, HeaderOption::BlankCheck }, [](sim::ChipSpec& c) {
                    c.signature = { 0x1E, 0x52, 0xFF };
                });
                boxes.QueueAnswer(IDNO);
            },
            [&] { view->OnBatchRun(); }, 0, "ID check failed." },
        { "a failed batch step",
            [&] {
                mcu({ HeaderOption::BlankCheck, HeaderOption::Write, HeaderOption::Verify },
                    [](sim::ChipSpec& c) { c.conditions.failAt = { 0x100 }; });
            },
            [&] { view->OnBatchRun(); }, 0, "Write failed, Address=0x000100" },
        { "an erase the chip refuses",
            [&] {
                Select(122, 2048);
                Insert(sim::ChipSpec::Make(sim::ChipCategory::Eprom, 2048));
                boxes.QueueAnswer(IDYES);
            },
            [&] { view->EraseDevice(); }, 0, "Erase Failed." },
        { "a lock failure", [&] { mcu({ HeaderOption::Lock }, [](sim::ChipSpec& c) { c.hasLock = false; }); },
            [&] {
                g_CurrentDevice.m_strLockText = "3";
                view->OnBatchRun();
            },
            0, "Lock failed." },
        { "a Get ID without an answer",
            [&] {
                mcu({}, nullptr);
                box->AddFault(sim::Fault::OnCode(P_SIGNATURE, sim::FaultAction::WithholdReply));
            },
            [&] { view->ReadDeviceId(); }, 0, "No reply from the programmer." },
        { "a cancel",
            [&] {
                flash(0x40000);
                tap->Reset([this](std::uint8_t sent, int count) {
                    if (sent == P_WRITE_OK && count == 100)
                        platform::send([this] { PressCancel(); });
                });
            },
            [&] { view->OnDeviceWrite(); }, 0, "Device write cancelled" },
        { "a lost link",
            [&] {
                flash(0x20000);
                tap->Reset([this](std::uint8_t code, int nth) {
                    if (code != P_READ || nth != 5)
                        return;
                    box->Port()->Unplug();
                    platform::post([this] { view->OnMessage(WM_PROGRAMMER_CHANGED, 1, 0); });
                });
            },
            [&] { view->OnDeviceRead(); }, 0, "USB connection lost!", kStateDisconnected },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CheckOnly();
        tap->Reset();
        boxes.Clear();
        row.arrange();
        // A long log, read from its top.
        for (int i = 0; i < 100; ++i)
            view->Log("an earlier line\r\n");
        view->MessageLog().verticalScrollBar()->setValue(0);
        // What the user last looked at: the other tab.
        if (row.tab == 0)
            view->ShowBufferTab(1);
        else
            view->BufferCommands().ShowLogTab();
        row.start();
        RunToEnd();
        EXPECT_EQ(g_nOperationState, row.state) << Log();
        EXPECT_EQ(Tab(), row.tab) << Log();
        EXPECT_EQ(view->MessageLog().isVisible(), row.tab == 0);
        EXPECT_EQ(MessagePane().rfind(row.pane0, 0), 0u) << MessagePane() << "\n" << Log();
        if (row.tab == 0) {
            const QScrollBar* bar = view->MessageLog().verticalScrollBar();
            EXPECT_GT(bar->maximum(), 0);
            EXPECT_EQ(bar->value(), bar->maximum());
        }
    }
}

TEST_F(MainWindowOnBox, TheStatePaneSaysWhatTheProgrammerIsDoing)
{
    EXPECT_EQ(statusBar->GetPaneText(2), "Idle");
    Select(200, 0x40000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x40000));
    view->m_CodeBuffer = Pattern(0x40000, 4);

    std::string during;
    SampleOn(P_WRITE_OK, 20, CStatusBar::ID_INDICATOR_STATE, during);
    view->OnDeviceWrite();
    RunToEnd();
    EXPECT_EQ(during, "Writing...");
    EXPECT_EQ(Pane(CStatusBar::ID_INDICATOR_STATE), "Idle");

    during.clear();
    SampleOn(P_READ, 3, CStatusBar::ID_INDICATOR_STATE, during);
    view->OnDeviceRead();
    RunToEnd();
    EXPECT_EQ(during, "Reading...");
    EXPECT_EQ(Pane(CStatusBar::ID_INDICATOR_STATE), "Idle");
    EXPECT_TRUE(view->m_CodeBuffer == Chip());

    // The monitor's word that the programmer went.
    box->Port()->Unplug();
    view->OnMessage(WM_PROGRAMMER_CHANGED, 1, 0);
    EXPECT_EQ(Pane(CStatusBar::ID_INDICATOR_STATE), "No programmer");
}

TEST_F(MainWindowOnBox, TheChecksumPaneFollowsEveryChangeOfTheBuffer)
{
    auto cleared = [this] { statusBar->SetPaneText(1, ""); };
    // A device change sizes the buffers anew.
    InitDeviceClassTable();
    g_CurrentDevice = g_DeviceClassTable[200];
    view->m_CodeBuffer = Pattern(0x1000, 1);
    cleared();
    view->StartDeviceSetup(200, 1, 1, 1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view->DeviceSetupOwner().Setup().Busy(); }, 60s)) << Log();
    ASSERT_EQ(g_nCurrentClass, 200) << Log();
    EXPECT_EQ(Pane(CStatusBar::ID_INDICATOR_CHECKSUM), Checksum());
    EXPECT_NE(Checksum(), buffer::ChecksumText(Pattern(0x1000, 1)));

    const std::size_t size = view->m_CodeBuffer.size();
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, static_cast<std::uint32_t>(size)));
    SetChip(Pattern(size, 6));

    // A load.
    const std::string path = Path("some.bin");
    const std::vector<std::uint8_t> file = Pattern(0x100, 8);
    WriteAll(path, std::string(file.begin(), file.end()));
    view->BufferCommands().ShowLogTab();
    cleared();
    view->OpenFileByName(path);
    EXPECT_EQ(Pane(CStatusBar::ID_INDICATOR_CHECKSUM), Checksum());

    struct Step {
        const char* name;
        std::function<void()> run;
    };
    const Step steps[] = {
        { "read", [&] { view->OnDeviceRead(); } },
        { "fill", [&] { view->OnFillBufferFF(); } },
        { "swap",
            [&] {
                view->m_CodeBuffer = Pattern(size, 5);
                view->OnByteSwap();
            } },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        view->BufferCommands().ShowLogTab();
        cleared();
        step.run();
        RunToEnd();
        EXPECT_EQ(Pane(CStatusBar::ID_INDICATOR_CHECKSUM), Checksum());
    }
}

TEST_F(MainWindowOnBox, SaveWritesOnlyOverTheFileTheBufferCameFrom)
{
    Select(200, 0x2000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x2000));
    SetChip(Pattern(0x2000, 7));
    CBufferCommands& commands = view->BufferCommands();
    int asked = 0;
    std::string preset;
    CBufferCommands::FileChoice answer;
    commands.SetSaveFileChooser([&](const std::string&, const std::string& lastPath) {
        ++asked;
        preset = lastPath;
        return answer;
    });

    // A small HEX file opened: Save (after a fill, which still counts) writes it.
    const std::string opened = Path("small.hex");
    WriteAll(opened, ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n");
    view->OpenFileByName(opened);
    ASSERT_EQ(view->m_CodeBuffer[0x0F], 0x0F);
    view->m_CodeBuffer[0] = 0xAA;
    view->OnFileSave();
    EXPECT_EQ(asked, 0);
    {
        buffer::CBufferModel model;
        model.Buffer(0).assign(0x2000, 0xFF);
        buffer::LoadRequest request;
        request.device = CurrentBufferDeviceParams();
        ASSERT_TRUE(buffer::LoadFile(model, opened, "Hex Files (*.hex)", request).readOk);
        EXPECT_TRUE(model.Buffer(0) == view->m_CodeBuffer);
    }
    const std::vector<std::uint8_t> before = tonrig::test::ReadFileBytes(opened);

    // After a read the buffer is the chip's: Save asks, preset with the opened file.
    view->OnDeviceRead();
    RunToEnd();
    ASSERT_TRUE(view->m_CodeBuffer == Chip());
    answer = {};
    view->OnFileSave();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(preset, opened);
    EXPECT_EQ(tonrig::test::ReadFileBytes(opened), before) << "a cancelled Save As leaves the opened file alone";

    const std::string dump = Path("dump.bin");
    answer = { dump, "Binary Files (*.bin)" };
    view->OnFileSave();
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(tonrig::test::ReadFileBytes(dump) == view->m_CodeBuffer);
    EXPECT_EQ(tonrig::test::ReadFileBytes(opened), before);
    // Saved there, Save goes there from now on.
    view->OnFileSave();
    EXPECT_EQ(asked, 2);

    // A device change: the buffers are the new device's.
    view->StartDeviceSetup(201, 1, 1, 1);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view->DeviceSetupOwner().Setup().Busy(); }, 60s)) << Log();
    answer = {};
    view->OnFileSave();
    EXPECT_EQ(asked, 3);
}

TEST_F(MainWindowOnBox, TheNameTypedInSaveAsDecidesTheFormat)
{
    Select(200, 0x8000);
    view->m_CodeBuffer = Pattern(0x8000, 11);
    CBufferCommands& commands = view->BufferCommands();
    struct Case {
        const char* typed;
        const char* filter;
        const char* written;
        buffer::FileFormat format;
        const char* formatName;
    };
    const Case cases[] = {
        { "out.hex", "Binary Files (*.bin)", "out.hex", buffer::FileFormat::IntelHex, "Intel HEX" },
        { "out.S19", "Hex Files (*.hex)", "out.S19", buffer::FileFormat::SRecord, "Motorola S-record" },
        { "out.bin", "Hex Files (*.hex)", "out.bin", buffer::FileFormat::Binary, "Binary" },
        { "out", "Hex Files (*.hex)", "out.hex", buffer::FileFormat::IntelHex, "Intel HEX" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        commands.SetSaveFileChooser([&](const std::string&, const std::string&) {
            return CBufferCommands::FileChoice { Path(c.typed), c.filter };
        });
        view->MessageLog().OnClearAll();
        view->OnFileSaveAs();
        const std::string written = Path(c.written);
        const std::vector<std::uint8_t> bytes = tonrig::test::ReadFileBytes(written);
        ASSERT_FALSE(bytes.empty());
        buffer::CBufferModel model;
        model.Buffer(0).assign(0x8000, 0xFF);
        buffer::LoadRequest request;
        request.device = CurrentBufferDeviceParams();
        const char* pattern = c.format == buffer::FileFormat::IntelHex ? "Hex Files (*.hex)"
            : c.format == buffer::FileFormat::SRecord                  ? "Motorola S Files (*.s *.mot)"
                                                                       : "Binary Files (*.bin)";
        if (c.format == buffer::FileFormat::Binary) {
            EXPECT_TRUE(bytes == view->m_CodeBuffer);
        } else {
            EXPECT_EQ(bytes.front(), c.format == buffer::FileFormat::IntelHex ? ':' : 'S');
            ASSERT_TRUE(buffer::LoadFile(model, written, pattern, request).readOk);
            EXPECT_TRUE(model.Buffer(0) == view->m_CodeBuffer);
        }
        const std::string line = "Saved 32768 bytes to " + written + " (" + c.formatName + ").";
        EXPECT_NE(Log().find(line), std::string::npos) << Log();
    }

    // What a script's SAVE asks for: binary, whatever the name.
    const std::string scripted = Path("script.hex");
    ASSERT_TRUE(commands.SaveTo(scripted, "Binary Files (*.bin)"));
    EXPECT_TRUE(tonrig::test::ReadFileBytes(scripted) == view->m_CodeBuffer);
}

TEST_F(MainWindowOnBox, ByteSwapRedisplaysTheBufferAtOnce)
{
    Select(200, 0x1000);
    view->m_CodeBuffer = Pattern(0x1000, 12);
    view->ShowBufferTab(1);
    QCoreApplication::processEvents();
    CHexEditBase* hex = view->BufferCommands().HexView();
    ASSERT_TRUE(hex->isVisible());
    PaintCounter counter;
    hex->viewport()->installEventFilter(&counter);
    const std::vector<std::uint8_t> before = view->m_CodeBuffer;

    view->OnByteSwap();
    QCoreApplication::processEvents();
    EXPECT_GT(counter.paints, 0) << "the hex view was not repainted";
    EXPECT_EQ(view->m_CodeBuffer[0], before[1]);
    EXPECT_EQ(view->m_CodeBuffer[1], before[0]);
    const std::string row = hex->RowText(0);
    EXPECT_NE(row.find(platform::Format(" %02X %02X", before[1], before[0])), std::string::npos) << row;
    EXPECT_NE(Log().find("Buffer bytes swapped (2048 words)."), std::string::npos) << Log();
    EXPECT_EQ(Pane(CStatusBar::ID_INDICATOR_CHECKSUM), Checksum());
}

} // namespace
