#pragma once
// When a device operation may start, what comes after it, and how a run walks the buffers: the
// decisions of the main view's operation control as pure functions over small values, so that
// the view only carries them out (arms the timer, shows the tab, enables the controls).
//
// Operations are numbered as the operation states and the header pane's check boxes: 3 read,
// 4 write, 5 erase, 6 verify, 7 blank check, 9 ID check, 10 lock. Each is started by a one-shot
// view timer: 1 read, 2 write, 3 erase, 4 verify, 5 blank check, 7 lock, 9 ID check.
//
// Only a done result carries a run on. A failure, a cancel, a lost link or a step that was
// refused ends the automatic run and any buffer walk, and fails a running script.

#include <cstdint>
#include <functional>
#include <string>

enum class StepOperation : int {
    None = 0,
    Read = 3,
    Write = 4,
    Erase = 5,
    Verify = 6,
    BlankCheck = 7,
    IdCheck = 9,
    Lock = 10,
};

// How a step ended. Refused: it never started (its preparation or its plan said no).
enum class StepKind { Done, Failed, Cancelled, LinkLost, Refused };

// The end of one step as the completions see it. The data pump's result maps onto it field by
// field (its operations carry the same numbers).
struct StepResult {
    StepOperation operation = StepOperation::Read;
    StepKind kind = StepKind::Failed;
    // Verify and blank check: the buffer offset of the first mismatch. Write: the device byte
    // address of the failure, or the position reached on a cancel.
    std::uint32_t address = 0;
    std::uint8_t deviceByte = 0; // read from the device (a write failure: the byte read back)
    std::uint8_t bufferByte = 0; // expected there
    // Write failure: the address lies inside the written range, so there is a buffer byte to show.
    bool addressInBuffer = true;
    // Failed: the serial EEPROM did not acknowledge this device address (0: not this failure).
    std::uint8_t unansweredAddress = 0;
};

// The view's run state.
struct OperationRunFlags {
    bool autoRun = false; // m_bAutoRun: a run over the header pane's check boxes
    bool bufferRun = false; // m_bBufferRun: a walk over the device's buffers
    bool bufferRunVerifyData = false; // m_bBufferRunVerifyData
    bool bufferRunWrite = false; // m_bBufferRunWrite: the walk writes (cleared with bufferRun)
    bool writeRepeated = false; // m_bWriteRepeated: the second pass of a double write is armed
    int bufferIndex = 0; // m_nBufferIndex
    // A cancel stopped a walk; its result (or the cancel itself, between steps) takes the walk
    // back to buffer 0.
    bool walkCancelled = false;

    friend bool operator==(const OperationRunFlags&, const OperationRunFlags&) = default;
};

// What a walk needs to know of the selected device.
struct DeviceShape {
    bool hasData = false; // a data (EEPROM) size above 0
    bool hasConfig = false; // a configuration descriptor (PIC)
    bool configSupplied = false; // its configuration words were loaded, read or set by the user
};

// The header pane's check box of an operation number (IsAutoStepEnabled).
using AutoStepQuery = std::function<bool(int operation)>;

inline constexpr int kAutoRunOrder[] = { 9, 3, 5, 7, 4, 6, 10 };
inline constexpr int kStepPeriodMs = 100;
inline constexpr int kSecondPassPeriodMs = 500;
inline constexpr int kTimerWrite = 2;

// The timer that starts an operation; 0 for none.
int TimerOfOperation(int operation);
// The operation a step timer starts; None for the others.
StepOperation OperationOfTimer(int timer);
// Where an automatic run goes on after a done operation: ID check 3, read 5, erase 7, blank check
// 4, write 6, verify 10; 0 after the lock (the chain ends) and for anything else.
int NextStepAfter(StepOperation operation);

// A cancel that came while the link watch had marked the link lost is a lost link.
inline StepKind KindUnderLinkWatch(StepKind kind, bool linkMarkedLost)
{
    return kind == StepKind::Cancelled && linkMarkedLost ? StepKind::LinkLost : kind;
}

// Whether a write failure's device byte address lies in the range the write covered (from the
// device address of buffer offset 0, `endPosition` bytes), so that the buffer's byte there is shown.
inline bool WriteAddressInRange(std::uint32_t address, std::uint32_t startAddress, int endPosition)
{
    return address >= startAddress && endPosition > 0
        && address - startAddress < static_cast<std::uint32_t>(endPosition);
}

