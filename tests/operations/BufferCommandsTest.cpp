#include "operations/ui/BufferCommands.h"

#include "ViewOnBoxFixture.h"
#include "buffer/BufferModel.h"
#include "buffer/IntelHex.h"
#include "buffer/OpenedFileEntry.h"
#include "buffer/ui/FileOptionsDlg.h"
#include "buffer/ui/HexEditBase.h"
#include "catalogue/DeviceClass.h"
#include "catalogue/DeviceClassTable.h"
#include "jtag/builder/CpldProgram.h"
#include "link/LinkLease.h"
#include "operations/BufferDeviceParams.h"
#include "operations/OperationState.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/View2Header.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "shell/Language.h"
#include "shell/MenuTable.h"
#include "shell/RecentFileList.h"
#include "shell/RegistryKey.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/ProgressDlg.h"
#include "shell/ui/StatusBar.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "AppViewFixture.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QTabBar>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace {

constexpr int k27C256 = 130; // 32 KB EPROM
constexpr int kPic16F628A = 313;
constexpr int kPic18F2xxx = 321;

std::vector<std::uint8_t> RandomImage(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> image(size);
    for (auto& byte : image)
        byte = static_cast<std::uint8_t>(random());
    return image;
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

void WriteSetting(const char* name, const std::string& value)
{
    CRegistryKey key;
    key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
    key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
    key.WriteString(name, value);
}

class BufferCommands : public tonrig::test::AppViewFixture {
protected:
    std::string ChecksumPane() const { return g_pStatusBar->GetPaneText(1); }
    std::string RecentFirst() const
    {
        const CRecentFileList* list = app.RecentFileList();
        return list->GetCount() ? (*list)[0] : std::string();
    }
};

TEST_F(BufferCommands, LoadShowsTheBufferWithItsChecksumAndEverySaveFormatLoadsBackTheSameBytes)
{
    SelectDevice(k27C256);
    const std::vector<std::uint8_t> image = RandomImage(0x8000, 7);
    const std::string source = Path("image.bin");
    WriteAll(source, image);

    view->OpenFileByName(source);
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_EQ(Main(), image);
    EXPECT_EQ(ChecksumPane(), buffer::ChecksumText(image));
    EXPECT_EQ(Title(), "Zelvo USB Programmer - " + source);
    EXPECT_EQ(RecentFirst(), source);
    EXPECT_EQ(view->m_strFileName, source);
    // The Buffer tab shows the code buffer.
    EXPECT_EQ(commands->Tabs()->currentIndex(), CBufferCommands::kBufferTab);
    EXPECT_EQ(commands->Tabs()->tabText(0).toStdString(), "Message Log");
    EXPECT_EQ(commands->Tabs()->tabText(1).toStdString(), "Buffer");
    EXPECT_FALSE(commands->HexView()->isHidden());
    EXPECT_TRUE(view->MessageLog().isHidden());
    EXPECT_EQ(commands->HexView()->Data(), Main().data());
    EXPECT_EQ(commands->HexView()->Size(), image.size());
    EXPECT_EQ(commands->HexView()->OffsetTitle(), "OFFSET");

    for (const char* name : { "copy.bin", "copy.hex", "copy.s", "copy.mot" }) {
        SCOPED_TRACE(name);
        const std::string target = Path(name);
        commands->SetSaveFileChooser([&](const std::string&, const std::string&) {
            return CBufferCommands::FileChoice { target, "All Files (*)" };
        });
        ASSERT_TRUE(app.MainFrame()->Commands().Execute(ID_FILE_SAVE_AS));
        EXPECT_EQ(commands->SavePath(), target);
        std::fill(Main().begin(), Main().end(), 0);
        g_pStatusBar->SetPaneText(1, "");

        view->OpenFileByName(target);
        EXPECT_EQ(Main(), image);
        EXPECT_EQ(ChecksumPane(), buffer::ChecksumText(image));
        EXPECT_EQ(Title(), "Zelvo USB Programmer - " + target);
    }
    EXPECT_EQ(tonrig::test::ReadFileBytes(Path("copy.bin")), image);
    EXPECT_EQ(tonrig::test::ReadFileBytes(Path("copy.hex")).front(), ':');
    EXPECT_EQ(tonrig::test::ReadFileBytes(Path("copy.s")).front(), 'S');
    EXPECT_EQ(boxes.Count(), 0u);

    // Save writes where the last load or save was, in that file's format.
    Main()[0] ^= 0xFF;
    ASSERT_TRUE(app.MainFrame()->Commands().Execute(ID_FILE_SAVE));
    std::vector<std::uint8_t> changed = image;
    changed[0] ^= 0xFF;
    view->OpenFileByName(Path("copy.mot"));
    EXPECT_EQ(Main(), changed);
}

TEST_F(BufferCommands, ALongTextFileShowsItsProgressWhileReading)
{
    const std::vector<std::uint8_t> image = RandomImage(0x40000, 11); // 16384 records
    Main() = image;
    for (const char* name : { "long.hex", "long.s" }) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(commands->SaveTo(Path(name), {}));
        view->ProgressDlg().m_strText.clear();
        Main().clear();
        view->OpenFileByName(Path(name));
        EXPECT_EQ(Main(), image);
        EXPECT_EQ(view->ProgressDlg().m_strText, g_Language.GetText(75));
        EXPECT_FALSE(view->ProgressDlg().isVisible());
    }
}

