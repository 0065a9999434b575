#include "jtag/JtagLayer.h"
#include "jtag/JtagTexts.h"

#include "platform/Clock.h"
#include "platform/Trace.h"
#include "support/RecordingMessageBox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <optional>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Records every transfer and answers reads from a script; an empty script answers nothing.
class FakePort final : public IJtagPort {
public:
    bool Send(std::span<const std::uint8_t> bytes) override
    {
        if (failSendAt && sends.size() == *failSendAt) {
            failSendAt.reset();
            return false;
        }
        sends.emplace_back(bytes.begin(), bytes.end());
        return true;
    }
    int Read(std::uint8_t* buffer, int size) override
    {
        readSizes.push_back(size);
        if (replies.empty())
            return 0;
        Bytes reply = std::move(replies.front());
        replies.pop_front();
        const int n = std::min(size, static_cast<int>(reply.size()));
        std::copy_n(reply.begin(), n, buffer);
        return n;
    }
    std::string StatusText() const override { return "stall"; }

    void Answer(Bytes reply) { replies.push_back(std::move(reply)); }
    void AnswerUnits(int count)
    {
        for (int i = 0; i < count; ++i)
            Answer(Bytes(64, 0));
    }
    void Clear()
    {
        sends.clear();
        readSizes.clear();
    }

    // The TMS of every clock packet, in order.
    std::vector<int> Tms() const
    {
        std::vector<int> tms;
        for (const auto& p : sends)
            if (p.size() == 5 && p[0] == 0x56 && p[1] == 0)
                tms.push_back(p[2]);
        return tms;
    }
    // The counts of the run-test packets.
    std::vector<std::uint32_t> RunTests() const
    {
        std::vector<std::uint32_t> counts;
        for (const auto& p : sends)
            if (p.size() == 6 && p[0] == 0x56 && p[1] == 4)
                counts.push_back((std::uint32_t { p[2] } << 16) | (p[3] << 8) | p[4]);
        return counts;
    }
    // Everything sent after the shift header: the raw TDI data.
    Bytes ShiftData() const
    {
        Bytes data;
        bool after = false;
        for (const auto& p : sends) {
            if (after)
                data.insert(data.end(), p.begin(), p.end());
            else if (p.size() == 6 && p[0] == 0x56 && p[1] == 2)
                after = true;
        }
        return data;
    }

    std::vector<Bytes> sends;
    std::vector<int> readSizes;
    std::deque<Bytes> replies;
    std::optional<std::size_t> failSendAt;
};

struct Layer {
    explicit Layer(int level = 5)
        : speed(level)
        , jtag(
              port, [this] { return speed.load(); }, stop.get_token())
    {
        jtag.StaplJtagInit();
    }
    // Puts the TAP in `state` and forgets the packets that took it there.
    void Reach(std::int32_t state)
    {
        if (state != JTAG_UNKNOWN) {
            ASSERT_EQ(jtag.StaplGotoJtagState(state), 0);
        }
        port.Clear();
    }

    FakePort port;
    std::atomic<int> speed;
    std::stop_source stop;
    JtagLayer jtag;
};

