// The virtual programmer driven by raw USB calls, as the host's transport will drive it.

#include "sim/Box.h"
#include "platform/Clock.h"
#include "platform/usb/VirtualBus.h"
#include "sim/FirmwareDescriptor.h"
#include "support/TestEnvironment.h"
#include "support/VirtualUsb.h"
#include "tools/mkfwimage/FirmwareImage.h"

#include "support/CapturedProtocolErrors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

using namespace platform;
using namespace platform::usb;
using namespace sim;
using namespace tonrig::test;

namespace {

class BoxTest : public testing::Test {
protected:
    void Plug(BoxConfig config = {}) { box = Box::PlugInto(bus, std::move(config)); }

    std::shared_ptr<UsbHandle> OpenBox()
    {
        auto h = OpenUsbDevice(bus, kEzusbVendorId, box->Config().productId);
        if (h)
            h->ClaimInterface();
        return h;
    }

    void Download(const std::string& hex, bool run = true)
    {
        auto h = OpenBox();
        ASSERT_TRUE(h);
        ASSERT_TRUE(DownloadHex(*h, box->CpucsAddress(), hex, run));
    }

    // Downloads an image and waits for the box to come back; the handle is null when it did not.
    std::shared_ptr<UsbHandle> Boot(const std::string& hex)
    {
        Download(hex);
        clock->Advance(1s);
        if (!box->RunningImage())
            return nullptr;
        return OpenBox();
    }
    std::shared_ptr<UsbHandle> Boot(int number) { return Boot(FirmwareHex(number)); }

    void Send(UsbHandle& h, std::vector<std::uint8_t> packet)
    {
        const auto r = h.BulkTransfer(0x02, packet.data(), packet.size(), 1000);
        EXPECT_EQ(r.status, UsbStatus::Ok);
        EXPECT_EQ(r.count, packet.size());
    }

    std::vector<std::uint8_t> Read(
        UsbHandle& h, std::size_t length, UsbStatus expect = UsbStatus::Ok, unsigned timeoutMs = 1000)
    {
        std::vector<std::uint8_t> buf(length);
        const auto r = h.BulkTransfer(box->InEndpoint(), buf.data(), buf.size(), timeoutMs);
        EXPECT_EQ(r.status, expect);
        buf.resize(r.count);
        return buf;
    }