TEST_F(BufferCommands, SaveAsTakesTheChosenFilterAndItsExtension)
{
    Main() = RandomImage(300, 3);
    struct Case {
        const char* name;
        const char* filter;
        const char* written;
        char first;
    };
    const Case cases[] = {
        { "a", "Hex Files (*.hex)", "a.hex", ':' },
        { "b", "Motorola S Files (*.s *.mot *.srec *.s19 *.s28 *.s37)", "b.s", 'S' },
        { "c.dat", "Hex Files (*.hex)", "c.dat", ':' }, // the filter decides, the name stays
        { "d.hex", "All Files (*)", "d.hex", ':' }, // no filter: the extension decides
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        commands->SetSaveFileChooser([&](const std::string& filters, const std::string&) {
            EXPECT_EQ(filters, CBufferCommands::SaveFilters());
            return CBufferCommands::FileChoice { Path(c.name), c.filter };
        });
        view->OnFileSaveAs();
        const std::vector<std::uint8_t> written = tonrig::test::ReadFileBytes(Path(c.written));
        ASSERT_FALSE(written.empty());
        EXPECT_EQ(static_cast<char>(written.front()), c.first);
    }
    // Cancel writes nothing.
    commands->SetSaveFileChooser([](const std::string&, const std::string&) { return CBufferCommands::FileChoice {}; });
    const std::string before = commands->SavePath();
    view->OnFileSaveAs();
    EXPECT_EQ(commands->SavePath(), before);
}