TEST(JtagLayer, MovesFollowTheTablesAsTheyStand)
{
    struct Case {
        std::int32_t from;
        std::int32_t to;
        std::vector<int> tms;
    };
    const Case cases[] = {
        { JTAG_UNKNOWN, IDLE, { 1, 1, 1, 1, 1, 0, 0 } }, // reset, then the same-state clock
        { DREXIT2, DRSHIFT, { 1, 1, 0, 0 } }, // through DRUPDATE, never EXIT2 -> SHIFT
        { IRPAUSE, IRSHIFT, { 1, 1, 1, 1, 0, 0 } },
        { DRSELECT, IDLE, { 0, 1, 1, 0 } },
        { IDLE, DRSHIFT, { 1, 0, 0 } },
        { IDLE, IRSHIFT, { 1, 1, 0, 0 } },
        { DRPAUSE, IDLE, { 1, 1, 0 } },
        { RESET, RESET, { 1 } },
        { IDLE, IDLE, { 0 } },
        { DRSHIFT, DRSHIFT, { 0 } },
        { DRPAUSE, DRPAUSE, { 0 } },
        { IRSHIFT, IRSHIFT, { 0 } },
        { IRPAUSE, IRPAUSE, { 0 } },
        { DRUPDATE, DRUPDATE, {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        Layer l;
        l.Reach(c.from);
        EXPECT_EQ(l.jtag.StaplGotoJtagState(c.to), 0);
        EXPECT_EQ(l.port.Tms(), c.tms);
        EXPECT_EQ(l.port.sends.size(), c.tms.size()); // clocks only
        for (const auto& p : l.port.sends)
            EXPECT_EQ(p, (Bytes { 0x56, 0, p[2], 0, 0 }));
        EXPECT_EQ(l.jtag.State().currentState, c.to);
    }
}

TEST(JtagLayer, EveryTargetIsReachedFromEveryState)
{
    for (std::int32_t from = RESET; from <= IRUPDATE; ++from)
        for (std::int32_t to = RESET; to <= IRUPDATE; ++to) {
            Layer l;
            l.Reach(from);
            EXPECT_EQ(l.jtag.StaplGotoJtagState(to), 0) << from << " -> " << to;
            EXPECT_LE(l.port.sends.size(), 9u);
        }
    Layer l;
    EXPECT_EQ(l.jtag.StaplGotoJtagState(16), kJtagInternalError);
    EXPECT_EQ(l.jtag.StaplGotoJtagState(-1), kJtagInternalError);
    EXPECT_TRUE(l.port.sends.empty());
}

TEST(JtagLayer, WaitsScaleBySpeedLevelAndSplitAt24Bits)
{
    struct Case {
        std::uint32_t count;
        int level;
        std::int32_t state;
        std::vector<std::uint32_t> sent;
    };
    const Case cases[] = {
        { 150, 1, IDLE, {} },
        { 200, 1, IDLE, {} },
        { 150, 5, IDLE, { 150 } },
        { 1000, 3, IDLE, { 125 } },
        { 1000, 4, IDLE, { 250 } },
        { 1200, 2, IDLE, { 100 } },
        { 201, 1, IDLE, { 12 } },
        { 100, 2, IDLE, { 100 } },
        { 250000, 1, IDLE, { 250000 } },
        { 250000, 3, IDLE, { 250000 } },
        { 250000, 5, RESET, { 250000 } },
        { 16777216, 5, IDLE, { 16777215, 1 } },
        { 40000000, 2, IDLE, { 16777215, 16777215, 6445570 } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " at level " << c.level);
        Layer l(c.level);
        l.Reach(c.state);
        l.port.AnswerUnits(static_cast<int>(c.sent.size()));
        EXPECT_EQ(l.jtag.StaplWaitCycles(c.count, c.state), 0);
        EXPECT_EQ(l.port.RunTests(), c.sent);
        EXPECT_EQ(l.port.readSizes, std::vector<int>(c.sent.size(), 64));
        for (const auto& p : l.port.sends)
            EXPECT_EQ(p[5], c.state == RESET ? 1 : 0);
    }
}

TEST(JtagLayer, WaitReadsTheSpeedLevelEachTimeAndMovesFirst)
{
    Layer l(5);
    l.Reach(IDLE);
    l.port.AnswerUnits(2);
    EXPECT_EQ(l.jtag.StaplWaitCycles(1000, IDLE), 0);
    l.speed = 1; // lowered in the middle of a run
    EXPECT_EQ(l.jtag.StaplWaitCycles(1000, IDLE), 0);
    EXPECT_EQ(l.port.RunTests(), (std::vector<std::uint32_t> { 1000, 62 }));

    l.port.Clear();
    l.port.AnswerUnits(1);
    EXPECT_EQ(l.jtag.StaplWaitCycles(250000, DRPAUSE), 0);
    EXPECT_EQ(l.port.Tms(), (std::vector<int> { 1, 0, 1, 0 }));
    EXPECT_EQ(l.jtag.State().currentState, DRPAUSE);
}

TEST(JtagLayer, LongShiftWarnsAndGoesOutInPackets)
{
    tonrig::test::RecordingMessageBox boxes;
    Layer l;
    Bytes data(263);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    data.back() &= 0x0F; // 2,100 bits: the last byte holds four
    EXPECT_EQ(l.jtag.StaplDrScan(2100, data.data(), 0), 0);

    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, kJtagDataBufferOverflowText);
    EXPECT_EQ(boxes.Boxes()[0].type, MB_OK);

    const auto& s = l.port.sends;
    ASSERT_EQ(s.size(), 7u + 2 + 5 + 3); // reset, DR entry, shift header, five data packets, back to IDLE
    EXPECT_EQ(s[7], (Bytes { 0x56, 1, 0 }));
    EXPECT_EQ(s[8], (Bytes { 0x56, 2, 0x08, 0x34, 1, 0 }));
    for (int i = 9; i < 13; ++i)
        EXPECT_EQ(s[i].size(), 64u);
    EXPECT_EQ(s[13].size(), 7u);
    EXPECT_EQ(l.port.ShiftData().size(), 263u + 3 * 5); // the three stop-state clocks follow
    EXPECT_TRUE(std::equal(data.begin(), data.end(), l.port.ShiftData().begin()));
    EXPECT_TRUE(l.port.readSizes.empty());
}

TEST(JtagLayer, CaptureTakesTheDataBitsFromBehindThePreamble)
{
    Layer l;
    const std::uint8_t post = 0b10;
    ASSERT_EQ(l.jtag.StaplSetDrPreamble(1, 0, nullptr), 0);
    ASSERT_EQ(l.jtag.StaplSetDrPostamble(2, 0, &post), 0);
    l.Reach(IDLE);
    // The reply arrives in two pieces: the second read asks for what remains.
    l.port.Answer({ 0x5B });
    l.port.Answer({ 0x07 });
    const std::uint8_t data = 0xC3;
    std::uint8_t capture[2] = { 0x01, 0x00 };
    EXPECT_EQ(l.jtag.StaplDrScanCapture(8, &data, 0, capture, 4), 0);

    // TDI: 1 (preamble), C3, 0 1 (postamble) -> bits 1 1000 0111 0 1... = 0x87 0x05
    EXPECT_EQ(l.port.ShiftData().size(), 2u + 15); // then DRPAUSE -> IDLE
    EXPECT_EQ(l.port.ShiftData()[0], 0x87);
    EXPECT_EQ(l.port.ShiftData()[1], 0x05);
    EXPECT_EQ(l.port.sends[1], (Bytes { 0x56, 2, 0, 11, 1, 1 }));
    EXPECT_EQ(l.port.readSizes, (std::vector<int> { 2, 1 }));
    // Reply bits 1..8 of 0x5B 0x07 = 0xAD, placed from bit 4 of the capture.
    EXPECT_EQ(capture[0], 0xD1);
    EXPECT_EQ(capture[1], 0x0A);
}

TEST(JtagLayer, ReplyOfWholePacketsIsReadOnce)
{
    for (std::uint32_t bits : { 512u, 1024u }) {
        Layer l;
        l.Reach(IDLE);
        const std::size_t n = bits / 8;
        l.port.Answer(Bytes(n, 0xA5));
        l.port.Answer({ 0xEE }); // the next reply, which must stay unread
        Bytes data(n, 0), capture(n, 0);
        EXPECT_EQ(l.jtag.StaplIrScanCapture(bits, data.data(), 0, capture.data(), 0), 0);
        EXPECT_EQ(l.port.readSizes, (std::vector<int> { static_cast<int>(n) }));
        EXPECT_EQ(capture, Bytes(n, 0xA5));
        EXPECT_EQ(l.port.replies.size(), 1u);
    }
}

TEST(JtagLayer, PreambleWithoutDataIsOnesAndStartCodesFollowTheState)
{
    Layer l;
    ASSERT_EQ(l.jtag.StaplSetIrPreamble(5, 0, nullptr), 0);
    ASSERT_EQ(l.jtag.StaplSetIrStop(IRPAUSE), 0);
    ASSERT_EQ(l.jtag.StaplSetDrStop(DRPAUSE), 0);
    l.Reach(IDLE);
    const std::uint8_t zero = 0;
    EXPECT_EQ(l.jtag.StaplIrScan(3, &zero, 0), 0);
    EXPECT_EQ(l.port.sends[0], (Bytes { 0x56, 3, 0 }));
    EXPECT_EQ(l.port.sends[2], (Bytes { 0x1F }));
    EXPECT_EQ(l.jtag.State().currentState, IRPAUSE);

    l.port.Clear();
    EXPECT_EQ(l.jtag.StaplIrScan(3, &zero, 0), 0);
    EXPECT_EQ(l.port.sends[0], (Bytes { 0x56, 3, 2 }));
    l.port.Clear();
    EXPECT_EQ(l.jtag.StaplDrScan(3, &zero, 0), 0);
    EXPECT_EQ(l.port.sends[0], (Bytes { 0x56, 1, 2 }));
    l.port.Clear();
    EXPECT_EQ(l.jtag.StaplDrScan(3, &zero, 0), 0);
    EXPECT_EQ(l.port.sends[0], (Bytes { 0x56, 1, 1 }));
    EXPECT_EQ(l.jtag.State().currentState, DRPAUSE);

    l.port.Clear();
    EXPECT_EQ(l.jtag.StaplDrScanPacket(3, 8, &zero, nullptr), 0);
    EXPECT_TRUE(l.port.sends.empty());
}

TEST(JtagLayer, WorkspaceModeHoldsTheBuffersInItsSlices)
{
    struct Case {
        bool ir;
        std::uint32_t preamble;
        std::uint32_t count;
        int result;
    };
    const Case cases[] = {
        { false, 0, 2048, 0 },
        { false, 1, 2048, kJtagOutOfMemory },
        { false, 0, 2049, kJtagOutOfMemory },
        { true, 0, 512, 0 },
        { true, 1, 512, kJtagOutOfMemory },
        { true, 0, 513, kJtagOutOfMemory },
    };
    tonrig::test::RecordingMessageBox boxes;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.ir ? "IR " : "DR ") << c.preamble << " + " << c.count);
        Layer l;
        Bytes workspace(640, 0);
        ASSERT_EQ(l.jtag.StaplJtagInit(workspace.data(), 640), 0);
        if (c.ir)
            ASSERT_EQ(l.jtag.StaplSetIrPreamble(c.preamble, 0, nullptr), 0);
        else
            ASSERT_EQ(l.jtag.StaplSetDrPreamble(c.preamble, 0, nullptr), 0);
        Bytes data((c.count + 7) / 8, 0x3C);
        const int r = c.ir ? l.jtag.StaplIrScan(c.count, data.data(), 0) : l.jtag.StaplDrScan(c.count, data.data(), 0);
        EXPECT_EQ(r, c.result);
        if (r) {
            EXPECT_TRUE(l.port.sends.empty());
        } else {
            const std::size_t at = c.ir ? 576 : 320;
            EXPECT_EQ(Bytes(workspace.begin() + at, workspace.begin() + at + data.size()), data);
        }
    }

    Layer l;
    Bytes small(639, 0);
    EXPECT_EQ(l.jtag.StaplJtagInit(small.data(), 639), kJtagOutOfMemory);
    EXPECT_EQ(l.jtag.State().workspace, nullptr);
    EXPECT_EQ(l.jtag.StaplSetDrPreamble(1025, 0, nullptr), 0); // heap mode goes on

    Bytes workspace(640, 0);
    ASSERT_EQ(l.jtag.StaplJtagInit(workspace.data(), 640), 0);
    EXPECT_EQ(l.jtag.StaplSetDrPreamble(1025, 0, nullptr), kJtagOutOfMemory);
    EXPECT_EQ(l.jtag.StaplSetIrPostamble(257, 0, nullptr), kJtagOutOfMemory);
    EXPECT_EQ(l.jtag.StaplSetIrPostamble(256, 0, nullptr), 0);
    EXPECT_EQ(workspace[288 + 31], 0xFF);
    EXPECT_EQ(workspace[288 + 32], 0x00);
}

