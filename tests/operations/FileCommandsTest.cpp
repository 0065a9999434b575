// File Open, Combine Files To Buffer and Fill buffer with 0xFF on the real view, offscreen, with
// the file dialog, the options dialog and the boxes answered by the test.

#include "buffer/BufferModel.h"
#include "buffer/IntelHex.h"
#include "buffer/OpenedFileEntry.h"
#include "buffer/ui/FileOptionsDlg.h"
#include "buffer/ui/HexEditBase.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "link/LinkLease.h"
#include "operations/OperationState.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ScriptEditor.h"
#include "operations/ui/TonrigView.h"
#include "shell/MenuTable.h"
#include "shell/RegistryKey.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "AppViewFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTabBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr UINT kCombineFiles = 32970;
constexpr UINT kFillBufferFF = 32811;
constexpr int k27C256 = 130;
constexpr const char* kSettings = "Software\\Zelvo USB Programmer\\Settings";

void WriteAll(const std::string& path, const Bytes& bytes)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

Bytes Counting(std::size_t size, std::uint8_t first = 0)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

std::string Setting(const char* name)
{
    CRegistryKey key;
    std::string value;
    if (key.Open(HKEY_CURRENT_USER, kSettings))
        key.ReadString(name, value);
    return value;
}

void StoreSetting(const char* name, const std::string& value)
{
    CRegistryKey key;
    key.Create(HKEY_CURRENT_USER, kSettings);
    key.Open(HKEY_CURRENT_USER, kSettings);
    key.WriteString(name, value);
}

// The file names of the 100 opened-file taken ("" for a missing slot).
std::vector<std::string> Slots()
{
    std::vector<std::string> names;
    for (int n = 0; n < buffer::kOpenedFileSlots; ++n) {
        CRegistryKey key;
        std::string name;
        if (key.Open(HKEY_CURRENT_USER, buffer::OpenedFileKey(n)))
            key.ReadString("FileName", name);
        names.push_back(name);
    }
    return names;
}

// What the test does in the file-options dialog; nullopt presses Cancel.
struct Options {
    int format = -2; // -2 leaves the preselection, -1 chooses none
    int readMode = 0;
    int fill = 0; // 0 Normal, 1 Fill 'FF', 2 Fill '00'
    const char* offset = "0";
};

class FileCommands : public tonrig::test::AppViewFixture {
protected:
    void SetUp() override
    {
        AppViewFixture::SetUp();
        if (HasFatalFailure())
            return;
        commands->SetOpenFileChooser([this](const std::string& filters, const std::string& lastPath) {
            ++chooserRuns;
            lastFilters = filters;
            lastChooserPath = lastPath;
            return CBufferCommands::FileChoice { chosen, {} };
        });
        commands->SetOptionsRunner([this](CFileOptionsDlg& dialog) {
            ++optionsRuns;
            if (!options)
                return false;
            if (options->format != -2)
                dialog.FormatList()->setCurrentIndex(options->format);
            dialog.ReadModeList()->setCurrentIndex(options->readMode);
            dialog.FillList()->setCurrentIndex(options->fill);
            dialog.OffsetEdit()->setText(options->offset);
            dialog.accept();
            return true;
        });
    }

    // File Open of `path` with the given options (nullopt: Cancel in the options dialog).
    void Open(const std::string& path, std::optional<Options> with)
    {
        chosen = path;
        options = with;
        ASSERT_TRUE(Execute(ID_FILE_OPEN));
    }

    std::string chosen; // the file dialog's answer; empty is Cancel
    std::optional<Options> options = Options {};
    int chooserRuns = 0;
    int optionsRuns = 0;
    std::string lastFilters;
    std::string lastChooserPath;
};

