// The Erase command and the end of an erase. The decisions are EraseFlow's and the packets
// OsccalWord's; here they meet the view: the exchange helper for the short exchanges before and
// after the pump's erase step, the question or the options dialog, the timed progress window, and
// the operation control that a result goes on to.

#include "operations/ui/TonrigView.h"

#include "operations/EraseFlow.h"
#include "operations/LogColours.h"
#include "operations/OperationControl.h"
#include "operations/OsccalWord.h"
#include "operations/ScriptFlags.h"
#include "operations/ui/EraseOptionsDlg.h"
#include "operations/ui/View2Header.h"
#include "platform/MessageBox.h"
#include "shell/Language.h"
#include "shell/ui/ProgressDlg.h"

#include <QLabel>

#include <chrono>

namespace {

StepResult EraseResult(StepKind kind)
{
    StepResult result;
    result.operation = StepOperation::Erase;
    result.kind = kind;
    return result;
}

} // namespace

void CTonrigView::EraseDevice()
{
    if (!BeginDeviceCommand())
        return;
    RunErase();
}

void CTonrigView::RunErase()
{
    const CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get();
    const EraseStart start = PlanEraseStart(g_nCurrentClass, pic, RunFlags().autoRun, g_bScriptRunning);
    if (start.clearsKeepOsccal)
        m_bKeepOscCal = false;
    if (!start.readsOsccal && !start.tripleErase) {
        AskAndErase(start);
        return;
    }
    // Batches and scripts send option 0: everything but program memory is erased too.
    const bool started = RunExchangeFor<ErasePrologue>(
        [start](ExchangeLink& link, std::stop_token stop) { return RunErasePrologue(link, start, 0, stop); },
        [this, start](ErasePrologue prologue, bool linkLost) {
            if (linkLost)
                prologue.kind = StepKind::LinkLost;
            if (prologue.kind == StepKind::LinkLost) {
                m_pControl->OnResult(EraseResult(StepKind::LinkLost));
                return;
            }
            if (prologue.osccalFailed) {
                // Erasing now would lose the calibration for good.
                Log(std::string(kOsccalReadFailedLine) + "\r\n", log_colours::kError);
                m_pControl->OnResult(EraseResult(StepKind::Failed));
                return;
            }
            if (prologue.kind != StepKind::Done) {
                m_pControl->OnResult(EraseResult(StepKind::Failed));
                MessageBox(EraseFailedText(), g_Language.GetText(50));
                return;
            }
            if (start.readsOsccal)
                g_OscCalSaved = prologue.word;
            // At once: nothing may start between the word's read and the erase that needs it.
            AskAndErase(start);
        });
    if (!started)
        m_pControl->OnResult(EraseResult(StepKind::Refused));
}

void CTonrigView::AskAndErase(const EraseStart& start)
{
    std::uint8_t option = 0;
    switch (start.question) {
    case EraseQuestion::OptionsDialog: {
        CEraseOptionsDlg::Setup setup;
        setup.hasOsccal = start.readsOsccal;
        setup.hasDataMemory = g_CurrentDevice.m_nDataSize > 0;
        setup.word = g_OscCalSaved;
        setup.osccalAddress = start.osccalAddress;
        CEraseOptionsDlg dialog(setup, this);
        dialog.SetCalReader([this, address = start.osccalAddress](std::function<void(std::optional<OsccalWord>)> done) {
            const bool started = RunExchangeFor<OsccalRead>(
                [address](ExchangeLink& link, std::stop_token) { return ReadOsccalWord(link, address); },
                [done](OsccalRead read, bool linkLost) {
                    done(read.kind == StepKind::Done && !linkLost ? std::optional(read.word) : std::nullopt);
                });
            if (!started)
                done(std::nullopt);
        });
        const bool ok = m_runEraseOptions ? m_runEraseOptions(dialog) : dialog.exec() == QDialog::Accepted;
        if (!ok || IsShutDown())
            return;
        option = dialog.OptionByte();
        m_bKeepOscCal = dialog.KeepOsccal();
        if (start.readsOsccal)
            g_OscCalSaved = dialog.m_Word;
        break;
    }
    case EraseQuestion::YesNoCancel:
        if (MessageBox(EraseQuestionText(), EraseQuestionCaption(), MB_YESNOCANCEL | MB_ICONQUESTION) != IDYES)
            return;
        break;
    case EraseQuestion::None:
        break;
    }
    BeginErase(option);
}