TEST_F(BufferCommands, FileOpenAsksTheOptionsRemembersThemAndLoadsWithThem)
{
    // A HEX file under a name that says binary: the dialog's format decides.
    const std::string path = Path("image.dat");
    const std::string hex = ":0400000001020304F2\r\n:00000001FF\r\n";
    WriteAll(path, { hex.begin(), hex.end() });
    std::string filtersSeen;
    commands->SetOpenFileChooser([&](const std::string& filters, const std::string&) {
        filtersSeen = filters;
        return CBufferCommands::FileChoice { path, "" };
    });
    commands->SetOptionsRunner([](CFileOptionsDlg& dialog) {
        EXPECT_EQ(dialog.FormatList()->currentIndex(), 0); // preselected by name: Binary
        dialog.FormatList()->setCurrentIndex(1);
        dialog.OffsetEdit()->setText("2");
        dialog.FillList()->setCurrentIndex(2); // Fill '00'
        dialog.accept();
        return true;
    });
    ASSERT_TRUE(app.MainFrame()->Commands().Execute(ID_FILE_OPEN));
    EXPECT_EQ(filtersSeen.substr(0, 26), "bin Files (*.bin);;Binary ");
    EXPECT_EQ(Main(), (std::vector<std::uint8_t> { 0x00, 0x00, 0x01, 0x02, 0x03, 0x04 }));
    EXPECT_EQ(commands->FileOffsetText(), "2");

    buffer::COpenedFileEntry entry;
    entry.FileName = path;
    ASSERT_TRUE(buffer::LookupOpenedFile(entry));
    EXPECT_EQ(entry.Format, "*.hex");
    EXPECT_EQ(entry.Fill, "00");
    EXPECT_EQ(entry.Offset, "2");

    CRegistryKey key;
    ASSERT_TRUE(key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings"));
    std::string type, name;
    key.ReadString("LastOpenedFileType", type);
    key.ReadString("LastOpenedFileName", name);
    EXPECT_EQ(type, "dat");
    EXPECT_EQ(name, path);

    // The next Open leads with the type opened last; a dropped copy of the file reloads with
    // the remembered options.
    commands->SetOptionsRunner([](CFileOptionsDlg&) { return false; }); // Cancel
    Main().clear();
    view->OnFileOpen();
    EXPECT_EQ(filtersSeen.substr(0, 18), "dat Files (*.dat);");
    EXPECT_TRUE(Main().empty());
    EXPECT_EQ(commands->OpenDroppedFiles(std::vector<std::string> { path }), 1);
    EXPECT_EQ(Main(), (std::vector<std::uint8_t> { 0x00, 0x00, 0x01, 0x02, 0x03, 0x04 }));
}

TEST_F(BufferCommands, TheFileOffsetLivesInTheHeaderPaneNegativeOnesToo)
{
    ASSERT_NE(g_pView2Header, nullptr);
    const std::string path = Path("offset.bin");
    WriteAll(path, { 0, 1, 2, 3, 4, 5 });
    commands->SetOpenFileChooser([&](const std::string&, const std::string&) {
        return CBufferCommands::FileChoice { path, "" };
    });
    commands->SetOptionsRunner([](CFileOptionsDlg& dialog) {
        dialog.OffsetEdit()->setText("-2");
        dialog.accept();
        return true;
    });
    view->OnFileOpen();
    EXPECT_EQ(Main(), (std::vector<std::uint8_t> { 2, 3, 4, 5 }));
    EXPECT_EQ(g_pView2Header->FileOffsetText(), "FFFFFFFE");
    EXPECT_EQ(commands->FileOffsetText(), "FFFFFFFE");

    // A file with no remembered options takes the header's value.
    g_pView2Header->SetFileOffsetText("1");
    const std::string other = Path("other.bin");
    WriteAll(other, { 7, 8 });
    commands->OpenDroppedFiles(std::vector<std::string> { other });
    EXPECT_EQ(Main(), (std::vector<std::uint8_t> { 0xFF, 7, 8 }));
}

TEST_F(BufferCommands, AFileThatCannotBeOpenedLeavesBufferTitleAndRecentList)
{
    const std::vector<std::uint8_t> image = RandomImage(64, 1);
    const std::string good = Path("good.bin");
    WriteAll(good, image);
    view->OpenFileByName(good);
    const std::string title = Title();
    boxes.Clear();

    view->OpenFileByName(Path("missing.hex"));
    EXPECT_EQ(Main(), image);
    EXPECT_EQ(Title(), title);
    EXPECT_EQ(RecentFirst(), good);
    bool reported = false;
    for (const auto& box : boxes.Boxes())
        reported |= box.text == "Error opening file\n" + Path("missing.hex");
    EXPECT_TRUE(reported);
    EXPECT_EQ(commands->HexView()->Data(), Main().data()); // never left pointing at a freed block
}

TEST_F(BufferCommands, JamAndStaplNeedAConfiguredCompiler)
{
    const std::vector<std::uint8_t> before = Main();
    const std::string source = Path("chip.jam");
    WriteAll(source, { 'N', 'O', 'T', 'E', ';' });
    view->OpenFileByName(source);
    EXPECT_NE(Log().find("No JAM/STAPL compiler is configured"), std::string::npos);
    EXPECT_EQ(Main(), before);
    EXPECT_NE(RecentFirst(), source);
    EXPECT_EQ(boxes.Count(), 0u);

    // A compiler that copies its source to the output it is given.
    const std::string compiler = Path("fakejbc.sh");
    const std::string script = "#!/bin/sh\ncp \"$1\" \"$2\"\n";
    WriteAll(compiler, { script.begin(), script.end() });
    QFile::setPermissions(QString::fromStdString(compiler), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    WriteSetting(CBufferCommands::kCompilerValue, compiler);

    const std::string stapl = Path("chip.STAPL");
    WriteAll(stapl, { 'A', 'C', 'T', 'I', 'O', 'N' });
    view->OpenFileByName(stapl);
    ASSERT_TRUE(tonrig::test::ProcessEventsUntil([&] { return !commands->CompileRunning(); }));
    const std::string output = GetAppDataFolder() + "/tmp.jbc";
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, output);
    EXPECT_EQ(tonrig::test::ReadFileBytes(output), (std::vector<std::uint8_t> { 'A', 'C', 'T', 'I', 'O', 'N' }));
    EXPECT_EQ(Main(), tonrig::test::ReadFileBytes(stapl)); // read as a binary image too
    EXPECT_NE(Log().find(" " + stapl + " " + output + "."), std::string::npos);
    EXPECT_EQ(RecentFirst(), stapl);
}

// The compile step with a test compiler that behaves by its source's name.
TEST_F(BufferCommands, TheCompileStepNamesOnlyAFreshOutput)
{
    auto clock = std::make_shared<platform::ManualClock>();
    clock->SetAutoAdvance(false);
    platform::ScopedClock scoped(clock);

    const std::string folder = Path("compiler dir");
    QDir().mkpath(QString::fromStdString(folder));
    bytecode::CpldProgramPlan plan;
    plan.idcode = 0x2C4D6001;
    const std::vector<std::uint8_t> image = bytecode::BuildCpldProgram(plan).image;
    WriteAll(folder + "/image.jbc", image);
    const std::string compiler = folder + "/jbc compiler.sh";
    const std::string script = "#!/bin/sh\n"
                               "printf '%s' \"$1\" > \"$(dirname \"$0\")/source\"\n"
                               "case \"$1\" in\n"
                               "  *ok*) cp \"$(dirname \"$0\")/image.jbc\" \"$2\"; pwd > \"$(dirname \"$0\")/cwd\" ;;\n"
                               "  *fail*) echo 'first line' >&2; echo 'syntax error at line 3' >&2; echo half > \"$2\"; exit 1 ;;\n"
                               "  *empty*) exit 0 ;;\n"
                               "  *hang*) echo half > \"$2\"; exec sleep 30 ;;\n"
                               "esac\n";
    WriteAll(compiler, { script.begin(), script.end() });
    QFile::setPermissions(QString::fromStdString(compiler), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    WriteSetting(CBufferCommands::kCompilerValue, compiler);
    const std::string output = GetAppDataFolder() + "/tmp.jbc";
    const auto compile = [&](const std::string& name) {
        const std::string source = folder + "/" + name;
        WriteAll(source, { 'N', 'O', 'T', 'E', ';' });
        view->OpenFileByName(source);
        return source;
    };
    const auto finished = [&] { return tonrig::test::ProcessEventsUntil([&] { return !commands->CompileRunning(); }); };

    // A source path with spaces reaches the compiler as one argument, and its output is named.
    const std::string ok = compile("my chip ok.jam");
    ASSERT_TRUE(finished());
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, output);
    EXPECT_EQ(tonrig::test::ReadFileBytes(output), image);
    EXPECT_NE(Log().find(" " + ok + " " + output + ".\n"), std::string::npos) << Log();
    // The compiler runs in its output's folder.
    const std::vector<std::uint8_t> cwd = tonrig::test::ReadFileBytes(folder + "/cwd");
    EXPECT_EQ(std::string(cwd.begin(), cwd.end()),
        QDir(QString::fromStdString(GetAppDataFolder())).canonicalPath().toStdString() + "\n");
    const auto compiledSource = [&] {
        const std::vector<std::uint8_t> bytes = tonrig::test::ReadFileBytes(folder + "/source");
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(compiledSource(), ok);

    // A relative name (a typed LOAD) reaches the compiler whole, never as an option.
    const QString cwd0 = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder)));
    WriteAll("-rel ok.jam", { 'N', 'O', 'T', 'E', ';' });
    view->OpenFileByName("-rel ok.jam");
    QDir::setCurrent(cwd0);
    ASSERT_TRUE(finished());
    EXPECT_EQ(compiledSource(), folder + "/-rel ok.jam");
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, output);

    struct Case {
        const char* source;
        const char* line;
    };
    for (const Case c : { Case { "fail.jam", "The compiler ended with code 1:\nfirst line\nsyntax error at line 3\n" },
             Case { "empty.stapl", "The compiler wrote no output.\n" } }) {
        SCOPED_TRACE(c.source);
        compile(c.source);
        ASSERT_TRUE(finished());
        EXPECT_EQ(view->Buffers().m_strLoadedFileName, "");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(output))) << "a stale output survived";
        EXPECT_NE(Log().find(c.line), std::string::npos) << Log();
    }

    // Stopped after 60 seconds on the platform clock.
    compile("hang.jam");
    ASSERT_TRUE(commands->CompileRunning());
    clock->Advance(std::chrono::seconds(59));
    QCoreApplication::processEvents();
    EXPECT_TRUE(commands->CompileRunning());
    clock->Advance(std::chrono::seconds(2));
    ASSERT_TRUE(finished());
    EXPECT_NE(Log().find("The compiler did not finish within 60 seconds and was stopped.\n"), std::string::npos);
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, "");

    // A load during a compile ends it; its result never comes.
    compile("hang.jam");
    ASSERT_TRUE(commands->CompileRunning());
    const auto written = [&] {
        return tonrig::test::ProcessEventsUntil([&] { return QFileInfo::exists(QString::fromStdString(output)); });
    };
    ASSERT_TRUE(written());
    const std::string plain = Path("plain.bin");
    WriteAll(plain, { 1, 2, 3 });
    view->OpenFileByName(plain);
    EXPECT_FALSE(commands->CompileRunning());
    clock->Advance(std::chrono::seconds(61));
    QCoreApplication::processEvents();
    EXPECT_EQ(tonrig::test::Count(Log(), "did not finish"), 1u);
    EXPECT_NE(view->Buffers().m_strLoadedFileName, output);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(output))) << "the killed compile's output survived";

    // A refused load leaves the compile running.
    struct Refusal {
        const char* what;
        std::function<void()> set, reset;
        std::string path;
    };
    const std::string jam = folder + "/other.jam";
    WriteAll(jam, { 'N', 'O', 'T', 'E', ';' });
    compile("hang.jam");
    ASSERT_TRUE(commands->CompileRunning());
    ASSERT_TRUE(written());
    for (const Refusal& r : {
             Refusal { "an operation running", [] { g_nOperationState = 3; }, [] { g_nOperationState = 0; }, plain },
             Refusal { "the link in use", [] { ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup)); },
                 [] { g_LinkLease.Release(LeaseHolder::Setup); }, plain },
             Refusal { "no compiler", [] { WriteSetting(CBufferCommands::kCompilerValue, ""); },
                 [&] { WriteSetting(CBufferCommands::kCompilerValue, compiler); }, jam },
         }) {
        SCOPED_TRACE(r.what);
        r.set();
        EXPECT_FALSE(commands->LoadFile(r.path, buffer::GetFormatPattern(r.path)));
        r.reset();
        EXPECT_TRUE(commands->CompileRunning());
    }
    clock->Advance(std::chrono::seconds(61));
    ASSERT_TRUE(finished());
    EXPECT_EQ(tonrig::test::Count(Log(), "did not finish"), 2u);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(output))) << "the timed-out compile's output survived";

    // A compiler that cannot be started.
    WriteSetting(CBufferCommands::kCompilerValue, folder + "/no such compiler");
    compile("ok2.jam");
    ASSERT_TRUE(finished());
    EXPECT_NE(Log().find("The compiler \"" + folder + "/no such compiler\" could not be started.\n"), std::string::npos)
        << Log();

    // An output that cannot be deleted (a folder in its place): the box, and nothing started.
    WriteSetting(CBufferCommands::kCompilerValue, compiler);
    QDir().mkpath(QString::fromStdString(output + "/blocked"));
    boxes.Clear();
    const std::string blocked = compile("ok3.jam");
    EXPECT_FALSE(commands->CompileRunning());
    std::size_t shown = 0;
    for (const auto& b : boxes.Boxes())
        shown += b.text == "Couldn't create the file!\n" + output;
    EXPECT_EQ(shown, 1u);
    EXPECT_EQ(Log().find(" " + blocked + " "), std::string::npos) << "the compiler was started";
    EXPECT_EQ(view->Buffers().m_strLoadedFileName, "");
    QDir(QString::fromStdString(output)).removeRecursively();
}