// What the view does after a decision.
struct StepPlan {
    bool result = false; // StartOperation's return: 1 for steps 3 to 10
    int timer = 0; // the timer to arm; 0: none
    int periodMs = kStepPeriodMs;
    bool showBufferTab = false; // ShowBufferTab(1) with the flags' buffer index
    bool enableControls = false; // EnableControls(0)
    bool walkEnded = false; // a buffer walk reached its normal end here
    bool failScript = false; // a running script fails (g_bScriptRunning 0, g_bScriptCommandDone 1)
    bool secondPass = false; // the second pass of a double write is armed (timer 2, 500 ms)
    // Write or Verify: a write or verify walk has done buffer 2, and the configuration words come
    // next; their result goes to PlanAfterConfigWords. Nothing else is planned.
    StepOperation configWords = StepOperation::None;
    // The walk ended without the configuration words, which nobody supplied: the view says so.
    bool configWordsSkipped = false;
};

// StartOperation(step): 3 to 10 go on with the automatic run from that operation's place, 13 to
// 22 take a walk's next buffer. Updates `flags`.
StepPlan PlanStartOperation(int step, OperationRunFlags& flags, const DeviceShape& shape, const AutoStepQuery& checked);

// A step timer fired: timer 4 (and in an automatic run timers 2 and 5) marks a buffer walk when
// the device has more than its code buffer.
void MarkWalkOnTimer(int timer, OperationRunFlags& flags, const DeviceShape& shape);

// The buffer walk step that follows a done operation on buffer `bufferIndex`: 17/18 for a write,
// 19/20 for a verify, 21/22 for a blank check; 0 when the walk ends there.
int NextWalkStep(StepOperation operation, int bufferIndex);

// After a step's result: the walk's next buffer, the second pass of a double write, the next
// operation of the automatic run, or the end. Updates `flags`.
StepPlan PlanAfterResult(const StepResult& result, OperationRunFlags& flags, const DeviceShape& shape,
    bool doubleWriteChecked, const AutoStepQuery& checked);

// After the configuration words were written or verified (`walked`), at the end of a walk or as a
// step of their own on buffer 3: done ends the walk as its last buffer would have, or goes on as
// after that operation; anything else ends the run and fails a script.
StepPlan PlanAfterConfigWords(
    StepOperation walked, StepKind kind, OperationRunFlags& flags, const AutoStepQuery& checked);

// A walk's normal end after `walked` (a read sequence's last buffer, or the last buffer of a
// write, verify or blank-check walk): flags cleared, buffer 0, and the automatic run going on
// after the walked operation. Updates `flags`.
StepPlan PlanEndWalk(StepOperation walked, OperationRunFlags& flags, const AutoStepQuery& checked);

// The end of a run by a cancel (WM_CANCEL_OPERATION): the three run flags cleared.
void CancelRun(OperationRunFlags& flags);
// A cancel that found no step running (it killed the armed one): the run ends here.
StepPlan PlanCancelBetweenSteps(OperationRunFlags& flags);

// --- PrepareOperation --------------------------------------------------------------------------

struct PrepareInput {
    int state = 1; // g_nOperationState
    bool leaseHeld = false; // the programmer lease is held (a device setup runs)
    bool exchangeRunning = false; // a run's short exchange holds the link while the state stays 1
    int classIndex = 0; // g_nCurrentClass
    bool setupReady = true; // the last device setup left the device ready
    std::string setupMessage; // why it did not
    bool adapterConfirmed = false; // the adapter reminder was answered OK for this command
};

enum class PrepareVerdict {
    Go,
    Disconnected, // state 0: text 49 logged
    Busy, // another state but 1 (BeginProgress(state) for 3 to 7), or a run's exchange in flight
    LeaseHeld, // text 73 logged
    NoDevice, // box text 81, caption text 50
    NotReady, // the setup's message in a box
    AskAdapter, // the adapter reminder first; OK goes on, Cancel refuses
};

struct PrepareDecision {
    PrepareVerdict verdict = PrepareVerdict::Go;
    int progressState = 0; // BeginProgress(progressState) when not 0
    std::string logLine; // a line for the message log ("\r\n" ended) when not empty
    std::string boxText; // a box when not empty
    std::string boxCaption;
};

// The ordered checks before every step, as a pure function.
PrepareDecision CheckPrepareOperation(const PrepareInput& input);

// Classes that need the adapter reminder.
bool NeedsAdapterDialog(int classIndex);