TEST_F(FileCommands, FileOpenLoadsWithTheChosenOptionsAndCancelChangesNothing)
{
    // 16 data bytes at 0, a gap, 16 more at 0x30: the fill shows in the gap.
    const Bytes low = Counting(16, 0x10), high = Counting(16, 0xA0);
    std::string hex;
    buffer::WriteIntelHexRecord(hex, 16, 0x00, 0, low.data());
    buffer::WriteIntelHexRecord(hex, 16, 0x30, 0, high.data());
    buffer::WriteIntelHexEnd(hex);
    const Bytes hexBytes(hex.begin(), hex.end());

    Bytes shaped(16, 0x00); // after the offset drops 0x10 bytes: 0x20 bytes of gap, then `high`
    for (std::size_t i = 0; i < high.size(); i += 2)
        shaped.push_back(high[i]); // "Odd Byte": the first of every pair

    Bytes asHex(0x40, 0xFF);
    std::copy(low.begin(), low.end(), asHex.begin());
    std::copy(high.begin(), high.end(), asHex.begin() + 0x30);

    struct Case {
        const char* name;
        const char* file; // written with the HEX text
        const char* chosen; // "" cancels the file dialog
        std::optional<Options> options;
        std::optional<Bytes> buffer; // nullopt: the buffer is left as it was
    };
    const Case cases[] = {
        // No format chosen: the name decides, in either letter case.
        { "upper-case .HEX, empty format", "A.HEX", "A.HEX", Options { -1 }, asHex },
        { "lower-case .hex, empty format", "b.hex", "b.hex", Options { -1 }, asHex },
        { "other name, empty format: binary", "c.txt", "c.txt", Options { -1 }, hexBytes },
        { "offset -10, Odd Byte, fill 00", "d.dat", "d.dat", Options { 1, 2, 2, "-10" }, shaped },
        { "Cancel in the file dialog", "e.hex", "", Options {}, std::nullopt },
        { "Cancel in the options dialog", "f.hex", "f.hex", std::nullopt, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAll(Path(c.file), hexBytes);
        Main().assign(8, 0x5A);
        const std::string title = Title();
        const std::string typeBefore = Setting("LastOpenedFileType");
        const std::string nameBefore = Setting("LastOpenedFileName");
        const std::vector<std::string> slotsBefore = Slots();

        Open(*c.chosen ? Path(c.chosen) : std::string(), c.options);
        if (!c.buffer) {
            EXPECT_EQ(Main(), Bytes(8, 0x5A));
            EXPECT_EQ(Title(), title);
            EXPECT_EQ(Setting("LastOpenedFileType"), typeBefore);
            EXPECT_EQ(Setting("LastOpenedFileName"), nameBefore);
            EXPECT_EQ(Slots(), slotsBefore);
            continue;
        }
        EXPECT_EQ(Main(), *c.buffer);
        const std::string path = Path(c.chosen);
        EXPECT_EQ(Title(), "Zelvo USB Programmer - " + path);
        EXPECT_EQ(view->m_strFileName, path);
        EXPECT_EQ(view->Buffers().m_strLoadedFileName, path);
        EXPECT_EQ(Setting("LastOpenedFileName"), path);
        EXPECT_EQ(Setting("LastOpenedFileType"), QFileInfo(QString::fromStdString(path)).suffix().toStdString());
        EXPECT_EQ(commands->Tabs()->currentIndex(), CBufferCommands::kBufferTab);
        EXPECT_EQ(g_pStatusBar->GetPaneText(1), buffer::ChecksumText(Main()));
        EXPECT_EQ(lastChooserPath, nameBefore); // the dialog starts at the file opened last
    }
    EXPECT_EQ(Setting("LastOpenedFileType"), "dat");
}

TEST_F(FileCommands, EachPathKeepsItsOwnSlotAndAFullListGivesUpItsLast)
{
    // Two names that differ only in letter case are two files.
    const std::string lower = Path("a.bin"), upper = Path("A.bin");
    WriteAll(lower, Counting(8));
    WriteAll(upper, Counting(8, 0x80));
    Open(lower, Options { 0, 0, 0, "2" });
    Open(upper, Options { 0, 0, 2, "-4" });
    std::vector<std::string> taken = Slots();
    EXPECT_EQ(taken[0], lower);
    EXPECT_EQ(taken[1], upper);
    EXPECT_EQ(taken[2], "");

    // A drop reloads each with its own options.
    commands->OpenDroppedFiles(std::vector<std::string> { lower });
    EXPECT_EQ(Main(), (Bytes { 0xFF, 0xFF, 0, 1, 2, 3, 4, 5, 6, 7 }));
    commands->OpenDroppedFiles(std::vector<std::string> { upper });
    EXPECT_EQ(Main(), (Bytes { 0x84, 0x85, 0x86, 0x87 }));

    // Reopening rewrites the file's own slot.
    Open(lower, Options { 0, 0, 0, "1" });
    taken = Slots();
    EXPECT_EQ(taken[0], lower);
    EXPECT_EQ(taken[2], "");
    buffer::COpenedFileEntry entry;
    entry.FileName = lower;
    ASSERT_TRUE(buffer::LookupOpenedFile(entry));
    EXPECT_EQ(entry.Offset, "1");

    // All 100 taken taken by other files: the new one goes into slot 99.
    for (int n = 2; n < buffer::kOpenedFileSlots; ++n) {
        buffer::COpenedFileEntry other;
        other.FileName = Path("other" + std::to_string(n) + ".bin");
        ASSERT_EQ(buffer::RememberOpenedFile(other), n);
    }
    const std::string last = Path("last.bin");
    WriteAll(last, Counting(4));
    Open(last, Options { 0, 0, 0, "0" });
    taken = Slots();
    EXPECT_EQ(taken[99], last);
    EXPECT_EQ(taken[0], lower);
    EXPECT_EQ(taken[1], upper);
    EXPECT_EQ(std::count(taken.begin(), taken.end(), last), 1);
    EXPECT_EQ(Main(), Counting(4));
}

TEST_F(FileCommands, TheOpenDialogLeadsWithTheTypeOpenedLastAndMatchesEitherCase)
{
    struct Case {
        std::optional<std::string> stored; // nullopt: never stored
        const char* first;
    };
    const Case cases[] = {
        { std::nullopt, "bin Files (*.bin)" },
        { std::string(""), "* Files (*.*)" },
        { std::string("mot"), "mot Files (*.mot)" },
    };
    const std::string fixed = "Binary Files (*.bin);;Hex Files (*.hex);;ROM Files (*.rom);;"
                              "Xilinx CPLD STAPL Files (*.stapl);;Altera CPLD JAM Files (*.jam);;"
                              "Altera CPLD JBC Files (*.jbc);;Motorola S Files (*.s *.mot);;JEDEC Files (*.jed);;"
                              "EMC Files (*.cds);;All Files (*)";
    chosen.clear();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        if (c.stored)
            StoreSetting("LastOpenedFileType", *c.stored);
        ASSERT_TRUE(Execute(ID_FILE_OPEN));
        EXPECT_EQ(lastFilters, std::string(c.first) + ";;" + fixed);
    }

    // The dialog the chooser runs shows "IMAGE.BIN" under "*.bin" as well as "image.bin".
    WriteAll(Path("IMAGE.BIN"), { 1 });
    WriteAll(Path("image.bin"), { 1 });
    WriteAll(Path("image.txt"), { 1 });
    QFileDialog dialog;
    CBufferCommands::PrepareOpenDialog(dialog, CBufferCommands::OpenFilters("bin"), Path("image.bin"));
    EXPECT_EQ(dialog.nameFilters().front().toStdString(), "bin Files (*.bin)");
    // A desktop's own dialog would match by letter case; this one is Qt's.
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    bool loaded = false;
    QObject::connect(model, &QFileSystemModel::directoryLoaded,
        [&](const QString& path) { loaded |= QDir(path) == QDir(dir.path()); });
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return loaded; }));
    auto shown = [&](const char* name) {
        const QModelIndex index = model->index(QString::fromStdString(Path(name)));
        return index.isValid() && (model->flags(index) & Qt::ItemIsEnabled);
    };
    EXPECT_TRUE(shown("IMAGE.BIN"));
    EXPECT_TRUE(shown("image.bin"));
    EXPECT_FALSE(shown("image.txt"));
}