TEST_F(BufferCommands, AnIncompleteBufferIsSavedOnlyAfterYes)
{
    Main() = RandomImage(100, 5);
    view->Buffers().SetIncomplete(buffer::kMainBuffer, true);
    const std::string target = Path("partial.bin");

    boxes.QueueAnswer(IDNO);
    EXPECT_FALSE(commands->SaveTo(target, {}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(target)));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, buffer::kIncompleteQuestion);
    EXPECT_EQ(boxes.Boxes()[0].caption, g_Language.GetText(61));
    EXPECT_EQ(boxes.Boxes()[0].type & MB_TYPEMASK, MB_YESNO);

    boxes.QueueAnswer(IDYES);
    EXPECT_TRUE(commands->SaveTo(target, {}));
    EXPECT_EQ(tonrig::test::ReadFileBytes(target), Main());

    view->Buffers().SetIncomplete(buffer::kMainBuffer, false);
    boxes.Clear();
    EXPECT_TRUE(commands->SaveTo(target, {}));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(BufferCommands, NothingLoadsOrSavesWhileAnOperationRuns)
{
    const std::string path = Path("x.bin");
    WriteAll(path, { 1, 2, 3 });
    const std::vector<std::uint8_t> before = Main();
    g_nOperationState = 3; // reading: the pump writes into the buffer
    view->OpenFileByName(path);
    EXPECT_EQ(Main(), before);
    EXPECT_FALSE(commands->SaveTo(Path("y.bin"), {}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("y.bin"))));
    EXPECT_NE(Log().find("an operation is running"), std::string::npos);
}

