// The configuration-bit grid of the view: what it shows for a description file, what a pick in
// a setting's list changes, and, against the virtual programmer, a PIC18 whose configuration the
// grid edits on its way to the chip.

#include "operations/ui/ConfigGrid.h"

#include "app/VirtualSocket.h"
#include "buffer/ui/HexEditBase.h"
#include "catalogue/DeviceClassTable.h"
#include "controls/ui/grid/GridCell.h"
#include "controls/ui/grid/GridInPlaceList.h"
#include "link/LinkLease.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"
#include "platform/TextFormat.h"
#include "platform/ui/GdiShim.h"

#include "ViewOnBoxFixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr int kPic14 = 313;
constexpr int kPic18 = 321;
constexpr UINT kBody = DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;

// Two words, the first with two fields.
const char* const kTwoWordPic18 = "pgmmem (region=0x0-0x3FFF)\n"
                                  "cfgmem (region=0x300000-0x30000D)\n"
                                  "cfgbits (key=CONFIG1H addr=0x300001 unused=0x0)\n"
                                  "field (key=FOSC mask=0xF desc=\"Oscillator\" init=0x2)\n"
                                  "setting (req=0xF value=0x2 desc=\"HS\")\n"
                                  "setting (req=0xF value=0x7 desc=\"RC\")\n"
                                  "field (key=OSCS mask=0x20 desc=\"Switch\" init=0x20)\n"
                                  "setting (req=0x20 value=0x20 desc=\"Off\")\n"
                                  "setting (req=0x20 value=0x0 desc=\"On\")\n"
                                  "cfgbits (key=CONFIG2H addr=0x300003 unused=0xE0)\n"
                                  "field (key=WDT mask=0x1 desc=\"Watchdog\" init=0x1)\n"
                                  "setting (req=0x1 value=0x1 desc=\"On\")\n"
                                  "setting (req=0x1 value=0x0 desc=\"Off\")\n";

const char* const kTwoWordPic14 = "pgmmem (region=0x0-0x3FF)\n"
                                  "cfgmem (region=0x2007-0x2008)\n"
                                  "cfgbits (key=CONFIG1 addr=0x2007 unused=0x3F00)\n"
                                  "field (key=FOSC mask=0x3 desc=\"Oscillator\" init=0x1)\n"
                                  "setting (req=0x3 value=0x1 desc=\"XT\")\n"
                                  "field (key=CP mask=0xC0 desc=\"Code\")\n"
                                  "cfgbits (key=CONFIG2 addr=0x2008 unused=0x0)\n"
                                  "field (key=B mask=0x7 desc=\"Boot\" init=0x7)\n"
                                  "setting (req=0x7 value=0x7 desc=\"Off\")\n"
                                  "setting (req=0x7 value=0x5 desc=\"Small\")\n";

class ConfigGridOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    ConfigGridOnBox()
        : ViewOnBoxFixture({ .version = "ZV-C Re-2.00" })
    {
    }
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        m_devices = QString::fromStdString(GetAppDataFolder() + "/devices");
    }
    void TearDown() override
    {
        for (const QString& name : m_written)
            QFile::remove(m_devices + "/" + name);
        ViewOnBoxFixture::TearDown();
    }

    // The device of class `index` named `name`, its description file `text`, loaded as a
    // setup's tail loads it.
    void LoadFile(int index, const std::string& name, const std::string& text)
    {
        const QString file = QString::fromStdString(name) + ".dev";
        QFile out(m_devices + "/" + file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text.data(), static_cast<qint64>(text.size()));
        out.close();
        m_written << file;
        Select(index, 0x4000, 256);
        g_CurrentDevice.m_strName = name;
        view->DeviceSetupOwner().LoadDeviceFile();
        ASSERT_TRUE(view->DeviceSetupOwner().GridLoaded());
        view->DeviceSetupOwner().FillGrid();
    }
    CConfigGrid& Grid() { return view->ConfigGrid(); }
    CPicConfigInfo& Pic() { return *g_CurrentDevice.m_pPicConfig; }
    QString Text(int row, int col) { return Grid().GetItemText(row, col); }
    CGridCellBase& Cell(int row, int col) { return *Grid().GetCell(row, col); }
    // Focus on `row`'s setting cell, then the pick of item `k` in its list.
    void Pick(int row, int k)
    {
        Grid().SetFocusCell(row, row < 0 ? -1 : CConfigGrid::kSettingColumn);
        Grid().OnSelectionChanged(k);
    }

    // The view on screen with the grid on its Buffer tab.
    void ShowGrid()
    {
        view->resize(900, 600);
        view->show();
        QApplication::setActiveWindow(view.get());
        view->BufferCommands().SetBufferIndex(3);
        view->BufferCommands().ShowBufferTab(1);
        QCoreApplication::processEvents();
        ASSERT_TRUE(Grid().isVisible());
    }
    // F2 on `row`'s setting cell; the list editor it opens, or null.
    CGridInPlaceList* OpenList(int row)
    {
        Grid().SetFocusCell(row, CConfigGrid::kSettingColumn);
        Grid().setFocus();
        Grid().BeginCellEdit(row, CConfigGrid::kSettingColumn, QPoint(-1, -1), GridEditStart::Key(GRID_KEY_F2));
        return Grid().viewport()->findChild<CGridInPlaceList*>();
    }
    // Lets a closed editor go.
    static void Settle()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    QString m_devices;
    QStringList m_written;
};

