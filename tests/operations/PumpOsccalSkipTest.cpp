// After an erase a PIC's OSCCAL word holds the calibration again, which no file carries: the blank
// check and the verify of program memory pass over its two bytes, and nowhere else.

#include "PumpFakes.h"
#include "operations/OperationPump.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

using namespace pumptest;

namespace {

constexpr int kCodeBytes = 0x800; // 1 K words
constexpr int kOsccalWord = 0x3FF; // bytes 0x7FE and 0x7FF

class PumpOsccalSkip : public testing::Test {
protected:
    ~PumpOsccalSkip() override { g_bCancelOperation = 1; }

    PumpSnapshot Snap(PumpOperation op, bool hasOsccal, int classIndex = 313)
    {
        PumpSnapshot s;
        s.operation = op;
        s.device.m_nCodeSize = kCodeBytes;
        CPicConfigInfo info;
        info.m_nCoreBits = 14;
        info.m_bHasOscCal = hasOsccal ? 1 : 0;
        info.m_nOscCalAddress = kOsccalWord;
        s.device.m_pPicConfig = PicConfigPtr(info);
        s.classEntry = s.device;
        s.classIndex = classIndex;
        s.bufferBytes = kCodeBytes;
        s.blockSize = 0x200;
        return s;
    }

    PumpResult Run(const PumpSnapshot& s)
    {
        const PumpPlan plan = MakePumpJob(s);
        EXPECT_TRUE(std::holds_alternative<PumpJob>(plan));
        channel.queue.clear();
        host = RecordingHost {};
        host.data = buffer;
        g_bCancelOperation = 0;
        OperationPump pump(channel, voltages, host);
        pump.Run(std::get<PumpJob>(plan));
        return host.results.empty() ? PumpResult {} : host.results.back();
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    FakeChannel channel;
    RecordingVoltages voltages;
    RecordingHost host;
    std::vector<std::uint8_t> buffer;
};

TEST_F(PumpOsccalSkip, BlankCheckAndVerifyPassOverTheCalibrationOnly)
{
    // An erased chip holding its calibration RETLW 0x80 (34 80), and a file whose word there is
    // blank, as files are.
    std::vector<std::uint8_t> erased(kCodeBytes);
    for (int i = 0; i < kCodeBytes; i += 2) {
        erased[i] = 0x3F;
        erased[i + 1] = 0xFF;
    }
    erased[0x7FE] = 0x34;
    erased[0x7FF] = 0x80;
    channel.chip = erased;
    buffer.assign(kCodeBytes, 0xFF);
    for (int i = 0; i < 0x100; ++i)
        buffer[i] = static_cast<std::uint8_t>(i % 2 ? i : i & 0x3F);

    EXPECT_EQ(Run(Snap(PumpOperation::BlankCheck, true)).kind, PumpKind::Done);
    const PumpResult noOsccal = Run(Snap(PumpOperation::BlankCheck, false));
    EXPECT_EQ(noOsccal.kind, PumpKind::Failed);
    EXPECT_EQ(noOsccal.address, 0x7FEu);

    // The chip written with the file: programming leaves the calibration where the file is blank.
    channel.chip = erased;
    for (int i = 0; i < 0x100; ++i)
        channel.chip[i] = buffer[i];
    for (int i = 0x100; i < 0x7FE; ++i)
        channel.chip[i] = buffer[i];
    EXPECT_EQ(Run(Snap(PumpOperation::Verify, true)).kind, PumpKind::Done);
    EXPECT_EQ(Run(Snap(PumpOperation::Verify, false)).address, 0x7FEu);

    // The byte before the word still counts.
    channel.chip[0x7FD] ^= 0x01;
    const PumpResult before = Run(Snap(PumpOperation::Verify, true));
    EXPECT_EQ(before.kind, PumpKind::Failed);
    EXPECT_EQ(before.address, 0x7FDu);
    channel.chip[0x7FD] ^= 0x01;

    // A verify at a device offset: the word lies at 0x7FE less the offset in the buffer.
    PumpSnapshot offset = Snap(PumpOperation::Verify, true);
    offset.deviceOffset = 0x400;
    buffer.assign(channel.chip.begin() + 0x400, channel.chip.end());
    buffer[0x3FE] = 0xFF;
    buffer[0x3FF] = 0xFF;
    offset.bufferBytes = buffer.size();
    EXPECT_EQ(Run(offset).kind, PumpKind::Done);
    buffer[0x3FD] ^= 0x10;
    EXPECT_EQ(Run(offset).address, 0x3FDu);
}

TEST(PumpOsccalSkipJob, OnlyProgramMemoryOfAPicWithTheWord)
{
    CPicConfigInfo info;
    info.m_nCoreBits = 14;
    info.m_bHasOscCal = 1;
    info.m_nOscCalAddress = kOsccalWord;
    info.m_nIdAddress = 0x2000;
    info.m_nDeviceIdAddress = 0x2006;
    CDeviceClass device;
    device.m_nCodeSize = kCodeBytes;
    device.m_nDataSize = 128;
    device.m_pPicConfig = PicConfigPtr(info);
    struct Row {
        const char* name;
        PumpOperation op;
        int bufferIndex;
        int classIndex;
        int skipCount;
    };
    const Row rows[] = {
        { "blank check", PumpOperation::BlankCheck, 0, 313, 2 },
        { "verify", PumpOperation::Verify, 0, 313, 2 },
        { "read", PumpOperation::Read, 0, 313, 0 },
        { "write", PumpOperation::Write, 0, 313, 0 },
        { "data memory", PumpOperation::Verify, 1, 313, 0 },
        { "not a PIC class", PumpOperation::Verify, 0, 200, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PumpSnapshot s;
        s.operation = row.op;
        s.device = device;
        s.classEntry = device;
        s.classIndex = row.classIndex;
        s.bufferIndex = row.bufferIndex;
        s.bufferBytes = row.bufferIndex == 1 ? 128 : kCodeBytes;
        const PumpJob job = std::get<PumpJob>(MakePumpJob(s));
        EXPECT_EQ(job.skipCount, row.skipCount);
        if (row.skipCount) {
            EXPECT_EQ(job.skipFrom, 0x7FE);
        }
    }
    // A word beyond the chip's size (a wrong descriptor) skips nothing.
    PumpSnapshot beyond;
    beyond.operation = PumpOperation::BlankCheck;
    beyond.device = device;
    beyond.device.m_pPicConfig->m_nOscCalAddress = 0x7FF;
    beyond.classEntry = beyond.device;
    beyond.classIndex = 313;
    EXPECT_EQ(std::get<PumpJob>(MakePumpJob(beyond)).skipCount, 0);
}

} // namespace

namespace {

TEST(PumpPicWords, AWritePacketNeverSplitsAPicWord)
{
    for (int classIndex : { 200, 312, 313, 325 }) {
        SCOPED_TRACE(classIndex);
        PumpSnapshot s;
        s.operation = PumpOperation::Write;
        s.device.m_nCodeSize = kCodeBytes;
        s.classEntry = s.device;
        s.classIndex = classIndex;
        s.bufferBytes = kCodeBytes;
        s.writeStep = 59;
        const PumpJob job = std::get<PumpJob>(MakePumpJob(s));
        EXPECT_EQ(job.m_nWriteStep, classIndex >= 312 ? 58 : 59);
    }
}

} // namespace
