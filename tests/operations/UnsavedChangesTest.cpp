// Edits are never dropped unasked: an edited buffer before Open, a recent file, a LOAD and the
// program's exit; an edited script tab before Close Script and the exit. The whole program without
// a programmer, started afresh wherever a case closes it.

#include "operations/ui/BufferCommands.h"

#include "buffer/BufferModel.h"
#include "buffer/ui/FileOptionsDlg.h"
#include "buffer/ui/FillBufferDlg.h"
#include "buffer/ui/HexEditBase.h"
#include "catalogue/DeviceClassTable.h"
#include "catalogue/DeviceLibrary.h"
#include "catalogue/ui/DeviceSelectDlg.h"
#include "controls/ui/RichEditCtrlExtend.h"
#include "link/LinkLease.h"
#include "operations/OperationState.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/ConfigGrid.h"
#include "operations/ui/ScriptEditor.h"
#include "operations/ui/TonrigView.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"
#include "platform/GuiThread.h"
#include "shell/MenuTable.h"
#include "shell/RegistryKey.h"
#include "shell/ui/MainFrame.h"
#include "shell/ui/TonrigApp.h"
#include "support/RecordingMessageBox.h"
#include "support/TestEnvironment.h"

#include "OneFieldPic.h"
#include "ViewGlobalsReset.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>

namespace {

using Bytes = std::vector<std::uint8_t>;
using tonrig::test::ProcessEventsUntil;

constexpr int k27C256 = 130; // 32 KB EPROM
constexpr int kPic16F628A = 313;
constexpr std::size_t kSize = 0x8000;
constexpr UINT kRunScript = 32962;
constexpr UINT kCloseScript = 32968;

Bytes Image(unsigned seed)
{
    Bytes bytes(kSize);
    for (std::size_t i = 0; i < kSize; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + seed * 13);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class UnsavedChanges : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // No programmer here, and none is looked for: the installer's question would otherwise come
        // whenever its timer gets there first and take a test's answer.
        CRegistryKey key;
        ASSERT_TRUE(key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings"));
        ASSERT_TRUE(key.WriteDword("USBDriverOK", 1));
        a = Path("a.bin");
        b = Path("b.bin");
        saved = Path("saved.bin");
        for (const auto& [path, seed] : { std::pair { a, 1u }, std::pair { b, 2u } }) {
            const Bytes image = Image(seed);
            WriteAll(path, std::string(image.begin(), image.end()));
        }
    }
    void TearDown() override
    {
        app.reset();
        tonrig::test::ResetViewGlobals();
    }

    // The program afresh, 32 KB EPROM selected, a.bin loaded.
    void Start()
    {
        app.reset();
        platform::ResetShutdownForTest();
        boxes.Clear();
        app = std::make_unique<CTonrigApp>();
        ASSERT_TRUE(app->InitInstance(false));
        view = app->MainFrame()->MainView();
        commands = &view->BufferCommands();
        InitDeviceClassTable();
        g_CurrentDevice = g_DeviceClassTable[k27C256];
        g_nCurrentClass = k27C256;
        commands->SetSaveFileChooser([this](const std::string&, const std::string&) {
            ++saveAsRuns;
            return CBufferCommands::FileChoice { saveAsAnswer, "" };
        });
        commands->SetOpenFileChooser([this](const std::string&, const std::string&) {
            return CBufferCommands::FileChoice { b, "" };
        });
        commands->SetOptionsRunner([](CFileOptionsDlg& dialog) {
            dialog.accept();
            return true;
        });
        saveAsRuns = 0;
        view->OpenFileByName(a);
        ASSERT_EQ(Main(), Image(1));
        ASSERT_EQ(boxes.Count(), 0u);
    }
    // Types "AB" over the first byte in the hex editor.
    void TypeEdit()
    {
        commands->ShowBufferTab(1);
        commands->HexView()->SetCursor(0);
        for (char c : std::string("AB")) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar::fromLatin1(c)));
            QApplication::sendEvent(commands->HexView(), &press);
        }
        ASSERT_EQ(Main()[0], 0xAB);
    }
    // Makes buffer `index` the current one and shows it, as a click on its option does.
    void Show(int index)
    {
        view->m_nBufferIndex = index;
        commands->SetBufferIndex(index);
        commands->ShowBufferTab(1);
    }
    // Picks RC for the one field of the GRIDTEST PIC in the configuration grid.
    void PickRc()
    {
        Show(buffer::kConfigWord);
        ASSERT_TRUE(view->ConfigGridShown());
        CConfigGrid& grid = view->ConfigGrid();
        grid.SetFocusCell(1, CConfigGrid::kSettingColumn);
        grid.OnGridClick(1);
    }
    // The program afresh with the GRIDTEST PIC current and `file` opened.
    void ReopenOnGridPic(const std::string& file)
    {
        Start();
        g_nCurrentClass = 321;
        g_CurrentDevice = g_DeviceClassTable[321];
        g_CurrentDevice.m_strName = "GRIDTEST";
        view->OpenFileByName(file);
    }
    Bytes Edited() const
    {
        Bytes bytes = Image(1);
        bytes[0] = 0xAB;
        return bytes;
    }

    std::string Path(const char* name) const { return dir.filePath(name).toStdString(); }
    Bytes& Main() { return view->Buffers().Buffer(buffer::kMainBuffer); }
    std::string Log() const { return view->MessageLog().GetText(); }
    std::string Title() const { return app->MainFrame()->windowTitle().toStdString(); }
    bool Execute(UINT id) { return app->MainFrame()->Commands().Execute(id); }
    // The boxes that asked about edited buffers.
    std::size_t Asked() const
    {
        std::size_t n = 0;
        for (const auto& box : boxes.Boxes())
            n += box.text == CBufferCommands::kEditsQuestion;
        return n;
    }

    tonrig::test::ScopedSettingsFile settings;
    tonrig::test::RecordingMessageBox boxes { IDOK };
    QTemporaryDir dir;
    std::string a, b, saved;
    std::string saveAsAnswer; // what Save As is given: empty cancels it
    int saveAsRuns = 0;
    std::unique_ptr<CTonrigApp> app;
    CTonrigView* view = nullptr;
    CBufferCommands* commands = nullptr;
};

