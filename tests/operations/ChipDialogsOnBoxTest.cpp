// The Set CFG bits dialogs on the real bit grid, through the view against the virtual
// programmer: a click flips a bit and its value, a dropped text or a read-only bit changes
// nothing, Cancel sends nothing, risky writes ask first, and what OK writes reaches the chip (an
// AVR's fuses, a PIC's configuration word, a serial EEPROM's bus address, and what the operations
// say when no chip answers at that address). Each dialog runs through the view's runner hook, not
// modally; boxes go to the responder.

#include "operations/ui/TonrigView.h"

#include "app/VirtualSocket.h"
#include "controls/ui/grid/GridCtrl.h"
#include "operations/ConfigWords.h"
#include "operations/DeviceSetup.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ChipBitsDlg.h"
#include "platform/ui/QtServices.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/StatusBar.h"
#include "sim/Box.h"
#include "sim/Chip.h"

#include "ViewOnBoxFixture.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::ProcessEventsUntil;

namespace {

constexpr int kTiny2313 = 27;
constexpr int kMega16 = 37; // an "ISP" class: SPIEN is read-only
constexpr int k24C02 = 44;
constexpr int kPic14 = 313;

QPoint At(CGridCtrl& grid, int row, int col)
{
    WinRect rect;
    grid.GetCellRect(row, col, rect);
    return QPoint(rect.left, rect.top) + QPoint(4, 4);
}
void Send(CGridCtrl& grid, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QWidget* viewport = grid.viewport();
    QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton, buttons, {});
    QApplication::sendEvent(viewport, &event);
}
void Click(CGridCtrl& grid, int row, int col)
{
    Send(grid, QEvent::MouseButtonPress, At(grid, row, col), Qt::LeftButton);
    Send(grid, QEvent::MouseButtonRelease, At(grid, row, col), Qt::NoButton);
}
// One click flips a bit, wherever the focus was.
void Flip(CChipBitsDlg& dialog, int value, int column)
{
    Click(*dialog.Grid(value), 1, column + 1);
}
std::string CellTexts(CGridCtrl& grid, int row)
{
    std::string out;
    for (int c = 1; c < grid.GetColumnCount(); ++c)
        out += (out.empty() ? "" : " ") + grid.GetItemText(row, c).toStdString();
    return out;
}

class ChipDialogsOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    ChipDialogsOnBox()
        : ViewOnBoxFixture({ .version = "ZV-C Re-2.00" })
    {
    }
    bool Idle() const override { return ViewOnBoxFixture::Idle() && g_bSetupIdle.load() == 1; }

    // The chip the program seats for class `index`, adjusted.
    void SelectAndInsert(int index, std::function<void(sim::ChipSpec&)> adjust = nullptr)
    {
        const CDeviceClass& device = g_DeviceClassTable[static_cast<std::size_t>(index)];
        Select(index, std::max(device.m_nCodeSize, 0), std::max(device.m_nDataSize, 0));
        std::optional<sim::ChipSpec> chip = ChipSpecForDevice(g_CurrentDevice, index);
        ASSERT_TRUE(chip);
        if (chip->category == sim::ChipCategory::Pic)
            chip->pic.deviceIdAddress.reset();
        if (adjust)
            adjust(*chip);
        Insert(std::move(*chip));
    }
    std::vector<std::uint8_t> Fuses()
    {
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Get()->Fuses();
    }
    // The chip's first configuration word, low byte first.
    std::vector<std::uint8_t> ChipWord()
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        const auto at = chip.LocateWord(chip.Facts().pic.configWordAddress);
        if (!at)
            return {};
        const std::vector<std::uint8_t>& memory = chip.Contents(at->first);
        return { memory[at->second + 1], memory[at->second] };
    }
    // Set CFG bits with `act` run on the dialog in place of a modal run; the dialog is closed
    // afterwards if `act` left it open. The view's answer: whether it asked to read again.
    void SetCfgBits(std::function<void(CChipBitsDlg&)> act)
    {
        opened = false;
        view->SetChipDialogRunner([&, act](CChipBitsDlg& dialog) {
            opened = true;
            dialog.show();
            act(dialog);
            stillOpen = dialog.isVisible();
            if (dialog.isVisible())
                dialog.reject();
        });
        view->OnSetCfgBits();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
    }
    std::vector<std::string> BoxTextsOnly() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Boxes())
            out.push_back(b.text);
        return out;
    }

    std::uint8_t LatchedAddress()
    {
        std::lock_guard lock(box->Mutex());
        return box->EepromDeviceAddress();
    }

    bool opened = false;
    bool stillOpen = false;
};

