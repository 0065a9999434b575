
// The data pump against the virtual programmer (strict): the chip after a
// write, the buffer after a read, the result of every ending, and nothing left
// unread behind it.

#include "operations/CfgVoltageSetter.h"
#include "operations/CommandChannelPump.h"
#include "operations/OperationPump.h"

#include "PumpFakes.h"
#include "catalogue/DeviceClassTable.h"
#include "link/CFGManager.h"
#include "link/ProgrammerLink.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationState.h"
#include "operations/SetupLinkPort.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/FaultPlan.h"
#include "support/RecordingMessageBox.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

using pumptest::RecordingHost;
using sim::ChipCategory;
using sim::ChipSpec;

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed = 1)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>((i * 37 + seed * 11) ^ (i >> 8));
    return v;
}

// The program's channel with a tap: what the pump sends and reads, and a hook
// on each send.
class TappedChannel final : public PumpChannel {
public:
    explicit TappedChannel(PumpChannel& inner)
        : m_inner(inner)
    {
    }
    void Drain() override { m_inner.Drain(); }
    Status SendCommand(const std::uint8_t* p, int size, bool batch) override
    {
        const Status s = m_inner.SendCommand(p, size, batch);
        ++sends[p[0]];
        if (onSend)
            onSend(p[0], sends[p[0]]);
        return s;
    }
    int ReadResponse(std::uint8_t* buffer, int size, Status& status) override
    {
        const int n = m_inner.ReadResponse(buffer, size, status);
        ++reads;
        if (n == 0 && status == Status::Timeout)
            ++timeouts;
        if (onRead)
            onRead(reads);
        return n;
    }
    Status SetProgramDelay(int ms, std::stop_token stop) override { return m_inner.SetProgramDelay(ms, stop); }

    std::map<int, int> sends;
    int reads = 0;
    int timeouts = 0;
    std::function<void(std::uint8_t code, int nth)> onSend;
    std::function<void(int nth)> onRead;

private:
    PumpChannel& m_inner;
};

class PumpOnBox : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        g_ProgrammerLink.ResetForTest(bus);
        Plug();
    }
    void TearDown() override
    {
        g_ProgrammerLink.ResetForTest();
        g_nCurrentClass = kNoDeviceClass;
        g_nProgrammerModel = kModelZvC;
        g_CurrentDevice = CDeviceClass();
        g_bCancelOperation = 1;
        g_CFGManager.ResetState();
    }

    void Plug(const std::string& version = "ZV-C Re-2.00", sim::BoxConfig config = {})
    {
        config.version = version;
        if (box)
            box->Port()->Disconnect();
        box = sim::Box::PlugInto(*bus, config);
        g_ProgrammerLink.ResetForTest(bus);
        ASSERT_TRUE(g_ProgrammerLink.LoadFirmwareIfReady(355));
        g_nProgrammerModel = sim::ModelOfVersion(version);
        g_CFGManager.ResetState();
    }

    // Selects class `index` with `size` bytes of main memory (and `dataSize` of
    // data).
    void Select(int index, int size, int dataSize = -1)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
        g_CurrentDevice.m_nCodeSize = size;
        if (dataSize >= 0)
            g_CurrentDevice.m_nDataSize = dataSize;
        g_CurrentDevice.m_nReadVpp = 0xFF; // no programming-voltage delay before reads
    }

    sim::Chip& Insert(ChipSpec chipSpec)
    {
        chipSpec.vppRuleOff = true;
        chipSpec.packageCode = g_DeviceClassTable[static_cast<std::size_t>(g_nCurrentClass)].m_nPackageCode;
        std::lock_guard lock(box->Mutex());
        return box->ChipSocket().Insert(std::move(chipSpec));
    }
    std::vector<std::uint8_t>& Contents(sim::ChipMemory memory = sim::ChipMemory::Main)
    {
        return box->ChipSocket().Get()->Contents(memory);
    }

    PumpJob Job(PumpOperation op, int bufferIndex = 0, std::uint32_t offset = 0)
    {
        channel.SetTransferSizes();
        PumpSnapshot s;
        s.operation = op;
        s.device = g_CurrentDevice;
        s.classEntry = g_DeviceClassTable[static_cast<std::size_t>(g_nCurrentClass)];
        s.classIndex = g_nCurrentClass;
        s.model = g_nProgrammerModel.load();
        s.deviceOffset = offset;
        s.bufferIndex = bufferIndex;
        s.bufferBytes = host.data.size();
        s.blockSize = channel.m_nBlockSize;
        s.writeBlockSize = channel.m_nWriteBlockSize;
        s.writeStep = channel.m_nWriteStep;
        const PumpPlan plan = MakePumpJob(s);
        EXPECT_TRUE(std::holds_alternative<PumpJob>(plan));
        return std::holds_alternative<PumpJob>(plan) ? std::get<PumpJob>(plan) : PumpJob {};
    }

    PumpResult Run(const PumpJob& job)
    {
        host.results.clear();
        if (job.operation == PumpOperation::Read)
            host.data.assign(static_cast<std::size_t>(job.regionBytes), 0xFF);
        g_bCancelOperation = 0;
        channel.BeginOperation();
        tap = std::make_unique<TappedChannel>(pumpChannel);
        if (onSend)
            tap->onSend = onSend;
        if (onRead)
            tap->onRead = onRead;
        OperationPump pump(*tap, voltages, host);
        pump.Run(job);
        EXPECT_EQ(host.results.size(), 1u);
        return host.results.empty() ? PumpResult {} : host.results.back();
    }

    // Nothing the programmer sent is left for the next command.
    void ExpectNothingUnread()
    {
        const std::uint8_t power[1] = { P_POWER_DOWN };
        g_ProgrammerLink.SendData(power, 1);
        EXPECT_EQ(g_ProgrammerLink.DrainInput(), 0u) << "a reply was left unread";
    }

    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::shared_ptr<platform::usb::VirtualBus> bus = std::make_shared<platform::usb::VirtualBus>();
    tonrig::test::RecordingMessageBox boxes;
    std::shared_ptr<sim::Box> box;
    ProgrammerLinkPort port;
    CommandChannel channel { port, CommandChannel::Hooks { {}, {}, [] { return g_bCancelOperation.load() != 0; } } };
    CommandChannelPump pumpChannel { channel };
    CfgVoltageSetter voltages;
    RecordingHost host;
    std::unique_ptr<TappedChannel> tap;
    std::function<void(std::uint8_t, int)> onSend;
    std::function<void(int)> onRead;
};