// ---- what FillGrid shows ----

TEST_F(ConfigGridOnBox, FillGridShowsAPic18sWordsFieldByField)
{
    LoadFile(kPic18, "TEST18", kTwoWordPic18);
    CConfigGrid& grid = Grid();
    ASSERT_EQ(grid.GetRowCount(), 4);
    EXPECT_EQ(grid.GetColumnCount(), 5);
    EXPECT_EQ(grid.GetFixedRowCount(), 1);
    EXPECT_EQ(grid.GetFixedColumnCount(), 0);
    EXPECT_EQ(grid.DefaultCellFor(FALSE, FALSE)->GetBackColour(), 0xE0E0E0u);

    const std::vector<QString> header { "Address", "Value", "Category", "Setting", "" };
    for (int col = 0; col < 5; ++col) {
        EXPECT_EQ(Text(0, col), header[static_cast<std::size_t>(col)]);
        EXPECT_EQ(grid.GetItemFormat(0, col), static_cast<UINT>(DT_WORDBREAK));
    }

    struct Row {
        std::array<const char*, 5> texts;
        QStringList choices;
    };
    const std::vector<Row> rows {
        { { "0x300001", "0x22", "Oscillator", "HS", " " }, { "HS", "RC" } },
        { { " ", " ", "Switch", "Off", " " }, { "Off", "On" } },
        { { "0x300003", "0xE1", "Watchdog", "On", " " }, { "On", "Off" } },
    };
    for (int r = 1; r <= 3; ++r) {
        SCOPED_TRACE(r);
        const Row& row = rows[static_cast<std::size_t>(r - 1)];
        const bool first = r != 2;
        for (int col = 0; col < 5; ++col) {
            EXPECT_EQ(Text(r, col), QString(row.texts[static_cast<std::size_t>(col)])) << col;
            const bool blank = col == 4 || (!first && col < 2);
            EXPECT_EQ(grid.GetItemFormat(r, col), blank ? kBody | DT_RIGHT : kBody) << col;
            EXPECT_EQ(Cell(r, col).m_nEditorKind, col == CConfigGrid::kSettingColumn ? 2 : 0) << col;
        }
        EXPECT_EQ(Cell(r, CConfigGrid::kSettingColumn).m_Choices, row.choices);
        EXPECT_EQ(grid.GetItemBkColour(r, CConfigGrid::kSettingColumn), 0xFFFFFFu);
        EXPECT_EQ(grid.GetItemBkColour(r, CConfigGrid::kCategoryColumn), CLR_GRID_DEFAULT);
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ConfigGridOnBox, FillGridShowsANarrowCoresWordsInFourDigits)
{
    LoadFile(kPic14, "TEST14", kTwoWordPic14);
    CConfigGrid& grid = Grid();
    ASSERT_EQ(grid.GetRowCount(), 4);
    EXPECT_EQ(Text(1, 0), "0x2007");
    EXPECT_EQ(Text(1, 1), "0x00C1"); // only the last word takes its unused bits
    EXPECT_EQ(Text(1, 3), "XT");
    EXPECT_EQ(Text(2, 1), " ");
    // A field without settings: an empty list and no text.
    EXPECT_EQ(Text(2, 3), "");
    EXPECT_TRUE(Cell(2, 3).m_Choices.isEmpty());
    EXPECT_EQ(Text(3, 0), "0x2008");
    EXPECT_EQ(Text(3, 1), "0x0007");
    EXPECT_EQ(Text(3, 3), "Off");
    // The columns fit their texts.
    EXPECT_GE(grid.GetColumnWidth(CConfigGrid::kCategoryColumn), grid.fontMetrics().horizontalAdvance("Oscillator"));
}

// ---- a pick ----

TEST_F(ConfigGridOnBox, APickChangesTheWordItsBytesBufferThreeAndTheValueCell)
{
    struct Row {
        const char* name;
        int classIndex;
        const char* file;
        int row, k;
        int word, value;
        std::vector<std::pair<int, int>> bytes; // descriptor byte, value
        int valueRow;
        QString valueText;
    };
    for (const Row& row : {
             Row { "PIC18, the first setting", kPic18, kTwoWordPic18, 1, 0, 0, 0x22, { { 1, 0x22 } }, 1, "0x22" },
             Row { "PIC18, the second setting", kPic18, kTwoWordPic18, 1, 1, 0, 0x27, { { 1, 0x27 } }, 1, "0x27" },
             Row { "PIC18, a word's further row", kPic18, kTwoWordPic18, 2, 1, 0, 0x02, { { 1, 0x02 } }, 1, "0x02" },
             Row { "PIC18, the second word", kPic18, kTwoWordPic18, 3, 1, 1, 0xE0, { { 3, 0xE0 } }, 3, "0xE0" },
             Row { "14-bit, bytes 2i and 2i + 1", kPic14, kTwoWordPic14, 3, 1, 1, 0x0005, { { 2, 0x05 }, { 3, 0x00 } },
                 3, "0x05" },
         }) {
        SCOPED_TRACE(row.name);
        LoadFile(row.classIndex, row.classIndex == kPic18 ? "TEST18" : "TEST14", row.file);
        Pic().m_bConfigSupplied = false;
        std::array<std::uint8_t, 32> expected = Pic().m_ConfigValue;
        const std::array<std::uint8_t, 32> present = Pic().m_ConfigPresent;
        for (const auto& [index, value] : row.bytes)
            expected[static_cast<std::size_t>(index)] = static_cast<std::uint8_t>(value);

        Pick(row.row, row.k);
        EXPECT_EQ(Grid().Description().Word(row.word).m_nValue, row.value);
        EXPECT_EQ(Pic().m_ConfigValue, expected);
        EXPECT_EQ(Pic().m_ConfigPresent, present);
        EXPECT_TRUE(Pic().m_bConfigSupplied);
        EXPECT_EQ(Text(row.valueRow, CConfigGrid::kValueColumn), row.valueText);
        for (const auto& [index, value] : row.bytes)
            EXPECT_EQ(view->m_ConfigWordBuffer[static_cast<std::size_t>(index)], value);
    }
}

TEST_F(ConfigGridOnBox, APickThatNamesNoSettingOrFieldChangesNothing)
{
    LoadFile(kPic18, "TEST18", kTwoWordPic18);
    Pic().m_bConfigSupplied = false;
    const std::array<std::uint8_t, 32> before = Pic().m_ConfigValue;
    // Past the field's settings, before them, and no focus (the header row takes none).
    for (const std::pair<int, int>& pick : { std::pair { 1, 2 }, std::pair { 1, -1 }, std::pair { -1, 0 } }) {
        SCOPED_TRACE(pick.first * 10 + pick.second);
        Pick(pick.first, pick.second);
        EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x22);
        EXPECT_EQ(Pic().m_ConfigValue, before);
        EXPECT_FALSE(Pic().m_bConfigSupplied);
        EXPECT_EQ(Text(1, 1), "0x22");
    }

    // A 14-bit word at the base + 20 of a 32-byte configuration would go to bytes 40 and 41:
    // nothing past the descriptor's 32 bytes changes, nor the flags behind them.
    LoadFile(kPic14, "TEST14",
        "cfgmem (region=0x2007-0x2016)\n"
        "cfgbits (key=CONFIG addr=0x201B unused=0x0)\n"
        "field (key=B mask=0x7 desc=\"Boot\" init=0x7)\n"
        "setting (req=0x7 value=0x5 desc=\"Small\")\n");
    ASSERT_EQ(Pic().m_nConfigBytes, 32);
    const CPicConfigInfo copy = Pic();
    Pick(1, 0);
    EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x5);
    EXPECT_EQ(Pic().m_ConfigValue, copy.m_ConfigValue);
    EXPECT_EQ(Pic().m_ConfigPresent, copy.m_ConfigPresent);
    EXPECT_EQ(Pic().m_nConfigBytes, 32);
    EXPECT_EQ(Pic().m_nDeviceIdAddress, copy.m_nDeviceIdAddress);
    EXPECT_EQ(Pic().m_nIdAddress, copy.m_nIdAddress);
}

