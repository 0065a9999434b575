// The JTAG programming dialog on the virtual programmer, offscreen: class 310 set up with the
// socket chain holding a model CPLD, boxes answered, the CPLD read back from the box.

#include "operations/ui/JtagProgrammerDlg.h"

#include "ViewOnBoxFixture.h"
#include "app/VirtualSocket.h"
#include "controls/ui/RichEditCtrlExtend.h"
#include "jtag/builder/CpldProgram.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ViewSetup.h"
#include "platform/Folders.h"
#include "shell/RegistryKey.h"
#include "sim/JtagHandler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>

#include <cstdlib>
#include <fstream>
#include <thread>
#include <utility>

using namespace std::chrono_literals;
using tonrig::test::Count;
using tonrig::test::ProcessEventsUntil;

namespace {

class JtagDialogOnBox : public tonrig::test::ViewOnBoxFixture {
protected:
    void SetUpClass310()
    {
        Select(310, 0x1000);
        {
            std::lock_guard lock(box->Mutex());
            FillJtagChain(box->Jtag().SocketChain(), 310);
        }
        view->StartDeviceSetup(310, 1, 1, 1);
        ASSERT_TRUE(
            ProcessEventsUntil([&] { return !view->DeviceSetupOwner().Setup().Busy() && !g_LinkLease.IsHeld(); }, 60s))
            << Log();
    }
    std::string WriteProgram(bytecode::CpldProgramPlan plan, bool marker = true, const char* name = "dialog.jbc")
    {
        plan.idcode = sim::kSocketCpldIdcode;
        bytecode::BuildResult built = bytecode::BuildCpldProgram(plan);
        EXPECT_TRUE(built.ok()) << built.error;
        if (!marker) {
            // The marker note's value changed: a valid image made for another player.
            const std::string key = "TONRIG_BYTECODE";
            auto at = std::search(built.image.begin(), built.image.end(), key.begin(), key.end());
            EXPECT_NE(at, built.image.end());
            *at = 'X';
        }
        return WriteImage(built.image, name);
    }
    // In the run's own data folder: test programs may run side by side.
    static std::string WriteImage(const std::vector<std::uint8_t>& image, const char* name)
    {
        QDir().mkpath(QString::fromStdString(GetAppDataFolder()));
        const std::string path = GetAppDataFolder() + "/" + name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return path;
    }
    // A byte-code file whose one action, CHECK, runs one required procedure that does nothing.
    static std::string WriteSingleActionImage()
    {
        bytecode::ImageBuilder b(bytecode::Container::Stapl);
        const bytecode::Label entry = b.NewLabel();
        b.Bind(entry);
        b.Emit("RETURN");
        b.AddProcedure("ONLY_STEP", entry);
        b.AddAction("CHECK", std::nullopt, { { "ONLY_STEP" } });
        return WriteImage(b.Build().image, "single.jbc");
    }
    sim::ModelCpld& SocketCpld()
    {
        std::lock_guard lock(box->Mutex());
        return dynamic_cast<sim::ModelCpld&>(box->Jtag().SocketChain().Device(0));
    }
    // Moves the stopped clock a millisecond at a time until `done` holds or the run has ended.
    bool StepUntil(const std::function<bool()>& done)
    {
        auto& manual = static_cast<platform::ManualClock&>(*clock);
        for (int i = 0; i < 20000 && !done() && view->WorkerRunning(WorkerSlot::Jtag); ++i) {
            manual.Advance(std::chrono::milliseconds(1));
            ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(0));
        }
        return done();
    }
    // The colour of the first line of `log` (the dialog's or the main one) that starts with `prefix`.
    static QColor LineColour(CRichEditCtrlExtend& log, const std::string& prefix)
    {
        for (QTextBlock b = log.document()->begin(); b.isValid(); b = b.next())
            if (b.text().toStdString().rfind(prefix, 0) == 0 && b.begin() != b.end())
                return b.begin().fragment().charFormat().foreground().color();
        return {};
    }
    CJtagProgrammerDlg* OpenForWrite(const std::string& file)
    {
        view->Buffers().m_strLoadedFileName = file;
        view->RunWriteStep();
        return view->JtagDialog();
    }
    bool RunToEnd(CJtagProgrammerDlg* dlg)
    {
        return ProcessEventsUntil([&] { return !dlg->Running(); }, 60s);
    }
    std::uint32_t SocketUsercode()
    {
        std::lock_guard lock(box->Mutex());
        return box->Jtag().SocketChain().Device(0).Usercode();
    }
    std::uint32_t ProgrammerUsercode()
    {
        std::lock_guard lock(box->Mutex());
        return box->Jtag().ProgrammerCpld().Usercode();
    }
    std::string DialogLog(CJtagProgrammerDlg* dlg) { return dlg->Log().toPlainText().toStdString(); }
};

