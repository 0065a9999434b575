// One contract for every USB provider: the virtual bus with the virtual programmer (FX2 at both
// speeds, AN21xx) and, when TONRIG_USB_HW=vid:pid names a present device, libusb on real hardware.

#include "platform/Clock.h"
#include "platform/TextFormat.h"
#include "platform/usb/LibusbProvider.h"
#include "platform/usb/VirtualBus.h"
#include "sim/Box.h"
#include "sim/FirmwareDescriptor.h"
#include "support/VirtualUsb.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace platform;
using namespace platform::usb;
using namespace tonrig::test;

namespace {

enum class Target { Fx2High, Fx2Full, An21xx, Libusb };

const char* TargetName(Target t)
{
    switch (t) {
    case Target::Fx2High:
        return "VirtualFx2High";
    case Target::Fx2Full:
        return "VirtualFx2Full";
    case Target::An21xx:
        return "VirtualAn21xx";
    case Target::Libusb:
        break;
    }
    return "Libusb";
}

void PrintTo(Target t, std::ostream* os)
{
    *os << TargetName(t);
}

class UsbContractTest : public testing::TestWithParam<Target> {
protected:
    void SetUp() override
    {
        if (GetParam() == Target::Libusb) {
            const char* hw = std::getenv("TONRIG_USB_HW");
            unsigned vid = 0, pid = 0;
            if (!hw || std::sscanf(hw, "%x:%x", &vid, &pid) != 2)
                GTEST_SKIP() << "TONRIG_USB_HW=vid:pid not set: no hardware to run the contract on";
            auto libusb = std::make_shared<LibusbProvider>();
            if (!libusb->Available())
                GTEST_SKIP() << "libusb could not start on this machine";
            vid_ = static_cast<std::uint16_t>(vid);
            pid_ = static_cast<std::uint16_t>(pid);
            cpucs_ = pid_ == 0x8613 ? 0xE600 : 0x7F92;
            if (!FindUsbDevice(*libusb, vid_, pid_))
                GTEST_SKIP() << "TONRIG_USB_HW names " << hw << ", which is not present";
            provider_ = libusb;
            return;
        }
        clock_ = std::make_shared<ManualClock>();
        scoped_ = std::make_unique<ScopedClock>(clock_);
        auto bus = std::make_shared<VirtualBus>();
        sim::BoxConfig config;
        if (GetParam() == Target::Fx2Full)
            config.speed = UsbSpeed::Full;
        if (GetParam() == Target::An21xx) {
            config.chip = sim::EzusbChip::An21xx;
            config.productId = 0x2131;
        }
        box_ = sim::Box::PlugInto(*bus, config);
        provider_ = bus;
        vid_ = 0x04B4;
        pid_ = config.productId;
        cpucs_ = box_->CpucsAddress();
    }

    void Wait(std::chrono::milliseconds d) { GetClock().SleepFor(d); }
    bool Virtual() const { return box_ != nullptr; }

    std::shared_ptr<UsbHandle> Open()
    {
        auto h = OpenUsbDevice(*provider_, vid_, pid_);
        EXPECT_TRUE(h) << "device not found";
        return h;
    }

    std::shared_ptr<ManualClock> clock_;
    std::unique_ptr<ScopedClock> scoped_;
    std::shared_ptr<UsbProvider> provider_;
    std::shared_ptr<sim::Box> box_;
    std::uint16_t vid_ = 0, pid_ = 0, cpucs_ = 0;
};

TEST_P(UsbContractTest, EnumerationFields)
{
    const auto list = provider_->Enumerate();
    for (std::size_t i = 1; i < list.size(); ++i)
        EXPECT_FALSE(UsbPlaceLess(list[i], list[i - 1])) << "not in (bus, port path) order";
    const auto d = FindUsbDevice(*provider_, vid_, pid_);
    ASSERT_TRUE(d);
    ASSERT_EQ(d->hardwareIds.size(), 2u);
    EXPECT_EQ(d->hardwareIds[0], Format("USB\\VID_%04X&PID_%04X&REV_%04X", vid_, pid_, d->bcdDevice));
    EXPECT_EQ(d->hardwareIds[1], Format("USB\\VID_%04X&PID_%04X", vid_, pid_));
    EXPECT_EQ(d->path, "usb:" + UsbPortName(d->bus, d->ports) + Format(":vid_%04x&pid_%04x", vid_, pid_));
    EXPECT_FALSE(d->ports.empty());
    EXPECT_NE(d->address, 0);
    EXPECT_NE(d->speed, UsbSpeed::Unknown);
    if (Virtual()) {
        EXPECT_EQ(d->speed, GetParam() == Target::Fx2High ? UsbSpeed::High : UsbSpeed::Full);
        EXPECT_EQ(d->manufacturer, ""); // unprogrammed: no strings
        EXPECT_FALSE(d->kernelDriverBound);
        EXPECT_EQ(d->path.find("8613") != std::string::npos, GetParam() != Target::An21xx);
    }
    auto h = Open();
    ASSERT_TRUE(h);
    UsbDeviceDescriptor desc;
    ASSERT_EQ(h->GetDeviceDescriptor(desc), UsbStatus::Ok);
    EXPECT_EQ(desc.VendorId(), vid_);
    EXPECT_EQ(desc.ProductId(), pid_);
    EXPECT_TRUE(h->IsPresent());
}

TEST_P(UsbContractTest, SecondClaimIsBusy)
{
    auto a = Open();
    auto b = Open();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->ClaimInterface().status, UsbStatus::Ok);
    EXPECT_EQ(b->ClaimInterface().status, UsbStatus::Busy);
    a->ReleaseInterface();
    EXPECT_EQ(b->ClaimInterface().status, UsbStatus::Ok);
}

