#pragma once
// The run state of the main view's operation control and the carrying out of its plans, with the
// view's windows reached through hooks: arming and killing its one-shot timers, the buffer tab,
// the controls, the message log and boxes. The view owns one, forwards its step timers, the step
// results and Cancel to it, and does the rest of each completion (joining the pump, the
// power-down, the pin drivers, the state and the lease) around OnResult.

#include "operations/CompletionReport.h"
#include "operations/OperationFlow.h"

#include "platform/WinTypes.h"

#include <functional>
#include <string>

struct OperationControlHooks {
    std::function<void(int timer, int periodMs)> armTimer;
    std::function<void(int timer)> killTimer;
    std::function<void(int bufferIndex)> showBufferTab;
    std::function<void(bool busy)> enableControls;
    std::function<void(const std::string& line, LineTone tone)> log;
    std::function<int(const std::string& text, const std::string& caption, UINT type)> box;
    // What the header pane and the selected device say now.
    std::function<bool(int operation)> isAutoStepEnabled;
    std::function<bool()> isDoubleWriteChecked;
    std::function<DeviceShape()> deviceShape;
    // Sets the pump's cancel flag.
    std::function<void()> requestCancel;
    // The link watch has marked the link lost.
    std::function<bool()> isLinkMarkedLost;
    // Shows the progress window again for the operation state running.
    std::function<void(int state)> beginProgress;
    // The adapter reminder of the selected device; true for OK.
    std::function<bool()> confirmAdapter;
    // A write or verify walk has done buffer 2: writes or verifies the configuration words
    // (StepOperation Write or Verify) and later hands their result to OnConfigWordsResult.
    std::function<void(StepOperation operation)> runConfigWords;
    // A run has ended, as a whole: done, or failed (a failure, a cancel, a lost link, a refusal).
    // Every end of a run passes here, once, after its plan's flags, timer and controls.
    std::function<void(bool done)> runEnded;
    // A step ended in a failure, a cancel or a lost link; its lines are logged and the run's end
    // carried out.
    std::function<void()> showFailure;
};

class COperationControl {
public:
    explicit COperationControl(OperationControlHooks hooks);

    // A new user or script command: its first step shows the adapter reminder again.
    void BeginCommand() { m_bAdapterConfirmed = false; }
    // PrepareOperation before every step: true when it may start. A refusal while idle ends the
    // run (and fails a running script); one because another operation runs leaves that alone.
    bool PrepareOperation(PrepareInput input);

    // StartOperation(step): the return byte (1 for steps 3 to 10).
    bool StartOperation(int step);
    // A step timer fired (the view has killed it): marks a buffer walk where it starts one.
    void OnStepTimer(int timer);
    // A step's result, after the common part of the completion: the elapsed line, the result's
    // lines, the run going on or ending, and last its box.
    void OnResult(const StepResult& result);
    // The configuration words were written or verified (after a walk's buffer 2, or as a step on
    // buffer 3): the run goes on or ends, as after any step.
    void OnConfigWordsResult(StepOperation operation, StepKind kind);
    // WM_CANCEL_OPERATION.
    void Cancel();
    // A step that did not start (refused by its own checks): the run ends, a script fails.
    void EndRun();
    // A read sequence's normal end after its last buffer: flags cleared, buffer 0, and the
    // automatic run going on after the read.
    void EndReadSequence();
    // The elapsed line of the operation just ended.
    void LogElapsed();

    const OperationRunFlags& Flags() const { return m_flags; }
    OperationRunFlags& Flags() { return m_flags; }
    // The step timer armed and not yet fired; 0 for none.
    int ArmedTimer() const { return m_nArmedTimer; }

private:
    void Apply(const StepPlan& plan);
    DeviceShape Shape() const;
    AutoStepQuery Query() const;

    OperationControlHooks m_hooks;
    OperationRunFlags m_flags;
    int m_nArmedTimer = 0;
    bool m_bAdapterConfirmed = false;
};
