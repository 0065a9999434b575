#include "operations/OperationFlow.h"

#include "catalogue/DeviceClass.h"
#include "shell/Language.h"

int TimerOfOperation(int operation)
{
    switch (operation) {
    case 3:
        return 1;
    case 4:
        return 2;
    case 5:
        return 3;
    case 6:
        return 4;
    case 7:
        return 5;
    case 9:
        return 9;
    case 10:
        return 7;
    default:
        return 0;
    }
}

StepOperation OperationOfTimer(int timer)
{
    switch (timer) {
    case 1:
        return StepOperation::Read;
    case 2:
        return StepOperation::Write;
    case 3:
        return StepOperation::Erase;
    case 4:
        return StepOperation::Verify;
    case 5:
        return StepOperation::BlankCheck;
    case 7:
        return StepOperation::Lock;
    case 9:
        return StepOperation::IdCheck;
    default:
        return StepOperation::None;
    }
}

int NextStepAfter(StepOperation operation)
{
    switch (operation) {
    case StepOperation::IdCheck:
        return 3;
    case StepOperation::Read:
        return 5;
    case StepOperation::Erase:
        return 7;
    case StepOperation::BlankCheck:
        return 4;
    case StepOperation::Write:
        return 6;
    case StepOperation::Verify:
        return 10;
    default:
        return 0;
    }
}

namespace {

// Arms `timer` for the buffer `index` of a walk.
StepPlan WalkTo(OperationRunFlags& flags, int index, int timer)
{
    flags.bufferIndex = index;
    if (timer == kTimerWrite)
        flags.writeRepeated = false;
    StepPlan plan;
    plan.timer = timer;
    plan.showBufferTab = true;
    return plan;
}

StepPlan PlanAutoRun(int step, OperationRunFlags& flags, const AutoStepQuery& checked)
{
    StepPlan plan;
    plan.result = true;
    bool reached = false;
    for (int operation : kAutoRunOrder) {
        reached = reached || operation == step;
        if (!reached || !checked || !checked(operation))
            continue;
        plan.timer = TimerOfOperation(operation);
        if (operation == 4)
            flags.writeRepeated = false;
        plan.enableControls = operation == 10 || !flags.autoRun;
        return plan;
    }
    flags.autoRun = false;
    plan.enableControls = true;
    return plan;
}

// After a done operation: the automatic run goes on with what follows it, or the run ends and
// the controls come back.
StepPlan GoOnAfter(StepOperation done, OperationRunFlags& flags, const AutoStepQuery& checked)
{
    StepPlan plan;
    const int next = NextStepAfter(done);
    if (flags.autoRun && next != 0) {
        plan = PlanAutoRun(next, flags, checked);
        plan.result = false;
        return plan;
    }
    flags.autoRun = false;
    plan.enableControls = true;
    return plan;
}

// A walk's normal end: back to buffer 0, then the automatic run goes on after the walked
// operation.
StepPlan EndWalk(StepOperation walked, OperationRunFlags& flags, const AutoStepQuery& checked)
{
    flags.bufferRun = false;
    flags.bufferRunVerifyData = false;
    flags.bufferRunWrite = false;
    flags.bufferIndex = 0;
    StepPlan plan = GoOnAfter(walked, flags, checked);
    plan.showBufferTab = true;
    plan.walkEnded = true;
    return plan;
}

StepOperation WalkedOperation(int step)
{
    if (step <= 16)
        return StepOperation::Read;
    if (step <= 18)
        return StepOperation::Write;
    if (step <= 20)
        return StepOperation::Verify;
    return StepOperation::BlankCheck;
}

StepPlan PlanWalk(int step, OperationRunFlags& flags, const DeviceShape& shape, const AutoStepQuery& checked)
{
    const bool data = shape.hasData;
    const bool config = shape.hasConfig;
    switch (step) {
    case 14:
        if (data)
            return WalkTo(flags, 1, 1);
        [[fallthrough]];
    case 13:
        if (config)
            return WalkTo(flags, 2, 1);
        break;
    case 15:
        return WalkTo(flags, 0, 1);
    case 16:
        if (config)
            return WalkTo(flags, 3, 1);
        break;
    case 17:
        // A PIC without EEPROM has no buffer 1 to write: straight on to its configuration.
        if (data)
            return WalkTo(flags, 1, 2);
        [[fallthrough]];
    case 18:
        if (config)
            return WalkTo(flags, 2, 2);
        break;
    case 19:
        if (data)
            return WalkTo(flags, 1, 4);
        [[fallthrough]];
    case 20:
        if (config)
            return WalkTo(flags, 2, 4);
        break;
    case 21:
        if (data)
            return WalkTo(flags, 1, 5);
        [[fallthrough]];
    case 22:
        if (config)
            return WalkTo(flags, 2, 5);
        break;
    default:
        break;
    }
    return EndWalk(WalkedOperation(step), flags, checked);
}

} // namespace

StepPlan PlanStartOperation(int step, OperationRunFlags& flags, const DeviceShape& shape, const AutoStepQuery& checked)
{
    if (step >= 3 && step <= 10)
        return PlanAutoRun(step, flags, checked);
    if (step >= 13 && step <= 22)
        return PlanWalk(step, flags, shape, checked);
    StepPlan plan;
    plan.enableControls = !flags.autoRun;
    return plan;
}

