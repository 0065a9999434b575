#include "platform/usb/VirtualBus.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace platform::usb {

namespace {

Duration Cost(Duration latency, double bytesPerSecond, std::size_t bytes)
{
    const double ns = static_cast<double>(bytes) * 1e9 / bytesPerSecond;
    return latency + Duration(static_cast<Duration::rep>(std::llround(ns)));
}

} // namespace

Duration VirtualWireModel::Bulk(UsbSpeed speed, std::size_t bytes) const
{
    if (!enabled)
        return Duration(0);
    return speed == UsbSpeed::High ? Cost(highBulkLatency, highBulkBytesPerSecond, bytes)
                                   : Cost(fullBulkLatency, fullBulkBytesPerSecond, bytes);
}

Duration VirtualWireModel::Control(UsbSpeed speed, std::size_t bytes) const
{
    if (!enabled)
        return Duration(0);
    return speed == UsbSpeed::High ? Cost(highControlLatency, highControlBytesPerSecond, bytes)
                                   : Cost(fullControlLatency, fullControlBytesPerSecond, bytes);
}

struct Slot {
    std::shared_ptr<VirtualDevice> device;
    std::uint8_t bus = 1;
    std::vector<std::uint8_t> ports;
    bool powered = false;
    bool connected = false;
    std::uint8_t address = 0;
    std::uint64_t generation = 0; // changes whenever the device leaves the bus
    VirtualIdentity identity;
    UsbSpeed speed = UsbSpeed::Full;
    bool busy = false;
    bool accessDenied = false;
    bool driverBound = false;
    std::uint64_t claimOwner = 0;
    int openCount = 0;
    Duration wireTime { 0 };
};

struct VirtualBus::State {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::vector<std::shared_ptr<Slot>> slots;
    std::uint8_t lastAddress = 1; // address 1 is the root hub's
    std::uint64_t nextHandleId = 1;
    VirtualWireModel wire;
    // The thread that holds `mutex` while it calls into a device, so that the device may call
    // its port back without taking the lock a second time.
    std::atomic<std::thread::id> inCallback {};

    // Runs `fn` with the lock held, taking it unless this thread already holds it for a callback.
    template <typename F> auto Locked(F&& fn)
    {
        if (inCallback == std::this_thread::get_id())
            return fn();
        std::lock_guard lock(mutex);
        return fn();
    }

    // Calls into a device with the lock held.
    template <typename F> auto Call(F&& fn)
    {
        struct Reset {
            std::atomic<std::thread::id>& id;
            std::thread::id previous;
            ~Reset() { id = previous; }
        } reset { inCallback, inCallback.exchange(std::this_thread::get_id()) };
        return fn();
    }

    void ConnectLocked(Slot& slot)
    {
        if (slot.connected || !slot.powered)
            return;
        lastAddress = static_cast<std::uint8_t>(lastAddress >= 127 ? 2 : lastAddress + 1);
        slot.address = lastAddress;
        slot.identity = Call([&] { return slot.device->Identity(); });
        slot.speed = Call([&] { return slot.device->Speed(); });
        slot.connected = true;
        cv.notify_all();
    }

    void DisconnectLocked(Slot& slot)
    {
        if (!slot.connected)
            return;
        slot.connected = false;
        ++slot.generation;
        slot.claimOwner = 0;
        cv.notify_all();
    }
};

namespace {

class Port final : public VirtualPort {
public:
    Port(std::weak_ptr<VirtualBus::State> state, std::shared_ptr<Slot> slot)
        : m_state(std::move(state))
        , m_slot(std::move(slot))
    {
    }

    void Unplug() override
    {
        With([&](VirtualBus::State& s, Slot& slot) {
            if (!slot.powered)
                return;
            s.DisconnectLocked(slot);
            slot.powered = false;
            s.Call([&] { slot.device->PowerDown(); });
        });
    }

    void Plug() override
    {
        With([&](VirtualBus::State& s, Slot& slot) {
            if (slot.powered)
                return;
            slot.powered = true;
            s.Call([&] { slot.device->PowerUp(); });
            s.ConnectLocked(slot);
        });
    }