TEST_F(ConfigGridOnBox, ASettingCellTakesOnlyItsChoicesAndNoEditorOpensWhileTheLinkIsHeld)
{
    LoadFile(kPic18, "TEST18", kTwoWordPic18);
    ShowGrid();
    CConfigGrid& grid = Grid();
    CGridInPlaceList* list = OpenList(1);
    ASSERT_NE(list, nullptr);
    list->Edit()->selectAll();
    QTest::keyClicks(list->Edit(), "foo");
    QTest::keyClick(list->Edit(), Qt::Key_Return);
    EXPECT_FALSE(grid.IsItemEditing(1, CConfigGrid::kSettingColumn));
    EXPECT_EQ(Text(1, CConfigGrid::kSettingColumn), "HS");
    EXPECT_EQ(grid.Description().Word(0).m_nValue, 0x22);
    // Other columns are the grid's as ever.
    EXPECT_TRUE(static_cast<CGridCtrl&>(grid).ValidateCellText(1, CConfigGrid::kCategoryColumn, "foo"));
    Settle();

    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Operation));
    EXPECT_EQ(OpenList(1), nullptr);
    EXPECT_FALSE(grid.IsItemEditing(1, CConfigGrid::kSettingColumn));
    g_LinkLease.Release(LeaseHolder::Operation);
    EXPECT_NE(OpenList(1), nullptr);
}

