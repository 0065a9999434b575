#include "operations/OperationControl.h"
#include "operations/ScriptFlags.h"
#include "operations/StopWatch.h"

#include "LanguageFixture.h"

#include "catalogue/DeviceClass.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// A view that records what the control asks of it, one event per call.
class OperationControlTest : public BuiltInTexts {
protected:
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::vector<std::string> events;
    std::vector<std::string> ends; // the runs' ends, apart from the other events
    std::set<int> checked;
    bool doubleWrite = false;
    bool adapterAnswer = true;
    bool linkLost = false;
    DeviceShape shape;
    COperationControl control { Hooks() };

    OperationControlHooks Hooks()
    {
        OperationControlHooks h;
        h.armTimer = [this](int t, int ms) { events.push_back("arm " + std::to_string(t) + "/" + std::to_string(ms)); };
        h.killTimer = [this](int t) { events.push_back("kill " + std::to_string(t)); };
        h.showBufferTab = [this](int i) { events.push_back("tab " + std::to_string(i)); };
        h.enableControls = [this](bool busy) { events.push_back(busy ? "busy" : "enable"); };
        h.log = [this](const std::string& line, LineTone) { events.push_back("log " + line); };
        h.box = [this](const std::string& text, const std::string& caption, UINT) {
            events.push_back("box " + text + " | " + caption);
            return IDOK;
        };
        h.isAutoStepEnabled = [this](int op) { return checked.count(op) != 0; };
        h.isDoubleWriteChecked = [this] { return doubleWrite; };
        h.deviceShape = [this] { return shape; };
        h.requestCancel = [this] { events.push_back("cancel"); };
        h.isLinkMarkedLost = [this] { return linkLost; };
        h.beginProgress = [this](int state) { events.push_back("progress " + std::to_string(state)); };
        h.confirmAdapter = [this] {
            events.push_back("adapter?");
            return adapterAnswer;
        };
        h.runEnded = [this](bool done) { ends.push_back(done ? "run done" : "run failed"); };
        return h;
    }

    // Fires the armed timer and ends its step with `kind`, one second of pump time later.
    StepOperation Step(StepKind kind = StepKind::Done, std::uint32_t address = 0)
    {
        const int timer = control.ArmedTimer();
        control.OnStepTimer(timer);
        g_StopWatch.Start();
        clock->Advance(1100ms);
        StepResult r;
        r.operation = OperationOfTimer(timer);
        r.kind = kind;
        r.address = address;
        control.OnResult(r);
        return r.operation;
    }

    int Count(const std::string& event) const
    {
        return static_cast<int>(std::count(events.begin(), events.end(), event));
    }
    int Ends(const std::string& end) const { return static_cast<int>(std::count(ends.begin(), ends.end(), end)); }
    int IndexOf(const std::string& event) const
    {
        return static_cast<int>(std::find(events.begin(), events.end(), event) - events.begin());
    }

    void TearDown() override
    {
        g_bScriptRunning = false;
        g_bScriptCommandDone = false;
        BuiltInTexts::TearDown();
    }
};

TEST_F(OperationControlTest, WriteVerifyLockOnAPicWalksAndLogsEachBuffer)
{
    shape = { false, true };
    checked = { 4, 6, 10 };
    control.Flags().autoRun = true;
    EXPECT_TRUE(control.StartOperation(9));
    std::vector<StepOperation> ran;
    while (control.ArmedTimer() != 0 && ran.size() < 20)
        ran.push_back(Step());
    EXPECT_EQ(ran,
        (std::vector<StepOperation> { StepOperation::Write, StepOperation::Write, StepOperation::Verify,
            StepOperation::Verify, StepOperation::Lock }));
    EXPECT_EQ(Count("log Device write completed\r\n"), 2);
    EXPECT_EQ(Count("log OK\r\n"), 2);
    EXPECT_EQ(Count("log Device is verified\r\n"), 1);
    EXPECT_EQ(Count("log Elapsed time: 1.00 seconds.\r\n"), 4);
    EXPECT_GT(IndexOf("log Device is verified\r\n"), IndexOf("log OK\r\n"));
    EXPECT_EQ(Count("arm 7/100"), 1) << "the lock step comes after the walks";
    EXPECT_EQ(Count("tab 2"), 2);
    EXPECT_EQ(events.back(), "enable");
    EXPECT_EQ(control.Flags(), OperationRunFlags {});
}

