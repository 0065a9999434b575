#include "platform/usb/LibusbProvider.h"

#include <libusb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <string>

namespace platform::usb {

struct LibusbProvider::Context {
    libusb_context* ctx = nullptr;
    ~Context()
    {
        if (ctx)
            libusb_exit(ctx);
    }
};

namespace {

std::string SysfsRoot()
{
    // Tests may point at a copy of the tree.
    if (const char* root = std::getenv("TONRIG_USB_SYSFS"))
        return root;
    return "/sys/bus/usb/devices";
}

std::string ReadLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (in)
        std::getline(in, line);
    return line;
}

// Whether a driver is bound to any interface of the device named `name` ("1-2.3").
bool DriverBound(const std::string& name)
{
    const std::string root = SysfsRoot();
    DIR* dir = opendir(root.c_str());
    if (!dir)
        return false;
    bool bound = false;
    const std::string prefix = name + ":";
    while (dirent* e = readdir(dir)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) != 0)
            continue;
        const std::string link = root + "/" + e->d_name + "/driver";
        if (DIR* d = opendir(link.c_str())) {
            closedir(d);
            bound = true;
            break;
        }
    }
    closedir(dir);
    return bound;
}

UsbSpeed SpeedOf(int speed)
{
    switch (speed) {
    case LIBUSB_SPEED_LOW:
        return UsbSpeed::Low;
    case LIBUSB_SPEED_FULL:
        return UsbSpeed::Full;
    case LIBUSB_SPEED_HIGH:
        return UsbSpeed::High;
    case LIBUSB_SPEED_UNKNOWN:
        return UsbSpeed::Unknown;
    default:
        return UsbSpeed::Super;
    }
}

std::vector<std::uint8_t> PortsOf(libusb_device* dev)
{
    std::uint8_t ports[8];
    const int n = libusb_get_port_numbers(dev, ports, 8);
    return n > 0 ? std::vector<std::uint8_t>(ports, ports + n) : std::vector<std::uint8_t> {};
}

class LibusbHandle final : public UsbHandle {
public:
    LibusbHandle(std::shared_ptr<LibusbProvider::Context> context, libusb_device_handle* handle, std::string sysName,
        std::uint8_t address)
        : m_context(std::move(context))
        , m_handle(handle)
        , m_sysName(std::move(sysName))
        , m_address(address)
    {
    }
    ~LibusbHandle() override
    {
        ReleaseInterface();
        libusb_close(m_handle);
    }

    UsbClaimResult ClaimInterface() override
    {
        std::lock_guard lock(m_mutex);
        if (m_claimed)
            return { UsbStatus::Ok, false };
        const bool bound = libusb_kernel_driver_active(m_handle, 0) == 1;
        libusb_set_auto_detach_kernel_driver(m_handle, 1);
        const int rc = libusb_claim_interface(m_handle, 0);
        m_claimed = rc == 0;
        return { UsbStatusFromError(rc), bound };
    }

    void ReleaseInterface() override
    {
        std::lock_guard lock(m_mutex);
        if (m_claimed)
            libusb_release_interface(m_handle, 0);
        m_claimed = false;
    }

    bool Claimed() const override
    {
        std::lock_guard lock(m_mutex);
        return m_claimed;
    }

    UsbStatus GetDeviceDescriptor(UsbDeviceDescriptor& out) override
    {
        libusb_device_descriptor d {};
        const int rc = libusb_get_device_descriptor(libusb_get_device(m_handle), &d);
        if (rc != 0)
            return UsbStatusFromError(rc);
        out = UsbDeviceDescriptor::Make(d.bcdUSB, d.bMaxPacketSize0, d.idVendor, d.idProduct, d.bcdDevice, false);
        out.bytes[4] = d.bDeviceClass;
        out.bytes[5] = d.bDeviceSubClass;
        out.bytes[6] = d.bDeviceProtocol;
        out.bytes[14] = d.iManufacturer;
        out.bytes[15] = d.iProduct;
        out.bytes[16] = d.iSerialNumber;
        out.bytes[17] = d.bNumConfigurations;
        return UsbStatus::Ok;
    }