// ---- a shipped PIC18 against the virtual programmer ----

class ConfigGridShippedOnBox : public ConfigGridOnBox {
protected:
    bool Idle() const override { return ConfigGridOnBox::Idle() && g_bSetupIdle.load() == 1; }
    void RunToEnd()
    {
        ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return Idle(); }, 60s)) << Log();
        EXPECT_EQ(g_nOperationState, kStateIdle) << Log();
    }
    // A device set up as the selection does, its chip the one the program seats.
    void SetUpDevice(int index, const std::string& name, bool insert = true)
    {
        g_nCurrentClass = kNoDeviceClass;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_strName = name;
        if (insert) {
            std::optional<sim::ChipSpec> chip = ChipSpecForDevice(g_CurrentDevice, index);
            ASSERT_TRUE(chip);
            chip->pic.deviceIdAddress.reset();
            chip->vppRuleOff = true;
            std::lock_guard lock(box->Mutex());
            box->ChipSocket().Insert(std::move(*chip));
        }
        view->StartDeviceSetup(index, 1, 1, 1);
        RunToEnd();
        ASSERT_EQ(g_nCurrentClass, index) << Log();
    }
    // The chip's configuration bytes, in the descriptor's order.
    std::uint8_t ChipConfigByte(int i)
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        const auto at = chip.LocateWord(chip.Facts().pic.configWordAddress + static_cast<std::uint32_t>(i / 2));
        return at ? chip.Contents(at->first)[at->second + (i % 2 == 0 ? 1 : 0)] : 0;
    }
    void SetChipConfigByte(int i, std::uint8_t value)
    {
        std::lock_guard lock(box->Mutex());
        sim::Chip& chip = *box->ChipSocket().Get();
        const auto at = chip.LocateWord(chip.Facts().pic.configWordAddress + static_cast<std::uint32_t>(i / 2));
        ASSERT_TRUE(at);
        chip.Contents(at->first)[at->second + (i % 2 == 0 ? 1 : 0)] = value;
    }
    // The row whose category is `category`.
    int RowOf(const QString& category)
    {
        for (int r = 1; r < Grid().GetRowCount(); ++r)
            if (Text(r, CConfigGrid::kCategoryColumn) == category)
                return r;
        return -1;
    }
    bool GridOnTab() const
    {
        return view->ConfigGrid().isVisibleTo(view.get()) && !view->BufferCommands().HexView()->isVisibleTo(view.get())
            && view->BufferCommands().Tabs()->currentIndex() == CBufferCommands::kBufferTab;
    }
};