TEST_F(JtagDialogOnBox, WriteOpensTheDialogAndRunProgramsTheCpld)
{
    SetUpClass310();
    bytecode::CpldProgramPlan plan;
    plan.usercode = 0x20261211;
    plan.rows = bytecode::CpldPatternRows(5);
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram(plan));
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->windowTitle().toStdString(), "JTAG Programming");
    EXPECT_EQ(dlg->SelectedAction(), "PROGRAM");
    std::vector<std::string> boxesShown;
    for (QCheckBox* b : dlg->ProcedureBoxes())
        boxesShown.push_back(b->text().toStdString() + (b->isChecked() ? " on" : " off"));
    EXPECT_EQ(boxesShown, (std::vector<std::string> { "DO_ERASE on", "DO_VERIFY on" }));

    // Unchecked, DO_VERIFY is forced out.
    dlg->ProcedureBoxes()[1]->setChecked(false);
    EXPECT_EQ(dlg->Arguments("PROGRAM"), (std::vector<std::string> { "-aPROGRAM", "-dDO_ERASE=1", "-dDO_VERIFY=0" }));
    dlg->ProcedureBoxes()[1]->setChecked(true);

    ASSERT_TRUE(dlg->OnRun());
    EXPECT_FALSE(dlg->RunButton()->isEnabled());
    EXPECT_TRUE(dlg->BusyBar()->isVisible());
    EXPECT_EQ(g_LinkLease.Holder(), LeaseHolder::Jtag);
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_TRUE(dlg->RunButton()->isEnabled());
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_EQ(SocketUsercode(), 0x20261211u);
    EXPECT_NE(Log().find("JTAG PROGRAM \"" + dlg->File() + "\": Exit code = 0... Success"), std::string::npos) << Log();
    EXPECT_NE(DialogLog(dlg).find("Exit code = 0... Success"), std::string::npos);
    EXPECT_NE(DialogLog(dlg).find("Jam STAPL ByteCode Player"), std::string::npos) << "console lines stream too";

    // "File Information" lists the file and runs nothing.
    ASSERT_TRUE(dlg->OnFileInformation());
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_NE(DialogLog(dlg).find("Actions available in this file:"), std::string::npos) << DialogLog(dlg);
    EXPECT_NE(DialogLog(dlg).find("    DO_VERIFY (recommended)"), std::string::npos) << DialogLog(dlg);

    ASSERT_TRUE(dlg->OnReadUserCode());
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_NE(DialogLog(dlg).find("USERCODE code is 20261211"), std::string::npos) << DialogLog(dlg);

    // While another holder has the lease, Run is refused with the view's line.
    ASSERT_TRUE(g_LinkLease.Take(LeaseHolder::Setup));
    EXPECT_FALSE(dlg->OnRun());
    g_LinkLease.Release(LeaseHolder::Setup);
    EXPECT_NE(Log().find("Run: the programmer is busy with"), std::string::npos) << Log();
    EXPECT_FALSE(Powered());
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