    UsbStatus GetEndpoints(std::vector<UsbEndpoint>& out) override
    {
        out.clear();
        libusb_config_descriptor* config = nullptr;
        const int rc = libusb_get_active_config_descriptor(libusb_get_device(m_handle), &config);
        if (rc != 0)
            return UsbStatusFromError(rc);
        if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
            const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
            for (int i = 0; i < alt.bNumEndpoints; ++i) {
                const libusb_endpoint_descriptor& e = alt.endpoint[i];
                out.push_back({ e.bEndpointAddress, static_cast<UsbEndpointType>(e.bmAttributes & 3),
                    static_cast<std::uint16_t>(e.wMaxPacketSize), e.bInterval });
            }
        }
        libusb_free_config_descriptor(config);
        return UsbStatus::Ok;
    }

    UsbSpeed Speed() override { return SpeedOf(libusb_get_device_speed(libusb_get_device(m_handle))); }

    UsbTransferResult BulkTransfer(
        std::uint8_t endpoint, std::uint8_t* data, std::size_t length, unsigned timeoutMs) override
    {
        if (length > static_cast<std::size_t>(INT32_MAX))
            return { UsbStatus::Other, 0 };
        int transferred = 0;
        const int rc
            = libusb_bulk_transfer(m_handle, endpoint, data, static_cast<int>(length), &transferred, timeoutMs);
        return { UsbStatusFromError(rc), static_cast<std::size_t>(std::max(transferred, 0)) };
    }

    UsbTransferResult ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
        std::uint16_t index, std::uint8_t* data, std::size_t length, unsigned timeoutMs) override
    {
        if (length > kUsbMaxControlLength)
            return { UsbStatus::Other, 0 };
        const int rc = libusb_control_transfer(
            m_handle, requestType, request, value, index, data, static_cast<std::uint16_t>(length), timeoutMs);
        if (rc < 0)
            return { UsbStatusFromError(rc), 0 };
        return { UsbStatus::Ok, static_cast<std::size_t>(rc) };
    }

    bool IsPresent() override
    {
        const std::string devnum = ReadLine(SysfsRoot() + "/" + m_sysName + "/devnum");
        return !devnum.empty() && std::atoi(devnum.c_str()) == m_address;
    }

    UsbStatus DetachKernelDriver(int interfaceNumber) override
    {
        const int rc = libusb_detach_kernel_driver(m_handle, interfaceNumber);
        if (rc == LIBUSB_ERROR_NOT_FOUND)
            return UsbStatus::Ok;
        return UsbStatusFromError(rc);
    }

private:
    std::shared_ptr<LibusbProvider::Context> m_context; // outlives the handle
    libusb_device_handle* m_handle;
    const std::string m_sysName;
    const std::uint8_t m_address;
    mutable std::mutex m_mutex;
    bool m_claimed = false;
};

} // namespace

LibusbProvider::LibusbProvider()
    : m_context(std::make_shared<Context>())
{
    if (libusb_init(&m_context->ctx) != 0)
        m_context->ctx = nullptr;
}

LibusbProvider::~LibusbProvider() = default;

bool LibusbProvider::Available() const
{
    return m_context->ctx != nullptr;
}

std::vector<UsbDeviceInfo> LibusbProvider::Enumerate()
{
    std::vector<UsbDeviceInfo> out;
    if (!m_context->ctx)
        return out;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(m_context->ctx, &list);
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device* dev = list[i];
        UsbDeviceInfo info;
        info.ports = PortsOf(dev);
        if (info.ports.empty())
            continue; // a root hub
        libusb_device_descriptor d {};
        if (libusb_get_device_descriptor(dev, &d) != 0)
            continue;
        info.vendorId = d.idVendor;
        info.productId = d.idProduct;
        info.bcdDevice = d.bcdDevice;
        info.bus = libusb_get_bus_number(dev);
        info.address = libusb_get_device_address(dev);
        info.speed = SpeedOf(libusb_get_device_speed(dev));
        const std::string name = UsbPortName(info.bus, info.ports);
        const std::string dir = SysfsRoot() + "/" + name;
        info.manufacturer = ReadLine(dir + "/manufacturer");
        info.product = ReadLine(dir + "/product");
        info.serial = ReadLine(dir + "/serial");
        info.kernelDriverBound = DriverBound(name);
        UsbFillDerived(info);
        out.push_back(std::move(info));
    }
    if (list)
        libusb_free_device_list(list, 1);
    std::stable_sort(out.begin(), out.end(), UsbPlaceLess);
    return out;
}

UsbOpenResult LibusbProvider::Open(const UsbDeviceInfo& device)
{
    if (!m_context->ctx)
        return { UsbStatus::Other, nullptr };
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(m_context->ctx, &list);
    UsbOpenResult result { UsbStatus::NoDevice, nullptr };
    for (ssize_t i = 0; i < n; ++i) {
        libusb_device* dev = list[i];
        if (libusb_get_bus_number(dev) != device.bus || libusb_get_device_address(dev) != device.address
            || PortsOf(dev) != device.ports)
            continue;
        libusb_device_handle* handle = nullptr;
        const int rc = libusb_open(dev, &handle);
        if (rc != 0) {
            result.status = UsbStatusFromError(rc);
            break;
        }
        result = { UsbStatus::Ok,
            std::make_shared<LibusbHandle>(m_context, handle, UsbPortName(device.bus, device.ports), device.address) };
        break;
    }
    if (list)
        libusb_free_device_list(list, 1);
    return result;
}

} // namespace platform::usb
