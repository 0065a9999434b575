#pragma once
// The FX2 back end (transport mode 2): the first allow-listed programmer with the vendor id 0x04B4,
// interface 0 claimed, its bulk endpoints picked at open; firmware download at CPUCS 0xE600 into
// RAM below 0x4000 and the wait for the re-enumerated device.
//
// Not thread-safe on its own: the programmer link serialises every call.

#include "platform/usb/Usb.h"

#include <cstdint>
#include <memory>
#include <string>

class CCyUSBTransport {
public:
    static constexpr unsigned kTransferTimeoutMs = 20000;
    static constexpr std::uint16_t kCpucs = 0xE600;
    static constexpr std::uint32_t kRamLimit = 0x4000;

    void Bind(std::shared_ptr<platform::usb::UsbProvider> provider);
    void Close();

    // True while the device opened before is still on the bus (no I/O); otherwise OpenFirstDevice.
    bool Open();
    // Drops the device and opens the first allow-listed one with vendor id 0x04B4.
    bool OpenFirstDevice();
    // After a download: waits for the device to re-enumerate and opens it with both endpoints.
    bool Refresh();
    int ChipType() const { return 2; }
    bool HasDevice() const { return m_handle != nullptr; }
    bool HasEndpoints() const { return m_out != 0 && m_in != 0; }
    // Opens tried since Bind.
    int OpenAttempts() const { return m_opens; }

    // One bulk transfer each; NoDevice without I/O when the endpoint is missing. `timeoutMs` < 0:
    // the endpoint's own.
    platform::usb::UsbTransferResult SendData(const std::uint8_t* data, std::size_t length, int timeoutMs = -1);
    platform::usb::UsbTransferResult ReadData(std::uint8_t* data, std::size_t length, int timeoutMs = -1);

    // Holds the 8051 in reset ("No USB Devices connected." without a device).
    bool Reset8051();
    // Image N from the resources, then Refresh, then P_FIRMWARE_ID_SET.
    bool SwitchFirmware(int number);
    // Image N from the resources, then Refresh.
    bool LoadInitialFirmware(int number);
    // ".hex" or ".enc" files, then Refresh; each failure has its box.
    bool LoadFirmwareFromFile(const std::string& path);
    // A transformed HEX text (a class file's payload), then Refresh.
    bool LoadFirmwareFromBuffer(const std::uint8_t* data, std::size_t size);
    // Downloads HEX text; false when the device is missing or any step failed.
    bool Download(const std::string& hexText);

private:
    bool DownloadAndRefresh(const std::string& hexText);
    bool PickEndpoints();
    unsigned Timeout(int timeoutMs) const;

    std::shared_ptr<platform::usb::UsbProvider> m_provider;
    std::shared_ptr<platform::usb::UsbHandle> m_handle;
    platform::usb::UsbDeviceInfo m_info;
    std::uint8_t m_out = 0;
    std::uint8_t m_in = 0;
    unsigned m_outTimeoutMs = kTransferTimeoutMs;
    unsigned m_inTimeoutMs = kTransferTimeoutMs;
    int m_opens = 0;
};