TEST_F(ChipDialogsOnBox, TheFuseDialogShowsTheChipAndAClickFlipsABitAndItsValue)
{
    SelectAndInsert(kTiny2313);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "AVR Configuration Byte");
        ASSERT_EQ(dialog.Bits().Values().size(), 3u);
        CGridCtrl& low = *dialog.Grid(0);
        EXPECT_EQ(low.GetRowCount(), 2);
        EXPECT_EQ(low.GetColumnCount(), 9);
        EXPECT_EQ(low.GetFixedRowCount(), 1);
        EXPECT_EQ(low.GetFixedColumnCount(), 1);
        EXPECT_EQ(low.GetItemText(1, 0), "Fuse Low");
        EXPECT_EQ(CellTexts(low, 0), "CKDIV8 CKOUT SUT1 SUT0 CKSEL3 CKSEL2 CKSEL1 CKSEL0");
        EXPECT_EQ(CellTexts(low, 1), "0 1 1 0 0 1 0 0");
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0x64");
        EXPECT_EQ(dialog.ValueLabel(1)->text(), "0xdf");
        EXPECT_EQ(dialog.ValueLabel(2)->text(), "0xff");
        // The extended byte's unnamed bits are read-only: a click leaves them.
        CGridCtrl& extended = *dialog.Grid(2);
        EXPECT_TRUE(extended.GetItemState(1, 1) & GCS_READONLY);
        Click(extended, 1, 1);
        Click(extended, 1, 1);
        EXPECT_EQ(extended.GetItemText(1, 1), "1");

        Flip(dialog, 0, 0); // CKDIV8
        EXPECT_EQ(low.GetItemText(1, 1), "1");
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0xe4");
        Flip(dialog, 0, 0); // again, on the focused bit: back
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0x64");
        Flip(dialog, 0, 0);
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0xe4");
        // A click on a bit name flips nothing.
        Click(low, 0, 1);
        EXPECT_EQ(low.GetItemText(1, 1), "1");
        // A dropped or pasted text other than "1" or "0" is refused; a "0" is taken.
        EXPECT_FALSE(low.ReplaceCellText(1, 2, "x"));
        EXPECT_EQ(low.GetItemText(1, 2), "1");
        EXPECT_TRUE(low.ReplaceCellText(1, 2, "0")); // CKOUT
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0xa4");
        EXPECT_TRUE(low.ReplaceCellText(1, 2, "1"));
        // While an exchange runs no bit changes.
        dialog.SetBusy(true);
        EXPECT_FALSE(dialog.OkButton()->isEnabled());
        Flip(dialog, 0, 0);
        EXPECT_EQ(low.GetItemText(1, 1), "1");
        dialog.reject();
        EXPECT_TRUE(dialog.isVisible()) << "the close button waits too";
        dialog.SetBusy(false);
        // Cancel: nothing is written.
        dialog.CancelButton()->click();
    });
    EXPECT_TRUE(opened);
    EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { 0x64, 0xDF, 0xFF }));
    EXPECT_TRUE(boxes.Boxes().empty()) << "Cancel asks nothing";
    EXPECT_EQ(Count(Log(), "Reading..."), 1u);
    EXPECT_EQ(Count(Log(), "Fuse Low=0x64, Fuse High=0xdf, Fuse Extended=0xff"), 1u) << Log();
    EXPECT_EQ(Count(Log(), "Writing..."), 0u);

    // On an "ISP" class SPIEN is read-only.
    SelectAndInsert(kMega16);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        ASSERT_EQ(dialog.Bits().Values().size(), 2u);
        EXPECT_EQ(dialog.Grid(1)->GetItemText(0, 3), "SPIEN");
        EXPECT_TRUE(dialog.Grid(1)->GetItemState(1, 3) & GCS_READONLY);
        // OK with nothing toggled closes and sends nothing.
        dialog.OkButton()->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { 0xE1, 0x99 }));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ChipDialogsOnBox, ToggledFusesReachTheChipAndYesReadsItAgain)
{
    SelectAndInsert(kTiny2313);
    view->MessageLog().clear();
    boxes.QueueAnswer(IDYES);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 0); // CKDIV8 unprogrammed: no risk
        dialog.OkButton()->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { 0xE4, 0xDF, 0xFF }));
    const std::string log = Log();
    const std::size_t writing = log.find("Writing...");
    ASSERT_NE(writing, std::string::npos) << log;
    EXPECT_NE(log.find("Fuse Low=0xe4, Fuse High=0xdf, Fuse Extended=0xff", writing), std::string::npos) << log;
    EXPECT_NE(log.find("Write Completed", writing), std::string::npos) << log;
    EXPECT_NE(log.find("* END *", writing), std::string::npos) << log;
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, g_Language.GetText(60));
    EXPECT_EQ(boxes.Boxes()[0].caption, g_Language.GetText(61));
    EXPECT_GT(Count(Log(), "Read completed."), 0u) << "Yes read the chip again: " << Log();

    // No: nothing more happens.
    view->MessageLog().clear();
    boxes.Clear();
    boxes.QueueAnswer(IDNO);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 0);
        dialog.OkButton()->click();
    });
    EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { 0x64, 0xDF, 0xFF }));
    EXPECT_EQ(BoxTextsOnly(), std::vector<std::string> { g_Language.GetText(60) });
    EXPECT_EQ(Count(Log(), "Read completed."), 0u) << Log();
}