    std::string Version(UsbHandle& h)
    {
        Send(h, { 2 });
        const auto reply = Read(h, 64);
        return std::string(reinterpret_cast<const char*>(reply.data()),
            strnlen(reinterpret_cast<const char*>(reply.data()), reply.size()));
    }

    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    ScopedClock scoped { clock };
    VirtualBus bus;
    std::shared_ptr<Box> box;
};

TEST_F(BoxTest, Image355ReenumeratesAndSpeaksTheProtocol)
{
    Plug();
    auto before = FindUsbDevice(bus, 0x04B4, 0x8613);
    ASSERT_TRUE(before);
    auto old = OpenBox();
    ASSERT_TRUE(DownloadHex(*old, 0xE600, FirmwareHex(355)));

    // The box leaves after the re-enumeration delay, not before.
    clock->Advance(499ms);
    EXPECT_TRUE(old->IsPresent());
    clock->Advance(1ms);
    EXPECT_FALSE(old->IsPresent());
    std::uint8_t b = 1;
    EXPECT_EQ(old->ControlTransfer(0x40, 0xA0, 0xE600, 0, &b, 1, 100).status, UsbStatus::NoDevice);

    const auto after = FindUsbDevice(bus, 0x04B4, 0x8613);
    ASSERT_TRUE(after);
    EXPECT_NE(after->address, before->address);
    EXPECT_EQ(after->manufacturer, "Ostrand");
    EXPECT_EQ(box->RunningImage(), 355);

    auto h = OpenBox();
    std::vector<UsbEndpoint> eps;
    ASSERT_EQ(h->GetEndpoints(eps), UsbStatus::Ok);
    ASSERT_EQ(eps.size(), 3u);
    EXPECT_EQ(eps[0].address, 0x02);
    EXPECT_EQ(eps[1].address, 0x86);
    EXPECT_EQ(eps[1].maxPacketSize, 512);
    EXPECT_EQ(eps[2].address, 0x81);
    EXPECT_EQ(eps[2].type, UsbEndpointType::Interrupt);

    EXPECT_EQ(Version(*h), "ZV-C Re-2.00");
    Send(*h, { 27 });
    auto id = Read(*h, 64);
    ASSERT_EQ(id.size(), 64u);
    EXPECT_EQ(id[0], 0);
    EXPECT_EQ(id[1], 0);
    Send(*h, { 26, 0, 0xDC });
    Send(*h, { 27 });
    id = Read(*h, 64);
    EXPECT_EQ(id[0], 0x00);
    EXPECT_EQ(id[1], 0xDC);
    Send(*h, { 24 });
    const auto serial = Read(*h, 64);
    EXPECT_EQ(std::string(serial.begin(), serial.begin() + 10), "ZV00000001");
    EXPECT_EQ(serial[10], 0);
}

TEST_F(BoxTest, InvalidImagesAreSilent)
{
    struct Case {
        const char* name;
        std::string hex;
    };
    mkfwimage::ImageOptions badCrc;
    badCrc.badCrc = true;
    mkfwimage::ImageOptions wrongModel;
    wrongModel.models = 1u << 7; // ZV-CQ only, the box is a ZV-C
    mkfwimage::ImageOptions tooLong;
    tooLong.length = 0x4000; // fine on an FX2 ...
    std::string noDescriptor = ":0400000080FE0000"
                               "7E\r\n:00000001FF\r\n";
    const Case cases[] = {
        { "bad CRC", mkfwimage::ImageHex(badCrc) },
        { "wrong model", mkfwimage::ImageHex(wrongModel) },
        { "no descriptor", noDescriptor },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plug();
        const auto before = FindUsbDevice(bus, 0x04B4, 0x8613);
        EXPECT_EQ(Boot(c.hex), nullptr);
        clock->Advance(10s);
        const auto after = FindUsbDevice(bus, 0x04B4, 0x8613);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->address, before->address) << "re-enumerated";
        EXPECT_FALSE(box->Held());
        EXPECT_EQ(box->Boots(), 0);
        box->Port()->Unplug();
    }
    // ... and too long for an AN21xx, whose RAM ends at 0x2000: the write itself stalls.
    BoxConfig an;
    an.chip = EzusbChip::An21xx;
    an.productId = 0x2131;
    Plug(an);
    auto h = OpenBox();
    EXPECT_FALSE(DownloadHex(*h, 0x7F92, mkfwimage::ImageHex(tooLong)));
}