enum class Way { Open, RecentFile, LaterRecentFile, Exit, WindowClose };

const char* Name(Way way)
{
    switch (way) {
    case Way::Open:
        return "File Open";
    case Way::RecentFile:
        return "the recent file";
    case Way::LaterRecentFile:
        return "a later recent file";
    case Way::Exit:
        return "File Exit";
    case Way::WindowClose:
        return "the window's close";
    }
    return "";
}

bool Closes(Way way)
{
    return way == Way::Exit || way == Way::WindowClose;
}

class UnsavedBuffer : public UnsavedChanges {
protected:
    // Goes the way: a load of b.bin, or the program's end.
    void Go(Way way)
    {
        switch (way) {
        case Way::Open:
            ASSERT_TRUE(Execute(ID_FILE_OPEN));
            break;
        case Way::RecentFile:
            app->AddToRecentFileList(b);
            ASSERT_TRUE(Execute(ID_FILE_MRU_FILE1));
            break;
        case Way::LaterRecentFile:
            app->AddToRecentFileList(b);
            app->AddToRecentFileList(Path("other.bin"));
            ASSERT_TRUE(Execute(ID_FILE_MRU_FILE1 + 1));
            for (int i = 0; i < 3; ++i)
                QCoreApplication::processEvents(); // the request is posted
            break;
        case Way::Exit:
            ASSERT_TRUE(Execute(ID_APP_EXIT));
            break;
        case Way::WindowClose:
            app->MainFrame()->close();
            break;
        }
    }
};

TEST_F(UnsavedBuffer, EachWayAsksOnceAndYesSavesNoDropsCancelKeeps)
{
    struct Answer {
        const char* name;
        int answer;
        std::string saveAs; // empty: Save As is cancelled
        bool goesOn;
    };
    const Answer answers[] = {
        { "Yes", IDYES, "saved.bin", true },
        { "Yes, Save As cancelled", IDYES, "", false },
        { "No", IDNO, "", true },
        { "Cancel", IDCANCEL, "", false },
    };
    for (Way way : { Way::Open, Way::RecentFile, Way::LaterRecentFile, Way::Exit, Way::WindowClose }) {
        for (const Answer& answer : answers) {
            SCOPED_TRACE(std::string(Name(way)) + ": " + answer.name);
            Start();
            TypeEdit();
            EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a + " *");
            QFile::remove(QString::fromStdString(saved));
            saveAsAnswer = answer.saveAs.empty() ? std::string() : Path(answer.saveAs.c_str());
            boxes.QueueAnswer(answer.answer);
            Go(way);

            const auto shown = boxes.Boxes();
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, "The buffer data has been changed. Save it before it is replaced?");
            EXPECT_EQ(shown[0].caption, "Tonrig");
            EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
            EXPECT_EQ(saveAsRuns, answer.answer == IDYES ? 1 : 0);
            EXPECT_EQ(tonrig::test::ReadFileBytes(saved), answer.saveAs.empty() ? Bytes {} : Edited());
            if (!answer.goesOn) {
                EXPECT_FALSE(view->IsShutDown());
                EXPECT_EQ(Main(), Edited());
                EXPECT_TRUE(view->Buffers().IsModified(buffer::kMainBuffer));
                EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a + " *");
            } else if (Closes(way)) {
                EXPECT_TRUE(view->IsShutDown());
            } else {
                EXPECT_EQ(Main(), Image(2));
                EXPECT_FALSE(view->Buffers().IsModified(buffer::kMainBuffer));
            }
        }
    }
}

TEST_F(UnsavedBuffer, ALoadedOrSavedBufferAsksNothing)
{
    for (const bool savedFirst : { false, true }) {
        for (Way way : { Way::Open, Way::RecentFile, Way::LaterRecentFile, Way::Exit, Way::WindowClose }) {
            SCOPED_TRACE(std::string(Name(way)) + (savedFirst ? " after a save" : " after a load"));
            Start();
            if (savedFirst) {
                TypeEdit();
                ASSERT_TRUE(commands->SaveTo(saved, {}));
                EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a);
            }
            Go(way);
            EXPECT_EQ(boxes.Count(), 0u);
            if (Closes(way))
                EXPECT_TRUE(view->IsShutDown());
            else
                EXPECT_EQ(Main(), Image(2));
        }
    }
}

