// Get ID and Lock on the view: the checks and questions on the GUI thread, the exchange on the
// pump's worker slot through the exchange helper, and its one result back here for the log, the
// boxes and the chip-ID dialog. The GUI thread never reads the link.

#include "operations/ui/TonrigView.h"

#include "catalogue/ui/DeviceIdDlg.h"
#include "link/LinkLease.h"
#include "operations/DeviceIdCommand.h"
#include "operations/LockCommand.h"
#include "operations/LogColours.h"
#include "operations/OperationControl.h"
#include "operations/OperationText.h"
#include "operations/ScriptFlags.h"
#include "platform/MessageBox.h"

#include <QPointer>

CDeviceIdDlg& CTonrigView::DeviceIdDlg()
{
    if (!m_pDeviceIdDlg)
        m_pDeviceIdDlg = new CDeviceIdDlg(this);
    return *m_pDeviceIdDlg;
}

void CTonrigView::ReadDeviceId()
{
    if (!BeginDeviceCommand())
        return;
    const DeviceIdPlan plan = PlanDeviceId(g_CurrentDevice, g_nCurrentClass);
    if (plan.verdict != DeviceIdVerdict::Read) {
        m_pControl->EndRun();
        MessageBox(DeviceIdRefusalText(plan.verdict));
        return;
    }
    if (plan.askEprom && MessageBox(kEpromIdWarningText, kEpromIdWarningCaption, MB_YESNO | MB_ICONWARNING) != IDYES) {
        m_pControl->EndRun();
        return;
    }

    auto done = [this](DeviceIdReading reading, bool linkLost) {
        // A lost programmer is told by the link watch's box; the log says it as the operations do.
        if (linkLost || reading.kind == StepKind::LinkLost) {
            Log(std::string(kLinkLostLine) + "\r\n", log_colours::kError);
            m_pControl->EndRun();
            ShowFailure();
            return;
        }
        if (reading.kind != StepKind::Done) {
            Log(reading.line, log_colours::kError);
            m_pControl->EndRun();
            ShowFailure();
            return;
        }
        CDeviceIdDlg& dialog = DeviceIdDlg();
        dialog.DecodeDeviceId(reading.id, reading.length, reading.code, reading.revision);
        dialog.OnInitDialog();
        const QPointer<CTonrigView> self(this);
        if (m_runDeviceIdDlg)
            m_runDeviceIdDlg(dialog);
        else
            dialog.exec();
        if (!self)
            return;
        // The pin drivers as the device wants them again, under the lease: while the dialog was
        // open a device setup may have taken the link, and then it sets them itself.
        if (!m_bShutDown && g_nOperationState == kStateIdle && g_LinkLease.Take(LeaseHolder::Operation)) {
            SetPinDrivers();
            g_LinkLease.Release(LeaseHolder::Operation);
        }
    };
    const bool started = RunExchangeFor<DeviceIdReading>(
        [plan](ExchangeLink& link, std::stop_token) { return RunDeviceId(link, plan); }, std::move(done));
    if (!started)
        m_pControl->EndRun();
}

void CTonrigView::LockDevice()
{
    if (!BeginDeviceCommand())
        return;
    RunLock();
}

void CTonrigView::LockDeviceStep()
{
    RunLock();
}

void CTonrigView::RunLock()
{
    const bool unattended = RunFlags().autoRun || g_bScriptRunning;
    const LockPlan plan = PlanLock(g_CurrentDevice, g_nCurrentClass, unattended);
    if (plan.ask && MessageBox(LockQuestion(), LockQuestionCaption(), MB_YESNO | MB_ICONWARNING) != IDYES) {
        m_pControl->EndRun();
        return;
    }

    const COLORREF doneTone = plan.action == LockAction::NotSupported ? log_colours::kInfo : log_colours::kSuccess;
    auto done = [this, doneTone](LockDeviceResult lock, bool linkLost) {
        StepResult result;
        result.operation = StepOperation::Lock;
        result.kind = linkLost ? StepKind::LinkLost : lock.kind;
        const bool lost = result.kind == StepKind::LinkLost;
        if (!lost && !lock.line.empty())
            Log(lock.line, result.kind == StepKind::Done ? doneTone : log_colours::kError);
        m_pControl->OnResult(result);
        if (!lost && !lock.boxText.empty())
            MessageBox(lock.boxText, lock.boxCaption,
                MB_OK | (result.kind == StepKind::Done ? MB_ICONINFORMATION : MB_ICONERROR));
    };
    if (plan.action == LockAction::NotSupported) {
        done(ReadLockReply(plan, {}), false);
        return;
    }
    const bool started = RunExchangeFor<LockDeviceResult>(
        [plan](ExchangeLink& link, std::stop_token) { return RunLockDevice(link, plan); }, std::move(done));
    if (!started)
        m_pControl->EndRun();
}
