// The command channel against a recording link: batching, address mapping, the range guard,
// transfer sizes, command codes by buffer and the programming delay on the manual clock.

#include "operations/CommandChannel.h"

#include "catalogue/DeviceClassTable.h"
#include "link/ProgrammerCommand.h"
#include "link/ProgrammerModel.h"
#include "operations/OperationState.h"
#include "platform/Clock.h"
#include "support/RecordingMessageBox.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct FakeLink : IChannelLink {
    struct Sent {
        std::vector<std::uint8_t> bytes;
        platform::Duration at;
    };
    std::vector<Sent> sent;
    bool failNext = false;
    bool openResult = true;
    int mode = 2;
    int chip = 2;

    bool Send(const std::uint8_t* data, int length) override
    {
        if (failNext) {
            failNext = false;
            return false;
        }
        sent.push_back({ std::vector<std::uint8_t>(data, data + length), platform::GetClock().Now() });
        return true;
    }
    int Read(std::uint8_t*, int) override { return 0; }
    bool Open() override { return openResult; }
    int TransportMode() const override { return mode; }
    int UsbChipType() const override { return chip; }
};

std::vector<std::uint8_t> WritePacket(std::uint8_t code, std::uint32_t address, int dataBytes, std::uint8_t fill = 0)
{
    std::vector<std::uint8_t> p(static_cast<std::size_t>(5 + dataBytes), fill);
    p[0] = code;
    PutBe32(&p[1], address);
    return p;
}

class Channel : public testing::Test {
protected:
    void SetUp() override
    {
        InitDeviceClassTable();
        saved = g_CurrentDevice;
        SelectClass(1);
        g_nProgrammerModel = kModelZvC;
    }
    void TearDown() override
    {
        g_CurrentDevice = saved;
        g_nCurrentClass = kNoDeviceClass;
        g_nProgrammerModel = kModelZvC;
        g_nOperationState = kStateIdle;
    }
    static void SelectClass(int index)
    {
        g_nCurrentClass = index;
        g_CurrentDevice = g_DeviceClassTable[static_cast<std::size_t>(index)];
    }

    FakeLink link;
    CommandChannel channel { link };
    CDeviceClass saved;
};

TEST_F(Channel, SixtyThreeBatchedPacketsLeaveAsOneTransferAndTheSixtyFourthStartsTheNext)
{
    for (int i = 0; i < 63; ++i) {
        ASSERT_TRUE(channel.SendCommand(WritePacket(P_WRITE, static_cast<std::uint32_t>(i * 59), 59, 0xA5), true));
        EXPECT_EQ(link.sent.size(), i < 62 ? 0u : 1u) << i;
    }
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].bytes.size(), 4032u);
    EXPECT_EQ(channel.BatchFill(), 0);
    // Packet 10 sits in its own 64-byte slot with its own address.
    EXPECT_EQ(GetBe32(&link.sent[0].bytes[10 * 64 + 1]), 10u * 59);

    ASSERT_TRUE(channel.SendCommand(WritePacket(P_WRITE, 63 * 59, 59), true));
    EXPECT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(channel.BatchFill(), 64);
}

TEST_F(Channel, AnUnbatchedPacketBehindWaitingOnesGoesLastInTheSameTransfer)
{
    for (int i = 0; i < 3; ++i)
        channel.SendCommand(WritePacket(P_WRITE, static_cast<std::uint32_t>(i * 59), 59), true);
    const std::uint8_t request[9] = { P_READ, 0, 0, 0, 0, 0, 0, 0, 64 };
    ASSERT_TRUE(channel.SendCommand(request, 9));
    ASSERT_EQ(link.sent.size(), 1u);
    const auto& bytes = link.sent[0].bytes;
    ASSERT_EQ(bytes.size(), 3u * 64 + 9);
    EXPECT_EQ(bytes[0], P_WRITE);
    EXPECT_EQ(bytes[192], P_READ);
    EXPECT_EQ(g_LastCommand[0], P_READ);
    EXPECT_EQ(channel.BatchFill(), 0);
}

