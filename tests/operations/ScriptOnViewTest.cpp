// The script engine on the program's own view against the virtual programmer: scripts run on
// their thread and line by line on the GUI thread, typed lines, the editor tab, failures that end
// a script with the line that failed, and the shut-down while a script waits.

#include "operations/ui/TonrigView.h"

#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/PumpController.h"
#include "operations/ui/ScriptEditor.h"
#include "operations/ui/View2Header.h"
#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "platform/TextFormat.h"
#include "platform/ui/QtServices.h"
#include "shell/Language.h"

#include "ScriptViewFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTabBar>
#include <QTemporaryDir>

#include <fstream>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::ProcessEventsUntil;

namespace {

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

class ScriptOnView : public tonrig::test::ScriptViewFixture {
protected:
    void SetUp() override
    {
        ViewOnBoxFixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(dir.isValid());
        g_pMainView = view.get();
        g_bScriptCommandDone = false;
        g_bScriptMessageOpen = false;
    }
    void TearDown() override
    {
        g_pMainView = nullptr;
        platform::SetMessageBoxService({});
        ViewOnBoxFixture::TearDown();
        g_bScriptFailed = false;
    }

    void RunScript(const std::string& path)
    {
        view->StartScriptThread(path, {});
        ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }, 30s)) << Log();
        Flush();
    }
    void Type(const std::string& text)
    {
        auto* line = static_cast<QWidget*>(view->GetDlgItem(CTonrigView::IDC_COMMAND_LINE));
        static_cast<CRichEditCtrlExtend*>(line)->setPlainText(QString::fromStdString(text));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QCoreApplication::sendEvent(line, &press);
    }
    CRichEditCtrlExtend& Pane(int id) const { return *static_cast<CRichEditCtrlExtend*>(view->GetDlgItem(id)); }
};

