// The pump's loop rules against a small scripted programmer (PumpFakes.h).

#include "operations/OperationPump.h"
#include "PumpFakes.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace pumptest;
using Status = PumpChannel::Status;

namespace {

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed = 1)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>((i * 7 + seed * 13 + (i >> 8)) & 0xFF);
    return v;
}

class PumpTest : public testing::Test {
protected:
    PumpTest()
        : m_clock(std::make_shared<platform::ManualClock>())
        , m_scoped(m_clock)
    {
    }
    ~PumpTest() override { g_bCancelOperation = 1; }

    PumpJob Job(PumpOperation op, int size, int block = 1024, int classIndex = 200, std::size_t bufferBytes = 0)
    {
        PumpSnapshot s;
        s.operation = op;
        s.device.m_nCodeSize = size;
        s.classEntry = s.device;
        s.classIndex = classIndex;
        s.bufferBytes = bufferBytes ? bufferBytes : static_cast<std::size_t>(size);
        s.blockSize = block;
        s.writeBlockSize = 256;
        s.writeStep = 59;
        const PumpPlan plan = MakePumpJob(s);
        EXPECT_TRUE(std::holds_alternative<PumpJob>(plan));
        return std::get<PumpJob>(plan);
    }

    PumpResult Run(const PumpJob& job)
    {
        g_bCancelOperation = 0; // as the GUI thread does before a start
        OperationPump pump(channel, voltages, host);
        pump.Run(job);
        EXPECT_EQ(host.results.size(), 1u);
        EXPECT_FALSE(host.runningAtComplete);
        EXPECT_TRUE(host.cancelAtComplete);
        return host.results.empty() ? PumpResult {} : host.results.back();
    }

    // Cancel when the k-th block request goes out.
    void CancelAtRequest(int k, std::uint8_t code = P_READ)
    {
        channel.onSend = [k, code, n = 0](FakeChannel&, const std::uint8_t* p, int) mutable {
            if (p[0] == code && ++n == k)
                g_bCancelOperation = 1;
        };
    }

    std::shared_ptr<platform::ManualClock> m_clock;
    platform::ScopedClock m_scoped;
    FakeChannel channel;
    RecordingVoltages voltages;
    RecordingHost host;
};

