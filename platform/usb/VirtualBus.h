#pragma once
// An in-process USB bus: devices written in C++ (the virtual programmer of sim/) plug into ports
// and are reached through the same UsbProvider interface as real hardware.
//
// Transfers follow the wire's rules: an OUT transfer is taken whole unless the device NAKs after
// k bytes; a read of L bytes takes queued packets while they fit and ends after a short packet, a
// zero-length packet or at L; a packet larger than the room left is lost with Overflow. Time-outs
// and the modelled wire time run on the platform clock, so on the manual clock a blocked call moves
// time to the earlier of its deadline and the device's next scheduled event.
//
// Locking: the bus calls its devices with its own lock held. A device may call its port back from
// inside such a call (the port sees that the lock is already held), and from its own threads or
// clock events at any time, but never while holding a lock of its own that a bus call also takes.

#include "platform/Clock.h"
#include "platform/usb/Usb.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::usb {

// How a device presents itself while it is on the bus (taken when it connects).
struct VirtualIdentity {
    UsbDeviceDescriptor descriptor;
    std::string manufacturer;
    std::string product;
    std::string serial;
    std::vector<UsbEndpoint> endpoints; // interface 0, alternate setting 0
};

struct VirtualOutResult {
    UsbStatus status = UsbStatus::Ok;
    // Bytes the device took; fewer than offered (with Ok) means it NAKs the rest.
    std::size_t accepted = 0;
    // Time the device spends on the transfer, on top of the wire's.
    Duration deviceTime { 0 };
};

struct VirtualControlResult {
    UsbStatus status = UsbStatus::Ok;
    std::size_t count = 0;
    Duration deviceTime { 0 };
};

// Wire time per transfer: latency plus bytes over bandwidth, by speed and kind.
struct VirtualWireModel {
    bool enabled = true;
    Duration fullBulkLatency = std::chrono::microseconds(1000);
    double fullBulkBytesPerSecond = 1.0e6;
    Duration highBulkLatency = std::chrono::microseconds(175);
    double highBulkBytesPerSecond = 35.0e6;
    Duration fullControlLatency = std::chrono::microseconds(1000);
    double fullControlBytesPerSecond = 0.5e6;
    Duration highControlLatency = std::chrono::microseconds(250);
    double highControlBytesPerSecond = 8.0e6;

    Duration Bulk(UsbSpeed speed, std::size_t bytes) const;
    Duration Control(UsbSpeed speed, std::size_t bytes) const;
};

class VirtualPort;

// The device side of the bus.
class VirtualDevice {
public:
    virtual ~VirtualDevice() = default;

    // Called once by VirtualBus::Plug, before the first power-up.
    virtual void AttachPort(std::shared_ptr<VirtualPort> port) = 0;
    // Power comes (plug) or goes (unplug); a device starts afresh after a power-up.
    virtual void PowerUp() = 0;
    virtual void PowerDown() = 0;

    virtual VirtualIdentity Identity() = 0;
    virtual UsbSpeed Speed() = 0;

    virtual VirtualControlResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
        std::uint16_t index, std::uint8_t* data, std::size_t length)
        = 0;
    virtual VirtualOutResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length) = 0;
    // A read starts on an IN endpoint; a status other than Ok ends it at once (a stall, say).
    virtual UsbStatus InStarting(std::uint8_t endpoint, std::size_t length) = 0;
    // The next packet queued on an IN endpoint, or null; PopIn removes it.
    virtual const std::vector<std::uint8_t>* PeekIn(std::uint8_t endpoint) = 0;
    virtual void PopIn(std::uint8_t endpoint) = 0;
    // A transfer the device's descriptors do not allow (an endpoint it lacks, say).
    virtual void HostSlip(const std::string& what) { (void)what; }
};

class VirtualBus;

// One port of the bus with its device: what the device and the tests use to change its state.
class VirtualPort {
public:
    virtual ~VirtualPort() = default;

    // The user's cable: unplug powers the device down, plug powers it up and enumerates it.
    virtual void Unplug() = 0;
    virtual void Plug() = 0;
    void Replug()
    {
        Unplug();
        Plug();
    }

    // The device's own connect and disconnect (re-enumeration), power staying on.
    virtual void Disconnect() = 0;
    virtual void Connect() = 0;
    virtual bool Connected() = 0;
    virtual std::uint8_t Address() = 0;

    // New IN data or a state change that blocked calls should look at.
    virtual void Notify() = 0;

    // Host-side conditions: another program holds the device, permissions, a kernel driver (which
    // a claim detaches until its release, and DetachKernelDriver for good).
    virtual void SetBusy(bool on) = 0;
    virtual void SetAccessDenied(bool on) = 0;
    virtual void SetDriverBound(bool on) = 0;
    virtual bool DriverBound() = 0;

    // Handles opened on the device since it was plugged, and wire time summed over its transfers.
    virtual int OpenCount() = 0;
    virtual Duration WireTime() = 0;
};

class VirtualBus final : public UsbProvider {
public:
    VirtualBus();
    ~VirtualBus() override;
    VirtualBus(const VirtualBus&) = delete;
    VirtualBus& operator=(const VirtualBus&) = delete;

    // Plugs a device in at (bus, ports); an empty `ports` takes the next free port of bus 1.
    std::shared_ptr<VirtualPort> Plug(
        std::shared_ptr<VirtualDevice> device, std::uint8_t bus = 1, std::vector<std::uint8_t> ports = {});

    void SetWireModel(const VirtualWireModel& model);
    VirtualWireModel WireModel() const;

    std::vector<UsbDeviceInfo> Enumerate() override;
    UsbOpenResult Open(const UsbDeviceInfo& device) override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace platform::usb