TEST_F(ScriptOnView, AScriptOfEveryKindRunsLineByLine)
{
    Select(200, 16);
    // Intel HEX: 16 bytes at 0.
    Write("DATA.HEX", ":10000000000102030405060708090A0B0C0D0E0F78\r\n:00000001FF\r\n");
    const std::string script = Write("all.zvs",
        "LOG first\r\n"
        "abc\r\n"
        "; a comment\r\n"
        "/ another\r\n"
        "\r\n"
        "CLS\r\n"
        "FILL AA\r\n"
        "FILL 00 10 1F\r\n"
        "BYTESWAP\r\n"
        "SAVE out.bin\r\n"
        "LOAD DATA.HEX\r\n"
        "OFFSET FILE 10\r\n"
        "OFFSET DEVICE 20\r\n"
        "SPEED -1\r\n"
        "CHECKBOX READ\r\n"
        "UNCHECKBOX ERASE\r\n"
        "CHECKBOX temp protect\r\n"
        "COLOR LOG BKG 102030\r\n"
        "COLOR COMMAND FONT 405060\r\n"
        "HELP\r\n"
        "LOG last\r\n");
    header->SetOption(HeaderOption::Read, false);
    header->SetOption(HeaderOption::Erase, true);
    RunScript(script);

    const std::string log = Log();
    EXPECT_EQ(log.find("Script stopped"), std::string::npos) << log;
    EXPECT_EQ(log.find("LOG first"), std::string::npos) << "LOG is not echoed";
    EXPECT_EQ(log.find("abc"), std::string::npos);
    EXPECT_EQ(log.find("comment"), std::string::npos);
    const std::vector<std::string> order { "first\n", "FILL AA\n", "FILL 00 10 1F\n", "BYTESWAP\n", "SAVE out.bin\n",
        "LOAD DATA.HEX\n", "OFFSET FILE 10\n", "OFFSET DEVICE 20\n", "SPEED -1\n", "CHECKBOX READ\n",
        "UNCHECKBOX ERASE\n", "CHECKBOX temp protect\nUnknown option.\n", "COLOR LOG BKG 102030\n",
        "COLOR COMMAND FONT 405060\n", "HELP\n=============================\n", "WAIT <seconds>  (wait seconds)\n",
        "================\nlast\n" };
    std::size_t at = 0;
    for (const std::string& part : order) {
        const std::size_t found = log.find(part, at);
        ASSERT_NE(found, std::string::npos) << part << "\n" << log;
        at = found + part.size();
    }

    // FILL AA, FILL 00 on byte 15 alone, the pairs swapped: saved; then the HEX file read as Intel HEX.
    std::vector<std::uint8_t> saved(16, 0xAA);
    saved[14] = 0x00;
    EXPECT_EQ(ReadBytes(Path("out.bin")), saved);
    std::vector<std::uint8_t> hex(16);
    for (int i = 0; i < 16; ++i)
        hex[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(view->m_CodeBuffer, hex);

    EXPECT_EQ(header->FileOffsetText(), "10");
    EXPECT_EQ(header->DeviceOffsetText(), "20");
    EXPECT_EQ(header->SpeedLevel(), 2);
    EXPECT_TRUE(header->Snapshot().Option(HeaderOption::Read));
    EXPECT_FALSE(header->Snapshot().Option(HeaderOption::Erase));
    const HeaderModel stored; // reads the stored options
    EXPECT_TRUE(stored.Option(HeaderOption::Read));
    EXPECT_FALSE(stored.Option(HeaderOption::Erase));
    EXPECT_EQ(Pane(CTonrigView::IDC_MESSAGE_LOG).palette().color(QPalette::Base), QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(Pane(CTonrigView::IDC_COMMAND_LINE).palette().color(QPalette::Text), QColor(0x40, 0x50, 0x60));
    EXPECT_EQ(boxes.Count(), 0u) << ::testing::PrintToString(BoxTexts());
}

TEST_F(ScriptOnView, TypedFillClampsToTheBufferAndTypedClsClearsTheLog)
{
    Select(200, 16);
    view->ExecuteScriptLine("FILL AA", CTonrigView::ScriptSource::Typed);
    EXPECT_EQ(view->m_CodeBuffer, std::vector<std::uint8_t>(16, 0xAA));
    // From 0x10 lies beyond the end and becomes 0x0F, and so does to.
    view->ExecuteScriptLine("FILL 00 10 1F", CTonrigView::ScriptSource::Typed);
    std::vector<std::uint8_t> expected(16, 0xAA);
    expected[15] = 0x00;
    EXPECT_EQ(view->m_CodeBuffer, expected);
    // A one-character text does nothing; "?" is the help.
    view->ExecuteScriptLine("x", CTonrigView::ScriptSource::Typed);
    EXPECT_EQ(Log().find("x\n"), std::string::npos);
    view->ExecuteScriptLine("?", CTonrigView::ScriptSource::Typed);
    EXPECT_NE(Log().find("ZelvoScript Command Example:"), std::string::npos);
    view->ExecuteScriptLine("CLS", CTonrigView::ScriptSource::Typed);
    EXPECT_EQ(Log(), "");
    view->ExecuteScriptLine("FROB", CTonrigView::ScriptSource::Typed);
    EXPECT_EQ(Log(), "FROB\nUnknown command.\n");
}

TEST_F(ScriptOnView, AFailingLineEndsTheScriptNamingItsLine)
{
    Select(200, 16);
    Write("afile", "x");
    struct Case {
        const char* name;
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        { "a missing file", "LOAD missing.bin", "" },
        { "a folder that cannot hold the file", "SAVE afile/out.bin", "" },
        { "an unknown command", "FROB 1", "Unknown command." },
        { "an over-long line", "LOG " + std::string(1492, 'x') + "   CLS", "Line longer than 1024 characters." },
        { "extra digits", "FILL 00 1000000", "Bad value: 1000000" },
        { "a missing label", "GOTO NOWHERE", "Label not found: NOWHERE" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view->MessageLog().clear();
        const std::string script
            = Write("fail.zvs", "; the failing line is line 3\r\nLOG before\r\n" + c.line + "\r\nLOG after\r\n");
        RunScript(script);
        const std::string log = Log();
        EXPECT_EQ(Count(log, "Script stopped at line 3."), 1u) << log;
        EXPECT_EQ(Count(log, "Script stopped"), 1u) << log;
        EXPECT_NE(log.find("before\n"), std::string::npos) << "the log is kept";
        EXPECT_EQ(log.find("after"), std::string::npos) << log;
        if (!c.message.empty()) {
            EXPECT_NE(log.find(c.message), std::string::npos) << log;
        }
        EXPECT_LT(log.find("before\n"), log.find("Script stopped")) << log;
    }
}

TEST_F(ScriptOnView, StopEndsAScriptAsAskedAndStopScriptNamesItsLine)
{
    RunScript(Write("stop.zvs", "LOG one\nSTOP\nLOG two\n"));
    EXPECT_NE(Log().find("one\nSTOP\n"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("two"), std::string::npos);
    EXPECT_EQ(Log().find("Script stopped"), std::string::npos) << "the script's own end\n" << Log();

    // The user's stop while the script waits on line 2: Stop Script (the menu, Esc) and a typed STOP.
    const std::pair<const char*, std::function<void()>> stops[] = {
        { "Stop Script", [&] { view->OnStopScript(); } },
        { "a typed STOP", [&] { view->ExecuteScriptLine("STOP", CTonrigView::ScriptSource::Typed); } },
    };
    for (const auto& [name, stop] : stops) {
        SCOPED_TRACE(name);
        view->MessageLog().clear();
        view->StartScriptThread(Write("wait.zvs", "LOG one\nWAIT 60\nLOG two\n"), {});
        ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));
        // A posted task still runs while the script waits, and the stop ends the wait at once.
        bool ran = false;
        platform::post([&] { ran = true; });
        ASSERT_TRUE(ProcessEventsUntil([&] { return ran; }));
        QElapsedTimer timer;
        timer.start();
        stop();
        ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }, 30s));
        Flush();
        EXPECT_LT(timer.elapsed(), 10000) << "the stop does not wait for the WAIT of 60 s";
        EXPECT_FALSE(view->IsTimerArmed(CTonrigView::kTimerScriptWait));
        EXPECT_EQ(Log().find("two"), std::string::npos);
        EXPECT_EQ(Count(Log(), "Script stopped"), 1u) << Log();
        EXPECT_EQ(LineColour("Script stopped at line 2."), CTonrigView::kLogError) << Log();
    }
}