TEST_F(FileCommands, OpenOnTheScriptTabOpensAScript)
{
    const std::string script = Path("a.zvs");
    WriteAll(script, { 'L', 'O', 'G', ' ', 'a', '\n' });
    int scriptChooserRuns = 0;
    view->ScriptEditor().SetOpenChooser([&](const std::string&, const std::string&) {
        ++scriptChooserRuns;
        return script;
    });
    view->OnNewScript();
    ASSERT_TRUE(commands->ScriptTabActive());
    chosen = Path("x.bin");
    WriteAll(chosen, { 1, 2 });
    view->OnFileOpen();
    EXPECT_EQ(chooserRuns, 0);
    EXPECT_EQ(scriptChooserRuns, 1);
    EXPECT_EQ(view->ScriptEditor().FileName(), script);
    EXPECT_EQ(commands->Tabs()->tabText(commands->Tabs()->currentIndex()).toStdString(), "ZelvoScript - a.zvs");
    EXPECT_EQ(Setting("LastOpenedFileName"), "");
    EXPECT_EQ(Setting("LastOpenedScriptFileName"), script);
}

TEST_F(FileCommands, CombinePlacesAFileIntoTheCodeBufferAtItsOffset)
{
    const Bytes file = Counting(4, 0xC0);
    const Bytes data = Counting(0x20, 1);
    auto blank = [] { return Bytes(0x80000, 0xFF); }; // the code buffer of a fresh start

    auto at = [&](Bytes image, std::size_t size, std::size_t offset) {
        image.resize(std::max(image.size(), size), 0xFF);
        std::copy(file.begin(), file.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
        return image;
    };
    Bytes bigData = Counting(0x7FFFF, 3); // the size a combine once took for blank

    struct Case {
        const char* name;
        std::function<Bytes()> before;
        const char* fileName;
        const char* offset;
        std::optional<Bytes> after; // nullopt: refused, the buffer as before
        const char* box; // the refusal's box
        const char* caption;
    };
    const Case cases[] = {
        { "blank buffer, offset 0: the buffer is the file", blank, "f.bin", "0", file, "", "" },
        { "blank buffer, offset 0x100", blank, "f.bin", "100", at(Bytes(0x100, 0xFF), 0x104, 0x100), "", "" },
        { "empty buffer, offset 2", [] { return Bytes {}; }, "f.bin", "2", at(Bytes(2, 0xFF), 6, 2), "", "" },
        { "a file inside the old data", [&] { return data; }, "f.bin", "4", at(data, 0, 4), "", "" },
        { "a file past the old data", [&] { return data; }, "f.bin", "30", at(data, 0x34, 0x30), "", "" },
        { "a file over the end of the old data", [&] { return data; }, "f.bin", "1E", at(data, 0x22, 0x1E), "", "" },
        { "data of 0x7FFFF bytes are kept", [&] { return bigData; }, "f.bin", "10", at(bigData, 0, 0x10), "", "" },
        { "negative offset", [&] { return data; }, "f.bin", "-10", std::nullopt, "Offset setting wrong.", "Error" },
        { "offset past the size cap", [&] { return data; }, "f.bin", "3FFFFFE", std::nullopt, "Offset setting wrong.",
            "Error" },
        { "a missing file", [&] { return data; }, "missing.bin", "0", std::nullopt, "Error opening file",
            platform::kAppTitle },
    };
    WriteAll(Path("f.bin"), file);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Main() = c.before();
        view->Buffers().SetModified(buffer::kMainBuffer, false);
        const Bytes before = Main();
        app.MainFrame()->setWindowTitle("before");
        boxes.Clear();
        commands->ShowLogTab();
        chosen = Path(c.fileName);
        options = Options { 0, 0, 0, c.offset };

        ASSERT_TRUE(Execute(kCombineFiles));
        EXPECT_EQ(lastFilters, "Binary Files (*.bin)");
        if (!c.after) {
            EXPECT_EQ(Main(), before);
            EXPECT_EQ(Title(), "before");
            EXPECT_FALSE(view->Buffers().IsModified(buffer::kMainBuffer));
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, c.box);
            EXPECT_EQ(boxes.Boxes()[0].caption, c.caption);
            continue;
        }
        EXPECT_EQ(boxes.Count(), 0u);
        EXPECT_EQ(Main(), *c.after);
        // No file holds what the buffer holds now: it is an edit.
        EXPECT_EQ(Title(), "Zelvo USB Programmer - " + chosen + " *");
        EXPECT_TRUE(view->Buffers().IsModified(buffer::kMainBuffer));
        EXPECT_EQ(commands->Tabs()->currentIndex(), CBufferCommands::kBufferTab);
        EXPECT_EQ(commands->HexView()->Data(), Main().data());
        EXPECT_EQ(commands->HexView()->Size(), Main().size());
        EXPECT_EQ(g_pStatusBar->GetPaneText(1), buffer::ChecksumText(Main()));
        EXPECT_EQ(view->m_nBufferPos, 0u);
    }
}