// Every kind of edit marks the title and is asked about before the program ends.
TEST_F(UnsavedBuffer, EveryEditMarksTheTitleAndExitAsks)
{
    struct Edit {
        const char* name;
        std::function<void()> run;
        std::string file = {}; // the title's file when not a.bin
    };
    const Edit edits[] = {
        { "typing", [this] { TypeEdit(); } },
        { "Paste",
            [this] {
                auto* mime = new QMimeData;
                mime->setData(CBufferCommands::kBinaryMime, QByteArray("\x11\x22", 2));
                QGuiApplication::clipboard()->setMimeData(mime);
                commands->ShowBufferTab(1);
                commands->HexView()->SetCursor(4);
                view->setFocus();
                commands->OnEditPaste();
            } },
        { "Cut",
            [this] {
                commands->ShowBufferTab(1);
                commands->HexView()->Select(2, 3);
                view->setFocus();
                commands->OnEditCut();
            } },
        { "Fill buffer with 0xFF", [this] { view->OnFillBufferFF(); } },
        { "Fill Buffer(Hex)",
            [this] {
                commands->SetFillRunner([](CFillBufferDlg& dialog) {
                    dialog.FromEdit()->setText("10");
                    dialog.ToEdit()->setText("1F");
                    dialog.DataEdit()->setText("5A");
                    dialog.accept();
                    return dialog.result() == QDialog::Accepted;
                });
                view->OnFillBufferHex();
            } },
        { "Byte Swap", [this] { view->OnByteSwap(); } },
        { "Combine Files To Buffer",
            [this] {
                g_nCurrentClass = kNoDeviceClass; // the command is for no device selected
                g_CurrentDevice = CDeviceClass();
                view->OnCombineFiles();
            },
            b },
    };
    for (const Edit& edit : edits) {
        SCOPED_TRACE(edit.name);
        Start();
        edit.run();
        EXPECT_NE(Main(), Image(1));
        EXPECT_EQ(Title(), "Zelvo USB Programmer - " + (edit.file.empty() ? a : edit.file) + " *");
        boxes.QueueAnswer(IDCANCEL);
        ASSERT_TRUE(Execute(ID_APP_EXIT));
        EXPECT_EQ(Asked(), 1u);
        EXPECT_FALSE(view->IsShutDown());
    }
}

// A pick in the configuration grid edits the configuration word (buffer 3): the title says so,
// the exit asks, and Yes saves it in the main buffer's file, a PIC's combined HEX image.
TEST_F(UnsavedBuffer, AConfigurationGridPickIsAnEditSavedWithTheMainBuffer)
{
    Start();
    tonrig::test::SetUpOneFieldPic(*view, "GRIDTEST");
    if (HasFatalFailure())
        return;
    const Bytes before = view->Buffers().ConfigWord();
    PickRc();
    if (HasFatalFailure())
        return;
    ASSERT_NE(view->Buffers().ConfigWord(), before);
    EXPECT_TRUE(view->Buffers().IsModified(buffer::kConfigWord));
    EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a + " *");

    const Bytes picked = view->Buffers().ConfigWord();
    const std::string hex = Path("saved.hex");
    saveAsAnswer = hex;
    boxes.QueueAnswer(IDYES);
    ASSERT_TRUE(Execute(ID_APP_EXIT));
    EXPECT_EQ(Asked(), 1u);
    EXPECT_EQ(saveAsRuns, 1);
    EXPECT_TRUE(view->IsShutDown());

    // The saved image loads back with the picked word, and asks nothing.
    ReopenOnGridPic(hex);
    EXPECT_EQ(Asked(), 0u);
    EXPECT_EQ(view->Buffers().ConfigWord(), picked);
    EXPECT_FALSE(view->Buffers().IsModified(buffer::kConfigWord));
    ASSERT_TRUE(Execute(ID_APP_EXIT));
    EXPECT_EQ(Asked(), 0u);
    EXPECT_TRUE(view->IsShutDown());
}