TEST_F(PumpOnBox, RoundTrips)
{
    struct Row {
        const char* name;
        std::string version;
        int classIndex;
        int deviceSize;
        ChipCategory category;
        int bufferSize; // 0: the device's
        int blockSize; // 0: the class's
        bool wordMode = false;
        bool noReadStatus = false;
    };
    const Row rows[] = {
        { "512 KB class 200, model 5", "ZV-C Re-2.00", 200, 0x80000, ChipCategory::Flash, 0, 0 },
        { "512 KB class 200, model 7", "ZV-CQ Re-2.00", 200, 0x80000, ChipCategory::Flash, 0, 0 },
        { "0x10000 bytes in 0x6000-byte blocks", "ZV-C Re-2.00", 200, 0x10000, ChipCategory::Flash, 0, 0x6000 },
        { "12 bytes", "ZV-C Re-2.00", 200, 12, ChipCategory::ParallelEeprom, 0, 0 },
        { "16 bytes, class 58", "ZV-C Re-2.00", 58, 16, ChipCategory::SerialEeprom, 0, 0 },
        { "61 bytes", "ZV-C Re-2.00", 200, 61, ChipCategory::ParallelEeprom, 0, 0 },
        { "63 bytes", "ZV-C Re-2.00", 200, 63, ChipCategory::ParallelEeprom, 0, 0 },
        { "a write below one step", "ZV-C Re-2.00", 200, 4096, ChipCategory::Flash, 40, 0 },
        { "word mode, class 219", "ZV-C Re-2.00", 219, 4096, ChipCategory::Flash, 0, 0, true },
        { "class 90", "ZV-C Re-2.00", 90, 40000, ChipCategory::Flash, 0, 0, false, true },
        { "a buffer shorter than the device", "ZV-C Re-2.00", 200, 4096, ChipCategory::Flash, 1000, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Plug(row.version);
        Select(row.classIndex, row.deviceSize);
        ChipSpec chipSpec = ChipSpec::Make(row.category, static_cast<std::uint32_t>(row.deviceSize));
        chipSpec.wordMode = row.wordMode;
        chipSpec.noReadStatus = row.noReadStatus;
        Insert(chipSpec);
        const auto bufferSize = static_cast<std::size_t>(row.bufferSize ? row.bufferSize : row.deviceSize);
        const std::vector<std::uint8_t> data = Pattern(bufferSize, static_cast<unsigned>(row.classIndex));

        host.data = data;
        PumpJob write = Job(PumpOperation::Write);
        const PumpResult w = Run(write);
        EXPECT_EQ(w.kind, PumpKind::Done);
        std::vector<std::uint8_t> expected(static_cast<std::size_t>(row.deviceSize), 0xFF);
        std::copy(data.begin(), data.end(), expected.begin());
        EXPECT_TRUE(Contents() == expected) << "the chip after the write";

        PumpJob read = Job(PumpOperation::Read);
        if (row.blockSize)
            read.m_nBlockSize = row.blockSize;
        const PumpResult r = Run(read);
        EXPECT_EQ(r.kind, PumpKind::Done);
        EXPECT_TRUE(host.data == expected) << "the buffer after the read";

        host.data = data;
        const PumpResult v = Run(Job(PumpOperation::Verify));
        EXPECT_EQ(v.kind, PumpKind::Done);
        ExpectNothingUnread();
    }
}

TEST_F(PumpOnBox, DeviceOffset)
{
    Select(200, 4096);
    Insert(ChipSpec::Make(ChipCategory::Flash, 4096));
    host.data = Pattern(4096, 9);
    const std::vector<std::uint8_t> buffer = host.data;
    EXPECT_EQ(Run(Job(PumpOperation::Write, 0, 0x100)).kind, PumpKind::Done);
    const auto& chip = Contents();
    EXPECT_TRUE(std::all_of(chip.begin(), chip.begin() + 0x100, [](std::uint8_t b) { return b == 0xFF; }))
        << "below the offset untouched";
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 0xF00, chip.begin() + 0x100));

    const PumpResult r = Run(Job(PumpOperation::Read, 0, 0x100));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_TRUE(std::equal(host.data.begin(), host.data.begin() + 0xF00, chip.begin() + 0x100));
    EXPECT_TRUE(std::all_of(host.data.begin() + 0xF00, host.data.end(), [](std::uint8_t b) { return b == 0xFF; }))
        << "the tail is not the chip's wrapped start";

    host.data = buffer;
    EXPECT_EQ(Run(Job(PumpOperation::Verify, 0, 0x100)).kind, PumpKind::Done);
    ExpectNothingUnread();
}