TEST_F(FileCommands, CombineWithADeviceSelectedOrACancelChangesNothing)
{
    WriteAll(Path("f.bin"), { 1, 2, 3 });
    Main() = Counting(16);
    app.MainFrame()->setWindowTitle("before");

    chosen.clear(); // Cancel in the file dialog
    view->OnCombineFiles();
    chosen = Path("f.bin");
    options.reset(); // Cancel in the options dialog
    view->OnCombineFiles();
    EXPECT_EQ(chooserRuns, 2);
    EXPECT_EQ(optionsRuns, 1);
    EXPECT_EQ(Main(), Counting(16));
    EXPECT_EQ(Title(), "before");
    EXPECT_EQ(boxes.Count(), 0u);

    InitDeviceClassTable();
    g_CurrentDevice = g_DeviceClassTable[k27C256];
    g_nCurrentClass = k27C256;
    options = Options {};
    ASSERT_TRUE(Execute(kCombineFiles));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
        "Device been selected. \r\nTo use this function, please restart software and do not select device.");
    EXPECT_EQ(boxes.Boxes()[0].caption, platform::kAppTitle);
    EXPECT_EQ(chooserRuns, 2);
    EXPECT_EQ(Main(), Counting(16));
    EXPECT_EQ(Title(), "before");
}

