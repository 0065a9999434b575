#pragma once
// Helpers for tests that drive the virtual programmer (or a real device) through the USB
// interface: find a device, load one of our images from the "DATAF" resources and download it by
// vendor request 0xA0, as a host would. Header-only.

#include "platform/Resources.h"
#include "platform/usb/Usb.h"
#include "transport/FirmwareTransform.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tonrig::test {

inline std::optional<platform::usb::UsbDeviceInfo> FindUsbDevice(
    platform::usb::UsbProvider& provider, std::uint16_t vid, std::uint16_t pid)
{
    for (const auto& d : provider.Enumerate())
        if (d.vendorId == vid && d.productId == pid)
            return d;
    return std::nullopt;
}

inline std::shared_ptr<platform::usb::UsbHandle> OpenUsbDevice(
    platform::usb::UsbProvider& provider, std::uint16_t vid, std::uint16_t pid)
{
    const auto info = FindUsbDevice(provider, vid, pid);
    if (!info)
        return nullptr;
    return provider.Open(*info).handle;
}

// Image `number` as HEX text, the transform undone; empty when there is no such resource.
inline std::string FirmwareHex(int number)
{
    const auto data = platform::LoadResource("DATAF", number);
    if (!data)
        return {};
    return firmware::Untransform(std::string(data->constData(), static_cast<std::size_t>(data->size())));
}

// Data records of a HEX text in the form our images use (no extended records), by address.
inline std::map<std::uint16_t, std::vector<std::uint8_t>> HexRecords(const std::string& hex)
{
    std::map<std::uint16_t, std::vector<std::uint8_t>> records;
    std::size_t pos = 0;
    auto byte = [&](std::size_t at) {
        return static_cast<std::uint8_t>(std::strtoul(hex.substr(at, 2).c_str(), nullptr, 16));
    };
    while ((pos = hex.find(':', pos)) != std::string::npos && pos + 11 <= hex.size()) {
        const std::uint8_t n = byte(pos + 1);
        const auto address = static_cast<std::uint16_t>((byte(pos + 3) << 8) | byte(pos + 5));
        const std::uint8_t type = byte(pos + 7);
        if (type == 1)
            break;
        std::vector<std::uint8_t> data;
        for (std::size_t i = 0; i < n; ++i)
            data.push_back(byte(pos + 9 + 2 * i));
        if (type == 0)
            records[address] = std::move(data);
        pos += 11 + 2u * n;
    }
    return records;
}

inline platform::usb::UsbStatus WriteRam(
    platform::usb::UsbHandle& h, std::uint16_t address, std::vector<std::uint8_t> data)
{
    return h.ControlTransfer(0x40, 0xA0, address, 0, data.data(), data.size(), 1000).status;
}

inline platform::usb::UsbStatus SetCpucs(platform::usb::UsbHandle& h, std::uint16_t cpucs, std::uint8_t value)
{
    return WriteRam(h, cpucs, { value });
}

// Holds the 8051, writes every data record, and releases it unless `run` is false.
inline bool DownloadHex(platform::usb::UsbHandle& h, std::uint16_t cpucs, const std::string& hex, bool run = true)
{
    if (SetCpucs(h, cpucs, 1) != platform::usb::UsbStatus::Ok)
        return false;
    for (const auto& [address, data] : HexRecords(hex))
        if (WriteRam(h, address, data) != platform::usb::UsbStatus::Ok)
            return false;
    return !run || SetCpucs(h, cpucs, 0) == platform::usb::UsbStatus::Ok;
}

} // namespace tonrig::test