// A stop that comes before the script's thread has read its file holds: nothing of it runs.
// The file is a FIFO, so the thread waits in its open until the test writes the script.
TEST_F(ScriptOnView, AStopBeforeTheThreadGetsGoingHolds)
{
    const std::string fifo = Path("slow.zvs");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    view->StartScriptThread(fifo, {});
    view->OnStopScript();
    // The reader is there (or soon is): the open for writing succeeds then.
    int fd = -1;
    ASSERT_TRUE(ProcessEventsUntil([&] { return (fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }, 5s));
    const std::string text = "LOG never\nLOG nor this\n";
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }, 5s)) << Log();
    Flush();
    EXPECT_EQ(Log().find("never"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("nor this"), std::string::npos) << Log();
    EXPECT_NE(Log().find("Script stopped at line 1.\n"), std::string::npos) << Log();
}

TEST_F(ScriptOnView, MessageShowsOneBoxAndTheNextLineWaitsForIt)
{
    int shown = 0;
    bool nextRanEarly = false;
    platform::SetMessageBoxService([&](const std::string& text, const std::string& caption, UINT type) {
        ++shown;
        EXPECT_EQ(text, "Insert the chip");
        EXPECT_EQ(caption, platform::kAppTitle);
        EXPECT_EQ(type & MB_TYPEMASK, MB_OK);
        EXPECT_TRUE(g_bScriptMessageOpen);
        // The box stays open a while; the script's next line must not run meanwhile.
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 300) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            nextRanEarly = nextRanEarly || Log().find("next") != std::string::npos;
        }
        return IDOK;
    });
    RunScript(Write("msg.zvs", "MESSAGE Insert the chip\nLOG next\n"));
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(nextRanEarly);
    EXPECT_NE(Log().find("MESSAGE Insert the chip\nnext\n"), std::string::npos) << Log();
    EXPECT_FALSE(g_bScriptMessageOpen);
}

TEST_F(ScriptOnView, GotoSkipsToItsLabelAndScriptRunsAnotherFile)
{
    RunScript(Write("goto.zvs", "LOG one\nGOTO END\nLOG skipped\n  label end \nLOG two\n"));
    EXPECT_EQ(Count(Log(), "one\n"), 1u) << Log();
    EXPECT_EQ(Log().find("skipped"), std::string::npos) << Log();
    EXPECT_NE(Log().find("GOTO END\n"), std::string::npos);
    EXPECT_NE(Log().find("GOTO END\ntwo\n"), std::string::npos) << "the label line is found, not run\n" << Log();

    view->MessageLog().clear();
    Write("b.zvs", "LOG b1\n");
    RunScript(Write("a.zvs", "LOG a1\nSCRIPT b.zvs\nLOG a2\n"));
    EXPECT_NE(Log().find("a1\nSCRIPT b.zvs\nb1\n"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("a2"), std::string::npos);
    EXPECT_EQ(Log().find("Script stopped"), std::string::npos);
}

TEST_F(ScriptOnView, AScriptThatCannotBeOpenedShowsItsBoxAndLine)
{
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("afolder"))));
    const std::string missing = Path("none.zvs");
    const std::string folder = Path("afolder");
    const struct {
        const char* name;
        std::function<void()> run;
        std::string path;
    } cases[] = {
        { "a missing file", [&] { RunScript(missing); }, missing },
        { "a folder", [&] { RunScript(folder); }, folder },
        { "SCRIPT of a folder", [&] { RunScript(Write("a.zvs", "LOG a1\nSCRIPT afolder\nLOG a2\n")); }, folder },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view->MessageLog().clear();
        boxes.Clear();
        c.run();
        ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }, 5s));
        Flush();
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, "file open error: " + c.path);
        EXPECT_EQ(LineColour("file open error: " + c.path), CTonrigView::kLogError) << Log();
        EXPECT_EQ(Count(Log(), "file open error"), 1u) << Log();
        EXPECT_EQ(Log().find("a2"), std::string::npos);
        EXPECT_EQ(Log().find("Script stopped"), std::string::npos) << Log();
    }
}