TEST_F(BufferCommands, DroppedFilesLoadInTurnAndOtherDropsAreRefused)
{
    const std::string a = Path("a.bin");
    const std::string b = Path("b.bin");
    WriteAll(a, { 0xA });
    WriteAll(b, { 0xB, 0xB });

    QMimeData files;
    files.setUrls({ QUrl::fromLocalFile(QString::fromStdString(a)), QUrl::fromLocalFile(QString::fromStdString(b)),
        QUrl("https://example.org/c.bin") });
    QMimeData text;
    text.setText("just text");
    EXPECT_EQ(commands->OpenDroppedFiles(&text), 0);
    EXPECT_EQ(commands->OpenDroppedFiles(std::vector<std::string> {}), 0);

    // Onto the message log, as a user would drop them.
    QWidget* target = view->MessageLog().viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(Main(), (std::vector<std::uint8_t> { 0xB, 0xB }));
    EXPECT_EQ((*app.RecentFileList())[0], b);
    EXPECT_EQ((*app.RecentFileList())[1], a);
    EXPECT_EQ(view->MessageLog().GetText().find("just text"), std::string::npos);
}

TEST_F(BufferCommands, TheTabSwitchesBetweenLogAndBufferAndRefreshKeepsTheChecksum)
{
    Main() = { 1, 2, 3 };
    commands->Tabs()->setCurrentIndex(CBufferCommands::kBufferTab);
    EXPECT_FALSE(commands->HexView()->isHidden());
    EXPECT_TRUE(view->MessageLog().isHidden());
    EXPECT_EQ(ChecksumPane(), "Checksum: 0x0006");
    commands->Tabs()->setCurrentIndex(CBufferCommands::kLogTab);
    EXPECT_TRUE(commands->HexView()->isHidden());
    EXPECT_FALSE(view->MessageLog().isHidden());

    // The data pump's refresh shows the buffer again without a new checksum.
    Main() = { 9, 9, 9, 9 };
    view->SendMessage(WM_BUFFER_REFRESH);
    EXPECT_EQ(commands->Tabs()->currentIndex(), CBufferCommands::kBufferTab);
    EXPECT_EQ(commands->HexView()->Data(), Main().data());
    EXPECT_EQ(commands->HexView()->Size(), 4u);
    EXPECT_EQ(ChecksumPane(), "Checksum: 0x0006");

    // The data buffer shows when it is the current one.
    view->Buffers().Buffer(buffer::kDataBuffer) = { 0x10, 0x20 };
    commands->SetBufferIndex(buffer::kDataBuffer);
    view->ShowBufferTab(1);
    EXPECT_EQ(commands->HexView()->Size(), 2u);
    EXPECT_EQ(ChecksumPane(), "Checksum: 0x0030");
}