    void Disconnect() override
    {
        With([&](VirtualBus::State& s, Slot& slot) { s.DisconnectLocked(slot); });
    }
    void Connect() override
    {
        With([&](VirtualBus::State& s, Slot& slot) { s.ConnectLocked(slot); });
    }
    bool Connected() override
    {
        bool on = false;
        With([&](VirtualBus::State&, Slot& slot) { on = slot.connected; });
        return on;
    }
    std::uint8_t Address() override
    {
        std::uint8_t a = 0;
        With([&](VirtualBus::State&, Slot& slot) { a = slot.connected ? slot.address : 0; });
        return a;
    }
    void Notify() override
    {
        With([&](VirtualBus::State& s, Slot&) { s.cv.notify_all(); });
    }
    void SetBusy(bool on) override
    {
        With([&](VirtualBus::State&, Slot& slot) { slot.busy = on; });
    }
    void SetAccessDenied(bool on) override
    {
        With([&](VirtualBus::State&, Slot& slot) { slot.accessDenied = on; });
    }
    void SetDriverBound(bool on) override
    {
        With([&](VirtualBus::State&, Slot& slot) { slot.driverBound = on; });
    }
    bool DriverBound() override
    {
        bool on = false;
        With([&](VirtualBus::State&, Slot& slot) { on = slot.driverBound; });
        return on;
    }
    int OpenCount() override
    {
        int n = 0;
        With([&](VirtualBus::State&, Slot& slot) { n = slot.openCount; });
        return n;
    }
    Duration WireTime() override
    {
        Duration t { 0 };
        With([&](VirtualBus::State&, Slot& slot) { t = slot.wireTime; });
        return t;
    }

private:
    template <typename F> void With(F&& fn)
    {
        auto state = m_state.lock();
        if (!state || !m_slot->device)
            return;
        state->Locked([&] { fn(*state, *m_slot); });
    }

    std::weak_ptr<VirtualBus::State> m_state;
    std::shared_ptr<Slot> m_slot;
};

class Handle final : public UsbHandle {
public:
    Handle(std::shared_ptr<VirtualBus::State> state, std::shared_ptr<Slot> slot, std::uint64_t id)
        : m_state(std::move(state))
        , m_slot(std::move(slot))
        , m_generation(m_slot->generation)
        , m_id(id)
    {
    }
    ~Handle() override { ReleaseInterface(); }

    UsbClaimResult ClaimInterface() override
    {
        std::lock_guard lock(m_state->mutex);
        if (Gone())
            return { UsbStatus::NoDevice, false };
        if (m_slot->claimOwner == m_id)
            return { UsbStatus::Ok, false };
        if (m_slot->busy || m_slot->claimOwner != 0)
            return { UsbStatus::Busy, m_slot->driverBound };
        // As libusb's auto-detach: the driver goes for the claim and comes back on release.
        const bool bound = m_slot->driverBound;
        m_slot->driverBound = false;
        m_reattach = bound;
        m_slot->claimOwner = m_id;
        return { UsbStatus::Ok, bound };
    }

    void ReleaseInterface() override
    {
        std::lock_guard lock(m_state->mutex);
        if (!Gone() && m_slot->claimOwner == m_id) {
            m_slot->claimOwner = 0;
            if (m_reattach)
                m_slot->driverBound = true;
        }
        m_reattach = false;
    }

    bool Claimed() const override
    {
        std::lock_guard lock(m_state->mutex);
        return !Gone() && m_slot->claimOwner == m_id;
    }

    UsbStatus GetDeviceDescriptor(UsbDeviceDescriptor& out) override
    {
        std::lock_guard lock(m_state->mutex);
        if (Gone())
            return UsbStatus::NoDevice;
        out = m_slot->identity.descriptor;
        return UsbStatus::Ok;
    }

    UsbStatus GetEndpoints(std::vector<UsbEndpoint>& out) override
    {
        std::lock_guard lock(m_state->mutex);
        if (Gone())
            return UsbStatus::NoDevice;
        out = m_slot->identity.endpoints;
        return UsbStatus::Ok;
    }

    UsbSpeed Speed() override
    {
        std::lock_guard lock(m_state->mutex);
        return Gone() ? UsbSpeed::Unknown : m_slot->speed;
    }

    bool IsPresent() override
    {
        std::lock_guard lock(m_state->mutex);
        return !Gone();
    }

    UsbStatus DetachKernelDriver(int interfaceNumber) override
    {
        std::lock_guard lock(m_state->mutex);
        if (Gone())
            return UsbStatus::NoDevice;
        if (interfaceNumber == 0)
            m_slot->driverBound = false;
        return UsbStatus::Ok;
    }

