#pragma once
// The USB facility: a provider enumerates and opens devices, a handle claims interface 0 and moves
// data. Header-only and free of statics, so that the transport library can share it with the
// program without sharing any state. Providers: libusb (LibusbProvider.h) and the virtual bus
// (VirtualBus.h); the program's current one is in UsbProviders.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace platform::usb {

enum class UsbStatus { Ok, Timeout, Stall, NoDevice, Overflow, Busy, Access, Other };

// libusb's error number for a status (LIBUSB_ERROR_*), 0 for Ok.
inline int UsbErrorNumber(UsbStatus s)
{
    switch (s) {
    case UsbStatus::Ok:
        return 0;
    case UsbStatus::Timeout:
        return -7;
    case UsbStatus::Stall:
        return -9;
    case UsbStatus::NoDevice:
        return -4;
    case UsbStatus::Overflow:
        return -8;
    case UsbStatus::Busy:
        return -6;
    case UsbStatus::Access:
        return -3;
    case UsbStatus::Other:
        break;
    }
    return -99;
}

// libusb_strerror's text for the status's error number.
inline const char* UsbStatusText(UsbStatus s)
{
    switch (s) {
    case UsbStatus::Ok:
        return "Success";
    case UsbStatus::Timeout:
        return "Operation timed out";
    case UsbStatus::Stall:
        return "Pipe error";
    case UsbStatus::NoDevice:
        return "No such device (it may have been disconnected)";
    case UsbStatus::Overflow:
        return "Overflow";
    case UsbStatus::Busy:
        return "Resource busy";
    case UsbStatus::Access:
        return "Access denied (insufficient permissions)";
    case UsbStatus::Other:
        break;
    }
    return "Other error";
}

// A libusb error number as a status; numbers without a status of their own are Other.
inline UsbStatus UsbStatusFromError(int error)
{
    switch (error) {
    case 0:
        return UsbStatus::Ok;
    case -7:
        return UsbStatus::Timeout;
    case -9:
        return UsbStatus::Stall;
    case -4:
        return UsbStatus::NoDevice;
    case -8:
        return UsbStatus::Overflow;
    case -6:
        return UsbStatus::Busy;
    case -3:
        return UsbStatus::Access;
    default:
        return UsbStatus::Other;
    }
}

enum class UsbSpeed { Unknown, Low, Full, High, Super };

enum class UsbEndpointType : std::uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

struct UsbEndpoint {
    std::uint8_t address = 0; // bit 7 set: IN
    UsbEndpointType type = UsbEndpointType::Bulk;
    std::uint16_t maxPacketSize = 0;
    std::uint8_t interval = 0;

    bool IsIn() const { return (address & 0x80) != 0; }
};

// The 18-byte device descriptor as the device sends it, with the fields callers look at.
struct UsbDeviceDescriptor {
    std::array<std::uint8_t, 18> bytes {};

    std::uint16_t Word(int at) const { return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8)); }
    std::uint16_t BcdUsb() const { return Word(2); }
    std::uint16_t VendorId() const { return Word(8); }
    std::uint16_t ProductId() const { return Word(10); }
    std::uint16_t BcdDevice() const { return Word(12); }

    static UsbDeviceDescriptor Make(std::uint16_t bcdUsb, std::uint8_t maxPacket0, std::uint16_t vid, std::uint16_t pid,
        std::uint16_t bcdDevice, bool strings)
    {
        UsbDeviceDescriptor d;
        d.bytes = { 18, 1, static_cast<std::uint8_t>(bcdUsb), static_cast<std::uint8_t>(bcdUsb >> 8), 0xFF, 0xFF, 0xFF,
            maxPacket0, static_cast<std::uint8_t>(vid), static_cast<std::uint8_t>(vid >> 8),
            static_cast<std::uint8_t>(pid), static_cast<std::uint8_t>(pid >> 8), static_cast<std::uint8_t>(bcdDevice),
            static_cast<std::uint8_t>(bcdDevice >> 8), static_cast<std::uint8_t>(strings ? 1 : 0),
            static_cast<std::uint8_t>(strings ? 2 : 0), static_cast<std::uint8_t>(strings ? 3 : 0), 1 };
        return d;
    }
};