TEST_F(PumpOnBox, PicDataMemory)
{
    Select(313, 4096, 128);
    ChipSpec chipSpec = ChipSpec::Make(ChipCategory::Pic, 4096);
    chipSpec.data.size = 128;
    chipSpec.pic.coreBits = 14;
    Insert(chipSpec);
    host.data = Pattern(128, 4);
    const std::vector<std::uint8_t> data = host.data;
    EXPECT_EQ(Run(Job(PumpOperation::Write, 1)).kind, PumpKind::Done);
    EXPECT_TRUE(Contents(sim::ChipMemory::Data) == data);
    EXPECT_EQ(Run(Job(PumpOperation::Read, 1)).kind, PumpKind::Done);
    EXPECT_TRUE(host.data == data);

    // A data buffer shorter than the data size: only its bytes are written and
    // compared.
    host.data.assign(data.begin(), data.begin() + 40);
    EXPECT_EQ(Run(Job(PumpOperation::Verify, 1)).kind, PumpKind::Done);
    EXPECT_EQ(Run(Job(PumpOperation::Write, 1)).kind, PumpKind::Done);
    ExpectNothingUnread();
}

TEST_F(PumpOnBox, VerifyAndBlankCheck)
{
    Select(200, 0x4000);
    Insert(ChipSpec::Make(ChipCategory::Flash, 0x4000));
    host.data.assign(0x4000, 0xFF);
    EXPECT_EQ(Run(Job(PumpOperation::BlankCheck)).kind, PumpKind::Done) << "an untouched chip";

    Contents()[0x1234] = 0x00;
    PumpResult r = Run(Job(PumpOperation::BlankCheck));
    EXPECT_EQ(r.kind, PumpKind::Failed);
    EXPECT_EQ(r.address, 0x1234u);
    EXPECT_EQ(r.deviceByte, 0x00);

    Contents() = Pattern(0x4000);
    host.data = Contents();
    Contents()[0x1234] ^= 0x10;
    Contents()[0x2000] ^= 0x10;
    r = Run(Job(PumpOperation::Verify));
    EXPECT_EQ(r.kind, PumpKind::Failed);
    EXPECT_EQ(r.address, 0x1234u);
    EXPECT_EQ(r.deviceByte, Contents()[0x1234]);
    EXPECT_EQ(r.bufferByte, host.data[0x1234]);

    host.data = Contents();
    host.data[0] ^= 1;
    r = Run(Job(PumpOperation::Verify));
    EXPECT_EQ(r.kind, PumpKind::Failed);
    EXPECT_EQ(r.address, 0u);
    ExpectNothingUnread();
}