TEST_F(BoxTest, VendorRequestA0Rules)
{
    struct Case {
        const char* name;
        EzusbChip chip;
        std::uint8_t type;
        std::uint8_t request;
        std::uint16_t address;
        std::uint16_t index;
        std::size_t length;
        UsbStatus status;
    };
    const Case cases[] = {
        { "FX2 RAM", EzusbChip::Fx2, 0x40, 0xA0, 0x3FF0, 0, 16, UsbStatus::Ok },
        { "FX2 RAM end crossed", EzusbChip::Fx2, 0x40, 0xA0, 0x3FF0, 0, 17, UsbStatus::Stall },
        { "FX2 0x5000", EzusbChip::Fx2, 0x40, 0xA0, 0x5000, 0, 1, UsbStatus::Stall },
        { "FX2 0x5000 zero length", EzusbChip::Fx2, 0x40, 0xA0, 0x5000, 0, 0, UsbStatus::Stall },
        { "FX2 upper RAM", EzusbChip::Fx2, 0x40, 0xA0, 0xE000, 0, 512, UsbStatus::Ok },
        { "FX2 a register other than CPUCS", EzusbChip::Fx2, 0x40, 0xA0, 0xE601, 0, 1, UsbStatus::Stall },
        { "FX2 CPUCS and beyond", EzusbChip::Fx2, 0x40, 0xA0, 0xE600, 0, 2, UsbStatus::Stall },
        { "FX2 zero-length write", EzusbChip::Fx2, 0x40, 0xA0, 0x0100, 0, 0, UsbStatus::Ok },
        { "FX2 index not 0", EzusbChip::Fx2, 0x40, 0xA0, 0x0100, 1, 1, UsbStatus::Stall },
        { "FX2 request 0xA3", EzusbChip::Fx2, 0x40, 0xA3, 0x0100, 0, 1, UsbStatus::Stall },
        { "FX2 read back", EzusbChip::Fx2, 0xC0, 0xA0, 0x0000, 0, 4096, UsbStatus::Ok },
        { "FX2 read outside RAM", EzusbChip::Fx2, 0xC0, 0xA0, 0x4000, 0, 1, UsbStatus::Stall },
        { "AN21xx RAM", EzusbChip::An21xx, 0x40, 0xA0, 0x1FF0, 0, 16, UsbStatus::Ok },
        { "AN21xx 0x2000", EzusbChip::An21xx, 0x40, 0xA0, 0x2000, 0, 1, UsbStatus::Stall },
        { "AN21xx has no upper RAM", EzusbChip::An21xx, 0x40, 0xA0, 0xE000, 0, 1, UsbStatus::Stall },
        { "AN21xx CPUCS", EzusbChip::An21xx, 0x40, 0xA0, 0x7F92, 0, 1, UsbStatus::Ok },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BoxConfig config;
        config.chip = c.chip;
        config.productId = c.chip == EzusbChip::Fx2 ? 0x8613 : 0x2131;
        Plug(config);
        auto h = OpenBox();
        std::vector<std::uint8_t> data(c.length, 1); // a CPUCS write of 1 holds the 8051
        EXPECT_EQ(
            h->ControlTransfer(c.type, c.request, c.address, c.index, data.data(), data.size(), 100).status, c.status);
        box->Port()->Unplug();
    }
}

TEST_F(BoxTest, UnplugFailsEveryHandleAndAReplugNeedsANewDownload)
{
    Plug();
    auto h = Boot(355);
    ASSERT_TRUE(h);
    auto second = OpenUsbDevice(bus, 0x04B4, 0x8613);
    box->Port()->Unplug();
    std::uint8_t b = 2;
    for (auto* handle : { h.get(), second.get() }) {
        EXPECT_EQ(handle->BulkTransfer(0x02, &b, 1, 100).status, UsbStatus::NoDevice);
        EXPECT_EQ(handle->ControlTransfer(0xC0, 0xA0, 0, 0, &b, 1, 100).status, UsbStatus::NoDevice);
        EXPECT_FALSE(handle->IsPresent());
    }
    box->Port()->Plug();
    const auto d = FindUsbDevice(bus, 0x04B4, 0x8613);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->manufacturer, "");
    EXPECT_TRUE(box->Held());
    EXPECT_EQ(box->ReadRam(0, 2), (std::vector<std::uint8_t> { 0, 0 })); // RAM cleared
    auto fresh = OpenBox();
    std::vector<UsbEndpoint> eps;
    fresh->GetEndpoints(eps);
    EXPECT_TRUE(eps.empty());
    EXPECT_TRUE(Boot(355));
}

TEST_F(BoxTest, HoldingThe8051DropsAPendingReply)
{
    Plug();
    auto h = Boot(355);
    ASSERT_TRUE(h);
    Send(*h, { 2 });
    ASSERT_EQ(SetCpucs(*h, 0xE600, 1), UsbStatus::Ok);
    {
        CapturedProtocolErrors errors;
        EXPECT_TRUE(Read(*h, 64, UsbStatus::Timeout).empty());
        ASSERT_EQ(errors.Errors().size(), 1u);
        EXPECT_EQ(errors.Errors()[0], "bulk transfer while the 8051 is held");
    }
    // Running again (same image, so the box re-enumerates): nothing left of the old reply.
    ASSERT_EQ(SetCpucs(*h, 0xE600, 0), UsbStatus::Ok);
    clock->Advance(1s);
    auto again = OpenBox();
    EXPECT_TRUE(Read(*again, 64, UsbStatus::Timeout).empty());
    EXPECT_EQ(box->Boots(), 2);
}

