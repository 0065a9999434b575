// The view's side of the JTAG programming dialog: the steps of classes 310 and 311 open it
// with the step's action selected, and automatic runs and scripts are refused.

#include "operations/ui/TonrigView.h"

#include "link/LinkLease.h"
#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/JtagProgrammerDlg.h"

bool IsJtagClass(int classIndex)
{
    return classIndex == 310 || classIndex == 311;
}

CJtagProgrammerDlg* CTonrigView::JtagDialog() const
{
    return m_pJtagDlg.data();
}

bool CTonrigView::OpenJtagDialog(const char* action)
{
    if (Control().Flags().autoRun || g_bScriptRunning) {
        Log(std::string(jtagdlg::kRefusedInRun) + "\r\n", kLogError);
        return false;
    }
    if (!m_pJtagDlg) {
        m_pJtagDlg = new CJtagProgrammerDlg(*this);
        m_pJtagDlg->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (!m_pJtagDlg->Running())
        m_pJtagDlg->SetFile(Buffers().m_strLoadedFileName, action);
    m_pJtagDlg->SyncSpeedLevel();
    m_pJtagDlg->KeepOpen();
    m_pJtagDlg->show();
    m_pJtagDlg->raise();
    return true;
}