// LOAD of a folder fails as that of a missing file: its box and the log name the path.
TEST_F(ScriptOnView, ALoadThatCannotOpenItsFileNamesThePath)
{
    Select(200, 16);
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Path("afolder"))));
    for (const char* name : { "afolder", "missing.bin" }) {
        SCOPED_TRACE(name);
        view->MessageLog().clear();
        boxes.Clear();
        const std::vector<std::uint8_t> before = view->m_CodeBuffer;
        RunScript(Write("load.zvs", std::string("LOAD ") + name + "\nLOG after\n"));
        const std::string path = Path(name);
        ASSERT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(boxes.Boxes()[0].text, "Error opening file\n" + path);
        EXPECT_EQ(boxes.Boxes()[0].caption, platform::kAppTitle);
        EXPECT_EQ(LineColour("file open error: " + path), CTonrigView::kLogError) << Log();
        EXPECT_EQ(LineColour("Script stopped at line 1."), CTonrigView::kLogError) << Log();
        EXPECT_EQ(Log().find("after"), std::string::npos) << Log();
        EXPECT_EQ(view->m_CodeBuffer, before);
    }
}

TEST_F(ScriptOnView, ExitAppClosesTheWindowWithACleanJoin)
{
    // The frame's close shuts the view down; here the view is the window.
    struct CloseToShutdown : QObject {
        CTonrigView* view;
        explicit CloseToShutdown(CTonrigView* v)
            : view(v)
        {
        }
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Close)
                view->Shutdown();
            return false;
        }
    } filter(view.get());
    view->installEventFilter(&filter);
    view->show();
    view->StartScriptThread(Write("exit.zvs", "LOG bye\nEXIT APP\nLOG after\n"), {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsShutDown(); }, 10s)) << Log();
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Script));
    EXPECT_NE(Log().find("bye\nEXIT APP\n"), std::string::npos);
    EXPECT_EQ(Log().find("after"), std::string::npos);
    view->removeEventFilter(&filter);
}

TEST_F(ScriptOnView, EnterHandsTheCommandLineOverInStateZero)
{
    g_nOperationState = kStateDisconnected;
    Type("LOG typed in state 0");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Log().find("typed in state 0\n") != std::string::npos; })) << Log();
    EXPECT_TRUE(Pane(CTonrigView::IDC_COMMAND_LINE).toPlainText().isEmpty());
    // Too long: nothing runs.
    Type("LOG " + std::string(1100, 'y'));
    ASSERT_TRUE(ProcessEventsUntil([&] { return Log().find("Line longer than 1024") != std::string::npos; }));
    EXPECT_EQ(Log().find("yyyy"), std::string::npos);
}

TEST_F(ScriptOnView, ATypedLineDuringAWaitEndsNothingEarly)
{
    view->StartScriptThread(Write("w.zvs", "LOG s1\nWAIT 0.5\nLOG s2\n"), {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));
    Type("LOG typed");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Log().find("typed\n") != std::string::npos; }));
    EXPECT_EQ(Log().find("s2"), std::string::npos) << "the typed line ended the wait";
    ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }, 10s));
    EXPECT_EQ(Count(Log(), "s1\n"), 1u);
    EXPECT_EQ(Count(Log(), "s2\n"), 1u);
    EXPECT_EQ(Count(Log(), "typed\n"), 1u);
}

TEST_F(ScriptOnView, ALineTypedDuringAReadWaitsForItsEnd)
{
    CheckOnly();
    Select(200, 0x8000);
    Insert(sim::ChipSpec::Make(sim::ChipCategory::Flash, 0x8000));
    view->OnDeviceRead();
    ASSERT_TRUE(view->ScriptBusy());
    Type("LOG typed");
    ASSERT_TRUE(ProcessEventsUntil([&] { return Log().find("typed\n") != std::string::npos; }, 30s)) << Log();
    const std::string done = g_Language.GetText(57);
    ASSERT_NE(Log().find(done), std::string::npos) << Log();
    EXPECT_LT(Log().find(done), Log().find("typed\n"));
}