TEST_F(FileCommands, FillSetsTheCurrentBufferTo0xFF)
{
    Main() = Counting(0x40);
    view->Buffers().Buffer(buffer::kDataBuffer) = Counting(8, 0x30);
    commands->ShowLogTab();
    ASSERT_TRUE(Execute(kFillBufferFF));
    EXPECT_EQ(Main(), Bytes(0x40, 0xFF));
    EXPECT_EQ(view->Buffers().Buffer(buffer::kDataBuffer), Counting(8, 0x30));
    EXPECT_EQ(commands->Tabs()->currentIndex(), CBufferCommands::kBufferTab);
    EXPECT_EQ(g_pStatusBar->GetPaneText(1), "Checksum: 0x3FC0");

    Main() = Counting(0x40);
    commands->SetBufferIndex(buffer::kDataBuffer);
    view->OnFillBufferFF();
    EXPECT_EQ(view->Buffers().Buffer(buffer::kDataBuffer), Bytes(8, 0xFF));
    EXPECT_EQ(Main(), Counting(0x40));
    EXPECT_EQ(commands->HexView()->Size(), 8u);
    EXPECT_EQ(g_pStatusBar->GetPaneText(1), "Checksum: 0x07F8");
}

TEST_F(FileCommands, NoFileCommandTouchesTheBuffersWhileTheLinkIsHeldOrAnOperationRuns)
{
    WriteAll(Path("f.bin"), { 1, 2, 3 });
    chosen = Path("f.bin");
    struct Busy {
        const char* name;
        LeaseHolder holder;
        int state;
    };
    const Busy busy[] = {
        { "an operation holds the link", LeaseHolder::Operation, 3 },
        { "the device setup holds the link", LeaseHolder::Setup, kStateIdle },
        { "a read runs", LeaseHolder::None, 3 },
    };
    for (const Busy& b : busy) {
        SCOPED_TRACE(b.name);
        if (b.holder != LeaseHolder::None) {
            ASSERT_TRUE(g_LinkLease.Take(b.holder));
        }
        g_nOperationState = b.state;
        Main() = Counting(16);
        view->Buffers().Buffer(buffer::kDataBuffer) = Counting(4);
        app.MainFrame()->setWindowTitle("before");
        const int runs = chooserRuns;

        for (UINT id : { static_cast<UINT>(ID_FILE_OPEN), kCombineFiles, kFillBufferFF })
            ASSERT_TRUE(Execute(id));
        view->OnFileOpen();
        view->OnCombineFiles();
        view->OnFillBufferFF();

        EXPECT_EQ(chooserRuns, runs); // no dialog even asked
        EXPECT_EQ(optionsRuns, 0);
        EXPECT_EQ(Main(), Counting(16));
        EXPECT_EQ(view->Buffers().Buffer(buffer::kDataBuffer), Counting(4));
        EXPECT_EQ(Title(), "before");
        EXPECT_EQ(Setting("LastOpenedFileName"), "");
        EXPECT_EQ(boxes.Count(), 0u);
        g_LinkLease.Release(b.holder);
        g_nOperationState = kStateIdle;
    }
    EXPECT_NE(Log().find("Open: the programmer is busy with"), std::string::npos);
    EXPECT_NE(Log().find("Fill buffer: an operation is running."), std::string::npos);

    // The link taken while the options dialog is open: nothing is remembered or loaded.
    commands->SetOptionsRunner([](CFileOptionsDlg& dialog) {
        EXPECT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
        dialog.accept();
        return true;
    });
    for (UINT id : { static_cast<UINT>(ID_FILE_OPEN), kCombineFiles }) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(Execute(id));
        EXPECT_EQ(Main(), Counting(16));
        EXPECT_EQ(Title(), "before");
        EXPECT_EQ(Setting("LastOpenedFileName"), "");
        EXPECT_EQ(Slots(), std::vector<std::string>(buffer::kOpenedFileSlots));
        g_LinkLease.Release(LeaseHolder::Setup);
    }

    // Free again: the same commands act.
    ASSERT_TRUE(Execute(kFillBufferFF));
    EXPECT_EQ(Main(), Bytes(16, 0xFF));
}

} // namespace
