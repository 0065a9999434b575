#include "sim/Box.h"

#include "platform/Trace.h"
#include "sim/ChipCommands.h"
#include "sim/JtagHandler.h"
#include "sim/Electrical.h"
#include "sim/FirmwareDescriptor.h"

#include <algorithm>
#include <cstring>

using platform::Duration;
using platform::usb::UsbEndpoint;
using platform::usb::UsbEndpointType;
using platform::usb::UsbSpeed;
using platform::usb::UsbStatus;
using platform::usb::VirtualControlResult;
using platform::usb::VirtualOutResult;

namespace sim {

namespace {

std::mutex g_hookMutex;
std::function<void(const std::string&)> g_protocolErrorHook;

constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;
constexpr std::uint8_t kFirmwareLoad = 0xA0;
constexpr std::uint8_t kBulkOut = 0x02;

} // namespace

void SetProtocolErrorHook(std::function<void(const std::string&)> hook)
{
    std::lock_guard lock(g_hookMutex);
    g_protocolErrorHook = std::move(hook);
}

int ModelOfVersion(const std::string& version)
{
    static const std::pair<const char*, int> models[]
        = { { "ZV-CQ", 7 }, { "ZV-A", 2 }, { "ZV-B", 4 }, { "ZV-C", 5 }, { "ZV-D", 8 } };
    for (const auto& [name, code] : models)
        if (version.rfind(name, 0) == 0)
            return code;
    return 0;
}

// The dispatcher's view of the box during one OUT transfer.
class Box::Context final : public DispatchContext {
public:
    explicit Context(Box& box)
        : m_box(box)
    {
    }
    void Reply(std::vector<std::uint8_t> unit) override
    {
        m_box.m_bytesMoved += unit.size();
        m_box.QueueReply(std::move(unit));
    }
    std::vector<std::uint8_t> TakeRest() override { return {}; }
    void ClaimFollowing(std::size_t, std::function<void(const std::uint8_t*, std::size_t, bool)>) override { }
    void AddBytesMoved(std::size_t bytes) override { m_box.m_bytesMoved += bytes; }
    void ProtocolError(const std::string& what) override { m_box.ProtocolError(what); }

private:
    Box& m_box;
};

Box::Box(BoxConfig config)
    : m_config(std::move(config))
    , m_model(ModelOfVersion(m_config.version))
    , m_strict(m_config.strict)
{
    RegisterProtocol();
    m_electrical = std::make_unique<sim::Electrical>(*this);
    m_chipCommands = std::make_unique<ChipCommands>(*this);
    m_jtag = std::make_unique<JtagHandler>(*this);
}

Box::~Box() = default;

std::shared_ptr<Box> Box::PlugInto(platform::usb::VirtualBus& bus, BoxConfig config)
{
    auto box = std::make_shared<Box>(std::move(config));
    bus.SetWireModel(box->m_config.time.wire);
    bus.Plug(box);
    return box;
}

std::shared_ptr<platform::usb::VirtualPort> Box::Port() const
{
    std::lock_guard lock(m_mutex);
    return m_port;
}

std::uint16_t Box::CpucsAddress() const
{
    return m_config.chip == EzusbChip::Fx2 ? 0xE600 : 0x7F92;
}

std::uint8_t Box::InEndpoint() const
{
    return m_config.chip == EzusbChip::Fx2 ? 0x86 : 0x82;
}

std::size_t Box::RamSize() const
{
    return m_config.chip == EzusbChip::Fx2 ? 0x4000 : 0x2000;
}

bool Box::InRam(std::uint32_t address, std::size_t length) const
{
    const std::uint32_t end = address + static_cast<std::uint32_t>(length);
    if (end <= RamSize())
        return true;
    return m_config.chip == EzusbChip::Fx2 && address >= 0xE000 && end <= 0xE200;
}

std::size_t Box::MaxPacket() const
{
    return const_cast<Box*>(this)->Speed() == UsbSpeed::High ? 512 : 64;
}

bool Box::Held() const
{
    std::lock_guard lock(m_mutex);
    return (m_cpucs & 1) != 0;
}

std::optional<int> Box::RunningImage() const
{
    std::lock_guard lock(m_mutex);
    if (m_firmware == Firmware::Ours && m_programmed && !(m_cpucs & 1))
        return m_image;
    return std::nullopt;
}

int Box::Boots() const
{
    std::lock_guard lock(m_mutex);
    return m_boots;
}

std::vector<std::uint8_t> Box::ReadRam(std::uint16_t address, std::size_t length) const
{
    std::lock_guard lock(m_mutex);
    length = std::min<std::size_t>(length, m_ram.size() - address);
    return { m_ram.begin() + address, m_ram.begin() + address + static_cast<std::ptrdiff_t>(length) };
}

std::uint16_t Box::FirmwareId() const
{
    std::lock_guard lock(m_mutex);
    return m_firmwareId;
}

std::uint8_t Box::PortValue(std::uint8_t port) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_ports.find(port);
    return it == m_ports.end() ? 0xFF : it->second;
}