TEST_F(Channel, AFailedTransferDropsTheBatchSoNoStalePacketFollowsLaterCommands)
{
    channel.SendCommand(WritePacket(P_WRITE, 0, 59), true);
    link.failNext = true;
    EXPECT_FALSE(channel.SendCommand(WritePacket(P_WRITE_OK, 59, 59)));
    EXPECT_EQ(channel.BatchFill(), 0);
    link.sent.clear();
    ASSERT_TRUE(channel.SendByte(P_VERSION));
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].bytes, std::vector<std::uint8_t> { P_VERSION });
    EXPECT_EQ(g_nLastByteCommand, P_VERSION);

    // A new operation starts with nothing waiting.
    channel.SendCommand(WritePacket(P_WRITE, 0, 59), true);
    channel.BeginOperation();
    link.sent.clear();
    channel.SendByte(P_STOP);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(link.sent[0].bytes.size(), 1u);
}

TEST_F(Channel, PacketsLongerThanSixtyFourBytesAreRefused)
{
    const std::vector<std::uint8_t> big(65, P_WRITE);
    EXPECT_FALSE(channel.SendCommand(big));
    EXPECT_FALSE(channel.SendCommand(nullptr, 0));
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(Channel, WordModeHalvesTheAddressAndRefusesAddressesOutsideTheDevice)
{
    tonrig::test::RecordingMessageBox boxes;
    SelectClass(219);
    ASSERT_EQ(g_DeviceClassTable[219].m_nBusWidth, 2);
    const std::uint8_t request[9] = { P_READ, 0, 0, 2, 0, 0, 0, 0, 64 }; // byte 512
    ASSERT_TRUE(channel.SendCommand(request, 9));
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(GetBe32(&link.sent[0].bytes[1]), 256u);

    const auto size = static_cast<std::uint32_t>(g_CurrentDevice.m_nCodeSize);
    link.sent.clear();
    // The last 58 bytes fit; one word more does not, nor does a read running past the end.
    EXPECT_TRUE(channel.SendCommand(WritePacket(P_WRITE, size - 58, 58)));
    EXPECT_FALSE(channel.SendCommand(WritePacket(P_WRITE, size - 56, 58)));
    std::uint8_t past[9] = { P_READ_OK };
    PutBe32(&past[1], size - 64);
    PutBe32(&past[5], 128);
    EXPECT_FALSE(channel.SendCommand(past, 9));
    PutBe32(&past[1], 0xFFFFFFF0u); // no wrap-around either
    PutBe32(&past[5], 0x20);
    EXPECT_FALSE(channel.SendCommand(past, 9));
    EXPECT_EQ(link.sent.size(), 1u);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, kAddressRangeText);

    channel.BeginOperation();
    EXPECT_FALSE(channel.SendCommand(WritePacket(P_WRITE, size, 2)));
    EXPECT_EQ(boxes.Count(), 2u);

    // Other codes are not addresses.
    EXPECT_TRUE(channel.SendCommand(WritePacket(P_WRITE_DATA, size * 4, 10)));
}

TEST_F(Channel, SocketPinsOfDip24AndDip28ClassesAboveModel3)
{
    int dip24 = -1;
    int dip28 = -1;
    for (int i = 0; i < kNoDeviceClass; ++i) {
        const CDeviceClass& c = g_DeviceClassTable[static_cast<std::size_t>(i)];
        if (dip24 < 0 && c.m_strPackage == "DIP24" && c.m_nPackageCode == 2 && c.m_nBusWidth != 2)
            dip24 = i;
        if (dip28 < 0 && c.m_strPackage == "DIP28" && c.m_nPackageCode == 4 && c.m_nBusWidth != 2)
            dip28 = i;
    }
    ASSERT_GE(dip24, 0);
    ASSERT_GE(dip28, 0);
    struct Case {
        int index;
        int model;
        std::uint8_t byte2;
        std::uint8_t byte3;
    } cases[] = {
        { dip24, kModelZvC, 0x00, 0x20 },
        { dip24, kModelZvA, 0x00, 0x00 },
        { dip28, kModelZvCQ, 0x02, 0x00 },
        { dip28, kModelZvA, 0x00, 0x00 },
        { 1, kModelZvC, 0x00, 0x00 },
    };
    for (const Case& c : cases) {
        SelectClass(c.index);
        g_nProgrammerModel = c.model;
        link.sent.clear();
        channel.SendCommand(WritePacket(P_WRITE_OK, 0x40, 8));
        ASSERT_EQ(link.sent.size(), 1u);
        EXPECT_EQ(link.sent[0].bytes[2], c.byte2) << c.index << " model " << c.model;
        EXPECT_EQ(link.sent[0].bytes[3], c.byte3) << c.index << " model " << c.model;
        EXPECT_EQ(link.sent[0].bytes[4], 0x40);
    }
}