// Only a PIC's combined HEX image holds the configuration word: Yes whose Save As picks another
// format saves what that file holds, says the word was not saved, and goes no further (one
// Save As for the main buffer, edited too or not). Saved as HEX after, the word is in the file.
TEST_F(UnsavedBuffer, AConfigurationWordSavedInAnotherFormatIsNotDone)
{
    for (const bool mainEdited : { false, true }) {
        SCOPED_TRACE(mainEdited ? "the word and the main buffer edited" : "the word edited");
        Start();
        tonrig::test::SetUpOneFieldPic(*view, "GRIDTEST");
        if (HasFatalFailure())
            return;
        if (mainEdited)
            TypeEdit();
        PickRc();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(view->Buffers().IsModified(buffer::kConfigWord));
        const Bytes picked = view->Buffers().ConfigWord();
        // On view when the question comes: the main buffer when it is edited too, else the word.
        Show(mainEdited ? buffer::kMainBuffer : buffer::kConfigWord);
        const Bytes image = Main();

        saveAsAnswer = saved;
        boxes.QueueAnswer(IDYES);
        ASSERT_TRUE(Execute(ID_APP_EXIT));
        EXPECT_EQ(Asked(), 1u);
        EXPECT_EQ(saveAsRuns, 1);
        EXPECT_FALSE(view->IsShutDown());
        EXPECT_EQ(tonrig::test::ReadFileBytes(saved), image);
        EXPECT_EQ(Count(Log(), "The configuration word was not saved: only an Intel HEX file holds it.\n"), 1u)
            << Log();
        EXPECT_TRUE(view->Buffers().IsModified(buffer::kConfigWord));
        EXPECT_EQ(view->Buffers().ConfigWord(), picked);
        if (!mainEdited) {
            EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a + " *");
        }

        const std::string hex = Path("saved.hex");
        saveAsAnswer = hex;
        boxes.QueueAnswer(IDYES);
        ASSERT_TRUE(Execute(ID_APP_EXIT));
        EXPECT_EQ(Asked(), 2u);
        EXPECT_EQ(saveAsRuns, 2);
        EXPECT_TRUE(view->IsShutDown());

        ReopenOnGridPic(hex);
        EXPECT_EQ(view->Buffers().ConfigWord(), picked);
        EXPECT_EQ(Main()[0], mainEdited ? 0xAB : Image(1)[0]);
    }
}

// A LOAD typed in the command line asks as File Open does; a running script's LOAD never asks,
// goes on and says so once; its EXIT APP ends the program without a question.
TEST_F(UnsavedBuffer, ATypedLoadAsksAScriptLoadGoesOnAndSaysSo)
{
    const std::string replaced = CBufferCommands::kEditsReplacedLine;
    {
        SCOPED_TRACE("typed, Cancel");
        Start();
        TypeEdit();
        boxes.QueueAnswer(IDCANCEL);
        view->OnRunScriptText("LOAD " + b);
        EXPECT_EQ(Asked(), 1u);
        EXPECT_EQ(Main(), Edited());
    }
    {
        SCOPED_TRACE("typed, No");
        boxes.Clear();
        boxes.QueueAnswer(IDNO);
        view->OnRunScriptText("LOAD " + b);
        EXPECT_EQ(Asked(), 1u);
        EXPECT_EQ(Main(), Image(2));
        EXPECT_EQ(Count(Log(), replaced), 0u) << Log();
    }
    const auto runScript = [&](const std::string& text) {
        const std::string script = Path("s.zvs");
        WriteAll(script, text);
        view->StartScriptThread(script, {});
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return view->IsShutDown() || (!view->WorkerRunning(WorkerSlot::Script) && !g_bScriptRunning); }));
        QCoreApplication::processEvents();
    };
    for (const bool edited : { true, false }) {
        SCOPED_TRACE(edited ? "a script, edited" : "a script, unedited");
        Start();
        if (edited)
            TypeEdit();
        runScript("LOAD " + b + "\nLOAD " + a + "\nLOG end\n");
        EXPECT_EQ(boxes.Count(), 0u);
        EXPECT_EQ(Main(), Image(1));
        EXPECT_EQ(Count(Log(), replaced), edited ? 1u : 0u) << Log();
        EXPECT_EQ(Count(Log(), "end\n"), 1u) << Log();
    }
    {
        SCOPED_TRACE("a script's EXIT APP");
        Start();
        TypeEdit();
        runScript("EXIT APP\n");
        ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsShutDown(); }));
        EXPECT_EQ(boxes.Count(), 0u);
    }
    {
        SCOPED_TRACE("a typed EXIT APP");
        Start();
        TypeEdit();
        boxes.QueueAnswer(IDCANCEL);
        view->OnRunScriptText("EXIT APP");
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(Asked(), 1u);
        EXPECT_FALSE(view->IsShutDown());
    }
}

// A typed LOAD or a recent file whose file is not there (or is a folder) asks nothing: the load
// fails with its own box, and the edits stay.
TEST_F(UnsavedBuffer, ALoadOfNoReadableFileAsksNothing)
{
    const std::string folder = Path("afolder");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder)));
    for (const std::string& path : { Path("gone.bin"), folder }) {
        for (const char* way : { "typed LOAD", "the recent file", "a later recent file" }) {
            SCOPED_TRACE(path + ", " + way);
            Start();
            TypeEdit();
            const std::string w = way;
            if (w == "typed LOAD") {
                view->OnRunScriptText("LOAD " + path);
            } else {
                app->AddToRecentFileList(path);
                if (w == "the recent file") {
                    ASSERT_TRUE(Execute(ID_FILE_MRU_FILE1));
                } else {
                    app->AddToRecentFileList(Path("other.bin"));
                    ASSERT_TRUE(Execute(ID_FILE_MRU_FILE1 + 1));
                }
            }
            for (int i = 0; i < 3; ++i)
                QCoreApplication::processEvents();
            EXPECT_EQ(Asked(), 0u);
            EXPECT_EQ(saveAsRuns, 0);
            ASSERT_EQ(boxes.Count(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, "Error opening file\n" + path);
            EXPECT_EQ(Main(), Edited());
            EXPECT_TRUE(view->Buffers().IsModified(buffer::kMainBuffer));
        }
    }
}