TEST_F(PumpOnBox, PicBlankCheck)
{
    Select(313, 2048, 64);
    ChipSpec chipSpec = ChipSpec::Make(ChipCategory::Pic, 2048);
    chipSpec.data.size = 64;
    chipSpec.pic.coreBits = 14;
    chipSpec.pic.deviceIdAddress = 0x2006;
    chipSpec.signature = { 0x10, 0x60 };
    Insert(chipSpec);
    host.data.clear();
    EXPECT_EQ(Run(Job(PumpOperation::BlankCheck)).kind, PumpKind::Done) << "program memory 3F FF";
    EXPECT_EQ(Run(Job(PumpOperation::BlankCheck, 2)).kind, PumpKind::Done) << "configuration memory with the device ID";
    EXPECT_EQ(Run(Job(PumpOperation::BlankCheck, 1)).kind, PumpKind::Done) << "data memory";

    // Programmed code memory is no concern of a data-memory blank check.
    Contents()[0] = 0x00;
    EXPECT_EQ(Run(Job(PumpOperation::BlankCheck, 1)).kind, PumpKind::Done);
    Contents(sim::ChipMemory::Data)[5] = 0x3F;
    const PumpResult r = Run(Job(PumpOperation::BlankCheck, 1));
    EXPECT_EQ(r.kind, PumpKind::Failed);
    EXPECT_EQ(r.address, 5u);
    ExpectNothingUnread();
}

TEST_F(PumpOnBox, WriteFailuresAndErase)
{
    Select(200, 0x2000);
    ChipSpec chipSpec = ChipSpec::Make(ChipCategory::Flash, 0x2000);
    chipSpec.conditions.failAt = { 0x0400 };
    Insert(chipSpec);
    host.data = Pattern(0x2000, 2);
    PumpResult r = Run(Job(PumpOperation::Write));
    EXPECT_EQ(r.kind, PumpKind::Failed);
    EXPECT_EQ(r.address, 0x0400u);
    EXPECT_EQ(r.bufferByte, host.data[0x400]);
    ExpectNothingUnread();

    chipSpec.conditions.failAt = { 0 };
    Insert(chipSpec);
    host.data[0] = 0x00;
    r = Run(Job(PumpOperation::Write));
    EXPECT_EQ(r.kind, PumpKind::Failed);
    EXPECT_EQ(r.address, 0u);
    EXPECT_EQ(r.bufferByte, 0x00);
    ExpectNothingUnread();

    chipSpec.conditions.failAt.clear();
    Insert(chipSpec);
    Contents() = Pattern(0x2000);
    r = Run(Job(PumpOperation::Erase));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_TRUE(std::all_of(Contents().begin(), Contents().end(), [](std::uint8_t b) { return b == 0xFF; }));

    Insert(ChipSpec::Make(ChipCategory::Eprom, 0x2000));
    EXPECT_EQ(Run(Job(PumpOperation::Erase)).kind, PumpKind::Failed);
    ExpectNothingUnread();
}

TEST_F(PumpOnBox, WriteFailureAddressesAreDeviceBytes)
{
    struct Row {
        const char* name;
        int classIndex;
        const char* package;
        int size;
        bool wordMode;
    };
    const Row rows[] = {
        { "DIP24: its power line masked off", 200, "DIP24", 0x2000, false },
        { "DIP28: its power line masked off", 200, "DIP28", 0x8000, false },
        { "word mode: a byte address", 219, nullptr, 0x1000, true },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        InitDeviceClassTable();
        Plug();
        if (row.package) {
            g_DeviceClassTable[static_cast<std::size_t>(row.classIndex)].m_strPackage = row.package;
            g_DeviceClassTable[static_cast<std::size_t>(row.classIndex)].m_nPackageCode = row.package[4] == '4' ? 2 : 4;
        }
        Select(row.classIndex, row.size);
        ChipSpec chipSpec = ChipSpec::Make(ChipCategory::Flash, static_cast<std::uint32_t>(row.size));
        chipSpec.wordMode = row.wordMode;
        chipSpec.conditions.failAt = { 0x0400 };
        Insert(chipSpec);
        host.data = Pattern(static_cast<std::size_t>(row.size), 6);
        const PumpResult r = Run(Job(PumpOperation::Write));
        EXPECT_EQ(r.kind, PumpKind::Failed);
        EXPECT_EQ(r.address, 0x0400u);
        EXPECT_EQ(r.bufferByte, host.data[0x400]);
        EXPECT_EQ(Contents()[0x3FF], host.data[0x3FF]) << "the chip was powered and programmed below";
        ExpectNothingUnread();
    }
}

