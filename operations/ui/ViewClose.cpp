// The view's side of closing the program: nothing that runs is cut off and no edit is dropped
// unasked. The main window asks QueryClose before it shuts the view down.

#include "operations/ui/TonrigView.h"

#include "link/LinkLease.h"
#include "operations/OperationControl.h"
#include "operations/OperationFlow.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/JtagProgrammerDlg.h"
#include "operations/ui/ScriptEditor.h"
#include "platform/MessageBox.h"
#include "shell/ui/ProgressDlg.h"

#include <QApplication>
#include <QTimer>

namespace {

// How often a close that cancelled an operation looks whether it has ended.
constexpr int kCloseWaitMs = 50;

} // namespace

bool CTonrigView::OperationRunning() const
{
    const OperationRunFlags& flags = m_pControl->Flags();
    const bool step = RunInFlight() || flags.autoRun || flags.bufferRun || g_nOperationState > kStateIdentifying;
    const bool jtag = WorkerRunning(WorkerSlot::Jtag) || (m_pJtagDlg && m_pJtagDlg->Running());
    const bool script = g_bScriptRunning || WorkerRunning(WorkerSlot::Script) || IsTimerArmed(kTimerScriptGoto)
        || IsTimerArmed(kTimerScriptStart);
    return step || jtag || script;
}

void CTonrigView::CancelForClose()
{
    // The script first: it would start further commands.
    if (g_bScriptRunning || WorkerRunning(WorkerSlot::Script) || IsTimerArmed(kTimerScriptGoto)
        || IsTimerArmed(kTimerScriptStart))
        OnStopScript();
    if (m_pJtagDlg && m_pJtagDlg->Running())
        m_pJtagDlg->OnCancel();
    // Where the progress window shows, its own Cancel (a step whose Cancel is grey runs to its
    // end); between steps and in an exchange, the message it sends.
    if (m_pProgress->isVisible())
        m_pProgress->OnCancel();
    else if (RunInFlight() || g_nOperationState > kStateIdentifying)
        OnMessage(WM_CANCEL_OPERATION, 0, 0);
    // Nothing chains after the step that is ending.
    CancelRun(m_pControl->Flags());
}

void CTonrigView::CloseWhenEnded(std::function<void()> closeAgain)
{
    QTimer::singleShot(kCloseWaitMs, this, [this, closeAgain = std::move(closeAgain)] {
        if (m_bShutDown)
            return;
        // A box the ending operation opened is answered first: the close must not end the
        // program under it, nor ask its own questions over it.
        if (OperationRunning() || QApplication::activeModalWidget()) {
            CloseWhenEnded(closeAgain);
            return;
        }
        m_bCloseWaiting = false;
        if (closeAgain)
            closeAgain();
    });
}

bool CTonrigView::QueryClose(std::function<void()> closeAgain)
{
    if (m_bShutDown || m_bCloseUnattended)
        return true;
    if (m_bCloseWaiting)
        return false; // the close follows once the cancelled operation has ended
    if (OperationRunning()) {
        if (MessageBox(kExitQuestion, platform::kAppTitle, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        // The box ran an event loop: the operation may have ended meanwhile.
        if (OperationRunning()) {
            CancelForClose();
            m_bCloseWaiting = true;
            CloseWhenEnded(std::move(closeAgain));
            return false;
        }
    }
    return m_pBufferCommands->AskSaveEdits(m_pBufferCommands->EditedBuffers()) && m_pScriptEditor->AskSaveEdits();
}