TEST_F(PumpTest, ReadCopiesTheChipInBlocksWithAShortLastOne)
{
    struct Row {
        const char* name;
        int size;
        int block;
        int requests;
    };
    const Row rows[] = {
        { "whole blocks", 0x10000, 0x6000, 3 },
        { "a one-byte last block", 1025, 1024, 2 },
        { "a device below 64 bytes", 12, 12, 1 },
        { "one block", 64, 64, 1 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        channel = FakeChannel {};
        host = RecordingHost {};
        channel.chip = Pattern(static_cast<std::size_t>(row.size));
        channel.chip[0] = 0x00; // a 0x00 data byte is data, not a status
        channel.chip.back() = 0x00;
        host.data.assign(static_cast<std::size_t>(row.size), 0xFF);
        const PumpResult r = Run(Job(PumpOperation::Read, row.size, row.block));
        EXPECT_EQ(r.kind, PumpKind::Done);
        EXPECT_EQ(host.data, channel.chip);
        EXPECT_EQ(channel.requests, row.requests);
        EXPECT_TRUE(channel.queue.empty()) << "a reply left unread";
        EXPECT_EQ(host.lastProgress, row.size);
        EXPECT_EQ(r.position, row.size);
    }
}

TEST_F(PumpTest, PrologueComesFirstAndInOrder)
{
    channel.chip = Pattern(256);
    host.data.assign(256, 0xFF);
    channel.queue.push_back(Reply { { 0 } }); // a stale reply: the drain and P_SETUP drop it
    const auto started = m_clock->Now();
    Run(Job(PumpOperation::Read, 256, 64));
    ASSERT_GE(channel.sent.size(), 3u);
    EXPECT_EQ(channel.drains, 1);
    EXPECT_EQ(channel.sent[0], (std::vector<std::uint8_t> { P_SETUP }));
    EXPECT_EQ(channel.sent[1], (std::vector<std::uint8_t> { P_STOP, 0 }));
    EXPECT_EQ(channel.sent[2][0], P_READ);
    EXPECT_EQ(voltages.calls.size(), 1u);
    EXPECT_GE(m_clock->Now() - started, std::chrono::milliseconds(250));
    EXPECT_EQ(host.data, channel.chip);
}

TEST_F(PumpTest, ClassNinetyReadsWithoutStatusBytes)
{
    channel.class90 = true;
    channel.chip = Pattern(40000);
    host.data.assign(40000, 0xFF);
    const PumpResult r = Run(Job(PumpOperation::Read, 40000, 16384, 90));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_EQ(host.data, channel.chip);
    EXPECT_EQ(channel.requests, 3);
    EXPECT_TRUE(channel.queue.empty());
}

TEST_F(PumpTest, ShortRepliesCountWhatTheyBrought)
{
    // Each data unit arrives in two pieces: the pump keeps asking for the rest of the block.
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    channel.onSend = [](FakeChannel& c, const std::uint8_t* p, int) {
        if (p[0] != P_READ)
            return;
        // Split the unit the fake is about to queue: done after the send, on the next read.
        c.onRead = [](FakeChannel& c2, int) {
            if (!c2.queue.empty() && c2.queue.front().bytes.size() > 100) {
                Reply head { { c2.queue.front().bytes.begin(), c2.queue.front().bytes.begin() + 100 } };
                c2.queue.front().bytes.erase(c2.queue.front().bytes.begin(), c2.queue.front().bytes.begin() + 100);
                c2.queue.push_front(head);
            }
            c2.onRead = nullptr;
        };
    };
    const PumpResult r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_EQ(host.data, channel.chip);
    EXPECT_TRUE(channel.queue.empty());
}

TEST_F(PumpTest, ReplyCutShortMidBlockIsLinkLostNeverDone)
{
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    int requests = 0;
    channel.onSend = [&requests](FakeChannel& c, const std::uint8_t* p, int) {
        if (p[0] == P_READ && ++requests == 2) {
            // The second block's data is cut to 10 bytes, then nothing.
            c.onRead = [](FakeChannel& c2, int) {
                if (c2.queue.size() >= 2 && c2.queue[1].bytes.size() > 10) {
                    c2.queue[1].bytes.resize(10);
                    c2.queue.erase(c2.queue.begin() + 2, c2.queue.end());
                    c2.onRead = nullptr;
                }
            };
        }
    };
    const PumpResult r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
    EXPECT_EQ(r.position, 1024 + 10);
}

TEST_F(PumpTest, SilenceAndAGoneLinkEndAsLinkLost)
{
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    channel.silentFrom = 5;
    PumpResult r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
    EXPECT_EQ(channel.reads, 4 + OperationPump::kMaxSilentReads);

    // Two time-outs in a row are survived.
    channel = FakeChannel {};
    host = RecordingHost {};
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    channel.readFault = { { 3, Status::Timeout }, { 4, Status::Timeout }, { 7, Status::Timeout } };
    r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_EQ(host.data, channel.chip);

    channel = FakeChannel {};
    host = RecordingHost {};
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    channel.readFault = { { 5, Status::Gone } };
    r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
    EXPECT_EQ(channel.reads, 5);
}

TEST_F(PumpTest, CancelEndsAtTheBlockWithNothingOwed)
{
    struct Row {
        const char* name;
        PumpOperation op;
        int cancelAt;
        std::uint8_t code;
    };
    const Row rows[] = {
        { "read at block 3", PumpOperation::Read, 3, P_READ },
        { "verify at block 2", PumpOperation::Verify, 2, P_READ },
        { "blank check at block 4", PumpOperation::BlankCheck, 4, P_READ },
        { "write at block 5", PumpOperation::Write, 5, P_WRITE_OK },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        channel = FakeChannel {};
        host = RecordingHost {};
        channel.chip = row.op == PumpOperation::Write || row.op == PumpOperation::BlankCheck
            ? std::vector<std::uint8_t>(8192, 0xFF)
            : Pattern(8192);
        host.data = row.op == PumpOperation::Read ? std::vector<std::uint8_t>(8192, 0xFF) : Pattern(8192);
        CancelAtRequest(row.cancelAt, row.code);
        const PumpResult r = Run(Job(row.op, 8192, 1024));
        EXPECT_EQ(r.kind, PumpKind::Cancelled);
        EXPECT_TRUE(channel.queue.empty()) << "a reply left for the next command";
        EXPECT_EQ(channel.CountSent(row.code), row.cancelAt) << "a block after the cancel";
        EXPECT_EQ(r.address, static_cast<std::uint32_t>(r.position));
    }
}

TEST_F(PumpTest, CancelWhileSilentEndsAtOnce)
{
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    channel.silentFrom = 3;
    channel.onRead = [](FakeChannel&, int read) {
        if (read == 3)
            g_bCancelOperation = 1;
    };
    const PumpResult r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::Cancelled);
    EXPECT_EQ(channel.reads, 3);
}