void CTonrigView::BeginErase(std::uint8_t option)
{
    const bool unprotect = g_pView2Header && g_pView2Header->Snapshot().TempUnprotect();
    option = EraseStepOption(g_nCurrentClass, unprotect, option);
    m_Status->setText(QString::fromStdString(EraseStatusText()));
    if (!RunEraseStep(option)) {
        m_Status->clear();
        return;
    }
    Log(g_Language.GetText(74) + "\r\n", log_colours::kInfo);
    // The erase reports no progress: the window runs on the time the class is expected to take.
    m_pProgress->m_bLockCancel = !EraseCancelStaysEnabled(g_nCurrentClass);
    m_pProgress->Start(EraseExpectedSeconds(g_nCurrentClass, g_CurrentDevice.m_strName));
}

void CTonrigView::OnEraseDone(const StepResult& result)
{
    // A cancel has logged the elapsed time already, when it was asked for.
    if (result.kind != StepKind::Cancelled)
        m_pControl->LogElapsed();
    m_Status->clear();
    const EraseDonePlan plan
        = PlanEraseDone(result.kind, g_nCurrentClass, g_CurrentDevice.m_pPicConfig.get(), m_bKeepOscCal);
    if (plan.restoreOsccal) {
        RestoreOsccal(result);
        return;
    }
    if (plan.line)
        Log(plan.line->text, log_colours::OfTone(plan.line->tone));
    else if (plan.kind == StepKind::Failed && !plan.boxText.empty())
        Log(plan.boxText + "\r\n", log_colours::kError); // the failure's lines in the log too
    StepResult step = result;
    step.kind = plan.kind;
    m_pControl->OnResult(step);
    if (plan.setupAgain)
        StartDeviceSetup(g_nCurrentClass, 0, 0, 0);
    if (!plan.boxText.empty())
        MessageBox(plan.boxText, plan.boxCaption);
}

void CTonrigView::RestoreOsccal(const StepResult& result)
{
    const std::uint32_t address = static_cast<std::uint32_t>(g_CurrentDevice.m_pPicConfig->m_nOscCalAddress);
    const OsccalWord saved = g_OscCalSaved;
    const bool started = RunExchangeFor<OsccalRestore>(
        [address, saved](ExchangeLink& link, std::stop_token stop) {
            // The programmer settles after the erase's power-down first.
            platform::GetClock().SleepFor(std::chrono::milliseconds(100), stop);
            return RunOsccalRestore(link, address, saved);
        },
        [this, result](OsccalRestore restore, bool linkLost) {
            const OsccalRestorePlan plan = PlanOsccalRestore(linkLost ? OsccalRestoreEnd::LinkLost : restore.end);
            StepResult step = result;
            step.kind = plan.kind;
            if (plan.kind == StepKind::Done)
                Log(g_Language.GetText(59) + "\r\n", log_colours::kSuccess);
            else if (!plan.boxText.empty())
                Log(plan.boxText + "\r\n", log_colours::kError); // the failure's line in the log too
            m_pControl->OnResult(step);
            if (!plan.boxText.empty())
                MessageBox(plan.boxText);
        });
    if (!started) {
        StepResult step = result;
        step.kind = StepKind::Failed;
        Log(g_Language.GetText(66) + "\r\n", log_colours::kError);
        m_pControl->OnResult(step);
        MessageBox(g_Language.GetText(66));
    }
}