bool Box::Vcc() const
{
    std::lock_guard lock(m_mutex);
    return m_vcc;
}

bool Box::Vpp() const
{
    std::lock_guard lock(m_mutex);
    return m_vpp;
}

std::vector<std::uint8_t> Box::VccLatch() const
{
    std::lock_guard lock(m_mutex);
    return m_vccLatch;
}

std::vector<std::uint8_t> Box::VppLatch() const
{
    std::lock_guard lock(m_mutex);
    return m_vppLatch;
}

std::vector<std::pair<Duration, bool>> Box::VccLog() const
{
    std::lock_guard lock(m_mutex);
    return m_vccLog;
}

std::vector<std::vector<std::uint8_t>> Box::Recorded(std::uint8_t code) const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& [c, bytes] : m_recorded)
        if (c == code)
            out.push_back(bytes);
    return out;
}

std::array<std::uint8_t, 256> Box::History() const
{
    std::lock_guard lock(m_mutex);
    return m_history;
}

void Box::SetHistory(const std::array<std::uint8_t, 256>& history)
{
    std::lock_guard lock(m_mutex);
    m_history = history;
}

std::size_t Box::BytesReceived() const
{
    std::lock_guard lock(m_mutex);
    return m_bytesReceived;
}

std::vector<std::pair<std::uint16_t, std::size_t>> Box::A0Writes() const
{
    std::lock_guard lock(m_mutex);
    return m_a0Writes;
}

std::uint64_t Box::Transfers() const
{
    std::lock_guard lock(m_mutex);
    return m_transfers;
}

std::vector<std::string> Box::ProtocolErrors() const
{
    std::lock_guard lock(m_mutex);
    return m_protocolErrors;
}

void Box::SetStrict(bool strict)
{
    std::lock_guard lock(m_mutex);
    m_strict = strict;
}

void Box::Register(std::uint8_t code, Handler handler)
{
    std::lock_guard lock(m_mutex);
    m_dispatcher.Register(code, std::move(handler));
}

void Box::AddResetHook(std::function<void()> hook)
{
    std::lock_guard lock(m_mutex);
    m_dispatcher.AddResetHook(std::move(hook));
}

void Box::Observe(std::uint8_t code, std::function<void(const std::uint8_t*, std::size_t)> observer)
{
    std::lock_guard lock(m_mutex);
    m_dispatcher.Observe(code, std::move(observer));
}

void Box::AddReadHook(std::function<void()> hook)
{
    std::lock_guard lock(m_mutex);
    m_readHooks.push_back(std::move(hook));
}

void Box::AddPowerDownHook(std::function<void()> hook)
{
    std::lock_guard lock(m_mutex);
    m_powerDownHooks.push_back(std::move(hook));
}

Duration Box::TransferArrived() const
{
    std::lock_guard lock(m_mutex);
    return m_transferArrived;
}

std::uint8_t Box::EepromDeviceAddress() const
{
    return m_chipCommands->DeviceAddress();
}

Socket& Box::ChipSocket()
{
    return m_chipCommands->GetSocket();
}

JtagHandler& Box::Jtag()
{
    return *m_jtag;
}