TEST_F(ConfigGridShippedOnBox, APic18sConfigurationIsEditedInTheGridAndWritten)
{
    SetUpDevice(kPic18, "PIC18F2550");
    // After setup: the file's defaults (FOSC 0101 in CONFIG1H, byte 1).
    const int oscillator = RowOf("Oscillator");
    ASSERT_GT(oscillator, 0);
    EXPECT_EQ(Grid().GetRowCount(), Grid().CountFieldRows() + 1);
    EXPECT_EQ(Text(oscillator, 0), "0x300001");
    EXPECT_EQ(
        Text(oscillator, 1).toStdString(), platform::Format("0x%02X", g_CurrentDevice.m_pPicConfig->m_ConfigValue[1]));
    EXPECT_EQ(Text(oscillator, 3), "EC: external clock, CLKO on RA6");

    // A read shows the chip's bytes: HS.
    SetChipConfigByte(1, 0x0C);
    std::optional<StepKind> read;
    view->ReadConfigWords([&](StepKind kind) { read = kind; });
    RunToEnd();
    ASSERT_EQ(read, StepKind::Done) << Log();
    EXPECT_EQ(Text(oscillator, 1), "0x0C");
    EXPECT_EQ(Text(oscillator, 3), "HS: HS oscillator, HS used by USB");

    // Set CFG bits shows the grid on the Buffer tab.
    view->BufferCommands().SetBufferIndex(0);
    view->BufferCommands().ShowLogTab();
    view->OnSetCfgBits();
    EXPECT_EQ(view->BufferCommands().GetBufferIndex(), 3);
    EXPECT_TRUE(GridOnTab());
    EXPECT_EQ(Text(oscillator, 3), "HS: HS oscillator, HS used by USB");

    // A pick of INTIO (0x8), then Write and Verify: the chip holds it.
    const QStringList choices = Cell(oscillator, CConfigGrid::kSettingColumn).m_Choices;
    const int intio = static_cast<int>(choices.indexOf("INTIO: internal oscillator, port on RA6, EC used by USB"));
    ASSERT_GE(intio, 0);
    view->resize(900, 600);
    view->show();
    QApplication::setActiveWindow(view.get());
    CGridInPlaceList* list = OpenList(oscillator);
    ASSERT_NE(list, nullptr);
    list->showPopup();
    QAbstractItemView* popup = list->view();
    ASSERT_TRUE(popup->isVisible());
    const QModelIndex item = list->model()->index(intio, 0);
    popup->scrollTo(item); // the list shows four at a time
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, popup->visualRect(item).center());
    Settle();
    EXPECT_FALSE(Grid().IsItemEditing(oscillator, CConfigGrid::kSettingColumn));
    EXPECT_EQ(Text(oscillator, CConfigGrid::kSettingColumn), choices[intio]);
    EXPECT_EQ(Text(oscillator, CConfigGrid::kValueColumn), "0x08");
    EXPECT_EQ(g_CurrentDevice.m_pPicConfig->m_ConfigValue[1], 0x08);
    EXPECT_EQ(view->m_ConfigWordBuffer[1], 0x08);
    CheckOnly({ HeaderOption::Write, HeaderOption::Verify });
    view->MessageLog().clear();
    view->OnBatchRun();
    RunToEnd();
    EXPECT_EQ(ChipConfigByte(1), 0x08) << Log();
    EXPECT_EQ(tonrig::test::Count(Log(), "Device is verified"), 1u) << Log();
    EXPECT_TRUE(boxes.Boxes().empty()) << ::testing::PrintToString(BoxTexts());

    // A flash device: the hex view, and Set CFG bits is not supported.
    SetUpDevice(200, g_DeviceClassTable[200].m_strName, false);
    view->BufferCommands().SetBufferIndex(3);
    view->BufferCommands().ShowBufferTab(1);
    EXPECT_FALSE(view->ConfigGrid().isVisibleTo(view.get()));
    EXPECT_TRUE(view->BufferCommands().HexView()->isVisibleTo(view.get()));
    boxes.Clear();
    view->OnSetCfgBits();
    EXPECT_EQ(BoxTexts(), (std::vector<std::string> { "Not Supported. | Tonrig" }));

    // The PIC18 again brings it back.
    SetUpDevice(kPic18, "PIC18F2550");
    view->OnSetCfgBits();
    EXPECT_TRUE(GridOnTab());
}

