#include "platform/usb/UsbProviders.h"

#include "platform/usb/LibusbProvider.h"
#include "platform/usb/VirtualBus.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform::usb {

namespace {

std::mutex g_usbMutex;
std::shared_ptr<UsbProvider> g_usbProvider;
std::function<void(VirtualBus&)> g_virtualBusSetup;

std::shared_ptr<UsbProvider> MakeDefault()
{
    if (VirtualUsbRequested()) {
        auto bus = std::make_shared<VirtualBus>();
        if (g_virtualBusSetup)
            g_virtualBusSetup(*bus);
        return bus;
    }
    return std::make_shared<LibusbProvider>();
}

} // namespace

bool VirtualUsbRequested()
{
    const char* v = std::getenv("TONRIG_USB");
    return v && std::strcmp(v, "virtual") == 0;
}

std::shared_ptr<UsbProvider> CurrentUsbProviderPtr()
{
    std::lock_guard lock(g_usbMutex);
    if (!g_usbProvider)
        g_usbProvider = MakeDefault();
    return g_usbProvider;
}

UsbProvider& CurrentUsbProvider()
{
    return *CurrentUsbProviderPtr();
}

void SetUsbProvider(std::shared_ptr<UsbProvider> provider)
{
    std::lock_guard lock(g_usbMutex);
    g_usbProvider = std::move(provider);
}

void SetVirtualBusSetup(std::function<void(VirtualBus&)> setup)
{
    std::lock_guard lock(g_usbMutex);
    g_virtualBusSetup = std::move(setup);
}

ScopedUsbProvider::ScopedUsbProvider(std::shared_ptr<UsbProvider> provider)
{
    std::lock_guard lock(g_usbMutex);
    m_previous = g_usbProvider;
    g_usbProvider = std::move(provider);
}

ScopedUsbProvider::~ScopedUsbProvider()
{
    SetUsbProvider(std::move(m_previous));
}

} // namespace platform::usb