void Box::QueueReplyAt(Duration at, std::vector<std::uint8_t> unit, std::function<bool()> still)
{
    std::lock_guard lock(m_mutex);
    auto& clock = platform::GetClock();
    if (at <= clock.Now() && m_timedReplies == 0) {
        QueueReply(std::move(unit));
        return;
    }
    ++m_timedReplies;
    std::weak_ptr<Box> weak = weak_from_this();
    const std::uint64_t epoch = m_replyEpoch;
    clock.Schedule(at, [weak, epoch, still = std::move(still), unit = std::move(unit)]() mutable {
        auto box = weak.lock();
        if (!box)
            return;
        std::shared_ptr<platform::usb::VirtualPort> port;
        {
            std::lock_guard lock(box->m_mutex);
            --box->m_timedReplies;
            if (epoch != box->m_replyEpoch || (still && !still()))
                return;
            box->QueueReply(std::move(unit), false);
            port = box->m_port;
        }
        if (port)
            port->Notify();
    });
}

void Box::AddFault(const Fault& fault)
{
    if (fault.trigger != FaultTrigger::Time) {
        m_faults.Add(fault);
        return;
    }
    std::weak_ptr<Box> weak = weak_from_this();
    platform::GetClock().Schedule(fault.at, [weak, fault] {
        if (auto box = weak.lock())
            box->ApplyTimed(fault);
    });
}

void Box::ProtocolError(const std::string& what)
{
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(m_mutex);
        m_protocolErrors.push_back(what);
        if (m_strict) {
            std::lock_guard hookLock(g_hookMutex);
            hook = g_protocolErrorHook;
        }
    }
    Trace("virtual programmer: protocol error: %s\n", what.c_str());
    if (hook)
        hook(what);
}

void Box::HostSlip(const std::string& what)
{
    ProtocolError(what);
}

// --- power and enumeration

void Box::AttachPort(std::shared_ptr<platform::usb::VirtualPort> port)
{
    std::lock_guard lock(m_mutex);
    m_port = std::move(port);
}

void Box::PowerUp()
{
    std::lock_guard lock(m_mutex);
    std::fill(m_ram.begin(), m_ram.end(), 0);
    m_cpucs = 1;
    m_firmware = Firmware::None;
    m_image = -1;
    m_programmed = false;
    ++m_bootSeq;
    m_bytesReceived = 0;
    m_a0Writes.clear();
    m_stallLeft = 0;
    m_partialOut.reset();
    m_replyFaults.clear();
    DropReplies();
    m_electrical->PowerUp();
    ResetFirmwareState();
}

void Box::PowerDown()
{
    std::lock_guard lock(m_mutex);
    for (const auto& hook : m_powerDownHooks)
        hook();
    ++m_bootSeq;
    m_cpucs = 1;
    m_firmware = Firmware::None;
    m_programmed = false;
    DropReplies();
    m_electrical->PowerDown();
}

platform::usb::VirtualIdentity Box::Identity()
{
    std::lock_guard lock(m_mutex);
    platform::usb::VirtualIdentity id;
    id.descriptor = platform::usb::UsbDeviceDescriptor::Make(
        0x0200, 64, m_config.vendorId, m_config.productId, 0x0001, m_programmed);
    if (m_programmed) {
        id.manufacturer = "Ostrand";
        id.product = "Zelvo USB Programmer";
        id.serial = m_config.serial;
        const auto bulk = static_cast<std::uint16_t>(MaxPacket());
        id.endpoints = { UsbEndpoint { kBulkOut, UsbEndpointType::Bulk, bulk, 0 },
            UsbEndpoint { InEndpoint(), UsbEndpointType::Bulk, bulk, 0 },
            UsbEndpoint { 0x81, UsbEndpointType::Interrupt, 64, 1 } };
    }
    return id;
}

UsbSpeed Box::Speed()
{
    return m_config.chip == EzusbChip::An21xx ? UsbSpeed::Full : m_config.speed;
}

