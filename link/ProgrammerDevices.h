#pragma once
// Which USB devices the link may talk to, the same list the transport library uses: 04B4:8613 and
// the "vid:pid" pairs listed (comma-separated) in TONRIG_USB_IDS, in (bus, port path) order.

#include "platform/usb/Usb.h"

#include <vector>

class CProgrammerDevices {
public:
    static bool IsAllowed(const platform::usb::UsbDeviceInfo& device);
    static std::vector<platform::usb::UsbDeviceInfo> List(platform::usb::UsbProvider& provider);
    // Whether `device` (as enumerated before a download) is still on the bus at its old address:
    // its firmware has not re-enumerated yet.
    static bool StillThere(platform::usb::UsbProvider& provider, const platform::usb::UsbDeviceInfo& device);
};