TEST(JtagLayer, OversizedScanIsRefusedBeforeAnythingIsSent)
{
    tonrig::test::RecordingMessageBox boxes;
    Layer l;
    Bytes data(8192, 0);
    EXPECT_EQ(l.jtag.StaplDrScan(65536, data.data(), 0), kJtagInternalError);
    ASSERT_EQ(l.jtag.StaplSetIrPreamble(1, 0, nullptr), 0);
    EXPECT_EQ(l.jtag.StaplIrScan(65535, data.data(), 0), kJtagInternalError);
    EXPECT_TRUE(l.port.sends.empty());
    EXPECT_EQ(l.jtag.StaplDrScan(65535, data.data(), 0), 0);
    EXPECT_EQ(l.port.sends[8], (Bytes { 0x56, 2, 0xFF, 0xFF, 1, 0 }));
}

TEST(JtagLayer, FailedAllocationKeepsTheOldPreamble)
{
    Layer l;
    const std::uint8_t pre = 0xA5;
    ASSERT_EQ(l.jtag.StaplSetDrPreamble(8, 0, &pre), 0);
    l.jtag.SetAllocationLimit(1);
    const std::uint8_t longer[2] = { 0x00, 0x00 };
    EXPECT_EQ(l.jtag.StaplSetDrPreamble(16, 0, longer), kJtagOutOfMemory);
    EXPECT_EQ(l.jtag.State().drPreambleLength, 8u);
    EXPECT_EQ(l.jtag.StaplSetDrPreamble(65536, 0, nullptr), kJtagOutOfMemory);
    l.jtag.SetAllocationLimit(SIZE_MAX);
    l.Reach(IDLE);
    const std::uint8_t data = 0x00;
    EXPECT_EQ(l.jtag.StaplDrScan(8, &data, 0), 0);
    EXPECT_EQ(l.port.ShiftData()[0], 0xA5);
    EXPECT_EQ(l.port.ShiftData()[1], 0x00);

    l.jtag.SetAllocationLimit(2);
    Bytes big(3, 0);
    EXPECT_EQ(l.jtag.StaplDrScan(24, big.data(), 0), kJtagOutOfMemory);
}