TEST_F(ChipDialogsOnBox, AFuseWriteTheChipRefusesOrIgnoresGivesTheBoxAndKeepsTheDialogOpen)
{
    for (bool refused : { true, false }) {
        SCOPED_TRACE(refused ? "refused" : "ignored");
        SelectAndInsert(kTiny2313, [&](sim::ChipSpec& s) {
            (refused ? s.conditions.fuseWriteRefused : s.conditions.fuseWriteIgnored) = true;
        });
        boxes.Clear();
        view->MessageLog().clear();
        stillOpen = false;
        SetCfgBits([&](CChipBitsDlg& dialog) {
            Flip(dialog, 0, 0);
            dialog.OkButton()->click();
        });
        EXPECT_TRUE(stillOpen);
        EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { 0x64, 0xDF, 0xFF }));
        EXPECT_EQ(BoxTextsOnly(), std::vector<std::string> { "Fuse write failed." }) << "and no offer to read";
        EXPECT_EQ(Count(Log(), "Write Completed"), 0u);
        // What the chip holds, when it answered the write.
        EXPECT_EQ(Count(Log(), "The chip holds Fuse Low=0x64"), refused ? 0u : 1u) << Log();
    }
}

TEST_F(ChipDialogsOnBox, ALostLinkClosesTheDialogWithNothingChanged)
{
    SelectAndInsert(kTiny2313);
    boxes.Clear();
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 0);
        box->Port()->Disconnect();
        dialog.OkButton()->click();
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_FALSE(dialog.ChipChanged());
    });
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTextsOnly()) << "no offer to read, no box";
    EXPECT_EQ(Count(Log(), "Write Completed"), 0u);
    EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { 0x64, 0xDF, 0xFF }));
}

TEST_F(ChipDialogsOnBox, RiskyFusesAskFirstAndNoKeepsTheChipAndTheDialog)
{
    struct Case {
        const char* name;
        int value, column; // value 0 low, 1 high
        std::string line; // empty: no question
        std::uint8_t low, high; // after Yes
    };
    const std::string clock = g_Language.GetText(158) + ": CKSEL=0000 needs an external clock.";
    const Case cases[] = {
        { "SPIEN", 1, 2, "SPIEN unprogrammed: serial programming is switched off.", 0x64, 0xFF },
        { "RSTDISBL", 1, 7, "RSTDISBL programmed: the reset pin becomes an I/O pin.", 0x64, 0xDE },
        { "DWEN", 1, 0, "DWEN programmed: debugWIRE takes the reset pin.", 0x64, 0x5F },
        { "CKSEL 0000", 0, 5, clock, 0x60, 0xDF },
        { "SUT", 0, 2, "", 0x44, 0xDF },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectAndInsert(kTiny2313);
        boxes.Clear();
        if (!c.line.empty()) {
            boxes.QueueAnswer(IDNO); // the question twice
            boxes.QueueAnswer(IDYES);
        }
        boxes.QueueAnswer(IDNO); // the offer to read
        SetCfgBits([&](CChipBitsDlg& dialog) {
            Flip(dialog, c.value, c.column);
            dialog.OkButton()->click();
            if (!c.line.empty()) {
                EXPECT_TRUE(dialog.isVisible()) << "No leaves the dialog open";
                EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { 0x64, 0xDF, 0xFF }));
                dialog.OkButton()->click();
            }
            EXPECT_FALSE(dialog.isVisible());
        });
        EXPECT_EQ(Fuses(), (std::vector<std::uint8_t> { c.low, c.high, 0xFF }));
        const auto recorded = boxes.Boxes();
        if (c.line.empty()) {
            EXPECT_EQ(BoxTextsOnly(), std::vector<std::string> { g_Language.GetText(60) });
            continue;
        }
        ASSERT_EQ(recorded.size(), 3u);
        EXPECT_EQ(recorded[0].caption, "Warning");
        EXPECT_EQ(recorded[0].type & MB_TYPEMASK, MB_YESNO);
        EXPECT_TRUE(recorded[0].type & MB_DEFBUTTON2) << "No is the default";
        EXPECT_NE(recorded[0].text.find(c.line), std::string::npos) << recorded[0].text;
        EXPECT_NE(recorded[0].text.find("Write the fuses anyway?"), std::string::npos);
        EXPECT_EQ(recorded[1].text, recorded[0].text);
    }
}