// Closing the window while a script runs asks first; No lets it run on, Yes stops it and the
// program ends once its thread has.
TEST_F(UnsavedBuffer, ClosingDuringAScriptAsksAndYesStopsItFirst)
{
    for (const int answer : { IDNO, IDYES }) {
        SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
        Start();
        const std::string script = Path("long.zvs");
        WriteAll(script, "WAIT 60\nLOG never\n");
        view->StartScriptThread(script, {});
        ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));
        boxes.QueueAnswer(answer);
        app->MainFrame()->close();
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, "An operation is running. Cancel it and exit?");
        EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
        if (answer == IDNO) {
            for (int i = 0; i < 5; ++i)
                QCoreApplication::processEvents();
            EXPECT_TRUE(g_bScriptRunning);
            EXPECT_FALSE(view->IsShutDown());
            view->OnStopScript();
            ASSERT_TRUE(ProcessEventsUntil([&] { return !view->WorkerRunning(WorkerSlot::Script); }));
            continue;
        }
        EXPECT_FALSE(g_bScriptRunning);
        ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsShutDown(); }));
        EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Script));
        EXPECT_EQ(Count(Log(), "never"), 0u) << Log();
    }
}

// A box the ending operation opens is answered before the close goes on: the program does not
// end under it, and the question about edits comes after it.
TEST_F(UnsavedBuffer, TheCloseAfterACancelWaitsForABoxTheOperationOpened)
{
    Start();
    TypeEdit();
    const std::string script = Path("long.zvs");
    WriteAll(script, "WAIT 60\n");
    view->StartScriptThread(script, {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));

    bool boxShown = false;
    bool shutDownUnderBox = false;
    std::size_t askedUnderBox = 0;
    boxes.QueueAnswer(IDYES); // cancel it and exit
    boxes.QueueAnswer(IDNO); // the edits
    // As the operation's end would, a box opens as the cancel goes through; it stays a while,
    // longer than the close looks for the operation's end.
    QTimer::singleShot(0, [&] {
        QDialog box(app->MainFrame());
        QTimer::singleShot(500, &box, [&] {
            shutDownUnderBox = view->IsShutDown();
            askedUnderBox = Asked();
            box.accept();
        });
        boxShown = true;
        box.exec();
    });
    app->MainFrame()->close();
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsShutDown(); }));
    EXPECT_TRUE(boxShown);
    EXPECT_FALSE(shutDownUnderBox);
    EXPECT_EQ(askedUnderBox, 0u);
    EXPECT_EQ(Asked(), 1u);
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Script));
}

// A script's EXIT APP that lands while the person is asked whether to cancel it ends nothing
// (its close comes during that one) and leaves later closes asking.
TEST_F(UnsavedBuffer, AScriptsExitDuringTheExitQuestionLeavesTheNextCloseAsking)
{
    Start();
    TypeEdit();
    std::vector<std::string> asked;
    platform::SetMessageBoxService([&](const std::string& text, const std::string&, UINT) {
        asked.push_back(text);
        if (text != CTonrigView::kExitQuestion)
            return IDCANCEL;
        // A box runs an event loop: the script goes on to its end meanwhile.
        EXPECT_TRUE(ProcessEventsUntil([&] { return !g_bScriptRunning && !view->WorkerRunning(WorkerSlot::Script); }));
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        return IDNO;
    });
    const std::string script = Path("s.zvs");
    WriteAll(script, "WAIT 1\nEXIT APP\n");
    view->StartScriptThread(script, {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));
    app->MainFrame()->close();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(asked, std::vector<std::string> { CTonrigView::kExitQuestion });
    EXPECT_FALSE(view->IsShutDown());

    for (const bool exitCommand : { true, false }) {
        SCOPED_TRACE(exitCommand ? "File Exit" : "the window's close");
        asked.clear();
        if (exitCommand)
            ASSERT_TRUE(Execute(ID_APP_EXIT));
        else
            app->MainFrame()->close();
        EXPECT_EQ(asked, std::vector<std::string> { CBufferCommands::kEditsQuestion });
        EXPECT_FALSE(view->IsShutDown());
    }
    platform::SetMessageBoxService({});
}

// A device of another class blanks the buffers: a person's choice asks first, a script's goes on
// and says so; a device of the class set up keeps them and asks nothing. The devices are the
// program's own list: M27C512 is of another class than the 27C256 set up, AM27C256 of the same.
class UnsavedBufferDevice : public UnsavedBuffer {
protected:
    void TearDown() override
    {
        UnsavedBuffer::TearDown();
        g_DeviceLibrary.FreeAll();
        g_PreviousDevice = CDeviceClass();
    }