TEST_F(BoxTest, StrictModeReportsAnUnknownCode)
{
    Plug();
    auto h = Boot(355);
    ASSERT_TRUE(h);
    {
        CapturedProtocolErrors errors;
        Send(*h, { 200, 1, 2 });
        EXPECT_EQ(errors.Errors(), (std::vector<std::string> { "unknown command code 200" }));
        box->SetStrict(false);
        Send(*h, { 201 });
        EXPECT_EQ(errors.Errors().size(), 1u) << "a box that is not strict only records";
    }
    EXPECT_EQ(box->ProtocolErrors().size(), 2u);
}

TEST_F(BoxTest, DownloadOverRunningFirmware)
{
    Plug();
    auto h = Boot(355);
    ASSERT_TRUE(h);
    ASSERT_TRUE(DownloadHex(*h, 0xE600, FirmwareHex(175)));
    clock->Advance(1s);
    EXPECT_EQ(box->RunningImage(), 175);
    EXPECT_FALSE(h->IsPresent());
}

TEST_F(BoxTest, VersionOneCommands)
{
    BoxConfig config;
    config.version = "ZV-CQ Re-1.10";
    config.serial = "ZV12345678";
    Plug(config);
    EXPECT_EQ(box->Model(), 7);
    auto h = Boot(355);
    ASSERT_TRUE(h);
    EXPECT_EQ(Version(*h), "ZV-CQ Re-1.10");

    // Ports read 0xFF until written.
    Send(*h, { 28, 0, 0x90 });
    EXPECT_EQ(Read(*h, 64)[0], 0xFF);
    Send(*h, { 29, 0, 0x90, 0x2D });
    Send(*h, { 28, 0, 0x90 });
    EXPECT_EQ(Read(*h, 64)[0], 0x2D);

    // Vcc and Vpp, and power-down keeping the latched bytes.
    Send(*h, { 15, 1, 7 });
    Send(*h, { 14, 0 });
    EXPECT_TRUE(box->Vcc());
    EXPECT_FALSE(box->Vpp());
    Send(*h, { 14, 3 });
    EXPECT_TRUE(box->Vpp());
    Send(*h, { 21 });
    EXPECT_FALSE(box->Vcc());
    EXPECT_FALSE(box->Vpp());
    EXPECT_EQ(box->VccLatch(), (std::vector<std::uint8_t> { 15, 1, 7 }));
    EXPECT_EQ(box->VppLatch(), (std::vector<std::uint8_t> { 14, 3 }));
    EXPECT_EQ(box->VccLog().size(), 2u);

    // Recorded commands, the ACK, the ignored preamble.
    Send(*h, { 23, 9 });
    Send(*h, { 55, 14 });
    Send(*h, { 134, 0 });
    Send(*h, { 130, 0 });
    EXPECT_EQ(box->Recorded(23), (std::vector<std::vector<std::uint8_t>> { { 23, 9 } }));
    EXPECT_EQ(box->Recorded(55).size(), 1u);
    Send(*h, { 13, 0x89 });
    EXPECT_EQ(Read(*h, 64), (std::vector<std::uint8_t> { 0 }));

    // P_SETUP drops replies not yet read.
    Send(*h, { 2 });
    Send(*h, { 22 });
    EXPECT_TRUE(Read(*h, 64, UsbStatus::Timeout, 50).empty());

    // Usage history.
    Send(*h, { 110, 0, 250, 3, 0xA1, 0xA2, 0xA3 });
    EXPECT_EQ(Read(*h, 64), (std::vector<std::uint8_t> { 0 }));
    Send(*h, { 111, 0, 249, 5 });
    auto history = Read(*h, 64);
    ASSERT_EQ(history.size(), 64u);
    EXPECT_EQ(std::vector<std::uint8_t>(history.begin(), history.begin() + 6),
        (std::vector<std::uint8_t> { 0, 0xA1, 0xA2, 0xA3, 0, 0 }));
    EXPECT_EQ(box->History()[251], 0xA2);
    {
        CapturedProtocolErrors errors;
        Send(*h, { 111, 0, 250, 7 });
        Read(*h, 64);
        EXPECT_EQ(errors.Errors().size(), 1u);
    }

    // P_TEST 1 takes the rest of its transfer.
    std::vector<std::uint8_t> sink(1000, 0x77);
    sink[0] = 3;
    sink[1] = 1;
    Send(*h, sink);
    EXPECT_EQ(Read(*h, 64), (std::vector<std::uint8_t> { 0 }));
    EXPECT_TRUE(box->ProtocolErrors().size() == 1u);
}