TEST_F(BufferCommands, RecentFileLoadsTheFirstEntryAndMayForgetTheName)
{
    const std::string path = Path("recent.bin");
    WriteAll(path, { 5, 6 });
    app.AddToRecentFileList(path);
    ASSERT_TRUE(app.MainFrame()->Commands().Execute(ID_FILE_MRU_FILE1));
    EXPECT_EQ(Main(), (std::vector<std::uint8_t> { 5, 6 }));
    EXPECT_EQ(view->m_strFileName, path);
    EXPECT_EQ(view->m_strPreviousFileName, path);

    view->m_dwForgetLoadedFileName = 1;
    Main().clear();
    view->OnRecentFile();
    EXPECT_EQ(Main(), (std::vector<std::uint8_t> { 5, 6 }));
    EXPECT_TRUE(view->m_strFileName.empty());
    EXPECT_EQ(view->m_strPreviousFileName, path);
}

// A PIC HEX file of a class as the usual PIC tools write it: extended linear records, program
// words low byte first, then ID locations, configuration word and data EEPROM.
std::string PicHexFile(const CDeviceClass& device, unsigned seed)
{
    const CPicConfigInfo& pic = *device.m_pPicConfig;
    const int core = pic.m_nCoreBits;
    std::mt19937 random(seed);
    const std::uint16_t mask = core == 14 ? 0x3FFF : core == 12 ? 0x0FFF : 0xFFFF;
    auto words = [&](std::size_t count) {
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t word = static_cast<std::uint16_t>(random()) & mask;
            bytes.push_back(static_cast<std::uint8_t>(word));
            bytes.push_back(static_cast<std::uint8_t>(word >> 8));
        }
        return bytes;
    };
    std::vector<std::uint8_t> eeprom;
    for (int i = 0; i < device.m_nDataSize; ++i) {
        eeprom.push_back(static_cast<std::uint8_t>(random()));
        if (core < 16)
            eeprom.push_back(0);
    }
    const std::vector<std::uint8_t> config = core == 16 ? RandomImage(14, seed) : words(1);
    std::string text;
    std::uint32_t upper = ~0u;
    auto section = [&](std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
        for (std::size_t p = 0; p < bytes.size(); p += 16) {
            const std::uint32_t a = address + static_cast<std::uint32_t>(p);
            if ((a >> 16) != upper) {
                upper = a >> 16;
                const std::uint8_t u[2] = { static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper) };
                buffer::WriteIntelHexRecord(text, 2, 0, 4, u);
            }
            buffer::WriteIntelHexRecord(text, static_cast<int>(std::min<std::size_t>(16, bytes.size() - p)),
                static_cast<std::uint16_t>(a), 0, bytes.data() + p);
        }
    };
    section(0, words(static_cast<std::size_t>(device.m_nCodeSize) / 2));
    section(static_cast<std::uint32_t>(pic.m_nIdHexAddress), words(4));
    section(static_cast<std::uint32_t>(pic.m_nConfigHexAddress), config);
    section(static_cast<std::uint32_t>(pic.m_nEepromHexAddress), eeprom);
    buffer::WriteIntelHexEnd(text);
    return text;
}