TEST_F(JtagDialogOnBox, OnAZvDTheSocketsCpldIsProgrammedAndTheProgrammersKept)
{
    Plug("ZV-D Re-2.00");
    SetUpClass310();
    const std::uint32_t programmer = ProgrammerUsercode();
    bytecode::CpldProgramPlan plan;
    plan.usercode = 0x31415926;
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram(plan));
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(dlg->OnRun());
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_EQ(SocketUsercode(), 0x31415926u);
    EXPECT_EQ(ProgrammerUsercode(), programmer);
    EXPECT_NE(Log().find("Exit code = 0... Success"), std::string::npos) << Log();
}

TEST_F(JtagDialogOnBox, CancelAndCloseDuringARun)
{
    SetUpClass310();
    auto& manual = static_cast<platform::ManualClock&>(*clock);
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram({}));
    ASSERT_NE(dlg, nullptr);
    // The clock stands still: the run waits for its first reply until the test moves it.
    manual.SetAutoAdvance(false);
    ASSERT_TRUE(dlg->OnRun());
    dlg->CancelButton()->click();
    for (int i = 0; i < 2000 && dlg->Running(); ++i) {
        manual.Advance(10ms);
        ProcessEventsUntil([] { return false; }, 1ms);
    }
    manual.SetAutoAdvance(true);
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_NE(DialogLog(dlg).find("execution cancelled"), std::string::npos) << DialogLog(dlg);
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_FALSE(Powered()) << "the socket is left powered";

    // Closing during a run cancels it; the dialog goes once the run's last message has come.
    QPointer<CJtagProgrammerDlg> watched(dlg);
    ASSERT_TRUE(dlg->OnRun());
    dlg->close();
    EXPECT_TRUE(watched) << "still there until the worker's last message";
    ASSERT_TRUE(ProcessEventsUntil([&] { return watched.isNull(); }, 60s));
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Jtag));

    // Opened again by a step while that close waits: the run is still cancelled, the dialog stays.
    dlg = OpenForWrite(WriteProgram({}));
    ASSERT_NE(dlg, nullptr);
    watched = dlg;
    manual.SetAutoAdvance(false); // the run cannot end before the close below
    ASSERT_TRUE(dlg->OnRun());
    dlg->close();
    EXPECT_EQ(OpenForWrite(dlg->File()), dlg);
    StepUntil([&] { return !dlg->Running(); });
    manual.SetAutoAdvance(true);
    ASSERT_TRUE(RunToEnd(dlg));
    ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(20));
    ASSERT_FALSE(watched.isNull());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_NE(DialogLog(dlg).find("execution cancelled"), std::string::npos) << DialogLog(dlg);
}