TEST_P(UsbContractTest, RamWrittenAndReadBackWithThe8051Held)
{
    auto h = Open();
    ASSERT_TRUE(h);
    ASSERT_EQ(SetCpucs(*h, cpucs_, 1), UsbStatus::Ok);
    std::vector<std::uint8_t> pattern(kUsbMaxControlLength);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    auto data = pattern;
    const auto w = h->ControlTransfer(0x40, 0xA0, 0x0000, 0, data.data(), data.size(), 1000);
    EXPECT_EQ(w.status, UsbStatus::Ok);
    EXPECT_EQ(w.count, pattern.size());
    std::vector<std::uint8_t> back(pattern.size());
    const auto r = h->ControlTransfer(0xC0, 0xA0, 0x0000, 0, back.data(), back.size(), 1000);
    EXPECT_EQ(r.status, UsbStatus::Ok);
    EXPECT_EQ(back, pattern);
    EXPECT_EQ(h->ControlTransfer(0x40, 0xA0, 0x0100, 0, nullptr, 0, 1000).status, UsbStatus::Ok);
}

TEST_P(UsbContractTest, Image355RunsAndTheDeviceStaysUsable)
{
    const std::string hex = FirmwareHex(355);
    ASSERT_FALSE(hex.empty());
    {
        auto h = Open();
        ASSERT_TRUE(h);
        ASSERT_TRUE(DownloadHex(*h, cpucs_, hex));
    }
    Wait(std::chrono::milliseconds(2000)); // a virtual box re-enumerates meanwhile
    if (Virtual()) {
        ASSERT_EQ(box_->RunningImage(), 355);
        const auto d = FindUsbDevice(*provider_, vid_, pid_);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->manufacturer, "Ostrand");
        EXPECT_EQ(d->product, "Zelvo USB Programmer");
        EXPECT_EQ(d->serial, "ZV00000001");
    }
    auto h = Open();
    ASSERT_TRUE(h);
    std::vector<std::uint8_t> desc(sim::fw::kDescriptorSize);
    ASSERT_EQ(h->ControlTransfer(0xC0, 0xA0, sim::fw::kDescriptorAddress, 0, desc.data(), desc.size(), 1000).status,
        UsbStatus::Ok);
    EXPECT_EQ(std::string(desc.begin(), desc.begin() + 4), "ZVFW");
    EXPECT_EQ(sim::fw::GetBE16(desc.data() + 6), 355);
    // Left held, as a host leaves a device it is done with.
    EXPECT_EQ(SetCpucs(*h, cpucs_, 1), UsbStatus::Ok);
    if (Virtual()) {
        EXPECT_TRUE(box_->Held());
    }
}

TEST_P(UsbContractTest, BulkEndpointsAnswerOnceProgrammed)
{
    if (Virtual()) {
        auto h = Open();
        ASSERT_TRUE(h);
        ASSERT_TRUE(DownloadHex(*h, cpucs_, FirmwareHex(355)));
        Wait(std::chrono::milliseconds(1000));
    }
    auto h = Open();
    ASSERT_TRUE(h);
    std::vector<UsbEndpoint> eps;
    ASSERT_EQ(h->GetEndpoints(eps), UsbStatus::Ok);
    const bool hasOut = std::any_of(eps.begin(), eps.end(), [](const UsbEndpoint& e) { return e.address == 0x02; });
    const auto in = std::find_if(
        eps.begin(), eps.end(), [](const UsbEndpoint& e) { return e.IsIn() && e.type == UsbEndpointType::Bulk; });
    if (!hasOut || in == eps.end())
        GTEST_SKIP() << "the device has no bulk endpoints";
    ASSERT_EQ(h->ClaimInterface().status, UsbStatus::Ok);
    std::uint8_t cmd[1] = { 2 };
    ASSERT_EQ(h->BulkTransfer(0x02, cmd, 1, 1000).status, UsbStatus::Ok);
    std::vector<std::uint8_t> reply(64);
    const auto r = h->BulkTransfer(in->address, reply.data(), reply.size(), 1000);
    EXPECT_EQ(r.status, UsbStatus::Ok);
    EXPECT_EQ(r.count, 64u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(reply.data())), "ZV-C Re-2.00");
}

INSTANTIATE_TEST_SUITE_P(Providers, UsbContractTest,
    testing::Values(Target::Fx2High, Target::Fx2Full, Target::An21xx, Target::Libusb),
    [](const auto& info) { return std::string(TargetName(info.param)); });

} // namespace
