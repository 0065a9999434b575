#pragma once
// The program's current USB provider: libusb, or with TONRIG_USB=virtual a virtual bus that the
// registered set-up function populates (the virtual programmer's box). Tests install their own.

#include "platform/usb/Usb.h"

#include <functional>
#include <memory>

namespace platform::usb {

class VirtualBus;

UsbProvider& CurrentUsbProvider();
std::shared_ptr<UsbProvider> CurrentUsbProviderPtr();
// Installs a provider; null goes back to the default on next use.
void SetUsbProvider(std::shared_ptr<UsbProvider> provider);

// How a TONRIG_USB=virtual run fills its bus; set before the first use of the provider.
void SetVirtualBusSetup(std::function<void(VirtualBus&)> setup);
// True when TONRIG_USB asks for the virtual bus.
bool VirtualUsbRequested();

class ScopedUsbProvider {
public:
    explicit ScopedUsbProvider(std::shared_ptr<UsbProvider> provider);
    ~ScopedUsbProvider();
    ScopedUsbProvider(const ScopedUsbProvider&) = delete;
    ScopedUsbProvider& operator=(const ScopedUsbProvider&) = delete;

private:
    std::shared_ptr<UsbProvider> m_previous;
};

} // namespace platform::usb