TEST_F(BoxTest, TestReplyCostsTheModelledWireTime)
{
    for (auto speed : { UsbSpeed::High, UsbSpeed::Full }) {
        SCOPED_TRACE(speed == UsbSpeed::High ? "high speed" : "full speed");
        BoxConfig config;
        config.speed = speed;
        Plug(config);
        auto h = Boot(355);
        ASSERT_TRUE(h);
        Send(*h, { 3, 0, 0x00, 0x00, 0x80, 0x00, 0x10 });
        const Duration start = clock->Now();
        const auto reply = Read(*h, 32768);
        const Duration cost = clock->Now() - start;
        ASSERT_EQ(reply.size(), 32768u);
        EXPECT_EQ(reply[0], 0x10);
        EXPECT_EQ(reply[32767], static_cast<std::uint8_t>(0x10 + 32767));
        const double seconds = speed == UsbSpeed::High ? 175e-6 + 32768 / 35e6 : 1e-3 + 32768 / 1e6;
        EXPECT_NEAR(std::chrono::duration<double>(cost).count(), seconds, 1e-8);
        EXPECT_EQ(Read(*h, 64), (std::vector<std::uint8_t> { 0 }));
        box->Port()->Unplug();
    }
}

TEST_F(BoxTest, An21xxController)
{
    BoxConfig config;
    config.chip = EzusbChip::An21xx;
    config.productId = 0x2131;
    config.speed = UsbSpeed::High; // not for an AN21xx
    Plug(config);
    EXPECT_EQ(box->CpucsAddress(), 0x7F92);
    auto h = Boot(355);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->Speed(), UsbSpeed::Full);
    std::vector<UsbEndpoint> eps;
    h->GetEndpoints(eps);
    ASSERT_EQ(eps.size(), 3u);
    EXPECT_EQ(eps[1].address, 0x82);
    EXPECT_EQ(eps[1].maxPacketSize, 64);
    EXPECT_EQ(Version(*h), "ZV-C Re-2.00");
    EXPECT_FALSE(FindUsbDevice(bus, 0x04B4, 0x2131)->path.find("8613") != std::string::npos);
}

TEST_F(BoxTest, EveryListedImageBootsOnABoxThatAcceptsIt)
{
    std::ifstream in(SourcePath("resources/firmware/numbers.txt"));
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto list = mkfwimage::ParseNumbers(text.str(), error);
    ASSERT_TRUE(list) << error;
    ASSERT_GT(list->size(), 100u);
    const std::pair<int, const char*> versions[] = { { 5, "ZV-C Re-2.00" }, { 2, "ZV-A Re-1.00" },
        { 4, "ZV-B Re-1.20" }, { 7, "ZV-CQ Re-1.00" }, { 8, "ZV-D Re-1.00" } };
    for (const auto& img : *list) {
        SCOPED_TRACE(img.number);
        const char* version = nullptr;
        for (const auto& [model, text] : versions)
            if (fw::AcceptsModel(img.models, model) && !version)
                version = text;
        ASSERT_TRUE(version);
        BoxConfig config;
        config.version = version;
        config.time = TimeModel::Zero();
        Plug(config);
        auto h = Boot(img.number);
        ASSERT_TRUE(h);
        EXPECT_EQ(box->RunningImage(), img.number);
        box->Port()->Unplug();
    }
}

} // namespace
