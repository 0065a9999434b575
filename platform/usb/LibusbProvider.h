#pragma once
// The USB provider for real hardware, over libusb. Enumeration opens no device: the texts and
// whether a kernel driver is bound come from sysfs.

#include "platform/usb/Usb.h"

#include <memory>

namespace platform::usb {

class LibusbProvider final : public UsbProvider {
public:
    LibusbProvider();
    ~LibusbProvider() override;
    LibusbProvider(const LibusbProvider&) = delete;
    LibusbProvider& operator=(const LibusbProvider&) = delete;

    // False when libusb could not start (no USB support at all); the provider then finds nothing.
    bool Available() const;

    std::vector<UsbDeviceInfo> Enumerate() override;
    UsbOpenResult Open(const UsbDeviceInfo& device) override;

    struct Context;

private:
    std::shared_ptr<Context> m_context;
};

} // namespace platform::usb
