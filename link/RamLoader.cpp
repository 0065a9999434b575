#include "link/RamLoader.h"

#include "platform/Trace.h"

#include <vector>

using platform::usb::UsbStatus;

namespace {

constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kFirmwareLoad = 0xA0;
constexpr unsigned kControlTimeoutMs = 1000;

} // namespace

UsbStatus CRamLoader::WriteRam(
    platform::usb::UsbHandle& handle, std::uint16_t address, const std::uint8_t* data, std::size_t length)
{
    // The provider takes a writable buffer; an OUT transfer leaves it as it is.
    std::vector<std::uint8_t> buf(data, data + length);
    return handle.ControlTransfer(kVendorOut, kFirmwareLoad, address, 0, buf.data(), buf.size(), kControlTimeoutMs)
        .status;
}

UsbStatus CRamLoader::WriteCpucs(platform::usb::UsbHandle& handle, std::uint16_t cpucs, std::uint8_t value)
{
    return WriteRam(handle, cpucs, &value, 1);
}

CRamLoader::Result CRamLoader::Download(
    platform::usb::UsbHandle& handle, std::uint16_t cpucs, const CFirmwareText::Plan& plan)
{
    if (WriteCpucs(handle, cpucs, 1) != UsbStatus::Ok)
        return Result::HoldFailed;
    if (!plan.ok) {
        Trace("Firmware download stopped: %s\n", plan.error.c_str());
        return Result::PlanFailed;
    }
    if (plan.skipped)
        Trace("Firmware download: %zu bytes outside the RAM it may write were skipped\n", plan.skipped);
    for (const auto& block : plan.blocks) {
        const UsbStatus s = WriteRam(handle, block.address, block.data.data(), block.data.size());
        if (s != UsbStatus::Ok) {
            Trace("Firmware download stopped: writing 0x%04X failed (%s)\n", block.address,
                platform::usb::UsbStatusText(s));
            return Result::WriteFailed;
        }
    }
    const UsbStatus s = WriteCpucs(handle, cpucs, 0);
    // A device that starts new firmware may already be leaving the bus.
    if (s == UsbStatus::Ok || s == UsbStatus::NoDevice || s == UsbStatus::Other)
        return Result::Ok;
    return Result::ReleaseFailed;
}