TEST_F(BufferCommands, APicFileLoadsIntoTheDeviceAndSavesBackByteIdentical)
{
    for (int index : { kPic16F628A, kPic18F2xxx }) {
        SCOPED_TRACE(index);
        SelectDevice(index);
        ASSERT_TRUE(g_CurrentDevice.m_pPicConfig);
        const std::string text = PicHexFile(g_CurrentDevice, static_cast<unsigned>(index));
        const std::string source = Path("pic.hex");
        WriteAll(source, { text.begin(), text.end() });
        g_CurrentDevice.m_pPicConfig->m_ConfigValue.fill(0);

        view->OpenFileByName(source);
        EXPECT_EQ(boxes.Count(), 0u) << (boxes.Count() ? boxes.Boxes()[0].text : "");
        EXPECT_EQ(Main().size(), static_cast<std::size_t>(g_CurrentDevice.m_nCodeSize));
        EXPECT_EQ(
            view->Buffers().Buffer(buffer::kDataBuffer).size(), static_cast<std::size_t>(g_CurrentDevice.m_nDataSize));
        // The configuration word reached the device's descriptor.
        const auto& config = view->Buffers().ConfigWord();
        ASSERT_EQ(config.size(), static_cast<std::size_t>(g_CurrentDevice.m_pPicConfig->m_nConfigBytes));
        EXPECT_TRUE(std::equal(config.begin(), config.end(), g_CurrentDevice.m_pPicConfig->m_ConfigValue.begin()));
        EXPECT_EQ(ChecksumPane(), buffer::ChecksumText(Main()));

        const std::string target = Path("pic-out.hex");
        ASSERT_TRUE(commands->SaveTo(target, {}));
        const std::vector<std::uint8_t> written = tonrig::test::ReadFileBytes(target);
        EXPECT_EQ(std::string(written.begin(), written.end()), text);
    }
}