TEST_F(ChipDialogsOnBox, APicsConfigurationWordIsWrittenAndRefusalsKeepTheDescriptor)
{
    SelectAndInsert(kPic14);
    CPicConfigInfo& pic = *g_CurrentDevice.m_pPicConfig;
    ASSERT_EQ(ChipWord(), (std::vector<std::uint8_t> { 0xFF, 0x3F }));
    // WDTE (bit 2, column 11 of 14) cleared.
    boxes.QueueAnswer(IDNO);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Configuration");
        ASSERT_EQ(dialog.Grid(0)->GetItemText(0, 12), "WDTE");
        Flip(dialog, 0, 11);
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0x3ffb");
        dialog.OkButton()->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(ChipWord(), (std::vector<std::uint8_t> { 0xFB, 0x3F })) << Log();
    EXPECT_EQ(pic.m_ConfigValue[0], 0xFB);
    EXPECT_EQ(pic.m_ConfigValue[1], 0x3F);
    EXPECT_TRUE(pic.m_bConfigSupplied);
    EXPECT_EQ(view->m_ConfigWordBuffer[0], 0xFB);
    EXPECT_EQ(BoxTextsOnly(), std::vector<std::string> { g_Language.GetText(60) });

    // Back to 1: only an erase can do it. Nothing is written.
    boxes.Clear();
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 11);
        dialog.OkButton()->click();
        EXPECT_TRUE(dialog.isVisible());
    });
    EXPECT_EQ(ChipWord(), (std::vector<std::uint8_t> { 0xFB, 0x3F }));
    EXPECT_EQ(BoxTextsOnly(),
        std::vector<std::string> { "WDTE: a programmed bit returns to 1 only when the chip is erased." });

    // CP programmed asks first; No writes nothing.
    boxes.Clear();
    boxes.QueueAnswer(IDNO);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 0);
        dialog.OkButton()->click();
        EXPECT_TRUE(dialog.isVisible());
    });
    EXPECT_EQ(ChipWord(), (std::vector<std::uint8_t> { 0xFB, 0x3F }));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
        "CP programmed: the memory reads back protected until an erase.\nWrite the configuration word anyway?");

    // A refused write: the box, the descriptor and buffer 3 unchanged.
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Conditions().configWriteRefused = true;
    }
    boxes.Clear();
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 9); // FOSC2
        dialog.OkButton()->click();
        EXPECT_TRUE(dialog.isVisible());
    });
    EXPECT_EQ(BoxTextsOnly(), std::vector<std::string> { kConfigWriteFailedText });
    EXPECT_EQ(pic.m_ConfigValue[0], 0xFB);
    EXPECT_EQ(view->m_ConfigWordBuffer[0], 0xFB);
    EXPECT_EQ(ChipWord(), (std::vector<std::uint8_t> { 0xFB, 0x3F }));
}