    enum class Choice { SelectCommand, DeviceButton, TypedLine };
    static const char* Name(Choice way)
    {
        switch (way) {
        case Choice::SelectCommand:
            return "the Select Device command";
        case Choice::DeviceButton:
            return "the Device button";
        case Choice::TypedLine:
            return "a typed DEVICE line";
        }
        return "";
    }
    // Chooses the device as a person does (the two commands through the selection dialog), and
    // waits for its setup.
    void Choose(Choice way, const std::string& name)
    {
        bool ran = way == Choice::TypedLine;
        if (!ran) {
            // In the dialog: the search, a click on the device (which makes it current), Select.
            QTimer::singleShot(0, [&] {
                auto* dlg = qobject_cast<CDeviceSelectDlg*>(QApplication::activeModalWidget());
                ASSERT_NE(dlg, nullptr);
                ran = true;
                QTest::keyClicks(static_cast<QLineEdit*>(dlg->GetDlgItem(CDeviceSelectDlg::IDC_SEARCH)), name.c_str());
                auto* devices = static_cast<QListView*>(dlg->GetDlgItem(CDeviceSelectDlg::IDC_DEVICES));
                int row = -1;
                for (int r = 0; r < devices->model()->rowCount(); ++r)
                    if (devices->model()->index(r, 0).data().toString().toStdString() == name)
                        row = r;
                if (row < 0)
                    dlg->reject();
                ASSERT_GE(row, 0);
                const QModelIndex index = devices->model()->index(row, 0);
                devices->scrollTo(index);
                QTest::mouseClick(devices->viewport(), Qt::LeftButton, {}, devices->visualRect(index).center());
                EXPECT_EQ(g_CurrentDevice.m_strName, name); // the click made it current
                QTest::mouseClick(dlg->GetDlgItem(CDeviceSelectDlg::IDC_OK), Qt::LeftButton);
            });
        }
        switch (way) {
        case Choice::SelectCommand:
            ASSERT_TRUE(Execute(ID_SELECT_DEVICE));
            break;
        case Choice::DeviceButton:
            view->OnDeviceButton();
            break;
        case Choice::TypedLine:
            view->OnRunScriptText("DEVICE " + name);
            break;
        }
        EXPECT_TRUE(ran);
        WaitForSetup();
    }
    void WaitForSetup()
    {
        ASSERT_TRUE(ProcessEventsUntil([&] { return !view->DeviceSetupOwner().Setup().Busy() && g_bSetupIdle == 1; }));
        QCoreApplication::processEvents();
    }
    std::size_t DeviceLines() const { return Count(Log(), "Device: "); }
};

TEST_F(UnsavedBufferDevice, AnotherClassAsksOnceAndYesSavesNoDropsCancelKeepsTheDevice)
{
    struct Answer {
        const char* name;
        int answer;
        std::string saveAs; // empty: Save As is cancelled
        bool goesOn;
    };
    const Answer answers[] = {
        { "Yes", IDYES, "saved.bin", true },
        { "Yes, Save As cancelled", IDYES, "", false },
        { "No", IDNO, "", true },
        { "Cancel", IDCANCEL, "", false },
    };
    for (Choice way : { Choice::SelectCommand, Choice::DeviceButton, Choice::TypedLine }) {
        for (const Answer& answer : answers) {
            SCOPED_TRACE(std::string(Name(way)) + ": " + answer.name);
            Start();
            g_PreviousDevice = CDeviceClass();
            const std::string previous = g_CurrentDevice.m_strName;
            TypeEdit();
            EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a + " *");
            QFile::remove(QString::fromStdString(saved));
            saveAsAnswer = answer.saveAs.empty() ? std::string() : Path(answer.saveAs.c_str());
            boxes.QueueAnswer(answer.answer);
            Choose(way, "M27C512");

            ASSERT_EQ(Asked(), 1u);
            const auto question = boxes.Boxes()[0];
            EXPECT_EQ(question.text, "The buffer data has been changed. Save it before it is replaced?");
            EXPECT_EQ(question.caption, "Tonrig");
            EXPECT_EQ(question.type, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
            EXPECT_EQ(saveAsRuns, answer.answer == IDYES ? 1 : 0);
            EXPECT_EQ(tonrig::test::ReadFileBytes(saved), answer.saveAs.empty() ? Bytes {} : Edited());
            EXPECT_EQ(Count(Log(), CBufferCommands::kEditsReplacedLine), 0u) << Log();
            if (answer.goesOn) {
                EXPECT_EQ(g_CurrentDevice.m_strName, "M27C512");
                EXPECT_EQ(DeviceLines(), 1u) << Log();
                EXPECT_EQ(Main(), Bytes(0x10000, 0xFF));
                EXPECT_FALSE(view->Buffers().IsModified(buffer::kMainBuffer));
                EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a);
                // Save writes the blank buffer over no file unasked: it asks for a name.
                saveAsAnswer.clear();
                const int runs = saveAsRuns;
                ASSERT_TRUE(Execute(ID_FILE_SAVE));
                EXPECT_EQ(saveAsRuns, runs + 1);
                EXPECT_EQ(tonrig::test::ReadFileBytes(a), Image(1));
                EXPECT_EQ(tonrig::test::ReadFileBytes(saved), answer.saveAs.empty() ? Bytes {} : Edited());
            } else {
                EXPECT_EQ(g_nCurrentClass, k27C256);
                EXPECT_EQ(g_CurrentDevice.m_strName, previous);
                EXPECT_EQ(g_PreviousDevice.m_strName, "");
                EXPECT_EQ(DeviceLines(), 0u) << Log();
                EXPECT_EQ(Main(), Edited());
                EXPECT_TRUE(view->Buffers().IsModified(buffer::kMainBuffer));
                EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a + " *");
            }
        }
    }
}