TEST(JtagLayer, TransferFailuresAreStickyForTheRun)
{
    enum Fault { ShortReply, NoReply, FailedSend };
    for (Fault fault : { ShortReply, NoReply, FailedSend }) {
        SCOPED_TRACE(fault);
        std::vector<std::string> trace;
        platform::SetTraceSink([&](const std::string& line) { trace.push_back(line); });
        Layer l;
        l.Reach(IDLE);
        if (fault == ShortReply)
            l.port.Answer(Bytes(3, 0xFF));
        if (fault == FailedSend)
            l.port.failSendAt = 1; // the shift header
        Bytes data(4, 0x55), capture(4, 0);
        EXPECT_EQ(l.jtag.StaplDrScanCapture(32, data.data(), 0, capture.data(), 0), kJtagInternalError);
        EXPECT_EQ(capture, Bytes(4, 0)); // never the TDI bits as "captured"
        EXPECT_EQ(l.jtag.Failure(), kJtagInternalError);
        const auto sent = l.port.sends.size();
        EXPECT_EQ(l.jtag.StaplGotoJtagState(IRSHIFT), kJtagInternalError);
        EXPECT_EQ(l.jtag.StaplWaitCycles(1000, IDLE), kJtagInternalError);
        EXPECT_EQ(l.jtag.StaplDrScan(8, data.data(), 0), kJtagInternalError);
        EXPECT_EQ(l.jtag.JtagClock(1, 1, 1), 0);
        EXPECT_EQ(l.jtag.StaplJtagFree(1), kJtagInternalError);
        EXPECT_EQ(l.port.sends.size(), sent);
        platform::SetTraceSink({});
        ASSERT_EQ(trace.size(), 1u);
        EXPECT_NE(trace[0].find("stall"), std::string::npos);
    }
}