TEST_F(PumpOnBox, Cancel)
{
    struct Row {
        const char* name;
        PumpOperation op;
        std::uint8_t code; // the packet whose nth sending cancels; 0: the nth read;
                           // 0xFF: in the pause
        int nth;
    };
    const Row rows[] = {
        { "read at block 10", PumpOperation::Read, P_READ, 10 },
        { "write at block 100", PumpOperation::Write, P_WRITE_OK, 100 },
        { "verify at block 3", PumpOperation::Verify, P_READ, 3 },
        { "blank check at block 2", PumpOperation::BlankCheck, P_READ, 2 },
        { "erase in its keep-alives", PumpOperation::Erase, 0, 2 },
        { "read in the pause", PumpOperation::Read, 0xFF, 0 },
        { "write in the pause", PumpOperation::Write, 0xFF, 0 },
        { "verify in the pause", PumpOperation::Verify, 0xFF, 0 },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Plug();
        Select(200, 0x40000);
        Insert(ChipSpec::Make(ChipCategory::Flash, 0x40000));
        const std::vector<std::uint8_t> chip = Pattern(0x40000, 7);
        if (row.op != PumpOperation::Write && row.op != PumpOperation::BlankCheck)
            Contents() = chip;
        host.data = chip;
        onSend = nullptr;
        onRead = nullptr;
        if (row.code == 0xFF)
            clock->Schedule(clock->Now() + std::chrono::milliseconds(100), [] { g_bCancelOperation = 1; });
        else if (row.code)
            onSend = [&row](std::uint8_t code, int nth) {
                if (code == row.code && nth == row.nth)
                    g_bCancelOperation = 1;
            };
        else
            onRead = [&row](int nth) {
                if (nth == row.nth)
                    g_bCancelOperation = 1;
            };
        const PumpResult r = Run(Job(row.op));
        EXPECT_EQ(r.kind, PumpKind::Cancelled);
        if (row.code && row.code != 0xFF) {
            EXPECT_EQ(tap->sends[row.code], row.nth) << "a block after the cancel";
        }
        if (row.code == 0xFF && row.op != PumpOperation::Write) {
            EXPECT_EQ(tap->sends[P_READ], 0);
        }
        ExpectNothingUnread();

        // The next operation is correct.
        onSend = nullptr;
        onRead = nullptr;
        const std::vector<std::uint8_t> now = Contents();
        EXPECT_EQ(Run(Job(PumpOperation::Read)).kind, PumpKind::Done);
        EXPECT_TRUE(host.data == now);
        ExpectNothingUnread();
    }
}

TEST_F(PumpOnBox, LinkLoss)
{
    Select(200, 0x20000);
    Insert(ChipSpec::Make(ChipCategory::Flash, 0x20000));
    Contents() = Pattern(0x20000);
    onSend = [this](std::uint8_t code, int nth) {
        if (code == P_READ && nth == 5)
            box->Port()->Disconnect();
    };
    PumpResult r = Run(Job(PumpOperation::Read));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
    EXPECT_LT(r.position, 0x20000);
    EXPECT_EQ(tap->timeouts, 0) << "a gone programmer is lost at once";

    // A stall: the replies stop coming.
    onSend = nullptr;
    Plug();
    Select(200, 0x20000);
    Insert(ChipSpec::Make(ChipCategory::Flash, 0x20000));
    box->AddFault(sim::Fault::OnCode(P_READ, sim::FaultAction::WithholdReply).Persistent());
    r = Run(Job(PumpOperation::Read));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
    EXPECT_EQ(tap->timeouts, OperationPump::kMaxSilentReads);
}

TEST_F(PumpOnBox, StaleAndCutReplies)
{
    Select(200, 0x10000);
    Insert(ChipSpec::Make(ChipCategory::Flash, 0x10000));
    Contents() = Pattern(0x10000, 3);
    // An answer nobody read, left from before.
    const std::uint8_t ack[2] = { P_ACK, 0 };
    g_ProgrammerLink.SendData(ack, 2);
    PumpResult r = Run(Job(PumpOperation::Read));
    EXPECT_EQ(r.kind, PumpKind::Done);
    EXPECT_TRUE(host.data == Contents());

    // A block cut short: the buffer is right, or the link counts as lost; never
    // done with wrong data.
    box->AddFault(sim::Fault::OnCode(P_READ, sim::FaultAction::CutReply).Bytes(100));
    r = Run(Job(PumpOperation::Read));
    EXPECT_EQ(r.kind, PumpKind::LinkLost);
    EXPECT_LT(r.position, 0x10000);
    ExpectNothingUnread();
}

} // namespace