// Only edited buffers that will be blanked ask: a device of the class set up keeps the buffers,
// and an unedited buffer has nothing to lose.
TEST_F(UnsavedBufferDevice, OnlyEditsTheChoiceBlanksAsk)
{
    struct Case {
        const char* device;
        bool edited;
        bool blanked;
    };
    const Case cases[] = {
        { "27C256", true, false },
        { "AM27C256", true, false },
        { "M27C512", false, true },
        { "M27C512", true, true },
    };
    for (Choice way : { Choice::SelectCommand, Choice::TypedLine }) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(Name(way)) + ": " + c.device + (c.edited ? ", edited" : ", unedited"));
            Start();
            if (c.edited)
                TypeEdit();
            boxes.QueueAnswer(IDNO);
            Choose(way, c.device);
            EXPECT_EQ(Asked(), c.edited && c.blanked ? 1u : 0u);
            EXPECT_EQ(g_CurrentDevice.m_strName, c.device);
            EXPECT_EQ(DeviceLines(), 1u) << Log();
            EXPECT_EQ(Main(), c.blanked ? Bytes(0x10000, 0xFF) : c.edited ? Edited() : Image(1));
            const bool kept = c.edited && !c.blanked;
            EXPECT_EQ(view->Buffers().IsModified(buffer::kMainBuffer), kept);
            EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a + (kept ? " *" : ""));
        }
    }
}

// Yes saves the edits as the device they were made for: from a PIC, its combined HEX image with
// the configuration word, though the device chosen is an EPROM.
TEST_F(UnsavedBufferDevice, YesSavesAsTheDeviceTheEditsWereMadeFor)
{
    Start();
    Choose(Choice::TypedLine, "PIC16F628A");
    ASSERT_EQ(g_nCurrentClass, kPic16F628A);
    ASSERT_EQ(Asked(), 0u);
    TypeEdit();
    const std::string hex = Path("saved.hex");
    saveAsAnswer = hex;
    boxes.QueueAnswer(IDYES);
    Choose(Choice::TypedLine, "M27C512");
    EXPECT_EQ(Asked(), 1u);
    EXPECT_EQ(saveAsRuns, 1);
    EXPECT_EQ(g_CurrentDevice.m_strName, "M27C512");
    const Bytes text = tonrig::test::ReadFileBytes(hex);
    const std::string image(text.begin(), text.end());
    EXPECT_NE(image.find(":10000000FFAB"), std::string::npos) << image; // the edit
    EXPECT_NE(image.find(":02400E00"), std::string::npos) << image; // the configuration word
}

// From a PIC to a device of another kind the configuration word goes too: an edited word is
// asked about at the choice (Yes saves it in the PIC's HEX image), and not again at the exit.
TEST_F(UnsavedBufferDevice, AnEditedConfigurationWordIsAskedAboutLeavingThePic)
{
    struct Answer {
        const char* name;
        int answer;
        bool goesOn;
    };
    const Answer answers[] = { { "Yes", IDYES, true }, { "No", IDNO, true }, { "Cancel", IDCANCEL, false } };
    for (const Answer& answer : answers) {
        SCOPED_TRACE(answer.name);
        Start();
        Choose(Choice::TypedLine, "PIC16F628A");
        ASSERT_EQ(g_nCurrentClass, kPic16F628A);
        Show(buffer::kConfigWord);
        commands->MarkEdited(buffer::kConfigWord); // as a pick in the grid does
        Show(buffer::kMainBuffer);
        const std::string hex = Path("saved.hex");
        QFile::remove(QString::fromStdString(hex));
        saveAsAnswer = hex;
        boxes.QueueAnswer(answer.answer);
        Choose(Choice::TypedLine, "M27C512");
        EXPECT_EQ(Asked(), 1u);
        EXPECT_EQ(saveAsRuns, answer.answer == IDYES ? 1 : 0);
        const Bytes text = tonrig::test::ReadFileBytes(hex);
        EXPECT_EQ(std::string(text.begin(), text.end()).find(":02400E00") != std::string::npos, answer.answer == IDYES);
        EXPECT_EQ(g_CurrentDevice.m_strName, answer.goesOn ? "M27C512" : "PIC16F628A");
        EXPECT_EQ(view->Buffers().IsModified(buffer::kConfigWord), !answer.goesOn);
        if (!answer.goesOn)
            continue;
        boxes.Clear();
        ASSERT_TRUE(Execute(ID_APP_EXIT));
        EXPECT_EQ(boxes.Count(), 0u);
        EXPECT_TRUE(view->IsShutDown());
    }
}