// The view's shut-down in the middle of a run stops and joins the JTAG worker; the lease goes.
TEST_F(JtagDialogOnBox, TheViewsShutDownDuringARunJoinsItsWorker)
{
    SetUpClass310();
    // A program that says so and then pauses ten minutes in IDLE.
    bytecode::ImageBuilder b(bytecode::Container::Stapl);
    b.AddBooleanArray("BYPASS", std::vector<bool>(8, true));
    const bytecode::Label entry = b.NewLabel();
    b.Bind(entry);
    b.Emit("PUSHI", { 8 });
    b.Emit("PUSHI", { 0 });
    b.Emit("IRSCAN", { bytecode::Sym("BYPASS") });
    b.Emit("PRINTS", { bytecode::Str("pausing") });
    b.Emit("PRINTL");
    b.Emit("PUSHI", { 0 });
    b.Emit("PUSHI", { 600'000'000 });
    b.Emit("WAIT", { 1, 1 });
    b.Emit("PUSHI", { 0 });
    b.Emit("EXIT");
    b.AddProcedure("PAUSE", entry);
    b.AddAction("PROGRAM", std::nullopt, { { "PAUSE" } });
    bytecode::BuildResult built = b.Build();
    ASSERT_TRUE(built.ok()) << built.error;
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteImage(built.image, "pause.jbc"));
    ASSERT_NE(dlg, nullptr);
    // The clock moves only as the test moves it, so the run is still in its pause below.
    static_cast<platform::ManualClock&>(*clock).SetAutoAdvance(false);
    ASSERT_TRUE(dlg->OnRun());
    ASSERT_TRUE(StepUntil([&] { return DialogLog(dlg).find("pausing") != std::string::npos; })) << DialogLog(dlg);
    ASSERT_TRUE(view->WorkerRunning(WorkerSlot::Jtag));
    {
        // The shut-down ends the pause; the closing reset and the power-down still take their
        // time on the wire while the GUI thread joins.
        std::jthread ticker([this](std::stop_token stop) {
            while (!stop.stop_requested()) {
                static_cast<platform::ManualClock&>(*clock).Advance(std::chrono::milliseconds(1));
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        view->Shutdown();
    }
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Jtag));
    EXPECT_FALSE(g_LinkLease.IsHeld());
    // The run's last message still comes; it finds the dialog and a view that has shut down.
    ProcessEventsUntil([&] { return !dlg->Running(); }, std::chrono::seconds(5));
    EXPECT_FALSE(dlg->Running());
    EXPECT_NE(DialogLog(dlg).find("execution cancelled"), std::string::npos) << DialogLog(dlg);
    EXPECT_FALSE(g_LinkLease.IsHeld());
}

TEST_F(JtagDialogOnBox, RefusalsForeignImagesAndScripts)
{
    SetUpClass310();
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram({}, false));
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(dlg->OnRun());
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_NE(DialogLog(dlg).find("made for another player"), std::string::npos) << DialogLog(dlg);
    dlg->close();

    // An automatic run or a script refuses the step with its line.
    g_bScriptRunning = true;
    EXPECT_FALSE(view->RunWriteStep());
    g_bScriptRunning = false;
    EXPECT_EQ(Count(Log(), "JTAG devices are programmed from the JTAG Programming dialog."), 1u) << Log();
}

// The dialog opened on a compiled tmp.jbc never plays what a later failed compile left: the
// output is removed, and a Run of a file that is not there is refused.
TEST_F(JtagDialogOnBox, AFailedCompileLeavesNothingToRun)
{
    SetUpClass310();
    const std::string image = WriteProgram({}, true, "compiled.jbc");
    const auto Write = [](const char* name, const std::string& text) {
        return WriteImage({ text.begin(), text.end() }, name);
    };
    // The compiler writes a whole image either way; a failing one says so after it.
    const std::string compiler = Write("compiler.sh",
        "#!/bin/sh\n"
        "cp \""
            + image
            + "\" \"$2\"\n"
              "case \"$1\" in\n"
              "  *bad*) echo 'syntax error at line 1' >&2; exit 1 ;;\n"
              "esac\n");
    QFile::setPermissions(QString::fromStdString(compiler), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    {
        CRegistryKey key;
        key.Create(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.Open(HKEY_CURRENT_USER, "Software\\Zelvo USB Programmer\\Settings");
        key.WriteString(CBufferCommands::kCompilerValue, compiler);
    }
    const std::string output = GetAppDataFolder() + "/tmp.jbc";
    const auto load = [&](const char* name) {
        view->OpenFileByName(Write(name, "ACTION;"));
        return ProcessEventsUntil([&] { return !view->BufferCommands().CompileRunning(); });
    };
    ASSERT_TRUE(load("chip.jam"));
    ASSERT_EQ(view->Buffers().m_strLoadedFileName, output);
    view->RunWriteStep();
    CJtagProgrammerDlg* dlg = view->JtagDialog();
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(dlg->File(), output);
    EXPECT_EQ(dlg->SelectedAction(), "PROGRAM");

    ASSERT_TRUE(load("bad.jam"));
    EXPECT_NE(Log().find("The compiler ended with code 1:"), std::string::npos) << Log();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(output))) << "a failed compile's output survived";
    EXPECT_FALSE(dlg->OnRun());
    EXPECT_FALSE(dlg->Running());
    EXPECT_FALSE(view->WorkerRunning(WorkerSlot::Jtag));
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_NE(DialogLog(dlg).find("Error: can't open file \"" + output + "\""), std::string::npos) << DialogLog(dlg);
    EXPECT_EQ(Log().find("JTAG PROGRAM"), std::string::npos) << Log();
    EXPECT_TRUE(box->ProtocolErrors().empty());
}