TEST(JtagLayer, ClockReadReturnsTdoOrZeroOnFailure)
{
    Layer l;
    l.port.Answer({ 1 });
    EXPECT_EQ(l.jtag.JtagClock(7, 9, 1), 1);
    EXPECT_EQ(l.port.sends[0], (Bytes { 0x56, 0, 1, 1, 1 }));
    EXPECT_EQ(l.port.readSizes, (std::vector<int> { 64 }));
    EXPECT_EQ(l.jtag.Failure(), 0);

    EXPECT_EQ(l.jtag.JtagClock(0, 0, 1), 0);
    EXPECT_EQ(l.jtag.Failure(), kJtagInternalError);

    Layer wait;
    wait.Reach(IDLE);
    EXPECT_EQ(wait.jtag.StaplWaitCycles(500, IDLE), kJtagInternalError);
}

// One run as the interpreter makes it: stop states, preambles, a scan, the end.
void RunWithEverythingSet(Layer& l)
{
    l.jtag.StaplJtagInit();
    const std::uint8_t ones = 0xFF;
    l.jtag.StaplSetDrStop(DRPAUSE);
    l.jtag.StaplSetIrStop(IRPAUSE);
    l.jtag.StaplSetDrPreamble(3, 0, &ones);
    l.jtag.StaplSetIrPostamble(2, 0, &ones);
    l.port.AnswerUnits(1);
    std::uint8_t capture[2] = {};
    const std::uint8_t data[2] = { 0x12, 0x34 };
    EXPECT_EQ(l.jtag.StaplDrScanCapture(16, data, 0, capture, 0), 0);
    EXPECT_EQ(l.jtag.StaplIrScan(8, data, 0), 0);
    EXPECT_EQ(l.jtag.StaplJtagFree(1), 0);
}

