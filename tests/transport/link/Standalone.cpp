// A program that knows libvexport only by its public header: it injects a USB provider of its own
// (a stand-in for the programmer that answers P_VERSION), opens the device and reads the version.

#include "transport/Vexlink.h"

#include <cstdio>
#include <cstring>
#include <deque>

namespace {

using namespace platform::usb;

class StandInHandle final : public UsbHandle {
public:
    UsbClaimResult ClaimInterface() override { return { UsbStatus::Ok, false }; }
    void ReleaseInterface() override { }
    bool Claimed() const override { return true; }
    UsbStatus GetDeviceDescriptor(UsbDeviceDescriptor& out) override
    {
        out = UsbDeviceDescriptor::Make(0x0200, 64, 0x04B4, 0x8613, 1, true);
        return UsbStatus::Ok;
    }
    UsbStatus GetEndpoints(std::vector<UsbEndpoint>& out) override
    {
        out = { { 0x02, UsbEndpointType::Bulk, 512, 0 }, { 0x86, UsbEndpointType::Bulk, 512, 0 } };
        return UsbStatus::Ok;
    }
    UsbSpeed Speed() override { return UsbSpeed::High; }
    UsbTransferResult BulkTransfer(std::uint8_t ep, std::uint8_t* data, std::size_t length, unsigned) override
    {
        if (ep == 0x02) {
            if (length && data[0] == 2)
                m_replies.emplace_back("ZV-C Re-2.00");
            return { UsbStatus::Ok, length };
        }
        if (m_replies.empty())
            return { UsbStatus::Timeout, 0 };
        std::memset(data, 0, length);
        std::memcpy(data, m_replies.front().c_str(), std::min(length, m_replies.front().size()));
        m_replies.pop_front();
        return { UsbStatus::Ok, std::min<std::size_t>(length, 64) };
    }
    UsbTransferResult ControlTransfer(
        std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t, std::uint8_t*, std::size_t length, unsigned) override
    {
        return { UsbStatus::Ok, length };
    }
    bool IsPresent() override { return true; }
    UsbStatus DetachKernelDriver(int) override { return UsbStatus::Ok; }

private:
    std::deque<std::string> m_replies;
};

class StandInProvider final : public UsbProvider {
public:
    std::vector<UsbDeviceInfo> Enumerate() override
    {
        UsbDeviceInfo d;
        d.vendorId = 0x04B4;
        d.productId = 0x8613;
        d.bus = 1;
        d.address = 5;
        d.ports = { 1 };
        d.speed = UsbSpeed::High;
        UsbFillDerived(d);
        return { d };
    }
    UsbOpenResult Open(const UsbDeviceInfo&) override { return { UsbStatus::Ok, std::make_shared<StandInHandle>() }; }
};

} // namespace

int main()
{
    VexlinkServices services;
    services.usb = std::make_shared<StandInProvider>();
    services.sleep = [](std::uint32_t) {};
    CVexlink link(services);
    if (!link.FindUSBDevice() || link.GetUSBType() != 2 || !link.Initialize_Device()) {
        std::fprintf(stderr, "no device\n");
        return 1;
    }
    const std::uint8_t version[1] = { 2 };
    std::uint32_t sent = 0;
    std::uint8_t reply[64] = {};
    if (!link.SendData(version, 1, &sent) || link.ReadData(reply, sizeof reply) != 64) {
        std::fprintf(stderr, "transfer failed\n");
        return 1;
    }
    std::printf("%s\n", reinterpret_cast<const char*>(reply));
    return std::strcmp(reinterpret_cast<const char*>(reply), "ZV-C Re-2.00") == 0 ? 0 : 1;
}