void Box::ResetFirmwareState()
{
    m_firmwareId = 0;
    m_ports.clear();
    m_vcc = false;
    m_vpp = false;
    m_vccLatch.clear();
    m_vppLatch.clear();
    m_electrical->Boot();
    m_dispatcher.Reset();
}

void Box::DropReplies()
{
    m_in.clear();
    ++m_replyEpoch;
}

void Box::WriteCpucs(std::uint8_t value)
{
    const bool hold = (value & 1) != 0;
    const bool held = (m_cpucs & 1) != 0;
    m_cpucs = value & 1;
    if (hold && !held) {
        ++m_bootSeq; // a re-enumeration on its way is called off
        DropReplies();
        m_dispatcher.Reset();
    } else if (!hold && held) {
        Boot();
    }
}

void Box::Boot()
{
    const auto d = fw::ReadDescriptor(m_ram.data(), RamSize());
    if (!d || !fw::ImageIntact(m_ram.data(), *d) || !fw::AcceptsModel(d->models, m_model)) {
        m_firmware = Firmware::Silent;
        Trace("virtual programmer: the 8051 runs an image it does not know; nothing happens\n");
        return;
    }
    m_firmware = Firmware::Booting;
    const std::uint64_t seq = ++m_bootSeq;
    const int number = d->number;
    std::weak_ptr<Box> weak = weak_from_this();
    auto& clock = platform::GetClock();
    clock.Schedule(clock.Now() + m_config.reenumerationDelay, [weak, seq, number] {
        if (auto box = weak.lock())
            box->Reenumerate(seq, number);
    });
}

void Box::Reenumerate(std::uint64_t boot, int number)
{
    std::shared_ptr<platform::usb::VirtualPort> port;
    std::optional<Fault> fault;
    {
        std::lock_guard lock(m_mutex);
        if (boot != m_bootSeq || !m_port)
            return;
        port = m_port;
        fault = m_reenumerationFault;
        m_reenumerationFault.reset();
    }
    // Never hold our lock while calling the bus: the bus calls us with its own held.
    port->Disconnect();
    {
        std::lock_guard lock(m_mutex);
        if (boot != m_bootSeq)
            return;
        m_firmware = Firmware::Ours;
        m_image = number;
        m_programmed = true;
        ++m_boots;
        DropReplies();
        ResetFirmwareState();
    }
    Trace("virtual programmer: firmware %d runs\n", number);
    if (fault && fault->action == FaultAction::ReenumerationNever)
        return;
    if (fault && fault->action == FaultAction::ReenumerationSlow) {
        std::weak_ptr<Box> weak = weak_from_this();
        auto& clock = platform::GetClock();
        clock.Schedule(clock.Now() + fault->delay, [weak, boot] {
            auto box = weak.lock();
            if (!box)
                return;
            std::shared_ptr<platform::usb::VirtualPort> p;
            {
                std::lock_guard lock(box->m_mutex);
                if (boot != box->m_bootSeq)
                    return;
                p = box->m_port;
            }
            p->Connect();
        });
        return;
    }
    port->Connect();
}

// --- faults

bool Box::Apply(const std::vector<Fault>& faults)
{
    bool left = false;
    for (const Fault& f : faults) {
        switch (f.action) {
        case FaultAction::Unplug:
            m_port->Unplug();
            left = true;
            break;
        case FaultAction::Replug:
            m_port->Replug();
            left = true;
            break;
        case FaultAction::ReenumerationSlow:
        case FaultAction::ReenumerationNever:
            m_reenumerationFault = f;
            break;
        case FaultAction::Busy:
            m_port->SetBusy(true);
            break;
        case FaultAction::AccessDenied:
            m_port->SetAccessDenied(true);
            break;
        case FaultAction::DriverBound:
            m_port->SetDriverBound(true);
            break;
        case FaultAction::Stall:
            m_stallLeft = std::max(m_stallLeft, f.count);
            break;
        case FaultAction::PartialOut:
            m_partialOut = f.bytes;
            break;
        case FaultAction::WithholdReply:
        case FaultAction::DelayReply:
        case FaultAction::CutReply:
        case FaultAction::LengthenReply:
        case FaultAction::FlipReply:
        case FaultAction::StaleZero:
            m_replyFaults.push_back(f);
            break;
        }
    }
    return left;
}