TEST_F(PumpTest, CancelInThePauseSendsNoRequest)
{
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    m_clock->Schedule(m_clock->Now() + std::chrono::milliseconds(100), [] { g_bCancelOperation = 1; });
    const PumpResult r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::Cancelled);
    EXPECT_EQ(channel.requests, 0);
    EXPECT_EQ(r.position, 0);
}

TEST_F(PumpTest, VerifyReportsTheFirstMismatchOnly)
{
    struct Row {
        const char* name;
        std::uint32_t at;
    };
    for (const Row row : { Row { "at 0x1234", 0x1234 }, Row { "at 0", 0 }, Row { "in the last byte", 0x3FFF } }) {
        SCOPED_TRACE(row.name);
        channel = FakeChannel {};
        host = RecordingHost {};
        channel.chip = Pattern(0x4000);
        host.data = channel.chip;
        channel.chip[row.at] ^= 0x5A;
        if (row.at + 5 < channel.chip.size())
            channel.chip[row.at + 5] ^= 0x01; // a later one, never reported
        const PumpResult r = Run(Job(PumpOperation::Verify, 0x4000, 0x1000));
        EXPECT_EQ(r.kind, PumpKind::Failed);
        EXPECT_EQ(r.address, row.at);
        EXPECT_EQ(r.deviceByte, channel.chip[row.at]);
        EXPECT_EQ(r.bufferByte, host.data[row.at]);
        EXPECT_TRUE(channel.queue.empty());
        EXPECT_EQ(channel.requests, static_cast<int>(row.at / 0x1000) + 1) << "no request after the mismatch";
    }
}