// A running script's DEVICE never asks: it goes on, and the log says once that edits went.
TEST_F(UnsavedBufferDevice, AScriptDeviceGoesOnAndSaysSo)
{
    for (const bool edited : { true, false }) {
        SCOPED_TRACE(edited ? "edited" : "unedited");
        Start();
        if (edited)
            TypeEdit();
        const std::string script = Path("s.zvs");
        WriteAll(script, "DEVICE M27C512\nDEVICE 27C256\nLOG end\n");
        view->StartScriptThread(script, {});
        ASSERT_TRUE(ProcessEventsUntil([&] { return !view->WorkerRunning(WorkerSlot::Script) && !g_bScriptRunning; }));
        WaitForSetup();
        EXPECT_EQ(Asked(), 0u);
        EXPECT_EQ(DeviceLines(), 2u) << Log();
        EXPECT_EQ(Count(Log(), CBufferCommands::kEditsReplacedLine), edited ? 1u : 0u) << Log();
        EXPECT_EQ(Count(Log(), "end\n"), 1u) << Log();
        EXPECT_EQ(Main(), Bytes(kSize, 0xFF));
        EXPECT_FALSE(view->Buffers().IsModified(buffer::kMainBuffer));
        EXPECT_EQ(Title(), "Zelvo USB Programmer - " + a);
    }
}

class UnsavedScript : public UnsavedChanges {
protected:
    void OpenScript(const std::string& text)
    {
        script = Path("edit.zvs");
        WriteAll(script, text);
        ASSERT_TRUE(view->ScriptEditor().OpenFile(script));
    }
    CRichEditCtrlExtend& Pane() const
    {
        return *static_cast<CRichEditCtrlExtend*>(view->GetDlgItem(CTonrigView::IDC_SCRIPT_PANE));
    }
    std::string TabText() const
    {
        const QTabBar* tabs = view->BufferCommands().Tabs();
        return tabs->tabText(tabs->count() - 1).toStdString();
    }
    std::string FileText() const
    {
        const Bytes bytes = tonrig::test::ReadFileBytes(script);
        return { bytes.begin(), bytes.end() };
    }
    std::string script;
};

TEST_F(UnsavedScript, AnEditedTabIsMarkedAndAsksOnCloseScriptAndOnExit)
{
    const std::string question = "The script \"edit.zvs\" has been changed. Save it before it is closed?";
    for (const bool exitProgram : { false, true }) {
        for (const int answer : { IDCANCEL, IDNO, IDYES }) {
            SCOPED_TRACE(std::string(exitProgram ? "Exit" : "Close Script") + " "
                + (answer == IDYES       ? "Yes"
                        : answer == IDNO ? "No"
                                         : "Cancel"));
            Start();
            OpenScript("LOG one\n");
            EXPECT_EQ(TabText(), "ZelvoScript - edit.zvs");
            Pane().moveCursor(QTextCursor::End);
            Pane().insertPlainText("LOG two\n");
            EXPECT_EQ(TabText(), "ZelvoScript - edit.zvs *");
            boxes.QueueAnswer(answer);
            ASSERT_TRUE(Execute(exitProgram ? ID_APP_EXIT : kCloseScript));
            const auto shown = boxes.Boxes();
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].text, question);
            EXPECT_EQ(shown[0].caption, "Tonrig");
            EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
            EXPECT_EQ(FileText(), answer == IDYES ? "LOG one\nLOG two\n" : "LOG one\n");
            if (answer == IDCANCEL) {
                EXPECT_TRUE(view->ScriptEditor().IsOpen());
                EXPECT_FALSE(view->IsShutDown());
                EXPECT_EQ(TabText(), "ZelvoScript - edit.zvs *");
            } else if (exitProgram) {
                EXPECT_TRUE(view->IsShutDown());
            } else {
                EXPECT_FALSE(view->ScriptEditor().IsOpen());
            }
        }
    }
}

TEST_F(UnsavedScript, AnUneditedTabAsksWhetherToCloseAndNothingOnExit)
{
    Start();
    OpenScript("LOG one\n");
    boxes.QueueAnswer(IDNO);
    ASSERT_TRUE(Execute(kCloseScript));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Close current ZelvoScrip?");
    EXPECT_EQ(boxes.Boxes()[0].type & MB_TYPEMASK, MB_YESNO);
    EXPECT_TRUE(view->ScriptEditor().IsOpen());
    boxes.QueueAnswer(IDYES);
    ASSERT_TRUE(Execute(kCloseScript));
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_FALSE(view->ScriptEditor().IsOpen());

    OpenScript("LOG one\n");
    ASSERT_TRUE(Execute(ID_APP_EXIT));
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_TRUE(view->IsShutDown());
}

TEST_F(UnsavedScript, RunScriptSavesAnEditedTabAndSaysSo)
{
    Start();
    OpenScript("LOG one\n");
    ASSERT_TRUE(Execute(kRunScript));
    ASSERT_TRUE(ProcessEventsUntil([&] { return Log().find("one\n") != std::string::npos && !g_bScriptRunning; }));
    EXPECT_EQ(Count(Log(), "Script saved: "), 0u) << Log();

    Pane().moveCursor(QTextCursor::End);
    Pane().insertPlainText("LOG two\n");
    ASSERT_TRUE(ProcessEventsUntil([&] { return !view->WorkerRunning(WorkerSlot::Script); }));
    ASSERT_TRUE(Execute(kRunScript));
    EXPECT_EQ(FileText(), "LOG one\nLOG two\n");
    EXPECT_EQ(Count(Log(), "Script saved: " + script + "\n"), 1u) << Log();
    EXPECT_EQ(TabText(), "ZelvoScript - edit.zvs");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Log().find("two\n") != std::string::npos && !g_bScriptRunning; }));
}

} // namespace