TEST_F(ChipDialogsOnBox, AnEepromStrappedElsewhereIsReachedOnceItsAddressIsSet)
{
    const std::vector<std::uint8_t> pattern = tonrig::test::Pattern(256, 3);
    SelectAndInsert(k24C02, [&](sim::ChipSpec& s) { s.eepromStrap = 0b001; });
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = pattern;
    }
    // At 0xA0 nothing answers: the read fails and leaves the buffer as it was.
    view->m_CodeBuffer = tonrig::test::Pattern(256, 9);
    view->OnDeviceRead();
    ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
    EXPECT_EQ(view->m_CodeBuffer, tonrig::test::Pattern(256, 9));
    EXPECT_EQ(Count(Log(), "No answer from the chip at device address 0xA0.\n"), 1u) << Log();

    // Cancel changes nothing.
    boxes.Clear();
    SetCfgBits([&](CChipBitsDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "EEPROM Address");
        EXPECT_EQ(CellTexts(*dialog.Grid(0), 0), "A2 A1 A0");
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0xa0");
        Flip(dialog, 0, 2);
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0xa2");
        dialog.CancelButton()->click();
    });
    EXPECT_EQ(g_CurrentDevice.m_nDeviceAddress, 0);
    EXPECT_EQ(LatchedAddress(), 0xA0);
    EXPECT_TRUE(boxes.Boxes().empty());

    // A0 set, OK, Yes: the read reaches the chip.
    boxes.QueueAnswer(IDYES);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 2);
        dialog.OkButton()->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(g_CurrentDevice.m_nDeviceAddress, 0xA2);
    EXPECT_EQ(LatchedAddress(), 0xA2);
    EXPECT_EQ(BoxTextsOnly(), std::vector<std::string> { g_Language.GetText(60) });
    EXPECT_EQ(view->m_CodeBuffer, pattern) << Log();

    // Writes reach it, also after a new setup (the programmer boots and forgets the address).
    for (unsigned seed : { 5u, 6u }) {
        SCOPED_TRACE(seed);
        if (seed == 6) {
            view->StartDeviceSetup(k24C02, 1, 1, 1);
            ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
            ASSERT_EQ(g_nCurrentClass, k24C02);
            EXPECT_EQ(LatchedAddress(), 0xA2) << Log();
        }
        view->m_CodeBuffer = tonrig::test::Pattern(256, seed);
        boxes.Clear();
        view->OnDeviceWrite();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        EXPECT_EQ(Chip(), tonrig::test::Pattern(256, seed)) << Log();
    }
}

// A 24C02 on its default strap (0xA0) while the address in use is 0xA2: Read, Write, Verify and
// Blank Check each fail with the one red line, the log in front and the line in status pane 0.
// None of them passes on the floating bus's 0xFF, the buffer keeps what it held (the read's too)
// and the chip what it held.
TEST_F(ChipDialogsOnBox, AChipThatDoesNotAnswerAtTheAddressInUseFailsEveryOperation)
{
    const std::vector<std::uint8_t> chip = tonrig::test::Pattern(256, 3);
    SelectAndInsert(k24C02);
    {
        std::lock_guard lock(box->Mutex());
        box->ChipSocket().Get()->Contents(sim::ChipMemory::Main) = chip;
    }
    CStatusBar statusBar;
    g_pStatusBar = g_hStatusBar = &statusBar;
    struct StatusBarBack {
        ~StatusBarBack() { g_pStatusBar = g_hStatusBar = nullptr; }
    } statusBarBack;

    // A0 set, OK, and No to reading the chip again.
    boxes.QueueAnswer(IDNO);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 2);
        dialog.OkButton()->click();
    });
    ASSERT_EQ(g_CurrentDevice.m_nDeviceAddress, 0xA2);
    ASSERT_EQ(LatchedAddress(), 0xA2);
    // The buffer holds a file, which Save writes over while the buffer holds what it holds.
    QTemporaryDir dir;
    const std::string file = dir.filePath("chip.bin").toStdString();
    {
        const std::vector<std::uint8_t> bytes = tonrig::test::Pattern(256, 7);
        QFile out(QString::fromStdString(file));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    view->OpenFileByName(file);
    ASSERT_EQ(view->m_CodeBuffer, tonrig::test::Pattern(256, 7));
    ASSERT_TRUE(view->BufferCommands().SaveGoesToPath());

    const std::string line = "No answer from the chip at device address 0xA2.";
    const std::vector<std::string> successes = { g_Language.GetText(57), g_Language.GetText(84), g_Language.GetText(83),
        g_Language.GetText(97), g_Language.GetText(71), "Buffer incomplete" };
    const std::pair<const char*, std::function<void()>> operations[] = {
        { "read", [&] { view->OnDeviceRead(); } },
        { "write", [&] { view->OnDeviceWrite(); } },
        { "verify", [&] { view->OnDeviceVerify(); } },
        { "blank check", [&] { view->OnDeviceBlankCheck(); } },
    };
    for (const auto& [name, start] : operations) {
        SCOPED_TRACE(name);
        // A verify of a blank buffer would pass on the bus's bytes; the read's buffer must stay.
        const std::vector<std::uint8_t> buffer
            = std::string(name) == "verify" ? std::vector<std::uint8_t>(256, 0xFF) : tonrig::test::Pattern(256, 7);
        view->m_CodeBuffer = buffer;
        view->Buffers().SetModified(0, true);
        view->ShowBufferTab(1);
        boxes.Clear();
        const std::size_t mark = Log().size();
        start();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();

        const std::string added = Log().substr(mark);
        const std::size_t at = added.find(line + "\n");
        ASSERT_NE(at, std::string::npos) << added;
        EXPECT_EQ(Count(added, line), 1u) << added;
        QTextCursor cursor(view->MessageLog().document());
        cursor.setPosition(static_cast<int>(QString::fromStdString(Log().substr(0, mark + at)).size()) + 1);
        EXPECT_EQ(platform::FromQColor(cursor.charFormat().foreground().color()), CTonrigView::kLogError);
        for (const std::string& success : successes)
            EXPECT_EQ(added.find(success), std::string::npos) << success << "\n" << added;
        EXPECT_EQ(view->BufferCommands().Tabs()->currentIndex(), CBufferCommands::kLogTab);
        EXPECT_EQ(statusBar.GetPaneText(0), line);
        EXPECT_TRUE(boxes.Boxes().empty()) << BoxTextsOnly().front();
        EXPECT_EQ(view->m_CodeBuffer, buffer);
        EXPECT_TRUE(view->Buffers().IsModified(0));
        EXPECT_FALSE(view->Buffers().IsIncomplete(0));
        EXPECT_TRUE(view->BufferCommands().SaveGoesToPath());
        EXPECT_EQ(Chip(), chip);
        EXPECT_EQ(g_nOperationState, kStateIdle);
    }
}

