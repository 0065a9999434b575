#pragma once
// The virtual programmer: an EZ-USB controller (FX2 or AN21xx) with its 8051 and RAM, and the
// firmware that our images stand for. Before a download it enumerates unprogrammed, its 8051
// held; vendor request 0xA0 writes RAM and the CPU control register; releasing the 8051 over one
// of our images (known by its descriptor) makes it leave the bus and come back as the programmer,
// which answers the command protocol of sim/PROTOCOL.md through its Dispatcher.
//
// A protocol error (an unknown code, a bulk transfer while the 8051 is held, a malformed command)
// is recorded and traced; in strict mode it also goes to the protocol-error hook, which the tests
// point at a test failure.

#include "platform/usb/VirtualBus.h"
#include "sim/Dispatcher.h"
#include "sim/FaultPlan.h"
#include "sim/Socket.h"
#include "sim/TimeModel.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class Electrical;
class ChipCommands;
class JtagHandler;

enum class EzusbChip { Fx2, An21xx };

struct BoxConfig {
    EzusbChip chip = EzusbChip::Fx2;
    platform::usb::UsbSpeed speed = platform::usb::UsbSpeed::High; // an AN21xx is always full speed
    std::uint16_t productId = 0x8613; // an AN21xx takes the id its test names
    std::uint16_t vendorId = 0x04B4;  // a board built around an AN21xx may carry its maker's
    std::string version = "ZV-C Re-2.00";
    std::string serial = "ZV00000001";
    platform::Duration reenumerationDelay = std::chrono::milliseconds(500);
    bool strict = true;
    TimeModel time;
};

inline constexpr std::uint16_t kEzusbVendorId = 0x04B4;
inline constexpr std::uint16_t kFx2ProductId = 0x8613;

// Where protocol errors of strict boxes go (a test failure in the tests). Null: traced only.
void SetProtocolErrorHook(std::function<void(const std::string&)> hook);

// The programmer model code of a version text ("ZV-C Re-2.00" is 5); 0 when unknown.
int ModelOfVersion(const std::string& version);

class Box final : public platform::usb::VirtualDevice, public std::enable_shared_from_this<Box> {
public:
    explicit Box(BoxConfig config = {});
    ~Box() override;

    // Makes a box, sets the bus's wire model from its time model and plugs it in.
    static std::shared_ptr<Box> PlugInto(platform::usb::VirtualBus& bus, BoxConfig config = {});

    // --- what tests look at and change
    std::shared_ptr<platform::usb::VirtualPort> Port() const;
    const BoxConfig& Config() const { return m_config; }
    int Model() const { return m_model; }
    std::uint16_t CpucsAddress() const;
    std::uint8_t InEndpoint() const;
    std::size_t RamSize() const; // of the code RAM from 0x0000

    bool Held() const;
    // The image number the firmware runs as, once it has re-enumerated.
    std::optional<int> RunningImage() const;
    int Boots() const;
    std::vector<std::uint8_t> ReadRam(std::uint16_t address, std::size_t length) const;
    std::uint16_t FirmwareId() const;
    std::uint8_t PortValue(std::uint8_t port) const;
    bool Vcc() const;
    bool Vpp() const;
    std::vector<std::uint8_t> VccLatch() const;
    std::vector<std::uint8_t> VppLatch() const;
    // Every switch of Vcc with its time on the clock.
    std::vector<std::pair<platform::Duration, bool>> VccLog() const;
    std::vector<std::vector<std::uint8_t>> Recorded(std::uint8_t code) const;
    std::array<std::uint8_t, 256> History() const;
    void SetHistory(const std::array<std::uint8_t, 256>& history);
    // Bytes the box has taken from bulk OUT transfers since power-up.
    std::size_t BytesReceived() const;
    // RAM writes by vendor request 0xA0 since power-up (address, length), CPUCS writes not included.
    std::vector<std::pair<std::uint16_t, std::size_t>> A0Writes() const;
    // Transfers the box has seen since it was made (fault triggers count them from 1).
    std::uint64_t Transfers() const;

    std::vector<std::string> ProtocolErrors() const;
    void SetStrict(bool strict);

    void AddFault(const Fault& fault);

    // Pin drivers, rails, pins, the chip load and its hazards (sim/Electrical.h).
    sim::Electrical& Electrical() const { return *m_electrical; }

    // Later commands register here (under the box's lock); see Dispatcher.
    void Register(std::uint8_t code, Handler handler);
    void AddResetHook(std::function<void()> hook);
    std::recursive_mutex& Mutex() const { return m_mutex; }
    // Runs before the handler of `code`, with its packet (the program watches P_SETUP and
    // P_DEVICE this way).
    void Observe(std::uint8_t code, std::function<void(const std::uint8_t*, std::size_t)> observer);
    // Runs when the host starts a read of the IN endpoint while our firmware runs.
    void AddReadHook(std::function<void()> hook);
    // Runs when the box loses power (an unplug).
    void AddPowerDownHook(std::function<void()> hook);
    // Queues a reply now, or once the clock reaches `at` if `still` (asked then, under the box's
    // lock) holds; dropped like any unread reply by P_SETUP and resets.
    void QueueReplyAt(platform::Duration at, std::vector<std::uint8_t> unit, std::function<bool()> still = {});
    // When the OUT transfer being dispatched has fully arrived (its wire and device time).
    platform::Duration TransferArrived() const;

