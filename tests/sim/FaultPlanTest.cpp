// Faults on demand: what the host sees when the virtual programmer misbehaves.

#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "support/VirtualUsb.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace platform::usb;
using namespace sim;
using namespace tonrig::test;

namespace {

class FaultPlanTest : public testing::Test {
protected:
    void SetUp() override
    {
        BoxConfig config;
        config.time = TimeModel::Zero();
        box = Box::PlugInto(bus, config);
    }

    std::shared_ptr<UsbHandle> Open()
    {
        auto h = OpenUsbDevice(bus, 0x04B4, 0x8613);
        if (h)
            h->ClaimInterface();
        return h;
    }

    std::shared_ptr<UsbHandle> Boot()
    {
        auto h = Open();
        if (!h || !DownloadHex(*h, 0xE600, FirmwareHex(355)))
            return nullptr;
        clock->Advance(1s);
        return box->RunningImage() ? Open() : nullptr;
    }

    UsbTransferResult Send(UsbHandle& h, std::vector<std::uint8_t> packet, unsigned timeoutMs = 1000)
    {
        return h.BulkTransfer(0x02, packet.data(), packet.size(), timeoutMs);
    }

    std::vector<std::uint8_t> Read(
        UsbHandle& h, std::size_t n, UsbStatus expect = UsbStatus::Ok, unsigned timeoutMs = 1000)
    {
        std::vector<std::uint8_t> buf(n);
        const auto r = h.BulkTransfer(0x86, buf.data(), n, timeoutMs);
        EXPECT_EQ(r.status, expect);
        buf.resize(r.count);
        return buf;
    }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ScopedClock scoped { clock };
    VirtualBus bus;
    std::shared_ptr<Box> box;
};

TEST_F(FaultPlanTest, ReplugMidDownloadLeavesTheBoxUnprogrammed)
{
    box->AddFault(Fault::OnA0Address(0x0200, FaultAction::Replug));
    auto h = Open();
    EXPECT_FALSE(DownloadHex(*h, 0xE600, FirmwareHex(355)));
    EXPECT_FALSE(h->IsPresent());
    clock->Advance(2s);
    EXPECT_FALSE(box->RunningImage());
    EXPECT_TRUE(box->Held());
    EXPECT_EQ(box->ReadRam(0, 2), (std::vector<std::uint8_t> { 0, 0 }));
    EXPECT_TRUE(Boot()) << "a second download goes through";
}

TEST_F(FaultPlanTest, StallAnA0AddressOrTheNextTransfers)
{
    box->AddFault(Fault::OnA0Address(0x0100, FaultAction::Stall));
    auto h = Open();
    EXPECT_FALSE(DownloadHex(*h, 0xE600, FirmwareHex(355)));
    EXPECT_TRUE(DownloadHex(*h, 0xE600, FirmwareHex(355))) << "one-shot";
    clock->Advance(1s);
    h = Open();
    box->AddFault(Fault::OnTransfer(box->Transfers() + 1, FaultAction::Stall).Count(3));
    std::uint8_t b = 1;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(h->ControlTransfer(0x40, 0xA0, 0xE600, 0, &b, 1, 100).status, UsbStatus::Stall);
    EXPECT_EQ(h->ControlTransfer(0x40, 0xA0, 0xE600, 0, &b, 1, 100).status, UsbStatus::Ok);
}

TEST_F(FaultPlanTest, ReenumerationSlowOrNever)
{
    box->AddFault(Fault::OnTransfer(1, FaultAction::ReenumerationSlow).Delay(3s));
    auto h = Open();
    ASSERT_TRUE(DownloadHex(*h, 0xE600, FirmwareHex(355)));
    clock->Advance(600ms);
    EXPECT_TRUE(bus.Enumerate().empty());
    clock->Advance(3s);
    EXPECT_EQ(bus.Enumerate().size(), 1u);

    box->AddFault(Fault::OnCode(2, FaultAction::ReenumerationNever));
    h = Open();
    EXPECT_EQ(Send(*h, { 2 }).status, UsbStatus::Ok);
    ASSERT_TRUE(DownloadHex(*h, 0xE600, FirmwareHex(355)));
    clock->Advance(60s);
    EXPECT_TRUE(bus.Enumerate().empty());
}

TEST_F(FaultPlanTest, RepliesGoWrongOnDemand)
{
    auto h = Boot();
    ASSERT_TRUE(h);
    struct Case {
        const char* name;
        Fault fault;
        std::size_t readLength;
        UsbStatus status;
        std::size_t count;
    };
    const Case cases[] = {
        { "withheld", Fault::OnCode(2, FaultAction::WithholdReply), 64, UsbStatus::Timeout, 0 },
        { "cut short", Fault::OnCode(2, FaultAction::CutReply).Bytes(10), 64, UsbStatus::Ok, 54 },
        { "lengthened past the read", Fault::OnCode(2, FaultAction::LengthenReply).Bytes(1), 64, UsbStatus::Overflow,
            0 },
        { "delayed", Fault::OnCode(2, FaultAction::DelayReply).Delay(700ms), 64, UsbStatus::Ok, 64 },
        { "stale zero first", Fault::OnCode(2, FaultAction::StaleZero), 64, UsbStatus::Ok, 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        box->AddFault(c.fault);
        ASSERT_EQ(Send(*h, { 2 }).status, UsbStatus::Ok);
        const Duration start = clock->Now();
        EXPECT_EQ(Read(*h, c.readLength, c.status).size(), c.count);
        if (c.fault.action == FaultAction::DelayReply) {
            EXPECT_EQ(clock->Now() - start, 700ms);
        }
        Send(*h, { 22 }); // drop what is left
    }
    // A count withholds that many replies, then they come again.
    box->AddFault(Fault::OnCode(2, FaultAction::WithholdReply).Count(2));
    for (std::size_t expected : { 0u, 0u, 64u }) {
        ASSERT_EQ(Send(*h, { 2 }).status, UsbStatus::Ok);
        EXPECT_EQ(Read(*h, 64, expected ? UsbStatus::Ok : UsbStatus::Timeout).size(), expected);
    }
    box->AddFault(Fault::OnCode(27, FaultAction::FlipReply).Bytes(1).Mask(0x80));
    Send(*h, { 27 });
    EXPECT_EQ(Read(*h, 64)[1], 0x80);
}

TEST_F(FaultPlanTest, PartialOutThenNak)
{
    auto h = Boot();
    ASSERT_TRUE(h);
    const std::size_t before = box->BytesReceived();
    box->AddFault(Fault::OnCode(3, FaultAction::PartialOut).Bytes(32));
    std::vector<std::uint8_t> sink(64, 0x11);
    sink[0] = 3;
    sink[1] = 1;
    const auto r = Send(*h, sink, 400);
    EXPECT_EQ(r.status, UsbStatus::Timeout);
    EXPECT_EQ(r.count, 32u);
    EXPECT_EQ(box->BytesReceived() - before, 32u);
}

TEST_F(FaultPlanTest, HostConditionsAndTimedUnplug)
{
    auto h = Boot();
    ASSERT_TRUE(h);
    box->AddFault(Fault::OnCode(2, FaultAction::Busy));
    Send(*h, { 2 });
    Read(*h, 64);
    h.reset();
    auto other = OpenUsbDevice(bus, 0x04B4, 0x8613);
    EXPECT_EQ(other->ClaimInterface().status, UsbStatus::Busy);

    box->AddFault(Fault::AtTime(clock->Now() + 5s, FaultAction::Unplug));
    clock->Advance(4s);
    EXPECT_TRUE(other->IsPresent());
    clock->Advance(1s);
    EXPECT_FALSE(other->IsPresent());
    EXPECT_TRUE(bus.Enumerate().empty());
}

} // namespace