// A bit outside m_ConfigMask (BOREN, bit 6 of a 14-bit word) that the chip does not take.
TEST_F(ChipDialogsOnBox, ABitOutsideTheMaskTheChipDidNotTakeIsNoSuccess)
{
    SelectAndInsert(kPic14);
    CPicConfigInfo& pic = *g_CurrentDevice.m_pPicConfig;
    ASSERT_EQ(ChipWord(), (std::vector<std::uint8_t> { 0xFF, 0x3F }));
    const auto held = pic.m_ConfigValue;
    const bool supplied = pic.m_bConfigSupplied;
    const auto shown = view->m_ConfigWordBuffer[0];
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        const auto at = chip.LocateWord(chip.Facts().pic.configWordAddress);
        ASSERT_TRUE(at);
        chip.Conditions().flipAfterWrite.push_back({ at->first, at->second + 1, 0x40 });
        chip.Conditions().flipAfterWrite.push_back({ sim::ChipMemory::ConfigWords, 1, 0x40 });
    }
    SetCfgBits([&](CChipBitsDlg& dialog) {
        ASSERT_EQ(dialog.Grid(0)->GetItemText(0, 8), "BOREN");
        Flip(dialog, 0, 7);
        EXPECT_EQ(dialog.ValueLabel(0)->text(), "0x3fbf");
        dialog.OkButton()->click();
    });
    EXPECT_EQ(ChipWord(), (std::vector<std::uint8_t> { 0xFF, 0x3F })) << "the chip kept BOREN";
    EXPECT_EQ(BoxTextsOnly(), std::vector<std::string> { kConfigWriteFailedText }) << Log();
    EXPECT_EQ(pic.m_ConfigValue, held) << "the descriptor claims a word the chip does not hold";
    EXPECT_EQ(pic.m_bConfigSupplied, supplied);
    EXPECT_EQ(view->m_ConfigWordBuffer[0], shown);
}

// The write answered [0] but its read back got no answer: no fuse was read.
TEST_F(ChipDialogsOnBox, AFuseReadBackWithoutAnswerClaimsNoFuses)
{
    SelectAndInsert(kTiny2313);
    SetCfgBits([&](CChipBitsDlg& dialog) {
        Flip(dialog, 0, 0); // CKDIV8
        box->AddFault(sim::Fault::OnCode(64, sim::FaultAction::WithholdReply));
        dialog.OkButton()->click();
    });
    EXPECT_EQ(Count(Log(), "The chip holds Fuse Low=0xff, Fuse High=0xff, Fuse Extended=0xff."), 0u) << Log();
}

} // namespace
