#include "operations/OperationFlow.h"

#include "LanguageFixture.h"

#include "catalogue/DeviceClass.h"

#include <set>
#include <string>
#include <vector>

namespace {

constexpr DeviceShape kPlain {}; // an 8051: code only
constexpr DeviceShape kEeprom { true, false }; // code and data
constexpr DeviceShape kPicWithEeprom { true, true };
constexpr DeviceShape kPicWithoutEeprom { false, true };
constexpr DeviceShape kPicSupplied { true, true, true }; // its configuration words are known

// One step the view would have started: the operation and the buffer it worked on.
struct Ran {
    StepOperation operation;
    int buffer;
    friend bool operator==(const Ran&, const Ran&) = default;
};

std::string Describe(const std::vector<Ran>& ran)
{
    std::string s;
    for (const Ran& r : ran)
        s += std::to_string(static_cast<int>(r.operation)) + "/" + std::to_string(r.buffer) + " ";
    return s;
}

// Carries out the plans as the view does: fires the armed timer, lets the step end with the
// kind the script gives (done when the script has run out), and feeds the result back.
struct RunSimulation {
    RunSimulation(DeviceShape s, std::set<int> boxes)
        : shape(s)
        , checked(std::move(boxes))
    {
    }

    DeviceShape shape;
    std::set<int> checked;
    bool doubleWrite = false;
    // The kind of the n-th step that runs (0-based); the others end done.
    int failAt = -1;
    StepKind failKind = StepKind::Failed;

    OperationRunFlags flags;
    std::vector<Ran> ran;
    std::vector<int> periods;
    StepPlan last;
    bool skipped = false; // a walk ended without the configuration words

    void Run(StepPlan plan)
    {
        const AutoStepQuery query = [this](int op) { return checked.count(op) != 0; };
        for (int guard = 0; (plan.timer != 0 || plan.configWords != StepOperation::None) && guard < 50; ++guard) {
            skipped = skipped || plan.configWordsSkipped;
            if (plan.configWords != StepOperation::None) {
                // The configuration words, shown as buffer 3.
                const int index = static_cast<int>(ran.size());
                ran.push_back({ plan.configWords, 3 });
                plan
                    = PlanAfterConfigWords(plan.configWords, index == failAt ? failKind : StepKind::Done, flags, query);
                continue;
            }
            periods.push_back(plan.periodMs);
            const StepOperation operation = OperationOfTimer(plan.timer);
            MarkWalkOnTimer(plan.timer, flags, shape);
            const int index = static_cast<int>(ran.size());
            ran.push_back({ operation, flags.bufferIndex });
            StepResult result;
            result.operation = operation;
            result.kind = index == failAt ? failKind : StepKind::Done;
            plan = PlanAfterResult(result, flags, shape, doubleWrite, query);
        }
        skipped = skipped || plan.configWordsSkipped;
        last = plan;
    }