TEST_F(PumpTest, BlankCheckRules)
{
    const auto pic = [](int core, int bufferIndex) {
        PumpSnapshot s;
        s.operation = PumpOperation::BlankCheck;
        s.device.m_nCodeSize = 64;
        s.device.m_nDataSize = 64;
        CPicConfigInfo info;
        info.m_nCoreBits = static_cast<std::uint8_t>(core);
        info.m_nIdAddress = 0x2000;
        info.m_nDeviceIdAddress = 0x2006;
        info.m_nConfigMemoryWords = 8;
        s.device.m_pPicConfig = PicConfigPtr(info);
        s.classEntry = s.device;
        s.classIndex = 313;
        s.bufferIndex = bufferIndex;
        s.blockSize = 64;
        return std::get<PumpJob>(MakePumpJob(s));
    };
    struct Row {
        const char* name;
        PumpJob job;
        std::vector<std::uint8_t> chipHead; // from the region's start; the rest blank
        std::uint32_t chipBase;
        PumpKind kind;
        std::uint32_t failAt;
    };
    const Row rows[] = {
        { "14-bit 3F FF passes", pic(14, 0), { 0x3F, 0xFF, 0x3F, 0xFF }, 0, PumpKind::Done, 0 },
        { "14-bit 3F 3F fails at the odd byte", pic(14, 0), { 0x3F, 0xFF, 0x3F, 0x3F }, 0, PumpKind::Failed, 3 },
        { "12-bit 0F FF passes", pic(12, 0), { 0x0F, 0xFF }, 0, PumpKind::Done, 0 },
        { "12-bit 3F FF fails", pic(12, 0), { 0x3F, 0xFF }, 0, PumpKind::Failed, 0 },
        { "data EEPROM 0x3F is not blank", pic(14, 1), { 0xFF, 0xFF, 0x3F }, 0, PumpKind::Failed, 2 },
        { "configuration memory skips the device ID", pic(14, 2),
            { 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D, 0x42, 0x3F, 0xFF }, 0x2000,
            PumpKind::Done, 0 },
        { "configuration memory: an ID word programmed", pic(14, 2), { 0x3F, 0xFF, 0x3F, 0x00 }, 0x2000,
            PumpKind::Failed, 3 },
        { "0x00 at 0x1234", Job(PumpOperation::BlankCheck, 0x2000, 0x1000), {}, 0, PumpKind::Failed, 0x1234 },
        { "an untouched chip", Job(PumpOperation::BlankCheck, 0x2000, 0x1000), {}, 0, PumpKind::Done, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        channel = FakeChannel {};
        host = RecordingHost {};
        channel.chip.assign(0x2010 + 64, 0xFF);
        std::copy(row.chipHead.begin(), row.chipHead.end(), channel.chip.begin() + row.chipBase);
        if (std::string(row.name) == "0x00 at 0x1234")
            channel.chip[0x1234] = 0;
        const PumpResult r = Run(row.job);
        EXPECT_EQ(r.kind, row.kind);
        if (row.kind == PumpKind::Failed) {
            EXPECT_EQ(r.address, row.failAt);
            EXPECT_EQ(r.bufferByte, 0xFF);
        }
        EXPECT_TRUE(channel.queue.empty());
    }
}

TEST_F(PumpTest, WriteRoundTripsInBlocksOfPackets)
{
    struct Row {
        const char* name;
        int size;
        int writeBlock;
        int step;
        int okPackets; // acknowledged blocks, the first packet's included
    };
    const Row rows[] = {
        { "model 5 blocks", 4096, 256, 59, 1 + (4096 - 59 + 235) / 236 },
        { "model 7 blocks", 1000, 64, 59, 1 + (1000 - 59 + 58) / 59 },
        { "below one step", 20, 256, 59, 1 },
        { "61 bytes", 61, 256, 59, 2 },
        { "a 16-byte step", 100, 256, 16, 1 + (100 - 16 + 63) / 64 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        channel = FakeChannel {};
        host = RecordingHost {};
        channel.chip.assign(static_cast<std::size_t>(row.size), 0xFF);
        host.data = Pattern(static_cast<std::size_t>(row.size), 3);
        PumpJob job = Job(PumpOperation::Write, row.size);
        job.m_nWriteBlockSize = row.writeBlock;
        job.m_nWriteStep = row.step;
        const PumpResult r = Run(job);
        EXPECT_EQ(r.kind, PumpKind::Done);
        EXPECT_EQ(channel.chip, host.data);
        EXPECT_EQ(channel.CountSent(P_WRITE_OK), row.okPackets);
        EXPECT_TRUE(channel.queue.empty());
        EXPECT_EQ(host.lastProgress, row.size);
        EXPECT_EQ(channel.sent[0], (std::vector<std::uint8_t> { P_SETUP, 0 }));
    }
}

TEST_F(PumpTest, WriteFailureReportsTheProgrammersAddressAndData)
{
    struct Row {
        const char* name;
        std::uint32_t failAt;
        std::uint8_t readBack;
        std::uint32_t forced;
        bool wordMode;
        std::uint32_t expected;
    };
    const Row rows[] = {
        { "at 0x0400", 0x0400, 0xAA, 0, false, 0x0400 },
        { "at 0 with data 0", 0, 0x00, 0, false, 0 },
        { "DIP24 line masked", 0x2400, 0x12, 0x2000, false, 0x0400 },
        { "word mode", 0x0200, 0x12, 0, true, 0x0400 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        channel = FakeChannel {};
        host = RecordingHost {};
        channel.chip.assign(0x4000, 0xFF);
        channel.failWriteAt = row.failAt; // as sent
        channel.failReadBack = row.readBack;
        host.data = Pattern(0x1000, 5);
        host.data[0] = 0;
        PumpJob job = Job(PumpOperation::Write, 0x1000);
        job.forcedAddressBits = row.forced;
        job.wordMode = row.wordMode;
        channel.forceBits = row.forced;
        const PumpResult r = Run(job);
        EXPECT_EQ(r.kind, PumpKind::Failed);
        EXPECT_EQ(r.address, row.expected);
        EXPECT_EQ(r.deviceByte, row.readBack);
        EXPECT_EQ(r.bufferByte, host.data[row.failAt & 0xFFF]);
        const StepResult step = ToStepResult(r);
        EXPECT_EQ(step.operation, StepOperation::Write);
        EXPECT_EQ(step.kind, StepKind::Failed);
        EXPECT_EQ(step.address, row.expected);
        EXPECT_TRUE(step.addressInBuffer);
        EXPECT_TRUE(channel.queue.empty());
        // The failing block was the last: nothing went out after its reply.
        const auto lastOk = std::find_if(
            channel.sent.rbegin(), channel.sent.rend(), [](const auto& p) { return p[0] == P_WRITE_OK; });
        ASSERT_NE(lastOk, channel.sent.rend());
        const std::uint32_t blockStart = GetBe32(&(*lastOk)[1]);
        EXPECT_LE(blockStart, (row.failAt & ~row.forced));
        EXPECT_LT((row.failAt & ~row.forced), blockStart + 236);
    }
}

TEST_F(PumpTest, CancelledWriteStillReadsItsOwedReply)
{
    channel.chip.assign(4096, 0xFF);
    host.data = Pattern(4096);
    channel.onRead = [](FakeChannel&, int read) {
        if (read == 3)
            g_bCancelOperation = 1;
    };
    const PumpResult r = Run(Job(PumpOperation::Write, 4096));
    EXPECT_EQ(r.kind, PumpKind::Cancelled);
    EXPECT_TRUE(channel.queue.empty()) << "the last block's acknowledgement was left for the next command";
    EXPECT_EQ(r.address, static_cast<std::uint32_t>(r.position));
    EXPECT_TRUE(std::equal(host.data.begin(), host.data.begin() + r.position, channel.chip.begin()));
}

TEST_F(PumpTest, EraseOutcomes)
{
    struct Row {
        const char* name;
        std::vector<std::uint8_t> answers;
        int cancelAtRead;
        PumpKind kind;
    };
    const Row rows[] = {
        { "flash: keep-alives, then done", { 2, 2, 2, 0 }, 0, PumpKind::Done },
        { "EPROM: not erasable", { 1 }, 0, PumpKind::Failed },
        { "cancelled in the keep-alives", { 2, 2, 2, 0 }, 2, PumpKind::Cancelled },
        { "silent", {}, 0, PumpKind::LinkLost },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        channel = FakeChannel {};
        host = RecordingHost {};
        voltages = RecordingVoltages {};
        channel.eraseAnswers = row.answers;
        channel.onRead = [&row](FakeChannel&, int read) {
            if (read == row.cancelAtRead)
                g_bCancelOperation = 1;
        };
        PumpJob job = Job(PumpOperation::Erase, 4096);
        job.eraseOption = 1;
        const PumpResult r = Run(job);
        EXPECT_EQ(r.kind, row.kind);
        ASSERT_FALSE(channel.sent.empty());
        EXPECT_EQ(channel.sent[0], (std::vector<std::uint8_t> { P_ERASE, 1 }));
        EXPECT_EQ(voltages.calls.size(), 1u);
    }
}

TEST_F(PumpTest, RefusedAndFailedSends)
{
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    channel.refuseAfterSends = 3; // setup, stop, first request go; the second request does not
    channel.sendStatus = Status::Refused;
    PumpResult r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::Failed);

    channel = FakeChannel {};
    host = RecordingHost {};
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    channel.refuseAfterSends = 3;
    channel.sendStatus = Status::Gone;
    r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
}

TEST_F(PumpTest, ARefusedDeliveryEndsAsCancelled)
{
    channel.chip = Pattern(4096);
    host.data.assign(4096, 0xFF);
    host.refuseDeliveries = true;
    const PumpResult r = Run(Job(PumpOperation::Read, 4096, 1024));
    EXPECT_EQ(r.kind, PumpKind::Cancelled);
    EXPECT_EQ(channel.requests, 1);
    EXPECT_TRUE(channel.queue.empty());
}

} // namespace

TEST_F(PumpTest, ASerialEepromThatDoesNotAcknowledgeFailsAndHandsNothingOver)
{
    constexpr int k24C02 = 44;
    for (const PumpOperation op :
        { PumpOperation::Read, PumpOperation::Write, PumpOperation::Verify, PumpOperation::BlankCheck }) {
        SCOPED_TRACE(PumpOperationName(op));
        channel = FakeChannel {};
        host = RecordingHost {};
        channel.noAcknowledge = true;
        channel.chip = Pattern(1024, 2);
        // A verify of a blank buffer, and a blank check, would pass on the floating bus's bytes.
        host.data = op == PumpOperation::Verify ? std::vector<std::uint8_t>(1024, 0xFF) : Pattern(1024, 3);
        const std::vector<std::uint8_t> before = host.data;
        PumpJob job = Job(op, 1024, 256, k24C02);
        EXPECT_EQ(job.eepromAddress, 0xA0);
        job.eepromAddress = 0xA2;
        const PumpResult r = Run(job);
        EXPECT_EQ(r.kind, PumpKind::Failed);
        EXPECT_EQ(r.unansweredAddress, 0xA2);
        EXPECT_EQ(ToStepResult(r).unansweredAddress, 0xA2);
        EXPECT_EQ(host.data, before) << "the buffer took bytes of a chip that did not answer";
        EXPECT_EQ(channel.chip, Pattern(1024, 2));
        EXPECT_TRUE(channel.queue.empty()) << "a reply left for the next command";
        // Nothing is asked for after the first answer but the block already on its way.
        EXPECT_LE(channel.CountSent(op == PumpOperation::Write ? P_WRITE_OK : P_READ), 2);
    }

    // A chip that answers, and firmware without the status: [0] reads as before, every block
    // handed over (the first once its status came).
    channel = FakeChannel {};
    host = RecordingHost {};
    channel.chip = Pattern(1024, 4);
    host.data.assign(1024, 0xFF);
    PumpResult r = Run(Job(PumpOperation::Read, 1024, 256, k24C02));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_EQ(r.unansweredAddress, 0);
    EXPECT_EQ(host.data, channel.chip);

    // A read whose first status never comes keeps what came, as any read does.
    channel = FakeChannel {};
    host = RecordingHost {};
    channel.chip = Pattern(1024, 5);
    host.data.assign(1024, 0xFF);
    channel.silentFrom = 2;
    r = Run(Job(PumpOperation::Read, 1024, 256, k24C02));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
    EXPECT_TRUE(std::equal(host.data.begin(), host.data.begin() + 256, channel.chip.begin()));
    EXPECT_EQ(host.data[256], 0xFF);

    // Status 3 is a serial EEPROM's only: on another class it is no answer of ours, as before.
    channel = FakeChannel {};
    host = RecordingHost {};
    channel.noAcknowledge = true;
    host.data = Pattern(1024, 6);
    r = Run(Job(PumpOperation::Read, 1024, 256));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_EQ(r.unansweredAddress, 0);
    EXPECT_EQ(host.data, std::vector<std::uint8_t>(1024, 0xFF));
}
