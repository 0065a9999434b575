// A PIC's configuration words from the view: reading, verifying and writing them through the
// exchange helper, the buffer-3 steps, and Set CFG bits with the dialogs it opens.

#include "operations/ui/TonrigView.h"

#include "catalogue/DeviceClass.h"
#include "operations/ConfigWords.h"
#include "operations/LogColours.h"
#include "operations/OperationControl.h"
#include "operations/StopWatch.h"
#include "operations/ui/BufferCommands.h"
#include "operations/ui/ChipDialogs.h"
#include "operations/ui/ConfigGrid.h"
#include "operations/ui/ViewSetup.h"
#include "platform/MessageBox.h"
#include "shell/Language.h"

namespace {

constexpr int kTextConfirmReload = 60;
constexpr int kTextConfirmCaption = 61;
constexpr int kTextNotSupported = 65;

StepOperation OperationOf(ConfigWordsAction action)
{
    switch (action) {
    case ConfigWordsAction::Read:
        return StepOperation::Read;
    case ConfigWordsAction::Verify:
        return StepOperation::Verify;
    case ConfigWordsAction::Write:
        return StepOperation::Write;
    }
    return StepOperation::None;
}

} // namespace

bool CTonrigView::ConfigGridShown() const
{
    return GetBufferIndex() == 3 && g_nCurrentClass >= 321 && g_nCurrentClass <= 325 && m_pSetup
        && m_pSetup->GridLoaded();
}

void CTonrigView::RefillConfigGrid()
{
    if (!m_pSetup || !m_pSetup->GridLoaded())
        return;
    m_ConfigGrid->LoadFromDevice();
    m_ConfigGrid->FillGrid();
}

void CTonrigView::OnConfigGridPick()
{
    CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get();
    if (!pic)
        return;
    pic->m_bConfigSupplied = true;
    ShowConfigWords(*pic, m_ConfigWordBuffer);
    m_pBufferCommands->MarkEdited(buffer::kConfigWord);
    m_pBufferCommands->BuffersChanged();
}

bool CTonrigView::ReadConfigWords(ConfigWordsDone done)
{
    return RunConfigWordsAction(ConfigWordsAction::Read, std::move(done));
}

bool CTonrigView::VerifyConfigWords(ConfigWordsDone done)
{
    return RunConfigWordsAction(ConfigWordsAction::Verify, std::move(done));
}

bool CTonrigView::WriteConfigWords(ConfigWordsDone done)
{
    return RunConfigWordsAction(ConfigWordsAction::Write, std::move(done));
}

bool CTonrigView::RunConfigWordsAction(ConfigWordsAction action, ConfigWordsDone done)
{
    auto finish = [done](StepKind kind) {
        if (done)
            done(kind);
    };
    const CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get();
    if (!pic) {
        Log("This device has no configuration words.\r\n", kLogError);
        finish(StepKind::Refused);
        return false;
    }
    Log(ConfigWordsStartLine(action), log_colours::kInfo);
    const std::string refusal = ConfigLengthRefusal(pic->m_nConfigBytes);
    if (!refusal.empty()) {
        Log(refusal, kLogError);
        finish(StepKind::Refused);
        return false;
    }
    const ConfigWordsJob job = MakeConfigWordsJob(*pic);
    const bool started = RunExchangeFor<ConfigWordsOutcome>(
        [action, job](ExchangeLink& link, std::stop_token stop) { return RunConfigWords(action, link, job, stop); },
        [this, done](ConfigWordsOutcome outcome, bool linkLost) {
            if (linkLost)
                outcome.kind = StepKind::LinkLost;
            FinishConfigWords(outcome);
            if (done)
                done(outcome.kind);
        });
    if (!started)
        finish(StepKind::Refused);
    return started;
}