// The dialog's choices reach the run: with the rows held at zero, a PROGRAM without its erase
// fails its verify, and one without its verify as well passes.
TEST_F(JtagDialogOnBox, TheProcedureBoxesReachTheRun)
{
    SetUpClass310();
    sim::ModelCpld& cpld = SocketCpld();
    {
        std::lock_guard lock(box->Mutex());
        for (std::size_t i = 0; i < 16; ++i)
            cpld.SetRow(i, 0);
    }
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram({}));
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(dlg->ProcedureBoxes().size(), 2u);
    dlg->ProcedureBoxes()[0]->setChecked(false); // DO_ERASE
    ASSERT_TRUE(dlg->OnRun());
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_EQ(Count(Log(), "Exit code = 11... Device verify failure"), 1u) << Log();
    dlg->ProcedureBoxes()[1]->setChecked(false); // DO_VERIFY
    ASSERT_TRUE(dlg->OnRun());
    ASSERT_TRUE(RunToEnd(dlg));
    EXPECT_EQ(Count(Log(), "Exit code = 0... Success"), 1u) << Log();
    std::lock_guard lock(box->Mutex());
    EXPECT_EQ(cpld.Rows()[0], 0u) << "never erased";

    // The log's colours: the player's own lines grey, the program's black.
    EXPECT_EQ(LineColour(dlg->Log(), "Jam STAPL ByteCode Player"), QColor(128, 128, 128));
    EXPECT_EQ(LineColour(dlg->Log(), "Exit code = 0"), QColor(0, 0, 0));
}

// A run that ends with an exit code other than 0 is a failure in the error colour, in the
// dialog's log and in the main log's line; one that ends with 0 is not.
TEST_F(JtagDialogOnBox, ANonZeroExitCodeIsLoggedInTheErrorColour)
{
    SetUpClass310();
    bytecode::CpldProgramPlan plan;
    plan.rows = bytecode::CpldPatternRows(5);
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram(plan));
    ASSERT_NE(dlg, nullptr);
    ASSERT_TRUE(dlg->OnRun());
    ASSERT_TRUE(RunToEnd(dlg));
    const QColor black(0, 0, 0);
    const QColor red(200, 0, 0);
    const std::string programmed = "JTAG PROGRAM \"" + dlg->File() + "\": Exit code = 0... Success";
    EXPECT_EQ(LineColour(dlg->Log(), "Exit code = 0... Success"), black) << DialogLog(dlg);
    EXPECT_EQ(LineColour(view->MessageLog(), programmed), black) << Log();

    // The CPLD now holds the rows: its blank check fails.
    view->RunBlankCheckStep();
    ASSERT_EQ(view->JtagDialog(), dlg);
    ASSERT_EQ(dlg->SelectedAction(), "BLANKCHECK");
    ASSERT_TRUE(dlg->OnRun());
    ASSERT_TRUE(RunToEnd(dlg));
    const std::string notBlank = "JTAG BLANKCHECK \"" + dlg->File() + "\": Exit code = 9... Device is not blank";
    EXPECT_EQ(LineColour(dlg->Log(), "Exit code = 9... Device is not blank"), red) << DialogLog(dlg);
    EXPECT_EQ(LineColour(view->MessageLog(), notBlank), red) << Log();
    EXPECT_EQ(LineColour(dlg->Log(), "Elapsed time"), black) << "only the failure is red";
    EXPECT_FALSE(Powered());
    if (const char* folder = std::getenv("TONRIG_SCREENSHOTS"); folder && *folder) {
        QDir().mkpath(folder);
        dlg->grab().save(QString(folder) + "/jtag-dialog-not-blank.png");
    }
}