TEST_F(Channel, TransferSizesByClassAndModel)
{
    struct Case {
        int index;
        int model;
        int deviceSize; // 0: the class's own
        TransferSizes expected;
    } cases[] = {
        { 175, kModelZvC, 0, { 2048, 256, 59 } },
        { 175, kModelZvCQ, 0, { 2048, 64, 59 } },
        { 130, kModelZvC, 0, { 2048, 64, 59 } }, // an EPROM: 64 per acknowledgement
        { 1, kModelZvC, 0, { 64, 64, 59 } },
        { 90, kModelZvD, 0, { 16384, 16384, 59 } },
        { 272, kModelZvC, 0, { 32768, 16, 59 } },
        { 321, kModelZvC, 0, { 128, 64, 8 } },
        { 58, kModelZvC, 0, { 16, 256, 16 } },
        { 219, kModelZvC, 0, { 8192, 256, 58 } }, // word mode: whole words per packet
        { 175, kModelZvC, 16, { 16, 256, 59 } },
    };
    for (const Case& c : cases) {
        SelectClass(c.index);
        if (c.deviceSize)
            g_CurrentDevice.m_nCodeSize = c.deviceSize;
        g_nProgrammerModel = c.model;
        EXPECT_EQ(channel.SetTransferSizes(), c.expected.blockSize) << c.index;
        EXPECT_EQ(channel.m_nWriteBlockSize, c.expected.writeBlockSize) << c.index << " model " << c.model;
        EXPECT_EQ(channel.m_nWriteStep, c.expected.writeStep) << c.index;
    }
    // An EPROM class writes 64 bytes per acknowledgement on any model.
    CDeviceClass entry = g_DeviceClassTable[175];
    entry.m_nType = kCategoryEprom;
    EXPECT_EQ(ComputeTransferSizes(175, entry, kModelZvC, 4096).writeBlockSize, 64);
}

TEST_F(Channel, CommandCodesByBuffer)
{
    struct Case {
        int buffer;
        int coreBits;
        std::uint8_t read, readOk, write, writeOk;
    } cases[] = {
        { 0, 0, P_READ, P_READ_OK, P_WRITE, P_WRITE_OK },
        { 1, 0, P_READ_DATA, P_READ_DATA_OK, P_WRITE_DATA, P_WRITE_DATA_OK },
        { 2, 14, P_READ_CFG, P_READ_CFG_OK, P_WRITE_CFG, P_WRITE_CFG_OK },
        { 3, 16, P_READ_CFG_WORD, P_READ_CFG_OK, P_WRITE_CFG_WORD, P_WRITE_CFG_WORD_OK },
        { 3, 14, P_PIC_MEM_READ, P_READ_CFG_OK, P_WRITE_CFG_WORD, P_WRITE_CFG_WORD_OK },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadCommandFor(c.buffer, c.coreBits), c.read) << c.buffer;
        EXPECT_EQ(ReadOkCommandFor(c.buffer), c.readOk) << c.buffer;
        EXPECT_EQ(WriteCommandFor(c.buffer), c.write) << c.buffer;
        EXPECT_EQ(WriteOkCommandFor(c.buffer), c.writeOk) << c.buffer;
    }
    SelectClass(314);
    ASSERT_TRUE(g_CurrentDevice.m_pPicConfig);
    channel.m_nStartAddress = 0;
    channel.GetReadCommand(0);
    EXPECT_EQ(channel.m_nStartAddress, 0);
    channel.GetReadCommand(3);
    EXPECT_EQ(channel.m_nStartAddress, g_CurrentDevice.m_pPicConfig->m_nConfigAddress);
}

class ProgramDelay : public Channel {
protected:
    std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>();
    platform::ScopedClock scoped { clock };
    std::vector<int> applied;
    int factor = 1;