void Box::ApplyTimed(const Fault& fault)
{
    std::shared_ptr<platform::usb::VirtualPort> port;
    {
        std::lock_guard lock(m_mutex);
        port = m_port;
        if (!port)
            return;
        switch (fault.action) {
        case FaultAction::Unplug:
        case FaultAction::Replug:
        case FaultAction::Busy:
        case FaultAction::AccessDenied:
        case FaultAction::DriverBound:
            break; // port actions, below without our lock
        default:
            Apply({ fault });
            return;
        }
    }
    switch (fault.action) {
    case FaultAction::Unplug:
        port->Unplug();
        break;
    case FaultAction::Replug:
        port->Replug();
        break;
    case FaultAction::Busy:
        port->SetBusy(true);
        break;
    case FaultAction::AccessDenied:
        port->SetAccessDenied(true);
        break;
    case FaultAction::DriverBound:
        port->SetDriverBound(true);
        break;
    default:
        break;
    }
}

// --- transfers

VirtualControlResult Box::Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
    std::uint16_t index, std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    if (Apply(m_faults.Fire(FaultTrigger::Transfer, ++m_transfers)))
        return { UsbStatus::NoDevice, 0, {} };
    if (m_stallLeft > 0) {
        --m_stallLeft;
        return { UsbStatus::Stall, 0, {} };
    }
    if (request != kFirmwareLoad || index != 0 || (requestType != kVendorOut && requestType != kVendorIn)
        || length > platform::usb::kUsbMaxControlLength)
        return { UsbStatus::Stall, 0, {} };
    const auto fired = m_faults.Fire(FaultTrigger::A0Address, value);
    const bool stall
        = std::any_of(fired.begin(), fired.end(), [](const Fault& f) { return f.action == FaultAction::Stall; });
    std::vector<Fault> rest;
    std::copy_if(fired.begin(), fired.end(), std::back_inserter(rest),
        [](const Fault& f) { return f.action != FaultAction::Stall; });
    if (Apply(rest))
        return { UsbStatus::NoDevice, 0, {} };
    if (stall)
        return { UsbStatus::Stall, 0, {} };

    const bool cpucs = value == CpucsAddress();
    if (requestType == kVendorOut) {
        if (length == 0)
            return { (cpucs || InRam(value, 1)) ? UsbStatus::Ok : UsbStatus::Stall, 0, {} };
        if (cpucs && length == 1) {
            WriteCpucs(data[0]);
            return { UsbStatus::Ok, 1, {} };
        }
        if (!InRam(value, length))
            return { UsbStatus::Stall, 0, {} };
        std::memcpy(m_ram.data() + value, data, length);
        m_a0Writes.emplace_back(value, length);
        return { UsbStatus::Ok, length, {} };
    }
    if (cpucs && length == 1) {
        data[0] = m_cpucs;
        return { UsbStatus::Ok, 1, {} };
    }
    if (length == 0 || !InRam(value, length))
        return { length == 0 ? UsbStatus::Ok : UsbStatus::Stall, 0, {} };
    std::memcpy(data, m_ram.data() + value, length);
    return { UsbStatus::Ok, length, {} };
}

VirtualOutResult Box::BulkOut(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length)
{
    std::lock_guard lock(m_mutex);
    auto fired = m_faults.Fire(FaultTrigger::Transfer, ++m_transfers);
    if (length) {
        auto byCode = m_faults.Fire(FaultTrigger::Code, data[0]);
        fired.insert(fired.end(), byCode.begin(), byCode.end());
    }
    if (Apply(fired))
        return { UsbStatus::NoDevice, 0, {} };
    if (m_stallLeft > 0) {
        --m_stallLeft;
        m_partialOut.reset();
        return { UsbStatus::Stall, 0, {} };
    }
    if (endpoint != kBulkOut) {
        ProtocolError("bulk OUT transfer on an endpoint other than 0x02");
        return { UsbStatus::Stall, 0, {} };
    }
    if (m_cpucs & 1) {
        ProtocolError("bulk transfer while the 8051 is held");
        return { UsbStatus::Ok, 0, {} };
    }
    if (m_firmware != Firmware::Ours)
        return { UsbStatus::Ok, 0, {} }; // nothing on the 8051 takes the data
    std::size_t take = length;
    if (m_partialOut) {
        take = std::min(take, *m_partialOut);
        m_partialOut.reset();
    }
    m_bytesMoved = take;
    m_bytesReceived += take;
    m_transferArrived
        = platform::GetClock().Now() + m_config.time.wire.Bulk(Speed(), take) + m_config.time.Device(take);
    Context ctx(*this);
    m_dispatcher.Feed(data, take, ctx);
    return { UsbStatus::Ok, take, m_config.time.Device(m_bytesMoved) };
}