// Run and Read User Code wait for a byte-code file with their actions; a file that is none says
// so in the error colour, when it is chosen and when one has become none since.
TEST_F(JtagDialogOnBox, RunAndReadUserCodeWaitForAByteCodeFile)
{
    SetUpClass310();
    CJtagProgrammerDlg* dlg = OpenForWrite("");
    ASSERT_NE(dlg, nullptr);
    const QColor red(200, 0, 0);
    const auto buttons
        = [&] { return std::pair(dlg->RunButton()->isEnabled(), dlg->ReadUserCodeButton()->isEnabled()); };
    EXPECT_EQ(buttons(), std::pair(false, false)) << "nothing in the File box";
    EXPECT_FALSE(dlg->OnFileInformation());
    EXPECT_EQ(LineColour(dlg->Log(), "No byte-code file is loaded."), red) << DialogLog(dlg);

    const std::string notes = WriteImage({ 'n', 'o', 't', 'e', 's' }, "notes.jbc");
    dlg->chooseFile = [&] { return notes; };
    dlg->OnBrowse();
    EXPECT_EQ(dlg->File(), notes);
    EXPECT_EQ(buttons(), std::pair(false, false)) << "no byte-code file in the File box";
    EXPECT_EQ(LineColour(dlg->Log(), "\"" + notes + "\" is not a byte-code file."), red) << DialogLog(dlg);

    // A byte-code file: Run on; Read User Code only where the file has that action.
    const std::string single = WriteSingleActionImage();
    dlg->chooseFile = [&] { return single; };
    dlg->OnBrowse();
    EXPECT_EQ(buttons(), std::pair(true, false));
    const std::string program = WriteProgram({});
    dlg->chooseFile = [&] { return program; };
    dlg->OnBrowse();
    EXPECT_EQ(buttons(), std::pair(true, true));

    // The file has become none since it was chosen: Run says so and plays nothing.
    WriteImage({ 't', 'e', 'x', 't' }, "dialog.jbc");
    dlg->RunButton()->click();
    EXPECT_FALSE(dlg->Running());
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_EQ(Count(DialogLog(dlg), "\"" + program + "\" is not a byte-code file."), 1u) << DialogLog(dlg);
    EXPECT_EQ(LineColour(dlg->Log(), "\"" + program + "\" is not a byte-code file."), red);
    EXPECT_EQ(Log().find("JTAG "), std::string::npos) << Log();
    EXPECT_FALSE(Powered());
}

// The speed choice follows the header pane both ways; Browse changes the file and keeps the
// selected action where the new file has it.
TEST_F(JtagDialogOnBox, SpeedLevelAndBrowse)
{
    SetUpClass310();
    ASSERT_TRUE(header->SetSpeedLevel(2));
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram({}));
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->SpeedBox()->currentText().toStdString(), "2");
    dlg->SpeedBox()->setCurrentIndex(4);
    EXPECT_EQ(header->SpeedLevel(), 5);

    // Opened again by another step: the same dialog, that step's action, the header's level now.
    ASSERT_TRUE(header->SetSpeedLevel(3));
    view->RunVerifyStep();
    EXPECT_EQ(view->JtagDialog(), dlg);
    EXPECT_EQ(dlg->SelectedAction(), "VERIFY");
    EXPECT_EQ(dlg->SpeedBox()->currentText().toStdString(), "3");

    const std::string other = WriteProgram({}, true, "other.jbc");
    dlg->chooseFile = [&] { return other; };
    dlg->OnBrowse();
    EXPECT_EQ(dlg->File(), other);
    EXPECT_EQ(dlg->SelectedAction(), "VERIFY");

    // A file without that action: its first one.
    const std::string single = WriteSingleActionImage();
    dlg->chooseFile = [&] { return single; };
    dlg->OnBrowse();
    EXPECT_EQ(dlg->SelectedAction(), "CHECK");
    EXPECT_TRUE(dlg->ProcedureBoxes().empty()) << "a required procedure is listed, not a check box";

    // A chooser left without a file changes nothing.
    dlg->chooseFile = [] { return std::string(); };
    dlg->OnBrowse();
    EXPECT_EQ(dlg->File(), single);
}