    UsbTransferResult BulkTransfer(
        std::uint8_t endpoint, std::uint8_t* data, std::size_t length, unsigned timeoutMs) override
    {
        auto& s = *m_state;
        std::unique_lock lock(s.mutex);
        if (Gone())
            return { UsbStatus::NoDevice, 0 };
        if (m_slot->claimOwner != 0 && m_slot->claimOwner != m_id)
            return { UsbStatus::Busy, 0 };
        const auto& eps = m_slot->identity.endpoints;
        const auto ep
            = std::find_if(eps.begin(), eps.end(), [&](const UsbEndpoint& e) { return e.address == endpoint; });
        if (ep == eps.end() || ep->type == UsbEndpointType::Control || ep->type == UsbEndpointType::Isochronous) {
            char text[80];
            std::snprintf(
                text, sizeof text, "bulk transfer on endpoint 0x%02X, which the device does not have", endpoint);
            s.Call([&] { m_slot->device->HostSlip(text); });
            return { UsbStatus::Other, 0 };
        }
        Clock& clock = GetClock();
        const Duration start = clock.Now();
        const Duration deadline = timeoutMs ? start + std::chrono::milliseconds(timeoutMs) : Duration::max();
        return ep->IsIn() ? In(lock, clock, endpoint, data, length, deadline)
                          : Out(lock, clock, endpoint, data, length, start, deadline);
    }

    UsbTransferResult ControlTransfer(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
        std::uint16_t index, std::uint8_t* data, std::size_t length, unsigned timeoutMs) override
    {
        (void)timeoutMs; // the device answers control requests at once
        auto& s = *m_state;
        std::unique_lock lock(s.mutex);
        if (Gone())
            return { UsbStatus::NoDevice, 0 };
        if (length > kUsbMaxControlLength || (length && !data))
            return { UsbStatus::Other, 0 };
        Clock& clock = GetClock();
        const Duration start = clock.Now();
        const VirtualControlResult r
            = s.Call([&] { return m_slot->device->Control(requestType, request, value, index, data, length); });
        if (Gone())
            return { UsbStatus::NoDevice, 0 };
        const Duration cost = s.wire.Control(m_slot->speed, r.count) + r.deviceTime;
        m_slot->wireTime += s.wire.Control(m_slot->speed, r.count);
        if (!WaitGoneUntil(lock, clock, start + cost))
            return { UsbStatus::NoDevice, 0 };
        return { r.status, r.status == UsbStatus::Ok ? r.count : 0 };
    }

private:
    bool Gone() const { return !m_slot->connected || m_slot->generation != m_generation; }

    // Waits until `until` on the clock; false when the device left the bus meanwhile.
    bool WaitGoneUntil(std::unique_lock<std::mutex>& lock, Clock& clock, Duration until)
    {
        if (clock.Now() < until)
            clock.WaitUntil(lock, m_state->cv, until, [&] { return Gone(); });
        return !Gone();
    }

    UsbTransferResult Out(std::unique_lock<std::mutex>& lock, Clock& clock, std::uint8_t endpoint,
        const std::uint8_t* data, std::size_t length, Duration start, Duration deadline)
    {
        auto& s = *m_state;
        const VirtualOutResult r = s.Call([&] { return m_slot->device->BulkOut(endpoint, data, length); });
        if (Gone())
            return { UsbStatus::NoDevice, 0 };
        const std::size_t taken = std::min(r.accepted, length);
        const Duration wire = s.wire.Bulk(m_slot->speed, taken);
        m_slot->wireTime += wire;
        if (r.status != UsbStatus::Ok) {
            if (!WaitGoneUntil(lock, clock, start + wire))
                return { UsbStatus::NoDevice, 0 };
            return { r.status, taken };
        }
        if (taken < length) {
            // The device NAKs the rest: the transfer runs into its time-out.
            clock.WaitUntil(lock, s.cv, deadline, [&] { return Gone(); });
            if (Gone())
                return { UsbStatus::NoDevice, taken };
            return { UsbStatus::Timeout, taken };
        }
        if (!WaitGoneUntil(lock, clock, start + wire + r.deviceTime))
            return { UsbStatus::NoDevice, taken };
        return { UsbStatus::Ok, taken };
    }

    UsbTransferResult In(std::unique_lock<std::mutex>& lock, Clock& clock, std::uint8_t endpoint, std::uint8_t* data,
        std::size_t length, Duration deadline)
    {
        auto& s = *m_state;
        const UsbStatus st = s.Call([&] { return m_slot->device->InStarting(endpoint, length); });
        if (Gone())
            return { UsbStatus::NoDevice, 0 };
        if (st != UsbStatus::Ok)
            return { st, 0 };
        const std::size_t maxPacket = m_slot->speed == UsbSpeed::High ? 512 : 64;
        std::size_t count = 0;
        UsbStatus result = UsbStatus::Ok;
        for (;;) {
            const std::vector<std::uint8_t>* packet = s.Call([&] { return m_slot->device->PeekIn(endpoint); });
            if (packet) {
                const std::size_t n = packet->size();
                if (n > length - count) {
                    s.Call([&] { m_slot->device->PopIn(endpoint); });
                    result = UsbStatus::Overflow;
                    break;
                }
                if (n)
                    std::memcpy(data + count, packet->data(), n);
                count += n;
                s.Call([&] { m_slot->device->PopIn(endpoint); });
                if (n < maxPacket || count == length)
                    break;
                continue;
            }
            const bool ready = clock.WaitUntil(lock, s.cv, deadline,
                [&] { return Gone() || s.Call([&] { return m_slot->device->PeekIn(endpoint); }) != nullptr; });
            if (Gone())
                return { UsbStatus::NoDevice, count };
            if (!ready) {
                result = UsbStatus::Timeout;
                break;
            }
        }
        const Duration wire = s.wire.Bulk(m_slot->speed, count);
        m_slot->wireTime += wire;
        if (result == UsbStatus::Ok && !WaitGoneUntil(lock, clock, clock.Now() + wire))
            return { UsbStatus::NoDevice, count };
        return { result, count };
    }