void MarkWalkOnTimer(int timer, OperationRunFlags& flags, const DeviceShape& shape)
{
    if (!shape.hasData && !shape.hasConfig)
        return;
    if (timer == 4 || (flags.autoRun && (timer == 2 || timer == 5)))
        flags.bufferRun = true;
}

int NextWalkStep(StepOperation operation, int bufferIndex)
{
    int first = 0;
    switch (operation) {
    case StepOperation::Write:
        first = 17;
        break;
    case StepOperation::Verify:
        first = 19;
        break;
    case StepOperation::BlankCheck:
        first = 21;
        break;
    default:
        return 0;
    }
    if (bufferIndex == 0 || bufferIndex == 1)
        return first + bufferIndex;
    return 0;
}

StepPlan PlanAfterResult(const StepResult& result, OperationRunFlags& flags, const DeviceShape& shape,
    bool doubleWriteChecked, const AutoStepQuery& checked)
{
    const bool secondPassEnded = result.operation == StepOperation::Write && flags.writeRepeated;
    if (secondPassEnded)
        flags.writeRepeated = false;

    StepPlan plan;
    if (result.kind != StepKind::Done)
        return PlanCancelBetweenSteps(flags);

    if (result.operation == StepOperation::Write && doubleWriteChecked && !secondPassEnded) {
        flags.writeRepeated = true;
        plan.timer = kTimerWrite;
        plan.periodMs = kSecondPassPeriodMs;
        plan.secondPass = true;
        return plan;
    }

    if (flags.bufferRun) {
        const int walkStep = NextWalkStep(result.operation, flags.bufferIndex);
        if (walkStep != 0)
            return PlanWalk(walkStep, flags, shape, checked);
        const bool writeOrVerify
            = result.operation == StepOperation::Write || result.operation == StepOperation::Verify;
        if (writeOrVerify && flags.bufferIndex == 2 && shape.hasConfig) {
            if (shape.configSupplied) {
                plan.configWords = result.operation;
                return plan;
            }
            plan = EndWalk(result.operation, flags, checked);
            plan.configWordsSkipped = true;
            return plan;
        }
        if (result.operation == StepOperation::Write || result.operation == StepOperation::Verify
            || result.operation == StepOperation::BlankCheck)
            return EndWalk(result.operation, flags, checked);
    }

    return GoOnAfter(result.operation, flags, checked);
}

StepPlan PlanAfterConfigWords(
    StepOperation walked, StepKind kind, OperationRunFlags& flags, const AutoStepQuery& checked)
{
    // A cancel while they were written ended the walk: it ends here, back at buffer 0.
    if (kind != StepKind::Done || flags.walkCancelled)
        return PlanCancelBetweenSteps(flags);
    if (flags.bufferRun)
        return EndWalk(walked, flags, checked);
    // A step of their own (buffer 3): the run goes on as after the operation.
    return GoOnAfter(walked, flags, checked);
}

StepPlan PlanEndWalk(StepOperation walked, OperationRunFlags& flags, const AutoStepQuery& checked)
{
    return EndWalk(walked, flags, checked);
}

void CancelRun(OperationRunFlags& flags)
{
    flags.walkCancelled = flags.walkCancelled || flags.bufferRun;
    flags.autoRun = false;
    flags.bufferRun = false;
    flags.bufferRunVerifyData = false;
    flags.bufferRunWrite = false;
}

StepPlan PlanCancelBetweenSteps(OperationRunFlags& flags)
{
    const bool walked = flags.bufferRun || flags.walkCancelled;
    CancelRun(flags);
    flags.walkCancelled = false;
    StepPlan plan;
    if (walked) {
        flags.bufferIndex = 0;
        plan.showBufferTab = true;
    }
    plan.enableControls = true;
    plan.failScript = true;
    return plan;
}

bool NeedsAdapterDialog(int classIndex)
{
    return classIndex == 3 || classIndex == 310 || classIndex == 311;
}

PrepareDecision CheckPrepareOperation(const PrepareInput& input)
{
    PrepareDecision decision;
    if (input.state != 1) {
        decision.verdict = PrepareVerdict::Busy;
        if (input.state >= 3 && input.state <= 7)
            decision.progressState = input.state;
        else if (input.state == 0) {
            decision.verdict = PrepareVerdict::Disconnected;
            decision.logLine = g_Language.GetText(49) + "\r\n";
        }
        return decision;
    }
    if (input.exchangeRunning) {
        decision.verdict = PrepareVerdict::Busy;
        return decision;
    }
    if (input.leaseHeld) {
        decision.verdict = PrepareVerdict::LeaseHeld;
        decision.logLine = g_Language.GetText(73) + "\r\n";
        return decision;
    }
    if (input.classIndex == kNoDeviceClass) {
        decision.verdict = PrepareVerdict::NoDevice;
        decision.boxText = g_Language.GetText(81);
        decision.boxCaption = g_Language.GetText(50);
        return decision;
    }
    if (!input.setupReady) {
        decision.verdict = PrepareVerdict::NotReady;
        decision.boxText = input.setupMessage;
        return decision;
    }
    if (NeedsAdapterDialog(input.classIndex) && !input.adapterConfirmed) {
        decision.verdict = PrepareVerdict::AskAdapter;
        return decision;
    }
    return decision;
}