TEST_F(JtagDialogOnBox, CancelDuringTheEraseWait)
{
    SetUpClass310();
    sim::ModelCpld& cpld = SocketCpld();
    {
        std::lock_guard lock(box->Mutex());
        cpld.SetRow(2, 0x12345678); // something for the erase to clear
    }
    bytecode::CpldProgramPlan plan;
    plan.rows = bytecode::CpldPatternRows(9);
    plan.usercode = 0x20261212;
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram(plan));
    ASSERT_NE(dlg, nullptr);
    auto& manual = static_cast<platform::ManualClock&>(*clock);
    manual.SetAutoAdvance(false);
    ASSERT_TRUE(dlg->OnRun());
    // The CPLD has taken the erase and waits out its clocks; no row is programmed yet.
    const auto erasing = [&] {
        std::lock_guard lock(box->Mutex());
        return cpld.IspMode() && cpld.Rows()[2] == 0xFFFFFFFF;
    };
    ASSERT_TRUE(StepUntil(erasing)) << DialogLog(dlg);
    EXPECT_TRUE(dlg->Running());
    EXPECT_TRUE(dlg->BusyBar()->isVisible());
    EXPECT_FALSE(dlg->ActionBox()->isEnabled());
    EXPECT_FALSE(dlg->ProcedureBoxes()[0]->isEnabled()) << "a choice the run would not see";
    EXPECT_TRUE(dlg->SpeedBox()->isEnabled()) << "read at every wait";
    if (const char* folder = std::getenv("TONRIG_SCREENSHOTS"); folder && *folder) {
        QDir().mkpath(folder);
        dlg->grab().save(QString(folder) + "/jtag-dialog-mid-run.png");
    }
    dlg->CancelButton()->click();
    StepUntil([&] { return !dlg->Running(); });
    manual.SetAutoAdvance(true);
    ASSERT_TRUE(RunToEnd(dlg));

    EXPECT_NE(DialogLog(dlg).find(": execution cancelled."), std::string::npos) << DialogLog(dlg);
    EXPECT_EQ(LineColour(dlg->Log(), "Error at address"), QColor(200, 0, 0));
    // One line in the main log for the run, the error line in it.
    const std::string mainLine = "JTAG PROGRAM \"" + dlg->File() + "\": Error at address ";
    EXPECT_EQ(Count(Log(), mainLine), 1u) << Log();
    EXPECT_NE(Log().find("execution cancelled.", Log().find(mainLine)), std::string::npos) << Log();
    {
        std::lock_guard lock(box->Mutex());
        EXPECT_EQ(cpld.Rows()[0], 0xFFFFFFFFu) << "a row was programmed after the cancel";
        EXPECT_EQ(cpld.Usercode(), 0xFFFFFFFFu);
    }
    EXPECT_FALSE(g_LinkLease.IsHeld());
    EXPECT_FALSE(Powered()) << "the socket is left powered";
    EXPECT_TRUE(dlg->RunButton()->isEnabled());
    EXPECT_FALSE(dlg->CancelButton()->isEnabled());
    EXPECT_TRUE(dlg->ProcedureBoxes()[0]->isEnabled());
}

} // namespace