// A script line waits for the end of the whole run: it comes once, after its last step.
TEST_F(OperationControlTest, EveryRunEndsOnceAfterItsLastStep)
{
    // A batch walking a PIC's buffers: write, verify, lock.
    shape = { false, true };
    checked = { 4, 6, 10 };
    control.Flags().autoRun = true;
    control.StartOperation(9);
    while (control.ArmedTimer() != 0) {
        EXPECT_EQ(Ends("run done"), 0) << "a run ended between its steps";
        Step();
    }
    EXPECT_EQ(Ends("run done"), 1);
    EXPECT_EQ(ends, std::vector<std::string> { "run done" });

    // A double write: after the second pass only.
    events.clear();
    ends.clear();
    shape = {};
    checked.clear();
    doubleWrite = true;
    control.OnStepTimer(2);
    control.OnResult({ .operation = StepOperation::Write, .kind = StepKind::Done });
    EXPECT_EQ(Count("arm 2/500"), 1);
    EXPECT_EQ(Ends("run done"), 0);
    Step();
    EXPECT_EQ(Ends("run done"), 1);

    // A failure, and a cancel between two steps.
    events.clear();
    ends.clear();
    doubleWrite = false;
    control.OnStepTimer(2);
    control.OnResult({ .operation = StepOperation::Write, .kind = StepKind::Failed });
    EXPECT_EQ(Ends("run failed"), 1);
    EXPECT_EQ(Ends("run done"), 0);
    events.clear();
    ends.clear();
    checked = { 4, 6 };
    control.Flags().autoRun = true;
    control.StartOperation(4);
    control.Cancel();
    EXPECT_EQ(Ends("run failed"), 1);
}

TEST_F(OperationControlTest, AVerifyMismatchStopsTheRunAndTheScript)
{
    checked = { 4, 6, 10 };
    g_bScriptRunning = true;
    control.Flags().autoRun = true;
    control.StartOperation(9);
    EXPECT_EQ(Step(), StepOperation::Write);
    EXPECT_EQ(Step(StepKind::Failed, 0x1234), StepOperation::Verify);
    EXPECT_EQ(control.ArmedTimer(), 0) << "no lock after a failed verify";
    EXPECT_EQ(Count("arm 7/100"), 0);
    EXPECT_FALSE(g_bScriptRunning);
    EXPECT_TRUE(g_bScriptCommandDone);
    EXPECT_EQ(events.back(), "enable");
}

TEST_F(OperationControlTest, ABlankCheckFailureBoxComesAfterItsLinesAndStateChanges)
{
    checked = { 7, 4 };
    control.Flags().autoRun = true;
    control.StartOperation(9);
    EXPECT_EQ(Step(StepKind::Failed, 0x1234), StepOperation::BlankCheck);
    const int box = IndexOf("box Device blank check failed at address:  0x001234, Read= 0x00. | Blank Check");
    ASSERT_LT(box, static_cast<int>(events.size()));
    EXPECT_EQ(box, static_cast<int>(events.size()) - 1);
    EXPECT_LT(IndexOf("log Blank check failed\r\n"), box);
    EXPECT_LT(IndexOf("enable"), box);
    EXPECT_EQ(Count("arm 2/100"), 0) << "no write after a failed blank check";
}

TEST_F(OperationControlTest, CancelKillsTheArmedStepAndTheCancelledWriteHasNoBox)
{
    checked = { 4, 6 };
    control.Flags().autoRun = true;
    control.StartOperation(9);
    control.OnStepTimer(control.ArmedTimer());
    g_StopWatch.Start();
    clock->Advance(600ms);
    control.Cancel();
    EXPECT_EQ(Count("cancel"), 1);
    EXPECT_EQ(Count("log Elapsed time: 0.50 seconds.\r\n"), 1);
    control.OnResult({ .operation = StepOperation::Write, .kind = StepKind::Cancelled });
    EXPECT_EQ(Count("log Device write cancelled\r\n"), 1);
    EXPECT_EQ(control.ArmedTimer(), 0);
    for (const std::string& e : events)
        EXPECT_NE(e.rfind("box", 0), 0u) << e;

    // A cancel between two steps: the armed step never starts.
    events.clear();
    control.Flags().autoRun = true;
    control.StartOperation(4);
    ASSERT_EQ(control.ArmedTimer(), 2);
    g_bScriptRunning = true;
    control.Cancel();
    EXPECT_EQ(Count("kill 2"), 1);
    EXPECT_EQ(control.ArmedTimer(), 0);
    EXPECT_FALSE(control.Flags().autoRun);
    EXPECT_EQ(events.back(), "enable") << "no result will come to give the controls back";
    EXPECT_FALSE(g_bScriptRunning);
}

TEST_F(OperationControlTest, ACancelledWalkEndsAtBufferZero)
{
    shape = { true, true };
    control.Flags().bufferIndex = 0;
    control.OnStepTimer(4); // a manual verify on a PIC walks
    g_StopWatch.Start();
    const StepResult done { .operation = StepOperation::Verify, .kind = StepKind::Done };
    control.OnResult(done);
    ASSERT_EQ(control.ArmedTimer(), 4);
    EXPECT_EQ(control.Flags().bufferIndex, 1);

    // Cancelled while buffer 1 is verified: the pump's cancelled result ends the walk.
    control.OnStepTimer(4);
    control.Cancel();
    EXPECT_EQ(control.Flags().bufferIndex, 1) << "the buffer stays while the pump still works on it";
    StepResult cancelled = done;
    cancelled.kind = StepKind::Cancelled;
    control.OnResult(cancelled);
    EXPECT_EQ(control.Flags(), OperationRunFlags {});
    EXPECT_EQ(events.back(), "enable");
    EXPECT_EQ(Count("tab 0"), 1);
    EXPECT_EQ(control.ArmedTimer(), 0);

    // Cancelled between two buffers: the armed step is killed and the walk ends at once.
    events.clear();
    control.OnStepTimer(4);
    control.OnResult(done);
    ASSERT_EQ(control.ArmedTimer(), 4);
    control.Cancel();
    EXPECT_EQ(Count("kill 4"), 1);
    EXPECT_EQ(Count("tab 0"), 1);
    EXPECT_EQ(control.Flags(), OperationRunFlags {});
}