TEST_F(ScriptOnView, TheEditorSavesAndRunsAndAsksBeforeDroppingEdits)
{
    CScriptEditor& editor = view->ScriptEditor();
    const std::string path = Path("edited.zvs");
    editor.SetSaveChooser([&](const std::string& caption, const std::string&) {
        EXPECT_EQ(caption, "Save Script As");
        return path;
    });
    view->OnNewScript();
    auto* tabs = static_cast<QTabBar*>(view->GetDlgItem(CTonrigView::IDC_TAB));
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(2).toStdString(), "ZelvoScript - untitled");
    EXPECT_TRUE(Pane(CTonrigView::IDC_SCRIPT_PANE).isVisibleTo(view.get()));
    Pane(CTonrigView::IDC_SCRIPT_PANE).setPlainText("LOG from the editor\n");
    view->OnRunScript();
    ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded() && Log().find("from the editor") != std::string::npos; }))
        << Log();
    EXPECT_EQ(ReadBytes(path),
        std::vector<std::uint8_t>(
            { 'L', 'O', 'G', ' ', 'f', 'r', 'o', 'm', ' ', 't', 'h', 'e', ' ', 'e', 'd', 'i', 't', 'o', 'r', '\n' }));
    EXPECT_EQ(tabs->tabText(2).toStdString(), "ZelvoScript - edited.zvs");
    EXPECT_EQ(tabs->currentIndex(), 0) << "a run shows the log";
    EXPECT_TRUE(Pane(CTonrigView::IDC_MESSAGE_LOG).isVisibleTo(view.get()));
    tabs->setCurrentIndex(2);

    // Edited again: the tab says so, and Close asks whether to save; Cancel keeps the script,
    // No drops the edit.
    Pane(CTonrigView::IDC_SCRIPT_PANE).insertPlainText("LOG changed\n");
    EXPECT_EQ(tabs->tabText(2).toStdString(), "ZelvoScript - edited.zvs *");
    boxes.QueueAnswer(IDCANCEL);
    view->OnCloseScript();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "The script \"edited.zvs\" has been changed. Save it before it is closed?");
    EXPECT_EQ(boxes.Boxes()[0].type & MB_TYPEMASK, MB_YESNOCANCEL);
    EXPECT_TRUE(editor.IsOpen());
    boxes.QueueAnswer(IDNO);
    view->OnCloseScript();
    EXPECT_FALSE(editor.IsOpen());
    EXPECT_EQ(ReadBytes(path).size(), std::string("LOG from the editor\n").size());
    EXPECT_EQ(tabs->count(), 2);
    EXPECT_FALSE(Pane(CTonrigView::IDC_SCRIPT_PANE).isVisibleTo(view.get()));
}

TEST_F(ScriptOnView, RunScriptDuringAScriptIsRefused)
{
    view->StartScriptThread(Write("long.zvs", "WAIT 60\n"), {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));
    view->OnRunScript();
    EXPECT_NE(Log().find("A script is already running."), std::string::npos);
    view->OnStopScript();
    ASSERT_TRUE(ProcessEventsUntil([&] { return ScriptEnded(); }));
}

// The shut-down joins the script thread wherever it waits.
TEST_F(ScriptOnView, ShutDownDuringAWaitAMessageAndALabelSearch)
{
    view->StartScriptThread(Write("w.zvs", "WAIT 60\n"), {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return view->IsTimerArmed(CTonrigView::kTimerScriptWait); }));
    view->Shutdown();
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Script));
    view.reset();

    view = std::make_unique<CTonrigView>();
    platform::ResetShutdownForTest();
    bool shutDownInBox = false;
    platform::SetMessageBoxService([&](const std::string&, const std::string&, UINT) {
        view->Shutdown();
        shutDownInBox = true;
        return IDOK;
    });
    view->StartScriptThread(Write("m.zvs", "MESSAGE hold\nLOG after\n"), {});
    ASSERT_TRUE(ProcessEventsUntil([&] { return shutDownInBox; }));
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Script));
    view.reset();
    platform::SetMessageBoxService({});

    view = std::make_unique<CTonrigView>();
    platform::ResetShutdownForTest();
    std::string big = "GOTO FAR\n";
    for (int i = 0; i < 200000; ++i)
        big += "LOG filler line\n";
    view->StartScriptThread(Write("g.zvs", big), {});
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return view->IsTimerArmed(CTonrigView::kTimerScriptGoto) || view->WorkerRunning(WorkerSlot::Script); }));
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return !view->m_strScriptLabel.empty() && view->WorkerRunning(WorkerSlot::Script); }));
    view.reset();
}

} // namespace