// What enumeration tells of one device. `path` is "usb:<bus>-<ports>:vid_xxxx&pid_xxxx".
struct UsbDeviceInfo {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::vector<std::string> hardwareIds;
    std::string manufacturer;
    std::string product;
    std::string serial;
    UsbSpeed speed = UsbSpeed::Unknown;
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::vector<std::uint8_t> ports;
    bool kernelDriverBound = false;
    std::string path;
};

// "<bus>-<port>.<port>...", the kernel's name for a device's place on the bus.
inline std::string UsbPortName(std::uint8_t bus, const std::vector<std::uint8_t>& ports)
{
    std::string s = std::to_string(bus) + "-";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i)
            s += '.';
        s += std::to_string(ports[i]);
    }
    return s;
}

// Fills the fields derived from the ids and the place on the bus: hardware ids and path.
inline void UsbFillDerived(UsbDeviceInfo& info)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X&REV_%04X", info.vendorId, info.productId, info.bcdDevice);
    info.hardwareIds = { buf };
    std::snprintf(buf, sizeof buf, "USB\\VID_%04X&PID_%04X", info.vendorId, info.productId);
    info.hardwareIds.emplace_back(buf);
    std::snprintf(buf, sizeof buf, ":vid_%04x&pid_%04x", info.vendorId, info.productId);
    info.path = "usb:" + UsbPortName(info.bus, info.ports) + buf;
}

// Orders devices by bus, then port path, the order enumeration reports them in.
inline bool UsbPlaceLess(const UsbDeviceInfo& a, const UsbDeviceInfo& b)
{
    if (a.bus != b.bus)
        return a.bus < b.bus;
    return a.ports < b.ports;
}

struct UsbTransferResult {
    UsbStatus status = UsbStatus::Ok;
    std::size_t count = 0;
};

struct UsbClaimResult {
    UsbStatus status = UsbStatus::Ok;
    // A kernel driver was bound to the interface: detached for the claim, or (on failure) in the way.
    bool kernelDriverWasBound = false;
};

inline constexpr std::size_t kUsbMaxControlLength = 4096;

class UsbHandle {
public:
    virtual ~UsbHandle() = default;

    // Claims interface 0, detaching a kernel driver bound to it. A second claim gives Busy.
    virtual UsbClaimResult ClaimInterface() = 0;
    virtual void ReleaseInterface() = 0;
    virtual bool Claimed() const = 0;

    virtual UsbStatus GetDeviceDescriptor(UsbDeviceDescriptor& out) = 0;
    // Endpoints of interface 0, alternate setting 0.
    virtual UsbStatus GetEndpoints(std::vector<UsbEndpoint>& out) = 0;
    virtual UsbSpeed Speed() = 0;

    // `timeoutMs` 0 waits without limit. A time-out keeps the count moved before it.
    virtual UsbTransferResult BulkTransfer(
        std::uint8_t endpoint, std::uint8_t* data, std::size_t length, unsigned timeoutMs)
        = 0;
    // At most kUsbMaxControlLength bytes; the direction is bit 7 of `requestType`.
    virtual UsbTransferResult ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
        std::uint16_t index, std::uint8_t* data, std::size_t length, unsigned timeoutMs)
        = 0;

    // Whether the device is still on the bus, without any I/O to it.
    virtual bool IsPresent() = 0;
    // Detaches a kernel driver from an interface outside any claim (Ok when none was bound).
    virtual UsbStatus DetachKernelDriver(int interfaceNumber) = 0;
};

struct UsbOpenResult {
    UsbStatus status = UsbStatus::Other;
    std::shared_ptr<UsbHandle> handle;
};

class UsbProvider {
public:
    virtual ~UsbProvider() = default;
    // Devices present, in (bus, port path) order.
    virtual std::vector<UsbDeviceInfo> Enumerate() = 0;
    // Opens the device enumerated as `device`; NoDevice once it has left the bus or re-enumerated.
    virtual UsbOpenResult Open(const UsbDeviceInfo& device) = 0;
};

} // namespace platform::usb