    void BatchRun()
    {
        flags.autoRun = true;
        Run(PlanStartOperation(9, flags, shape, [this](int op) { return checked.count(op) != 0; }));
    }
};

StepPlan Armed(int timer)
{
    StepPlan plan;
    plan.timer = timer;
    return plan;
}

StepResult Result(StepOperation operation, StepKind kind)
{
    StepResult result;
    result.operation = operation;
    result.kind = kind;
    return result;
}

PrepareInput Input(
    int state, bool lease, int classIndex, bool ready = true, std::string message = {}, bool confirmed = false)
{
    PrepareInput input;
    input.state = state;
    input.leaseHeld = lease;
    input.classIndex = classIndex;
    input.setupReady = ready;
    input.setupMessage = std::move(message);
    input.adapterConfirmed = confirmed;
    return input;
}

PrepareInput Exchange(PrepareInput input)
{
    input.exchangeRunning = true;
    return input;
}

constexpr auto Id = StepOperation::IdCheck;
constexpr auto Rd = StepOperation::Read;
constexpr auto Er = StepOperation::Erase;
constexpr auto Bl = StepOperation::BlankCheck;
constexpr auto Wr = StepOperation::Write;
constexpr auto Vf = StepOperation::Verify;
constexpr auto Lk = StepOperation::Lock;

TEST(OperationFlow, AutomaticRunsTakeTheCheckedStepsInOrderAndWalkTheBuffers)
{
    struct Case {
        const char* name;
        DeviceShape shape;
        std::set<int> checked;
        std::vector<Ran> expected;
    };
    const Case cases[] = {
        { "8051 ID, blank, write, verify, lock", kPlain, { 9, 7, 4, 6, 10 },
            { { Id, 0 }, { Bl, 0 }, { Wr, 0 }, { Vf, 0 }, { Lk, 0 } } },
        { "every box, order of the chain", kPlain, { 10, 6, 4, 7, 5, 3, 9 },
            { { Id, 0 }, { Rd, 0 }, { Er, 0 }, { Bl, 0 }, { Wr, 0 }, { Vf, 0 }, { Lk, 0 } } },
        { "only verify", kPlain, { 6 }, { { Vf, 0 } } },
        { "no box", kPlain, {}, {} },
        { "PIC with EEPROM: write, verify, lock", kPicWithEeprom, { 4, 6, 10 },
            { { Wr, 0 }, { Wr, 1 }, { Wr, 2 }, { Vf, 0 }, { Vf, 1 }, { Vf, 2 }, { Lk, 0 } } },
        { "PIC without EEPROM skips buffer 1", kPicWithoutEeprom, { 4, 6, 10 },
            { { Wr, 0 }, { Wr, 2 }, { Vf, 0 }, { Vf, 2 }, { Lk, 0 } } },
        { "EEPROM part, blank then write", kEeprom, { 7, 4 }, { { Bl, 0 }, { Bl, 1 }, { Wr, 0 }, { Wr, 1 } } },
        { "PIC blank check walks all three", kPicWithEeprom, { 7 }, { { Bl, 0 }, { Bl, 1 }, { Bl, 2 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunSimulation sim { c.shape, c.checked };
        sim.BatchRun();
        EXPECT_EQ(sim.ran, c.expected) << Describe(sim.ran);
        EXPECT_EQ(sim.flags, OperationRunFlags {}) << "the run leaves no flag and buffer 0";
        EXPECT_TRUE(sim.last.enableControls);
        EXPECT_FALSE(sim.last.failScript);
        for (int period : sim.periods)
            EXPECT_EQ(period, kStepPeriodMs);
    }
}

TEST(OperationFlow, OnlyADoneResultCarriesTheRunOn)
{
    // ID, blank, write, verify, lock on a plain part and write, verify, lock on a PIC; each
    // step in turn fails, is cancelled, loses the link or is refused.
    const StepKind kinds[] = { StepKind::Failed, StepKind::Cancelled, StepKind::LinkLost, StepKind::Refused };
    struct Case {
        DeviceShape shape;
        std::set<int> checked;
        int steps;
    };
    const Case cases[] = { { kPlain, { 9, 7, 4, 6, 10 }, 5 }, { kPicWithEeprom, { 4, 6, 10 }, 7 } };
    for (const Case& c : cases) {
        for (StepKind kind : kinds) {
            for (int failAt = 0; failAt < c.steps; ++failAt) {
                SCOPED_TRACE(testing::Message()
                    << "steps " << c.steps << " kind " << static_cast<int>(kind) << " at " << failAt);
                RunSimulation sim { c.shape, c.checked };
                sim.failAt = failAt;
                sim.failKind = kind;
                sim.BatchRun();
                EXPECT_EQ(static_cast<int>(sim.ran.size()), failAt + 1) << Describe(sim.ran);
                EXPECT_EQ(sim.last.timer, 0);
                EXPECT_TRUE(sim.last.failScript);
                EXPECT_TRUE(sim.last.enableControls);
                EXPECT_EQ(sim.flags, OperationRunFlags {}) << "a walk ends at buffer 0";
            }
        }
    }
}

TEST(OperationFlow, DoubleWriteArmsOneSecondPassPerWrite)
{
    RunSimulation sim { kPlain, { 4, 6 } };
    sim.doubleWrite = true;
    sim.BatchRun();
    EXPECT_EQ(sim.ran, (std::vector<Ran> { { Wr, 0 }, { Wr, 0 }, { Vf, 0 } })) << Describe(sim.ran);
    EXPECT_EQ(sim.periods, (std::vector<int> { 100, 500, 100 }));
    EXPECT_FALSE(sim.flags.writeRepeated) << "the second pass clears it, so the next write doubles again";

    // The next write doubles again.
    sim.ran.clear();
    sim.periods.clear();
    sim.BatchRun();
    EXPECT_EQ(sim.ran.size(), 3u);

    // A PIC: each buffer of the walk is written twice.
    RunSimulation pic { kPicWithoutEeprom, { 4 } };
    pic.doubleWrite = true;
    pic.BatchRun();
    EXPECT_EQ(pic.ran, (std::vector<Ran> { { Wr, 0 }, { Wr, 0 }, { Wr, 2 }, { Wr, 2 } })) << Describe(pic.ran);

    // A second pass that fails clears the mark too, and ends the run.
    RunSimulation failing { kPlain, { 4, 6 } };
    failing.doubleWrite = true;
    failing.failAt = 1;
    failing.BatchRun();
    EXPECT_EQ(failing.ran.size(), 2u);
    EXPECT_FALSE(failing.flags.writeRepeated);
    EXPECT_TRUE(failing.last.failScript);

    // A write armed by a run is a first pass, whatever a lost second pass left behind.
    OperationRunFlags flags;
    flags.autoRun = true;
    flags.writeRepeated = true;
    const StepPlan plan = PlanStartOperation(4, flags, kPlain, [](int op) { return op == 4; });
    EXPECT_EQ(plan.timer, 2);
    EXPECT_FALSE(flags.writeRepeated);
}

TEST(OperationFlow, WalkStepsFollowTheDeviceBuffers)
{
    struct Case {
        int step;
        DeviceShape shape;
        int buffer; // -1: the walk ends
        int timer;
    };
    const Case cases[] = {
        { 13, kPicWithEeprom, 2, 1 },
        { 13, kEeprom, -1, 0 },
        { 14, kPicWithEeprom, 1, 1 },
        { 14, kPicWithoutEeprom, 2, 1 },
        { 14, kPlain, -1, 0 },
        { 15, kPlain, 0, 1 },
        { 16, kPicWithoutEeprom, 3, 1 },
        { 16, kEeprom, -1, 0 },
        { 17, kPicWithEeprom, 1, 2 },
        { 17, kEeprom, 1, 2 },
        { 17, kPicWithoutEeprom, 2, 2 },
        { 17, kPlain, -1, 0 },
        { 18, kPicWithEeprom, 2, 2 },
        { 18, kEeprom, -1, 0 },
        { 19, kPicWithEeprom, 1, 4 },
        { 19, kPicWithoutEeprom, 2, 4 },
        { 19, kPlain, -1, 0 },
        { 20, kPicWithoutEeprom, 2, 4 },
        { 20, kEeprom, -1, 0 },
        { 21, kEeprom, 1, 5 },
        { 21, kPicWithoutEeprom, 2, 5 },
        { 21, kPlain, -1, 0 },
        { 22, kPicWithEeprom, 2, 5 },
        { 22, kEeprom, -1, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            testing::Message() << "step " << c.step << " data " << c.shape.hasData << " config " << c.shape.hasConfig);
        OperationRunFlags flags;
        flags.bufferRun = true;
        flags.bufferRunVerifyData = true;
        flags.bufferIndex = 1;
        const StepPlan plan = PlanStartOperation(c.step, flags, c.shape, {});
        EXPECT_FALSE(plan.result) << "only steps 3 to 10 return 1";
        EXPECT_TRUE(plan.showBufferTab);
        if (c.buffer >= 0) {
            EXPECT_EQ(flags.bufferIndex, c.buffer);
            EXPECT_EQ(plan.timer, c.timer);
            EXPECT_EQ(plan.periodMs, 100);
            EXPECT_TRUE(flags.bufferRun);
            EXPECT_FALSE(plan.walkEnded);
        } else {
            EXPECT_EQ(plan.timer, 0);
            EXPECT_TRUE(plan.walkEnded);
            EXPECT_TRUE(plan.enableControls);
            EXPECT_EQ(flags, OperationRunFlags {});
        }
    }
    OperationRunFlags flags;
    EXPECT_FALSE(PlanStartOperation(11, flags, kPlain, {}).result);
    EXPECT_TRUE(PlanStartOperation(8, flags, kPlain, {}).result);
    EXPECT_EQ(PlanStartOperation(8, flags, kPlain, {}).timer, 0);
}

TEST(OperationFlow, AManualVerifyWalksOnAPicAndEndsWithTheControlsBack)
{
    RunSimulation sim { kPicWithEeprom, {} };
    sim.Run(Armed(4));
    EXPECT_EQ(sim.ran, (std::vector<Ran> { { Vf, 0 }, { Vf, 1 }, { Vf, 2 } })) << Describe(sim.ran);
    EXPECT_TRUE(sim.last.walkEnded);
    EXPECT_TRUE(sim.last.showBufferTab);
    EXPECT_TRUE(sim.last.enableControls);
    EXPECT_EQ(sim.flags, OperationRunFlags {});

    // A manual write or blank check works on its own buffer only: only the run walks them.
    RunSimulation write { kPicWithEeprom, {} };
    write.Run(Armed(2));
    EXPECT_EQ(write.ran, (std::vector<Ran> { { Wr, 0 } }));
    EXPECT_FALSE(write.last.walkEnded);

    // A manual verify on a plain part is one step.
    RunSimulation plain { kPlain, {} };
    plain.Run(Armed(4));
    EXPECT_EQ(plain.ran, (std::vector<Ran> { { Vf, 0 } }));
    EXPECT_TRUE(plain.last.enableControls);
}

TEST(OperationFlow, WriteAndVerifyWalksEndWithSuppliedConfigurationWords)
{
    struct Case {
        const char* name;
        DeviceShape shape;
        std::set<int> checked;
        int failAt;
        std::vector<Ran> expected;
        bool skipped;
        bool failScript;
    };
    const Case cases[] = {
        { "supplied: written and verified after buffer 2", kPicSupplied, { 4, 6, 10 }, -1,
            { { Wr, 0 }, { Wr, 1 }, { Wr, 2 }, { Wr, 3 }, { Vf, 0 }, { Vf, 1 }, { Vf, 2 }, { Vf, 3 }, { Lk, 0 } },
            false, false },
        { "not supplied: skipped, the run goes on", kPicWithEeprom, { 4, 6 }, -1,
            { { Wr, 0 }, { Wr, 1 }, { Wr, 2 }, { Vf, 0 }, { Vf, 1 }, { Vf, 2 } }, true, false },
        { "a failed configuration write ends the batch", kPicSupplied, { 4, 6, 10 }, 3,
            { { Wr, 0 }, { Wr, 1 }, { Wr, 2 }, { Wr, 3 } }, false, true },
        { "a configuration mismatch ends the batch before the lock", kPicSupplied, { 6, 10 }, 3,
            { { Vf, 0 }, { Vf, 1 }, { Vf, 2 }, { Vf, 3 } }, false, true },
        { "blank check and read walks have none", kPicSupplied, { 3, 7 }, -1,
            { { Rd, 0 }, { Bl, 0 }, { Bl, 1 }, { Bl, 2 } }, false, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunSimulation sim { c.shape, c.checked };
        sim.failAt = c.failAt;
        sim.BatchRun();
        EXPECT_EQ(sim.ran, c.expected) << Describe(sim.ran);
        EXPECT_EQ(sim.skipped, c.skipped);
        EXPECT_EQ(sim.last.failScript, c.failScript);
        EXPECT_TRUE(sim.last.enableControls);
        EXPECT_EQ(sim.flags, OperationRunFlags {});
    }
}

TEST(OperationFlow, ConfigurationWordsAsAStepOfTheirOwn)
{
    // A manual write of buffer 3: the controls come back, the buffer stays.
    OperationRunFlags flags;
    flags.bufferIndex = 3;
    StepPlan plan = PlanAfterConfigWords(Wr, StepKind::Done, flags, {});
    EXPECT_TRUE(plan.enableControls);
    EXPECT_FALSE(plan.failScript);
    EXPECT_FALSE(plan.showBufferTab);
    EXPECT_EQ(flags.bufferIndex, 3);

    plan = PlanAfterConfigWords(Vf, StepKind::Failed, flags, {});
    EXPECT_TRUE(plan.enableControls);
    EXPECT_TRUE(plan.failScript);
    EXPECT_EQ(flags.bufferIndex, 3);

    // A cancel while a walk's configuration words were written ends the run at buffer 0.
    OperationRunFlags walk;
    walk.autoRun = walk.bufferRun = true;
    walk.bufferIndex = 2;
    CancelRun(walk);
    plan = PlanAfterConfigWords(Wr, StepKind::Done, walk, [](int) { return true; });
    EXPECT_EQ(plan.timer, 0);
    EXPECT_TRUE(plan.failScript);
    EXPECT_TRUE(plan.showBufferTab);
    EXPECT_EQ(walk, OperationRunFlags {});

    // In an automatic run a verify goes on to the lock.
    flags.autoRun = true;
    plan = PlanAfterConfigWords(Vf, StepKind::Done, flags, [](int op) { return op == 10; });
    EXPECT_EQ(plan.timer, 7);
}

TEST(OperationFlow, CancelMidWalkEndsItAtBufferZero)
{
    OperationRunFlags flags;
    flags.autoRun = flags.bufferRun = flags.bufferRunVerifyData = true;
    flags.bufferIndex = 1;
    CancelRun(flags);
    EXPECT_FALSE(flags.autoRun);
    EXPECT_FALSE(flags.bufferRun);
    EXPECT_FALSE(flags.bufferRunVerifyData);
    EXPECT_EQ(flags.bufferIndex, 1) << "the index goes back when the cancelled result arrives";

    EXPECT_TRUE(flags.walkCancelled);
    const StepResult cancelled = Result(StepOperation::Verify, StepKind::Cancelled);
    const StepPlan plan = PlanAfterResult(cancelled, flags, kPicWithEeprom, false, {});
    EXPECT_EQ(plan.timer, 0);
    EXPECT_TRUE(plan.showBufferTab);
    EXPECT_TRUE(plan.failScript);
    EXPECT_EQ(flags, OperationRunFlags {});
}

TEST(OperationFlow, LockEndsTheChainAndTimersMapBothWays)
{
    OperationRunFlags flags;
    flags.autoRun = true;
    const StepPlan lock = PlanStartOperation(10, flags, kPlain, [](int op) { return op == 10; });
    EXPECT_EQ(lock.timer, 7);
    EXPECT_TRUE(lock.enableControls) << "the controls come back as the lock is armed";
    const StepPlan after
        = PlanAfterResult(Result(StepOperation::Lock, StepKind::Done), flags, kPlain, false, [](int) { return true; });
    EXPECT_EQ(after.timer, 0);
    EXPECT_FALSE(flags.autoRun);

    for (int op : kAutoRunOrder)
        EXPECT_EQ(static_cast<int>(OperationOfTimer(TimerOfOperation(op))), op);
    EXPECT_EQ(OperationOfTimer(8), StepOperation::None);
    EXPECT_EQ(OperationOfTimer(102), StepOperation::None);
}

class PrepareOperationTest : public BuiltInTexts { };

TEST_F(PrepareOperationTest, ChecksInOrder)
{
    struct Case {
        const char* name;
        PrepareInput input;
        PrepareVerdict verdict;
        int progressState;
        std::string log;
        std::string box;
        std::string caption;
    };
    const Case cases[] = {
        { "idle, device set", Input(1, false, 200), PrepareVerdict::Go, 0, "", "", "" },
        { "disconnected", Input(0, false, 200), PrepareVerdict::Disconnected, 0,
            "Did not get response from programmer.\r\nDemo only.\r\n", "", "" },
        { "writing", Input(4, false, 200), PrepareVerdict::Busy, 4, "", "", "" },
        { "blank checking", Input(7, false, 200), PrepareVerdict::Busy, 7, "", "", "" },
        { "identifying", Input(2, false, 200), PrepareVerdict::Busy, 0, "", "", "" },
        { "state before the lease", Input(3, true, kNoDeviceClass), PrepareVerdict::Busy, 3, "", "", "" },
        { "setup running", Input(1, true, 200), PrepareVerdict::LeaseHeld, 0, "Please wait...\r\n", "", "" },
        { "a run's exchange in flight", Exchange(Input(1, true, kNoDeviceClass)), PrepareVerdict::Busy, 0, "", "", "" },
        { "no device", Input(1, false, kNoDeviceClass), PrepareVerdict::NoDevice, 0, "", "No device selected.",
            "Error" },
        { "not ready", Input(1, false, 200, false, "Firmware missing."), PrepareVerdict::NotReady, 0, "",
            "Firmware missing.", "" },
        { "adapter class 310", Input(1, false, 310), PrepareVerdict::AskAdapter, 0, "", "", "" },
        { "adapter class 3", Input(1, false, 3), PrepareVerdict::AskAdapter, 0, "", "", "" },
        { "adapter answered", Input(1, false, 311, true, "", true), PrepareVerdict::Go, 0, "", "", "" },
        { "not ready before the adapter", Input(1, false, 310, false, "No."), PrepareVerdict::NotReady, 0, "", "No.",
            "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PrepareDecision d = CheckPrepareOperation(c.input);
        EXPECT_EQ(d.verdict, c.verdict);
        EXPECT_EQ(d.progressState, c.progressState);
        EXPECT_EQ(d.logLine, c.log);
        EXPECT_EQ(d.boxText, c.box);
        EXPECT_EQ(d.boxCaption, c.caption);
    }
    EXPECT_FALSE(NeedsAdapterDialog(312));
}

} // namespace

#include "operations/ScriptFlags.h"

namespace {

TEST(OperationFlow, LinkWatchAndWriteRange)
{
    EXPECT_EQ(KindUnderLinkWatch(StepKind::Cancelled, true), StepKind::LinkLost);
    EXPECT_EQ(KindUnderLinkWatch(StepKind::Cancelled, false), StepKind::Cancelled);
    EXPECT_EQ(KindUnderLinkWatch(StepKind::Failed, true), StepKind::Failed);
    EXPECT_EQ(KindUnderLinkWatch(StepKind::Done, true), StepKind::Done);

    EXPECT_TRUE(WriteAddressInRange(0, 0, 1));
    EXPECT_TRUE(WriteAddressInRange(0x400, 0, 0x80000));
    EXPECT_FALSE(WriteAddressInRange(0x80000, 0, 0x80000));
    EXPECT_FALSE(WriteAddressInRange(0x0FFF, 0x1000, 0x100)) << "below the start";
    EXPECT_TRUE(WriteAddressInRange(0x10FF, 0x1000, 0x100));
    EXPECT_FALSE(WriteAddressInRange(0, 0, 0));
}

TEST(ScriptFlags, AFailedStepEndsARunningScriptOnly)
{
    g_bScriptRunning = false;
    g_bScriptCommandDone = false;
    FailRunningScript();
    EXPECT_FALSE(g_bScriptCommandDone) << "no script, nothing to release";

    g_bScriptRunning = true;
    FailRunningScript();
    EXPECT_FALSE(g_bScriptRunning);
    EXPECT_TRUE(g_bScriptCommandDone);
    g_bScriptCommandDone = false;
}

} // namespace
