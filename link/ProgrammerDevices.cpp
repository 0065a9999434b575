#include "link/ProgrammerDevices.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using platform::usb::UsbDeviceInfo;

bool CProgrammerDevices::IsAllowed(const UsbDeviceInfo& d)
{
    if (d.vendorId == 0x04B4 && d.productId == 0x8613)
        return true;
    const char* ids = std::getenv("TONRIG_USB_IDS");
    if (!ids)
        return false;
    const std::string list(ids);
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos)
            comma = list.size();
        unsigned vid = 0, pid = 0;
        char tail = 0;
        const std::string pair = list.substr(pos, comma - pos);
        if (std::sscanf(pair.c_str(), "%x:%x%c", &vid, &pid, &tail) == 2 && vid == d.vendorId && pid == d.productId)
            return true;
        pos = comma + 1;
    }
    return false;
}

std::vector<UsbDeviceInfo> CProgrammerDevices::List(platform::usb::UsbProvider& provider)
{
    std::vector<UsbDeviceInfo> out;
    for (auto& d : provider.Enumerate())
        if (IsAllowed(d))
            out.push_back(std::move(d));
    return out;
}

bool CProgrammerDevices::StillThere(platform::usb::UsbProvider& provider, const UsbDeviceInfo& device)
{
    for (const auto& d : provider.Enumerate())
        if (d.bus == device.bus && d.ports == device.ports && d.address == device.address)
            return true;
    return false;
}