const char* const kThreeFieldPic18 = "pgmmem (region=0x0-0x3FFF)\n"
                                     "cfgmem (region=0x300000-0x30000D)\n"
                                     "cfgbits (key=CONFIG1H addr=0x300001 unused=0x0)\n"
                                     "field (key=FOSC mask=0xF desc=\"Oscillator\" init=0x2)\n"
                                     "setting (req=0xF value=0x2 desc=\"HS\")\n"
                                     "setting (req=0xF value=0x7 desc=\"RC\")\n"
                                     "cfgbits (key=CONFIG2H addr=0x300003 unused=0x0)\n"
                                     "field (key=WDT mask=0x1 desc=\"Watchdog\" init=0x1)\n"
                                     "setting (req=0x1 value=0x1 desc=\"On\")\n"
                                     "setting (req=0x1 value=0x0 desc=\"Off\")\n"
                                     "field (key=PS mask=0x6 desc=\"Postscale\" init=0x6)\n"
                                     "setting (req=0x6 value=0x6 desc=\"Big\")\n"
                                     "setting (req=0x6 value=0x2 desc=\"Small\")\n";

// Delete, Cut and Paste reach only the setting cells: the address, value and category cells show
// the records, and a pick finds its word's value cell from the records, whatever the cells say.
TEST_F(ConfigGridOnBox, DeleteOrPasteCannotRewriteTheAddressOrValueCells)
{
    LoadFile(kPic18, "TEST18", kThreeFieldPic18);
    ShowGrid();
    ASSERT_EQ(Text(1, CConfigGrid::kValueColumn), "0x02");
    ASSERT_EQ(Text(2, CConfigGrid::kValueColumn), "0x07");
    for (int col : { CConfigGrid::kAddressColumn, CConfigGrid::kValueColumn, CConfigGrid::kCategoryColumn }) {
        for (int row : { 0, 1, 2, 3 }) {
            SCOPED_TRACE(row * 10 + col);
            const QString before = Text(row, col);
            EXPECT_FALSE(Grid().ReplaceCellText(row, col, "0x99"));
            EXPECT_FALSE(Grid().ReplaceCellText(row, col, ""));
            EXPECT_EQ(Text(row, col), before);
        }
        // Nor does an editor open on them.
        Grid().SetFocusCell(2, col);
        Grid().BeginCellEdit(2, col, QPoint(-1, -1), GridEditStart::Key(GRID_KEY_F2));
        EXPECT_FALSE(Grid().IsItemEditing(2, col));
    }
    Grid().SetSelectedRange(CGridCellSpan(1, 0, 3, CConfigGrid::kCategoryColumn), TRUE);
    Grid().ClearSelectedText();
    EXPECT_EQ(Text(2, CConfigGrid::kValueColumn), "0x07");
    EXPECT_EQ(Text(2, CConfigGrid::kAddressColumn), "0x300003");

    // A second word's further row: its value shows on the word's first row even with that cell blank.
    Grid().SetItemText(2, CConfigGrid::kValueColumn, " ");
    Pick(3, 1);
    EXPECT_EQ(Grid().Description().Word(1).m_nValue, 0x03);
    EXPECT_EQ(Text(2, CConfigGrid::kValueColumn), "0x03");
    EXPECT_EQ(Text(1, CConfigGrid::kValueColumn), "0x02") << "the first word's cell shows the second word";
}