    void SetUp() override
    {
        Channel::SetUp();
        channel.SetHooks({ [this](std::uint8_t code) { applied.push_back(code); }, [this] { return factor; }, {} });
    }
    // When P_VPP left, and the time after the call, from the call's start.
    std::pair<platform::Duration, platform::Duration> Run(int ms)
    {
        const auto start = clock->Now();
        link.sent.clear();
        EXPECT_TRUE(channel.SetProgramDelay(ms));
        const auto end = clock->Now() - start;
        if (link.sent.empty())
            return { platform::Duration(-1), end };
        EXPECT_EQ(link.sent[0].bytes.size(), 9u);
        EXPECT_EQ(link.sent[0].bytes[0], P_VPP);
        EXPECT_EQ(link.sent[0].bytes[1], 1);
        return { link.sent[0].at - start, end };
    }
};

TEST_F(ProgramDelay, WaitsTheClassOrFactoredTimeThenSwitchesVppOn)
{
    using std::chrono::milliseconds;
    SelectClass(165);
    g_CurrentDevice.m_nReadVpp = 7;
    factor = 3;
    auto [vpp, end] = Run(1000);
    EXPECT_EQ(vpp, milliseconds(2200));
    EXPECT_EQ(end, milliseconds(2400));
    EXPECT_EQ(applied, std::vector<int> { 7 });

    SelectClass(175);
    g_CurrentDevice.m_nReadVpp = 7;
    std::tie(vpp, end) = Run(1000);
    EXPECT_EQ(vpp, milliseconds(3000));
    EXPECT_EQ(end, milliseconds(3200));

    for (std::uint8_t none : { std::uint8_t { 0xFF }, std::uint8_t { 0 } }) {
        g_CurrentDevice.m_nReadVpp = none;
        applied.clear();
        std::tie(vpp, end) = Run(1000);
        EXPECT_EQ(vpp, platform::Duration(-1));
        EXPECT_EQ(end, platform::Duration(0));
        EXPECT_TRUE(applied.empty());
    }
}

TEST_F(ProgramDelay, ACancelOrAStopEndsTheWaitEarly)
{
    SelectClass(175);
    g_CurrentDevice.m_nReadVpp = 7;
    bool cancel = false;
    channel.SetHooks({ {}, [] { return 1; }, [&] { return cancel; } });
    clock->Schedule(clock->Now() + std::chrono::milliseconds(300), [&] { cancel = true; });
    const auto start = clock->Now();
    EXPECT_FALSE(channel.SetProgramDelay(1000));
    EXPECT_LT(clock->Now() - start, std::chrono::milliseconds(400));
    EXPECT_TRUE(link.sent.empty());

    std::stop_source stop;
    stop.request_stop();
    cancel = false;
    EXPECT_FALSE(channel.SetProgramDelay(1000, stop.get_token()));
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(Channel, PinDriversApplyTheVppCodeUnlessNone)
{
    std::vector<int> applied;
    channel.SetHooks({ [&](std::uint8_t code) { applied.push_back(code); }, {}, {} });
    for (std::uint8_t code : { std::uint8_t { 6 }, std::uint8_t { 0 }, std::uint8_t { 0xFF } }) {
        g_CurrentDevice.m_nVpp = code;
        channel.SetPinDrivers();
    }
    EXPECT_EQ(applied, std::vector<int> { 6 });
}

TEST_F(Channel, CheckAndDisconnect)
{
    link.mode = 1;
    link.chip = 2;
    EXPECT_TRUE(channel.CheckProgrammerLink());
    link.chip = 0;
    EXPECT_TRUE(channel.CheckProgrammerLink());
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0].bytes, (std::vector<std::uint8_t> { 134, 0 }));
    EXPECT_EQ(link.sent[1].bytes, (std::vector<std::uint8_t> { 130, 0 }));

    link.mode = 2;
    link.sent.clear();
    link.openResult = false;
    g_nOperationState = kStateIdle;
    EXPECT_FALSE(channel.DisconnectProgrammer());
    EXPECT_EQ(g_nOperationState, kStateDisconnected);
    EXPECT_TRUE(link.sent.empty());
}

} // namespace
