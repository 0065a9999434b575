#pragma once
// The one link to the programmer. It owns three back ends and routes every open, packet, reply and
// firmware load to the one g_nTransportMode selects: 0 the EZ-USB back end, 2 the FX2 back end,
// any other value the transport library's CVexlink. TONRIG_TRANSPORT=vexlink opens through the
// library instead (mode 1).
//
// Usable from any thread: one lifecycle mutex serialises opens, transfers, resets and firmware
// loads (a load holds it through the device's re-enumeration), so a probe from the connection
// monitor waits a download out and no transfer lands inside one. Boxes raised meanwhile are shown
// once the call has let the link go.

#include "link/CyUsbTransport.h"
#include "link/EzCypressUsb.h"
#include "platform/usb/Usb.h"
#include "transport/Vexlink.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

// 0 until the first successful Open; then 2 (FX2 back end) or 1 (the library).
extern std::atomic<int> g_nTransportMode;

struct FirmwareLoadResult {
    enum Outcome { Loaded, NoProgrammer, Failed };
    Outcome outcome = Failed;

    // True when loaded, and when no programmer is there to load.
    explicit operator bool() const { return outcome != Failed; }
    const char* Name() const;
};

class CProgrammerLink {
public:
    CProgrammerLink();
    ~CProgrammerLink();
    CProgrammerLink(const CProgrammerLink&) = delete;
    CProgrammerLink& operator=(const CProgrammerLink&) = delete;

    // True when the programmer is reachable. A device opened before and still present costs no I/O.
    bool Open();
    // One packet, as built by the caller; LastStatus() tells how it went.
    void SendData(const std::uint8_t* packet, int length);
    // One read of up to `size` bytes; the count read.
    int ReadData(std::uint8_t* buffer, int size);
    // The same, waiting at most `timeoutMs` and no longer than until `stop` is requested.
    int ReadData(std::uint8_t* buffer, int size, int timeoutMs, std::stop_token stop);
    // A packet and its reply with no transfer between; the count read (0 when the send failed).
    // `timeoutMs` < 0: the pipe's own time-out.
    int Exchange(const std::uint8_t* packet, int length, std::uint8_t* reply, int size, int timeoutMs = -1);
    // The same, the reply waited for at most `timeoutMs` (< 0: the pipe's own, unstoppable) and no longer than until
    // `stop` is requested; the link stays held throughout, so no other transfer comes between.
    int Exchange(
        const std::uint8_t* packet, int length, std::uint8_t* reply, int size, int timeoutMs, std::stop_token stop);
    // The status of the calling thread's last transfer through the link.
    platform::usb::UsbStatus LastStatus() const;
    // Reads (512 bytes, 10 ms time-out) until one returns nothing, for at most 1 s of clock; the
    // bytes dropped. Every operation calls it before its first packet.
    std::size_t DrainInput();

    bool Reset8051();
    FirmwareLoadResult LoadFirmwareIfReady(int number);
    bool LoadFirmware(int number);
    bool LoadFirmwareFromFile(const std::string& path);
    bool LoadClassFile(const std::string& path);
    void SetPipeTimeout(int pipe, int seconds);
    void MyOpenDevice();

    // Closes every back end, restores mode 0, chip type 0 and model 5, and binds `provider`
    // (null: the current provider) at the next use.
    void ResetForTest(std::shared_ptr<platform::usb::UsbProvider> provider = nullptr);

    // The FX2 back end's device opens so far (tests).
    int OpenAttempts();

private:
    class Call;

    void BindLocked();
    bool OpenLocked();
    bool VexlinkPresent();
    bool WaitForVexlinkReturn(const std::optional<platform::usb::UsbDeviceInfo>& before);
    std::optional<platform::usb::UsbDeviceInfo> FirstDevice();
    bool VexlinkLoad(const std::uint8_t* data, std::size_t size);
    platform::usb::UsbTransferResult SendLocked(const std::uint8_t* packet, std::size_t length);
    platform::usb::UsbTransferResult ReadLocked(std::uint8_t* buffer, std::size_t size, int timeoutMs);
    platform::usb::UsbTransferResult ReadStoppableLocked(
        std::uint8_t* buffer, std::size_t size, int timeoutMs, const std::stop_token& stop);

    // Members in the design's order: built in this order, destroyed in reverse.
    CCyUSBTransport m_cyusb;
    CEZCypressUSB m_ezusb;
    CVexlink m_vexlink;

    std::recursive_mutex m_mutex;
    bool m_bound = false;
    std::shared_ptr<platform::usb::UsbProvider> m_provider;
    std::shared_ptr<platform::usb::UsbProvider> m_testProvider;
};

extern CProgrammerLink g_ProgrammerLink;
