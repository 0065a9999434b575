// The JTAG programming dialog on the virtual programmer, offscreen: class 310 set up with the
// socket chain holding a model CPLD, boxes answered, the CPLD read back from the box.

#include "operations/ui/JtagProgrammerDlg.h"

#include "ViewOnBoxFixture.h"
#include "app/VirtualSocket.h"
#include "controls/ui/RichEditCtrlExtend.h"
#include "jtag/builder/CpldProgram.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/ViewSetup.h"
#include "sim/JtagHandler.h"

#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>

#include <fstream>

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
    std::string WriteProgram(bytecode::CpldProgramSpec spec, bool marker = true)
    {
        spec.idcode = sim::kSocketCpldIdcode;
        bytecode::BuildResult built = bytecode::BuildCpldProgram(spec);
        EXPECT_TRUE(built.ok()) << built.error;
        if (!marker) {
            // The marker note's value changed: a valid image made for another player.
            const std::string key = "TONRIG_BYTECODE";
            auto at = std::search(built.image.begin(), built.image.end(), key.begin(), key.end());
            EXPECT_NE(at, built.image.end());
            *at = 'X';
        }
        const std::string path = testing::TempDir() + "/dialog.jbc";
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(built.image.data()), static_cast<std::streamsize>(built.image.size()));
        return path;
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
    bytecode::CpldProgramSpec spec;
    spec.usercode = 0x20261211;
    spec.rows = bytecode::CpldPatternRows(5);
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram(spec));
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
    bytecode::CpldProgramSpec spec;
    spec.usercode = 0x31415926;
    CJtagProgrammerDlg* dlg = OpenForWrite(WriteProgram(spec));
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

} // namespace