// The next run starts from the unknown state with IDLE stops and no preamble.
void ExpectFreshRun(Layer& l)
{
    l.port.Clear();
    l.jtag.StaplJtagInit();
    const std::uint8_t data = 0x81;
    EXPECT_EQ(l.jtag.StaplDrScan(8, &data, 0), 0);
    EXPECT_EQ(l.port.Tms(), (std::vector<int> { 1, 1, 1, 1, 1, 0, 0, 1, 1, 0 }));
    EXPECT_EQ(l.port.sends[7], (Bytes { 0x56, 1, 0 }));
    EXPECT_EQ(l.port.sends[8], (Bytes { 0x56, 2, 0, 8, 1, 0 }));
    EXPECT_EQ(l.port.sends[9], (Bytes { 0x81 }));
    EXPECT_EQ(l.jtag.State().currentState, IDLE);
    EXPECT_EQ(l.jtag.StaplJtagFree(0), 0);
}

TEST(JtagLayer, RunsDoNotLeakIntoEachOther)
{
    Layer one;
    RunWithEverythingSet(one);
    ExpectFreshRun(one);
    RunWithEverythingSet(one);
    ExpectFreshRun(one);

    // Two layers on two threads share nothing.
    Layer a, b;
    std::thread ta([&] {
        for (int i = 0; i < 50; ++i) {
            RunWithEverythingSet(a);
            ExpectFreshRun(a);
        }
    });
    std::thread tb([&] {
        for (int i = 0; i < 50; ++i) {
            RunWithEverythingSet(b);
            ExpectFreshRun(b);
        }
    });
    ta.join();
    tb.join();
}

TEST(JtagLayer, MicrosecondWaitPausesOnTheClockAndEndsOnCancel)
{
    auto clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped(clock);
    Layer l;
    l.Reach(IDLE);
    struct Case {
        std::uint32_t us;
        platform::Duration paused;
    };
    for (const Case c : { Case { 3000, 8ms }, Case { 20000, 20ms }, Case { 0, 8ms } }) {
        const auto before = clock->Now();
        EXPECT_EQ(l.jtag.StaplMoveToState(c.us, IDLE), 0);
        EXPECT_EQ(clock->Now() - before, c.paused);
    }
    EXPECT_EQ(l.jtag.StaplMoveToState(10000, DRPAUSE), 0);
    EXPECT_EQ(l.port.Tms(), (std::vector<int> { 1, 0, 1, 0 }));

    const auto before = clock->Now();
    clock->Schedule(before + 100ms, [&] { l.stop.request_stop(); });
    EXPECT_EQ(l.jtag.StaplMoveToState(500000, DRPAUSE), kJtagCancelled);
    EXPECT_EQ(clock->Now() - before, 100ms);
    l.port.Clear();
    EXPECT_EQ(l.jtag.StaplGotoJtagState(IDLE), kJtagCancelled);
    EXPECT_TRUE(l.port.sends.empty());
}

} // namespace
