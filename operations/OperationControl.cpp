#include "operations/OperationControl.h"

#include "operations/ConfigWords.h"
#include "operations/ScriptFlags.h"
#include "operations/StopWatch.h"

#include "platform/MessageBox.h"

namespace {

bool IsFailure(StepKind kind)
{
    return kind == StepKind::Failed || kind == StepKind::Cancelled || kind == StepKind::LinkLost;
}

} // namespace

COperationControl::COperationControl(OperationControlHooks hooks)
    : m_hooks(std::move(hooks))
{
}

DeviceShape COperationControl::Shape() const
{
    return m_hooks.deviceShape ? m_hooks.deviceShape() : DeviceShape {};
}

AutoStepQuery COperationControl::Query() const
{
    return m_hooks.isAutoStepEnabled;
}

void COperationControl::Apply(const StepPlan& plan)
{
    if (plan.showBufferTab && m_hooks.showBufferTab)
        m_hooks.showBufferTab(m_flags.bufferIndex);
    if (plan.timer != 0) {
        m_nArmedTimer = plan.timer;
        if (m_hooks.armTimer)
            m_hooks.armTimer(plan.timer, plan.periodMs);
    }
    if (plan.enableControls && m_hooks.enableControls)
        m_hooks.enableControls(false);
    if (plan.failScript)
        FailRunningScript();
    // A plan that arms no further step and hands nothing to the configuration words ends the run.
    const bool ended
        = plan.failScript || (plan.enableControls && plan.timer == 0 && plan.configWords == StepOperation::None);
    if (ended && m_hooks.runEnded)
        m_hooks.runEnded(!plan.failScript);
}

bool COperationControl::StartOperation(int step)
{
    const StepPlan plan = PlanStartOperation(step, m_flags, Shape(), Query());
    Apply(plan);
    return plan.result;
}

void COperationControl::OnStepTimer(int timer)
{
    if (timer == m_nArmedTimer)
        m_nArmedTimer = 0;
    MarkWalkOnTimer(timer, m_flags, Shape());
}

void COperationControl::LogElapsed()
{
    if (m_hooks.log)
        m_hooks.log(ElapsedLine(g_StopWatch.ElapsedSeconds()), LineTone::Info);
}

void COperationControl::OnResult(const StepResult& given)
{
    g_StopWatch.Stop();
    StepResult result = given;
    result.kind = KindUnderLinkWatch(result.kind, m_hooks.isLinkMarkedLost && m_hooks.isLinkMarkedLost());
    ReportContext context;
    context.inWalk = m_flags.bufferRun;
    const bool doubleWrite = m_hooks.isDoubleWriteChecked && m_hooks.isDoubleWriteChecked();
    const StepPlan plan = PlanAfterResult(result, m_flags, Shape(), doubleWrite, Query());
    context.walkEnded = plan.walkEnded;
    context.secondPassArmed = plan.secondPass;

    const CompletionReport report = MakeCompletionReport(result, context);
    // A cancel has logged the elapsed time already, when it was asked for.
    if (report.elapsedFirst && result.kind != StepKind::Cancelled)
        LogElapsed();
    if (m_hooks.log) {
        for (const ReportLine& line : report.lines)
            m_hooks.log(line.text, line.tone);
    }
    if (plan.configWordsSkipped && m_hooks.log)
        m_hooks.log(kConfigNotSuppliedLine, LineTone::Info);
    Apply(plan);
    if (IsFailure(result.kind) && m_hooks.showFailure)
        m_hooks.showFailure();
    if (!report.boxText.empty() && m_hooks.box)
        m_hooks.box(report.boxText, report.boxCaption, MB_OK);
    if (plan.configWords != StepOperation::None) {
        if (m_hooks.runConfigWords)
            m_hooks.runConfigWords(plan.configWords);
        else
            OnConfigWordsResult(plan.configWords, StepKind::Done);
    }
}

void COperationControl::OnConfigWordsResult(StepOperation operation, StepKind kind)
{
    g_StopWatch.Stop();
    const bool cancelled = m_flags.walkCancelled;
    Apply(PlanAfterConfigWords(operation, kind, m_flags, Query()));
    if ((IsFailure(kind) || cancelled) && m_hooks.showFailure)
        m_hooks.showFailure();
}

void COperationControl::Cancel()
{
    if (m_hooks.requestCancel)
        m_hooks.requestCancel();
    CancelRun(m_flags);
    LogElapsed();
    // A step already armed would still start after the cancel; with it the run ends here, as no
    // result will come.
    if (m_nArmedTimer != 0) {
        if (m_hooks.killTimer)
            m_hooks.killTimer(m_nArmedTimer);
        m_nArmedTimer = 0;
        Apply(PlanCancelBetweenSteps(m_flags));
        if (m_hooks.showFailure)
            m_hooks.showFailure();
    }
}

void COperationControl::EndRun()
{
    Apply(PlanCancelBetweenSteps(m_flags));
}

void COperationControl::EndReadSequence()
{
    Apply(PlanEndWalk(StepOperation::Read, m_flags, Query()));
}

bool COperationControl::PrepareOperation(PrepareInput input)
{
    input.adapterConfirmed = m_bAdapterConfirmed;
    const PrepareDecision decision = CheckPrepareOperation(input);
    switch (decision.verdict) {
    case PrepareVerdict::Go:
        return true;
    case PrepareVerdict::AskAdapter:
        if (m_hooks.confirmAdapter && m_hooks.confirmAdapter()) {
            m_bAdapterConfirmed = true;
            return true;
        }
        break;
    default:
        break;
    }
    if (decision.progressState != 0 && m_hooks.beginProgress)
        m_hooks.beginProgress(decision.progressState);
    if (!decision.logLine.empty() && m_hooks.log)
        m_hooks.log(decision.logLine, LineTone::Error);
    if (decision.verdict != PrepareVerdict::Busy)
        Apply(PlanCancelBetweenSteps(m_flags));
    if (!decision.boxText.empty() && m_hooks.box) {
        if (decision.boxCaption.empty())
            m_hooks.box(decision.boxText, platform::kAppTitle, MB_OK);
        else
            m_hooks.box(decision.boxText, decision.boxCaption, MB_OK);
    }
    return false;
}