TEST_F(OperationControlTest, ACancelUnderALostLinkIsALostLink)
{
    checked = { 6 };
    control.Flags().autoRun = true;
    control.StartOperation(6);
    linkLost = true;
    EXPECT_EQ(Step(StepKind::Cancelled, 0x40), StepOperation::Verify);
    EXPECT_EQ(Count("log USB connection lost!\r\n"), 1);
    EXPECT_EQ(Count("log Device verify cancelled, Address=0x000040\r\n"), 0);
    for (const std::string& e : events)
        EXPECT_NE(e.rfind("box", 0), 0u) << "the link watch shows the one box: " << e;
    EXPECT_FALSE(control.Flags().autoRun);
}

TEST_F(OperationControlTest, DoubleWriteLogsOnceAfterTheSecondPass)
{
    checked = { 4 };
    doubleWrite = true;
    control.Flags().autoRun = true;
    control.StartOperation(4);
    Step();
    EXPECT_EQ(control.ArmedTimer(), 2);
    EXPECT_EQ(Count("arm 2/500"), 1);
    EXPECT_EQ(Count("log Device write completed\r\n"), 0);
    Step();
    EXPECT_EQ(Count("log Device write completed\r\n"), 1);
    EXPECT_EQ(Count("log Elapsed time: 1.00 seconds.\r\n"), 1);
    EXPECT_EQ(control.ArmedTimer(), 0);
    EXPECT_FALSE(control.Flags().writeRepeated);
}

PrepareInput Idle(int classIndex)
{
    PrepareInput input;
    input.state = 1;
    input.classIndex = classIndex;
    return input;
}

TEST_F(OperationControlTest, PrepareOperationRefusalsEndTheRunButNotAnotherOperation)
{
    struct Case {
        const char* name;
        PrepareInput input;
        bool adapterAnswer;
        bool go;
        std::vector<std::string> events;
        bool runEnds;
    };
    PrepareInput writing = Idle(200);
    writing.state = 4;
    PrepareInput down = Idle(200);
    down.state = 0;
    PrepareInput leased = Idle(200);
    leased.leaseHeld = true;
    PrepareInput notReady = Idle(200);
    notReady.setupReady = false;
    notReady.setupMessage = "Please load the firmware first.";
    const Case cases[] = {
        { "idle", Idle(200), true, true, {}, false },
        { "writing", writing, true, false, { "progress 4" }, false },
        { "disconnected", down, true, false,
            { "log Did not get response from programmer.\r\nDemo only.\r\n", "enable" }, true },
        { "setup running", leased, true, false, { "log Please wait...\r\n", "enable" }, true },
        { "no device", Idle(kNoDeviceClass), true, false, { "enable", "box No device selected. | Error" }, true },
        { "not ready", notReady, true, false, { "enable", "box Please load the firmware first. | Tonrig" }, true },
        { "adapter OK", Idle(310), true, true, { "adapter?" }, false },
        { "adapter Cancel", Idle(310), false, false, { "adapter?", "enable" }, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        COperationControl fresh { Hooks() };
        events.clear();
        adapterAnswer = c.adapterAnswer;
        g_bScriptRunning = true;
        fresh.Flags().autoRun = true;
        EXPECT_EQ(fresh.PrepareOperation(c.input), c.go);
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(fresh.Flags().autoRun, !c.runEnds);
        EXPECT_EQ(g_bScriptRunning.load(), !c.runEnds);
    }
}

TEST_F(OperationControlTest, TheAdapterReminderShowsOncePerCommand)
{
    EXPECT_TRUE(control.PrepareOperation(Idle(311)));
    EXPECT_TRUE(control.PrepareOperation(Idle(311)));
    EXPECT_EQ(Count("adapter?"), 1);
    control.BeginCommand();
    EXPECT_TRUE(control.PrepareOperation(Idle(311)));
    EXPECT_EQ(Count("adapter?"), 2);

    adapterAnswer = false;
    control.BeginCommand();
    EXPECT_FALSE(control.PrepareOperation(Idle(3)));
    EXPECT_FALSE(control.PrepareOperation(Idle(3))) << "a Cancel is not remembered as an OK";
    EXPECT_EQ(Count("adapter?"), 4);
}

} // namespace