    // The socket and the commands that work on its chip (sim/ChipCommands.h). Hold Mutex()
    // while the box may be in use.
    Socket& ChipSocket();
    // The serial EEPROM device address the host latched ([37]).
    std::uint8_t EepromDeviceAddress() const;
    // The JTAG chains behind P_JTAG_IO (sim/JtagHandler.h). Hold Mutex() likewise.
    JtagHandler& Jtag();

    // --- platform::usb::VirtualDevice
    void AttachPort(std::shared_ptr<platform::usb::VirtualPort> port) override;
    void PowerUp() override;
    void PowerDown() override;
    platform::usb::VirtualIdentity Identity() override;
    platform::usb::UsbSpeed Speed() override;
    platform::usb::VirtualControlResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
        std::uint16_t index, std::uint8_t* data, std::size_t length) override;
    platform::usb::VirtualOutResult BulkOut(
        std::uint8_t endpoint, const std::uint8_t* data, std::size_t length) override;
    platform::usb::UsbStatus InStarting(std::uint8_t endpoint, std::size_t length) override;
    const std::vector<std::uint8_t>* PeekIn(std::uint8_t endpoint) override;
    void PopIn(std::uint8_t endpoint) override;
    void HostSlip(const std::string& what) override;

private:
    enum class Firmware { None, Booting, Ours, Silent };
    class Context;

    void RegisterProtocol();
    void ResetFirmwareState();
    void ProtocolError(const std::string& what);
    void QueueReply(std::vector<std::uint8_t> unit, bool notify = true);
    void PushPackets(const std::vector<std::uint8_t>& unit);
    void DropReplies();
    void WriteCpucs(std::uint8_t value);
    void Boot();
    void Reenumerate(std::uint64_t boot, int number);
    // Applies faults that fired; true when the device left the bus.
    bool Apply(const std::vector<Fault>& faults);
    void ApplyTimed(const Fault& fault);
    bool InRam(std::uint32_t address, std::size_t length) const;
    std::size_t MaxPacket() const;

    const BoxConfig m_config;
    const int m_model;
    mutable std::recursive_mutex m_mutex;
    std::shared_ptr<platform::usb::VirtualPort> m_port;

    // The controller
    std::vector<std::uint8_t> m_ram = std::vector<std::uint8_t>(0x10000);
    std::uint8_t m_cpucs = 1;
    Firmware m_firmware = Firmware::None;
    int m_image = -1;
    bool m_programmed = false; // enumerated as the programmer
    std::uint64_t m_bootSeq = 0;
    std::uint64_t m_replyEpoch = 0;
    // Replies scheduled on the clock and not yet queued. While there are any, a reply already due
    // goes through the clock too (in time order, equal times in order of scheduling): on a clock
    // that moves by itself it would otherwise overtake one scheduled for the same time.
    int m_timedReplies = 0;
    std::deque<std::vector<std::uint8_t>> m_in;
    int m_boots = 0;
    std::size_t m_bytesReceived = 0;
    std::vector<std::pair<std::uint16_t, std::size_t>> m_a0Writes;

    // The firmware
    Dispatcher m_dispatcher;
    std::uint16_t m_firmwareId = 0;
    std::map<std::uint8_t, std::uint8_t> m_ports;
    bool m_vcc = false;
    bool m_vpp = false;
    std::vector<std::uint8_t> m_vccLatch;
    std::vector<std::uint8_t> m_vppLatch;
    std::vector<std::pair<platform::Duration, bool>> m_vccLog;
    std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> m_recorded;
    std::array<std::uint8_t, 256> m_history {}; // kept across power cycles

    std::unique_ptr<sim::Electrical> m_electrical;

    // Faults
    FaultPlan m_faults;
    std::uint64_t m_transfers = 0;
    int m_stallLeft = 0;
    std::optional<std::size_t> m_partialOut;
    std::vector<Fault> m_replyFaults;
    std::optional<Fault> m_reenumerationFault;

    bool m_strict;
    std::vector<std::string> m_protocolErrors;
    std::size_t m_bytesMoved = 0;
    platform::Duration m_transferArrived { 0 };

    std::vector<std::function<void()>> m_readHooks;
    std::vector<std::function<void()>> m_powerDownHooks;
    std::unique_ptr<JtagHandler> m_jtag; // its handlers and the electrical model's hooks point at it
    std::unique_ptr<ChipCommands> m_chipCommands; // last: its handlers point at it, and it may still change the load
};

} // namespace sim