TEST(BufferDeviceParams, ComeFromTheCurrentDeviceAndItsPicDescriptor)
{
    InitDeviceClassTable();
    const buffer::CBufferDeviceParams none = MakeBufferDeviceParams(g_DeviceClassTable[k27C256], kNoDeviceClass);
    EXPECT_FALSE(none.selected);
    EXPECT_EQ(none.memorySize, 0u);

    const CDeviceClass& eprom = g_DeviceClassTable[k27C256];
    const buffer::CBufferDeviceParams plain = MakeBufferDeviceParams(eprom, k27C256);
    EXPECT_TRUE(plain.selected);
    EXPECT_EQ(plain.memorySize, static_cast<std::uint32_t>(eprom.m_nCodeSize));
    EXPECT_EQ(plain.typeCode, eprom.m_nType);
    EXPECT_FALSE(plain.pic);

    CDeviceClass pic = g_DeviceClassTable[kPic16F628A];
    ASSERT_TRUE(pic.m_pPicConfig);
    const buffer::CBufferDeviceParams params = MakeBufferDeviceParams(pic, kPic16F628A);
    EXPECT_TRUE(params.pic);
    EXPECT_EQ(params.coreBits, pic.m_pPicConfig->m_nCoreBits);
    EXPECT_EQ(params.dataSize, static_cast<std::uint32_t>(pic.m_nDataSize));
    EXPECT_EQ(params.configBytes, pic.m_pPicConfig->m_nConfigBytes);
    EXPECT_EQ(params.configHexAddress, static_cast<std::uint32_t>(pic.m_pPicConfig->m_nConfigHexAddress));
    EXPECT_EQ(params.idHexAddress, static_cast<std::uint32_t>(pic.m_pPicConfig->m_nIdHexAddress));
    EXPECT_EQ(params.eepromHexAddress, static_cast<std::uint32_t>(pic.m_pPicConfig->m_nEepromHexAddress));

    // The configuration word goes into the descriptor and back, never past its bytes.
    buffer::CBufferModel model;
    model.ConfigWord() = { 0x3F, 0x21 };
    StoreConfigWord(model, pic);
    EXPECT_EQ(pic.m_pPicConfig->m_ConfigValue[0], 0x3F);
    EXPECT_EQ(pic.m_pPicConfig->m_ConfigValue[1], 0x21);
    model.ConfigWord().clear();
    LoadConfigWord(model, pic);
    EXPECT_EQ(model.ConfigWord().size(), static_cast<std::size_t>(pic.m_pPicConfig->m_nConfigBytes));
    EXPECT_EQ(model.ConfigWord()[1], 0x21);
    CDeviceClass plainCopy = eprom;
    StoreConfigWord(model, plainCopy); // no descriptor: nothing happens
    EXPECT_FALSE(plainCopy.m_pPicConfig);
}

} // namespace