UsbStatus Box::InStarting(std::uint8_t, std::size_t)
{
    std::lock_guard lock(m_mutex);
    if (Apply(m_faults.Fire(FaultTrigger::Transfer, ++m_transfers)))
        return UsbStatus::NoDevice;
    if (m_stallLeft > 0) {
        --m_stallLeft;
        return UsbStatus::Stall;
    }
    if (m_cpucs & 1)
        ProtocolError("bulk transfer while the 8051 is held");
    else if (m_firmware == Firmware::Ours)
        for (const auto& hook : m_readHooks)
            hook();
    return UsbStatus::Ok;
}

const std::vector<std::uint8_t>* Box::PeekIn(std::uint8_t endpoint)
{
    std::lock_guard lock(m_mutex);
    if (endpoint != InEndpoint() || m_in.empty())
        return nullptr;
    return &m_in.front();
}

void Box::PopIn(std::uint8_t endpoint)
{
    std::lock_guard lock(m_mutex);
    if (endpoint == InEndpoint() && !m_in.empty())
        m_in.pop_front();
}

void Box::PushPackets(const std::vector<std::uint8_t>& unit)
{
    const std::size_t size = MaxPacket();
    if (unit.empty()) {
        m_in.emplace_back();
        return;
    }
    for (std::size_t at = 0; at < unit.size(); at += size) {
        const std::size_t n = std::min(size, unit.size() - at);
        m_in.emplace_back(
            unit.begin() + static_cast<std::ptrdiff_t>(at), unit.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
}

void Box::QueueReply(std::vector<std::uint8_t> unit, bool notify)
{
    std::vector<Fault> faults;
    faults.swap(m_replyFaults);
    Duration delay { 0 };
    for (const Fault& f : faults) {
        switch (f.action) {
        case FaultAction::WithholdReply:
            if (f.count > 1) {
                Fault rest = f;
                --rest.count;
                m_replyFaults.push_back(rest);
            }
            return;
        case FaultAction::DelayReply:
            delay += f.delay;
            break;
        case FaultAction::CutReply:
            unit.resize(unit.size() - std::min(f.bytes, unit.size()));
            break;
        case FaultAction::LengthenReply:
            unit.resize(unit.size() + f.bytes, 0);
            break;
        case FaultAction::FlipReply:
            if (f.bytes < unit.size())
                unit[f.bytes] ^= f.mask;
            break;
        case FaultAction::StaleZero:
            PushPackets({ 0 });
            break;
        default:
            break;
        }
    }
    if (delay == Duration(0)) {
        PushPackets(unit);
        if (m_port && notify)
            m_port->Notify();
        return;
    }
    std::weak_ptr<Box> weak = weak_from_this();
    const std::uint64_t epoch = m_replyEpoch;
    auto& clock = platform::GetClock();
    clock.Schedule(clock.Now() + delay, [weak, epoch, unit = std::move(unit)] {
        auto box = weak.lock();
        if (!box)
            return;
        std::shared_ptr<platform::usb::VirtualPort> port;
        {
            std::lock_guard lock(box->m_mutex);
            if (epoch != box->m_replyEpoch)
                return;
            box->PushPackets(unit);
            port = box->m_port;
        }
        if (port)
            port->Notify();
    });
}

} // namespace sim