void CTonrigView::FinishConfigWords(const ConfigWordsOutcome& outcome)
{
    if (outcome.action == ConfigWordsAction::Read && outcome.kind == StepKind::Done) {
        if (CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get()) {
            StoreReadConfigWords(*pic, outcome.bytes, m_ConfigWordBuffer);
            m_Buffers.SetModified(buffer::kConfigWord, false);
            m_pBufferCommands->UpdateModifiedTitle();
            RefillConfigGrid();
            if (m_nBufferIndex == 3 || GetBufferIndex() == 3)
                ShowBufferTab(1);
        }
    }
    const ConfigWordsReport report = ReportConfigWords(outcome);
    if (!report.line.empty())
        Log(report.line, report.lineIsError ? log_colours::kError : log_colours::kSuccess);
    if (!report.boxText.empty())
        MessageBox(report.boxText, "Error", MB_OK | MB_ICONERROR);
}

bool CTonrigView::RunConfigWordsStep(ConfigWordsAction action)
{
    const StepOperation operation = OperationOf(action);
    auto done = [this, operation](StepKind kind) {
        if (operation == StepOperation::Read) {
            StepResult result;
            result.operation = operation;
            result.kind = kind;
            OnReadDone(result);
        } else {
            m_pControl->OnConfigWordsResult(operation, kind);
        }
    };
    const CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get();
    if (action != ConfigWordsAction::Read && pic && !pic->m_bConfigSupplied) {
        Log(kConfigNotSuppliedLine, kLogError);
        done(StepKind::Refused);
        return false;
    }
    g_StopWatch.Start();
    return RunConfigWordsAction(action, std::move(done));
}

// The dialogs Set CFG bits opens.
ChipDialogs& CTonrigView::Dialogs()
{
    if (!m_pChipDialogs)
        m_pChipDialogs = std::make_unique<CChipDialogs>(*this);
    return *m_pChipDialogs;
}

void CTonrigView::SetChipDialogRunner(std::function<void(CChipBitsDlg&)> runner)
{
    auto dialogs = std::make_unique<CChipDialogs>(*this);
    dialogs->SetRunner(std::move(runner));
    m_pChipDialogs = std::move(dialogs);
}

void CTonrigView::SetChipDialogs(std::unique_ptr<ChipDialogs> dialogs)
{
    m_pChipDialogs = std::move(dialogs);
}

void CTonrigView::OnSetCfgBits()
{
    if (!BeginDeviceCommand())
        return;
    CPicConfigInfo* pic = g_CurrentDevice.m_pPicConfig.get();
    bool changed = false;
    switch (PlanSetCfgBits(g_nCurrentClass, pic != nullptr)) {
    case CfgBitsAction::ShowConfigWords:
        // Showing supplies nothing: only a pick in the grid does.
        if (DeviceSetupOwner().GridLoaded()) {
            m_ConfigGrid->LoadFromDevice();
            m_ConfigGrid->FillGrid();
        }
        ShowConfigWords(*pic, m_ConfigWordBuffer);
        m_nBufferIndex = 3;
        m_pBufferCommands->SetBufferIndex(3);
        ShowBufferTab(1);
        return;
    case CfgBitsAction::NotSupported:
        MessageBox(g_Language.GetText(kTextNotSupported));
        return;
    case CfgBitsAction::ConfigurationDialog:
        changed = Dialogs().Run(ChipDialogs::Dialog::Configuration);
        break;
    case CfgBitsAction::AvrFuseDialog:
        changed = Dialogs().Run(ChipDialogs::Dialog::AvrFuse);
        break;
    case CfgBitsAction::EepromAddressDialog:
        changed = Dialogs().Run(ChipDialogs::Dialog::EepromAddress);
        break;
    }
    if (!changed)
        return;
    if (MessageBox(
            g_Language.GetText(kTextConfirmReload), g_Language.GetText(kTextConfirmCaption), MB_YESNO | MB_ICONQUESTION)
        != IDYES)
        return;
    OperationRunFlags& flags = RunFlags();
    flags.bufferRun = true;
    flags.bufferRunWrite = false;
    StartOperation(15);
}