// An arrow key in an open setting list applies the next setting at once; Esc then goes back to
// the setting the cell had, in the word and the descriptor as in the cell.
TEST_F(ConfigGridOnBox, EscAfterAnArrowLeavesTheCellAndTheWordAgreeing)
{
    LoadFile(kPic18, "TEST18", kTwoWordPic18);
    ShowGrid();
    CGridInPlaceList* list = OpenList(1);
    ASSERT_NE(list, nullptr);
    QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(Grid().Description().Word(0).m_nValue, 0x27) << "the arrow picks RC at once";
    ASSERT_EQ(Pic().m_ConfigValue[1], 0x27);
    QTest::keyClick(list->Edit(), Qt::Key_Escape);
    Settle();
    EXPECT_FALSE(Grid().IsItemEditing(1, CConfigGrid::kSettingColumn));
    EXPECT_EQ(Text(1, CConfigGrid::kSettingColumn), "HS");
    EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x22);
    EXPECT_EQ(Pic().m_ConfigValue[1], 0x22);
    EXPECT_EQ(view->m_ConfigWordBuffer[1], 0x22);
    EXPECT_EQ(Text(1, CConfigGrid::kValueColumn), "0x22");

    // Esc with no pick changes nothing.
    Pic().m_bConfigSupplied = false;
    list = OpenList(1);
    ASSERT_NE(list, nullptr);
    QTest::keyClick(list->Edit(), Qt::Key_Escape);
    Settle();
    EXPECT_EQ(Text(1, CConfigGrid::kSettingColumn), "HS");
    EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x22);
    EXPECT_FALSE(Pic().m_bConfigSupplied);
}

// A setting's text pasted with no editor open, or typed into the list, is a pick of it; a text
// that is no choice (a paste of anything, Delete) leaves the cell and the word as they were.
TEST_F(ConfigGridOnBox, APastedOrTypedChoiceIsAppliedOrRefused)
{
    LoadFile(kPic18, "TEST18", kTwoWordPic18);
    ShowGrid();
    Pic().m_bConfigSupplied = false;
    for (const char* refused : { "foo", "" }) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(Grid().ReplaceCellText(1, CConfigGrid::kSettingColumn, refused));
        EXPECT_EQ(Text(1, CConfigGrid::kSettingColumn), "HS");
        EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x22);
        EXPECT_FALSE(Pic().m_bConfigSupplied);
    }
    EXPECT_TRUE(Grid().ReplaceCellText(1, CConfigGrid::kSettingColumn, "RC"));
    EXPECT_EQ(Text(1, CConfigGrid::kSettingColumn), "RC");
    EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x27);
    EXPECT_EQ(Pic().m_ConfigValue[1], 0x27);
    EXPECT_TRUE(Pic().m_bConfigSupplied);
    EXPECT_EQ(view->m_ConfigWordBuffer[1], 0x27);
    EXPECT_EQ(Text(1, CConfigGrid::kValueColumn), "0x27");
    // A paste onto a word's further row changes that word, not the focus cell's.
    Grid().SetFocusCell(3, CConfigGrid::kSettingColumn);
    EXPECT_TRUE(Grid().ReplaceCellText(2, CConfigGrid::kSettingColumn, "On"));
    EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x07);
    EXPECT_EQ(Grid().Description().Word(1).m_nValue, 0xE1);
    EXPECT_EQ(Text(1, CConfigGrid::kValueColumn), "0x07");

    LoadFile(kPic18, "TEST18", kTwoWordPic18);
    ShowGrid();
    CGridInPlaceList* list = OpenList(1);
    ASSERT_NE(list, nullptr);
    list->Edit()->selectAll();
    QTest::keyClicks(list->Edit(), "RC");
    QTest::keyClick(list->Edit(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(Text(1, CConfigGrid::kSettingColumn), "RC");
    EXPECT_EQ(Grid().Description().Word(0).m_nValue, 0x27);
    EXPECT_EQ(Pic().m_ConfigValue[1], 0x27);
}

} // namespace