    std::shared_ptr<VirtualBus::State> m_state;
    std::shared_ptr<Slot> m_slot;
    const std::uint64_t m_generation;
    const std::uint64_t m_id;
    bool m_reattach = false;
};

} // namespace

VirtualBus::VirtualBus()
    : m_state(std::make_shared<State>())
{
}

VirtualBus::~VirtualBus()
{
    // Devices may hold their ports; cut them loose so blocked callers see NoDevice.
    std::vector<std::shared_ptr<Slot>> slots;
    {
        std::lock_guard lock(m_state->mutex);
        for (auto& slot : m_state->slots) {
            m_state->DisconnectLocked(*slot);
            slot->powered = false;
        }
        slots.swap(m_state->slots);
    }
    // A device holds its port and the port its slot: let go of the devices, outside the lock.
    for (auto& slot : slots) {
        std::shared_ptr<VirtualDevice> device;
        {
            std::lock_guard lock(m_state->mutex);
            device.swap(slot->device);
        }
        device.reset();
    }
}

std::shared_ptr<VirtualPort> VirtualBus::Plug(
    std::shared_ptr<VirtualDevice> device, std::uint8_t bus, std::vector<std::uint8_t> ports)
{
    auto slot = std::make_shared<Slot>();
    slot->device = device;
    slot->bus = bus;
    {
        std::lock_guard lock(m_state->mutex);
        if (ports.empty()) {
            std::uint8_t next = 1;
            for (const auto& other : m_state->slots)
                if (other->bus == bus && other->ports.size() == 1)
                    next = std::max<std::uint8_t>(next, static_cast<std::uint8_t>(other->ports[0] + 1));
            ports = { next };
        }
        slot->ports = std::move(ports);
        m_state->slots.push_back(slot);
    }
    auto port = std::make_shared<Port>(m_state, slot);
    device->AttachPort(port);
    port->Plug();
    return port;
}

void VirtualBus::SetWireModel(const VirtualWireModel& model)
{
    std::lock_guard lock(m_state->mutex);
    m_state->wire = model;
}

VirtualWireModel VirtualBus::WireModel() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->wire;
}

std::vector<UsbDeviceInfo> VirtualBus::Enumerate()
{
    std::vector<UsbDeviceInfo> out;
    std::lock_guard lock(m_state->mutex);
    for (const auto& slot : m_state->slots) {
        if (!slot->connected)
            continue;
        UsbDeviceInfo info;
        const auto& id = slot->identity;
        info.vendorId = id.descriptor.VendorId();
        info.productId = id.descriptor.ProductId();
        info.bcdDevice = id.descriptor.BcdDevice();
        info.manufacturer = id.manufacturer;
        info.product = id.product;
        info.serial = id.serial;
        info.speed = slot->speed;
        info.bus = slot->bus;
        info.address = slot->address;
        info.ports = slot->ports;
        info.kernelDriverBound = slot->driverBound;
        UsbFillDerived(info);
        out.push_back(std::move(info));
    }
    std::stable_sort(out.begin(), out.end(), UsbPlaceLess);
    return out;
}

UsbOpenResult VirtualBus::Open(const UsbDeviceInfo& device)
{
    std::lock_guard lock(m_state->mutex);
    for (const auto& slot : m_state->slots) {
        if (!slot->connected || slot->bus != device.bus || slot->ports != device.ports
            || slot->address != device.address)
            continue;
        if (slot->accessDenied)
            return { UsbStatus::Access, nullptr };
        ++slot->openCount;
        return { UsbStatus::Ok, std::make_shared<Handle>(m_state, slot, m_state->nextHandleId++) };
    }
    return { UsbStatus::NoDevice, nullptr };
}

} // namespace platform::usb
